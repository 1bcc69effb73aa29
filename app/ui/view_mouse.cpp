#include "app/ui/view_mouse.h"

#include <cmath>

void ViewMouseSettings_SetOpenValues(ViewMouseSettings& settings, ViewMouseTarget* target) {
    settings = ViewMouseSettings();
    settings.target = target;
}

void MakeIdentityMatrix(Matrix4& out) { M4_Identity(out); }

void AxisAngleToMatrix(const Vec3& axis, float scale, Matrix4& out) {
    MakeIdentityMatrix(out);
    const float length = V3_Length(axis);
    if (!(length >= kViewMouseMinRotation)) return;
    const double x = axis.x / length, y = axis.y / length, z = axis.z / length;
    const double theta = static_cast<double>(length) * scale;
    const double c = std::cos(theta), s = std::sin(theta), t = 1.0 - c;
    const double rows[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                               {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                               {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) out[r * 4 + k] = static_cast<float>(rows[r][k]);
}

void KeepDominantAxis(float* values, int32_t count) {
    if (!values || count <= 0) return;
    int32_t keep = 0;
    for (int32_t i = 1; i < count; ++i)
        if (std::fabs(values[i]) > std::fabs(values[keep])) keep = i;
    for (int32_t i = 0; i < count; ++i)
        if (i != keep) values[i] = 0.0f;
}

namespace {

// Turns the view about the screen axes, keeping the rotation centre where it
// is on the screen.
void Turn(ViewSettings& view, const Vec3& rotation, const Vec3& centre) {
    Vec3 offset, screen;
    V3_Sub(centre, view.ViewOrigin, offset);
    M4_TransformPoint(view.ViewMatrix, offset, screen);
    Matrix4 turn;
    AxisAngleToMatrix(rotation, 1.0f, turn);
    M4_Multiply(turn, view.ViewMatrix, view.ViewMatrix);  // the present view first, then the turn
    Matrix4 inverse;
    M4_InvertRigid(view.ViewMatrix, inverse);
    Vec3 back, moved;
    M4_TransformPoint(inverse, screen, back);
    V3_Add(back, view.ViewOrigin, moved);
    Vec3 shift;
    V3_Sub(centre, moved, shift);
    V3_Add(view.ViewOrigin, shift, view.ViewOrigin);
}

// Zooms by 1.05 per unit of push (a push into the cap zooms out) and pans by
// the same screen distance at every magnification.
void ZoomAndPan(ViewSettings& view, float tx, float ty, float tz) {
    view.ZoomFactor *=
        tz <= 0.0f ? static_cast<float>(std::pow(1.05, -tz)) : static_cast<float>(std::pow(1.0 / 1.05, tz));
    Matrix4 inverse;
    M4_InvertRigid(view.ViewMatrix, inverse);
    Vec3 pan;
    M4_TransformPoint(inverse, {tx / view.ZoomFactor, ty / view.ZoomFactor, 0.0f}, pan);
    V3_Add(view.ViewOrigin, pan, view.ViewOrigin);
}

}  // namespace

void ViewMouse_OnMotion(ViewMouseSettings& settings, int32_t eventType, const int32_t motion[6]) {
    ViewMouseTarget* target = settings.target;
    if (!target || !target->view) return;
    float v[6];
    for (int i = 0; i < 6; ++i) v[i] = static_cast<float>(motion[i]);
    if (settings.dominantAxisOnly) KeepDominantAxis(v, 6);
    if (!settings.translationsOn) v[0] = v[1] = v[2] = 0.0f;
    if (!settings.rotationsOn) v[3] = v[4] = v[5] = 0.0f;
    const float s = settings.overallScale;
    const float tx = -v[0] * settings.translationScale[0] * s, ty = -v[1] * settings.translationScale[1] * s;
    const float tz = v[2] * settings.translationScale[2] * s;
    const Vec3 rotation = {-v[3] * settings.rotationScale[0] * s, -v[4] * settings.rotationScale[1] * s,
                           v[5] * settings.rotationScale[2] * s};
    ViewSettings& view = *target->view;
    Vec3 centre = view.ViewOrigin;  // without a centre of its own the view turns about its origin
    if (target->rotationCentre) target->rotationCentre(centre);
    Turn(view, rotation, centre);
    ZoomAndPan(view, tx, ty, tz);
    if (target->repaint) target->repaint(eventType == kViewMouseRestEvent);
}

void ViewMouse_OnButtonReleased(ViewMouseSettings& settings, int32_t released) {
    ViewMouseTarget* target = settings.target;
    if (released != kViewMouseFitButton || !target || !target->view) return;
    target->view->ZoomFactor = 1.0f;
    if (target->centreView) target->centreView();
    if (target->repaint) target->repaint(true);
}
