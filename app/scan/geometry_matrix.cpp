// Float 4x4 matrices: row-major, points as row vectors, translation in
// elements 12 to 14.
#include "app/scan/geometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Degrees to radians with the float value of pi, rounded to float before the
// sine and cosine are taken.
float Radians(float degrees) { return static_cast<float>(degrees * kGeometryPi / 180.0); }

void SinCos(float degrees, float& s, float& c) {
    const float angle = Radians(degrees);
    s = static_cast<float>(std::sin(static_cast<double>(angle)));
    c = static_cast<float>(std::cos(static_cast<double>(angle)));
}

float AsinF(float v) {
    // A ratio formed from a rotation may stray past ±1 by rounding; the angle
    // is then ±90 degrees, not NaN.
    v = std::min(1.0f, std::max(-1.0f, v));
    return static_cast<float>(std::asin(static_cast<double>(v)));
}

}  // namespace

void M4_Copy(const Matrix4& m, Matrix4& out) { out = m; }

void M4_Identity(Matrix4& out) {
    for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void M4_GetTranslation(const Matrix4& m, Vec3& out) { out = Vec3{m[12], m[13], m[14]}; }

void M4_MakeTranslation(const Vec3& v, Matrix4& out) {
    M4_Identity(out);
    out[12] = v.x;
    out[13] = v.y;
    out[14] = v.z;
}

void M4_MakeScale(const Vec3& v, Matrix4& out) {
    M4_Identity(out);
    out[0] = v.x;
    out[5] = v.y;
    out[10] = v.z;
}

void M4_MakeRotationX(float degrees, Matrix4& out) {
    float s, c;
    SinCos(degrees, s, c);
    M4_Identity(out);
    out[5] = c;
    out[6] = s;
    out[9] = -s;
    out[10] = c;
}

void M4_MakeRotationY(float degrees, Matrix4& out) {
    float s, c;
    SinCos(degrees, s, c);
    M4_Identity(out);
    out[0] = c;
    out[2] = -s;
    out[8] = s;
    out[10] = c;
}

void M4_MakeRotationZ(float degrees, Matrix4& out) {
    float s, c;
    SinCos(degrees, s, c);
    M4_Identity(out);
    out[0] = c;
    out[1] = s;
    out[4] = -s;
    out[5] = c;
}

void M4_MakeAxisRotation(const Vec3& axis, float degrees, Matrix4& out) {
    float s, c;
    SinCos(degrees, s, c);
    const float t = 1.0f - c;
    const float x = axis.x, y = axis.y, z = axis.z;
    Matrix4 r;
    r[0] = t * x * x + c;
    r[1] = t * x * y + s * z;
    r[2] = t * x * z - s * y;
    r[3] = 0.0f;
    r[4] = t * x * y - s * z;
    r[5] = t * y * y + c;
    r[6] = t * y * z + s * x;
    r[7] = 0.0f;
    r[8] = t * x * z + s * y;
    r[9] = t * y * z - s * x;
    r[10] = t * z * z + c;
    r[11] = 0.0f;
    r[12] = r[13] = r[14] = 0.0f;
    r[15] = 1.0f;
    out = r;
}

void M4_TransformPoint(const Matrix4& m, const Vec3& p, Vec3& out) {
    out = Vec3{p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
               p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
               p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

void M4_Multiply(const Matrix4& a, const Matrix4& b, Matrix4& out) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = b[i * 4] * a[j];
            for (int k = 1; k < 4; ++k) sum += b[i * 4 + k] * a[k * 4 + j];
            r[i * 4 + j] = sum;
        }
    }
    out = r;
}

void M4_Add(const Matrix4& a, const Matrix4& b, Matrix4& out) {
    for (int i = 0; i < 16; ++i) out[i] = a[i] + b[i];
}

void M4_ScaleElements(float s, const Matrix4& m, Matrix4& out) {
    for (int i = 0; i < 16; ++i) out[i] = m[i] * s;
}

void M4_Transpose(const Matrix4& m, Matrix4& out) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) r[i * 4 + j] = m[j * 4 + i];
    out = r;
}

void M4_InvertRigid(const Matrix4& m, Matrix4& out) {
    Matrix4 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r[i * 4 + j] = m[j * 4 + i];
        r[i * 4 + 3] = 0.0f;
    }
    // The translation is undone first, then the transposed rotation applies.
    const float tx = -m[12], ty = -m[13], tz = -m[14];
    for (int j = 0; j < 3; ++j) r[12 + j] = tx * r[j] + ty * r[4 + j] + tz * r[8 + j];
    r[15] = 1.0f;
    out = r;
}

void M4_ToEulerAngles(const Matrix4& m, Vec3& outAngles) {
    const float pi = static_cast<float>(kGeometryPi);
    const float y = -AsinF(m[2]);
    const float c = static_cast<float>(std::cos(static_cast<double>(y)));
    float z = AsinF(m[1] / c);
    if (m[0] / c < 0.0f) z = (z > 0.0f) ? pi - z : -pi - z;
    float x = AsinF(m[6] / c);
    if (m[10] / c < 0.0f) x = (x > 0.0f) ? pi - x : -pi - x;
    outAngles = Vec3{x * 180.0f / pi, y * 180.0f / pi, z * 180.0f / pi};
}

void M4_Translate(const Vec3& v, Matrix4& m) {
    Matrix4 t;
    M4_MakeTranslation(v, t);
    M4_Multiply(t, m, m);
}

void M4_RotateX(float degrees, Matrix4& m) {
    Matrix4 r;
    M4_MakeRotationX(degrees, r);
    M4_Multiply(r, m, m);
}

void M4_RotateY(float degrees, Matrix4& m) {
    Matrix4 r;
    M4_MakeRotationY(degrees, r);
    M4_Multiply(r, m, m);
}

void M4_RotateZ(float degrees, Matrix4& m) {
    Matrix4 r;
    M4_MakeRotationZ(degrees, r);
    M4_Multiply(r, m, m);
}

void M4_RotateAxis(const Vec3& axis, float degrees, Matrix4& m) {
    Matrix4 r;
    M4_MakeAxisRotation(axis, degrees, r);
    M4_Multiply(r, m, m);
}

void M4_Scale(const Vec3& v, Matrix4& m) {
    Matrix4 s;
    M4_MakeScale(v, s);
    M4_Multiply(s, m, m);
}
