#include "surface/frame/geometry_coarse.h"

#include "surface/frame/geometry_matrix_product.h"

namespace geom_coarse {

namespace {

const Mat4d kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

}  // namespace

void Mat4_TransformPoint(const Mat4d* matrix, const Vec3d* point, Vec3d* out) {
    Mat4d_PointProduct(matrix, point, out);
}

void Mat4_Identity(Mat4d* out) { *out = kIdentity; }

void Mat4_Translation(const Vec3d* t, Mat4d* out) {
    *out = kIdentity;
    out->m[12] = t->x;
    out->m[13] = t->y;
    out->m[14] = t->z;
}

void Mat4_Multiply(const Mat4d* M, const Mat4d* P, Mat4d* out) { Mat4d_Product(M, P, out); }

void Mat4_Transpose(const Mat4d* matrix, Mat4d* out) {
    Mat4d t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) t.m[4 * i + j] = matrix->m[4 * j + i];
    *out = t;
}

void Mat4_InvertRigid(const Mat4d* matrix, Mat4d* out) {
    const Vec3d minusT = {-matrix->m[12], -matrix->m[13], -matrix->m[14]};
    Mat4d rotation = *matrix;
    rotation.m[12] = rotation.m[13] = rotation.m[14] = 0.0;
    Mat4_Transpose(&rotation, &rotation);
    Mat4d shift;
    Mat4_Translation(&minusT, &shift);
    Mat4_Multiply(&rotation, &shift, out);
}

}  // namespace geom_coarse
