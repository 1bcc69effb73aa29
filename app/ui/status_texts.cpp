#include "app/ui/status_texts.h"

#include "app/locale/locale_lookup.h"

const char* StatusBar_ModeText(int32_t mode, bool basicSurfaceShown) {
    switch (mode) {
        case 0: return Locale_GetString("StatusBarCameraMode");
        case 1: return Locale_GetString("StandardSweeps");
        case 2: return Locale_GetString(basicSurfaceShown ? "StandardBasicSurface" : "StandardRbfSurface");
        case 3: return Locale_GetString("StatusBarCalMode");
        case 4: return Locale_GetString("StatusBarCalCheckMode");
        case 5: return Locale_GetString("StatusBarAccuracyCheckMode");
    }
    return "";
}

std::string StatusBar_HardwareText(bool scannerEnabled, int32_t hardwareState) {
    const char* state = "HWStateDisabled";
    if (scannerEnabled) state = hardwareState == 2 ? "HWStateOn" : hardwareState == 1 ? "HWStateInit" : "HWStateOff";
    return std::string(Locale_GetString("StandardHW")) + " " + Locale_GetString(state);
}

std::array<std::string, 4> StatusBar_Texts(const StatusBarState& state) {
    std::array<std::string, 4> parts;
    parts[0] = Locale_GetString("WaitCursorReady");
    std::string zoom;
    Locale_FormatStringWithNumber(zoom, "factor", 2, "StatusBarZoom", state.zoom);
    parts[1] = std::string(StatusBar_ModeText(state.mode, state.basicSurfaceShown)) + "        " + zoom;
    parts[2] = state.cursorText;
    parts[3] = StatusBar_HardwareText(state.scannerEnabled, state.hardwareState);
    return parts;
}

std::string StatusBar_WaitText(const char* text) { return text ? std::string(text) + " ..." : std::string(); }
