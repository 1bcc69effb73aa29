#include "app/ui/box_sides.h"
#include "app/ui/document_marks.h"
#include "app/ui/shell_hooks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

Vec3 Turn(const Matrix4& m, const Vec3& v) {
    Vec3 out;
    M4_TransformPoint(m, v, out);
    return out;
}

void ExpectNear(const Vec3& actual, const Vec3& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6f);
    EXPECT_NEAR(actual.y, expected.y, 1e-6f);
    EXPECT_NEAR(actual.z, expected.z, 1e-6f);
}

// Each side turns the box's side of that name towards the viewer (the eye's
// +z) with the named direction up the screen and the rest to the right as a
// rigid turn must put it.
TEST(BoxSides, EachSideFacesTheViewerUprightAndUnmirrored) {
    struct Case {
        BoxSide side;
        bool pemmler;
        Vec3 towardsViewer, up;
    } const cases[] = {
        {BoxSide::Front, false, {0, 0, 1}, {0, 1, 0}},  {BoxSide::Back, false, {0, 0, -1}, {0, 1, 0}},
        {BoxSide::Bottom, false, {0, -1, 0}, {0, 0, 1}}, {BoxSide::Top, false, {0, 1, 0}, {0, 0, -1}},
        {BoxSide::Left, false, {-1, 0, 0}, {0, 1, 0}},  {BoxSide::Right, false, {1, 0, 0}, {0, 1, 0}},
        {BoxSide::Front, true, {0, 0, 1}, {0, 1, 0}},   {BoxSide::Bottom, true, {0, -1, 0}, {0, 0, 1}},
        {BoxSide::Left, true, {1, 0, 0}, {0, 1, 0}},    {BoxSide::Right, true, {-1, 0, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.side) * 2 + c.pemmler);
        const Matrix4& m = BoxSide_Matrix(c.side, c.pemmler);
        ExpectNear(Turn(m, c.towardsViewer), {0, 0, 1});
        ExpectNear(Turn(m, c.up), {0, 1, 0});
        Vec3 right;
        V3_Cross(c.up, c.towardsViewer, right);
        ExpectNear(Turn(m, right), {1, 0, 0});
        EXPECT_EQ(m[12], 0.0f);
        EXPECT_EQ(m[13], 0.0f);
        EXPECT_EQ(m[14], 0.0f);
    }
}

// Setting a side from the view and showing that side again gives the view
// back, whatever frame the box had; showing centres the view.
TEST(BoxSides, ASideSetFromTheViewShowsThatViewAgain) {
    std::vector<int> commands;
    Shell_Hooks().sendCommand = [&](int c) { commands.push_back(c); };
    for (BoxSide side : {BoxSide::Front, BoxSide::Bottom, BoxSide::Left, BoxSide::Right}) {
        for (bool pemmler : {false, true}) {
            ViewSettings view;
            ViewSettings_SetDefaults(view);
            M4_MakeRotationZ(35.0f, view.CoordinateSystem);
            Matrix4 a, b;
            M4_MakeRotationX(20.0f, a);
            M4_MakeRotationY(-50.0f, b);
            M4_Multiply(a, b, view.ViewMatrix);
            const Matrix4 seen = view.ViewMatrix;
            BoxSide_SetFromView(view, side, pemmler);
            M4_Identity(view.ViewMatrix);
            commands.clear();
            BoxSide_Show(view, side, pemmler);
            for (int i = 0; i < 16; ++i) EXPECT_NEAR(view.ViewMatrix[i], seen[i], 1e-5f) << i;
            EXPECT_EQ(commands, std::vector<int>{kCommandCentre});
        }
    }
    Shell_Hooks().sendCommand = nullptr;
}

}  // namespace
