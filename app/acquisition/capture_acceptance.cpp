#include "app/acquisition/capture_acceptance.h"

#include "app/acquisition/profile_line_log.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kNoPoint = 1.0e10f;
constexpr int32_t kMaxCameras = 8;

void Reject(const ProfileLineLog& log, int32_t i) {
    log.point[i] = Vec3{kNoPoint, kNoPoint, kNoPoint};
    log.start[i] = 0;
    log.end[i] = 0;
}

bool Present(const ProfileLineLog& log, int32_t i) { return log.point[i].x != kNoPoint; }

// Counts the kept detections per camera; `keep` decides, the rest are
// rejected. True when each of the first `needed` cameras has one.
template <typename Keep>
bool CamerasSeen(Profile& profile, int32_t cameras, int32_t needed, Keep keep, int32_t* seen = nullptr) {
    if (!profile.Extra) return false;
    const ProfileLineLog log = ProfileLineLog_Get(profile);
    int32_t counts[kMaxCameras] = {};
    for (int32_t i = 0; i < *log.count; ++i) {
        if (!Present(log, i)) continue;
        if (!keep(log.point[i])) {
            Reject(log, i);
            continue;
        }
        const int32_t c = log.channel[i];
        if (c >= 0 && c < kMaxCameras) ++counts[c];
    }
    int32_t any = 0;
    bool all = true;
    for (int32_t c = 0; c < std::min(cameras, kMaxCameras); ++c) {
        if (counts[c] > 0) ++any;
        if (c < needed && counts[c] == 0) all = false;
    }
    if (seen) *seen = any;
    return all;
}

}  // namespace

bool Accept_AllCameras(Profile& profile, int32_t cameras, bool acceptPartial) {
    int32_t seen = 0;
    const bool all = CamerasSeen(
        profile, cameras, cameras, [](const Vec3&) { return true; }, &seen);
    return acceptPartial ? seen > 0 : all && seen > 0;
}

bool Accept_CentredTarget(Profile& profile, int32_t cameras, bool targetOption) {
    if (!targetOption) return true;
    const int32_t needed = cameras >= 2 ? 2 : 1;
    return CamerasSeen(profile, cameras, needed,
                       [](const Vec3& p) { return std::fabs(p.x) < 10.0f && std::fabs(p.y) < 10.0f; });
}

CorrectionGeometry CorrectionGeometry_For(const char* identity, bool fixedWand) {
    if (identity && identity[0] == '2') return {100.0f, 200.0f, 20.0f, fixedWand ? 8.0f : 30.0f};
    return {125.0f, 250.0f, 25.0f, 30.0f};
}

bool Accept_CorrectionTarget(Profile& profile, int32_t cameras, int32_t sweeps, const CorrectionGeometry& geometry) {
    if (sweeps >= 8) return false;
    Vec3 wand;
    M4_GetTranslation(profile.WandRxMatrix, wand);
    if (profile.ReferenceEnabled) {
        Matrix4 inverse;
        M4_InvertRigid(profile.ReferenceRxMatrix, inverse);
        M4_TransformPoint(inverse, wand, wand);
    }
    const float a = V3_Distance(wand, Vec3{0.0f, 0.0f, geometry.lateralOffset});
    const float b = V3_Distance(wand, Vec3{0.0f, 0.0f, -geometry.lateralOffset});
    const float range = std::min(a, b) - 11.0f;
    const float centre = sweeps < 4 ? geometry.nearDistance : geometry.farDistance;
    if (range < centre - geometry.halfWidth || range > centre + geometry.halfWidth) return false;
    return CamerasSeen(profile, cameras, cameras, [](const Vec3& p) { return p.x * p.x + p.y * p.y < 64.0f; });
}
