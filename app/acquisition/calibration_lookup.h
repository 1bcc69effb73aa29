// Look-ups in the calibration table: one entry to a point in the wand's own
// frame, and an image position (line and count position) to a point by
// bilinear interpolation between the four surrounding entries.
#pragma once

#include <cstdint>

#include "app/acquisition/calibration_file.h"
#include "app/scan/geometry.h"

// 1 with the entry (channel, row, column) scaled to millimetres, or 0 when
// the entry is unset. The indices must lie inside the table.
std::int32_t CalibrationLookup(const CalibrationData& calibration, Vec3& out, std::int32_t channel,
                               std::int32_t row, std::int32_t column);

// 1 with the interpolated point, or 0 when the position lies outside the
// table, one of the four corners is unset, or the count position is exactly 0
// (no line was seen).
std::int32_t InterpolateCalibration(const CalibrationData& calibration, std::int32_t channel, float linePosition,
                                    float countPosition, Vec3& out);
// The same in the calibration in use.
std::int32_t InterpolateCalibration(std::int32_t channel, float linePosition, float countPosition, Vec3& out);
