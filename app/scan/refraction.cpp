#include "app/scan/refraction.h"

#include <algorithm>
#include <cmath>

#include "app/scan/geometry.h"
#include "app/base/time_stamp.h"

namespace {

// The poses one correction needs: S maps scanner to scan coordinates (Si
// back), T is the scanner's pose in the glass frame.
struct RefractionPoses {
    Matrix4 S, Si, T;
};

RefractionPoses PosesOf(const RefractionSettings& settings, const Profile& profile) {
    RefractionPoses p;
    if (profile.ReferenceEnabled != 0) {
        Matrix4 refInverse;
        M4_InvertRigid(profile.ReferenceRxMatrix, refInverse);
        M4_Multiply(refInverse, profile.WandRxMatrix, p.S);
    } else {
        p.S = profile.WandRxMatrix;
    }
    M4_InvertRigid(p.S, p.Si);
    if (settings.GlassReferenceIsRx == 0) {
        p.T = profile.WandRxMatrix;
    } else if (profile.ReferenceEnabled != 0) {
        p.T = p.S;
    } else {
        Matrix4 rawInverse;
        M4_InvertRigid(profile.RawReferenceRxMatrix, rawInverse);
        M4_Multiply(rawInverse, profile.WandRxMatrix, p.T);
    }
    return p;
}

// The plate normal in scanner coordinates, or false when the scanner is on
// the plate's far side.
bool PlateNormalInScanner(const RefractionSettings& settings, const Matrix4& T, Vec3& outNormal) {
    const bool objectSide = settings.ReferenceOnObjectSide != 0;
    const Vec3 normal{0.0f, 0.0f, objectSide ? -1.0f : 1.0f};
    Vec3 translation;
    M4_GetTranslation(T, translation);
    float d = V3_Dot(normal, translation);
    d = objectSide ? d + settings.GlassZOffset : d - (settings.GlassZOffset + settings.GlassThickness);
    if (d > 0.0f) return false;
    Matrix4 R;
    M4_InvertRigid(T, R);
    R[12] = R[13] = R[14] = 0.0f;
    Vec3 ns;
    M4_TransformPoint(R, normal, ns);
    V3_Normalise(ns, outNormal);
    return true;
}

// Moves one scanner-coordinate point; false when its ray misses the plane.
bool CorrectPoint(const Vec3& q, const Vec3& plateNormal, float planeShift, float t, float n, float sign, Vec3& out) {
    Plane plane;
    Plane_FromPointNormal(q, Vec3{0.0f, 0.0f, 1.0f}, plane);
    plane.d -= planeShift;
    const Vec3 origin{0.0f, 0.0f, kOpticalOriginZ};
    Vec3 ray, u;
    V3_Sub(q, origin, ray);
    V3_Normalise(ray, u);
    Vec3 v;
    V3_Cross(u, plateNormal, v);
    const float shift = sign * Refraction_Shift(t, n, V3_Length(v));
    Vec3 side, sideUnit, shiftedOrigin;
    V3_Cross(v, u, side);
    V3_Normalise(side, sideUnit);
    V3_AddScaled(origin, shift, sideUnit, shiftedOrigin);
    Plane_RayIntersection(shiftedOrigin, u, plane, out);
    return out.x != kNoIntersection;
}

}  // namespace

float Refraction_Shift(float t, float n, float s) {
    s = std::fmax(std::fmin(s, 1.0f), -1.0f);
    // Rounding can push s a hair above the true sine; the clamp keeps the
    // root's argument from going negative at grazing angles.
    const float ratio = std::fmax(1.0f - s * s, 0.0f) / (n * n - s * s);
    return t * s * (1.0f - std::sqrt(ratio));
}

void Profile_CorrectRefraction(const RefractionSettings& settings, Profile& profile, bool undo) {
    const float n = settings.RefractiveIndex;
    // An index of 1 or below has no refraction to undo and makes the shift's
    // root negative or 0/0: such an index (or a NaN) leaves the points alone.
    if (!(n > 1.0f) || !std::isfinite(n) || !std::isfinite(settings.GlassThickness)) return;
    if (profile.NumPoints <= 0 || profile.Points == nullptr) return;
    const RefractionPoses poses = PosesOf(settings, profile);
    Vec3 plateNormal;
    if (!PlateNormalInScanner(settings, poses.T, plateNormal)) return;
    const float t = settings.GlassThickness;
    const float sign = undo ? -1.0f : 1.0f;
    const float planeShift = sign * Refraction_Shift(t, n, plateNormal.z);
    for (int32_t i = 0; i < profile.NumPoints; ++i) {
        Vec3 q, moved;
        M4_TransformPoint(poses.Si, profile.Points[i], q);
        if (CorrectPoint(q, plateNormal, planeShift, t, n, sign, moved))
            M4_TransformPoint(poses.S, moved, profile.Points[i]);
    }
}

void Refraction_Apply(RawData& raw, bool undo, int32_t firstProfile) {
    firstProfile = firstProfile < 0 ? 0 : firstProfile;
    int64_t point = 0;
    for (int32_t i = 0; i < raw.NumProfiles && raw.Profiles; ++i) {
        Profile& profile = raw.Profiles[i];
        if (i >= firstProfile) {
            Profile_CorrectRefraction(raw.Refraction, profile, undo);
            // Points beyond the scan's own (a scan whose points were purged
            // apart from its profiles) have nothing to take the new place.
            for (int32_t k = 0; k < profile.NumPoints && profile.Points; ++k)
                if (point + k < raw.NumPoints && raw.Points) raw.Points[point + k].Vertex = profile.Points[k];
        }
        if (profile.NumPoints > 0) point += profile.NumPoints;
    }
    raw.RefractionCorrected = undo ? 0 : 1;
    raw.RefractionProfiles = undo ? std::min(raw.RefractionProfiles, firstProfile) : raw.NumProfiles;
    raw.Draw.Flags |= kDrawFull;
    Time_Now(raw.Timestamp);
}
