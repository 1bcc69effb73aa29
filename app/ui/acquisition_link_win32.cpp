#include "app/ui/acquisition_link.h"

#include "app/ui/calibration_checks_win32.h"
#include "app/ui/reference_windows_win32.h"
#include "app/ui/scan_control_link.h"
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
    SetScannerStatusHooks({[](const char* text) { App_ShowWaitStatus(text); }, [] { StatusBar_Update(); }});
}
