#include "app/ui/nav_movement.h"

int32_t Nav_MovementLevel(int32_t movement, bool shift, bool control) {
    int32_t level = movement + (shift ? 1 : 0) + (control ? 2 : 0);
    return level > 3 ? 3 : level;
}
