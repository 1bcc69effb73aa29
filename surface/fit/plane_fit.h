// Planes through points: normalisation, the plane of three points and the
// least-squares plane of a point table (row pointers to 3 doubles each).
// A plane is four doubles (a, b, c, d) for a x + b y + c z + d = 0.
#ifndef SURFACE_FIT_PLANE_FIT_H
#define SURFACE_FIT_PLANE_FIT_H

#include <cstdint>

// Divides v (3 doubles) by its length when that is positive.
void Vec3_NormaliseInPlace(double* v);
// Divides all four coefficients by the length of (a, b, c) when positive.
void Plane_NormaliseByNormal(double* plane);
// Normal (p1 - p0) x (p2 - p0), not normalised, and offset -normal . p2.
void Plane_FromPoints(const double* p0, const double* p1, const double* p2, double* plane);

// Least-squares plane n . p = 1 of the points, from the moment matrix
// sum p p^T and the sum of p (n = (sum p p^T)^-1 sum p), written as (n, -1)
// and normalised. Status 4 when the moment matrix is singular (fewer than
// three independent points, or points on a plane through the origin).
int Points_FitPlaneMoments(const double* const* points, int32_t count, double* plane);

// The centroid of the points and the unit normal of their least-squares
// plane (that of Points_FitPlaneMoments). Both are zero for a count below 1;
// the normal is zero with status 4 when the plane cannot be fitted.
int Points_FitPlane(const double* const* points, int32_t count, double* centroid, double* normal);

#endif
