// The panel refresh broadcast and the manual.
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tool_dialogs_win32.h"

#include <shellapi.h>

#include <new>
#include <string>

void App_NotifyPanels() {
    CastInv_ApplyConsistencyRule(App().settings);
    const ShellWindows& shell = Shell();
    for (int slot : {kSlotGenerateSurface, kSlotTarrelPanel})
        if (shell.modeless[slot] && IsWindow(shell.modeless[slot]))
            SendMessageA(shell.modeless[slot], kMsgPanelRefresh, 0, 0);
    ListPanels_Refresh();
    Extents_Refresh();
    if (Shell_Hooks().updateMenuStates) Shell_Hooks().updateMenuStates();
}

void Help_OpenManual(const char* name) {
    const std::string path = App().programFolder + name;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        try {
            std::string text;
            Locale_FormatStringWithText(text, "file_name", path.c_str(), "ErrorManualFileNotFound");
            App_ErrorBox(text, "ErrorManualFileNotFound");
        } catch (const std::bad_alloc&) {
            App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
        }
        return;
    }
    ShellExecuteA(Shell().main, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
