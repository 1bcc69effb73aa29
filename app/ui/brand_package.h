// The branding record filled from the package appended to the program file:
// the package is read once, kept while the main window lives, and freed at
// its close.
#pragma once

#include "app/ui/brand_info.h"

#include <string>

struct ResourcePackage;

// Reads the package of that program file from now on (Brand_Load calls the reader).
void BrandPackage_Install(const std::string& programPath);
// The brand's fields from the package's entries of the same name and type.
void BrandPackage_Fill(const ResourcePackage* package, BrandInfo& brand);
// Frees the package; the brand's pictures go with it.
void BrandPackage_Free();
