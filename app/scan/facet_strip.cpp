#include "app/scan/facet_strip.h"

#include "app/scan/point_lanes.h"
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

#include <cmath>

namespace {

constexpr float kNoCandidate = 1e10f;

float CubeRoot(float x) { return std::exp(std::log(x) * 0.33333333333f); }

// The spacing test of a candidate triangle: all three squared edges within
// G x cbrt(product), the cube root in single precision as above. Nearly every
// test is decided by comparing cubes in double precision instead, which needs
// no exp or log: the single-precision bound lies within a few millionths of
// the exact one, far inside the margin, so only an edge that close to the
// bound (or an odd product: zero, subnormal, infinite, not a number) takes the
// cube root, and the outcome is always that of the single-precision bound.
bool WithinSpacing(float edgeA, float edgeB, float edgeC, float product) {
    if (std::isnan(edgeA) || std::isnan(edgeB) || std::isnan(edgeC)) return false;
    float longest = edgeA > edgeB ? edgeA : edgeB;
    if (edgeC > longest) longest = edgeC;
    constexpr float kSmallestNormal = 1.17549435e-38f;
    constexpr float kLargest = 3.40282347e38f;
    if (product >= kSmallestNormal && product <= kLargest && longest <= kLargest) {
        constexpr double kMargin = 1e-3;
        const double q = static_cast<double>(longest) / static_cast<double>(kScanSpacingFactor);
        const double cube = q * q * q;
        if (cube <= static_cast<double>(product) * (1.0 - kMargin)) return true;
        if (cube >= static_cast<double>(product) * (1.0 + kMargin)) return false;
    }
    return longest <= kScanSpacingFactor * CubeRoot(product);
}

// A vertex as one SSE2 vector: x, y, z and the float after them in the
// point, which no result uses. The operations below do the float operations
// of their scalar twins in profile_math.h, in the same order.
__m128 LoadVertex(const ScanPoint& p) { return _mm_loadu_ps(&p.Vertex.x); }

float SumXyz(__m128 m) {  // (x + y) + z
    return _mm_cvtss_f32(_mm_add_ss(_mm_add_ss(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1))),
                                    _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 2, 2, 2))));
}
float LengthSquared(__m128 a) { return SumXyz(_mm_mul_ps(a, a)); }
float Dot(__m128 a, __m128 b) { return SumXyz(_mm_mul_ps(a, b)); }
// |b - a|², as profile_math::DistanceSquared(a, b).
float DistanceSquared(__m128 a, __m128 b) { return LengthSquared(_mm_sub_ps(b, a)); }

__m128 Cross(__m128 u, __m128 v) {
    const __m128 uYzx = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 0, 2, 1));
    const __m128 vZxy = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 1, 0, 2));
    const __m128 uZxy = _mm_shuffle_ps(u, u, _MM_SHUFFLE(3, 1, 0, 2));
    const __m128 vYzx = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 0, 2, 1));
    return _mm_sub_ps(_mm_mul_ps(uYzx, vZxy), _mm_mul_ps(uZxy, vYzx));
}

void StoreXyz(Vec3& to, __m128 a) {
    _mm_storel_pi(reinterpret_cast<__m64*>(&to.x), a);
    _mm_store_ss(&to.z, _mm_shuffle_ps(a, a, _MM_SHUFFLE(2, 2, 2, 2)));
}

// The zipper's position: P = point i of the previous line, Q = point j of
// the current one, ni and nj the points left on each from there, dPQ their
// squared distance. P and Q are kept in registers so that the facet stores
// cannot make the walk read them again.
struct Zipper {
    int32_t i, ni, j, nj;
    __m128 p, q;
    float rp, rq;  // their ResolutionSq
    float dPQ;
};

struct Strip {
    const ScanPoint* points;
    __m128 camera;
    float c2;
    Facet* facets;
    Vec3* normals;
    int32_t count;

    float R(int32_t k) const { return points[k].ResolutionSq; }
    float D(int32_t a, int32_t b) const {
        return profile_math::DistanceSquared(points[a].Vertex, points[b].Vertex);
    }

    void Place(Zipper& z, int32_t i, int32_t j, float dPQ) const {
        z.i = i;
        z.j = j;
        z.p = LoadVertex(points[i]);
        z.q = LoadVertex(points[j]);
        z.rp = R(i);
        z.rq = R(j);
        z.dPQ = dPQ;
    }

    // The triangle (P, Q, K) with K point k, kept when its normal makes less
    // than the angle limit with the line to the camera, on either side;
    // stored facing the camera.
    void Triangle(const Zipper& z, int32_t k, __m128 kv) {
        const __m128 n = Cross(_mm_sub_ps(z.p, kv), _mm_sub_ps(z.q, kv));  // Plane_FromThreePoints(k, i, j)
        const __m128 toCamera = _mm_sub_ps(camera, kv);
        const float dot = Dot(n, toCamera);
        if (!(dot * dot > LengthSquared(n) * c2 * LengthSquared(toCamera))) return;
        if (dot > 0.0f) {
            facets[count] = Facet{{k, z.i, z.j}};
            StoreXyz(normals[count], n);
        } else {
            facets[count] = Facet{{k, z.j, z.i}};
            StoreXyz(normals[count], _mm_mul_ps(n, _mm_set1_ps(-1.0f)));
        }
        ++count;
    }

    // After a gap: the close pair with the fewest skipped points, the nearest
    // among equals. False when the lines never meet again.
    bool SkipToCloserPair(Zipper& z) const {
        for (int32_t s = 1; s <= z.ni + z.nj - 1; ++s) {
            int32_t bestA = -1;
            float best = 0.0f;
            for (int32_t a = 0; a <= s; ++a) {
                const int32_t b = s - a;
                if (a >= z.ni || b >= z.nj) continue;
                const float d = D(z.i + a, z.j + b);
                const float t = std::sqrt(R(z.i + a) * R(z.j + b)) * kScanSpacingFactor;
                if (d < t && (bestA < 0 || d < best)) {
                    bestA = a;
                    best = d;
                }
            }
            if (bestA >= 0) {
                z.ni -= bestA;
                z.nj -= s - bestA;
                Place(z, z.i + bestA, z.j + s - bestA, best);
                return true;
            }
        }
        return false;
    }

    // One step of the zipper. False when the strip ends. Candidate A advances
    // on the previous line (triangle P, Q, P'), B on the current one (P, Q,
    // Q'); only the nearer is tried, and it is small enough when its three
    // edges lie within the spacing factor times the cube root of its corners'
    // resolutions.
    bool Step(Zipper& z) {
        __m128 p1 = _mm_setzero_ps(), q1 = _mm_setzero_ps();
        float dA = kNoCandidate, dB = kNoCandidate;
        if (z.ni > 1) {
            p1 = LoadVertex(points[z.i + 1]);
            dA = DistanceSquared(z.q, p1);
        }
        if (z.nj > 1) {
            q1 = LoadVertex(points[z.j + 1]);
            dB = DistanceSquared(z.p, q1);
        }
        if (dA <= dB) {
            if (z.ni <= 1) return SkipToCloserPair(z);
            const float rp1 = R(z.i + 1);
            if (!WithinSpacing(z.dPQ, DistanceSquared(z.p, p1), dA, rp1 * z.rp * z.rq)) return SkipToCloserPair(z);
            Triangle(z, z.i + 1, p1);
            // The profile whose point the triangle took advances, so that
            // consecutive triangles share an edge; the new P and Q are the
            // pair just measured (a distance is the same either way round).
            ++z.i;
            --z.ni;
            z.p = p1;
            z.rp = rp1;
            z.dPQ = dA;
        } else {
            // Ties advance on the current line; a distance that is not a
            // number ends up here too and stops the step.
            if (z.nj <= 1 || std::isnan(dA) || std::isnan(dB)) return SkipToCloserPair(z);
            const float rq1 = R(z.j + 1);
            if (!WithinSpacing(z.dPQ, DistanceSquared(z.q, q1), dB, z.rp * rq1 * z.rq)) return SkipToCloserPair(z);
            Triangle(z, z.j + 1, q1);
            ++z.j;
            --z.nj;
            z.q = q1;
            z.rq = rq1;
            z.dPQ = dB;
        }
        return true;
    }
};

// V3_Normalise of each point's normal, four points at a time.
void NormaliseNormals(ScanPoint* points, int32_t n) {
    using namespace point_lanes;
    const __m128 guard = _mm_set1_ps(kNormaliseGuard);
    int32_t k = 0;
    for (; k + 4 <= n; k += 4) {
        __m128 vertexX;
        const Lanes3 a = LoadNormals(points + k, vertexX);
        const __m128 length = _mm_sqrt_ps(LengthSquared(a));
        const __m128 keep = _mm_cmpgt_ps(length, guard);
        const Lanes3 unit{Select(keep, _mm_div_ps(a.x, length), a.x), Select(keep, _mm_div_ps(a.y, length), a.y),
                          Select(keep, _mm_div_ps(a.z, length), a.z)};
        StoreNormals(points + k, unit, vertexX);
    }
    for (; k < n; ++k) profile_math::Normalise(points[k].Normal);
}

}  // namespace

void Scan_FacetStrip(const ScanPoint* points, int32_t prevStart, int32_t prevCount, int32_t curStart,
                     int32_t curCount, const Matrix4& curWand, const Matrix4& curReference, Facet* facets,
                     Vec3* facetNormals, int32_t* facetCount) {
    if (prevCount < 1 || curCount < 1) return;
    Strip s{points, _mm_setzero_ps(), 0.0f, facets, facetNormals, *facetCount};
    const float c = std::cos(kStripAngleLimit);
    s.c2 = c * c;
    Matrix4 referenceInverse, toScan;
    M4_InvertRigid(curReference, referenceInverse);
    M4_Multiply(referenceInverse, curWand, toScan);
    Vec3 camera;
    M4_TransformPoint(toScan, kStripCameraPoint, camera);
    s.camera = _mm_setr_ps(camera.x, camera.y, camera.z, 0.0f);
    Zipper z{};
    z.ni = prevCount;
    z.nj = curCount;
    s.Place(z, prevStart, curStart, s.D(prevStart, curStart));
    while (z.ni > 1 || z.nj > 1)
        if (!s.Step(z)) break;
    *facetCount = s.count;
}

void Scan_StripNormals(int32_t prevCount, ScanPoint* points, Vec3* normalCarry, int32_t prevStart,
                       int32_t curStart, int32_t curCount, const Facet* facets, const Vec3* facetNormals,
                       int32_t firstNewFacet, int32_t facetCountAfter, bool first) {
    const int32_t carried = curCount < kMaxProfilePoints ? curCount : kMaxProfilePoints;
    for (int32_t k = 0; k < prevCount; ++k)
        points[prevStart + k].Normal = first || k >= kMaxProfilePoints ? Vec3{0, 0, 0} : normalCarry[k];
    for (int32_t k = 0; k < curCount; ++k) points[curStart + k].Normal = Vec3{0, 0, 0};
    for (int32_t f = firstNewFacet; f < facetCountAfter; ++f)
        for (int32_t v : facets[f].v) points[v].Normal = profile_math::Add(points[v].Normal, facetNormals[f]);
    for (int32_t k = 0; k < carried; ++k) normalCarry[k] = points[curStart + k].Normal;
    NormaliseNormals(points + prevStart, curStart + curCount - prevStart);
}
