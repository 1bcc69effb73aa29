// The AAOP Export Wizard's symmetrical-build road: Define Reflection Plane,
// where stylus points are selected, added or moved and the plane is fitted
// through the selected ones, and Choose Axis on Reflection Plane, where the
// view faces the plane, the axis is aligned on it and the half section at a
// marker is measured as its mirrored whole.
#include <windows.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/scan/svd.h"
#include "app/scan/surface_record.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/stylus_draw_win32.h"

namespace {

AaopWizardState& S() { return AaopWizard_State(); }

constexpr int kToolRotate = 1347, kToolSelect = 1348, kToolNew = 1349, kToolMove = 1350;

bool Selectable(const StylusItem& item) { return item.Flags != kStylusLineHead && item.Flags != kStylusLineMember; }

double Degrees(double radians) { return radians * 180 / kGeometryPi; }

// ---- Define Reflection Plane ------------------------------------------------

struct PlanePage : PageInstance {
    int tool = kToolSelect;
    int32_t planeDefined = 0;
    Matrix4 savedMatrix{};
    int32_t matrixSaved = 0;
    bool moving = false;      // a Move Point drag is under way
    int32_t movingGroup = -1; // the group picked where it started
};
PlanePage g_planePage;

// The plane through the selected stylus points, kept on the side of the
// previous one; with fewer than three the last plane stays, undefined.
void FitPlane() {
    AaopWizardState& s = S();
    std::vector<Vec3D> rows;
    const StylusItemList& list = *s.items;
    for (int32_t i = 0; i < list.VisibleCount; ++i)
        if (list.Items[i].Flags & kStylusSelected)
            rows.push_back(Vec3D{list.Items[i].Pose[12], list.Items[i].Pose[13], list.Items[i].Pose[14]});
    Vec3D centroid{}, normal{};
    g_planePage.planeDefined = 0;
    if (rows.size() < 3 || !Svd_FitPlaneOrLine(static_cast<int32_t>(rows.size()), rows.data(), centroid, nullptr,
                                               &normal, nullptr, nullptr, nullptr))
        return;
    Plane plane{static_cast<float>(normal.x), static_cast<float>(normal.y), static_cast<float>(normal.z), 0};
    plane.d = -static_cast<float>(normal.x * centroid.x + normal.y * centroid.y + normal.z * centroid.z);
    const Plane& old = s.reflection;
    if (plane.a * old.a + plane.b * old.b + plane.c * old.c < 0) plane = Plane{-plane.a, -plane.b, -plane.c, -plane.d};
    s.reflection = plane;
    g_planePage.planeDefined = 1;
}

void Refit() {
    FitPlane();
    AaopWizard_RepaintView(3);
}

// The side of the plane that the symmetrical build keeps is drawn; the other
// is clipped away, so that "Flip Plane" shows which half is used.
template <typename Draw>
void DrawClipped(Draw draw) {
    AaopWizardState& s = S();
    const ViewSettings& view = *AaopWizard_CurrentView();
    const bool clip = g_planePage.planeDefined != 0;
    if (clip && Graph_MakeCurrent(s.view)) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glMultMatrixf(view.ViewMatrix.m);
        glTranslatef(-view.ViewOrigin.x, -view.ViewOrigin.y, -view.ViewOrigin.z);
        const double equation[4] = {s.reflection.a, s.reflection.b, s.reflection.c, s.reflection.d};
        glClipPlane(GL_CLIP_PLANE0, equation);
        glPopMatrix();
        glEnable(GL_CLIP_PLANE0);
    }
    draw();
    if (clip) glDisable(GL_CLIP_PLANE0);
}

void PlaneDrawQuick(PageInstance& p) { DrawClipped([&] { AaopPages_DrawQuick(p); }); }
void PlaneDrawFull(PageInstance& p) { DrawClipped([&] { AaopPages_DrawFull(p); }); }

void PlaneInit(PageInstance&) { g_planePage = PlanePage(); }

void PlaneEnter(PageInstance&) {
    if (g_planePage.matrixSaved) S().live.ViewMatrix = g_planePage.savedMatrix;
}

void ShowTool(HWND page) {
    for (int id = kToolRotate; id <= kToolMove; ++id)
        CheckDlgButton(page, id, id == g_planePage.tool ? BST_CHECKED : BST_UNCHECKED);
}

// The orientation of a new or moved point: the view's inverse turned about y.
Matrix4 PoseAt(const Vec3& position, float degrees) {
    Matrix4 pose;
    M4_InvertRigid(S().live.ViewMatrix, pose);
    M4_RotateY(degrees, pose);
    pose[12] = position.x;
    pose[13] = position.y;
    pose[14] = position.z;
    return pose;
}

bool SurfaceUnder(int32_t x, int32_t y, Vec3& hit) {
    return Graph_ReadPointAt(S().view, hit, static_cast<float>(x), static_cast<float>(y), 0.05f) == 0;
}

// A new selected point where the surface is under the click.
void PlaneEdit_Add(int32_t x, int32_t y) {
    AaopWizardState& s = S();
    StylusItemList& list = *s.items;
    Vec3 hit;
    if (!SurfaceUnder(x, y, hit)) return;
    if (list.TotalCount >= list.Capacity - 1 && !StylusItems_Grow(list)) return;
    StylusItem& item = list.Items[list.VisibleCount];
    std::memset(&item, 0, sizeof item);
    item.Flags = 0x82;
    item.Pose = PoseAt(hit, 90);
    item.Group = list.GroupCount++;
    ++list.VisibleCount;
    list.TotalCount = list.VisibleCount;
    g_planePage.tool = kToolSelect;
    if (g_planePage.window) ShowTool(g_planePage.window);
}

// Every item of the group under the drag's start goes to the surface under
// the mouse.
void PlaneEdit_Move(int32_t x, int32_t y) {
    AaopWizardState& s = S();
    Vec3 hit;
    if (!SurfaceUnder(x, y, hit)) return;
    const int32_t group = g_planePage.movingGroup;
    if (group < 0) return;
    StylusItemList& list = *s.items;
    for (int32_t i = 0; i < list.VisibleCount; ++i) {
        StylusItem& item = list.Items[i];
        if (item.Group != group || !Selectable(item)) continue;
        item.Pose = PoseAt(hit, 70);
        item.Flags |= 128;
        item.Flags &= ~0x18u;
    }
}

void ToggleGroup(int32_t x, int32_t y) {
    const int32_t group = Graph_Pick(S().view, x, y);
    if (group < 0) return;
    StylusItemList& list = *S().items;
    for (int32_t i = 0; i < list.VisibleCount; ++i)
        if (list.Items[i].Group == group && Selectable(list.Items[i])) list.Items[i].Flags ^= kStylusSelected;
}

int32_t PlanePick(PageInstance&, int32_t event, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t* level) {
    PlanePage& page = g_planePage;
    if (page.tool == kToolRotate) return 0;
    if (page.tool == kToolSelect && event == kNavLeftClick) ToggleGroup(x1, y1);
    if (page.tool == kToolNew && event == kNavLeftClick) PlaneEdit_Add(x1, y1);
    if (page.tool == kToolMove && event == kNavLeftDragStep) {
        if (!page.moving) {
            page.moving = true;
            page.movingGroup = Graph_Pick(S().view, x1, y1);
        }
        PlaneEdit_Move(x2, y2);
    }
    if (event == kNavLeftDragEnd || event == kNavLeftClick) page.moving = false;
    if (event == kNavLeftClick || event == kNavLeftDragEnd) {
        FitPlane();
        if (level) *level = 3;
    } else if (event == kNavLeftDragStep && page.tool == kToolMove) {
        FitPlane();
        AaopWizard_RepaintView(3);
    }
    return 1;
}

void SelectAll() {
    StylusItemList& list = *S().items;
    for (int32_t i = 0; i < list.VisibleCount; ++i)
        if (!(list.Items[i].Flags & (kStylusLineHead | kStylusLineMember))) list.Items[i].Flags |= kStylusSelected;
}

void ResetPoints() {
    AaopWizard_RestoreStylusItems();
    StylusItemList& list = *S().items;
    for (int32_t i = 0; i < list.TotalCount; ++i) list.Items[i].Flags &= ~kStylusSelected;
}

INT_PTR PlaneProc(PageInstance& page, UINT message, WPARAM wParam, LPARAM) {
    AaopWizardState& s = S();
    switch (message) {
        case WM_INITDIALOG:
            ShowTool(page.window);
            return TRUE;
        case WM_COMMAND: {
            const WORD id = LOWORD(wParam);
            if (id >= kToolRotate && id <= kToolMove) {
                g_planePage.tool = id;
                ShowTool(page.window);
            } else if (id == 1363) {
                SelectAll();
                Refit();
            } else if (id == 1346) {
                s.reflection = Plane{-s.reflection.a, -s.reflection.b, -s.reflection.c, -s.reflection.d};
                AaopWizard_RepaintView(3);
            } else if (id == 1362) {
                ResetPoints();
                Refit();
            }
            return TRUE;
        }
    }
    return FALSE;
}

bool PlaneNext(PageInstance&, AaopWizardPage*& following) {
    if (!g_planePage.planeDefined) {
        AaopPages_Box(MessageKind::Error, "Not enough stylus points",
                      "You must select 3 (or more) stylus points to define the plane of reflection");
        return false;
    }
    g_planePage.savedMatrix = S().live.ViewMatrix;
    g_planePage.matrixSaved = 1;
    following = &AaopPage_PlaneAxis();
    return true;
}

// ---- Choose Axis on Reflection Plane -------------------------------------------

struct PlaneAxisPage : PageInstance {
    int markerPlaced = 0;
    int marker = 0;
};
PlaneAxisPage g_axisPage;

Vec3 PlaneNormal() { return Vec3{S().reflection.a, S().reflection.b, S().reflection.c}; }

// The surface points on the kept side of the plane, projected onto it.
std::vector<Vec3> HalfOnPlane() {
    AaopWizardState& s = S();
    std::vector<Vec3> half;
    for (int32_t i = 0; i < s.surface->NumPoints; ++i) {
        const Vec3& p = s.surface->Points[i];
        const float d = Plane_SignedDistance(p, s.reflection);
        if (d < 0) continue;
        Vec3 q;
        V3_AddScaled(p, -d, PlaneNormal(), q);
        half.push_back(q);
    }
    return half;
}

// The axis lies on the plane: the view origin goes to the centre of the
// kept half's shadow on it, and the view turns with the line fitted there.
void AlignOnPlane() {
    const std::vector<Vec3> half = HalfOnPlane();
    if (half.empty()) return;
    V3_Centroid(half.data(), static_cast<int32_t>(half.size()), S().live.ViewOrigin);
    AaopPages_AlignWith(half);
    AaopWizard_RepaintView(3);
}

// The view faces the plane, its vertical turned as close as it can to the
// one it had.
void FaceThePlane() {
    AaopWizardState& s = S();
    const Vec3 n = PlaneNormal(), before = AaopPages_ScreenVertical(s.live);
    Matrix4 m;
    M4_Identity(m);
    M4_RotateY(static_cast<float>(180 - Degrees(std::atan2(n.x, n.z))), m);
    M4_RotateX(static_cast<float>(-Degrees(std::asin(std::max(-1.0f, std::min(1.0f, n.y))))), m);
    Vec3 onScreen;
    M4_TransformPoint(m, before, onScreen);
    if (std::hypot(onScreen.x, onScreen.y) > 1e-4f) {
        const float angle = static_cast<float>(Degrees(std::atan2(onScreen.x, onScreen.y)));
        Matrix4 best = m;
        float bestY = -2;
        for (float sign : {1.0f, -1.0f}) {
            Matrix4 turned = m;
            M4_RotateZ(sign * angle, turned);
            Vec3 v;
            M4_TransformPoint(turned, before, v);
            if (v.y > bestY) {
                bestY = v.y;
                best = turned;
            }
        }
        m = best;
    }
    s.live.ViewMatrix = m;
}

void PlaneAxisInit(PageInstance&) { g_axisPage = PlaneAxisPage(); }

void PlaneAxisEnter(PageInstance&) {
    FaceThePlane();
    AlignOnPlane();
    if (!g_axisPage.markerPlaced) {
        g_axisPage.marker = AaopWizard_BarHeight() / 2;
        g_axisPage.markerPlaced = 1;
    }
    AaopWizard_ShowMarkers(true, true, false);
    AaopWizard_MoveMarker(0, g_axisPage.marker);
}

bool PlaneAxisMarkerMoved(PageInstance&, int marker, int position) {
    if (marker != 0) return false;
    g_axisPage.marker = position;
    AaopWizard_RepaintView(0);
    return true;
}

struct Section {
    std::vector<Vec3> ends;  // pairs
    double circumference = 0, mediolateral = 0, anteroposterior = 0;
};

// The crossing of the edge (a, b) with the level plane, by the signed
// distances of its ends.
Vec3 Crossing(const Vec3& a, const Vec3& b, float da, float db) {
    Vec3 out;
    V3_AddScaled(a, da / (da - db), Vec3{b.x - a.x, b.y - a.y, b.z - a.z}, out);
    return out;
}

// The section of the kept half at the marker's height, measured as the
// mirrored whole.
Section MeasureSection() {
    AaopWizardState& s = S();
    const SurfaceRecord& surface = *s.surface;
    const Vec3 vertical = AaopPages_ScreenVertical(s.live);
    const float level = AaopPages_HeightOfPosition(g_axisPage.marker) + V3_Dot(s.live.ViewOrigin, vertical);
    Vec3 ap;
    V3_Cross(vertical, PlaneNormal(), ap);
    V3_Normalise(ap, ap);
    Section section;
    double apLow = 1e30, apHigh = -1e30;
    for (int32_t f = 0; f < surface.NumFacets; ++f) {
        const int32_t* v = &surface.Facets[3 * f];
        Vec3 cut[2];
        int found = 0;
        for (int e = 0; e < 3 && found < 2; ++e) {
            const Vec3 &a = surface.Points[v[e]], &b = surface.Points[v[(e + 1) % 3]];
            const float da = V3_Dot(a, vertical) - level, db = V3_Dot(b, vertical) - level;
            if ((da < 0) != (db < 0)) cut[found++] = Crossing(a, b, da, db);
        }
        if (found < 2) continue;
        float d0 = Plane_SignedDistance(cut[0], s.reflection), d1 = Plane_SignedDistance(cut[1], s.reflection);
        if (d0 < 0 && d1 < 0) continue;
        // A segment across the plane counts up to the plane.
        if (d0 < 0) cut[0] = Crossing(cut[0], cut[1], d0, d1), d0 = 0;
        if (d1 < 0) cut[1] = Crossing(cut[1], cut[0], d1, d0), d1 = 0;
        section.ends.push_back(cut[0]);
        section.ends.push_back(cut[1]);
        section.circumference += 2 * V3_Distance(cut[0], cut[1]);
        section.mediolateral = std::max(section.mediolateral, 2.0 * std::max(d0, d1));
        for (const Vec3& c : cut) {
            apLow = std::min(apLow, static_cast<double>(V3_Dot(c, ap)));
            apHigh = std::max(apHigh, static_cast<double>(V3_Dot(c, ap)));
        }
    }
    if (apHigh >= apLow) section.anteroposterior = apHigh - apLow;
    return section;
}

void SetValue(int id, double value) {
    if (!g_axisPage.window) return;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    SetDlgItemTextA(g_axisPage.window, id, text);
}

// The axis line and the measured section, straight into the shown picture.
void PlaneAxisOverlay(PageInstance&) {
    const Section section = MeasureSection();
    SetValue(1352, section.circumference);
    SetValue(1351, section.mediolateral);
    SetValue(1353, section.anteroposterior);
    AaopPages_DrawAxisLine();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDrawBuffer(GL_FRONT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(2);
    glBegin(GL_LINES);
    glColor3f(1, 1, 0);
    for (const Vec3& p : section.ends) glVertex3fv(&p.x);
    glEnd();
    glPopAttrib();
    glFlush();
}

INT_PTR PlaneAxisProc(PageInstance&, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) == 1346) AlignOnPlane();
    return message == WM_COMMAND ? TRUE : FALSE;
}

bool PlaneAxisBack(PageInstance&) {
    AaopWizard_ShowMarkers(false, false, false);
    return true;
}

bool PlaneAxisNext(PageInstance&, AaopWizardPage*& following) {
    AaopWizardState& s = S();
    AaopPages_StoreAxis();
    M4_RotateY(90, s.setup.Frame);
    s.setup.Mirror = 1;
    s.measurementOffset = 0;
    following = &AaopPage_Limits();
    return true;
}

AaopWizardPage g_planeDescriptor = {&g_planePage, "Define Reflection Plane", "&Next >", 371, 1, 0x1F, PlaneInit,
                                    AaopPages_Leave, PlaneEnter, PlaneNext, AaopPages_Allow, PlaneDrawQuick,
                                    PlaneDrawFull, PlaneProc, nullptr, nullptr, PlanePick, nullptr, nullptr};
AaopWizardPage g_axisDescriptor = {&g_axisPage, "Choose Axis on Reflection Plane", "&Next >", 370, 1, 0x1C,
                                   PlaneAxisInit, AaopPages_Leave, PlaneAxisEnter, PlaneAxisNext, PlaneAxisBack,
                                   AaopPages_DrawQuick, AaopPages_DrawFull, PlaneAxisProc, nullptr, PlaneAxisOverlay,
                                   nullptr, PlaneAxisMarkerMoved, nullptr};

}  // namespace

AaopWizardPage& AaopPage_ReflectionPlane() { return g_planeDescriptor; }
AaopWizardPage& AaopPage_PlaneAxis() { return g_axisDescriptor; }
