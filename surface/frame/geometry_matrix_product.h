// The 4 x 4 product shared by both geometry sets.
#ifndef SURFACE_FRAME_GEOMETRY_MATRIX_PRODUCT_H
#define SURFACE_FRAME_GEOMETRY_MATRIX_PRODUCT_H

#include "surface/frame/geometry_types.h"

// out = P x M (row by row), computed aside so that out may be P or M.
void Mat4d_Product(const Mat4d* M, const Mat4d* P, Mat4d* out);
// The row-vector product of a point with a matrix; out may be the point.
void Mat4d_PointProduct(const Mat4d* matrix, const Vec3d* point, Vec3d* out);

#endif
