// Cell-by-cell sampling over a spatial division.
#include "surface/fit/spatial_sampling.h"

#include <cmath>

#include "surface/search/index_sort.h"
#include "surface/fit/spatial_division.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

// A division with its sorted lists, freed on destruction.
struct Division {
    int32_t** lists = nullptr;
    SpatialPanel* panels = nullptr;
    int32_t numPanels = 0;
    double box[6] = {};

    int Build(int32_t N, double* const* points, int32_t d, int32_t leaf) {
        if (d < 1 || d > 3) return CoreStatus_InvalidInput;
        lists = Mem_AllocIntMatrix(d, N);
        if (!lists) return CoreStatus_NoMemory;
        return SpatialDivision_Build(N, points, d, leaf, &panels, &numPanels, lists, box, 0, nullptr);
    }
    // label[p] = the panel of point p; null when it cannot be allocated.
    int32_t* Labels(int32_t N) const {
        int32_t* label = Mem_AllocInts(N);
        if (!label) return nullptr;
        for (int32_t i = 0; i < numPanels; ++i)
            for (int32_t j = panels[i].start; j < panels[i].end; ++j) label[lists[0][j]] = i;
        return label;
    }
    ~Division() {
        SpatialDivision_Free(panels, numPanels);
        Mem_FreeIntMatrix(lists);
    }
};

// Points in ascending order of |value|; null when no memory.
int32_t* OrderByMagnitude(int32_t N, const double* values) {
    double* magnitude = Mem_AllocDoubles(N);
    int32_t* order = Mem_AllocInts(N);
    if (magnitude && order) {
        for (int32_t i = 0; i < N; ++i) magnitude[i] = std::fabs(values[i]);
        Index_HeapSortDouble(magnitude, order, N, nullptr);
    } else {
        Mem_Free(order);
        order = nullptr;
    }
    Mem_Free(magnitude);
    return order;
}

// Walks `order` from its end and takes each item whose cell holds fewer than
// perCell taken items, until `target` are taken. Returns the number taken.
int32_t TakeFromCells(int32_t count, const int32_t* order, const int32_t* label, int32_t numCells, int32_t perCell,
                      int32_t target, int32_t* out, int* status) {
    int32_t* taken = Mem_AllocInts(numCells);
    if (!taken) {
        *status = CoreStatus_NoMemory;
        return 0;
    }
    for (int32_t i = 0; i < numCells; ++i) taken[i] = 0;
    int32_t n = 0;
    for (int32_t i = count - 1; i >= 0 && n < target; --i) {
        const int32_t item = order[i];
        int32_t& inCell = taken[label[item]];
        if (inCell >= perCell) continue;
        ++inCell;
        out[n++] = item;
    }
    Mem_Free(taken);
    *status = 0;
    return n;
}

// Samples `target` of the ordered items (largest last) with a per-cell cap.
int SampleOrdered(int32_t N, double* const* points, int32_t d, int32_t leaf, int32_t count, const int32_t* order,
                  int32_t target, int32_t capFromTarget, int32_t* out, int32_t* numOut) {
    Division division;
    int status = division.Build(N, points, d, leaf);
    if (status != 0) return status;
    int32_t* label = division.Labels(N);
    if (!label) return CoreStatus_NoMemory;
    const int32_t perCell = capFromTarget ? target / division.numPanels + 1 : 1;
    *numOut = TakeFromCells(count, order, label, division.numPanels, perCell, target, out, &status);
    Mem_Free(label);
    if (status != 0) return status;
    return *numOut < target ? CoreStatus_Failure : 0;
}

}  // namespace

int SpatialDivision_Leaves(int32_t N, double* const* points, int32_t d, int32_t m, int32_t* out) {
    if (m < 2) return CoreStatus_InvalidInput;
    if (!points || !out) return CoreStatus_NullArgument;
    Division division;
    const int status = division.Build(N, points, d, m);
    if (status != 0) return status;
    for (int32_t k = 0; k < N / m; ++k) out[k] = division.lists[0][k * m];
    return 0;
}

int SpatialDivision_Pick(int32_t N, double* const* points, int32_t d, int32_t count, int32_t* out) {
    if (count < 0 || N < 0 || count > N) return CoreStatus_InvalidInput;
    if (!points || !out) return CoreStatus_NullArgument;
    if (count == 0) return 0;
    Division division;
    const int status = division.Build(N, points, d, 2);
    if (status != 0) return status;
    for (int32_t i = 0; i < count; ++i) out[i] = division.lists[0][static_cast<int64_t>(i) * N / count];
    return 0;
}

int SpatialDivision_Sample(int32_t N, double* const* points, const double* values, int32_t d, int32_t m, int32_t* out,
                           int32_t* numOut) {
    if (m < 2) return CoreStatus_InvalidInput;
    if (!points || !values || !out || !numOut) return CoreStatus_NullArgument;
    *numOut = 0;
    int32_t* order = OrderByMagnitude(N, values);
    if (!order) return CoreStatus_NoMemory;
    const int status = SampleOrdered(N, points, d, m, N, order, N / m, 0, out, numOut);
    Mem_Free(order);
    return status;
}

int SpatialDivision_Sample23(int32_t N, int32_t d, double* const* points, const double* values, int32_t n,
                             int32_t* out) {
    if (N < n || n < 1 || (d != 2 && d != 3)) return CoreStatus_InvalidInput;
    if (!points || !values || !out) return CoreStatus_NullArgument;
    int32_t* order = OrderByMagnitude(N, values);
    if (!order) return CoreStatus_NoMemory;
    const int32_t leaf = N / n > 2 ? N / n : 2;
    int32_t taken = 0;
    const int status = SampleOrdered(N, points, d, leaf, N, order, n, 1, out, &taken);
    Mem_Free(order);
    return status;
}

int SpatialDivision_Subsets(int32_t N, int32_t d, double* const* points, int32_t c, const int32_t* candidates,
                            int32_t n, int32_t* out) {
    if (c < n || N < c || n < 1 || (d != 2 && d != 3)) return CoreStatus_InvalidInput;
    if (!points || !candidates) return CoreStatus_NullArgument;
    if (!out) return CoreStatus_NullArgument;
    const int32_t leaf = c / n > 2 ? c / n : 2;
    int32_t taken = 0;
    return SampleOrdered(N, points, d, leaf, c, candidates, n, 1, out, &taken);
}
