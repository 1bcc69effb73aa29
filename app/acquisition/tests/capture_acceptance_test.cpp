// The target tests of the calibration, correction and accuracy captures.
#include <gtest/gtest.h>

#include <vector>

#include "app/acquisition/capture_acceptance.h"
#include "app/acquisition/profile_line_log.h"

namespace {

struct Detection {
    int32_t camera;
    float x, y;
};

class TargetProfile {
  public:
    explicit TargetProfile(const std::vector<Detection>& detections, Vec3 wand = {0.0f, 0.0f, 0.0f}) {
        M4_Identity(profile.WandRxMatrix);
        M4_Identity(profile.ReferenceRxMatrix);
        profile.WandRxMatrix[12] = wand.x;
        profile.WandRxMatrix[13] = wand.y;
        profile.WandRxMatrix[14] = wand.z;
        EXPECT_TRUE(ProfileLineLog_Ensure(profile));
        const ProfileLineLog log = ProfileLineLog_Get(profile);
        *log.count = static_cast<int32_t>(detections.size());
        for (std::size_t i = 0; i < detections.size(); ++i) {
            log.channel[i] = detections[i].camera;
            log.point[i] = Vec3{detections[i].x, detections[i].y, 5.0f};
            log.start[i] = 3;
            log.end[i] = 4;
        }
    }
    ~TargetProfile() { RawData_ClearProfile(profile); }
    bool Rejected(int32_t i) const {
        const ProfileLineLog log = ProfileLineLog_Get(profile);
        return log.point[i].x == 1.0e10f && log.start[i] == 0 && log.end[i] == 0;
    }
    Profile profile{};
};

TEST(CaptureAcceptance, CalibrationNeedsEveryCameraUnlessPartialIsAccepted) {
    struct Case {
        std::vector<Detection> detections;
        bool partial, accepted;
    };
    const std::vector<Case> cases = {
        {{{0, 1, 1}, {1, 2, 2}}, false, true},
        {{{0, 1, 1}}, false, false},
        {{{0, 1, 1}}, true, true},
        {{}, true, false},
    };
    for (const Case& c : cases) {
        TargetProfile p(c.detections);
        EXPECT_EQ(Accept_AllCameras(p.profile, 2, c.partial), c.accepted) << c.detections.size() << c.partial;
    }
}

TEST(CaptureAcceptance, AccuracyCountsOnlyCentredDetectionsWithTheTargetOption) {
    struct Case {
        std::vector<Detection> detections;
        bool option, accepted;
    };
    const std::vector<Case> cases = {
        {{{0, 9.9f, -9.9f}, {1, 0, 0}}, true, true},
        {{{0, 10.0f, 0}, {1, 0, 0}}, true, false},  // strictly within 10
        {{{0, 50, 50}}, false, true},               // option off: accepted at once
        {{{0, 1, 1}}, true, false},                 // camera 1 missing
    };
    for (const Case& c : cases) {
        TargetProfile p(c.detections);
        EXPECT_EQ(Accept_CentredTarget(p.profile, 2, c.option), c.accepted);
    }
    TargetProfile p({{0, 10.0f, 0}, {1, 0, 0}});
    Accept_CentredTarget(p.profile, 2, true);
    EXPECT_TRUE(p.Rejected(0));
    EXPECT_FALSE(p.Rejected(1));
}

TEST(CaptureAcceptance, CorrectionBandsFollowTheSweepCountAndGeometry) {
    const CorrectionGeometry large = CorrectionGeometry_For("1X", false);
    const CorrectionGeometry small = CorrectionGeometry_For("2X", true);
    EXPECT_EQ(small.lateralOffset, 8.0f);
    EXPECT_EQ(CorrectionGeometry_For("2X", false).lateralOffset, 30.0f);
    struct Case {
        const char* name;
        CorrectionGeometry geometry;
        float range;  // of the wand above the nearer target point
        int32_t sweeps;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"near centre", large, 125.0f, 0, true},
        {"near band's low end", large, 100.0f, 3, true},
        {"near band's high end", large, 150.0f, 3, true},
        {"beyond the near band", large, 150.5f, 3, false},
        {"far band after 4 sweeps", large, 250.0f, 4, true},
        {"near range after 4 sweeps", large, 125.0f, 4, false},
        {"nothing from 8 sweeps", large, 250.0f, 8, false},
        {"small geometry near", small, 100.0f, 0, true},
        {"small geometry far", small, 200.0f, 7, true},
        {"small geometry beyond", small, 221.0f, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const float z = c.geometry.lateralOffset + c.range + 11.0f;
        TargetProfile p({{0, 1, 1}, {1, -2, 3}}, Vec3{0.0f, 0.0f, z});
        EXPECT_EQ(Accept_CorrectionTarget(p.profile, 2, c.sweeps, c.geometry), c.accepted);
    }
    TargetProfile off({{0, 1, 1}, {1, 8, 0}}, Vec3{0.0f, 0.0f, 30.0f + 136.0f});
    EXPECT_FALSE(Accept_CorrectionTarget(off.profile, 2, 0, large));  // x² + y² = 64 is not below 64
}

}  // namespace
