// The 3D mouse's maths and handlers: the axis-angle rotation against an
// independent one (Eigen, where the build has it), the dominant axis, and the
// motion and button handlers over a table of the device's readings.
#include "app/ui/view_mouse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#if __has_include(<Eigen/Geometry>)
#include <Eigen/Geometry>
#define VIEW_MOUSE_HAVE_EIGEN 1
#endif

namespace {

#ifdef VIEW_MOUSE_HAVE_EIGEN
TEST(ViewMouseMaths, AxisAngleMatchesAnIndependentRotation) {
    const Vec3 axes[] = {{1, 0, 0}, {0, 2, 0}, {0, 0, -3}, {0.3f, -0.5f, 0.8f}, {-2, 1, 0.25f}, {0.01f, 0.02f, 0}};
    for (const Vec3& a : axes) {
        for (const float scale : {0.1f, 1.0f, 2.5f}) {
            Matrix4 m;
            AxisAngleToMatrix(a, scale, m);
            const Eigen::Vector3d v(a.x, a.y, a.z);
            const Eigen::Matrix3d r = Eigen::AngleAxisd(v.norm() * scale, v.normalized()).toRotationMatrix();
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) EXPECT_NEAR(m[i * 4 + j], r(i, j), 2e-6) << i << "," << j;
                EXPECT_EQ(m[i * 4 + 3], 0.0f);
                EXPECT_EQ(m[12 + i], 0.0f);
            }
            EXPECT_EQ(m[15], 1.0f);
        }
    }
}
#endif

TEST(ViewMouseMaths, ShortAxisGivesTheIdentity) {
    Matrix4 identity, m;
    MakeIdentityMatrix(identity);
    for (const Vec3& a : {Vec3{0, 0, 0}, Vec3{0.00005f, 0, 0}, Vec3{0, 0.00007f, 0.00007f}}) {
        AxisAngleToMatrix(a, 1000.0f, m);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], identity[i]);
    }
}

TEST(ViewMouseMaths, KeepDominantAxis) {
    struct Case {
        std::vector<float> in, out;
    } cases[] = {
        {{10, -40, 0, 40, 0, 0}, {0, -40, 0, 0, 0, 0}},  // the first of equal magnitudes stays
        {{1, 2, 3, -4, 0, 3.5f}, {0, 0, 0, -4, 0, 0}},
        {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}},
        {{-7}, {-7}},
    };
    for (Case& c : cases) {
        KeepDominantAxis(c.in.data(), static_cast<int32_t>(c.in.size()));
        EXPECT_EQ(c.in, c.out);
    }
}

// The handlers' view of the window: a centre that never moves, and the calls.
struct Window {
    static Window* current;
    Vec3 centre = {5, -4, 7};
    std::vector<int> repaints;  // 1 at rest, 0 moving
    int centred = 0;
};
Window* Window::current = nullptr;

struct Handlers {
    Handlers() {
        Window::current = &window;
        ViewSettings_SetDefaults(view);
        MakeIdentityMatrix(view.ViewMatrix);
        view.ViewOrigin = {1, 2, 3};
        view.ZoomFactor = 2.0f;
        target.view = &view;
        target.repaint = [](bool atRest) { Window::current->repaints.push_back(atRest ? 1 : 0); };
        target.centreView = [] { ++Window::current->centred; };
        target.rotationCentre = [](Vec3& c) { c = Window::current->centre; };
        ViewMouseSettings_SetOpenValues(settings, &target);
    }
    // Where the rotation centre lands on the screen, before zoom.
    Vec3 CentreOnScreen() const {
        Vec3 d, s;
        V3_Sub(window.centre, view.ViewOrigin, d);
        M4_TransformPoint(view.ViewMatrix, d, s);
        return s;
    }
    Window window;
    ViewSettings view;
    ViewMouseTarget target;
    ViewMouseSettings settings;
};

TEST(ViewMouseHandlers, MotionEvents) {
    const float z05 = 2.0f / std::sqrt(1.05f);  // the zoom after tz' = 0.5
    struct Case {
        const char* what;
        int32_t type;
        int32_t motion[6];
        bool dominant, translations, rotations;
        float scale;           // overall
        float zoom;            // after the event
        bool turns;            // the view matrix changes
        float shiftX, shiftY;  // of the rotation centre on the screen
        int repaint;           // 1 at rest
    } cases[] = {
        {"rest with no motion", 4, {0, 0, 0, 0, 0, 0}, false, true, true, 1.0f, 2.0f, false, 0, 0, 1},
        {"tz' = 2 divides the zoom by 1.1025",
         3,
         {0, 0, 400, 0, 0, 0},
         false,
         true,
         true,
         1.0f,
         2.0f / 1.1025f,
         false,
         0,
         0,
         0},
        {"tz' = -2 multiplies it", 3, {0, 0, -400, 0, 0, 0}, false, true, true, 1.0f, 2.0f * 1.1025f, false, 0, 0, 0},
        {"rotation below 0.0001 leaves the matrix, zoom and pan apply",
         3,
         {200, 0, 1000, 1, 0, 0},
         false,
         true,
         true,
         0.1f,
         z05,
         false,
         1.0f / z05,
         0,
         0},
        {"pan moves the same screen distance at every zoom",
         3,
         {0, -40, 0, 0, 0, 0},
         false,
         true,
         true,
         1.0f,
         2.0f,
         false,
         0,
         -1.0f,
         0},
        {"pure rotation keeps the centre on the screen",
         3,
         {0, 0, 0, 900, -600, 300},
         false,
         true,
         true,
         1.0f,
         2.0f,
         true,
         0,
         0,
         0},
        {"dominant axis keeps only -40 of ty",
         3,
         {10, -40, 0, 40, 0, 0},
         true,
         true,
         true,
         1.0f,
         2.0f,
         false,
         0,
         -1.0f,
         0},
        {"dominant rotation", 3, {10, -40, 0, 0, 0, 900}, true, true, true, 1.0f, 2.0f, true, 0, 0, 0},
        {"translations off", 3, {20, 20, 400, 0, 0, 0}, false, false, true, 1.0f, 2.0f, false, 0, 0, 0},
        {"rotations off", 3, {0, 0, 0, 900, 900, 900}, false, true, false, 1.0f, 2.0f, false, 0, 0, 0},
        {"rest event with motion repaints at rest",
         4,
         {0, 20, 0, 0, 0, 0},
         false,
         true,
         true,
         1.0f,
         2.0f,
         false,
         0,
         0.5f,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Handlers h;
        h.settings.dominantAxisOnly = c.dominant;
        h.settings.translationsOn = c.translations;
        h.settings.rotationsOn = c.rotations;
        h.settings.overallScale = c.scale;
        const Matrix4 before = h.view.ViewMatrix;
        const Vec3 screen = h.CentreOnScreen();
        ViewMouse_OnMotion(h.settings, c.type, c.motion);
        EXPECT_NEAR(h.view.ZoomFactor, c.zoom, 1e-6f);
        bool turned = false;
        for (int i = 0; i < 16; ++i) turned = turned || h.view.ViewMatrix[i] != before[i];
        EXPECT_EQ(turned, c.turns);
        const Vec3 after = h.CentreOnScreen();
        // Pixels at zoom 1 are millimetres here: well under one pixel in every case.
        EXPECT_NEAR(after.x - screen.x, c.shiftX, 1e-4f);
        EXPECT_NEAR(after.y - screen.y, c.shiftY, 1e-4f);
        EXPECT_NEAR(after.z - screen.z, 0.0f, 1e-4f);
        EXPECT_EQ(h.window.repaints, std::vector<int>{c.repaint});
        EXPECT_EQ(h.window.centred, 0);
    }
}

TEST(ViewMouseHandlers, RotationCentreStaysOnScreenOverManyEvents) {
    Handlers h;
    const Vec3 screen = h.CentreOnScreen();
    for (int i = 0; i < 200; ++i) {
        const int32_t motion[6] = {0, 0, 0, 300 + i, -200 + 3 * i, 150 - i};
        ViewMouse_OnMotion(h.settings, 3, motion);
    }
    const Vec3 after = h.CentreOnScreen();
    EXPECT_LT(std::fabs(after.x - screen.x) * h.view.ZoomFactor, 0.01f);
    EXPECT_LT(std::fabs(after.y - screen.y) * h.view.ZoomFactor, 0.01f);
}

TEST(ViewMouseHandlers, Buttons) {
    struct Case {
        int32_t released;
        float zoom;
        int centred;
        std::vector<int> repaints;
    } cases[] = {
        {31, 1.0f, 1, {1}},  // the release of button 31 fits the view
        {-1, 2.5f, 0, {}},   // a press releases nothing
        {3, 2.5f, 0, {}},
        {30, 2.5f, 0, {}},
    };
    for (const Case& c : cases) {
        Handlers h;
        h.view.ZoomFactor = 2.5f;
        ViewMouse_OnButtonReleased(h.settings, c.released);
        EXPECT_EQ(h.view.ZoomFactor, c.zoom) << c.released;
        EXPECT_EQ(h.window.centred, c.centred) << c.released;
        EXPECT_EQ(h.window.repaints, c.repaints) << c.released;
    }
}

TEST(ViewMouseHandlers, NoTargetDoesNothing) {
    ViewMouseSettings settings;
    const int32_t motion[6] = {1, 2, 3, 4, 5, 6};
    ViewMouse_OnMotion(settings, 3, motion);
    ViewMouse_OnButtonReleased(settings, 31);
}

}  // namespace
