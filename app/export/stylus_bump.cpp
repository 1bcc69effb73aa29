#include "app/export/stylus_bump.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "app/scan/mesh_normals.h"
#include "app/scan/stylus_items.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surface_record.h"

namespace {

// Where vertex `index` was before the first bump.
struct BumpEntry {
    Vec3 position;
    int32_t index;
};

struct BumpCache {
    const SurfaceRecord* surface = nullptr;
    int32_t vertexCount = 0;
    double changeTime = 0.0;
    std::vector<BumpEntry> entries;
};

// One per program: the tool is driven from the user-interface thread only.
BumpCache& Cache() {
    static BumpCache cache;
    return cache;
}

bool CacheMatches(const SurfaceRecord& surface) {
    const BumpCache& c = Cache();
    return c.surface == &surface && c.vertexCount == surface.NumPoints && c.changeTime == surface.ChangeTime;
}

void RestoreInto(Vec3* points, int32_t count, const std::vector<BumpEntry>& entries) {
    for (const BumpEntry& e : entries)
        if (e.index >= 0 && e.index < count) points[e.index] = e.position;
}

struct BumpSite {
    Vec3 centre;
    Vec3 direction;
    std::vector<int32_t> candidates;
};

// The items the tool acts on: not hidden, and not in a line whose head is.
template <class Visit>
void ForBumpedItems(const StylusItemList& list, Visit visit) {
    const int32_t count = std::min(list.VisibleCount, list.TotalCount);
    for (int32_t i = 0; i < count; ++i) {
        const StylusItem& item = list.Items[i];
        if (item.Flags & kStylusHidden) {
            if (item.Flags & kStylusLineHead)
                while (i + 1 < count && (list.Items[i + 1].Flags & kStylusLineMember)) ++i;
            continue;
        }
        visit(item);
    }
}

// The candidates of every item, read from `points`, with their positions
// appended to `entries`.
std::vector<BumpSite> FindCandidates(const StylusItemList& list, const SurfaceRecord& surface, const Vec3* points,
                                     float searchRadius, std::vector<BumpEntry>& entries) {
    std::vector<BumpSite> sites;
    const float limit = searchRadius * searchRadius;
    ForBumpedItems(list, [&](const StylusItem& item) {
        BumpSite site{};
        // Where the view draws the item on this surface: its placement on it.
        StylusItem_GetPosition(item, true, true, surface.Inverted != 0, site.centre);
        for (int32_t j = 0; j < surface.NumPoints; ++j) {
            if (V3_DistanceSquared(site.centre, points[j]) > limit) continue;
            entries.push_back(BumpEntry{points[j], j});
            site.candidates.push_back(j);
            if (surface.PointNormals) V3_Add(site.direction, surface.PointNormals[j], site.direction);
        }
        V3_Normalise(site.direction, site.direction);
        sites.push_back(std::move(site));
    });
    return sites;
}

void RaiseBumps(const std::vector<BumpSite>& sites, Vec3* points, float r, float height) {
    const float r2 = r * r;
    for (const BumpSite& site : sites) {
        const Vec3& c = site.centre;
        const Vec3& n = site.direction;
        for (int32_t j : site.candidates) {
            Vec3& v = points[j];
            if (!(V3_DistanceSquared(c, v) <= r2 + 0.01f)) continue;
            Vec3 w, p;
            V3_Sub(v, c, w);
            V3_AddScaled(w, -V3_Dot(n, w), n, p);
            const float rho2 = V3_Dot(p, p);
            if (!(rho2 < r2)) continue;
            const float s = height / r * std::sqrt(r2 - rho2);
            Vec3 moved;
            V3_Add(c, p, moved);
            V3_AddScaled(moved, s, n, v);
        }
    }
}

bool AnyMoved(const SurfaceRecord& surface, const std::vector<Vec3>& work) {
    for (int32_t j = 0; j < surface.NumPoints; ++j) {
        const Vec3& a = surface.Points[j];
        const Vec3& b = work[j];
        if (a.x != b.x || a.y != b.y || a.z != b.z) return true;
    }
    return false;
}

}  // namespace

float StylusBump_Radius(float width, float resolution) { return std::max(width * 0.5f, 0.66f * resolution); }

void StylusBump_RestoreVertices() {
    BumpCache& c = Cache();
    if (c.surface) RestoreInto(const_cast<SurfaceRecord*>(c.surface)->Points, c.surface->NumPoints, c.entries);
}

void StylusBump_ResetCache(SurfaceRecord& surface) {
    BumpCache& c = Cache();
    c.entries.clear();
    c.surface = &surface;
    c.vertexCount = surface.NumPoints;
    c.changeTime = surface.ChangeTime;
}

void StylusBump_PrepareUndo(SurfaceRecord& surface) {
    if (CacheMatches(surface))
        StylusBump_RestoreVertices();
    else
        StylusBump_ResetCache(surface);
}

int64_t StylusBump_CacheSize() { return static_cast<int64_t>(Cache().entries.size()); }

BumpOutcome StylusBump_Apply(const StylusItemList& list, SurfaceRecord& surface, float width, float height) {
    if (surface.NumPoints < 1 || !surface.Points || list.VisibleCount < 1 || !list.Items)
        return BumpOutcome::kUnchanged;
    const float resolution = surface.RbfParams.RbfResolution;
    const float r = StylusBump_Radius(width, resolution);
    const float searchRadius = resolution + std::max(std::fabs(height), r);
    BumpCache& cache = Cache();
    const bool matches = CacheMatches(surface);
    std::vector<Vec3> work;
    std::vector<BumpEntry> fresh;
    try {
        // Everything is allocated before the surface or the cache changes.
        work.assign(surface.Points, surface.Points + surface.NumPoints);
        if (matches) RestoreInto(work.data(), surface.NumPoints, cache.entries);
        const std::vector<BumpSite> sites = FindCandidates(list, surface, work.data(), searchRadius, fresh);
        RaiseBumps(sites, work.data(), r, height);
        if (matches) cache.entries.reserve(cache.entries.size() + fresh.size());
    } catch (const std::bad_alloc&) {
        return BumpOutcome::kOutOfMemory;
    }
    if (matches) {
        cache.entries.insert(cache.entries.end(), fresh.begin(), fresh.end());
    } else {
        StylusBump_ResetCache(surface);
        cache.entries.swap(fresh);
    }
    const bool moved = AnyMoved(surface, work);
    std::copy(work.begin(), work.end(), surface.Points);
    Mesh_FacetNormals(surface.NumPoints, surface.Points, surface.NumFacets, surface.Facets, surface.NumQuads,
                      surface.Quads, surface.FacetNormals, surface.QuadNormals, &surface.Area, nullptr);
    if (!moved) return BumpOutcome::kUnchanged;
    // The mesh differs from what was saved or exported: the close prompt must
    // ask for it.
    surface.Saved = 0;
    return BumpOutcome::kMoved;
}
