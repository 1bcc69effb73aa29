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
};

// Rewrites the file with a new header (its "Created:" line and a "Tweaked:"
// line for the newest correction; version 2 becomes 3) and the given history
// after the table. The new file is written aside and replaces the old one in
// one step, so a failure leaves the old file as it was.
std::int32_t UpdateCalibrationFile(const std::string& path, const LutTweakHistory& history);

// The same with the in-memory history of the calibration in use.
std::int32_t UpdateCalibrationFile(const std::string& path);

// The header text of an updated file.
std::string MakeTweakedHeaderText(const std::string& oldText, const LutTweak& newest);
