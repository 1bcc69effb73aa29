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
// Inline: profile building runs it for every line sample of every field.
inline std::int32_t InterpolateCalibration(const CalibrationData& calibration, std::int32_t channel,
                                           float linePosition, float countPosition, Vec3& out) {
    if (countPosition == 0.0f) return 0;
    const CalibrationHeader& h = calibration.header;
    if (h.LutRowStep <= 0 || h.LutColumnStep <= 0 || channel < 0) return 0;
    const float u = linePosition / static_cast<float>(h.LutRowStep);
    const float v = countPosition / static_cast<float>(h.LutColumnStep);
    // Written so that a NaN fails too: floor(u) >= 0 and floor(u) + 1 < rows.
    if (!(u >= 0.0f) || !(u < static_cast<float>(h.LutRows - 1))) return 0;
    if (!(v >= 0.0f) || !(v < static_cast<float>(h.LutColumns - 1))) return 0;
    // Both are at least 0 here, where truncation is the floor.
    const auto i = static_cast<std::int32_t>(u);
    const auto j = static_cast<std::int32_t>(v);
    // A table shorter than its header says (never from the loader) must not
    // be read past its end.
    const std::size_t columns = static_cast<std::size_t>(h.LutColumns);
    const std::size_t first = (static_cast<std::size_t>(channel) * h.LutRows + i) * columns + j;
    if (3 * (first + columns + 1) + 3 > calibration.table.size()) return 0;

    // The four corners in the order of the look-up: (i, j), (i, j + 1),
    // (i + 1, j), (i + 1, j + 1); an unset one fails.
    const std::int16_t* e00 = calibration.table.data() + 3 * first;
    const std::int16_t* e01 = e00 + 3;
    const std::int16_t* e10 = e00 + 3 * columns;
    const std::int16_t* e11 = e10 + 3;
    const std::int16_t unset = h.LutUnsetMarker;
    if (e00[0] == unset || e01[0] == unset || e10[0] == unset || e11[0] == unset) return 0;

    const float fx = u - static_cast<float>(i);
    const float fy = v - static_cast<float>(j);
    const float w00 = (1.0f - fx) * (1.0f - fy);
    const float w01 = (1.0f - fx) * fy;
    const float w10 = fx * (1.0f - fy);
    const float w11 = fx * fy;
    const float scale = h.LutScale;
    // Each entry is scaled to millimetres before it is weighted.
    const auto blend = [&](int a) {
        return w00 * (e00[a] * scale) + w01 * (e01[a] * scale) + w10 * (e10[a] * scale) + w11 * (e11[a] * scale);
    };
    out = Vec3{blend(0), blend(1), blend(2)};
    return 1;
}
// The same in the calibration in use.
std::int32_t InterpolateCalibration(std::int32_t channel, float linePosition, float countPosition, Vec3& out);
