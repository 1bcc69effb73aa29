// The Trim Sweeps dialog under Wine, driven through its window: its picture
// and edit rules, a trim run with its undo and redo, Apply twice, Close while
// trimming, a failed thread start and a trim out of memory, and the scanner's
// first field while the worker runs.
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/scan/sweep_trim.h"
#include "app/scan/tests/limb_sweeps.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/scan_edit.h"
#include "app/ui/shell_start_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/trim_sweeps_dialog_win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

using kmo::tolvaran::TrimSweepsDialog;
using limb_sweeps::TrimScan;
using modal_driver::Driver;
using modal_driver::ItemText;
using modal_driver::Press;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// Threads the dialog starts, held suspended until the test lets them go.
struct HeldThreads {
    std::vector<HANDLE> started;  // duplicates, closed by the test
    int starts = 0;
    bool refuse = false;
    TrimThreadStart Start() {
        return [this](LPTHREAD_START_ROUTINE routine, void* argument) -> HANDLE {
            ++starts;
            if (refuse) return nullptr;
            HANDLE thread = CreateThread(nullptr, 0, routine, argument, CREATE_SUSPENDED, nullptr);
            HANDLE copy = nullptr;
            DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS);
            started.push_back(copy);
            return thread;
        };
    }
    void ResumeAll() {
        for (HANDLE t : started) ResumeThread(t);
    }
    ~HeldThreads() {
        for (HANDLE t : started) {
            ResumeThread(t);
            WaitForSingleObject(t, 5000);
            CloseHandle(t);
        }
    }
};

class TrimSweepsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = modal_driver::MakeOwner("TrimSweepsOwner", OwnerProc, 0, 0, 400, 300);
        ASSERT_NE(owner_, nullptr);
        App_SetMessageSink([this](const AppMessage& m) { messages_.push_back(m); });
        App().busyState = kBusyIdle;
        // Sweep 0 at 1 mm, sweep 1 at 1.5 mm, overlapping between 70 and 100 degrees.
        scan_.AddArc(0.0f, 100.0f, 30.0f, 1.0f, 1);
        scan_.AddArc(70.0f, 170.0f, 30.0f, 1.5f, 2);
        raw_ = &scan_.Raw();
    }
    void TearDown() override {
        TrimSweeps_SetThreadStart(nullptr);
        SweepTrim_SetMemory(SweepTrimMemory());
        App_SetMessageSink(nullptr);
        App().busyState = kBusyIdle;
        DestroyWindow(owner_);
    }

    TrimSweepsDialog::Callbacks Callbacks() {
        TrimSweepsDialog::Callbacks c;
        c.undo = [this] { ScanEdit_StepEraseInRecord(*raw_, -1); };
        c.redo = [this] { ScanEdit_StepEraseInRecord(*raw_, 1); };
        c.refresh = [this] { ++refreshes_; };
        return c;
    }
    int Erased() const {
        int n = 0;
        for (int32_t p = 0; p < raw_->NumPoints; ++p) {
            const uint32_t level = (raw_->Points[p].Flags & kPointEraseMask) >> kPointEraseShift;
            n += level >= 1 && level <= raw_->EditLimit;
        }
        return n;
    }

    HWND owner_ = nullptr;
    TrimScan scan_;
    RawData* raw_ = nullptr;
    std::vector<AppMessage> messages_;
    int refreshes_ = 0;
};

bool Enabled(HWND d, int item) { return IsWindowEnabled(GetDlgItem(d, item)) != 0; }
bool Shown(HWND d, int item) { return IsWindowVisible(GetDlgItem(d, item)) != 0; }

// Types into a field and moves the focus away, as the user does.
std::string Typed(HWND d, int item, const char* text) {
    SetDlgItemTextA(d, item, text);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(item, EN_KILLFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(d, item)));
    return ItemText(d, item);
}

TEST_F(TrimSweepsWin32, ShowsItsFieldsAndKeepsTheirRules) {
    TrimSweepsDialog dialog(*raw_, App().busyState, Callbacks());
    std::vector<unsigned> picture;
    std::vector<std::string> initial;
    bool barShown = true, undo = true, redo = true, method1 = false;
    struct Case {
        int item;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {kTrimMinRadius, "1.5", "1.50"}, {kTrimMinRadius, "abc", "1.50"},  {kTrimMinRadius, " 2 ", "2.00"},
        {kTrimMinRadius, "-1", "0.00"},  {kTrimMinRadius, "0", "0.00"},    {kTrimPatchRadius, "4", "4.00"},
        {kTrimPatchRadius, "0", "4.00"}, {kTrimPatchRadius, "x1", "4.00"}, {kTrimPatchRadius, "-1", "4.00"},
        {kTrimWeight, "0.25", "0.25"},   {kTrimWeight, "-3", "0.00"},      {kTrimWeight, "1e1", "10.00"},
    };
    std::vector<std::string> shown;
    Driver driver({{kTrimMinRadius, [&](HWND d) {
                        picture = modal_driver::Screenshot(d, "trim_sweeps_dialog.bmp");
                        for (int item : {kTrimMinRadius, kTrimPatchRadius, kTrimWeight, kTrimApply, kTrimUndo,
                                         kTrimRedo, IDCLOSE, 0})
                            initial.push_back(ItemText(d, item));
                        barShown = Shown(d, kTrimProgress);
                        undo = Enabled(d, kTrimUndo);
                        redo = Enabled(d, kTrimRedo);
                        method1 = IsDlgButtonChecked(d, kTrimMethod1) == BST_CHECKED;
                        for (const Case& c : cases) shown.push_back(Typed(d, c.item, c.typed));
                        return Press(d, IDCLOSE);
                    }}});
    dialog.RunModal(owner_);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(initial,
              (std::vector<std::string>{"0.00", "10.00", "0.00", "Apply", "&Undo", "Re&do", "Close", "Trim Sweeps"}));
    EXPECT_FALSE(barShown);
    EXPECT_FALSE(undo);
    EXPECT_FALSE(redo);
    EXPECT_TRUE(method1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(shown[i], cases[i].shown) << cases[i].item << " '" << cases[i].typed << "'";
    EXPECT_FLOAT_EQ(dialog.DistanceA(), 0.0f);
    EXPECT_FLOAT_EQ(dialog.DistanceB(), 4.0f);
    EXPECT_FLOAT_EQ(dialog.DistanceC(), 10.0f);
    EXPECT_EQ(refreshes_, 1);
    // The picture: the dialog's face and the dark text of its labels and buttons.
    ASSERT_FALSE(picture.empty());
    const size_t dark = modal_driver::DarkPixels(picture);
    EXPECT_GE(modal_driver::DistinctColours(picture), 4u);
    EXPECT_GT(dark, picture.size() / 200);
    EXPECT_LT(dark, picture.size() / 4);
}

TEST_F(TrimSweepsWin32, ATrimIsTwoErasureStepsThatUndoAndRedoStep) {
    TrimSweepsDialog dialog(*raw_, App().busyState, Callbacks());
    std::string during;
    std::vector<bool> undo, redo;
    std::vector<uint32_t> limits;
    auto states = [&](HWND d) {
        undo.push_back(Enabled(d, kTrimUndo));
        redo.push_back(Enabled(d, kTrimRedo));
        limits.push_back(raw_->EditLimit);
    };
    std::deque<modal_driver::Step> steps;
    steps.push_back({kTrimMinRadius, [&](HWND d) {
                         CheckRadioButton(d, kTrimMethod1, kTrimMethod2, kTrimMethod2);
                         SendMessageA(d, WM_COMMAND, kTrimApply, 0);
                         during = ItemText(d, kTrimApply);
                         return true;
                     }});
    steps.push_back(
        {kTrimMinRadius, [&](HWND d) { return raw_->EditLimit == 2 && ItemText(d, kTrimApply) == "Apply"; }});
    steps.push_back({kTrimMinRadius, [&](HWND d) {
                         states(d);
                         SendMessageA(d, WM_COMMAND, kTrimUndo, 0);
                         states(d);
                         SendMessageA(d, WM_COMMAND, kTrimUndo, 0);
                         states(d);
                         SendMessageA(d, WM_COMMAND, kTrimRedo, 0);
                         SendMessageA(d, WM_COMMAND, kTrimRedo, 0);
                         states(d);
                         return Press(d, IDCLOSE);
                     }});
    Driver driver(std::move(steps));
    dialog.RunModal(owner_);
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(dialog.Method(), 1);
    EXPECT_EQ(during, "Abort");
    EXPECT_EQ(limits, (std::vector<uint32_t>{2, 1, 0, 2}));
    EXPECT_EQ(undo, (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(redo, (std::vector<bool>{false, true, true, false}));
    EXPECT_GT(Erased(), 0);
    EXPECT_EQ(App().busyState, kBusyIdle);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(TrimSweepsWin32, ApplyTwiceStartsOneWorkerAndAbortsItWhileTheFirstFieldStartsNoSweep) {
    HeldThreads held;
    TrimSweeps_SetThreadStart(held.Start());
    AppState& app = App();
    RawData* programScan = app.raw;
    app.raw = raw_;
    TrimSweepsDialog dialog(*raw_, app.busyState, Callbacks());
    std::vector<uint32_t> before;
    for (int32_t p = 0; p < raw_->NumPoints; ++p) before.push_back(raw_->Points[p].Flags);
    std::string first, second;
    int32_t busyWhileTrimming = -1, busyAfterFirstField = -1, busyAfterTrim = -1, busyAfterLaterField = -1;
    bool undoWhileTrimming = true;
    std::deque<modal_driver::Step> steps;
    steps.push_back({kTrimMinRadius, [&](HWND d) {
                         SendMessageA(d, WM_COMMAND, kTrimApply, 0);
                         first = ItemText(d, kTrimApply);
                         busyWhileTrimming = app.busyState;
                         undoWhileTrimming = Enabled(d, kTrimUndo);
                         // The scanner's first field reaches the main window under the dialog.
                         App_OnHardwareMessage(owner_, kMsgHardwareFirst + 0, 0);
                         busyAfterFirstField = app.busyState;
                         SendMessageA(d, WM_COMMAND, kTrimApply, 0);
                         second = ItemText(d, kTrimApply);
                         held.ResumeAll();
                         return true;
                     }});
    steps.push_back({kTrimMinRadius, [&](HWND d) {
                         if (ItemText(d, kTrimApply) != "Apply") return false;
                         busyAfterTrim = app.busyState;
                         App_OnHardwareMessage(owner_, kMsgHardwareFirst + 0, 0);
                         busyAfterLaterField = app.busyState;
                         app.busyState = kBusyIdle;
                         return Press(d, IDCLOSE);
                     }});
    Driver driver(std::move(steps));
    dialog.RunModal(owner_);
    app.raw = programScan;
    ASSERT_TRUE(driver.Finished());
    EXPECT_EQ(held.starts, 1);
    EXPECT_EQ(first, "Abort");
    EXPECT_EQ(second, "Abort");  // the abort is asked for; the worker has not stopped yet
    EXPECT_FALSE(undoWhileTrimming);
    EXPECT_EQ(busyWhileTrimming, kBusyTrimSweeps);
    EXPECT_EQ(busyAfterFirstField, kBusyTrimSweeps);
    EXPECT_EQ(busyAfterTrim, kBusyIdle);
    EXPECT_EQ(busyAfterLaterField, kBusyScanning);
    std::vector<uint32_t> after;
    for (int32_t p = 0; p < raw_->NumPoints; ++p) after.push_back(raw_->Points[p].Flags);
    EXPECT_EQ(after, before);
    EXPECT_EQ(raw_->EditLimit, 0u);
    EXPECT_EQ(raw_->NumProfiles, 0);
}

TEST_F(TrimSweepsWin32, CloseWhileTrimmingWaitsForTheWorker) {
    HeldThreads held;
    TrimSweeps_SetThreadStart(held.Start());
    TrimSweepsDialog dialog(*raw_, App().busyState, Callbacks());
    std::atomic<bool> stillOpen{false};
    std::thread release;
    Driver driver({{kTrimMinRadius, [&](HWND d) {
                        SendMessageA(d, WM_COMMAND, kTrimApply, 0);
                        PostMessageA(d, WM_COMMAND, IDCLOSE, 0);
                        // The close retries on the dialog's own thread; the worker is let go from another.
                        release = std::thread([&, d] {
                            Sleep(400);
                            stillOpen = IsWindow(d) && IsWindowVisible(d);
                            held.ResumeAll();
                        });
                        return true;
                    }}});
    dialog.RunModal(owner_);
    release.join();
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(held.starts, 1);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(held.started[0], &code));
    EXPECT_NE(code, STILL_ACTIVE);
    EXPECT_EQ(raw_->EditLimit, 0u);
    EXPECT_EQ(Erased(), 0);
    EXPECT_EQ(App().busyState, kBusyIdle);
}

void* NoMemory(size_t) { return nullptr; }

TEST_F(TrimSweepsWin32, AFailedStartOrMissingMemoryIsReportedAndLeavesTheScan) {
    struct Case {
        const char* what;
        bool refuseThread;
        const char* key;
    } cases[] = {{"thread refused", true, "ErrorThreadCreate"}, {"no memory", false, "ErrorOutOfMemory"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        messages_.clear();
        HeldThreads held;
        held.refuse = c.refuseThread;
        TrimSweeps_SetThreadStart(held.Start());
        SweepTrimMemory memory;
        if (!c.refuseThread) memory.allocate = NoMemory;
        SweepTrim_SetMemory(memory);
        TrimSweepsDialog dialog(*raw_, App().busyState, Callbacks());
        std::string text;
        std::deque<modal_driver::Step> steps;
        steps.push_back({kTrimMinRadius, [&](HWND d) {
                             SendMessageA(d, WM_COMMAND, kTrimApply, 0);
                             held.ResumeAll();
                             return true;
                         }});
        steps.push_back({kTrimMinRadius, [&](HWND d) {
                             if (messages_.empty() || dialog.Busy()) return false;
                             text = ItemText(d, kTrimApply);
                             return Press(d, IDCLOSE);
                         }});
        Driver driver(std::move(steps));
        dialog.RunModal(owner_);
        EXPECT_TRUE(driver.Finished());
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].kind, MessageKind::Error);
        EXPECT_EQ(messages_[0].textKey, c.key);
        EXPECT_EQ(text, "Apply");
        EXPECT_EQ(raw_->EditLimit, 0u);
        EXPECT_EQ(App().busyState, kBusyIdle);
    }
}

TEST_F(TrimSweepsWin32, AutoCropPointsOpensTheDialogOverTheProgramsScan) {
    AppState& app = App();
    RawData* programScan = app.raw;
    app.raw = raw_;
    std::string title;
    Driver driver({{kTrimMinRadius, [&](HWND d) {
                        title = ItemText(d, 0);
                        return Press(d, IDCLOSE);
                    }}});
    EXPECT_EQ(MainWnd_OnCommand(40413), 1);
    app.raw = programScan;
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(title, "Trim Sweeps");
    EXPECT_TRUE(messages_.empty());
}

}  // namespace
