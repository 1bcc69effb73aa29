// The Scanner menu's reference commands: the switch between transmitter
// and receiver as reference (with the Change Reference dialog when there is
// scan data) and the factory menu's conversion of the scan.
#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/scan_reference.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/commands_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/reference_windows_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"

#include <new>

namespace {

constexpr int kChangeReferenceTemplate = 309;
constexpr int kNewScanButton = 1482;
constexpr int kRepairScanButton = 1348;

class ChangeReferenceDialog : public Dialog {
  public:
    int GetTemplateId() const override { return kChangeReferenceTemplate; }
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            Locale_LocaliseDialog(Window(), kChangeReferenceTemplate);
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        switch (LOWORD(wParam)) {
            case kNewScanButton:
                EndDialog(Window(), 1);
                return TRUE;
            case kRepairScanButton:
                EndDialog(Window(), 2);
                return TRUE;
            case IDCANCEL:
            case 8:
                EndDialog(Window(), 0);
                return TRUE;
        }
        return FALSE;
    }
};

ReferenceChooser& Chooser() {
    static ReferenceChooser chooser;
    return chooser;
}

int ChooseReferenceAction() {
    if (Chooser()) return Chooser()();
    ChangeReferenceDialog dialog;
    return static_cast<int>(dialog.RunModal(Shell().main));
}

void CloseScan() {
    if (Shell_Hooks().unloadScan) Shell_Hooks().unloadScan(false);
}

void SetReference(int32_t value) {
    App().settings.ReceiverEnabled = value;
    SetWandReferenceOption(value);
}

// The scan's data is now in the other frame: its points are made again.
void ReexpressScan(RawData& raw) {
    AppState& app = App();
    ChangeReference(raw, app.view);
    try {
        Scan_RemakeDerivedPoints(raw, app.settings.ProfileFilterLength, app.settings.RawResolutionClip[1]);
    } catch (const std::bad_alloc&) {
        App_ErrorBoxOfKey("ErrorOutOfMemory");
    }
    if (Shell_Hooks().resetScanState) Shell_Hooks().resetScanState();
    if (Shell_Hooks().notifyPanels) Shell_Hooks().notifyPanels();
    App_PostRepaint(3);
}

}  // namespace

void ReferenceCommands_SetChooser(ReferenceChooser chooser) { Chooser() = std::move(chooser); }

void ReferenceCommand_Change(int32_t value) {
    AppState& app = App();
    if (value == app.settings.ReceiverEnabled) return;
    if (!app.raw || app.raw->NumProfiles <= 0) {
        CloseScan();
        SetReference(value);
        return;
    }
    switch (ChooseReferenceAction()) {
        case 1:
            CloseScan();
            SetReference(value);
            break;
        case 2:
            if (!RawData_CheckReferenceMatrices(*app.raw)) {
                App_ErrorBoxOfKey("ChangeReferenceReceiverUnavialable");
                break;
            }
            ReexpressScan(*app.raw);
            // The next hemisphere set-up offers to keep the repaired scan.
            Hemisphere_KeepDataDefault() = 1;
            SetReference(value);
            break;
        default:
            break;
    }
}

void ReferenceCommand_Swap() {
    AppState& app = App();
    if (!app.raw || app.raw->NumProfiles <= 0) return;
    const char* direction = app.raw->Profiles[0].ReferenceEnabled ? "Receiver is Reference to Transmitter is Reference"
                                                                  : "Transmitter is Reference to Receiver is Reference";
    const std::string question = std::string("Do you want to convert the scan from ") + direction + " ?";
    if (Commands_Ask(question, Brand_Get().product) != IDYES) return;
    if (!RawData_CheckReferenceMatrices(*app.raw)) {
        App_ErrorBoxOfKey("ChangeReferenceReceiverUnavialable");
        return;
    }
    ReexpressScan(*app.raw);
}
