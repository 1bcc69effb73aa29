// The follower's run: the workspace and its lattice, node creation, seed
// injection, the front, the report.
#include "surface/eval/rapid_surf.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "surface/eval/rapid_surf_internal.h"

using namespace rapid_surf;

namespace {

constexpr double kOutside = 1e100;

// ---- Small affine algebra (row vectors: q = p·A + t) ----

bool Invert3(const double* a, double* out, double* determinant) {
    const double c00 = a[4] * a[8] - a[5] * a[7], c01 = a[5] * a[6] - a[3] * a[8], c02 = a[3] * a[7] - a[4] * a[6];
    const double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
    *determinant = det;
    if (!(std::fabs(det) > 1e-300)) return false;
    out[0] = c00 / det;
    out[1] = (a[2] * a[7] - a[1] * a[8]) / det;
    out[2] = (a[1] * a[5] - a[2] * a[4]) / det;
    out[3] = c01 / det;
    out[4] = (a[0] * a[8] - a[2] * a[6]) / det;
    out[5] = (a[2] * a[3] - a[0] * a[5]) / det;
    out[6] = c02 / det;
    out[7] = (a[1] * a[6] - a[0] * a[7]) / det;
    out[8] = (a[0] * a[4] - a[1] * a[3]) / det;
    return true;
}

void RowTimes(const double* p, const double* a, double* out) {
    for (int c = 0; c < 3; ++c) out[c] = p[0] * a[c] + p[1] * a[3 + c] + p[2] * a[6 + c];
}

void ToLattice(const RapidSurfWorkspace* w, const double* p, double* q) {
    RowTimes(p, w->Linear, q);
    for (int k = 0; k < 3; ++k) q[k] += w->Translation[k];
}

void ToWorld(const RapidSurfWorkspace* w, const double* q, double* p) {
    const double d[3] = {q[0] - w->Translation[0], q[1] - w->Translation[1], q[2] - w->Translation[2]};
    RowTimes(d, w->InverseLinear, p);
}

void Print(const RapidSurfWorkspace* w, const char* text) {
    if (w->Print != nullptr) w->Print(w->PrintUser, "%s", text);
}

// ---- Lattice positions and nodes ----

bool InRange(const RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k) {
    return i >= w->IndexMin[0] && i <= w->IndexMax[0] && j >= w->IndexMin[1] && j <= w->IndexMax[1] &&
           k >= w->IndexMin[2] && k <= w->IndexMax[2];
}

// The node's x in spacing units: half a step along for odd j + k, except on
// the last column; the first column always half a step along, so that the
// first and last columns lie on the box faces.
double LatticeX(const RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k) {
    if (i == 0 || (Parity(j, k) == 1 && i != w->Nx - 1)) return i + 0.5;
    return i;
}

void NodePosition(const RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k, double* p) {
    const double q[3] = {w->Origin[0] + LatticeX(w, i, j, k) * w->Scale[0], w->Origin[1] + j * w->Scale[1],
                         w->Origin[2] + k * w->Scale[2]};
    ToWorld(w, q, p);
}

int Evaluate(RapidSurfWorkspace* w, const double* p, double* value, double* gradient) {
    const int status =
        w->Gradients ? w->ValueGradient(p, value, gradient, w->ValueUser) : w->Value(p, value, w->ValueUser);
    w->EvStatus = status;
    if (status != 0) w->Status = RAPIDSURF_EVAL_ERROR;
    return status;
}

// A new node at (i, j, k) in the tree, not yet valued; null after setting
// the status.
LatticeNode* AddNode(RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k) {
    auto* n = static_cast<LatticeNode*>(Octree_AddVoxel(i, j, k, w->Tree));
    if (n == nullptr) {
        w->Status = RAPIDSURF_NO_MEMORY;
        return nullptr;
    }
    if (++w->Live_nodes > w->Max_live_nodes) w->Max_live_nodes = w->Live_nodes;
    n->I = i;
    n->J = j;
    n->K = k;
    NodePosition(w, i, j, k, n->Position);
    return n;
}

// Gives a node the value its evaluation found (threshold not yet taken off).
void SetValue(RapidSurfWorkspace* w, LatticeNode* n, double value, const double* gradient) {
    n->Value = value - w->Threshold;
    if (gradient != nullptr) std::memcpy(n->Gradient, gradient, sizeof n->Gradient);
    // The surface passes through the node itself: its crossings all lie there.
    if (n->Value == 0.0) ++w->Flat_surface_count;
}

}  // namespace

int rapid_surf::MakeNode(RapidSurfWorkspace* w, int32_t i, int32_t j, int32_t k, LatticeNode** out) {
    *out = nullptr;
    const bool inside = InRange(w, i, j, k);
    if (!inside && w->Open_surface == 0) return 0;
    LatticeNode* n = AddNode(w, i, j, k);
    if (n == nullptr) return w->Status;
    if (!inside) {
        n->Flags = kNodeOutside;
        n->Value = w->OutsideValue;
        *out = n;
        return 0;
    }
    double value = 0.0, gradient[3] = {0, 0, 0};
    ++w->EV_count;
    if (Evaluate(w, n->Position, &value, gradient) != 0) {
        Octree_DeleteVoxel(i, j, k, w->Tree);
        --w->Live_nodes;
        return w->Status;
    }
    SetValue(w, n, value, gradient);
    *out = n;
    return 0;
}

int rapid_surf::Neighbour(RapidSurfWorkspace* w, LatticeNode* n, int d, LatticeNode** out) {
    if ((*out = n->Link[d]) != nullptr) return 0;
    if (w->Open_surface == 0 && (n->OutsideEdge & (1u << d))) return 0;
    const int32_t* o = Tables().Offset[Parity(n->J, n->K)][d];
    const int32_t i = n->I + o[0], j = n->J + o[1], k = n->K + o[2];
    *out = static_cast<LatticeNode*>(Octree_FindVoxel(i, j, k, w->Tree));
    if (*out == nullptr) {
        if (int status = MakeNode(w, i, j, k, out)) return status;
        if (*out == nullptr) {
            n->OutsideEdge |= 1u << d;  // the box's edge of an open surface
            return 0;
        }
    }
    if (!Join(w, n, d, *out)) return w->Status = RAPIDSURF_NO_MEMORY;
    return 0;
}

namespace {

// Appends one record of `width` ints, growing the ring; false when memory
// runs out.
bool Push(Queue* q, int width, const int32_t* record) {
    if (q->Count == q->Capacity) {
        const int32_t capacity = q->Capacity < 256 ? 256 : q->Capacity * 2;
        auto* data = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * width * capacity));
        if (data == nullptr) return false;
        for (int32_t m = 0; m < q->Count; ++m)
            std::memcpy(data + width * m, q->Data + width * ((q->Head + m) % q->Capacity), width * sizeof(int32_t));
        std::free(q->Data);
        q->Data = data;
        q->Capacity = capacity;
        q->Head = 0;
    }
    std::memcpy(q->Data + width * ((q->Head + q->Count) % q->Capacity), record, width * sizeof(int32_t));
    ++q->Count;
    return true;
}

// The record at the head, taken off the ring.
const int32_t* Pop(Queue* q, int width) {
    const int32_t* head = q->Data + width * q->Head;
    q->Head = (q->Head + 1) % q->Capacity;
    --q->Count;
    return head;
}

}  // namespace

bool rapid_surf::Enqueue(RapidSurfWorkspace* w, LatticeNode* n) {
    const int32_t record[3] = {n->I, n->J, n->K};
    if (!Push(&w->Front, 3, record)) return false;
    n->Flags |= kNodeQueued;
    w->Vertex_stack_size = w->Front.Count;
    if (w->Front.Count > w->Max_vertex_stack_size) w->Max_vertex_stack_size = w->Front.Count;
    return true;
}

namespace {

// A node that never joined the front is needed by its neighbours still to
// be processed, those waiting and those that join the front while these and
// the next are processed, so it stays three generations of the front (the
// front is first in, first out) after the processed node it was next to:
// gone any sooner, it would now and then be evaluated again. Memory then
// holds a band of nodes around the front instead of everything the surface
// passed.
bool ScheduleRetirement(RapidSurfWorkspace* w, const LatticeNode* n) {
    const int32_t record[4] = {n->I, n->J, n->K, w->Iteration_count + 3 * w->Front.Count};
    return Push(&w->Retiring, 4, record);
}

void Delete(RapidSurfWorkspace* w, LatticeNode* n) {
    Unlink(w, n);
    if (Octree_DeleteVoxel(n->I, n->J, n->K, w->Tree) != nullptr) {
        --w->Live_nodes;
        ++w->Retired_count;
    }
}

// Retires the node at the head once it is done, and what is due: its
// neighbours that never joined the front go three generations later (see
// above); such a neighbour that joined the front meanwhile stays and is
// retired after its own processing.
bool Retire(RapidSurfWorkspace* w, LatticeNode* n) {
    const LatticeTables& tables = Tables();
    for (int d = 0; d < kDirections; ++d) {
        LatticeNode* m = n->Link[d];
        // A neighbour not yet joined learns its edge to the node now: it
        // could not ask for the node again without evaluating it anew.
        if (m == nullptr && !(n->OutsideEdge & (1u << d))) {
            const int32_t* o = tables.Offset[Parity(n->J, n->K)][d];
            m = static_cast<LatticeNode*>(Octree_FindVoxel(n->I + o[0], n->J + o[1], n->K + o[2], w->Tree));
            if (m != nullptr && !Join(w, n, d, m)) return false;
        }
        if (m == nullptr || (m->Flags & (kNodeQueued | kNodeProcessed | kNodeRetiring))) continue;
        m->Flags |= kNodeRetiring;
        if (!ScheduleRetirement(w, m)) return false;
    }
    Delete(w, n);
    Queue* q = &w->Retiring;
    while (q->Count > 0 && q->Data[4 * q->Head + 3] <= w->Iteration_count) {
        const int32_t* r = Pop(q, 4);
        auto* m = static_cast<LatticeNode*>(Octree_FindVoxel(r[0], r[1], r[2], w->Tree));
        if (m != nullptr && !(m->Flags & (kNodeQueued | kNodeProcessed))) Delete(w, m);
    }
    return true;
}

// Expands the node's crossing edges until none is left unexpanded (an
// expansion can find more) and spreads the front to its neighbours.
int Advance(RapidSurfWorkspace* w, LatticeNode* n) {
    for (bool again = true; again;) {
        again = false;
        for (int d = 0; d < kDirections; ++d)
            if (n->Crossing[d] != nullptr && !(n->Expanded & (1u << d))) {
                again = expand(n, d, w) != 0 || again;
                if (w->Status != RAPIDSURF_SUCCESS) return w->Status;
            }
    }
    return Spread(w, n);
}

// Facets every tetrahedron round the node that the surface cuts and no
// corner has faceted yet. A cut tetrahedron has a crossing edge at each
// corner, so its corners are all linked once the node is expanded.
int FacetNode(RapidSurfWorkspace* w, LatticeNode* n) {
    const LatticeTables& tables = Tables();
    for (int t = 0; t < kTetrahedra; ++t) {
        if (n->Faceted & (1u << t)) continue;
        const int32_t* dir = tables.Tetra[t];
        if (n->Crossing[dir[0]] == nullptr && n->Crossing[dir[1]] == nullptr && n->Crossing[dir[2]] == nullptr)
            continue;
        LatticeNode* c[4] = {n, nullptr, nullptr, nullptr};
        bool missing = false;
        for (int m = 0; m < 3; ++m) {
            if (int status = Neighbour(w, n, dir[m], &c[m + 1])) return status;
            missing = missing || c[m + 1] == nullptr;
        }
        if (missing) continue;
        n->Faceted |= 1u << t;
        for (int m = 0; m < 3; ++m) c[m + 1]->Faceted |= 1u << tables.TetraAt[t][m];
        if (int status = FacetTetrahedron(w, t, c)) return status;
    }
    return 0;
}

int ProcessNode(RapidSurfWorkspace* w, LatticeNode* n) {
    if (int status = Advance(w, n)) return status;
    if (int status = FacetNode(w, n)) return status;
    n->Flags |= kNodeProcessed;
    return 0;
}

// ---- Seeds ----

// The node nearest to a world point: its indices, or false when it lies
// within two steps of the range's edge.
bool SeedNode(RapidSurfWorkspace* w, const double* p, int32_t* index) {
    double q[3];
    ToLattice(w, p, q);
    double x = (q[0] - w->Origin[0]) / w->Scale[0];
    const double j = std::floor((q[1] - w->Origin[1]) / w->Scale[1] + 0.5);
    const double k = std::floor((q[2] - w->Origin[2]) / w->Scale[2] + 0.5);
    if (!(std::fabs(j) < 1e9 && std::fabs(k) < 1e9 && std::fabs(x) < 1e9)) return false;
    if ((static_cast<int64_t>(j + k) & 1) != 0) x -= 0.5;
    index[0] = static_cast<int32_t>(std::floor(x + 0.5));
    index[1] = static_cast<int32_t>(j);
    index[2] = static_cast<int32_t>(k);
    for (int a = 0; a < 3; ++a)
        if (index[a] < w->IndexMin[a] + 2 || index[a] > w->IndexMax[a] - 2) return false;
    return true;
}

// Newton steps along the gradient onto the surface; false (a search reject)
// when the gradient vanishes or 5 steps do not get within the resolution.
bool ProjectSeed(RapidSurfWorkspace* w, double* p, double* gradient) {
    for (int step = 0;; ++step) {
        double v = 0.0;
        ++w->Grad_count;
        w->EvStatus = w->ValueGradient(p, &v, gradient, w->ValueUser);
        if (w->EvStatus != 0) {
            w->Status = RAPIDSURF_EVAL_ERROR;
            return false;
        }
        const double g = std::sqrt(gradient[0] * gradient[0] + gradient[1] * gradient[1] + gradient[2] * gradient[2]);
        if (g < 1e-12) return false;
        const double s = (v - w->Threshold) / g;
        if (std::fabs(s) <= w->Resolution) return true;
        if (step == 5) return false;
        for (int k = 0; k < 3; ++k) p[k] -= s * gradient[k] / g;
    }
}

// A seed that cannot start the front: counted by its reason and in all.
void Reject(RapidSurfWorkspace* w, int32_t* reason) {
    ++*reason;
    ++w->Seed_reject;
}

void InjectSeed(RapidSurfWorkspace* w, const double* seed) {
    int32_t index[3];
    if (!SeedNode(w, seed, index)) {
        Reject(w, &w->Seed_boundary_reject);
        return;
    }
    double gradient[3] = {0, 0, 0};
    bool haveGradient = false;
    if (w->ValueGradient != nullptr) {
        double p[3] = {seed[0], seed[1], seed[2]};
        if (!ProjectSeed(w, p, gradient)) {
            if (w->Status == RAPIDSURF_SUCCESS) Reject(w, &w->Seed_search_reject);
            return;
        }
        haveGradient = true;
        if (!SeedNode(w, p, index)) {
            Reject(w, &w->Seed_boundary_reject);
            return;
        }
    }
    if (Octree_FindVoxel(index[0], index[1], index[2], w->Tree) != nullptr) {
        ++w->Seed_duplicate;
        return;
    }
    double position[3], value = 0.0, nodeGradient[3] = {0, 0, 0};
    NodePosition(w, index[0], index[1], index[2], position);
    ++w->Seed_EV_count;
    if (Evaluate(w, position, &value, nodeGradient) != 0) return;
    const double raw = value;
    value -= w->Threshold;
    // Directions to try: downhill first from a positive node, uphill from a
    // negative one, when the gradient is known.
    int order[kDirections];
    double key[kDirections];
    for (int d = 0; d < kDirections; ++d) {
        order[d] = d;
        key[d] = 0.0;
        if (haveGradient)
            for (int a = 0; a < 3; ++a) key[d] += gradient[a] * w->EdgeUnit[d][a];
        if (value < 0.0) key[d] = -key[d];
    }
    for (int a = 1; a < kDirections; ++a)
        for (int b = a; b > 0 && key[order[b]] < key[order[b - 1]]; --b) {
            const int s = order[b];
            order[b] = order[b - 1];
            order[b - 1] = s;
        }
    const int32_t* offsets = &Tables().Offset[Parity(index[1], index[2])][0][0];
    for (int m = 0; m < kDirections; ++m) {
        const int d = order[m];
        const int32_t i = index[0] + offsets[3 * d], j = index[1] + offsets[3 * d + 1],
                      k = index[2] + offsets[3 * d + 2];
        if (Octree_FindVoxel(i, j, k, w->Tree) != nullptr) {
            ++w->Seed_duplicate;
            return;
        }
        double p[3], v = 0.0, g[3] = {0, 0, 0};
        NodePosition(w, i, j, k, p);
        ++w->Seed_EV_count;
        if (Evaluate(w, p, &v, g) != 0) return;
        if ((v - w->Threshold >= 0.0) == (value >= 0.0)) continue;
        // Both nodes keep the values just found: no node is evaluated twice.
        LatticeNode* node = AddNode(w, index[0], index[1], index[2]);
        LatticeNode* other = node ? AddNode(w, i, j, k) : nullptr;
        if (other == nullptr) return;
        SetValue(w, node, raw, nodeGradient);
        SetValue(w, other, v, g);
        if (!Join(w, node, d, other)) {
            w->Status = RAPIDSURF_NO_MEMORY;
            return;
        }
        expand(node, d, w);
        if (w->Status != RAPIDSURF_SUCCESS) return;
        if (!Enqueue(w, node)) {
            w->Status = RAPIDSURF_NO_MEMORY;
            return;
        }
        ++w->Seed_count;
        return;
    }
    Reject(w, &w->Seed_vertex_reject);
}

}  // namespace

void RapidSurf_DefaultOptions(RapidSurfOptions* options) {
    if (options == nullptr) return;
    std::memset(options, 0, sizeof *options);
    options->Seed_limit = 1;
    for (int k = 0; k < 4; ++k) options->Orientation[5 * k] = 1.0;
    options->Transform_bbox = 1;
}

RapidSurfWorkspace* init_workspace(int32_t seedCount, const double* boxMin, const double* boxMax, double resolution,
                                   double threshold, const int32_t* abortFlag, RapidSurfValueFn value,
                                   RapidSurfValueGradientFn valueGradient, RapidSurfVertexFn vertexSink,
                                   RapidSurfFaceFn faceSink, void* valueUser, void* vertexUser, void* faceUser,
                                   void* printUser, RapidSurfPrintFn print, const RapidSurfOptions* options) {
    if (value == nullptr || vertexSink == nullptr || faceSink == nullptr || boxMin == nullptr || boxMax == nullptr)
        return nullptr;
    if (!Tables().Consistent) return nullptr;
    RapidSurfOptions o;
    if (options != nullptr)
        o = *options;
    else
        RapidSurf_DefaultOptions(&o);
    auto* w = static_cast<RapidSurfWorkspace*>(std::calloc(1, sizeof(RapidSurfWorkspace)));
    if (w == nullptr) return nullptr;
    w->Print = print;
    w->PrintUser = printUser;
    w->Seed_limit = o.Seed_limit > 0 && o.Seed_limit < seedCount ? o.Seed_limit : seedCount;
    for (int a = 0; a < 3; ++a)
        if (!(boxMax[a] > boxMin[a])) {
            Print(w, "init_workspace: Bounding box arguments in error Max <= Min ");
            std::free(w);
            return nullptr;
        }
    if (o.Transform_bbox != 0 && o.Transform_bbox != 1) {
        Print(w, "init_workspace: options->Transform_bbox invalid value - set to transform bounding box");
        o.Transform_bbox = 1;
    }
    if (o.Open_surface < 0 || o.Open_surface > 2) {
        Print(w, "init_workspace: Open_surface invalid value - set open surface");
        o.Open_surface = 0;
    }
    if (o.Triangulation_optimisation < 0 || o.Triangulation_optimisation > 2) {
        Print(w, "init_workspace: Triangulation_optimisation invalid value - set optimal");
        o.Triangulation_optimisation = 0;
    }
    if (o.Mesh_type < 0 || o.Mesh_type > 2) {
        Print(w, "init_workspace: Mesh_type invalid value - set all triangles");
        o.Mesh_type = 0;
    }
    w->Open_surface = o.Open_surface;
    w->Transform_bbox = o.Transform_bbox;
    w->Fit_to_box = o.Fit_to_box & 7;
    w->Mesh_type = o.Mesh_type;
    w->Optimisation = o.Triangulation_optimisation;
    w->Gradients = o.Gradients == 1 && valueGradient != nullptr ? 1 : 0;
    w->OutsideValue = o.Open_surface == 2 ? kOutside : -kOutside;
    w->Abort = abortFlag;
    w->Value = value;
    w->ValueGradient = valueGradient;
    w->VertexSink = vertexSink;
    w->FaceSink = faceSink;
    w->ValueUser = valueUser;
    w->VertexUser = vertexUser;
    w->FaceUser = faceUser;
    w->Threshold = threshold;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) w->Linear[3 * r + c] = o.Orientation[4 * r + c];
    for (int c = 0; c < 3; ++c) w->Translation[c] = o.Orientation[12 + c];
    double determinant = 0.0;
    if (!Invert3(w->Linear, w->InverseLinear, &determinant)) {
        std::free(w);
        return nullptr;
    }
    w->Flip = determinant < 0.0 ? 1 : 0;
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        lo[a] = boxMin[a];
        hi[a] = boxMax[a];
    }
    if (w->Transform_bbox == 1) {
        for (int corner = 0; corner < 8; ++corner) {
            const double p[3] = {corner & 1 ? boxMax[0] : boxMin[0], corner & 2 ? boxMax[1] : boxMin[1],
                                 corner & 4 ? boxMax[2] : boxMin[2]};
            double q[3];
            ToLattice(w, p, q);
            for (int a = 0; a < 3; ++a) {
                if (corner == 0 || q[a] < lo[a]) lo[a] = q[a];
                if (corner == 0 || q[a] > hi[a]) hi[a] = q[a];
            }
        }
    }
    if (resolution == 0.0) {
        Print(w, "init_workspace: Resolution zero -> 1.0");
        resolution = 1.0;
    }
    resolution = std::fabs(resolution);
    w->Resolution = resolution;
    double d[3] = {resolution * std::sqrt(2.0), resolution, resolution};
    const double W = hi[0] - lo[0], H = hi[1] - lo[1], D = hi[2] - lo[2];
    // Counts in double: a fine lattice over a large box overflows an int.
    double nx = std::trunc(W / d[0] + 0.5) + 1.0;
    if (nx - 1.5 != W / d[0]) nx += 1.0;
    double ny = std::trunc(H / d[1]) + 1.0;
    if (ny - 1.0 != H / d[1]) ny += 1.0;
    double nz = std::trunc(D / d[2]) + 11.0;
    if (nz - 11.0 != D / d[2]) nz += 1.0;
    const double limit = 1073741824.0;
    const char* names[3] = {"X", "Y", "Z"};
    const double counts[3] = {nx, ny, nz};
    for (int a = 0; a < 3; ++a)
        if (counts[a] > limit && w->Print != nullptr)
            w->Print(w->PrintUser, "init_workspace: %s length %.0f\n", names[a], counts[a]);
    const double largest = nx > ny ? (nx > nz ? nx : nz) : (ny > nz ? ny : nz);
    const int32_t maxLevel = largest < 1.0 ? 1 : 2 + static_cast<int32_t>(std::floor(std::log2(largest)));
    // The octree spans at most 2^23 nodes per axis.
    if (maxLevel > kOctreeMaxLevel) {
        std::free(w);
        return nullptr;
    }
    w->Nx = static_cast<int32_t>(nx);
    w->Ny = static_cast<int32_t>(ny);
    w->Nz = static_cast<int32_t>(nz);
    if (w->Fit_to_box & 1) d[0] = W / (w->Nx - 1.5);
    if (w->Fit_to_box & 2) d[1] = H / (w->Ny - 1);
    if (w->Fit_to_box & 4) d[2] = D / (w->Nz - 11);
    for (int a = 0; a < 3; ++a) w->Scale[a] = d[a];
    w->HalfDx = d[0] * 0.5;
    w->Origin[0] = lo[0] - d[0] / 2;
    w->Origin[1] = lo[1];
    w->Origin[2] = lo[2] - 5 * d[2];
    const double used[3] = {lo[0] + (w->Nx - 1.5) * d[0], lo[1] + (w->Ny - 1) * d[1], lo[2] + (w->Nz - 11) * d[2]};
    for (int a = 0; a < 3; ++a) {
        w->VolMin[a] = lo[a];
        w->VolMax[a] = used[a];
    }
    w->IndexMin[0] = 0;
    w->IndexMin[1] = 0;
    w->IndexMin[2] = 5;
    w->IndexMax[0] = w->Nx - 1;
    w->IndexMax[1] = w->Ny - 1;
    w->IndexMax[2] = w->Nz - 6;
    for (int dir = 0; dir < kDirections; ++dir) {
        const int32_t* v = Tables().Vector[dir];
        const double q[3] = {v[0] * 0.5 * d[0], v[1] * d[1], v[2] * d[2]};
        double p[3];
        RowTimes(q, w->InverseLinear, p);
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int a = 0; a < 3; ++a) w->EdgeUnit[dir][a] = p[a] / length;
    }
    w->Tree = Octree_Create(maxLevel, 8, 8, 14, 15, sizeof(LatticeNode), 8192);
    if (w->Tree == nullptr) {
        std::free(w);
        return nullptr;
    }
    w->Status = RAPIDSURF_SUCCESS;
    return w;
}

int inject_all_seeds(int32_t seedCount, const double* seeds, const double* boxMin, const double* boxMax,
                     double resolution, double threshold, const int32_t* abortFlag, RapidSurfValueFn value,
                     RapidSurfValueGradientFn valueGradient, RapidSurfVertexFn vertexSink, RapidSurfFaceFn faceSink,
                     void* valueUser, void* vertexUser, void* faceUser, void* printUser, RapidSurfPrintFn print,
                     const RapidSurfOptions* options, RapidSurfWorkspace** slot) {
    if (slot != nullptr) {
        RapidSurf_Free(*slot);
        *slot = nullptr;
    }
    RapidSurfWorkspace* w =
        init_workspace(seedCount, boxMin, boxMax, resolution, threshold, abortFlag, value, valueGradient, vertexSink,
                       faceSink, valueUser, vertexUser, faceUser, printUser, print, options);
    if (w == nullptr) return RAPIDSURF_NO_MEMORY;
    if (slot != nullptr) *slot = w;
    auto aborted = [w] { return w->Abort != nullptr && *w->Abort != 0; };
    int result = RAPIDSURF_SUCCESS;
    if (seeds == nullptr) {
        if (print != nullptr) {
            print(printUser, "inject_all_seeds: Seeds");
            print(printUser, " - NULL pointer\n");
        }
        w->Status = RAPIDSURF_NO_SEEDS;
    } else {
        w->Total_seeds = seedCount;
        for (int32_t s = 0; s < seedCount && w->Seed_count < w->Seed_limit && w->Status == RAPIDSURF_SUCCESS; ++s) {
            if (aborted()) {
                w->Status = RAPIDSURF_ABORT;
                break;
            }
            InjectSeed(w, seeds + 3 * s);
            // Stopped by the evaluator, a sink or memory rather than rejected.
            if (w->Status != RAPIDSURF_SUCCESS) ++w->Seed_fail;
        }
        if (w->Front.Count == 0 && w->Status == RAPIDSURF_SUCCESS) w->Status = RAPIDSURF_NO_SEEDS;
    }
    // The front: one node at a time from its head.
    while (w->Status == RAPIDSURF_SUCCESS && w->Front.Count > 0) {
        if (aborted()) {
            w->Status = RAPIDSURF_ABORT;
            break;
        }
        ++w->Iteration_count;
        const int32_t* head = Pop(&w->Front, 3);
        auto* node = static_cast<LatticeNode*>(Octree_FindVoxel(head[0], head[1], head[2], w->Tree));
        w->Vertex_stack_size = w->Front.Count;
        if (node == nullptr) {
            w->Status = RAPIDSURF_SURFACING_ERROR;
            break;
        }
        node->Flags &= ~kNodeQueued;
        if (int status = ProcessNode(w, node)) {
            w->Status = status;
            break;
        }
        if (!Retire(w, node)) {
            w->Status = RAPIDSURF_NO_MEMORY;
            break;
        }
    }
    result = w->Status;
    // An empty surface is no success: the caller reports that no seed started.
    return result;
}

const char* RapidSurf_StatusName(int32_t status) {
    static const char* const names[] = {"SUCCESS",     "ABORT",     "EVAL_ERROR", "DERIV_ERROR",    "VERTEX_ERROR",
                                        "FACET_ERROR", "NO_MEMORY", "NO_SEEDS",   "SURFACING_ERROR"};
    return status >= 0 && status <= 8 ? names[status] : "UNKNOWN_ERROR";
}

void RapidSurf_Free(RapidSurfWorkspace* w) {
    if (w == nullptr) return;
    Octree_Free(w->Tree);
    std::free(w->Front.Data);
    std::free(w->Retiring.Data);
    HalfQuads_Free(&w->HalfQuads);
    Crossings_Free(&w->Crossings);
    std::free(w->VertexPositions);
    std::free(w->VertexGradients);
    std::free(w);
}

RapidSurfCounts RapidSurf_Counts(const RapidSurfWorkspace* w) {
    RapidSurfCounts c;
    std::memset(&c, 0, sizeof c);
    if (w == nullptr) return c;
    c.Status = w->Status;
    c.Vertex_count = w->Vertex_count;
    c.Face_count = w->Face_count;
    c.Boundary_Face_count = w->Boundary_Face_count;
    c.Split_Quad_count = w->Split_Quad_count;
    c.EV_count = w->EV_count;
    c.Seed_count = w->Seed_count;
    c.Seed_reject = w->Seed_reject;
    c.Seed_fail = w->Seed_fail;
    c.Flat_surface_count = w->Flat_surface_count;
    c.Multi_surface_count = w->Multi_surface_count;
    c.Multi_hole_count = w->Multi_hole_count;
    c.Small_hole_count = w->Small_hole_count;
    c.Nugget_count = w->Nugget_count;
    c.Vertex_collapse_count = w->Vertex_collapse_count;
    c.Flat_boundary_quad_count = w->Flat_boundary_quad_count;
    c.Seed_vertex_reject = w->Seed_vertex_reject;
    c.Seed_boundary_reject = w->Seed_boundary_reject;
    c.Seed_search_reject = w->Seed_search_reject;
    c.Seed_duplicate = w->Seed_duplicate;
    c.Total_seeds = w->Total_seeds;
    c.Max_vertex_stack_size = w->Max_vertex_stack_size;
    c.Open_half_quads = w->HalfQuads.Count;
    c.Live_nodes = w->Live_nodes;
    c.Max_live_nodes = w->Max_live_nodes;
    c.Retired_count = w->Retired_count;
    return c;
}

void RapidSurf_WriteStatus(RapidSurfPrintFn print, void* user, const RapidSurfWorkspace* w) {
    if (print == nullptr || w == nullptr) return;
    print(user, "[Status info]\n\n");
    print(user, "RapidSurf Status %s\n", RapidSurf_StatusName(w->Status));
    if (w->Abort != nullptr) print(user, "Abort Status %i\n", *w->Abort);
    print(user, "EV_Status Status %s\n", RapidSurf_StatusName(w->EvStatus));
    print(user, "[Surfacing info]\n\n");
    print(user, "Vertex_count %i\n", w->Vertex_count);
    print(user, "Face_count %i\n", w->Face_count);
    print(user, "Vertex_stack_size %i\n", w->Vertex_stack_size);
    print(user, "Iteration_count %i\n", w->Iteration_count);
    print(user, "EV_count %i\n", w->EV_count);
    print(user, "Seed_EV_count %i\n", w->Seed_EV_count);
    print(user, "Grad_count %i\n", w->Grad_count);
    print(user, "Max_vertex_stack_size %i\n", w->Max_vertex_stack_size);
    print(user, "Boundary_Face_count %i\n", w->Boundary_Face_count);
    print(user, "Split_Quad_count %i\n", w->Split_Quad_count);
    print(user, "Slice Resolution %f\n", w->Resolution);
    print(user, "[Topology info]\n\n");
    print(user, "Flat_surface_count %i\n", w->Flat_surface_count);
    print(user, "Multi_surface_count %i\n", w->Multi_surface_count);
    print(user, "Multi_hole_count %i\n", w->Multi_hole_count);
    print(user, "Small_hole_count %i\n", w->Small_hole_count);
    print(user, "Nugget_count %i\n", w->Nugget_count);
    print(user, "Vertex_collapse_count %i\n", w->Vertex_collapse_count);
    print(user, "Flat_boundary_quad_count %i\n", w->Flat_boundary_quad_count);
    print(user, "[Workspace info]\n\n");
    print(user, "Vol size (%f %f %f) (%f %f %f)\n", w->VolMin[0], w->VolMin[1], w->VolMin[2], w->VolMax[0],
          w->VolMax[1], w->VolMax[2]);
    print(user, "Index range (%i %i %i) (%i %i %i)\n", w->IndexMin[0], w->IndexMin[1], w->IndexMin[2], w->IndexMax[0],
          w->IndexMax[1], w->IndexMax[2]);
    print(user, "Scale (%f %f %f)\n", w->Scale[0], w->Scale[1], w->Scale[2]);
    print(user, "[Parameter info]\n\n");
    print(user, "Threshold %f\n", w->Threshold);
    print(user, "[Tree info]\n");
    print(user, "Tree %p \n", static_cast<void*>(w->Tree));
    print(user, "[Options info]\n");
    static const char* const open[] = {"Open\n", "Closed negative\n", "Closed plus\n"};
    print(user, "Open_surface %i - ", w->Open_surface);
    print(user, "%s", w->Open_surface >= 0 && w->Open_surface <= 2 ? open[w->Open_surface] : "Unknown type\n");
    static const char* const mesh[] = {"All triangles\n", "All quads\n", "Quads & triangles\n"};
    print(user, "Mesh_type %i - ", w->Mesh_type);
    print(user, "%s", w->Mesh_type >= 0 && w->Mesh_type <= 2 ? mesh[w->Mesh_type] : "Unknown type\n");
    static const char* const optimise[] = {"Optimise facet\n", "Z grid facet optimisation\n",
                                           "No facet optimisation\n"};
    print(user, "%s",
          w->Optimisation >= 0 && w->Optimisation <= 2 ? optimise[w->Optimisation]
                                                       : "WARNING: Clustering method unknown \n");
    print(user, "%s",
          w->Transform_bbox == 1   ? "Transform B-box\n"
          : w->Transform_bbox == 0 ? "Do not transform B-box\n"
                                   : "WARNING: Transform Bbox method unknown \n");
    if (w->Fit_to_box == 0) print(user, "Approximate B-box\n");
    if (w->Fit_to_box & 1) print(user, "Scale X res to fit B-box\n");
    if (w->Fit_to_box & 2) print(user, "Scale Y res to fit B-box\n");
    if (w->Fit_to_box & 4) print(user, "Scale Z res to fit B-box\n");
    print(user, "[Seed info]\n\n");
    print(user, "Total_seeds %i\n", w->Total_seeds);
    print(user, "Seed_limit %i\n", w->Seed_limit);
    print(user, "Seed_count %i\n", w->Seed_count);
    print(user, "Seed_fail %i\n", w->Seed_fail);
    print(user, "Seed_reject %i\n", w->Seed_reject);
    print(user, "Seed_vertex_reject %i\n", w->Seed_vertex_reject);
    print(user, "Seed_boundary_reject %i\n", w->Seed_boundary_reject);
    print(user, "Seed_search_reject %i\n", w->Seed_search_reject);
    print(user, "Seed_duplicate %i\n\n", w->Seed_duplicate);
}
