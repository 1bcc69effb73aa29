// Stylus Properties: how stylus items are captured (points or lines, the
// shortest line segment, on the surface by default) and drawn (the point and
// line markers), edited in place in the settings.
#include "app/locale/locale_dialog_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kPointMarkers = 12, kLineMarkers = 4;
constexpr int kPointMarkerBitmap = 203, kLineMarkerBitmap = 221;

struct StylusPropertiesRecord {
    HIMAGELIST points = nullptr;
    HIMAGELIST lines = nullptr;
};

StylusSettings& Stylus() { return App().settings.Stylus; }

HIMAGELIST MarkerImages(int bitmap, int count) {
    HIMAGELIST images = ImageList_LoadImageA(Shell().instance, MAKEINTRESOURCEA(bitmap), 16, count, CLR_DEFAULT,
                                             IMAGE_BITMAP, LR_CREATEDIBSECTION);
    return images;
}

void FillMarkers(HWND combo, HIMAGELIST images, int count, int selected) {
    SendMessageA(combo, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", i + 1);
        COMBOBOXEXITEMA item = {};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        item.iItem = i;
        item.pszText = text;
        item.iImage = item.iSelectedImage = i;
        SendMessageA(combo, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    SendMessageA(combo, CB_SETCURSEL, selected, 0);
}

void ShowSegment(HWND dialog) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", Stylus().MinLineSegment);
    SetDlgItemTextA(dialog, kStylusSegment, text);
}

void Fill(HWND dialog, StylusPropertiesRecord& r) {
    const StylusSettings& s = Stylus();
    CheckRadioButton(dialog, kStylusPointMode, kStylusLineMode, s.CaptureMode ? kStylusLineMode : kStylusPointMode);
    ShowSegment(dialog);
    for (int id : {kStylusSegment, kStylusSegmentLabel}) EnableWindow(GetDlgItem(dialog, id), s.CaptureMode != 0);
    FillMarkers(GetDlgItem(dialog, kStylusPointMarker), r.points, kPointMarkers, s.PointMarker);
    FillMarkers(GetDlgItem(dialog, kStylusLineMarker), r.lines, kLineMarkers, s.LineMarker);
    CheckDlgButton(dialog, kStylusOnSurface, s.OnSurfaceByDefault ? BST_CHECKED : BST_UNCHECKED);
}

void Changed() {
    App_PostRepaint(3);
    if (Shell_Hooks().updateMenuStates) Shell_Hooks().updateMenuStates();
}

bool OnCommand(HWND dialog, StylusPropertiesRecord& r, WORD id, WORD code) {
    StylusSettings& s = Stylus();
    switch (id) {
        case kStylusPointMode:
        case kStylusLineMode:
            s.CaptureMode = id == kStylusLineMode ? 1 : 0;
            Fill(dialog, r);
            break;
        case kStylusSegment: {
            if (code != EN_KILLFOCUS) return false;
            char text[64] = "";
            GetDlgItemTextA(dialog, kStylusSegment, text, sizeof text);
            char* end = nullptr;
            const float value = std::strtof(text, &end);
            if (end != text) s.MinLineSegment = value;
            ShowSegment(dialog);
            break;
        }
        case kStylusPointMarker:
        case kStylusLineMarker: {
            if (code != CBN_SELCHANGE) return false;
            const int at = static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
            if (at >= 0) (id == kStylusPointMarker ? s.PointMarker : s.LineMarker) = at;
            break;
        }
        case kStylusOnSurface:
            s.OnSurfaceByDefault = IsDlgButtonChecked(dialog, kStylusOnSurface) == BST_CHECKED ? 1 : 0;
            break;
        case IDCANCEL:
        case 8:  // Close
            DestroyWindow(dialog);
            return true;
        default:
            return false;
    }
    Changed();
    return true;
}

INT_PTR CALLBACK PropertiesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* r = reinterpret_cast<StylusPropertiesRecord*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            r = reinterpret_cast<StylusPropertiesRecord*>(lParam);
            Locale_LocaliseDialog(dialog, kStylusPropertiesTemplate);
            r->points = MarkerImages(kPointMarkerBitmap, kPointMarkers);
            r->lines = MarkerImages(kLineMarkerBitmap, kLineMarkers);
            Fill(dialog, *r);
            return TRUE;
        case kMsgPanelRefresh:
            if (r) Fill(dialog, *r);
            return TRUE;
        case WM_COMMAND:
            return r && OnCommand(dialog, *r, LOWORD(wParam), HIWORD(wParam));
        case WM_CLOSE:
            DestroyWindow(dialog);
            return TRUE;
        case WM_DESTROY:
            if (Shell().modeless[kSlotStylusProperties] == dialog) Shell().modeless[kSlotStylusProperties] = nullptr;
            return TRUE;
        case WM_NCDESTROY:
            if (r) {
                if (r->points) ImageList_Destroy(r->points);
                if (r->lines) ImageList_Destroy(r->lines);
                delete r;
                SetWindowLongPtrA(dialog, DWLP_USER, 0);
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND ShowStylusProperties() {
    HWND& slot = Shell().modeless[kSlotStylusProperties];
    if (slot && IsWindow(slot)) return slot;
    auto* record = new (std::nothrow) StylusPropertiesRecord;
    if (!record) return nullptr;
    slot = CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(kStylusPropertiesTemplate), Shell().main,
                              PropertiesProc, reinterpret_cast<LPARAM>(record));
    if (!slot) {
        delete record;
        return nullptr;
    }
    ShowWindow(slot, SW_SHOW);
    return slot;
}

void RefreshStylusProperties() {
    HWND window = Shell().modeless[kSlotStylusProperties];
    if (window && IsWindow(window)) SendMessageA(window, kMsgPanelRefresh, 0, 0);
}
