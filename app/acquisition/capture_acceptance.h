// The acceptance tests of the calibration and accuracy capture modes. Each
// reads the target detections of a profile's line log (camera, point) and
// marks the detections it rejects: coordinates 1e10, start and end 0.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>

// Mode 3: every camera saw the target (any camera with partial acceptance).
bool Accept_AllCameras(Profile& profile, int32_t cameras, bool acceptPartial);

// Mode 5: with the target option on, only detections within 10 of the
// target centre in x and y count; camera 0 (and 1 with two or more cameras)
// must have one.
bool Accept_CentredTarget(Profile& profile, int32_t cameras, bool targetOption);

// Mode 4: the wand's range from the calibration target must fall in the
// near band for the first 4 sweeps and the far band for the next 4; the
// target's detections (x² + y² < 64) must be seen by every camera.
struct CorrectionGeometry {
    float nearDistance, farDistance, halfWidth, lateralOffset;
};
// Identity text beginning with "2": the smaller geometry.
CorrectionGeometry CorrectionGeometry_For(const char* identity, bool fixedWand);
bool Accept_CorrectionTarget(Profile& profile, int32_t cameras, int32_t sweeps, const CorrectionGeometry& geometry);
