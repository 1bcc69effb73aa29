// The surface windows driven through their controls as the user drives them:
// Generate Surface's entry rules, staleness, apply and close, its batch run;
// the basic build dialog with every result of its build and a refused
// thread; the RBF build dialog on a stand-in library, finishing by itself or
// aborted with its messages; the about boxes. Each window is kept as a
// picture in the build tree and checked by its pixels.
#include "app/base/app_messages.h"
#include "app/export/cast_inversion.h"
#include "app/export/tests/cast_scans.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/basic_surface.h"
#include "app/scan/rbf_surface.h"
#include "app/scan/tests/cloud_scan.h"
#include "app/ui/app_state.h"
#include "app/files/image.h"
#include "app/ui/brand_info.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/commands_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/tests/modal_driver_win32.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace modal_driver;
namespace fs = std::filesystem;

namespace {

std::vector<AppMessage> g_messages;
std::vector<WPARAM> g_commands;  // what the main window was sent

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
    return DefWindowProcA(window, message, wParam, lParam);
}

void Pump(int rounds = 5) {
    MSG m;
    for (int i = 0; i < rounds; ++i) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(10);
    }
}

std::string PicturePath(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    return (fs::path(program).parent_path() / ("screenshot-" + name + ".bmp")).string();
}

// A window's picture is kept and must show a real face: text, frames and
// controls in several colours, not one flat fill.
void KeepPicture(HWND window, const std::string& name) {
    const std::vector<unsigned> pixels = Screenshot(window, PicturePath(name));
    ASSERT_FALSE(pixels.empty());
    EXPECT_GT(DistinctColours(pixels), 4u) << name;
}

// The control's own picture (drawn into memory, so that no other window on
// the display covers it) shows ink, dark pixels, when it is enabled and has
// text; a disabled one draws its text grey.
bool ShowsDarkText(HWND control) {
    RECT r;
    GetClientRect(control, &r);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = -r.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool dark = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        RECT all = {0, 0, r.right, r.bottom};
        FillRect(memory, &all, GetSysColorBrush(COLOR_BTNFACE));
        SendMessageA(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
        GdiFlush();
        const unsigned* p = static_cast<const unsigned*>(bits);
        for (long i = 0; i < static_cast<long>(r.right) * r.bottom && !dark; ++i)
            dark = ((p[i] >> 16) & 0xFF) < 0x40 && ((p[i] >> 8) & 0xFF) < 0x40 && (p[i] & 0xFF) < 0x40;
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return dark;
}

class SurfaceDialogsWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        Brand_Load();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x1F7F};
        InitCommonControlsEx(&controls);
        Shell().instance = GetModuleHandleA(nullptr);
        owner_ = MakeOwner("SurfaceDialogsOwner", OwnerProc, 10, 10, 900, 700);
    }
    static void TearDownTestSuite() { DestroyWindow(owner_); }

    void SetUp() override {
        Shell().main = owner_;
        g_messages.clear();
        g_commands.clear();
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        AppState& app = App();
        GeneralSettings_SetDefaults(app.settings, 0x00FFFFFF, 0);
        app.settingsDefaults = app.settings;
        ViewSettings_SetDefaults(app.view);
        app.raw = &scan_.raw();
        std::memset(&app.basic, 0, sizeof app.basic);
        std::memset(&app.rbf, 0, sizeof app.rbf);
        std::memset(&app.scanFitContext, 0, sizeof app.scanFitContext);
        app.shownSurface = &app.basic;
        MarkBothBuilt();
    }
    void TearDown() override {
        AppState& app = App();
        if (HWND w = Shell().modeless[kSlotGenerateSurface]) DestroyWindow(w);
        Surface_Free(app.basic);
        Surface_Free(app.rbf);
        app.raw = nullptr;
        Shell().main = nullptr;
        App_SetMessageSink(nullptr);
        SurfaceBuild_SetThreadOps(WorkerThreadOps());
        SurfaceBuild_SetBasicBuilder(nullptr);
        RbfLib_SetLoader(nullptr);
    }

    // Both surfaces stand as built with the current settings (no arrays:
    // the windows read only counts, times and parameter blocks).
    void MarkBothBuilt() {
        AppState& app = App();
        app.basic.NumPoints = app.rbf.NumPoints = 10;
        app.basic.NumFacets = app.rbf.NumFacets = 12;
        app.basic.Area = 2500.0f;
        app.basic.BasicParams = app.settings.BasicParams;
        app.rbf.BasicParams = app.settings.BasicParams;
        app.rbf.RbfParams = app.settings.RbfParams;
        app.rbf.RbfParams.CoordinateSystem = app.view.CoordinateSystem;
        app.basic.ChangeTime = 100.0;
        app.rbf.ChangeTime = 200.0;
    }

    HWND OpenModeless() {
        AppState& app = App();
        HWND w = ShowGenerateSurfaceDialog(app.settings, {&app.basic, &app.rbf, &app.shownSurface}, app.raw, app.view);
        Shell().modeless[kSlotGenerateSurface] = w;
        SetForegroundWindow(w);
        Pump();
        return w;
    }

    // Types into a field and leaves it, as the user does.
    void Enter(HWND w, int id, const char* text) {
        HWND edit = GetDlgItem(w, id);
        SetFocus(edit);
        ASSERT_EQ(GetFocus(), edit);
        SetWindowTextA(edit, text);
        SetFocus(GetDlgItem(w, 1476));
        Pump(2);
    }

    static HWND owner_;
    surface_test::CloudScan scan_;
};

HWND SurfaceDialogsWin32::owner_ = nullptr;

std::string Text(HWND w, int id) { return ItemText(w, id); }

TEST_F(SurfaceDialogsWin32, EntriesKeepTheirRulesWhenTheFieldIsLeft) {
    HWND w = OpenModeless();
    ASSERT_NE(w, nullptr);
    const GeneralSettings& s = App().settings;
    EXPECT_EQ(Text(w, 1423), "0.30");
    struct Case {
        int id;
        const char* typed;
        const char* shown;
        const float* field;
        float value;
    };
    const Case cases[] = {
        {1423, "abc", "0.30", &s.RbfParams.RbfAccuracy, 0.3f},
        {1423, "-1", "0.30", &s.RbfParams.RbfAccuracy, 0.3f},
        {1423, "0", "0.30", &s.RbfParams.RbfAccuracy, 0.3f},
        {1423, " 0.45 ", "0.45", &s.RbfParams.RbfAccuracy, 0.45f},
        {1427, "-1", "0.00", &s.RbfParams.RbfExtraTrim, 0.0f},
        {1422, "3", "3.00", &s.BasicParams.FilterRadius, 3.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.id) + " " + c.typed);
        Enter(w, c.id, c.typed);
        EXPECT_EQ(Text(w, c.id), c.shown);
        EXPECT_EQ(*c.field, c.value);
    }
    // The limit edit is open only while the limit is on.
    App().settings.BasicParams.DoObjectLimit = 1;
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    Enter(w, 1421, "0");
    EXPECT_EQ(Text(w, 1421), "1");
    EXPECT_EQ(s.BasicParams.ObjectLimit, 1);
    Pump(3);
    KeepPicture(w, "generate_surface_321_entries");
}

TEST_F(SurfaceDialogsWin32, NoNumberFieldTakesAValueThatIsNotFinite) {
    GeneralSettings& s = App().settings;
    s.RbfParams.RbfSimplify = 1;
    HWND w = OpenModeless();
    ASSERT_NE(w, nullptr);
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    struct Field {
        int id;
        float* value;
        bool zeroAllowed;
    };
    // The RBF fields first: a change of a basic one closes them until the
    // basic surface is rebuilt.
    const Field fields[] = {{1423, &s.RbfParams.RbfAccuracy, false},
                            {1424, &s.RbfParams.RbfResolution, false},
                            {1427, &s.RbfParams.RbfExtraTrim, true},
                            {1429, &s.RbfParams.RbfSimpError, false},
                            {1422, &s.BasicParams.FilterRadius, false},
                            {1420, &s.BasicParams.ExportResolutionClip, false},
                            {1190, &s.BasicParams.SimplifyError, false}};
    for (const Field& f : fields) {
        if (f.id == 1422) {  // the basic fields: simplification on opens the last
            s.BasicParams.SimplifyFacets = 1;
            SendMessageA(w, kMsgPanelRefresh, 0, 0);
        }
        for (const char* typed : {"nan", "inf", "-inf", "1e39", "1e-50", ""}) {
            SCOPED_TRACE(std::to_string(f.id) + " " + typed);
            *f.value = 1.5f;
            Enter(w, f.id, "1.5");
            Enter(w, f.id, typed);
            // As for a typed letter the old value stays; a value too small
            // for a float is a 0, which only a field that takes 0 keeps.
            const bool zero = std::string(typed) == "1e-50" && f.zeroAllowed;
            EXPECT_EQ(*f.value, zero ? 0.0f : 1.5f);
            EXPECT_EQ(Text(w, f.id), zero ? "0.00" : "1.50");
        }
    }
}

TEST_F(SurfaceDialogsWin32, ABasicChangeTurnsTheRbfGroupOffUntilTheBasicSurfaceIsRebuilt) {
    HWND w = OpenModeless();
    HWND note = GetDlgItem(w, 1461);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1423)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1460)));
    EXPECT_FALSE(IsWindowVisible(note));
    Enter(w, 1420, "1.5");  // decimation
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1423)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1460)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1428)));
    EXPECT_TRUE(IsWindowVisible(note));
    EXPECT_EQ(Text(w, 1461), Locale_GetString("GenerateSurfaceRequiresBasic"));
    Pump(3);
    KeepPicture(w, "generate_surface_321_basic_changed");
    EXPECT_FALSE(ShowsDarkText(GetDlgItem(w, 1442)));  // the accuracy label is greyed
    EXPECT_TRUE(ShowsDarkText(GetDlgItem(w, 1419)));   // the smoothing label is not
    // A basic surface built with the new settings opens the group again.
    App().basic.BasicParams = App().settings.BasicParams;
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1423)));
    EXPECT_FALSE(IsWindowVisible(note));
}

TEST_F(SurfaceDialogsWin32, SimplificationTargetsFollowTheirSwitchAndRadio) {
    HWND w = OpenModeless();
    for (int id : {1435, 1436, 1437, 1429, 1430, 1431}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, id))) << id;
    SendMessageA(GetDlgItem(w, 1428), BM_CLICK, 0, 0);
    Pump(2);
    EXPECT_EQ(App().settings.RbfParams.RbfSimplify, 1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1429)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1430)));
    SendMessageA(GetDlgItem(w, 1436), BM_CLICK, 0, 0);
    Pump(2);
    EXPECT_EQ(App().settings.RbfParams.RbfSimpTarget, 1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1429)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1430)));
    EXPECT_EQ(IsDlgButtonChecked(w, 1436), BST_CHECKED);
    // Auto memory shows its word; off, the number can be typed.
    EXPECT_EQ(Text(w, 1425), Locale_GetString("GenerateSurfaceRbfMemoryAuto"));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, 1425)));
    SendMessageA(GetDlgItem(w, 1478), BM_CLICK, 0, 0);
    Pump(2);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(w, 1425)));
    Enter(w, 1425, "300");
    EXPECT_EQ(App().settings.RbfParams.RbfMemoryToUse, 300);
    Pump(3);
    KeepPicture(w, "generate_surface_321_simplification");
}

TEST_F(SurfaceDialogsWin32, ApplyTakesTheEntryStillBeingTyped) {
    HWND w = OpenModeless();
    HWND edit = GetDlgItem(w, 1423);
    SetFocus(edit);
    SetWindowTextA(edit, "0.7");
    // The click arrives while the typed value is still in the focused edit.
    PostMessageA(w, WM_COMMAND, 1460, reinterpret_cast<LPARAM>(GetDlgItem(w, 1460)));
    Pump();
    AppState& app = App();
    EXPECT_EQ(app.settings.RbfParams.RbfAccuracy, 0.7f);
    EXPECT_EQ(app.settings.CombineSweeps, 2);
    EXPECT_EQ(app.shownSurface, &app.rbf);
    EXPECT_EQ(app.rbf.NumPoints, 0);  // built with another accuracy: it must be built again
    EXPECT_EQ(app.basic.NumPoints, 10);
}

// In cast-inversion mode "Invert && Align" inverts the RBF surface of a cut
// cast: the settings dialog, the inversion, its message; the surface is then
// inverted and unsaved, and a second press asks nothing more.
TEST_F(SurfaceDialogsWin32, InvertAndAlignInvertsTheRbfSurfaceOfACast) {
    using namespace cast_scans;
    AppState& app = App();
    GeneralSettings& g = app.settings;
    g.BasicParams.DoObjectLimit = 1;
    g.BasicParams.ObjectLimit = 2;
    g.CastInversionMode = 1;
    g.InversionParams = InversionSettings{kKerf, kTrim, 2};
    MarkBothBuilt();
    scan_.AddSweep(std::vector<ScanPoint>(3));
    Cast cast(Vec3{0, 0, 0}, kMoved);
    Markers markers;
    RimMarkers(cast, markers, 6, 6);
    std::memcpy(&app.rbf, &cast.Surface(), sizeof app.rbf);
    // The cast's arrays are the test's: the surface record lets go of them
    // however the test ends.
    struct Restore {
        StylusItemList scanMarkers = App().raw->Stylus;
        ~Restore() {
            Shell_Hooks().sendCommand = nullptr;
            App().raw->Stylus = scanMarkers;
            std::memset(&App().rbf, 0, sizeof App().rbf);
        }
    } restore;
    app.raw->Stylus = markers.List();
    Shell_Hooks().sendCommand = [](int command) { SendMessageA(Shell().main, WM_COMMAND, command, 0); };

    HWND w = OpenModeless();
    HWND button = GetDlgItem(w, 1488);
    EXPECT_TRUE(IsWindowVisible(button));
    EXPECT_EQ(Text(w, 1488), "Invert && Align");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, 102)));
    EXPECT_TRUE(IsWindowEnabled(button));
    KeepPicture(w, "generate_surface_321_cast");
    // Processed data not yet turned into a surface: nothing to invert.
    app.raw->ProcessedChanged = 1;
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(button));
    app.raw->ProcessedChanged = 0;
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    ASSERT_TRUE(IsWindowEnabled(button));

    std::string title;
    Driver driver({{1347, [&](HWND d) {
                        title = ItemText(d, 0);
                        return Press(d, IDOK);
                    }}});
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(1488, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(title, "Cast Inversion Settings");
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "CastInvOkMsg");
    EXPECT_EQ(g_messages[0].kind, MessageKind::Info);
    EXPECT_EQ(app.rbf.Inverted, 1);
    EXPECT_EQ(app.rbf.Saved, 0);
    EXPECT_EQ(app.rbf.NumPoints, 2 * kAlong * (kAround - 2));
    for (int32_t v = 0; v < app.rbf.NumPoints; ++v) {
        const Vec3 p = app.rbf.Points[v];
        ASSERT_NEAR(std::sqrt(p.x * p.x + p.y * p.y), kRadius, 2e-3f) << v;
    }
    EXPECT_EQ(g_commands, (std::vector<WPARAM>{40009, 40263}));
    EXPECT_EQ(g.CombineSweeps, 1);

    // Inverted already: no settings, no message, the basic surface shown.
    g_messages.clear();
    g_commands.clear();
    Driver none({{1347, [](HWND d) { return Press(d, IDCANCEL); }}}, 25);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(1488, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    EXPECT_FALSE(none.Finished());
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(g_commands, std::vector<WPARAM>{40263});
}

TEST_F(SurfaceDialogsWin32, ClosingMarksStaleSurfacesAndSwitchesTheView) {
    struct Case {
        const char* name;
        int field;
        const char* typed;
        std::vector<WPARAM> commands;
        int32_t basicPoints, rbfPoints;
    };
    const Case cases[] = {
        {"nothing changed", 0, "", {}, 10, 10},
        {"an RBF setting", 1427, "5", {40263}, 10, 0},
        {"a basic setting", 1422, "4", {40262}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GeneralSettings_SetDefaults(App().settings, 0x00FFFFFF, 0);
        MarkBothBuilt();
        HWND w = OpenModeless();
        if (c.field) Enter(w, c.field, c.typed);
        g_commands.clear();
        SendMessageA(GetDlgItem(w, 1476), BM_CLICK, 0, 0);
        Pump();
        EXPECT_EQ(g_commands, c.commands);
        EXPECT_FALSE(IsWindow(w));
        EXPECT_EQ(Shell().modeless[kSlotGenerateSurface], nullptr);
        EXPECT_EQ(App().basic.NumPoints, c.basicPoints);
        EXPECT_EQ(App().rbf.NumPoints, c.rbfPoints);
    }
}

BOOL CALLBACK CountChild(HWND, LPARAM parameter) {
    ++*reinterpret_cast<LRESULT*>(parameter);
    return TRUE;
}

// The text the dialog gives its tooltip for a control.
std::string TipText(HWND dialog, int id) {
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = nullptr;
    info.hdr.idFrom = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
    info.hdr.code = TTN_GETDISPINFOA;
    info.uFlags = TTF_IDISHWND;
    SendMessageA(dialog, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    return info.lpszText && info.lpszText != LPSTR_TEXTCALLBACKA ? info.lpszText : "";
}

TEST_F(SurfaceDialogsWin32, BatchRunEditsTheItemsCopyWithTheApplyButtonsOff) {
    for (const int32_t kind : {1, 2}) {
        SCOPED_TRACE(kind);
        GeneralSettings item = App().settings;
        item.CombineSweeps = kind;
        SurfaceRecord basic{}, rbf{};
        SurfaceRecord* shown = &basic;
        ViewSettings view = App().view;
        bool checked = false;
        Driver driver({{1460, [&](HWND d) {
                            EXPECT_EQ(Text(d, 102), Locale_GetString("StandardBasicSurface"));
                            EXPECT_EQ(Text(d, 1460), Locale_GetString("StandardRbfSurface"));
                            EXPECT_EQ(Text(d, 1476), Locale_GetString("StandardDialogOK"));
                            for (int id : {102, 1346, 1460}) EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, id))) << id;
                            EXPECT_EQ(IsWindowEnabled(GetDlgItem(d, 1423)) != FALSE, kind == 2);
                            EXPECT_EQ(IsWindowVisible(GetDlgItem(d, 1461)) != FALSE, kind != 2);
                            EXPECT_EQ(TipText(d, 1476), "");  // the OK of a batch run explains nothing
                            EXPECT_EQ(TipText(d, 1423), Locale_GetString("GenerateSurfaceRbfAccuracyInfo"));
                            KeepPicture(d, "generate_surface_321_batch_kind" + std::to_string(kind));
                            HWND edit = GetDlgItem(d, 1422);
                            SetFocus(edit);
                            SetWindowTextA(edit, "1.75");
                            SetFocus(GetDlgItem(d, 1476));
                            checked = true;
                            return Press(d, 1476);
                        }}});
        const INT_PTR result = GenerateSurfaceDlg_RunModal(GetModuleHandleA(nullptr), owner_, {&basic, &rbf, &shown},
                                                           view, App().settingsDefaults, App().raw, item);
        EXPECT_TRUE(driver.Finished());
        EXPECT_TRUE(checked);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(item.BasicParams.FilterRadius, 1.75f);  // the copy, not the program's settings
        EXPECT_NE(App().settings.BasicParams.FilterRadius, 1.75f);
        EXPECT_TRUE(g_commands.empty());
    }
}

TEST_F(SurfaceDialogsWin32, ControlsAndTheirLabelsShareATooltip) {
    HWND w = OpenModeless();
    HWND tip = modal_driver::TipWindowOf(w, GetDlgItem(w, 1419));
    ASSERT_NE(tip, nullptr);
    // Every control of the dialog is a tool.
    LRESULT children = 0;
    EnumChildWindows(w, CountChild, reinterpret_cast<LPARAM>(&children));
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), children);
    struct Case {
        int id;
        const char* key;
    };
    const Case cases[] = {{1419, "GenerateSurfaceSmoothingInfo"},         {1422, "GenerateSurfaceSmoothingInfo"},
                          {1446, "GenerateSurfaceRbfMemoryInfo"},         {1478, "GenerateSurfaceRbfMemoryInfo"},
                          {1436, "GenerateSurfaceRbfSimplifyNFacesInfo"}, {1476, "GenerateSurfaceCloseInfo"},
                          {1460, "GenerateSurfaceApplyRbfInfo"}};
    for (const Case& c : cases) EXPECT_EQ(TipText(w, c.id), Locale_GetString(c.key)) << c.id;
    EXPECT_EQ(TipText(w, 1432), "");  // the statistics have none
}

TEST_F(SurfaceDialogsWin32, EditGenerateSurfaceOpensOneWindowAndThePemmlerKeysShowASurface) {
    EXPECT_EQ(MainWnd_OnCommand(40060), 1);
    HWND w = Shell().modeless[kSlotGenerateSurface];
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ(MainWnd_OnCommand(40060), 1);
    EXPECT_EQ(Shell().modeless[kSlotGenerateSurface], w);  // the same window, brought forward
    Pump(3);
    KeepPicture(w, "generate_surface_321");
    DestroyWindow(w);
    EXPECT_EQ(Shell().modeless[kSlotGenerateSurface], nullptr);

    AppState& app = App();
    scan_.raw().NumProfiles = 1;
    app.mode = kModeScan;
    struct Case {
        WORD id;
        int32_t kind;
        SurfaceRecord* shown;
    };
    for (const Case& c : {Case{40229, 2, &app.rbf}, Case{40228, 1, &app.basic}}) {
        SCOPED_TRACE(c.id);
        EXPECT_TRUE(SurfaceDialogs_Command(c.id));
        EXPECT_EQ(app.settings.CombineSweeps, c.kind);
        EXPECT_EQ(app.shownSurface, c.shown);
        EXPECT_EQ(app.mode, kModeSurface);
    }
}

// ---- The basic build ------------------------------------------------------

TEST_F(SurfaceDialogsWin32, BasicBuildResultsGiveTheirBoxesAndTheDialogsResult) {
    struct Case {
        int32_t build;
        INT_PTR result;
        MessageKind kind;
        const char* key;  // none: no box
    };
    const Case cases[] = {
        {0, 1, MessageKind::Info, nullptr},
        {1, 0, MessageKind::Info, nullptr},
        {2, 1, MessageKind::Warning, "ErrorBasicSurfReductionBadFacets"},
        {3, 0, MessageKind::Error, "ErrorOutOfMemory"},
        {4, 0, MessageKind::Error, "ErrorBasicSurfRequiresPointData"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.build);
        g_messages.clear();
        std::atomic<bool> stopped{false};
        // The stages are named by their keys, as the builder names them.
        SurfaceBuild_SetBasicBuilder([&](SurfProgressFn progress, void* user) {
            if (c.build != 1) return progress(kSurfPointsStageKey, 0.5f, user) ? c.build : -1;
            // A cancelled build runs until the user's abort reaches it.
            for (int i = 0; i < 500 && progress(kSurfPointsStageKey, 0.25f, user); ++i) Sleep(10);
            stopped = progress(kSurfPointsStageKey, 0.25f, user) == 0;
            return 1;
        });
        std::deque<Step> steps;
        if (c.build == 1) {
            steps.push_back({1054, [](HWND d) {
                                 if (Text(d, 1035).find("25%") == std::string::npos) return false;
                                 // The stage's text, never its key.
                                 EXPECT_EQ(Text(d, 1035).find(kSurfPointsStageKey), std::string::npos);
                                 EXPECT_NE(Text(d, 1035).find(Locale_GetString(kSurfPointsStageKey)),
                                           std::string::npos);
                                 KeepPicture(d, "basic_surface_341");
                                 EXPECT_EQ(Text(d, 0), Locale_GetString("BasicSurfCreateTitle"));
                                 return Press(d, 1054);
                             }});
        }
        Driver driver(steps);
        EXPECT_EQ(BasicSurfaceDialog_Run(owner_), c.result);
        EXPECT_TRUE(driver.Finished());
        if (c.build == 1) {
            EXPECT_TRUE(stopped);
        }
        if (c.key) {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(g_messages[0].kind, c.kind);
            EXPECT_EQ(g_messages[0].textKey, c.key);
        } else {
            EXPECT_TRUE(g_messages.empty());
        }
    }
}

TEST_F(SurfaceDialogsWin32, ARefusedBasicWorkerIsReportedAndBuildsNothing) {
    int builds = 0;
    SurfaceBuild_SetBasicBuilder([&](SurfProgressFn, void*) { return ++builds, 0; });
    WorkerThreadOps refuse;
    refuse.start = [](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE { return nullptr; };
    SurfaceBuild_SetThreadOps(refuse);
    EXPECT_EQ(BasicSurfaceDialog_Run(owner_), 0);
    EXPECT_EQ(builds, 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].textKey, "ErrorThreadCreate");
}

// ---- The RBF build on a stand-in library -----------------------------------

enum class Library { Succeeds, WaitsForAbort };
Library g_library = Library::Succeeds;
HostMessageFunction g_host = nullptr;
Mesh3 g_mesh{};
std::vector<double> g_points;
std::vector<int32_t> g_tris;

void Say(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_host(level, format, args);
    va_end(args);
}

int MORLITH_CALL StandInSetFuncs(ScanFitContext* c, HostMessageFunction f) {
    c->HostMessage = g_host = f;
    return 1;
}
int MORLITH_CALL StandInSetParams(ScanFitContext*, const ScanFitParams*, int32_t) { return 1; }
int MORLITH_CALL StandInSetInput(ScanFitContext*, int32_t, const float*) { return 1; }
int MORLITH_CALL StandInFreeData(ScanFitContext*) { return 1; }
int MORLITH_CALL StandInProcess(ScanFitContext* c, int32_t count, const float* points, const float*) {
    Say(5, "Fitting %d points", count);
    Say(4, "Progress line");
    Say(2, "Memory use is high");
    Say(2, "Few points near the edge");
    Say(3, "Finished fitting");
    if (g_library == Library::WaitsForAbort) {
        static int32_t live = 4321;
        c->LiveTriangleCount = &live;
        c->Report.progress = 0.4;
        for (int i = 0; i < 1000 && !c->Report.abort; ++i) Sleep(10);
        c->LiveTriangleCount = nullptr;
        Say(1, "Surface stopped by the user");
        return 0;
    }
    // The input as the surface: its points and a fan of triangles.
    g_points.assign(points, points + 3 * count);
    g_tris.clear();
    for (int32_t i = 1; i + 1 < count; ++i) g_tris.insert(g_tris.end(), {0, i, i + 1});
    std::memset(&g_mesh, 0, sizeof g_mesh);
    g_mesh.Points.Location = g_points.data();
    g_mesh.Points.Count = count;
    g_mesh.Faces.Tri = g_tris.data();
    g_mesh.Faces.TriCount = static_cast<int32_t>(g_tris.size() / 3);
    c->OutputMesh = &g_mesh;
    Say(3, "Surface made");
    return 1;
}

bool StandInLoader(RbfLibExports& e) {
    e = RbfLibExports{StandInSetFuncs, StandInSetParams, StandInProcess, StandInFreeData, StandInSetInput};
    return true;
}

std::vector<std::string> ListLines(HWND d) {
    HWND list = GetDlgItem(d, 1157);
    std::vector<std::string> lines;
    const int n = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[1024] = "";
        LVITEMA item = {};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        lines.push_back(text);
    }
    return lines;
}

class RbfDialogWin32 : public SurfaceDialogsWin32 {
  protected:
    void SetUp() override {
        SurfaceDialogsWin32::SetUp();
        scan_.AddSweep(surface_test::GridPoints(20, 20, 1.0f));
        AppState& app = App();
        app.settings.BasicParams = BasicSurfParams{1, 2.0f, 2.5f, 0, 0.1f, 0, 1};
        app.settings.BasicReduceEnabled = 1;
        app.settings.ProfileThreshold = 100.0f;
        app.settings.ProfileProcessMode = 3;
        app.settings.RbfParams.RbfAutoMemoryLimit = 0;
        app.settings.RbfParams.RbfMemoryToUse = 256;
        std::memset(&app.basic, 0, sizeof app.basic);
        std::memset(&app.rbf, 0, sizeof app.rbf);
        RbfLib_SetLoader(StandInLoader);
    }
};

TEST_F(RbfDialogWin32, ASuccessfulBuildClosesTheDialogByItself) {
    g_library = Library::Succeeds;
    Driver driver({});
    EXPECT_EQ(RbfSurfaceDialog_Run(owner_), 1);
    EXPECT_TRUE(driver.Finished());
    EXPECT_GT(App().basic.NumPoints, 0);
    EXPECT_EQ(App().rbf.NumPoints, App().basic.NumPoints);
    EXPECT_GT(App().rbf.NumFacets, 0);
}

TEST_F(RbfDialogWin32, AbortLeavesCloseAndTheMessagesOfTheShownLevels) {
    g_library = Library::WaitsForAbort;
    std::vector<std::string> lines;
    std::string status, button, triangles;
    Driver driver({{1157,
                    [&](HWND d) {
                        // Wait until the library shows its live count.
                        if (!IsWindowVisible(GetDlgItem(d, 1216))) return false;
                        triangles = Text(d, 1216);
                        KeepPicture(d, "rbf_surface_349_running");
                        return Press(d, 1054);
                    }},
                   {1157, [&](HWND d) {
                        if (Text(d, 1054) != "&Close") return false;
                        lines = ListLines(d);
                        status = Text(d, 1035);
                        KeepPicture(d, "rbf_surface_349_aborted");
                        return Press(d, 1054);
                    }}});
    EXPECT_EQ(RbfSurfaceDialog_Run(owner_), 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(triangles, "4321 triangles");
    // Progress (4), "Memory..." warnings and "Finish..." successes are not shown.
    const std::vector<std::string> expected = {
        "Processing points", " Fitting " + std::to_string(App().basic.NumPoints) + " points",
        "WARNING: Few points near the edge", "ERROR: Surface stopped by the user"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(status, "ERROR: Surface stopped by the user");
    EXPECT_EQ(App().rbf.NumPoints, 0);
}

TEST_F(RbfDialogWin32, ARefusedWorkerIsShownAndTheDialogClosesWithNothingBuilt) {
    WorkerThreadOps refuse;
    refuse.start = [](LPTHREAD_START_ROUTINE, void*, DWORD*) -> HANDLE { return nullptr; };
    SurfaceBuild_SetThreadOps(refuse);
    std::vector<std::string> lines;
    Driver driver({{1157, [&](HWND d) {
                        if (Text(d, 1054) != "&Close") return false;
                        lines = ListLines(d);
                        return Press(d, 1054);
                    }}});
    EXPECT_EQ(RbfSurfaceDialog_Run(owner_), 0);
    EXPECT_TRUE(driver.Finished());
    EXPECT_EQ(lines, std::vector<std::string>{"ERROR: " + std::string(Locale_GetString("ErrorThreadCreate"))});
    EXPECT_EQ(App().basic.NumPoints, 0);
}

// ---- About boxes ------------------------------------------------------------

// The about box shows the branding's logo with its transparency laid over
// the dialog's face.
TEST_F(SurfaceDialogsWin32, TheAboutBoxsLogoBlendsItsAlphaOverTheFace) {
    Image logo;
    ASSERT_TRUE(Image_Allocate(logo, kImageRgba, 16, 8));
    for (int p = 0; p < 16 * 8; ++p) {
        uint8_t* px = logo.pixels + p * 4;
        px[0] = 255, px[1] = 0, px[2] = 0, px[3] = p < 8 * 16 / 2 ? 255 : 0;  // top half red, bottom clear
    }
    BrandInfo& brand = Brand_Get();
    const Image* saved = brand.helpabout;
    brand.helpabout = &logo;
    COLORREF top = 0, bottom = 0;
    bool found = false;
    Driver driver({{1129, [&](HWND d) {
                        for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                            HBITMAP bitmap = reinterpret_cast<HBITMAP>(SendMessageA(c, STM_GETIMAGE, IMAGE_BITMAP, 0));
                            if (!bitmap) continue;
                            HDC dc = CreateCompatibleDC(nullptr);
                            HGDIOBJ old = SelectObject(dc, bitmap);
                            top = GetPixel(dc, 8, 1);
                            bottom = GetPixel(dc, 8, 6);
                            SelectObject(dc, old);
                            DeleteDC(dc);
                            found = true;
                        }
                        return Press(d, IDOK);
                    }}});
    EXPECT_EQ(MainWnd_OnCommand(40024), 1);
    EXPECT_TRUE(driver.Finished());
    brand.helpabout = saved;
    Image_Free(&logo);
    ASSERT_TRUE(found);
    EXPECT_EQ(top, RGB(255, 0, 0));
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(bottom, RGB(GetRValue(face), GetGValue(face), GetBValue(face)));
}

TEST_F(SurfaceDialogsWin32, AboutBoxesShowTheirVersionLines) {
    std::string version, library, title, address, web;
    Driver driver({{1129,
                    [&](HWND d) {
                        version = Text(d, 1129);
                        title = Text(d, 0);
                        address = Text(d, 1350);
                        web = Text(d, 1132);
                        KeepPicture(d, "about_307");
                        return Press(d, IDOK);
                    }},
                   {1133, [&](HWND d) {
                        library = Text(d, 1255);
                        KeepPicture(d, "about_library_308");
                        return Press(d, IDOK);
                    }}});
    // Through the Help menu's commands.
    EXPECT_EQ(MainWnd_OnCommand(40024), 1);
    EXPECT_EQ(MainWnd_OnCommand(40127), 1);
    EXPECT_TRUE(driver.Finished());
    const BrandInfo& brand = Brand_Get();
    EXPECT_EQ(title, brand.company + " " + brand.product);
    EXPECT_EQ(version.rfind("Version " + std::string(kProductVersion) + ", built ", 0), 0u) << version;
    EXPECT_EQ(version.size(),
              std::string("Version , built Mmm dd yyyy hh:mm:ss").size() + std::strlen(kProductVersion));
    EXPECT_EQ(address, brand.address);
    EXPECT_EQ(web, "&" + brand.url);
    EXPECT_EQ(library, std::string(Locale_GetString("SelvaneAboutVersion")) + " 1.4.2-0");
}

TEST_F(SurfaceDialogsWin32, TheLibraryAboutBoxTakesAWebPageWithoutHost) {
    BrandInfo& brand = Brand_Get();
    const std::string url = brand.url;
    struct Row {
        const char* url;
        const char* mail;
    } rows[] = {{"http:///updates/", ""}, {"", ""}, {"https://www.maker.example/x", "surfaces@maker.example"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url);
        brand.url = r.url;
        std::string mail = "unread";
        Driver driver({{1133, [&](HWND d) {
                            mail = Text(d, 1133);
                            return Press(d, IDOK);
                        }}});
        EXPECT_EQ(MainWnd_OnCommand(40127), 1);
        EXPECT_TRUE(driver.Finished());
        EXPECT_EQ(mail, r.mail);
    }
    brand.url = url;
}

}  // namespace
