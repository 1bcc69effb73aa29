#include "app/ui/hw_event_routing.h"

#include "app/acquisition/hardware_events.h"

#include <atomic>

namespace {

// One machine word each, written by the user-interface thread and read whole
// by the acquisition thread.
std::atomic<WindowId> g_toolTarget{0};
std::atomic<WindowId> g_priorityTarget{0};

bool Claim(std::atomic<WindowId>& slot, WindowId window) {
    WindowId expected = 0;
    if (slot.compare_exchange_strong(expected, window)) return true;
    return expected == window;
}

bool Release(std::atomic<WindowId>& slot, WindowId window) {
    WindowId expected = window;
    slot.compare_exchange_strong(expected, 0);
    return slot.load() == 0;
}

}  // namespace

bool HwEventTarget_Claim(WindowId window) { return Claim(g_toolTarget, window); }
bool HwEventTarget_Release(WindowId window) { return Release(g_toolTarget, window); }
bool HwEventTarget_ClaimPriority(WindowId window) { return Claim(g_priorityTarget, window); }
bool HwEventTarget_ReleasePriority(WindowId window) { return Release(g_priorityTarget, window); }

bool HwEvent_Route(int32_t code, WindowId mainWindow, WindowId& window, uint32_t& message) {
    message = HardwareEventMessage(code);
    if (message == 0) return false;
    window = mainWindow;
    if (code == Hardware_FIRST_FIELD || code == Hardware_LAST_FIELD || code == Hardware_NEW_FIELD_READY) {
        if (WindowId priority = g_priorityTarget.load())
            window = priority;
        else if (WindowId tool = g_toolTarget.load())
            window = tool;
    }
    return true;
}

const char* HwOnlineStateName(int32_t state) {
    switch (state) {
        case 0:
            return "Hardware_OFFLINE";
        case 1:
            return "Hardware_INITIALISING";
        case 2:
            return "Hardware_ONLINE";
    }
    return "Hardware_UNKNOWN";
}
