#include "app/ui/navigation.h"
#include "app/export/tests/failing_new.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

ViewSettings IdentityView() {
    ViewSettings view = {};
    M4_Identity(view.ViewMatrix);
    view.ZoomFactor = 1;
    return view;
}

bool Finite(const Matrix4& m) {
    for (float v : m.m)
        if (!std::isfinite(v)) return false;
    return true;
}

TEST(NavSteps, TableOfBothEditions) {
    struct Case {
        int32_t level;
        bool tarrel;
        NavSteps steps;
    };
    const Case cases[] = {{0, false, {30, 25, 1.4142135f}},
                          {1, false, {5, 5, 1.0717734f}},
                          {2, false, {1, 1, 1.0139595f}},
                          {3, false, {0.2f, 0.2f, 1.0027764f}},
                          {0, true, {15, 15, 1.2f}},
                          {1, true, {5, 5, 1.0626585f}},
                          {2, true, {1.66666f, 1.66666f, 1.0204645f}},
                          {3, true, {0.55555f, 0.55555f, 1.0067755f}}};
    for (const Case& c : cases) {
        const NavSteps s = Nav_Steps(c.level, c.tarrel);
        EXPECT_EQ(s.rotation, c.steps.rotation) << c.level << c.tarrel;
        EXPECT_EQ(s.pan, c.steps.pan) << c.level << c.tarrel;
        EXPECT_EQ(s.zoom, c.steps.zoom) << c.level << c.tarrel;
    }
    EXPECT_FLOAT_EQ(Nav_Steps(1, false).zoom, std::pow(2.0f, 0.1f));
    EXPECT_FLOAT_EQ(Nav_Steps(3, true).zoom, std::pow(1.2f, 1.0f / 27));
}

TEST(NavSteps, EachCommandMovesItsWayAndTheMaskForbids) {
    struct Case {
        int32_t command;
        uint32_t bit;
    };
    const Case cases[] = {{40049, kNavRotateX}, {40050, kNavRotateX}, {40047, kNavRotateY}, {40051, kNavRotateY},
                          {40113, kNavRotateZ}, {40114, kNavRotateZ}, {40045, kNavZoom},    {40046, kNavZoom},
                          {40175, kNavPan},     {40176, kNavPan},     {40173, kNavPan},     {40174, kNavPan}};
    for (const Case& c : cases) {
        ViewSettings view = IdentityView(), before = view;
        EXPECT_EQ(Nav_Step(c.command, view, kNavAll & ~c.bit, 0, false), 0) << c.command;
        EXPECT_EQ(std::memcmp(&view, &before, sizeof view), 0) << c.command;
        EXPECT_EQ(Nav_Step(c.command, view, c.bit, 0, false), 1) << c.command;
        EXPECT_NE(std::memcmp(&view, &before, sizeof view), 0) << c.command;
    }
    ViewSettings view = IdentityView();
    Nav_Step(40045, view, kNavAll, 0, false);
    EXPECT_FLOAT_EQ(view.ZoomFactor, 1.4142135f);
    Nav_Step(40046, view, kNavAll, 0, false);
    EXPECT_FLOAT_EQ(view.ZoomFactor, 1.0f);
    // Translate Right moves the scene right: the origin moves left.
    Nav_Step(40174, view, kNavAll, 1, false);
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, -5);
    // Rotate Right turns about the screen's y axis, after the turn already made.
    ViewSettings turned = IdentityView();
    M4_MakeRotationX(90, turned.ViewMatrix);
    Nav_Step(40051, turned, kNavAll, 0, false);
    Matrix4 expected;
    M4_MakeRotationX(90, expected);
    M4_RotateY(30, expected);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(turned.ViewMatrix[i], expected[i]);
    EXPECT_FALSE(Nav_IsStepCommand(40009));
}

TEST(NavWheel, NotchesRoundUpAndTheMaskForbids) {
    struct Case {
        int32_t amount;
        float zoom;
    };
    const Case cases[] = {{120, 1.1f}, {121, 1.1f * 1.1f}, {-120, 1 / 1.1f}, {240, 1.1f * 1.1f}, {0, 1}};
    for (const Case& c : cases) {
        ViewSettings view = IdentityView();
        EXPECT_TRUE(Nav_Wheel(view, kNavAll, c.amount));
        EXPECT_FLOAT_EQ(view.ZoomFactor, c.zoom) << c.amount;
    }
    ViewSettings view = IdentityView();
    EXPECT_FALSE(Nav_Wheel(view, kNavAll & ~kNavZoom, 120));
    EXPECT_EQ(view.ZoomFactor, 1);
}

// A port with a plain pixel projection: world x, y are pixels, y up.
class FakePort : public NavViewPort {
  public:
    void ClientSize(int32_t& w, int32_t& h) override { w = 400, h = 200; }
    bool Project(const Vec3& p, Vec3& out) override { return out = p, projects; }
    bool Unproject(const Vec3& p, Vec3& out) override { return out = p, true; }
    bool ReadDepth(int32_t x, int32_t y, Vec3& out) override {
        if (!geometry) return false;
        out = {static_cast<float>(x), static_cast<float>(y), 7};
        return true;
    }
    void CentreCursor() override { ++centred; }
    void Beep() override { ++beeps; }
    bool geometry = true;
    bool projects = true;
    int centred = 0, beeps = 0;
};

TEST(NavDrags, RightDragZoomsByTheShareOfTheWindow) {
    FakePort port;
    NavigationState state;
    ViewSettings view = IdentityView();
    Nav_BeginCapture(state, 100, 100);
    EXPECT_EQ(Nav_CaptureMove(state, port, view, 200, 100), 1);  // +w/4
    EXPECT_FLOAT_EQ(view.ZoomFactor, 1.5f);
    EXPECT_EQ(Nav_CaptureMove(state, port, view, 100, 100), 1);  // -w/4
    EXPECT_FLOAT_EQ(view.ZoomFactor, 1.0f);
    EXPECT_EQ(Nav_EndCapture(state, 100, 100), -1);  // released where pressed: a click nobody takes
    Nav_BeginCapture(state, 10, 10);
    EXPECT_EQ(Nav_EndCapture(state, 50, 10), 3);
    EXPECT_EQ(Nav_EndCapture(state, 50, 10), -1);  // no press
}

TEST(NavDrags, LeftClickRecentresOnGeometryAndBeepsOnBackground) {
    FakePort port;
    NavigationState state;
    ViewSettings view = IdentityView();
    Nav_BeginDrag(state, 30, 40, false, false);
    EXPECT_EQ(Nav_EndDrag(state, port, view, 30, 40), 3);
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, 30);
    EXPECT_FLOAT_EQ(view.ViewOrigin.z, 7);
    EXPECT_EQ(port.centred, 1);
    port.geometry = false;
    Nav_BeginDrag(state, 5, 5, false, false);
    EXPECT_EQ(Nav_EndDrag(state, port, view, 5, 5), -1);
    EXPECT_EQ(port.beeps, 1);
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, 30);
}

TEST(NavDrags, PanFollowsTheCursorAndRectanglesWaitForTheirCommand) {
    FakePort port;
    NavigationState state;
    ViewSettings view = IdentityView();
    Nav_BeginDrag(state, 100, 100, true, false);
    EXPECT_EQ(Nav_DragMove(state, port, view, 110, 95), 1);
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, -10);  // window x less the move
    EXPECT_FLOAT_EQ(view.ViewOrigin.y, -5);   // window y (up) plus the move (down)
    EXPECT_EQ(Nav_EndDrag(state, port, view, 110, 95), 3);

    Nav_BeginDrag(state, 50, 60, false, true);
    EXPECT_EQ(Nav_DragMove(state, port, view, 20, 90), 0);
    EXPECT_TRUE(state.rectanglePresent);
    EXPECT_EQ(state.rectangle.left, 20);
    EXPECT_EQ(state.rectangle.top, 60);
    EXPECT_EQ(state.rectangle.right, 50);
    EXPECT_EQ(state.rectangle.bottom, 90);
    EXPECT_EQ(Nav_EndDrag(state, port, view, 20, 90), -1);
    EXPECT_TRUE(Nav_PixelInRectangle(state, 30, 70));
    EXPECT_FALSE(Nav_PixelInRectangle(state, 10, 70));
    // World points by the pixel they project onto: window y runs upwards
    // from the bottom row of the 200-row client area.
    struct PointCase {
        Vec3 world;
        bool inside;
    };
    for (const PointCase& c : {PointCase{{30.5f, 129.5f, 0}, true},    // pixel (30, 70)
                               PointCase{{20.0f, 109.0f, 0}, true},    // (20, 90): the corner is inside
                               PointCase{{50.9f, 139.9f, 0}, true},    // (50, 60)
                               PointCase{{19.9f, 129.5f, 0}, false},   // column 19
                               PointCase{{30.5f, 108.9f, 0}, false},   // row 91
                               PointCase{{30.5f, 140.0f, 0}, false}})  // row 59
        EXPECT_EQ(Nav_PointInRectangle(state, port, c.world), c.inside) << c.world.x << " " << c.world.y;
    port.projects = false;
    EXPECT_FALSE(Nav_PointInRectangle(state, port, {30.5f, 129.5f, 0}));
    port.projects = true;
    Nav_ResetDrag(state);
    EXPECT_FALSE(Nav_PixelInRectangle(state, 30, 70));
    EXPECT_FALSE(Nav_PointInRectangle(state, port, {30.5f, 129.5f, 0}));
}

int32_t Consume(intptr_t calls, intptr_t, int32_t event, int32_t, int32_t, int32_t, int32_t, int32_t* level) {
    reinterpret_cast<std::vector<int32_t>*>(calls)->push_back(event);
    *level = 2;
    return 1;
}

TEST(NavDrags, OnlyTheNewestListenerHearsAndConsumes) {
    FakePort port;
    NavigationState state;
    ViewSettings view = IdentityView();
    std::vector<int32_t> first, second;
    Nav_AddListener(state, Consume, reinterpret_cast<intptr_t>(&first), 0);
    Nav_AddListener(state, Consume, reinterpret_cast<intptr_t>(&second), 0);
    Nav_BeginDrag(state, 0, 0, false, false);
    EXPECT_EQ(Nav_DragMove(state, port, view, 10, 0), 0);
    EXPECT_EQ(Nav_EndDrag(state, port, view, 10, 0), 3);
    EXPECT_EQ(second, std::vector<int32_t>({kNavLeftDragStep, kNavLeftDragEnd}));
    EXPECT_TRUE(first.empty());
    Nav_RemoveListener(state);
    Nav_RemoveListener(state);
    Nav_RemoveListener(state);  // none left: nothing happens
    EXPECT_TRUE(state.listeners.empty());
}

TEST(NavTrackball, OutsideTheCircleMapsToTheFarHalf) {
    const Vec3 inside = Nav_SpherePoint(200, 100, 400, 200);
    EXPECT_FLOAT_EQ(inside.z, 1);
    // x = 2 (r = 100): divided by s = 4 gives 0.5, z = -sqrt(0.75)
    const Vec3 outside = Nav_SpherePoint(400, 100, 400, 200);
    EXPECT_FLOAT_EQ(outside.x, 0.5f);
    EXPECT_FLOAT_EQ(outside.z, -std::sqrt(0.75f));
}

TEST(NavTrackball, ADotProductRoundedAboveOneLeavesAFiniteView) {
    // Two pixels whose sphere points are equal in float but not quite unit
    // long: their dot product rounds above 1.
    bool sawAboveOne = false;
    for (int x = 0; x < 400 && !sawAboveOne; ++x) {
        const Vec3 s = Nav_SpherePoint(x, 37, 400, 200);
        if (V3_Dot(s, s) > 1.0f) {
            sawAboveOne = true;
            ViewSettings view = IdentityView();
            Nav_Trackball(view, kNavAll, x, 37, x, 37, 400, 200);
            EXPECT_TRUE(Finite(view.ViewMatrix)) << x;
        }
    }
    EXPECT_TRUE(sawAboveOne);
}

TEST(NavTrackball, MaskOfRotateXOnlyTurnsAboutTheScreenX) {
    ViewSettings view = IdentityView();
    Nav_Trackball(view, kNavRotateX, 200, 100, 230, 70, 400, 200);
    // A turn about x keeps the x axis.
    EXPECT_FLOAT_EQ(view.ViewMatrix[0], 1);
    EXPECT_FLOAT_EQ(view.ViewMatrix[1], 0);
    EXPECT_FLOAT_EQ(view.ViewMatrix[2], 0);
    EXPECT_LT(view.ViewMatrix[5], 1);
}

TEST(NavCommands, CenterResetAndAutomaticViewpoint) {
    ViewSettings view = IdentityView();
    const Vec3 points[] = {{0, 0, 0}, {10, 20, -4}, {4, 2, 8}};
    EXPECT_TRUE(Nav_CenterOnPoints(view, points, 3));
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, 5);
    EXPECT_FLOAT_EQ(view.ViewOrigin.y, 10);
    EXPECT_FLOAT_EQ(view.ViewOrigin.z, 2);
    EXPECT_FALSE(Nav_CenterOnPoints(view, points, 0));
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, 5);

    ViewSettings defaults = IdentityView();
    defaults.ZoomFactor = 3;
    defaults.DisplayType = 1;
    view.DisplayType = 2;
    view.ZoomFactor = 9;
    Nav_Reset(view, defaults);
    EXPECT_EQ(view.ZoomFactor, 3);
    EXPECT_EQ(view.DisplayType, 2);
    EXPECT_EQ(view.ViewOrigin.x, 0);

    RawData raw = {};
    M4_Identity(raw.ScanAlignment);
    M4_MakeTranslation({5, 6, 7}, raw.Staging.WandRxMatrix);
    M4_RotateZ(90, raw.Staging.WandRxMatrix);
    M4_Identity(raw.Staging.ReferenceRxMatrix);
    ViewSettings follow = IdentityView();
    EXPECT_EQ(Nav_AutoViewpoint(follow, raw, true), 0);
    EXPECT_FLOAT_EQ(follow.ViewMatrix[0], 1);  // unchanged without points
    EXPECT_EQ(Nav_AutoViewpoint(follow, raw, false), 0);
    EXPECT_NEAR(follow.ViewMatrix[1], -1, 1e-6);  // the inverse turn, no translation
    EXPECT_EQ(follow.ViewMatrix[12], 0);
    Vec3 staged[] = {{1, 1, 1}, {3, 5, 1}};
    raw.Staging.Points = staged;
    raw.Staging.NumPoints = 2;
    EXPECT_EQ(Nav_AutoViewpoint(follow, raw, true), 1);
    EXPECT_FLOAT_EQ(follow.ViewOrigin.x, 2);
    EXPECT_FLOAT_EQ(follow.ViewOrigin.y, 3);

    // A new stylus item: the view undoes the item's turn (pose turned about
    // y, then z) and centres on its tip; a pose held along the view's axes
    // that way leaves the view unturned.
    Matrix4 pose;
    M4_Identity(pose);
    M4_RotateZ(-90, pose);
    M4_RotateY(-90, pose);
    pose[12] = -3, pose[13] = 4, pose[14] = 12;
    ViewSettings onto = IdentityView();
    M4_MakeRotationY(40, onto.ViewMatrix);
    Nav_ViewOntoPose(onto, pose);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(onto.ViewMatrix[i], i % 5 == 0 ? 1 : 0, 1e-6) << i;
    EXPECT_FLOAT_EQ(onto.ViewOrigin.x, -3);
    EXPECT_FLOAT_EQ(onto.ViewOrigin.z, 12);
    M4_MakeRotationY(30, pose);
    Nav_ViewOntoPose(onto, pose);
    Vec3 axis;
    M4_TransformPoint(onto.ViewMatrix, {1, 0, 0}, axis);
    EXPECT_NEAR(V3_Length(axis), 1, 1e-6);  // a rotation
    EXPECT_EQ(onto.ViewMatrix[12], 0);
}

TEST(NavCommands, CenterOnScanTakesTheMarkedPointsOfVisibleSweeps) {
    ScanPoint points[4] = {};
    points[0].Vertex = {0, 0, 0};
    points[1].Vertex = {10, 0, 0};
    points[2].Vertex = {100, 100, 100};  // hidden sweep
    points[3].Vertex = {4, 4, 4};
    SweepRecord sweeps[2] = {};
    sweeps[1].Flags = kSweepHidden;
    int32_t firstPoint[3] = {0, 2, 3};
    RawData raw = {};
    raw.Points = points;
    raw.NumPoints = raw.MaxPoints = 3;
    raw.Sweeps = sweeps;
    raw.NumSweeps = raw.MaxSweeps = 2;
    raw.SweepFirstPoint = firstPoint;
    ViewSettings view = IdentityView();
    // Centring needs no memory: it works, and throws nothing, when none is left.
    g_allocationsLeft = 0;
    EXPECT_TRUE(Nav_CenterOnScan(view, raw));
    g_allocationsLeft = -1;
    EXPECT_FLOAT_EQ(view.ViewOrigin.x, 5);
    EXPECT_FLOAT_EQ(view.ViewOrigin.y, 0);
    sweeps[0].Flags = kSweepHidden;
    view.ViewOrigin = {1, 2, 3};
    EXPECT_FALSE(Nav_CenterOnScan(view, raw));
    EXPECT_FLOAT_EQ(view.ViewOrigin.y, 2);
}

TEST(NavReadout, MillimetresAndInches) {
    const Vec3 p = {25.4f, 0, 0};
    EXPECT_EQ(Nav_ReadoutText(&p, true, "mm", "in"), "1.00 0.00 0.00 (1.00) in");
    const Vec3 q = {3, 4, 0};
    EXPECT_EQ(Nav_ReadoutText(&q, false, "mm", "in"), "3.0 4.0 0.0 (5.0) mm");
    EXPECT_EQ(Nav_ReadoutText(nullptr, false, "mm", "in"), "");
}

}  // namespace
