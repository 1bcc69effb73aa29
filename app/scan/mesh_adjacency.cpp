#include "app/scan/mesh_adjacency.h"

#include "app/scan/out_of_memory.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

void CountedArray_Free(MeshBorderCache& cache) {
    std::free(cache.BorderFlags);
    std::memset(&cache, 0, sizeof cache);
}

void MeshBorderCache_Update(MeshBorderCache& cache, const Vec3* points, const int32_t* facets, int32_t facetCount,
                            int32_t vertexCount, double meshTime) {
    const bool sameMesh = cache.BorderFlags && cache.Points == points && cache.Facets == facets &&
                          cache.FacetCount == facetCount && cache.VertexCount == vertexCount;
    if (sameMesh && !(cache.Timestamp < meshTime)) return;
    CountedArray_Free(cache);
    cache.Timestamp = meshTime;
    cache.Points = points;
    cache.Facets = facets;
    cache.FacetCount = facetCount > 0 ? facetCount : 0;
    cache.VertexCount = vertexCount > 0 ? vertexCount : 0;
    cache.BorderFlags = static_cast<int32_t*>(std::calloc(cache.VertexCount > 0 ? cache.VertexCount : 1, 4));
    if (!cache.BorderFlags) {
        CountedArray_Free(cache);
        throw OutOfMemoryError();
    }
    Mesh_BuildAdjacency(cache);
}

void Mesh_BuildAdjacency(MeshBorderCache& cache) {
    const int32_t n = cache.VertexCount;
    if (n <= 0) return;
    // Facets of each vertex, in facet and corner order (counting sort).
    std::vector<int32_t> first(static_cast<std::size_t>(n) + 1, 0);
    std::vector<int32_t> fill;
    std::vector<int32_t> counter(n, 0), scratch;
    try {
        for (int32_t f = 0; f < cache.FacetCount; ++f)
            for (int k = 0; k < 3; ++k) {
                const int32_t v = cache.Facets[3 * f + k];
                if (v >= 0 && v < n) ++first[v + 1];
            }
        for (int32_t v = 0; v < n; ++v) first[v + 1] += first[v];
        fill.assign(first.begin(), first.end() - 1);
        std::vector<int32_t> list(first[n]);
        for (int32_t f = 0; f < cache.FacetCount; ++f)
            for (int k = 0; k < 3; ++k) {
                const int32_t v = cache.Facets[3 * f + k];
                if (v >= 0 && v < n) list[fill[v]++] = f;
            }
        for (int32_t v = 0; v < n; ++v) {
            for (int32_t k = first[v]; k < first[v + 1]; ++k) {
                const int32_t* corners = cache.Facets + 3 * list[k];
                for (int c = 0; c < 3; ++c) {
                    const int32_t w = corners[c];
                    if (w < 0 || w >= n) continue;
                    if (counter[w]++ == 0) scratch.push_back(w);
                }
            }
            int32_t border = 0;
            for (int32_t w : scratch) {
                if (counter[w] == 1) border = 1;
                counter[w] = 0;
            }
            scratch.clear();
            cache.BorderFlags[v] = border;
        }
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError();
    }
}

bool MeshBorderCache_IsInterior(const MeshBorderCache& cache, int32_t v) {
    if (!cache.BorderFlags || v < 0 || v >= cache.VertexCount) return false;
    return cache.BorderFlags[v] == 0;
}

bool MeshBorderCache_IsInteriorEdge(const MeshBorderCache& cache, int32_t a, int32_t b) {
    return MeshBorderCache_IsInterior(cache, a) || MeshBorderCache_IsInterior(cache, b);
}

bool Mesh_ProjectToSurface(const Vec3* points, const Vec3* facetNormals, const MeshBorderCache& cache, Vec3& point,
                           const int32_t* facets, int32_t facetCount, float maxDistance) {
    float bound = maxDistance * maxDistance;
    int32_t best = -1;
    Vec3 candidate{};
    for (int32_t i = 0; i < facetCount; ++i) {
        const int32_t* v = facets + 3 * i;
        Vec3 q;
        float distanceSq;
        if (Tri_ClosestPoint(point, points[v[0]], points[v[1]], points[v[2]], facetNormals[i], q, 0, 0, 0.0f, bound,
                             distanceSq)) {
            bound = distanceSq;
            candidate = q;
            best = i;
        }
    }
    if (best < 0) return false;
    const int32_t* v = facets + 3 * best;
    int32_t edge = 0;
    float nearest = 0.0f;
    for (int k = 0; k < 3; ++k) {
        const Vec3& a = points[v[k]];
        Vec3 direction;
        V3_Sub(points[v[(k + 1) % 3]], a, direction);
        const float d = Line_DistanceSquared(candidate, a, direction);
        if (k == 0 || d < nearest) nearest = d, edge = k;
    }
    bool accepted;
    if (!(nearest < 1e-5f)) {
        accepted = true;
    } else {
        const int32_t a = v[edge], b = v[(edge + 1) % 3];
        if (V3_Distance(candidate, points[a]) < 1e-5f)
            accepted = MeshBorderCache_IsInterior(cache, a);
        else if (V3_Distance(candidate, points[b]) < 1e-5f)
            accepted = MeshBorderCache_IsInterior(cache, b);
        else
            accepted = MeshBorderCache_IsInteriorEdge(cache, a, b);
    }
    if (accepted) point = candidate;
    return accepted;
}
