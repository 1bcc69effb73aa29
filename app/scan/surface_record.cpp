#include "app/scan/surface_record.h"

#include "app/scan/frame_extents.h"
#include "app/scan/raw_data.h"
#include "app/base/time_stamp.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t PackColour(uint32_t r, uint32_t g, uint32_t b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

}  // namespace

void Surface_Free(SurfaceRecord& s) {
    std::free(s.Points);
    std::free(s.PointNormals);
    std::free(s.Weights);
    std::free(s.Resolutions);
    std::free(s.Greyscale);
    std::free(s.Facets);
    std::free(s.FacetNormals);
    std::free(s.Quads);
    std::free(s.QuadNormals);
    CountedArray_Free(s.BorderCache);
    std::free(s.ColourCache);
    std::memset(&s, 0, sizeof s);
}

void Surface_FreeColourCache(SurfaceRecord& s) {
    std::free(s.ColourCache);
    s.ColourCache = nullptr;
    s.ColourCacheCount = 0;
    s.ColourCacheTime = 0.0;
}

void Surface_ResetTimestamp(SurfaceRecord& s) { s.ColourCacheTime = 0.0; }

void Surface_MarkChanged(SurfaceRecord& s) {
    Time_Now(s.ChangeTime);
    s.Saved = 0;  // what was saved or exported is no longer this mesh
}

bool Surface_RbfMadeFromBasic(const SurfaceRecord& basic, const SurfaceRecord& rbf) {
    return rbf.ChangeTime > basic.ChangeTime && (rbf.Inverted || !basic.Inverted);
}

void Surface_DropStale(double scanTime, SurfaceRecord& basic, SurfaceRecord& rbf) {
    if (basic.ChangeTime < scanTime) {
        basic.NumPoints = 0;
        rbf.NumPoints = 0;
    }
    if (!Surface_RbfMadeFromBasic(basic, rbf)) rbf.NumPoints = 0;
}

bool Surface_RefreshPointCache(SurfaceRecord& s, const ViewSettings& view, const GeneralSettings& settings) {
    // A mesh rebuilt within one clock tick keeps its change time but may have
    // another point count: a cache of the wrong size is rebuilt all the same,
    // or drawing would read past it.
    const bool fits = s.ColourCacheCount == s.NumPoints && (s.ColourCache || s.NumPoints == 0);
    if (!(s.ChangeTime > s.ColourCacheTime) && fits) return true;
    if (s.ColourCacheCount != s.NumPoints || (!s.ColourCache && s.NumPoints > 0)) {
        Surface_FreeColourCache(s);
        if (s.NumPoints > 0) {
            s.ColourCache = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s.NumPoints) * 4));
            if (!s.ColourCache) return false;
        }
        s.ColourCacheCount = s.NumPoints;
    }
    const uint32_t fg = settings.ForegroundColour;
    const uint8_t red = Colour_Red(fg), green = Colour_Green(fg), blue = Colour_Blue(fg);
    const bool grey = view.ColourMode == kColourGreyscale;
    for (int32_t i = 0; i < s.NumPoints; ++i) {
        uint8_t* c = s.ColourCache + 4 * i;
        if (grey) {
            const float g = s.Greyscale ? s.Greyscale[i] / 255.0f : 1.0f;
            c[0] = static_cast<uint8_t>(red * g);
            c[1] = static_cast<uint8_t>(green * g);
            c[2] = static_cast<uint8_t>(blue * g);
        } else {
            c[0] = red;
            c[1] = green;
            c[2] = blue;
        }
        c[3] = 0;
    }
    s.ColourCacheTime = s.ChangeTime;
    return true;
}

uint32_t Surface_FacetColour(const SurfaceRecord& s, int32_t f) {
    const int32_t* v = s.Facets + 3 * f;
    uint32_t sum[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
        for (int ch = 0; ch < 3; ++ch) sum[ch] += s.ColourCache[4 * v[k] + ch];
    return PackColour(sum[0] / 3, sum[1] / 3, sum[2] / 3);
}

uint32_t Surface_QuadColour(const SurfaceRecord& s, int32_t q) {
    const int32_t* v = s.Quads + 4 * q;
    uint32_t sum[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k)
        for (int ch = 0; ch < 3; ++ch) sum[ch] += s.ColourCache[4 * v[k] + ch];
    return PackColour(sum[0] / 4, sum[1] / 4, sum[2] / 4);
}

bool Surface_HasGreyscale(const SurfaceRecord& s) {
    if (!s.Greyscale) return false;
    for (int32_t i = 0; i < s.NumPoints; ++i)
        if (s.Greyscale[i] != 255) return true;
    return false;
}

void Surface_BoundingBox(SurfaceRecord& s, const Matrix4& frame) {
    if (s.ChangeTime < s.ExtentsTime) return;
    FrameExtents extents(frame);
    for (int32_t i = 0; i < s.NumPoints && s.Points; ++i) extents.Add(s.Points[i]);
    s.ExtentsValid = extents.Corners(s.Extents) ? 1 : 0;
    Time_Now(s.ExtentsTime);
}

bool RawData_FacetInEditRange(const RawData& raw, int32_t f) {
    const Facet& facet = raw.Facets[f];
    for (int k = 0; k < 3; ++k)
        if (RawData_PointInEditRange(raw, facet.v[k])) return true;
    return false;
}

bool RawData_SweepHiddenOrEmpty(const RawData& raw, int32_t s) {
    // Beyond the sweeps in force (or the index tables) there is nothing to draw.
    if (s < 0 || s > raw.NumSweeps || s + 1 > raw.MaxSweeps) return true;
    if (raw.Sweeps[s].Flags & kSweepHidden) return true;
    return raw.SweepFirstPoint[s + 1] == raw.SweepFirstPoint[s];
}
