#include "app/acquisition/hardware_events.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<HardwareEventHandler> g_handler{nullptr};

struct EventRow {
    const char* name;
    std::uint32_t message;
};

// Codes 9 to 11 were added after the message numbers 0x8009 to 0x800B were
// given out, so their messages do not follow the codes.
constexpr EventRow kEvents[kHardwareEventCount] = {
    {"Hardware_FIRST_FIELD", 0x8000},
    {"Hardware_LAST_FIELD", 0x8001},
    {"Hardware_NEW_FIELD_READY", 0x8002},
    {"Hardware_ONLINE_STATUS_CHANGED", 0x8003},
    {"Hardware_RECOVERABLE_ERROR", 0x8004},
    {"Hardware_SERIAL_NUMBER_MISMATCH", 0x8005},
    {"Hardware_HEMISPHERE_SETUP_REQUIRED", 0x8006},
    {"Hardware_UNRECOVERABLE_ERROR", 0x8007},
    {"Hardware_PU_VERSION_MISMATCH", 0x8008},
    {"Hardware_UNSUPPORTED_FREQUENCY", 0x800B},
    {"Hardware_NO_USB_DRIVER", 0x8009},
    {"Hardware_USB_INIT_ERROR", 0x800A},
    {"Hardware_CAL_BLANK_ERROR", 0x800C},
};

bool Known(std::int32_t code) { return code >= 0 && code < kHardwareEventCount; }

}  // namespace

HardwareEventHandler SetHardwareEventHandler(HardwareEventHandler handler) {
    return g_handler.exchange(handler, std::memory_order_acq_rel);
}

void RaiseHardwareEvent(HardwareEvent code, std::intptr_t parameter) {
    const HardwareEventHandler handler = g_handler.load(std::memory_order_acquire);
    if (handler) handler(code, parameter);
}

const char* HardwareEventName(std::int32_t code) { return Known(code) ? kEvents[code].name : nullptr; }

std::uint32_t HardwareEventMessage(std::int32_t code) { return Known(code) ? kEvents[code].message : 0; }

std::intptr_t HwEvent_MakeOwnedText(const char* text) {
    const size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (!copy) return 0;
    std::memcpy(copy, text, n);
    return reinterpret_cast<std::intptr_t>(copy);
}

std::string HwEvent_TakeOwnedText(std::intptr_t parameter) {
    char* text = reinterpret_cast<char*>(parameter);
    std::string taken = text ? text : "";
    std::free(text);
    return taken;
}

void HwEvent_FreeOwnedText(std::intptr_t parameter) { std::free(reinterpret_cast<char*>(parameter)); }
