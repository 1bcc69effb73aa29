// The processing-unit hardware versions the program supports, and the model
// values each one sets. The version comes from the calibration file.
#pragma once

#include <cstdint>
#include <string>

#include "app/scan/geometry.h"

struct HardwareVersionEntry {
    const char* text;  // "2.4.1"
    std::int32_t major;
    std::int32_t minor;
    std::int32_t revision;
    std::int32_t channelCount;
    std::int32_t parityProperty;        // the unit marks field parity
    std::int32_t trackerSetupProperty;  // the tracker takes the frequency set-up block and synchronisation
    std::int32_t fixedWandProperty;     // the wand pose is fixed (identity)
    float offsetTranslation;            // z translation of the wand's receiver offset, mm
    bool alternativeLayout;             // the tracker calibration layout of firmware 2.4.1 and 2.4.2
};

// The model values in force while a calibration file is loaded.
struct HardwareModel {
    std::string versionText;
    std::int32_t channelCount = 0;
    std::int32_t parityProperty = 0;
    std::int32_t trackerSetupProperty = 0;
    std::int32_t fixedWandProperty = 0;
    bool alternativeLayout = false;
    std::int32_t lineCount = 282;
    std::int32_t statusBytes = 128;
    std::int32_t layoutWords = 52;
    std::int32_t hardwareConstant = 2082;
    float recordPhaseWeights[2] = {0.2f, 0.7f};
    bool channel1Reversed = true;
    Matrix4 wandRxOffsetMatrix{};
};

// The entry of a version, or nullptr when the version is not supported; a
// check word other than 1 is never supported.
const HardwareVersionEntry* FindHardwareVersion(std::int32_t major, std::int32_t minor, std::int32_t revision,
                                                std::int32_t checkWord);

// Identity, then -90 degrees about X, then +90 about Y, then the translation
// (0, 0, offset), each applied after the previous.
Matrix4 MakeWandRxOffsetMatrix(float offsetTranslation);

HardwareModel MakeHardwareModel(const HardwareVersionEntry& entry);
