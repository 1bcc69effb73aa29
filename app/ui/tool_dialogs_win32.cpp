// The tool dialogs' commands.
#include "app/ui/tool_dialogs_win32.h"

#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"

bool ToolDialogs_Command(WORD id) {
    switch (id) {
        case 40250:
            App_SetMode(kModeScan);
            App_SendRepaint(3);
            RefractionDialog(Shell().main);
            return true;
        case 40101:
            StereoControlDialog(Shell().main);
            return true;
        case 40124:
            TextureCamera_Show(Shell().main);
            return true;
        case 40061:
            LightingColors_Show(Shell().main);
            return true;
        case 40105:
            ResourceValuesDialog(Shell().main);
            return true;
    }
    return false;
}
