// The branding record: the company and product names, contact texts, images
// and colours of the edition the program was packaged for. The built-in
// values stand for a program without a branding package; the package reader
// overlays its entries on them at start-up.
#pragma once

#include <cstdint>
#include <string>

struct Image;  // a picture, owned by the package

struct BrandInfo {
    std::string company;
    std::string product;
    std::string customer;
    std::string version;
    std::string address;
    std::string telephone;
    std::string fax;
    std::string url;
    std::string updateurl;
    const Image* background = nullptr;
    const Image* helpabout = nullptr;
    const Image* lmodeind = nullptr;
    const Image* pmodeind = nullptr;
    const Image* smodeind = nullptr;
    uint32_t bgcolour = 0;
    uint32_t fgcolour = 0;
    std::string manual;
};

// The version every build reports, package or not.
extern const char* const kProductVersion;

void Brand_SetBuiltInDefaults(BrandInfo& brand);

// Reads the branding of the program: the built-in values, then whatever the
// installed package reader takes from the package (none installed: the
// built-in values stay).
using BrandPackageReader = void (*)(BrandInfo& brand);
void Brand_SetPackageReader(BrandPackageReader reader);
void Brand_Load();

// The active branding record.
BrandInfo& Brand_Get();
const char* App_GetProductName();
const char* App_GetMakerName();
const char* App_GetProductVersion();
