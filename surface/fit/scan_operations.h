// Crops, trims and the removal of close points on scans: the point list is
// cut like any other, and then the kept points are regrouped so that every
// scan's block again holds its own points, and scans left without points
// lose their origin and size. API statuses; an abort gives 1.
#ifndef SURFACE_FIT_SCAN_OPERATIONS_H
#define SURFACE_FIT_SCAN_OPERATIONS_H

#include <cstdint>

struct CoreReporter;
struct PointList3;
struct Reporter;
struct Scan3;

// Removes the flagged points: the kept points are grouped by scan in scan
// order (their order within a scan is not kept), the sizes recounted and
// each emptied scan moved behind the last one with size 0, the scan count
// one lower. Core status 0 or 2 (the scan unchanged).
int Scan3_RemoveFlaggedPoints(const int32_t* flags, Scan3* scan, const CoreReporter* reporter);

// Keeps the points in the closed box.
int Selvane_CropScan3(Scan3* scan, const double* min, const double* max, Reporter* reporter);
// Keeps the points whose distance from their scan's origin lies within the
// ranges; a range not above 0 leaves that side open, and with both below 0
// nothing happens at all.
int Selvane_CropScanRange3(Scan3* scan, double minimum, double maximum, Reporter* reporter);
// Keeps the points nearer than the distance to some point of the trim list.
int Selvane_TrimScan3(Scan3* scan, const PointList3* trim, double distance, Reporter* reporter);
// Merges points closer than the distance (relative to the extent with the
// flag; not above 0 means relative 1e-10).
int RemoveClosePointsScan3(Scan3* scan, double distance, int32_t relative, int32_t* unchanged, Reporter* reporter);

#endif
