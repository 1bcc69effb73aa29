// The shell under Wine: the main window's start, hardware events, power
// broadcasts, the key filter and the close with its settings save.
#include "app/acquisition/hardware_events.h"
#include "app/files/settings_registry.h"
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/hw_event_routing.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/status_texts.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<AppMessage> g_messages;

// What the fake acquisition layer saw and answers.
struct FakeScanner {
    int starts = 0, stops = 0, restarts = 0, endOfSweeps = 0, newFields = 0;
    int32_t beginIndex = -1;
    bool stopSucceeds = true;
    int32_t state = 0;
    bool raiseUnrecoverableOnStart = false;
} g_scanner;

ScannerLink FakeLink() {
    ScannerLink link;
    link.initScannerWithCalibration = [](const char*, const char*) {
        ++g_scanner.starts;
        // A scanner whose library is missing reports through the event.
        if (g_scanner.raiseUnrecoverableOnStart) RaiseHardwareEvent(Hardware_UNRECOVERABLE_ERROR, 0);
    };
    link.reinitScanner = [] { ++g_scanner.restarts; };
    link.stopAcquisition = [] {
        ++g_scanner.stops;
        return g_scanner.stopSucceeds;
    };
    link.onlineState = [] { return g_scanner.state; };
    link.beginCapture = [](int32_t index) { g_scanner.beginIndex = index; };
    link.endOfSweep = [] { ++g_scanner.endOfSweeps; };
    link.onNewFieldReady = [](std::intptr_t) { ++g_scanner.newFields; };
    return link;
}

void Pump() { PumpShellMessages(5, 10); }

std::string StatusPart(int part) {
    char text[512] = "";
    SendMessageA(Shell().statusBar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
}

int CountMessages(const char* key) {
    int n = 0;
    for (const AppMessage& m : g_messages) n += m.textKey == key;
    return n;
}

bool PipeExists() { return WaitNamedPipeA("\\\\.\\pipe\\TolvaranPipe", 500) != 0; }

class MainWindowWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        DeleteSettingsKeys();
        // The run without a scanner: the machine switches it off, the user has nothing.
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
        g_messages.clear();
        g_scanner = FakeScanner();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        ScannerLink_Install(FakeLink());
    }
    void TearDown() override {
        if (window_ && IsWindow(window_)) {
            SendMessageA(window_, WM_CLOSE, 0, 0);
            Pump();
        }
        ScannerLink_Install(ScannerLink());
        Shell_Win32Hooks() = ShellWin32Hooks();
        App_SetMessageSink(nullptr);
        DeleteSettingsKeys();
    }
    HWND Start() {
        window_ = App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        Pump();
        return window_;
    }
    void Close() {
        SendMessageA(window_, WM_CLOSE, 0, 0);
        MSG quit;
        quitSeen_ = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 0;
        window_ = nullptr;
    }
    HWND window_ = nullptr;
    bool quitSeen_ = false;
};

TEST_F(MainWindowWin32, StartsWithStatusBarAndPipeAndSavesEveryValueOnClose) {
    HWND window = Start();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    ASSERT_NE(Shell().statusBar, nullptr);
    EXPECT_EQ(GetDlgCtrlID(Shell().statusBar), 1);
    ASSERT_NE(Shell().view, nullptr);
    // The view keeps one device context for its life: its class gives it one
    // of its own.
    EXPECT_TRUE(GetClassLongA(Shell().view, GCL_STYLE) & CS_OWNDC);
    EXPECT_EQ(StatusPart(0), Locale_GetString("WaitCursorReady"));
    EXPECT_EQ(StatusPart(3), StatusBar_HardwareText(false, 0));
    EXPECT_TRUE(PipeExists());
    char title[256];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_EQ(std::string(title), App_TitleText());
    EXPECT_EQ(g_scanner.starts, 0);  // ScannerEnabled 0
    // The view fills the client area above the status bar.
    RECT client, view, bar;
    GetClientRect(window, &client);
    GetWindowRect(Shell().view, &view);
    GetWindowRect(Shell().statusBar, &bar);
    EXPECT_EQ(view.bottom, bar.top);
    EXPECT_EQ(view.right - view.left, client.right - client.left);

    Close();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(quitSeen_);
    EXPECT_FALSE(PipeExists());
    EXPECT_EQ(g_scanner.stops, 1);
    EXPECT_TRUE(g_messages.empty());

    for (const auto* list : {&Settings_GeneralValues(), &Settings_ViewValues()}) {
        HKEY key;
        const char* path = list == &Settings_ViewValues() ? kSettingsViewKey : kSettingsGeneralKey;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
        for (const SettingsValue& v : *list) {
            DWORD type = 0, size = 0;
            ASSERT_EQ(RegQueryValueExA(key, v.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS) << v.name;
            EXPECT_EQ(type, v.type) << v.name;
            if (v.type != kRegSz) {
                EXPECT_EQ(size, v.size) << v.name;
            }
        }
        RegCloseKey(key);
    }
}

TEST_F(MainWindowWin32, TheNextStartReadsTheSettingsBack) {
    Start();
    App().settings.Movement = 2;
    App().settings.RangeClip = 123.5f;
    App().view.ZoomFactor = 2.25f;
    Close();
    // The user's value wins over the machine's; display type 3 reads as 2.
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "Movement", 1);
    SetDword(HKEY_CURRENT_USER, kSettingsViewKey, "DisplayType", 3);
    Start();
    EXPECT_EQ(App().settings.Movement, 2);
    EXPECT_EQ(App().settings.RangeClip, 123.5f);
    EXPECT_EQ(App().settings.ScannerEnabled, 0);  // the machine's value, saved back by the user's close
    EXPECT_EQ(App().view.ZoomFactor, 2.25f);
    EXPECT_EQ(App().view.DisplayType, 2);
    std::string zoom;
    Locale_FormatStringWithNumber(zoom, "factor", 2, "StatusBarZoom", 2.25);
    EXPECT_NE(StatusPart(1).find(zoom), std::string::npos);
}

TEST_F(MainWindowWin32, ScannerAbsentWithTheLibraryMissingShowsOneBox) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 1);
    g_scanner.raiseUnrecoverableOnStart = true;
    Start();
    Pump();
    EXPECT_EQ(g_scanner.starts, 1);
    EXPECT_EQ(CountMessages("ErrorHWReset"), 1);
    EXPECT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(App().settings.ScannerEnabled, 0);
    EXPECT_EQ(g_scanner.stops, 1);
    EXPECT_EQ(StatusPart(3), StatusBar_HardwareText(false, 0));
}

TEST_F(MainWindowWin32, ScannerUnpluggedShowsNoBoxAndOffLine) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 1);
    Start();
    EXPECT_EQ(g_scanner.starts, 1);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(StatusPart(3), StatusBar_HardwareText(true, 0));
    // On line once the acquisition layer says so.
    g_scanner.state = 2;
    OnHardwareEvent(Hardware_ONLINE_STATUS_CHANGED, 0);
    Pump();
    EXPECT_EQ(StatusPart(3), StatusBar_HardwareText(true, 2));
}

TEST_F(MainWindowWin32, HardwareEventsReachTheirHandlers) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 1);
    Start();
    g_messages.clear();

    OnHardwareEvent(Hardware_SERIAL_NUMBER_MISMATCH, 7);
    OnHardwareEvent(Hardware_CAL_BLANK_ERROR, 0);
    OnHardwareEvent(Hardware_NO_USB_DRIVER, 0);
    OnHardwareEvent(Hardware_USB_INIT_ERROR, 0);
    OnHardwareEvent(Hardware_UNSUPPORTED_FREQUENCY, HwEvent_MakeOwnedText("12 kHz is not supported"));
    OnHardwareEvent(13, 0);  // no such event: nothing posted
    Pump();
    ASSERT_EQ(g_messages.size(), 5u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorCalFileWrong");
    std::string serial;
    Locale_FormatStringWithText(serial, "serial_number", "  7", "ErrorCalFileWrong");
    EXPECT_EQ(g_messages[0].text, serial);
    EXPECT_EQ(g_messages[1].textKey, "ErrorCalFileBlank");
    EXPECT_EQ(g_messages[1].kind, MessageKind::Warning);
    EXPECT_EQ(g_messages[2].textKey, "ErrorUSBDriverNotInstalled");
    EXPECT_EQ(g_messages[3].textKey, "ErrorUSBDriverInit");
    EXPECT_EQ(g_messages[4].text, "12 kHz is not supported");

    // A first field starts the capture at its index and makes the program busy;
    // the last field ends the sweep.
    OnHardwareEvent(Hardware_FIRST_FIELD, 1234);
    Pump();
    EXPECT_EQ(g_scanner.beginIndex, 1234);
    EXPECT_EQ(App().busyState, kBusyScanning);
    EXPECT_EQ(ScanControl_Program().state.SweepClosed, 1);
    OnHardwareEvent(Hardware_NEW_FIELD_READY, 1);
    OnHardwareEvent(Hardware_LAST_FIELD, 0);
    Pump();
    EXPECT_EQ(g_scanner.newFields, 1);
    EXPECT_EQ(g_scanner.endOfSweeps, 1);
    EXPECT_EQ(App().busyState, kBusyIdle);

    OnHardwareEvent(Hardware_PU_VERSION_MISMATCH, 3);
    Pump();
    EXPECT_EQ(App().settings.VideoProcessorRevision, 3);
    EXPECT_EQ(g_scanner.restarts, 1);
}

// A window that counts the field events it is given.
int g_toolEvents = 0;
LRESULT CALLBACK ToolProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_APP && message <= WM_APP + 2) ++g_toolEvents;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(MainWindowWin32, AClaimedToolWindowTakesTheFieldEvents) {
    Start();
    WNDCLASSA c = {};
    c.lpfnWndProc = ToolProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "ShellTestTool";
    RegisterClassA(&c);
    HWND tool = CreateWindowA("ShellTestTool", "", 0, 0, 0, 10, 10, nullptr, nullptr, c.hInstance, nullptr);
    ASSERT_TRUE(HwEventTarget_Claim(reinterpret_cast<WindowId>(tool)));
    g_toolEvents = 0;
    OnHardwareEvent(Hardware_FIRST_FIELD, 5);
    OnHardwareEvent(Hardware_NEW_FIELD_READY, 0);
    OnHardwareEvent(Hardware_LAST_FIELD, 0);
    OnHardwareEvent(Hardware_RECOVERABLE_ERROR, 0);
    Pump();
    EXPECT_EQ(g_toolEvents, 3);
    EXPECT_EQ(g_scanner.beginIndex, -1);  // the main window saw no field event
    EXPECT_TRUE(HwEventTarget_Release(reinterpret_cast<WindowId>(tool)));
    DestroyWindow(tool);
}

TEST_F(MainWindowWin32, PowerBroadcasts) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 1);
    Start();
    g_scanner.stopSucceeds = false;
    EXPECT_EQ(SendMessageA(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0), TRUE);
    EXPECT_EQ(g_scanner.stops, 1);
    EXPECT_EQ(CountMessages("ErrorEnteringStandby"), 1);
    EXPECT_EQ(SendMessageA(window_, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0), TRUE);
    EXPECT_EQ(g_scanner.starts, 2);
    g_scanner.stopSucceeds = true;
}

int g_bumpCommands = 0;
bool CountBumps(HWND, WPARAM wParam, LPARAM) {
    if (LOWORD(wParam) == 40336 && HIWORD(wParam) == 1) ++g_bumpCommands;
    return true;
}

TEST_F(MainWindowWin32, PemmlerKeyFilterThroughTheLoop) {
    Start();
    Shell_Win32Hooks().dispatchCommand = CountBumps;
    App().editions = EditionFlags{false, true};
    g_bumpCommands = 0;
    struct {
        UINT message;
        WPARAM key;
        bool taken;
    } cases[] = {
        {WM_KEYDOWN, VK_F9, true}, {WM_SYSKEYDOWN, VK_F10, true}, {WM_KEYUP, VK_F9, false},
        {WM_CHAR, 'x', false},     {WM_TIMER, 120, false},
    };
    for (auto& c : cases) {
        MSG message = {window_, c.message, c.key, 0, 0, {0, 0}};
        EXPECT_EQ(!App_FilterLoopMessage(message), c.taken) << c.message;
    }
    EXPECT_EQ(g_bumpCommands, 2);
    App().editions = EditionFlags{};
    MSG f9 = {window_, WM_KEYDOWN, VK_F9, 0, 0, {0, 0}};
    EXPECT_TRUE(App_FilterLoopMessage(f9));
}

TEST_F(MainWindowWin32, CancellingTheSavePromptKeepsEverything) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 1);
    Start();
    int asked = 0;
    Shell_Hooks().unloadScan = [&](bool ask) {
        ++asked;
        return false;
    };
    SendMessageA(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_TRUE(IsWindow(Shell().statusBar));
    EXPECT_TRUE(PipeExists());
    EXPECT_EQ(g_scanner.stops, 0);
    HKEY key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsGeneralKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    Shell_Hooks().unloadScan = nullptr;
}

TEST_F(MainWindowWin32, ARelativeStartupFileIsLoadedAndItsFolderBecomesCurrent) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "shell_start_test\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string file = folder + "scan.tvn";
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    SetCurrentDirectoryA(folder.c_str());
    std::string loaded;
    Shell_Hooks().reloadScan = [&](const std::string& path) {
        loaded = path;
        return true;
    };
    int savedArgc = __argc;
    char** savedArgv = __argv;
    char program[] = "Tolvaran.exe";
    char name[] = "scan.tvn";
    char* args[] = {program, name, nullptr};
    __argc = 2;
    __argv = args;
    Start();
    __argc = savedArgc;
    __argv = savedArgv;
    Shell_Hooks().reloadScan = nullptr;
    char now[MAX_PATH];
    GetCurrentDirectoryA(sizeof now, now);
    SetCurrentDirectoryA(before);
    EXPECT_EQ(lstrcmpiA(loaded.c_str(), file.c_str()), 0) << loaded;
    EXPECT_EQ(lstrcmpiA((std::string(now) + "\\").c_str(), folder.c_str()), 0) << now;
    DeleteFileA(file.c_str());
    RemoveDirectoryA(folder.c_str());
}

bool FailToolbars(HWND) { return false; }

TEST_F(MainWindowWin32, AFailedCreationGivesNoWindow) {
    Shell_Win32Hooks().createToolbars = FailToolbars;
    EXPECT_EQ(App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL), nullptr);
    EXPECT_FALSE(PipeExists());
}

}  // namespace
