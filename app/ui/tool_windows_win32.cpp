// The modeless tool windows that scan and file operations end first.
#include "app/ui/shell_win32.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<HWND>& ToolWindows() {
    static std::vector<HWND> windows;
    return windows;
}

}  // namespace

void ToolWindows_Register(HWND window) {
    std::vector<HWND>& windows = ToolWindows();
    if (std::find(windows.begin(), windows.end(), window) == windows.end()) windows.push_back(window);
}

void ToolWindows_Unregister(HWND window) {
    std::vector<HWND>& windows = ToolWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

void CloseToolWindows(int which) {
    // A window's destruction may unregister it: work on a copy.
    const std::vector<HWND> windows = ToolWindows();
    ToolWindows().clear();
    for (HWND window : windows)
        if (IsWindow(window)) DestroyWindow(window);
    App_RefreshUi();
}
