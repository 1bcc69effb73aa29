// Drives modal dialogs from a thread timer while they run: each step waits
// for a visible dialog of this thread that has its control, then acts on it
// until the action says it is done. A run that the steps cannot finish ends
// every dialog after about ten seconds, so no test hangs. Also: the pixels of
// a window as the screen shows it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace modal_driver {

struct Step {
    int control;
    std::function<bool(HWND dialog)> act;
};

inline std::deque<Step>& Steps() {
    static std::deque<Step> steps;
    return steps;
}
inline int& Ticks() {
    static int ticks = 0;
    return ticks;
}
inline int& TickLimit() {
    static int limit = 500;
    return limit;
}
inline bool& TimedOut() {
    static bool timedOut = false;
    return timedOut;
}

struct FindData {
    int control;
    HWND found;
};

inline BOOL CALLBACK FindDialog(HWND window, LPARAM parameter) {
    FindData* data = reinterpret_cast<FindData*>(parameter);
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770" && IsWindowVisible(window) && GetDlgItem(window, data->control)) {
        data->found = window;
        return FALSE;
    }
    return TRUE;
}

inline HWND DialogWith(int control) {
    FindData data = {control, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&data));
    return data.found;
}

inline BOOL CALLBACK EndAny(HWND window, LPARAM) {
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770") PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

inline VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (++Ticks() > TickLimit()) {
        TimedOut() = true;
        EnumThreadWindows(GetCurrentThreadId(), EndAny, 0);
        return;
    }
    if (Steps().empty()) return;
    HWND dialog = DialogWith(Steps().front().control);
    if (!dialog) return;
    const Step step = Steps().front();
    if (step.act(dialog)) Steps().pop_front();
}

class Driver {
  public:
    // tickLimit: the 20 ms ticks before every dialog is ended (a run of
    // real work may need more than the usual ten seconds).
    explicit Driver(std::deque<Step> steps, int tickLimit = 500) {
        Steps() = std::move(steps);
        Ticks() = 0;
        TickLimit() = tickLimit;
        TimedOut() = false;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~Driver() { KillTimer(nullptr, timer_); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    bool Finished() const { return Steps().empty() && !TimedOut(); }

  private:
    UINT_PTR timer_;
};

inline std::string ItemText(HWND dialog, int control) {
    char text[2048] = "";
    if (control == 0)
        GetWindowTextA(dialog, text, sizeof text);
    else
        GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

inline bool Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, id, 0);
    return true;
}

// The window's pixels as drawn on the screen (0x00RRGGBB each), after it
// has painted (or as it stands, without `redraw`); empty when they cannot be
// read. With a path, also written there as a 24-bit BMP file.
inline std::vector<unsigned> Screenshot(HWND window, const std::string& path = std::string(), bool redraw = true) {
    if (redraw) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<unsigned> pixels;
    if (w <= 0 || h <= 0) return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        SelectObject(memory, old);
        const unsigned* p = static_cast<const unsigned*>(bits);
        pixels.assign(p, p + static_cast<size_t>(w) * h);
        for (unsigned& v : pixels) v &= 0xFFFFFFu;
        if (!path.empty()) {
            if (FILE* f = std::fopen(path.c_str(), "wb")) {
                const int row = (w * 3 + 3) & ~3;
                BITMAPFILEHEADER fh = {};
                BITMAPINFOHEADER ih = {};
                fh.bfType = 0x4D42;
                fh.bfOffBits = sizeof fh + sizeof ih;
                fh.bfSize = fh.bfOffBits + static_cast<DWORD>(row) * h;
                ih.biSize = sizeof ih;
                ih.biWidth = w;
                ih.biHeight = h;
                ih.biPlanes = 1;
                ih.biBitCount = 24;
                std::fwrite(&fh, sizeof fh, 1, f);
                std::fwrite(&ih, sizeof ih, 1, f);
                std::vector<unsigned char> line(static_cast<size_t>(row), 0);
                for (int y = h - 1; y >= 0; --y) {
                    for (int x = 0; x < w; ++x) {
                        const unsigned v = pixels[static_cast<size_t>(y) * w + x];
                        line[x * 3 + 0] = static_cast<unsigned char>(v);
                        line[x * 3 + 1] = static_cast<unsigned char>(v >> 8);
                        line[x * 3 + 2] = static_cast<unsigned char>(v >> 16);
                    }
                    std::fwrite(line.data(), 1, line.size(), f);
                }
                std::fclose(f);
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The window's client area as the window draws it (erased and painted) into
// a picture of its own, 0x00RRGGBB each, row by row: no other window on the
// display can come between.
inline std::vector<unsigned> PrintedClient(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    std::vector<unsigned> pixels;
    if (r.right <= 0 || r.bottom <= 0) return pixels;
    BITMAPINFO bits = {};
    bits.bmiHeader.biSize = sizeof bits.bmiHeader;
    bits.bmiHeader.biWidth = r.right;
    bits.bmiHeader.biHeight = -r.bottom;
    bits.bmiHeader.biPlanes = 1;
    bits.bmiHeader.biBitCount = 32;
    void* data = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP picture = CreateDIBSection(dc, &bits, DIB_RGB_COLORS, &data, nullptr, 0);
    if (picture && data) {
        HGDIOBJ old = SelectObject(dc, picture);
        SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
        const unsigned* p = static_cast<const unsigned*>(data);
        pixels.assign(p, p + static_cast<size_t>(r.right) * r.bottom);
        for (unsigned& v : pixels) v &= 0xFFFFFFu;
        SelectObject(dc, old);
    }
    if (picture) DeleteObject(picture);
    DeleteDC(dc);
    return pixels;
}

// Pixels dark enough to be text.
inline size_t DarkPixels(const std::vector<unsigned>& pixels) {
    size_t dark = 0;
    for (unsigned v : pixels) dark += (v & 0xFF) < 0x40 && ((v >> 8) & 0xFF) < 0x40 && (v >> 16) < 0x40;
    return dark;
}

inline size_t DistinctColours(const std::vector<unsigned>& pixels) {
    return std::set<unsigned>(pixels.begin(), pixels.end()).size();
}

// A visible top-level window of a class of its own, with the window
// procedure given, to own the dialogs under test.
inline HWND MakeOwner(const char* className, WNDPROC proc, int x, int y, int width, int height) {
    WNDCLASSA c = {};
    c.lpfnWndProc = proc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = className;
    RegisterClassA(&c);
    return CreateWindowExA(0, className, "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height, nullptr,
                           nullptr, c.hInstance, nullptr);
}

// The tooltip window of this thread that has the control of the window as
// its tool, or null.
struct TipWindowSearch {
    HWND window, control, found;
};

inline BOOL CALLBACK FindTipWindow(HWND window, LPARAM parameter) {
    TipWindowSearch* search = reinterpret_cast<TipWindowSearch*>(parameter);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, "tooltips_class32") != 0) return TRUE;
    TOOLINFOA info = {};
    info.cbSize = sizeof info;
    info.hwnd = search->window;
    info.uId = reinterpret_cast<UINT_PTR>(search->control);
    if (!SendMessageA(window, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&info))) return TRUE;
    search->found = window;
    return FALSE;
}

inline HWND TipWindowOf(HWND window, HWND control) {
    TipWindowSearch search = {window, control, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindTipWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace modal_driver
