// The 3D mouse driver library "siappdll" as the program binds it at run
// time: the names it resolves, the result codes it relies on, and its own
// declaration of the few records it fills or reads. Window handles and
// message words are carried as plain integers so that the header stays free
// of the system's headers.
#pragma once

#include <cstdint>

namespace space_mouse {

constexpr const char* kLibraryName = "siappdll";

// The 63 names, in the order they are resolved: the first is a variable of
// the library (its last error), the others are functions.
constexpr int kNameCount = 63;
extern const char* const kNames[kNameCount];

// Results.
constexpr int32_t kNoError = 0;
constexpr int32_t kNotAvailable = 16;  // the library or its device is not there
constexpr int32_t kIsEvent = 5;        // the message was one of the device's
constexpr int32_t kNotEvent = 6;

// Event types.
constexpr int32_t kButtonEvent = 1;
constexpr int32_t kMotionEvent = 2;
constexpr int32_t kCombinedEvent = 3;
constexpr int32_t kZeroEvent = 4;  // the cap back at rest
constexpr int32_t kExceptionEvent = 5;

constexpr int32_t kAnyDevice = -1;
constexpr int32_t kEventMode = 1;

struct OpenData {
    uintptr_t window;
    uintptr_t reserved[4];
};

struct GetEventData {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Event {
    int32_t type;
    int32_t motion[6];  // tx, ty, tz, rx, ry, rz
    int32_t period;
    uint32_t buttonsNow;
    uint32_t buttonsBefore;
    int32_t reserved[16];
};

using Handle = void*;
using HandlerFunction = int32_t (*)(OpenData* open, GetEventData* data, Event* event, void* handlerData);

struct Handler {
    HandlerFunction function;
    void* data;
};

// In the vendor's order.
struct Handlers {
    Handler button, motion, combined, zero, exception;
};

// The signatures of the functions the program calls.
using InitializeFn = int32_t (*)();
using TerminateFn = void (*)();
using OpenWinInitFn = void (*)(OpenData* open, uintptr_t window);
using OpenFn = Handle (*)(const char* application, int32_t device, void* typeMask, int32_t mode, OpenData* open);
using CloseFn = int32_t (*)(Handle handle);
using SetUiModeFn = int32_t (*)(Handle handle, uint32_t mode);
using GetEventWinInitFn = void (*)(GetEventData* data, uint32_t message, uintptr_t wParam, intptr_t lParam);
using GetEventFn = int32_t (*)(Handle handle, int32_t flags, GetEventData* data, Event* event);
using DispatchFn = int32_t (*)(Handle handle, GetEventData* data, Event* event, Handlers* handlers);
using ButtonFn = int32_t (*)(Event* event);

}  // namespace space_mouse
