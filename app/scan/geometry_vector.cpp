// Float 3-vectors. Every stored result is rounded to float.
#include "app/scan/geometry.h"

#include <cmath>

float Math_SqrtF(float x) { return std::sqrt(x); }

float Math_AbsF(float x) { return std::fabs(x); }

void V3_Copy(const Vec3& a, Vec3& out) { out = a; }

void V3_Add(const Vec3& a, const Vec3& b, Vec3& out) {
    out = Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}

void V3_Sub(const Vec3& a, const Vec3& b, Vec3& out) {
    out = Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}

void V3_Scale(float s, const Vec3& a, Vec3& out) { out = Vec3{s * a.x, s * a.y, s * a.z}; }

void V3_AddScaled(const Vec3& a, float s, const Vec3& b, Vec3& out) {
    out = Vec3{a.x + s * b.x, a.y + s * b.y, a.z + s * b.z};
}

float V3_Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

float V3_LengthSquared(const Vec3& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }

float V3_Length(const Vec3& a) { return Math_SqrtF(V3_LengthSquared(a)); }

float V3_DistanceSquared(const Vec3& a, const Vec3& b) {
    const Vec3 d{b.x - a.x, b.y - a.y, b.z - a.z};
    return V3_LengthSquared(d);
}

float V3_Distance(const Vec3& a, const Vec3& b) { return Math_SqrtF(V3_DistanceSquared(a, b)); }

void V3_Cross(const Vec3& u, const Vec3& v, Vec3& out) {
    out = Vec3{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

void V3_Normalise(const Vec3& a, Vec3& out) {
    const float length = V3_Length(a);
    // Written as "not above the guard" would let a NaN through; this way a NaN
    // length fails the test and the vector stays as it is.
    if (length > kNormaliseGuard)
        out = Vec3{a.x / length, a.y / length, a.z / length};
    else
        out = a;
}

void V3_Centroid(const Vec3* points, int32_t n, Vec3& out) {
    if (n < 1) {
        out = Vec3{0.0f, 0.0f, 0.0f};
        return;
    }
    Vec3 sum{0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < n; ++i) {
        sum.x += points[i].x;
        sum.y += points[i].y;
        sum.z += points[i].z;
    }
    const float inverse = static_cast<float>(1.0 / n);
    out = Vec3{sum.x * inverse, sum.y * inverse, sum.z * inverse};
}

void V3_BoundingBox(const Vec3* points, int32_t n, Vec3* outMin, Vec3* outMax, Vec3* outCentre,
                    Vec3* outExtent) {
    Vec3 lo = points[0];
    Vec3 hi = points[0];
    for (int32_t i = 1; i < n; ++i) {
        const Vec3& p = points[i];
        if (p.x < lo.x) lo.x = p.x;
        if (p.x > hi.x) hi.x = p.x;
        if (p.y < lo.y) lo.y = p.y;
        if (p.y > hi.y) hi.y = p.y;
        if (p.z < lo.z) lo.z = p.z;
        if (p.z > hi.z) hi.z = p.z;
    }
    if (outMin) *outMin = lo;
    if (outMax) *outMax = hi;
    if (outCentre) {
        const Vec3 sum{lo.x + hi.x, lo.y + hi.y, lo.z + hi.z};
        *outCentre = Vec3{sum.x * 0.5f, sum.y * 0.5f, sum.z * 0.5f};
    }
    if (outExtent) *outExtent = Vec3{hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
}

bool V3_WithinBox(const Vec3& a, const Vec3& b, float bound, float& outSum) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    outSum = bound;
    float sum = dx * dx;
    if (!(sum < bound)) return false;
    const float sy = dy * dy;
    if (!(sy < bound)) return false;
    sum += sy;
    if (!(sum < bound)) return false;
    const float sz = dz * dz;
    if (!(sz < bound)) return false;
    sum += sz;
    if (!(sum < bound)) return false;
    outSum = sum;
    return true;
}

bool V3_BeyondTolerance(const Vec3& a, const Vec3& b, float bound) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    float sum = dx * dx;
    if (sum > bound) return true;
    const float sy = dy * dy;
    if (sy > bound) return true;
    sum += sy;
    if (sum > bound) return true;
    const float sz = dz * dz;
    if (sz > bound) return true;
    sum += sz;
    return sum > bound;
}

void V3_NormalFrom4Points(const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, Vec3& out) {
    // The two diagonals, formed in double and stored as floats.
    const Vec3 ac{static_cast<float>(static_cast<double>(c.x) - a.x),
                  static_cast<float>(static_cast<double>(c.y) - a.y),
                  static_cast<float>(static_cast<double>(c.z) - a.z)};
    const Vec3 db{static_cast<float>(static_cast<double>(b.x) - d.x),
                  static_cast<float>(static_cast<double>(b.y) - d.y),
                  static_cast<float>(static_cast<double>(b.z) - d.z)};
    Vec3 n;
    V3_Cross(ac, db, n);
    V3_Normalise(n, out);
}
