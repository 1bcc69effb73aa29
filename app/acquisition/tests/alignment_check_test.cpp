// The alignment check's verdict over a pass's profiles: each profile is a
// wand position and the distance of its points' centre from the wand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/acquisition/alignment_check.h"
#include "app/scan/tests/scan_record_fixture.h"

namespace {

struct ProfileSpec {
    float wandX;     // the wand's distance from the reference origin, along x
    float distance;  // of the points' centre from the wand, along y
    float deviation;
};

// A scan of one profile per row, two points each, centred at the row's distance from the wand.
void Fill(scan_test::TestScan& scan, const std::vector<ProfileSpec>& specs) {
    for (const ProfileSpec& s : specs) {
        Vec3 points[2] = {{s.wandX - 1.0f, s.distance, 0.0f}, {s.wandX + 1.0f, s.distance, 0.0f}};
        Profile p{};
        M4_MakeTranslation(Vec3{s.wandX, 0.0f, 0.0f}, p.WandRxMatrix);
        p.NumPoints = 2;
        p.Points = points;
        p.CameraDeviation = s.deviation;
        scan.Append(p);
    }
}

TEST(AlignmentCheck, FarLimitFollowsTheHardwareVersion) {
    EXPECT_EQ(AlignmentCheck_FarLimit("1.1.1"), 250.0f);
    EXPECT_EQ(AlignmentCheck_FarLimit("2.1.1"), 200.0f);
    EXPECT_EQ(AlignmentCheck_FarLimit("2.3.1"), 200.0f);
    EXPECT_EQ(AlignmentCheck_FarLimit(""), 200.0f);
}

TEST(AlignmentCheck, VerdictOverThePassProfiles) {
    struct Case {
        const char* name;
        float farLimit;
        std::vector<ProfileSpec> profiles;
        AlignmentVerdict verdict;
        float factor;
    };
    const Case cases[] = {
        {"no profiles", 200, {}, AlignmentVerdict::NoProfiles, 0},
        {"wand exactly 750 from the reference is too far",
         200,
         {{10, 50, 1}, {750, 150, 1}, {10, 250, 1}},
         AlignmentVerdict::WandTooFar,
         0},
        {"wand just inside 750",
         200,
         {{10, 50, 1}, {749.9f, 150, 2}, {10, 250, 1}},
         AlignmentVerdict::Result,
         2000.0f / 150},
        {"only near", 200, {{0, 50, 1}, {0, 99.9f, 1}}, AlignmentVerdict::KeepGoing, 0},
        {"only middle", 200, {{0, 120, 1}, {0, 150, 1}, {0, 200, 1}}, AlignmentVerdict::InsufficientData, 0},
        {"near and far without middle", 200, {{0, 50, 1}, {0, 300, 1}}, AlignmentVerdict::InsufficientData, 0},
        {"near and far with only the first profile in the middle",
         200,
         {{0, 150, 1}, {0, 50, 1}, {0, 300, 1}},
         AlignmentVerdict::InsufficientData,
         0},
        {"middle and far without near", 200, {{0, 150, 1}, {0, 300, 1}}, AlignmentVerdict::InsufficientData, 0},
        {"near and middle without far", 200, {{0, 50, 1}, {0, 150, 1}}, AlignmentVerdict::KeepGoing, 0},
        // The first profile (deviation 9) stays out; d = 100 and d = 200 are
        // middle: (2/100 + 3/200 + 4/160) × 1000 / 3.
        {"full case",
         200,
         {{0, 150, 9}, {0, 100, 2}, {0, 200, 3}, {0, 160, 4}, {0, 99, 7}, {0, 201, 8}},
         AlignmentVerdict::Result,
         (0.02f + 0.015f + 0.025f) * 1000.0f / 3.0f},
        // With the far limit 250 (hardware 1.1.1) a profile at 240 is middle,
        // at 250 too; only beyond 250 is far.
        {"far limit 250",
         250,
         {{0, 150, 9}, {0, 240, 2.4f}, {0, 250, 5}, {0, 50, 1}, {0, 251, 1}},
         AlignmentVerdict::Result,
         (0.01f + 0.02f) * 1000.0f / 2.0f},
        {"far limit 250 and nothing beyond it", 250, {{0, 50, 1}, {0, 240, 1}}, AlignmentVerdict::KeepGoing, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scan_test::TestScan scan;
        Fill(scan, c.profiles);
        const AlignmentOutcome outcome = AlignmentCheck_Verdict(AlignmentCheck_Measure(scan.raw(), c.farLimit));
        EXPECT_EQ(outcome.verdict, c.verdict);
        if (c.verdict == AlignmentVerdict::Result) EXPECT_NEAR(outcome.factor, c.factor, 1e-3f);
    }
}

TEST(AlignmentCheck, ProfilesWithoutPointsAreSkipped) {
    scan_test::TestScan scan;
    Profile empty{};
    scan.Append(empty);
    const AlignmentPass pass = AlignmentCheck_Measure(scan.raw(), 200);
    EXPECT_EQ(pass.profiles, 0);
    EXPECT_EQ(AlignmentCheck_Verdict(pass).verdict, AlignmentVerdict::NoProfiles);
}

TEST(AlignmentCheck, MessageKeysAndScanValues) {
    EXPECT_STREQ(AlignmentCheck_MessageKey(AlignmentVerdict::WandTooFar), "AlignmentCheckWandToFar");
    EXPECT_STREQ(AlignmentCheck_MessageKey(AlignmentVerdict::NoProfiles), "AlignmentCheckNoProfiles");
    EXPECT_STREQ(AlignmentCheck_MessageKey(AlignmentVerdict::InsufficientData), "AlignmentCheckInsufficientData");
    EXPECT_STREQ(AlignmentCheck_MessageKey(AlignmentVerdict::KeepGoing), "AlignmentCheckKeepGoing");
    EXPECT_STREQ(AlignmentCheck_MessageKey(AlignmentVerdict::Result), "AlignmentCheckResult");
    GeneralSettings settings{};
    GeneralSettings before = settings;
    before.RangeClip = 50000.0f;
    before.AngleClip = 60.0f;
    before.RawResolutionClip[0] = 0.0f;
    before.RawResolutionClip[1] = 100.0f;
    AlignmentCheck_ApplyScanValues(settings);
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
}

}  // namespace
