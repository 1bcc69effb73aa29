// The accuracy check's report: per camera, the mean target detection of
// each sweep, their spread about their centroid and about the reference
// point, and the offset of the centroid from the reference point.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>
#include <string>
#include <vector>

// The calibration dot's position, subtracted when the box asks for it.
constexpr Vec3 kCalibrationDot{10.6258f, 11.334f, -27.0731f};

// Sweeps first to end - 1 of the scan (any number of them). dotReference
// 0 subtracts the calibration dot, 1 the origin. previous: the offsets of the
// last report, one per camera, updated here; null gives "n/a" steps. A
// camera without a detection in a sweep leaves that sweep out of its figures.
std::string AccuracyReport_Format(const RawData& raw, int32_t cameras, int32_t dotReference, int32_t first, int32_t end,
                                  std::vector<Vec3>* previous);
