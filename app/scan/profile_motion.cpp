// The per-field tests of a new profile: how far the wand moved between two
// profiles, and range clipping of the staging profile.
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
    int32_t best = 2;
    for (int32_t i = 3; i < a.NumPoints; ++i) {
        // V3_WithinBox: strictly below, never a distance that is not a number.
        const float d = profile_math::DistanceSquared(a.Points[i], a.Points[i - 2]);
        if (d < s) {
            s = d;
            best = i;
        }
    }
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
