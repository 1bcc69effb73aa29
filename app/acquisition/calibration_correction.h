// The calibration correction's search: eight sweeps of one target at two
// distances, re-read from their line logs through the calibration table with
// a grid of line and count tweaks, and per video channel the tweak that makes
// the eight sweep centres agree best. Portable; the window that collects the
// sweeps and writes the result is the user interface's.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "app/acquisition/calibration_file.h"
#include "app/scan/raw_data.h"

constexpr std::int32_t kCorrectionSweeps = 8;
// The grid: line tweak −5 to 5 by 0.125 (outer), count tweak −25 to 25 by 0.5
// (inner), both ends included.
constexpr std::int32_t kCorrectionLineSteps = 81;
constexpr std::int32_t kCorrectionCountSteps = 101;
constexpr float kCorrectionLineFirst = -5.0f, kCorrectionLineStep = 0.125f;
constexpr float kCorrectionCountFirst = -25.0f, kCorrectionCountStep = 0.5f;
// The RMS a channel keeps when no candidate at its current tweaks was usable.
constexpr float kCorrectionUnknownRms = 100.0f;

// The two records of a correction: the result (best tweaks) and the reset
// record (zero tweaks), both with the search's RMS values and deviations.
struct CorrectionSearch {
    LutTweak result;
    LutTweak reset;
    bool found[2];  // a usable candidate on the channel
    Vec3 newCentre[2], oldCentre[2], zeroCentre[2];
    bool hasOld[2], hasZero[2];
    // (old RMS 0 + old RMS 1) − (new RMS 0 + new RMS 1): positive when the
    // result improves on the current tweaks.
    float improvement;
};

// The status text of the window after a sweep: the next sweep below eight,
// the compute invitation at exactly eight (the only count that computes),
// too many above.
const char* CalibrationCorrection_SweepStatusKey(std::int32_t sweeps);

// The values of the two passes' instruction texts: distance in mm, in
// inches, and the sensitivity.
struct CorrectionPassValues {
    std::int32_t distanceMm, distanceInches, sensitivity;
};
struct CorrectionPassDistances {
    CorrectionPassValues passOne, passTwo;
};
// 100/4/1 and 200/8/2 for hardware whose version text starts with "2", else
// (hardware "1.1.1") 125/5/1 and 250/10/2.
CorrectionPassDistances CalibrationCorrection_PassDistances(const std::string& hardwareVersionText);

// Both records cleared, dated (the first 24 characters of asctime) and the
// result's RMS values set to 100.0, as the window holds them when it opens.
void CalibrationCorrection_InitRecords(LutTweak& result, LutTweak& reset, std::time_t now);

// The grid search over the first eight sweeps of the scan, on `channels`
// channels (1 or 2) of the calibration, with the current tweaks. The records
// must have been initialised (their dates are kept). The scan must hold
// exactly eight sweeps; each sweep's profiles need their line logs.
void CalibrationCorrection_Search(const RawData& raw, const CalibrationData& calibration, std::int32_t channels,
                                  const LutTweak& current, CorrectionSearch& search);

// The sweep centres of one candidate on one channel: false when a sweep has
// no usable sample. Exposed for the benchmark and the tests.
bool CalibrationCorrection_SweepCentres(const RawData& raw, const CalibrationData& calibration, std::int32_t channel,
                                        float lineTweak, float countTweak, Vec3 outCentres[kCorrectionSweeps]);

// The RMS distance of the eight sweep centres from their mean (returned in
// outCentre).
double CalibrationCorrection_Rms(const Vec3 centres[kCorrectionSweeps], Vec3& outCentre);
