// The AAOP Export Wizard's OP3 road for divergent axes: Orientate Object,
// where the user stands the shape upright facing the viewer, and Choose
// Slice Axes, where three handles in the view give the leg and foot axes and
// their common point, and the OP3 slicing runs.
#include <windows.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/scan/surface_record.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"

namespace {

AaopWizardState& S() { return AaopWizard_State(); }

// ---- Orientate Object ---------------------------------------------------------

struct OrientatePage : PageInstance {
    Matrix4 savedMatrix{};
    int32_t matrixSaved = 0;
};
OrientatePage g_orientatePage;

void OrientateInit(PageInstance&) { g_orientatePage = OrientatePage(); }

void OrientateEnter(PageInstance&) {
    if (g_orientatePage.matrixSaved) S().live.ViewMatrix = g_orientatePage.savedMatrix;
}

INT_PTR OrientateProc(PageInstance&, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// The shape is seen from its side next: the foot points across the view.
bool OrientateNext(PageInstance&, AaopWizardPage*& following) {
    AaopWizardState& s = S();
    g_orientatePage.savedMatrix = s.live.ViewMatrix;
    g_orientatePage.matrixSaved = 1;
    M4_RotateY(-90, s.live.ViewMatrix);
    following = &AaopPage_SliceAxes();
    return true;
}

// ---- Choose Slice Axes ----------------------------------------------------------

constexpr int kToe = 0, kAnkle = 1, kTop = 2;
constexpr int kGrabRadius = 8;  // pixels
constexpr float kCutReach = 50; // pixels to either side of an axis's end

struct SliceAxesPage : PageInstance {
    int32_t placed = 0;
    POINT handles[3] = {};  // client pixels, y from the top
    int grabbed = -1;
};
SliceAxesPage g_axesPage;

RECT ViewClient() {
    RECT client = {0, 0, 0, 0};
    GetClientRect(S().view, &client);
    return client;
}

void SliceAxesInit(PageInstance&) { g_axesPage = SliceAxesPage(); }

void SliceAxesEnter(PageInstance&) {
    if (g_axesPage.placed) return;
    const RECT c = ViewClient();
    g_axesPage.handles[kToe] = POINT{c.right / 4, c.bottom * 3 / 4};
    g_axesPage.handles[kAnkle] = POINT{c.right * 3 / 4, c.bottom * 3 / 4};
    g_axesPage.handles[kTop] = POINT{c.right * 3 / 4, c.bottom / 4};
    g_axesPage.placed = 1;
}

INT_PTR SliceAxesProc(PageInstance& page, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        AaopPages_InitSpacing(page.window);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        AaopPages_SpacingCommand(page.window, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void Vertex(const POINT& p, float height, float dx = 0, float dy = 0) {
    glVertex2f(static_cast<float>(p.x) + dx, height - static_cast<float>(p.y) + dy);
}

// The axes as solid red lines from the ankle, their cuts as dotted yellow
// lines across each outer end, and the three handles.
void SliceAxesOverlay(PageInstance&) {
    const RECT c = AaopPages_BeginPixelOverlay();
    const float h = static_cast<float>(c.bottom);
    const POINT* p = g_axesPage.handles;
    glEnable(GL_LINE_STIPPLE);
    glLineWidth(2);
    for (int outer : {kToe, kTop}) {
        glLineStipple(1, 0xFFFF);
        glColor3f(1, 0, 0);
        glBegin(GL_LINES);
        Vertex(p[kAnkle], h);
        Vertex(p[outer], h);
        glEnd();
        const float ax = static_cast<float>(p[outer].x - p[kAnkle].x), ay = static_cast<float>(p[kAnkle].y - p[outer].y);
        const float length = std::hypot(ax, ay);
        if (length <= 0) continue;
        const float nx = -ay / length * kCutReach, ny = ax / length * kCutReach;
        glLineStipple(1, 0x3333);
        glColor3f(1, 1, 0);
        glBegin(GL_LINES);
        Vertex(p[outer], h, -nx, -ny);
        Vertex(p[outer], h, nx, ny);
        glEnd();
    }
    glDisable(GL_LINE_STIPPLE);
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    for (int k = 0; k < 3; ++k) {
        Vertex(p[k], h, -4, -4);
        Vertex(p[k], h, 4, -4);
        Vertex(p[k], h, 4, 4);
        Vertex(p[k], h, -4, 4);
    }
    glEnd();
    AaopPages_EndPixelOverlay();
}

int HandleAt(int32_t x, int32_t y) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(g_axesPage.handles[k].x - x) <= kGrabRadius && std::abs(g_axesPage.handles[k].y - y) <= kGrabRadius)
            return k;
    return -1;
}

// A drag that starts on a handle moves it; anything else goes to the view.
int32_t SliceAxesPick(PageInstance&, int32_t event, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t*) {
    SliceAxesPage& page = g_axesPage;
    if (event == kNavLeftDragStep) {
        if (page.grabbed < 0) page.grabbed = HandleAt(x1, y1);
        if (page.grabbed < 0) return 0;
        const RECT c = ViewClient();
        page.handles[page.grabbed] =
            POINT{std::max<LONG>(0, std::min<LONG>(x2, c.right)), std::max<LONG>(0, std::min<LONG>(y2, c.bottom))};
        return 1;
    }
    if (event == kNavLeftDragEnd && page.grabbed >= 0) {
        page.grabbed = -1;
        return 1;
    }
    return 0;
}

// Over a handle, or while one is dragged, the cursor says it can be moved.
int32_t SliceAxesCursor(PageInstance&, int32_t x, int32_t y) {
    return g_axesPage.grabbed >= 0 || HandleAt(x, y) >= 0 ? kCursorMoveHandle : 0;
}

// A handle as a model point at the depth of the view origin.
bool ModelPoint(const POINT& handle, Vec3& out) {
    AaopWizardState& s = S();
    Vec3 origin;
    if (Graph_ProjectToScreen(s.live.ViewOrigin, s.view, origin) != 0) return false;
    const Vec3 screen{static_cast<float>(handle.x), static_cast<float>(ViewClient().bottom - handle.y), origin.z};
    return Graph_UnprojectFromScreen(screen, s.view, out) == 0;
}

// The slices are shown from the side, centred on their middle.
void ResultView() {
    AaopWizardState& s = S();
    s.result = s.live;
    M4_Identity(s.result.ViewMatrix);
    M4_RotateX(-90, s.result.ViewMatrix);
    M4_RotateY(90, s.result.ViewMatrix);
    s.result.Options |= 2;
    std::vector<Vec3> centres;
    for (const OrthoSlice& slice : s.model.Slices) centres.push_back(slice.Centre);
    if (!centres.empty())
        V3_BoundingBox(centres.data(), static_cast<int32_t>(centres.size()), nullptr, nullptr, &s.result.ViewOrigin,
                       nullptr);
}

bool SliceAxesNext(PageInstance& page, AaopWizardPage*& following) {
    AaopWizardState& s = S();
    if (!AaopPages_SpacingReady(page.window)) return false;
    Vec3 toe, ankle, top, leg, foot;
    if (!ModelPoint(g_axesPage.handles[kToe], toe) || !ModelPoint(g_axesPage.handles[kAnkle], ankle) ||
        !ModelPoint(g_axesPage.handles[kTop], top))
        return false;
    V3_Sub(top, ankle, leg);
    V3_Sub(toe, ankle, foot);
    s.setup.Origin = ankle;
    s.setup.Limit1 = V3_Length(leg);
    s.setup.Limit2 = V3_Length(foot);
    V3_Normalise(leg, s.setup.LegAxis);
    V3_Normalise(foot, s.setup.FootAxis);
    OrthoModel_Free(s.model);
    if (!Ortho_Run(s.dialog, *s.surface, s.items, s.setup, s.model)) return false;
    ResultView();
    following = &AaopPage_Complete();
    return true;
}

AaopWizardPage g_orientateDescriptor = {&g_orientatePage, "Orientate Object", "&Next >", 368, 1, 0x1F,
                                        OrientateInit, AaopPages_Leave, OrientateEnter, OrientateNext,
                                        AaopPages_Allow, AaopPages_DrawQuick, AaopPages_DrawFull, OrientateProc,
                                        nullptr, nullptr, nullptr, nullptr, nullptr};
AaopWizardPage g_axesDescriptor = {&g_axesPage, "Choose Slice Axes", "&Next >", 367, 1, 0x8, SliceAxesInit,
                                   AaopPages_Leave, SliceAxesEnter, SliceAxesNext, AaopPages_Allow,
                                   AaopPages_DrawQuick, AaopPages_DrawFull, SliceAxesProc, nullptr, SliceAxesOverlay,
                                   SliceAxesPick, nullptr, SliceAxesCursor};

}  // namespace

AaopWizardPage& AaopPage_Orientate() { return g_orientateDescriptor; }
AaopWizardPage& AaopPage_SliceAxes() { return g_axesDescriptor; }
