#include "app/acquisition/visible_profiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

#include "app/acquisition/calibration_state.h"
#include "app/scan/raw_data.h"

namespace {

// A scan of three sweeps (2, 3 and 1 profiles), the middle one hidden.
struct SmallScan {
    std::unique_ptr<RawData> raw = std::make_unique<RawData>();
    std::vector<SweepRecord> sweeps = std::vector<SweepRecord>(3);
    std::vector<std::int32_t> starts = {0, 2, 5, 6};
    std::vector<Profile> profiles = std::vector<Profile>(6);
    std::vector<std::vector<Vec3>> points = std::vector<std::vector<Vec3>>(6);

    SmallScan() {
        sweeps[1].Flags = kSweepHidden;
        for (int p = 0; p < 6; ++p) {
            points[p].assign(static_cast<std::size_t>(p + 1), Vec3{static_cast<float>(p), 0, 0});
            Profile& profile = profiles[p];
            profile.NumPoints = p + 1;
            profile.Points = points[p].data();
            M4_Identity(profile.WandRxMatrix);
            profile.WandRxMatrix[12] = static_cast<float>(10 * p);
            M4_Identity(profile.ReferenceRxMatrix);
            profile.ReferenceRxMatrix[13] = static_cast<float>(-p);
            profile.ReferenceEnabled = p % 2;
        }
        raw->NumSweeps = 3;
        raw->Sweeps = sweeps.data();
        raw->SweepStartingProfileNo = starts.data();
        raw->NumProfiles = 6;
        raw->Profiles = profiles.data();
    }
};

TEST(VisibleProfiles, ShownSweepsOnly) {
    SmallScan scan;
    VisibleProfiles out;
    ASSERT_TRUE(CollectVisibleProfiles(*scan.raw, out));
    EXPECT_EQ(out.sweepCount, 2);
    EXPECT_EQ(out.profileTotal, 3);
    EXPECT_EQ(out.sweepTotals[0], 2);
    EXPECT_EQ(out.sweepTotals[1], 3);
    const int expectedProfiles[] = {0, 1, 5};
    for (int i = 0; i < 3; ++i) {
        const int p = expectedProfiles[i];
        const VisibleProfileRecord& record = out.records[i];
        EXPECT_EQ(record.NumPoints, p + 1);
        EXPECT_EQ(record.Points, scan.points[p].data());  // shared, not copied
        EXPECT_EQ(record.WandRxMatrix[12], 10.0f * p);
        EXPECT_EQ(record.ReferenceRxMatrix[13], static_cast<float>(-p));
        EXPECT_EQ(record.ReferenceEnabled, p % 2);
    }
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(out.records) % alignof(VisibleProfileRecord), 0u);
    FreeVisibleProfiles(out);
    EXPECT_EQ(out.records, nullptr);
}

TEST(VisibleProfiles, CountsInForceOnly) {
    SmallScan scan;
    scan.raw->NumSweeps = 1;  // the others undone
    scan.raw->NumProfiles = 1;
    VisibleProfiles out;
    ASSERT_TRUE(CollectVisibleProfiles(*scan.raw, out));
    EXPECT_EQ(out.sweepCount, 1);
    EXPECT_EQ(out.profileTotal, 1);
    EXPECT_EQ(out.sweepTotals[0], 1);
    FreeVisibleProfiles(out);

    const auto empty = std::make_unique<RawData>();
    ASSERT_TRUE(CollectVisibleProfiles(*empty, out));
    EXPECT_EQ(out.sweepCount, 0);
    EXPECT_EQ(out.profileTotal, 0);
    FreeVisibleProfiles(out);
}

TEST(LutTweaksCopyRecent, TenNewestSpreadPerField) {
    InstallCalibration(CalibrationData());
    for (int i = 11; i >= 0; --i) {
        LutTweak t{};
        t.lineTweak[0] = static_cast<float>(i);
        t.lineTweak[1] = static_cast<float>(i) + 0.5f;
        t.countTweak[1] = 2.0f * i;
        t.newRms[0] = 1.0f;
        t.oldDeviation = -1.0f * i;
        std::snprintf(t.date, sizeof t.date, "day %d", i);
        LutTweaks_Push(t);
    }
    LutTweaks_Pop();  // newest is now record 1; slots 11 and up are empty
    const auto raw = std::make_unique<RawData>();
    LutTweaks_CopyRecent(*raw);
    const CorrectionHistory& recent = raw->Header.Corrections;
    for (int r = 0; r < 10; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(recent.LineTweak[r][0], static_cast<float>(r + 1));
        EXPECT_EQ(recent.LineTweak[r][1], r + 1.5f);
        EXPECT_EQ(recent.CountTweak[r][1], 2.0f * (r + 1));
        EXPECT_EQ(recent.NewRms[r][0], 1.0f);
        EXPECT_EQ(recent.OldDeviation[r], -1.0f * (r + 1));
        EXPECT_EQ(std::string(recent.Date[r]), "day " + std::to_string(r + 1));
        EXPECT_EQ(recent.Valid[r], 1);
    }
    InstallCalibration(CalibrationData());
    LutTweaks_CopyRecent(*raw);
    EXPECT_EQ(raw->Header.Corrections.Valid[0], 0);
}

}  // namespace
