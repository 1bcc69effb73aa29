// The texts of the status bar's four parts: ready text, display mode with
// zoom, cursor coordinates, hardware state.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct StatusBarState {
    int32_t mode = 1;                // the application mode
    bool basicSurfaceShown = true;   // which surface mode 2 shows
    float zoom = 1.0f;
    std::string cursorText;          // the navigation's cursor coordinates
    bool scannerEnabled = false;
    int32_t hardwareState = 0;       // 0 off line, 1 initialising, 2 on line
};

// The application mode's display text.
const char* StatusBar_ModeText(int32_t mode, bool basicSurfaceShown);

// The hardware part: "StandardHW", a blank, then the state's text, or the
// disabled text when the scanner is not enabled.
std::string StatusBar_HardwareText(bool scannerEnabled, int32_t hardwareState);

// All four parts; throws std::bad_alloc when a text cannot be made.
std::array<std::string, 4> StatusBar_Texts(const StatusBarState& state);

// The wait status in the first part: the text and " ...", or empty.
std::string StatusBar_WaitText(const char* text);
