#include "app/ui/reference_windows_win32.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_info.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/scan_reference.h"
#include "app/acquisition/tracking_state.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/hw_event_routing.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"

#include <new>
#include <string>

namespace {

constexpr UINT kMsgFirstField = kMsgHardwareFirst + 0;
constexpr UINT kMsgLastField = kMsgHardwareFirst + 1;
constexpr UINT kMsgNewField = kMsgHardwareFirst + 2;
constexpr float kPageConeAngle = 60.0f;
constexpr const char* kPageProperty = "wandInstructor";

int32_t g_keepDataDefault = 0;
int32_t g_keepDataAnswer = 0;

struct HemisphereWindow {
    int32_t stylus = 0;
    int32_t receiver = 0;
    int32_t fieldSeen = 0;
} g_hemisphere;

Matrix4 g_frozenReceiver{};
int32_t g_receiverFrozen = 0;
Matrix4 g_capturedReference{};
Matrix4 g_capturedWand{};
MatrixCaptureStats g_capture;

ReferenceFieldSource& FieldSource() {
    static ReferenceFieldSource source;
    return source;
}

// Builds the next field into a local profile and frees it: the windows only
// need the poses, and the field must be consumed whoever holds the slot.
template <typename Use>
void ConsumeField(Use use) {
    Profile profile{};
    const int32_t built = FieldSource() ? FieldSource()(profile)
                                        : BuildProfileFromField(profile, 1, 0, nullptr, kPageConeAngle, nullptr,
                                                                nullptr, nullptr, nullptr, nullptr);
    if (built == kProfileBuilt) use(profile);
    RawData_ClearProfile(profile);
}

void BeginCapture(LPARAM parameter) {
    if (ScannerLink_Get().beginCapture) ScannerLink_Get().beginCapture(static_cast<int32_t>(parameter));
}

// Ends a window that holds an event slot: the slot is let go at once, so
// that the events of a press that begins while the window is still being
// taken down go to the main window, not to a window that is closing.
void EndHemisphereWindow(HWND window, INT_PTR result) {
    HwEventTarget_ReleasePriority(reinterpret_cast<WindowId>(window));
    EndDialog(window, result);
}

void EndPage(HWND window, INT_PTR result) {
    HwEventTarget_Release(reinterpret_cast<WindowId>(window));
    EndDialog(window, result);
}

void CloseScanWithoutPrompt() {
    if (Shell_Hooks().unloadScan) Shell_Hooks().unloadScan(false);
}

void SetItemKeyText(HWND window, int item, const char* key) { SetDlgItemTextA(window, item, Locale_GetString(key)); }

// ---- The hemisphere set-up window -----------------------------------------------

void HemisphereSetup_InitTexts(HWND window) {
    const bool stylus = g_hemisphere.stylus != 0;
    SetWindowTextA(window, Locale_GetString(stylus ? "StylusHemisphereSetupTitle" : "WandHemisphereSetupTitle"));
    const char* key =
        stylus ? (g_hemisphere.receiver ? "StylusHemisphereSetupInstructionsRX" : "StylusHemisphereSetupInstructionsTX")
               : (g_hemisphere.receiver ? "WandHemisphereSetupInstructionsRX" : "WandHemisphereSetupInstructionsTX");
    SetItemKeyText(window, kInstructionText, key);
    Dlg_FitControl(window, kInstructionText);
}

INT_PTR CALLBACK HemisphereSetupDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const int32_t* pair = reinterpret_cast<const int32_t*>(lParam);
            g_hemisphere.stylus = pair[0];
            g_hemisphere.receiver = pair[1];
            Locale_LocaliseDialog(window, kHemisphereTemplate);
            HemisphereSetup_InitTexts(window);
            g_hemisphere.fieldSeen = 0;
            HwEventTarget_ClaimPriority(reinterpret_cast<WindowId>(window));
            g_keepDataAnswer = g_keepDataDefault;
            if (g_hemisphere.stylus) ShowWindow(GetDlgItem(window, kKeepDataBox), SW_HIDE);
            CheckDlgButton(window, kKeepDataBox, g_keepDataDefault ? BST_CHECKED : BST_UNCHECKED);
            g_keepDataDefault = 0;
            return TRUE;
        }
        case WM_CLOSE:
            EndHemisphereWindow(window, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDCANCEL) return FALSE;
            EndHemisphereWindow(window, 0);
            return TRUE;
        case WM_DESTROY:
            g_keepDataAnswer = IsDlgButtonChecked(window, kKeepDataBox) == BST_CHECKED ? 1 : 0;
            HwEventTarget_ReleasePriority(reinterpret_cast<WindowId>(window));
            return FALSE;
        case kMsgFirstField:
            BeginCapture(lParam);
            g_hemisphere.fieldSeen = 1;
            return TRUE;
        case kMsgNewField:
            ConsumeField([](Profile&) {});
            return TRUE;
        case kMsgLastField: {
            const bool stylus = g_hemisphere.stylus != 0;
            const int32_t done =
                g_hemisphere.fieldSeen ? (stylus ? StylusHemisphereSetupDone() : HemisphereSetupDone()) : 0;
            if (done) {
                EndHemisphereWindow(window, 1);
            } else if (stylus) {
                SignalStylusTrackingState();
            } else {
                SignalWandTrackingState();
            }
            return TRUE;
        }
    }
    return FALSE;
}

// ---- Instruction pages ----------------------------------------------------------

struct InstructionPage {
    const char* title;
    const char* instructions;
    DLGPROC pageProc;
    LPARAM pageData;
};

INT_PTR CALLBACK InstructionPageDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        InstructionPage* page = reinterpret_cast<InstructionPage*>(lParam);
        SetPropA(window, kPageProperty, page);
        Locale_LocaliseDialog(window, kInstructionTemplate);
        SetWindowTextA(window, page->title);
        SetDlgItemTextA(window, kInstructionText, page->instructions);
        Dlg_FitControl(window, kInstructionText);
        return page->pageProc(window, message, wParam, page->pageData);
    }
    InstructionPage* page = static_cast<InstructionPage*>(GetPropA(window, kPageProperty));
    if (!page) return 0;
    if (message == WM_DESTROY) RemovePropA(window, kPageProperty);
    return page->pageProc(window, message, wParam, lParam);
}

INT_PTR RunPage(const char* titleKey, const char* instructionsKey, DLGPROC pageProc) {
    InstructionPage page{Locale_GetString(titleKey), Locale_GetString(instructionsKey), pageProc, 0};
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kInstructionTemplate), Shell().main,
                           InstructionPageDlgProc, reinterpret_cast<LPARAM>(&page));
}

// The end of a capture page's press: too few samples keep the page open;
// otherwise the user sees the spread and keeps the mean or tries again.
bool CapturePage_Finish(Matrix4& mean) {
    float spread = 0.0f;
    if (!MatrixCapture_Finish(g_capture, mean, spread)) {
        App_InfoBox(Locale_GetString("ChangeReferenceInsufficientDataMessage"),
                    "ChangeReferenceInsufficientDataMessage", "ChangeReferenceInsufficientDataTitle");
        return false;
    }
    std::string text;
    try {
        Locale_FormatStringWithNumber(text, "error", 4, "ChangeReferenceAccuracyMessage", spread * 10.0);
    } catch (const std::bad_alloc&) {
        App_ErrorBoxOfKey("ErrorOutOfMemory");
        return false;
    }
    return Commands_Ask(text, Locale_GetString("ChangeReferenceAccuracyTitle")) == IDYES;
}

// The capture page over a pose of the profile (G) and where the mean goes (S).
template <const Matrix4& (*Get)(const Profile&), Matrix4* Store>
INT_PTR CALLBACK WizardPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_capture.accumulating = 0;
            if (!HwEventTarget_Claim(reinterpret_cast<WindowId>(window))) EndDialog(window, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDCANCEL && LOWORD(wParam) != 8) return FALSE;
            EndPage(window, 0);
            return TRUE;
        case WM_DESTROY:
            HwEventTarget_Release(reinterpret_cast<WindowId>(window));
            return FALSE;
        case kMsgFirstField:
            BeginCapture(lParam);
            MatrixCapture_Begin(g_capture);
            return TRUE;
        case kMsgNewField:
            ConsumeField([](Profile& profile) { MatrixCapture_Add(g_capture, Get(profile)); });
            return TRUE;
        case kMsgLastField: {
            Matrix4 mean;
            if (CapturePage_Finish(mean)) {
                *Store = mean;
                EndPage(window, 1);
            }
            return TRUE;
        }
    }
    return FALSE;
}

const Matrix4& Profile_GetRawReferenceMatrix(const Profile& p) { return p.RawReferenceRxMatrix; }
const Matrix4& Profile_GetWandMatrix(const Profile& p) { return p.WandRxMatrix; }

constexpr DLGPROC ReferenceCapturePageProc = WizardPageProc<Profile_GetRawReferenceMatrix, &g_capturedReference>;
constexpr DLGPROC WandCapturePageProc = WizardPageProc<Profile_GetWandMatrix, &g_capturedWand>;

// Waits for the trigger: the press's first field goes on to the main window
// as usual and ends the page.
INT_PTR CALLBACK TriggerPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (!HwEventTarget_Claim(reinterpret_cast<WindowId>(window))) EndDialog(window, 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDCANCEL && LOWORD(wParam) != 8) return FALSE;
            EndPage(window, 0);
            return TRUE;
        case WM_DESTROY:
            HwEventTarget_Release(reinterpret_cast<WindowId>(window));
            return FALSE;
        case kMsgFirstField:
        case kMsgNewField:
            SendMessageA(GetParent(window), message, wParam, lParam);
            EndPage(window, 1);
            return TRUE;
        case kMsgLastField:
            SendMessageA(GetParent(window), message, wParam, lParam);
            return TRUE;
    }
    return FALSE;
}

bool FixedWand() {
    HardwareInfo info{};
    GetHardwareDriverInfo(info);
    return info.fixedWandProperty != 0;
}

void ApplyMove(RawData& raw, ViewSettings& view, const Matrix4& x) {
    Scan_ApplyMoveTransform(raw, x, view);
    // The extents, the box, the surfaces and the title follow the scan.
    Doc_MarkProcessed();
    App_PostRepaint(3);
}

}  // namespace

int32_t& Hemisphere_KeepDataDefault() { return g_keepDataDefault; }
int32_t Hemisphere_KeepDataAnswer() { return g_keepDataAnswer; }

INT_PTR RunHemisphereSetup(int32_t receiverEnabled, int32_t isStylus) {
    int32_t pair[2] = {isStylus, receiverEnabled};
    const INT_PTR result = DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kHemisphereTemplate), Shell().main,
                                           HemisphereSetupDlgProc, reinterpret_cast<LPARAM>(pair));
    if (result == 1) {
        if (!isStylus && !g_keepDataAnswer) CloseScanWithoutPrompt();
    } else {
        SetHemisphereSetting(kHemisphereAutomatic);
    }
    return result;
}

void OnHemisphereSetupRequired(std::intptr_t isStylus) {
    const int32_t receiver = App().settings.ReceiverEnabled;
    if (isStylus && receiver) {
        MessageBeep(MB_ICONEXCLAMATION);
        if (Commands_Ask(Locale_GetString("StylusHemisphereBadRefQuestion"),
                         Locale_GetString("StylusBadRefDlgTitle")) == IDYES) {
            PostMessageA(Shell().main, WM_COMMAND, 40097, 0);
            SetHemisphereSetting(kHemisphereAutomatic);
            return;
        }
    }
    MessageBeep(MB_ICONEXCLAMATION);
    RunHemisphereSetup(receiver, isStylus ? 1 : 0);
}

bool ReceiverFrozen() { return g_receiverFrozen != 0; }
const Matrix4& FrozenReceiverMatrix() { return g_frozenReceiver; }
void ClearFrozenReceiver() { g_receiverFrozen = 0; }

int RunFreezeReceiverWizard() {
    if (RunPage("FreezeReceiverPage1Title", "FreezeReceiverPage1Instructions", ReferenceCapturePageProc) != 1) return 0;
    g_frozenReceiver = g_capturedReference;
    g_receiverFrozen =
        RunPage("FreezeReceiverPage2Title", "FreezeReceiverPage2Instructions", TriggerPageProc) == 1 ? 1 : 0;
    return g_receiverFrozen;
}

int RunMoveReceiverWizard(RawData& raw, ViewSettings& view) {
    const bool fixed = FixedWand();
    const char* keys[4] = {"MoveReceiverPage1Title", "MoveReceiverPage1Instructions", "MoveReceiverPage2Title",
                           "MoveReceiverPage2Instructions"};
    if (fixed) {
        keys[0] = "MoveReceiverForTxWandPage1Title";
        keys[1] = "MoveReceiverForTxWandPage1Instructions";
        keys[2] = "MoveReceiverForTxWandPage2Title";
        keys[3] = "MoveReceiverForTxWandPage2Instructions";
    }
    if (RunPage(keys[0], keys[1], ReferenceCapturePageProc) != 1) return 0;
    const Matrix4 before = g_capturedReference;
    if (RunPage(keys[2], keys[3], ReferenceCapturePageProc) != 1) return 0;
    ApplyMove(raw, view, MoveReceiverTransform(before, g_capturedReference));
    return 1;
}

int RunMoveTransmitterWizard(RawData& raw, ViewSettings& view) {
    if (FixedWand()) {
        App_InfoBox("Illegal operation.");
        return 0;
    }
    if (RunPage("MoveTransmitterPage1Title", "MoveTransmitterPage1Instructions", WandCapturePageProc) != 1) return 0;
    const Matrix4 before = g_capturedWand;
    if (RunPage("MoveTransmitterPage2Title", "MoveTransmitterPage2Instructions", WandCapturePageProc) != 1) return 0;
    ApplyMove(raw, view, MoveTransmitterTransform(before, g_capturedWand));
    return 1;
}

void ReferenceWindows_SetFieldSource(ReferenceFieldSource source) { FieldSource() = std::move(source); }

void ReferenceWindows_Install() {
    Shell_Hooks().receiverFrozen = [] { return ReceiverFrozen(); };
    ScanControl_Program().host.frozenReceiver = [] { return FrozenReceiverMatrix(); };
    ScannerLink link = ScannerLink_Get();
    link.onHemisphereSetupRequired = OnHemisphereSetupRequired;
    ScannerLink_Install(link);
}
