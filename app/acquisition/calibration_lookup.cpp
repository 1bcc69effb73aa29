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

std::int32_t InterpolateCalibration(std::int32_t channel, float linePosition, float countPosition, Vec3& out) {
    return InterpolateCalibration(CurrentCalibration(), channel, linePosition, countPosition, out);
}
