#include "app/ui/brand_package.h"

#include "app/files/resource_package.h"

namespace {

std::string g_programPath;
ResourcePackage* g_package = nullptr;
bool g_read = false;  // the file was read (a file without a package stays without one)

void SetText(const ResourcePackage* package, const char* name, std::string& field) {
    field = ResourcePackage_GetString(package, name, field.c_str());
}

void ReadProgramPackage(BrandInfo& brand) {
    if (!g_read) {
        g_package = ResourcePackage_Load(g_programPath);
        g_read = true;
    }
    BrandPackage_Fill(g_package, brand);
}

}  // namespace

void BrandPackage_Fill(const ResourcePackage* package, BrandInfo& brand) {
    if (!package) return;
    SetText(package, "company", brand.company);
    SetText(package, "product", brand.product);
    SetText(package, "customer", brand.customer);
    SetText(package, "address", brand.address);
    SetText(package, "telephone", brand.telephone);
    SetText(package, "fax", brand.fax);
    SetText(package, "url", brand.url);
    SetText(package, "updateurl", brand.updateurl);
    SetText(package, "manual", brand.manual);
    brand.background = ResourcePackage_GetImage(package, "background", brand.background);
    brand.helpabout = ResourcePackage_GetImage(package, "helpabout", brand.helpabout);
    brand.lmodeind = ResourcePackage_GetImage(package, "lmodeind", brand.lmodeind);
    brand.pmodeind = ResourcePackage_GetImage(package, "pmodeind", brand.pmodeind);
    brand.smodeind = ResourcePackage_GetImage(package, "smodeind", brand.smodeind);
    brand.bgcolour = ResourcePackage_GetU32(package, "bgcolour", brand.bgcolour);
    brand.fgcolour = ResourcePackage_GetU32(package, "fgcolour", brand.fgcolour);
}

void BrandPackage_Install(const std::string& programPath) {
    BrandPackage_Free();
    g_programPath = programPath;
    g_read = false;
    Brand_SetPackageReader(ReadProgramPackage);
}

void BrandPackage_Free() {
    if (!g_package) return;
    BrandInfo& brand = Brand_Get();
    brand.background = brand.helpabout = brand.lmodeind = brand.pmodeind = brand.smodeind = nullptr;
    ResourcePackage_Free(g_package);
    g_package = nullptr;
}
