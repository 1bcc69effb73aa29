// The accuracy check's report text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/acquisition/accuracy_report.h"
#include "app/acquisition/tests/target_scan.h"

namespace {

TEST(AccuracyReport, OneSweepGoldenTextWithAndWithoutTheDot) {
    TargetScan t(1, {{10.6258f, 11.334f, -27.0731f}, {1.0f, 2.0f, 3.0f}});
    std::vector<Vec3> previous;
    EXPECT_EQ(AccuracyReport_Format(t.scan.raw(), 2, 0, 0, 1, &previous),
              "% sweep: 1\r\n"
              "% Camera 1 mean: ( 0.00  0.00  0.00) mag: 0.00 rms1: 0.00 rms2: 0.00 step: ( 0.00  0.00  0.00) 0.00\r\n"
              "% Camera 2 mean: (-9.63 -9.33  30.07) mag: 32.93 rms1: 0.00 rms2: 32.93 step: (-9.63 -9.33  30.07) "
              "32.93\r\n"
              "D1 = [ D1 ;  0.00  0.00  0.00 ]; L1 = [ L1 ; ' ' ];\r\n"
              "D2 = [ D2 ; -9.63 -9.33  30.07 ]; L2 = [ L2 ; ' ' ];\r\n"
              "\r\n");
    EXPECT_EQ(AccuracyReport_Format(t.scan.raw(), 1, 1, 0, 1, nullptr),
              "% sweep: 1\r\n"
              "% Camera 1 mean: ( 10.63  11.33 -27.07) mag: 31.21 rms1: 0.00 rms2: 31.21 step: n/a \r\n"
              "D1 = [ D1 ;  10.63  11.33 -27.07 ]; L1 = [ L1 ; ' ' ];\r\n"
              "\r\n");
}

TEST(AccuracyReport, SpreadOverSweepsAndStepsFromThePreviousReport) {
    TargetScan t(3, {{0.0f, 0.0f, 0.0f}});
    std::vector<Vec3> previous;
    AccuracyReport_Format(t.scan.raw(), 1, 1, 0, 1, &previous);
    const std::string report = AccuracyReport_Format(t.scan.raw(), 1, 1, 1, 3, &previous);
    // Means at x = 1 and 2: centroid 1.5, rms about it 0.5; step from x = 0.
    EXPECT_EQ(
        report.substr(0, report.find("D1")),
        "% sweeps: 2 - 3\r\n"
        "% Camera 1 mean: ( 1.50  0.00  0.00) mag: 1.50 rms1: 0.50 rms2: 1.58 step: ( 1.50  0.00  0.00) 1.50\r\n");
    EXPECT_FLOAT_EQ(previous[0].x, 1.5f);
}

TEST(AccuracyReport, MoreThanAHundredSweeps) {
    TargetScan t(101, {{0.0f, 0.0f, 0.0f}, {5.0f, 5.0f, 5.0f}});
    const std::string report = AccuracyReport_Format(t.scan.raw(), 2, 1, 0, 101, nullptr);
    EXPECT_EQ(report.rfind("% sweeps: 1 - 101\r\n% Camera 1 mean: ( 50.00  0.00  0.00)", 0), 0u) << report;
    EXPECT_LT(report.size(), 1024u);
}

}  // namespace
