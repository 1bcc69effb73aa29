// The program's start, run and end, shared by the shipped program and the
// test build that answers the headless checks' read-backs.
#include "program_main.h"

#include "app/locale/locale_lookup.h"
#include "app/locale/locale_loader.h"
#include "app/base/app_messages.h"
#include "app/ui/brand_info.h"
#include "app/ui/brand_package.h"
#include "app/ui/menus_win32.h"
#include "app/ui/pipe_queue.h"
#include "app/ui/program_wiring_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/shell_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace {

// The start failed before the window could show why: one error box, then a
// non-zero exit, so that neither the user nor a calling script mistakes it
// for a normal end.
int FailedStart(DWORD error) {
    std::string text;
    try {
        Locale_FormatStringWithInt(text, "err_num", static_cast<int32_t>(error), "ErrorUnexpected");
    } catch (...) {
        text = "The program could not create its main window.";
    }
    App_ErrorBox(text, "ErrorUnexpected");
    return 1;
}

// Where the program's output goes (a run under a script): how the field ring
// and the outbound pipe kept up over the run.
void PrintRunSummary() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    const RingRunTotals& ring = ScanControl_RingTotals();
    const PipeQueueCounts pipe = Pipe_Counts();
    std::printf("ring: %d captures, most fields waiting %d, overruns %d\n", static_cast<int>(ring.captures),
                static_cast<int>(ring.mostWaiting), static_cast<int>(ring.overruns));
    std::printf("pipe: records delivered %llu, dropped %llu, lost without a listener %llu\n",
                static_cast<unsigned long long>(pipe.delivered), static_cast<unsigned long long>(pipe.dropped),
                static_cast<unsigned long long>(pipe.lost));
    std::fflush(stdout);
}

}  // namespace

int Program_Main(HINSTANCE instance, int showCommand) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "English");
    // Every message from here on is a box, the locale's own included.
    App_InstallMessageBoxes();
    Locale_Load();

    Shell().instance = instance;
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0x1F7F};
    InitCommonControlsEx(&controls);
    Accel_Load(instance);
    Shell().accelerators = Accel_Get();
    Program_ConnectShell();
    // The branding package appended to this program file, read when the
    // state is reset at window creation and freed when the window closes.
    char programPath[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, programPath, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        BrandPackage_Install(programPath);
        Shell_Win32Hooks().freeBranding = BrandPackage_Free;
    }

    HWND main = App_CreateMainWindow(instance, showCommand);
    if (!main) return FailedStart(GetLastError());
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    if (hooks.openSpaceMouse) hooks.openSpaceMouse(App_GetProductName());

    const int code = App_RunMessageLoop();

    Accel_Destroy();
    Shell().accelerators = nullptr;
    if (hooks.closeSpaceMouse) hooks.closeSpaceMouse();
    PrintRunSummary();
    return code;
}
