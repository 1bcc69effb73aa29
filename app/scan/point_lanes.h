// Four points at a time for the per-point loops of profile processing, with
// SSE2 (the baseline of both builds). Each lane does exactly the float
// operations of the scalar twins in profile_math.h, in the same order, so the
// results are bit for bit those of the scalar loops; only the bookkeeping
// around them is shared between four points.
#pragma once

#include "app/scan/geometry.h"
#include "app/scan/raw_data.h"

#include <emmintrin.h>

namespace point_lanes {

// The x, y and z of four points, one point a lane.
struct Lanes3 {
    __m128 x, y, z;
};

// Four consecutive values starting at p (any alignment).
inline __m128 Load(const float* p) { return _mm_loadu_ps(p); }

// Four rows of four floats (any alignment), turned into four lanes of each
// column; the fourth column comes back in `w`.
inline Lanes3 LoadRows(const float* r0, const float* r1, const float* r2, const float* r3, __m128& w) {
    __m128 a = _mm_loadu_ps(r0), b = _mm_loadu_ps(r1), c = _mm_loadu_ps(r2), d = _mm_loadu_ps(r3);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    w = d;
    return Lanes3{a, b, c};
}

// The vertices of points p[0..3] (each row read runs on into the variance).
inline Lanes3 LoadVertices(const ScanPoint* p) {
    __m128 unused;
    return LoadRows(&p[0].Vertex.x, &p[1].Vertex.x, &p[2].Vertex.x, &p[3].Vertex.x, unused);
}

// The normals of points p[0..3]; `vertexX` receives the float after each
// normal (the vertex's x) for a store that puts it back unchanged.
inline Lanes3 LoadNormals(const ScanPoint* p, __m128& vertexX) {
    return LoadRows(&p[0].Normal.x, &p[1].Normal.x, &p[2].Normal.x, &p[3].Normal.x, vertexX);
}

// Writes the normals of points p[0..3] with the float after each (see
// LoadNormals).
inline void StoreNormals(ScanPoint* p, Lanes3 n, __m128 vertexX) {
    _MM_TRANSPOSE4_PS(n.x, n.y, n.z, vertexX);
    _mm_storeu_ps(&p[0].Normal.x, n.x);
    _mm_storeu_ps(&p[1].Normal.x, n.y);
    _mm_storeu_ps(&p[2].Normal.x, n.z);
    _mm_storeu_ps(&p[3].Normal.x, vertexX);
}

// Four consecutive Vec3 (12 floats, any alignment) into lanes.
inline Lanes3 LoadVec3s(const Vec3* p) {
    const float* f = &p[0].x;
    const __m128 a = _mm_loadu_ps(f);      // x0 y0 z0 x1
    const __m128 b = _mm_loadu_ps(f + 4);  // y1 z1 x2 y2
    const __m128 c = _mm_loadu_ps(f + 8);  // z2 x3 y3 z3
    const __m128 x01 = _mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 0));  // x0 x1 x1 x1
    const __m128 x23 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2));  // x2 x2 x3 x3
    const __m128 y01 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1));  // y0 y0 y1 y1
    const __m128 y23 = _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3));  // y2 y2 y3 y3
    const __m128 z01 = _mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2));  // z0 z0 z1 z1
    const __m128 z23 = _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 0, 0));  // z2 z2 z3 z3
    return Lanes3{_mm_shuffle_ps(x01, x23, _MM_SHUFFLE(2, 0, 1, 0)), _mm_shuffle_ps(y01, y23, _MM_SHUFFLE(2, 0, 2, 0)),
                  _mm_shuffle_ps(z01, z23, _MM_SHUFFLE(2, 0, 2, 0))};
}

// Lane k of v into *to[k].
inline void Scatter(__m128 v, float* to0, float* to1, float* to2, float* to3) {
    _mm_store_ss(to0, v);
    _mm_store_ss(to1, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)));
    _mm_store_ss(to2, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)));
    _mm_store_ss(to3, _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3)));
}

inline Lanes3 Sub(const Lanes3& a, const Lanes3& b) {
    return Lanes3{_mm_sub_ps(a.x, b.x), _mm_sub_ps(a.y, b.y), _mm_sub_ps(a.z, b.z)};
}

// (x x + y y) + z z, as profile_math::LengthSquared.
inline __m128 LengthSquared(const Lanes3& a) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, a.x), _mm_mul_ps(a.y, a.y)), _mm_mul_ps(a.z, a.z));
}

// (a.x b.x + a.y b.y) + a.z b.z, as profile_math::Dot.
inline __m128 Dot(const Lanes3& a, const Lanes3& b) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}

// A matrix with each element in all four lanes.
struct Matrix4Lanes {
    __m128 m[16];
    explicit Matrix4Lanes(const Matrix4& a) {
        for (int i = 0; i < 16; ++i) m[i] = _mm_set1_ps(a[i]);
    }
};

// As profile_math::Transform: ((x m0 + y m4) + z m8) + m12 and so on.
inline Lanes3 Transform(const Matrix4Lanes& t, const Lanes3& p) {
    const __m128* m = t.m;
    const auto row = [&](int c) {
        return _mm_add_ps(
            _mm_add_ps(_mm_add_ps(_mm_mul_ps(p.x, m[c]), _mm_mul_ps(p.y, m[4 + c])), _mm_mul_ps(p.z, m[8 + c])),
            m[12 + c]);
    };
    return Lanes3{row(0), row(1), row(2)};
}

// Lanes where the mask is set take a, the others b.
inline __m128 Select(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

}  // namespace point_lanes
