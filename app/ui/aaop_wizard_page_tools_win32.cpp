// What the AAOP Export Wizard's pages share: their boxes, the plain drawing
// of the surface, the alignment of the view with a fitted line, the marker
// heights, and the spacing and handedness controls of the two pages that end
// a road in the slicing.
#include <windows.h>

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "app/scan/svd.h"
#include "app/scan/surface_record.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/ui_utilities_win32.h"

namespace {

AaopWizardState& S() { return AaopWizard_State(); }

// Keeps the old value for 0 and negatives: neither spacing can work with them.
void ReformatSpacing(HWND page, int id, float& value) {
    ValueLimits limits;
    limits.negativesAllowed = false;
    limits.zeroAllowed = false;
    if (id == 1314) {
        limits.maximum = 90;
        limits.hasMaximum = true;
    }
    Edit_ReformatNumber(GetDlgItem(page, id), "%.2f", limits, value);
    if (!(value > 0)) value = id == 1314 ? 4.0f : 5.0f;
}

// The direction of greatest spread of the points about their centroid.
bool FittedLine(const std::vector<Vec3>& points, Vec3& out) {
    if (points.size() < 3) return false;
    std::vector<Vec3D> rows(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) rows[i] = Vec3D{points[i].x, points[i].y, points[i].z};
    Vec3D centroid{}, direction{};
    if (!Svd_FitPlaneOrLine(static_cast<int32_t>(rows.size()), rows.data(), centroid, &direction, nullptr, nullptr,
                            nullptr, nullptr))
        return false;
    out = Vec3{static_cast<float>(direction.x), static_cast<float>(direction.y), static_cast<float>(direction.z)};
    return true;
}

}  // namespace

void AaopPages_Box(MessageKind kind, const char* title, const char* text, void* owner) {
    AppMessage message;
    message.kind = kind;
    message.owner = owner;
    message.title = title;
    message.text = text;
    App_ShowMessage(message);
}

void AaopPages_Init(PageInstance& page) { page = PageInstance(); }
void AaopPages_Leave(PageInstance&) {}
bool AaopPages_Allow(PageInstance&) { return true; }

void AaopPages_DrawQuick(PageInstance&) {
    AaopWizardState& s = S();
    Graph_DrawPointsView(s.view, *s.settings, *AaopWizard_CurrentView(), *s.surface, s.items);
}

void AaopPages_DrawFull(PageInstance&) {
    AaopWizardState& s = S();
    Graph_DrawScene(s.view, *s.settings, *AaopWizard_CurrentView(), *s.surface, s.items);
}

// The model direction that the view's rotation takes to (0, 1, 0).
Vec3 AaopPages_ScreenVertical(const ViewSettings& view) {
    const Matrix4& m = view.ViewMatrix;
    Vec3 v{m[1], m[5], m[9]}, out;
    V3_Normalise(v, out);
    return out;
}

void AaopPages_AlignWith(const std::vector<Vec3>& points) {
    AaopWizardState& s = S();
    Vec3 fitted;
    if (!FittedLine(points, fitted)) return;
    const Vec3 vertical = AaopPages_ScreenVertical(s.live);
    if (V3_Dot(fitted, vertical) <= 0) V3_Scale(-1, fitted, fitted);
    const float dot = V3_Dot(fitted, vertical);
    if (dot >= 1.0f) return;
    Vec3 axis;
    V3_Cross(fitted, vertical, axis);
    V3_Normalise(axis, axis);
    const float degrees = static_cast<float>(std::acos(dot) * 180 / kGeometryPi);
    // Of the two senses of the turn, the one that takes the fitted line to
    // the screen's vertical.
    Matrix4 best = s.live.ViewMatrix;
    float bestError = 2;
    for (float sign : {1.0f, -1.0f}) {
        Matrix4 turn, turned;
        M4_MakeAxisRotation(axis, sign * degrees, turn);
        M4_Multiply(s.live.ViewMatrix, turn, turned);
        Vec3 onScreen;
        M4_TransformPoint(turned, fitted, onScreen);
        const float error = std::fabs(onScreen.y - 1.0f) + std::fabs(onScreen.x) + std::fabs(onScreen.z);
        if (error < bestError) {
            bestError = error;
            best = turned;
        }
    }
    s.live.ViewMatrix = best;
    AaopWizard_RepaintView(3);
}

void AaopPages_StoreAxis() {
    AaopWizardState& s = S();
    s.setup.Origin = s.live.ViewOrigin;
    s.setup.LegAxis = AaopPages_ScreenVertical(s.live);
    s.setup.Frame = s.live.ViewMatrix;
    s.setup.Mirror = 0;
}

float AaopPages_HeightOfPosition(int position) {
    AaopWizardState& s = S();
    RECT client = {0, 0, 0, 0};
    GetClientRect(s.view, &client);
    Vec3 origin, point, screen;
    if (Graph_ProjectToScreen(s.live.ViewOrigin, s.view, screen) != 0) return 0;
    const float fromBottom =
        static_cast<float>(client.bottom) * (1.0f - static_cast<float>(position) / AaopWizard_BarHeight());
    if (Graph_UnprojectFromScreen(Vec3{screen.x, fromBottom, screen.z}, s.view, point) != 0) return 0;
    V3_Sub(point, s.live.ViewOrigin, origin);
    return V3_Dot(origin, AaopPages_ScreenVertical(s.live));
}

RECT AaopPages_BeginPixelOverlay() {
    RECT client = {0, 0, 0, 0};
    GetClientRect(S().view, &client);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDrawBuffer(GL_FRONT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, client.right, 0, client.bottom, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_LIGHTING);
    return client;
}

void AaopPages_EndPixelOverlay() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
    glFlush();
}

void AaopPages_DrawAxisLine() {
    AaopWizardState& s = S();
    const Vec3 o = s.live.ViewOrigin, v = AaopPages_ScreenVertical(s.live);
    const float reach = 10000;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDrawBuffer(GL_FRONT);
    glDisable(GL_LIGHTING);
    glDepthMask(GL_FALSE);
    glEnable(GL_DEPTH_TEST);
    glLineWidth(2);
    for (int pass = 0; pass < 2; ++pass) {
        glDepthFunc(pass == 0 ? GL_LEQUAL : GL_GREATER);
        glColor3f(pass == 0 ? 1.0f : 0.0f, pass == 0 ? 0.0f : 1.0f, pass == 0 ? 0.0f : 1.0f);
        glBegin(GL_LINES);
        glVertex3f(o.x - reach * v.x, o.y - reach * v.y, o.z - reach * v.z);
        glVertex3f(o.x + reach * v.x, o.y + reach * v.y, o.z + reach * v.z);
        glEnd();
    }
    glPopAttrib();
    glFlush();
}

void AaopPages_InitSpacing(HWND page) {
    const OrthoSliceSetup& setup = S().setup;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", setup.SliceSpacing);
    SetDlgItemTextA(page, 1328, text);
    std::snprintf(text, sizeof text, "%.2f", setup.AngleSpacing);
    SetDlgItemTextA(page, 1314, text);
    CheckDlgButton(page, 1378, setup.AdaptiveSpacing ? BST_CHECKED : BST_UNCHECKED);
    for (const char* name : {"None", "Left", "Right", "Choose one:"})
        SendDlgItemMessageA(page, 1330, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(page, 1330, CB_SETCURSEL, static_cast<WPARAM>(setup.Side), 0);
    EnableWindow(GetDlgItem(page, 1328), !setup.AdaptiveSpacing);
}

// Only the user's changes count: boxes that a page fills itself notify
// their changes too.
bool AaopPages_SpacingCommand(HWND page, WORD id, WORD code) {
    OrthoSliceSetup& setup = S().setup;
    switch (id) {
        case 1328:
            if (code != EN_KILLFOCUS) return false;
            ReformatSpacing(page, 1328, setup.SliceSpacing);
            return true;
        case 1314:
            if (code != EN_KILLFOCUS) return false;
            ReformatSpacing(page, 1314, setup.AngleSpacing);
            return true;
        case 1378:
            setup.AdaptiveSpacing = IsDlgButtonChecked(page, 1378) == BST_CHECKED;
            EnableWindow(GetDlgItem(page, 1328), !setup.AdaptiveSpacing);
            return true;
        case 1330:
            if (code != CBN_SELCHANGE) return false;
            setup.Side = static_cast<int32_t>(SendDlgItemMessageA(page, 1330, CB_GETCURSEL, 0, 0));
            return true;
    }
    return false;
}

bool AaopPages_SpacingReady(HWND page) {
    OrthoSliceSetup& setup = S().setup;
    if (page) {
        ReformatSpacing(page, 1328, setup.SliceSpacing);
        ReformatSpacing(page, 1314, setup.AngleSpacing);
    }
    if (setup.Side == kOrthoSideUndefined) {
        AaopPages_Box(MessageKind::Info, "Tip", "You need to select the handedness of the scan");
        return false;
    }
    return true;
}
