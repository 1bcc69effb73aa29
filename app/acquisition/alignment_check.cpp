#include "app/acquisition/alignment_check.h"

#include "app/scan/geometry.h"

float AlignmentCheck_FarLimit(const std::string& hardwareVersionText) {
    return !hardwareVersionText.empty() && hardwareVersionText[0] == '1' ? 250.0f : 200.0f;
}

AlignmentPass AlignmentCheck_Measure(const RawData& raw, float farLimit) {
    AlignmentPass pass;
    for (int32_t i = 0; i < raw.NumProfiles; ++i) {
        const Profile& profile = raw.Profiles[i];
        if (profile.NumPoints <= 0 || profile.Points == nullptr) continue;
        ++pass.profiles;
        Vec3 wand, centre;
        M4_GetTranslation(profile.WandRxMatrix, wand);
        V3_Centroid(profile.Points, profile.NumPoints, centre);
        const float wandSquared = V3_LengthSquared(wand);
        if (wandSquared > pass.largestWandSquared) pass.largestWandSquared = wandSquared;
        const float d = V3_Distance(wand, centre);
        if (d < kAlignmentNearLimit) {
            pass.nearFlag = true;
        } else if (d > farLimit) {
            pass.farFlag = true;
        } else if (i > 0) {
            pass.sum += profile.CameraDeviation / d;
            pass.count += 1.0f;
        }
    }
    return pass;
}

AlignmentOutcome AlignmentCheck_Verdict(const AlignmentPass& pass) {
    if (pass.largestWandSquared >= kAlignmentWandTooFarSquared) return {AlignmentVerdict::WandTooFar, 0.0f};
    if (pass.profiles == 0) return {AlignmentVerdict::NoProfiles, 0.0f};
    if (!pass.nearFlag) return {AlignmentVerdict::InsufficientData, 0.0f};
    if (!pass.farFlag) return {AlignmentVerdict::KeepGoing, 0.0f};
    if (pass.count == 0.0f) return {AlignmentVerdict::InsufficientData, 0.0f};
    return {AlignmentVerdict::Result, pass.sum * 1000.0f / pass.count};
}

const char* AlignmentCheck_MessageKey(AlignmentVerdict verdict) {
    switch (verdict) {
        case AlignmentVerdict::WandTooFar:
            return "AlignmentCheckWandToFar";
        case AlignmentVerdict::NoProfiles:
            return "AlignmentCheckNoProfiles";
        case AlignmentVerdict::InsufficientData:
            return "AlignmentCheckInsufficientData";
        case AlignmentVerdict::KeepGoing:
            return "AlignmentCheckKeepGoing";
        case AlignmentVerdict::Result:
            break;
    }
    return "AlignmentCheckResult";
}

void AlignmentCheck_ApplyScanValues(GeneralSettings& settings) {
    settings.RangeClip = 50000.0f;
    settings.AngleClip = 60.0f;
    settings.RawResolutionClip[0] = 0.0f;
    settings.RawResolutionClip[1] = 100.0f;
}
