// The general k-d tree: build, release and box searches.
#include "surface/search/kd_tree.h"

#include "surface/frame/status_codes.h"

#include <cstring>

namespace {

struct RowCoord {
    double* const* rows;
    double operator()(int32_t p, int32_t k) const { return rows[p][k]; }
};

struct MaskAccept {
    const int32_t* mask;
    bool operator()(int32_t p) const { return mask == nullptr || mask[p] != 0; }
};

}  // namespace

int KdTreeN_Build(int32_t count, int32_t dim, double* const* points, KdTreeN* tree, double* bounds,
                  const volatile int32_t* cancel) {
    if (tree == nullptr) return CoreStatus_NullArgument;
    std::memset(tree, 0, sizeof *tree);
    if (count < 0 || dim < 1) return CoreStatus_InvalidInput;
    if (points == nullptr && count > 0) return CoreStatus_NullArgument;
    KdTreeN built;
    std::memset(&built, 0, sizeof built);
    built.Count = count;
    built.Dim = dim;
    built.Points = points;
    const int32_t rows = count > 0 ? count : 1;
    built.Nodes = kdbuild::AllocNodes(rows, dim);
    built.Result = Mem_AllocInts(rows);
    if (built.Nodes == nullptr || built.Result == nullptr) {
        KdTreeN_Free(&built);
        return CoreStatus_NoMemory;
    }
    const int status = kdbuild::Build(count, dim, RowCoord{points}, built.Nodes, bounds, &built.Depth, cancel);
    if (status == 0) {
        built.Stack = Mem_AllocInts(built.Depth + 2);
        built.SplitStack = Mem_AllocInts(2 * (built.Depth + 2));
        if (built.Stack == nullptr || built.SplitStack == nullptr) {
            KdTreeN_Free(&built);
            return CoreStatus_NoMemory;
        }
        *tree = built;
        return 0;
    }
    KdTreeN_Free(&built);
    return status;
}

void KdTreeN_Free(KdTreeN* tree) {
    if (tree == nullptr) return;
    Mem_Free(tree->Nodes);
    Mem_Free(tree->Stack);
    Mem_Free(tree->SplitStack);
    Mem_Free(tree->Result);
    std::memset(tree, 0, sizeof *tree);
}

void KdTreeN_Box(int32_t dim, const double* point, double r, double* box) {
    for (int32_t k = 0; k < dim; ++k) {
        box[k] = point[k] - r;
        box[dim + k] = point[k] + r;
    }
}

int32_t KdTreeN_BoxQuery(KdTreeN* tree, const double* box) {
    int32_t found = 0;
    int32_t* result = tree->Result;
    kdbuild::WithDimension(tree->Dim, [&](auto D) {
        return kdbuild::BoxWalk<D()>(tree->Nodes, tree->Count, tree->Dim, box, tree->Stack, tree->SplitStack,
                                     MaskAccept{tree->Mask}, [&](int32_t p, const double*) {
                                         result[found++] = p;
                                         return true;
                                     });
    });
    tree->ResultCount = found;
    return found;
}

int32_t KdTreeN_CollectInBox(const KdTreeN* tree, const double* box, int32_t limit, int32_t* indices) {
    int32_t found = 0;
    if (limit <= 0) return 0;
    kdbuild::WithDimension(tree->Dim, [&](auto D) {
        return kdbuild::BoxWalk<D()>(tree->Nodes, tree->Count, tree->Dim, box, tree->Stack, tree->SplitStack,
                                     MaskAccept{tree->Mask}, [&](int32_t p, const double*) {
                                         indices[found++] = p;
                                         return found < limit;
                                     });
    });
    return found;
}

void KdTreeN_SetMask(KdTreeN* tree, const int32_t* mask) { tree->Mask = mask; }

int32_t KdTreeN_ActiveCount(const KdTreeN* tree) {
    if (tree->Mask == nullptr) return tree->Count;
    int32_t active = 0;
    for (int32_t i = 0; i < tree->Count; ++i) active += tree->Mask[i] != 0;
    return active;
}
