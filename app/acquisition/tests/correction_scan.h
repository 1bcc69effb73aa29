// Eight sweeps of one target for the calibration correction's tests and
// benchmark, made with the simulator's calibration model: each profile is
// placed so that the samples of its channel, read at their true positions,
// centre on the target. The logs carry the positions minus a per-channel
// offset, as a wand whose table has drifted reports them.
#pragma once

#include <cmath>
#include <stdexcept>
#include <vector>

#include "app/acquisition/calibration_correction.h"
#include "app/acquisition/calibration_lookup.h"
#include "app/acquisition/profile_line_log.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "sim/calibration_model.h"

namespace correction_test {

using sim::CalibrationModel;

CalibrationData ModelCalibration(int channels) {
    CalibrationData data;
    data.header = CalibrationHeader{1,
                                    2,
                                    2,
                                    1,
                                    1,
                                    0,
                                    CalibrationModel::kRows,
                                    CalibrationModel::kColumns,
                                    CalibrationModel::kRowStep,
                                    CalibrationModel::kColumnStep,
                                    CalibrationModel::kScale,
                                    CalibrationModel::kUnset,
                                    0};
    data.table = CalibrationModel::BuildTable(channels);
    return data;
}

struct Offset {
    float line, count;  // what the search must add back: on the grid
};

struct ScanShape {
    float firstLine = 120.0f;     // the lowest true line position
    bool sameEverySweep = false;  // every sweep the first one's copy
    int profilesPerChannel = 1;   // in each sweep
    int lines = 5, counts = 3;    // samples of a profile: lines x counts
};

// Eight sweeps: four near (count positions about 300), four far (about 700),
// each with its profiles per channel, all turned differently so that only the
// true tweak brings the sweeps together.
class CorrectionSweeps {
  public:
    explicit CorrectionSweeps(const CalibrationData& calibration, const ScanShape& shape = ScanShape())
        : calibration_(calibration), shape_(shape) {}
    static Vec3 Target() { return Vec3{12.0f, -30.0f, 45.0f}; }

    // Appends the eight sweeps to a scan record whose sweep tables exist.
    void AddTo(RawData& r, int channels, const Offset offsets[2]) {
        for (int s = 0; s < kCorrectionSweeps; ++s) {
            const int pose = shape_.sameEverySweep ? 0 : s;
            for (int k = 0; k < shape_.profilesPerChannel; ++k)
                for (int c = 0; c < channels; ++c) AddProfile(r, c, pose, k, offsets[c]);
            ++r.TotalSweeps;
            r.NumSweeps = r.TotalSweeps;
            RawData_GrowSweeps(r);
            r.SweepStartingProfileNo[r.TotalSweeps] = r.TotalProfiles;
        }
    }

  private:
    void AddProfile(RawData& r, int channel, int pose, int step, const Offset& offset) {
        RawData_GrowProfiles(r, 500);
        Profile& p = r.Profiles[r.NumProfiles];
        p = Profile{};
        if (!ProfileLineLog_Ensure(p)) throw std::bad_alloc();
        const ProfileLineLog log = ProfileLineLog_Get(p);
        const int baseCount = pose < 4 ? 300 : 700;
        Vec3 sum{0, 0, 0};
        int n = 0;
        for (int k = 0; k < shape_.lines; ++k) {
            for (int m = 0; m < shape_.counts; ++m) {
                const float line = shape_.firstLine + 6.0f * (k % 20) + 2.0f * pose + 0.5f * (k / 20);
                const int count = baseCount + 7 * m + 3 * k + 5 * pose + step;
                Vec3 truth;
                if (!InterpolateCalibration(calibration_, channel, line, static_cast<float>(count), truth))
                    throw std::runtime_error("sample outside the table");
                V3_Add(sum, truth, sum);
                log.channel[n] = channel;
                log.linePosition[n] = line - offset.line;
                // Ten or eleven counts wide about the reported mid-point,
                // which may be a half count.
                const int twice = 2 * count - static_cast<int>(2.0f * offset.count);
                const int width = twice % 2 != 0 ? 11 : 10;
                log.start[n] = (twice - width) / 2;
                log.end[n] = (twice + width) / 2;
                log.point[n] = truth;
                ++n;
            }
        }
        // One sample whose line was not seen counts for nothing.
        log.channel[n] = channel;
        log.linePosition[n] = shape_.firstLine;
        log.start[n] = 0;
        log.end[n] = 40;
        ++n;
        *log.count = n;
        // Turn the profile, then move it so that its samples centre on the target.
        const Vec3 axis{std::cos(0.7f * pose), std::sin(0.7f * pose), 0.5f + 0.01f * step};
        M4_MakeAxisRotation(axis, 25.0f + 37.0f * pose + 11.0f * channel + 3.0f * step, p.WandRxMatrix);
        Vec3 centre, turned, move;
        V3_Scale(1.0f / static_cast<float>(shape_.lines * shape_.counts), sum, centre);
        M4_TransformPoint(p.WandRxMatrix, centre, turned);
        V3_Sub(Target(), turned, move);
        p.WandRxMatrix[12] = move.x;
        p.WandRxMatrix[13] = move.y;
        p.WandRxMatrix[14] = move.z;
        ++r.NumProfiles;
        r.TotalProfiles = r.NumProfiles;
    }
    const CalibrationData& calibration_;
    ScanShape shape_;
};

// The sweeps in a scan record of their own.
class CorrectionScan {
  public:
    CorrectionScan(const CalibrationData& calibration, int channels, const Offset offsets[2],
                   const ScanShape& shape = ScanShape())
        : sweeps_(calibration, shape) {
        sweeps_.AddTo(scan.raw(), channels, offsets);
    }
    scan_test::TestScan scan;
    const Vec3 target = CorrectionSweeps::Target();

  private:
    CorrectionSweeps sweeps_;
};

}  // namespace correction_test
