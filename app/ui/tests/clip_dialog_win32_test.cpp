// The Clip window under Wine on the real main window, driven through its
// controls: opened by Edit > Clipping, its fields and their rules, clips of
// an object on a baseline plane sweep and of a two-part scan that remove what
// a brute-force search names, Undo and Redo of the step, the four refusals
// and a worker out of memory, and a run during which hardware events arrive
// and Abort, Close, Undo or a quit are pressed.
#include "app/acquisition/hardware_events.h"
#include "app/base/app_messages.h"
#include "app/export/tests/clip_scans.h"
#include "app/export/tests/failing_new.h"
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/clip_dialog_win32.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/view_window_win32.h"

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clip_scans;
using modal_driver::ItemText;

struct Shown {
    AppMessage message;
    bool duringRun;
};
std::vector<Shown> g_messages;

std::string ShotPath(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    return (std::filesystem::path(program).parent_path() / ("screenshot-clip-" + name + ".bmp")).string();
}

bool Enabled(HWND d, int item) { return IsWindowEnabled(GetDlgItem(d, item)) != 0; }
bool Checked(HWND d, int item) { return IsDlgButtonChecked(d, item) == BST_CHECKED; }

void Click(HWND d, int item) {
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(item, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, item)));
}

void Tick(HWND d, int item, bool on) {
    CheckDlgButton(d, item, on ? BST_CHECKED : BST_UNCHECKED);
    Click(d, item);
}

// Types into a field and moves the focus away, as the user does.
std::string Typed(HWND d, int item, const char* text) {
    SetDlgItemTextA(d, item, text);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(item, EN_KILLFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(d, item)));
    return ItemText(d, item);
}

HWND ProgressBar(HWND d) { return FindWindowExA(d, nullptr, PROGRESS_CLASSA, nullptr); }

// How the dialog's worker is started for a test: as usual, held until the
// test lets it go, refused, or with its allocations failing.
struct WorkerStart {
    unsigned(__stdcall* routine)(void*) = nullptr;
    void* argument = nullptr;
    long allowance = -1;
    HANDLE thread = nullptr;  // a duplicate, closed by the test
    HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~WorkerStart() {
        if (thread) {
            ResumeThread(thread);
            WaitForSingleObject(thread, 5000);
            CloseHandle(thread);
        }
        CloseHandle(started);
    }
};

unsigned __stdcall WorkerWithAllowance(void* argument) {
    WorkerStart& start = *static_cast<WorkerStart*>(argument);
    g_allocationsLeft = start.allowance;
    const unsigned result = start.routine(start.argument);
    g_allocationsLeft = -1;
    return result;
}

ClipThreadStart StartWith(WorkerStart& start, bool held, bool refuse) {
    return [&start, held, refuse](unsigned(__stdcall * routine)(void*), void* argument, unsigned* id) -> HANDLE {
        start.routine = routine;
        start.argument = argument;
        HANDLE thread = nullptr;
        if (!refuse) {
            thread = reinterpret_cast<HANDLE>(
                _beginthreadex(nullptr, 0, WorkerWithAllowance, &start, held ? CREATE_SUSPENDED : 0, id));
            DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &start.thread, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        }
        SetEvent(start.started);
        return thread;
    };
}

// One program window for the whole suite; each test puts a scan of its own
// in the program's place and opens the Clip window with Edit > Clipping.
class ClipDialogWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back({m, Clip_Busy()}); });
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
        // A window of its own with the parameters the program starts with.
        if (HWND earlier = Shell().modeless[kSlotClip]) DestroyWindow(earlier);
        ASSERT_EQ(Shell().modeless[kSlotClip], nullptr);
        Clip_Params() = ClipParams();
        UseScan(ObjectOnPlane());
        ASSERT_EQ(MainWnd_OnCommand(40270), 1);
        dialog_ = Shell().modeless[kSlotClip];
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        Clip_SetThreadStart(nullptr);
        if (dialog_ && IsWindow(dialog_)) ShowWindow(dialog_, SW_HIDE);
        App().raw = programScan_;
        App().busyState = kBusyIdle;
        PumpShellMessages(1, 0);
    }
    void UseScan(ClipScan scan) {
        scan_ = std::move(scan);
        App().raw = &scan_.Raw();
    }
    // Apply from the dialog: returns once the run has ended.
    void Apply() { Click(dialog_, kClipApply); }
    // The dialog as the user left it after a run.
    void ExpectIdle() {
        EXPECT_EQ(ItemText(dialog_, kClipApply), "Apply");
        EXPECT_TRUE(Enabled(dialog_, kClipClose));
        EXPECT_TRUE(Enabled(dialog_, kClipUndo));
        EXPECT_FALSE(IsWindowVisible(ProgressBar(dialog_)));
        EXPECT_TRUE(IsWindowEnabled(window_));
        EXPECT_FALSE(Clip_Busy());
    }
    void ExpectUntouched() {
        for (const ScanPoint& p : scan_.Points()) EXPECT_EQ(Level(p), 0u);
        EXPECT_EQ(scan_.Raw().EditLimit, 0u);
        EXPECT_EQ(scan_.Raw().Edited, 0);
    }
    void ExpectClipped(const std::vector<bool>& expected, uint32_t level) {
        int32_t clipped = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(Level(scan_.Points()[i]) == level && Live(scan_.Raw(), scan_.Points()[i]) == false,
                      expected[i])
                << "point " << i;
            clipped += expected[i];
        }
        EXPECT_GT(clipped, 0);
    }

    static HWND window_;
    static RawData* programScan_;
    HWND dialog_ = nullptr;
    ClipScan scan_;
};

HWND ClipDialogWin32::window_ = nullptr;
RawData* ClipDialogWin32::programScan_ = nullptr;

TEST_F(ClipDialogWin32, OpensBesideTheMainWindowWithItsFieldsAndTheirRules) {
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(GetWindow(dialog_, GW_OWNER), window_);
    RECT main{}, box{};
    GetWindowRect(window_, &main);
    GetWindowRect(dialog_, &box);
    EXPECT_EQ(box.top, main.top + 96);
    EXPECT_LE(box.right, main.right);
    EXPECT_EQ(App().mode, kModeScan);
    std::vector<std::string> texts;
    for (int item : {0, kClipBaselineNumber, kClipTolerance, kClipAngle, kClipApply, kClipUndo, kClipClose})
        texts.push_back(ItemText(dialog_, item));
    EXPECT_EQ(texts, (std::vector<std::string>{"Clip", "1", "3.00", "90.00", "Apply", "Undo", "Close"}));
    EXPECT_FALSE(Checked(dialog_, kClipUseBaseline));
    EXPECT_TRUE(Checked(dialog_, kClipPointMethod));
    for (int item : {kClipBaselineLabel, kClipBaselineNumber, kClipBaselineMethod, kClipAngleLabel, kClipAngle,
                     kClipAngleUnit})
        EXPECT_FALSE(Enabled(dialog_, item)) << item;
    ASSERT_NE(ProgressBar(dialog_), nullptr);
    EXPECT_FALSE(IsWindowVisible(ProgressBar(dialog_)));

    // The picture: the dialog's face and the dark text of its labels and buttons.
    Tick(dialog_, kClipUseBaseline, true);
    const std::vector<unsigned> picture = modal_driver::Screenshot(dialog_, ShotPath("dialog"));
    ASSERT_FALSE(picture.empty());
    const size_t dark = modal_driver::DarkPixels(picture);
    EXPECT_GE(modal_driver::DistinctColours(picture), 4u);
    EXPECT_GT(dark, picture.size() / 200);
    EXPECT_LT(dark, picture.size() / 4);

    // The scan has four sweeps.
    struct Case {
        int item;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {kClipBaselineNumber, "0", "1"},   {kClipBaselineNumber, "99", "4"},   {kClipBaselineNumber, "abc", "1"},
        {kClipBaselineNumber, "3", "3"},   {kClipBaselineNumber, "-7", "1"},   {kClipTolerance, "2.5", "2.50"},
        {kClipTolerance, "abc", "2.50"},   {kClipTolerance, "-2", "-2.00"},    {kClipTolerance, "0", "0.00"},
        {kClipAngle, "45", "45.00"},       {kClipAngle, "x", "45.00"},         {kClipAngle, " 30 ", "30.00"},
    };
    for (const Case& c : cases) EXPECT_EQ(Typed(dialog_, c.item, c.typed), c.shown) << c.item << " " << c.typed;
    EXPECT_EQ(Clip_Params().baselineNumber, 1);
    EXPECT_FLOAT_EQ(Clip_Params().tolerance, 0.0f);
    EXPECT_FLOAT_EQ(Clip_Params().angle, 30.0f);

    // Baseline on: its controls and the baseline method can be chosen; off
    // again, the method falls back to point separation.
    for (int item : {kClipBaselineLabel, kClipBaselineNumber, kClipBaselineMethod, kClipAngle}) {
        EXPECT_TRUE(Enabled(dialog_, item)) << item;
    }
    Tick(dialog_, kClipPointMethod, false);
    Tick(dialog_, kClipBaselineMethod, true);
    EXPECT_EQ(Clip_Params().method, 1);
    Tick(dialog_, kClipUseBaseline, false);
    EXPECT_EQ(Clip_Params().method, 0);
    EXPECT_TRUE(Checked(dialog_, kClipPointMethod));
    EXPECT_FALSE(Checked(dialog_, kClipBaselineMethod));
    EXPECT_FALSE(Enabled(dialog_, kClipBaselineMethod));

    // Close and Escape hide it; Edit > Clipping shows the same window again,
    // and hides it when it is shown.
    for (int button : {kClipClose, IDCANCEL}) {
        Click(dialog_, button);
        EXPECT_FALSE(IsWindowVisible(dialog_));
        EXPECT_TRUE(IsWindow(dialog_));
        EXPECT_EQ(MainWnd_OnCommand(40270), 1);
        EXPECT_EQ(Shell().modeless[kSlotClip], dialog_);
        EXPECT_TRUE(IsWindowVisible(dialog_));
    }
    EXPECT_EQ(MainWnd_OnCommand(40270), 1);
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_EQ(Shell().modeless[kSlotClip], dialog_);
    EXPECT_EQ(MainWnd_OnCommand(40270), 1);
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(ClipDialogWin32, NoNumberFieldTakesAValueThatIsNotFinite) {
    Tick(dialog_, kClipUseBaseline, true);
    struct Field {
        int item;
        float* value;
    };
    const Field fields[] = {{kClipTolerance, &Clip_Params().tolerance}, {kClipAngle, &Clip_Params().angle}};
    for (const Field& f : fields)
        for (const char* typed : {"nan", "inf", "-inf", "1e39", ""}) {
            SCOPED_TRACE(std::to_string(f.item) + " " + typed);
            EXPECT_EQ(Typed(dialog_, f.item, "12.5"), "12.50");
            EXPECT_EQ(Typed(dialog_, f.item, typed), "12.50");
            EXPECT_EQ(*f.value, 12.5f);
        }
    // Too small for a float: the 0 that both fields take.
    EXPECT_EQ(Typed(dialog_, kClipTolerance, "1e-50"), "0.00");
    EXPECT_EQ(Clip_Params().tolerance, 0.0f);
    Tick(dialog_, kClipUseBaseline, false);
}

struct DialogClip {
    const char* name;
    bool twoParts;  // the scan's baseline sweep left out, its domes split in two parts
    bool useBaseline;
    int32_t method;
    const char* tolerance;
    const char* angle;
};

TEST_F(ClipDialogWin32, ClipsWhatBruteForceNamesAsOneStepThatUndoAndRedoMove) {
    const DialogClip cases[] = {
        {"object on a baseline plane sweep", false, true, 1, "3", "75"},
        {"object on a baseline, default angle", false, true, 1, "2", "90"},
        {"two-part scan", true, false, 0, "1.5", "90"},
    };
    for (const DialogClip& c : cases) {
        SCOPED_TRACE(c.name);
        g_messages.clear();
        ClipScan scan = ObjectOnPlane();
        if (c.twoParts) scan.Raw().Sweeps[0].Flags |= kSweepHidden;
        UseScan(std::move(scan));
        Tick(dialog_, kClipUseBaseline, c.useBaseline);
        if (c.useBaseline) Tick(dialog_, c.method == 1 ? kClipBaselineMethod : kClipPointMethod, true);
        Typed(dialog_, kClipBaselineNumber, "1");
        Typed(dialog_, kClipTolerance, c.tolerance);
        Typed(dialog_, kClipAngle, c.angle);
        const int32_t baseline = c.useBaseline ? 0 : -1;
        const auto expected = BruteForce(scan_, c.method, baseline, Clip_Params().tolerance,
                                         Clip_CosineOfDegrees(Clip_Params().angle));
        Apply();
        ExpectIdle();
        EXPECT_TRUE(g_messages.empty());
        ExpectClipped(expected, 1);
        RawData& raw = scan_.Raw();
        EXPECT_EQ(raw.EditLimit, 1u);
        EXPECT_EQ(raw.EditLevelTop, 1u);
        EXPECT_EQ(raw.Edited, 1);

        // The dialog's Undo is the main window's: the step is taken back,
        // then Redo brings it again.
        Click(dialog_, kClipUndo);
        EXPECT_EQ(raw.EditLimit, 0u);
        for (const ScanPoint& p : scan_.Points()) EXPECT_TRUE(Live(raw, p));
        SendMessageA(window_, WM_COMMAND, 40276, 0);
        EXPECT_EQ(raw.EditLimit, 1u);
        ExpectClipped(expected, 1);

        // A clip after Undo drops the undone step for good.
        Click(dialog_, kClipUndo);
        Typed(dialog_, kClipTolerance, "0.5");
        const auto again = BruteForce(scan_, c.method, baseline, 0.5f, Clip_CosineOfDegrees(Clip_Params().angle));
        Apply();
        EXPECT_EQ(raw.EditLimit, 1u);
        EXPECT_EQ(raw.EditLevelTop, 1u);
        for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(Level(scan_.Points()[i]), again[i] ? 1u : 0u) << i;
    }
    // At the last level a point can carry, the new level stays there.
    UseScan(ObjectOnPlane());
    scan_.Raw().EditLimit = scan_.Raw().EditLevelTop = 65535;
    Apply();
    EXPECT_EQ(scan_.Raw().EditLimit, 65535u);
    EXPECT_EQ(scan_.Raw().EditLevelTop, 65535u);
    // While a sweep is being scanned the scan is not still: no clip.
    UseScan(ObjectOnPlane());
    App().busyState = kBusyScanning;
    Apply();
    ExpectUntouched();
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(ClipDialogWin32, RefusalsAndFailuresShowTheirMessageAndChangeNoPoint) {
    struct Refusal {
        const char* name;
        uint32_t baselineFlags;
        uint32_t secondPartFlags;  // of the two domes
        bool useBaseline;
        int32_t method;
        const char* text;
    };
    const Refusal refusals[] = {
        {"hidden baseline", kSweepHidden, kSweepFlipped, true, 1, "No baseline points were found. Cannot clip by baseline."},
        {"no second part", 0, 0, false, 0, "No points were found in one part. Cannot clip by point separation."},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        g_messages.clear();
        ClipScan scan = ObjectOnPlane();
        scan.Raw().Sweeps[0].Flags = r.baselineFlags;
        scan.Raw().Sweeps[2].Flags = r.secondPartFlags;
        UseScan(std::move(scan));
        Tick(dialog_, kClipUseBaseline, r.useBaseline);
        if (r.useBaseline) Tick(dialog_, kClipBaselineMethod, true);
        Apply();
        ExpectIdle();
        ExpectUntouched();
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(g_messages[0].message.kind, MessageKind::Error);
        EXPECT_EQ(g_messages[0].message.text, r.text);
        EXPECT_FALSE(g_messages[0].duringRun);
    }

    // The worker's allocations failing in turn, from the first on: each run
    // ends with the memory message or the tree refusal, never as a finished
    // clip, until enough is there.
    const struct {
        bool useBaseline;
        const char* treeText;
    } methods[] = {{true, "Error building RangeTree. Cannot proceed."},
                   {false, "Error building RangeTrees. Cannot proceed."}};
    for (const auto& m : methods) {
        SCOPED_TRACE(m.treeText);
        Tick(dialog_, kClipUseBaseline, m.useBaseline);
        Tick(dialog_, m.useBaseline ? kClipBaselineMethod : kClipPointMethod, true);
        std::set<std::string> seen;
        bool clipped = false;
        for (long allowance = 0; allowance < 200 && !clipped; ++allowance) {
            g_messages.clear();
            UseScan(ObjectOnPlane());
            WorkerStart start;
            start.allowance = allowance;
            Clip_SetThreadStart(StartWith(start, false, false));
            Apply();
            ExpectIdle();
            clipped = scan_.Raw().EditLimit == 1;
            if (clipped) break;
            ExpectUntouched();
            ASSERT_EQ(g_messages.size(), 1u) << allowance;
            EXPECT_EQ(g_messages[0].message.kind, MessageKind::Error);
            seen.insert(g_messages[0].message.textKey.empty() ? g_messages[0].message.text
                                                               : g_messages[0].message.textKey);
        }
        EXPECT_TRUE(clipped);
        EXPECT_EQ(seen, (std::set<std::string>{"ErrorOutOfMemory", m.treeText}));
    }

    // No worker at all.
    g_messages.clear();
    UseScan(ObjectOnPlane());
    WorkerStart start;
    Clip_SetThreadStart(StartWith(start, false, true));
    Apply();
    ExpectIdle();
    ExpectUntouched();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].message.textKey, "ErrorThreadCreate");
}

TEST_F(ClipDialogWin32, EventsDuringARunAreHandledAfterItInTheirOrder) {
    enum class Press { kNothing, kAbort, kQuit };
    const struct {
        const char* name;
        Press press;
    } cases[] = {{"run to its end", Press::kNothing}, {"Abort", Press::kAbort}, {"quit", Press::kQuit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_messages.clear();
        UseScan(ObjectOnPlane());
        Tick(dialog_, kClipUseBaseline, true);
        Tick(dialog_, kClipBaselineMethod, true);
        const auto expected = BruteForce(scan_, 1, 0, Clip_Params().tolerance, Clip_CosineOfDegrees(90.0f));
        WorkerStart start;
        Clip_SetThreadStart(StartWith(start, true, false));
        const DWORD uiThread = GetCurrentThreadId();
        bool mainDisabled = false;
        std::string buttonText;
        // The scanner's thread and the user while the worker is held: two
        // hardware events, Close and Undo (ignored while clipping), then the
        // press of the case; then the worker goes on.
        std::thread other([&] {
            WaitForSingleObject(start.started, 5000);
            mainDisabled = !IsWindowEnabled(window_);
            char text[32] = "";
            SendMessageA(GetDlgItem(dialog_, kClipApply), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            buttonText = text;
            OnHardwareEvent(Hardware_NO_USB_DRIVER, 0);
            OnHardwareEvent(Hardware_USB_INIT_ERROR, 0);
            SendMessageA(dialog_, WM_COMMAND, kClipClose, 0);
            SendMessageA(dialog_, WM_COMMAND, kClipUndo, 0);
            if (c.press == Press::kAbort) SendMessageA(dialog_, WM_COMMAND, kClipApply, 0);
            if (c.press == Press::kQuit) {
                PostThreadMessageA(uiThread, WM_QUIT, 7, 0);
                // The loop serves a sent message before it takes what was
                // posted: after the second one the quit has been taken.
                SendMessageA(dialog_, WM_NULL, 0, 0);
                SendMessageA(dialog_, WM_NULL, 0, 0);
            }
            ResumeThread(start.thread);
        });
        Apply();
        other.join();
        EXPECT_TRUE(mainDisabled);
        EXPECT_EQ(buttonText, "Abort");
        ExpectIdle();
        EXPECT_TRUE(IsWindowVisible(dialog_));
        if (c.press == Press::kNothing) {
            ExpectClipped(expected, 1);
            EXPECT_EQ(scan_.Raw().EditLimit, 1u);
        } else {
            // Points already given the new level stay live.
            EXPECT_EQ(scan_.Raw().EditLimit, 0u);
            EXPECT_EQ(scan_.Raw().Edited, 0);
            for (const ScanPoint& p : scan_.Points()) EXPECT_TRUE(Live(scan_.Raw(), p));
        }
        // The events were kept, not dropped, and handled once the run had
        // ended, in the order they came.
        ASSERT_EQ(g_messages.size(), 2u);
        EXPECT_EQ(g_messages[0].message.textKey, "ErrorUSBDriverNotInstalled");
        EXPECT_EQ(g_messages[1].message.textKey, "ErrorUSBDriverInit");
        for (const Shown& s : g_messages) EXPECT_FALSE(s.duringRun);
        MSG quit;
        const bool quitQueued = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        EXPECT_EQ(quitQueued, c.press == Press::kQuit);
        if (quitQueued) {
            EXPECT_EQ(quit.wParam, 7u);
        }
    }
}

}  // namespace
