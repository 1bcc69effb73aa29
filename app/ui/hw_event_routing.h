// Routing of the acquisition layer's hardware events to windows. The
// callback runs on the acquisition thread: it reads the two event-target
// slots, picks the window and posts the event's message; nothing else.
//
// Windows are plain handle values here so that the routing is portable.
#pragma once

#include <cstdint>

using WindowId = std::uintptr_t;  // 0: no window

// The tool slot takes the field events for a tool or wizard window; the
// priority slot for the hemisphere set-up window, before the tool slot.
// Claim: true when the slot was empty (it now holds the window) or already
// held this window; false when another window holds it. Release: empties the
// slot when it holds this window; true when the slot is now empty.
bool HwEventTarget_Claim(WindowId window);
bool HwEventTarget_Release(WindowId window);
bool HwEventTarget_ClaimPriority(WindowId window);
bool HwEventTarget_ReleasePriority(WindowId window);

// Where event `code` goes: codes 0 to 2 to the priority slot's window, else
// the tool slot's, else the main window; the others to the main window. The
// message is the event's private message (0x8000 + code, except 9, 10, 11:
// 0x800B, 0x8009, 0x800A). False for a code outside 0 to 12.
bool HwEvent_Route(int32_t code, WindowId mainWindow, WindowId& window, uint32_t& message);

// The hardware online state's name for the trace.
const char* HwOnlineStateName(int32_t state);
