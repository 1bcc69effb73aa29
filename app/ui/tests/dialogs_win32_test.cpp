// The dialog classes, input boxes, the question box, the marker dialog and
// the registration progress dialog, driven from a thread timer while they
// run modally.
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/dialog_tooltips_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/file_properties_win32.h"
#include "app/ui/progress_dialogs_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/tests/small_scan.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/sweep_registration.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <deque>
#include <functional>
#include <string>
#include <vector>

using namespace modal_driver;

namespace {

std::vector<AppMessage> g_messages;

// Every row of the template's dialog table shows its locale text (the
// caption only when `withCaption`).
void ExpectTableTexts(HWND dialog, int templateId, bool withCaption) {
    const std::vector<LocaleDialogText> rows = Locale_DialogTexts(templateId);
    EXPECT_FALSE(rows.empty()) << templateId;
    for (const LocaleDialogText& row : rows) {
        if (row.control == 0 && !withCaption) continue;
        EXPECT_EQ(ItemText(dialog, row.control), Locale_GetString(row.key.c_str()))
            << templateId << " control " << row.control;
    }
}

bool Type(HWND dialog, const char* text) {
    SetDlgItemTextA(dialog, kInputBoxEdit, text);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    return true;
}

// ---- The owner window: records the commands it receives ---------------------------

std::vector<WORD> g_commands;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        g_commands.push_back(LOWORD(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class DialogsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        g_messages.clear();
        g_commands.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Shell().instance = GetModuleHandleA(nullptr);
        // The program's dialog class, as its start-up registers it (the Mark
        // with Mouse window is of it).
        WNDCLASSEXA dialogClass = {};
        dialogClass.cbSize = sizeof dialogClass;
        dialogClass.lpfnWndProc = KorvDialog_WndProc;
        dialogClass.cbWndExtra = DLGWINDOWEXTRA;
        dialogClass.hInstance = Shell().instance;
        dialogClass.lpszClassName = "KorvDialog";
        RegisterClassExA(&dialogClass);
        owner_ = modal_driver::MakeOwner("DialogsTestOwner", OwnerProc, 50, 50, 400, 300);
        Shell().main = owner_;
    }
    void TearDown() override {
        Shell().main = nullptr;
        DestroyWindow(owner_);
        App_SetMessageSink(nullptr);
        SweepReg_SetRunner(nullptr);
        ProgressDlg_SetThreadOps(WorkerThreadOps());
    }
    HWND owner_ = nullptr;
};

// ---- Window utilities ---------------------------------------------------------------

TEST_F(DialogsWin32, EditFieldsKeepTheirValueForATypo) {
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, owner_, nullptr, Shell().instance,
                                nullptr);
    ValueLimits limits;
    limits.hasMinimum = true;
    limits.minimum = 1.0f;
    limits.zeroAllowed = false;
    float value = 12.5f;
    SetWindowTextA(edit, "abc");
    EXPECT_EQ(Edit_ReformatNumber(edit, "%.1f", limits, value), 12.5f);
    char text[64];
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "12.5");
    SetWindowTextA(edit, " 0.25 ");
    EXPECT_EQ(Edit_ReformatNumber(edit, "%.1f", limits, value), 1.0f);
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "1.0");
    DestroyWindow(edit);
}

TEST_F(DialogsWin32, ChildrenFollowTheParentsSize) {
    HWND parent = CreateWindowExA(0, "DialogsTestOwner", "Layout", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                  nullptr, Shell().instance, nullptr);
    HWND stretch =
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 10, 10, 100, 30, parent, nullptr, Shell().instance, nullptr);
    HWND corner =
        CreateWindowExA(0, "STATIC", "", WS_CHILD, 200, 150, 50, 20, parent, nullptr, Shell().instance, nullptr);
    WindowLayout* layout = Wnd_CreateLayout(parent);
    Wnd_AddLayoutChild(layout, stretch, kLayoutFollowX | kLayoutStretchX);
    Wnd_AddLayoutChild(layout, corner, kLayoutFollowX | kLayoutFollowY);
    SetWindowPos(parent, nullptr, 0, 0, 340, 230, SWP_NOMOVE | SWP_NOZORDER);
    Wnd_LayoutChildren(layout);
    RECT r;
    GetWindowRect(stretch, &r);
    Wnd_ScreenToClientRect(parent, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right, 150);
    GetWindowRect(corner, &r);
    Wnd_ScreenToClientRect(parent, &r);
    EXPECT_EQ(r.left, 240);
    EXPECT_EQ(r.top, 180);
    EXPECT_EQ(r.right - r.left, 50);
    Wnd_FreeLayout(layout);
    DestroyWindow(parent);
}

// ---- The question box ---------------------------------------------------------------

TEST_F(DialogsWin32, QuestionBoxHasFourEndings) {
    struct {
        int button;
        INT_PTR result;
    } cases[] = {{IDYES, IDYES}, {IDNO, IDNO}, {IDCANCEL, IDCANCEL}, {IDCLOSE, IDCANCEL}};
    for (const auto& c : cases) {
        Driver driver({{1280, [&](HWND d) {
                            ExpectTableTexts(d, kMessageDlgTemplate, false);
                            EXPECT_EQ(ItemText(d, 0), "Save the scan?");
                            EXPECT_EQ(ItemText(d, 1280), "The scan has changed.");
                            return Press(d, c.button);
                        }}});
        EXPECT_EQ(MessageDlg_Run("Save the scan?", "The scan has changed."), c.result) << c.button;
        EXPECT_TRUE(driver.Finished());
    }
}

TEST_F(DialogsWin32, FilePropertiesShowTheScanAndClose) {
    auto raw = std::make_unique<RawData>();
    std::memset(raw.get(), 0, sizeof(RawData));
    raw->Header.WandSerialNumber = 4711;
    raw->Header.FileRelease = 4;
    App().raw = raw.get();
    App().scanPath = "C:\\scans\\foot.tvn";
    std::string shown;
    Driver driver({{kFilePropertiesText, [&](HWND d) {
                        ExpectTableTexts(d, kFilePropertiesTemplate, true);
                        shown = ItemText(d, kFilePropertiesText);
                        return Press(d, IDCANCEL);
                    }}});
    FileProperties_Run(owner_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(shown.find("**"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("File: C:\\scans\\foot.tvn\r\nFile format version: 4\r\nWand serial number: 4711\r\n"), 0u)
        << shown;
    EXPECT_NE(shown.find("First profile: no profiles"), std::string::npos) << shown;
    App().raw = nullptr;
    App().scanPath.clear();
}

// ---- Input boxes ----------------------------------------------------------------------

TEST_F(DialogsWin32, BadInputKeepsTheBoxOpen) {
    SmallScan scan({4, 4, 4, 4, 4});
    ProfilePointInputHandler handler(*scan.raw);
    InputBoxDialog<ProfilePoint> box("Profile:Point", "Goto Profile & Point", "", handler);
    HWND first = nullptr;
    Driver driver({
        {kInputBoxEdit,
         [&](HWND d) {
             first = d;
             EXPECT_EQ(ItemText(d, 0), "Goto Profile & Point");
             EXPECT_EQ(ItemText(d, kInputBoxPrompt), "Profile:Point");
             return Type(d, "7:12");
         }},
        {kInputBoxEdit,
         [&](HWND d) {
             EXPECT_EQ(d, first);
             EXPECT_EQ(ItemText(d, kInputBoxEdit), "7:12");  // as typed
             return Type(d, "3");
         }},
        {kInputBoxEdit, [&](HWND d) { return Type(d, "3:x"); }},
        {kInputBoxEdit, [&](HWND d) { return Type(d, "2:1"); }},
    });
    box.RunModal(owner_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(box.Accepted());
    ASSERT_EQ(g_messages.size(), 3u);
    EXPECT_EQ(g_messages[0].text, "Profile index out of bounds.");
    EXPECT_EQ(g_messages[0].kind, MessageKind::Error);
    EXPECT_EQ(g_messages[1].text, "Parse Error");
    EXPECT_EQ(g_messages[2].text, "Parse Error");
    EXPECT_EQ(App_PointCursor().profile, 2);
    EXPECT_EQ(App_PointCursor().point, 1);
}

TEST_F(DialogsWin32, IntegerBoxesAcceptAndCancel) {
    struct {
        const char* typed;
        bool accepted;
        int value;
        const char* error;
    } cases[] = {{"  17abc", true, 17, nullptr}, {"", false, 0, "Invalid Value"}};
    for (const auto& c : cases) {
        g_messages.clear();
        DefaultInputHandler<int> handler;
        int value = 0;
        std::deque<Step> steps = {{kInputBoxEdit, [&](HWND d) { return Type(d, c.typed); }}};
        if (!c.accepted) steps.push_back({kInputBoxEdit, [](HWND d) { return Press(d, IDCANCEL); }});
        Driver driver(std::move(steps));
        EXPECT_EQ(InputBox_RunInt("Enter profile no:", "Delete Profile", "", handler, value), c.accepted);
        EXPECT_TRUE(driver.Finished());
        if (c.accepted) {
            EXPECT_EQ(value, c.value);
            EXPECT_TRUE(g_messages.empty());
        } else {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(g_messages[0].text, c.error);
        }
    }
}

TEST_F(DialogsWin32, AMovedDialogReopensWhereLeft) {
    DefaultInputHandler<int> handler;
    InputBoxDialog<int> box("Prompt", "Title", "5", handler);
    {
        Driver driver({{kInputBoxEdit, [](HWND d) {
                            SetWindowPos(d, nullptr, 111, 99, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                            return Press(d, IDCANCEL);
                        }}});
        box.RunModal(owner_);
        EXPECT_TRUE(driver.Finished());
    }
    RECT where = {};
    Driver driver({{kInputBoxEdit, [&](HWND d) {
                        GetWindowRect(d, &where);
                        EXPECT_EQ(ItemText(d, kInputBoxEdit), "5");
                        return Press(d, IDCANCEL);
                    }}});
    box.RunModal(owner_);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(where.left, 111);
    EXPECT_EQ(where.top, 99);
    EXPECT_FALSE(box.Accepted());
}

// ---- The marker dialog ----------------------------------------------------------------

struct TwoGroups {
    TwoGroups() {
        list = StylusItemList();
        list.Items = static_cast<StylusItem*>(std::calloc(3, sizeof(StylusItem)));
        list.Capacity = 3;
        list.Items[0].Group = 0;
        list.Items[1].Group = 1;
        list.Items[2].Group = 1;
        list.VisibleCount = list.TotalCount = 3;
        list.GroupCount = 2;
    }
    ~TwoGroups() { StylusItems_Free(list); }
    StylusItemList list;
};

TEST_F(DialogsWin32, FreeingADialogWithALiveWindowGivesOneBox) {
    TwoGroups groups;
    auto* dialog = new kmo::tolvaran::MouseAsMarkerDialog(groups.list, {});
    HWND window = dialog->CreateModeless(owner_);
    ASSERT_NE(window, nullptr);
    delete dialog;
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].kind, MessageKind::Warning);
    EXPECT_EQ(g_messages[0].title, "Dialog Error");
    EXPECT_EQ(g_messages[0].text, "Error: The object associated with a visible dialog was destroyed.");
    // The window no longer reaches the freed object.
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(GetWindowLongPtrA(window, DWLP_USER), 0);
    SendMessageA(window, WM_COMMAND, 4, 0);
    DestroyWindow(window);
    EXPECT_EQ(g_messages.size(), 1u);
}

void PumpAll() {
    MSG message;
    for (int round = 0; round < 5; ++round) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

TEST_F(DialogsWin32, MarkerDialogUndoesClearsAndLeavesTheViewActive) {
    TwoGroups groups;
    int closes = 0, repaints = 0, refreshes = 0;
    kmo::tolvaran::MouseAsMarkerDialog dialog(groups.list,
                                              {[&] { ++closes; }, [&] { ++repaints; }, [&] { ++refreshes; }});
    HWND window = dialog.CreateModeless(owner_);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ItemText(window, 1515), "2");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, 4)));
    SendMessageA(window, WM_COMMAND, 4, 0);
    EXPECT_EQ(ItemText(window, 1515), "1");
    EXPECT_EQ(groups.list.VisibleCount, 1);
    SendMessageA(window, WM_COMMAND, 1514, 0);
    EXPECT_EQ(ItemText(window, 1515), "0");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, 4)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, 1514)));
    EXPECT_EQ(repaints, 2);
    EXPECT_EQ(refreshes, 2);

    // Clicking it leaves the owner active.
    SetForegroundWindow(owner_);
    SetActiveWindow(owner_);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    PumpAll();
    ASSERT_EQ(GetActiveWindow(), owner_);
    EXPECT_EQ(
        SendMessageA(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(owner_), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
        MA_NOACTIVATE);
    RECT r;
    GetWindowRect(GetDlgItem(window, 1515), &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    PumpAll();
    EXPECT_EQ(GetActiveWindow(), owner_);
    // Activating it hands the activation back.
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(owner_));
    EXPECT_EQ(GetActiveWindow(), owner_);

    SendMessageA(window, WM_COMMAND, IDOK, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(closes, 2);
    dialog.Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(g_messages.empty());
}

// ---- The registration dialog ------------------------------------------------------------

struct ThreadCounts {
    std::atomic<int> starts{0}, closes{0};
};

WorkerThreadOps CountingOps(ThreadCounts& counts, bool refuse = false) {
    WorkerThreadOps ops;
    ops.start = [&counts, refuse](LPTHREAD_START_ROUTINE routine, void* argument, DWORD* id) -> HANDLE {
        if (refuse) return nullptr;
        ++counts.starts;
        return CreateThread(nullptr, 0, routine, argument, 0, id);
    };
    ops.close = [&counts](HANDLE thread) {
        ++counts.closes;
        CloseHandle(thread);
    };
    return ops;
}

HWND ProgressBarOf(HWND dialog) { return FindWindowExA(dialog, nullptr, PROGRESS_CLASSA, nullptr); }

TEST_F(DialogsWin32, RegistrationSucceedsAndCancellingTheResultUndoesIt) {
    ThreadCounts counts;
    ProgressDlg_SetThreadOps(CountingOps(counts));
    std::atomic<bool> release{false};
    SweepReg_SetRunner([&](SweepRegParams& p, SweepRegReport report) {
        for (int i = 1; !release && i < 2000; ++i) {
            report("Registering", 0.25f);
            Sleep(5);
        }
        report("Registering", 1.0f);
        *p.initialError = 1.5f;
        *p.finalError = 0.25f;
        return 0;
    });
    bool success = false;
    const std::string expected = SweepReg_ResultMessage(0, 1.5f, 0.25f, success);
    Driver driver({
        {1035,
         [&](HWND d) {
             ExpectTableTexts(d, kSweepRegTemplate, true);
             EXPECT_EQ(ItemText(d, 0), Locale_GetString("SweepRegDialogTitle"));
             HWND bar = ProgressBarOf(d);
             if (!bar || SendMessageA(bar, PBM_GETPOS, 0, 0) != 25) return false;  // the bar moves
             EXPECT_NE(ItemText(d, 1035).find("25"), std::string::npos);
             release = true;
             return true;
         }},
        {1504,
         [&](HWND d) {
             ExpectTableTexts(d, kSweepRegResultTemplate, true);
             EXPECT_EQ(ItemText(d, 1504), expected);
             return Press(d, IDCANCEL);
         }},
    });
    EXPECT_EQ(SweepRegDlg_Run(owner_), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(g_commands, std::vector<WORD>{40300});
    EXPECT_EQ(counts.starts, 1);
    EXPECT_EQ(counts.closes, 1);
}

TEST_F(DialogsWin32, CancelEndsTheWorkerAtItsNextReportWithoutABox) {
    for (int button : {1054, IDCANCEL}) {
        SCOPED_TRACE(button);
        g_messages.clear();
        ThreadCounts counts;
        ProgressDlg_SetThreadOps(CountingOps(counts));
        std::atomic<int> reportsAfterAbort{0};
        std::atomic<bool> aborted{false};
        SweepReg_SetRunner([&](SweepRegParams&, SweepRegReport report) {
            for (int i = 0; i < 4000; ++i) {
                if (!report("Registering", 0.5f)) {
                    ++reportsAfterAbort;
                    return 1;
                }
                Sleep(2);
            }
            return 6;
        });
        Driver driver({{1035, [&](HWND d) {
                            aborted = true;
                            return Press(d, button);
                        }}});
        EXPECT_EQ(SweepRegDlg_Run(owner_), 0);
        EXPECT_TRUE(driver.Finished());
        EXPECT_TRUE(aborted);
        EXPECT_EQ(reportsAfterAbort, 1);
        EXPECT_TRUE(g_messages.empty());
        EXPECT_EQ(counts.starts, 1);
        EXPECT_EQ(counts.closes, 1);
    }
    EXPECT_TRUE(g_commands.empty());
}

TEST_F(DialogsWin32, AFailedRegistrationShowsItsError) {
    ThreadCounts counts;
    ProgressDlg_SetThreadOps(CountingOps(counts));
    SweepReg_SetRunner([](SweepRegParams&, SweepRegReport) { return 6; });
    EXPECT_EQ(SweepRegDlg_Run(owner_), 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].kind, MessageKind::Error);
    EXPECT_EQ(g_messages[0].text, Locale_GetString("SweepRegDialogFailure"));
    EXPECT_EQ(counts.closes, 1);
}

TEST_F(DialogsWin32, AThreadThatCannotStartEndsTheDialogWithZero) {
    ThreadCounts counts;
    ProgressDlg_SetThreadOps(CountingOps(counts, true));
    SweepReg_SetRunner([](SweepRegParams&, SweepRegReport) { return 0; });
    EXPECT_EQ(SweepRegDlg_Run(owner_), 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorThreadCreate");
    EXPECT_EQ(counts.closes, 0);
}

// ---- Dialog tooltips --------------------------------------------------------------

// The texts the tooltip window was given for the controls of the window.
std::vector<std::string> g_tipTexts;

LRESULT CALLBACK TipsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TTN_GETDISPINFOA) {
        const NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
        g_tipTexts.push_back(info->lpszText && info->lpszText != LPSTR_TEXTCALLBACKA ? info->lpszText : "");
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The real pointer moved onto the middle of the control; the messages served
// until the tooltip window's visibility is `shown`, at most three seconds.
bool HoverUntil(HWND control, HWND tip, bool shown) {
    RECT r;
    GetWindowRect(control, &r);
    for (int step = 0; step < 2; ++step) {
        SetCursorPos((r.left + r.right) / 2 + step, (r.top + r.bottom) / 2);
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
        SendInput(1, &move, sizeof move);
    }
    for (int round = 0; round < 150; ++round) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if ((IsWindowVisible(tip) != FALSE) == shown) return true;
        Sleep(20);
    }
    return false;
}

TEST(DialogTooltips, ControlsShowTheirStringsThroughTheSharedWindowWhileADialogUsesThem) {
    Shell().instance = GetModuleHandleA(nullptr);
    WNDCLASSA c = {};
    c.lpfnWndProc = TipsWindowProc;
    c.hInstance = Shell().instance;
    c.lpszClassName = "DialogTooltipsTest";
    c.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&c);
    HWND windows[2];
    for (int i = 0; i < 2; ++i)
        windows[i] = CreateWindowExA(WS_EX_TOPMOST, c.lpszClassName, "Tips", WS_POPUP | WS_BORDER | WS_VISIBLE,
                                     60 + 300 * i, 300, 280, 80, nullptr, nullptr, c.hInstance, nullptr);
    // The program's string 40052 is the New command's info text; 1700 has none.
    char expected[1000] = "";
    ASSERT_GT(LoadStringA(Shell().instance, 40052, expected, sizeof expected), 0);
    char none[64] = "";
    ASSERT_EQ(LoadStringA(Shell().instance, 1700, none, sizeof none), 0);
    HWND withText = CreateWindowExA(0, "BUTTON", "New", WS_CHILD | WS_VISIBLE, 10, 20, 120, 40, windows[0],
                                    reinterpret_cast<HMENU>(40052), c.hInstance, nullptr);
    HWND without = CreateWindowExA(0, "BUTTON", "None", WS_CHILD | WS_VISIBLE, 150, 20, 120, 40, windows[0],
                                   reinterpret_cast<HMENU>(1700), c.hInstance, nullptr);
    CreateWindowExA(0, "BUTTON", "Other", WS_CHILD | WS_VISIBLE, 10, 20, 120, 40, windows[1],
                    reinterpret_cast<HMENU>(40052), c.hInstance, nullptr);
    for (HWND w : windows) UpdateWindow(w);

    // Stopping what was never started changes nothing.
    SetLastError(0);
    EXPECT_EQ(StopToolbarTooltips(windows[0]), 0);
    EXPECT_EQ(GetLastError(), kTooltipsNotStarted);
    EXPECT_EQ(TipWindowOf(windows[0], withText), nullptr);

    ASSERT_EQ(StartToolbarTooltips(windows[0]), 1);
    ASSERT_EQ(StartToolbarTooltips(windows[1]), 1);
    HWND tip = TipWindowOf(windows[0], withText);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(TipWindowOf(windows[1], GetDlgItem(windows[1], 40052)), tip);  // one window for both
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 3);

    // Over a control with a string the tooltip shows it; over one without,
    // none shows.
    g_tipTexts.clear();
    EXPECT_TRUE(HoverUntil(withText, tip, true));
    EXPECT_GE(g_tipTexts.size(), 1u);
    for (const std::string& text : g_tipTexts) EXPECT_EQ(text, expected);
    EXPECT_GE(modal_driver::DistinctColours(modal_driver::Screenshot(tip)), 2u);
    g_tipTexts.clear();
    EXPECT_TRUE(HoverUntil(without, tip, false));
    HoverUntil(without, tip, true);  // it stays hidden
    EXPECT_FALSE(IsWindowVisible(tip));
    for (const std::string& text : g_tipTexts) EXPECT_EQ(text, "");

    // The last user's stop takes the window and the hooks away.
    EXPECT_EQ(StopToolbarTooltips(windows[0]), 1);
    EXPECT_TRUE(IsWindow(tip));
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    EXPECT_EQ(StopToolbarTooltips(windows[1]), 1);
    EXPECT_FALSE(IsWindow(tip));
    SetLastError(0);
    EXPECT_EQ(StopToolbarTooltips(windows[1]), 0);
    EXPECT_EQ(GetLastError(), kTooltipsNotStarted);
    for (HWND w : windows) DestroyWindow(w);
}

}  // namespace

// ---- The dialog text table against the templates ------------------------------------

namespace {

// Reads a dialog template resource (classic or extended) as the system does
// and gives the ids of its controls; false when there is no such template.
class TemplateReader {
  public:
    explicit TemplateReader(const uint8_t* at) : at_(at) {}
    uint16_t Word() { return Take<uint16_t>(); }
    uint32_t Dword() { return Take<uint32_t>(); }
    // A name or ordinal field: 0, 0xFFFF and an ordinal, or a string.
    void SkipNameOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0xFFFF) {
            Word();
        } else if (first != 0) {
            SkipString();
        }
    }
    void SkipString() {
        while (Word() != 0) {
        }
    }
    void AlignToDword() {
        while (reinterpret_cast<uintptr_t>(at_) % 4) ++at_;
    }
    void Skip(size_t bytes) { at_ += bytes; }

  private:
    template <typename T>
    T Take() {
        T value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    const uint8_t* at_;
};

bool TemplateControls(int dialog, std::vector<int>& ids) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(dialog), reinterpret_cast<LPCSTR>(RT_DIALOG));
    if (!resource) return false;
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, resource)));
    if (!data) return false;
    TemplateReader r(data);
    const bool extended = reinterpret_cast<const uint16_t*>(data)[1] == 0xFFFF;
    uint32_t style = 0;
    uint16_t count = 0;
    if (extended) {
        r.Skip(4 + 4 + 4);  // version and signature, help id, extended style
        style = r.Dword();
    } else {
        style = r.Dword();
        r.Dword();
    }
    count = r.Word();
    r.Skip(8);  // x, y, cx, cy
    r.SkipNameOrOrdinal();  // menu
    r.SkipNameOrOrdinal();  // class
    r.SkipString();         // caption
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        r.Word();  // point size
        if (extended) r.Skip(2 + 1 + 1);  // weight, italic, character set
        r.SkipString();
    }
    for (uint16_t i = 0; i < count; ++i) {
        r.AlignToDword();
        if (extended) {
            r.Skip(4 + 4 + 4 + 8);  // help id, extended style, style, x, y, cx, cy
            ids.push_back(static_cast<int>(r.Dword()));
        } else {
            r.Skip(4 + 4 + 8);
            ids.push_back(static_cast<int16_t>(r.Word()));
        }
        r.SkipNameOrOrdinal();  // class
        r.SkipNameOrOrdinal();  // text
        r.Skip(r.Word());       // creation data
    }
    return true;
}

}  // namespace

// Every row of the dialog text table names a control that its template has,
// so that every text the table gives is shown.
TEST(DialogTextTable, EveryRowNamesAControlOfItsTemplate) {
    for (size_t l = 0; l < kLocaleDialogTextListCount; ++l) {
        const LocaleDialogTextList& list = kLocaleDialogTextLists[l];
        if (list.count == 0) continue;
        SCOPED_TRACE(list.dialog);
        std::vector<int> ids;
        ASSERT_TRUE(TemplateControls(list.dialog, ids));
        ASSERT_FALSE(ids.empty());
        for (size_t i = 0; i < list.count; ++i) {
            const int control = list.rows[i].control;
            if (control == 0) continue;  // the caption
            EXPECT_TRUE(std::find(ids.begin(), ids.end(), control) != ids.end())
                << "control " << control << " for " << list.rows[i].key;
        }
    }
}
