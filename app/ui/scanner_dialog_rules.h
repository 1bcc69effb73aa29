// What the scanner dialogs decide, apart from their windows: which listed
// calibration file the properties dialog selects, its explanation text, the
// diagnostics texts and dump path, the hand-entered correction record and
// the accuracy check's reports after the sweeps that ended.
#pragma once

#include "app/acquisition/calibration_file.h"
#include "app/scan/raw_data.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// The item whose text begins with `name` (without regard to case), searched
// from item 1 to the end and then item 0; 0 when none does (also for an
// empty list).
int ScannerProps_PickCalibrationItem(const std::vector<std::string>& items, const char* name);

// The hardware status help text for a multi-line box: each line feed becomes
// carriage return + line feed, and the text stays within 1023 characters.
std::string ScannerProps_ExplanationText(const char* help);

// The graphics lines of the diagnostics dialog: update times in
// milliseconds, the last full repaint in seconds.
struct ViewTimings {
    int32_t minUpdate = 0, maxUpdate = 0;
    double averageUpdate = 0.0, repaintTime = 0.0, cameraDeviation = 0.0;
    int32_t updateCount = 0;  // the updates the mean is taken over
};
std::string Diagnostics_GraphicsText(const ViewTimings& timings);
// The dump file beside the program: the module path's drive and folder
// followed by the name.
std::string Diagnostics_DumpPath(const std::string& modulePath, const std::string& name);

// The hand-entered correction: line and count tweaks of the bottom (channel
// 0) and top (channel 1) camera, dated with the first 24 characters of the
// asctime text of `now` in local time.
LutTweak CalibrationUpdate_MakeTweak(float bottomLine, float topLine, float bottomCount, float topCount,
                                     std::time_t now);

// The accuracy check after sweeps ended: `reported` sweeps were reported
// so far; nothing changes when the scan has no more. Otherwise the running
// report gets one text per new sweep (steps measured from zero for the first
// of them), and the summary covers all sweeps.
struct AccuracyCheckUpdate {
    bool changed = false;
    bool clearReports = false;  // the first report empties both boxes
    std::vector<std::string> running;
    std::string summary;
    int32_t reported = 0;
};
AccuracyCheckUpdate AccuracyCheck_SweepsEnded(const RawData& raw, int32_t cameras, int32_t dotReference,
                                              int32_t reported);
