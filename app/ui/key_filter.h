// The message loop's key filter: in the Pemmler edition (without the Tarrel
// flag) F9 and F10 mark stylus bumps.
#pragma once

#include <cstdint>

constexpr int kCommandStylusMarkBumps = 40336;

// True when the message is a key press of F9 or F10 that the filter turns
// into the command. Only the keystroke messages count (WM_KEYDOWN, and
// WM_SYSKEYDOWN since F10 is a system key): characters, key releases and
// timers that happen to carry 120 or 121 pass on.
bool App_KeyFilterTakes(uint32_t message, uintptr_t wParam, bool tarrel, bool pemmler);
