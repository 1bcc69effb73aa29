#include "app/ui/navigation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

NavigationState* Nav_Create(void* window) {
    NavigationState* state = new (std::nothrow) NavigationState();
    if (state) state->window = window;
    return state;
}

void Nav_Free(NavigationState* state) { delete state; }

void Nav_AddListener(NavigationState& state, NavListenerCallback callback, intptr_t word1, intptr_t word2) {
    state.listeners.push_back({callback, {word1, word2}});
}

void Nav_RemoveListener(NavigationState& state) {
    if (!state.listeners.empty()) state.listeners.pop_back();
}

namespace {

// Only the most recently added listener hears an event.
bool Offer(NavigationState& state, int32_t event, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t& level) {
    if (state.listeners.empty()) return false;
    const ViewListener& l = state.listeners.back();
    return l.callback && l.callback(l.words[0], l.words[1], event, x1, y1, x2, y2, &level) != 0;
}

struct StepRow {
    int32_t command;
    uint32_t bit;
    int kind;  // 0 rotate x, 1 rotate y, 2 rotate z, 3 zoom, 4 pan
    float sign;
    float dx, dy;
};

constexpr StepRow kStepRows[] = {
    {40049, kNavRotateX, 0, -1, 0, 0}, {40050, kNavRotateX, 0, 1, 0, 0}, {40047, kNavRotateY, 1, -1, 0, 0},
    {40051, kNavRotateY, 1, 1, 0, 0},  {40113, kNavRotateZ, 2, 1, 0, 0}, {40114, kNavRotateZ, 2, -1, 0, 0},
    {40045, kNavZoom, 3, 1, 0, 0},     {40046, kNavZoom, 3, -1, 0, 0},   {40175, kNavPan, 4, 1, 0, 1},
    {40176, kNavPan, 4, 1, 0, -1},     {40173, kNavPan, 4, 1, -1, 0},    {40174, kNavPan, 4, 1, 1, 0},
};

const StepRow* FindStep(int32_t command) {
    for (const StepRow& row : kStepRows)
        if (row.command == command) return &row;
    return nullptr;
}

}  // namespace

NavSteps Nav_Steps(int32_t level, bool tarrel) {
    static const NavSteps kNormal[4] = {
        {30.0f, 25.0f, 1.4142135f}, {5.0f, 5.0f, 1.0717734f}, {1.0f, 1.0f, 1.0139595f}, {0.2f, 0.2f, 1.0027764f}};
    static const NavSteps kTarrel[4] = {{15.0f, 15.0f, 1.2f},
                                        {5.0f, 5.0f, 1.0626585f},
                                        {1.66666f, 1.66666f, 1.0204645f},
                                        {0.55555f, 0.55555f, 1.0067755f}};
    const int32_t i = std::clamp(level, 0, 3);
    return tarrel ? kTarrel[i] : kNormal[i];
}

bool Nav_IsStepCommand(int32_t command) { return FindStep(command) != nullptr; }

void Nav_PanBy(ViewSettings& view, float dx, float dy) {
    Matrix4 inverse;
    M4_InvertRigid(view.ViewMatrix, inverse);
    Vec3 move;
    M4_TransformPoint(inverse, {dx, dy, 0}, move);
    V3_Sub(view.ViewOrigin, move, view.ViewOrigin);
}

int32_t Nav_Step(int32_t command, ViewSettings& view, uint32_t allowed, int32_t level, bool tarrel) {
    const StepRow* row = FindStep(command);
    if (!row || !(allowed & row->bit)) return 0;
    const NavSteps steps = Nav_Steps(level, tarrel);
    switch (row->kind) {
        case 0:
            M4_RotateX(row->sign * steps.rotation, view.ViewMatrix);
            break;
        case 1:
            M4_RotateY(row->sign * steps.rotation, view.ViewMatrix);
            break;
        case 2:
            M4_RotateZ(row->sign * steps.rotation, view.ViewMatrix);
            break;
        case 3:
            view.ZoomFactor = row->sign > 0 ? view.ZoomFactor * steps.zoom : view.ZoomFactor / steps.zoom;
            break;
        default:
            Nav_PanBy(view, row->dx * steps.pan, row->dy * steps.pan);
            break;
    }
    return 1;
}

bool Nav_Wheel(ViewSettings& view, uint32_t allowed, int32_t amount) {
    if (!(allowed & kNavZoom)) return false;
    const int32_t magnitude = amount < 0 ? -amount : amount;
    const int32_t notches = (magnitude + 119) / 120;
    for (int32_t i = 0; i < notches; ++i)
        view.ZoomFactor = amount > 0 ? view.ZoomFactor * 1.1f : view.ZoomFactor / 1.1f;
    return true;
}

Vec3 Nav_SpherePoint(int32_t px, int32_t py, int32_t width, int32_t height) {
    const float r = std::min(width, height) / 2.0f;
    float x = (px - width / 2.0f) / r, y = -(py - height / 2.0f) / r;
    const float s = x * x + y * y;
    if (1.0f - s >= 0.0f) return {x, y, std::sqrt(1.0f - s)};
    // Outside the circle the point is inverted onto the far half of the sphere.
    x /= s;
    y /= s;
    const float rest = 1.0f - x * x - y * y;
    return {x, y, -std::sqrt(rest > 0.0f ? rest : 0.0f)};
}

void Nav_Trackball(ViewSettings& view, uint32_t allowed, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t width,
                   int32_t height) {
    if (width <= 0 || height <= 0) return;
    const Vec3 s0 = Nav_SpherePoint(x0, y0, width, height), s1 = Nav_SpherePoint(x1, y1, width, height);
    Vec3 axis;
    V3_Cross(s0, s1, axis);
    V3_Normalise(axis, axis);
    // Rounding can carry the dot product of two unit vectors past 1, where
    // acos has no value; a NaN angle would poison the view for good.
    const float dot = std::clamp(V3_Dot(s0, s1), -1.0f, 1.0f);
    const float angle = std::acos(dot) * 180.0f / 3.1415927f;
    const bool x = allowed & kNavRotateX, y = allowed & kNavRotateY;
    if (x && !(allowed & (kNavRotateY | kNavRotateZ)))
        M4_RotateX(axis.x * angle, view.ViewMatrix);
    else if (y && !(allowed & (kNavRotateX | kNavRotateZ)))
        M4_RotateY(axis.y * angle, view.ViewMatrix);
    else if (x || y)
        M4_RotateAxis(axis, angle, view.ViewMatrix);
    else
        M4_RotateZ(axis.z * angle, view.ViewMatrix);
}

int32_t Nav_BeginDrag(NavigationState& state, int32_t x, int32_t y, bool alt, bool rectangleMode) {
    state.dragging = true;
    state.leftStartX = state.leftLastX = x;
    state.leftStartY = state.leftLastY = y;
    state.panning = alt;
    state.rectangleMode = rectangleMode;
    return -1;
}

int32_t Nav_DragMove(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y) {
    int32_t level = -1;
    if (Offer(state, kNavLeftDragStep, state.leftLastX, state.leftLastY, x, y, level)) {
        level = 0;
    } else if (state.dragging) {
        const bool moved = x != state.leftLastX || y != state.leftLastY;
        if (state.rectangleMode) {
            if (moved) {
                state.rectangle = {std::min(state.leftStartX, x), std::min(state.leftStartY, y),
                                   std::max(state.leftStartX, x), std::max(state.leftStartY, y)};
                state.rectanglePresent = true;
                level = 0;
            }
        } else if (state.panning) {
            Vec3 w;
            if ((state.allowed & kNavPan) && moved && port.Project(view.ViewOrigin, w)) {
                w.x -= static_cast<float>(x - state.leftLastX);
                w.y += static_cast<float>(y - state.leftLastY);
                Vec3 origin;
                if (port.Unproject(w, origin)) view.ViewOrigin = origin;
                level = 1;
            }
        } else if ((state.allowed & (kNavRotateX | kNavRotateY | kNavRotateZ)) && moved) {
            int32_t w, h;
            port.ClientSize(w, h);
            Nav_Trackball(view, state.allowed, state.leftLastX, state.leftLastY, x, y, w, h);
            level = 1;
        }
    }
    state.leftLastX = x;
    state.leftLastY = y;
    return level;
}

int32_t Nav_EndDrag(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y) {
    int32_t level = -1;
    if (state.dragging) {
        state.dragging = false;
        if (state.rectangleMode && state.rectanglePresent) {
            // The rectangle stays for the command that uses it.
        } else if (x != state.leftStartX || y != state.leftStartY) {
            Offer(state, kNavLeftDragEnd, state.leftStartX, state.leftStartY, x, y, level);
            level = 3;
        } else if (Offer(state, kNavLeftClick, state.leftStartX, state.leftStartY, x, y, level)) {
            level = 3;
        } else if (state.allowed & kNavPan) {
            Vec3 point;
            if (port.ReadDepth(x, y, point)) {
                view.ViewOrigin = point;
                port.CentreCursor();
                level = 3;
            } else {
                port.Beep();
            }
        }
    }
    state.leftLastX = x;
    state.leftLastY = y;
    return level;
}

int32_t Nav_BeginCapture(NavigationState& state, int32_t x, int32_t y) {
    state.capturing = true;
    state.rightStartX = state.rightLastX = x;
    state.rightStartY = state.rightLastY = y;
    return -1;
}

int32_t Nav_CaptureMove(NavigationState& state, NavViewPort& port, ViewSettings& view, int32_t x, int32_t y) {
    int32_t level = -1;
    if (Offer(state, kNavRightDragStep, state.rightLastX, state.rightLastY, x, y, level)) {
        level = 0;
    } else if (state.capturing && (state.allowed & kNavZoom) && (x != state.rightLastX || y != state.rightLastY)) {
        int32_t w, h;
        port.ClientSize(w, h);
        if (w > 0 && h > 0) {
            const float d = static_cast<float>(x - state.rightLastX) / w - static_cast<float>(y - state.rightLastY) / h;
            view.ZoomFactor = d > 0 ? view.ZoomFactor * (1 + 2 * d) : view.ZoomFactor / (1 - 2 * d);
            level = 1;
        }
    }
    state.rightLastX = x;
    state.rightLastY = y;
    return level;
}

int32_t Nav_EndCapture(NavigationState& state, int32_t x, int32_t y) {
    int32_t level = -1;
    if (state.capturing) {
        state.capturing = false;
        if (x != state.rightStartX || y != state.rightStartY) {
            const bool consumed = Offer(state, kNavRightDragEnd, state.rightStartX, state.rightStartY, x, y, level);
            if (consumed || (state.allowed & kNavZoom)) level = 3;
        } else if (Offer(state, kNavRightClick, state.rightStartX, state.rightStartY, x, y, level)) {
            level = 3;
        }
    }
    state.rightLastX = x;
    state.rightLastY = y;
    return level;
}

void Nav_ResetDrag(NavigationState& state) { state.rectanglePresent = false; }

bool Nav_PixelInRectangle(const NavigationState& state, float x, float y) {
    if (!state.rectanglePresent) return false;
    const NavRect& r = state.rectangle;
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

bool Nav_PointInRectangle(const NavigationState& state, NavViewPort& port, const Vec3& point) {
    if (!state.rectanglePresent) return false;
    Vec3 window;
    if (!port.Project(point, window)) return false;
    int32_t width = 0, height = 0;
    port.ClientSize(width, height);
    // Window y runs upwards, the rectangle's rows downwards from the top.
    const float column = std::floor(window.x), row = static_cast<float>(height - 1) - std::floor(window.y);
    return Nav_PixelInRectangle(state, column, row);
}

namespace {

// The box, in view space, of the points added to it; the view's origin moves
// to its centre. It needs no memory, so that centring on a scan of any size
// cannot fail.
struct ViewBox {
    const Matrix4& viewMatrix;
    Vec3 lo = {0, 0, 0}, hi = {0, 0, 0};
    bool empty = true;

    void Add(const Vec3& point) {
        Vec3 p;
        M4_TransformPoint(viewMatrix, point, p);
        if (empty) lo = hi = p;
        empty = false;
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }

    bool CentreView(ViewSettings& view) const {
        if (empty) return false;
        const Vec3 centre = {(lo.x + hi.x) / 2, (lo.y + hi.y) / 2, (lo.z + hi.z) / 2};
        Matrix4 inverse;
        M4_InvertRigid(view.ViewMatrix, inverse);
        M4_TransformPoint(inverse, centre, view.ViewOrigin);
        return true;
    }
};

}  // namespace

bool Nav_CenterOnPoints(ViewSettings& view, const Vec3* points, int32_t count) {
    if (!points) return false;
    ViewBox box{view.ViewMatrix};
    for (int32_t i = 0; i < count; ++i) box.Add(points[i]);
    return box.CentreView(view);
}

bool Nav_CenterOnScan(ViewSettings& view, RawData& raw) {
    if (!raw.Points || !raw.Sweeps || !raw.SweepFirstPoint) return false;
    RawData_NumberPointRuns(raw);
    ViewBox box{view.ViewMatrix};
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (raw.Sweeps[s].Flags & kSweepHidden) continue;
        const int32_t end = std::min(raw.SweepFirstPoint[s + 1], raw.NumPoints);
        for (int32_t i = raw.SweepFirstPoint[s]; i < end; ++i)
            if (raw.Points[i].Run & kRunVisible) box.Add(raw.Points[i].Vertex);
    }
    return box.CentreView(view);
}

void Nav_Reset(ViewSettings& view, const ViewSettings& defaults) {
    view.ViewMatrix = defaults.ViewMatrix;
    view.ViewOrigin = defaults.ViewOrigin;
    view.ZoomFactor = defaults.ZoomFactor;
}

namespace {

// The staging profile's pose as the view sees it: reference times the
// inverse wand, then the scan's alignment.
Matrix4 StagingViewRotation(const RawData& raw) {
    const Profile& p = raw.Staging;
    Matrix4 r, product;
    M4_InvertRigid(p.WandRxMatrix, r);
    if (p.ReferenceEnabled) {
        M4_Multiply(r, p.ReferenceRxMatrix, product);
        r = product;
    }
    M4_Multiply(raw.ScanAlignment, r, product);
    return product;
}

}  // namespace

int32_t Nav_AutoViewpoint(ViewSettings& view, const RawData& raw, bool pointsRequired) {
    const Profile& p = raw.Staging;
    const bool hasPoints = p.NumPoints > 0 && p.Points;
    if (!hasPoints && pointsRequired) return 0;
    Matrix4 r = StagingViewRotation(raw);
    r[12] = r[13] = r[14] = 0;
    view.ViewMatrix = r;
    if (!hasPoints) return 0;
    V3_Centroid(p.Points, p.NumPoints, view.ViewOrigin);
    return 1;
}

void Nav_ViewOntoPose(ViewSettings& view, const Matrix4& pose) {
    Matrix4 turned = pose;
    turned[12] = turned[13] = turned[14] = 0;
    M4_RotateY(90, turned);
    M4_RotateZ(90, turned);
    M4_InvertRigid(turned, view.ViewMatrix);
    view.ViewOrigin = {pose[12], pose[13], pose[14]};
}

bool Nav_WandFacesViewer(const ViewSettings& view, const RawData& raw) {
    const Profile& p = raw.Staging;
    Matrix4 inverseAlignment, inverseReference, m, product;
    M4_InvertRigid(raw.ScanAlignment, inverseAlignment);
    M4_InvertRigid(p.ReferenceRxMatrix, inverseReference);
    M4_Multiply(p.WandRxMatrix, inverseAlignment, m);
    M4_Multiply(inverseReference, m, product);
    M4_Multiply(view.ViewMatrix, product, m);
    Vec3 out;
    M4_TransformPoint(m, {0, 0, -1}, out);
    return out.z > 0;
}

std::string Nav_ReadoutText(const Vec3* point, bool imperial, const std::string& millimetres,
                            const std::string& inches) {
    if (!point) return std::string();
    const double x = point->x, y = point->y, z = point->z;
    double d = std::sqrt(x * x + y * y + z * z);
    char text[256];
    if (imperial) {
        std::snprintf(text, sizeof text, "%.2f %.2f %.2f (%.2f) %s", x / 25.4, y / 25.4, z / 25.4, d / 25.4,
                      inches.c_str());
    } else {
        std::snprintf(text, sizeof text, "%.1f %.1f %.1f (%.1f) %s", x, y, z, d, millimetres.c_str());
    }
    return text;
}
