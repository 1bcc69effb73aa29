// The list panels and Stylus Properties under Wine on a small synthetic
// scan, driven through their controls; each kept as a picture beside the
// test program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"
#include "app/ui/app_state.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"

// This test program's own operator new: armed with a size, the arming
// thread's next allocation of at least that size fails, once, as the first
// one to find memory exhausted would. The replacement pair is malloc and free
// on both sides; the compiler cannot see that across the library's own
// allocation calls.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
thread_local std::size_t g_failNextOfAtLeast = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (g_failNextOfAtLeast > 0 && size >= g_failNextOfAtLeast) {
        g_failNextOfAtLeast = 0;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

namespace fs = std::filesystem;

std::vector<AppMessage> g_messages;

size_t KeepPicture(HWND window, const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    const std::string path = (fs::path(program).parent_path() / ("screenshot-" + name + ".bmp")).string();
    return modal_driver::DistinctColours(modal_driver::Screenshot(window, path));
}

// Up to four sweeps of three points, each sweep one facet (a triangle in the
// plane z = 0 at x = 10 s), and two stylus groups: a point 2 mm above
// sweep 0's triangle and one far from everything.
struct PanelScan {
    RawData raw{};
    std::vector<ScanPoint> points = std::vector<ScanPoint>(12);
    std::vector<Facet> facets = std::vector<Facet>(4);
    std::vector<Vec3> facetNormals = std::vector<Vec3>(4, Vec3{0.0f, 0.0f, 1.0f});
    std::vector<SweepRecord> sweeps = std::vector<SweepRecord>(5);
    std::vector<Profile> profiles = std::vector<Profile>(4);
    int32_t firstPoint[5] = {0, 3, 6, 9, 12};
    int32_t firstFacet[5] = {0, 1, 2, 3, 4};
    int32_t firstProfile[5] = {0, 1, 2, 3, 4};
    StylusItem items[3] = {};
    explicit PanelScan(int32_t sweepCount) {
        std::memset(points.data(), 0, points.size() * sizeof(ScanPoint));
        std::memset(sweeps.data(), 0, sweeps.size() * sizeof(SweepRecord));
        for (int s = 0; s < 4; ++s) {
            for (int k = 0; k < 3; ++k) {
                ScanPoint& p = points[3 * s + k];
                p.Vertex = Vec3{10.0f * s + (k == 1 ? 8.0f : 0.0f), k == 2 ? 8.0f : 0.0f, 0.0f};
                p.Normal = Vec3{0.0f, 0.0f, 1.0f};
            }
            facets[s] = Facet{{3 * s, 3 * s + 1, 3 * s + 2}};
            profiles[s].ScanTime = 40 * s;
        }
        raw.Points = points.data();
        raw.Facets = facets.data();
        raw.FacetNormals = facetNormals.data();
        raw.Sweeps = sweeps.data();
        raw.Profiles = profiles.data();
        raw.SweepFirstPoint = firstPoint;
        raw.SweepFirstFacet = firstFacet;
        raw.SweepStartingProfileNo = firstProfile;
        SetSweeps(sweepCount);
        for (int i = 0; i < 3; ++i) M4_Identity(items[i].Pose);
        items[0].Pose[12] = 2.0f, items[0].Pose[13] = 2.0f, items[0].Pose[14] = 2.0f;
        items[1].Pose[12] = 500.0f, items[1].Group = 1;
        items[2].Pose[12] = 501.0f, items[2].Group = 1;
        raw.Stylus.Items = items;
        raw.Stylus.VisibleCount = raw.Stylus.TotalCount = raw.Stylus.Capacity = 3;
        raw.Stylus.GroupCount = 2;
    }
    void SetSweeps(int32_t n) {
        raw.NumSweeps = raw.TotalSweeps = raw.MaxSweeps = n;
        raw.NumPoints = firstPoint[n];
        raw.NumFacets = firstFacet[n];
        raw.NumProfiles = n;
    }
};

int Rows(HWND panel) { return ListView_GetItemCount(GetDlgItem(panel, kListView)); }

std::string Cell(HWND panel, int row, int column) {
    char text[128] = "";
    ListView_GetItemText(GetDlgItem(panel, kListView), row, column, text, sizeof text);
    return text;
}

class ListPanelsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x1F7F};
        InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        Shell().main = modal_driver::MakeOwner("ListPanelsOwner", DefWindowProcA, 20, 20, 500, 400);
        ASSERT_NE(Shell().main, nullptr);
        App().raw = &scan_.raw;
        App().mode = kModeScan;
        App().settings.Stylus.SurfaceDistance = 5.0f;
        App().settings.SelectedSweepTransparent = 0;
        g_messages.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
    }
    void TearDown() override {
        for (int slot : {kSlotSweepsList1, kSlotSweepsList2, kSlotStylusProperties})
            if (Shell().modeless[slot]) DestroyWindow(Shell().modeless[slot]);
        App_SetMessageSink(nullptr);
        StylusPopup_SetTracker(nullptr);
        App().raw = nullptr;
        DestroyWindow(Shell().main);
        Shell().main = nullptr;
    }
    PanelScan scan_{2};
};

TEST_F(ListPanelsWin32, TheSweepListFollowsTheScanAndEditsItsSweeps) {
    ASSERT_TRUE(ListPanels_Command(40135));
    HWND panel = Shell().modeless[kSlotSweepsList1];
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(modal_driver::ItemText(panel, 0), "Sweeps");
    ASSERT_EQ(Rows(panel), 2);
    EXPECT_EQ(Cell(panel, 1, 0), "Sweep 2");
    EXPECT_EQ(Cell(panel, 1, 1), "3");
    EXPECT_EQ(Cell(panel, 1, 3), " 0:40");

    // A sweep appended while the list is open adds one row; Undo Sweep drops it.
    scan_.SetSweeps(3);
    ListPanels_Refresh();
    EXPECT_EQ(Rows(panel), 3);
    EXPECT_EQ(Cell(panel, 2, 0), "Sweep 3");
    scan_.SetSweeps(2);
    ListPanels_Refresh();
    EXPECT_EQ(Rows(panel), 2);

    // Unchecking a row hides its sweep; Check All shows it again.
    HWND list = GetDlgItem(panel, kListView);
    ListView_SetCheckState(list, 1, FALSE);
    EXPECT_TRUE(scan_.sweeps[1].Flags & kSweepHidden);
    SendMessageA(panel, WM_COMMAND, kListCheckAll, 0);
    EXPECT_FALSE(scan_.sweeps[1].Flags & kSweepHidden);
    SendMessageA(panel, WM_COMMAND, kListInvert, 0);
    EXPECT_TRUE(scan_.sweeps[0].Flags & kSweepHidden);
    SendMessageA(panel, WM_COMMAND, kListCheckAll, 0);

    // Selecting a row highlights its sweep; Flip twice restores its normals.
    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(scan_.sweeps[0].Flags & kSweepHighlighted);
    SendMessageA(panel, WM_COMMAND, kListFlip, 0);
    EXPECT_EQ(Cell(panel, 0, 2), "flipped");
    EXPECT_EQ(scan_.points[0].Normal.z, -1.0f);
    EXPECT_EQ(scan_.points[3].Normal.z, 1.0f);
    EXPECT_GE(KeepPicture(panel, "sweep-list-363"), 3u);
    SendMessageA(panel, WM_COMMAND, kListFlip, 0);
    EXPECT_EQ(Cell(panel, 0, 2), "");
    EXPECT_EQ(scan_.points[0].Normal.z, 1.0f);

    // The surface row while a surface is on display.
    App().mode = kModeSurface;
    App().shownSurface = &App().rbf;
    EXPECT_TRUE(SweepList_ShowSurfaceRow());
    ASSERT_EQ(Rows(panel), 1);
    EXPECT_EQ(Cell(panel, 0, 1), "RBF Surface");
    App().mode = kModeScan;
    EXPECT_TRUE(SweepList_ShowSweepRows());
    EXPECT_EQ(Rows(panel), 2);

    // The command again closes it, deselecting every sweep.
    ASSERT_TRUE(ListPanels_Command(40135));
    EXPECT_EQ(Shell().modeless[kSlotSweepsList1], nullptr);
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_FALSE(scan_.sweeps[0].Flags & kSweepHighlighted);
    EXPECT_TRUE(g_messages.empty());
}

// Memory running out while the sweep list makes its rows, on the panel's own
// message and on the return from the surface view, where the mode switch of
// another window's message calls into the panel: the out-of-memory message,
// once, and a living panel that shows its rows again at the next refresh.
TEST_F(ListPanelsWin32, OutOfMemoryWhileMakingRowsGivesTheMessageAndKeepsThePanel) {
    // A translation's text long enough that making a sweep's row takes a
    // block of its own for it, the block that is refused.
    constexpr std::size_t kLongText = 256;
    const char* const key = "SweepListNumberOfPoints";
    std::string saved;
    ASSERT_TRUE(Locale_Strings().Find(key, saved));
    std::string text = saved;
    while (text.size() < 2 * kLongText) text += " (measured in this session of the scanner)";
    Locale_Strings().Set(key, text);
    ASSERT_TRUE(ListPanels_Command(40135));
    HWND panel = Shell().modeless[kSlotSweepsList1];
    ASSERT_NE(panel, nullptr);
    const std::function<void()> roads[] = {[] { ListPanels_Rebuild(); },
                                           [] {
                                               g_failNextOfAtLeast = 0;
                                               SweepList_ShowSurfaceRow();
                                               g_failNextOfAtLeast = kLongText;
                                               SweepList_ShowSweepRows();
                                           }};
    for (const std::function<void()>& road : roads) {
        g_messages.clear();
        g_failNextOfAtLeast = kLongText;
        road();
        EXPECT_EQ(g_failNextOfAtLeast, 0u);  // the refusal came
        g_failNextOfAtLeast = 0;
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(g_messages[0].textKey, "ErrorOutOfMemory");
        EXPECT_EQ(g_messages[0].text, "There is not enough memory to complete the operation.");
        ASSERT_TRUE(IsWindow(panel));
        EXPECT_TRUE(SweepList_ShowSweepRows());
        ASSERT_EQ(Rows(panel), 2);
        EXPECT_EQ(Cell(panel, 1, 0), "Sweep 2");
    }
    Locale_Strings().Set(key, saved);
}

// Every shown button of both panels has room for its text in its own font
// ("Invert Selection" was cut to "Invert Selectio").
TEST_F(ListPanelsWin32, EveryButtonShowsItsWholeText) {
    for (int32_t kind : {kListSweeps, kListStylus}) {
        SCOPED_TRACE(kind);
        HWND panel = ShowSweepList(kind);
        ASSERT_NE(panel, nullptr);
        for (int id : {kListCheckAll, kListUncheckAll, kListInvert, kListFlip, kListMoveToSurface}) {
            HWND button = GetDlgItem(panel, id);
            if (!button || !(GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE)) continue;
            std::string text = modal_driver::ItemText(panel, id);
            text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
            ASSERT_FALSE(text.empty()) << id;
            HDC dc = GetDC(button);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(button, WM_GETFONT, 0, 0)));
            SIZE extent = {};
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(button, dc);
            RECT r;
            GetClientRect(button, &r);
            // Inside the button's frame and focus rectangle, with a sixth more
            // room than this font needs: a system whose dialog font is a little
            // wider than this one's still shows the whole text.
            EXPECT_GE(r.right - 2 * 4, extent.cx * 7 / 6) << text;
        }
        DestroyWindow(panel);
    }
}

TEST_F(ListPanelsWin32, TheTransparentBoxStoresOneWhenTicked) {
    for (int32_t stored : {0, 1, 5}) {
        App().settings.SelectedSweepTransparent = stored;
        HWND panel = ShowSweepList(kListSweeps);
        ASSERT_NE(panel, nullptr);
        HWND box = GetDlgItem(panel, kListTransparent);
        EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED, stored != 0) << stored;
        SendMessageA(box, BM_CLICK, 0, 0);
        EXPECT_EQ(App().settings.SelectedSweepTransparent, stored ? 0 : 1) << stored;
        SendMessageA(box, BM_CLICK, 0, 0);
        EXPECT_EQ(App().settings.SelectedSweepTransparent, stored ? 1 : 0) << stored;
        DestroyWindow(panel);
    }
}

TEST_F(ListPanelsWin32, TheStylusListMovesItemsToTheScanOrSaysWhyNot) {
    ASSERT_TRUE(ListPanels_Command(40144));
    HWND panel = Shell().modeless[kSlotSweepsList2];
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(modal_driver::ItemText(panel, 0), "Stylus Marks");
    ASSERT_EQ(Rows(panel), 3);
    EXPECT_EQ(Cell(panel, 0, 0), "Mark 1");
    EXPECT_EQ(Cell(panel, 2, 0), "Mark 2");
    EXPECT_EQ(Cell(panel, 0, 1), "-");
    EXPECT_EQ(modal_driver::ItemText(panel, kListDistance), "5.0");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(panel, kListMoveToSurface)));
    HWND list = GetDlgItem(panel, kListView);

    // Within reach: placed on the sweep's facet, 2 mm away.
    ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, kListMoveToSurface)));
    SendMessageA(panel, WM_COMMAND, kListMoveToSurface, 0);
    EXPECT_TRUE(scan_.items[0].Flags & kStylusOnScan);
    EXPECT_EQ(Cell(panel, 0, 1), "moved 2.00 mm");
    EXPECT_TRUE(g_messages.empty());
    EXPECT_GE(KeepPicture(panel, "stylus-list-363"), 3u);

    // Out of reach: the near-point error, and the item stays.
    ListView_SetItemState(list, 0, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(panel, WM_COMMAND, kListMoveToSurface, 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorNoSweepsNearStylusPoint");
    EXPECT_FALSE(scan_.items[1].Flags & kStylusOnScan);
    EXPECT_EQ(Cell(panel, 1, 1), "-");
    ListView_SetItemState(list, 1, 0, LVIS_SELECTED);
}

TEST_F(ListPanelsWin32, TheDistanceFieldTakesNoValueThatIsNotFinite) {
    ASSERT_TRUE(ListPanels_Command(40144));
    HWND panel = Shell().modeless[kSlotSweepsList2];
    ASSERT_NE(panel, nullptr);
    auto type = [&](const char* text) {
        SetDlgItemTextA(panel, kListDistance, text);
        SendMessageA(panel, WM_COMMAND, MAKEWPARAM(kListDistance, EN_KILLFOCUS),
                     reinterpret_cast<LPARAM>(GetDlgItem(panel, kListDistance)));
        return modal_driver::ItemText(panel, kListDistance);
    };
    EXPECT_EQ(type("7.25"), "7.2");
    for (const char* typed : {"nan", "inf", "-inf", "1e39", ""}) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(type(typed), "7.2");
        EXPECT_EQ(App().settings.Stylus.SurfaceDistance, 7.25f);
    }
    EXPECT_EQ(type("3 mm"), "3.0");
}

TEST_F(ListPanelsWin32, TheStylusPopupNamesTheItemAndDeletesItsGroup) {
    HMENU reduced = StylusPopup_Build(1, false);
    EXPECT_EQ(GetMenuItemCount(reduced), 3);
    DestroyMenu(reduced);
    HMENU full = StylusPopup_Build(1, true);
    char title[64] = "";
    GetMenuStringA(full, kPopupTitle, title, sizeof title, MF_BYCOMMAND);
    EXPECT_STREQ(title, "Stylus Mark 2");
    char select[64] = "";
    GetMenuStringA(full, kPopupSelect, select, sizeof select, MF_BYCOMMAND);
    EXPECT_STREQ(select, "&Select");
    EXPECT_EQ(GetMenuItemCount(full), 5);
    DestroyMenu(full);

    // Over the list: a left click selects the group's rows, the popup's
    // Hide unchecks them and its Delete removes the group.
    HWND panel = ShowSweepList(kListStylus);
    ASSERT_NE(panel, nullptr);
    HWND list = GetDlgItem(panel, kListView);
    std::string shownTitle;
    UINT choice = kPopupHide;
    StylusPopup_SetTracker([&](HMENU menu, POINT) {
        char text[64] = "";
        GetMenuStringA(menu, kPopupTitle, text, sizeof text, MF_BYCOMMAND);
        shownTitle = text;
        return choice;
    });
    StylusList_ItemClicked(panel, 1, false, POINT{0, 0});
    EXPECT_TRUE(ListView_GetItemState(list, 1, LVIS_SELECTED));
    EXPECT_TRUE(ListView_GetItemState(list, 2, LVIS_SELECTED));
    EXPECT_TRUE(scan_.items[2].Flags & kStylusSelected);
    StylusList_ItemClicked(panel, 1, true, POINT{0, 0});
    EXPECT_EQ(shownTitle, "Stylus Mark 2");
    EXPECT_TRUE(scan_.items[1].Flags & kStylusHidden);
    EXPECT_FALSE(scan_.items[0].Flags & kStylusHidden);
    choice = kPopupDelete;
    StylusList_ItemClicked(panel, 1, true, POINT{0, 0});
    EXPECT_EQ(scan_.raw.Stylus.VisibleCount, 1);
    EXPECT_EQ(Rows(panel), 1);
    EXPECT_EQ(Cell(panel, 0, 0), "Mark 1");

    // The main window's listener: Delete alone.
    choice = kPopupDelete;
    int entries = 0;
    StylusPopup_SetTracker([&](HMENU menu, POINT) {
        entries = GetMenuItemCount(menu);
        return choice;
    });
    StylusList_ItemClicked(nullptr, 0, true, POINT{0, 0});
    EXPECT_EQ(entries, 3);
    EXPECT_EQ(scan_.raw.Stylus.VisibleCount, 0);
}

// Drives the real popup menu as a keyboard user does: a thread timer finds
// the open popup, keeps its title and place, moves the highlight down until
// the wanted command is lit and presses Enter (no command: Escape).
class PopupDriver {
  public:
    explicit PopupDriver(UINT want) : want_(want) {
        Current() = this;
        timer_ = SetTimer(nullptr, 0, 20, Tick);
    }
    ~PopupDriver() {
        KillTimer(nullptr, timer_);
        Current() = nullptr;
    }
    PopupDriver(const PopupDriver&) = delete;
    PopupDriver& operator=(const PopupDriver&) = delete;
    std::string title;
    RECT place = {};
    bool seen = false;

  private:
    static PopupDriver*& Current() {
        static PopupDriver* current = nullptr;
        return current;
    }
    static BOOL CALLBACK FindPopup(HWND window, LPARAM parameter) {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        if (std::strcmp(name, "#32768") != 0 || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(parameter) = window;
        return FALSE;
    }
    static VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        PopupDriver* d = Current();
        HWND popup = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindPopup, reinterpret_cast<LPARAM>(&popup));
        if (!d || !popup) return;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        if (!d->seen) {
            d->seen = true;
            char text[64] = "";
            GetMenuStringA(menu, kPopupTitle, text, sizeof text, MF_BYCOMMAND);
            d->title = text;
            GetWindowRect(popup, &d->place);
        }
        // A command the popup does not offer ends it like one never lit.
        if (!d->want_ || ++d->steps_ > GetMenuItemCount(menu) * 2) {
            PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
            return;
        }
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STATE;
        GetMenuItemInfoA(menu, d->want_, FALSE, &info);
        PostMessageA(popup, WM_KEYDOWN, (info.fState & MFS_HILITE) ? VK_RETURN : VK_DOWN, 0);
    }

    UINT want_;
    int steps_ = 0;
    UINT_PTR timer_ = 0;
};

TEST_F(ListPanelsWin32, TheRealStylusPopupOffersTheItemsCommandsWhereItWasClicked) {
    HWND panel = ShowSweepList(kListStylus);
    ASSERT_NE(panel, nullptr);
    const POINT at = {160, 140};
    struct Case {
        const char* what;
        bool overList;  // the list's popup, or the main window's
        UINT chosen;    // 0: Escape
        bool hidden;    // group 1 unchecked in the list
        int32_t visibleItems;
    } cases[] = {
        {"Escape changes nothing", true, 0, false, 3},
        {"Hide unchecks the group", true, kPopupHide, true, 3},
        {"Delete removes the group", true, kPopupDelete, false, 1},
        {"the main window's popup has Delete alone", false, kPopupSelect, false, 1},
        {"the main window's Delete", false, kPopupDelete, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t group = c.overList ? 1 : 0;
        {
            PopupDriver driver(c.chosen);
            StylusList_ItemClicked(c.overList ? panel : nullptr, group, true, at);
            EXPECT_TRUE(driver.seen);
            EXPECT_EQ(driver.title, "Stylus Mark " + std::to_string(group + 1));
            EXPECT_EQ(driver.place.left, at.x);
            EXPECT_EQ(driver.place.top, at.y);
        }
        EXPECT_EQ(scan_.raw.Stylus.VisibleCount, c.visibleItems);
        if (!c.overList) continue;
        if (c.visibleItems == 3) {
            EXPECT_EQ((scan_.items[1].Flags & kStylusHidden) != 0, c.hidden);
        }
        EXPECT_EQ(Rows(panel), c.visibleItems);
    }
}

TEST_F(ListPanelsWin32, StylusPropertiesEditTheStylusSettingsInPlace) {
    StylusSettings& s = App().settings.Stylus;
    s.CaptureMode = 0;
    s.MinLineSegment = 2.5f;
    s.PointMarker = 3;
    s.LineMarker = 1;
    s.OnSurfaceByDefault = 0;
    ASSERT_TRUE(ListPanels_Command(40167));
    HWND dialog = Shell().modeless[kSlotStylusProperties];
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(ListPanels_Command(40166));
    ASSERT_TRUE(ListPanels_Command(40167));
    EXPECT_EQ(Shell().modeless[kSlotStylusProperties], dialog);  // a second request does nothing
    EXPECT_EQ(modal_driver::ItemText(dialog, 0), "Stylus Properties");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStylusSegment)));  // point mode
    EXPECT_EQ(modal_driver::ItemText(dialog, kStylusSegment), "2.5");
    EXPECT_EQ(SendDlgItemMessageA(dialog, kStylusPointMarker, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kStylusPointMarker, CB_GETCOUNT, 0, 0), 12);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kStylusLineMarker, CB_GETCOUNT, 0, 0), 4);
    SendMessageA(GetDlgItem(dialog, kStylusLineMode), BM_CLICK, 0, 0);
    EXPECT_EQ(s.CaptureMode, 1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kStylusSegment)));
    SendMessageA(GetDlgItem(dialog, kStylusOnSurface), BM_CLICK, 0, 0);
    EXPECT_EQ(s.OnSurfaceByDefault, 1);
    EXPECT_GE(KeepPicture(dialog, "stylus-properties-362"), 3u);
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(Shell().modeless[kSlotStylusProperties], nullptr);
}

}  // namespace
