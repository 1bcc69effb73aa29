#include "app/ui/calibration_checks_win32.h"

#include "app/acquisition/alignment_check.h"
#include "app/acquisition/calibration_correction.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/calibration_update.h"
#include "app/acquisition/hardware_info.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_variables.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/commands_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {

// ---- Shared ---------------------------------------------------------------------------

HardwareInfo CurrentHardware() {
    HardwareInfo info{};
    GetHardwareDriverInfo(info);
    return info;
}

constexpr WORD kTransmitterIsReference = 40097, kReceiverIsReference = 40098;

// "Select the ... reference mode" with the menu text of the mode to choose,
// as the menu shows it: a box shows a mnemonic's marker as it stands.
void SelectReferenceBox(WORD modeCommand) {
    std::string text;
    try {
        Locale_FormatString(text, "StandardDialogSelectRef",
                            Locale_NewStringVariable("reference_mode", Command_Label(modeCommand).c_str()), nullptr);
    } catch (const std::bad_alloc&) {
        App_ErrorBoxOfKey("ErrorOutOfMemory");
        return;
    }
    App_WarningBox(text, "StandardDialogSelectRef");
}

int AskBox(const std::string& text, UINT flags) {
    return MessageBoxA(Shell().main, text.c_str(), App_GetProductName(), flags);
}

bool CloseScan(bool ask) { return !Shell_Hooks().unloadScan || Shell_Hooks().unloadScan(ask); }

// ---- Alignment check ------------------------------------------------------------------

INT_PTR CALLBACK AlignmentInstructionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Locale_LocaliseDialog(dialog, kAlignmentInstructionsTemplate);
            SetDlgItemTextA(dialog, kAlignmentInstructionsText, Locale_GetString("AlignmentCheckInstructions"));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam) == IDOK ? TRUE : FALSE);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

// The verdict's box; true when the user asks for another pass.
bool AlignmentVerdictBox(const AlignmentOutcome& outcome) {
    const char* key = AlignmentCheck_MessageKey(outcome.verdict);
    if (outcome.verdict != AlignmentVerdict::Result) {
        const UINT icon = outcome.verdict == AlignmentVerdict::WandTooFar ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
        return AskBox(Locale_GetString(key), MB_OKCANCEL | icon) == IDOK;
    }
    std::string text;
    Locale_FormatString(text, key, Locale_NewStringVariable("manual_name", "Tolvaran"),
                        Locale_NewNumberVariable("factor", outcome.factor, 2), nullptr);
    return AskBox(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void AlignmentPasses(RawData* raw, float farLimit) {
    for (;;) {
        ScanDoc_ClearRecord();
        App_SendRepaint(3);
        const INT_PTR go = DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kAlignmentInstructionsTemplate),
                                           Shell().main, AlignmentInstructionsProc, 0);
        if (go != TRUE) return;
        RawData* scan = App().raw ? App().raw : raw;
        if (!scan) return;
        const AlignmentOutcome outcome = AlignmentCheck_Verdict(AlignmentCheck_Measure(*scan, farLimit));
        try {
            if (!AlignmentVerdictBox(outcome)) return;
        } catch (const std::bad_alloc&) {
            App_ErrorBoxOfKey("ErrorOutOfMemory");
            return;
        }
    }
}

// ---- Calibration correction -----------------------------------------------------------

struct CorrectionParameters {
    char path[1024];
    RawData* raw;
    HardwareInfo hardware;
};

struct CorrectionWindow {
    HWND window = nullptr;
    const CorrectionParameters* parameters = nullptr;
    LutTweak reset{}, result{};
    bool zeroPopped = false;
    HFONT bold = nullptr;
    HBITMAP done = nullptr, notDone = nullptr;
};

CorrectionWindow g_window;

RawData* CorrectionScan() {
    if (App().raw) return App().raw;
    return g_window.parameters ? g_window.parameters->raw : nullptr;
}

int32_t ScanSweeps() {
    const RawData* raw = CorrectionScan();
    return raw ? raw->NumSweeps : 0;
}

void CorrectionStatus(const char* key) {
    SetDlgItemTextA(g_window.window, kCorrectionStatusText, Locale_GetString(key));
}

void PushZeroTweak() {
    LutTweak zero{};
    std::memcpy(zero.date, g_window.reset.date, sizeof zero.date);
    LutTweaks_Push(zero);
    g_window.zeroPopped = false;
}

void PopZeroTweakOnce() {
    if (g_window.zeroPopped) return;
    LutTweaks_Pop();
    g_window.zeroPopped = true;
}

HBITMAP SolidIndicator(HWND dialog, COLORREF fill) {
    HDC screen = GetDC(dialog);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT all = {0, 0, 16, 16};
    HBRUSH frame = CreateSolidBrush(RGB(64, 64, 64));
    HBRUSH inside = CreateSolidBrush(fill);
    FillRect(memory, &all, frame);
    RECT inner = {2, 2, 14, 14};
    FillRect(memory, &inner, inside);
    DeleteObject(frame);
    DeleteObject(inside);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(dialog, screen);
    return bitmap;
}

void FillPassText(HWND dialog, int item, const char* key, const CorrectionPassValues& v) {
    std::string text;
    try {
        Locale_FormatString(text, key, Locale_NewIntVariable("distance_mm", v.distanceMm),
                            Locale_NewIntVariable("distance_inches", v.distanceInches),
                            Locale_NewIntVariable("sensitivity", v.sensitivity), nullptr);
    } catch (const std::bad_alloc&) {
        text.clear();
    }
    SetDlgItemTextA(dialog, item, text.c_str());
}

void BoldStatusFont(HWND dialog) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA description{};
    if (!font || !GetObjectA(font, sizeof description, &description)) return;
    description.lfWeight = 700;
    description.lfHeight += 2;
    g_window.bold = CreateFontIndirectA(&description);
    if (g_window.bold)
        SendDlgItemMessageA(dialog, kCorrectionStatusText, WM_SETFONT, reinterpret_cast<WPARAM>(g_window.bold), TRUE);
}

void OpenCorrectionWindow(HWND dialog, const CorrectionParameters* parameters) {
    Locale_LocaliseDialog(dialog, kCalibrationCorrectionTemplate);
    g_window.parameters = parameters;
    App_SetMode(kModeCalibrationCheck);
    App_PostRepaint(3);
    StatusBar_Update();
    CalibrationCorrection_InitRecords(g_window.result, g_window.reset, std::time(nullptr));
    PushZeroTweak();
    const CorrectionPassDistances passes = CalibrationCorrection_PassDistances(parameters->hardware.versionText);
    FillPassText(dialog, kCorrectionPassOneText, "CalibrationCorrectionPassOneInstructions", passes.passOne);
    FillPassText(dialog, kCorrectionPassTwoText, "CalibrationCorrectionPassTwoInstructions", passes.passTwo);
    BoldStatusFont(dialog);
    g_window.window = dialog;
    CorrectionStatus("CalCheckBeginStatusMsg");
    g_window.done = SolidIndicator(dialog, RGB(0, 176, 0));
    g_window.notDone = SolidIndicator(dialog, RGB(200, 200, 200));
    SendMessageA(dialog, kCorrectionMsgSweep, 0, 0);
}

void ShowSweeps(HWND dialog) {
    const int32_t sweeps = ScanSweeps();
    for (int k = 1; k <= kCorrectionSweeps; ++k) {
        HBITMAP image = sweeps >= k ? g_window.done : g_window.notDone;
        SendDlgItemMessageA(dialog, kCorrectionFirstIndicator + k - 1, STM_SETIMAGE, IMAGE_BITMAP,
                            reinterpret_cast<LPARAM>(image));
    }
    CorrectionStatus(CalibrationCorrection_SweepStatusKey(sweeps));
    EnableWindow(GetDlgItem(dialog, kCorrectionCompute), sweeps == kCorrectionSweeps);
}

bool WriteCalibration() { return UpdateCalibrationFile(g_window.parameters->path) == CalibrationUpdate_WRITTEN; }

void ResetCorrection() {
    LutTweaks_Push(g_window.reset);
    if (WriteCalibration())
        CorrectionStatus("CalCheckCalFileResetStatusMsg");
    else
        App_ErrorBoxOfKey("ErrorCalFileUpdate");
}

// ---- The one-channel confirmation -----------------------------------------------------

INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            Locale_LocaliseDialog(dialog, kCorrectionConfirmTemplate);
            const CorrectionSearch& search = *reinterpret_cast<const CorrectionSearch*>(lParam);
            char text[64];
            std::snprintf(text, sizeof text, "%.3f", search.result.oldRms[0]);
            SetDlgItemTextA(dialog, kConfirmOldRms, text);
            std::snprintf(text, sizeof text, "%.3f", search.result.newRms[0]);
            SetDlgItemTextA(dialog, kConfirmNewRms, text);
            const bool better = search.improvement > 0.0f;
            SetDlgItemTextA(dialog, kConfirmVerdict,
                            better ? "" : Locale_GetString("CalCheckCalFileNotUpdatedStatusMsg"));
            EnableWindow(GetDlgItem(dialog, kConfirmApply), better);
            // The focus on a button, not on a value, which would show selected.
            SetFocus(GetDlgItem(dialog, better ? kConfirmApply : kConfirmDiscard));
            return FALSE;
        }
        case WM_CTLCOLORSTATIC:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == kConfirmVerdict) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(255, 0, 0));
                SetBkMode(dc, TRANSPARENT);
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kConfirmApply:
                    if (IsWindowEnabled(GetDlgItem(dialog, kConfirmApply))) EndDialog(dialog, TRUE);
                    return TRUE;
                case kConfirmDiscard:
                case IDCANCEL:
                    EndDialog(dialog, FALSE);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

// Pushes the result and writes the file; the window closes either way.
void StoreResult(HWND dialog, bool showSuccess) {
    LutTweaks_Push(g_window.result);
    if (WriteCalibration()) {
        if (showSuccess)
            App_InfoBox(Locale_GetString("CalCheckCalFileUpdatedStatusMsg"), "CalCheckCalFileUpdatedStatusMsg");
    } else {
        App_ErrorBoxOfKey("ErrorCalFileUpdate");
    }
    EndDialog(dialog, TRUE);
}

void ComputeCorrection(HWND dialog) {
    RawData* raw = CorrectionScan();
    if (!raw || raw->NumSweeps != kCorrectionSweeps) {
        CorrectionStatus("CalCheckNotEnoughStatusMsg");
        return;
    }
    LutTweak current{};
    LutTweaks_GetNewest(current);
    App_ShowWaitStatus(Locale_GetString("WaitCursorComputingCorrection"));
    CorrectionStatus("CalCheckComputingCorrectionStatusMsg");
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const int32_t channels = g_window.parameters->hardware.channelCount >= 2 ? 2 : 1;
    CorrectionSearch search{};
    search.result = g_window.result;
    search.reset = g_window.reset;
    CalibrationCorrection_Search(*raw, CurrentCalibration(), channels, current, search);
    g_window.result = search.result;
    g_window.reset = search.reset;
    SetCursor(previous);
    App_ShowWaitStatus(nullptr);
    if (channels == 1) {
        const INT_PTR accepted = DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kCorrectionConfirmTemplate), dialog,
                                                 ConfirmProc, reinterpret_cast<LPARAM>(&search));
        if (accepted == TRUE) StoreResult(dialog, false);
        return;
    }
    if (!(search.improvement > 0.0f)) {
        CorrectionStatus("CalCheckCalFileNotUpdatedStatusMsg");
        return;
    }
    StoreResult(dialog, true);
}

void CorrectionCommand(HWND dialog, WORD id) {
    PopZeroTweakOnce();
    switch (id) {
        case kCorrectionReset:
            ResetCorrection();
            return;
        case IDOK:
        case kCorrectionCompute:
            ComputeCorrection(dialog);
            return;
        case IDCANCEL:
            EndDialog(dialog, FALSE);
            return;
    }
}

void CloseCorrectionWindow() {
    // A window closed before any command still holds the zero tweak pushed
    // at opening: it must not stay in the history the file is written from.
    PopZeroTweakOnce();
    g_window.window = nullptr;
    g_window.parameters = nullptr;
    for (HGDIOBJ* object : {reinterpret_cast<HGDIOBJ*>(&g_window.done), reinterpret_cast<HGDIOBJ*>(&g_window.notDone),
                            reinterpret_cast<HGDIOBJ*>(&g_window.bold)}) {
        if (*object) DeleteObject(*object);
        *object = nullptr;
    }
    App_SetMode(kModeScan);
    CloseScan(false);
    StatusBar_Update();
}

}  // namespace

void AlignmentCheckDialog(GeneralSettings& settings, RawData* raw) {
    const HardwareInfo hardware = CurrentHardware();
    if (settings.ReceiverEnabled != 0) {
        SelectReferenceBox(kTransmitterIsReference);
        return;
    }
    if (!CloseScan(true)) return;
    App_SetMode(kModeScan);
    const GeneralSettings saved = settings;
    AlignmentCheck_ApplyScanValues(settings);
    AlignmentPasses(raw, AlignmentCheck_FarLimit(hardware.versionText));
    settings = saved;
    CloseScan(false);
    App_SetMode(kModeScan);
}

void RunCalibrationCorrection(int32_t referenceMode, RawData* raw) {
    static CorrectionParameters parameters;
    parameters = CorrectionParameters{};
    parameters.hardware = CurrentHardware();
    const bool fixedWand = parameters.hardware.fixedWandProperty != 0;
    if (fixedWand != (referenceMode != 0)) {
        SelectReferenceBox(fixedWand ? kReceiverIsReference : kTransmitterIsReference);
        return;
    }
    const AppState& app = App();
    std::snprintf(parameters.path, sizeof parameters.path, "%s%s", app.programFolder.c_str(),
                  app.settings.HardwareConfigFilename);
    parameters.raw = raw;
    DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kCalibrationCorrectionTemplate), Shell().main,
                    CalibrationCorrectionWizard, reinterpret_cast<LPARAM>(&parameters));
}

INT_PTR CALLBACK CalibrationCorrectionWizard(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OpenCorrectionWindow(window, reinterpret_cast<const CorrectionParameters*>(lParam));
            return TRUE;
        case kCorrectionMsgAccepted: {
            Beep(2000, 30);
            MSG pending;
            while (PeekMessageA(&pending, window, kCorrectionMsgAccepted, kCorrectionMsgAccepted, PM_REMOVE)) {}
            return TRUE;
        }
        case kCorrectionMsgSweep:
            ShowSweeps(window);
            return TRUE;
        case kCorrectionMsgTooFast:
            CorrectionStatus("CalCheckTooFastStatusMsg");
            return TRUE;
        case kCorrectionMsgClearScan:
            PushZeroTweak();
            ScanDoc_ClearRecord();
            App_PostRepaint(3);
            ShowSweeps(window);
            return TRUE;
        case WM_COMMAND:
            CorrectionCommand(window, LOWORD(wParam));
            return TRUE;
        case WM_DESTROY:
            CloseCorrectionWindow();
            return FALSE;
    }
    return FALSE;
}

bool CalibrationCorrectionIsOpen() { return g_window.window != nullptr; }

void PostCalibrationCorrectionUpdate() {
    if (g_window.window) PostMessageA(g_window.window, kCorrectionMsgAccepted, 0, 0);
}

void SendCalibrationCorrection8081() {
    if (g_window.window) SendMessageA(g_window.window, kCorrectionMsgSweep, 0, 0);
}

void SendCalibrationCorrection8082() {
    if (g_window.window) SendMessageA(g_window.window, kCorrectionMsgTooFast, 0, 0);
}

void CalibrationCorrectionCommand() {
    if (!CloseScan(true)) return;
    RunCalibrationCorrection(App().settings.ReceiverEnabled, App().raw);
}

void AlignmentCheckCommand() { AlignmentCheckDialog(App().settings, App().raw); }

void CalibrationChecks_Install() {
    ScanControl_SetWindow(kWindowCorrection, [] { return reinterpret_cast<std::uintptr_t>(g_window.window); });
}
