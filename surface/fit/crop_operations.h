// Crops of point lists and meshes to a closed axis-aligned box (points on
// the box faces are kept). The kept points are not in their input order:
// each removed point's slot holds the last kept point. API statuses.
#ifndef SURFACE_FIT_CROP_OPERATIONS_H
#define SURFACE_FIT_CROP_OPERATIONS_H

#include <cstdint>

struct CoreReporter;
struct Mesh3;
struct PointList2;
struct PointList3;
struct Reporter;

// Removes the flagged points, renumbers the faces and drops every face that
// named a removed point. Core status 0 or 2 (the mesh unchanged).
int Mesh3_RemoveFlaggedPoints(const int32_t* flags, Mesh3* mesh, const CoreReporter* reporter);

int Selvane_CropPointList2(PointList2* list, const double* min, const double* max, Reporter* reporter);
int Selvane_CropPointList3(PointList3* list, const double* min, const double* max, Reporter* reporter);
int Selvane_CropMesh3(Mesh3* mesh, const double* min, const double* max, Reporter* reporter);

// Removes the points that no face uses; the faces are renumbered.
int Selvane_RemoveNonMeshPoints3(Mesh3* mesh, Reporter* reporter);

#endif
