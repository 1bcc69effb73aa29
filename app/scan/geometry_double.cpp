// Double-precision twins of the vector and matrix operations, in the layout
// and convention of the float ones.
#include "app/scan/geometry.h"

#include <cmath>

namespace {
// The float normalisation guard widened to double.
constexpr double kGuardD = static_cast<double>(kNormaliseGuard);
}  // namespace

void V3D_Normalise(const Vec3D& a, Vec3D& out) {
    const double length = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    if (length > kGuardD)
        out = Vec3D{a.x / length, a.y / length, a.z / length};
    else
        out = a;
}

void V3D_Centroid(const Vec3D* points, int32_t n, Vec3D& out) {
    if (n < 1) {
        out = Vec3D{0.0, 0.0, 0.0};
        return;
    }
    Vec3D sum{0.0, 0.0, 0.0};
    for (int32_t i = 0; i < n; ++i) {
        sum.x += points[i].x;
        sum.y += points[i].y;
        sum.z += points[i].z;
    }
    const double inverse = 1.0 / n;
    out = Vec3D{sum.x * inverse, sum.y * inverse, sum.z * inverse};
}

void V3D_Cross(const Vec3D& u, const Vec3D& v, Vec3D& out) {
    out = Vec3D{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

void M4D_Identity(Matrix4D& out) {
    for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

void M4D_TransformPoint(const Matrix4D& m, const Vec3D& p, Vec3D& out) {
    out = Vec3D{p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
                p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

double M4D_Determinant3(const Matrix4D& m) {
    return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) +
           m[2] * (m[4] * m[9] - m[5] * m[8]);
}

void M4D_MakeRotation(double degrees, Matrix4D& out) {
    const double angle = degrees * kGeometryPi / 180.0;
    const double s = std::sin(angle);
    const double c = std::cos(angle);
    M4D_Identity(out);
    out[5] = c;
    out[6] = s;
    out[9] = -s;
    out[10] = c;
}

void M4D_Multiply(const Matrix4D& a, const Matrix4D& b, Matrix4D& out) {
    Matrix4D r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += b[i * 4 + k] * a[k * 4 + j];
            r[i * 4 + j] = sum;
        }
    }
    out = r;
}

void M4D_Transpose(const Matrix4D& m, Matrix4D& out) {
    Matrix4D r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r[i * 4 + j] = m[j * 4 + i];
    out = r;
}

double LineD_Parameter(const Vec3D& p, const Vec3D& origin, const Vec3D& direction) {
    const double lengthSq =
        direction.y * direction.y + direction.x * direction.x + direction.z * direction.z;
    if (lengthSq < kGuardD) return 0.0;
    const double dot = (p.x - origin.x) * direction.x + (p.y - origin.y) * direction.y +
                       (p.z - origin.z) * direction.z;
    return dot / lengthSq;
}

void LineD_ClosestPoint(const Vec3D& p, const Vec3D& origin, const Vec3D& direction, Vec3D& out) {
    const double t = LineD_Parameter(p, origin, direction);
    out = Vec3D{origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
}

double LineD_DistanceSquared(const Vec3D& p, const Vec3D& origin, const Vec3D& direction) {
    Vec3D q;
    LineD_ClosestPoint(p, origin, direction, q);
    const double dx = q.x - p.x, dy = q.y - p.y, dz = q.z - p.z;
    return dx * dx + dy * dy + dz * dz;
}
