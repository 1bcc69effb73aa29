// The menus, accelerators and command dispatch on the real main window.
#include "app/acquisition/acquisition_settings.h"
#include "app/files/settings_registry.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/brand_placeholders.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menu_states.h"
#include "app/ui/menu_table.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<AppMessage> g_messages;
std::string g_customer;

void Pump() { PumpShellMessages(3, 5); }

std::string StatusText() {
    char text[1024] = "";
    SendMessageA(Shell().statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

struct MenuItem {
    std::string text;
    UINT id = 0;
    HMENU submenu = nullptr;
    ULONG_PTR data = 0;
    bool separator = false;
};

MenuItem ItemAt(HMENU menu, int position) {
    char text[1100] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    MenuItem item;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    item.text = text;
    item.id = info.wID;
    item.submenu = info.hSubMenu;
    item.data = info.dwItemData;
    return item;
}

// Where an id is in the live menu: its menu and position; false when absent.
bool Locate(HMENU menu, int32_t id, HMENU& owner, int& position) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const MenuItem item = ItemAt(menu, i);
        if ((item.submenu && static_cast<int32_t>(item.data) == id) ||
            (!item.submenu && !item.separator && static_cast<int32_t>(item.id) == id)) {
            owner = menu;
            position = i;
            return true;
        }
        if (item.submenu && Locate(item.submenu, id, owner, position)) return true;
    }
    return false;
}

bool InMenu(int32_t id) {
    HMENU owner;
    int position;
    return Locate(GetMenu(Shell().main), id, owner, position);
}

std::string ExpectedLabel(const MenuTableRow& row) {
    std::string label = row.textKey ? Locale_GetString(row.textKey) : row.text ? row.text : "";
    if (row.acceleratorLabel) label += std::string("\t") + row.acceleratorLabel;
    std::string expanded;
    return ExpandBrandPlaceholders(label.c_str(), expanded) ? expanded : label;
}

// Compares one level of the live menu with the table from the cursor on,
// passing over rows (and popups) of the ids this start takes out.
void CompareLevel(HMENU menu, const MenuTableRow*& cursor, const std::set<int32_t>& removed) {
    int position = 0;
    for (;;) {
        const MenuTableRow& row = *cursor++;
        if (row.id == kMenuPopupEnd || row.id == kMenuTableEnd) break;
        const int32_t key = row.id == kMenuPopup ? row.popupId : row.id;
        if (removed.count(key)) {
            if (row.id == kMenuPopup) {
                // Skip the popup's rows.
                for (int depth = 1; depth > 0; ++cursor)
                    depth += cursor->id == kMenuPopup ? 1 : cursor->id == kMenuPopupEnd ? -1 : 0;
            }
            continue;
        }
        ASSERT_LT(position, GetMenuItemCount(menu)) << "row " << (cursor - kMainMenuTable);
        const MenuItem item = ItemAt(menu, position++);
        if (row.id == kMenuSeparator) {
            EXPECT_TRUE(item.separator) << "row " << (cursor - kMainMenuTable);
            continue;
        }
        EXPECT_EQ(item.text, ExpectedLabel(row));
        if (row.id == kMenuPopup) {
            ASSERT_NE(item.submenu, nullptr) << item.text;
            EXPECT_EQ(static_cast<int32_t>(item.data), row.popupId) << item.text;
            CompareLevel(item.submenu, cursor, removed);
        } else {
            EXPECT_EQ(static_cast<int32_t>(item.id), row.id) << item.text;
        }
    }
    EXPECT_EQ(position, GetMenuItemCount(menu));
}

class MenusWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        Brand_SetPackageReader([](BrandInfo& brand) {
            brand.customer = g_customer;
            brand.product = "Scanprod";
            brand.company = "Makerco";
            brand.updateurl = "";
        });
    }
    void SetUp() override {
        DeleteSettingsKeys();
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
        g_messages.clear();
        g_customer.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        Commands_SetQuestionSink([](const std::string&, const std::string&) { return IDNO; });
        Help_SetViewer([this](HWND, const char* file, UINT command, DWORD_PTR) {
            helpCalls_.push_back(std::string(file) + "#" + std::to_string(command));
            return static_cast<HWND>(nullptr);
        });
        Shell().instance = GetModuleHandleA(nullptr);
        Accel_Load(Shell().instance);
        Shell().accelerators = Accel_Get();
        Commands_ConnectShell();
    }
    void TearDown() override {
        if (window_ && IsWindow(window_)) {
            SendMessageA(window_, WM_CLOSE, 0, 0);
            Pump();
        }
        Shell_Win32Hooks() = ShellWin32Hooks();
        Shell_Hooks().updateMenuStates = nullptr;
        Shell_Hooks().updateToolbar = nullptr;
        Shell_Hooks().bindSurfaceLibrary = nullptr;
        Accel_Destroy();
        Shell().accelerators = nullptr;
        App_SetMessageSink(nullptr);
        Commands_SetQuestionSink(nullptr);
        Help_SetViewer(nullptr);
        App_CommandSwitches() = CommandSwitches();
        DeleteSettingsKeys();
    }
    HWND Start(const std::string& customer = "") {
        g_customer = customer;
        window_ = App_CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        Pump();
        g_messages.clear();
        return window_;
    }
    HWND window_ = nullptr;
    std::vector<std::string> helpCalls_;
};

TEST_F(MenusWin32, TheMenuBarFollowsTheTableInEveryEdition) {
    struct {
        const char* customer;
        std::set<int32_t> removed;
        std::set<int32_t> present;
    } cases[] = {
        {"", {40404, 40101, 40318, 40127}, {40293, 40165}},
        {"Tarrel", {40404, 40101, 40293, 40165, 40127}, {40318}},
        {"Pemmler", {40404, 40101, 40318, 40127}, {40293, 40165}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.customer);
        ASSERT_NE(Start(c.customer), nullptr);
        HMENU bar = GetMenu(window_);
        ASSERT_NE(bar, nullptr);
        const MenuTableRow* cursor = kMainMenuTable;
        CompareLevel(bar, cursor, c.removed);
        for (int32_t id : c.removed) EXPECT_FALSE(InMenu(id)) << id;
        for (int32_t id : c.present) EXPECT_TRUE(InMenu(id)) << id;
        // The placeholders are expanded with the brand's names.
        HMENU owner;
        int position;
        ASSERT_TRUE(Locate(bar, 40024, owner, position));
        EXPECT_EQ(ItemAt(owner, position).text.find('$'), std::string::npos);
        SendMessageA(window_, WM_CLOSE, 0, 0);
        Pump();
    }
}

TEST_F(MenusWin32, AboutTheSurfaceLibraryStaysWhenTheLibraryIsBound) {
    Shell_Hooks().bindSurfaceLibrary = [] { return true; };
    Start();
    EXPECT_TRUE(InMenu(40127));
}

TEST_F(MenusWin32, TheFactoryMenuComesBackAtItsPlaceAndLeavesAgain) {
    Start();
    HMENU bar = GetMenu(window_);
    const int before = GetMenuItemCount(bar);
    Shell_Win32Hooks().showFactoryMenu(true);
    ASSERT_EQ(GetMenuItemCount(bar), before + 1);
    const MenuItem factory = ItemAt(bar, 6);  // after Settings, before Help
    EXPECT_EQ(factory.text, "F&actory");
    EXPECT_EQ(factory.data, static_cast<ULONG_PTR>(kPopupFactory));
    EXPECT_TRUE(InMenu(40219));
    EXPECT_EQ(InsertDynamicMenuItem(bar, kPopupFactory), 0);  // already present
    App().factoryMenuShown = true;
    SendMessageA(window_, WM_COMMAND, 40108, 0);
    EXPECT_EQ(GetMenuItemCount(bar), before);
    EXPECT_FALSE(InMenu(kPopupFactory));
    EXPECT_FALSE(App().factoryMenuShown);
    EXPECT_EQ(RemoveDynamicMenuItem(kPopupFactory, bar), 0);  // already absent
    EXPECT_EQ(RemoveDynamicMenuItem(12345, bar), 0);          // unknown
}

TEST_F(MenusWin32, MenuSelectShowsEachInfoTextInTheStatusBar) {
    Start();
    // With the factory menu shown every row is in the bar but those of other
    // editions (a few), so the count below is met only when nearly all are.
    Shell_Win32Hooks().showFactoryMenu(true);
    HMENU bar = GetMenu(window_);
    int checked = 0;
    for (size_t i = 0; i < kMainMenuTableSize; ++i) {
        const MenuTableRow& row = kMainMenuTable[i];
        if (row.id != kMenuPopup && row.id <= 0) continue;
        const int32_t id = row.id == kMenuPopup ? row.popupId : row.id;
        HMENU owner;
        int position;
        if (!Locate(bar, id, owner, position)) continue;
        SetStatusText("-");
        const WPARAM w = row.id == kMenuPopup ? MAKEWPARAM(position, MF_POPUP) : MAKEWPARAM(id, 0);
        SendMessageA(window_, WM_MENUSELECT, w, reinterpret_cast<LPARAM>(owner));
        std::string expected = row.infoKey ? Locale_GetString(row.infoKey) : "";
        std::string expanded;
        if (ExpandBrandPlaceholders(expected.c_str(), expanded)) expected = expanded;
        EXPECT_EQ(StatusText(), expected) << id;
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

// ---- Accelerators -----------------------------------------------------------

void EnableEverything(HMENU menu) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        EnableMenuItem(menu, i, MF_BYPOSITION | MF_ENABLED);
        if (HMENU submenu = GetSubMenu(menu, i)) EnableEverything(submenu);
    }
}

std::vector<WORD> g_raised;

TEST_F(MenusWin32, TheLoadedTableIsTheBindingTable) {
    const int count = CopyAcceleratorTableA(Accel_Get(), nullptr, 0);
    ASSERT_EQ(count, static_cast<int>(kKorvBindingCount));
    std::vector<ACCEL> entries(count);
    CopyAcceleratorTableA(Accel_Get(), entries.data(), count);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(entries[i].fVirt & 0x7F, kKorvBindings[i].flags) << i;
        EXPECT_EQ(entries[i].key, kKorvBindings[i].key) << i;
        EXPECT_EQ(entries[i].cmd, kKorvBindings[i].command) << i;
        EXPECT_TRUE(Accel_HasCommand(kKorvBindings[i].command));
    }
    EXPECT_FALSE(Accel_HasCommand(40101));
}

WORD PressKey(HWND window, const AcceleratorBinding& b) {
    BYTE keys[256] = {};
    if (b.flags & kAccelControl) keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    if (b.flags & kAccelShift) keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
    if (b.flags & kAccelAlt) keys[VK_MENU] = keys[VK_LMENU] = 0x80;
    keys[b.key] = 0x80;
    SetKeyboardState(keys);
    g_raised.clear();
    const bool alt = (b.flags & kAccelAlt) != 0;
    PostMessageA(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, b.key, alt ? (1 | (1 << 29)) : 1);
    Pump();
    BYTE none[256] = {};
    SetKeyboardState(none);
    return g_raised.size() == 1 ? g_raised[0] : 0;
}

TEST_F(MenusWin32, EveryBindingRaisesItsCommandThroughTheLoop) {
    Start();
    EnableEverything(GetMenu(window_));
    Shell_Win32Hooks().dispatchCommand = [](HWND, WPARAM wParam, LPARAM) {
        g_raised.push_back(LOWORD(wParam));
        return true;
    };
    for (size_t i = 0; i < kKorvBindingCount; ++i) {
        const AcceleratorBinding& b = kKorvBindings[i];
        EXPECT_EQ(PressKey(window_, b), b.command) << "binding " << i << " key " << b.key << " flags " << int(b.flags);
    }
    // The edge cases: F1 to F8 as the Pemmler items show them, and Ctrl+T.
    const WORD fKeys[] = {40307, 40315, 40308, 40089, 40262, 40263, 40264, 40004};
    for (int f = 0; f < 8; ++f)
        EXPECT_EQ(PressKey(window_, {kAccelVirtKey, static_cast<uint16_t>(VK_F1 + f), 0}), fKeys[f]) << "F" << f + 1;
    EXPECT_EQ(PressKey(window_, {kAccelVirtKey | kAccelControl, 'T', 0}), 40144);
}

// ---- Dispatch -----------------------------------------------------------------

struct Snapshot {
    std::unique_ptr<GeneralSettings> settings = std::make_unique<GeneralSettings>();
    ViewSettings view;
    int32_t mode;
    Snapshot() {
        std::memcpy(settings.get(), &App().settings, sizeof(GeneralSettings));
        view = App().view;
        mode = App().mode;
    }
    bool Same() const {
        return std::memcmp(settings.get(), &App().settings, sizeof(GeneralSettings)) == 0 &&
               std::memcmp(&view, &App().view, sizeof view) == 0 && mode == App().mode;
    }
};

// Ids that open a modal window or end the program are left to their own tests.
const std::set<WORD> kSkipped = {40005, 40294, 40296, 40341, 40067, 40349, 40099, 40104, 40126, 40166, 40082, 40100,
                                 40265, 40089, 40318, 40317, 40278, 40004, 40129, 40148, 40261, 40267, 40093,
                                 40250, 40060, 40024, 40127, 40135, 40144, 40167, 40101, 40336, 40413, 40130,
                                 40105};

TEST_F(MenusWin32, EveryIdIsHandledOrPassedOnAndNoneTurnsTheUserAway) {
    Start();
    int refreshes = 0;
    Shell_Hooks().updateToolbar = [&] { ++refreshes; };
    std::set<WORD> ids = {40123, 40134, 40183, 40184, 40185, 40186, 40187,
                          40188, 40189, 40198, 40358, 40359, 40003, 40414};
    for (size_t i = 0; i < kMainMenuTableSize; ++i)
        if (kMainMenuTable[i].id > 0) ids.insert(static_cast<WORD>(kMainMenuTable[i].id));
    for (size_t i = 0; i < kKorvBindingCount; ++i) ids.insert(kKorvBindings[i].command);
    const std::set<WORD> passedOn = {40123, 40134, 40183, 40184, 40185, 40186,
                                     40187, 40188, 40189, 40198, 40003, 40414};
    // Commands that raise another command refresh for each; switching the
    // cast-inversion mode refreshes the menus, toolbar and status bar itself,
    // and the dispatch then refreshes as after every command; closing the scan
    // (New) refreshes the toolbar as it discards the surfaces; the views from
    // the box's sides centre the view through Center.
    const std::set<WORD> nested = {40292, 40373, 40052, 40307, 40313, 40315, 40314, 40308, 40309, 40219, 40224, 40221};
    for (WORD id : ids) {
        if (kSkipped.count(id)) continue;
        SCOPED_TRACE(id);
        g_messages.clear();
        refreshes = 0;
        const Snapshot before;
        const int result = MainWnd_OnCommand(id);
        if (passedOn.count(id)) {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(before.Same());
            EXPECT_TRUE(g_messages.empty());
            EXPECT_EQ(refreshes, 0);
            continue;
        }
        EXPECT_EQ(result, 1);
        if (nested.count(id)) {
            EXPECT_EQ(refreshes, 2);
        } else {
            EXPECT_EQ(refreshes, 1);
        }
        for (const AppMessage& message : g_messages)
            EXPECT_EQ(message.text.find("not available"), std::string::npos) << message.text;
        Pump();
    }
}

TEST_F(MenusWin32, HandledCommandsMakeTheirChange) {
    Start();
    struct Case {
        WORD id;
        std::function<void()> before;
        std::function<bool()> after;
    };
    GeneralSettings& g = App().settings;
    ViewSettings& v = App().view;
    const Case cases[] = {
        {40011,
         [&] {
             v.Options = 2;
             v.DisplayType = 2;
         },
         [&] { return v.DisplayType == 0 && !(v.Options & 2); }},
        {40013, [] {}, [&] { return v.DisplayType == 1; }},
        {40014, [] {}, [&] { return v.DisplayType == 2 && !(v.Options & 2); }},
        {40015, [] {}, [&] { return v.DisplayType == 2 && (v.Options & 2); }},
        {40078, [&] { v.Options = 0; }, [&] { return v.Options == 1; }},
        {40120, [] {}, [&] { return g.Movement == 1; }},
        {40122, [] {}, [&] { return g.Movement == 3; }},
        {40064, [] {}, [] { return App().mode == kModePreview; }},
        {40262, [] {}, [] { return App().mode == kModeScan; }},
        {40263, [] {},
         [&] { return App().mode == kModeSurface && g.CombineSweeps == 1 && App().shownSurface == &App().basic; }},
        {40264, [] {},
         [&] { return App().mode == kModeSurface && g.CombineSweeps == 2 && App().shownSurface == &App().rbf; }},
        {40291, [&] { g.ViewBBox = 0; }, [&] { return g.ViewBBox == 1; }},
        // The front of the box is the side it was set from.
        {40307,
         [&] {
             M4_MakeRotationZ(30.0f, v.CoordinateSystem);
             M4_Identity(v.ViewMatrix);
         },
         [&] { return std::memcmp(&v.ViewMatrix, &v.CoordinateSystem, sizeof v.ViewMatrix) == 0; }},
        // Setting a side from the view needs the Pemmler keys.
        {40290,
         [&] {
             App().factoryMenuShown = false;
             M4_Identity(v.CoordinateSystem);
             M4_MakeRotationZ(30.0f, v.ViewMatrix);
         },
         [&] { return v.CoordinateSystem[1] == 0.0f; }},
        {40285, [] { App().mode = kModeSurface; }, [&] { return v.ColourMode == 6 && App().mode == kModeScan; }},
        {40286, [] {}, [&] { return v.ColourMode == 7; }},
        {40287, [] {}, [&] { return v.ColourMode == 5; }},
        {40245, [] {}, [&] { return v.ColourMode == 1; }},
        {40281, [] {}, [&] { return v.ColourMode == 0; }},
        {40333, [&] { g.ViewReferencePosition = 0; }, [&] { return g.ViewReferencePosition == 1; }},
        {40334, [&] { g.ViewWandPosition = 1; }, [&] { return g.ViewWandPosition == 0; }},
        {40332, [&] { g.ViewTransmitterPosition = 0; }, [&] { return g.ViewTransmitterPosition == 1; }},
        {40344, [&] { g.StylusPointAutoView = 0; }, [&] { return g.StylusPointAutoView == 1; }},
        {40345, [&] { g.StylusPointBeep = 1; }, [&] { return g.StylusPointBeep == 0; }},
        {40073, [&] { g.AutoView = 0; }, [&] { return g.AutoView == 1; }},
        {40208, [&] { g.DisableDoubleTriggerClick = 0; }, [&] { return g.DisableDoubleTriggerClick == 1; }},
        {40209, [&] { g.DisableTripleTriggerClick = 1; }, [&] { return g.DisableTripleTriggerClick == 0; }},
        {40383, [&] { g.UseOldToolbar = 0; }, [&] { return g.UseOldToolbar == 1; }},
        {40384, [] {}, [&] { return g.UseOldToolbar == 0; }},
        {40359, [] {}, [&] { return g.UseOldToolbar == 1; }},
        {40358, [] {}, [&] { return g.UseOldToolbar == 0; }},
        {40354, [&] { g.ToolbarLabels = 0; }, [&] { return g.ToolbarLabels == 1; }},
        {40355, [] {}, [&] { return g.ToolbarIconSize == 2; }},
        {40356, [] {}, [&] { return g.ToolbarIconSize == 1; }},
        {40357, [] {}, [&] { return g.ToolbarIconSize == 0; }},
        {40390, [] {}, [&] { return g.UseImperialUnits == 1; }},
        {40389, [] {}, [&] { return g.UseImperialUnits == 0; }},
        {40022, [&] { g.SaveSettingsOnExit = 0; }, [&] { return g.SaveSettingsOnExit == 1; }},
        {40107, [&] { g.BasicParams.GenerateFacets = 0; }, [&] { return g.BasicParams.GenerateFacets == 1; }},
        {40380, [&] { v.Options = 0; }, [&] { return v.Options == 0x400; }},
        {40252, [&] { v.Options = 0; }, [&] { return v.Options == 0x10; }},
        {40253, [&] { v.Options = 0; }, [&] { return v.Options == 0x20; }},
        {40337, [&] { v.Options = 0; }, [&] { return v.Options == 0x200; }},
        {40272, [&] { v.Options = 0; }, [&] { return v.Options == 0x100; }},
        {40271, [&] { v.Options = 0; }, [&] { return v.Options == 0x80; }},
        {40254, [&] { v.Options = 0x40; }, [&] { return v.Options == 0; }},
        {40350, [] {}, [] { return App_CommandSwitches().crosshair; }},
        {40353, [] {}, [] { return App_CommandSwitches().quadSurfacing; }},
        {40181, [&] { g.Stylus.Mode = 0; }, [&] { return g.Stylus.Mode == 1; }},
        {40347, [] { App_CommandSwitches().halvern = true; },
         [&] {
             return App_CommandSwitches().corvane && !App_CommandSwitches().halvern && g.VideoProcessorRevision == 2 &&
                    GetAlternativeTrackerList() == 1;
         }},
        {40352, [] {},
         [] {
             return App_CommandSwitches().halvern && !App_CommandSwitches().corvane && GetAlternativeTrackerList() == 2;
         }},
        {40352, [] {}, [] { return !App_CommandSwitches().halvern && GetAlternativeTrackerList() == 0; }},
        {40347, [] {}, [] { return App_CommandSwitches().corvane && GetAlternativeTrackerList() == 1; }},
        {40347, [] {}, [] { return !App_CommandSwitches().corvane && GetAlternativeTrackerList() == 0; }},
        {40243, [] { App().selectMode = false; }, [] { return App().selectMode && App().mode == kModeScan; }},
        {40243, [] {}, [] { return !App().selectMode; }},
        {40373, [&] { g.CastInversionMode = 0; }, [&] { return g.CastInversionMode == 1; }},
        {40103, [] { App().mode = kModeScan; }, [] { return App().mode == kModeCalibration; }},
        {40103, [] {}, [] { return App().mode == kModeScan; }},
        {40201, [&] { g.DisableGraphicsHardware = 0; }, [&] { return g.DisableGraphicsHardware == 1 && Shell().view; }},
        {40239, [&] { g.OverrideGraphicsHardwareSwapCopyBit = 0; },
         [&] { return g.OverrideGraphicsHardwareSwapCopyBit == 0; }},
        {40239, [&] { g.OverrideGraphicsHardwareSwapCopyBit = 1; },
         [&] { return g.OverrideGraphicsHardwareSwapCopyBit == 0; }},
        {40083,
         [&] {
             g.Movement = 3;
             g.ScannerEnabled = 1;
             g.QuadrelFrequency = 3;
         },
         [&] {
             return g.Movement == App().settingsDefaults.Movement && g.ScannerEnabled == 1 && g.QuadrelFrequency == 3;
         }},
        {40023, [] {},
         [this] { return helpCalls_.size() == 1 && helpCalls_[0].find("Tolvaran.chm#1") != std::string::npos; }},
        {40242, [] {}, [] { return true; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        c.before();
        g_messages.clear();
        EXPECT_EQ(MainWnd_OnCommand(c.id), 1);
        EXPECT_TRUE(c.after());
        EXPECT_TRUE(g_messages.empty());
        Pump();
    }
    g.ScannerEnabled = 0;
}

TEST_F(MenusWin32, UndoSweepWithoutSweepsOrWhileBusyChangesNothing) {
    Start();
    ASSERT_NE(App().raw, nullptr);
    for (WORD id : {40055, 40056}) {
        App().busyState = kBusyIdle;
        EXPECT_EQ(MainWnd_OnCommand(id), 1);
        EXPECT_EQ(App().busyState, kBusyIdle);
        EXPECT_EQ(App().raw->NumSweeps, 0);
        EXPECT_EQ(App().raw->Edited, 0);
        App().busyState = kBusyBasicSurface;
        EXPECT_EQ(MainWnd_OnCommand(id), 1);
        EXPECT_EQ(App().busyState, kBusyBasicSurface);
    }
    App().busyState = kBusyIdle;
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(MenusWin32, MenuStatesFollowTheSettings) {
    Start();
    HMENU bar = GetMenu(window_);
    App().settings.Movement = 2;
    App().view.DisplayType = 1;
    App().view.Options = 0;
    App_RefreshUi();
    EXPECT_TRUE(GetMenuState(bar, 40121, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(bar, 40119, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(bar, 40013, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(bar, 40089, MF_BYCOMMAND) & MF_GRAYED);  // no profile
    MainWnd_OnCommand(40064);
    EXPECT_TRUE(GetMenuState(bar, 40011, MF_BYCOMMAND) & MF_GRAYED);  // camera view
    MainWnd_OnCommand(40262);
    EXPECT_FALSE(GetMenuState(bar, 40011, MF_BYCOMMAND) & MF_GRAYED);
}

}  // namespace

namespace {

// One profile of two points made relative to the transmitter, its receiver
// 100 along x.
void AddProfile(RawData& raw) {
    ASSERT_TRUE(RawData_GrowProfiles(raw, 500));
    ASSERT_TRUE(RawData_GrowSweeps(raw));
    Profile& p = raw.Profiles[raw.NumProfiles];
    p = Profile{};
    p.NumPoints = 2;
    p.Points = static_cast<Vec3*>(std::malloc(2 * sizeof(Vec3)));
    p.PointValues = static_cast<int32_t*>(std::calloc(2, sizeof(int32_t)));
    p.Points[0] = Vec3{110.0f, 0.0f, 0.0f};
    p.Points[1] = Vec3{100.0f, 5.0f, 0.0f};
    M4_Identity(p.WandRxMatrix);
    M4_Identity(p.ReferenceRxMatrix);
    M4_Identity(p.RawReferenceRxMatrix);
    p.RawReferenceRxMatrix[12] = 100.0f;
    raw.NumProfiles = raw.TotalProfiles = raw.NumProfiles + 1;
}

}  // namespace

TEST_F(MenusWin32, ReferenceCommandsAskOnlyWithScanDataAndReexpressOnRepair) {
    Start();
    GeneralSettings& g = App().settings;
    int chosen = 0, asked = 0;
    ReferenceCommands_SetChooser([&] {
        ++asked;
        return chosen;
    });
    g.ReceiverEnabled = 0;
    EXPECT_EQ(MainWnd_OnCommand(40097), 1);  // already the transmitter: nothing
    EXPECT_EQ(MainWnd_OnCommand(40098), 1);  // empty scan: switched without asking
    EXPECT_EQ(g.ReceiverEnabled, 1);
    EXPECT_EQ(asked, 0);

    RawData& raw = *App().raw;
    AddProfile(raw);
    raw.Profiles[0].ReferenceEnabled = 0;
    g.ReceiverEnabled = 0;
    EXPECT_EQ(MainWnd_OnCommand(40098), 1);  // cancelled
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(g.ReceiverEnabled, 0);
    EXPECT_FLOAT_EQ(raw.Profiles[0].Points[0].x, 110.0f);
    chosen = 2;  // repair: the points now relative to the receiver
    EXPECT_EQ(MainWnd_OnCommand(40098), 1);
    EXPECT_EQ(g.ReceiverEnabled, 1);
    EXPECT_EQ(raw.Profiles[0].ReferenceEnabled, 1);
    EXPECT_FLOAT_EQ(raw.Profiles[0].Points[0].x, 10.0f);
    EXPECT_EQ(raw.NumProfilesProcessed, 0);

    // Swap Reference asks first; No keeps the scan, Yes converts it back.
    EXPECT_EQ(MainWnd_OnCommand(40182), 1);  // the sink answers No
    EXPECT_FLOAT_EQ(raw.Profiles[0].Points[0].x, 10.0f);
    std::string question;
    Commands_SetQuestionSink([&](const std::string& text, const std::string&) {
        question = text;
        return IDYES;
    });
    EXPECT_EQ(MainWnd_OnCommand(40182), 1);
    EXPECT_EQ(question, "Do you want to convert the scan from Receiver is Reference to Transmitter is Reference ?");
    EXPECT_FLOAT_EQ(raw.Profiles[0].Points[0].x, 110.0f);
    EXPECT_TRUE(g_messages.empty());
    ReferenceCommands_SetChooser(nullptr);
    g.ReceiverEnabled = 0;
}

TEST_F(MenusWin32, TimerModePanelStartsStopsAndCloses) {
    Start();
    GeneralSettings& g = App().settings;
    g.Timer = TimerSettings{0, 2000, 0};
    EXPECT_EQ(MainWnd_OnCommand(40192), 1);
    HWND panel = Shell().modeless[kSlotTimerMode];
    ASSERT_NE(panel, nullptr);
    char text[64];
    GetDlgItemTextA(panel, 1351, text, sizeof text);
    EXPECT_STREQ(text, "2");
    GetDlgItemTextA(panel, 1354, text, sizeof text);
    EXPECT_STREQ(text, "Off");
    SendMessageA(panel, WM_COMMAND, 1394, 0);  // no fields: stays off
    EXPECT_EQ(TimerMode_Program().state, kTimerOff);
    SetDlgItemTextA(panel, 1350, "10");
    SendMessageA(panel, WM_COMMAND, 1394, 0);
    EXPECT_EQ(TimerMode_Program().state, kTimerWaiting);
    EXPECT_EQ(g.Timer.NumFields, 10u);
    EXPECT_EQ(g.Timer.SleepTicks, 2000u);
    GetDlgItemTextA(panel, 1354, text, sizeof text);
    EXPECT_STREQ(text, "Waiting for trigger");
    GetDlgItemTextA(panel, 1394, text, sizeof text);
    EXPECT_STREQ(text, "&Stop");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(panel, 1350)));
    SendMessageA(panel, WM_COMMAND, 1053, 0);
    EXPECT_EQ(TimerMode_Program().state, kTimerOff);
    EXPECT_EQ(Shell().modeless[kSlotTimerMode], nullptr);
    EXPECT_FALSE(IsWindow(panel));
}
