#include "app/ui/acquisition_link.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/ui/calibration_checks_win32.h"
#include "app/ui/reference_windows_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scan_document.h"
#include "app/ui/scanner_dialogs_win32.h"
#include "app/ui/shell_win32.h"

void Acquisition_ConnectShell() {
    Acquisition_InstallScannerLink();
    // Scan control handles the field events.
    ScanControl_InstallLink();
    ScanControl_InstallWin32Host();
    ReferenceWindows_Install();
    ScannerDialogs_Install();
    CalibrationChecks_Install();
    // Closing the scan re-arms scan control's one-shot steps for the next
    // scan and lets go of a frozen receiver.
    ScanDocServices& document = ScanDoc_Services();
    document.resetFieldHandler = [] {
        ScanControl_ResetScan(ScanControl_Program());
        ClearFrozenReceiver();
    };
    // A loaded scan's reference mode reaches the tracker commands and the
    // field checks as well as the menus.
    document.applyReceiverOption = [](bool receiver) { SetWandReferenceOption(receiver ? 1 : 0); };
    SetScannerStatusHooks({[](const char* text) { App_ShowWaitStatus(text); }, [] { StatusBar_Update(); }});
}
