// The live view under Wine, checked by its own front-buffer read-back: what
// a synthetic scan draws, the repaint levels, picking points by read-back and
// the mouse navigation on drawn geometry.
#include "app/acquisition/profile_line_log.h"
#include "app/export/tests/cast_scans.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/commands_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/scan_edit.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"
#include "app/ui/view_window_win32.h"
#include "app/ui/stylus_draw_win32.h"
#include "app/ui/snapshot_win32.h"
#include "app/ui/view_timings.h"
#include "app/files/png_image.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

std::vector<AppMessage> g_messages;

constexpr uint32_t kBackground = 0x402010;  // red 0x10, green 0x20, blue 0x40

// A scan made of point rows: each sweep a short row of points at a height
// of its own, coloured white; the sweep tables and the point runs filled.
struct SyntheticScan {
    std::vector<ScanPoint> points;
    std::vector<Facet> facets;
    std::vector<Vec3> facetNormals;
    std::vector<SweepRecord> sweeps;
    std::vector<int32_t> firstPoint, firstFacet, firstProfile;
    RawData raw = {};

    void AddSweep(const std::vector<Vec3>& vertices, bool hidden) {
        if (firstPoint.empty()) firstPoint.push_back(0), firstFacet.push_back(0), firstProfile.push_back(0);
        for (const Vec3& v : vertices) {
            ScanPoint p = {};
            p.Vertex = v;
            p.Normal = {0, 0, 1};
            p.Colour[0] = p.Colour[1] = p.Colour[2] = 255;
            points.push_back(p);
        }
        SweepRecord s = {};
        s.Flags = hidden ? kSweepHidden : 0;
        sweeps.push_back(s);
        firstPoint.push_back(static_cast<int32_t>(points.size()));
        firstFacet.push_back(static_cast<int32_t>(facets.size()));
        firstProfile.push_back(0);
    }
    // Points and facets of the last sweep are closed as a sphere of triangles.
    void AddSphere(const Vec3& centre, float radius, int rings, int segments) {
        if (firstPoint.empty()) firstPoint.push_back(0), firstFacet.push_back(0), firstProfile.push_back(0);
        const int32_t base = static_cast<int32_t>(points.size());
        for (int i = 0; i <= rings; ++i) {
            const double theta = 3.14159265358979 * i / rings;
            for (int j = 0; j < segments; ++j) {
                const double phi = 2 * 3.14159265358979 * j / segments;
                ScanPoint p = {};
                p.Normal = {static_cast<float>(std::sin(theta) * std::cos(phi)),
                            static_cast<float>(std::sin(theta) * std::sin(phi)), static_cast<float>(std::cos(theta))};
                p.Vertex = {centre.x + radius * p.Normal.x, centre.y + radius * p.Normal.y,
                            centre.z + radius * p.Normal.z};
                p.Colour[0] = p.Colour[1] = p.Colour[2] = 200;
                points.push_back(p);
            }
        }
        auto at = [&](int i, int j) { return base + i * segments + (j % segments); };
        for (int i = 0; i < rings; ++i) {
            for (int j = 0; j < segments; ++j) {
                for (const Facet& f : {Facet{{at(i, j), at(i + 1, j), at(i + 1, j + 1)}},
                                       Facet{{at(i, j), at(i + 1, j + 1), at(i, j + 1)}}}) {
                    facets.push_back(f);
                    Vec3 a = points[f.v[0]].Vertex, b = points[f.v[1]].Vertex, c = points[f.v[2]].Vertex, n;
                    Vec3 ab, ac;
                    V3_Sub(b, a, ab);
                    V3_Sub(c, a, ac);
                    V3_Cross(ab, ac, n);
                    V3_Normalise(n, n);
                    // Outwards, whichever way the ring turns.
                    Vec3 out;
                    V3_Sub(a, centre, out);
                    if (V3_Dot(n, out) < 0) V3_Scale(-1, n, n);
                    facetNormals.push_back(n);
                }
            }
        }
        SweepRecord s = {};
        sweeps.push_back(s);
        firstPoint.push_back(static_cast<int32_t>(points.size()));
        firstFacet.push_back(static_cast<int32_t>(facets.size()));
        firstProfile.push_back(0);
    }
    RawData* Attach() {
        raw = RawData();
        raw.Points = points.data();
        raw.NumPoints = raw.MaxPoints = static_cast<int32_t>(points.size());
        raw.Facets = facets.empty() ? nullptr : facets.data();
        raw.FacetNormals = facetNormals.empty() ? nullptr : facetNormals.data();
        raw.NumFacets = raw.MaxFacets = static_cast<int32_t>(facets.size());
        raw.Sweeps = sweeps.data();
        raw.NumSweeps = raw.TotalSweeps = raw.MaxSweeps = static_cast<int32_t>(sweeps.size());
        raw.SweepFirstPoint = firstPoint.data();
        raw.SweepFirstFacet = firstFacet.data();
        raw.SweepStartingProfileNo = firstProfile.data();
        M4_Identity(raw.ScanAlignment);
        raw.Timestamp = 1;
        return &raw;
    }
};

std::vector<Vec3> Row(float y, int n) {
    std::vector<Vec3> row;
    for (int i = 0; i < n; ++i) row.push_back({-40.0f + 10.0f * i, y, 0});
    return row;
}

// One program window for the whole suite: its start-up waits a second.
class ViewWindowWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();  // the built-in locale of the test's resources
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        window_ = OpenPlainViewWindow(kBackground, 400, 360);
        savedRaw_ = App().raw;
    }
    static void TearDownTestSuite() {
        App().raw = savedRaw_;
        CloseShellWindow(window_);
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(Shell().view, nullptr);
        g_messages.clear();
        AppState& app = App();
        M4_Identity(app.view.ViewMatrix);
        app.view.ViewOrigin = {0, 0, 0};
        app.view.ZoomFactor = 1;
        app.view.DisplayType = 0;
        app.view.Options = 0;
        app.settings.ViewBBox = 0;
        app.mode = kModeScan;
    }
    void TearDown() override {
        App().raw = savedRaw_;
        View_Hooks() = ViewHooks();
        PumpShellMessages(1, 0);
    }
    void Use(SyntheticScan& scan) { App().raw = scan.Attach(); }
    // A full redraw, as the program asks for it.
    void Redraw() {
        PumpShellMessages(1, 0);
        SendMessageA(Shell().view, WM_PAINT, 0, 3);
    }
    Image Front() {
        Image image;
        EXPECT_TRUE(View_ReadBack(image));
        return image;
    }
    static const uint8_t* Pixel(const Image& image, int x, int y) {
        return image.pixels + (static_cast<size_t>(y) * image.width + x) * 4;
    }
    static bool IsBackground(const uint8_t* p) { return p[0] == 0x10 && p[1] == 0x20 && p[2] == 0x40; }
    // The client pixel a world point is drawn on.
    static POINT PixelOf(const Vec3& point) {
        Vec3 w;
        EXPECT_EQ(Graph_ProjectToScreen(point, Shell().view, w), 0);
        return {static_cast<LONG>(std::floor(w.x)),
                static_cast<LONG>(Graph_ViewportHeight(Shell().view) - 1 - std::floor(w.y))};
    }
    static HWND window_;
    static RawData* savedRaw_;
};

HWND ViewWindowWin32::window_ = nullptr;
RawData* ViewWindowWin32::savedRaw_ = nullptr;

TEST_F(ViewWindowWin32, EveryVisibleVertexLandsOnADrawnPixelAndTheHiddenSweepDrawsNothing) {
    SyntheticScan scan;
    scan.AddSweep(Row(-30, 9), false);
    scan.AddSweep(Row(0, 9), true);
    scan.AddSweep(Row(30, 9), false);
    Use(scan);
    Redraw();
    Image image = Front();
    ASSERT_GT(image.width, 100);
    int visible = 0, hidden = 0;
    for (int32_t s = 0; s < 3; ++s) {
        for (int32_t i = scan.firstPoint[s]; i < scan.firstPoint[s + 1]; ++i) {
            const POINT p = PixelOf(scan.points[i].Vertex);
            ASSERT_TRUE(p.x >= 0 && p.y >= 0 && p.x < image.width && p.y < image.height);
            const bool drawn = !IsBackground(Pixel(image, p.x, p.y));
            (s == 1 ? hidden : visible) += drawn ? 1 : 0;
        }
    }
    EXPECT_EQ(visible, 18);
    EXPECT_EQ(hidden, 0);
    EXPECT_TRUE(g_messages.empty());
    Image_Free(&image);
}

TEST_F(ViewWindowWin32, QueuedRequestsCollapseIntoOnePaintAtTheHighestLevel) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 3), false);
    Use(scan);
    PumpShellMessages(2, 5);
    std::vector<int32_t> paints;
    View_Hooks().painted = [&](int32_t level) { paints.push_back(level); };
    View_PostRepaint(2);
    View_PostRepaint(0);
    View_PostRepaint(3);
    View_SendRepaint(1);
    PumpShellMessages(2, 5);
    EXPECT_EQ(paints, std::vector<int32_t>({3}));
}

// A top-level view painted before its first message loop still has its
// frame to paint: the system makes a paint message for it on every peek,
// which must not be taken for a queued request (that loop never ended).
TEST_F(ViewWindowWin32, APaintSentBeforeTheFirstMessageLoopEnds) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 3), false);
    Use(scan);
    PumpShellMessages(2, 5);
    WNDCLASSA c = {};
    c.lpfnWndProc = Graph_WindowProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "KorvGraphTopLevel";
    RegisterClassA(&c);
    static const int stencil = 1;
    HWND top = CreateWindowA(c.lpszClassName, "view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                             nullptr, c.hInstance, const_cast<int*>(&stencil));
    ASSERT_NE(top, nullptr);
    std::vector<int32_t> paints;
    View_Hooks().painted = [&](int32_t level) { paints.push_back(level); };
    PostMessageA(top, WM_PAINT, 0, 2);
    SendMessageA(top, WM_PAINT, 0, 3);
    EXPECT_EQ(paints, std::vector<int32_t>({3}));
    View_Hooks().painted = nullptr;
    DestroyWindow(top);
    UnregisterClassA(c.lpszClassName, c.hInstance);
}

TEST_F(ViewWindowWin32, LevelTwoDrawsOnlyWhatIsNewAndKeepsTheBox) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    scan.AddSweep(Row(20, 5), false);
    Use(scan);
    RawData& raw = *App().raw;
    raw.NumPoints = scan.firstPoint[1];  // the second row is not there yet
    View_Timings() = ViewTimings{};
    Redraw();
    // The diagnostics dialog's figures: a full repaint, then one update.
    EXPECT_GT(View_Timings().repaintTime, 0.0);
    EXPECT_EQ(View_Timings().updateCount, 0);
    const double boxTime = raw.ExtentsTime;
    Image before = Front();
    const POINT late = PixelOf(scan.points[7].Vertex);
    EXPECT_TRUE(IsBackground(Pixel(before, late.x, late.y)));
    raw.NumPoints = scan.firstPoint[2];
    SendMessageA(Shell().view, WM_PAINT, 0, 2);
    Image after = Front();
    EXPECT_FALSE(IsBackground(Pixel(after, late.x, late.y)));
    EXPECT_EQ(raw.ExtentsTime, boxTime);
    EXPECT_EQ(raw.Draw.DrawnPoints, raw.NumPoints);
    EXPECT_EQ(View_Timings().updateCount, 1);
    EXPECT_EQ(View_Timings().averageUpdate, View_Timings().minUpdate);
    Image_Free(&before);
    Image_Free(&after);
}

TEST_F(ViewWindowWin32, ReadBackGivesThePointUnderAPixelInEyeAndWorldCoordinates) {
    SyntheticScan scan;
    // The view's origin projects onto a pixel centre; the point sits there.
    scan.AddSweep({{12.5f, -7.5f, 3.25f}}, false);
    Use(scan);
    AppState& app = App();
    M4_MakeRotationY(30, app.view.ViewMatrix);
    app.view.ViewOrigin = scan.points[0].Vertex;
    Redraw();
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    Vec3 eye = {}, world = {};
    ASSERT_EQ(Graph_ReadPixelsAt(Shell().view, w / 2, h / 2, eye), 0);
    EXPECT_NEAR(eye.x, 0, 1e-3);
    EXPECT_NEAR(eye.y, 0, 1e-3);
    Vec3 expectedEye;
    M4_TransformPoint(app.view.ViewMatrix, {0, 0, 0}, expectedEye);
    EXPECT_NEAR(eye.z, expectedEye.z, 1e-3);
    ASSERT_EQ(Graph_ReadDepth(Shell().view, w / 2, h / 2, world, 0), 0);
    EXPECT_NEAR(world.x, 12.5f, 1e-3);
    EXPECT_NEAR(world.y, -7.5f, 1e-3);
    EXPECT_NEAR(world.z, 3.25f, 1e-3);
    // Background and pixels outside the view find nothing.
    Vec3 untouched = {9, 9, 9};
    EXPECT_EQ(Graph_ReadPixelsAt(Shell().view, 3, 3, untouched), 1);
    EXPECT_EQ(Graph_ReadDepth(Shell().view, w, h / 2, untouched, 0), 1);
    EXPECT_EQ(Graph_ReadPixelsAt(Shell().view, w / 2, -1, untouched), 1);
    EXPECT_EQ(untouched.x, 9);
}

TEST_F(ViewWindowWin32, OutOfMemoryWhileDrawingGivesOneBoxAndTheNextPaintDraws) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    int faults = 1;
    View_Hooks().beforeScanDraw = [&] {
        if (faults-- > 0) throw std::bad_alloc();
    };
    Redraw();
    int boxes = 0;
    for (const AppMessage& m : g_messages) boxes += m.textKey == "ErrorOutOfMemory";
    EXPECT_EQ(boxes, 1);
    Redraw();
    Image image = Front();
    const POINT p = PixelOf(scan.points[2].Vertex);
    EXPECT_FALSE(IsBackground(Pixel(image, p.x, p.y)));
    Image_Free(&image);
}

TEST_F(ViewWindowWin32, BoxOnFullFramesOnlyAndSnapshotsHoldTheCloudWithoutIt) {
    SyntheticScan scan;
    scan.AddSweep(Row(-30, 9), false);
    scan.AddSweep(Row(30, 9), false);
    Use(scan);
    App().settings.ViewBBox = 1;
    Redraw();
    ASSERT_TRUE(App().raw->ExtentsValid);
    // The box's edge at x = -40 runs between the rows where no point is.
    const POINT edge = PixelOf({-40, 0, 0});
    const POINT point = PixelOf(scan.points[4].Vertex);
    Image shown = Front();
    EXPECT_FALSE(IsBackground(Pixel(shown, edge.x, edge.y)));
    // An incremental frame draws no box: switched off, the old one stays
    // only until the next full frame.
    App().settings.ViewBBox = 0;
    Redraw();
    App().settings.ViewBBox = 1;
    SendMessageA(Shell().view, WM_PAINT, 0, 2);
    Image incremental = Front();
    EXPECT_TRUE(IsBackground(Pixel(incremental, edge.x, edge.y)));

    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string path = std::string(folder) + "tolvaran-view-snapshot.png";
    DeleteFileA(path.c_str());
    Snapshot_SetDialog([&](HWND, std::string& chosen, SnapshotOptions&, DWORD&) {
        chosen = path;
        return true;
    });
    View_Command(40172);
    Snapshot_SetDialog(nullptr);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    Image saved;
    EXPECT_EQ(Png_Load(file, saved), 1);
    std::fclose(file);
    EXPECT_EQ(saved.format, kImageRgba);
    EXPECT_EQ(saved.width, shown.width);
    EXPECT_GT(saved.height, shown.height);  // the information text under the view
    EXPECT_EQ(Pixel(saved, point.x, point.y)[3], 255);
    EXPECT_EQ(Pixel(saved, edge.x, edge.y)[3], 0);  // no box, transparent background
    EXPECT_EQ(Snapshot_Options().lastName, path);
    EXPECT_TRUE(g_messages.empty());
    DeleteFileA(path.c_str());
    Image_Free(&shown);
    Image_Free(&incremental);
    Image_Free(&saved);
}

int Brightness(const uint8_t* p) { return p[0] + p[1] + p[2]; }

TEST_F(ViewWindowWin32, ALitSphereIsBrighterTowardsTheLightInEachShadedType) {
    SyntheticScan scan;
    scan.AddSphere({0, 0, 0}, 40, 24, 32);
    Use(scan);
    GeneralSettings& settings = App().settings;
    const GeneralSettings saved = settings;
    settings.AmbientLightLevel = 0.2f;
    settings.SpotLightLevel = 0.8f;
    settings.SpotLightPosition[0] = 1;  // from the right, towards the viewer
    settings.SpotLightPosition[1] = 0;
    settings.SpotLightPosition[2] = 1;
    struct Case {
        int32_t displayType;
        int32_t smoothShading;
    };
    for (const Case c : {Case{2, 0}, Case{2, 1}, Case{3, 1}}) {
        App().view.DisplayType = c.displayType;
        settings.UseSmoothShading = c.smoothShading;
        Redraw();
        Image image = Front();
        const POINT lit = PixelOf({28, 0, 28}), dark = PixelOf({-28, 0, 28});
        EXPECT_GT(Brightness(Pixel(image, lit.x, lit.y)), Brightness(Pixel(image, dark.x, dark.y)) + 60)
            << c.displayType << c.smoothShading;
        EXPECT_FALSE(IsBackground(Pixel(image, dark.x, dark.y)));
        Image_Free(&image);
    }
    settings = saved;
}

// What each facet mode draws over the disc of a red sphere, by its pixels:
// the wireframe leaves background between its lines in the points' colours,
// not the foreground colour; solid fills it in the facets' colours, flat or
// smooth, and its edges add black lines over the fill.
TEST_F(ViewWindowWin32, EachFacetModeDrawsItsFillLinesAndColoursOverASphere) {
    SyntheticScan scan;
    scan.AddSphere({0, 0, 0}, 40, 24, 32);
    for (ScanPoint& p : scan.points) p.Colour[1] = p.Colour[2] = 0;
    Use(scan);
    GeneralSettings& settings = App().settings;
    const GeneralSettings saved = settings;
    settings.ForegroundColour = 0xFFFFFF;
    settings.UseSpecularHighlights = 0;
    settings.AmbientLightLevel = 0.4f;
    settings.SpotLightLevel = 0.6f;
    settings.SpotLightPosition[0] = settings.SpotLightPosition[1] = 0;
    settings.SpotLightPosition[2] = 1;
    struct Case {
        int32_t displayType, options, smoothShading;
        bool filled, black;
    };
    for (const Case c : {Case{1, 0, 1, false, false}, Case{2, 0, 0, true, false}, Case{2, 0, 1, true, false},
                         Case{2, 2, 1, true, true}}) {
        App().view.DisplayType = c.displayType;
        App().view.Options = c.options;
        settings.UseSmoothShading = c.smoothShading;
        Redraw();
        Image image = Front();
        // The inner part of the disc, where the sphere faces the viewer.
        const POINT centre = PixelOf({0, 0, 40}), rim = PixelOf({20, 0, 40});
        const int radius = std::abs(static_cast<int>(rim.x - centre.x));
        ASSERT_GT(radius, 10);
        int background = 0, red = 0, other = 0, black = 0;
        for (int y = centre.y - radius; y <= centre.y + radius; ++y)
            for (int x = centre.x - radius; x <= centre.x + radius; ++x) {
                if ((x - centre.x) * (x - centre.x) + (y - centre.y) * (y - centre.y) > radius * radius) continue;
                const uint8_t* p = Pixel(image, x, y);
                if (IsBackground(p))
                    ++background;
                else if (p[0] < 16 && p[1] < 16 && p[2] < 16)
                    ++black;
                else if (p[0] > 40 && p[1] < 16 && p[2] < 16)
                    ++red;
                else
                    ++other;
            }
        const std::string which = "type " + std::to_string(c.displayType) + " options " + std::to_string(c.options) +
                                  " smooth " + std::to_string(c.smoothShading);
        EXPECT_EQ(background == 0, c.filled) << which;
        EXPECT_GT(red, 0) << which;
        EXPECT_EQ(other, 0) << which;
        EXPECT_EQ(black > 0, c.black) << which;
        Image_Free(&image);
    }
    settings = saved;
}

TEST_F(ViewWindowWin32, ARepaintPostedWhileTheSurfaceIsBuiltLeavesTheSurfaceShown) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    AppState& app = App();
    std::vector<Vec3> points = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    std::vector<int32_t> paints;
    View_Hooks().painted = [&](int32_t level) { paints.push_back(level); };
    View_Hooks().buildSurface = [&](int32_t kind) {
        // The build's dialog pumps messages, a repaint among them.
        View_PostRepaint(3);
        PumpShellMessages(2, 5);
        app.basic.Points = points.data();
        app.basic.NumPoints = 3;
        app.basic.ChangeTime = 1e12;
        return kind == 1;
    };
    const SurfaceRecord savedBasic = app.basic;
    app.basic = SurfaceRecord();
    app.settings.CombineSweeps = 1;
    app.shownSurface = &app.basic;
    app.mode = kModeSurface;
    App().view.DisplayType = 0;
    Redraw();
    EXPECT_EQ(app.mode, kModeSurface);
    EXPECT_EQ(app.busyState, kBusyIdle);
    ASSERT_GE(paints.size(), 2u);
    EXPECT_EQ(paints.front(), 0);  // the nested paint only showed the frame
    Image image = Front();
    const POINT p = PixelOf(points[1]);
    EXPECT_FALSE(IsBackground(Pixel(image, p.x, p.y)));
    Image_Free(&image);
    Surface_FreeColourCache(app.basic);
    app.basic = savedBasic;
    app.mode = kModeScan;
}

// Invert && Align as the Generate Surface panel runs it on the RBF surface of
// a cast: the program then shows the basic surface, as it always does after
// the inversion; the inverted RBF surface outlives that paint, and F7 shows
// it without building it again.
TEST_F(ViewWindowWin32, TheInvertedCastOutlivesThePaintAndF7ShowsIt) {
    using namespace cast_scans;
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    AppState& app = App();
    Cast cast({0, 0, 0}, kMoved);
    Cast basicMesh({0, 0, 0}, kMoved);
    Markers markers;
    RimMarkers(cast, markers, 6, 6);
    app.raw->Stylus = markers.List();
    const SurfaceRecord savedBasic = app.basic, savedRbf = app.rbf;
    SurfaceRecord* const savedShown = app.shownSurface;
    const GeneralSettings savedSettings = app.settings;
    app.basic = basicMesh.Surface();  // made first, and not inverted
    app.basic.ChangeTime = 10;
    app.rbf = cast.Surface();
    app.rbf.ChangeTime = 20;
    app.settings.InversionParams = InversionSettings{kKerf, kTrim, 2};
    int builds = 0;
    View_Hooks().buildSurface = [&](int32_t) { return ++builds, false; };
    modal_driver::Driver driver({{kCastInvSymmetric, [](HWND d) { return modal_driver::Press(d, IDOK); }}});
    CastInv_Run(window_, app.rbf, app.settings, *app.raw);
    EXPECT_TRUE(driver.Finished());
    PumpShellMessages(2, 5);
    Redraw();
    EXPECT_EQ(app.rbf.Inverted, 1);
    EXPECT_EQ(app.mode, kModeSurface);
    EXPECT_EQ(app.shownSurface, &app.basic);
    EXPECT_GT(app.rbf.NumPoints, 0);
    SendMessageA(window_, WM_COMMAND, 40264, 0);
    Redraw();
    EXPECT_EQ(app.shownSurface, &app.rbf);
    EXPECT_GT(app.rbf.NumPoints, 0);
    EXPECT_EQ(app.rbf.Inverted, 1);
    EXPECT_EQ(builds, 0);
    app.raw->Stylus = StylusItemList();
    for (SurfaceRecord* s : {&app.basic, &app.rbf}) Surface_FreeColourCache(*s);
    app.basic = savedBasic;
    app.rbf = savedRbf;
    app.shownSurface = savedShown;
    app.settings = savedSettings;
    app.mode = kModeScan;
}

// Points deleted after the basic surface was built, then Set Bounding Box to
// View (Ctrl+B): F6 still builds the surface again, and the scan keeps its
// change time for the save.
TEST_F(ViewWindowWin32, SetBoundingBoxToViewKeepsAStaleSurfaceStale) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    AppState& app = App();
    std::vector<Vec3> points = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    std::vector<int32_t> facet = {0, 1, 2};
    std::vector<int32_t> builds;
    View_Hooks().buildSurface = [&](int32_t kind) { return builds.push_back(kind), false; };
    const SurfaceRecord savedBasic = app.basic;
    SurfaceRecord* const savedShown = app.shownSurface;
    app.basic = SurfaceRecord();
    app.basic.Points = points.data();
    app.basic.NumPoints = 3;
    app.basic.Facets = facet.data();
    app.basic.NumFacets = 1;
    app.basic.ChangeTime = 10;
    app.raw->Timestamp = 20;  // the deletion came after the build
    app.settings.CombineSweeps = 1;
    SendMessageA(window_, WM_COMMAND, 40292, 0);
    PumpShellMessages(2, 5);
    EXPECT_EQ(app.raw->Timestamp, 20);
    SendMessageA(window_, WM_COMMAND, 40263, 0);
    Redraw();
    EXPECT_EQ(builds, std::vector<int32_t>{1});
    app.basic = savedBasic;
    app.shownSurface = savedShown;
    app.settings.ViewBBox = 0;
    app.mode = kModeScan;
}

// Flip Stylus Positions moves the items through the origin; the next full
// frame places them again, on the scan in the sweeps view and on the shown
// surface in the surface view, where they are drawn, saved and fitted from.
TEST_F(ViewWindowWin32, FlippedStylusItemsArePlacedAgainAtTheNextFrame) {
    SyntheticScan scan;
    scan.AddSphere({0, 0, 0}, 20, 12, 16);
    Use(scan);
    AppState& app = App();
    SurfaceRecord sphere{};
    std::vector<Vec3> vertices;
    std::vector<int32_t> corners;
    for (const ScanPoint& p : scan.points) vertices.push_back(p.Vertex);
    for (const Facet& f : scan.facets) corners.insert(corners.end(), {f.v[0], f.v[1], f.v[2]});
    sphere.Points = vertices.data();
    sphere.NumPoints = sphere.MaxPoints = static_cast<int32_t>(vertices.size());
    sphere.Facets = corners.data();
    sphere.NumFacets = sphere.MaxFacets = static_cast<int32_t>(scan.facets.size());
    sphere.FacetNormals = scan.facetNormals.data();
    sphere.ChangeTime = 10;
    const SurfaceRecord savedBasic = app.basic;
    SurfaceRecord* const savedShown = app.shownSurface;
    const int32_t savedCombine = app.settings.CombineSweeps;
    app.basic = sphere;
    app.shownSurface = &app.basic;
    app.settings.CombineSweeps = 1;
    app.settings.Stylus.SurfaceDistance = 10;
    // 5 mm off the sphere, placed on it where it was before the flip (the
    // sphere's facets lie up to 1 mm inside it there).
    const Vec3 position{15, 10, 17.3205f}, placed{12, 8, 13.8564f};
    StylusItem item{};
    M4_MakeTranslation(position, item.Pose);
    item.Flags = kStylusOnScan | kStylusOnBasic;
    M4_MakeTranslation(placed, item.ScanPose);
    item.BasicPose = item.ScanPose;
    item.ScanDistance = item.BasicDistance = 5;
    RawData& raw = *app.raw;
    raw.Stylus.Items = &item;
    raw.Stylus.VisibleCount = raw.Stylus.TotalCount = raw.Stylus.Capacity = raw.Stylus.GroupCount = 1;
    for (int32_t mode : {kModeScan, kModeSurface}) {
        SCOPED_TRACE(mode);
        app.mode = mode;
        SendMessageA(window_, WM_COMMAND, 40348, 0);
        PumpShellMessages(2, 5);
        Redraw();
        const float side = item.Pose[14] > 0 ? 1.0f : -1.0f;
        EXPECT_FLOAT_EQ(item.Pose[14], position.z * side);
        EXPECT_EQ(raw.Stylus.ReplaceNeeded, 0);
        for (const Matrix4* pose : {&item.ScanPose, &item.BasicPose}) {
            const Vec3 at{(*pose)[12], (*pose)[13], (*pose)[14]};
            const Vec3 want{placed.x * side, placed.y * side, placed.z * side};
            EXPECT_LT(V3_Distance(at, want), 1.0f) << at.x << " " << at.y << " " << at.z;
        }
        EXPECT_NEAR(item.ScanDistance, 5, 1.0f);
        EXPECT_NEAR(item.BasicDistance, 5, 1.0f);
    }
    raw.Stylus = StylusItemList();
    Surface_FreeColourCache(app.basic);
    app.basic = savedBasic;
    app.shownSurface = savedShown;
    app.settings.CombineSweeps = savedCombine;
    app.mode = kModeScan;
}

// Stylus points, one group each, at client pixels of the view.
struct PickScene {
    std::vector<StylusItem> items;
    void Add(int32_t group, int px, int py, int w, int h) {
        const float f = 0.3125f;
        StylusItem item = {};
        M4_MakeTranslation({(px - w / 2) * f, (h / 2 - py) * f, 0}, item.Pose);
        item.Group = group;
        items.push_back(item);
    }
    void Attach(RawData& raw) {
        raw.Stylus.Items = items.data();
        raw.Stylus.VisibleCount = raw.Stylus.TotalCount = static_cast<int32_t>(items.size());
        raw.Stylus.GroupCount = static_cast<int32_t>(items.size());
    }
};

TEST_F(ViewWindowWin32, PickingTellsGroupsThatShareAStencilValueApartAndReachesTheEdgeRows) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 1), true);
    Use(scan);
    App().settings.Stylus.PointMarker = 0;
    App().advanced.PixelSize = 0.3125f;
    Redraw();
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    ASSERT_GT(w, 300);
    ASSERT_GT(h, 150);
    for (int32_t groups : {250, 300}) {
        PickScene scene;
        // A grid 12 pixels apart; group g at column g % 25, row g / 25.
        for (int32_t g = 0; g < groups; ++g) scene.Add(g, 20 + 12 * (g % 25), 20 + 12 * (g / 25), w, h);
        scene.Attach(*App().raw);
        Redraw();
        EXPECT_EQ(Graph_Pick(Shell().view, 20 + 12 * 4, 20), 4) << groups;
        if (groups == 300) {
            EXPECT_EQ(Stylus_StencilOf(4), Stylus_StencilOf(259));
            EXPECT_EQ(Graph_Pick(Shell().view, 20 + 12 * (259 % 25), 20 + 12 * (259 / 25)), 259);
        }
        EXPECT_EQ(Graph_Pick(Shell().view, 14, 14), -1);  // between items
        App().raw->Stylus = StylusItemList();
    }
    PickScene edges;
    edges.Add(7, 60, 0, w, h);
    edges.Add(8, 90, h - 1, w, h);
    edges.Attach(*App().raw);
    Redraw();
    EXPECT_EQ(Graph_Pick(Shell().view, 60, 0), 7);
    EXPECT_EQ(Graph_Pick(Shell().view, 90, h - 1), 8);
    EXPECT_EQ(Graph_Pick(Shell().view, 90, h), -1);
    EXPECT_EQ(Graph_Pick(Shell().view, 60, -1), -1);
    App().raw->Stylus = StylusItemList();
}

std::string TooltipText() {
    HWND tooltip = StylusView_Tooltip();
    if (!tooltip) return "(none)";
    char text[256] = {};
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.hwnd = Shell().main;
    tool.uId = reinterpret_cast<UINT_PTR>(Shell().view);
    tool.lpszText = text;
    SendMessageA(tooltip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TEST_F(ViewWindowWin32, TheTooltipNamesTheStylusItemUnderTheCursor) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 1), true);
    Use(scan);
    App().settings.Stylus.PointMarker = 0;
    App().settings.MarkWithMouse = 0;
    App().advanced.PixelSize = 0.3125f;
    Redraw();
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    PickScene scene;
    for (int32_t g = 0; g < 10; ++g) scene.Add(g, 40 + 20 * g, 60, w, h);
    scene.Attach(*App().raw);
    Redraw();
    auto moveTo = [](int x, int y) { SendMessageA(Shell().view, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); };
    moveTo(40 + 20 * 5, 60);
    EXPECT_EQ(TooltipText(), "Stylus mark 6");
    moveTo(40 + 20 * 8, 60);
    EXPECT_EQ(TooltipText(), "Stylus mark 9");
    moveTo(30, 150);  // background: the tip is switched off and keeps its text
    EXPECT_EQ(TooltipText(), "Stylus mark 9");
    moveTo(40 + 20 * 2, 60);
    EXPECT_EQ(TooltipText(), "Stylus mark 3");
    EXPECT_TRUE(g_messages.empty());
    App().raw->Stylus = StylusItemList();
}

TEST_F(ViewWindowWin32, ARubberBandInSelectModeSelectsThePointsInsideIt) {
    SyntheticScan scan;
    scan.AddSweep(Row(-20, 9), false);
    scan.AddSweep(Row(20, 9), false);
    Use(scan);
    AppState& app = App();
    app.settings.MarkWithMouse = 0;
    app.selectMode = true;
    Redraw();
    // A band round the middle three points of the upper row (y = 20).
    const POINT from = PixelOf({-15, 25, 0}), to = PixelOf({15, 15, 0});
    HWND view = Shell().view;
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((from.x + to.x) / 2, (from.y + to.y) / 2));
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    app.selectMode = false;
    std::vector<int> selected;
    for (int i = 0; i < app.raw->NumPoints; ++i)
        if (ScanPoint_IsSelected(*app.raw, app.raw->Points[i])) selected.push_back(i);
    EXPECT_EQ(selected, std::vector<int>({12, 13, 14}));  // x = -10, 0, 10 of the second row
    EXPECT_EQ(app.raw->SelectionLimit, 1u);
    NavigationState* nav = Graph_GetNavigation(view);
    ASSERT_NE(nav, nullptr);
    EXPECT_FALSE(nav->rectanglePresent);
    // Without select mode or Ctrl the same drag turns the view.
    const Matrix4 before = app.view.ViewMatrix;
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageA(view, WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    EXPECT_NE(std::memcmp(&before, &app.view.ViewMatrix, sizeof before), 0);
    EXPECT_EQ(app.raw->SelectionLimit, 1u);
    app.raw->SelectionLimit = app.raw->SelectionLevelTop = 0;
}

TEST_F(ViewWindowWin32, OneCursorRuleOverTheView) {
    AppState& app = App();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HCURSOR marker = LoadCursorA(instance, "CURSOR_MARKER");
    ASSERT_NE(marker, nullptr);
    ASSERT_NE(LoadCursorA(instance, "CURSOR_MOVE_HANDLE"), nullptr);
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), cross = LoadCursorA(nullptr, IDC_CROSS),
                  wait = LoadCursorA(nullptr, IDC_WAIT);
    struct Case {
        bool over, waiting, markWithMouse, selectMode, ctrlHeld;
        HCURSOR expected;
        const char* name;
    };
    const Case cases[] = {
        {false, true, true, true, true, arrow, "outside the view"},
        {true, true, true, true, true, wait, "waiting"},
        {true, false, true, true, true, marker, "marker mode"},
        {true, false, false, true, false, cross, "rectangle select"},
        {true, false, false, false, true, cross, "Ctrl held"},
        {true, false, false, false, false, arrow, "plain"},
    };
    const bool over = app.pointerOverView, waiting = app.waiting, select = app.selectMode, ctrl = app.ctrlHeld;
    const int32_t markWithMouse = app.settings.MarkWithMouse;
    for (const Case& c : cases) {
        app.pointerOverView = c.over;
        app.waiting = c.waiting;
        app.settings.MarkWithMouse = c.markWithMouse;
        app.selectMode = c.selectMode;
        app.ctrlHeld = c.ctrlHeld;
        SetCursor(nullptr);
        App_SetMarkerCursor();
        EXPECT_EQ(GetCursor(), c.expected) << c.name;
    }
    app.pointerOverView = over;
    app.waiting = waiting;
    app.settings.MarkWithMouse = markWithMouse;
    app.selectMode = select;
    app.ctrlHeld = ctrl;
}

// A profile whose field saw two laser-line samples, camera 0's on the first
// row from column 200 to 260 and camera 1's on the second from 100 to 150,
// and a third that starts at column 0 and so is no sample.
void GiveSegments(Profile& profile, float first, float second) {
    ASSERT_TRUE(ProfileLineLog_Ensure(profile));
    const ProfileLineLog log = ProfileLineLog_Get(profile);
    *log.count = 3;
    const float rows[3] = {first, second, 200.0f};
    const int32_t channels[3] = {0, 1, 0}, starts[3] = {200, 100, 0}, ends[3] = {260, 150, 50};
    for (int i = 0; i < 3; ++i) {
        log.linePosition[i] = rows[i];
        log.channel[i] = channels[i];
        log.start[i] = starts[i];
        log.end[i] = ends[i];
    }
}

TEST_F(ViewWindowWin32, CameraAndSampleViewsDrawTheFieldsLaserSegments) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 1), true);
    Use(scan);
    RawData& raw = *App().raw;
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    ASSERT_LT(h, 480);
    // A camera row (one of 480 over the client height) that covers the
    // centre of client row k, so that its one-row sample is drawn there.
    auto rowOver = [&](int k) { return std::floor((k + 0.5f) * 480 / h); };
    const int a = h / 5, b = 3 * h / 5;
    GiveSegments(raw.Staging, rowOver(a), rowOver(b));
    std::vector<Profile> kept(2, Profile());
    GiveSegments(kept[0], rowOver(a + 2), rowOver(b + 2));
    GiveSegments(kept[1], rowOver(a + 4), rowOver(b + 4));
    raw.Profiles = kept.data();
    raw.NumProfiles = raw.MaxProfiles = 2;
    // Client pixels by camera column and client row.
    auto at = [&](const Image& image, float column, int row) {
        return Pixel(image, static_cast<int>((column + 0.5f) * w / 640), row);
    };
    auto is = [](const uint8_t* p, int r, int g, int b) { return p[0] == r && p[1] == g && p[2] == b; };

    App().mode = kModePreview;
    Redraw();
    Image camera = Front();
    const int other = static_cast<int>((200.5f) * h / 480);  // the row of the samples at column 0
    EXPECT_TRUE(is(at(camera, 230, a), 255, 0, 0));
    EXPECT_TRUE(is(at(camera, 125, b), 0, 255, 0));
    EXPECT_TRUE(is(at(camera, 25, other), 0, 0, 0));
    EXPECT_TRUE(is(at(camera, 230, a + 2), 0, 0, 0));  // a kept profile's row: not in this view

    App().mode = kModeCalibration;
    raw.Draw.Flags = kDrawLive;
    Redraw();
    Image samples = Front();
    EXPECT_TRUE(is(at(samples, 230, a + 2), 255, 0, 0));
    EXPECT_TRUE(is(at(samples, 125, b + 4), 0, 255, 0));
    EXPECT_TRUE(is(at(samples, 230, a), 255, 0, 0));  // the live field over the kept picture
    EXPECT_TRUE(is(at(samples, 25, other), 0, 0, 0));
    // The gauge: a white scale line at 50 pixels from the right edge on a black bar.
    EXPECT_TRUE(is(Pixel(samples, w - 50, h / 2), 255, 255, 255));
    EXPECT_TRUE(is(Pixel(samples, w - 60, h / 2), 0, 0, 0));
    EXPECT_EQ(raw.Draw.DrawnProfiles, 2);
    EXPECT_TRUE(g_messages.empty());

    App().mode = kModeScan;
    for (Profile& p : kept) RawData_ClearProfile(p);
    RawData_ClearProfile(raw.Staging);
    raw.Profiles = nullptr;
    raw.NumProfiles = 0;
    Image_Free(&camera);
    Image_Free(&samples);
}

}  // namespace

// The sweep list's check box hides its sweep in the view, and the stylus
// list's listener (with those added before it) lives on in a view made
// again for a change of the graphics settings.
TEST_F(ViewWindowWin32, TheListHidesSweepsInTheViewAndARecreatedViewKeepsItsListeners) {
    SyntheticScan scan;
    scan.AddSweep(Row(-30, 9), false);
    scan.AddSweep(Row(30, 9), false);
    Use(scan);
    HWND panel = ShowSweepList(kListSweeps);
    ASSERT_NE(panel, nullptr);
    ListView_SetCheckState(GetDlgItem(panel, kListView), 1, FALSE);
    EXPECT_TRUE(scan.sweeps[1].Flags & kSweepHidden);
    Redraw();
    Image image = Front();
    ASSERT_GT(image.width, 100);
    int drawn[2] = {0, 0};
    for (int32_t s = 0; s < 2; ++s)
        for (int32_t i = scan.firstPoint[s]; i < scan.firstPoint[s + 1]; ++i) {
            const POINT p = PixelOf(scan.points[i].Vertex);
            drawn[s] += IsBackground(Pixel(image, p.x, p.y)) ? 0 : 1;
        }
    EXPECT_EQ(drawn[0], 9);
    EXPECT_EQ(drawn[1], 0);
    Image_Free(&image);
    DestroyWindow(panel);

    AddStylusListListener();
    HWND stylus = ShowSweepList(kListStylus);
    ASSERT_NE(stylus, nullptr);
    const std::vector<ViewListener> before = Graph_GetNavigation(Shell().view)->listeners;
    ASSERT_GE(before.size(), 2u);
    EXPECT_EQ(before.back().words[0], reinterpret_cast<intptr_t>(stylus));
    HWND oldView = Shell().view;
    for (int toggle = 0; toggle < 2; ++toggle) {
        MainWnd_OnCommand(40201);
        PumpShellMessages(1, 0);
        ASSERT_NE(Shell().view, nullptr);
        const std::vector<ViewListener> after = Graph_GetNavigation(Shell().view)->listeners;
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].callback, before[i].callback) << i;
            EXPECT_EQ(after[i].words[0], before[i].words[0]) << i;
        }
    }
    EXPECT_NE(Shell().view, oldView);
    DestroyWindow(stylus);
    RemoveStylusListListener();
    EXPECT_EQ(Graph_GetNavigation(Shell().view)->listeners.size(), before.size() - 2);
    App().raw = savedRaw_;
}
