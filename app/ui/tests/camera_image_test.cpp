#include "app/ui/camera_image.h"

#include <gtest/gtest.h>

namespace {

TEST(CameraImage, TheCalibrationTablesSpanOrTheFallback) {
    struct Case {
        const char* name;
        std::int32_t rows, columns, rowStep, columnStep;
        std::int32_t width, height;
    } const cases[] = {
        {"the simulator's table", 150, 1024, 2, 2, 2046, 298},
        {"a wider step", 151, 1001, 2, 4, 4000, 300},
        {"one row only", 1, 1024, 2, 2, 640, 480},
        {"no columns", 150, 0, 2, 2, 640, 480},
        {"a zero step", 150, 1024, 0, 2, 640, 480},
        {"a negative step", 150, 1024, 2, -2, 640, 480},
        {"beyond 32 bits", 150, 0x7FFFFFFF, 2, 2, 640, 480},
    };
    for (const Case& c : cases) {
        CalibrationHeader header{};
        header.LutRows = c.rows;
        header.LutColumns = c.columns;
        header.LutRowStep = c.rowStep;
        header.LutColumnStep = c.columnStep;
        const CameraImageSize size = CameraImage_Size(&header);
        EXPECT_EQ(size.width, c.width) << c.name;
        EXPECT_EQ(size.height, c.height) << c.name;
    }
    const CameraImageSize none = CameraImage_Size(nullptr);
    EXPECT_EQ(none.width, 640);
    EXPECT_EQ(none.height, 480);
}

}  // namespace
