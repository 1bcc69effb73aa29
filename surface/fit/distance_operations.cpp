#include "surface/fit/distance_operations.h"

#include <cfloat>
#include <cmath>

#include "surface/frame/core_reporter.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree_packed.h"

namespace {

// The smallest radius the search works with: a radius shrunk after many
// crowded points, or one made from points that all coincide, would reach 0,
// and a box of half-width 0 holds nothing however often it grows.
constexpr double kSmallestRadius = 1e-150;

template <int kDim>
struct PackedTree;
template <>
struct PackedTree<2> {
    KdTree2 tree;
    bool Build(int32_t n, const double* p, double* bounds) { return KdTree2_Build(n, p, &tree, bounds) != 0; }
    void Query(const double* p, const double* box, int32_t limit, int32_t* out, int32_t* count) const {
        KdTree2_BoxQuery(&tree, p, box, limit, out, count);
    }
    void Free() { KdTree2_Free(&tree); }
};
template <>
struct PackedTree<3> {
    KdTree3 tree;
    bool Build(int32_t n, const double* p, double* bounds) { return KdTree3_Build(n, p, &tree, bounds) != 0; }
    void Query(const double* p, const double* box, int32_t limit, int32_t* out, int32_t* count) const {
        KdTree3_BoxQuery(&tree, p, box, limit, out, count);
    }
    void Free() { KdTree3_Free(&tree); }
};

// The radius from a box: the side of a cell holding one point, else a
// fiftieth of the largest extent.
template <int kDim>
double RadiusFromBox(const double* bounds, int32_t count) {
    double product = 1.0, largest = 0.0;
    for (int k = 0; k < kDim; ++k) {
        const double extent = bounds[kDim + k] - bounds[k];
        product *= extent;
        if (extent > largest) largest = extent;
    }
    double r = std::sqrt(product / count);
    if (!(r > 0.0)) r = 0.02 * largest;
    return r;
}

template <int kDim>
void Bounds(const double* points, int32_t count, double* bounds) {
    for (int k = 0; k < kDim; ++k) {
        bounds[k] = points[k];
        bounds[kDim + k] = points[k];
    }
    for (int32_t i = 1; i < count; ++i) {
        for (int k = 0; k < kDim; ++k) {
            const double c = points[kDim * static_cast<int64_t>(i) + k];
            if (c < bounds[k]) bounds[k] = c;
            if (c > bounds[kDim + k]) bounds[kDim + k] = c;
        }
    }
}

template <int kDim>
double SquaredDistance(const double* a, const double* b) {
    double s = 0.0;
    for (int k = 0; k < kDim; ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
    return s;
}

// The nearest trim point of every input point; core status 0, 2 or 10.
template <int kDim>
int MeasureDistances(int32_t count, const double* points, int32_t trimCount, const double* trim, double* values,
                     const CoreReporter* reporter) {
    PackedTree<kDim> tree{};
    double bounds[2 * kDim];
    int32_t* buffer = nullptr;
    if (!tree.Build(trimCount, trim, bounds) || !(buffer = Mem_AllocInts(trimCount))) {
        tree.Free();
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Memory allocation failed");
        return CoreStatus_NoMemory;
    }
    double r = RadiusFromBox<kDim>(bounds, trimCount);
    if (!(r > 0.0) && count > 0) {
        double own[2 * kDim];
        Bounds<kDim>(points, count, own);
        r = RadiusFromBox<kDim>(own, count);
        if (!(r > 0.0)) r = 1.01 * std::sqrt(SquaredDistance<kDim>(trim, points));
    }
    if (!(r >= kSmallestRadius)) r = kSmallestRadius;
    int32_t target = trimCount / 10;
    if (target < 10) target = 10;
    if (target > 100) target = 100;
    int status = CoreStatus_Success;
    for (int32_t i = 0; i < count; ++i) {
        const double* p = points + kDim * static_cast<int64_t>(i);
        double nearest = 0.0;
        for (;;) {
            double box[2 * kDim];
            for (int k = 0; k < kDim; ++k) {
                box[k] = p[k] - r;
                box[kDim + k] = p[k] + r;
            }
            int32_t listed = 0;
            tree.Query(trim, box, trimCount, buffer, &listed);
            if (listed > 0) {
                nearest = SquaredDistance<kDim>(p, trim + kDim * static_cast<int64_t>(buffer[0]));
                for (int32_t j = 1; j < listed; ++j) {
                    const double s = SquaredDistance<kDim>(p, trim + kDim * static_cast<int64_t>(buffer[j]));
                    if (s < nearest) nearest = s;
                }
                if (r * r >= nearest) {
                    if (listed > target && 0.71 * r >= kSmallestRadius) r *= 0.71;
                    break;
                }
            }
            if (!std::isfinite(r)) {
                // Only a point with a coordinate that is not a number gets
                // here: no box holds it.
                nearest = NAN;
                r = RadiusFromBox<kDim>(bounds, trimCount);
                if (!(r >= kSmallestRadius)) r = kSmallestRadius;
                break;
            }
            r *= listed > 0 ? 1.2 : 1.4;
        }
        values[i] = std::sqrt(nearest);
        if (CoreReporter_AbortRequested(reporter)) {
            status = CoreStatus_UserAbort;
            break;
        }
        CoreReporter_SetProgress(reporter, static_cast<double>(i + 1) / count);
    }
    tree.Free();
    Mem_Free(buffer);
    return status;
}

template <int kDim, typename List>
int DistanceToPoints(int32_t operation, List* list, int32_t set, const List* trim, Reporter* reporter,
                     int (*check)(const List*, const char*, int32_t, Reporter*, int32_t, int32_t, int32_t, int32_t,
                                  int32_t),
                     int (*setFields)(List*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t),
                     double* (*getValue)(const List*, int32_t)) {
    OperationFrame_Begin(reporter, operation);
    if (!check(list, "Input", 0, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    // Without a trim point no distance exists: the search would grow its
    // radius for ever.
    if (!check(trim, "Trim", 1, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    if (setFields(list, set, 1, 0, 0, 0, 0) != ApiStatus_Success) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    double* values = getValue(list, set);
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, Reporter_CoreLevel(reporter ? reporter->maximumLevel : 0), 0);
    const int status = MeasureDistances<kDim>(list->Count, list->Location, trim->Count, trim->Location, values, &core);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

}  // namespace

int Selvane_DistanceToPoints2(PointList2* list, int32_t set, const PointList2* trim, Reporter* reporter) {
    return DistanceToPoints<2>(Op_DistanceToPoints2, list, set, trim, reporter, PointList2_Check, PointList2_SetFields,
                               PointList2_GetValue);
}

int Selvane_DistanceToPoints3(PointList3* list, int32_t set, const PointList3* trim, Reporter* reporter) {
    return DistanceToPoints<3>(Op_DistanceToPoints3, list, set, trim, reporter, PointList3_Check, PointList3_SetFields,
                               PointList3_GetValue);
}
