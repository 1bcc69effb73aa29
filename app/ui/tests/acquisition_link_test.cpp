// The acquisition calls in the shell's scanner link, from the
// program's settings to a started scanner and back.
#include "app/ui/acquisition_link.h"

#include <cstring>
#include <filesystem>

#include "app/acquisition/tests/acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "sim/calibration_writer.h"
#include "app/ui/app_state.h"
#include "app/ui/scanner_link.h"
#include "app/acquisition/tests/hardware_doubles.h"

using namespace acquisition_test;
namespace fs = std::filesystem;

namespace {

void EndOfSweep() {}

class ShellLinkTest : public AcquisitionFixture {
  protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        ResetAcquisitionState();
        SetWindowsVersionForTesting(WindowsVersion::XpOrLater);
        SetHardwarePlatformForTesting(&platform_);
        App_SetMessageSink([this](const AppMessage& m) { messages_.push_back(m); });
        folder_ = fs::temp_directory_path() / "tolvaran_shell_link";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        ScannerLink others;
        others.endOfSweep = EndOfSweep;
        ScannerLink_Install(others);
        Acquisition_InstallScannerLink();
    }
    void TearDown() override {
        ScannerLink_Install(ScannerLink());
        SetHardwarePlatformForTesting(nullptr);
        SetWindowsVersionForTesting(std::nullopt);
        App_SetMessageSink(nullptr);
        fs::remove_all(folder_);
        AcquisitionFixture::TearDown();
    }

    RecordingPlatform platform_;
    std::vector<AppMessage> messages_;
    fs::path folder_;
};

TEST_F(ShellLinkTest, StartsFromTheSettingsAndGivesBackTheFileAndTheReferenceOption) {
    const ScannerLink& link = ScannerLink_Get();
    EXPECT_EQ(link.endOfSweep, EndOfSweep) << "calls installed by others stay";
    ASSERT_TRUE(link.initScannerWithCalibration && link.reinitScanner && link.stopAcquisition && link.onlineState &&
                link.beginCapture && link.connectedWand);
    std::int32_t serial = 0, word = 0;
    Matrix4 offset;
    EXPECT_FALSE(link.connectedWand(serial, word, offset));

    // A fixed-wand calibration, found as the folder's only file.
    CalibrationFileParameters p;
    p.fileVersion = 4;
    p.header.versionMinor = 4;
    p.header.versionRevision = 2;
    ASSERT_TRUE(WriteCalibrationFile((folder_ / "fixed.cfg").string(), p));
    AppState& app = App();
    std::strcpy(app.settings.HardwareConfigFilename, "old.cfg");
    app.settings.ReceiverEnabled = 0;
    app.settings.VideoProcessorRevision = 2;
    app.advanced.Hemisphere = 5;
    const std::string folder = folder_.string() + "/";
    link.initScannerWithCalibration(app.settings.HardwareConfigFilename, folder.c_str());

    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(platform_.calls.back(), "start thread");
    EXPECT_EQ(platform_.lastFirstStart, 0);
    EXPECT_STREQ(app.settings.HardwareConfigFilename, "fixed.cfg");
    EXPECT_EQ(app.settings.ReceiverEnabled, 1);
    EXPECT_EQ(GetProcessingUnitVersion(), 2);
    EXPECT_EQ(GetHemisphereSetting(), 5);
    ASSERT_TRUE(link.connectedWand(serial, word, offset));
    EXPECT_EQ(serial, 345);
    EXPECT_EQ(word, 2);

    // Restarting takes the settings as they are now.
    app.settings.VideoProcessorRevision = 1;
    platform_.calls.clear();
    link.reinitScanner();
    EXPECT_EQ(platform_.calls.back(), "start thread");
    EXPECT_EQ(GetProcessingUnitVersion(), 1);

    // The capture's first index moves the reader.
    Ring_ResetCounts();
    for (int i = 0; i < 5; ++i) Ring_PublishField();
    link.beginCapture(3);
    EXPECT_EQ(Ring_ReadCount(), 3);
    EXPECT_TRUE(link.stopAcquisition());
    EXPECT_EQ(link.onlineState(), Hardware_OFFLINE);
}

}  // namespace
