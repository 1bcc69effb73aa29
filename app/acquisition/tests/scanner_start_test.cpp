// Hardware start-up and the user-facing scanner start against a platform
// that records its steps: the order of the steps, what a failure releases,
// the choice of the calibration file and the message of every result.
#include "app/acquisition/scanner_start.h"

#include <filesystem>
#include <functional>

#include "acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/calibration_state.h"
#include "sim/calibration_writer.h"
#include "app/locale/locale_lookup.h"
#include "hardware_doubles.h"

using namespace acquisition_test;
namespace fs = std::filesystem;

namespace {

using Calls = std::vector<std::string>;

const Calls kStop = {"stop thread", "close device", "release buffers"};

Calls Concat(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

CalibrationFileParameters Hardware(std::int32_t major, std::int32_t minor, std::int32_t revision) {
    CalibrationFileParameters p;
    p.fileVersion = 4;
    p.header.versionMajor = major;
    p.header.versionMinor = minor;
    p.header.versionRevision = revision;
    return p;
}

class ScannerStartTest : public AcquisitionFixture {
protected:
    static void SetUpTestSuite() { LoadShippedLocale(); }

    void SetUp() override {
        AcquisitionFixture::SetUp();
        ResetAcquisitionState();
        SetWindowsVersionForTesting(WindowsVersion::XpOrLater);
        SetHardwarePlatformForTesting(&platform_);
        App_SetMessageSink([this](const AppMessage& m) { messages_.push_back(m); });
        SetScannerStatusHooks({[this](const char* text) { status_.push_back(text ? text : "(cleared)"); },
                               [this] { status_.push_back("(refreshed)"); }});
        static int counter = 0;
        folder_ = fs::temp_directory_path() / ("tolvaran_scanner_start_" + std::to_string(++counter));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        request_.calibrationFolder = folder_.string() + "/";
        request_.settingsFileName = "wand.cfg";
        Write("wand.cfg", Hardware(2, 1, 1));
        platform_.onStart = [this] {
            startedWith_.hemisphere = GetHemisphereSetting();
            startedWith_.trackerSelection = GetTrackerSelection();
            startedWith_.referenceEnabled = GetWandReferenceOption();
            startedWith_.minLineWidth = GetMinLaserLineWidth();
            loadedAtStart_ = IsCalibrationLoaded();
        };
        request_.scanner.hemisphere = 3;
        request_.scanner.trackerSelection = 1;
        request_.scanner.minLineWidth = 7;
    }

    void TearDown() override {
        SetHardwarePlatformForTesting(nullptr);
        SetWindowsVersionForTesting(std::nullopt);
        App_SetMessageSink(nullptr);
        SetScannerStatusHooks({});
        fs::remove_all(folder_);
        AcquisitionFixture::TearDown();
    }

    void Write(const std::string& name, const CalibrationFileParameters& p) {
        ASSERT_TRUE(WriteCalibrationFile((folder_ / name).string(), p));
    }

    std::int32_t Start(const std::string& name) {
        return StartHardware(1, (folder_ / name).string(), 0, 0, 1, &request_.scanner);
    }

    struct Platform : RecordingPlatform {
        std::function<void()> onStart;
        bool StartAcquisitionThread(std::int32_t firstStart) override {
            if (onStart) onStart();
            return RecordingPlatform::StartAcquisitionThread(firstStart);
        }
    } platform_;
    ScannerStartRequest request_;
    ScannerStartSettings startedWith_;
    bool loadedAtStart_ = false;
    std::vector<AppMessage> messages_;
    std::vector<std::string> status_;
    fs::path folder_;
};

TEST_F(ScannerStartTest, TheThreadStartsLastOnAFullyLoadedCalibrationWithTheSettingsApplied) {
    ASSERT_EQ(Start("wand.cfg"), 1);
    EXPECT_EQ(platform_.calls, Concat({kStop, {"lock buffers", "lock table", "start thread"}}));
    EXPECT_EQ(platform_.lastFirstStart, 1);
    EXPECT_TRUE(loadedAtStart_);
    EXPECT_EQ(startedWith_.hemisphere, 3);
    EXPECT_EQ(startedWith_.trackerSelection, 1);
    EXPECT_EQ(startedWith_.minLineWidth, 7);
    EXPECT_EQ(GetHardwareTransport(), Transport_USB);
    EXPECT_EQ(GetUsbState(), UsbState_NOT_TRIED);
    EXPECT_EQ(GetHardwareDeviceText(), "Searching for (FT8U245AM)...");
    EXPECT_TRUE(IsAcquisitionRunning());
}

TEST_F(ScannerStartTest, AFixedWandSwitchesTheReferenceOnBeforeTheThreadStarts) {
    Write("fixed.cfg", Hardware(2, 4, 2));
    request_.scanner.referenceEnabled = 0;
    ASSERT_EQ(Start("fixed.cfg"), 1);
    EXPECT_EQ(request_.scanner.referenceEnabled, 1);
    EXPECT_EQ(startedWith_.referenceEnabled, 1);
}

TEST_F(ScannerStartTest, EveryFailureReleasesTheBuffersAndClosesTheDevice) {
    const Calls kFailed = {"release buffers", "close device"};
    const struct {
        const char* name;
        std::function<void(Platform&)> fault;
        const char* file;
        std::int32_t result;
        Calls calls;
    } cases[] = {
        {"buffers not locked", [](Platform& p) { p.lockResult = 4; }, "wand.cfg", 4,
         Concat({kStop, {"lock buffers"}, kFailed})},
        {"no calibration file", [](Platform&) {}, "missing.cfg", 6, Concat({kStop, {"lock buffers"}, kFailed})},
        {"table not locked", [](Platform& p) { p.lockTableResult = false; }, "wand.cfg", 4,
         Concat({kStop, {"lock buffers", "lock table"}, kFailed})},
        {"thread not started", [](Platform& p) { p.threadStarts = false; }, "wand.cfg", 12,
         Concat({kStop, {"lock buffers", "lock table", "start thread"}, kFailed})},
        {"old thread does not stop", [](Platform& p) { p.threadStops = false; }, "wand.cfg", 11, {"stop thread"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform_ = Platform();
        c.fault(platform_);
        EXPECT_EQ(Start(c.file), c.result);
        EXPECT_EQ(platform_.calls, c.calls);
        EXPECT_FALSE(IsAcquisitionRunning());
        EXPECT_FALSE(IsCalibrationLoaded());
    }
}

TEST_F(ScannerStartTest, TheParallelPortIsOpenedAndItsDriverCheckedFirst) {
    const struct {
        const char* name;
        WindowsVersion windows;
        std::uint32_t version;
        std::uint32_t openResult;
        bool noDevice;
        bool accessDenied;
        std::int32_t result;
    } cases[] = {
        {"Windows 2000 driver", WindowsVersion::Win2000, 21214, 0, false, false, 1},
        {"NT 4 with a Windows 2000 driver", WindowsVersion::Nt4, 21214, 0, false, false, 13},
        {"NT 4 driver", WindowsVersion::Nt4, 12001, 0, false, false, 1},
        {"port not opened", WindowsVersion::Win2000, 21214, 0xC000009Au, false, false, 10},
        {"no device", WindowsVersion::Win2000, 21214, 0, true, false, 10},
        {"access denied", WindowsVersion::Win2000, 21214, 0, true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetWindowsVersionForTesting(c.windows);
        EcpDeviceDouble device;
        device.status.VersionNumber = c.version;
        device.openPortResult = c.openResult;
        platform_ = Platform();
        platform_.device = c.noDevice ? nullptr : &device;
        platform_.accessDenied = c.accessDenied;
        EXPECT_EQ(StartHardware(0, (folder_ / "wand.cfg").string(), 0, 0, 0), c.result);
        EXPECT_EQ(GetHardwareTransport(), Transport_PARALLEL);
        EXPECT_EQ(platform_.calls.back(), c.result == 1 ? "start thread" : "close device");
        EXPECT_EQ(IsParallelDeviceOpen(), c.result == 1);
    }
}

TEST(Transport, ParallelOnNt4UsbOnXpTheCallersChoiceOtherwise) {
    EXPECT_EQ(ChooseTransport(WindowsVersion::Nt4, 1), Transport_PARALLEL);
    EXPECT_EQ(ChooseTransport(WindowsVersion::XpOrLater, 0), Transport_USB);
    EXPECT_EQ(ChooseTransport(WindowsVersion::Win2000, 0), Transport_PARALLEL);
    EXPECT_EQ(ChooseTransport(WindowsVersion::Win2000, 1), Transport_USB);
    EXPECT_EQ(ChooseTransport(WindowsVersion::Other, 1), Transport_USB);
}

TEST_F(ScannerStartTest, StopWaitsForTheThreadBeforeReleasingAnything) {
    platform_.threadStops = false;
    EXPECT_EQ(StopAcquisition(), 0);
    EXPECT_EQ(platform_.calls, (Calls{"stop thread"}));
    platform_ = Platform();
    platform_.releaseResult = false;
    ChangeHardwareOnlineState(Hardware_ONLINE, "test");
    SignalWandTrackingState();
    EXPECT_EQ(StopAcquisition(), 0);
    EXPECT_EQ(platform_.calls, kStop);
    EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
    EXPECT_EQ(GetWandTrackingState(), TrackingState_NONE);
}

TEST_F(ScannerStartTest, InitScannerFallsBackToTheFirstCalibrationFileOfTheFolder) {
    Write("b.cfg", Hardware(2, 1, 1));
    std::string path, name = "gone.cfg";
    EXPECT_TRUE(InitScanner(path, name, 1, request_));
    // "b.cfg" sorts before "wand.cfg".
    EXPECT_EQ(name, "b.cfg");
    EXPECT_EQ(path, request_.calibrationFolder + "b.cfg");
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(status_, (std::vector<std::string>{"Starting scanner", "(cleared)", "(refreshed)"}));
}

TEST_F(ScannerStartTest, WithoutAnyCalibrationFileTheNameIsNoFileAndTheOpenFails) {
    fs::remove(folder_ / "wand.cfg");
    for (bool propertiesOpen : {false, true}) {
        messages_.clear();
        request_.propertiesDialogOpen = propertiesOpen;
        std::string path, name = "wand.cfg";
        EXPECT_FALSE(InitScanner(path, name, 0, request_));
        EXPECT_EQ(name, "No File::");
        ASSERT_EQ(messages_.size(), propertiesOpen ? 0u : 1u);
        if (!propertiesOpen) {
            EXPECT_EQ(messages_[0].textKey, "ErrorCalFileOpen");
        }
    }
}

TEST_F(ScannerStartTest, ATrackerHoldingAnOldSetUpIsAWarningAndOneMoreStart) {
    MarkTrackerSynchronisationSent();
    request_.settingsFileName = "wand.cfg";
    std::string path, name = "wand.cfg";
    EXPECT_TRUE(InitScanner(path, name, 1, request_));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].kind, MessageKind::Warning);
    EXPECT_EQ(messages_[0].textKey, "ErrorHwPowerCycle");
    EXPECT_EQ(platform_.lastFirstStart, 0) << "the second start is InitScannerWithCalibration";
}

TEST_F(ScannerStartTest, ReinitScannerUsesThePathAndFlagOfTheLastStart) {
    std::string path, name = "wand.cfg";
    ASSERT_TRUE(InitScanner(path, name, 1, request_));
    platform_.lastFirstStart = -1;
    std::string again = "wand.cfg";
    EXPECT_TRUE(ReinitScanner(again, request_));
    EXPECT_EQ(platform_.lastFirstStart, 1);
}

TEST_F(ScannerStartTest, EveryResultHasItsMessage) {
    const struct {
        std::int32_t result;
        const char* key;
        MessageKind kind;
        bool hiddenByProperties;
    } rows[] = {
        {0, "ErrorHwBusy", MessageKind::Error, false},
        {2, "ErrorCalFileInvalid", MessageKind::Error, false},
        {3, "ErrorInsufficientUserPriviledges", MessageKind::Error, false},
        {4, "ErrorOutOfMemory", MessageKind::Error, false},
        {5, "ErrorHwNotSupported", MessageKind::Error, false},
        {6, "ErrorCalFileOpen", MessageKind::Error, true},
        {7, "ErrorCalFileRead", MessageKind::Error, false},
        {8, "ErrorUnexpected", MessageKind::Error, false},
        {10, "ErrorHwPortAcquistion", MessageKind::Error, true},
        {11, "ErrorHwShutdown", MessageKind::Error, false},
        {12, "ErrorUnexpected", MessageKind::Error, false},
        {13, "ErrorUSBDriverWrongVersion", MessageKind::Error, false},
        {14, "ErrorHwPowerCycle", MessageKind::Warning, false},
        {-3, "ErrorUnexpected", MessageKind::Error, false},
    };
    EXPECT_FALSE(StartResultMessageFor(1, false).shown);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        for (bool propertiesOpen : {false, true}) {
            messages_.clear();
            ReportStartResult(row.result, propertiesOpen);
            if (propertiesOpen && row.hiddenByProperties) {
                EXPECT_TRUE(messages_.empty());
                continue;
            }
            ASSERT_EQ(messages_.size(), 1u);
            EXPECT_EQ(messages_[0].textKey, row.key);
            EXPECT_EQ(messages_[0].kind, row.kind);
            if (std::string(row.key) == "ErrorUnexpected")
                EXPECT_EQ(messages_[0].text, "An unexpected error occurred (error " + std::to_string(row.result) + ").");
            else
                EXPECT_EQ(messages_[0].text, Locale_GetString(row.key));
        }
    }
}

}  // namespace
