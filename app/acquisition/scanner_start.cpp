#include "app/acquisition/scanner_start.h"

#include <mutex>
#include <new>

#include "app/acquisition/calibration_file.h"
#include "app/locale/locale_lookup.h"

namespace {

std::mutex g_hooksMutex;
ScannerStatusHooks g_hooks;

std::string g_lastPath;
std::int32_t g_lastStartFlag = 0;

void ShowWaitStatus(const char* text) {
    std::function<void(const char*)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        hook = g_hooks.showWaitStatus;
    }
    if (hook) hook(text);
}

void RefreshStatusBar() {
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(g_hooksMutex);
        hook = g_hooks.refreshStatusBar;
    }
    if (hook) hook();
}

struct MessageRow {
    std::int32_t result;
    MessageKind kind;
    const char* key;
    bool hiddenByProperties;
};

constexpr MessageRow kMessages[] = {
    {HardwareStart_ACCESS_DENIED, MessageKind::Error, "ErrorHwBusy", false},
    {2, MessageKind::Error, "ErrorCalFileInvalid", false},
    {HardwareStart_NO_PRIVILEGE, MessageKind::Error, "ErrorInsufficientUserPriviledges", false},
    {HardwareStart_OUT_OF_MEMORY, MessageKind::Error, "ErrorOutOfMemory", false},
    {5, MessageKind::Error, "ErrorHwNotSupported", false},
    {6, MessageKind::Error, "ErrorCalFileOpen", true},
    {7, MessageKind::Error, "ErrorCalFileRead", false},
    {HardwareStart_DEVICE_NOT_OPENED, MessageKind::Error, "ErrorHwPortAcquistion", true},
    {HardwareStart_NOT_STOPPED, MessageKind::Error, "ErrorHwShutdown", false},
    {HardwareStart_DRIVER_UNSUITED, MessageKind::Error, "ErrorUSBDriverWrongVersion", false},
    {HardwareStart_TRACKER_HOLDS_SETUP, MessageKind::Warning, "ErrorHwPowerCycle", false},
};

bool Start(std::string& fullPath, std::string& fileName, std::int32_t startFlag, ScannerStartRequest& request,
           bool mayRetry) {
    fileName = FindCalibrationFile(request.calibrationFolder, fileName, fullPath);
    g_lastPath = fullPath;
    g_lastStartFlag = startFlag;

    ShowWaitStatus(Locale_GetString("WaitCursorScannerInit"));
    const std::int32_t result = StartHardware(request.useUsb, fullPath, request.frequencyMode,
                                              request.secondPortOption, startFlag, &request.scanner);
    ShowWaitStatus(nullptr);
    RefreshStatusBar();
    if (result == HardwareStart_STARTED) return true;

    ReportStartResult(result, request.propertiesDialogOpen);
    if (result == HardwareStart_TRACKER_HOLDS_SETUP && mayRetry) {
        fileName = request.settingsFileName;
        return Start(fullPath, fileName, 0, request, false);
    }
    return false;
}

}  // namespace

void SetScannerStatusHooks(ScannerStatusHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

StartResultMessage StartResultMessageFor(std::int32_t result, bool propertiesDialogOpen) {
    StartResultMessage message;
    if (result == HardwareStart_STARTED) return message;
    for (const MessageRow& row : kMessages) {
        if (row.result != result) continue;
        message.shown = !(row.hiddenByProperties && propertiesDialogOpen);
        message.kind = row.kind;
        message.key = row.key;
        return message;
    }
    message.shown = true;
    message.key = "ErrorUnexpected";
    message.withErrorNumber = true;
    return message;
}

void ReportStartResult(std::int32_t result, bool propertiesDialogOpen) {
    const StartResultMessage message = StartResultMessageFor(result, propertiesDialogOpen);
    if (!message.shown) return;
    AppMessage box;
    box.kind = message.kind;
    box.textKey = message.key;
    try {
        if (message.withErrorNumber)
            Locale_FormatStringWithInt(box.text, "err_num", result, message.key);
        else
            box.text = Locale_GetString(message.key);
    } catch (const std::bad_alloc&) {
        box.textKey = "ErrorOutOfMemory";
        box.text = Locale_GetString("ErrorOutOfMemory");
    }
    App_ShowMessage(box);
}

bool InitScanner(std::string& fullPath, std::string& fileName, std::int32_t startFlag, ScannerStartRequest& request) {
    return Start(fullPath, fileName, startFlag, request, true);
}

bool InitScannerWithCalibration(std::string& fileName, std::string& fullPath, ScannerStartRequest& request) {
    return InitScanner(fullPath, fileName, 0, request);
}

bool ReinitScanner(std::string& fileName, ScannerStartRequest& request) {
    std::string path = g_lastPath;
    const bool started = InitScanner(path, fileName, g_lastStartFlag, request);
    return started;
}
