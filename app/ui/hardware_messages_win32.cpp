// The hardware events: posted by the callback on the acquisition thread and
// handled by the main window; and the trigger-click timer they start.
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/hw_event_routing.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_start_win32.h"
#include "app/ui/shell_win32.h"

#include <cstdio>
#include <new>
#include <string>

namespace {

void ErrorBoxKey(const char* key) { App_ErrorBox(Locale_GetString(key), key); }

void OnFirstField(LPARAM parameter) {
    AppState& app = App();
    const ScannerLink& link = ScannerLink_Get();
    if (link.beginCapture) link.beginCapture(static_cast<int32_t>(parameter));
    App_ResetScreenSaverTimer();
    ScanControl_OnFirstField();
    if (app.cameraCapture || app.busyState != kBusyScanning) return;
    if (link.refreshDeviceText) link.refreshDeviceText();
    ScanHeader connected = app.raw->Header;
    if (link.connectedWand &&
        link.connectedWand(connected.WandSerialNumber, connected.VideoProcessorRevision, connected.WandReceiverOffset))
        app.raw->Header.WandReceiverOffset = connected.WandReceiverOffset;
    if (link.clearSweepWord) link.clearSweepWord();
    CloseToolWindows(-1);
}

void OnLastField() {
    AppState& app = App();
    if (app.cameraCapture) {
        ScanControl_EndCameraLogPress();
    } else if (app.busyState == kBusyScanning) {
        if (ScannerLink_Get().endOfSweep) ScannerLink_Get().endOfSweep();
        app.busyState = kBusyIdle;
    }
    StatusBar_Update();
}

void OnSerialNumberMismatch(LPARAM parameter) {
    MessageBeep(MB_OK);
    char serial[16];
    std::snprintf(serial, sizeof serial, "%3d", static_cast<int>(parameter));
    try {
        std::string text;
        Locale_FormatStringWithText(text, "serial_number", serial, "ErrorCalFileWrong");
        App_ErrorBox(text, "ErrorCalFileWrong");
    } catch (const std::bad_alloc&) {
        ErrorBoxKey("ErrorOutOfMemory");
    }
}

void OnUnrecoverableError() {
    AppState& app = App();
    MessageBeep(MB_OK);
    if (app.settings.ScannerEnabled) {
        Scanner_Stop();
        app.settings.ScannerEnabled = 0;
        // The menus and the status bar show the scanner switched off.
        App_RefreshUi();
    }
    ErrorBoxKey("ErrorHWReset");
}

// The scanner properties dialog shows the USB driver's state itself.
void OnUsbError(const char* key) {
    const ScannerLink& link = ScannerLink_Get();
    if (link.scannerPropertiesWindow && link.scannerPropertiesWindow()) return;
    MessageBeep(MB_OK);
    ErrorBoxKey(key);
}

}  // namespace

void OnHardwareEvent(int32_t code, intptr_t parameter) {
    const char* name = HardwareEventName(code);
    TraceHardware("---> %s\n", name ? name : "?");
    if (code == Hardware_ONLINE_STATUS_CHANGED) TraceHardware(" %s\n", HwOnlineStateName(Scanner_OnlineState()));
    WindowId window = 0;
    uint32_t message = 0;
    const bool routed = HwEvent_Route(code, reinterpret_cast<WindowId>(Shell().main), window, message);
    const bool posted = routed && PostMessageA(reinterpret_cast<HWND>(window), message, 0, parameter);
    if (!posted && code == Hardware_UNSUPPORTED_FREQUENCY) HwEvent_FreeOwnedText(parameter);
}

void App_OnHardwareMessage(HWND window, UINT message, LPARAM parameter) {
    AppState& app = App();
    const ScannerLink& link = ScannerLink_Get();
    switch (message - kMsgHardwareFirst) {
        case 0:
            OnFirstField(parameter);
            break;
        case 1:
            OnLastField();
            break;
        case 2:
            if (link.onNewFieldReady) link.onNewFieldReady(parameter);
            break;
        case 3:
            App_RefreshUi();
            if (link.scannerPropertiesWindow)
                if (const std::uintptr_t dialog = link.scannerPropertiesWindow())
                    SendMessageA(reinterpret_cast<HWND>(dialog), kMsgPanelRefresh, 0, 0);
            break;
        case 4:
            MessageBeep(MB_ICONASTERISK);
            break;
        case 5:
            OnSerialNumberMismatch(parameter);
            break;
        case 6:
            if (link.onHemisphereSetupRequired) link.onHemisphereSetupRequired(parameter);
            if (app.busyState == kBusyScanning) app.busyState = kBusyIdle;
            break;
        case 7:
            OnUnrecoverableError();
            break;
        case 8:
            app.settings.VideoProcessorRevision = static_cast<int32_t>(parameter);
            Scanner_Restart();
            break;
        case 9:
            OnUsbError("ErrorUSBDriverNotInstalled");
            break;
        case 10:
            OnUsbError("ErrorUSBDriverInit");
            break;
        case 11:
            App_WarningBox(HwEvent_TakeOwnedText(parameter));
            break;
        case 12:
            if (!app.factoryMenuShown) App_WarningBox(Locale_GetString("ErrorCalFileBlank"), "ErrorCalFileBlank");
            break;
    }
}

void App_OnTriggerClickTimer(HWND window) {
    KillTimer(window, kTriggerClickTimer);
    AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    TriggerClickOps ops;
    ops.sendCommand = [window](int command) { SendMessageA(window, WM_COMMAND, command, 0); };
    ops.stylusMarkCount = [&app] { return app.raw->Stylus.GroupCount; };
    ops.scanProfileCount = [&app] { return app.raw->NumProfiles; };
    ops.trackedVector = [&hooks] { return hooks.trackedVector ? hooks.trackedVector() : Vec3{0.0f, 0.0f, 0.0f}; };
    ops.refresh = App_RefreshUi;
    ops.postRepaint = [] { App_PostRepaint(3); };
    ops.setAutoViewpoint = [&hooks] {
        if (hooks.setAutoViewpoint) hooks.setAutoViewpoint();
    };
    // Scan control counted the clicks of the presses.
    ScanControlState& scan = ScanControl_Program().state;
    app.clicks.clickCountScan = scan.ScanClickCount;
    app.clicks.clickCountStylus = scan.StylusClickCount;
    TriggerClickContext context{app.editions.tarrel, app.mode, scan.FieldSeen != 0};
    TriggerClick_OnTimer(app.clicks, app.settings, app.view, context, ops);
    scan.ScanClickCount = app.clicks.clickCountScan;
    scan.StylusClickCount = app.clicks.clickCountStylus;
}

void App_ResetScreenSaverTimer() {
    BOOL active = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) || !active) return;
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
}
