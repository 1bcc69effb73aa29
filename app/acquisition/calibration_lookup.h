// Look-ups in the calibration table: one entry to a point in the wand's own
// frame, and an image position (line and count position) to a point by
// bilinear interpolation between the four surrounding entries.
#pragma once

#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "app/acquisition/calibration_file.h"
#include "app/scan/geometry.h"

// 1 with the entry (channel, row, column) scaled to millimetres, or 0 when
// the entry is unset. The indices must lie inside the table.
std::int32_t CalibrationLookup(const CalibrationData& calibration, Vec3& out, std::int32_t channel,
                               std::int32_t row, std::int32_t column);

// The bilinear look-up with the header's values read once, for the many
// look-ups of a field.
class CalibrationGrid {
public:
    explicit CalibrationGrid(const CalibrationData& calibration)
        : table_(calibration.table.data()),
          tableSize_(calibration.table.size()),
          rows_(calibration.header.LutRows),
          columns_(calibration.header.LutColumns),
          rowStep_(static_cast<float>(calibration.header.LutRowStep)),
          columnStep_(static_cast<float>(calibration.header.LutColumnStep)),
          lastRow_(static_cast<float>(calibration.header.LutRows - 1)),
          lastColumn_(static_cast<float>(calibration.header.LutColumns - 1)),
          scale_(calibration.header.LutScale),
          unset_(calibration.header.LutUnsetMarker),
          usable_(calibration.header.LutRowStep > 0 && calibration.header.LutColumnStep > 0) {}

    // 1 with the interpolated point, or 0 when the position lies outside the
    // table, one of the four corners is unset, or the count position is
    // exactly 0 (no line was seen).
    std::int32_t Interpolate(std::int32_t channel, float linePosition, float countPosition, Vec3& out) const {
        if (countPosition == 0.0f || !usable_ || channel < 0) return 0;
        const float u = linePosition / rowStep_;
        const float v = countPosition / columnStep_;
        // Written so that a NaN fails too: floor(u) >= 0 and floor(u) + 1 < rows.
        if (!(u >= 0.0f) || !(u < lastRow_)) return 0;
        if (!(v >= 0.0f) || !(v < lastColumn_)) return 0;
        // Both are at least 0 here, where truncation is the floor.
        const auto i = static_cast<std::int32_t>(u);
        const auto j = static_cast<std::int32_t>(v);
        // A table shorter than its header says (never from the loader) must
        // not be read past its end.
        const std::size_t columns = static_cast<std::size_t>(columns_);
        const std::size_t first = (static_cast<std::size_t>(channel) * rows_ + i) * columns + j;
        if (3 * (first + columns + 1) + 3 > tableSize_) return 0;

        // The four corners in the order of the look-up: (i, j), (i, j + 1),
        // (i + 1, j), (i + 1, j + 1); an unset one fails.
        const std::int16_t* e00 = table_ + 3 * first;
        const std::int16_t* e01 = e00 + 3;
        const std::int16_t* e10 = e00 + 3 * columns;
        const std::int16_t* e11 = e10 + 3;
        if (e00[0] == unset_ || e01[0] == unset_ || e10[0] == unset_ || e11[0] == unset_) return 0;

        const float fx = u - static_cast<float>(i);
        const float fy = v - static_cast<float>(j);
        const __m128 sum = Blend(e00, columns, (1.0f - fx) * (1.0f - fy), (1.0f - fx) * fy, fx * (1.0f - fy), fx * fy);
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, sum);
        out = Vec3{lanes[0], lanes[1], lanes[2]};
        return 1;
    }

    // Four look-ups at once, lane k as Interpolate(channel, linePosition[k],
    // countPosition[k]): the checks and weights four lanes at a time, then each
    // lane's corners. ok[k] is Interpolate's result, out[k] its point (x, y, z
    // and a fourth float) when 1.
    void Interpolate4(std::int32_t channel, __m128 linePosition, __m128 countPosition, __m128 out[4],
                      std::int32_t ok[4]) const {
        const __m128 zero = _mm_setzero_ps();
        const __m128 u = _mm_div_ps(linePosition, _mm_set1_ps(rowStep_));
        const __m128 v = _mm_div_ps(countPosition, _mm_set1_ps(columnStep_));
        // Written so that a NaN fails too, as in Interpolate.
        const __m128 inside = _mm_and_ps(
            _mm_and_ps(_mm_cmpneq_ps(countPosition, zero), _mm_and_ps(_mm_cmpge_ps(u, zero), _mm_cmplt_ps(u, _mm_set1_ps(lastRow_)))),
            _mm_and_ps(_mm_cmpge_ps(v, zero), _mm_cmplt_ps(v, _mm_set1_ps(lastColumn_))));
        // Lanes outside take position 0, which no result uses.
        const __m128i i = _mm_cvttps_epi32(_mm_and_ps(inside, u));
        const __m128i j = _mm_cvttps_epi32(_mm_and_ps(inside, v));
        const __m128 fx = _mm_sub_ps(u, _mm_cvtepi32_ps(i));
        const __m128 fy = _mm_sub_ps(v, _mm_cvtepi32_ps(j));
        const __m128 one = _mm_set1_ps(1.0f);
        alignas(16) float w00[4], w01[4], w10[4], w11[4];
        _mm_store_ps(w00, _mm_mul_ps(_mm_sub_ps(one, fx), _mm_sub_ps(one, fy)));
        _mm_store_ps(w01, _mm_mul_ps(_mm_sub_ps(one, fx), fy));
        _mm_store_ps(w10, _mm_mul_ps(fx, _mm_sub_ps(one, fy)));
        _mm_store_ps(w11, _mm_mul_ps(fx, fy));
        alignas(16) std::int32_t rows[4], cols[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(rows), i);
        _mm_store_si128(reinterpret_cast<__m128i*>(cols), j);
        const int insideLanes = _mm_movemask_ps(inside);
        const std::size_t columns = static_cast<std::size_t>(columns_);
        for (int k = 0; k < 4; ++k) {
            ok[k] = 0;
            if (!usable_ || channel < 0 || !((insideLanes >> k) & 1)) continue;
            const std::size_t first = (static_cast<std::size_t>(channel) * rows_ + rows[k]) * columns + cols[k];
            if (3 * (first + columns + 1) + 3 > tableSize_) continue;
            const std::int16_t* e00 = table_ + 3 * first;
            if (e00[0] == unset_ || e00[3] == unset_ || e00[3 * columns] == unset_ || e00[3 * columns + 3] == unset_)
                continue;
            out[k] = Blend(e00, columns, w00[k], w01[k], w10[k], w11[k]);
            ok[k] = 1;
        }
    }

private:
    // Each entry is scaled to millimetres before it is weighted:
    // ((w00 e00 + w01 e01) + w10 e10) + w11 e11, x, y and z in one go.
    __m128 Blend(const std::int16_t* e00, std::size_t columns, float w00, float w01, float w10, float w11) const {
        const __m128 scale = _mm_set1_ps(scale_);
        const auto corner = [&](const std::int16_t* e, float w) {
            const __m128i xyz = _mm_insert_epi16(_mm_cvtsi32_si128(Pair(e)), e[2], 2);
            const __m128 mm = _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(xyz, xyz), 16)), scale);
            return _mm_mul_ps(_mm_set1_ps(w), mm);
        };
        const std::int16_t* e10 = e00 + 3 * columns;
        return _mm_add_ps(_mm_add_ps(_mm_add_ps(corner(e00, w00), corner(e00 + 3, w01)), corner(e10, w10)),
                          corner(e10 + 3, w11));
    }

    // The entry's first two integers as one 32-bit word.
    static int Pair(const std::int16_t* e) {
        std::int32_t pair;
        std::memcpy(&pair, e, sizeof pair);
        return pair;
    }

    const std::int16_t* table_;
    std::size_t tableSize_;
    std::int32_t rows_, columns_;
    float rowStep_, columnStep_, lastRow_, lastColumn_, scale_;
    std::int16_t unset_;
    bool usable_;
};

// 1 with the interpolated point, or 0 when the position lies outside the
// table, one of the four corners is unset, or the count position is exactly 0
// (no line was seen).
inline std::int32_t InterpolateCalibration(const CalibrationData& calibration, std::int32_t channel,
                                           float linePosition, float countPosition, Vec3& out) {
    return CalibrationGrid(calibration).Interpolate(channel, linePosition, countPosition, out);
}
// The same in the calibration in use.
std::int32_t InterpolateCalibration(std::int32_t channel, float linePosition, float countPosition, Vec3& out);
