// The list panel: the sweeps of the scan (or the surface on display) or its
// stylus items, one row each, whose check boxes show and hide them and whose
// selection highlights them; Flip, Move to surface, and the stylus items'
// popup in the view.
#include "app/ui/list_panels_win32.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/document_marks.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/ui_utilities.h"
#include "app/ui/shell_win32.h"
#include "app/ui/stylus_draw_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// The row icons, in the image list's order.
constexpr int kRowIcons[6] = {394, 391, 395, 392, 396, 393};
enum RowIcon { kIconSweep, kIconFlipped, kIconSurface, kIconPoint, kIconPlaced, kIconLine };
constexpr LPARAM kSurfaceRowParam = -1;
constexpr int kStylusStartWidth = 280, kStylusStartHeight = 400;

struct Anchor {
    int id, x, fromBottom;
};

struct ListPanel {
    HWND window = nullptr;
    HWND list = nullptr;
    int32_t kind = kListSweeps;
    bool changed = false;
    bool surfaceRow = false;
    bool filling = false;  // rows changed by the panel itself, not the user
    int32_t sweepRows = 0;
    int32_t stylusRows = 0;
    HICON icon = nullptr;
    HIMAGELIST images = nullptr;
    std::vector<Anchor> anchors;
    int marginWidth = 0, marginHeight = 0;
};

int SlotOf(int32_t kind) { return kind == kListStylus ? kSlotSweepsList2 : kSlotSweepsList1; }

ListPanel* PanelOf(HWND window) { return reinterpret_cast<ListPanel*>(GetWindowLongPtrA(window, DWLP_USER)); }

RawData* Scan() { return App().raw; }

int ShownCount(const ListPanel& p) { return p.kind == kListStylus ? p.stylusRows : p.sweepRows; }

int32_t ScanCount(const ListPanel& p) {
    const RawData* raw = Scan();
    if (!raw) return 0;
    if (p.kind == kListStylus) return raw->Stylus.Items ? raw->Stylus.VisibleCount : 0;
    return raw->Sweeps ? raw->NumSweeps : 0;
}

// The stylus rows show the placement on the basic surface while it is on
// display, else the placement on the scan.
bool BasicShown() {
    const AppState& app = App();
    return app.mode == kModeSurface && app.shownSurface == &app.basic;
}

bool RbfShown() {
    const AppState& app = App();
    return app.mode == kModeSurface && app.shownSurface == &app.rbf;
}

void SetCell(HWND list, int row, int column, const std::string& text) {
    ListView_SetItemText(list, row, column, const_cast<char*>(text.c_str()));
}

int IconOfStylus(const StylusItem& item, bool basic) {
    if (StylusItem_IsPlaced(item, basic)) return kIconPlaced;
    return (item.Flags & (kStylusLineHead | kStylusLineMember)) ? kIconLine : kIconPoint;
}

void SetRowState(ListPanel& p, int row, bool checked, bool selected) {
    ListView_SetCheckState(p.list, row, checked ? TRUE : FALSE);
    ListView_SetItemState(p.list, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

void InsertRow(ListPanel& p, int row, LPARAM param, const ListRowTexts& texts, int icon, bool checked, bool selected) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.iItem = row;
    item.pszText = const_cast<char*>(texts.cells[0].c_str());
    item.lParam = param;
    item.iImage = icon;
    const int at = static_cast<int>(SendMessageA(p.list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (int c = 1; c < 4; ++c)
        if (!texts.cells[c].empty()) SetCell(p.list, at, c, texts.cells[c]);
    SetRowState(p, at, checked, selected);
}

void AddSweepRow(ListPanel& p, int32_t s) {
    const RawData& raw = *Scan();
    const bool flipped = (raw.Sweeps[s].Flags & kSweepFlipped) != 0;
    InsertRow(p, s, s, ListRow_Sweep(raw, s), flipped ? kIconFlipped : kIconSweep, ListRow_SweepVisible(raw, s),
              ListRow_SweepSelected(raw, s));
}

void AddStylusRow(ListPanel& p, int32_t k) {
    const StylusItem& item = Scan()->Stylus.Items[k];
    const bool basic = BasicShown();
    InsertRow(p, k, k, ListRow_Stylus(Scan()->Stylus, k, basic), IconOfStylus(item, basic),
              !(item.Flags & kStylusHidden), (item.Flags & kStylusSelected) != 0);
}

int TextWidth(HWND list, const std::string& text) {
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str()))) + 12;
}

int WiderOf(HWND list, const char* key, const char* text) {
    return std::max(TextWidth(list, Locale_GetString(key)), TextWidth(list, text));
}

void AddColumn(HWND list, int column, const char* key, int width) {
    LVCOLUMNA c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    c.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
    c.cx = width;
    c.pszText = const_cast<char*>(Locale_GetString(key));
    c.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&c));
}

void MakeColumns(ListPanel& p) {
    RECT r;
    GetClientRect(p.list, &r);
    const int details = WiderOf(p.list, "SweepListDetailsColumn", "0000");
    const int points = WiderOf(p.list, "SweepListPointsColumn", "000000");
    const int first = std::max(40, static_cast<int>(r.right) - 10 - details - points - GetSystemMetrics(SM_CXVSCROLL));
    AddColumn(p.list, 0, p.kind == kListStylus ? "StylusListItemColumn" : "StandardSweeps", first);
    AddColumn(p.list, 1, "SweepListDetailsColumn", details);
    if (p.kind != kListSweeps) return;
    AddColumn(p.list, 2, "SweepListFlippedColumn",
              WiderOf(p.list, "SweepListFlippedColumn", Locale_GetString("SweepListFlippedState")));
    AddColumn(p.list, 3, "SweepListTimeColumn", WiderOf(p.list, "SweepListTimeColumn", "00:00"));
}

// Columns 0 to 2 fit their contents and their headers.
void AutoSize(ListPanel& p) {
    for (int c = 0; c < (p.kind == kListSweeps ? 3 : 2); ++c) {
        char header[128] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = header;
        column.cchTextMax = sizeof header;
        SendMessageA(p.list, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
        ListView_SetColumnWidth(p.list, c, LVSCW_AUTOSIZE);
        const int fit = ListView_GetColumnWidth(p.list, c) + (c == 0 ? 20 : 0);  // the check box and icon
        ListView_SetColumnWidth(p.list, c, std::max(fit, TextWidth(p.list, header)));
    }
}

void ShowTransparency(ListPanel& p) {
    CheckDlgButton(p.window, kListTransparent, App().settings.SelectedSweepTransparent ? BST_CHECKED : BST_UNCHECKED);
}

// ---- Refresh kinds ------------------------------------------------------------

void Append(ListPanel& p) {
    if (p.surfaceRow && p.kind == kListSweeps) return;
    p.filling = true;
    const int32_t count = ScanCount(p);
    for (int32_t i = ShownCount(p); i < count; ++i) p.kind == kListStylus ? AddStylusRow(p, i) : AddSweepRow(p, i);
    (p.kind == kListStylus ? p.stylusRows : p.sweepRows) = std::max(ShownCount(p), count);
    p.filling = false;
    AutoSize(p);
}

void Trim(ListPanel& p) {
    if (p.surfaceRow && p.kind == kListSweeps) return;
    p.filling = true;
    int32_t& shown = p.kind == kListStylus ? p.stylusRows : p.sweepRows;
    while (shown > ScanCount(p)) ListView_DeleteItem(p.list, --shown);
    p.filling = false;
    AutoSize(p);
}

void Fill(ListPanel& p) {
    p.filling = true;
    ListView_DeleteAllItems(p.list);
    p.sweepRows = p.stylusRows = 0;
    p.filling = false;
    if (p.kind == kListSweeps && p.surfaceRow) {
        p.filling = true;
        InsertRow(p, 0, kSurfaceRowParam, ListRow_Surface(RbfShown()), kIconSurface, true, false);
        p.filling = false;
        AutoSize(p);
        return;
    }
    Append(p);
}

// Rows to the document: selection and visibility of every sweep or item.
void Apply(ListPanel& p) {
    RawData* raw = Scan();
    if (!raw) return;
    const int rows = ListView_GetItemCount(p.list);
    bool anySelected = false, visibility = false;
    for (int row = 0; row < rows; ++row) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        SendMessageA(p.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        if (item.lParam == kSurfaceRowParam) continue;
        const int32_t index = static_cast<int32_t>(item.lParam);
        const bool checked = ListView_GetCheckState(p.list, row) != 0;
        const bool selected = ListView_GetItemState(p.list, row, LVIS_SELECTED) != 0;
        anySelected = anySelected || selected;
        int result = 0;
        if (p.kind == kListSweeps && index < raw->NumSweeps)
            result = ListRow_ApplySweep(*raw, index, checked, selected);
        else if (p.kind == kListStylus && index < raw->Stylus.VisibleCount)
            result = ListRow_ApplyStylus(raw->Stylus, index, checked, selected);
        if (result & kRowChanged) p.changed = true;
        if (result & kRowVisibilityChanged) visibility = true;
    }
    if (visibility) {
        raw->Draw.Flags |= kDrawFull;
        Doc_MarkEdited();
    }
    EnableWindow(GetDlgItem(p.window, kListMoveToSurface), anySelected);
}

void AfterCommand(ListPanel& p) {
    if (!p.changed) return;
    p.changed = false;
    if (RawData* raw = Scan()) {
        RawData_ClearPointRunMark(*raw);
        raw->Draw.Flags |= kDrawFull;
    }
    App_PostRepaint(3);
}

void RefreshKind(ListPanel& p, WPARAM kind) {
    switch (kind) {
        case 0:
            Apply(p);
            break;
        case 1:
            Append(p);
            break;
        case 2:
            Trim(p);
            break;
        case 3:
            Fill(p);
            break;
    }
    ShowTransparency(p);
}

// ---- Commands of the panel ----------------------------------------------------------

void SetAllChecks(ListPanel& p, int how) {  // 1 check, 0 uncheck, -1 invert
    p.filling = true;
    for (int row = 0; row < ListView_GetItemCount(p.list); ++row) {
        const bool now = ListView_GetCheckState(p.list, row) != 0;
        ListView_SetCheckState(p.list, row, how < 0 ? !now : how > 0);
    }
    p.filling = false;
    Apply(p);
}

std::vector<int> SelectedRows(const ListPanel& p) {
    std::vector<int> rows;
    for (int row = -1; (row = ListView_GetNextItem(p.list, row, LVNI_SELECTED)) >= 0;) rows.push_back(row);
    return rows;
}

LPARAM ParamOf(const ListPanel& p, int row) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageA(p.list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

void Flip(ListPanel& p) {
    RawData* raw = Scan();
    if (!raw || p.kind != kListSweeps) return;
    bool flipped = false;
    for (int row : SelectedRows(p)) {
        const LPARAM s = ParamOf(p, row);
        if (s < 0 || s >= raw->NumSweeps) continue;
        ListRow_FlipSweep(*raw, static_cast<int32_t>(s));
        const ListRowTexts texts = ListRow_Sweep(*raw, static_cast<int32_t>(s));
        SetCell(p.list, row, 2, texts.cells[2]);
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        item.iImage = (raw->Sweeps[s].Flags & kSweepFlipped) ? kIconFlipped : kIconSweep;
        SendMessageA(p.list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        flipped = true;
    }
    if (!flipped) return;
    Doc_MarkEdited();
    App_PostRepaint(3);
}

// The items of k's group, kept to be put back when the placement fails.
void MoveRow(ListPanel& p, int row) {
    RawData* raw = Scan();
    const LPARAM k = ParamOf(p, row);
    if (!raw || k < 0 || k >= raw->Stylus.VisibleCount) return;
    AppState& app = App();
    SurfaceRecord* shown = app.mode == kModeSurface ? app.shownSurface : nullptr;
    if (shown && shown->NumPoints <= 0) shown = nullptr;
    StylusItemList& list = raw->Stylus;
    const std::vector<StylusItem> before(list.Items, list.Items + list.VisibleCount);
    const char* error = ListRow_MoveToSurface(*raw, static_cast<int32_t>(k), shown, shown == &app.basic,
                                              app.settings.Stylus.SurfaceDistance);
    if (error) {
        std::copy(before.begin(), before.end(), list.Items);
        App_ErrorBoxOfKey(error);
        return;
    }
    const bool basic = BasicShown();
    SetCell(p.list, row, 1, ListRow_Stylus(list, static_cast<int32_t>(k), basic).cells[1]);
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = IconOfStylus(list.Items[k], basic);
    SendMessageA(p.list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    p.changed = true;
}

void MoveToSurface(ListPanel& p) {
    for (int row : SelectedRows(p)) MoveRow(p, row);
    AutoSize(p);
}

void ReadDistance(ListPanel& p) {
    char text[64] = "";
    GetDlgItemTextA(p.window, kListDistance, text, sizeof text);
    float& distance = App().settings.Stylus.SurfaceDistance;
    // A leading number counts; no number, or one that is not finite, keeps
    // the distance.
    float value = 0;
    if (Str_ParseFloats(text, 1, &value)) distance = value;
    std::snprintf(text, sizeof text, "%.1f", distance);
    SetDlgItemTextA(p.window, kListDistance, text);
}

// ---- The stylus items in the view -----------------------------------------------

std::function<UINT(HMENU, POINT)>& Tracker() {
    static std::function<UINT(HMENU, POINT)> tracker;
    return tracker;
}

UINT TrackPopup(HMENU menu, POINT at) {
    if (Tracker()) return Tracker()(menu, at);
    return static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, Shell().main, nullptr));
}

bool GroupSelected(const StylusItemList& list, int32_t group) {
    for (int32_t k = 0; k < list.VisibleCount; ++k)
        if (list.Items[k].Group == group && (list.Items[k].Flags & kStylusSelected)) return true;
    return false;
}

std::vector<int> GroupRows(const ListPanel& p, int32_t group) {
    std::vector<int> rows;
    const RawData* raw = Scan();
    for (int row = 0; raw && row < ListView_GetItemCount(p.list); ++row) {
        const LPARAM k = ParamOf(p, row);
        if (k >= 0 && k < raw->Stylus.VisibleCount && raw->Stylus.Items[k].Group == group) rows.push_back(row);
    }
    return rows;
}

void DeleteGroup(int32_t group) {
    RawData* raw = Scan();
    if (!raw) return;
    StylusItems_ExtractGroup(raw->Stylus, group);
    raw->StylusChanged = 1;
    App_PostRepaint(3);
}

// The popup's choice on the list's rows: the group's rows selected or
// deselected, unchecked, or the group deleted and the rows made again.
void RunPopupChoice(ListPanel& p, UINT choice, int32_t group) {
    const std::vector<int> rows = GroupRows(p, group);
    if (choice == kPopupSelect) {
        const bool select = !GroupSelected(Scan()->Stylus, group);
        for (int row : rows) ListView_SetItemState(p.list, row, select ? LVIS_SELECTED : 0, LVIS_SELECTED);
    } else if (choice == kPopupHide) {
        for (int row : rows) ListView_SetCheckState(p.list, row, FALSE);
    } else if (choice == kPopupDelete) {
        DeleteGroup(group);
        Fill(p);
    }
    Apply(p);
    AfterCommand(p);
}

POINT ScreenPoint(int32_t x, int32_t y) {
    POINT at = {x, y};
    if (Shell().view) ClientToScreen(Shell().view, &at);
    return at;
}

// The listeners' words: the panel's window (0 for the main window's).
int32_t StylusListener(intptr_t word1, intptr_t, int32_t event, int32_t x1, int32_t y1, int32_t, int32_t, int32_t*) {
    if (event != kNavRightClick && !(event == kNavLeftClick && word1)) return 0;
    if (!Shell().view || !Scan()) return 0;
    const int32_t group = Graph_Pick(Shell().view, x1, y1);
    if (group < 0) return 0;
    StylusList_ItemClicked(reinterpret_cast<HWND>(word1), group, event == kNavRightClick, ScreenPoint(x1, y1));
    return 1;
}

void AddViewListener(HWND window) {
    if (NavigationState* nav = Shell().view ? Graph_GetNavigation(Shell().view) : nullptr)
        Nav_AddListener(*nav, StylusListener, reinterpret_cast<intptr_t>(window), 0);
}

void RemoveViewListener() {
    if (NavigationState* nav = Shell().view ? Graph_GetNavigation(Shell().view) : nullptr) Nav_RemoveListener(*nav);
}

// ---- The window -----------------------------------------------------------------

void RememberLayout(ListPanel& p) {
    RECT client, list;
    GetClientRect(p.window, &client);
    GetWindowRect(p.list, &list);
    MapWindowPoints(nullptr, p.window, reinterpret_cast<POINT*>(&list), 2);
    p.marginWidth = client.right - (list.right - list.left);
    p.marginHeight = client.bottom - (list.bottom - list.top);
    const int sweeps[] = {kListTransparent, kListFlip};
    const int stylus[] = {kListTransparent, kListMoveToSurface, kListDistance};
    const int* ids = p.kind == kListStylus ? stylus : sweeps;
    const int count = p.kind == kListStylus ? 3 : 2;
    for (int i = 0; i < count; ++i) {
        HWND control = GetDlgItem(p.window, ids[i]);
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, p.window, reinterpret_cast<POINT*>(&r), 2);
        p.anchors.push_back({ids[i], r.left, client.bottom - r.top});
    }
    for (int id : {kListCheckAll, kListUncheckAll, kListInvert, kListDistanceUnit}) {
        HWND control = GetDlgItem(p.window, id);
        if (!control || !IsWindowVisible(control)) continue;
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, p.window, reinterpret_cast<POINT*>(&r), 2);
        p.anchors.push_back({id, r.left, client.bottom - r.top});
    }
}

void Layout(ListPanel& p, int width, int height) {
    MoveWindow(p.list, 0, 0, std::max(0, width - p.marginWidth), std::max(0, height - p.marginHeight), TRUE);
    for (const Anchor& a : p.anchors) {
        HWND control = GetDlgItem(p.window, a.id);
        SetWindowPos(control, nullptr, a.x, height - a.fromBottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

void InitPanel(HWND window, ListPanel& p) {
    p.window = window;
    p.list = GetDlgItem(window, kListView);
    Locale_LocaliseDialog(window, kListTemplate);
    SetWindowTextA(window, Locale_GetString(p.kind == kListStylus ? "StylusListTitle" : "SweepListTitle"));
    p.icon = static_cast<HICON>(LoadImageA(Shell().instance, MAKEINTRESOURCEA(378), IMAGE_ICON, 16, 16, 0));
    if (p.icon) SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(p.icon));
    const bool stylus = p.kind == kListStylus;
    for (int id : {kListMoveToSurface, kListDistance, kListDistanceUnit}) ShowWindow(GetDlgItem(window, id), stylus);
    ShowWindow(GetDlgItem(window, kListFlip), !stylus);
    ListView_SetExtendedListViewStyle(p.list, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    p.images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 6, 0);
    for (int id : kRowIcons) {
        HICON icon = static_cast<HICON>(LoadImageA(Shell().instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(p.images, icon);
        if (icon) DestroyIcon(icon);
    }
    ListView_SetImageList(p.list, p.images, LVSIL_SMALL);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", App().settings.Stylus.SurfaceDistance);
    SetDlgItemTextA(window, kListDistance, text);
    RememberLayout(p);
    MakeColumns(p);
    Fill(p);
    ShowTransparency(p);
    EnableWindow(GetDlgItem(window, kListMoveToSurface), FALSE);
    if (stylus) {
        SetWindowPos(window, nullptr, 0, 0, kStylusStartWidth, kStylusStartHeight, SWP_NOMOVE | SWP_NOZORDER);
        AddViewListener(window);
    }
}

void ClosePanel(ListPanel& p) {
    p.filling = true;
    ListView_SetItemState(p.list, -1, 0, LVIS_SELECTED);
    p.filling = false;
    Apply(p);
    AfterCommand(p);
    DestroyWindow(p.window);
}

bool OnCommand(ListPanel& p, WORD id, WORD code) {
    switch (id) {
        case kListCheckAll:
        case kListUncheckAll:
        case kListInvert:
            SetAllChecks(p, id == kListCheckAll ? 1 : id == kListUncheckAll ? 0 : -1);
            break;
        case kListTransparent:
            // Ticked is transparent.
            App().settings.SelectedSweepTransparent = IsDlgButtonChecked(p.window, kListTransparent) == BST_CHECKED;
            p.changed = true;
            break;
        case kListFlip:
            Flip(p);
            break;
        case kListMoveToSurface:
            MoveToSurface(p);
            break;
        case kListDistance:
            if (code != EN_KILLFOCUS) return false;
            ReadDistance(p);
            break;
        case IDCANCEL:
            ClosePanel(p);
            return true;
        default:
            return false;
    }
    AfterCommand(p);
    return true;
}

bool OnNotify(ListPanel& p, const NMHDR* header) {
    if (header->idFrom != kListView) return false;
    if (header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if (p.filling || !(change->uChanged & LVIF_STATE)) return false;
        if (((change->uNewState ^ change->uOldState) & (LVIS_SELECTED | LVIS_STATEIMAGEMASK)) == 0) return false;
        Apply(p);
        AfterCommand(p);
        return true;
    }
    if (header->code == LVN_ITEMACTIVATE && p.kind == kListStylus) {
        const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
        if (activate->iItem >= 0) MoveRow(p, activate->iItem);
        AutoSize(p);
        AfterCommand(p);
        return true;
    }
    return false;
}

INT_PTR PanelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ListPanel* p = PanelOf(window);
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            InitPanel(window, *reinterpret_cast<ListPanel*>(lParam));
            return TRUE;
        case kMsgPanelRefresh:
            if (p) RefreshKind(*p, wParam);
            return TRUE;
        case WM_SIZE:
            if (p && p->list) Layout(*p, LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_COMMAND:
            return p && OnCommand(*p, LOWORD(wParam), HIWORD(wParam));
        case WM_NOTIFY:
            return p && OnNotify(*p, reinterpret_cast<NMHDR*>(lParam));
        case WM_CLOSE:
            if (p) ClosePanel(*p);
            return TRUE;
        case WM_DESTROY:
            if (!p) return FALSE;
            if (p->icon) DestroyIcon(p->icon);
            if (p->kind == kListStylus) RemoveViewListener();
            if (Shell().modeless[SlotOf(p->kind)] == window) Shell().modeless[SlotOf(p->kind)] = nullptr;
            App_RefreshUi();
            return TRUE;
        case WM_NCDESTROY:
            if (p) {
                ImageList_Destroy(p->images);
                delete p;
                SetWindowLongPtrA(window, DWLP_USER, 0);
            }
            return FALSE;
    }
    return FALSE;
}

// No exception may leave a window procedure, the panel's or the one of the
// window whose message called into the panel: running out of memory anywhere
// in the panel's work (its rows, their texts) gives the out-of-memory message
// and leaves the panel as it stands.
template <typename Work>
void OrOutOfMemory(Work work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        try {
            App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
        } catch (const std::bad_alloc&) {
        }
    }
}

INT_PTR CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = TRUE;
    OrOutOfMemory([&] { result = PanelMessage(window, message, wParam, lParam); });
    return result;
}

void SendKind(int slot, WPARAM kind) {
    HWND panel = Shell().modeless[slot];
    if (panel && IsWindow(panel)) SendMessageA(panel, kMsgPanelRefresh, kind, 0);
}

bool SetSurfaceRow(bool surfaceRow) {
    HWND window = Shell().modeless[kSlotSweepsList1];
    ListPanel* p = window && IsWindow(window) ? PanelOf(window) : nullptr;
    if (!p) return false;
    const bool visible = IsWindowVisible(window) != FALSE;
    p->surfaceRow = surfaceRow;
    OrOutOfMemory([p] { Fill(*p); });
    if (visible) ShowWindow(window, SW_SHOW);
    return true;
}

}  // namespace

HWND ShowSweepList(int32_t kind) {
    ListPanel* p = new (std::nothrow) ListPanel;
    if (!p) return nullptr;
    p->kind = kind;
    p->surfaceRow = kind == kListSweeps && App().mode != kModeScan;
    HWND window = CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(kListTemplate), Shell().main, PanelProc,
                                     reinterpret_cast<LPARAM>(p));
    if (!window) {
        delete p;
        return nullptr;
    }
    Shell().modeless[SlotOf(kind)] = window;
    return window;
}

void SweepList_Refresh() { SendKind(kSlotSweepsList1, 1); }
void SweepList_RefreshItems() { SendKind(kSlotSweepsList1, 2); }
void SweepList_Rebuild() { SendKind(kSlotSweepsList1, 3); }
bool SweepList_ShowSweepRows() { return SetSurfaceRow(false); }
bool SweepList_ShowSurfaceRow() { return SetSurfaceRow(true); }

void HideSweepList() {
    HWND window = Shell().modeless[kSlotSweepsList1];
    if (window && IsWindow(window)) ShowWindow(window, SW_HIDE);
}

void ListPanels_Refresh() {
    for (int slot : {kSlotSweepsList1, kSlotSweepsList2}) {
        SendKind(slot, 1);
        SendKind(slot, 2);
    }
}

void ListPanels_Rebuild() {
    for (int slot : {kSlotSweepsList1, kSlotSweepsList2}) SendKind(slot, 3);
}

HMENU StylusPopup_Build(int32_t group, bool full) {
    HMENU menu = CreatePopupMenu();
    std::string title;
    Locale_FormatStringWithInt(title, "item_no", group + 1, "MenuStylusItemTitle");
    AppendMenuA(menu, MF_STRING | MF_DISABLED, kPopupTitle, title.c_str());
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    if (full) {
        const bool selected = Scan() && GroupSelected(Scan()->Stylus, group);
        AppendMenuA(menu, MF_STRING, kPopupSelect,
                    Locale_GetString(selected ? "MenuStylusItemUnselect" : "MenuStylusItemSelect"));
        AppendMenuA(menu, MF_STRING, kPopupHide, Locale_GetString("PopupMenuStylusHide"));
    }
    AppendMenuA(menu, MF_STRING, kPopupDelete, Locale_GetString("PopupMenuStylusDelete"));
    return menu;
}

void StylusList_ItemClicked(HWND panel, int32_t group, bool right, POINT screen) {
    ListPanel* p = panel ? PanelOf(panel) : nullptr;
    OrOutOfMemory([&] {
        if (!right) {
            if (p) RunPopupChoice(*p, kPopupSelect, group);
            return;
        }
        HMENU menu = StylusPopup_Build(group, p != nullptr);
        const UINT choice = TrackPopup(menu, screen);
        DestroyMenu(menu);
        if (p) {
            RunPopupChoice(*p, choice, group);
        } else if (choice == kPopupDelete) {
            DeleteGroup(group);
            App_RefreshUi();
        }
    });
}

void StylusPopup_SetTracker(std::function<UINT(HMENU, POINT)> tracker) { Tracker() = std::move(tracker); }

void AddStylusListListener() { AddViewListener(nullptr); }

void RemoveStylusListListener() { RemoveViewListener(); }

bool ListPanels_Command(WORD id) {
    if (id == 40167) {
        ShowStylusProperties();
        return true;
    }
    if (id != 40135 && id != 40144) return false;
    const int32_t kind = id == 40135 ? kListSweeps : kListStylus;
    HWND& slot = Shell().modeless[SlotOf(kind)];
    if (slot && IsWindow(slot) && IsWindowVisible(slot)) {
        SendMessageA(slot, WM_CLOSE, 0, 0);
        return true;
    }
    if (slot && IsWindow(slot)) DestroyWindow(slot);
    if (kind == kListSweeps) {
        App_SetMode(kModeScan);
        App_SendRepaint(3);
    }
    if (HWND window = ShowSweepList(kind)) {
        ShowWindow(window, SW_SHOW);
        if (kind == kListSweeps) SetActiveWindow(window);
    }
    return true;
}

void ListPanels_ConnectShell() {
    ShellHooks& hooks = Shell_Hooks();
    hooks.showListPanels = [](int kind) { return kind == 2 ? SweepList_ShowSurfaceRow() : SweepList_ShowSweepRows(); };
    hooks.hideListPanels = HideSweepList;
}
