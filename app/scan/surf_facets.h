// The mesh stages of the basic surface: a greedy front-growing triangulation
// of the thinned points whose radii follow each point's own resolution term,
// the limit to the largest pieces, the edge-collapse simplification and the
// clean-up that leaves a consistent mesh in the surface record.
#pragma once

#include "app/scan/surf_arena.h"
#include "app/scan/surf_progress.h"
#include "app/scan/surface_record.h"

#include <cstdint>

// Resolution terms are squared spacings: a squared search radius is this many
// of them.
constexpr float kSurfResolutionScale = 10.24f;

// A directed edge; facet -1 while only one side of it is known.
struct SurfEdge {
    int32_t from, to, facet;
    int32_t next;  // the next edge record of `from`, -1 at the end
};

// The open edges of a mesh (its border), in the arena.
struct SurfEdgeList {
    SurfEdge* edges;
    int32_t count;
};

// Triangulates the surface's points into its facet arrays (with normals and
// area); objectLimit above 0 keeps only that many of the largest pieces.
// Fills `open` with the edges left open. Returns 0.
int32_t Surf_MakeFacets(SurfArena& arena, SurfaceRecord& surface, int32_t objectLimit, const SurfProgress& progress,
                        double start, double span, SurfEdgeList& open);

// Collapses short edges while every point the mesh stood for stays within
// maxError of it; the points of the open edges stay. 0, or 2 when an edge
// was met that more than two facets share (the collapse is then skipped).
int32_t Surf_Simplify(SurfArena& arena, SurfaceRecord& surface, const SurfEdgeList& open, float maxError,
                      const SurfProgress& progress, double start, double span);

// Drops sliver facets, then points that no facet uses, and recomputes the
// vertex normals from the facet normals.
void Surf_CleanMesh(SurfArena& arena, SurfaceRecord& surface);

// Twice the area over the squared perimeter of a triangle (0.0962 at most,
// for an equilateral one).
float Surf_TriangleShape(const Vec3& a, const Vec3& b, const Vec3& c);
