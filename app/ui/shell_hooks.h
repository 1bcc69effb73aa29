// Services of the shell that other parts of the program provide: they
// install their functions at start-up. A hook that is not installed does
// nothing (the named default below), which is the program's behaviour while
// that part is absent.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>
#include <functional>
#include <string>

struct ShellHooks {
    // The shell's own services, installed by the main window.
    std::function<void(int command)> sendCommand;  // a command to the main window
    std::function<void()> updateTitle;
    std::function<void()> refreshUi;     // menu states, toolbar, status bar
    std::function<void()> notifyPanels;  // the panel refresh broadcast

    // Leaves surface mode, discards the derived surfaces and tells the tool
    // window. Default: both surfaces are freed and surface mode is left.
    std::function<void()> resetDerivedState;

    // Scan documents. Closes the scan, asking to save first when `ask`;
    // false when the user cancelled. Default: the scan record is freed.
    std::function<bool(bool ask)> unloadScan;
    // Loads a scan file; true when it was loaded. Default: nothing is loaded.
    std::function<bool(const std::string& path)> reloadScan;

    // The list panels: show the sweeps (kind 1) or the stylus items (kind 2);
    // false when the first panel does not exist (default). Hide them.
    std::function<bool(int kind)> showListPanels;
    std::function<void()> hideListPanels;

    // The view: repaint requests at a level 0 to 4 (default: nothing), the
    // navigation's tracked vector (default zero), the automatic viewpoint.
    std::function<void(int level)> postRepaint;
    std::function<void(int level)> sendRepaint;
    std::function<Vec3()> trackedVector;
    std::function<void()> setAutoViewpoint;
    // The view forgets what it drew of the scan after its data was
    // re-expressed (default: nothing).
    std::function<void()> resetScanState;
    // The cursor coordinates shown in the status bar (default empty).
    std::function<std::string()> cursorText;

    // The cursor is chosen again after a change of the mouse modes.
    std::function<void()> setMarkerCursor;
    // Mark with Mouse was left (Escape, a mode switch): its dialog goes.
    std::function<void()> markingLeft;

    // Menu states and toolbar buttons after a change.
    std::function<void()> updateMenuStates;
    std::function<void()> updateToolbar;

    // The surface-fitting library: bound once per run; false when absent (default).
    std::function<bool()> bindSurfaceLibrary;

    // The toolbars made again after a change of their style (default: nothing).
    std::function<void()> rebuildToolbars;

    // What the menus read of the scanner's calibration: its no-receiver flag
    // (default false), its scanner kind (default 0), and whether the receiver
    // is frozen (default false).
    std::function<bool()> calibrationNoReceiver;
    std::function<int32_t()> calibrationScannerKind;
    std::function<bool()> receiverFrozen;

    // The scan's erase level (default 0) and its reset.
    std::function<int32_t()> eraseLevel;
    std::function<void(int32_t level)> setEraseLevel;
};

ShellHooks& Shell_Hooks();
