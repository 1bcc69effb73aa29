#include "app/ui/acquisition_link.h"

#include "app/ui/shell_win32.h"

void Acquisition_ConnectShell() {
    Acquisition_InstallScannerLink();
    SetScannerStatusHooks({[](const char* text) { App_ShowWaitStatus(text); }, [] { StatusBar_Update(); }});
}
