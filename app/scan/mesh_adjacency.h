// Which vertices of a mesh lie on its open border, cached per surface record
// and rebuilt when the mesh changes, and the projection of a point onto the
// mesh that refuses to land on that border (used to place stylus items on the
// basic surface).
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

struct MeshBorderCache {
    const int32_t* Facets;  // the mesh's facets, not owned
    const Vec3* Points;     // the mesh's points, not owned
    int32_t* BorderFlags;   // owned, one a vertex; non-zero on the border
    int32_t VertexCount;
    int32_t FacetCount;
    double Timestamp;  // the mesh change time the flags were built for; 0 empty
};

// Rebuilds the flags when the mesh is newer than the cache, or when it is
// another mesh than the one the flags were made for (other arrays or counts,
// or no flags): a mesh rebuilt within one clock tick, after the clock stepped
// back, or loaded with time 0 must not keep another mesh's flags. Throws
// OutOfMemoryError when the flags cannot be allocated (the cache is then
// empty).
void MeshBorderCache_Update(MeshBorderCache& cache, const Vec3* points, const int32_t* facets, int32_t facetCount,
                            int32_t vertexCount, double meshTime);
// Frees the flags and zeroes the cache.
void CountedArray_Free(MeshBorderCache& cache);
// Computes the flags of the cached mesh: a vertex is on the border when one
// of its edges belongs to a single facet.
void Mesh_BuildAdjacency(MeshBorderCache& cache);
bool MeshBorderCache_IsInterior(const MeshBorderCache& cache, int32_t v);
// True when a or b is not on the border.
bool MeshBorderCache_IsInteriorEdge(const MeshBorderCache& cache, int32_t a, int32_t b);

// Moves `point` onto the nearest facet within maxDistance, unless it lands on
// (within 1e-5 of) an edge or corner of the border; true when moved.
bool Mesh_ProjectToSurface(const Vec3* points, const Vec3* facetNormals, const MeshBorderCache& cache, Vec3& point,
                           const int32_t* facets, int32_t facetCount, float maxDistance);
