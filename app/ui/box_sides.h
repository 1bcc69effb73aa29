// The views of the bounding box from its six sides. Each side is a fixed
// rotation from the box's frame (the view's second matrix) to the eye, so the
// views follow the box wherever Set Bounding Box To View put it.
#pragma once

#include "app/scan/settings_records.h"

enum class BoxSide { Front, Back, Bottom, Top, Left, Right };

// What a command does with a side: shows the box from it, or makes the
// present view the view from it.
struct BoxSideCommand {
    BoxSide side;
    bool setsBox;
};

// The side of a view command; false for every other id.
bool BoxSide_ForCommand(int id, BoxSideCommand& command);

// The rotation from the box's frame to the eye for a side: the front is seen
// as the box was seen when it was set, the top and bottom with the front
// towards the foot and the head of the screen. In the Pemmler edition the
// patient faces the viewer, so its left is the box's right and its right the
// box's left.
const Matrix4& BoxSide_Matrix(BoxSide side, bool pemmler);

// The view matrix becomes the side's view of the box, then the view is
// centred.
void BoxSide_Show(ViewSettings& view, BoxSide side, bool pemmler);

// The box's frame becomes the one from which the side shows the present view.
void BoxSide_SetFromView(ViewSettings& view, BoxSide side, bool pemmler);
