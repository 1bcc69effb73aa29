// The Tarrel edition's panel without its window: the two scanning and
// surfacing presets, the object-count choices and the states of its
// buttons, worked out from the settings and the program's state.
#pragma once

#include "app/scan/settings_records.h"

#include <cstdint>
#include <vector>

// The panel's commands.
constexpr int kTarrelSmallObject = 40190;
constexpr int kTarrelLargeObject = 40191;
constexpr int kTarrelCastInversionMode = 40199;
constexpr int kTarrelOneObject = 40195;
constexpr int kTarrelTwoObjects = 40196;
constexpr int kTarrelStepScan = 40183;
constexpr int kTarrelStepPoints = 40184;
constexpr int kTarrelStepLines = 40185;
constexpr int kTarrelStepSave = 40186;
constexpr int kTarrelStepBasic = 40187;
constexpr int kTarrelStepCastInversion = 40198;
constexpr int kTarrelStepRbf = 40188;
constexpr int kTarrelStepExport = 40189;

// The steps the main window's dispatch hands to the panel.
bool TarrelPanel_IsStep(int command);

enum class TarrelPreset { SmallObject, LargeObject };

// Scanners of the 200 model range: wand serial numbers 200 to 299.
bool TarrelPanel_InModelRange200(int32_t serialNumber);

// The preset's values written into the settings and the hardware profile
// filter length.
void TarrelPanel_ApplyPreset(TarrelPreset preset, bool range200, GeneralSettings& settings, int32_t& filterLength);
// True when every value of the preset is in force.
bool TarrelPanel_PresetInForce(TarrelPreset preset, bool range200, const GeneralSettings& settings,
                               int32_t filterLength);

// Allowing one object sets both object-limit fields to 1; allowing two sets
// the pair a cast object needs (1, 2). False when the pair was so already.
bool TarrelPanel_AllowObjects(int32_t count, GeneralSettings& settings);

// What the button states are worked out from.
struct TarrelPanelFacts {
    int32_t mode = 1;        // the application mode
    bool rbfShown = false;   // surface mode shows the RBF surface
    int32_t scanPoints = 0;  // points of the scan
    int32_t sweeps = 0;      // sweeps of the scan
    bool rbfHasPoints = false;
    bool castReady = false;  // cast inversion can run on the RBF surface
    bool range200 = false;
    int32_t filterLength = 3;  // the hardware profile filter length
    int lastStep = 0;          // the step the user ran last (0: none)
};

struct TarrelButtonState {
    int command;
    bool enabled;
    bool checked;
    bool hidden;
};

// Every button of the panel, in the order of its toolbars (object size,
// object count, steps).
std::vector<TarrelButtonState> TarrelPanel_ButtonStates(const GeneralSettings& settings, const TarrelPanelFacts& facts);
// The step that shows as current, 0 for none.
int TarrelPanel_CurrentStep(const GeneralSettings& settings, const TarrelPanelFacts& facts);
