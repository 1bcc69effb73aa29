#include "app/scan/facet_strip.h"

#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

#include <cmath>

namespace {

constexpr float kNoCandidate = 1e10f;

float CubeRoot(float x) { return std::exp(std::log(x) * 0.33333333333f); }

struct Strip {
    const ScanPoint* points;
    int32_t i, ni, j, nj;
    Vec3 camera;
    float c2;
    Facet* facets;
    Vec3* normals;
    int32_t* count;

    const Vec3& V(int32_t k) const { return points[k].Vertex; }
    float R(int32_t k) const { return points[k].ResolutionSq; }
    float D(int32_t a, int32_t b) const { return profile_math::DistanceSquared(V(a), V(b)); }

    // The triangle (P, Q, point k), kept when its normal makes less than the
    // angle limit with the line to the camera, on either side; stored facing
    // the camera.
    void Triangle(int32_t k) {
        using namespace profile_math;
        const Vec3 n = Cross(Sub(V(i), V(k)), Sub(V(j), V(k)));  // Plane_FromThreePoints(k, i, j)
        const Vec3 toCamera = Sub(camera, V(k));
        const float dot = Dot(n, toCamera);
        if (!(dot * dot > LengthSquared(n) * c2 * LengthSquared(toCamera))) return;
        if (dot > 0.0f) {
            facets[*count] = Facet{{k, i, j}};
            normals[*count] = n;
        } else {
            facets[*count] = Facet{{k, j, i}};
            normals[*count] = Vec3{n.x * -1.0f, n.y * -1.0f, n.z * -1.0f};
        }
        ++*count;
    }

    // After a gap: the close pair with the fewest skipped points, the nearest
    // among equals. False when the lines never meet again.
    bool SkipToCloserPair() {
        for (int32_t s = 1; s <= ni + nj - 1; ++s) {
            int32_t bestA = -1;
            float best = 0.0f;
            for (int32_t a = 0; a <= s; ++a) {
                const int32_t b = s - a;
                if (a >= ni || b >= nj) continue;
                const float d = D(i + a, j + b);
                const float t = std::sqrt(R(i + a) * R(j + b)) * kScanSpacingFactor;
                if (d < t && (bestA < 0 || d < best)) {
                    bestA = a;
                    best = d;
                }
            }
            if (bestA >= 0) {
                i += bestA;
                ni -= bestA;
                j += s - bestA;
                nj -= s - bestA;
                return true;
            }
        }
        return false;
    }

    // Candidate A advances on the previous line (triangle P, Q, P'), B on
    // the current one (P, Q, Q'); each is small enough when its three edges
    // lie within the spacing factor times the cube root of its corners'
    // resolutions.
    // `across` is the candidate's distance from the other line's point.
    bool CandidateOk(bool a, float across) const {
        const int32_t next = a ? i + 1 : j + 1;
        const float t = kScanSpacingFactor * CubeRoot(a ? R(next) * R(i) * R(j) : R(i) * R(next) * R(j));
        return D(i, j) <= t && (a ? D(i, next) : D(j, next)) <= t && across <= t;
    }

    // One step of the zipper. False when the strip ends.
    bool Step() {
        const float dA = ni > 1 ? D(j, i + 1) : kNoCandidate;
        const float dB = nj > 1 ? D(i, j + 1) : kNoCandidate;
        const bool advancePrevious = dA <= dB;
        // Only the nearer candidate is tried.
        const bool ok = (advancePrevious ? ni : nj) > 1 && CandidateOk(advancePrevious, advancePrevious ? dA : dB);
        if (!ok || std::isnan(dA) || std::isnan(dB)) return SkipToCloserPair();
        Triangle(advancePrevious ? i + 1 : j + 1);
        // The profile whose point the triangle took advances, ties included,
        // so that consecutive triangles share an edge.
        if (advancePrevious) {
            ++i;
            --ni;
        } else {
            ++j;
            --nj;
        }
        return true;
    }
};

}  // namespace

void Scan_FacetStrip(const ScanPoint* points, int32_t prevStart, int32_t prevCount, int32_t curStart,
                     int32_t curCount, const Matrix4& curWand, const Matrix4& curReference, Facet* facets,
                     Vec3* facetNormals, int32_t* facetCount) {
    if (prevCount < 1 || curCount < 1) return;
    Strip s{points, prevStart, prevCount, curStart, curCount, {}, 0.0f, facets, facetNormals, facetCount};
    const float c = std::cos(kStripAngleLimit);
    s.c2 = c * c;
    Matrix4 referenceInverse, toScan;
    M4_InvertRigid(curReference, referenceInverse);
    M4_Multiply(referenceInverse, curWand, toScan);
    M4_TransformPoint(toScan, kStripCameraPoint, s.camera);
    while (s.ni > 1 || s.nj > 1)
        if (!s.Step()) break;
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
    for (int32_t k = prevStart; k < curStart + curCount; ++k) profile_math::Normalise(points[k].Normal);
}
