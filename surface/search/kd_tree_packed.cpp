// The packed 2D and 3D k-d trees: the shared build and walk over arrays of
// D doubles a point.
#include "surface/search/kd_tree_packed.h"

#include <cstring>

namespace {

template <int D>
struct PackedCoord {
    const double* points;
    double operator()(int32_t p, int32_t k) const { return points[D * static_cast<int64_t>(p) + k]; }
};

struct AcceptAll {
    bool operator()(int32_t) const { return true; }
};

template <int D, class Tree>
int Build(int32_t count, const double* points, Tree* tree, double* bounds) {
    if (tree == nullptr) return 0;
    std::memset(tree, 0, sizeof *tree);
    if (count < 0 || (points == nullptr && count > 0)) return 0;
    Tree built;
    std::memset(&built, 0, sizeof built);
    built.Count = count;
    built.Nodes = kdbuild::AllocNodes(count, D);
    int status = built.Nodes ? 0 : CoreStatus_NoMemory;
    if (status == 0)
        status = kdbuild::Build(count, D, PackedCoord<D>{points}, built.Nodes, bounds, &built.Depth, nullptr);
    if (status == 0) {
        built.Stack = Mem_AllocInts(built.Depth + 2);
        built.SplitStack = Mem_AllocInts(2 * (built.Depth + 2));
        if (built.Stack == nullptr || built.SplitStack == nullptr) status = CoreStatus_NoMemory;
    }
    if (status != 0) {
        Mem_Free(built.Nodes);
        Mem_Free(built.Stack);
        Mem_Free(built.SplitStack);
        return 0;
    }
    *tree = built;
    return 1;
}

template <int D, class Tree>
int BoxQuery(const Tree* tree, const double* points, const double* box, int32_t limit, int32_t* indices,
             int32_t* count) {
    int32_t found = 0;
    bool complete = true;
    if (limit <= 0) {
        complete = false;
    } else {
        complete = kdbuild::BoxWalk<D>(tree->Nodes, tree->Count, D, box, tree->Stack, tree->SplitStack, AcceptAll{},
                                       [&](int32_t p, const double*) {
                                           indices[found++] = p;
                                           return found < limit;
                                       });
    }
    *count = found;
    return complete ? 1 : 0;
}

template <class Tree>
void Free(Tree* tree) {
    if (tree == nullptr) return;
    Mem_Free(tree->Nodes);
    Mem_Free(tree->Stack);
    Mem_Free(tree->SplitStack);
    std::memset(tree, 0, sizeof *tree);
}

}  // namespace

int KdTree2_Build(int32_t count, const double* points, KdTree2* tree, double* bounds) {
    return Build<2>(count, points, tree, bounds);
}

int KdTree3_Build(int32_t count, const double* points, KdTree3* tree, double* bounds) {
    return Build<3>(count, points, tree, bounds);
}

int KdTree2_BoxQuery(const KdTree2* tree, const double* points, const double* box, int32_t limit, int32_t* indices,
                     int32_t* count) {
    return BoxQuery<2>(tree, points, box, limit, indices, count);
}

int KdTree3_BoxQuery(const KdTree3* tree, const double* points, const double* box, int32_t limit, int32_t* indices,
                     int32_t* count) {
    return BoxQuery<3>(tree, points, box, limit, indices, count);
}

void KdTree2_Free(KdTree2* tree) { Free(tree); }

void KdTree3_Free(KdTree3* tree) { Free(tree); }

void Box_AroundPoint3(const double* point, double r, double* box) {
    for (int k = 0; k < 3; ++k) {
        box[k] = point[k] - r;
        box[3 + k] = point[k] + r;
    }
}
