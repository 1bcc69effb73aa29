// Inline twins of the geometry library's vector operations for the per-point
// loops of profile building and processing, which run for every point of
// every field while scanning. Each does the same float operations in the same
// order as its library original, so results are bit for bit the same.
#pragma once

#include "app/scan/geometry.h"

#include <cmath>

namespace profile_math {

inline Vec3 Sub(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 Add(const Vec3& a, const Vec3& b) { return Vec3{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float LengthSquared(const Vec3& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }

// V3_DistanceSquared.
inline float DistanceSquared(const Vec3& a, const Vec3& b) {
    return LengthSquared(Vec3{b.x - a.x, b.y - a.y, b.z - a.z});
}

// V3_BeyondTolerance: its partial sums never exceed the full sum, so the
// early exits change nothing.
inline bool Beyond(const Vec3& a, const Vec3& b, float bound) { return DistanceSquared(a, b) > bound; }

inline Vec3 Cross(const Vec3& u, const Vec3& v) {
    return Vec3{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

// V3_Normalise in place.
inline void Normalise(Vec3& a) {
    const float length = std::sqrt(LengthSquared(a));
    if (length > kNormaliseGuard) a = Vec3{a.x / length, a.y / length, a.z / length};
}

// Line_DistanceSquared: the squared distance of p from the line.
inline float LineDistanceSquared(const Vec3& p, const Vec3& origin, const Vec3& direction) {
    const float lengthSq = LengthSquared(direction);
    const float t = lengthSq < kNormaliseGuard ? 0.0f : Dot(direction, Sub(p, origin)) / lengthSq;
    const Vec3 q{origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
    return DistanceSquared(q, p);
}

// M4_TransformPoint.
inline Vec3 Transform(const Matrix4& m, const Vec3& p) {
    return Vec3{p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
                p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

}  // namespace profile_math
