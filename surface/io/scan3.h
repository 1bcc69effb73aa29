// Scans: a 3D point list whose points were taken from several scanner
// positions, stored position after position, with each position's origin
// and the number of points taken from it. Allocated with the run-time
// allocator, like the point lists. Statuses are the API statuses: 0, 2 no
// memory, 4 point list unusable, 8 negative size, 12 scan missing or
// unusable, 15 no such alternate set.
#ifndef SURFACE_IO_SCAN3_H
#define SURFACE_IO_SCAN3_H

#include <cstdint>

#include "surface/frame/point_list.h"

struct Reporter;

struct Scan3 {
    PointList3 Points;  // every point, the scans one after the other
    int32_t OriginCount;
    int32_t OriginCapacity;
    double* Origin;  // three doubles a scan: the scanner's position
    int32_t* Size;   // points of each scan; they sum to the point count
};

// Zero-fills the record; returns 0.
int Scan3_Init(Scan3* scan);
// Frees the point list and both origin arrays and zero-fills; returns 0.
int Scan3_Free(Scan3* scan);
// 1 when the scan is usable, else 0 after one error message: the point list
// (as "Scan", at least one point), at least one origin, sound origin arrays,
// and sizes that are not negative and sum to the point count.
int Scan3_Validate(const Scan3* scan, Reporter* reporter);
// The origin checks of Scan3_Validate (sizes not summed), then the point
// list check on the chosen alternate set: 0, 12, or 15 for a bad set.
int Scan3_ValidateAlt(const Scan3* scan, int32_t set, Reporter* reporter);
// Zero-fills, creates the point list with `points` points and the asked-for
// arrays, and origin arrays of `originCapacity` (origin count 0). 8 for a
// negative count, 12 for a null scan, 2 (scan empty) when memory runs out.
int Scan3_Create(Scan3* scan, int32_t points, int32_t originCapacity, int32_t value, int32_t accuracy, int32_t lower,
                 int32_t upper, int32_t gradient);
// Allocates the origin arrays with room for `capacity` scans, origin count
// 0; arrays held before are not released. On 2 the whole scan is freed.
int Scan3_AllocOrigins(Scan3* scan, int32_t capacity);
// Resizes both origin arrays; the count is cut to the new capacity. When
// only the size array cannot be resized, a shrink still takes effect (the
// larger block serves) and the result is 2.
int Scan3_ResizeOrigins(Scan3* scan, int32_t capacity);
// Makes the destination a copy of the source: origins, sizes and points with
// their main arrays, and with `withAltSets` every alternate set as well. 8
// for negative counts in the source, 12 for a missing scan; on failure the
// destination is empty.
int Scan3_Copy(Scan3* destination, Scan3* source, int32_t withAltSets);

#endif
