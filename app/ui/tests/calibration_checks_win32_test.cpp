// The alignment check and the calibration correction window run modally over
// an owner window and driven through their controls and boxes: the
// refusals, a pass of the alignment check with its verdict box and the
// settings put back, the correction window's sweep indicators, its search
// over eight sweeps made with the simulator's calibration model and the
// calibration file rewritten and read back, on two-channel hardware and on
// one-channel hardware through its confirmation. Each window is kept as a
// picture in the build tree.
#include "app/acquisition/alignment_check.h"
#include "app/acquisition/calibration_file.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/tests/correction_scan.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/calibration_checks_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "sim/calibration_model.h"
#include "sim/calibration_writer.h"
#include "sim/hardware.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace modal_driver;
namespace fs = std::filesystem;

namespace {

std::vector<AppMessage> g_messages;
std::vector<bool> g_unloads;  // the ask flag of each close
bool g_unloadAnswer = true;

constexpr int kBoxText = 0xFFFF;  // the text of a system message box

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

class CalibrationChecksWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = modal_driver::MakeOwner("CalibrationChecksOwner", OwnerProc, 20, 20, 600, 500);
    }
    static void TearDownTestSuite() { DestroyWindow(owner_); }

    void SetUp() override {
        Shell().main = owner_;
        g_messages.clear();
        g_unloads.clear();
        g_unloadAnswer = true;
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Shell_Hooks().unloadScan = [](bool ask) {
            g_unloads.push_back(ask);
            return g_unloadAnswer;
        };
        AppState& app = App();
        app.raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        ScanBlocks_Init(app.blocks);
        RawData_AttachBlocks(*app.raw, app.blocks);
        GeneralSettings_SetDefaults(app.settings, 0x00FFFFFF, 0);
        app.mode = kModeScan;
        folder_ = fs::temp_directory_path() / ("tolvaran_calibration_checks_" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        app.programFolder = folder_.string() + "\\";
        std::strcpy(app.settings.HardwareConfigFilename, "Wand.cfg");
    }
    void TearDown() override {
        AppState& app = App();
        RawData_FreeArrays(*app.raw);
        ScanBlocks_Free(app.blocks);
        std::free(app.raw);
        app.raw = nullptr;
        Shell().main = nullptr;
        App_SetMessageSink(nullptr);
        Shell_Hooks().unloadScan = nullptr;
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // A calibration file of the simulator's model for the hardware, loaded.
    std::string LoadWand(const char* hardware, int channels) {
        CalibrationFileParameters p;
        const HardwareVersionEntry* entry = sim::FindHardware(hardware);
        p.header = CalibrationHeader{7,
                                     entry->major,
                                     entry->minor,
                                     entry->revision,
                                     1,
                                     0,
                                     sim::CalibrationModel::kRows,
                                     sim::CalibrationModel::kColumns,
                                     sim::CalibrationModel::kRowStep,
                                     sim::CalibrationModel::kColumnStep,
                                     sim::CalibrationModel::kScale,
                                     sim::CalibrationModel::kUnset,
                                     0};
        p.channelCount = channels;
        p.fileVersion = 4;
        p.table = sim::CalibrationModel::BuildTable(channels);
        const std::string path = (folder_ / "Wand.cfg").string();
        EXPECT_TRUE(WriteCalibrationFile(path, p));
        EXPECT_EQ(LoadCalibration(path), 1);
        return path;
    }

    // One profile of two points centred `distance` from a wand `wandX` from
    // the reference.
    void AddProfile(float wandX, float distance, float deviation) {
        RawData& r = *App().raw;
        if (!r.Sweeps) RawData_GrowSweeps(r);
        ASSERT_TRUE(RawData_GrowProfiles(r, 500));
        Profile& p = r.Profiles[r.TotalProfiles++];
        p = Profile{};
        M4_MakeTranslation(Vec3{wandX, 0.0f, 0.0f}, p.WandRxMatrix);
        p.NumPoints = 2;
        p.Points = static_cast<Vec3*>(std::malloc(2 * sizeof(Vec3)));
        p.PointValues = static_cast<int32_t*>(std::calloc(2, sizeof(int32_t)));
        p.Points[0] = Vec3{wandX - 1.0f, distance, 0.0f};
        p.Points[1] = Vec3{wandX + 1.0f, distance, 0.0f};
        p.CameraDeviation = deviation;
        r.NumProfiles = r.TotalProfiles;
    }

    static HWND owner_;
    fs::path folder_;
};

HWND CalibrationChecksWin32::owner_ = nullptr;

TEST_F(CalibrationChecksWin32, AlignmentCheckIsRefusedInReceiverReferenceMode) {
    App().settings.ReceiverEnabled = 1;
    const GeneralSettings before = App().settings;
    AlignmentCheckDialog(App().settings, App().raw);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].kind, MessageKind::Warning);
    EXPECT_NE(g_messages[0].text.find("\"Transmitter is Reference\""), std::string::npos);
    EXPECT_TRUE(g_unloads.empty());
    EXPECT_EQ(std::memcmp(&before, &App().settings, sizeof before), 0);
}

TEST_F(CalibrationChecksWin32, AlignmentPassReportsTheFactorAndPutsEverySettingBack) {
    App().settings.RangeClip = 321.0f;
    App().settings.AngleClip = 25.0f;
    const GeneralSettings before = App().settings;
    GeneralSettings during{};
    std::string verdict, instructions;
    size_t colours = 0, boxColours = 0;
    Driver driver({{kAlignmentInstructionsText,
                    [&](HWND d) {
                        instructions = ItemText(d, kAlignmentInstructionsText);
                        during = App().settings;
                        colours = DistinctColours(Screenshot(d, "alignment_check_352.bmp"));
                        // The user scans nearer and farther while the instructions show.
                        AddProfile(0, 150, 9);
                        AddProfile(0, 50, 1);
                        AddProfile(0, 120, 3);
                        AddProfile(0, 260, 1);
                        return Press(d, IDOK);
                    }},
                   {IDNO, [&](HWND d) {
                        verdict = ItemText(d, kBoxText);
                        boxColours = DistinctColours(Screenshot(d, "alignment_check_result.bmp"));
                        return Press(d, IDNO);
                    }}});
    AlignmentCheckDialog(App().settings, App().raw);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(instructions, Locale_GetString("AlignmentCheckInstructions"));
    EXPECT_GT(colours, 2u);
    EXPECT_GT(boxColours, 2u);
    EXPECT_EQ(during.RangeClip, 50000.0f);
    EXPECT_EQ(during.AngleClip, 60.0f);
    EXPECT_EQ(during.RawResolutionClip[0], 0.0f);
    EXPECT_EQ(during.RawResolutionClip[1], 100.0f);
    // One middle profile after the first: 3 / 120 × 1000 = 25.
    EXPECT_NE(verdict.find("25"), std::string::npos) << verdict;
    EXPECT_EQ(std::memcmp(&before, &App().settings, sizeof before), 0);
    EXPECT_EQ(g_unloads, (std::vector<bool>{true, false}));
    EXPECT_EQ(App().mode, kModeScan);
}

TEST_F(CalibrationChecksWin32, AlignmentWithoutMiddleProfilesAsksForMoreAndCanStop) {
    std::string verdict;
    Driver driver({{kAlignmentInstructionsText,
                    [&](HWND d) {
                        AddProfile(0, 50, 1);
                        AddProfile(0, 300, 1);
                        return Press(d, IDOK);
                    }},
                   {IDCANCEL, [&](HWND d) {
                        if (!GetDlgItem(d, kBoxText)) return false;
                        verdict = ItemText(d, kBoxText);
                        return Press(d, IDCANCEL);
                    }}});
    AlignmentCheckDialog(App().settings, App().raw);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(verdict, Locale_GetString("AlignmentCheckInsufficientData"));
}

TEST_F(CalibrationChecksWin32, CorrectionIsRefusedWhenTheReferenceModeDoesNotFitTheHardware) {
    const std::string path = LoadWand("2.3.1", 2);
    const auto bytes = fs::file_size(path);
    App().settings.ReceiverEnabled = 1;  // the hardware has no fixed wand
    CalibrationCorrectionCommand();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_NE(g_messages[0].text.find("\"Transmitter is Reference\""), std::string::npos);
    EXPECT_FALSE(CalibrationCorrectionIsOpen());
    EXPECT_EQ(fs::file_size(path), bytes);
    EXPECT_EQ(App().mode, kModeScan);
}

// The window counts the sweeps, computes and writes the tweak that undoes the
// simulated offset; the file read back holds it as its newest record.
TEST_F(CalibrationChecksWin32, CorrectionOnTwoChannelsWritesTheTweakThatUndoesTheOffset) {
    const std::string path = LoadWand("2.3.1", 2);
    const correction_test::Offset offsets[2] = {{0.75f, -3.0f}, {-1.25f, 4.0f}};
    correction_test::CorrectionSweeps sweeps(CurrentCalibration());
    std::string before, ready, passOne;
    std::vector<std::string> instructions;
    bool computeBefore = true, computeReady = false, open = false;
    int32_t modeWhileOpen = 0;
    size_t colours = 0;
    Driver driver({{kCorrectionStatusText, [&](HWND d) {
                        open = CalibrationCorrectionIsOpen();
                        modeWhileOpen = App().mode;
                        before = ItemText(d, kCorrectionStatusText);
                        passOne = ItemText(d, kCorrectionPassOneText);
                        for (int text : {1604, 1607, kCorrectionPassOneText, 1606, kCorrectionPassTwoText, 1605})
                            instructions.push_back(ItemText(d, text));
                        computeBefore = IsWindowEnabled(GetDlgItem(d, kCorrectionCompute)) != FALSE;
                        RawData& raw = *App().raw;
                        RawData_GrowSweeps(raw);
                        sweeps.AddTo(raw, 2, offsets);
                        SendCalibrationCorrection8081();
                        ready = ItemText(d, kCorrectionStatusText);
                        computeReady = IsWindowEnabled(GetDlgItem(d, kCorrectionCompute)) != FALSE;
                        colours = DistinctColours(Screenshot(d, "calibration_correction_346.bmp"));
                        return Press(d, kCorrectionCompute);
                    }}});
    CalibrationCorrectionCommand();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(open);
    EXPECT_EQ(modeWhileOpen, kModeCalibrationCheck);
    EXPECT_EQ(before, Locale_GetString("CalCheckNextStatusMsg"));
    EXPECT_NE(passOne.find("100"), std::string::npos) << passOne;
    // Before any sweep the window's instructions ask for the steps in order
    // and none says that a pass is over ("First pass finished." was shown
    // between the two passes' instructions while nothing was scanned).
    for (const std::string& text : instructions) {
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("finished."), std::string::npos) << text;
    }
    EXPECT_FALSE(computeBefore);
    EXPECT_EQ(ready, Locale_GetString("CalCheckComputeCorrectionStatusMsg"));
    EXPECT_TRUE(computeReady);
    EXPECT_GT(colours, 3u);
    EXPECT_FALSE(CalibrationCorrectionIsOpen());
    EXPECT_EQ(App().mode, kModeScan);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "CalCheckCalFileUpdatedStatusMsg");
    CalibrationData reread;
    ASSERT_EQ(LoadCalibrationFile(path, reread), 1);
    const LutTweak& newest = reread.history[0];
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(newest.lineTweak[c], offsets[c].line);
        EXPECT_EQ(newest.countTweak[c], offsets[c].count);
        EXPECT_LT(newest.newRms[c], newest.oldRms[c]);
    }
    EXPECT_EQ(std::strlen(newest.date), 24u);
    // The zero tweak pushed while the window was open is gone again.
    EXPECT_EQ(reread.history[1].date[0], 0);
    EXPECT_EQ(g_unloads, (std::vector<bool>{true, false}));
}

TEST_F(CalibrationChecksWin32, CorrectionOnOneChannelConfirmsBeforeWriting) {
    const std::string path = LoadWand("2.2.1", 1);
    const correction_test::Offset offsets[2] = {{1.375f, -6.5f}, {0.0f, 0.0f}};
    correction_test::CorrectionSweeps sweeps(CurrentCalibration());
    std::string oldRms, newRms;
    bool applyEnabled = false, shown = false;
    size_t colours = 0;
    Driver driver({{kCorrectionStatusText,
                    [&](HWND d) {
                        RawData& raw = *App().raw;
                        RawData_GrowSweeps(raw);
                        sweeps.AddTo(raw, 1, offsets);
                        SendCalibrationCorrection8081();
                        return Press(d, kCorrectionCompute);
                    }},
                   {kConfirmNewRms, [&](HWND d) {
                        // One tick for the window to show before its picture.
                        if (!shown) {
                            shown = true;
                            return false;
                        }
                        oldRms = ItemText(d, kConfirmOldRms);
                        newRms = ItemText(d, kConfirmNewRms);
                        applyEnabled = IsWindowEnabled(GetDlgItem(d, kConfirmApply)) != FALSE;
                        colours = DistinctColours(Screenshot(d, "calibration_correction_354.bmp"));
                        return Press(d, kConfirmApply);
                    }}});
    CalibrationCorrectionCommand();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(applyEnabled);
    EXPECT_GT(colours, 2u);
    EXPECT_EQ(newRms, "0.000");
    EXPECT_NE(oldRms, "0.000");
    EXPECT_FALSE(CalibrationCorrectionIsOpen());
    EXPECT_TRUE(g_messages.empty());
    CalibrationData reread;
    ASSERT_EQ(LoadCalibrationFile(path, reread), 1);
    EXPECT_EQ(reread.history[0].lineTweak[0], 1.375f);
    EXPECT_EQ(reread.history[0].countTweak[0], -6.5f);
    EXPECT_EQ(reread.history[0].oldRms[1], 0.0f);
}

TEST_F(CalibrationChecksWin32, CorrectionWithTooFewSweepsComputesNothing) {
    const std::string path = LoadWand("2.3.1", 2);
    const auto bytes = fs::file_size(path);
    std::string status, fast;
    Driver driver({{kCorrectionStatusText, [&](HWND d) {
                        SendCalibrationCorrection8082();
                        fast = ItemText(d, kCorrectionStatusText);
                        SendMessageA(d, WM_COMMAND, kCorrectionCompute, 0);
                        status = ItemText(d, kCorrectionStatusText);
                        return Press(d, IDCANCEL);
                    }}});
    CalibrationCorrectionCommand();
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(fast, Locale_GetString("CalCheckTooFastStatusMsg"));
    EXPECT_EQ(status, Locale_GetString("CalCheckNotEnoughStatusMsg"));
    EXPECT_EQ(fs::file_size(path), bytes);
    LutTweak newest{};
    LutTweaks_GetNewest(newest);
    EXPECT_EQ(newest.date[0], 0);  // the opening's zero tweak was taken back
}

}  // namespace
