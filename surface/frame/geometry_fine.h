// The fine set of geometry helpers: tolerance 1e-100, no-result value 1e100.
// The simplification, the isosurface driver and the fast evaluator use it.
// Its twins in the coarse set (geometry_coarse.h) differ only in constants.
#ifndef SURFACE_FRAME_GEOMETRY_FINE_H
#define SURFACE_FRAME_GEOMETRY_FINE_H

#include "surface/frame/geometry_types.h"

namespace geom_fine {

constexpr double kTolerance = 1e-100;
constexpr double kNoResult = 1e100;

// Copies v to out and, when its length is above the tolerance, divides out by
// it and returns 1; otherwise out stays unscaled and the result is 0.
int Vec3_Normalise(const Vec3d* v, Vec3d* out);
// out = u x v; out may be u or v.
void Vec3_Cross(const Vec3d* u, const Vec3d* v, Vec3d* out);
// out = u - v.
void Vec3_Subtract(const Vec3d* u, const Vec3d* v, Vec3d* out);

// The row-vector product of a point with the matrix; out may be the point.
void Mat4_ApplyPoint(const Mat4d* matrix, const Vec3d* point, Vec3d* out);
void Mat4_SetIdentity(Mat4d* out);
// Adds t to elements 12 to 14.
void Mat4_AddTranslation(const Vec3d* t, Mat4d* matrix);
// Identity with m0, m5, m10 set to the factors.
void Mat4_SetScale(double x, double y, double z, Mat4d* out);
// out = P x M: P applied first, then M. out may be either operand.
void Mat4_Compose(const Mat4d* M, const Mat4d* P, Mat4d* out);

}  // namespace geom_fine

#endif
