#include "surface/frame/geometry_matrix_product.h"

void Mat4d_Product(const Mat4d* M, const Mat4d* P, Mat4d* out) {
    Mat4d product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            product.m[4 * i + j] = P->m[4 * i] * M->m[j] + P->m[4 * i + 1] * M->m[4 + j] +
                                   P->m[4 * i + 2] * M->m[8 + j] + P->m[4 * i + 3] * M->m[12 + j];
        }
    }
    *out = product;
}

void Mat4d_PointProduct(const Mat4d* matrix, const Vec3d* point, Vec3d* out) {
    const double* m = matrix->m;
    const Vec3d p = *point;
    out->x = p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12];
    out->y = p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13];
    out->z = p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14];
}
