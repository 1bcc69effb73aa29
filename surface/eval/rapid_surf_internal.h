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
    kNodeProcessed = 4,  // retired at the head of the front
    kNodeRetiring = 8,   // never in the front, waiting to be retired
};

// The crossing of one lattice edge, shared by the edge's two nodes.
struct EdgeCrossing {
    double Position[3];
    double Gradient[3];
    int32_t Vertex;  // -1 until the vertex is emitted
    EdgeCrossing* NextFree;
};

// One lattice node, the octree's data unit. Each direction's bit in the
// masks: the edge expanded, known not to cross, its vertex emitted, its
// crossing owned by this node (the crossing lies nearer to it), the edge
// leading outside the index range. A link or a crossing is kept until the
// node at the other end is retired; the crossing outlives that, for the
// vertex of this node's facets.
struct LatticeNode {
    int32_t I, J, K;
    int32_t Flags;
    double Value;  // minus the threshold
    double Position[3];
    double Gradient[3];
    LatticeNode* Link[kDirections];
    EdgeCrossing* Crossing[kDirections];
    uint32_t Expanded, NoCrossing, Emitted, Owned, OutsideEdge;
    uint32_t Faceted;  // tetrahedra done, seen from this node
    int32_t BoundaryVertex;
    int32_t Merge;        // 0 not decided, 1 the crossings stay apart, 2 merged into MergeVertex
    int32_t MergeVertex;  // plus one
};

// The lattice: offsets by parity of j + k, the tetrahedra, and tables derived
// from them (built once).
struct LatticeTables {
    int32_t Offset[2][kDirections][3];
    int32_t Tetra[kTetrahedra][3];
    int32_t Vector[kDirections][3];           // in half x steps, j, k: the same for both parities
    int32_t TetraAt[kTetrahedra][3];          // the same tetrahedron seen from corner m + 1
    int32_t EdgeDir[kTetrahedra][4][4];       // direction from corner p to corner q (corner 0: the node)
    uint32_t Adjacent[kDirections];           // directions sharing a tetrahedron with d (bit mask)
    int32_t Ring[kDirections][6];             // those directions in ring order, -1 after the last
    int32_t Third[kDirections][kDirections];  // the direction of d + e when it is one, else -1
    bool Consistent;                          // every table entry found
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

// Crossing records come from blocks and go back to a free list.
struct CrossingBlock;
struct CrossingPool {
    CrossingBlock* Blocks;
    EdgeCrossing* Free;
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
    rapid_surf::CrossingPool Crossings;
    double* VertexPositions;  // three doubles a vertex
    double* VertexGradients;  // three doubles a vertex, with gradients
    int32_t VertexCapacity;
    int32_t FlatFacet;  // the facet being sent closes the surface: its crossings all lie on the box
    double Threshold;
};

namespace rapid_surf {

// A new node at (i, j, k), evaluated, the outside node of a closed surface,
// or none (an open surface outside the range). A follower status.
int MakeNode(RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k, LatticeNode** out);
// Joins a node and its neighbour in direction d both ways and finds the
// edge's crossing; false when memory runs out.
bool Join(RapidSurfWorkspace* w, LatticeNode* n, int d, LatticeNode* m);
// Spreads the front from a node: each neighbour whose edges round it cross
// is expanded there and queued when that found anything new.
int Spread(RapidSurfWorkspace* w, LatticeNode* n);
// Takes a node out of the lattice: its neighbours' links to it cleared, the
// crossings no other node holds freed.
void Unlink(RapidSurfWorkspace* w, LatticeNode* n);
void Crossings_Free(CrossingPool* pool);
// Appends a node to the front once; false when memory runs out.
bool Enqueue(RapidSurfWorkspace* w, LatticeNode* n);

// Emits a vertex; its index, or -1 after setting the status.
int32_t EmitVertex(RapidSurfWorkspace* w, const double* position, const double* gradient);
// The neighbour of a node in direction d: linked, found, made, or none (an
// open surface outside the range), joined to it. A follower status.
int Neighbour(RapidSurfWorkspace* w, LatticeNode* n, int d, LatticeNode** out);
// Facets one tetrahedron (corner 0 the node); a follower status.
int FacetTetrahedron(RapidSurfWorkspace* w, int t, LatticeNode* const* corner);
void HalfQuads_Free(HalfQuadTable* table);

}  // namespace rapid_surf

// Expands a node from direction d: 1 when the edge there crosses and the
// crossing edges round it (through the rings, breadth first) were expanded,
// their neighbours found or made and their crossings found; 0 when the edge
// was expanded before or does not cross ("expand: Base not an edge").
int expand(rapid_surf::LatticeNode* node, int direction, RapidSurfWorkspace* w);

#endif
