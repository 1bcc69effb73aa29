// The rules that grey and check the menu items after every command, over a
// record of the state they read. The Windows side fills the record from the
// application state and applies the result to the menu bar.
#pragma once

#include "app/scan/settings_records.h"

#include <cstdint>
#include <map>

// Switches of the program that the commands toggle and the menus show.
struct CommandSwitches {
    bool corvane = false;  // the two alternative tracker models
    bool halvern = false;
    bool crosshair = false;
    bool quadSurfacing = false;
    bool pemmlerKeys = false;  // the Pemmler keys act outside the Pemmler edition
};
CommandSwitches& App_CommandSwitches();

struct MenuStateInput {
    int32_t mode = 1;
    bool running = false;  // the scanner is on line
    const GeneralSettings* settings = nullptr;
    const ViewSettings* view = nullptr;
    CommandSwitches switches;

    int32_t profiles = 0;
    int32_t points = 0;
    int32_t sweeps = 0;
    int32_t storedSweeps = 0;  // sweeps that Redo Sweep can bring back up to
    int32_t unhiddenSweeps = 0;
    bool pendingTransform = false;
    uint32_t selectLevel = 0, selectTop = 0, eraseLevel = 0, eraseTop = 0;
    bool selectMode = false;

    bool basicPresent = false;
    bool rbfPresent = false;
    bool showsRbf = false;  // the surface mode shows the RBF surface
    bool siblingKnown = false;

    int32_t stylusGroups = 0;  // visible groups
    bool allStylusVisible = true;

    bool noReceiver = false;  // the calibration's no-receiver flag
    int32_t scannerKind = 0;
    bool receiverFrozen = false;

    bool sweepsPanelVisible = false;
    bool stylusPanelVisible = false;
};

// -1: the rule does not touch it.
struct MenuItemState {
    int8_t enabled = -1;
    int8_t checked = -1;
};

std::map<int32_t, MenuItemState> Menu_ComputeStates(const MenuStateInput& in);
