#include "app/ui/snapshot.h"

#include "app/locale/locale_lookup.h"

#include <algorithm>
#include <cstring>
#include <sstream>

SnapshotOptions& Snapshot_Options() {
    static SnapshotOptions options;
    return options;
}

namespace {

const char* T(const char* key) { return Locale_GetString(key); }

void SurfaceLines(std::ostream& out, const GeneralSettings& settings, const SurfaceRecord& s, bool rbf) {
    out << T(rbf ? "StandardRbfSurface" : "StandardBasicSurface") << ": " << s.NumPoints << ' '
        << T("SnapshotInfoNumPointsUnits") << ", " << s.NumFacets << ' ' << T("SnapshotInfoNumFacetsUnits") << ", "
        << T("SnapshotInfoSurfaceArea") << " = " << s.Area << ' ' << T("SnapshotInfoSurfaceAreaUnits") << '\n';
    const BasicSurfParams& b = s.BasicParams;
    const char* mm = T("StandardMillimetresAbbreviation");
    out << T("SnapshotInfoBasicParameters") << ": " << T("SnapshotInfoSmoothing") << " = " << b.FilterRadius << ' '
        << mm << ", " << T("SnapshotInfoDecimation") << " = " << b.ExportResolutionClip << ' ' << mm << ", "
        << T("SnapshotInfoObjectLimit") << " = ";
    if (b.DoObjectLimit)
        out << b.ObjectLimit;
    else
        out << T("SnapshotInfoOffValue");
    out << ", " << T("SnapshotInfoSimplification") << " = ";
    if (b.SimplifyFacets)
        out << b.SimplifyError << ' ' << mm;
    else
        out << T("SnapshotInfoOffValue");
    out << '\n';
    if (!rbf) return;
    const RbfSurfParams& r = s.RbfParams;
    static const char* const kEdges[] = {"SnapshotInfoRbfOpen", "SnapshotInfoRbfClosed", "SnapshotInfoRbfTrimmedToData",
                                         "SnapshotInfoRbfTrimmedToEdges"};
    out << T("SnapshotInfoRbfParameters") << ": " << T("SnapshotInfoRbfAccuracy") << " = " << r.RbfAccuracy << ' ' << mm
        << ", " << T("SnapshotInfoRbfResolution") << " = " << r.RbfResolution << ' ' << mm << ", "
        << T("SnapshotInfoRbfUseStylus") << " = "
        << T(r.RbfUseStylusPoints ? "SnapshotInfoOnValue" : "SnapshotInfoOffValue") << ", "
        << T(kEdges[std::clamp(r.RbfTrimType, 0, 3)]) << ", " << T("SnapshotInfoRbfMarginSize") << " = "
        << r.RbfExtraTrim << ' ' << mm << ", " << T("SnapshotInfoRbfSimplification") << " = ";
    if (!r.RbfSimplify)
        out << T("SnapshotInfoOffValue");
    else if (r.RbfSimpTarget == 1)
        out << r.RbfSimpNFaces << ' ' << T("SnapshotInfoNumFacetsUnits");
    else if (r.RbfSimpTarget == 2)
        out << r.RbfSimpNPoints << ' ' << T("SnapshotInfoNumPointsUnits");
    else
        out << r.RbfSimpError << ' ' << mm;
    out << '\n';
    (void)settings;
}

}  // namespace

std::string FormatSnapshotInfo(int32_t mode, const GeneralSettings& settings, const RawData* raw,
                               const SurfaceRecord& basic, const SurfaceRecord& rbf) {
    std::ostringstream out;
    if (mode == 2) {
        const bool isRbf = settings.CombineSweeps == 2;
        SurfaceLines(out, settings, isRbf ? rbf : basic, isRbf);
    } else {
        out << T("StandardSweeps") << ": " << (raw ? raw->NumPoints : 0) << ' ' << T("SnapshotInfoNumPointsUnits")
            << ", " << (raw ? raw->NumFacets : 0) << ' ' << T("SnapshotInfoNumFacetsUnits") << ", "
            << (raw ? raw->NumProfiles : 0) << ' ' << T("SnapshotInfoNumProfilesUnits") << ", "
            << (raw ? raw->NumSweeps : 0) << ' ' << T("SnapshotInfoNumSweepsUnits") << '\n';
    }
    return out.str();
}

bool Snapshot_Compose(const Image& view, const Image* text, bool crop, Image& out) {
    Image copy;
    if (!Image_Allocate(copy, kImageRgba, view.width, view.height)) return false;
    std::memcpy(copy.pixels, view.pixels, static_cast<size_t>(view.width) * view.height * 4);
    if (crop) Image_CropToAlpha(copy);
    if (!text) {
        Image_Free(&out);
        out = copy;
        return true;
    }
    Image composed;
    if (!Image_Allocate(composed, kImageRgba, text->width, copy.height + text->height)) {
        Image_Free(&copy);
        return false;
    }
    Image_Paste(composed, 0, copy.width, copy.height, copy);
    Image_Paste(composed, copy.height, text->width, text->height, *text);
    Image_Free(&copy);
    Image_Free(&out);
    out = composed;
    return true;
}

void Snapshot_OverBackground(Image& image, uint32_t background) {
    const uint8_t under[3] = {static_cast<uint8_t>(background & 0xFF), static_cast<uint8_t>((background >> 8) & 0xFF),
                              static_cast<uint8_t>((background >> 16) & 0xFF)};
    const size_t count = static_cast<size_t>(image.width) * image.height;
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = image.pixels + i * 4;
        // The frame was cleared to transparent black, so a pixel's colour is
        // already weighted by its alpha: the background adds the rest.
        const int rest = 255 - p[3];
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::min(255, p[c] + (rest * under[c] + 127) / 255));
        p[3] = 255;
    }
}

std::string Snapshot_NextName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = path.substr(folder.size());
    const size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    name = name.substr(0, name.size() - extension.size());
    size_t digits = 0;
    while (digits < name.size() && name[name.size() - 1 - digits] >= '0' && name[name.size() - 1 - digits] <= '9')
        ++digits;
    // The digits count on as text, so that a number of any length carries
    // over (09 gives 10, 99 gives 100) and keeps its leading zeros.
    std::string text = digits > 0 ? name.substr(name.size() - digits) : std::string("1");
    size_t at = text.size();
    while (at > 0 && text[at - 1] == '9') text[--at] = '0';
    if (at > 0)
        ++text[at - 1];
    else
        text.insert(0, 1, '1');
    return folder + name.substr(0, name.size() - digits) + text + extension;
}
