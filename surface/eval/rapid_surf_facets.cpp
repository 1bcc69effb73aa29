// The follower's faces: the lattice tables, the crossings of a tetrahedron's
// edges, its triangle or quad facing the positive side, and the mesh types
// (quads split into triangles, or triangles paired into quads).
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "surface/eval/rapid_surf_internal.h"

namespace rapid_surf {

namespace {

const int32_t kOffset[2][kDirections][3] = {
    {{-1, 1, 0},
     {-1, 0, 0},
     {-1, -1, 0},
     {0, 1, -1},
     {-1, 0, -1},
     {0, -1, -1},
     {0, 0, -1},
     {0, -1, 0},
     {1, 0, 0},
     {0, 1, 0},
     {0, -1, 1},
     {0, 0, 1},
     {0, 1, 1},
     {-1, 0, 1}},
    {{0, 1, 0},
     {-1, 0, 0},
     {0, -1, 0},
     {0, 1, -1},
     {0, 0, -1},
     {0, -1, -1},
     {1, 0, -1},
     {1, -1, 0},
     {1, 0, 0},
     {1, 1, 0},
     {0, -1, 1},
     {1, 0, 1},
     {0, 1, 1},
     {0, 0, 1}},
};

const int32_t kTetra[kTetrahedra][3] = {
    {0, 13, 12}, {1, 13, 0}, {2, 13, 1},   {2, 10, 13},  {7, 10, 2}, {7, 11, 10}, {8, 11, 7}, {9, 11, 8},
    {9, 12, 11}, {0, 12, 9}, {11, 12, 13}, {10, 11, 13}, {0, 3, 4},  {0, 4, 1},   {1, 4, 2},  {2, 4, 5},
    {2, 5, 7},   {7, 5, 6},  {7, 6, 8},    {8, 6, 9},    {9, 6, 3},  {9, 3, 0},   {3, 6, 4},  {6, 5, 4},
};

// The directions that form a lattice triangle with each direction, in ring
// order.
const int32_t kRing[kDirections][6] = {
    {1, 9, 12, 3, 4, 13},   {0, 2, 4, 13, -1, -1}, {1, 7, 10, 5, 4, 13},   {4, 6, 0, 9, -1, -1},  {3, 5, 6, 0, 1, 2},
    {4, 6, 2, 7, -1, -1},   {3, 5, 4, 7, 8, 9},    {2, 8, 11, 6, 5, 10},   {9, 7, 6, 11, -1, -1}, {0, 8, 11, 6, 3, 12},
    {2, 7, 13, 11, -1, -1}, {9, 7, 8, 12, 13, 10}, {0, 9, 13, 11, -1, -1}, {0, 2, 1, 10, 11, 12},
};

int FindDirection(const LatticeTables& t, const int32_t* v) {
    for (int d = 0; d < kDirections; ++d)
        if (t.Vector[d][0] == v[0] && t.Vector[d][1] == v[1] && t.Vector[d][2] == v[2]) return d;
    return -1;
}

LatticeTables Build() {
    LatticeTables t;
    std::memcpy(t.Offset, kOffset, sizeof kOffset);
    std::memcpy(t.Tetra, kTetra, sizeof kTetra);
    t.Consistent = true;
    for (int d = 0; d < kDirections; ++d) {
        for (int p = 0; p < 2; ++p) {
            const int32_t* o = kOffset[p][d];
            const int32_t v[3] = {2 * o[0] + Parity(p + o[1], o[2]) - p, o[1], o[2]};
            if (p == 0) std::memcpy(t.Vector[d], v, sizeof v);
            t.Consistent = t.Consistent && std::memcmp(t.Vector[d], v, sizeof v) == 0;
        }
    }
    for (int d = 0; d < kDirections; ++d) {
        const int o = Opposite(d);
        for (int a = 0; a < 3; ++a) t.Consistent = t.Consistent && t.Vector[o][a] == -t.Vector[d][a];
    }
    std::memset(t.Adjacent, 0, sizeof t.Adjacent);
    for (int n = 0; n < kTetrahedra; ++n)
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                if (a != b) t.Adjacent[kTetra[n][a]] |= 1u << kTetra[n][b];
    // The rings are the directions that share a tetrahedron.
    std::memcpy(t.Ring, kRing, sizeof kRing);
    for (int d = 0; d < kDirections; ++d) {
        uint32_t ring = 0;
        for (int m = 0; m < 6; ++m)
            if (kRing[d][m] >= 0) ring |= 1u << kRing[d][m];
        t.Consistent = t.Consistent && ring == t.Adjacent[d];
        for (int e = 0; e < kDirections; ++e) {
            const int32_t v[3] = {t.Vector[d][0] + t.Vector[e][0], t.Vector[d][1] + t.Vector[e][1],
                                  t.Vector[d][2] + t.Vector[e][2]};
            t.Third[d][e] = FindDirection(t, v);
        }
    }
    for (int n = 0; n < kTetrahedra; ++n) {
        int32_t corner[4][3] = {{0, 0, 0}};
        for (int m = 0; m < 3; ++m) std::memcpy(corner[m + 1], t.Vector[kTetra[n][m]], sizeof corner[0]);
        for (int p = 0; p < 4; ++p)
            for (int q = 0; q < 4; ++q) {
                if (p == q) {
                    t.EdgeDir[n][p][q] = -1;
                    continue;
                }
                const int32_t v[3] = {corner[q][0] - corner[p][0], corner[q][1] - corner[p][1],
                                      corner[q][2] - corner[p][2]};
                t.EdgeDir[n][p][q] = FindDirection(t, v);
                t.Consistent = t.Consistent && t.EdgeDir[n][p][q] >= 0;
            }
        // The same tetrahedron seen from corner m + 1: its other corners'
        // directions from there, as a set.
        for (int m = 0; m < 3; ++m) {
            int set[3];
            int k = 0;
            for (int q = 0; q < 4; ++q)
                if (q != m + 1) set[k++] = t.EdgeDir[n][m + 1][q];
            t.TetraAt[n][m] = -1;
            for (int u = 0; u < kTetrahedra; ++u) {
                int found = 0;
                for (int a = 0; a < 3; ++a)
                    for (int b = 0; b < 3; ++b) found += kTetra[u][b] == set[a];
                if (found == 3) t.TetraAt[n][m] = u;
            }
            t.Consistent = t.Consistent && t.TetraAt[n][m] >= 0;
        }
    }
    return t;
}

// Ideal (undistorted) lattice coordinates of a node: orientation decisions
// are made here, where no tetrahedron is flat.
void Ideal(const RapidSurfWorkspace* w, const LatticeNode* n, double* out) {
    out[0] = (2.0 * n->I + Parity(n->J, n->K)) * 0.5 * w->Scale[0];
    out[1] = n->J * w->Scale[1];
    out[2] = n->K * w->Scale[2];
}

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

bool Grow(RapidSurfWorkspace* w) {
    const int32_t capacity = w->VertexCapacity < 1024 ? 1024 : w->VertexCapacity * 2;
    auto* p = static_cast<double*>(std::realloc(w->VertexPositions, sizeof(double) * 3 * capacity));
    if (p == nullptr) return false;
    w->VertexPositions = p;
    if (w->Gradients) {
        auto* g = static_cast<double*>(std::realloc(w->VertexGradients, sizeof(double) * 3 * capacity));
        if (g == nullptr) return false;
        w->VertexGradients = g;
    }
    w->VertexCapacity = capacity;
    return true;
}

// True when the directions in `set` are connected through the lattice
// triangles around the node.
bool Connected(uint32_t set) {
    if (set == 0) return false;
    const LatticeTables& t = Tables();
    uint32_t reached = set & (~set + 1u);
    for (uint32_t before = 0; before != reached;) {
        before = reached;
        for (int d = 0; d < kDirections; ++d)
            if (reached & (1u << d)) reached |= t.Adjacent[d] & set;
    }
    return reached == set;
}

// True when the crossing of every edge of the node is known, its missing
// neighbours found or made (each evaluated once, as any node); false at the
// box's edge of an open surface or when the run stopped.
bool EdgesKnown(RapidSurfWorkspace* w, LatticeNode* n) {
    for (int d = 0; d < kDirections; ++d) {
        if (n->Crossing[d] != nullptr || (n->NoCrossing & (1u << d))) continue;
        LatticeNode* m = nullptr;
        if (Neighbour(w, n, d, &m) != 0 || m == nullptr) return false;
    }
    return true;
}

// Decides once whether the crossings around a node merge into one vertex:
// with facet optimisation, when every edge of the node is known, the node
// owns every crossing on its edges (each lies nearer to it than to the other
// end), and the neighbours on the other side, and those on its own side,
// each form one connected patch around it, so that the merged vertex keeps
// the surface a manifold there. This removes the slivers that a surface
// passing close to a node leaves.
int Decide(RapidSurfWorkspace* w, LatticeNode* n) {
    if (n->Merge != 0) return 0;
    n->Merge = 1;
    if (w->Optimisation == 2 || (n->Flags & kNodeOutside)) return 0;
    if (!EdgesKnown(w, n)) return w->Status;
    uint32_t other = 0;
    for (int d = 0; d < kDirections; ++d)
        if (n->Crossing[d] != nullptr) other |= 1u << d;
    if (other == 0) return 0;
    const uint32_t same = ((1u << kDirections) - 1) & ~other;
    if (same == 0) {
        ++w->Nugget_count;
        return 0;
    }
    if (!Connected(other)) {
        ++w->Multi_surface_count;
        return 0;
    }
    if (!Connected(same)) {
        ++w->Multi_hole_count;
        return 0;
    }
    // One neighbour on the node's own side: the surface wraps the edge to it
    // like a sleeve. Merged at both ends, every facet along that edge would
    // lose a corner and the sleeve would vanish, so its crossings stay apart.
    if ((same & (same - 1)) == 0) {
        ++w->Small_hole_count;
        return 0;
    }
    if ((n->Owned & other) != other) return 0;  // a neighbour owns a crossing
    double p[3] = {0, 0, 0}, g[3] = {0, 0, 0};
    int count = 0;
    for (int d = 0; d < kDirections; ++d) {
        if (!(other & (1u << d))) continue;
        // Vertices on the lattice's x-y planes: only the in-plane crossings.
        const bool inPlane = d == 0 || d == 1 || d == 2 || d == 7 || d == 8 || d == 9;
        if (w->Optimisation == 1 && !inPlane) continue;
        // An edge to the outside crosses at the node itself.
        const bool outside = (n->OutsideEdge & (1u << d)) != 0;
        const double* at = outside ? n->Position : n->Crossing[d]->Position;
        const double* slope = outside ? n->Gradient : n->Crossing[d]->Gradient;
        for (int k = 0; k < 3; ++k) {
            p[k] += at[k];
            g[k] += slope[k];
        }
        ++count;
    }
    if (count == 0) return 0;
    for (int k = 0; k < 3; ++k) {
        p[k] /= count;
        g[k] /= count;
    }
    const int32_t v = EmitVertex(w, p, w->Gradients ? g : nullptr);
    if (v < 0) return w->Status;
    n->Merge = 2;
    n->MergeVertex = v + 1;
    n->Emitted |= other;
    ++w->Vertex_collapse_count;
    return 0;
}

int32_t BoundaryVertex(RapidSurfWorkspace* w, LatticeNode* inside) {
    if (Decide(w, inside) != 0) return -1;
    if (inside->Merge == 2) return inside->MergeVertex - 1;
    if (inside->BoundaryVertex == 0) {
        const int32_t v = EmitVertex(w, inside->Position, w->Gradients ? inside->Gradient : nullptr);
        if (v < 0) return -1;
        inside->BoundaryVertex = v + 1;
    }
    return inside->BoundaryVertex - 1;
}

// The vertex of the crossing on the edge from corner p to corner q.
int32_t EdgeVertex(RapidSurfWorkspace* w, int t, LatticeNode* const* c, int p, int q) {
    LatticeNode* a = c[p];
    LatticeNode* b = c[q];
    // An edge to an outside node crosses at the inside node itself: the
    // closing faces lie on the box.
    if (a->Flags & kNodeOutside) return BoundaryVertex(w, b);
    if (b->Flags & kNodeOutside) return BoundaryVertex(w, a);
    const int d = Tables().EdgeDir[t][p][q];
    if (a->Link[d] != b && !Join(w, a, d, b)) {
        w->Status = RAPIDSURF_NO_MEMORY;
        return -1;
    }
    const bool ownedByA = (a->Owned & (1u << d)) != 0;
    LatticeNode* owner = ownedByA ? a : b;
    if (Decide(w, owner) != 0) return -1;
    if (owner->Merge == 2) return owner->MergeVertex - 1;
    EdgeCrossing* crossing = a->Crossing[d];
    if (crossing->Vertex < 0) {
        crossing->Vertex = EmitVertex(w, crossing->Position, w->Gradients ? crossing->Gradient : nullptr);
        if (crossing->Vertex < 0) return -1;
        owner->Emitted |= 1u << (ownedByA ? d : Opposite(d));
    }
    return crossing->Vertex;
}

// True when the crossing on the edge from corner p to corner q lies on the
// box: at the inside end of an edge to the outside, or between two nodes of
// the same outermost layer.
bool OnBox(const RapidSurfWorkspace* w, LatticeNode* const* c, int p, int q) {
    const LatticeNode* a = c[p];
    const LatticeNode* b = c[q];
    if ((a->Flags | b->Flags) & kNodeOutside) return true;
    const int32_t ia[3] = {a->I, a->J, a->K}, ib[3] = {b->I, b->J, b->K};
    for (int axis = 0; axis < 3; ++axis)
        if (ia[axis] == ib[axis] && (ia[axis] == w->IndexMin[axis] || ia[axis] == w->IndexMax[axis])) return true;
    return false;
}

int SendFace(RapidSurfWorkspace* w, int32_t corners, const int32_t* v, int32_t boundary) {
    if (w->FaceSink(corners, v, boundary, w->FaceUser) != 0) return w->Status = RAPIDSURF_FACET_ERROR;
    ++w->Face_count;
    if (boundary) ++w->Boundary_Face_count;
    if (boundary && w->FlatFacet) ++w->Flat_boundary_quad_count;
    return 0;
}

int32_t MeanVertex(RapidSurfWorkspace* w, int32_t n, const int32_t* v) {
    double p[3] = {0, 0, 0}, g[3] = {0, 0, 0};
    for (int32_t m = 0; m < n; ++m)
        for (int k = 0; k < 3; ++k) {
            p[k] += w->VertexPositions[3 * v[m] + k] / n;
            if (w->Gradients) g[k] += w->VertexGradients[3 * v[m] + k] / n;
        }
    return EmitVertex(w, p, w->Gradients ? g : nullptr);
}

// Unit normal at corner `at` of a quad from its two adjacent edges.
void CornerNormal(const RapidSurfWorkspace* w, const int32_t* v, int at, double* n) {
    const double* p = w->VertexPositions + 3 * v[at];
    const double* next = w->VertexPositions + 3 * v[(at + 1) % 4];
    const double* prev = w->VertexPositions + 3 * v[(at + 3) % 4];
    const double a[3] = {next[0] - p[0], next[1] - p[1], next[2] - p[2]};
    const double b[3] = {prev[0] - p[0], prev[1] - p[1], prev[2] - p[2]};
    Cross(a, b, n);
    const double length = std::sqrt(Dot(n, n));
    for (int k = 0; k < 3; ++k) n[k] = length > 0.0 ? n[k] / length : 0.0;
}

int SendTriangles(RapidSurfWorkspace* w, const int32_t* v, int32_t count, int32_t boundary);

// A quad as triangles: along a diagonal where two corners fold, else around
// a vertex at its centre.
int SplitQuad(RapidSurfWorkspace* w, const int32_t* q, int32_t boundary, bool diagonalOnly) {
    ++w->Split_Quad_count;
    if (diagonalOnly) {
        const int32_t t[6] = {q[0], q[1], q[2], q[0], q[2], q[3]};
        return SendTriangles(w, t, 2, boundary);
    }
    double n[4][3];
    for (int c = 0; c < 4; ++c) CornerNormal(w, q, c, n[c]);
    auto folded = [&](int a, int b) { return Dot(n[a], n[b]) < -0.99; };
    if ((folded(2, 3) && folded(3, 0)) || (folded(0, 1) && folded(1, 2))) {
        const int32_t t[6] = {q[0], q[1], q[3], q[1], q[2], q[3]};
        return SendTriangles(w, t, 2, boundary);
    }
    if ((folded(0, 1) && folded(3, 0)) || (folded(1, 2) && folded(2, 3))) {
        const int32_t t[6] = {q[0], q[1], q[2], q[0], q[2], q[3]};
        return SendTriangles(w, t, 2, boundary);
    }
    const int32_t e = MeanVertex(w, 4, q);
    if (e < 0) return w->Status;
    const int32_t t[12] = {q[0], q[1], e, q[1], q[2], e, q[2], q[3], e, q[3], q[0], e};
    return SendTriangles(w, t, 4, boundary);
}

// ---- Half quads of the all-quads mesh ----

uint64_t EdgeKey(int32_t a, int32_t b) {
    const uint32_t hi = static_cast<uint32_t>(a > b ? a : b);
    const uint32_t lo = static_cast<uint32_t>(a > b ? b : a);
    return ((static_cast<uint64_t>(hi) << 32) | lo) + 1;  // never 0
}

int32_t Slot(const HalfQuadTable* table, uint64_t key) {
    uint64_t h = key * 0x9E3779B97F4A7C15ull;
    int32_t at = static_cast<int32_t>((h >> 20) & static_cast<uint64_t>(table->Capacity - 1));
    while (table->Keys[at] != 0 && table->Keys[at] != key) at = (at + 1) & (table->Capacity - 1);
    return at;
}

bool Rehash(HalfQuadTable* table) {
    HalfQuadTable grown{};
    grown.Capacity = table->Capacity < 1024 ? 1024 : table->Capacity * 2;
    grown.Keys = static_cast<uint64_t*>(std::calloc(grown.Capacity, sizeof(uint64_t)));
    grown.From = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * grown.Capacity));
    grown.Centroid = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * grown.Capacity));
    if (!grown.Keys || !grown.From || !grown.Centroid) {
        HalfQuads_Free(&grown);
        return false;
    }
    for (int32_t s = 0; s < table->Capacity; ++s)
        if (table->Keys[s] != 0) {
            const int32_t at = Slot(&grown, table->Keys[s]);
            grown.Keys[at] = table->Keys[s];
            grown.From[at] = table->From[s];
            grown.Centroid[at] = table->Centroid[s];
        }
    grown.Count = table->Count;
    HalfQuads_Free(table);
    *table = grown;
    return true;
}

void Remove(HalfQuadTable* table, int32_t at) {
    // Backward-shift deletion keeps every probe sequence unbroken.
    const int32_t mask = table->Capacity - 1;
    int32_t hole = at;
    for (int32_t next = (hole + 1) & mask; table->Keys[next] != 0; next = (next + 1) & mask) {
        const uint64_t h = table->Keys[next] * 0x9E3779B97F4A7C15ull;
        const int32_t home = static_cast<int32_t>((h >> 20) & static_cast<uint64_t>(mask));
        const bool movable = hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
        if (movable) {
            table->Keys[hole] = table->Keys[next];
            table->From[hole] = table->From[next];
            table->Centroid[hole] = table->Centroid[next];
            hole = next;
        }
    }
    table->Keys[hole] = 0;
    --table->Count;
}

// The triangle's centroid vertex, and one quad for each of its edges that a
// triangle before it has already offered.
int TriangleToQuads(RapidSurfWorkspace* w, const int32_t* v, int32_t boundary) {
    const int32_t centroid = MeanVertex(w, 3, v);
    if (centroid < 0) return w->Status;
    HalfQuadTable* table = &w->HalfQuads;
    for (int e = 0; e < 3; ++e) {
        const int32_t a = v[e], b = v[(e + 1) % 3];
        if ((table->Count + 1) * 2 > table->Capacity && !Rehash(table)) return w->Status = RAPIDSURF_NO_MEMORY;
        const uint64_t key = EdgeKey(a, b);
        const int32_t at = Slot(table, key);
        if (table->Keys[at] == 0) {
            table->Keys[at] = key;
            table->From[at] = a;
            table->Centroid[at] = centroid;
            ++table->Count;
            continue;
        }
        // The first triangle ran from -> other; the quad runs from, this
        // centroid, other, the first centroid.
        const int32_t from = table->From[at];
        const int32_t other = from == a ? b : a;
        const int32_t quad[4] = {from, centroid, other, table->Centroid[at]};
        Remove(table, at);
        if (int status = SendFace(w, 4, quad, boundary)) return status;
    }
    return 0;
}

int SendTriangles(RapidSurfWorkspace* w, const int32_t* v, int32_t count, int32_t boundary) {
    for (int32_t n = 0; n < count; ++n) {
        const int status =
            w->Mesh_type == 1 ? TriangleToQuads(w, v + 3 * n, boundary) : SendFace(w, 3, v + 3 * n, boundary);
        if (status != 0) return status;
    }
    return 0;
}

// One facet after merged corners are taken out: a quad naming three distinct
// vertices is a triangle, anything with fewer is dropped.
int Emit(RapidSurfWorkspace* w, int32_t corners, int32_t* v, int32_t boundary) {
    if (corners == 4) {
        int repeated = -1;
        for (int c = 0; c < 4; ++c)
            if (v[c] == v[(c + 1) % 4]) repeated = c;
        if (v[0] == v[2] || v[1] == v[3]) return 0;
        if (repeated >= 0) {
            int32_t t[3];
            int k = 0;
            for (int c = 0; c < 4; ++c)
                if (c != repeated) t[k++] = v[c];
            if (t[0] == t[1] || t[1] == t[2] || t[0] == t[2]) return 0;
            return SendTriangles(w, t, 1, boundary);
        }
        if (w->Mesh_type == 2) return SendFace(w, 4, v, boundary);
        return SplitQuad(w, v, boundary, w->Mesh_type == 1);
    }
    if (v[0] == v[1] || v[1] == v[2] || v[0] == v[2]) return 0;
    return SendTriangles(w, v, 1, boundary);
}

}  // namespace

const LatticeTables& Tables() {
    static const LatticeTables tables = Build();
    return tables;
}

void HalfQuads_Free(HalfQuadTable* table) {
    std::free(table->Keys);
    std::free(table->From);
    std::free(table->Centroid);
    std::memset(table, 0, sizeof *table);
}

int32_t EmitVertex(RapidSurfWorkspace* w, const double* position, const double* gradient) {
    if (w->Vertex_count == w->VertexCapacity && !Grow(w)) {
        w->Status = RAPIDSURF_NO_MEMORY;
        return -1;
    }
    if (w->VertexSink(position, gradient, w->VertexUser) != 0) {
        w->Status = RAPIDSURF_VERTEX_ERROR;
        return -1;
    }
    const int32_t v = w->Vertex_count++;
    std::memcpy(w->VertexPositions + 3 * v, position, 3 * sizeof(double));
    if (w->Gradients) std::memcpy(w->VertexGradients + 3 * v, gradient, 3 * sizeof(double));
    return v;
}

int FacetTetrahedron(RapidSurfWorkspace* w, int t, LatticeNode* const* c) {
    bool positive[4];
    int count = 0;
    int32_t boundary = 0;
    for (int m = 0; m < 4; ++m) {
        positive[m] = c[m]->Value >= 0.0;
        count += positive[m];
        if (c[m]->Flags & kNodeOutside) boundary = 1;
    }
    if (count == 0 || count == 4) return 0;
    double ideal[4][3];
    for (int m = 0; m < 4; ++m) Ideal(w, c[m], ideal[m]);
    double normal[3], towards[3];
    int32_t v[4];
    int32_t corners;
    bool flat = boundary != 0;  // every crossing on the box: a facet closing the surface there
    if (count == 2) {
        int p[2], q[2], np = 0, nq = 0;
        for (int m = 0; m < 4; ++m) (positive[m] ? p[np++] : q[nq++]) = m;
        const int edges[4][2] = {{p[0], q[0]}, {p[0], q[1]}, {p[1], q[1]}, {p[1], q[0]}};
        double mid[4][3];
        for (int e = 0; e < 4; ++e)
            for (int k = 0; k < 3; ++k) mid[e][k] = 0.5 * (ideal[edges[e][0]][k] + ideal[edges[e][1]][k]);
        const double d1[3] = {mid[2][0] - mid[0][0], mid[2][1] - mid[0][1], mid[2][2] - mid[0][2]};
        const double d2[3] = {mid[3][0] - mid[1][0], mid[3][1] - mid[1][1], mid[3][2] - mid[1][2]};
        Cross(d1, d2, normal);
        for (int k = 0; k < 3; ++k) towards[k] = ideal[p[0]][k] + ideal[p[1]][k] - ideal[q[0]][k] - ideal[q[1]][k];
        for (int e = 0; e < 4; ++e) {
            if ((v[e] = EdgeVertex(w, t, c, edges[e][0], edges[e][1])) < 0) return w->Status;
            flat = flat && OnBox(w, c, edges[e][0], edges[e][1]);
        }
        corners = 4;
    } else {
        int lone = 0;
        while (positive[lone] != (count == 1)) ++lone;
        int other[3], k3 = 0;
        for (int m = 0; m < 4; ++m)
            if (m != lone) other[k3++] = m;
        double mid[3][3];
        for (int e = 0; e < 3; ++e)
            for (int k = 0; k < 3; ++k) mid[e][k] = 0.5 * (ideal[lone][k] + ideal[other[e]][k]);
        const double d1[3] = {mid[1][0] - mid[0][0], mid[1][1] - mid[0][1], mid[1][2] - mid[0][2]};
        const double d2[3] = {mid[2][0] - mid[0][0], mid[2][1] - mid[0][1], mid[2][2] - mid[0][2]};
        Cross(d1, d2, normal);
        const double sign = positive[lone] ? 1.0 : -1.0;
        for (int k = 0; k < 3; ++k)
            towards[k] = sign * (3.0 * ideal[lone][k] - ideal[other[0]][k] - ideal[other[1]][k] - ideal[other[2]][k]);
        for (int e = 0; e < 3; ++e) {
            if ((v[e] = EdgeVertex(w, t, c, lone, other[e])) < 0) return w->Status;
            flat = flat && OnBox(w, c, lone, other[e]);
        }
        corners = 3;
    }
    // Reverse the corner order when its right-hand normal points to the
    // negative side (in world space: after the orientation's handedness).
    if ((Dot(normal, towards) < 0.0) != (w->Flip != 0)) {
        if (corners == 4) {
            const int32_t s = v[1];
            v[1] = v[3];
            v[3] = s;
        } else {
            const int32_t s = v[1];
            v[1] = v[2];
            v[2] = s;
        }
    }
    w->FlatFacet = flat;
    const int status = Emit(w, corners, v, boundary);
    w->FlatFacet = 0;
    return status;
}

}  // namespace rapid_surf
