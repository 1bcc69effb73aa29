// The Tarrel edition's panel under Wine, on the real main window of a
// program started as that edition ("-vossen"): its place beside the main
// window, its three toolbars and their pictures, the presets and check
// boxes driven by clicks on its buttons, Large Object refused on the 200
// model range, the steps on a scan (also from the keys), the cast step only
// in cast mode and running the inversion, and step 7 (command 40189)
// opening the AAOP Export Wizard. The panel is kept as pictures beside the
// test program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tarrel_panel.h"
#include "app/ui/tarrel_panel_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/toolbar_win32.h"
#include "app/ui/view_window_win32.h"

namespace {

namespace fs = std::filesystem;
using modal_driver::Driver;
using modal_driver::Press;

std::vector<AppMessage> g_messages;
// The grey the 16-pixel art is drawn on; the toolbar shows its own face there.
constexpr unsigned kArtBackdrop = 0xC0C0C0;

const char* const kSizeLabels[] = {"  Small Object ", "  Large Object ", "  Cast Inversion Mode "};
const char* const kCountLabels[] = {"  Allow Up To 1 Object ", "  Allow Up To 2 Objects "};
const char* const kStepLabels[] = {"  1. Scan (S) ",
                                   "  2. Laser Pointer Points (P) ",
                                   "  3. Laser Pointer Lines (L) ",
                                   "  4. Save ",
                                   "  5. Basic Surface ",
                                   "     Cast Inversion ",
                                   "  6. RBF Surface ",
                                   "  7. Export as AAOP "};

void Pump() { PumpShellMessages(4, 5); }

HWND Panel() { return Shell().modeless[kSlotTarrelPanel]; }
HWND Bar(int id) { return GetDlgItem(Panel(), id); }

int BarOf(int command) {
    if (command == kTarrelSmallObject || command == kTarrelLargeObject || command == kTarrelCastInversionMode)
        return kTarrelSizeBar;
    if (command == kTarrelOneObject || command == kTarrelTwoObjects) return kTarrelCountBar;
    return kTarrelStepBar;
}
bool Checked(int command) { return SendMessageA(Bar(BarOf(command)), TB_ISBUTTONCHECKED, command, 0) != 0; }
bool Enabled(int command) { return SendMessageA(Bar(BarOf(command)), TB_ISBUTTONENABLED, command, 0) != 0; }
bool Hidden(int command) { return SendMessageA(Bar(BarOf(command)), TB_ISBUTTONHIDDEN, command, 0) != 0; }

// The step whose button shows checked; 0 for none, -1 for more than one.
int CheckedStep() {
    int step = 0;
    for (int id : {kTarrelStepScan, kTarrelStepPoints, kTarrelStepLines, kTarrelStepSave, kTarrelStepBasic,
                   kTarrelStepCastInversion, kTarrelStepRbf, kTarrelStepExport})
        if (Checked(id)) step = step ? -1 : id;
    return step;
}

// A click on the button as the mouse gives it to the toolbar.
void Click(int command) {
    HWND bar = Bar(BarOf(command));
    RECT r;
    ASSERT_TRUE(SendMessageA(bar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&r)));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(bar, WM_MOUSEMOVE, 0, at);
    SendMessageA(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(bar, WM_LBUTTONUP, 0, at);
    Pump();
}

RECT RectIn(HWND child, HWND parent) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string PicturePath(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    return (fs::path(program).parent_path() / ("screenshot-" + name + ".bmp")).string();
}

// The panel's pixels as the screen shows them, with no button under the
// mouse, written beside the test program; taken beside the main window.
std::vector<unsigned> PanelPicture(const std::string& name) {
    RECT main;
    GetWindowRect(Shell().main, &main);
    SetWindowPos(Panel(), nullptr, main.right + 8, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : {kTarrelSizeBar, kTarrelCountBar, kTarrelStepBar}) SendMessageA(Bar(id), TB_SETHOTITEM, -1, 0);
    // Painted and handed to the display before it is read: Wine hands a
    // window's drawing to the display while the thread waits for messages.
    RedrawWindow(Panel(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (int i = 0; i < 10; ++i) {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 30, QS_ALLINPUT);
    }
    return modal_driver::Screenshot(Panel(), PicturePath(name), false);
}

// A surface of n x n vertices 1 mm apart on the plane z = 0, in arrays the
// program frees.
void MakeGridSurface(SurfaceRecord& s, int n) {
    Surface_Free(s);
    s.NumPoints = s.MaxPoints = n * n;
    s.NumFacets = s.MaxFacets = 2 * (n - 1) * (n - 1);
    s.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * s.NumPoints));
    s.PointNormals = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * s.NumPoints));
    s.Facets = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 3 * s.NumFacets));
    s.FacetNormals = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * s.NumFacets));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            s.Points[i * n + j] = Vec3{static_cast<float>(i), static_cast<float>(j), 0.0f};
            s.PointNormals[i * n + j] = Vec3{0, 0, 1};
        }
    int32_t* f = s.Facets;
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j) {
            const int a = i * n + j;
            for (int v : {a, a + n, a + n + 1, a, a + n + 1, a + 1}) *f++ = v;
        }
    for (int k = 0; k < s.NumFacets; ++k) s.FacetNormals[k] = Vec3{0, 0, 1};
    // Built after the basic surface and the scan's last change, as the
    // program builds it, so that the view keeps it.
    AppState& app = App();
    app.basic.ChangeTime = std::max(1.0, app.raw->Timestamp);
    s.ChangeTime = app.basic.ChangeTime + 1.0;
}

// Two sweeps of three profiles of the plane z = 0 in the program's scan,
// processed into points.
void LoadPlaneScan() {
    RawData& r = *App().raw;
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (int p = 0; p < 3; ++p) {
            ASSERT_TRUE(RawData_GrowProfiles(r, 500));
            scan_test::OwnedProfile plane = scan_test::PlaneProfile(10.0f * sweep + p, 40);
            Profile profile = plane.Get();
            profile.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * profile.NumPoints));
            profile.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * profile.NumPoints));
            std::memcpy(profile.Points, plane.points.data(), sizeof(Vec3) * profile.NumPoints);
            std::memcpy(profile.PointValues, plane.values.data(), sizeof(int32_t) * profile.NumPoints);
            r.Profiles[r.TotalProfiles++] = profile;
            r.NumProfiles = r.TotalProfiles;
        }
        ++r.TotalSweeps;
        r.NumSweeps = r.TotalSweeps;
        ASSERT_TRUE(RawData_GrowSweeps(r));
        r.SweepStartingProfileNo[r.TotalSweeps] = r.TotalProfiles;
    }
    ASSERT_EQ(Scan_ProcessNewProfiles(r, 0, 4.0f), kScanProcessOk);
    r.ProcessedChanged = 0;
}

class TarrelPanelWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x1F7F};
        InitCommonControlsEx(&controls);
        // The start of the Tarrel edition: the program's first argument.
        static char vossen[] = "-vossen";
        static char* args[] = {__argv[0], vossen, nullptr};
        __argv = args;
        __argc = 2;
        DeleteSettingsKeys();
        SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        ScannerLink_Install(ScannerLink());
        ResetAcquisitionSettings();
        Shell().instance = GetModuleHandleA(nullptr);
        Accel_Load(Shell().instance);
        Shell().accelerators = Accel_Get();
        View_ConnectShell();
        Commands_ConnectShell();
        Toolbars_ConnectShell();
        Commands_SetQuestionSink([](const std::string&, const std::string&) { return IDNO; });
        window_ = App_CreateMainWindow(Shell().instance, SW_SHOWNORMAL);
        if (window_) GetWindowRect(window_, &mainAtStart_);
        if (Panel()) GetWindowRect(Panel(), &panelAtStart_);
        Pump();
    }
    static void TearDownTestSuite() {
        CloseShellWindow(window_);
        Commands_SetQuestionSink(nullptr);
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(Panel(), nullptr);
        g_messages.clear();
    }
    void TearDown() override {
        InstallCalibration(CalibrationData());
        ScanDoc_Unload(0);
        Surface_Free(App().rbf);
        App().settings.Stylus.Mode = 0;
        App_SetMode(kModeScan);
        TarrelPanel_Refresh();
        Pump();
    }
    static HWND window_;
    static RECT mainAtStart_, panelAtStart_;
};
HWND TarrelPanelWin32::window_ = nullptr;
RECT TarrelPanelWin32::mainAtStart_ = {}, TarrelPanelWin32::panelAtStart_ = {};

TEST_F(TarrelPanelWin32, TheTarrelStartShowsThePanelBesideTheMainWindowWithItsThreeToolbars) {
    EXPECT_TRUE(App().editions.tarrel);
    HWND panel = Panel();
    EXPECT_EQ(panel, TarrelPanel_Window());
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_EQ(GetWindow(panel, GW_OWNER), window_);
    EXPECT_EQ(panelAtStart_.right, mainAtStart_.right - 16);
    EXPECT_EQ(panelAtStart_.top, mainAtStart_.top + 96);

    // The labels, each button on a line of its own, all as wide as the
    // widest step.
    const struct {
        int id;
        const char* const* labels;
        int count;
    } bars[] = {{kTarrelSizeBar, kSizeLabels, 3}, {kTarrelCountBar, kCountLabels, 2}, {kTarrelStepBar, kStepLabels, 8}};
    const int width = RectIn(Bar(kTarrelStepBar), panel).right;
    for (const auto& b : bars) {
        SCOPED_TRACE(b.id);
        HWND bar = Bar(b.id);
        ASSERT_EQ(SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), b.count);
        int top = -1;
        for (int i = 0; i < b.count; ++i) {
            TBBUTTON button = {};
            SendMessageA(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            char text[64] = "";
            SendMessageA(bar, TB_GETBUTTONTEXTA, button.idCommand, reinterpret_cast<LPARAM>(text));
            EXPECT_STREQ(text, b.labels[i]);
            if (button.fsState & TBSTATE_HIDDEN) continue;
            RECT r;
            SendMessageA(bar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.right, width);
            EXPECT_GT(r.top, top);
            top = r.top;
        }
        EXPECT_EQ(RectIn(bar, panel).left, 0);
        EXPECT_EQ(RectIn(bar, panel).right, width);
    }
    // Stacked from the top: object size, 2 pixels, object count, 4 pixels,
    // steps; the line 2 pixels above the steps, inset 4 pixels; the panel
    // fits them.
    const RECT size = RectIn(Bar(kTarrelSizeBar), panel), count = RectIn(Bar(kTarrelCountBar), panel),
               steps = RectIn(Bar(kTarrelStepBar), panel), line = RectIn(GetDlgItem(panel, kTarrelSeparator), panel);
    EXPECT_EQ(size.top, 0);
    EXPECT_EQ(count.top, size.bottom + 2);
    EXPECT_EQ(steps.top, count.bottom + 4);
    EXPECT_EQ(line.bottom, steps.top - 2);
    EXPECT_EQ(line.bottom - line.top, 2);
    EXPECT_EQ(line.left, 4);
    EXPECT_EQ(line.right, width - 4);
    RECT client;
    GetClientRect(panel, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, steps.bottom);

    // The Tarrel defaults are the Small Object preset with two objects
    // allowed; scan mode without a scan is at step 1, the steps that need
    // data are greyed, and the cast step is hidden outside cast mode.
    EXPECT_TRUE(Checked(kTarrelSmallObject));
    EXPECT_FALSE(Checked(kTarrelLargeObject));
    EXPECT_TRUE(Checked(kTarrelTwoObjects));
    EXPECT_FALSE(Checked(kTarrelOneObject));
    EXPECT_FALSE(Checked(kTarrelCastInversionMode));
    EXPECT_TRUE(Hidden(kTarrelStepCastInversion));
    EXPECT_EQ(CheckedStep(), kTarrelStepScan);
    for (int id :
         {kTarrelStepPoints, kTarrelStepLines, kTarrelStepSave, kTarrelStepBasic, kTarrelStepRbf, kTarrelStepExport})
        EXPECT_FALSE(Enabled(id)) << id;

    // The panel as the screen shows it, kept for review. The view's OpenGL
    // window keeps the screen's read-back from seeing what lies over it under
    // Wine, so the picture is taken with the panel beside the main window.
    RECT placed;
    GetWindowRect(panel, &placed);
    EXPECT_GE(modal_driver::DistinctColours(PanelPicture("tarrel-panel")), 8u);
    SetWindowPos(panel, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Each toolbar as it draws itself: every shown button's 16-pixel image,
    // with no backdrop around the enabled ones, and a frame around the
    // checked ones only.
    for (const auto& b : bars) {
        HWND bar = Bar(b.id);
        const std::vector<unsigned> printed = modal_driver::PrintedClient(bar);
        RECT area;
        GetClientRect(bar, &area);
        ASSERT_EQ(printed.size(), static_cast<size_t>(area.right) * area.bottom);
        auto at = [&](int x, int y) { return printed[static_cast<size_t>(y) * area.right + x]; };
        for (int i = 0; i < b.count; ++i) {
            TBBUTTON button = {};
            SendMessageA(bar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
            if (button.fsState & TBSTATE_HIDDEN) continue;
            RECT r;
            SendMessageA(bar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
            std::vector<unsigned> icon;
            const int middle = (r.top + r.bottom) / 2;
            for (int y = middle - 6; y <= middle + 6; ++y)
                for (int x = r.left + 3; x < r.left + 22; ++x) icon.push_back(at(x, y));
            EXPECT_GE(modal_driver::DistinctColours(icon), 3u) << "the image of " << button.idCommand;
            if (button.fsState & TBSTATE_ENABLED)
                EXPECT_EQ(std::count(icon.begin(), icon.end(), kArtBackdrop), 0)
                    << "the image's backdrop shows around " << button.idCommand;
            EXPECT_EQ(at(r.right - 1, middle) != at(r.right - 4, middle), (button.fsState & TBSTATE_CHECKED) != 0)
                << "the frame of " << button.idCommand;
        }
    }
}

TEST_F(TarrelPanelWin32, PresetsObjectCountsAndCastModeFollowTheirButtons) {
    const GeneralSettings& g = App().settings;
    const int stepHeight = [] {
        RECT r;
        SendMessageA(Bar(kTarrelStepBar), TB_GETRECT, kTarrelStepScan, reinterpret_cast<LPARAM>(&r));
        return static_cast<int>(r.bottom - r.top);
    }();
    RECT before;
    GetWindowRect(Panel(), &before);
    const struct {
        int click;
        float filterRadius, rbfResolution, extraTrim;
        int32_t filterLength, trimType, doLimit, limit, castMode;
        int checkedSize, checkedCount;
        bool castStep;
    } steps[] = {
        {kTarrelLargeObject, 5.0f, 5.0f, 0.0f, 11, kRbfTrimClose, 1, 2, 0, kTarrelLargeObject, kTarrelTwoObjects,
         false},
        {kTarrelSmallObject, 2.5f, 2.0f, 20.0f, 3, kRbfTrimOpen, 1, 2, 0, kTarrelSmallObject, kTarrelTwoObjects, false},
        {kTarrelOneObject, 2.5f, 2.0f, 20.0f, 3, kRbfTrimOpen, 1, 1, 0, kTarrelSmallObject, kTarrelOneObject, false},
        // Cast mode takes the two objects of a cast and shows its step.
        {kTarrelCastInversionMode, 2.5f, 2.0f, 20.0f, 3, kRbfTrimOpen, 1, 2, 1, kTarrelSmallObject, kTarrelTwoObjects,
         true},
        // One object is no cast: cast mode goes off with its step.
        {kTarrelOneObject, 2.5f, 2.0f, 20.0f, 3, kRbfTrimOpen, 1, 1, 0, kTarrelSmallObject, kTarrelOneObject, false},
        {kTarrelTwoObjects, 2.5f, 2.0f, 20.0f, 3, kRbfTrimOpen, 1, 2, 0, kTarrelSmallObject, kTarrelTwoObjects, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.click);
        Click(s.click);
        EXPECT_FLOAT_EQ(g.BasicParams.FilterRadius, s.filterRadius);
        EXPECT_FLOAT_EQ(g.RbfParams.RbfResolution, s.rbfResolution);
        EXPECT_FLOAT_EQ(g.RbfParams.RbfExtraTrim, s.extraTrim);
        EXPECT_FLOAT_EQ(g.RangeClip, 700.0f);
        EXPECT_EQ(GetOddFilterLength(), s.filterLength);
        EXPECT_EQ(g.RbfParams.RbfTrimType, s.trimType);
        EXPECT_EQ(g.BasicParams.DoObjectLimit, s.doLimit);
        EXPECT_EQ(g.BasicParams.ObjectLimit, s.limit);
        EXPECT_EQ(g.CastInversionMode, s.castMode);
        EXPECT_EQ(Checked(kTarrelSmallObject), s.checkedSize == kTarrelSmallObject);
        EXPECT_EQ(Checked(kTarrelLargeObject), s.checkedSize == kTarrelLargeObject);
        EXPECT_EQ(Checked(kTarrelOneObject), s.checkedCount == kTarrelOneObject);
        EXPECT_EQ(Checked(kTarrelTwoObjects), s.checkedCount == kTarrelTwoObjects);
        EXPECT_EQ(Checked(kTarrelCastInversionMode), s.castMode != 0);
        EXPECT_EQ(Hidden(kTarrelStepCastInversion), !s.castStep);
        // The panel is laid out again around the cast step: one line taller.
        RECT now;
        GetWindowRect(Panel(), &now);
        EXPECT_EQ(now.bottom - now.top, before.bottom - before.top + (s.castStep ? stepHeight : 0));
        EXPECT_EQ(now.top, before.top);
        EXPECT_EQ(now.right, before.right);
        if (s.castStep) {
            PanelPicture("tarrel-panel-cast-mode");
            SetWindowPos(Panel(), nullptr, before.left, before.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
}

// Reset to defaults in this edition sets the hardware filter length to 3 and
// keeps the edition's own profile filter: the Small Object preset again.
TEST_F(TarrelPanelWin32, ResetToDefaultsBringsBackTheSmallObjectPreset) {
    const GeneralSettings& g = App().settings;
    Click(kTarrelLargeObject);
    ASSERT_EQ(GetOddFilterLength(), 11);
    SendMessageA(window_, WM_COMMAND, 40083, 0);
    Pump();
    EXPECT_EQ(GetOddFilterLength(), 3);
    EXPECT_EQ(g.ProfileFilterLength, 0);
    EXPECT_FLOAT_EQ(g.BasicParams.FilterRadius, 2.5f);
    EXPECT_TRUE(Checked(kTarrelSmallObject));
    EXPECT_FALSE(Checked(kTarrelLargeObject));
}

// The commands that change what the tool panel shows draw it again: the
// Extents window shown (not when it is hidden) and the units switched.
TEST_F(TarrelPanelWin32, ExtentsAndUnitCommandsRedrawThePanel) {
    const GeneralSettings& g = App().settings;
    const int32_t shown = g.ShowExtents, imperial = g.UseImperialUnits;
    const struct {
        WORD command;
        bool redrawn;
        const char* what;
    } cases[] = {
        {40225, g.ShowExtents == 0, "Extents Window switched"},
        {40225, g.ShowExtents != 0, "Extents Window switched back"},
        {40390, true, "inches"},
        {40389, true, "millimetres"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pump();
        UpdateWindow(Panel());
        ASSERT_FALSE(GetUpdateRect(Panel(), nullptr, FALSE));
        SendMessageA(window_, WM_COMMAND, c.command, 0);
        EXPECT_EQ(GetUpdateRect(Panel(), nullptr, FALSE) != FALSE, c.redrawn);
    }
    EXPECT_EQ(g.ShowExtents, shown);
    EXPECT_EQ(g.UseImperialUnits, imperial);
    Pump();
}

TEST_F(TarrelPanelWin32, LargeObjectIsNotOfferedOnThe200ModelRange) {
    const GeneralSettings& g = App().settings;
    const struct {
        uint32_t serial;
        bool offered;
        float smallRange;
    } wands[] = {{250, false, 750.0f}, {200, false, 750.0f}, {300, true, 700.0f}, {199, true, 700.0f}};
    for (const auto& w : wands) {
        SCOPED_TRACE(w.serial);
        CalibrationData calibration;
        calibration.header.WandSerialNumber = w.serial;
        InstallCalibration(std::move(calibration));
        TarrelPanel_Refresh();
        Pump();
        EXPECT_EQ(Enabled(kTarrelLargeObject), w.offered);
        Click(kTarrelLargeObject);
        EXPECT_FLOAT_EQ(g.BasicParams.FilterRadius, w.offered ? 5.0f : 2.5f);
        EXPECT_EQ(Checked(kTarrelLargeObject), w.offered);
        // Small Object on this wand: the range's own distance.
        Click(kTarrelSmallObject);
        EXPECT_FLOAT_EQ(g.RangeClip, w.smallRange);
        EXPECT_FLOAT_EQ(g.BasicParams.FilterRadius, 2.5f);
        EXPECT_TRUE(Checked(kTarrelSmallObject));
    }
    InstallCalibration(CalibrationData());
    Click(kTarrelSmallObject);
    EXPECT_FLOAT_EQ(g.RangeClip, 700.0f);
}

TEST_F(TarrelPanelWin32, StepsRunOnTheScanAndTheKeysRunThemToo) {
    GeneralSettings& g = App().settings;
    LoadPlaneScan();
    TarrelPanel_Refresh();
    Pump();
    for (int id : {kTarrelStepPoints, kTarrelStepLines, kTarrelStepSave, kTarrelStepBasic, kTarrelStepRbf})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(kTarrelStepExport)) << "no RBF surface yet";
    EXPECT_EQ(CheckedStep(), kTarrelStepScan);
    HMENU menu = GetMenu(window_);
    // The keys P, L and S go through the main window's accelerators to the
    // panel; laser pointer mode (the stylus capture) follows the step.
    const struct {
        WPARAM key;
        int32_t stylusMode, captureMode;
        int step;
    } keys[] = {{'P', 1, 0, kTarrelStepPoints}, {'L', 1, 1, kTarrelStepLines}, {'S', 0, 1, kTarrelStepScan}};
    for (const auto& k : keys) {
        SCOPED_TRACE(static_cast<char>(k.key));
        PostMessageA(window_, WM_KEYDOWN, k.key, 0);
        PostMessageA(window_, WM_KEYUP, k.key, 0xC0000001);
        Pump();
        EXPECT_EQ(App().mode, kModeScan);
        EXPECT_EQ(g.Stylus.Mode, k.stylusMode);
        EXPECT_EQ(g.Stylus.CaptureMode, k.captureMode);
        EXPECT_EQ((GetMenuState(menu, 40181, MF_BYCOMMAND) & MF_CHECKED) != 0, k.stylusMode != 0);
        EXPECT_EQ(CheckedStep(), k.step);
    }
    Click(kTarrelStepSave);
    EXPECT_EQ(CheckedStep(), kTarrelStepSave);
    EXPECT_EQ(App().mode, kModeScan);
    EXPECT_TRUE(g_messages.empty());
}

TEST_F(TarrelPanelWin32, TheCastStepShowsOnlyInCastModeAndRunsTheInversion) {
    GeneralSettings& g = App().settings;
    LoadPlaneScan();
    MakeGridSurface(App().rbf, 21);
    TarrelPanel_Refresh();
    Pump();
    EXPECT_TRUE(Hidden(kTarrelStepCastInversion));
    Click(kTarrelCastInversionMode);
    ASSERT_EQ(g.CastInversionMode, 1);
    EXPECT_FALSE(Hidden(kTarrelStepCastInversion));
    EXPECT_TRUE(Enabled(kTarrelStepCastInversion));

    // The step runs the inversion: its settings dialog first; cancelled, the
    // basic surface is shown, which the step then marks.
    std::vector<int> sent;
    ShellHooks& hooks = Shell_Hooks();
    const auto sendCommand = hooks.sendCommand;
    hooks.sendCommand = [&sent](int command) { sent.push_back(command); };
    bool dialog = false;
    {
        Driver driver({{kCastInvSymmetric, [&](HWND d) {
                            dialog = true;
                            return Press(d, IDCANCEL);
                        }}});
        Click(kTarrelStepCastInversion);
        EXPECT_TRUE(driver.Finished());
    }
    hooks.sendCommand = sendCommand;
    EXPECT_TRUE(dialog);
    EXPECT_EQ(sent, std::vector<int>{40263});
    EXPECT_EQ(g.CombineSweeps, 1);
    EXPECT_EQ(App().rbf.Inverted, 0);

    Click(kTarrelCastInversionMode);
    EXPECT_EQ(g.CastInversionMode, 0);
    EXPECT_TRUE(Hidden(kTarrelStepCastInversion));
}

TEST_F(TarrelPanelWin32, StepSevenOpensTheWizardOnTheRbfSurfaceOrExplains) {
    GeneralSettings& g = App().settings;
    SendMessageA(window_, WM_COMMAND, kTarrelStepExport, 0);
    Pump();
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorAaopRbfSurfaceRequired");
    EXPECT_EQ(AaopWizard_Window(), nullptr);

    g_messages.clear();
    LoadPlaneScan();
    MakeGridSurface(App().rbf, 21);
    g.CombineSweeps = 1;
    bool opened = false;
    {
        Driver driver({{1325, [&](HWND w) {
                            opened = w == AaopWizard_Window();
                            return Press(w, IDCANCEL);
                        }}});
        SendMessageA(window_, WM_COMMAND, kTarrelStepExport, 0);
        EXPECT_TRUE(driver.Finished());
    }
    Pump();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(App().mode, kModeSurface);
    EXPECT_EQ(App().shownSurface, &App().rbf);
    EXPECT_EQ(g.CombineSweeps, 2);
    EXPECT_EQ(CheckedStep(), kTarrelStepRbf) << "the export step does not stay checked";
}

TEST_F(TarrelPanelWin32, AToolbarStyleChangeKeepsThePanelAndActivationGoesBackToTheMainWindow) {
    for (WORD command : {40356, 40359, 40358, 40357}) {
        SCOPED_TRACE(command);
        SendMessageA(window_, WM_COMMAND, command, 0);
        Pump();
        ASSERT_NE(TarrelPanel_Window(), nullptr);
        EXPECT_TRUE(IsWindowVisible(Panel()));
        EXPECT_TRUE(Checked(kTarrelSmallObject));
    }
    SetActiveWindow(Panel());
    Pump();
    EXPECT_EQ(GetActiveWindow(), window_);
}

}  // namespace
