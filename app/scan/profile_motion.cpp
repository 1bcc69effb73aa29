// The per-field tests of a new profile: how far the wand moved between two
// profiles, and range clipping of the staging profile.
#include "app/scan/point_lanes.h"
#include "app/scan/profile_math.h"
#include "app/scan/profile_processing.h"

namespace {

// The wand position in scan coordinates.
Vec3 WandInScan(const Profile& p) {
    Matrix4 referenceInverse;
    M4_InvertRigid(p.ReferenceRxMatrix, referenceInverse);
    Vec3 t;
    M4_TransformPoint(referenceInverse, Vec3{p.WandRxMatrix[12], p.WandRxMatrix[13], p.WandRxMatrix[14]}, t);
    return t;
}

bool HasPoints(const Profile& p) { return p.NumPoints > 0 && p.Points; }

// The densest place of a line of n >= 3 points: the point i >= 3 whose squared
// distance from point i - 2 is the smallest, when that lies strictly below s
// (the distance of point 2 from point 0, on entry), the first of equals; a
// distance that is not a number is never taken. Sets s to the distance found
// and returns the point, 2 when none lies below. This is the strict-below
// running minimum of V3_WithinBox, found as the minimum and its first place.
int32_t DensestPlace(const Vec3* points, int32_t n, float& s) {
    const int32_t held = n < kMaxProfilePoints ? n : kMaxProfilePoints;
    float gap[kMaxProfilePoints];  // gap[i]: point i from point i - 2
    __m128 low = _mm_set1_ps(s);
    int32_t i = 3;
    for (; i + 4 <= held; i += 4) {
        using namespace point_lanes;
        // DistanceSquared(a[i], a[i - 2]) is |a[i - 2] - a[i]|².
        const __m128 d = LengthSquared(Sub(LoadVec3s(points + i - 2), LoadVec3s(points + i)));
        _mm_storeu_ps(gap + i, d);
        low = _mm_min_ps(d, low);  // a lane that is not a number keeps the minimum so far
    }
    const int32_t lanesEnd = i;
    for (; i < held; ++i) gap[i] = profile_math::DistanceSquared(points[i], points[i - 2]);
    const auto gapAt = [&](int32_t k) {
        return k < held ? gap[k] : profile_math::DistanceSquared(points[k], points[k - 2]);
    };
    if (!(s == s)) return 2;  // nothing lies below a first distance that is not a number
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, low);
    float m = s;
    for (const float lane : lanes)
        if (lane < m) m = lane;
    for (int32_t k = lanesEnd; k < n; ++k) {
        const float d = gapAt(k);
        if (d < m) m = d;
    }
    if (!(m < s)) return 2;
    int32_t first = 3;
    while (gapAt(first) != m) ++first;
    s = m;
    return first;
}

}  // namespace

void Scan_RelativeMotion(const Profile& a, const Profile& b, Matrix4& out) {
    Matrix4 wandInverse, bReferenceInverse, m;
    M4_InvertRigid(a.WandRxMatrix, wandInverse);
    M4_InvertRigid(b.ReferenceRxMatrix, bReferenceInverse);
    M4_Multiply(wandInverse, a.ReferenceRxMatrix, m);
    M4_Multiply(b.WandRxMatrix, m, m);
    M4_Multiply(bReferenceInverse, m, out);
}

int32_t Scan_ProfileMovedEnough(const Profile& a, const Profile& b, float minResolution, float maxResolution,
                                int32_t* tooFar) {
    if (a.NumPoints < 3 || !a.Points) return 0;
    // The densest place of the line: the smallest gap between points two apart.
    float s = V3_DistanceSquared(a.Points[2], a.Points[0]);
    const int32_t best = DensestPlace(a.Points, a.NumPoints, s);
    s = 0.25f * s;

    const Vec3 t = WandInScan(a);
    const Vec3& p = a.Points[best];
    Vec3 d;
    V3_Sub(t, p, d);
    double variance = kScanVarianceFactor * V3_LengthSquared(d) + kScanVarianceFactor * V3_LengthSquared(t);
    if (a.ReferenceEnabled) {
        const Vec3 r{a.ReferenceRxMatrix[12], a.ReferenceRxMatrix[13], a.ReferenceRxMatrix[14]};
        variance += kScanVarianceFactor * V3_LengthSquared(p) + kScanVarianceFactor * V3_LengthSquared(r);
    }
    const float e = static_cast<float>(variance);
    if (s < minResolution * minResolution) s = minResolution * minResolution;
    if (s < e) s = e;

    Matrix4 m;
    Scan_RelativeMotion(a, b, m);
    Vec3 w;
    M4_TransformPoint(m, p, w);
    const float moved = V3_DistanceSquared(p, w);
    if (tooFar) *tooFar = moved > maxResolution * maxResolution ? 1 : 0;
    return moved > 0.25f * s ? 1 : 0;
}

void Scan_ClipProfileByRange(RawData& raw, float maxRange) {
    Profile& p = raw.Staging;
    const float r2 = maxRange * maxRange;
    const Vec3 wand{p.WandRxMatrix[12], p.WandRxMatrix[13], p.WandRxMatrix[14]};
    const Vec3 reference{p.ReferenceRxMatrix[12], p.ReferenceRxMatrix[13], p.ReferenceRxMatrix[14]};
    const int32_t n = HasPoints(p) ? (p.NumPoints < kMaxProfilePoints ? p.NumPoints : kMaxProfilePoints) : 0;
    raw.NumClippedPoints = 0;

    if (V3_LengthSquared(wand) > r2 || (p.ReferenceEnabled && V3_LengthSquared(reference) > r2)) {
        for (int32_t i = 0; i < n; ++i) raw.ClippedPoints[i] = p.Points[i];
        raw.NumClippedPoints = n;
        p.NumPoints = 0;
        return;
    }
    const Vec3 w = p.ReferenceEnabled ? WandInScan(p) : wand;
    int32_t kept = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (V3_DistanceSquared(p.Points[i], w) > r2) {
            raw.ClippedPoints[raw.NumClippedPoints++] = p.Points[i];
            continue;
        }
        p.Points[kept] = p.Points[i];
        if (p.PointValues) p.PointValues[kept] = p.PointValues[i];
        ++kept;
    }
    p.NumPoints = kept;
}
