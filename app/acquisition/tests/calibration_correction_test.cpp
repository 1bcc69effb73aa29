// The calibration correction's grid search over line logs made with the
// simulator's calibration model (see correction_scan.h).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/acquisition/tests/correction_scan.h"

namespace {

using namespace correction_test;

struct Fixture : testing::Test {
    LutTweak zero{};
    CorrectionSearch search{};
    void Search(const RawData& raw, const CalibrationData& calibration, int channels, const LutTweak& current) {
        CalibrationCorrection_InitRecords(search.result, search.reset, 0);
        CalibrationCorrection_Search(raw, calibration, channels, current, search);
    }
};

TEST_F(Fixture, RecoversAnOnGridOffsetOnBothChannels) {
    const CalibrationData calibration = ModelCalibration(2);
    const Offset offsets[2] = {{0.75f, -3.0f}, {-1.25f, 4.0f}};
    CorrectionScan scan(calibration, 2, offsets);
    Search(scan.scan.raw(), calibration, 2, zero);
    for (int c = 0; c < 2; ++c) {
        SCOPED_TRACE(c);
        ASSERT_TRUE(search.found[c]);
        EXPECT_EQ(search.result.lineTweak[c], offsets[c].line);
        EXPECT_EQ(search.result.countTweak[c], offsets[c].count);
        EXPECT_LT(search.result.newRms[c], 1e-3f);
        EXPECT_GT(search.result.oldRms[c], 0.05f);
        EXPECT_LT(V3_Distance(search.newCentre[c], scan.target), 1e-3f);
        // The reset record holds the RMS at zero tweaks, which are the
        // current tweaks here.
        EXPECT_EQ(search.reset.lineTweak[c], 0.0f);
        EXPECT_EQ(search.reset.countTweak[c], 0.0f);
        EXPECT_EQ(search.reset.newRms[c], search.result.oldRms[c]);
    }
    EXPECT_LT(search.result.newDeviation, 1e-3f);
    EXPECT_GT(search.result.oldDeviation, 0.0f);
    EXPECT_EQ(search.reset.newDeviation, search.result.oldDeviation);
    EXPECT_GT(search.improvement, 0.1f);
}

TEST_F(Fixture, TheResetRecordHoldsTheZeroTweakRmsWhateverTheCurrentTweaks) {
    const CalibrationData calibration = ModelCalibration(2);
    const Offset offsets[2] = {{0.5f, 2.0f}, {0.25f, -1.0f}};
    CorrectionScan scan(calibration, 2, offsets);
    LutTweak current{};
    current.lineTweak[0] = 0.5f;  // the true tweak on channel 0, on the grid
    current.countTweak[0] = 2.0f;
    current.lineTweak[1] = 0.1f;  // off the grid on channel 1
    current.countTweak[1] = 1.0f;
    Search(scan.scan.raw(), calibration, 2, current);
    for (int c = 0; c < 2; ++c) {
        Vec3 centres[kCorrectionSweeps], mean;
        ASSERT_TRUE(CalibrationCorrection_SweepCentres(scan.scan.raw(), calibration, c, 0.0f, 0.0f, centres));
        EXPECT_FLOAT_EQ(search.reset.newRms[c], static_cast<float>(CalibrationCorrection_Rms(centres, mean)));
        EXPECT_EQ(search.result.lineTweak[c], offsets[c].line);
    }
    // At the current tweaks channel 0 was already right: its old RMS is its
    // new one. Channel 1's current tweaks are off the grid: no old RMS.
    EXPECT_EQ(search.result.oldRms[0], search.result.newRms[0]);
    EXPECT_EQ(search.result.oldRms[1], kCorrectionUnknownRms);
    EXPECT_FALSE(search.hasOld[1]);
    EXPECT_EQ(search.result.oldDeviation, 0.0f);
}

TEST_F(Fixture, AlreadyCorrectTweaksGiveNoImprovement) {
    const CalibrationData calibration = ModelCalibration(2);
    const Offset offsets[2] = {{-0.5f, 1.0f}, {1.0f, -2.0f}};
    CorrectionScan scan(calibration, 2, offsets);
    LutTweak current{};
    for (int c = 0; c < 2; ++c) {
        current.lineTweak[c] = offsets[c].line;
        current.countTweak[c] = offsets[c].count;
    }
    Search(scan.scan.raw(), calibration, 2, current);
    EXPECT_EQ(search.improvement, 0.0f);
    EXPECT_EQ(search.result.oldDeviation, search.result.newDeviation);
}

TEST_F(Fixture, TiesKeepTheFirstUsableCandidateInSearchOrder) {
    // Every sweep the same: every usable candidate has RMS 0. Every sample
    // is logged at line position 3, which leaves no table entry below line
    // tweak -3, so the first usable candidate is the lowest count tweak at
    // line tweak -3.
    const CalibrationData calibration = ModelCalibration(1);
    const Offset offsets[2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
    ScanShape shape;
    shape.firstLine = 3.0f;
    shape.sameEverySweep = true;
    shape.lines = 1;
    CorrectionScan scan(calibration, 1, offsets, shape);
    Search(scan.scan.raw(), calibration, 1, zero);
    ASSERT_TRUE(search.found[0]);
    EXPECT_EQ(search.result.lineTweak[0], -3.0f);
    EXPECT_EQ(search.result.countTweak[0], -25.0f);
}

TEST_F(Fixture, OneChannelLeavesTheSecondAtZero) {
    const CalibrationData calibration = ModelCalibration(1);
    const Offset offsets[2] = {{1.375f, -6.5f}, {0.0f, 0.0f}};
    CorrectionScan scan(calibration, 1, offsets);
    Search(scan.scan.raw(), calibration, 1, zero);
    EXPECT_EQ(search.result.lineTweak[0], 1.375f);
    EXPECT_EQ(search.result.countTweak[0], -6.5f);
    EXPECT_EQ(search.result.oldRms[1], 0.0f);
    EXPECT_EQ(search.result.newRms[1], 0.0f);
    EXPECT_EQ(search.result.oldDeviation, 0.0f);
    EXPECT_EQ(search.result.newDeviation, 0.0f);
    EXPECT_GT(search.improvement, 0.0f);
}

TEST(CalibrationCorrection, OnlyEightSweepsCompute) {
    EXPECT_STREQ(CalibrationCorrection_SweepStatusKey(0), "CalCheckNextStatusMsg");
    EXPECT_STREQ(CalibrationCorrection_SweepStatusKey(7), "CalCheckNextStatusMsg");
    EXPECT_STREQ(CalibrationCorrection_SweepStatusKey(8), "CalCheckComputeCorrectionStatusMsg");
    EXPECT_STREQ(CalibrationCorrection_SweepStatusKey(9), "CalCheckTooManyStatusMsg");
}

TEST(CalibrationCorrection, RecordsStartClearedAndDated) {
    LutTweak result, reset;
    std::memset(&result, 0x55, sizeof result);
    std::memset(&reset, 0x55, sizeof reset);
    CalibrationCorrection_InitRecords(result, reset, 1700000000);
    EXPECT_EQ(std::strlen(result.date), 24u);
    EXPECT_STREQ(result.date, reset.date);
    EXPECT_EQ(result.oldRms[0], 100.0f);
    EXPECT_EQ(result.newRms[1], 100.0f);
    EXPECT_EQ(reset.oldRms[0], 0.0f);
    EXPECT_EQ(result.lineTweak[0], 0.0f);
}

TEST(CalibrationCorrection, PassTextsFollowTheHardware) {
    const CorrectionPassDistances two = CalibrationCorrection_PassDistances("2.2.1");
    EXPECT_EQ(two.passOne.distanceMm, 100);
    EXPECT_EQ(two.passOne.distanceInches, 4);
    EXPECT_EQ(two.passOne.sensitivity, 1);
    EXPECT_EQ(two.passTwo.distanceMm, 200);
    EXPECT_EQ(two.passTwo.distanceInches, 8);
    EXPECT_EQ(two.passTwo.sensitivity, 2);
    const CorrectionPassDistances one = CalibrationCorrection_PassDistances("1.1.1");
    EXPECT_EQ(one.passOne.distanceMm, 125);
    EXPECT_EQ(one.passOne.distanceInches, 5);
    EXPECT_EQ(one.passTwo.distanceMm, 250);
    EXPECT_EQ(one.passTwo.distanceInches, 10);
    EXPECT_EQ(one.passTwo.sensitivity, 2);
}

}  // namespace
