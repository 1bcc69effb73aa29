#include "surface/fit/duplicate_operations.h"

#include "surface/fit/permutations.h"
#include "surface/fit/point_duplicates.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

template <int D>
struct Dim;

template <>
struct Dim<3> {
    using List = PointList3;
    static constexpr int32_t kUniqueOp = Op_Unique3;
    static int Check(const List* l, Reporter* r) { return PointList3_Check(l, "Input", 1, r, 0, 0, 0, 0, 0); }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make3(t, a, n); }
    static int Permute(double* gradient, const int32_t* order, int32_t n) {
        return Permute_Triples(gradient, order, n);
    }
};

template <>
struct Dim<2> {
    using List = PointList2;
    static constexpr int32_t kUniqueOp = Op_Unique2;
    static int Check(const List* l, Reporter* r) { return PointList2_Check(l, "Input", 1, r, 0, 0, 0, 0, 0); }
    static int Rows(double*** t, double* a, int32_t n) { return RowPointers_Make2(t, a, n); }
    // Pairs of doubles are quads of ints.
    static int Permute(double* gradient, const int32_t* order, int32_t n) { return Permute_Quads(gradient, order, n); }
};

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

void DistanceLines(Reporter* reporter, double distance, int32_t relative) {
    if (!Speaks(reporter, 5)) return;
    Reporter_Value(reporter, "Specified Distance", "%.4g", distance);
    Reporter_Value(reporter, "Distance Type", "%s", relative ? "Relative" : "Absolute");
}

int PermuteArray(double* values, const int32_t* order, int32_t n) {
    return values ? Permute_Doubles(values, order, n) : CoreStatus_Success;
}

// Every per-point array of one set follows the order.
template <int D>
int PermuteSet(double* value, double* accuracy, double* lower, double* upper, double* gradient, const int32_t* order,
               int32_t n) {
    int status = CoreStatus_Success;
    for (double* a : {value, accuracy, lower, upper})
        if (status == CoreStatus_Success) status = PermuteArray(a, order, n);
    if (status == CoreStatus_Success && gradient) status = Dim<D>::Permute(gradient, order, n);
    return status;
}

template <int D>
int PermuteAll(typename Dim<D>::List* l, const int32_t* order, int32_t n) {
    int status = PermuteSet<D>(l->Value, l->Accuracy, l->Lower, l->Upper, l->Gradient, order, n);
    for (int32_t k = 0; k < l->AltCount && status == CoreStatus_Success; ++k) {
        PointListAltSet& s = l->Alt[k];
        status = PermuteSet<D>(s.Value, s.Accuracy, s.Lower, s.Upper, s.Gradient, order, n);
    }
    return status;
}

template <int D>
int Unique(typename Dim<D>::List* points, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kUniqueOp);
    if (unchanged) *unchanged = -1;
    if (!Dim<D>::Check(points, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    const int32_t N = points->Count;
    if (N == 1) {
        if (unchanged) *unchanged = 1;
        return OperationFrame_Finish(reporter, ApiStatus_Success);
    }
    if (!(distance > 0.0)) {
        distance = 1e-10;
        relative = 1;
    }
    int32_t* order = Mem_AllocInts(N);
    double** rows = nullptr;
    int status = order ? Dim<D>::Rows(&rows, points->Location, N) : CoreStatus_NoMemory;
    if (status == CoreStatus_Success) {
        DistanceLines(reporter, distance, relative);
        CoreReporter core;
        OperationFrame_CoreReporter(&core, reporter, 2, 0);
        status =
            Points_RemoveDuplicates(rows, D, &points->Count, nullptr, distance, relative, order, nullptr, core.abort);
        if (status == CoreStatus_Success && points->Count != N) status = PermuteAll<D>(points, order, N);
        if (status == CoreStatus_Success && unchanged) *unchanged = points->Count == N ? 1 : 0;
    }
    CoreStatus_Report(reporter, status);
    Mem_Free(rows);
    Mem_Free(order);
    if (Speaks(reporter, 3)) Reporter_Success(reporter, "Removed %d points", N - points->Count);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

template <int D>
int Find(typename Dim<D>::List* points, double distance, int32_t relative, int32_t* keep, int32_t* representative,
         int32_t* kept, Reporter* reporter) {
    OperationFrame_Begin(reporter, Dim<D>::kUniqueOp);
    if (!Dim<D>::Check(points, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    if (!keep) {
        if (Speaks(reporter, 1)) Reporter_Error(reporter, "No array for the keep flags.");
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    }
    const int32_t N = points->Count;
    int32_t keptCount = N;
    int status = CoreStatus_Success;
    if (N == 1) {
        keep[0] = 1;
        if (representative) representative[0] = 0;
    } else {
        if (!(distance > 0.0)) {
            distance = 1e-10;
            relative = 1;
        }
        double** rows = nullptr;
        status = Dim<D>::Rows(&rows, points->Location, N);
        if (status == CoreStatus_Success) {
            DistanceLines(reporter, distance, relative);
            CoreReporter core;
            OperationFrame_CoreReporter(&core, reporter, 2, 0);
            status = Points_FindDuplicates(rows, D, N, distance, relative, keep, nullptr, representative, &keptCount,
                                           core.abort);
            if (status == CoreStatus_Success)
                for (int32_t i = 0; i < N; ++i) keep[i] = !keep[i];
        }
        Mem_Free(rows);
    }
    if (kept) *kept = keptCount;
    CoreStatus_Report(reporter, status);
    if (status == CoreStatus_Success && Speaks(reporter, 5))
        Reporter_Value(reporter, "Duplicate Points", "%d", N - keptCount);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

}  // namespace

int Selvane_Unique3(PointList3* points, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter) {
    return Unique<3>(points, distance, relative, unchanged, reporter);
}

int Selvane_Unique2(PointList2* points, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter) {
    return Unique<2>(points, distance, relative, unchanged, reporter);
}

int FindDuplicatePoints3(PointList3* points, double distance, int32_t relative, int32_t* keep, int32_t* representative,
                         int32_t* kept, Reporter* reporter) {
    return Find<3>(points, distance, relative, keep, representative, kept, reporter);
}

int FindDuplicatePoints2(PointList2* points, double distance, int32_t relative, int32_t* keep, int32_t* representative,
                         int32_t* kept, Reporter* reporter) {
    return Find<2>(points, distance, relative, keep, representative, kept, reporter);
}
