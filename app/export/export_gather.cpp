// The data an export writes: the visible sweeps gathered into one block, a
// surface's grey values as floats, and its quads split for the triangle
// formats.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/export/export_driver.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"

namespace {

bool PointExported(const RawData& raw, int32_t i) {
    const uint32_t level = (raw.Points[i].Flags & kPointEraseMask) >> kPointEraseShift;
    return level == 0 || level > raw.EditLimit;
}

bool SweepShown(const RawData& raw, int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) == 0; }

// Sweep s's points and facets, clipped to what the scan holds.
void SweepRange(const RawData& raw, int32_t s, int32_t& p0, int32_t& p1, int32_t& f0, int32_t& f1) {
    auto clip = [](int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; };
    p0 = clip(raw.SweepFirstPoint[s], 0, raw.NumPoints);
    p1 = clip(raw.SweepFirstPoint[s + 1], p0, raw.NumPoints);
    f0 = clip(raw.SweepFirstFacet[s], 0, raw.NumFacets);
    f1 = clip(raw.SweepFirstFacet[s + 1], f0, raw.NumFacets);
}

bool FacetInside(const RawData& raw, int32_t f) {
    for (int32_t v : raw.Facets[f].v)
        if (v < 0 || v >= raw.NumPoints) return false;
    return true;
}

}  // namespace

bool Export_BuildSweepArrays(const RawData& raw, SweepArrays& out, const char*& messageKey) {
    out = SweepArrays();
    const bool tables = raw.Sweeps && raw.SweepFirstPoint && raw.SweepFirstFacet && raw.Points;
    int32_t sweeps = 0;
    int64_t points = 0, facets = 0;
    for (int32_t s = 0; tables && s < raw.NumSweeps; ++s) {
        if (!SweepShown(raw, s)) continue;
        ++sweeps;
        int32_t p0, p1, f0, f1;
        SweepRange(raw, s, p0, p1, f0, f1);
        for (int32_t i = p0; i < p1; ++i) points += PointExported(raw, i) ? 1 : 0;
        for (int32_t f = f0; f < f1; ++f) facets += FacetInside(raw, f) && !RawData_FacetInEditRange(raw, f) ? 1 : 0;
    }
    if (points == 0) {
        messageKey = "ErrorExportNoSurface";
        return false;
    }
    const std::size_t bytes = 2 * sizeof(int32_t) * static_cast<std::size_t>(sweeps) +
                              (2 * sizeof(Vec3) + sizeof(float)) * static_cast<std::size_t>(points) +
                              3 * sizeof(int32_t) * static_cast<std::size_t>(facets);
    char* block = static_cast<char*>(std::malloc(bytes));
    int32_t* renumber = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<std::size_t>(raw.NumPoints)));
    if (!block || !renumber) {
        std::free(block);
        std::free(renumber);
        messageKey = "ErrorOutOfMemory";
        return false;
    }
    std::memset(renumber, 0xFF, sizeof(int32_t) * static_cast<std::size_t>(raw.NumPoints));
    out.sweepCount = sweeps;
    out.pointTotals = reinterpret_cast<int32_t*>(block);
    out.facetTotals = out.pointTotals + sweeps;
    out.positions = reinterpret_cast<Vec3*>(out.facetTotals + sweeps);
    out.normals = out.positions + points;
    out.albedos = reinterpret_cast<float*>(out.normals + points);
    out.facets = reinterpret_cast<int32_t*>(out.albedos + points);

    int32_t shown = 0;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (!SweepShown(raw, s)) continue;
        int32_t p0, p1, f0, f1;
        SweepRange(raw, s, p0, p1, f0, f1);
        for (int32_t i = p0; i < p1; ++i) {
            if (!PointExported(raw, i)) continue;
            const ScanPoint& point = raw.Points[i];
            const int32_t n = out.pointCount++;
            renumber[i] = n;
            out.positions[n] = point.Vertex;
            out.normals[n] = point.Normal;
            out.albedos[n] = point.Grey / 256.0f;
        }
        for (int32_t f = f0; f < f1; ++f) {
            if (!FacetInside(raw, f) || RawData_FacetInEditRange(raw, f)) continue;
            const Facet& facet = raw.Facets[f];
            int32_t* target = out.facets + 3 * static_cast<std::size_t>(out.facetCount);
            bool whole = true;
            for (int k = 0; k < 3; ++k) {
                target[k] = renumber[facet.v[k]];
                whole = whole && target[k] >= 0;
            }
            // A facet naming a point of another sweep is left out.
            if (whole) ++out.facetCount;
        }
        out.pointTotals[shown] = out.pointCount;
        out.facetTotals[shown] = out.facetCount;
        ++shown;
    }
    std::free(renumber);
    return true;
}

void Export_FreeSweepArrays(SweepArrays& arrays) {
    std::free(arrays.pointTotals);
    arrays = SweepArrays();
}

float* Export_AlbedoFloats(const uint8_t* greyscale, int32_t count) {
    float* albedos = static_cast<float*>(std::malloc(sizeof(float) * static_cast<std::size_t>(count > 0 ? count : 1)));
    if (!albedos) return nullptr;
    for (int32_t i = 0; i < count; ++i) albedos[i] = greyscale[i] / 256.0f;
    return albedos;
}

int32_t* Export_TrianglesWithQuads(const int32_t* facets, int32_t facetCount, const int32_t* quads, int32_t quadCount) {
    const std::size_t total = static_cast<std::size_t>(facetCount) + 2 * static_cast<std::size_t>(quadCount);
    int32_t* out = static_cast<int32_t*>(std::malloc(3 * sizeof(int32_t) * (total ? total : 1)));
    if (!out) return nullptr;
    if (facetCount > 0) std::memcpy(out, facets, 3 * sizeof(int32_t) * static_cast<std::size_t>(facetCount));
    int32_t* t = out + 3 * static_cast<std::size_t>(facetCount);
    for (int32_t q = 0; q < quadCount; ++q) {
        const int32_t* v = quads + 4 * static_cast<std::size_t>(q);
        const int32_t split[6] = {v[0], v[1], v[2], v[0], v[2], v[3]};
        std::memcpy(t, split, sizeof split);
        t += 6;
    }
    return out;
}
