#include "app/files/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An RGBA image from rows of characters: '.' transparent, a letter opaque
// with that letter as its red byte.
Image FromRows(const std::vector<std::string>& rows) {
    Image image;
    EXPECT_TRUE(
        Image_Allocate(image, kImageRgba, static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size())));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x) {
            uint8_t* p = image.pixels + (y * image.width + x) * 4;
            if (rows[y][x] != '.') p[0] = static_cast<uint8_t>(rows[y][x]), p[3] = 255;
        }
    return image;
}

std::vector<std::string> Rows(const Image& image) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < image.height; ++y) {
        std::string row;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixels + (static_cast<size_t>(y) * image.width + x) * 4;
            row += p[3] ? static_cast<char>(p[0]) : '.';
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(ImageCrop, CutsToTheOpaquePixelsOrKeepsAnEmptyPicture) {
    Image image = FromRows({"......", "..a...", "....b.", "......"});
    Image_CropToAlpha(image);
    EXPECT_EQ(Rows(image), std::vector<std::string>({"a..", "..b"}));
    Image clear = FromRows({"...", "..."});
    Image_CropToAlpha(clear);
    EXPECT_EQ(clear.width, 3);
    EXPECT_EQ(clear.height, 2);
    Image_Free(&image);
    Image_Free(&clear);
}

TEST(ImagePaste, CopiesOnlyTheOverlap) {
    Image target = FromRows({"....", "....", "...."});
    Image source = FromRows({"abcdef", "ghijkl", "mnopqr", "stuvwx"});
    Image_Paste(target, 1, 6, 4, source);
    EXPECT_EQ(Rows(target), std::vector<std::string>({"....", "abcd", "ghij"}));
    Image small = FromRows({"xy"});
    Image_Paste(target, 0, 2, 1, small);
    EXPECT_EQ(Rows(target)[0], "xy..");
    Image grey;
    ASSERT_TRUE(Image_Allocate(grey, kImageGrey, 4, 3));
    Image_Paste(grey, 0, 2, 1, small);  // formats other than RGBA are left alone
    EXPECT_EQ(grey.pixels[0], 0);
    Image_Free(&target);
    Image_Free(&source);
    Image_Free(&small);
    Image_Free(&grey);
}

TEST(ImageRecord, FormatsAndFreeing) {
    EXPECT_EQ(Image_BytesPerPixel(kImageRgb), 3);
    EXPECT_EQ(Image_BytesPerPixel(kImageRgbFiller), 4);
    EXPECT_EQ(Image_BytesPerPixel(kImageGreyAlpha), 2);
    EXPECT_EQ(Image_BytesPerPixel(7), 0);
    Image image;
    EXPECT_FALSE(Image_Allocate(image, 7, 2, 2));
    EXPECT_FALSE(Image_Allocate(image, kImageRgb, -1, 2));
    ASSERT_TRUE(Image_Allocate(image, kImageGrey, 2, 2));
    Image_Free(&image);
    EXPECT_EQ(image.format, kImageEmpty);
    EXPECT_EQ(image.pixels, nullptr);
    Image_Free(nullptr);
}

}  // namespace
