#include "app/ui/ui_utilities_win32.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <string>

void Dlg_SetItemTextF(HWND dialog, int item, const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    SetDlgItemTextA(dialog, item, text);
}

void Wnd_ScreenToClientRect(HWND window, RECT* rect) {
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(rect), 2);
}

void Wnd_ClientToScreenRect(HWND window, RECT* rect) {
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(rect), 2);
}

namespace {

bool NtVersion(DWORD& major, DWORD& minor) {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info) || info.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
#pragma GCC diagnostic pop
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

}  // namespace

bool Os_IsWindows2000() {
    DWORD major, minor;
    return NtVersion(major, minor) && major == 5 && minor == 0;
}

bool Os_IsWindows2000OrLater() {
    DWORD major, minor;
    return NtVersion(major, minor) && major >= 5;
}

bool Os_IsXpOrLater() {
    DWORD major, minor;
    return NtVersion(major, minor) && (major > 5 || (major == 5 && minor >= 1));
}

bool Os_IsNt4() {
    DWORD major, minor;
    return NtVersion(major, minor) && major == 4;
}

int Wnd_TextHeight(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(length + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    RECT client;
    GetClientRect(window, &client);
    RECT measure = {0, 0, client.right, 0};
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(window, WM_GETFONT, 0, 0)));
    DrawTextA(dc, text.c_str(), length, &measure, DT_CALCRECT | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return measure.bottom - measure.top;
}

void Dlg_FitControl(HWND dialog, int item) {
    HWND control = GetDlgItem(dialog, item);
    if (!control) return;
    RECT client, own;
    GetClientRect(dialog, &client);
    GetWindowRect(control, &own);
    Wnd_ScreenToClientRect(dialog, &own);
    const int margin = own.left;  // the control keeps its own distance from the edges
    int right = client.right - margin, bottom = client.bottom - margin;
    for (HWND sibling = GetWindow(dialog, GW_CHILD); sibling; sibling = GetWindow(sibling, GW_HWNDNEXT)) {
        if (sibling == control || !IsWindowVisible(sibling)) continue;
        RECT r;
        GetWindowRect(sibling, &r);
        Wnd_ScreenToClientRect(dialog, &r);
        const bool besideRows = r.bottom > own.top && r.top < own.bottom;
        const bool belowColumns = r.right > own.left && r.left < own.right;
        if (r.left >= own.right && besideRows && r.left - margin < right) right = r.left - margin;
        if (r.top >= own.bottom && belowColumns && r.top - margin < bottom) bottom = r.top - margin;
    }
    MoveWindow(control, own.left, own.top, right - own.left, bottom - own.top, TRUE);
}

void Dlg_SetItemVec3(HWND dialog, int item, const Vec3& v) {
    Dlg_SetItemTextF(dialog, item, "%4.1f %4.1f %4.1f", v.x, v.y, v.z);
}

void Dlg_SetItemFloat(HWND dialog, int item, const char* format, float value) {
    Dlg_SetItemTextF(dialog, item, format, value);
}

bool Wnd_CursorInClient(HWND window, POINT* point) {
    GetCursorPos(point);
    ScreenToClient(window, point);
    RECT client;
    GetClientRect(window, &client);
    return PtInRect(&client, *point) != 0;
}

bool Dlg_GetItemFloats(HWND dialog, int item, int n, float* out) {
    char text[512] = "";
    GetDlgItemTextA(dialog, item, text, sizeof text);
    return Str_ParseFloats(text, n, out);
}

float Edit_ReformatNumber(HWND edit, const char* format, const ValueLimits& limits, float& value) {
    const int length = GetWindowTextLengthA(edit);
    std::string text(length + 1, '\0');
    GetWindowTextA(edit, text.data(), length + 1);
    std::string shown;
    value = Number_Reformat(text.c_str(), value, limits, format, shown);
    SetWindowTextA(edit, shown.c_str());
    return value;
}

namespace {

bool g_traceOn = false;

}  // namespace

void DebugTrace_Enable(bool on) { g_traceOn = on; }

void DebugTrace(const char* format, ...) {
    if (!g_traceOn) return;
    static const bool debugger = IsDebuggerPresent() != 0;
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (debugger) OutputDebugStringA(text);
    std::fputs(text, stderr);
}

int Dir_CheckCurrent(int (*call)(void* argument), void* argument) {
    char before[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof before, before);
    const int result = call(argument);
    char after[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof after, after);
    const char root[4] = {after[0], ':', '\\', '\0'};
    if (after[0] && after[1] == ':' && GetDriveTypeA(root) == DRIVE_REMOVABLE) SetCurrentDirectoryA(before);
    return result;
}

bool File_Exists(const char* path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

WindowLayout* Wnd_CreateLayout(HWND parent) {
    WindowLayout* layout = new WindowLayout;
    layout->parent = parent;
    RECT client;
    if (GetClientRect(parent, &client)) {
        layout->width = client.right;
        layout->height = client.bottom;
    }
    return layout;
}

void Wnd_AddLayoutChild(WindowLayout* layout, HWND child, uint32_t flags) {
    if (!layout || !child) return;
    RECT r;
    GetWindowRect(child, &r);
    Wnd_ScreenToClientRect(layout->parent, &r);
    layout->children.push_back({child, {r.left, r.top, r.right, r.bottom}, flags, true});
}

void Wnd_LayoutChildren(WindowLayout* layout) {
    if (!layout) return;
    RECT client;
    if (!GetClientRect(layout->parent, &client)) return;
    const int dx = client.right - layout->width, dy = client.bottom - layout->height;
    for (const WindowLayout::Child& child : layout->children) {
        const LayoutRect r = Layout_MoveRect(child.rect, child.flags, dx, dy);
        MoveWindow(child.window, r.left, r.top, r.right - r.left, r.bottom - r.top, child.repaint);
    }
}

void Wnd_FreeLayout(WindowLayout* layout) { delete layout; }

HBITMAP Gdi_CreatePicture32(int width, int height, void** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    if (bitmap && !*bits) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    return bitmap;
}

namespace {

uint8_t Over(uint8_t background, uint8_t value, uint8_t alpha) {
    return static_cast<uint8_t>(((255 - alpha) * background + alpha * value) / 255);
}

}  // namespace

HBITMAP Image_ToDib(const Image& image, COLORREF background) {
    const int32_t f = image.format;
    if ((f != kImageRgb && f != kImageRgba && f != kImageGrey && f != kImageGreyAlpha) || !image.pixels ||
        image.width <= 0 || image.height <= 0)
        return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = image.height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    const uint8_t back[3] = {GetRValue(background), GetGValue(background), GetBValue(background)};
    const int step = Image_BytesPerPixel(f);
    const size_t stride = (static_cast<size_t>(image.width) * 3 + 3) & ~static_cast<size_t>(3);
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* out = static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(image.height - 1 - y);
        const uint8_t* in = image.pixels + static_cast<size_t>(y) * image.width * step;
        for (int32_t x = 0; x < image.width; ++x, in += step, out += 3) {
            const bool grey = f == kImageGrey || f == kImageGreyAlpha;
            const uint8_t rgb[3] = {in[0], grey ? in[0] : in[1], grey ? in[0] : in[2]};
            const uint8_t alpha = f == kImageRgba ? in[3] : f == kImageGreyAlpha ? in[1] : 255;
            for (int c = 0; c < 3; ++c) out[2 - c] = Over(back[c], rgb[c], alpha);
        }
    }
    return bitmap;
}

void ListView_MakeMessageLog(HWND list, HINSTANCE instance, std::initializer_list<int> iconIds) {
    SendMessageA(list, LVM_SETBKCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    SendMessageA(list, LVM_SETTEXTBKCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, static_cast<int>(iconIds.size()), 0);
    for (int id : iconIds) {
        HICON icon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(images, icon);
        if (icon) DestroyIcon(icon);
    }
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}
