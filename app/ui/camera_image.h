// The size of the camera image, in the units of a field's laser samples: a
// sample's count position across, its line down. The camera and calibration
// views map this image onto the whole view.
#pragma once

#include "app/acquisition/calibration_file.h"

#include <cstdint>

struct CameraImageSize {
    std::int32_t width;
    std::int32_t height;
};

// The span that the calibration table maps to 3D points (the last row and
// column are only reached by interpolation from below); 640 x 480 without a
// table of usable shape.
CameraImageSize CameraImage_Size(const CalibrationHeader* header);
