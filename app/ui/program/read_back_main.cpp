// The program's test build: the shipped program's whole run, plus the one
// thing the headless checks need from inside it and a delivered program must
// never hold. A child OpenGL window does not reach the Xvfb screen under
// Wine, so the checks ask the view itself for its picture: every view window
// is subclassed as it is created, and answers WM_COPYDATA of the read-back
// kind by writing its front buffer to the path it carries.
#include "program_main.h"
#include "read_back_message.h"

#include "app/files/png_image.h"
#include "app/ui/view_window_win32.h"

#include <cstring>
#include <string>

namespace {

// The window property that keeps a view's own procedure; its name is also
// the marker by which the check of the shipped files knows this build.
constexpr char kViewProcProperty[] = "TolvaranTestHook.ViewProc";

LRESULT WriteReadBack(const COPYDATASTRUCT* data) {
    if (!data || data->dwData != kViewReadBackCopyData || !data->lpData || data->cbData == 0) return 0;
    const std::string path(static_cast<const char*>(data->lpData),
                           strnlen(static_cast<const char*>(data->lpData), data->cbData));
    Image image;
    const bool ok = View_ReadBack(image) && Png_SaveFile(image, path) == 1;
    Image_Free(&image);
    return ok ? 1 : 0;
}

LRESULT CALLBACK ReadBackViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC own = reinterpret_cast<WNDPROC>(GetPropA(window, kViewProcProperty));
    if (message == WM_COPYDATA) return WriteReadBack(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (message == WM_NCDESTROY) RemovePropA(window, kViewProcProperty);
    return own ? CallWindowProcA(own, window, message, wParam, lParam) : DefWindowProcA(window, message, wParam, lParam);
}

HHOOK g_creationHook = nullptr;

LRESULT CALLBACK OnWindowCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        HWND window = reinterpret_cast<HWND>(wParam);
        char name[32] = "";
        if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "KorvGraph") == 0) {
            const LONG_PTR own =
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ReadBackViewProc));
            SetPropA(window, kViewProcProperty, reinterpret_cast<HANDLE>(own));
        }
    }
    return CallNextHookEx(g_creationHook, code, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    g_creationHook = SetWindowsHookExA(WH_CBT, &OnWindowCreation, nullptr, GetCurrentThreadId());
    const int code = Program_Main(instance, showCommand);
    if (g_creationHook) UnhookWindowsHookEx(g_creationHook);
    return code;
}
