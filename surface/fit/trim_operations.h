// Trims of point lists and meshes by distance to a second point list (the
// trim set): a point is kept when some trim point lies strictly nearer than
// the distance. The mask forms only tell which points would be kept (1) and
// how many. The boundary trim peels a mesh from its open boundary inward
// instead, so that far points inside the mesh stay. Kept points are not in
// their input order: each removed point's slot holds the last kept point.
// API statuses; an abort gives 1.
#ifndef SURFACE_FIT_TRIM_OPERATIONS_H
#define SURFACE_FIT_TRIM_OPERATIONS_H

#include <cstdint>

struct Mesh3;
struct PointList2;
struct PointList3;
struct Reporter;

int Selvane_TrimPointList2(PointList2* list, const PointList2* trim, double distance, Reporter* reporter);
int Selvane_TrimPointList2Mask(const PointList2* list, const PointList2* trim, double distance, int32_t* mask,
                               int32_t* keptCount, Reporter* reporter);
int Selvane_TrimPointList3(PointList3* list, const PointList3* trim, double distance, Reporter* reporter);
int Selvane_TrimPointList3Mask(const PointList3* list, const PointList3* trim, double distance, int32_t* mask,
                               int32_t* keptCount, Reporter* reporter);

// Removes the far points and every face that used one.
int Selvane_TrimMesh3(Mesh3* mesh, const PointList3* trim, double distance, Reporter* reporter);
// Removes the far points met while peeling from the boundary, the points
// left without faces, and the faces that used them.
int Selvane_TrimMeshBoundary3(Mesh3* mesh, const PointList3* trim, double distance, Reporter* reporter);
// The boundary trim's verdict as a keep mask; the mesh is unchanged.
int Selvane_TrimMesh3Mask(const Mesh3* mesh, const PointList3* trim, double distance, int32_t* mask, int32_t* keptCount,
                          Reporter* reporter);

#endif
