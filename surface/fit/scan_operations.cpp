#include "surface/fit/scan_operations.h"

#include "surface/fit/flag_compaction.h"
#include "surface/fit/point_duplicates.h"
#include "surface/fit/trim_flags.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/operation_frame.h"
#include "surface/frame/operation_numbers.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/io/scan3.h"
#include "surface/search/index_sort.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

void Line(Reporter* reporter, const char* label, int32_t value) {
    if (Speaks(reporter, kLevelInfo)) Reporter_Value(reporter, label, "%d", value);
}

void ScanLines(Reporter* reporter, const Scan3& scan, const char* scans, const char* points) {
    Line(reporter, scans, scan.OriginCount);
    Line(reporter, points, scan.Points.Count);
}

// Drops the scans without points; the emptied scan's origin goes behind the
// last kept one, so that scan order is kept.
void DropEmptyScans(Scan3* scan) {
    for (int32_t s = 0; s < scan->OriginCount;) {
        if (scan->Size[s] != 0) {
            ++s;
            continue;
        }
        double origin[3];
        for (int k = 0; k < 3; ++k) origin[k] = scan->Origin[3 * static_cast<int64_t>(s) + k];
        for (int32_t t = s; t + 1 < scan->OriginCount; ++t) {
            scan->Size[t] = scan->Size[t + 1];
            for (int k = 0; k < 3; ++k) {
                scan->Origin[3 * static_cast<int64_t>(t) + k] = scan->Origin[3 * static_cast<int64_t>(t + 1) + k];
            }
        }
        const int32_t last = scan->OriginCount - 1;
        for (int k = 0; k < 3; ++k) scan->Origin[3 * static_cast<int64_t>(last) + k] = origin[k];
        scan->Size[last] = 0;
        --scan->OriginCount;
    }
}

void ScanNumbers(const Scan3& scan, int32_t* numbers) {
    int32_t i = 0;
    for (int32_t s = 0; s < scan.OriginCount; ++s) {
        for (int32_t k = 0; k < scan.Size[s] && i < scan.Points.Count; ++k) numbers[i++] = s;
    }
    while (i < scan.Points.Count) numbers[i++] = scan.OriginCount - 1;
}

// The scan-range test: 1 for every point outside its scan's ranges.
void RangeFlags(const Scan3& scan, double minimum, double maximum, int32_t* flags) {
    int32_t i = 0;
    for (int32_t s = 0; s < scan.OriginCount; ++s) {
        const double* o = scan.Origin + 3 * static_cast<int64_t>(s);
        for (int32_t k = 0; k < scan.Size[s]; ++k, ++i) {
            const double* p = scan.Points.Location + 3 * static_cast<int64_t>(i);
            double w = 0.0;
            for (int d = 0; d < 3; ++d) w += (p[d] - o[d]) * (p[d] - o[d]);
            flags[i] = (minimum > 0.0 && w < minimum * minimum) || (maximum > 0.0 && w > maximum * maximum) ? 1 : 0;
        }
    }
}

void BoxFlags(const Scan3& scan, const double* min, const double* max, int32_t* flags) {
    for (int32_t i = 0; i < scan.Points.Count; ++i) {
        const double* p = scan.Points.Location + 3 * static_cast<int64_t>(i);
        flags[i] = 0;
        for (int d = 0; d < 3; ++d) {
            if (min[d] > p[d] || p[d] > max[d]) flags[i] = 1;
        }
    }
}

enum class Cut { kBox, kRange, kTrim };

struct CutArguments {
    const double* min = nullptr;
    const double* max = nullptr;
    double minimum = 0.0, maximum = 0.0;
    const PointList3* trim = nullptr;
    double distance = 0.0;
};

// The shared body after the checks and the before-work lines: flags, the
// scan compaction, the after-work lines.
int CutScan(Scan3* scan, Cut cut, const CutArguments& a, Reporter* reporter) {
    const int32_t n = scan->Points.Count;
    int32_t* flags = Mem_AllocInts(n > 0 ? n : 1);
    if (!flags) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Memory allocation failed");
        return OperationFrame_Finish(reporter, ApiStatus_NoMemory);
    }
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, Reporter_CoreLevel(reporter ? reporter->maximumLevel : 0), 0);
    int status = CoreStatus_Success;
    if (cut == Cut::kBox) BoxFlags(*scan, a.min, a.max, flags);
    if (cut == Cut::kRange) RangeFlags(*scan, a.minimum, a.maximum, flags);
    if (cut == Cut::kTrim) {
        status = TrimFlags3(n, scan->Points.Location, a.trim->Count, a.trim->Location, a.distance, flags, &core);
    }
    if (status == CoreStatus_Success) status = Scan3_RemoveFlaggedPoints(flags, scan, &core);
    Mem_Free(flags);
    if (status == CoreStatus_Success) ScanLines(reporter, *scan, "Output Scans", "Output Points");
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}

}  // namespace

int Scan3_RemoveFlaggedPoints(const int32_t* flags, Scan3* scan, const CoreReporter* reporter) {
    const int32_t n = scan->Points.Count;
    int32_t* work = Mem_AllocInts(3 * n > 0 ? 3 * n : 1);
    if (!work) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Memory allocation failed");
        return CoreStatus_NoMemory;
    }
    int32_t* order = work;
    int32_t* numbers = work + n;
    int32_t* index = work + 2 * static_cast<int64_t>(n);
    ScanNumbers(*scan, numbers);
    int32_t kept = 0;
    Flags_CompactionOrder(flags, order, n, &kept);
    for (int32_t s = 0; s < scan->OriginCount; ++s) scan->Size[s] = 0;
    for (int32_t j = 0; j < kept; ++j) {
        index[j] = numbers[order[j]];
        ++scan->Size[index[j]];
    }
    // Sort the kept positions by their scan number and compose: the point
    // at order[index[j]] goes to j.
    for (int32_t j = 0; j < kept; ++j) numbers[j] = index[j];
    Index_HeapSortInt(numbers, index, kept, nullptr);
    for (int32_t j = 0; j < kept; ++j) numbers[j] = order[index[j]];
    for (int32_t j = 0; j < kept; ++j) order[j] = numbers[j];
    PointList3_Permute(order, n, &scan->Points);
    scan->Points.Count = kept;
    DropEmptyScans(scan);
    Mem_Free(work);
    return CoreStatus_Success;
}

int Selvane_CropScan3(Scan3* scan, const double* min, const double* max, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_CropScan3);
    if (!Scan3_Validate(scan, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadScan);
    if (!min || !max) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "One or more of Min and Max arguments were NULL");
        return OperationFrame_Refuse(reporter, ApiStatus_InvalidArgument);
    }
    if (Speaks(reporter, kLevelInfo)) {
        Reporter_Value(reporter, "Crop Min", "%.4g %.4g %.4g", min[0], min[1], min[2]);
        Reporter_Value(reporter, "Crop Max", "%.4g %.4g %.4g", max[0], max[1], max[2]);
    }
    ScanLines(reporter, *scan, "Input Scans", "Input Points");
    CutArguments a;
    a.min = min;
    a.max = max;
    return CutScan(scan, Cut::kBox, a, reporter);
}

int Selvane_CropScanRange3(Scan3* scan, double minimum, double maximum, Reporter* reporter) {
    // Neither side asked for: nothing to do, nothing to say.
    if (!(minimum >= 0.0) && !(maximum >= 0.0)) return ApiStatus_Success;
    OperationFrame_Begin(reporter, Op_CropScanRange3);
    if (!Scan3_Validate(scan, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadScan);
    if (Speaks(reporter, kLevelInfo)) {
        Reporter_Value(reporter, "Crop Min Range", "%.4g", minimum);
        Reporter_Value(reporter, "Crop Max Range", "%.4g", maximum);
    }
    ScanLines(reporter, *scan, "Input Scans", "Input Points");
    CutArguments a;
    a.minimum = minimum;
    a.maximum = maximum;
    return CutScan(scan, Cut::kRange, a, reporter);
}

int Selvane_TrimScan3(Scan3* scan, const PointList3* trim, double distance, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_TrimScan3);
    if (!Scan3_Validate(scan, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadScan);
    if (!PointList3_Check(trim, "Trim", 0, reporter, 0, 0, 0, 0, 0)) {
        return OperationFrame_Refuse(reporter, ApiStatus_BadPointList);
    }
    if (!(distance > 0.0)) {
        if (Speaks(reporter, kLevelError)) Reporter_Error(reporter, "Trim distance must be positive");
        return OperationFrame_Refuse(reporter, ApiStatus_NegativeDistance);
    }
    if (Speaks(reporter, kLevelInfo)) Reporter_Value(reporter, "Trim Distance", "%g", distance);
    ScanLines(reporter, *scan, "Input Scans", "Input Points");
    CutArguments a;
    a.trim = trim;
    a.distance = distance;
    return CutScan(scan, Cut::kTrim, a, reporter);
}

int RemoveClosePointsScan3(Scan3* scan, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter) {
    OperationFrame_Begin(reporter, Op_Unique3);
    if (unchanged) *unchanged = -1;
    // The close-point removal answers a scan that fails its check as it
    // answers such a mesh.
    if (!Scan3_Validate(scan, reporter)) return OperationFrame_Refuse(reporter, ApiStatus_BadMesh);
    const int32_t n = scan->Points.Count;
    if (n == 1) {
        if (unchanged) *unchanged = 1;
        return OperationFrame_Finish(reporter, ApiStatus_Success);
    }
    if (!(distance > 0.0)) {
        distance = 1e-10;
        relative = 1;
    }
    if (Speaks(reporter, kLevelInfo)) {
        Reporter_Value(reporter, "Specified Distance", "%.4g", distance);
        Reporter_Value(reporter, "Distance Type", "%s", relative ? "Relative" : "Absolute");
    }
    int32_t* marks = Mem_AllocInts(n);
    double** rows = nullptr;
    int status = marks ? RowPointers_Make3(&rows, scan->Points.Location, n) : CoreStatus_NoMemory;
    CoreReporter core;
    OperationFrame_CoreReporter(&core, reporter, 2, 0);
    int32_t kept = n;
    if (status == CoreStatus_Success) {
        status = Points_FindDuplicates(rows, 3, n, distance, relative, marks, nullptr, nullptr, &kept, core.abort);
    }
    // The duplicates leave like any flagged point, so that every scan's block
    // keeps its own points and emptied scans go.
    if (status == CoreStatus_Success && kept != n) status = Scan3_RemoveFlaggedPoints(marks, scan, &core);
    if (status == CoreStatus_Success && unchanged) *unchanged = scan->Points.Count == n ? 1 : 0;
    if (status != CoreStatus_Success) CoreStatus_Report(reporter, status);
    Mem_Free(rows);
    Mem_Free(marks);
    if (Speaks(reporter, kLevelSuccess)) Reporter_Success(reporter, "Removed %d points", n - scan->Points.Count);
    return OperationFrame_Finish(reporter, CoreStatus_ToApiStatus(status));
}
