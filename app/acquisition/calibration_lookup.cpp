#include "app/acquisition/calibration_lookup.h"

#include <cmath>

#include "app/acquisition/calibration_state.h"

std::int32_t CalibrationLookup(const CalibrationData& calibration, Vec3& out, std::int32_t channel,
                               std::int32_t row, std::int32_t column) {
    const CalibrationHeader& h = calibration.header;
    const std::size_t entry =
        (static_cast<std::size_t>(channel) * h.LutRows + row) * static_cast<std::size_t>(h.LutColumns) + column;
    const std::int16_t* e = calibration.table.data() + 3 * entry;
    if (e[0] == h.LutUnsetMarker) return 0;
    out = Vec3{e[0] * h.LutScale, e[1] * h.LutScale, e[2] * h.LutScale};
    return 1;
}

std::int32_t InterpolateCalibration(const CalibrationData& calibration, std::int32_t channel, float linePosition,
                                    float countPosition, Vec3& out) {
    if (countPosition == 0.0f) return 0;
    const CalibrationHeader& h = calibration.header;
    if (h.LutRowStep <= 0 || h.LutColumnStep <= 0 || channel < 0) return 0;
    const float u = linePosition / static_cast<float>(h.LutRowStep);
    const float v = countPosition / static_cast<float>(h.LutColumnStep);
    // Written so that a NaN fails too: floor(u) >= 0 and floor(u) + 1 < rows.
    if (!(u >= 0.0f) || !(u < static_cast<float>(h.LutRows - 1))) return 0;
    if (!(v >= 0.0f) || !(v < static_cast<float>(h.LutColumns - 1))) return 0;
    const std::int32_t i = static_cast<std::int32_t>(std::floor(u));
    const std::int32_t j = static_cast<std::int32_t>(std::floor(v));
    // A table shorter than its header says (never from the loader) must not
    // be read past its end.
    const std::size_t last =
        (static_cast<std::size_t>(channel) * h.LutRows + i + 1) * static_cast<std::size_t>(h.LutColumns) + j + 1;
    if (3 * last + 3 > calibration.table.size()) return 0;

    Vec3 e00, e01, e10, e11;
    if (!CalibrationLookup(calibration, e00, channel, i, j)) return 0;
    if (!CalibrationLookup(calibration, e01, channel, i, j + 1)) return 0;
    if (!CalibrationLookup(calibration, e10, channel, i + 1, j)) return 0;
    if (!CalibrationLookup(calibration, e11, channel, i + 1, j + 1)) return 0;

    const float fx = u - static_cast<float>(i);
    const float fy = v - static_cast<float>(j);
    const float w00 = (1.0f - fx) * (1.0f - fy);
    const float w01 = (1.0f - fx) * fy;
    const float w10 = fx * (1.0f - fy);
    const float w11 = fx * fy;
    out = Vec3{w00 * e00.x + w01 * e01.x + w10 * e10.x + w11 * e11.x,
               w00 * e00.y + w01 * e01.y + w10 * e10.y + w11 * e11.y,
               w00 * e00.z + w01 * e01.z + w10 * e10.z + w11 * e11.z};
    return 1;
}

std::int32_t InterpolateCalibration(std::int32_t channel, float linePosition, float countPosition, Vec3& out) {
    return InterpolateCalibration(CurrentCalibration(), channel, linePosition, countPosition, out);
}
