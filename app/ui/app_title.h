// The main window's title: document name, change mark, maker and product.
#pragma once

#include <string>

struct RawData;
struct SurfaceRecord;
struct BrandInfo;

// True when the scan's processed data or edits are unsaved, or either surface
// holds a mesh that has not been saved.
bool App_DocumentModified(const RawData& raw, const SurfaceRecord& basic, const SurfaceRecord& rbf);

// "%s%s - %s %s%s" over the document name, "*" when modified, the maker, the
// product and an empty text.
std::string App_FormatTitle(const std::string& documentName, bool modified, const BrandInfo& brand);
