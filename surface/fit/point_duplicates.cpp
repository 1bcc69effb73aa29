#include "surface/fit/point_duplicates.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "surface/fit/permutations.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree.h"

namespace {

bool Aborted(const volatile int32_t* abort) { return abort && *abort; }

// The tree over the points and the absolute tolerance.
int BuildTree(int32_t dim, int32_t N, double* const* points, double tolerance, int32_t relative, KdTreeN* tree,
              double* absolute, const volatile int32_t* abort) {
    double bounds[6];
    int status = KdTreeN_Build(N, dim, points, tree, bounds, abort);
    if (status != CoreStatus_Success) return status;
    double extent = 0.0;
    for (int32_t k = 0; k < dim; ++k) extent = std::max(extent, bounds[dim + k] - bounds[k]);
    *absolute = relative ? tolerance * extent : tolerance;
    return CoreStatus_Success;
}

// The box of p; an upper end that does not rise above p moves to the next
// double so that p itself is inside.
void DuplicateBox(int32_t dim, const double* p, double t, double* box) {
    KdTreeN_Box(dim, p, t, box);
    for (int32_t k = 0; k < dim; ++k)
        if (!(box[dim + k] > p[k])) box[dim + k] = std::nextafter(p[k], HUGE_VAL);
}

// Moves the unmarked entries of the order to the front by swaps; the kept
// count.
int32_t CompactOrder(int32_t N, int32_t* marks, int32_t* order, const volatile int32_t* abort, int* status) {
    int32_t i = N - 1;
    while (i >= 0 && marks[i]) --i;
    for (int32_t j = 0; j < i; ++j) {
        if (Aborted(abort)) {
            *status = CoreStatus_UserAbort;
            return 0;
        }
        if (!marks[j]) continue;
        std::swap(order[j], order[i]);
        marks[j] = 0;
        marks[i] = 1;
        while (i > j && marks[i]) --i;
    }
    return i + 1;
}

int MarkDuplicates(KdTreeN* tree, double* const* points, int32_t dim, int32_t N, double t, int32_t* marks,
                   int32_t* representative, const volatile int32_t* abort) {
    double box[6];
    for (int32_t j = 0; j < N; ++j) {
        if (Aborted(abort)) return CoreStatus_UserAbort;
        if (marks[j]) continue;
        DuplicateBox(dim, points[j], t, box);
        int32_t found = KdTreeN_BoxQuery(tree, box);
        if (found < 2) continue;
        for (int32_t k = 0; k < found; ++k) {
            int32_t q = tree->Result[k];
            if (q <= j) continue;
            marks[q] = 1;
            if (representative) representative[q] = j;
        }
    }
    return CoreStatus_Success;
}

}  // namespace

int Points_CheckDuplicates(int32_t dim, int32_t N, double* const* points, double tolerance, int32_t relative,
                           const volatile int32_t* abort) {
    if (!points) return CoreStatus_NullArgument;
    KdTreeN tree{};
    double t = 0.0;
    int status = BuildTree(dim, N, points, tolerance, relative, &tree, &t, abort);
    if (status != CoreStatus_Success) return status;
    double box[6];
    for (int32_t j = 0; j < N && status == CoreStatus_Success; ++j) {
        DuplicateBox(dim, points[j], t, box);
        if (KdTreeN_BoxQuery(&tree, box) >= 2)
            status = CoreStatus_DuplicatePoints;
        else if (Aborted(abort))
            status = CoreStatus_UserAbort;
    }
    KdTreeN_Free(&tree);
    return status;
}

int Points_FindDuplicates(double* const* points, int32_t dim, int32_t N, double tolerance, int32_t relative,
                          int32_t* marks, int32_t* order, int32_t* representative, int32_t* kept,
                          const volatile int32_t* abort) {
    if (!points || !kept) return CoreStatus_NullArgument;
    *kept = 0;
    int32_t* own = marks ? nullptr : Mem_AllocInts(N);
    if (!marks && !own) return CoreStatus_NoMemory;
    int32_t* mark = marks ? marks : own;
    for (int32_t i = 0; i < N; ++i) {
        mark[i] = 0;
        if (order) order[i] = i;
        if (representative) representative[i] = i;
    }
    KdTreeN tree{};
    double t = 0.0;
    int status = BuildTree(dim, N, points, tolerance, relative, &tree, &t, abort);
    if (status == CoreStatus_Success && Aborted(abort)) status = CoreStatus_UserAbort;
    if (status == CoreStatus_Success) status = MarkDuplicates(&tree, points, dim, N, t, mark, representative, abort);
    if (status == CoreStatus_Success) {
        if (order) {
            *kept = CompactOrder(N, mark, order, abort, &status);
        } else {
            *kept = N - static_cast<int32_t>(std::count(mark, mark + N, 1));
        }
    }
    KdTreeN_Free(&tree);
    Mem_Free(own);
    return status;
}

int Points_RemoveDuplicates(double* const* points, int32_t dim, int32_t* count, double* values, double tolerance,
                            int32_t relative, int32_t* order, int32_t* representative, const volatile int32_t* abort) {
    if (!points || !count) return CoreStatus_NullArgument;
    const int32_t N = *count;
    int32_t* own = order ? nullptr : Mem_AllocInts(N);
    if (!order && !own) return CoreStatus_NoMemory;
    int32_t* perm = order ? order : own;
    int32_t kept = N;
    int status =
        Points_FindDuplicates(points, dim, N, tolerance, relative, nullptr, perm, representative, &kept, abort);
    if (status == CoreStatus_Success) status = Permute_Rows(points, dim, perm, N);
    if (status == CoreStatus_Success && values) status = Permute_Doubles(values, perm, N);
    if (status == CoreStatus_Success && representative) {
        status = Permute_Ints(representative, perm, N);
        // The order is a product of disjoint swaps: it maps an old index to
        // its new place as well.
        if (status == CoreStatus_Success)
            for (int32_t i = 0; i < N; ++i) representative[i] = perm[representative[i]];
    }
    if (status == CoreStatus_Success) *count = kept;
    Mem_Free(own);
    return status;
}
