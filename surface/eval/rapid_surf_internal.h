// The follower's records and lattice tables, shared by its source files.
#ifndef SURFACE_EVAL_RAPID_SURF_INTERNAL_H
#define SURFACE_EVAL_RAPID_SURF_INTERNAL_H

#include <cstdint>

#include "surface/eval/octree.h"
#include "surface/eval/rapid_surf.h"

namespace rapid_surf {

constexpr int kDirections = 14;
constexpr int kTetrahedra = 24;
constexpr uint32_t kAllTetrahedra = (1u << kTetrahedra) - 1;

enum NodeFlag : int32_t {
    kNodeOutside = 1,
    kNodeQueued = 2,
    kNodeProcessed = 4,
    kNodeRetiring = 8,  // never in the front, waiting to be retired
};

// One lattice node, the octree's data unit. Vertex indices are stored plus
// one, so that the zero-filled unit means "none".
struct LatticeNode {
    int32_t I, J, K;
    int32_t Flags;
    double Value;  // minus the threshold
    double Position[3];
    double Gradient[3];
    uint32_t Faceted;  // tetrahedra done, seen from this node
    int32_t Vertex[kDirections];
    int32_t BoundaryVertex;
    int32_t Merge;        // 0 not decided, 1 the crossings stay apart, 2 merged into MergeVertex
    int32_t MergeVertex;  // plus one
};

// The lattice: offsets by parity of j + k, the tetrahedra, and tables derived
// from them (built once).
struct LatticeTables {
    int32_t Offset[2][kDirections][3];
    int32_t Tetra[kTetrahedra][3];
    int32_t Vector[kDirections][3];      // in half x steps, j, k: the same for both parities
    int32_t TetraAt[kTetrahedra][3];     // the same tetrahedron seen from corner m + 1
    int32_t EdgeDir[kTetrahedra][4][4];  // direction from corner p to corner q (corner 0: the node)
    uint32_t Adjacent[kDirections];      // directions sharing a tetrahedron with d (bit mask)
    bool Consistent;                     // every table entry found
};
const LatticeTables& Tables();
inline int Opposite(int d) { return (d + 7) % kDirections; }
inline int Parity(int32_t j, int32_t k) { return (j + k) & 1; }

// Pairs of vertex indices held until their second triangle comes.
struct HalfQuadTable {
    uint64_t* Keys;  // 0: empty
    int32_t* From;
    int32_t* Centroid;
    int32_t Capacity, Count;
};

// A ring of fixed-width int records (i, j, k for the front; i, j, k and the
// iteration at which the node may go for the retiring list).
struct Queue {
    int32_t* Data;
    int32_t Capacity, Head, Count;
};

}  // namespace rapid_surf

struct RapidSurfWorkspace {
    int32_t Open_surface, Transform_bbox, Fit_to_box, Mesh_type, Gradients, Optimisation;
    double OutsideValue;
    double Resolution;
    const int32_t* Abort;
    int32_t Vertex_stack_size, Total_seeds, Seed_count, Seed_fail, Seed_reject, Seed_vertex_reject,
        Seed_boundary_reject, Seed_search_reject, Seed_duplicate, Iteration_count, Face_count, Boundary_Face_count,
        Flat_boundary_quad_count, Vertex_count, Split_Quad_count, Max_vertex_stack_size, Flat_surface_count,
        Multi_surface_count, Multi_hole_count, Vertex_collapse_count, Small_hole_count, Seed_limit, EV_count,
        Grad_count, Seed_EV_count, Nugget_count;
    int32_t Status, EvStatus;
    rapid_surf::Queue Front;
    rapid_surf::Queue Retiring;
    int32_t Live_nodes;  // nodes in the octree now (front, band behind it, non-front nodes)
    int32_t Max_live_nodes, Retired_count;
    int32_t Nx, Ny, Nz;
    double Scale[3];
    double Linear[9];  // world -> lattice frame, row vectors: q = p·A + t
    double Translation[3];
    double InverseLinear[9];  // lattice frame -> world: p = (q - t)·A⁻¹
    double Origin[3];         // lattice origin in the lattice frame
    double VolMin[3], VolMax[3];
    int32_t IndexMin[3], IndexMax[3];
    double HalfDx;
    double EdgeUnit[rapid_surf::kDirections][3];
    int32_t Flip;  // the orientation reverses handedness
    Octree* Tree;
    RapidSurfValueFn Value;
    RapidSurfValueGradientFn ValueGradient;
    RapidSurfVertexFn VertexSink;
    RapidSurfFaceFn FaceSink;
    void *ValueUser, *VertexUser, *FaceUser, *PrintUser;
    RapidSurfPrintFn Print;
    rapid_surf::HalfQuadTable HalfQuads;
    double* VertexPositions;  // three doubles a vertex
    double* VertexGradients;  // three doubles a vertex, with gradients
    int32_t VertexCapacity;
    int32_t FlatFacet;  // the facet being sent closes the surface: its crossings all lie on the box
    double Threshold;
};

namespace rapid_surf {

// Emits a vertex; its index, or -1 after setting the status.
int32_t EmitVertex(RapidSurfWorkspace* w, const double* position, const double* gradient);
// The neighbour of a node in direction d: found, made, or none (an open
// surface outside the range). A follower status.
int Neighbour(RapidSurfWorkspace* w, const LatticeNode* n, int d, LatticeNode** out);
// Facets one tetrahedron (corner 0 the node); a follower status.
int FacetTetrahedron(RapidSurfWorkspace* w, int t, LatticeNode* const* corner);
void HalfQuads_Free(HalfQuadTable* table);

}  // namespace rapid_surf

#endif
