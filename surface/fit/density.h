// Density data from normals: a surface's points (with normals in their
// Gradient array) get the value 0, and off-surface points with signed
// distances are appended: points displaced along the normals (positive on
// the side the normal points to) and, optionally, points of a regular grid
// over the data's box, each kept only when it lies in the cone of half-angle
// ConeAngle around its nearest input point's normal line.
//
// Statuses are the API statuses (status_codes.h).
#ifndef SURFACE_FIT_DENSITY_H
#define SURFACE_FIT_DENSITY_H

#include <cstdint>

struct PointList3;
struct Reporter;

struct DensityAttributes {
    int32_t OneSided;     // one displaced point per selected point, on the normal's side
    int32_t FixedLength;  // displaced points at exactly the normal length (else projection)
    double MaxIncrease;   // displaced points as a fraction of the input count (0 to 2)
    double ConeAngle;     // degrees, 0 < angle <= 90
    int32_t GridPoints;   // requested grid points over the box (0: none)
    double GridMaxDist;   // grid search radius over the box diagonal, 0 < value <= 0.5
};

DensityAttributes* SetDensityAttrDefaults(DensityAttributes* attributes);

// The grid over a box: spacing, corners, and half-counts per axis.
struct DensityGrid {
    double Step[3];
    double Min[3];
    double Max[3];
    int32_t Half[3];
};

// About `count` grid points over the box, (2nx+1)(2ny+1)(2nz+1) of them, at
// one density f = (count / volume)^(1/3) with n = trunc(f e / 2) per axis: a
// thin axis gets no step, and the grid then holds more than `count`. An axis
// without extent takes no part (the density is over the others); a box
// without extent gives no grid (0).
int32_t Density_BoxInit(int32_t count, const double* minimum, const double* maximum, DensityGrid* grid, double* extent);

// The list is extended in place; set: the alternate set whose Value array
// receives the values (-1 the main arrays).
int Selvane_DensityFromNormals3(PointList3* points, int32_t set, double normalLength, double minimumLength,
                                const DensityAttributes* attributes, Reporter* reporter);

#endif
