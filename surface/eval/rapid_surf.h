// RapidSurf, the isosurface follower: turns a scalar function given only as
// an evaluator callback into a mesh of its level set f(x) = threshold.
//
// The function is sampled on a body-centred cubic lattice over a box, only
// next to the surface: from seed points on or near it, the follower expands
// each node of its front through the rings of its crossing edges (edges
// whose ends lie on either side), finds or makes the neighbours there, each
// evaluated once, and spreads the front to those whose edges cross; for each
// of the lattice's tetrahedra that the surface cuts it emits the triangle or
// quad of its edge crossings, which the nodes of an edge share. Vertices and
// faces go to the caller's sinks as they are made; faces face the positive
// side (their right-hand normal points where the function grows). Nodes
// live in a voxel octree, linked to their neighbours, and are retired once
// the front has passed them (with the neighbours that never joined it), so
// memory holds a band of nodes around the front.
//
// A closed surface (Open_surface 1 or 2) treats every node outside the index
// range as "outside" (value -1e100 or +1e100): the surface is then closed
// along the box by faces whose boundary flag is 1. The follower allocates
// with the run-time allocator, not the tracked one.
#ifndef SURFACE_EVAL_RAPID_SURF_H
#define SURFACE_EVAL_RAPID_SURF_H

#include <cstdint>

enum RapidSurfStatus : int32_t {
    RAPIDSURF_SUCCESS = 0,
    RAPIDSURF_ABORT = 1,
    RAPIDSURF_EVAL_ERROR = 2,
    RAPIDSURF_DERIV_ERROR = 3,
    RAPIDSURF_VERTEX_ERROR = 4,
    RAPIDSURF_FACET_ERROR = 5,
    RAPIDSURF_NO_MEMORY = 6,
    RAPIDSURF_NO_SEEDS = 7,
    RAPIDSURF_SURFACING_ERROR = 8,
};

struct RapidSurfOptions {
    int32_t Seed_limit;                  // most seeds injected; 0 or less: all
    double Orientation[16];              // world -> lattice frame, row-vector form, translation in 12..14
    int32_t Open_surface;                // 0 open, 1 closed negative, 2 closed plus
    int32_t Triangulation_optimisation;  // 0 optimise, 1 z grid, 2 none
    int32_t Transform_bbox;              // 1: the box is mapped by the orientation
    int32_t Fit_to_box;                  // bits 1 x, 2 y, 4 z: spacing stretched to end on the box
    int32_t Gradients;                   // 1: gradients at nodes, interpolated to the vertices
    int32_t Mesh_type;                   // 0 triangles, 1 quads, 2 quads and triangles
};

// Evaluators return 0, or a non-zero status that stops the run.
using RapidSurfValueFn = int (*)(const double* point, double* value, void* user);
using RapidSurfValueGradientFn = int (*)(const double* point, double* value, double* gradient, void* user);
// The sink numbers vertices 0, 1, 2 ... in call order; gradient may be null.
using RapidSurfVertexFn = int (*)(const double* location, const double* gradient, void* user);
using RapidSurfFaceFn = int (*)(int32_t corners, const int32_t* index, int32_t boundary, void* user);
using RapidSurfPrintFn = int (*)(void* user, const char* format, ...);

struct RapidSurfWorkspace;

void RapidSurf_DefaultOptions(RapidSurfOptions* options);

// Follows the surface from the seeds (x, y, z triples). A workspace already in
// the slot is freed first; the new one stays there for the report whatever
// the outcome (none when it could not be made: RAPIDSURF_NO_MEMORY).
int inject_all_seeds(int32_t seedCount, const double* seeds, const double* boxMin, const double* boxMax,
                     double resolution, double threshold, const int32_t* abortFlag, RapidSurfValueFn value,
                     RapidSurfValueGradientFn valueGradient, RapidSurfVertexFn vertexSink, RapidSurfFaceFn faceSink,
                     void* valueUser, void* vertexUser, void* faceUser, void* printUser, RapidSurfPrintFn print,
                     const RapidSurfOptions* options, RapidSurfWorkspace** workspace);

// The workspace alone (seed count only sets the seed limit); none when a
// callback is missing, the box is empty, the lattice is too large or memory
// runs out.
RapidSurfWorkspace* init_workspace(int32_t seedCount, const double* boxMin, const double* boxMax, double resolution,
                                   double threshold, const int32_t* abortFlag, RapidSurfValueFn value,
                                   RapidSurfValueGradientFn valueGradient, RapidSurfVertexFn vertexSink,
                                   RapidSurfFaceFn faceSink, void* valueUser, void* vertexUser, void* faceUser,
                                   void* printUser, RapidSurfPrintFn print, const RapidSurfOptions* options);

void RapidSurf_WriteStatus(RapidSurfPrintFn print, void* printUser, const RapidSurfWorkspace* workspace);
const char* RapidSurf_StatusName(int32_t status);
void RapidSurf_Free(RapidSurfWorkspace* workspace);

// Counters a caller may read after a run.
struct RapidSurfCounts {
    int32_t Status, Vertex_count, Face_count, Boundary_Face_count, Split_Quad_count, EV_count, Seed_count, Seed_reject,
        Seed_vertex_reject, Seed_boundary_reject, Seed_search_reject, Seed_duplicate, Total_seeds,
        Max_vertex_stack_size, Open_half_quads;
    // Nodes in the lattice's store: now, at most during the run, and retired
    // behind the front.
    int32_t Live_nodes, Max_live_nodes, Retired_count;
    int32_t Seed_fail;
    // The cluster test and the box: nodes on the surface itself, nodes whose
    // crossings form several patches, several holes, a sleeve round one edge,
    // a closed nugget, merged crossings, and the facets that close the surface
    // along the box (flat on it unless a merged crossing moved a corner).
    int32_t Flat_surface_count, Multi_surface_count, Multi_hole_count, Small_hole_count, Nugget_count,
        Vertex_collapse_count, Flat_boundary_quad_count;
};
RapidSurfCounts RapidSurf_Counts(const RapidSurfWorkspace* workspace);

#endif
