// The menus, the command dispatch and the marker dialog take their places
// in the shell.
#include "app/ui/commands_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tarrel_panel_win32.h"
#include "app/ui/tool_dialogs_win32.h"
#include "app/ui/app_state.h"

void Commands_ConnectShell() {
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    hooks.buildMenus = Menus_BuildMainMenu;
    hooks.menuInfoText = FindCommandText;
    hooks.freeMenus = [] { FreeDynamicMenuTable(); };
    hooks.showFactoryMenu = Menus_ShowFactory;
    hooks.dispatchCommand = [](HWND, WPARAM wParam, LPARAM) { return MainWnd_OnCommand(LOWORD(wParam)) != 0; };
    hooks.startupWindows = [] {
        Extents_Start(Shell().main);
        if (App().editions.tarrel) TarrelPanel_Create(App().settings, App().raw);
        MarkerDialog_Create(Shell().main);
        AddStylusListListener();
    };
    hooks.closeWindows = [] {
        TarrelPanel_Destroy();
        MarkerDialog_Free();
        RemoveStylusListListener();
    };
    Shell_Hooks().updateMenuStates = Menu_UpdateStates;
    Shell_Hooks().markingLeft = [] { MarkerDialog_Show(false); };
}
