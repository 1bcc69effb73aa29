// The view's movement step as the keyboard modifiers raise it.
#pragma once

#include <cstdint>

// 0 to 3: the Movement setting, plus 1 with Shift, 2 with Control, 3 with
// both; never above 3.
int32_t Nav_MovementLevel(int32_t movement, bool shift, bool control);
