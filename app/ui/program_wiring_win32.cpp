#include "app/ui/program_wiring_win32.h"

#include "app/ui/acquisition_link.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scan_document_win32.h"
#include "app/ui/settings_dialogs_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/surface_library.h"
#include "app/ui/toolbar_win32.h"
#include "app/ui/view_mouse_win32.h"
#include "app/ui/view_window_win32.h"

void Program_ConnectShell() {
    Commands_ConnectShell();
    // The scan document answers the shell's close, start-up file and change hooks.
    ScanDoc_ConnectShell();
    View_ConnectShell();
    // The surface library: bound at start-up, freed with the surfaces, given a loaded scan's fit.
    SurfaceLibrary_ConnectShell();
    SurfaceDialogs_ConnectShell();
    // Scanner acquisition takes its part in the shell before the window starts it.
    Acquisition_ConnectShell();
    ViewMouse_ConnectShell();
    SettingsDialogs_ConnectShell();
    ListPanels_ConnectShell();
    Toolbars_ConnectShell();
}
