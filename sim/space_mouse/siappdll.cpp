// A stand-in for the 3D mouse driver library, for tests and runs under Wine:
// it has the library's file name and its 63 names, answers the few calls the
// program makes, and turns messages that a test posts into device events.
// Never shipped, never placed beside a shipped program.
//
// Switches (environment of the process that loads it):
//   TOLVARAN_SPACEMOUSE_LOG        a file that receives one line per call
//   TOLVARAN_SPACEMOUSE_NO_DEVICE  any value: no device is attached (SiOpen fails)
// Events: the registered message "TolvaranSimSpaceMouseEvent" posted to the
// window the device was opened on; wParam = event type | axis << 8,
// lParam = the axis value (motion) or the released button (button events).
#include "app/base/space_mouse_api.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace sm = space_mouse;

extern "C" {
int32_t SpwErrorVal = 0;
}

namespace {

struct Device {
    bool open = false;
    uintptr_t window = 0;
    char application[64] = "";
    uint32_t buttons = 0;
};

Device g_device;

bool Switch(const char* name, char* value = nullptr, DWORD size = 0) {
    char scratch[2];
    return GetEnvironmentVariableA(name, value ? value : scratch, value ? size : sizeof scratch) > 0 ||
           GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

void Log(const char* call, const char* detail = "") {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("TOLVARAN_SPACEMOUSE_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s%s%s\n", call, *detail ? " " : "", detail);
        std::fclose(f);
    }
}

UINT EventMessage() {
    static const UINT id = RegisterWindowMessageA("TolvaranSimSpaceMouseEvent");
    return id;
}

}  // namespace

extern "C" {

int32_t SiInitialize() {
    Log("SiInitialize");
    SpwErrorVal = 0;
    return sm::kNoError;
}

void SiTerminate() {
    Log("SiTerminate");
    g_device = Device();
}

void SiOpenWinInit(sm::OpenData* open, uintptr_t window) {
    Log("SiOpenWinInit");
    if (open) {
        std::memset(open, 0, sizeof *open);
        open->window = window;
    }
}

sm::Handle SiOpen(const char* application, int32_t, void*, int32_t mode, sm::OpenData* open) {
    Log("SiOpen", application ? application : "(none)");
    char value[8];
    if (Switch("TOLVARAN_SPACEMOUSE_NO_DEVICE", value, sizeof value) || mode != sm::kEventMode || !open) {
        SpwErrorVal = sm::kNotAvailable;
        return nullptr;
    }
    g_device.open = true;
    g_device.window = open->window;
    std::snprintf(g_device.application, sizeof g_device.application, "%s", application ? application : "");
    SpwErrorVal = 0;
    return &g_device;
}

int32_t SiClose(sm::Handle handle) {
    Log("SiClose");
    if (handle != &g_device) return sm::kNotAvailable;
    g_device.open = false;
    return sm::kNoError;
}

int32_t SiSetUiMode(sm::Handle, uint32_t) {
    Log("SiSetUiMode");
    return sm::kNoError;
}

void SiGetEventWinInit(sm::GetEventData* data, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    data->message = message;
    data->wParam = wParam;
    data->lParam = lParam;
}

int32_t SiGetEvent(sm::Handle handle, int32_t, sm::GetEventData* data, sm::Event* event) {
    if (handle != &g_device || !g_device.open || !data || data->message != EventMessage()) return sm::kNotEvent;
    std::memset(event, 0, sizeof *event);
    event->type = static_cast<int32_t>(data->wParam & 0xFF);
    const int axis = static_cast<int>((data->wParam >> 8) & 0xFF);
    if (event->type == sm::kButtonEvent) {
        // lParam > 0: that button released; < 0: button -lParam pressed.
        event->buttonsBefore = g_device.buttons;
        const int32_t button = static_cast<int32_t>(data->lParam);
        if (button > 0 && button < 32) g_device.buttons &= ~(1u << button);
        if (button < 0 && button > -32) g_device.buttons |= 1u << -button;
        if (button > 0 && button < 32) event->buttonsBefore |= 1u << button;
        event->buttonsNow = g_device.buttons;
    } else if (axis < 6) {
        event->motion[axis] = static_cast<int32_t>(data->lParam);
    }
    char detail[64];
    std::snprintf(detail, sizeof detail, "type %d axis %d value %d", event->type, axis, static_cast<int>(data->lParam));
    Log("SiGetEvent", detail);
    return sm::kIsEvent;
}

int32_t SiDispatch(sm::Handle handle, sm::GetEventData* data, sm::Event* event, sm::Handlers* handlers) {
    if (handle != &g_device || !handlers || !event) return 0;
    const sm::Handler* h = nullptr;
    switch (event->type) {
        case sm::kButtonEvent:
            h = &handlers->button;
            break;
        case sm::kMotionEvent:
            h = &handlers->motion;
            break;
        case sm::kCombinedEvent:
            h = &handlers->combined;
            break;
        case sm::kZeroEvent:
            h = &handlers->zero;
            break;
        case sm::kExceptionEvent:
            h = &handlers->exception;
            break;
    }
    if (h && h->function) h->function(nullptr, data, event, h->data);
    return 1;
}

namespace {
int32_t FirstBit(uint32_t bits) {
    for (int32_t i = 0; i < 32; ++i)
        if (bits & (1u << i)) return i;
    return -1;
}
}  // namespace

int32_t SiButtonPressed(sm::Event* event) {
    return event && event->type == sm::kButtonEvent ? FirstBit(event->buttonsNow & ~event->buttonsBefore) : -1;
}

int32_t SiButtonReleased(sm::Event* event) {
    return event && event->type == sm::kButtonEvent ? FirstBit(event->buttonsBefore & ~event->buttonsNow) : -1;
}

// The rest of the library's names: present so that the program binds the
// library, never called by it. Each answers "not available".
#define SIM_UNUSED(name)          \
    int32_t name() {              \
        Log(#name);               \
        return sm::kNotAvailable; \
    }
SIM_UNUSED(SiBeep)
SIM_UNUSED(SiGetDeviceID)
SIM_UNUSED(SiGetNumDevices)
SIM_UNUSED(SiDeviceIndex)
SIM_UNUSED(SiIsSpaceWareEvent)
SIM_UNUSED(SiRezero)
SIM_UNUSED(SiGrabDevice)
SIM_UNUSED(SiReleaseDevice)
SIM_UNUSED(SiGetDevicePort)
SIM_UNUSED(SiGetDriverInfo)
SIM_UNUSED(SiGetLibraryInfo)
SIM_UNUSED(SiGetDeviceInfo)
SIM_UNUSED(SpwErrorString)
SIM_UNUSED(SiSyncSendQuery)
SIM_UNUSED(SiSyncGetVersion)
SIM_UNUSED(SiSyncGetNumberOfFunctions)
SIM_UNUSED(SiSyncGetFunction)
SIM_UNUSED(SiSyncGetButtonAssignment)
SIM_UNUSED(SiSyncSetButtonAssignment)
SIM_UNUSED(SiSyncSetButtonAssignmentAbsolute)
SIM_UNUSED(SiSyncSetButtonName)
SIM_UNUSED(SiSyncGetAxisLabel)
SIM_UNUSED(SiSyncSetAxisLabel)
SIM_UNUSED(SiSyncGetOrientation)
SIM_UNUSED(SiSyncSetOrientation)
SIM_UNUSED(SiSyncGetFilter)
SIM_UNUSED(SiSyncSetFilter)
SIM_UNUSED(SiSyncGetAxesState)
SIM_UNUSED(SiSyncSetAxesState)
SIM_UNUSED(SiSyncSetInfoLine)
SIM_UNUSED(SiSyncGetScaleOverall)
SIM_UNUSED(SiSyncSetScaleOverall)
SIM_UNUSED(SiSyncGetScaleTx)
SIM_UNUSED(SiSyncSetScaleTx)
SIM_UNUSED(SiSyncGetScaleTy)
SIM_UNUSED(SiSyncSetScaleTy)
SIM_UNUSED(SiSyncGetScaleTz)
SIM_UNUSED(SiSyncSetScaleTz)
SIM_UNUSED(SiSyncGetScaleRx)
SIM_UNUSED(SiSyncSetScaleRx)
SIM_UNUSED(SiSyncGetScaleRy)
SIM_UNUSED(SiSyncSetScaleRy)
SIM_UNUSED(SiSyncGetScaleRz)
SIM_UNUSED(SiSyncSetScaleRz)
SIM_UNUSED(SiSyncInvokeAbsoluteFunction)
SIM_UNUSED(SiSyncSetButtonState)
SIM_UNUSED(SiGetDeviceName)
SIM_UNUSED(SiGetButtonName)
SIM_UNUSED(SiGetDeviceImageFileName)
SIM_UNUSED(SiGetCompanyIcon)
SIM_UNUSED(SiGetCompanyLogoFileName)

}  // extern "C"
