#include "app/ui/box_sides.h"

#include "app/ui/document_marks.h"

namespace {

// Rows are where the box's x, y and z axes point in the eye's frame (x to the
// right, y up, z towards the viewer).
Matrix4 Rotation(const Vec3& x, const Vec3& y, const Vec3& z) {
    return Matrix4{{x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, 0, 0, 0, 1}};
}

const Matrix4 kFront = Rotation({1, 0, 0}, {0, 1, 0}, {0, 0, 1});
const Matrix4 kBack = Rotation({-1, 0, 0}, {0, 1, 0}, {0, 0, -1});
const Matrix4 kBottom = Rotation({1, 0, 0}, {0, 0, -1}, {0, 1, 0});
const Matrix4 kTop = Rotation({1, 0, 0}, {0, 0, 1}, {0, -1, 0});
const Matrix4 kLeft = Rotation({0, 0, -1}, {0, 1, 0}, {1, 0, 0});
const Matrix4 kRight = Rotation({0, 0, 1}, {0, 1, 0}, {-1, 0, 0});

struct CommandRow {
    int id;
    BoxSideCommand command;
};

constexpr CommandRow kCommands[] = {
    {40307, {BoxSide::Front, false}}, {40313, {BoxSide::Back, false}},  {40315, {BoxSide::Bottom, false}},
    {40314, {BoxSide::Top, false}},   {40308, {BoxSide::Left, false}},  {40309, {BoxSide::Right, false}},
    {40219, {BoxSide::Front, false}}, {40224, {BoxSide::Bottom, false}}, {40221, {BoxSide::Left, false}},
    {40288, {BoxSide::Front, true}},  {40289, {BoxSide::Bottom, true}},  {40290, {BoxSide::Left, true}},
};

}  // namespace

bool BoxSide_ForCommand(int id, BoxSideCommand& command) {
    for (const CommandRow& row : kCommands) {
        if (row.id != id) continue;
        command = row.command;
        return true;
    }
    return false;
}

const Matrix4& BoxSide_Matrix(BoxSide side, bool pemmler) {
    switch (side) {
        case BoxSide::Front:
            return kFront;
        case BoxSide::Back:
            return kBack;
        case BoxSide::Bottom:
            return kBottom;
        case BoxSide::Top:
            return kTop;
        case BoxSide::Left:
            return pemmler ? kRight : kLeft;
        case BoxSide::Right:
            return pemmler ? kLeft : kRight;
    }
    return kFront;
}

void BoxSide_Show(ViewSettings& view, BoxSide side, bool pemmler) {
    RestoreViewMatrix(view, BoxSide_Matrix(side, pemmler));
}

void BoxSide_SetFromView(ViewSettings& view, BoxSide side, bool pemmler) {
    Matrix4 back;
    M4_InvertRigid(BoxSide_Matrix(side, pemmler), back);
    Matrix4 frame;
    M4_Multiply(back, view.ViewMatrix, frame);
    view.CoordinateSystem = frame;
}
