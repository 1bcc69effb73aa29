// Writing the calibration-correction history back into a calibration file.
#pragma once

#include <cstdint>
#include <string>

#include "app/acquisition/calibration_file.h"

enum CalibrationUpdateResult : std::int32_t {
    CalibrationUpdate_WRITTEN = 1,
    CalibrationUpdate_NOT_OPENED = 6,
    CalibrationUpdate_BAD_FILE = 7,  // bad header, version, or a file shorter than its table
    CalibrationUpdate_WRITE_FAILED = 8,
    CalibrationUpdate_NOT_LOADED = 9,  // the file is not the calibration in use
};

// Rewrites the file with a new header (its "Created:" line and a "Tweaked:"
// line for the newest correction; version 2 becomes 3) and the given history
// after the table. The new file is written aside and replaces the old one in
// one step, so a failure leaves the old file as it was.
std::int32_t UpdateCalibrationFile(const std::string& path, const LutTweakHistory& history);

// The same with the in-memory history of the calibration in use, into the
// file that calibration was loaded from only: another file, or any file
// while no calibration is loaded, is left as it is (NOT_LOADED), so that no
// file takes over another file's history.
std::int32_t UpdateCalibrationFile(const std::string& path);

// The header text of an updated file.
std::string MakeTweakedHeaderText(const std::string& oldText, const LutTweak& newest);
