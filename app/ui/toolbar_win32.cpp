#include "app/ui/toolbar_win32.h"

#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/toolbar_rules.h"
#include "app/ui/ui_utilities_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct ArtLists {
    HIMAGELIST normal = nullptr, hot = nullptr, disabled = nullptr;
};

// Built once for each icon size and kept for the run.
ArtLists& Art(int sizeIndex) {
    static ArtLists lists[3];
    return lists[sizeIndex];
}

bool g_large = true;

constexpr int kLabelledButtonWidth = 60;

// A 32-bit top-down picture whose pixels (0x00RRGGBB) the code reads and writes.
struct Picture {
    Picture(int w, int h) : width(w), height(h) {
        void* data = nullptr;
        bitmap = Gdi_CreatePicture32(w, h, &data);
        pixels = static_cast<unsigned*>(data);
    }
    ~Picture() {
        if (bitmap) DeleteObject(bitmap);
    }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    size_t Count() const { return static_cast<size_t>(width) * height; }
    int width, height;
    HBITMAP bitmap = nullptr;
    unsigned* pixels = nullptr;
};

void Draw(HBITMAP from, int fromWidth, int fromHeight, const Picture& to, bool halftone) {
    HDC source = CreateCompatibleDC(nullptr);
    HDC target = CreateCompatibleDC(nullptr);
    HGDIOBJ oldSource = SelectObject(source, from);
    HGDIOBJ oldTarget = SelectObject(target, to.bitmap);
    SetStretchBltMode(target, halftone ? HALFTONE : COLORONCOLOR);
    SetBrushOrgEx(target, 0, 0, nullptr);
    StretchBlt(target, 0, 0, to.width, to.height, source, 0, 0, fromWidth, fromHeight, SRCCOPY);
    GdiFlush();
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
    DeleteDC(source);
    DeleteDC(target);
}

// The strip stretched to the size in half-tone mode, its top-left pixel's
// colour transparent. The transparent part is stretched as a mask of its
// own and the picture's own pixels blend with the button face at its edges:
// stretched with the picture, the transparent colour would blend into the
// edges of every image as a fringe of that colour.
HIMAGELIST StripList(int bitmap, int size) {
    HBITMAP strip = static_cast<HBITMAP>(
        LoadImageA(Shell().instance, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!strip) return nullptr;
    BITMAP info = {};
    GetObjectA(strip, sizeof info, &info);
    const int count = info.bmHeight > 0 ? info.bmWidth / info.bmHeight : 0;
    Picture art(info.bmWidth, info.bmHeight), cover(info.bmWidth, info.bmHeight);
    Picture scaled(size * count, size), scaledCover(size * count, size);
    HIMAGELIST list = nullptr;
    if (count > 0 && art.pixels && cover.pixels && scaled.pixels && scaledCover.pixels) {
        Draw(strip, info.bmWidth, info.bmHeight, art, false);
        const unsigned key = art.pixels[0] & 0xFFFFFFu;
        const COLORREF faceColour = GetSysColor(COLOR_BTNFACE);
        const unsigned face = (GetRValue(faceColour) << 16) | (GetGValue(faceColour) << 8) | GetBValue(faceColour);
        for (size_t i = 0; i < art.Count(); ++i) {
            const bool transparent = (art.pixels[i] & 0xFFFFFFu) == key;
            art.pixels[i] = transparent ? face : art.pixels[i] & 0xFFFFFFu;
            cover.pixels[i] = transparent ? 0xFFFFFFu : 0u;
        }
        Draw(art.bitmap, art.width, art.height, scaled, true);
        Draw(cover.bitmap, cover.width, cover.height, scaledCover, true);
        // The mask: one bit a pixel, rows of whole 16-bit words, set where
        // the stretched cover is more than half transparent; the picture is
        // black there, as a masked image list draws it.
        const int rowBytes = (scaled.width + 15) / 16 * 2;
        std::vector<unsigned char> bits(static_cast<size_t>(rowBytes) * size, 0);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < scaled.width; ++x) {
                unsigned& p = scaled.pixels[static_cast<size_t>(y) * scaled.width + x];
                p &= 0xFFFFFFu;
                if ((scaledCover.pixels[static_cast<size_t>(y) * scaled.width + x] & 0xFF) < 128) continue;
                bits[static_cast<size_t>(y) * rowBytes + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                p = 0;
            }
        HBITMAP mask = CreateBitmap(scaled.width, size, 1, 1, bits.data());
        list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 100);
        ImageList_Add(list, scaled.bitmap, mask);
        DeleteObject(mask);
    }
    DeleteObject(strip);
    return list;
}

const ArtLists& ArtOfSize(int sizeIndex, int size) {
    ArtLists& lists = Art(sizeIndex);
    if (!lists.normal) {
        lists.normal = StripList(290, size);
        lists.hot = StripList(291, size);
        lists.disabled = StripList(292, size);
    }
    return lists;
}

BYTE StyleOf(ToolStyle style) {
    switch (style) {
        case ToolStyle::Check:
            return BTNS_CHECK;
        case ToolStyle::CheckGroup:
            return BTNS_CHECKGROUP;
        case ToolStyle::DropDown:
            return BTNS_DROPDOWN;
        case ToolStyle::Separator:
            return BTNS_SEP;
        default:
            return BTNS_BUTTON;
    }
}

HWND MakeToolbarWindow(HWND main, DWORD extra) {
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                       TBSTYLE_CUSTOMERASE | CCS_TOP | extra,
                                   0, 0, 0, 0, main, reinterpret_cast<HMENU>(kToolbarId), Shell().instance, nullptr);
    if (!toolbar) return nullptr;
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    return toolbar;
}

// Buttons are at most 60 pixels wide, or as wide as the longest label
// needs in the toolbar's font with its padding, so that no label is cut.
int WidestButton(HWND toolbar, const std::vector<TBBUTTON>& buttons) {
    HDC dc = GetDC(toolbar);
    if (!dc) return kLabelledButtonWidth;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(toolbar, WM_GETFONT, 0, 0)));
    const int padding = LOWORD(SendMessageA(toolbar, TB_GETPADDING, 0, 0));
    int widest = kLabelledButtonWidth;
    for (const TBBUTTON& b : buttons) {
        if (b.iString == -1) continue;
        RECT extent = {0, 0, 0, 0};
        if (DrawTextA(dc, reinterpret_cast<const char*>(b.iString), -1, &extent, DT_CALCRECT | DT_SINGLELINE))
            widest = std::max(widest, static_cast<int>(extent.right) + padding);
    }
    SelectObject(dc, old);
    ReleaseDC(toolbar, dc);
    return widest;
}

HWND CreateLarge(HWND main, GeneralSettings& settings) {
    const int size = Toolbar_IconPixels(settings.ToolbarIconSize);
    // Not wrapable: its two rows are the table's, split after Help. A
    // toolbar wrapped to the window's width drops that break, and a row it
    // ends at a separator counts as a whole row more in its height, an
    // empty band under the buttons.
    HWND toolbar = MakeToolbarWindow(main, 0);
    if (!toolbar) return nullptr;
    const ArtLists& art = ArtOfSize(settings.ToolbarIconSize, size);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(art.normal));
    SendMessageA(toolbar, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(art.hot));
    SendMessageA(toolbar, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(art.disabled));
    std::vector<TBBUTTON> buttons;
    for (const ToolbarButtonRow& row : kLargeToolbar) {
        TBBUTTON b = {};
        b.iBitmap = row.style == ToolStyle::Separator ? 0 : row.image;
        b.idCommand = row.command;
        b.fsState = static_cast<BYTE>(TBSTATE_ENABLED | (row.lineBreak ? TBSTATE_WRAP : 0));
        b.fsStyle = StyleOf(row.style);
        b.iString =
            settings.ToolbarLabels && row.labelKey ? reinterpret_cast<INT_PTR>(Locale_GetString(row.labelKey)) : -1;
        // A labelled button is as wide as its own label needs.
        if (b.iString != -1) b.fsStyle |= BTNS_AUTOSIZE;
        buttons.push_back(b);
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(toolbar, TB_SETBUTTONWIDTH, 0, MAKELPARAM(size, WidestButton(toolbar, buttons)));
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

HWND CreateSmall(HWND main) {
    HWND toolbar = MakeToolbarWindow(main, 0);
    if (!toolbar) return nullptr;
    SendMessageA(toolbar, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    std::vector<TBBUTTON> buttons;
    for (const ToolbarButtonRow& row : kSmallToolbar) {
        TBBUTTON b = {};
        if (row.image >= kStandardImage) {
            b.iBitmap = row.image - kStandardImage;
        } else if (row.image >= 0) {
            TBADDBITMAP bitmap = {Shell().instance, static_cast<UINT_PTR>(row.image)};
            b.iBitmap = static_cast<int>(SendMessageA(toolbar, TB_ADDBITMAP, 1, reinterpret_cast<LPARAM>(&bitmap)));
        }
        b.idCommand = row.command;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = StyleOf(row.style);
        b.iString = -1;
        buttons.push_back(b);
    }
    SendMessageA(toolbar, TB_ADDBUTTONSA, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    return toolbar;
}

void StartTooltips(HWND toolbar) {
    HWND tips = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    if (!tips) return;
    SendMessageA(tips, TTM_SETDELAYTIME, TTDT_INITIAL, 650);
    SendMessageA(tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, 8000);
    SendMessageA(tips, TTM_SETDELAYTIME, TTDT_RESHOW, 325);
}

const ToolbarButtonRow* Rows(size_t& count) {
    count = g_large ? sizeof kLargeToolbar / sizeof kLargeToolbar[0] : sizeof kSmallToolbar / sizeof kSmallToolbar[0];
    return g_large ? kLargeToolbar : kSmallToolbar;
}

bool HasExportData() {
    const AppState& app = App();
    return (app.raw && app.raw->NumProfiles > 0) || app.basic.NumPoints >= 1 || app.rbf.NumPoints >= 1;
}

// The gradient background: button face at the top, 80 % towards white below.
void PaintGradient(HWND toolbar, HDC dc) {
    RECT r;
    GetClientRect(toolbar, &r);
    const COLORREF top = GetSysColor(COLOR_BTNFACE);
    const COLORREF bottom = Toolbar_GradientEnd(top);
    const int h = r.bottom > 1 ? r.bottom - 1 : 1;
    for (int y = 0; y < r.bottom; ++y) {
        auto mix = [&](int shift) {
            const int a = (top >> shift) & 0xFF, b = (bottom >> shift) & 0xFF;
            return a + (b - a) * y / h;
        };
        HBRUSH brush = CreateSolidBrush(RGB(mix(0), mix(8), mix(16)));
        RECT line = {r.left, y, r.right, y + 1};
        FillRect(dc, &line, brush);
        DeleteObject(brush);
    }
}

void ExportDropDown(HWND main, HWND toolbar, int command) {
    RECT r;
    SendMessageA(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
    const AppState& app = App();
    const bool scan = app.raw && app.raw->NumProfiles > 0;
    const bool basic = app.basic.NumPoints >= 1, rbf = app.rbf.NumPoints >= 1;
    HMENU menu = CreatePopupMenu();
    auto add = [&](UINT id, const char* key, bool enabled) {
        AppendMenuA(menu, MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED), id, Locale_GetString(key));
    };
    add(40129, "PopupMenuToolbarExportSweeps", scan);
    add(40267, "PopupMenuToolbarExportBasic", basic);
    add(40261, "PopupMenuToolbarExportRbf", rbf);
    add(40148, "PopupMenuToolbarExportStylus", true);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    add(40171, "PopupMenuToolbarExportAaop", rbf);
    add(40130, "PopupMenuToolbarExportBatch", true);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, r.left, r.bottom, 0, main, nullptr);
    DestroyMenu(menu);
}

void StyleMenu(HWND main, HWND toolbar, POINT at) {
    const GeneralSettings& g = App().settings;
    HMENU menu = CreatePopupMenu();
    POINT client = at;
    ScreenToClient(toolbar, &client);
    const int hit = static_cast<int>(SendMessageA(toolbar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&client)));
    TBBUTTON button = {};
    const bool overButton = hit >= 0 && SendMessageA(toolbar, TB_GETBUTTON, hit, reinterpret_cast<LPARAM>(&button)) &&
                            !(button.fsStyle & BTNS_SEP);
    if (g_large) {
        AppendMenuA(menu, MF_STRING, 40359, Locale_GetString("PopupMenuNewToolbarSwtichToOld"));
        AppendMenuA(menu, MF_STRING | (g.ToolbarLabels ? MF_CHECKED : 0), 40354,
                    Locale_GetString("PopupMenuNewToolbarTextLabels"));
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, 40355, Locale_GetString("PopupMenuNewToolbarIconsSmall"));
        AppendMenuA(menu, MF_STRING, 40356, Locale_GetString("PopupMenuNewToolbarIconsMedium"));
        AppendMenuA(menu, MF_STRING, 40357, Locale_GetString("PopupMenuNewToolbarIconsLarge"));
        const UINT current = g.ToolbarIconSize == 2 ? 40355 : g.ToolbarIconSize == 1 ? 40356 : 40357;
        CheckMenuRadioItem(menu, 40355, 40357, current, MF_BYCOMMAND);
    } else {
        AppendMenuA(menu, MF_STRING, 40358, Locale_GetString("PopupMenuOldToolbarSwitchToNew"));
    }
    if (overButton) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING, 40360, Locale_GetString("PopupMenuToolbarButtonHelp"));
    }
    const UINT choice =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, main, nullptr));
    DestroyMenu(menu);
    if (choice == 40360) {
        char text[256] = "";
        GetMenuStringA(GetMenu(main), button.idCommand, text, sizeof text, MF_BYCOMMAND);
        std::string topic;
        for (const char* c = text; *c && *c != '\t'; ++c)
            if (*c != '&') topic += *c;
        Help_ShowTopic(topic.c_str());
    } else if (choice) {
        PostMessageA(main, WM_COMMAND, choice, 0);
    }
}

}  // namespace

int CreateMainToolbars(HWND main, GeneralSettings& settings) {
    g_large = settings.UseOldToolbar == 0;
    HWND toolbar = g_large ? CreateLarge(main, settings) : CreateSmall(main);
    Shell().toolbar = toolbar;
    if (!toolbar) return 0;
    ShowWindow(toolbar, SW_SHOW);
    RECT client;
    GetClientRect(main, &client);
    SendMessageA(main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    StartTooltips(toolbar);
    return 1;
}

int DestroyMainToolbar() {
    HWND toolbar = Shell().toolbar;
    if (!toolbar) return 0;
    Shell().toolbar = nullptr;
    DestroyWindow(toolbar);
    return 1;
}

void SyncToolbarButtons() {
    HWND toolbar = Shell().toolbar;
    HWND main = Shell().main;
    if (!toolbar || !main) return;
    HMENU menu = GetMenu(main);
    size_t count = 0;
    const ToolbarButtonRow* rows = Rows(count);
    std::vector<bool> shown(count, false);
    for (size_t i = 0; i < count; ++i) {
        const int id = rows[i].command;
        if (rows[i].style == ToolStyle::Separator) continue;
        bool enabled = false, checked = false, found = true;
        if (id == kExportAsCommand) {
            enabled = HasExportData();
        } else {
            const UINT state = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : 0xFFFFFFFFu;
            found = state != 0xFFFFFFFFu;
            enabled = found && !(state & (MF_GRAYED | MF_DISABLED));
            checked = found && (state & MF_CHECKED);
        }
        shown[i] = found;
        SendMessageA(toolbar, TB_ENABLEBUTTON, id, MAKELPARAM(enabled ? TRUE : FALSE, 0));
        SendMessageA(toolbar, TB_CHECKBUTTON, id, MAKELPARAM(checked ? TRUE : FALSE, 0));
    }
    const std::vector<bool> visible = Toolbar_VisibleRows(rows, count, shown);
    for (size_t i = 0; i < count; ++i) {
        TBBUTTONINFOA info = {};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_STATE | TBIF_BYINDEX;
        SendMessageA(toolbar, TB_GETBUTTONINFOA, i, reinterpret_cast<LPARAM>(&info));
        const BYTE state =
            static_cast<BYTE>(visible[i] ? info.fsState & ~TBSTATE_HIDDEN : info.fsState | TBSTATE_HIDDEN);
        if (state == info.fsState) continue;
        info.fsState = state;
        SendMessageA(toolbar, TB_SETBUTTONINFOA, i, reinterpret_cast<LPARAM>(&info));
    }
    InvalidateRect(toolbar, nullptr, TRUE);
}

int Toolbar_OnNotify(HWND main, NMHDR* header, LRESULT& result) {
    HWND toolbar = Shell().toolbar;
    if (!toolbar) return 0;
    HWND tips = reinterpret_cast<HWND>(SendMessageA(toolbar, TB_GETTOOLTIPS, 0, 0));
    if (header->code == TTN_GETDISPINFOA && tips && header->hwndFrom == tips) {
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(header);
        // The tip's own buffer holds 79 characters; a longer text is handed
        // over whole from a buffer that outlives the notification.
        static std::string tip;
        const char* text = FindCommandText(static_cast<UINT>(header->idFrom), GetMenu(main), false);
        tip = text ? text : "";
        info->szText[0] = '\0';
        info->lpszText = const_cast<char*>(tip.c_str());
        result = 0;
        return 1;
    }
    if (header->hwndFrom != toolbar) return 0;
    switch (header->code) {
        case TBN_DROPDOWN: {
            const NMTOOLBARA* drop = reinterpret_cast<const NMTOOLBARA*>(header);
            if (drop->iItem != kExportAsCommand) return 0;
            ExportDropDown(main, toolbar, drop->iItem);
            result = TBDDRET_DEFAULT;
            return 1;
        }
        case NM_CUSTOMDRAW: {
            NMCUSTOMDRAW* draw = reinterpret_cast<NMCUSTOMDRAW*>(header);
            if (draw->dwDrawStage == CDDS_PREERASE) {
                PaintGradient(toolbar, draw->hdc);
                result = CDRF_SKIPDEFAULT;
                return 1;
            }
            result = CDRF_DODEFAULT;
            return 1;
        }
        case NM_RCLICK: {
            POINT at;
            GetCursorPos(&at);
            StyleMenu(main, toolbar, at);
            result = 1;
            return 1;
        }
    }
    return 0;
}

void Toolbar_Rebuild() {
    HWND main = Shell().main;
    DestroyMainToolbar();
    if (main) CreateMainToolbars(main, App().settings);
    if (main) {
        RECT client;
        GetClientRect(main, &client);
        SendMessageA(main, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
    if (Shell_Hooks().updateMenuStates) Shell_Hooks().updateMenuStates();
    SyncToolbarButtons();
}

void GetDialogFontName(char (&name)[32]) {
    lstrcpynA(name, Os_IsXpOrLater() ? "Microsoft Sans Serif" : "MS Sans Serif", sizeof name);
}

void Toolbars_ConnectShell() {
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    hooks.createToolbars = [](HWND main) { return CreateMainToolbars(main, App().settings) != 0; };
    hooks.toolbarNotify = [](HWND main, NMHDR* header, LRESULT& result) {
        return Toolbar_OnNotify(main, header, result) != 0;
    };
    Shell_Hooks().updateToolbar = SyncToolbarButtons;
    Shell_Hooks().rebuildToolbars = Toolbar_Rebuild;
}
