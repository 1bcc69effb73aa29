#include "app/ui/menus_win32.h"

#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_placeholders.h"
#include "app/ui/menu_separators.h"
#include "app/ui/menu_states.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxItemText = 1023;
constexpr int kHelpCheckBitmap = 262;

std::map<int32_t, std::string>& InfoTexts() {
    static std::map<int32_t, std::string> texts;
    return texts;
}

const char* Text(const char* key) { return key ? Locale_GetString(key) : nullptr; }

// ---- Dynamic items ----------------------------------------------------------

struct DynamicMenuItem {
    int32_t id;
    HMENU submenu;
    std::string text;
    int position;  // within its level when registered
    bool separator;
    size_t level;
};

struct MenuLevel {
    HMENU menu;
    size_t first;  // its first entry
    std::vector<MenuLevelEntry> entries;
};

struct DynamicMenuTable {
    std::vector<DynamicMenuItem> items;
    std::vector<MenuLevel> levels;
    std::map<int32_t, int> byId;
};

DynamicMenuTable& Table() {
    static DynamicMenuTable table;
    return table;
}

std::string ItemText(HMENU menu, int position) {
    char text[kMaxItemText + 1] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

void RegisterLevel(HMENU menu) {
    DynamicMenuTable& table = Table();
    const int count = GetMenuItemCount(menu);
    if (count <= 0) return;
    MenuLevel level{menu, table.items.size(), {}};
    std::vector<HMENU> submenus;
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        DynamicMenuItem item;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        item.submenu = info.hSubMenu;
        item.id = info.hSubMenu ? static_cast<int32_t>(info.dwItemData) : static_cast<int32_t>(info.wID);
        item.text = item.separator ? std::string() : ItemText(menu, i);
        item.position = i;
        item.level = table.levels.size();
        if (!item.separator && item.id != 0) table.byId[item.id] = static_cast<int>(table.items.size());
        table.items.push_back(item);
        level.entries.push_back({item.separator, true});
        if (info.hSubMenu) submenus.push_back(info.hSubMenu);
    }
    table.levels.push_back(level);
    for (HMENU submenu : submenus) RegisterLevel(submenu);
}

MenuLevelOps LevelOps(MenuLevel& level) {
    MenuLevelOps ops;
    HMENU menu = level.menu;
    const size_t first = level.first;
    ops.remove = [menu](int position) { return RemoveMenu(menu, position, MF_BYPOSITION) != 0; };
    ops.insert = [menu, first](int position, size_t entry) {
        const DynamicMenuItem& item = Table().items[first + entry];
        std::string text = item.text;
        std::string expanded;
        if (ExpandBrandPlaceholders(text.c_str(), expanded)) text = expanded;
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        if (item.separator) {
            info.fMask = MIIM_FTYPE;
            info.fType = MFT_SEPARATOR;
        } else if (item.submenu) {
            info.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_DATA;
            info.hSubMenu = item.submenu;
            info.dwItemData = static_cast<ULONG_PTR>(item.id);
            info.dwTypeData = text.data();
        } else {
            info.fMask = MIIM_STRING | MIIM_ID;
            info.wID = static_cast<UINT>(item.id);
            info.dwTypeData = text.data();
        }
        return InsertMenuItemA(menu, position, TRUE, &info) != 0;
    };
    return ops;
}

void RedrawMainMenu() {
    if (HWND main = Shell().main) DrawMenuBar(main);
}

// ---- Accelerators -----------------------------------------------------------

struct AcceleratorIndex {
    HACCEL table = nullptr;
    int count = 0;
    std::vector<ACCEL> entries;
    std::set<int32_t> ids;
    bool complete = false;
};

AcceleratorIndex& Accelerators() {
    static AcceleratorIndex index;
    return index;
}

}  // namespace

// ---- Building -----------------------------------------------------------------

bool BuildMenu(HMENU menu, const MenuTableRow*& cursor) {
    const MenuTableRow& row = *cursor++;
    if (row.id == kMenuPopupEnd || row.id == kMenuTableEnd) return false;
    if (row.id == kMenuSeparator) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        return true;
    }
    std::string label = row.textKey ? Text(row.textKey) : row.text ? row.text : "";
    if (row.acceleratorLabel) label += std::string("\t") + row.acceleratorLabel;
    const char* info = Text(row.infoKey);
    if (row.id == kMenuPopup) {
        HMENU popup = CreatePopupMenu();
        while (BuildMenu(popup, cursor)) {}
        AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), label.c_str());
        MENUITEMINFOA data = {};
        data.cbSize = sizeof data;
        data.fMask = MIIM_DATA;
        data.dwItemData = static_cast<ULONG_PTR>(row.popupId);
        SetMenuItemInfoA(menu, GetMenuItemCount(menu) - 1, TRUE, &data);
        InfoTexts()[row.popupId] = info ? info : "";
    } else {
        AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(row.id), label.c_str());
        InfoTexts()[row.id] = info ? info : "";
    }
    return true;
}

HMENU CreateLocalisedMenuBar() {
    HMENU bar = CreateMenu();
    const MenuTableRow* cursor = kMainMenuTable;
    while (BuildMenu(bar, cursor)) {}
    return bar;
}

HMENU CreateLocalisedPopupMenu(const MenuTableRow* rows) {
    HMENU popup = CreatePopupMenu();
    const MenuTableRow* cursor = rows;
    while (BuildMenu(popup, cursor)) {}
    return popup;
}

const char* FindCommandText(UINT id, HMENU menu, bool byPosition) {
    int32_t key = static_cast<int32_t>(id);
    if (byPosition) {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_DATA;
        key = menu && GetMenuItemInfoA(menu, id, TRUE, &info) ? static_cast<int32_t>(info.dwItemData) : 0;
    }
    return InfoTexts()[key].c_str();
}

void RegisterMenuTree(HMENU menu) {
    FreeDynamicMenuTable();
    RegisterLevel(menu);
}

int CountMenuItems(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    int total = count > 0 ? count : 0;
    for (int i = 0; i < count; ++i)
        if (HMENU submenu = GetSubMenu(menu, i)) total += CountMenuItems(submenu);
    return total;
}

int FindDynamicMenuItem(int32_t id) {
    const auto& byId = Table().byId;
    const auto it = byId.find(id);
    return it == byId.end() ? -1 : it->second;
}

HMENU GetDynamicMenuItemPopup(int32_t id) {
    const int index = FindDynamicMenuItem(id);
    return index < 0 ? nullptr : Table().items[index].submenu;
}

int RemoveDynamicMenuItem(int32_t id, HMENU) {
    const int index = FindDynamicMenuItem(id);
    if (index < 0) return 0;
    DynamicMenuTable& table = Table();
    MenuLevel& level = table.levels[table.items[index].level];
    const int done = MenuLevel_Remove(level.entries, index - level.first, LevelOps(level));
    if (done) RedrawMainMenu();
    return done;
}

int InsertDynamicMenuItem(HMENU, int32_t id) {
    const int index = FindDynamicMenuItem(id);
    if (index < 0) return 0;
    DynamicMenuTable& table = Table();
    MenuLevel& level = table.levels[table.items[index].level];
    const int done = MenuLevel_Insert(level.entries, index - level.first, LevelOps(level));
    if (done) RedrawMainMenu();
    return done;
}

void FreeDynamicMenuTable() { Table() = DynamicMenuTable(); }

void ExpandMenuTexts(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const std::string text = ItemText(menu, i);
        std::string expanded;
        if (!text.empty() && ExpandBrandPlaceholders(text.c_str(), expanded)) {
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_STRING;
            info.dwTypeData = expanded.data();
            SetMenuItemInfoA(menu, i, TRUE, &info);
        }
        if (HMENU submenu = GetSubMenu(menu, i)) ExpandMenuTexts(submenu);
    }
}

// ---- Accelerators -----------------------------------------------------------

bool Accel_Load(HINSTANCE instance) {
    Accel_Destroy();
    AcceleratorIndex& index = Accelerators();
    index.table = LoadAcceleratorsA(instance, "KORV");
    if (!index.table) return false;
    index.count = CopyAcceleratorTableA(index.table, nullptr, 0);
    if (index.count >= 1) {
        index.entries.resize(index.count);
        const int copied = CopyAcceleratorTableA(index.table, index.entries.data(), index.count);
        index.complete = copied == index.count;
        if (index.complete)
            for (const ACCEL& entry : index.entries) index.ids.insert(entry.cmd);
    }
    return true;
}

HACCEL Accel_Get() { return Accelerators().table; }

bool Accel_HasCommand(int32_t id) { return Accelerators().ids.count(id) != 0; }

void Accel_Destroy() {
    AcceleratorIndex& index = Accelerators();
    if (index.table) DestroyAcceleratorTable(index.table);
    index = AcceleratorIndex();
}

// ---- States -------------------------------------------------------------------

namespace {

MenuStateInput CurrentState() {
    const AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    MenuStateInput in;
    in.mode = app.mode;
    in.running = Scanner_OnlineState() == 2;
    in.settings = &app.settings;
    in.view = &app.view;
    in.switches = App_CommandSwitches();
    if (const RawData* raw = app.raw) {
        in.profiles = raw->NumProfiles;
        in.points = raw->NumPoints;
        in.sweeps = raw->NumSweeps;
        in.storedSweeps = raw->TotalSweeps;
        for (int32_t s = 0; s < raw->NumSweeps && raw->Sweeps; ++s) {
            in.unhiddenSweeps += !(raw->Sweeps[s].Flags & kSweepHidden);
            in.pendingTransform = in.pendingTransform || (raw->Sweeps[s].Flags & kSweepPendingTransform);
        }
        in.selectLevel = raw->SelectionLimit;
        in.selectTop = raw->SelectionLevelTop;
        in.eraseLevel = raw->EditLimit;
        in.eraseTop = raw->EditLevelTop;
        in.stylusGroups = StylusItems_GroupCount(raw->Stylus);
        in.allStylusVisible = raw->Stylus.VisibleCount >= raw->Stylus.TotalCount;
    }
    in.selectMode = app.selectMode;
    in.basicPresent = app.basic.NumPoints >= 1;
    in.rbfPresent = app.rbf.NumPoints >= 1;
    in.showsRbf = app.shownSurface == &app.rbf;
    in.siblingKnown = !app.siblingFolder.empty();
    in.noReceiver = hooks.calibrationNoReceiver && hooks.calibrationNoReceiver();
    in.scannerKind = hooks.calibrationScannerKind ? hooks.calibrationScannerKind() : 0;
    in.receiverFrozen = hooks.receiverFrozen && hooks.receiverFrozen();
    const ShellWindows& shell = Shell();
    in.sweepsPanelVisible = shell.modeless[kSlotSweepsList1] && IsWindowVisible(shell.modeless[kSlotSweepsList1]);
    in.stylusPanelVisible = shell.modeless[kSlotSweepsList2] && IsWindowVisible(shell.modeless[kSlotSweepsList2]);
    return in;
}

}  // namespace

void Menu_UpdateStates() {
    HWND main = Shell().main;
    HMENU menu = main ? GetMenu(main) : nullptr;
    if (!menu) return;
    for (const auto& [id, state] : Menu_ComputeStates(CurrentState())) {
        if (state.enabled >= 0) EnableMenuItem(menu, id, MF_BYCOMMAND | (state.enabled ? MF_ENABLED : MF_GRAYED));
        if (state.checked >= 0) CheckMenuItem(menu, id, MF_BYCOMMAND | (state.checked ? MF_CHECKED : MF_UNCHECKED));
    }
    DrawMenuBar(main);
}

// ---- The main window's menus ------------------------------------------------

void Menus_BuildMainMenu(HWND main) {
    const AppState& app = App();
    InfoTexts().clear();
    HMENU bar = CreateLocalisedMenuBar();
    SetMenu(main, bar);
    RegisterMenuTree(bar);
    RemoveDynamicMenuItem(kPopupFactory, bar);
    RemoveDynamicMenuItem(40101, bar);
    if (!app.editions.tarrel) {
        RemoveDynamicMenuItem(40318, bar);
    } else {
        RemoveDynamicMenuItem(40293, bar);
        RemoveDynamicMenuItem(40165, bar);
    }
    ExpandMenuTexts(bar);
    if (HBITMAP check = LoadBitmapA(Shell().instance, MAKEINTRESOURCEA(kHelpCheckBitmap)))
        for (UINT id : {40177u, 40178u, 40179u}) SetMenuItemBitmaps(bar, id, MF_BYCOMMAND, check, check);
    if (!app.surfaceLibraryBound) RemoveDynamicMenuItem(40127, bar);
    DrawMenuBar(main);
}

void Menus_ShowFactory(bool show) {
    HMENU bar = Shell().main ? GetMenu(Shell().main) : nullptr;
    if (show)
        InsertDynamicMenuItem(bar, kPopupFactory);
    else
        RemoveDynamicMenuItem(kPopupFactory, bar);
}
