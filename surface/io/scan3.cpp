#include "surface/io/scan3.h"

#include <cstring>

#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

// The origin checks shared by both validations; false after the message.
bool OriginsUsable(const Scan3* scan, Reporter* reporter) {
    if (scan->OriginCount <= 0) {
        Reporter_Error(reporter, "Scan must contain at least one scan origin");
        return false;
    }
    if (scan->OriginCapacity < scan->OriginCount || scan->Origin == nullptr || scan->Size == nullptr) {
        Reporter_Error(reporter, "Scan structure is invalid");
        return false;
    }
    return true;
}

}  // namespace

int Scan3_Init(Scan3* scan) {
    if (scan != nullptr) std::memset(scan, 0, sizeof *scan);
    return ApiStatus_Success;
}

int Scan3_Free(Scan3* scan) {
    if (scan == nullptr) return ApiStatus_Success;
    PointList3_Free(&scan->Points);
    Record_Free(scan->Origin);
    Record_Free(scan->Size);
    return Scan3_Init(scan);
}

int Scan3_Validate(const Scan3* scan, Reporter* reporter) {
    if (!PointList3_Check(scan != nullptr ? &scan->Points : nullptr, "Scan", 1, reporter, 0, 0, 0, 0, 0)) return 0;
    if (!OriginsUsable(scan, reporter)) return 0;
    // Summed in 64 bits and with every size at least 0: sizes such as
    // (N + 5, -5), or sums that wrap, must not pass, since the scan
    // operations expand the sizes into one scan number per point.
    int64_t sum = 0;
    bool negative = false;
    for (int32_t s = 0; s < scan->OriginCount; ++s) {
        negative = negative || scan->Size[s] < 0;
        sum += scan->Size[s];
    }
    if (negative || sum != scan->Points.Count) {
        Reporter_Error(reporter, "Scan sizes do not sum to the number of points");
        return 0;
    }
    return 1;
}

int Scan3_ValidateAlt(const Scan3* scan, int32_t set, Reporter* reporter) {
    if (scan == nullptr) {
        Reporter_Error(reporter, "Scan point list is NULL");
        return ApiStatus_BadScan;
    }
    if (!OriginsUsable(scan, reporter)) return ApiStatus_BadScan;
    const int status = PointList3_CheckAlt(&scan->Points, set, "Scan", 1, reporter, 0, 0, 0, 0, 0);
    return status == ApiStatus_BadPointList ? ApiStatus_BadScan : status;
}

int Scan3_AllocOrigins(Scan3* scan, int32_t capacity) {
    if (capacity < 0) return ApiStatus_BadSize;
    if (scan == nullptr) return ApiStatus_BadScan;
    scan->OriginCount = 0;
    scan->OriginCapacity = 0;
    scan->Origin = static_cast<double*>(Record_Alloc(static_cast<int64_t>(capacity) * 3, sizeof(double)));
    scan->Size = static_cast<int32_t*>(Record_Alloc(capacity, sizeof(int32_t)));
    if (scan->Origin == nullptr || scan->Size == nullptr) {
        Scan3_Free(scan);
        return ApiStatus_NoMemory;
    }
    scan->OriginCapacity = capacity;
    return ApiStatus_Success;
}

int Scan3_Create(Scan3* scan, int32_t points, int32_t originCapacity, int32_t value, int32_t accuracy, int32_t lower,
                 int32_t upper, int32_t gradient) {
    if (points < 0 || originCapacity < 0) return ApiStatus_BadSize;
    if (scan == nullptr) return ApiStatus_BadScan;
    Scan3_Init(scan);
    if (PointList3_Create(&scan->Points, points, value, accuracy, lower, upper, gradient) != ApiStatus_Success)
        return ApiStatus_NoMemory;
    scan->Points.Count = points;
    return Scan3_AllocOrigins(scan, originCapacity);
}

int Scan3_ResizeOrigins(Scan3* scan, int32_t capacity) {
    if (scan == nullptr) return ApiStatus_BadScan;
    if (capacity < 0) return ApiStatus_BadSize;
    if (capacity == scan->OriginCapacity) return ApiStatus_Success;
    auto* origin =
        static_cast<double*>(Record_Realloc(scan->Origin, static_cast<int64_t>(capacity) * 3, sizeof(double)));
    if (origin == nullptr) return ApiStatus_NoMemory;
    scan->Origin = origin;
    auto* size = static_cast<int32_t*>(Record_Realloc(scan->Size, capacity, sizeof(int32_t)));
    const bool shrinking = capacity < scan->OriginCapacity;
    if (size == nullptr && !shrinking) return ApiStatus_NoMemory;
    if (size != nullptr) scan->Size = size;
    scan->OriginCapacity = capacity;
    if (scan->OriginCount > capacity) scan->OriginCount = capacity;
    return size != nullptr ? ApiStatus_Success : ApiStatus_NoMemory;
}

int Scan3_Copy(Scan3* destination, Scan3* source, int32_t withAltSets) {
    if (source != nullptr && (source->Points.Count < 0 || source->OriginCount < 0)) return ApiStatus_BadSize;
    if (destination == nullptr || source == nullptr || destination == source) return ApiStatus_BadScan;
    if (source->OriginCount > 0 && (source->Origin == nullptr || source->Size == nullptr)) return ApiStatus_BadScan;
    Scan3_Init(destination);
    if (int status = Scan3_AllocOrigins(destination, source->OriginCount)) return status;
    destination->OriginCount = source->OriginCount;
    if (source->OriginCount > 0) {
        std::memcpy(destination->Origin, source->Origin, sizeof(double) * 3 * source->OriginCount);
        std::memcpy(destination->Size, source->Size, sizeof(int32_t) * source->OriginCount);
    }
    const int status = withAltSets ? PointList3_DeepCopy(&destination->Points, &source->Points)
                                   : PointList3_CopyMain(&destination->Points, &source->Points);
    if (status != ApiStatus_Success) Scan3_Free(destination);
    return status;
}
