// The application-wide state of the main program, owned by the
// user-interface thread: the mode, the edition flags, the settings records
// with their default images, the scan, the two surfaces and the document
// names, and the reset of all of it at start-up.
#pragma once

#include "app/acquisition/advanced_settings.h"
#include "app/files/config_file.h"
#include "app/scan/settings_records.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "surface/pipeline/morlith_api.h"
#include "app/ui/command_line.h"
#include "app/ui/trigger_click.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Application modes.
enum AppMode : int32_t {
    kModePreview = 0,
    kModeScan = 1,
    kModeSurface = 2,
    kModeCalibration = 3,
    kModeCalibrationCheck = 4,
    kModeAccuracyCheck = 5,
};

// The program-wide activity.
enum BusyState : int32_t {
    kBusyIdle = 0,
    kBusyBasicSurface = 1,
    kBusyRbfSurface = 2,
    kBusyScanning = 3,
    kBusyUndoRedoSweep = 4,
    kBusySweepRegistration = 5,
    kBusyTrimSweeps = 6,  // the trim dialog's worker reads the scan
};

struct ItemMetadata;

struct AppState {
    int32_t mode = kModeScan;
    EditionFlags editions;
    std::string programFolder;                 // with a trailing separator
    std::string startupFile;                   // the scan named on the command line, empty when none
    std::string scanPath;                      // the current scan file, set by load and save
    std::string documentName;                  // shown in the title
    ItemMetadata* documentMetadata = nullptr;  // the scan's history, none for a new scan
    std::string siblingFolder;                 // the sibling design program's install folder
    std::string siblingFile;

    GeneralSettings settings;
    GeneralSettings settingsDefaults;
    ViewSettings view;
    ViewSettings viewDefaults;

    RawData* raw = nullptr;  // the one scan, with the program's reserved blocks
    ScanBlocks blocks;
    SurfaceRecord basic;
    SurfaceRecord rbf;
    SurfaceRecord* shownSurface = nullptr;  // the surface mode shows this one
    ScanFitContext scanFitContext{};  // the surface library's one context, kept across builds
    bool surfaceLibraryBound = false;

    AdvancedScannerSettings advanced;  // the scanner keys of "Tolvaran.rsc"

    // Mouse modes and shell flags.
    bool selectMode = false;
    bool cameraCapture = false;
    bool ctrlHeld = false;
    bool pointerOverView = false;
    bool factoryMenuShown = false;
    bool waiting = false;
    int32_t busyState = kBusyIdle;
    TriggerClickState clicks;
};

AppState& App();

// What the reset reads of the system.
struct InitStateEnv {
    std::vector<std::string> args;  // the command line after the program's name
    std::string programFolder;
    std::string currentFolder;
    std::function<bool(const std::string& path)> fileExists;
};

// The reset at window creation: branding, cleared scan and surfaces, default
// images (base defaults, then the edition's) copied over the live records,
// mode 1, document names, edition flags and start-up file, the surface
// library's context cleared and the library bound.
void App_InitStateWith(const InitStateEnv& env);

// The program's key/value file "Tolvaran.rsc": the scanner keys, and three
// general options (RBF trim type, extra trim, export file type) written into
// `target` (the defaults image, so that the user's registry values still
// win over them). Unknown words and non-numbers leave the values alone; a
// null file gives the scanner defaults.
void App_ReadStartupConfig(const ConfigFile* file, GeneralSettings& target, AdvancedScannerSettings& advanced);

// Switches the application mode. Leaving calibration mode closes the scan
// with the save prompt first; when that is cancelled the mode stays.
void App_SetMode(int32_t mode);

// Leaves the Select and the Mark-with-Mouse modes.
void App_LeaveMouseModes();

// The title text of the current document.
std::string App_TitleText();
