// The program's one message loop and its filters.
#include "app/ui/app_state.h"
#include "app/ui/beep_coalescer.h"
#include "app/ui/key_filter.h"
#include "app/ui/shell_win32.h"

namespace {

BeepCoalescer g_beeps;

// Key, mouse, posted, timer, paint and hot-key input; sent messages do not
// count.
bool InputQueued() { return HIWORD(GetQueueStatus(0xBF)) != 0; }

}  // namespace

bool App_KeyFilter(HWND window, const MSG& message) {
    const AppState& app = App();
    if (!App_KeyFilterTakes(message.message, message.wParam, app.editions.tarrel, app.editions.pemmler)) return false;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(kCommandStylusMarkBumps, 1), 0);
    return true;
}

bool App_FilterLoopMessage(MSG& message) {
    ShellWindows& shell = Shell();
    if (ShellWin32Hooks& hooks = Shell_Win32Hooks(); hooks.spaceMouseFilter && hooks.spaceMouseFilter(message))
        return false;
    if (g_beeps.Take(message.message)) return false;
    for (HWND dialog : shell.modeless)
        if (dialog && IsWindow(dialog) && IsDialogMessageA(dialog, &message)) return false;
    if (App_KeyFilter(message.hwnd, message)) return false;
    if (shell.accelerators && TranslateAcceleratorA(message.hwnd, shell.accelerators, &message)) return false;
    return true;
}

int App_RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (App_FilterLoopMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        g_beeps.AfterMessage(InputQueued(), [] { Beep(2000, 60); });
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : 0;
}
