// The coarse set of geometry helpers: tolerance 1e-5 (its single-precision
// value), no-result value 1e10. The scan pipeline uses its matrix operations
// for the scan transform.
#ifndef SURFACE_FRAME_GEOMETRY_COARSE_H
#define SURFACE_FRAME_GEOMETRY_COARSE_H

#include "surface/frame/geometry_types.h"

namespace geom_coarse {

constexpr double kTolerance = 9.999999747378752e-06;
constexpr double kNoResult = 1e10;

// The row-vector product of a point with the matrix; out may be the point.
void Mat4_TransformPoint(const Mat4d* matrix, const Vec3d* point, Vec3d* out);
void Mat4_Identity(Mat4d* out);
// Identity with elements 12 to 14 = t.
void Mat4_Translation(const Vec3d* t, Mat4d* out);
// out = P x M: P applied first, then M. out may be either operand.
void Mat4_Multiply(const Mat4d* M, const Mat4d* P, Mat4d* out);
// out may be the input.
void Mat4_Transpose(const Mat4d* matrix, Mat4d* out);
// The exact inverse of a rotation followed by a translation t: the rotation
// part transposed, applied after a translation by -t. out may be the input.
void Mat4_InvertRigid(const Mat4d* matrix, Mat4d* out);

}  // namespace geom_coarse

#endif
