// The system's side of scan control: beeps, message boxes, the trigger-click
// timer, the outbound pipe and the scanner windows it tells of events.
#include "app/acquisition/scan_pipe_record.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_win32.h"

#include <commctrl.h>

namespace {

std::uintptr_t (*g_windowHandles[kWindowTool + 1])() = {};

HWND ScanWindowHandle(ScanWindow window) {
    if (window >= 0 && window <= kWindowTool && g_windowHandles[window])
        return reinterpret_cast<HWND>(g_windowHandles[window]());
    switch (window) {
        case kWindowMain:
            return Shell().main;
        case kWindowProperties: {
            const ScannerLink& link = ScannerLink_Get();
            return link.scannerPropertiesWindow ? reinterpret_cast<HWND>(link.scannerPropertiesWindow()) : nullptr;
        }
        default:
            // The other windows are found through their registered handles.
            return nullptr;
    }
}

void SendPipeRecord(int32_t kind, const Matrix4* wand, int32_t count, const Vec3* points, const Matrix4* reference) {
    static ScanPipeRecord record;
    static unsigned char bytes[sizeof(ScanPipeRecord)];
    ScanPipeRecord_Build(record, kind, wand, count, points, reference);
    ScanPipeRecord_Encode(record, bytes);
    Pipe_Write(bytes, sizeof bytes);
}

// A field's texts over the status bar's second and third parts.
void ShowFieldStatus(const ScanFieldStatus& status) {
    HWND bar = Shell().statusBar;
    if (!bar) return;
    if (status.setPosition) {
        const char* text = status.warning ? Locale_GetString(status.position.c_str()) : status.position.c_str();
        SendMessageA(bar, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>(text));
        SendMessageA(bar, SB_SETBKCOLOR, 0, status.warning ? static_cast<LPARAM>(0x000000FF) : CLR_DEFAULT);
    }
    SendMessageA(bar, SB_SETTEXTA, 3, reinterpret_cast<LPARAM>(Locale_GetString(status.modeKey)));
    // Painted when the queue is empty: a paint for every field would hold
    // up the fields behind it.
    InvalidateRect(bar, nullptr, TRUE);
}

}  // namespace

void ScanControl_SetWindow(ScanWindow window, std::uintptr_t (*handle)()) {
    if (window >= 0 && window <= kWindowTool) g_windowHandles[window] = handle;
}

void ScanControl_InstallWin32Host() {
    ScanControlHost& h = ScanControl_Program().host;
    h.beep = [](uint32_t type) { MessageBeep(type); };
    h.warningBox = [](const char* key) { App_WarningBox(Locale_GetString(key), key); };
    h.errorBox = [](const char* key) { App_ErrorBox(Locale_GetString(key), key); };
    h.pipe = SendPipeRecord;
    h.windowOpen = [](ScanWindow window) { return ScanWindowHandle(window) != nullptr; };
    h.notify = [](ScanWindow window, uint32_t message) {
        HWND target = ScanWindowHandle(window);
        if (!target) return;
        // Accepted profiles are posted; the other notices are sent.
        if (message == kMsgAccepted)
            PostMessageA(target, message, 0, 0);
        else
            SendMessageA(target, message, 0, 0);
    };
    h.killClickTimer = [] { return KillTimer(Shell().main, kTriggerClickTimer) != 0; };
    h.startClickTimer = [] { SetTimer(Shell().main, kTriggerClickTimer, GetDoubleClickTime(), nullptr); };
    h.updateStatus = [](int32_t) { StatusBar_Update(); };
    h.showFieldStatus = ShowFieldStatus;
    h.postRepaint = [](int32_t level) { App_PostRepaint(level); };
    h.sendRepaint = [](int32_t level) { App_SendRepaint(level); };
    h.timerSkip = [] {
        const bool skip = TimerMode_Tick(TimerMode_Program(), App().settings.Timer, GetTickCount());
        TimerModePanel_Refresh();
        return skip;
    };
    h.stopTimerMode = [] {
        TimerMode_Stop(TimerMode_Program());
        TimerModePanel_Refresh();
    };
}
