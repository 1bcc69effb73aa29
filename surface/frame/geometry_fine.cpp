#include "surface/frame/geometry_fine.h"

#include "surface/frame/geometry_matrix_product.h"

#include <cmath>

namespace geom_fine {

int Vec3_Normalise(const Vec3d* v, Vec3d* out) {
    *out = *v;
    const double length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    if (!(length > kTolerance)) return 0;
    out->x /= length;
    out->y /= length;
    out->z /= length;
    return 1;
}

void Vec3_Cross(const Vec3d* u, const Vec3d* v, Vec3d* out) {
    const Vec3d a = *u;
    const Vec3d b = *v;
    out->x = a.y * b.z - a.z * b.y;
    out->y = a.z * b.x - a.x * b.z;
    out->z = a.x * b.y - a.y * b.x;
}

void Vec3_Subtract(const Vec3d* u, const Vec3d* v, Vec3d* out) {
    out->x = u->x - v->x;
    out->y = u->y - v->y;
    out->z = u->z - v->z;
}

void Mat4_ApplyPoint(const Mat4d* matrix, const Vec3d* point, Vec3d* out) { Mat4d_PointProduct(matrix, point, out); }

void Mat4_SetIdentity(Mat4d* out) {
    for (int i = 0; i < 16; ++i) out->m[i] = i % 5 == 0 ? 1.0 : 0.0;
}

void Mat4_AddTranslation(const Vec3d* t, Mat4d* matrix) {
    matrix->m[12] += t->x;
    matrix->m[13] += t->y;
    matrix->m[14] += t->z;
}

void Mat4_SetScale(double x, double y, double z, Mat4d* out) {
    Mat4_SetIdentity(out);
    out->m[0] = x;
    out->m[5] = y;
    out->m[10] = z;
}

void Mat4_Compose(const Mat4d* M, const Mat4d* P, Mat4d* out) { Mat4d_Product(M, P, out); }

}  // namespace geom_fine
