#include "app/ui/camera_image.h"

CameraImageSize CameraImage_Size(const CalibrationHeader* header) {
    constexpr CameraImageSize kFallback = {640, 480};
    if (!header || header->LutRows < 2 || header->LutColumns < 2 || header->LutRowStep <= 0 ||
        header->LutColumnStep <= 0)
        return kFallback;
    const std::int64_t width = static_cast<std::int64_t>(header->LutColumns - 1) * header->LutColumnStep;
    const std::int64_t height = static_cast<std::int64_t>(header->LutRows - 1) * header->LutRowStep;
    if (width > INT32_MAX || height > INT32_MAX) return kFallback;
    return {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}
