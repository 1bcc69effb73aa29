#include "app/ui/view_mouse_win32.h"

#include "app/base/space_mouse_api.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"
#include "app/ui/view_window_win32.h"

#include <cstring>

namespace sm = space_mouse;

namespace {

// ---- Loader -----------------------------------------------------------------

struct Loader {
    int32_t state = 0;
    HMODULE module = nullptr;
    FARPROC entries[sm::kNameCount] = {};
    int32_t lastError = 0;
};

Loader g_loader;

enum Name {
    kErrorVal = 0,
    kInitialize = 2,
    kTerminate = 3,
    kDispatch = 7,
    kOpenWinInit = 9,
    kOpen = 10,
    kClose = 11,
    kGetEventWinInit = 12,
    kGetEvent = 13,
    kButtonPressed = 17,
    kButtonReleased = 18,
    kSetUiMode = 19,
};

// True when every name resolved; loads again while the library is not loaded.
bool Ready() {
    if (g_loader.state == 2) return true;
    g_loader.module = LoadLibraryA(sm::kLibraryName);
    if (!g_loader.module) {
        g_loader.state = 1;
        return false;
    }
    for (int i = 0; i < sm::kNameCount; ++i) {
        g_loader.entries[i] = GetProcAddress(g_loader.module, sm::kNames[i]);
        if (!g_loader.entries[i]) {
            // A library without all its names is not used at all.
            FreeLibrary(g_loader.module);
            g_loader.module = nullptr;
            std::memset(g_loader.entries, 0, sizeof g_loader.entries);
            g_loader.state = 1;
            return false;
        }
    }
    g_loader.state = 2;
    return true;
}

template <typename F>
F Entry(Name name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(g_loader.entries[name]));
}

void CopyError() { g_loader.lastError = *reinterpret_cast<const int32_t*>(g_loader.entries[kErrorVal]); }

int32_t Si_Initialize() {
    if (!Ready()) return sm::kNotAvailable;
    const int32_t result = Entry<sm::InitializeFn>(kInitialize)();
    CopyError();
    return result;
}

void Si_Terminate() {
    if (g_loader.state == 2) {
        Entry<sm::TerminateFn>(kTerminate)();
        CopyError();
    }
    if (g_loader.module) FreeLibrary(g_loader.module);
    g_loader.module = nullptr;
    std::memset(g_loader.entries, 0, sizeof g_loader.entries);
    g_loader.state = 0;
}

void Si_OpenWinInit(sm::OpenData* open, HWND window) {
    if (!Ready()) return;
    Entry<sm::OpenWinInitFn>(kOpenWinInit)(open, reinterpret_cast<uintptr_t>(window));
    CopyError();
}

sm::Handle Si_Open(const char* application, sm::OpenData* open) {
    if (!Ready()) {
        g_loader.lastError = sm::kNotAvailable;
        return nullptr;
    }
    sm::Handle handle = Entry<sm::OpenFn>(kOpen)(application, sm::kAnyDevice, nullptr, sm::kEventMode, open);
    CopyError();
    return handle;
}

int32_t Si_Close(sm::Handle handle) {
    if (!Ready()) return sm::kNotAvailable;
    const int32_t result = Entry<sm::CloseFn>(kClose)(handle);
    CopyError();
    return result;
}

int32_t Si_SetUiMode(sm::Handle handle, uint32_t mode) {
    if (!Ready()) return sm::kNotAvailable;
    const int32_t result = Entry<sm::SetUiModeFn>(kSetUiMode)(handle, mode);
    CopyError();
    return result;
}

void Si_GetEventWinInit(sm::GetEventData* data, const MSG& message) {
    if (!Ready()) return;
    Entry<sm::GetEventWinInitFn>(kGetEventWinInit)(data, message.message, message.wParam, message.lParam);
    CopyError();
}

int32_t Si_GetEvent(sm::Handle handle, sm::GetEventData* data, sm::Event* event) {
    if (!Ready()) return sm::kNotAvailable;
    const int32_t result = Entry<sm::GetEventFn>(kGetEvent)(handle, 0, data, event);
    CopyError();
    return result;
}

int32_t Si_Dispatch(sm::Handle handle, sm::GetEventData* data, sm::Event* event, sm::Handlers* handlers) {
    if (!Ready()) return 0;
    const int32_t result = Entry<sm::DispatchFn>(kDispatch)(handle, data, event, handlers);
    CopyError();
    return result;
}

int32_t Si_Button(Name name, sm::Event* event) {
    if (!Ready()) {
        g_loader.lastError = sm::kNotAvailable;
        return -1;
    }
    const int32_t result = Entry<sm::ButtonFn>(name)(event);
    CopyError();
    return result;
}

// ---- Device -----------------------------------------------------------------

struct Device {
    ViewMouseSettings settings;
    ViewMouseTarget target;
    sm::Handlers handlers = {};
    sm::OpenData open = {};
};

Device* g_device = nullptr;

// Level 3 at rest, 1 while moving, then the status bar's zoom and readout.
void Repaint(bool atRest) { View_RequestRepaint(atRest); }

void CentreView() { View_Command(40009); }

// The centre of the scan's box in scan mode, of the shown surface's box in
// surface mode; any other mode leaves the point as it is.
void RotationCentre(Vec3& centre) {
    AppState& app = App();
    const Vec3* box = nullptr;
    if (app.mode == kModeScan && app.raw) box = app.raw->Extents;
    if (app.mode == kModeSurface && app.shownSurface) box = app.shownSurface->Extents;
    if (!box) return;
    Vec3 sum;
    V3_Add(box[0], box[7], sum);
    V3_Scale(0.5f, sum, centre);
}

int32_t OnButton(sm::OpenData*, sm::GetEventData*, sm::Event* event, void* data) {
    ViewMouse_OnButtonReleased(*static_cast<ViewMouseSettings*>(data), Si_Button(kButtonReleased, event));
    Si_Button(kButtonPressed, event);
    return 0;
}

int32_t OnMotion(sm::OpenData*, sm::GetEventData*, sm::Event* event, void* data) {
    ViewMouse_OnMotion(*static_cast<ViewMouseSettings*>(data), event->type, event->motion);
    return 0;
}

void FreeDevice() {
    delete g_device;
    g_device = nullptr;
}

void OpenFromShell(const char* applicationName) { ViewMouseDevice_Open(Shell().main, applicationName); }

bool FilterFromShell(MSG& message) { return ViewMouseDevice_FilterMessage(message); }

}  // namespace

int32_t ViewMouse_LoaderState() { return g_loader.state; }
int32_t ViewMouse_LastError() { return g_loader.lastError; }

bool ViewMouseDevice_Open(HWND main, const char* applicationName) {
    if (!g_device) g_device = new Device();
    Device& d = *g_device;
    d.target.window = main;
    d.target.view = &App().view;
    d.target.repaint = Repaint;
    d.target.centreView = CentreView;
    d.target.rotationCentre = RotationCentre;
    ViewMouseSettings_SetOpenValues(d.settings, &d.target);
    if (Si_Initialize() == sm::kNotAvailable) return false;
    Si_OpenWinInit(&d.open, main);
    d.settings.device = Si_Open(applicationName, &d.open);
    if (!d.settings.device) {
        Si_Terminate();
        return false;
    }
    Si_SetUiMode(d.settings.device, 0);
    d.handlers = {};
    d.handlers.button = {OnButton, &d.settings};
    d.handlers.motion = {OnMotion, &d.settings};
    d.handlers.zero = {OnMotion, &d.settings};
    return true;
}

bool ViewMouseDevice_FilterMessage(MSG& message) {
    if (!g_device || !g_device->settings.device) return false;
    sm::GetEventData data = {};
    sm::Event event = {};
    Si_GetEventWinInit(&data, message);
    if (Si_GetEvent(g_device->settings.device, &data, &event) != sm::kIsEvent) return false;
    Si_Dispatch(g_device->settings.device, &data, &event, &g_device->handlers);
    return true;
}

void ViewMouseDevice_Close() {
    if (g_device && g_device->settings.device) Si_Close(g_device->settings.device);
    if (g_device) g_device->settings.device = nullptr;
    Si_Terminate();
    FreeDevice();
}

ViewMouseSettings* ViewMouseDevice_Settings() {
    return g_device && g_device->settings.device ? &g_device->settings : nullptr;
}

void ViewMouse_ConnectShell() {
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    hooks.openSpaceMouse = OpenFromShell;
    hooks.closeSpaceMouse = ViewMouseDevice_Close;
    hooks.spaceMouseFilter = FilterFromShell;
}
