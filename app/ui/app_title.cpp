#include "app/ui/app_title.h"

#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/ui/brand_info.h"

namespace {

bool SurfaceUnsaved(const SurfaceRecord& s) { return s.NumPoints > 0 && !s.Saved; }

}  // namespace

bool App_DocumentModified(const RawData& raw, const SurfaceRecord& basic, const SurfaceRecord& rbf) {
    return raw.ProcessedChanged || raw.Edited || SurfaceUnsaved(basic) || SurfaceUnsaved(rbf);
}

std::string App_FormatTitle(const std::string& documentName, bool modified, const BrandInfo& brand) {
    return documentName + (modified ? "*" : "") + " - " + brand.company + " " + brand.product;
}
