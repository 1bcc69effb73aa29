// The events of the acquisition layer. Each is reported with one parameter to
// the single handler that the main program installs; the handler only posts
// the event's private window message to the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

enum HardwareEvent : std::int32_t {
    // Parameter: the capture's first index in the field ring (field_ring.h).
    Hardware_FIRST_FIELD = 0,
    Hardware_LAST_FIELD = 1,
    Hardware_NEW_FIELD_READY = 2,
    Hardware_ONLINE_STATUS_CHANGED = 3,
    Hardware_RECOVERABLE_ERROR = 4,
    Hardware_SERIAL_NUMBER_MISMATCH = 5,
    Hardware_HEMISPHERE_SETUP_REQUIRED = 6,
    Hardware_UNRECOVERABLE_ERROR = 7,
    Hardware_PU_VERSION_MISMATCH = 8,
    Hardware_UNSUPPORTED_FREQUENCY = 9,
    Hardware_NO_USB_DRIVER = 10,
    Hardware_USB_INIT_ERROR = 11,
    Hardware_CAL_BLANK_ERROR = 12,
};

constexpr std::int32_t kHardwareEventCount = 13;

// Parameter of Hardware_RECOVERABLE_ERROR: what was wrong with the field.
enum RecoverableErrorKind : std::int32_t {
    RecoverableError_FIELD = 1,
    RecoverableError_LOCATOR_FRAMING = 2,
    RecoverableError_LOCATOR_DECODING = 3,
    RecoverableError_RING_FULL = 4,
};

// The parameter is as wide as a pointer: the unsupported-frequency event
// carries the address of its message text.
using HardwareEventHandler = void (*)(std::int32_t code, std::intptr_t parameter);

// Installs the handler (nullptr: events are dropped) and returns the previous
// one. Safe against a running acquisition thread.
HardwareEventHandler SetHardwareEventHandler(HardwareEventHandler handler);

// Text that travels with an event (the unsupported-frequency message) is
// owned storage: the acquisition thread makes a heap copy, the handler on
// the user-interface thread takes it over. A post that fails frees it.
std::intptr_t HwEvent_MakeOwnedText(const char* text);  // 0 when out of memory
std::string HwEvent_TakeOwnedText(std::intptr_t parameter);
void HwEvent_FreeOwnedText(std::intptr_t parameter);

// Calls the installed handler, if any, on the calling thread.
void RaiseHardwareEvent(HardwareEvent code, std::intptr_t parameter);

// The event's name ("Hardware_FIRST_FIELD"), or nullptr for an unknown code.
const char* HardwareEventName(std::int32_t code);

// The private window message of the event: 0x8000 plus the code for codes 0
// to 8, and 0x800B, 0x8009, 0x800A, 0x800C for codes 9 to 12. 0 for an
// unknown code.
std::uint32_t HardwareEventMessage(std::int32_t code);
