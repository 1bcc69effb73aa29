// What the scanner dialogs decide apart from their windows.
#include "app/ui/scanner_dialog_rules.h"

#include "app/acquisition/accuracy_report.h"
#include "app/acquisition/tests/target_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ScannerDialogRules, CalibrationFileSelection) {
    struct Case {
        std::vector<std::string> items;
        const char* name;
        int expected;
    };
    const Case cases[] = {
        {{"a.cfg", "Simulated.cfg", "z.cfg"}, "simulated.cfg", 1},  // without regard to case
        {{"a.cfg", "Sim2.cfg", "Sim.cfg"}, "sim", 1},               // the first from item 1 on
        {{"Sim.cfg", "a.cfg"}, "Sim", 0},                           // item 0 is searched last
        {{"a.cfg", "b.cfg"}, "missing.cfg", 0},                     // none: the first listed
        {{"a.cfg", "b.cfg"}, "b.cfg.old", 0},                       // the item must begin with the whole name
        {{}, "a.cfg", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ScannerProps_PickCalibrationItem(c.items, c.name), c.expected) << c.name;
}

TEST(ScannerDialogRules, ExplanationLinesAndLimit) {
    EXPECT_EQ(ScannerProps_ExplanationText("one\ntwo\n"), "one\r\ntwo\r\n");
    const std::string longText = std::string(1022, 'x') + "\nmore";
    const std::string shown = ScannerProps_ExplanationText(longText.c_str());
    EXPECT_EQ(shown, std::string(1022, 'x')) << "a line end that does not fit is left out whole";
    EXPECT_EQ(ScannerProps_ExplanationText(std::string(2000, 'y').c_str()).size(), 1023u);
}

TEST(ScannerDialogRules, DiagnosticsTextsAndDumpPath) {
    ViewTimings t;
    t.minUpdate = 3;
    t.maxUpdate = 40;
    t.averageUpdate = 12.345;
    EXPECT_EQ(Diagnostics_GraphicsText(t),
              "MinUpdate: 3\nMaxUpdate: 40\nAveUpdate: 12.35\nRepaintTime:  0.00\nLast CameraDeviation:  0.00\n");
    EXPECT_EQ(Diagnostics_DumpPath("C:\\Program Files\\Tolvaran\\Tolvaran.exe", "RingBuff.dat"),
              "C:\\Program Files\\Tolvaran\\RingBuff.dat");
    EXPECT_EQ(Diagnostics_DumpPath("Tolvaran.exe", "x.dat"), "x.dat");
}

TEST(ScannerDialogRules, HandEnteredCorrectionRecord) {
    const LutTweak t = CalibrationUpdate_MakeTweak(1.5f, -2.0f, 3.25f, 4.0f, 86400 * 365);
    EXPECT_EQ(t.lineTweak[0], 1.5f);
    EXPECT_EQ(t.lineTweak[1], -2.0f);
    EXPECT_EQ(t.countTweak[0], 3.25f);
    EXPECT_EQ(t.countTweak[1], 4.0f);
    EXPECT_EQ(t.oldRms[0] + t.newRms[1] + t.oldDeviation + t.newDeviation, 0.0f);
    EXPECT_EQ(std::strlen(t.date), 24u) << t.date;
    EXPECT_EQ(std::strchr(t.date, '\n'), nullptr);
}

TEST(ScannerDialogRules, AccuracyCheckReportsOnlyNewSweepsWithStepsFromZero) {
    TargetScan t(3, {{0.0f, 0.0f, 0.0f}});
    const RawData& raw = t.scan.raw();
    const AccuracyCheckUpdate first = AccuracyCheck_SweepsEnded(raw, 1, 1, 1);
    ASSERT_TRUE(first.changed);
    EXPECT_FALSE(first.clearReports);
    ASSERT_EQ(first.running.size(), 2u);
    // Sweep 2 at x = 1: its step is measured from zero, sweep 3's from sweep 2.
    EXPECT_NE(first.running[0].find("step: ( 1.00  0.00  0.00) 1.00"), std::string::npos) << first.running[0];
    EXPECT_NE(first.running[1].find("step: ( 1.00  0.00  0.00) 1.00"), std::string::npos) << first.running[1];
    EXPECT_EQ(first.summary, AccuracyReport_Format(raw, 1, 1, 0, 3, nullptr));
    EXPECT_EQ(first.reported, 3);

    const AccuracyCheckUpdate again = AccuracyCheck_SweepsEnded(raw, 1, 1, 3);
    EXPECT_FALSE(again.changed);
    EXPECT_TRUE(again.running.empty());
    EXPECT_EQ(again.reported, 3);

    const AccuracyCheckUpdate fresh = AccuracyCheck_SweepsEnded(raw, 1, 1, 0);
    EXPECT_TRUE(fresh.clearReports);
    EXPECT_EQ(fresh.running.size(), 3u);
}

}  // namespace
