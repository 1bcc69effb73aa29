#include "surface/fit/flag_compaction.h"

#include <utility>

#include "surface/frame/core_reporter.h"
#include "surface/frame/face_list.h"
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

// The shared walk: `flagged(i)` tells whether entry i is flagged and
// `take(i, last)` moves the last kept entry to i. Returns the kept count.
template <typename Flagged, typename Take>
int32_t Compact(int32_t count, Flagged flagged, Take take) {
    int32_t n = count;
    while (n > 0 && flagged(n - 1)) --n;
    for (int32_t i = 0; i < n; ++i) {
        if (!flagged(i)) continue;
        take(i, n - 1);
        --n;
        while (n > 0 && flagged(n - 1)) --n;
    }
    return n;
}

template <int kWidth>
int32_t CompactRows(int32_t* flags, int32_t* rows, int32_t count) {
    return Compact(
        count, [flags](int32_t i) { return flags[i] != 0; },
        [flags, rows](int32_t i, int32_t last) {
            for (int k = 0; k < kWidth; ++k) std::swap(rows[kWidth * i + k], rows[kWidth * last + k]);
            flags[i] = 0;
            flags[last] = 1;
        });
}

// Applies the permutation to an array of `width` doubles an entry by
// following its cycles; visited entries are marked by complementing their
// order value, which is undone at the end.
void PermuteArray(int32_t* order, int32_t count, double* values, int width) {
    if (!values) return;
    for (int32_t i = 0; i < count; ++i) {
        if (order[i] < 0 || order[i] == i) continue;
        double keep[3];
        for (int k = 0; k < width; ++k) keep[k] = values[width * static_cast<int64_t>(i) + k];
        int32_t j = i;
        while (order[j] != i) {
            const int32_t from = order[j];
            for (int k = 0; k < width; ++k) {
                values[width * static_cast<int64_t>(j) + k] = values[width * static_cast<int64_t>(from) + k];
            }
            order[j] = ~from;
            j = from;
        }
        for (int k = 0; k < width; ++k) values[width * static_cast<int64_t>(j) + k] = keep[k];
        order[j] = ~i;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (order[i] < 0) order[i] = ~order[i];
    }
}

}  // namespace

void Index_CompactFlagged(int32_t* flags, int32_t* quads, int32_t* count) {
    *count = CompactRows<4>(flags, quads, *count);
}

void Index_CompactFlaggedCounted(int32_t* flags, FaceList* faces) {
    faces->TriCount = CompactRows<3>(flags, faces->Tri, faces->TriCount);
}

void Flags_CompactionOrder(const int32_t* flags, int32_t* order, int32_t count, int32_t* kept) {
    for (int32_t i = 0; i < count; ++i) order[i] = i;
    *kept = Compact(
        count, [flags, order](int32_t i) { return flags[order[i]] != 0; },
        [order](int32_t i, int32_t last) { std::swap(order[i], order[last]); });
}

namespace {

// Every array of a 2D or 3D list follows the order; absent arrays are skipped.
template <int kDim, typename List>
void PermuteList(int32_t* order, int32_t count, List* list) {
    PermuteArray(order, count, list->Location, kDim);
    PermuteArray(order, count, list->Gradient, kDim);
    PermuteArray(order, count, list->Value, 1);
    PermuteArray(order, count, list->Accuracy, 1);
    PermuteArray(order, count, list->Lower, 1);
    PermuteArray(order, count, list->Upper, 1);
    for (int32_t s = 0; s < list->AltCount; ++s) {
        PointListAltSet& set = list->Alt[s];
        PermuteArray(order, count, set.Gradient, kDim);
        PermuteArray(order, count, set.Value, 1);
        PermuteArray(order, count, set.Accuracy, 1);
        PermuteArray(order, count, set.Lower, 1);
        PermuteArray(order, count, set.Upper, 1);
    }
}

template <int kDim, typename List>
int RemoveFlagged(const int32_t* flags, List* list, const CoreReporter* reporter) {
    const int32_t count = list->Count;
    int32_t* order = static_cast<int32_t*>(Mem_Alloc(sizeof(int32_t) * (count > 0 ? count : 1)));
    if (!order) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Memory allocation failed");
        return CoreStatus_NoMemory;
    }
    int32_t kept = 0;
    Flags_CompactionOrder(flags, order, count, &kept);
    PermuteList<kDim>(order, count, list);
    list->Count = kept;
    Mem_Free(order);
    return CoreStatus_Success;
}

}  // namespace

void PointList3_Permute(int32_t* order, int32_t count, PointList3* list) { PermuteList<3>(order, count, list); }

void PointList2_Permute(int32_t* order, int32_t count, PointList2* list) { PermuteList<2>(order, count, list); }

int PointList3_RemoveFlagged(const int32_t* flags, PointList3* list, const CoreReporter* reporter) {
    return RemoveFlagged<3>(flags, list, reporter);
}

int PointList2_RemoveFlagged(const int32_t* flags, PointList2* list, const CoreReporter* reporter) {
    return RemoveFlagged<2>(flags, list, reporter);
}

int Faces_IndicesInRange(int32_t vertexCount, int32_t triangleCount, const int32_t* triangles, int32_t quadCount,
                         const int32_t* quads) {
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(triangleCount); ++i) {
        if (triangles[i] < 0 || triangles[i] >= vertexCount) return 0;
    }
    for (int64_t i = 0; i < 4 * static_cast<int64_t>(quadCount); ++i) {
        if (quads[i] < 0 || quads[i] >= vertexCount) return 0;
    }
    return 1;
}

int Faces_IndicesInRangeOf(const CoreMesh* mesh) {
    return Faces_IndicesInRange(mesh->pointCount, mesh->triangleCount, mesh->triangles, mesh->quadCount, mesh->quads);
}
