#include "app/locale/locale_lookup.h"
#include "app/ui/snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace {

TEST(SnapshotNames, NumbersCountOnAndKeepTheirWidth) {
    struct Case {
        const char* path;
        const char* next;
    };
    const Case cases[] = {{"C:\\shots\\Foot07.png", "C:\\shots\\Foot08.png"},
                          {"C:\\shots\\Foot9.png", "C:\\shots\\Foot10.png"},
                          {"C:\\shots\\Foot99.png", "C:\\shots\\Foot100.png"},
                          {"C:\\shots\\Foot.png", "C:\\shots\\Foot2.png"},
                          {"Foot", "Foot2"},
                          {"C:\\v1.2\\scan.png", "C:\\v1.2\\scan2.png"},
                          {"C:001.png", "C:002.png"},
                          {"C:\\shots\\Foot0099.png", "C:\\shots\\Foot0100.png"},
                          // More digits than any integer holds.
                          {"C:\\shots\\F12345678901234567890.png", "C:\\shots\\F12345678901234567891.png"},
                          {"C:\\shots\\F99999999999999999999999.png", "C:\\shots\\F100000000000000000000000.png"}};
    for (const Case& c : cases) EXPECT_EQ(Snapshot_NextName(c.path), c.next) << c.path;
}

Image Filled(int32_t w, int32_t h, uint8_t alpha) {
    Image image;
    EXPECT_TRUE(Image_Allocate(image, kImageRgba, w, h));
    for (int32_t i = 0; i < w * h; ++i) image.pixels[i * 4 + 3] = alpha;
    return image;
}

// A capture's pixels are weighted by their alpha over transparent black:
// laid over the background they keep their drawn colour where opaque, take
// the background where nothing was drawn and a share of each in between.
TEST(SnapshotCompose, TheViewIsLaidOverItsBackgroundColourAndMadeOpaque) {
    struct Case {
        uint8_t pixel[4];
        uint8_t expected[3];
    } const cases[] = {
        {{0, 0, 0, 0}, {0x10, 0x20, 0x40}},       // nothing drawn
        {{255, 255, 255, 255}, {255, 255, 255}},  // a white line stays white
        {{0, 0, 0, 255}, {0, 0, 0}},              // black drawn stays black
        {{100, 0, 200, 128}, {108, 16, 232}},     // half drawn
        {{255, 255, 255, 1}, {255, 255, 255}},    // no colour beyond white
    };
    Image image = Filled(static_cast<int32_t>(std::size(cases)), 1, 0);
    for (size_t i = 0; i < std::size(cases); ++i) std::memcpy(image.pixels + i * 4, cases[i].pixel, 4);
    Snapshot_OverBackground(image, 0x402010);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const uint8_t* p = image.pixels + i * 4;
        EXPECT_EQ(p[0], cases[i].expected[0]) << i;
        EXPECT_EQ(p[1], cases[i].expected[1]) << i;
        EXPECT_EQ(p[2], cases[i].expected[2]) << i;
        EXPECT_EQ(p[3], 255) << i;
    }
    Image_Free(&image);
}

TEST(SnapshotCompose, ViewOnTopTextUnderCropOnRequest) {
    Image view = Filled(6, 4, 0);
    view.pixels[(1 * 6 + 2) * 4 + 3] = 255;  // one drawn pixel at (2, 1)
    Image text = Filled(8, 3, 255);
    Image out;
    ASSERT_TRUE(Snapshot_Compose(view, &text, false, out));
    EXPECT_EQ(out.width, 8);
    EXPECT_EQ(out.height, 7);
    EXPECT_EQ(out.pixels[(1 * 8 + 2) * 4 + 3], 255);
    EXPECT_EQ(out.pixels[(5 * 8 + 7) * 4 + 3], 255);  // the text rows
    EXPECT_EQ(out.pixels[(0 * 8 + 7) * 4 + 3], 0);    // right of the view: zero-filled
    ASSERT_TRUE(Snapshot_Compose(view, nullptr, true, out));
    EXPECT_EQ(out.width, 1);
    EXPECT_EQ(out.height, 1);
    Image empty = Filled(5, 5, 0);
    ASSERT_TRUE(Snapshot_Compose(empty, nullptr, true, out));
    EXPECT_EQ(out.width, 5);  // nothing drawn: the whole picture stays
    Image_Free(&view);
    Image_Free(&text);
    Image_Free(&out);
    Image_Free(&empty);
}

TEST(SnapshotInfo, SweepsAndTheShownSurface) {
    GeneralSettings settings = {};
    RawData raw = {};
    raw.NumPoints = 1200;
    raw.NumFacets = 2000;
    raw.NumProfiles = 40;
    raw.NumSweeps = 3;
    SurfaceRecord basic = {}, rbf = {};
    basic.NumPoints = 10;
    basic.NumFacets = 16;
    basic.Area = 1234.5f;
    basic.BasicParams.FilterRadius = 1.5f;
    basic.BasicParams.ExportResolutionClip = 0.75f;
    const std::string sweeps = FormatSnapshotInfo(1, settings, &raw, basic, rbf);
    EXPECT_EQ(sweeps, std::string(Locale_GetString("StandardSweeps")) + ": 1200 " +
                          Locale_GetString("SnapshotInfoNumPointsUnits") + ", 2000 " +
                          Locale_GetString("SnapshotInfoNumFacetsUnits") + ", 40 " +
                          Locale_GetString("SnapshotInfoNumProfilesUnits") + ", 3 " +
                          Locale_GetString("SnapshotInfoNumSweepsUnits") + "\n");
    settings.CombineSweeps = 1;
    const std::string surface = FormatSnapshotInfo(2, settings, &raw, basic, rbf);
    EXPECT_NE(surface.find("1234.5 " + std::string(Locale_GetString("SnapshotInfoSurfaceAreaUnits"))),
              std::string::npos);
    EXPECT_NE(surface.find(std::string(Locale_GetString("SnapshotInfoSmoothing")) + " = 1.5 "), std::string::npos);
    EXPECT_EQ(std::count(surface.begin(), surface.end(), '\n'), 2);
    settings.CombineSweeps = 2;
    rbf.RbfParams.RbfSimplify = 1;
    rbf.RbfParams.RbfSimpTarget = 1;
    rbf.RbfParams.RbfSimpNFaces = 5000;
    const std::string smooth = FormatSnapshotInfo(2, settings, &raw, basic, rbf);
    EXPECT_EQ(std::count(smooth.begin(), smooth.end(), '\n'), 3);
    EXPECT_NE(smooth.find("= 5000 " + std::string(Locale_GetString("SnapshotInfoNumFacetsUnits"))), std::string::npos);
}

}  // namespace
