// The live view under Wine, checked by its own front-buffer read-back: what
// a synthetic scan draws, the repaint levels, picking points by read-back and
// the mouse navigation on drawn geometry.
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/profile_line_log.h"
#include "app/export/tests/cast_scans.h"
#include "app/base/app_messages.h"
#include "app/base/time_stamp.h"
#include "app/locale/locale_loader.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/brand_info.h"
#include "app/ui/commands_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/input_handlers.h"
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
#include "app/ui/scene_draw_win32.h"
#include "app/ui/snapshot_win32.h"
#include "app/ui/view_timings.h"
#include "app/ui/tool_dialogs_win32.h"
#include "app/files/png_image.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
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

    void AddSweep(const std::vector<Vec3>& vertices, bool hidden, uint32_t colour = 0xFFFFFF) {
        if (firstPoint.empty()) firstPoint.push_back(0), firstFacet.push_back(0), firstProfile.push_back(0);
        for (const Vec3& v : vertices) {
            ScanPoint p = {};
            p.Vertex = v;
            p.Normal = {0, 0, 1};
            for (int k = 0; k < 3; ++k) p.Colour[k] = static_cast<uint8_t>(colour >> (8 * k));
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

// A key pressed on the program window as the user presses it, through the
// message loop's accelerators.
void PressKey(UINT key, bool control) {
    BYTE keys[256] = {};
    if (control) keys[VK_CONTROL] = keys[VK_LCONTROL] = 0x80;
    keys[key] = 0x80;
    SetKeyboardState(keys);
    PostMessageA(Shell().main, WM_KEYDOWN, key, 1);
    PumpShellMessages(3, 5);
    BYTE none[256] = {};
    SetKeyboardState(none);
}

// One program window for the whole suite: its start-up waits a second.
class ViewWindowWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();  // the built-in locale of the test's resources
        App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
        window_ = OpenPlainViewWindow(kBackground, 400, 360);
        // What the start-up said, for a window that did not come.
        for (const AppMessage& m : g_messages) startup_ += " \"" + m.textKey + "\"";
        savedRaw_ = App().raw;
        Accel_Load(GetModuleHandleA(nullptr));  // as the program's start-up loads them
        Shell().accelerators = Accel_Get();
    }
    static void TearDownTestSuite() {
        App().raw = savedRaw_;
        CloseShellWindow(window_);
        Accel_Destroy();
        Shell().accelerators = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(window_, nullptr) << "start-up messages:" << startup_;
        ASSERT_NE(Shell().view, nullptr) << "start-up messages:" << startup_;
        g_messages.clear();
        AppState& app = App();
        M4_Identity(app.view.ViewMatrix);
        M4_Identity(app.view.CoordinateSystem);
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
    // F11 through the real command, its Save dialog answered with a temporary
    // file: the picture saved, or an empty one when none was written.
    Image SnapshotThroughF11() {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        const std::string path = std::string(folder) + "tolvaran-view-snapshot.png";
        DeleteFileA(path.c_str());
        Snapshot_SetDialog([&](HWND, std::string& chosen, SnapshotOptions&, DWORD&) {
            chosen = path;
            return true;
        });
        PressKey(VK_F11, false);
        Snapshot_SetDialog(nullptr);
        Image saved;
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
            EXPECT_EQ(Png_Load(file, saved), 1);
            std::fclose(file);
            EXPECT_EQ(Snapshot_Options().lastName, path);
        } else {
            ADD_FAILURE() << "no snapshot written";
        }
        DeleteFileA(path.c_str());
        return saved;
    }
    // The client pixel a world point is drawn on.
    static POINT PixelOf(const Vec3& point) {
        Vec3 w;
        EXPECT_EQ(Graph_ProjectToScreen(point, Shell().view, w), 0);
        return {static_cast<LONG>(std::floor(w.x)),
                static_cast<LONG>(Graph_ViewportHeight(Shell().view) - 1 - std::floor(w.y))};
    }
    // The scene the picking tests place their stylus items on: one sweep of
    // one point, items drawn without markers at a small pixel size, drawn.
    void UsePickingScan() {
        pickingScan_.AddSweep(Row(0, 1), true);
        Use(pickingScan_);
        App().settings.Stylus.PointMarker = 0;
        App().advanced.PixelSize = 0.3125f;
        Redraw();
    }
    static HWND window_;
    static std::string startup_;
    static RawData* savedRaw_;
    SyntheticScan pickingScan_;
};

HWND ViewWindowWin32::window_ = nullptr;
std::string ViewWindowWin32::startup_;
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

// Three rods along the box's axes, red x, green y, blue z, from near the
// origin outwards; where each is drawn tells from which side the view looks.
struct AxisRods {
    SyntheticScan scan;
    AxisRods() {
        const uint32_t colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};
        for (int axis = 0; axis < 3; ++axis) {
            std::vector<Vec3> rod;
            for (int i = 10; i <= 70; ++i)
                rod.push_back({axis == 0 ? i : 0.0f, axis == 1 ? i : 0.0f, axis == 2 ? i : 0.0f});
            scan.AddSweep(rod, false, colours[axis]);
        }
    }
};

struct ScreenDirection {
    double x, y;  // to the right and down the screen; (0, 0): seen end-on
};

// Where a rod of one colour runs from the origin's pixel, on the screen.
ScreenDirection RodDirection(const Image& image, int axis, POINT origin) {
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixels + (static_cast<size_t>(y) * image.width + x) * 4;
            if (p[axis] < 200 || p[(axis + 1) % 3] > 60 || p[(axis + 2) % 3] > 60) continue;
            sx += x;
            sy += y;
            ++n;
        }
    }
    if (n == 0) return {99, 99};
    const double dx = sx / n - origin.x, dy = sy / n - origin.y, length = std::hypot(dx, dy);
    if (length < 4) return {0, 0};
    return {dx / length, dy / length};
}

// F1 to F3 and the menu's other sides show the box from that side, whatever
// the view was; the edition's anterior, inferior and left lateral views are
// its front, bottom and left.
TEST_F(ViewWindowWin32, EachSideCommandShowsTheBoxFromThatSide) {
    AxisRods rods;
    Use(rods.scan);
    struct Case {
        WORD id;
        UINT key;  // the accelerator's key, or 0 for the menu command
        ScreenDirection x, y, z;
    } const cases[] = {
        {40307, VK_F1, {1, 0}, {0, -1}, {0, 0}}, {40313, 0, {-1, 0}, {0, -1}, {0, 0}},
        {40315, VK_F2, {1, 0}, {0, 0}, {0, -1}}, {40314, 0, {1, 0}, {0, 0}, {0, 1}},
        {40308, VK_F3, {0, 0}, {0, -1}, {1, 0}}, {40309, 0, {0, 0}, {0, -1}, {-1, 0}},
        {40219, 0, {1, 0}, {0, -1}, {0, 0}},     {40224, 0, {1, 0}, {0, 0}, {0, -1}},
        {40221, 0, {0, 0}, {0, -1}, {1, 0}},
    };
    AppState& app = App();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Matrix4 a, b;
        M4_MakeRotationX(25, a);
        M4_MakeRotationY(40, b);
        M4_Multiply(a, b, app.view.ViewMatrix);
        Redraw();
        if (c.key) {
            PressKey(c.key, false);
        } else {
            PostMessageA(window_, WM_COMMAND, c.id, 0);
            PumpShellMessages(3, 5);
        }
        Redraw();
        Image image = Front();
        const POINT origin = PixelOf({0, 0, 0});
        const ScreenDirection expected[3] = {c.x, c.y, c.z};
        for (int axis = 0; axis < 3; ++axis) {
            const ScreenDirection seen = RodDirection(image, axis, origin);
            EXPECT_NEAR(seen.x, expected[axis].x, 0.05) << "axis " << axis;
            EXPECT_NEAR(seen.y, expected[axis].y, 0.05) << "axis " << axis;
        }
        Image_Free(&image);
    }
    EXPECT_TRUE(g_messages.empty());
}

// Ctrl+F2 makes the present view the inferior one: after Home the inferior
// view shows the rods as they were, and the box is drawn in the new frame.
TEST_F(ViewWindowWin32, SetInferiorViewKeepsTheViewForTheInferiorCommand) {
    AxisRods rods;
    Use(rods.scan);
    AppState& app = App();
    app.factoryMenuShown = true;  // the edition's keys
    Matrix4 a, b;
    M4_MakeRotationX(-35, a);
    M4_MakeRotationZ(50, b);
    M4_Multiply(a, b, app.view.ViewMatrix);
    Redraw();
    Image set = Front();
    ScreenDirection before[3];
    for (int axis = 0; axis < 3; ++axis) before[axis] = RodDirection(set, axis, PixelOf({0, 0, 0}));
    PressKey(VK_F2, true);
    PostMessageA(window_, WM_COMMAND, 40010, 0);
    PumpShellMessages(3, 5);
    PostMessageA(window_, WM_COMMAND, 40224, 0);
    PumpShellMessages(3, 5);
    app.factoryMenuShown = false;
    Redraw();
    Image again = Front();
    for (int axis = 0; axis < 3; ++axis) {
        const ScreenDirection seen = RodDirection(again, axis, PixelOf({0, 0, 0}));
        EXPECT_NEAR(seen.x, before[axis].x, 0.05) << "axis " << axis;
        EXPECT_NEAR(seen.y, before[axis].y, 0.05) << "axis " << axis;
    }
    Image_Free(&set);
    Image_Free(&again);
    EXPECT_TRUE(g_messages.empty());
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

    Image saved = SnapshotThroughF11();
    EXPECT_EQ(saved.format, kImageRgba);
    EXPECT_EQ(saved.width, shown.width);
    EXPECT_GT(saved.height, shown.height);  // the information text under the view
    EXPECT_EQ(Pixel(saved, point.x, point.y)[3], 255);
    // No box; the background in the view's colour, not left transparent for
    // a viewer to show in its own (white, under a white wireframe).
    EXPECT_TRUE(IsBackground(Pixel(saved, edge.x, edge.y)));
    EXPECT_EQ(Pixel(saved, edge.x, edge.y)[3], 255);
    EXPECT_TRUE(g_messages.empty());
    Image_Free(&shown);
    Image_Free(&incremental);
    Image_Free(&saved);
}

int Brightness(const uint8_t* p) { return p[0] + p[1] + p[2]; }

// View > Solid With Edges draws the facets' black edges over the solid that
// View > Solid draws; View > Normals adds the normals and no edges.
TEST_F(ViewWindowWin32, SolidWithEdgesDrawsTheEdgesAndNormalsDoNot) {
    SyntheticScan scan;
    scan.AddSphere({0, 0, 0}, 40, 12, 16);
    Use(scan);
    const auto blackPixels = [](const Image& image) {
        int n = 0;
        for (int i = 0; i < image.width * image.height; ++i) {
            const uint8_t* p = image.pixels + static_cast<size_t>(i) * 4;
            n += p[0] < 8 && p[1] < 8 && p[2] < 8;
        }
        return n;
    };
    const auto shown = [&](std::initializer_list<WORD> commands) {
        App().view.Options = 0;
        for (WORD id : commands) {
            SendMessageA(window_, WM_COMMAND, id, 0);
            PumpShellMessages(3, 5);
        }
        Redraw();
        Image image = Front();
        const int n = blackPixels(image);
        Image_Free(&image);
        return n;
    };
    const int solid = shown({40014});
    EXPECT_GT(shown({40015}), solid + 200);
    const int normals = shown({40014, 40078});
    EXPECT_EQ(normals, solid);
    EXPECT_TRUE(g_messages.empty());
}

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

// Points deleted while the basic surface is on show, as a user deletes them:
// a Ctrl+drag over the view selects, Delete erases. The surface built before
// the deletion is not shown as the scan's: the view turns to the sweeps
// without the erased points, the title marks the scan changed, and F6 builds
// the surface again instead of showing the old one.
TEST_F(ViewWindowWin32, PointsDeletedUnderAShownSurfaceLeaveItForTheSweepsAndF6BuildsAgain) {
    SyntheticScan scan;
    scan.AddSweep(Row(-20, 9), false);
    scan.AddSweep(Row(20, 9), false);
    Use(scan);
    AppState& app = App();
    std::vector<Vec3> points = {{-10, -10, 0}, {10, -10, 0}, {0, 0, 0}};
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
    Time_Now(app.basic.ChangeTime);  // built from the scan as it stands
    app.settings.CombineSweeps = 1;
    app.shownSurface = &app.basic;
    app.mode = kModeSurface;
    Redraw();
    EXPECT_TRUE(builds.empty());
    Image image = Front();
    const POINT corner = PixelOf(points[1]);
    EXPECT_FALSE(IsBackground(Pixel(image, corner.x, corner.y)));
    Image_Free(&image);

    // The middle three points of the upper row, then Delete.
    const POINT from = PixelOf({-15, 25, 0}), to = PixelOf({15, 15, 0});
    HWND view = Shell().view;
    SendMessageA(view, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(from.x, from.y));
    SendMessageA(view, WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, MAKELPARAM(to.x, to.y));
    SendMessageA(view, WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(to.x, to.y));
    SendMessageA(window_, WM_COMMAND, 40275, 0);
    PumpShellMessages(2, 5);
    Redraw();
    int erased = 0;
    for (int i = 0; i < app.raw->NumPoints; ++i) erased += ScanPoint_IsErased(*app.raw, app.raw->Points[i]);
    EXPECT_EQ(erased, 3);
    EXPECT_EQ(app.mode, kModeScan);
    char title[256] = "";
    GetWindowTextA(window_, title, sizeof title);
    EXPECT_NE(std::strchr(title, '*'), nullptr) << title;
    image = Front();
    const POINT gone = PixelOf(scan.points[13].Vertex), kept = PixelOf(scan.points[11].Vertex);
    EXPECT_TRUE(IsBackground(Pixel(image, corner.x, corner.y)));
    EXPECT_TRUE(IsBackground(Pixel(image, gone.x, gone.y)));
    EXPECT_FALSE(IsBackground(Pixel(image, kept.x, kept.y)));
    Image_Free(&image);

    SendMessageA(window_, WM_COMMAND, 40263, 0);  // F6
    Redraw();
    EXPECT_EQ(builds, std::vector<int32_t>{1});
    EXPECT_EQ(app.basic.NumPoints, 0);
    EXPECT_TRUE(g_messages.empty());
    Surface_FreeColourCache(app.basic);
    app.basic = savedBasic;
    app.shownSurface = savedShown;
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
    UsePickingScan();
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

// Stylus Undo takes the last group back: a pick where it stood finds nothing,
// also when it was the only one.
TEST_F(ViewWindowWin32, AnItemTakenBackByUndoIsPickedNoMore) {
    UsePickingScan();
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    PickScene scene;
    scene.Add(0, 80, 60, w, h);
    scene.Add(1, 160, 60, w, h);
    scene.Attach(*App().raw);
    Redraw();
    ASSERT_EQ(Graph_Pick(Shell().view, 160, 60), 1);
    ASSERT_EQ(Graph_Pick(Shell().view, 80, 60), 0);
    for (int left : {1, 0}) {
        SendMessageA(window_, WM_COMMAND, 40200, 0);
        PumpShellMessages(3, 5);
        EXPECT_EQ(App().raw->Stylus.VisibleCount, left);
        EXPECT_EQ(Graph_Pick(Shell().view, 160, 60), -1);
        EXPECT_EQ(Graph_Pick(Shell().view, 80, 60), left ? 0 : -1);
    }
    EXPECT_TRUE(g_messages.empty());
    App().raw->Stylus = StylusItemList();
}

// Goto Next Point puts the point cursor on the next point of the profiles,
// and the view shows it there: a square in the background's complement,
// gone from the point it left.
TEST_F(ViewWindowWin32, GotoNextPointShowsThePointCursorWhereItMovedTo) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 6), false);
    Use(scan);
    std::vector<Vec3> measured = Row(0, 6);
    Profile profile = {};
    profile.NumPoints = static_cast<int32_t>(measured.size());
    profile.Points = measured.data();
    RawData& raw = *App().raw;
    raw.Profiles = &profile;
    raw.NumProfiles = 1;  // processed already: no profile is waiting
    App_PointCursor() = PointCursor();
    Redraw();
    const auto cursorAt = [](const Image& image, POINT p) {
        int hits = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const uint8_t* c = Pixel(image, p.x + dx, p.y + dy);
                hits += c[0] == 0xEF && c[1] == 0xDF && c[2] == 0xBF;
            }
        return hits == 25;
    };
    Image none = Front();
    for (const Vec3& v : measured) EXPECT_FALSE(cursorAt(none, PixelOf(v)));
    Image_Free(&none);
    for (int point : {1, 2}) {
        SendMessageA(window_, WM_COMMAND, 40295, 0);
        PumpShellMessages(3, 5);
        Redraw();
        Image image = Front();
        for (int i = 0; i < static_cast<int>(measured.size()); ++i)
            EXPECT_EQ(cursorAt(image, PixelOf(measured[i])), i == point) << point << " " << i;
        Image_Free(&image);
    }
    App_PointCursor() = PointCursor();
    EXPECT_TRUE(g_messages.empty());
}

// View > Tracker Positions: the wand's glyphs in blue where the wand stood
// for each profile, the transmitter's in green and the reference receiver's
// axes in red at the origin, each only while its item is ticked.
TEST_F(ViewWindowWin32, TrackerPositionsDrawTheirGlyphsWhereTheTrackerStood) {
    SyntheticScan scan;
    scan.AddSweep(Row(-30, 6), false);
    scan.firstProfile = {0, 3};
    Use(scan);
    App().advanced.PixelSize = 0.3125f;
    std::vector<Vec3> profilePoints = Row(-30, 6);
    Profile profiles[3] = {};
    const Vec3 wandAt[3] = {{-25, 25, 0}, {0, 25, 0}, {25, 25, 0}};
    for (int k = 0; k < 3; ++k) {
        profiles[k].NumPoints = 2;
        profiles[k].Points = profilePoints.data() + 2 * k;
        M4_Identity(profiles[k].ReferenceRxMatrix);
        M4_MakeTranslation(wandAt[k], profiles[k].WandRxMatrix);
    }
    RawData& raw = *App().raw;
    raw.Profiles = profiles;
    raw.NumProfiles = 3;  // processed already: no profile is waiting
    GeneralSettings& g = App().settings;
    g.ViewWandPosition = g.ViewTransmitterPosition = g.ViewReferencePosition = 0;
    // Pixels within 16 of a place (the cube is 25 wide) whose one channel stands out.
    const auto glyphNear = [](const Image& image, POINT at, int channel) {
        int hits = 0;
        for (int y = at.y - 16; y <= at.y + 16; ++y)
            for (int x = at.x - 16; x <= at.x + 16; ++x) {
                if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
                const uint8_t* p = Pixel(image, x, y);
                hits += p[channel] - std::max(p[(channel + 1) % 3], p[(channel + 2) % 3]) > 60;
            }
        return hits;
    };
    const struct {
        WORD id;
        int channel;
        std::vector<Vec3> places;
    } cases[] = {
        {40334, 2, {wandAt[0], wandAt[1], wandAt[2]}},
        {40332, 1, {{0, 0, 0}}},
        {40333, 0, {{0, 0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        Redraw();
        Image before = Front();
        for (const Vec3& place : c.places) EXPECT_EQ(glyphNear(before, PixelOf(place), c.channel), 0);
        SendMessageA(window_, WM_COMMAND, c.id, 0);
        PumpShellMessages(3, 5);
        Redraw();
        Image after = Front();
        for (const Vec3& place : c.places)
            EXPECT_GT(glyphNear(after, PixelOf(place), c.channel), 0) << place.x << " " << place.y;
        SendMessageA(window_, WM_COMMAND, c.id, 0);  // off again
        PumpShellMessages(3, 5);
        Image_Free(&before);
        Image_Free(&after);
    }
    EXPECT_TRUE(g_messages.empty());
}

// While the mouse marks stylus points the box is not drawn, so that a mark
// is never placed on the box's depth in mid-air; leaving the mode brings it
// back.
TEST_F(ViewWindowWin32, MarkWithMouseHidesTheBox) {
    SyntheticScan scan;
    scan.AddSweep(Row(-30, 9), false);
    scan.AddSweep(Row(30, 9), false);
    Use(scan);
    App().settings.ViewBBox = 1;
    App().settings.MarkWithMouse = 0;
    Redraw();
    const POINT edge = PixelOf({-40, 0, 0});  // on the box's edge, between the rows
    for (int marking : {1, 0}) {
        SendMessageA(window_, WM_COMMAND, 40368, 0);
        PumpShellMessages(3, 5);
        ASSERT_EQ(App().settings.MarkWithMouse, marking);
        Redraw();
        Image image = Front();
        EXPECT_EQ(IsBackground(Pixel(image, edge.x, edge.y)), marking == 1) << marking;
        Image_Free(&image);
    }
    EXPECT_TRUE(g_messages.empty());
}

// Show Laser Positions joins the laser to each profile of the shown sweeps
// only: a hidden sweep keeps its lines hidden too.
TEST_F(ViewWindowWin32, LaserPositionsLeaveOutHiddenSweeps) {
    SyntheticScan scan;
    const std::vector<Vec3> shownRow = {{-20, 20, 0}, {-10, 20, 0}}, hiddenRow = {{20, 20, 0}, {30, 20, 0}};
    scan.AddSweep(shownRow, false);
    scan.AddSweep(hiddenRow, true);
    scan.firstProfile = {0, 1, 2};
    Use(scan);
    std::vector<Vec3> a = shownRow, b = hiddenRow;
    Profile profiles[2] = {};
    profiles[0].NumPoints = profiles[1].NumPoints = 2;
    profiles[0].Points = a.data();
    profiles[1].Points = b.data();
    // The laser stands at (-60, 0, 0) of the wand's frame.
    M4_MakeTranslation({0, -20, 0}, profiles[0].WandRxMatrix);
    M4_MakeTranslation({80, -20, 0}, profiles[1].WandRxMatrix);
    M4_Identity(profiles[0].ReferenceRxMatrix);
    M4_Identity(profiles[1].ReferenceRxMatrix);
    RawData& raw = *App().raw;
    raw.Profiles = profiles;
    raw.NumProfiles = 2;  // processed already: no profile is waiting
    SendMessageA(window_, WM_COMMAND, 40272, 0);
    PumpShellMessages(3, 5);
    ASSERT_EQ(App().view.Options, 0x100u);
    Redraw();
    Image image = Front();
    const auto redNear = [&](const Vec3& at) {
        const POINT p = PixelOf(at);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const uint8_t* c = Pixel(image, p.x + dx, p.y + dy);
                if (c[0] > 200 && c[1] < 60 && c[2] < 60) return true;
            }
        return false;
    };
    EXPECT_TRUE(redNear({-40, 0, 0}));  // halfway from the laser to the shown profile's first point
    EXPECT_FALSE(redNear({20, 0, 0}));  // the same for the hidden one
    Image_Free(&image);
    App().view.Options = 0;
    EXPECT_TRUE(g_messages.empty());
}

// The Mark with Mouse window is one of the program's dialogs, stands at the
// view's top-left corner, and goes when the mode is left by Escape or by a
// mode switch.
TEST_F(ViewWindowWin32, TheMarkWithMouseWindowStandsOnTheViewAndGoesWithTheMode) {
    HWND marker = Shell().markerDialog;
    ASSERT_NE(marker, nullptr);
    char name[64] = "";
    GetClassNameA(marker, name, sizeof name);
    EXPECT_STREQ(name, "KorvDialog");
    POINT corner = {0, 0};
    ClientToScreen(Shell().view, &corner);
    RECT at;
    GetWindowRect(marker, &at);
    EXPECT_EQ(at.left, corner.x);
    EXPECT_EQ(at.top, corner.y);
    App().settings.MarkWithMouse = 0;
    const struct {
        const char* how;
        std::function<void()> leave;
    } cases[] = {
        {"Escape", [] { PressKey(VK_ESCAPE, false); }},
        {"camera view",
         [] {
             SendMessageA(Shell().main, WM_COMMAND, 40064, 0);
             PumpShellMessages(3, 5);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        App().mode = kModeScan;
        SendMessageA(window_, WM_COMMAND, 40368, 0);
        PumpShellMessages(3, 5);
        ASSERT_EQ(App().settings.MarkWithMouse, 1);
        EXPECT_TRUE(IsWindowVisible(marker));
        c.leave();
        EXPECT_EQ(App().settings.MarkWithMouse, 0);
        EXPECT_FALSE(IsWindowVisible(marker));
    }
    App().mode = kModeScan;
    EXPECT_TRUE(g_messages.empty());
}

// Edit > Select from the camera view switches to the sweeps and draws them.
TEST_F(ViewWindowWin32, SelectFromAnotherModeShowsTheSweeps) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    App().mode = kModePreview;
    App().selectMode = false;
    PumpShellMessages(2, 5);
    std::vector<int32_t> paints;
    View_Hooks().painted = [&](int32_t level) { paints.push_back(level); };
    SendMessageA(window_, WM_COMMAND, 40243, 0);
    PumpShellMessages(3, 5);
    View_Hooks().painted = nullptr;
    EXPECT_EQ(App().mode, kModeScan);
    EXPECT_TRUE(App().selectMode);
    ASSERT_FALSE(paints.empty());
    EXPECT_EQ(*std::max_element(paints.begin(), paints.end()), 3);
    Image image = Front();
    const POINT p = PixelOf(scan.points[2].Vertex);
    EXPECT_FALSE(IsBackground(Pixel(image, p.x, p.y)));
    Image_Free(&image);
    SendMessageA(window_, WM_COMMAND, 40243, 0);  // Select off again
    PumpShellMessages(2, 5);
    EXPECT_TRUE(g_messages.empty());
}

// The fast preview of the sweeps (repaint level 1, while the view is
// dragged) draws the stylus items and keeps them pickable.
TEST_F(ViewWindowWin32, ThePreviewDrawsTheStylusItems) {
    UsePickingScan();
    const int w = Graph_ViewportWidth(Shell().view), h = Graph_ViewportHeight(Shell().view);
    PickScene scene;
    scene.Add(0, 100, 80, w, h);
    scene.Attach(*App().raw);
    SendMessageA(Shell().view, WM_PAINT, 0, 1);
    Image image = Front();
    EXPECT_FALSE(IsBackground(Pixel(image, 100, 80)));
    EXPECT_EQ(Graph_Pick(Shell().view, 100, 80), 0);
    Image_Free(&image);
    App().raw->Stylus = StylusItemList();
}

// Show Point Resolutions labels the shown surface's points with their
// resolution term, in yellow beside each point.
TEST_F(ViewWindowWin32, PointResolutionsLabelTheSurfacesPoints) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);
    Use(scan);
    AppState& app = App();
    std::vector<Vec3> points = {{-30, 0, 0}, {30, 0, 0}};
    std::vector<float> resolutions = {1.5f, 22.5f};
    const SurfaceRecord savedBasic = app.basic;
    app.basic = SurfaceRecord();
    app.basic.Points = points.data();
    app.basic.Resolutions = resolutions.data();
    app.basic.NumPoints = 2;
    app.basic.ChangeTime = 1e12;
    app.settings.CombineSweeps = 1;
    app.shownSurface = &app.basic;
    app.mode = kModeSurface;
    app.view.DisplayType = 0;
    const auto yellowBeside = [&](const Image& image, const Vec3& at) {
        const POINT p = PixelOf(at);
        int n = 0;
        for (int y = p.y - 16; y <= p.y; ++y)
            for (int x = p.x; x <= p.x + 40; ++x) {
                if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
                const uint8_t* c = Pixel(image, x, y);
                n += c[0] > 200 && c[1] > 200 && c[2] < 60;
            }
        return n;
    };
    for (bool shown : {false, true}) {
        if (shown) {
            SendMessageA(window_, WM_COMMAND, 40380, 0);
            PumpShellMessages(3, 5);
            ASSERT_EQ(app.view.Options, 0x400u);
            ASSERT_EQ(app.mode, kModeSurface);
        }
        Redraw();
        Image image = Front();
        for (const Vec3& p : points) EXPECT_EQ(yellowBeside(image, p) > 0, shown) << shown;
        Image_Free(&image);
    }
    app.view.Options = 0;
    Surface_FreeColourCache(app.basic);
    app.basic = savedBasic;
    app.mode = kModeScan;
    EXPECT_TRUE(g_messages.empty());
}

// In the Tarrel edition the sweeps view shows the branding's mode image in
// its bottom right corner: stylus lines, stylus points or scanning.
TEST_F(ViewWindowWin32, TheTarrelEditionShowsTheTriggersModeImage) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 3), false);
    Use(scan);
    Image images[3];
    const uint32_t colours[3] = {0x0000FF, 0x00FF00, 0xFF0000};  // lines red, points green, scanning blue
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Image_Allocate(images[i], kImageRgba, 24, 12));
        for (int p = 0; p < 24 * 12; ++p) {
            uint8_t* px = images[i].pixels + p * 4;
            px[0] = colours[i] & 0xFF, px[1] = (colours[i] >> 8) & 0xFF, px[2] = (colours[i] >> 16) & 0xFF;
            px[3] = 255;
        }
    }
    BrandInfo& brand = Brand_Get();
    const BrandInfo saved = brand;
    brand.lmodeind = &images[0];
    brand.pmodeind = &images[1];
    brand.smodeind = &images[2];
    AppState& app = App();
    const struct {
        bool tarrel;
        int32_t mode, capture;
        int image;  // -1: none
    } cases[] = {{true, 1, 1, 0}, {true, 1, 0, 1}, {true, 0, 0, 2}, {false, 1, 1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        app.editions.tarrel = c.tarrel;
        app.settings.Stylus.Mode = c.mode;
        app.settings.Stylus.CaptureMode = c.capture;
        Redraw();
        Image front = Front();
        const uint8_t* corner = Pixel(front, front.width - 6, front.height - 4);
        if (c.image < 0) {
            EXPECT_TRUE(IsBackground(corner));
        } else {
            const uint8_t* expected = images[c.image].pixels;
            EXPECT_TRUE(corner[0] == expected[0] && corner[1] == expected[1] && corner[2] == expected[2]);
        }
        Image_Free(&front);
    }
    app.editions.tarrel = false;
    app.settings.Stylus.Mode = app.settings.Stylus.CaptureMode = 0;
    brand = saved;
    for (Image& image : images) Image_Free(&image);
    Redraw();
    EXPECT_TRUE(g_messages.empty());
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
    // F11 saves the camera view as it is shown.
    Image cameraShot = SnapshotThroughF11();
    ASSERT_EQ(cameraShot.width, w);
    EXPECT_TRUE(is(at(cameraShot, 230, a), 255, 0, 0));
    EXPECT_TRUE(is(at(cameraShot, 125, b), 0, 255, 0));
    Image_Free(&cameraShot);

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
    Image samplesShot = SnapshotThroughF11();
    ASSERT_EQ(samplesShot.width, w);
    EXPECT_TRUE(is(at(samplesShot, 230, a + 2), 255, 0, 0));
    EXPECT_TRUE(is(Pixel(samplesShot, w - 50, h / 2), 255, 255, 255));
    Image_Free(&samplesShot);
    // The live range's marker, a white bar across the gauge, at the foot of
    // the scale for a wand at the transmitter and at its top for one far off.
    for (const float z : {0.0f, 2000.0f}) {
        M4_MakeTranslation({0, 0, z}, raw.Staging.WandRxMatrix);
        raw.Staging.ReferenceEnabled = 0;
        raw.Draw.Flags = kDrawLive;
        Redraw();
        Image marked = Front();
        std::vector<int> whiteRows;
        for (int row = 0; row < h; ++row)
            if (is(Pixel(marked, w - 64, row), 255, 255, 255)) whiteRows.push_back(row);  // beside the ticks
        const int y = z == 0 ? 49 : (h - 100) + 49;  // the bar's lowest row, counted from the bottom
        EXPECT_EQ(whiteRows, (std::vector<int>{h - 1 - (y + 2), h - 1 - (y + 1), h - 1 - y})) << z;
        Image_Free(&marked);
    }
    EXPECT_TRUE(g_messages.empty());

    App().mode = kModeScan;
    for (Profile& p : kept) RawData_ClearProfile(p);
    RawData_ClearProfile(raw.Staging);
    raw.Profiles = nullptr;
    raw.NumProfiles = 0;
    Image_Free(&camera);
    Image_Free(&samples);
}

// The camera view spans the camera image of the calibration in use: with a
// table 2000 counts wide and 300 lines high, a sample at count 1000 on line
// 150 is drawn at the view's centre (it lay beyond a fixed 640 x 480 image).
// A line is a row of the image and covers less than a pixel of a view lower
// than 300 pixels: it is drawn only on the pixel rows whose centres it covers.
TEST_F(ViewWindowWin32, TheCameraViewSpansTheCalibrationsCameraImage) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 1), true);
    Use(scan);
    RawData& raw = *App().raw;
    ASSERT_TRUE(ProfileLineLog_Ensure(raw.Staging));
    const ProfileLineLog log = ProfileLineLog_Get(raw.Staging);
    *log.count = 1;
    log.linePosition[0] = 150;  // one line, drawn over the centre of the view's middle row
    log.channel[0] = 0;
    log.start[0] = 990;
    log.end[0] = 1010;
    CalibrationData calibration;
    calibration.header.LutRows = 151;
    calibration.header.LutColumns = 1001;
    calibration.header.LutRowStep = calibration.header.LutColumnStep = 2;
    calibration.table.assign(static_cast<size_t>(151) * 1001 * 3, 1);
    InstallCalibration(std::move(calibration));
    App().mode = kModePreview;
    Redraw();
    Image image = Front();
    BeginCalibrationLoad();  // no calibration in use for the other tests
    const uint8_t* centre = Pixel(image, image.width / 2, image.height / 2);
    EXPECT_TRUE(centre[0] == 255 && centre[1] == 0 && centre[2] == 0);
    // Left of the sample nothing is drawn.
    const uint8_t* left = Pixel(image, image.width / 2 - image.width / 20, image.height / 2);
    EXPECT_TRUE(left[0] == 0 && left[1] == 0 && left[2] == 0);
    EXPECT_TRUE(g_messages.empty());
    App().mode = kModeScan;
    RawData_ClearProfile(raw.Staging);
    Image_Free(&image);
}

// The orthotics tools' strips as the wizard's last page draws them: a
// tube of two slices around the y axis (its outline's first point facing
// the viewer), lit in the foreground colour; with Options bit 2 the strips'
// edges, the first column red; a landmark's ball in the complement of the
// preview colour.
TEST_F(ViewWindowWin32, TheStripSurfaceDrawsLitStripsTheirEdgesAndLandmarkBalls) {
    SyntheticScan scan;
    scan.AddSweep(Row(0, 1), true);
    Use(scan);
    Redraw();  // the view's projection
    OrthoModel model;
    model.PointsPerSlice = 12;
    for (const float height : {-20.0f, 20.0f}) {
        OrthoSlice slice;
        for (int i = 0; i < 12; ++i) {
            const double a = 2 * 3.14159265358979 * i / 12;
            slice.Points.push_back(
                {static_cast<float>(30 * std::sin(a)), height, static_cast<float>(30 * std::cos(a))});
        }
        model.Slices.push_back(slice);
    }
    ASSERT_TRUE(OrthoModel_BuildStrips(model));
    OrthoLandmark landmark{};
    landmark.Points.push_back({0, 0, 0, 35, 0});  // above the tube
    model.Landmarks.push_back(landmark);
    GeneralSettings settings = App().settings;
    settings.ForegroundColour = 0xFFFFFF;
    settings.PreviewColour = 0x0000FF;  // red: the balls are cyan
    ViewSettings view = App().view;
    const POINT seam = PixelOf({0, 0, 30}), side = PixelOf({20, 0, 20}), ball = PixelOf({0, 35, 0});
    ASSERT_GE(ball.y, 0);  // inside the view
    for (const uint32_t options : {0u, 2u}) {
        SCOPED_TRACE(options);
        view.Options = options;
        EXPECT_EQ(Graph_DrawStripSurface(Shell().view, settings, view, model), 0);
        Image image = Front();
        const uint8_t* s = Pixel(image, seam.x, seam.y);
        const uint8_t* d = Pixel(image, side.x, side.y);
        const uint8_t* b = Pixel(image, ball.x, ball.y);
        if (options == 0)
            EXPECT_TRUE(s[0] > 60 && s[0] == s[1] && s[1] == s[2]) << int(s[0]) << " " << int(s[1]);
        else
            EXPECT_TRUE(s[0] > 200 && s[1] < 30 && s[2] < 30) << int(s[0]) << " " << int(s[1]);
        EXPECT_TRUE(d[0] > 60 && d[0] == d[1] && d[1] == d[2]) << int(d[0]);  // lit grey between two columns' edges
        EXPECT_TRUE(b[0] < 30 && b[1] > 60 && b[2] > 60) << int(b[0]) << " " << int(b[1]);
        Image_Free(&image);
    }
    EXPECT_TRUE(g_messages.empty());
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

// ---- The Extents window ------------------------------------------------------------

namespace {

std::string ExtentsText(int control) {
    char text[64] = "";
    GetDlgItemTextA(Shell().modeless[kSlotExtents], control, text, sizeof text);
    return text;
}

std::vector<std::string> ExtentsTexts() {
    return {ExtentsText(kExtentsX), ExtentsText(kExtentsY), ExtentsText(kExtentsZ), ExtentsText(kExtentsXUnit)};
}

}  // namespace

// With ShowExtents set the program starts with the window shown; its lengths
// follow the growing scan at each full paint, the box's frame after Ctrl+B,
// the units switch and a scan with nothing left in it.
TEST(ExtentsWindowWin32, ShownAtStartUpAndFollowsTheScanTheFrameAndTheUnits) {
    Locale_Load();
    App_SetMessageSink([](const AppMessage& m) { g_messages.push_back(m); });
    g_messages.clear();
    HWND window = OpenShellWindow([](DWORD) { SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ShowExtents", 1); });
    ASSERT_NE(window, nullptr);
    HWND extents = Shell().modeless[kSlotExtents];
    ASSERT_TRUE(extents && IsWindow(extents));
    EXPECT_TRUE(IsWindowVisible(extents));
    EXPECT_EQ(GetWindow(extents, GW_OWNER), window);

    AppState& app = App();
    RawData* saved = app.raw;
    SyntheticScan scan;
    scan.AddSweep(Row(0, 5), false);   // x from -40 to 0
    scan.AddSweep(Row(25, 9), false);  // to 40, and 25 mm up
    app.raw = scan.Attach();
    app.mode = kModeScan;
    M4_Identity(app.view.ViewMatrix);
    M4_Identity(app.view.CoordinateSystem);
    RawData& raw = *app.raw;
    raw.NumSweeps = 1;  // the second sweep is not there yet
    raw.NumPoints = scan.firstPoint[1];
    const auto paint = [] {
        SendMessageA(Shell().view, WM_PAINT, 0, 3);
        PumpShellMessages(2, 5);
    };
    paint();
    EXPECT_EQ(ExtentsTexts(), (std::vector<std::string>{"40.0", "0.0", "0.0", "mm"}));
    raw.NumSweeps = 2;
    raw.NumPoints = scan.firstPoint[2];
    raw.Timestamp += 1;
    paint();
    EXPECT_EQ(ExtentsTexts(), (std::vector<std::string>{"80.0", "25.0", "0.0", "mm"}));

    // A quarter turn about the view axis, then Set Bounding Box To View.
    M4_MakeRotationZ(90, app.view.ViewMatrix);
    SendMessageA(window, WM_COMMAND, 40292, 0);
    paint();
    EXPECT_EQ(ExtentsTexts(), (std::vector<std::string>{"25.0", "80.0", "0.0", "mm"}));

    SendMessageA(window, WM_COMMAND, 40390, 0);
    EXPECT_EQ(ExtentsTexts(), (std::vector<std::string>{"0.98", "3.15", "0.00", "in"}));
    SendMessageA(window, WM_COMMAND, 40389, 0);
    EXPECT_EQ(ExtentsText(kExtentsX), "25.0");

    raw.NumSweeps = raw.NumPoints = 0;  // the scan cleared
    raw.Timestamp += 1;
    paint();
    EXPECT_EQ(ExtentsTexts(), (std::vector<std::string>{"0.0", "0.0", "0.0", "mm"}));
    app.raw = saved;
    CloseShellWindow(window);
    EXPECT_TRUE(g_messages.empty());
}
