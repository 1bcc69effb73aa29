#include "app/ui/brand_info.h"

const char* const kProductVersion = "4.0.7";

namespace {

BrandPackageReader g_packageReader = nullptr;

}  // namespace

void Brand_SetBuiltInDefaults(BrandInfo& brand) {
    brand = BrandInfo();
    brand.company = "Qelvorn";
    brand.product = "Tolvaran";
    brand.customer = "Tolvaran";
    brand.version = kProductVersion;
    brand.address = "Qelvorn Scanning, 4 Harrow Yard, Brenmouth";
    brand.telephone = "+44 1632 960 418";
    brand.fax = "+44 1632 960 419";
    brand.url = "http://www.qelvorn.example/";
    brand.updateurl = "http://www.qelvorn.example/updates/";
    brand.bgcolour = 0x008000;
    brand.fgcolour = 0xA4A4A4;
}

void Brand_SetPackageReader(BrandPackageReader reader) { g_packageReader = reader; }

void Brand_Load() {
    BrandInfo& brand = Brand_Get();
    Brand_SetBuiltInDefaults(brand);
    if (g_packageReader) {
        g_packageReader(brand);
        brand.version = kProductVersion;
        if (!brand.helpabout) brand.helpabout = brand.background;
    }
}

BrandInfo& Brand_Get() {
    static BrandInfo brand = [] {
        BrandInfo b;
        Brand_SetBuiltInDefaults(b);
        return b;
    }();
    return brand;
}

const char* App_GetProductName() { return Brand_Get().product.c_str(); }
const char* App_GetMakerName() { return Brand_Get().company.c_str(); }
const char* App_GetProductVersion() { return Brand_Get().version.c_str(); }
