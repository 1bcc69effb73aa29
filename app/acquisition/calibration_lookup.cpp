#include "app/acquisition/calibration_lookup.h"

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
    // Both are at least 0 here, where truncation is the floor.
    const auto i = static_cast<std::int32_t>(u);
    const auto j = static_cast<std::int32_t>(v);
    // A table shorter than its header says (never from the loader) must not
    // be read past its end.
    const std::size_t columns = static_cast<std::size_t>(h.LutColumns);
    const std::size_t first = (static_cast<std::size_t>(channel) * h.LutRows + i) * columns + j;
    if (3 * (first + columns + 1) + 3 > calibration.table.size()) return 0;

    // The four corners in the order of the look-up: (i, j), (i, j + 1),
    // (i + 1, j), (i + 1, j + 1); the first unset one fails.
    const std::int16_t* c00 = calibration.table.data() + 3 * first;
    const std::int16_t* corners[4] = {c00, c00 + 3, c00 + 3 * columns, c00 + 3 * columns + 3};
    Vec3 e[4];
    for (int k = 0; k < 4; ++k) {
        if (corners[k][0] == h.LutUnsetMarker) return 0;
        e[k] = Vec3{corners[k][0] * h.LutScale, corners[k][1] * h.LutScale, corners[k][2] * h.LutScale};
    }
    const Vec3 &e00 = e[0], &e01 = e[1], &e10 = e[2], &e11 = e[3];

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
