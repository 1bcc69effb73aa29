// The "KorvDialog" window class of the program's dialogs, the brand
// placeholders in window texts, and the colour swatch control.
#include "app/ui/brand_placeholders.h"
#include "app/ui/shell_win32.h"

#include <cstdlib>
#include <string>

namespace {

struct SwatchState {
    COLORREF colour;
    HBRUSH brush;
};

// The edition panel and the marker dialog never show an inactive caption.
bool KeepsActiveCaption(HWND window) {
    const ShellWindows& shell = Shell();
    return window != nullptr && (window == shell.modeless[kSlotTarrelPanel] || window == shell.markerDialog);
}

BOOL CALLBACK ExpandChild(HWND child, LPARAM) {
    ExpandWindowText(child);
    return TRUE;
}

}  // namespace

void ExpandWindowText(HWND window) {
    char text[1024];
    if (GetWindowTextA(window, text, sizeof text) <= 0) return;
    std::string expanded;
    if (ExpandBrandPlaceholders(text, expanded)) SetWindowTextA(window, expanded.c_str());
}

void ExpandDialogTexts(HWND window) {
    ExpandWindowText(window);
    // Every descendant, however deep.
    EnumChildWindows(window, ExpandChild, 0);
}

LRESULT CALLBACK KorvDialog_WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) ExpandDialogTexts(window);
    if (message == WM_NCACTIVATE && KeepsActiveCaption(window)) wParam = TRUE;
    return DefDlgProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ColourSample_WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SwatchState* state = reinterpret_cast<SwatchState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            SwatchState* made = static_cast<SwatchState*>(std::calloc(1, sizeof(SwatchState)));
            if (!made) return -1;
            SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(made));
            return 0;
        }
        case kMsgColourSampleSet: {
            const COLORREF colour = static_cast<COLORREF>(lParam);
            // The first colour always takes: the state starts out black with
            // no brush, and a black sample must paint too.
            if (state && (!state->brush || colour != state->colour)) {
                if (state->brush) DeleteObject(state->brush);
                state->brush = CreateSolidBrush(colour);
                state->colour = colour;
                InvalidateRect(window, nullptr, TRUE);
            }
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            if (state && state->brush) FillRect(dc, &paint.rcPaint, state->brush);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_DESTROY:
            if (state) {
                if (state->brush) DeleteObject(state->brush);
                std::free(state);
                SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            }
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ColourSample_Set(HWND sample, COLORREF colour) {
    SendMessageA(sample, kMsgColourSampleSet, 0, static_cast<LPARAM>(colour));
}

void ColourSample_SetItem(HWND dialog, int item, COLORREF colour) {
    ColourSample_Set(GetDlgItem(dialog, item), colour);
}
