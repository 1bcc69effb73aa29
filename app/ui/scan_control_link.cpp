#include "app/ui/scan_control_link.h"

#include "app/acquisition/profile_build.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/hardware_info.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/scan/refraction.h"
#include "app/ui/app_state.h"
#include "app/ui/camera_log.h"
#include "app/ui/navigation.h"
#include "app/ui/scan_document.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

int32_t BuildFromRing(Profile& staging, const ScanProfileRequest& request, ScanFieldReport& report) {
    return BuildProfileFromField(staging, request.receiverEnabled, request.useFrozen, request.frozen, request.clipAngle,
                                 &report.scan, &report.stylus, &report.interlace, &report.mismatch,
                                 &report.hardwareValue);
}

bool HardwareFacts(ScanHardwareInfo& out) {
    if (!IsCalibrationLoaded()) return false;
    HardwareInfo info{};
    GetHardwareDriverInfo(info);
    out.identity = info.versionText;
    out.driverVersion = info.driverVersion;
    out.wandSerial = info.serialNumber;
    out.processingUnitVersion = info.unitVersion;
    out.fixedWand = info.fixedWandProperty;
    const std::time_t when = static_cast<std::time_t>(info.calibrationFileTime);
    const std::tm* local = std::localtime(&when);
    const char* text = local ? std::asctime(local) : nullptr;
    out.calibrationTime = text ? text : "";
    return true;
}

int32_t CameraCount() {
    HardwareInfo info{};
    GetHardwareDriverInfo(info);
    return info.channelCount > 0 ? info.channelCount : 2;
}

// The millisecond counter, wrapping as the system's does.
uint32_t MillisecondTick() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The shell's busy state and camera-log flag are the handlers' for the
// length of one call.
template <typename F>
void WithShellState(F handler) {
    AppState& app = App();
    ScanControl& control = ScanControl_OpenScan();
    control.state.BusyState = app.busyState;
    control.state.CameraLogMode = app.cameraCapture ? 1 : 0;
    handler(control);
    app.busyState = control.state.BusyState;
}

RingRunTotals g_ringTotals;

// The capture's ring figures, read at its end before the next capture
// counts afresh.
void AddCaptureToTotals() {
    HardwareStatistics s{};
    GetHardwareStatistics(s);
    g_ringTotals.mostWaiting = std::max(g_ringTotals.mostWaiting, s.maxFieldsWaiting);
    g_ringTotals.overruns += s.ringOverruns;
    ++g_ringTotals.captures;
}

}  // namespace

const RingRunTotals& ScanControl_RingTotals() { return g_ringTotals; }

ScanControl& ScanControl_Program() {
    static ScanControl control;
    return control;
}

ScanControl& ScanControl_OpenScan() {
    ScanControl& control = ScanControl_Program();
    control.raw = App().raw;
    return control;
}

TimerModeState& TimerMode_Program() {
    static TimerModeState timer;
    return timer;
}

void ScanControl_InstallLink() {
    AppState& app = App();
    ScanControl& control = ScanControl_Program();
    control.raw = app.raw;
    control.settings = &app.settings;
    control.view = &app.view;
    ScanControlHost& h = control.host;
    h.buildProfile = BuildFromRing;
    h.hardwareInfo = HardwareFacts;
    h.cameraCount = CameraCount;
    h.mode = [] { return App().mode; };
    h.setMode = [](int32_t mode) { App_SetMode(mode); };
    h.receiverFrozen = [] {
        const ShellHooks& hooks = Shell_Hooks();
        return hooks.receiverFrozen && hooks.receiverFrozen();
    };
    h.postRepaint = [](int32_t level) {
        if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(level);
    };
    h.sendRepaint = [](int32_t level) {
        if (Shell_Hooks().sendRepaint) Shell_Hooks().sendRepaint(level);
    };
    h.refreshUi = [] {
        if (Shell_Hooks().refreshUi) Shell_Hooks().refreshUi();
    };
    h.refreshSweepList = [] {
        if (Shell_Hooks().notifyPanels) Shell_Hooks().notifyPanels();
    };
    h.resetDerivedState = [] {
        if (Shell_Hooks().resetDerivedState) Shell_Hooks().resetDerivedState();
    };
    // The view follows the wand: its rotation at the first field with points,
    // the back warning while the wand looks towards the viewer, and the
    // view onto each new stylus item.
    h.autoViewpoint = [] {
        AppState& app = App();
        return app.raw ? Nav_AutoViewpoint(app.view, *app.raw, true) : int32_t{0};
    };
    h.wandBehind = [] {
        const AppState& app = App();
        return app.raw && Nav_WandFacesViewer(app.view, *app.raw);
    };
    h.stylusView = [](const Matrix4& pose) {
        Nav_ViewOntoPose(App().view, pose);
        if (Shell_Hooks().postRepaint) Shell_Hooks().postRepaint(3);
    };
    h.timerSkip = [] { return TimerMode_Tick(TimerMode_Program(), App().settings.Timer, MillisecondTick()); };
    h.stopTimerMode = [] { TimerMode_Stop(TimerMode_Program()); };
    h.nowSeconds = [] { return static_cast<int32_t>(std::time(nullptr)); };
    h.refractionOn = [] { return App().raw && App().raw->RefractionCorrected != 0; };
    h.applyRefraction = [](RawData& raw, int32_t firstProfile) { Refraction_Apply(raw, false, firstProfile); };
    h.cameraLogAdd = [](const Matrix4& wand) { CameraLog_Add(wand.m); };
    // A new scan's history starts at its first kept profile; a loaded scan
    // keeps the history it came with.
    h.formatCreator = [](RawData&, const char* creator) {
        if (!App().documentMetadata) ScanDoc_FormatCreatorString(creator);
    };
    h.copyCorrections = LutTweaks_CopyRecent;

    ScannerLink link = ScannerLink_Get();
    link.onNewFieldReady = [](std::intptr_t parameter) {
        WithShellState(
            [parameter](ScanControl& c) { ScanControl_OnNewFieldReady(c, static_cast<int32_t>(parameter)); });
    };
    link.endOfSweep = [] {
        AddCaptureToTotals();
        WithShellState([](ScanControl& c) { ScanControl_EndOfSweep(c); });
    };
    ScannerLink_Install(link);
}

void ScanControl_OnFirstField() {
    WithShellState([](ScanControl& c) { ScanControl_FirstField(c); });
}

void ScanControl_EndCameraLogPress() {
    // The camera log's press scanned nothing and counts no click.
    ScanControlState& state = ScanControl_Program().state;
    state.SweepClosed = 1;
    state.SweepRecorded = 1;
}
