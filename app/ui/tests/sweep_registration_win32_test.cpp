// Registering the sweeps of a small scan from the real main window: Edit >
// Register Sweeps runs the installed registration under its progress dialog,
// holding the shell busy, and Edit > Unregister Sweeps takes it back.
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/tests/registration_scan.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/progress_dialogs_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/sweep_registration.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/view_window_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using modal_driver::Driver;
using modal_driver::ItemText;
using modal_driver::Press;

constexpr WORD kRegister = 40297;
constexpr WORD kUnregister = 40300;
constexpr int kProgressText = 1035;
constexpr int kResultText = 1504;

std::vector<AppMessage> g_messages;

std::string ShotPath(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    return (std::filesystem::path(program).parent_path() / ("screenshot-sweep-registration-" + name + ".bmp")).string();
}

std::vector<Vec3> Vertices(const RawData& r) {
    std::vector<Vec3> out;
    for (int32_t i = 0; i < r.NumPoints; ++i) out.push_back(r.Points[i].Vertex);
    return out;
}

float LargestMove(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    float worst = 0.0f;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, V3_Distance(a[i], b[i]));
    return worst;
}

// One program window for the whole suite (its start-up waits a second); each
// test swaps the program's scan for a small one of two sweeps, the second
// scanned a little off.
class SweepRegistrationWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        window_ = OpenShellWindow();
        programScan_ = App().raw;
    }
    static void TearDownTestSuite() {
        App().raw = programScan_;
        CloseShellWindow(window_);
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        g_messages.clear();
        Matrix4 identity;
        M4_Identity(identity);
        scan_.AddSweep(-30, 8, false, identity);
        scan_.AddSweep(-8, 30, true, scan_test::Pose(Vec3{0.4f, 1.0f, -0.3f}, 1.0f, Vec3{0.8f, -0.6f, 0.5f}));
        App().raw = &scan_.raw();
    }
    void TearDown() override {
        App().raw = programScan_;
        App().busyState = kBusyIdle;
        ProgressDlg_SetThreadOps(WorkerThreadOps());
        PumpShellMessages(1, 0);
    }

    static HWND window_;
    static RawData* programScan_;
    scan_test::SurfaceScan scan_;
};

HWND SweepRegistrationWin32::window_ = nullptr;
RawData* SweepRegistrationWin32::programScan_ = nullptr;

TEST_F(SweepRegistrationWin32, RegisterMovesTheSweepsWhileBusyAndUnregisterTakesThemBack) {
    ASSERT_TRUE(SweepReg_HasRunner());
    // The worker starts held, so that the dialog can be seen and a field
    // can arrive before anything moves.
    HANDLE worker = nullptr;
    WorkerThreadOps ops;
    ops.start = [&worker](LPTHREAD_START_ROUTINE routine, void* argument, DWORD* id) {
        worker = CreateThread(nullptr, 0, routine, argument, CREATE_SUSPENDED, id);
        return worker;
    };
    ProgressDlg_SetThreadOps(ops);
    const std::vector<Vec3> before = Vertices(scan_.raw());
    const int32_t sweeps = scan_.raw().NumSweeps;
    int32_t busyDuringRun = -1, busyAfterField = -1;
    size_t progressColours = 0, resultColours = 0;
    std::string result;
    Driver driver({
        {kProgressText,
         [&](HWND d) {
             progressColours = modal_driver::DistinctColours(modal_driver::Screenshot(d, ShotPath("progress")));
             busyDuringRun = App().busyState;
             // A first field from the scanner while registering starts no capture.
             SendMessageA(window_, kMsgHardwareFirst, 0, 0);
             busyAfterField = App().busyState;
             ResumeThread(worker);
             return true;
         }},
        {kResultText,
         [&](HWND d) {
             result = ItemText(d, kResultText);
             resultColours = modal_driver::DistinctColours(modal_driver::Screenshot(d, ShotPath("result")));
             return Press(d, IDOK);
         }},
    });
    EXPECT_EQ(MainWnd_OnCommand(kRegister), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(busyDuringRun, kBusySweepRegistration);
    EXPECT_EQ(busyAfterField, kBusySweepRegistration);
    EXPECT_EQ(App().busyState, kBusyIdle);
    EXPECT_EQ(scan_.raw().NumSweeps, sweeps);
    EXPECT_GT(progressColours, 2u);
    EXPECT_GT(resultColours, 2u);
    // The success text with both errors filled in.
    const std::string success = Locale_GetString("SweepRegDialogSuccess");
    const std::string fixed = success.substr(0, success.find('{'));
    EXPECT_EQ(result.substr(0, fixed.size()), fixed) << result;
    EXPECT_EQ(result.find('{'), std::string::npos) << result;
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(scan_.raw().Edited, 1);
    for (int32_t s = 0; s < 2; ++s) EXPECT_TRUE(scan_.raw().Sweeps[s].Flags & kSweepPendingTransform);
    EXPECT_GT(LargestMove(before, Vertices(scan_.raw())), 0.1f);

    EXPECT_EQ(MainWnd_OnCommand(kUnregister), 1);
    for (int32_t s = 0; s < 2; ++s) EXPECT_FALSE(scan_.raw().Sweeps[s].Flags & kSweepPendingTransform);
    EXPECT_LT(LargestMove(before, Vertices(scan_.raw())), 1e-4f);
}

TEST_F(SweepRegistrationWin32, CancellingTheResultUndoesTheRegistration) {
    const std::vector<Vec3> before = Vertices(scan_.raw());
    Driver driver({{kResultText, [](HWND d) { return Press(d, IDCANCEL); }}});
    MainWnd_OnCommand(kRegister);
    EXPECT_TRUE(driver.Finished());
    for (int32_t s = 0; s < 2; ++s) EXPECT_FALSE(scan_.raw().Sweeps[s].Flags & kSweepPendingTransform);
    EXPECT_LT(LargestMove(before, Vertices(scan_.raw())), 1e-4f);
}

TEST_F(SweepRegistrationWin32, ABusyShellDoesNotRegister) {
    const std::vector<Vec3> before = Vertices(scan_.raw());
    App().busyState = kBusyScanning;
    EXPECT_EQ(MainWnd_OnCommand(kRegister), 1);
    EXPECT_EQ(App().busyState, kBusyScanning);
    EXPECT_EQ(LargestMove(before, Vertices(scan_.raw())), 0.0f);
    EXPECT_FALSE(scan_.raw().Sweeps[1].Flags & kSweepPendingTransform);
}

}  // namespace
