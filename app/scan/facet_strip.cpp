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

// The zipper's position: P = point i of the previous line, Q = point j of
// the current one, ni and nj the points left on each from there, dPQ their
// squared distance. P and Q are kept as values so that the facet stores
// cannot make the walk read them again.
struct Zipper {
    int32_t i, ni, j, nj;
    Vec3 p, q;
    float rp, rq;  // their ResolutionSq
    float dPQ;
};

struct Strip {
    const ScanPoint* points;
    Vec3 camera;
    float c2;
    Facet* facets;
    Vec3* normals;
    int32_t count;

    const Vec3& V(int32_t k) const { return points[k].Vertex; }
    float R(int32_t k) const { return points[k].ResolutionSq; }
    float D(int32_t a, int32_t b) const { return profile_math::DistanceSquared(V(a), V(b)); }

    void Place(Zipper& z, int32_t i, int32_t j, float dPQ) const {
        z.i = i;
        z.j = j;
        z.p = V(i);
        z.q = V(j);
        z.rp = R(i);
        z.rq = R(j);
        z.dPQ = dPQ;
    }

    // The triangle (P, Q, K) with K point k, kept when its normal makes less
    // than the angle limit with the line to the camera, on either side;
    // stored facing the camera.
    void Triangle(const Zipper& z, int32_t k, const Vec3& kv) {
        using namespace profile_math;
        const Vec3 n = Cross(Sub(z.p, kv), Sub(z.q, kv));  // Plane_FromThreePoints(k, i, j)
        const Vec3 toCamera = Sub(camera, kv);
        const float dot = Dot(n, toCamera);
        if (!(dot * dot > LengthSquared(n) * c2 * LengthSquared(toCamera))) return;
        if (dot > 0.0f) {
            facets[count] = Facet{{k, z.i, z.j}};
            normals[count] = n;
        } else {
            facets[count] = Facet{{k, z.j, z.i}};
            normals[count] = Vec3{n.x * -1.0f, n.y * -1.0f, n.z * -1.0f};
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
        using profile_math::DistanceSquared;
        Vec3 p1{}, q1{};
        float dA = kNoCandidate, dB = kNoCandidate;
        if (z.ni > 1) {
            p1 = V(z.i + 1);
            dA = DistanceSquared(z.q, p1);
        }
        if (z.nj > 1) {
            q1 = V(z.j + 1);
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
    Strip s{points, {}, 0.0f, facets, facetNormals, *facetCount};
    const float c = std::cos(kStripAngleLimit);
    s.c2 = c * c;
    Matrix4 referenceInverse, toScan;
    M4_InvertRigid(curReference, referenceInverse);
    M4_Multiply(referenceInverse, curWand, toScan);
    M4_TransformPoint(toScan, kStripCameraPoint, s.camera);
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
