// The hemisphere set-up window and the reference sequences, run modally and
// driven through their windows with the field events the acquisition layer
// would send them.
#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/scan_reference.h"
#include "app/acquisition/tracking_state.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/geometry.h"
#include "app/ui/acquisition_link.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/reference_windows_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/small_scan.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

using namespace modal_driver;

namespace {

constexpr UINT kFirst = WM_APP + 0, kLast = WM_APP + 1, kNew = WM_APP + 2;

std::vector<AppMessage> g_messages;
std::vector<WORD> g_commands;
std::vector<std::string> g_questions;
int g_answer = IDYES;
int g_unloads = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        g_commands.push_back(LOWORD(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Poses handed out by the field source, one per new field.
std::deque<Matrix4> g_poses;

Matrix4 Pose(float angleDegrees, Vec3 at) {
    Matrix4 m;
    M4_Identity(m);
    const float a = angleDegrees * 3.14159265f / 180.0f;
    m[0] = std::cos(a);
    m[1] = std::sin(a);
    m[4] = -std::sin(a);
    m[5] = std::cos(a);
    m[12] = at.x;
    m[13] = at.y;
    m[14] = at.z;
    return m;
}

class ReferenceWindowsWin32 : public ::testing::Test {
  protected:
    // One owner for the suite: every top-level window costs time under Wine.
    static void SetUpTestSuite() {
        Locale_Load();
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = modal_driver::MakeOwner("ReferenceTestOwner", OwnerProc, 50, 50, 500, 400);
    }
    static void TearDownTestSuite() { DestroyWindow(owner_); }
    void SetUp() override {
        g_messages.clear();
        g_commands.clear();
        g_questions.clear();
        g_answer = IDYES;
        g_unloads = 0;
        g_poses.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Commands_SetQuestionSink([](const std::string& text, const std::string&) {
            g_questions.push_back(text);
            return g_answer;
        });
        Shell_Hooks().unloadScan = [](bool) {
            ++g_unloads;
            return true;
        };
        ReferenceWindows_SetFieldSource([](Profile& profile) {
            if (g_poses.empty()) return int32_t{9};
            profile.RawReferenceRxMatrix = profile.WandRxMatrix = g_poses.front();
            g_poses.pop_front();
            return int32_t{1};
        });
        Shell().main = owner_;
        SetHemisphereSetting(kHemisphereAutomatic);
        Hemisphere_KeepDataDefault() = 0;
        ClearFrozenReceiver();
    }
    void TearDown() override {
        Shell().main = nullptr;
        App_SetMessageSink(nullptr);
        Commands_SetQuestionSink(nullptr);
        Shell_Hooks().unloadScan = nullptr;
        ReferenceWindows_SetFieldSource(nullptr);
        SetHemisphereSetting(4);
    }
    static HWND owner_;
};

HWND ReferenceWindowsWin32::owner_ = nullptr;

bool Send(HWND dialog, UINT message, LPARAM parameter = 0) {
    SendMessageA(dialog, message, 0, parameter);
    return true;
}

// A press of n fields, the poses given by the source.
bool PressWith(HWND page, int n) {
    Send(page, kFirst);
    for (int i = 0; i < n; ++i) Send(page, kNew, i + 1);
    Send(page, kLast, n);
    return true;
}

// ---- Hemisphere set-up ----------------------------------------------------------------

TEST_F(ReferenceWindowsWin32, WandSetUpRetriesUntilThePressStartedItThenClosesTheScan) {
    StoreWandTrackingState(TrackingState_SIGNALLED);
    size_t colours = 0;
    bool boxShown = false, titled = false, instructed = false;
    Driver driver({{kKeepDataBox,
                    [&](HWND d) {
                        colours = DistinctColours(Screenshot(d, "reference_window_303.bmp"));
                        boxShown = IsWindowVisible(GetDlgItem(d, kKeepDataBox)) != 0;
                        titled = ItemText(d, 0) == Locale_GetString("WandHemisphereSetupTitle");
                        instructed =
                            ItemText(d, kInstructionText) == Locale_GetString("WandHemisphereSetupInstructionsRX");
                        // A press that did not start the set-up: signalled again, the window stays.
                        Send(d, kLast);
                        return true;
                    }},
                   {kKeepDataBox, [](HWND d) {
                        EXPECT_EQ(GetWandTrackingState(), TrackingState_SIGNALLED);
                        Send(d, kFirst);
                        Send(d, kNew, 1);                               // consumed, nothing to build
                        StoreWandTrackingState(TrackingState_STARTED);  // as the field checks do
                        Send(d, kLast);
                        return true;
                    }}});
    EXPECT_EQ(RunHemisphereSetup(1, 0), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_GT(colours, 3u) << "the window was drawn";
    EXPECT_TRUE(boxShown && titled && instructed);
    EXPECT_EQ(GetWandTrackingState(), TrackingState_INITIALISED);
    EXPECT_EQ(Hemisphere_KeepDataAnswer(), 0);
    EXPECT_EQ(g_unloads, 1) << "a set-up without Keep Existing Scan starts a new scan";
}

TEST_F(ReferenceWindowsWin32, KeepExistingScanStartsCheckedAfterARepairAndKeepsTheScan) {
    Hemisphere_KeepDataDefault() = 1;
    bool checked = false;
    Driver driver({{kKeepDataBox, [&](HWND d) {
                        checked = IsDlgButtonChecked(d, kKeepDataBox) == BST_CHECKED;
                        StoreWandTrackingState(TrackingState_STARTED);
                        Send(d, kFirst);
                        Send(d, kLast);
                        return true;
                    }}});
    EXPECT_EQ(RunHemisphereSetup(0, 0), 1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(Hemisphere_KeepDataDefault(), 0);
    EXPECT_EQ(Hemisphere_KeepDataAnswer(), 1);
    EXPECT_EQ(g_unloads, 0);
}

TEST_F(ReferenceWindowsWin32, CancelStoresTheAutomaticSettingAgain) {
    StoreWandTrackingState(TrackingState_SIGNALLED);
    Driver driver({{kKeepDataBox, [](HWND d) { return Press(d, IDCANCEL); }}});
    EXPECT_EQ(RunHemisphereSetup(0, 0), 0);
    EXPECT_EQ(GetHemisphereSetting(), kHemisphereAutomatic);
    EXPECT_EQ(GetWandTrackingState(), TrackingState_NONE) << "the next capture asks again";
    EXPECT_EQ(g_unloads, 0);
}

TEST_F(ReferenceWindowsWin32, StylusAgainstTheReceiverIsOfferedTheTransmitter) {
    App().settings.ReceiverEnabled = 1;
    // Yes: the transmitter becomes the reference; no window.
    StoreStylusTrackingState(TrackingState_SIGNALLED);
    OnHemisphereSetupRequired(1);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    ASSERT_EQ(g_questions.size(), 1u);
    EXPECT_EQ(g_questions[0], Locale_GetString("StylusHemisphereBadRefQuestion"));
    EXPECT_EQ(g_commands, std::vector<WORD>{40097});
    EXPECT_EQ(GetStylusTrackingState(), TrackingState_NONE);

    // No: the stylus set-up window, without the scan's box; it never closes the scan.
    g_answer = IDNO;
    bool boxHidden = false, instructed = false;
    Driver driver({{kInstructionText, [&](HWND d) {
                        boxHidden = !IsWindowVisible(GetDlgItem(d, kKeepDataBox));
                        instructed =
                            ItemText(d, kInstructionText) == Locale_GetString("StylusHemisphereSetupInstructionsRX");
                        StoreStylusTrackingState(TrackingState_STARTED);
                        Send(d, kFirst);
                        Send(d, kLast);
                        return true;
                    }}});
    OnHemisphereSetupRequired(1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(boxHidden && instructed);
    EXPECT_EQ(GetStylusTrackingState(), TrackingState_INITIALISED);
    EXPECT_EQ(g_unloads, 0);
    App().settings.ReceiverEnabled = 0;
}

// ---- Reference sequences ------------------------------------------------------------

TEST_F(ReferenceWindowsWin32, FreezeReceiverAveragesTenPosesAndWaitsForTheTrigger) {
    const Matrix4 pose = Pose(30.0f, {10.0f, 20.0f, 30.0f});
    bool titled = false;
    Driver driver({{kInstructionText,
                    [&](HWND page) {
                        titled = ItemText(page, 0) == Locale_GetString("FreezeReceiverPage1Title");
                        // Nine samples are too few: the box, and the page stays.
                        for (int i = 0; i < 9; ++i) g_poses.push_back(pose);
                        return PressWith(page, 9);
                    }},
                   {kInstructionText,
                    [&](HWND page) {
                        for (int i = 0; i < 10; ++i) g_poses.push_back(pose);
                        return PressWith(page, 10);
                    }},
                   {kInstructionText, [](HWND page) {
                        if (ItemText(page, 0) != Locale_GetString("FreezeReceiverPage2Title")) return false;
                        return Send(page, kFirst, 77);
                    }}});
    EXPECT_EQ(RunFreezeReceiverWizard(), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(titled);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ChangeReferenceInsufficientDataMessage");
    ASSERT_EQ(g_questions.size(), 1u) << "one accuracy question, for the full press";
    EXPECT_TRUE(ReceiverFrozen());
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(FrozenReceiverMatrix()[i], pose[i], 1e-5f) << i;
    // Closing the scan, as New does with the program's services, lets go of it.
    Acquisition_ConnectShell();
    EXPECT_EQ(ScanDoc_Unload(0), 1);
    EXPECT_FALSE(ReceiverFrozen());
}

TEST_F(ReferenceWindowsWin32, AnsweringNoTakesAnotherPressAndCancellingStops) {
    g_answer = IDNO;
    Driver driver({{kInstructionText,
                    [](HWND page) {
                        for (int i = 0; i < 12; ++i) g_poses.push_back(Pose(0.0f, {1.0f, 2.0f, 3.0f}));
                        return PressWith(page, 12);
                    }},
                   {kInstructionText, [](HWND page) { return Press(page, IDCANCEL); }}});
    EXPECT_EQ(RunFreezeReceiverWizard(), 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(g_questions.size(), 1u);
    EXPECT_FALSE(ReceiverFrozen());
}

TEST_F(ReferenceWindowsWin32, MoveReceiverMovesTheScanByTheTwoCapturedPoses) {
    SmallScan scan({2});
    for (Profile& p : scan.profiles) M4_Identity(p.ReferenceRxMatrix);
    RawData* const programScan = App().raw;
    App().raw = scan.raw;
    int resets = 0, titles = 0;
    Shell_Hooks().resetDerivedState = [&] { ++resets; };
    Shell_Hooks().updateTitle = [&] { ++titles; };
    ViewSettings view{};
    M4_Identity(view.ViewMatrix);
    const Matrix4 before = Pose(0.0f, {0.0f, 0.0f, 0.0f});
    const Matrix4 after = Pose(90.0f, {100.0f, 0.0f, 0.0f});
    Driver driver({{kInstructionText,
                    [&](HWND page) {
                        for (int i = 0; i < 10; ++i) g_poses.push_back(before);
                        return PressWith(page, 10);
                    }},
                   {kInstructionText, [&](HWND page) {
                        if (ItemText(page, 0) != Locale_GetString("MoveReceiverPage2Title")) return false;
                        for (int i = 0; i < 10; ++i) g_poses.push_back(after);
                        return PressWith(page, 10);
                    }}});
    EXPECT_EQ(RunMoveReceiverWizard(*scan.raw, view), 1);
    EXPECT_TRUE(driver.Finished());
    // X = R1 then the inverse of R2: the point (0, 1, 0) seen from the moved
    // receiver, turned back by 90 degrees about z after the shift.
    const Matrix4 x = MoveReceiverTransform(before, after);
    Vec3 expected;
    M4_TransformPoint(x, Vec3{0.0f, 1.0f, 0.0f}, expected);
    EXPECT_NEAR(scan.points[0][1].x, expected.x, 1e-4f);
    EXPECT_NEAR(scan.points[0][1].y, expected.y, 1e-4f);
    EXPECT_NEAR(expected.y, 100.0f, 1e-3f);
    // The scan counts as changed: a new change time (the extents and the box
    // follow it), the surfaces of the old frame gone, the title marked.
    EXPECT_GT(scan.raw->Timestamp, 0.0);
    EXPECT_EQ(scan.raw->ProcessedChanged, 1);
    EXPECT_EQ(resets, 1);
    EXPECT_GE(titles, 1);
    Shell_Hooks().resetDerivedState = nullptr;
    Shell_Hooks().updateTitle = nullptr;
    App().raw = programScan;
}

}  // namespace
