#include "app/ui/scanner_dialogs_win32.h"

#include "app/acquisition/calibration_state.h"
#include "app/acquisition/calibration_update.h"
#include "app/acquisition/hardware_diagnostics.h"
#include "app/acquisition/hardware_info.h"
#include "app/acquisition/hardware_status.h"
#include "app/acquisition/parallel_port_settings.h"
#include "app/acquisition/windows_version.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scanner_dialog_rules.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"
#include "app/ui/view_timings.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

HWND g_properties = nullptr;
HWND g_accuracy = nullptr;
int32_t g_accuracyTarget = 1;

constexpr UINT kMsgSweepEnded = WM_APP + 1;
constexpr UINT kMsgAccepted = WM_APP + 0x42;

// Scanner properties controls.
constexpr int kHardwareVersion = 1101, kPortType = 1102, kPortTypeLabel = 1310, kFrequency = 1119;
constexpr int kCalibrationFiles = 1311, kDriverEnabled = 1089, kExplanation = 1019, kDeviceManager = 1134;
constexpr int kLpt1 = 1082, kLpt2 = 1083, kDma1 = 1086, kDma3 = 1087, kPropertiesClose = 1053;
constexpr int kStatusDriver = 1302, kStatusUnit = 1298, kStatusTracker = 1300, kStatusData = 1299, kStatusCpu = 1301;

bool Nt4() { return GetWindowsVersion() == WindowsVersion::Nt4; }
bool Win2000OrLater() {
    const WindowsVersion v = GetWindowsVersion();
    return v == WindowsVersion::Win2000 || v == WindowsVersion::XpOrLater;
}

void ErrorBoxKey(const char* key) { App_ErrorBox(Locale_GetString(key), key); }

void StartScanner() {
    AppState& app = App();
    Scanner_Start(app.settings.HardwareConfigFilename, app.programFolder.c_str());
}

void AddComboText(HWND dialog, int item, const char* text) {
    SendDlgItemMessageA(dialog, item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int SelectedIndex(HWND dialog, int item) {
    return static_cast<int>(SendDlgItemMessageA(dialog, item, CB_GETCURSEL, 0, 0));
}

// The calibration files of the program folder, in name order.
std::vector<std::string> CalibrationFiles(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.cfg").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

void FillCalibrationFiles(HWND dialog) {
    const AppState& app = App();
    SendDlgItemMessageA(dialog, kCalibrationFiles, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> names = CalibrationFiles(app.programFolder);
    for (const std::string& name : names) AddComboText(dialog, kCalibrationFiles, name.c_str());
    const int pick = ScannerProps_PickCalibrationItem(names, app.settings.HardwareConfigFilename);
    SendDlgItemMessageA(dialog, kCalibrationFiles, CB_SETCURSEL, pick, 0);
}

void CheckRadio(HWND dialog, int first, int last, int chosen) {
    CheckRadioButton(dialog, first, last, chosen);
    if (chosen < first || chosen > last)
        for (int id = first; id <= last; ++id) CheckDlgButton(dialog, id, BST_UNCHECKED);
}

void ShowPortSettings(HWND dialog, bool enabled) {
    int32_t port = 0, dma = 0;
    if (!ReadParallelPortSettings(port, dma)) {
        ErrorBoxKey("ErrorReadEcpSettingsFailed");
        port = dma = 0;
    }
    CheckRadio(dialog, kLpt1, kLpt2, port == 1 ? kLpt1 : port == 2 ? kLpt2 : 0);
    CheckRadio(dialog, kDma1, kDma3, dma == 1 ? kDma1 : dma == 3 ? kDma3 : 0);
    for (int id : {kLpt1, kLpt2, kDma1, kDma3}) EnableWindow(GetDlgItem(dialog, id), enabled);
}

void RefreshProperties(HWND dialog) {
    const AppState& app = App();
    const GeneralSettings& g = app.settings;
    HardwareStatus status{};
    BuildHardwareStatus(status, g.ScannerEnabled != 0, Brand_Get().product.c_str());
    SetDlgItemTextA(dialog, kStatusDriver, status.driver);
    SetDlgItemTextA(dialog, kStatusUnit, status.processingUnit);
    SetDlgItemTextA(dialog, kStatusTracker, status.tracker);
    SetDlgItemTextA(dialog, kStatusData, status.scannerData);
    SetDlgItemTextA(dialog, kStatusCpu, status.ringBuffer);
    SendDlgItemMessageA(dialog, kHardwareVersion, CB_SETCURSEL, g.VideoProcessorRevision, 0);
    SendDlgItemMessageA(dialog, kFrequency, CB_SETCURSEL, g.QuadrelFrequency, 0);
    CheckDlgButton(dialog, kDriverEnabled, g.ScannerEnabled ? BST_CHECKED : BST_UNCHECKED);
    if (Nt4())
        ShowPortSettings(dialog, g.ScannerEnabled != 0);
    else
        SendDlgItemMessageA(dialog, kPortType, CB_SETCURSEL, g.HardwareDevice, 0);
    FillCalibrationFiles(dialog);
    SetDlgItemTextA(dialog, kExplanation, ScannerProps_ExplanationText(status.help).c_str());
}

void InitProperties(HWND dialog) {
    Locale_LocaliseDialog(dialog, Win2000OrLater() ? kScannerPropertiesTemplate : kScannerPropertiesNt4Template);
    g_properties = dialog;
    for (const char* version : {"0", "1", "2", "3"}) AddComboText(dialog, kHardwareVersion, version);
    for (const char* key : {"ScannerPropTrackFreq8kHz", "ScannerPropTrackFreq10kHz", "ScannerPropTrackFreq12kHz",
                            "ScannerPropTrackFreq14kHz"})
        AddComboText(dialog, kFrequency, Locale_GetString(key));
    EnableWindow(GetDlgItem(dialog, kFrequency), FALSE);
    if (GetWindowsVersion() == WindowsVersion::Win2000) {
        AddComboText(dialog, kPortType, Locale_GetString("ScannerPropOptionParallel"));
        AddComboText(dialog, kPortType, Locale_GetString("ScannerPropOptionUsb"));
    } else if (GetWindowsVersion() == WindowsVersion::XpOrLater) {
        ShowWindow(GetDlgItem(dialog, kPortTypeLabel), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, kPortType), SW_HIDE);
    }
    SendMessageA(dialog, kMsgPanelRefresh, 0, 0);
}

void RestartAndRefresh(HWND dialog) {
    StartScanner();
    SendMessageA(dialog, kMsgPanelRefresh, 0, 0);
}

void OpenDeviceManager() {
    const char* root = std::getenv("systemroot");
    if (!root) {
        ErrorBoxKey("ErrorDeviceManNotFound");
        return;
    }
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s\\system32\\devmgmt.msc", root);
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR PropertiesCommand(HWND dialog, WORD id, WORD code) {
    GeneralSettings& g = App().settings;
    switch (id) {
        case kPropertiesClose:
        case IDCANCEL:
            g_properties = nullptr;
            EndDialog(dialog, 0);
            return TRUE;
        case kLpt1:
            ScannerProps_ApplyPortSettings(1, dialog, 3);
            return TRUE;
        case kLpt2:
            ScannerProps_ApplyPortSettings(2, dialog, 1);
            return TRUE;
        case kDma1:
            ScannerProps_ApplyPortSettings(-1, dialog, 1);
            return TRUE;
        case kDma3:
            ScannerProps_ApplyPortSettings(-1, dialog, 3);
            return TRUE;
        case kDriverEnabled:
            g.ScannerEnabled = IsDlgButtonChecked(dialog, kDriverEnabled) == BST_CHECKED ? 1 : 0;
            if (g.ScannerEnabled)
                StartScanner();
            else
                Scanner_Stop();
            SendMessageA(dialog, kMsgPanelRefresh, 0, 0);
            return TRUE;
        case kDeviceManager:
            if (Win2000OrLater()) OpenDeviceManager();
            return TRUE;
    }
    if (code != CBN_SELCHANGE) return FALSE;
    switch (id) {
        case kHardwareVersion:
            g.VideoProcessorRevision = SelectedIndex(dialog, id);
            RestartAndRefresh(dialog);
            return FALSE;
        case kPortType:
            if (!Win2000OrLater()) return FALSE;
            g.HardwareDevice = SelectedIndex(dialog, id);
            RestartAndRefresh(dialog);
            return FALSE;
        case kFrequency:
            g.QuadrelFrequency = SelectedIndex(dialog, id);
            App_WarningBox(Locale_GetString("ErrorHwPowerCycle"), "ErrorHwPowerCycle");
            RestartAndRefresh(dialog);
            return FALSE;
        case kCalibrationFiles: {
            const int index = SelectedIndex(dialog, id);
            char name[sizeof g.HardwareConfigFilename] = "";
            const LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, index, 0);
            if (index >= 0 && length >= 0 && static_cast<size_t>(length) < sizeof name) {
                SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
                std::memcpy(g.HardwareConfigFilename, name, sizeof name);
            }
            RestartAndRefresh(dialog);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR CALLBACK ScannerPropertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            InitProperties(dialog);
            return TRUE;
        case kMsgPanelRefresh:
            RefreshProperties(dialog);
            return TRUE;
        case WM_COMMAND:
            return PropertiesCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        case WM_DESTROY:
            g_properties = nullptr;
            return FALSE;
    }
    return FALSE;
}

// ---- Accuracy check -------------------------------------------------------------------

constexpr int kSweepCount = 1350, kSummary = 1353, kRunning = 1354, kDotBox = 1359;
constexpr int kCopyRunning = 1360, kCopySummary = 1361, kReset = 1362, kTargetBox = 1395;
constexpr const char* kNoData = "<No Data>";

int32_t CameraCount() {
    HardwareInfo info{};
    GetHardwareDriverInfo(info);
    return info.channelCount > 0 ? info.channelCount : 2;
}

void AccuracyLog_Append(HWND box, const char* text) {
    DWORD start = 0, end = 0;
    SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const int length = GetWindowTextLengthA(box);
    SendMessageA(box, EM_SETSEL, length, length);
    SendMessageA(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageA(box, EM_SETSEL, start, end);
}

void Edit_CopyAllToClipboard(HWND dialog, int item) {
    HWND box = GetDlgItem(dialog, item);
    DWORD start = 0, end = 0;
    SendMessageA(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageA(box, EM_SETSEL, 0, -1);
    SendMessageA(box, WM_COPY, 0, 0);
    SendMessageA(box, EM_SETSEL, start, end);
}

void InitAccuracyCheck(HWND dialog) {
    g_accuracy = dialog;
    SetDlgItemInt(dialog, kSweepCount, 0, FALSE);
    CheckDlgButton(dialog, kDotBox, BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, kDotBox), FALSE);
    CheckDlgButton(dialog, kTargetBox, g_accuracyTarget ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(dialog, kRunning, kNoData);
    SetDlgItemTextA(dialog, kSummary, kNoData);
    if (App().mode != kModeAccuracyCheck) App_SetMode(kModeAccuracyCheck);
    App_RefreshUi();
    App_PostRepaint(3);
}

void ReportSweeps(HWND dialog) {
    const AppState& app = App();
    if (!app.raw) return;
    const int32_t reported = static_cast<int32_t>(GetDlgItemInt(dialog, kSweepCount, nullptr, FALSE));
    const int32_t reference = IsDlgButtonChecked(dialog, kDotBox) == BST_CHECKED ? 0 : 1;
    const AccuracyCheckUpdate update = AccuracyCheck_SweepsEnded(*app.raw, CameraCount(), reference, reported);
    if (!update.changed) return;
    if (update.clearReports) {
        SetDlgItemTextA(dialog, kRunning, "");
        SetDlgItemTextA(dialog, kSummary, "");
    }
    for (const std::string& text : update.running) AccuracyLog_Append(GetDlgItem(dialog, kRunning), text.c_str());
    SetDlgItemTextA(dialog, kSummary, update.summary.c_str());
    SetDlgItemInt(dialog, kSweepCount, static_cast<UINT>(update.reported), FALSE);
}

void CloseScanWithoutPrompt() {
    if (Shell_Hooks().unloadScan) Shell_Hooks().unloadScan(false);
}

INT_PTR CALLBACK AccuracyCheckDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            InitAccuracyCheck(dialog);
            return TRUE;
        case kMsgSweepEnded:
            ReportSweeps(dialog);
            return FALSE;
        case kMsgAccepted: {
            // One beep for a burst of accepted profiles.
            Beep(2000, 30);
            MSG pending;
            while (PeekMessageA(&pending, dialog, kMsgAccepted, kMsgAccepted, PM_REMOVE)) {}
            return TRUE;
        }
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY:
            g_accuracy = nullptr;
            CloseScanWithoutPrompt();
            App_SetMode(kModeScan);
            App_RefreshUi();
            App_PostRepaint(3);
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kCopyRunning:
                    Edit_CopyAllToClipboard(dialog, kRunning);
                    return TRUE;
                case kCopySummary:
                    Edit_CopyAllToClipboard(dialog, kSummary);
                    return TRUE;
                case kReset:
                    CloseScanWithoutPrompt();
                    SendMessageA(dialog, WM_INITDIALOG, 0, 0);
                    return TRUE;
                case kTargetBox:
                    g_accuracyTarget = IsDlgButtonChecked(dialog, kTargetBox) == BST_CHECKED ? 1 : 0;
                    return TRUE;
                case 1053:
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

// ---- Ring-buffer diagnostics ----------------------------------------------------------

constexpr int kDumpCount = 1031, kDumpName = 1032, kDump = 1033, kGraphicsText = 1034, kHardwareText = 1035;

std::string& DumpName() {
    static std::string name = "RingBuff.dat";
    return name;
}

std::string ModulePath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

void DumpRing(HWND dialog) {
    BOOL ok = FALSE;
    const int n = static_cast<int>(GetDlgItemInt(dialog, kDumpCount, &ok, TRUE));
    char name[1024] = "";
    GetDlgItemTextA(dialog, kDumpName, name, sizeof name);
    DumpName() = name;
    const std::string path = Diagnostics_DumpPath(ModulePath(), name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        App_ErrorBox("Can't open file");
        return;
    }
    DumpRingBuffer(file, ok ? n : 0);
    std::fclose(file);
}

INT_PTR CALLBACK RingBufferDiagnosticsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            SetDlgItemTextA(dialog, kGraphicsText, Diagnostics_GraphicsText(View_Timings()).c_str());
            std::string hardware;
            DumpRingBufferStats("", hardware);
            SetDlgItemTextA(dialog, kHardwareText, hardware.c_str());
            SetDlgItemInt(dialog, kDumpCount, 50, TRUE);
            SetDlgItemTextA(dialog, kDumpName, DumpName().c_str());
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kDump:
                    DumpRing(dialog);
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

// ---- Calibration update ---------------------------------------------------------------

constexpr int kTopLine = 1312, kTopCount = 1029, kBottomLine = 1030, kBottomCount = 1031;

float FirstNumber(HWND dialog, int item) {
    float value = 0.0f;
    if (!Dlg_GetItemFloats(dialog, item, 1, &value)) value = 0.0f;
    return value;
}

void UpdateCalibration(HWND dialog) {
    const AppState& app = App();
    const LutTweak tweak = CalibrationUpdate_MakeTweak(FirstNumber(dialog, kBottomLine), FirstNumber(dialog, kTopLine),
                                                       FirstNumber(dialog, kBottomCount),
                                                       FirstNumber(dialog, kTopCount), std::time(nullptr));
    LutTweaks_Push(tweak);
    const std::string path = app.programFolder + app.settings.HardwareConfigFilename;
    if (UpdateCalibrationFile(path) == CalibrationUpdate_WRITTEN) {
        App_InfoBox("Config file has been updated.");
        return;
    }
    // The history in memory stays the file's own.
    LutTweaks_Pop();
    App_ErrorBox("Error updating config file!");
}

INT_PTR CALLBACK CalibrationUpdateProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            for (int item : {kBottomLine, kBottomCount, kTopLine, kTopCount})
                Dlg_SetItemFloat(dialog, item, "%.1f", 0.0f);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                UpdateCalibration(dialog);
                EndDialog(dialog, 0);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

INT_PTR RunModal(int templateId, DLGPROC procedure) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(templateId), Shell().main, procedure, 0);
}

}  // namespace

INT_PTR ScannerProperties_Run() {
    return RunModal(Win2000OrLater() ? kScannerPropertiesTemplate : kScannerPropertiesNt4Template,
                    ScannerPropertiesDialogProc);
}

void CalibrationCheckCommand() {
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.unloadScan && !hooks.unloadScan(true)) return;
    RunModal(kAccuracyCheckTemplate, AccuracyCheckDialogProc);
}

INT_PTR RingBufferDiagnostics_Run() { return RunModal(kDiagnosticsTemplate, RingBufferDiagnosticsProc); }

INT_PTR CalibrationUpdate_Run() { return RunModal(kCalibrationUpdateTemplate, CalibrationUpdateProc); }

HWND ScannerPropertiesWindow() { return g_properties; }
HWND AccuracyCheckWindow() { return g_accuracy; }
int32_t& AccuracyTargetOption() { return g_accuracyTarget; }

void ScannerProps_ApplyPortSettings(int32_t port, HWND window, int32_t dmaChannel) {
    if (port <= 0) {
        int32_t dma = 0;
        if (!ReadParallelPortSettings(port, dma)) {
            ErrorBoxKey("ErrorReadEcpSettingsFailed");
            return;
        }
    }
    if (!WriteParallelPortSettings(port, dmaChannel)) {
        ErrorBoxKey("ErrorWriteEcpSettingsFailed");
        return;
    }
    StartScanner();
    SendMessageA(window, kMsgPanelRefresh, 0, 0);
}

void ScannerDialogs_Install() {
    ScannerLink link = ScannerLink_Get();
    link.scannerPropertiesWindow = [] { return reinterpret_cast<std::uintptr_t>(g_properties); };
    ScannerLink_Install(link);
    ScanControl_SetWindow(kWindowAccuracy, [] { return reinterpret_cast<std::uintptr_t>(g_accuracy); });
    ScanControl_Program().host.accuracyTargetOption = [] { return g_accuracyTarget != 0; };
}
