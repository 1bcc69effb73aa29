// The window side of the shared dialog utilities: texts and numbers in
// dialog items, rectangle conversions, version tests, text measuring, child
// layout after a resize, the debug trace and a few file helpers.
#pragma once

#include "app/files/image.h"
#include "app/scan/geometry.h"
#include "app/ui/ui_utilities.h"

#include <windows.h>

#include <initializer_list>

#include <vector>

void Dlg_SetItemTextF(HWND dialog, int item, const char* format, ...);
void Wnd_ScreenToClientRect(HWND window, RECT* rect);
void Wnd_ClientToScreenRect(HWND window, RECT* rect);

bool Os_IsWindows2000();
bool Os_IsWindows2000OrLater();
bool Os_IsXpOrLater();
bool Os_IsNt4();

// The height the window's text needs in its client width, word-wrapped in
// the window's own font.
int Wnd_TextHeight(HWND window);
// Makes the control fill the dialog's client area below and beside its
// visible siblings: it keeps its left and top edge and grows to the client
// area's right and bottom edge, less its margin from the nearest sibling
// to its right and below.
void Dlg_FitControl(HWND dialog, int item);

void Dlg_SetItemVec3(HWND dialog, int item, const Vec3& v);
void Dlg_SetItemFloat(HWND dialog, int item, const char* format, float value);
bool Wnd_CursorInClient(HWND window, POINT* point);
bool Dlg_GetItemFloats(HWND dialog, int item, int n, float* out);

// Reads the edit's text, keeps `value` for text that is not wholly a number,
// applies the limits and writes the value back with `format`. Returns it.
float Edit_ReformatNumber(HWND edit, const char* format, const ValueLimits& limits, float& value);

void DebugTrace_Enable(bool on);
void DebugTrace(const char* format, ...);

// Runs call(argument) and returns to the former current folder when the
// call left the current folder on a removable drive.
int Dir_CheckCurrent(int (*call)(void* argument), void* argument);
bool File_Exists(const char* path);

// The child windows a dialog moves after a resize.
struct WindowLayout {
    HWND parent = nullptr;
    int width = 0, height = 0;  // the client size when the children were registered
    struct Child {
        HWND window;
        LayoutRect rect;
        uint32_t flags;
        bool repaint;
    };
    std::vector<Child> children;
};
WindowLayout* Wnd_CreateLayout(HWND parent);
void Wnd_AddLayoutChild(WindowLayout* layout, HWND child, uint32_t flags);
void Wnd_LayoutChildren(WindowLayout* layout);
void Wnd_FreeLayout(WindowLayout* layout);

// A 32-bit top-down DIB section (pixels 0x00RRGGBB, rows from the top) of the
// given size, its pixels in *bits; null when it could not be made.
HBITMAP Gdi_CreatePicture32(int width, int height, void** bits);

// A 24-bit bottom-up DIB section of an image: RGB copied, RGBA and grey with
// alpha laid over the background colour by their alpha, grey in all three
// channels; null for other formats or when the section cannot be made.
HBITMAP Image_ToDib(const Image& image, COLORREF background);

// A message log list view: the dialog face behind it, one column, and the
// 16-px icons of the given resources as its small images, in their order.
void ListView_MakeMessageLog(HWND list, HINSTANCE instance, std::initializer_list<int> iconIds);
