// Times the live view's drawing under Wine (Google Benchmark is native-only):
// the full redraw of a large scan in points mode against the same points in
// one bare vertex-array call, the solid mode against one bare indexed call,
// and one incremental frame on a small and on a large scan. The wireframe is
// timed against the bare call drawn as lines, the solid with edges against
// the bare call filled and then as lines. One window, one run; medians in
// milliseconds, and the ratios, are printed.
//
//   timing_view_redraw_win32 [millions of points, default 4]
#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/scene_draw_win32.h"

#include <windows.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

GeneralSettings g_settings;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        static const int stencil = 1;
        return Graph_Create(window, g_settings, &stencil) ? -1 : 0;
    }
    if (message == WM_DESTROY) Graph_Destroy(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

// A scan of one sweep: a grid of points on a gently curved sheet, and its
// two triangles a cell when facets are asked for.
struct Scan {
    std::vector<ScanPoint> points;
    std::vector<Facet> facets;
    std::vector<Vec3> normals;
    std::vector<SweepRecord> sweeps = std::vector<SweepRecord>(1);
    int32_t firstPoint[2] = {0, 0}, firstFacet[2] = {0, 0}, firstProfile[2] = {0, 0};
    RawData raw = {};

    Scan(int32_t side, bool withFacets) {
        points.resize(static_cast<size_t>(side) * side);
        for (int32_t i = 0; i < side; ++i)
            for (int32_t j = 0; j < side; ++j) {
                ScanPoint& p = points[static_cast<size_t>(i) * side + j];
                const float x = -100 + 200.0f * j / side, y = -100 + 200.0f * i / side;
                p.Vertex = {x, y, (x * x + y * y) / 400};
                p.Normal = {0, 0, 1};
                p.Colour[0] = p.Colour[1] = p.Colour[2] = 220;
            }
        if (withFacets) {
            for (int32_t i = 0; i + 1 < side; ++i)
                for (int32_t j = 0; j + 1 < side; ++j) {
                    const int32_t a = i * side + j;
                    facets.push_back({{a, a + 1, a + side}});
                    facets.push_back({{a + 1, a + side + 1, a + side}});
                }
            normals.assign(facets.size(), Vec3{0, 0, 1});
        }
        raw.Points = points.data();
        raw.Facets = facets.empty() ? nullptr : facets.data();
        raw.FacetNormals = normals.empty() ? nullptr : normals.data();
        raw.NumPoints = raw.MaxPoints = static_cast<int32_t>(points.size());
        raw.NumFacets = raw.MaxFacets = static_cast<int32_t>(facets.size());
        raw.Sweeps = sweeps.data();
        raw.NumSweeps = raw.TotalSweeps = raw.MaxSweeps = 1;
        firstPoint[1] = raw.NumPoints;
        firstFacet[1] = raw.NumFacets;
        raw.SweepFirstPoint = firstPoint;
        raw.SweepFirstFacet = firstFacet;
        raw.SweepStartingProfileNo = firstProfile;
        RawData_NumberPointRuns(raw);
    }
};

double ElapsedMs(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

template <typename F>
double TimeMs(F draw) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    draw();
    glFinish();
    QueryPerformanceCounter(&end);
    return ElapsedMs(start, end);
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Times two draws in turn, run after run, so that drift in the machine's
// load (other programs, the rasteriser's threads) falls on both alike; the
// first pair only warms up.
template <typename F, typename G>
void MedianPairMs(int runs, F first, G second, double& firstMs, double& secondMs) {
    std::vector<double> a, b;
    for (int i = 0; i <= runs; ++i) {
        const double ta = TimeMs(first), tb = TimeMs(second);
        if (i == 0) continue;
        a.push_back(ta);
        b.push_back(tb);
    }
    firstMs = Median(a);
    secondMs = Median(b);
}

template <typename F>
double MedianMs(int runs, F draw) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(TimeMs(draw));
    return Median(times);
}

ViewSettings View(int32_t displayType, int32_t options = 0) {
    ViewSettings view = {};
    M4_Identity(view.ViewMatrix);
    view.ZoomFactor = 1;
    view.DisplayType = displayType;
    view.Options = options;
    return view;
}

void FullRedraw(HWND window, Scan& scan, const ViewSettings& view) {
    scan.raw.Draw.Flags = kDrawFull;
    Graph_DrawScanView(window, g_settings, view, scan.raw);
}

void BareFacets(Scan& scan, GLenum polygonMode) {
    glPolygonMode(GL_FRONT_AND_BACK, polygonMode);
    glDrawElements(GL_TRIANGLES, scan.raw.NumFacets * 3, GL_UNSIGNED_INT, scan.raw.Facets);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

// The same frame's clearing and model-view with the geometry in one call;
// facets as lines for the wireframe, and filled then as lines for the
// solid with edges.
void BareCall(HWND window, Scan& scan, bool facets, bool fill, bool lines) {
    GraphWindowRecord& record = *Graph_Record(window);
    glDrawBuffer(GL_BACK);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(ScanPoint), &scan.raw.Points[0].Vertex);
    glColorPointer(3, GL_UNSIGNED_BYTE, sizeof(ScanPoint), scan.raw.Points[0].Colour);
    if (facets && fill) BareFacets(scan, GL_FILL);
    if (facets && lines) BareFacets(scan, GL_LINE);
    if (!facets) glDrawArrays(GL_POINTS, 0, scan.raw.NumPoints);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    Graph_Present(record);
}

// The full redraw of a display type against the bare call, in turns.
void CompareFull(HWND window, Scan& scan, int32_t displayType, int32_t options, double& full, double& bare) {
    const ViewSettings view = View(displayType, options);
    Graph_Setup3D(view, g_settings, window, 0.3125f);
    MedianPairMs(
        7, [&] { FullRedraw(window, scan, view); },
        [&] { BareCall(window, scan, displayType >= 1, displayType >= 2, displayType == 1 || (options & 2)); }, full,
        bare);
}

// One frame that adds the last profile's worth of points to a kept frame.
double Incremental(HWND window, Scan& scan) {
    const ViewSettings view = View(0);
    Graph_Setup3D(view, g_settings, window, 0.3125f);
    scan.raw.Draw.Flags = kDrawFull;
    Graph_DrawScanView(window, g_settings, view, scan.raw);
    return MedianMs(5, [&] {
        scan.raw.Draw.DrawnPoints = scan.raw.NumPoints - 500;
        scan.raw.Draw.Flags = kDrawNew;
        Graph_DrawScanView(window, g_settings, view, scan.raw);
    });
}

}  // namespace

int main(int argc, char** argv) {
    const double millions = argc > 1 ? std::atof(argv[1]) : 4.0;
    g_settings = GeneralSettings();
    g_settings.BackgroundColour = 0x202020;
    g_settings.ForegroundColour = 0xFFFFFF;
    g_settings.AmbientLightLevel = 0.2f;
    g_settings.SpotLightLevel = 0.8f;
    g_settings.SpotLightPosition[2] = 1;
    WNDCLASSA c = {};
    c.lpfnWndProc = Proc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "KorvGraphBench";
    RegisterClassA(&c);
    HWND window = CreateWindowA("KorvGraphBench", "view", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                nullptr, c.hInstance, nullptr);
    if (!window) {
        std::printf("no GL window\n");
        return 1;
    }
    const int32_t side = static_cast<int32_t>(std::sqrt(millions * 1e6));
    {
        Scan big(side, false);
        double full = 0, bare = 0;
        CompareFull(window, big, 0, 0, full, bare);
        std::printf("points, %d points: full redraw %.1f ms, bare call %.1f ms, ratio %.2f (goal <= 1.2)\n",
                    big.raw.NumPoints, full, bare, full / bare);
        const double incrementalBig = Incremental(window, big);
        Scan small(316, false);
        const double incrementalSmall = Incremental(window, small);
        std::printf("incremental frame of 500 points: %.2f ms on %d points, %.2f ms on %d points (goal: equal)\n",
                    incrementalSmall, small.raw.NumPoints, incrementalBig, big.raw.NumPoints);
    }
    {
        // The facet modes: wireframe, solid (smooth shading, as the program
        // starts, and flat), and solid with its edges drawn over it (a second
        // pass over the same facets).
        struct Mode {
            const char* name;
            int32_t displayType, options, smoothShading;
        };
        Scan solid(side / 2, true);
        for (const Mode mode : {Mode{"wireframe", 1, 0, 1}, Mode{"solid", 2, 0, 1}, Mode{"solid, flat shading", 2, 0, 0},
                                Mode{"solid with edges", 2, 2, 1}}) {
            g_settings.UseSmoothShading = mode.smoothShading;
            double full = 0, bare = 0;
            CompareFull(window, solid, mode.displayType, mode.options, full, bare);
            std::printf("%s, %d facets: full redraw %.1f ms, bare call %.1f ms, ratio %.2f (goal <= 1.2)\n", mode.name,
                        solid.raw.NumFacets, full, bare, full / bare);
        }
    }
    DestroyWindow(window);
    return 0;
}
