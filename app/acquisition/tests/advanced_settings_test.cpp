#include "app/acquisition/advanced_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/files/config_file.h"

namespace {

struct ConfigDeleter {
    void operator()(ConfigFile* file) const { ConfigFile_Free(file); }
};

AdvancedScannerSettings FromText(const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tolvaran_rsc_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    std::unique_ptr<ConfigFile, ConfigDeleter> file(ConfigFile_Load(path.string().c_str()));
    std::filesystem::remove(path);
    return ReadAdvancedScannerSettings(file.get());
}

TEST(AdvancedScannerSettings, DefaultsWhenMissing) {
    const AdvancedScannerSettings s = FromText("# nothing here\n");
    const AdvancedScannerSettings d;
    EXPECT_EQ(s.LocatorFilterLength, 0);
    EXPECT_EQ(s.MinLaserLineWidth, 5);
    EXPECT_EQ(s.MaxLaserLineWidth, 50);
    EXPECT_EQ(s.PixelSize, 0.3125f);
    EXPECT_EQ(s.Hemisphere, 6);
    EXPECT_EQ(s.RxIndexOffset, 0);
    EXPECT_EQ(s.WaitForTrackerInit, 1);
    EXPECT_EQ(s.ScghViewKeys, 0);
    EXPECT_EQ(s.ShowExtentsDialog, 0);
    EXPECT_EQ(ReadAdvancedScannerSettings(nullptr).Hemisphere, d.Hemisphere);
}

TEST(AdvancedScannerSettings, EachKeyOfItsKind) {
    const AdvancedScannerSettings s = FromText(
        "LocatorFilterLength 5\nMinLaserLineWidth 3\nMaxLaserLineWidth 80\nPixelSize 0.25\nHemisphere 2\n"
        "RxIndexOffset 1\nWaitForTrackerInit off\nScghViewKeys yes\nShowExtentsDialog 1\n");
    EXPECT_EQ(s.LocatorFilterLength, 5);
    EXPECT_EQ(s.MinLaserLineWidth, 3);
    EXPECT_EQ(s.MaxLaserLineWidth, 80);
    EXPECT_EQ(s.PixelSize, 0.25f);
    EXPECT_EQ(s.Hemisphere, 2);
    EXPECT_EQ(s.RxIndexOffset, 1);
    EXPECT_EQ(s.WaitForTrackerInit, 0);
    EXPECT_EQ(s.ScghViewKeys, 1);
    EXPECT_EQ(s.ShowExtentsDialog, 1);
}

TEST(AdvancedScannerSettings, WrongKindsKeepTheDefaults) {
    const AdvancedScannerSettings s = FromText(
        "LocatorFilterLength 2.5\nMinLaserLineWidth wide\nPixelSize small\nHemisphere 7\nRxIndexOffset\n"
        "WaitForTrackerInit maybe\npixelsize 9\nHemisphere 3\n");
    EXPECT_EQ(s.LocatorFilterLength, 0);
    EXPECT_EQ(s.MinLaserLineWidth, 5);
    EXPECT_EQ(s.PixelSize, 0.3125f);
    EXPECT_EQ(s.Hemisphere, 6);  // the first Hemisphere line counts
    EXPECT_EQ(s.RxIndexOffset, 0);
    EXPECT_EQ(s.WaitForTrackerInit, 1);
}

TEST(AdvancedScannerSettings, IntegerPixelSizeIsANumber) {
    EXPECT_EQ(FromText("PixelSize 1\n").PixelSize, 1.0f);
}

}  // namespace
