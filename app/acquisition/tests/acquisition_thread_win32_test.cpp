// The acquisition thread under Windows against the scanner simulator's
// stand-in USB library: start-up, captures, faults, overruns, stopping in
// every wait, a missing library, a device that is not there, and a cable
// pulled and put back.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "sim/calibration_writer.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_startup.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/usb_library.h"
#include "sim/chip_library.h"
#include "sim/processing_unit.h"
#include "sim/scenario.h"
#include "sim/setup.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Seen {
    std::int32_t code;
    std::intptr_t parameter;
    std::int32_t online;           // the online state when the event was raised
    HardwareStatistics statistics;  // at a last field
};

// The user-interface thread's side: takes the events in order, moves the read
// count at each first field, consumes the new fields (reading their wand
// positions) unless told not to.
class UiThread {
public:
    static UiThread*& Current() {
        static UiThread* current = nullptr;
        return current;
    }

    UiThread() {
        Current() = this;
        SetHardwareEventHandler(OnEvent);
        thread_ = std::thread([this] { Run(); });
    }
    ~UiThread() {
        SetHardwareEventHandler(nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
        Current() = nullptr;
    }

    // The acquisition thread's callback: posts, never handles.
    static void OnEvent(std::int32_t code, std::intptr_t parameter) {
        UiThread* ui = Current();
        if (!ui) return;
        Seen seen{code, parameter, GetHardwareOnlineState(), {}};
        if (code == Hardware_LAST_FIELD) GetHardwareStatistics(seen.statistics);
        std::lock_guard<std::mutex> lock(ui->mutex_);
        ui->queue_.push_back(seen);
        ui->changed_.notify_all();
    }

    // Waits until an event handled so far satisfies `done`.
    bool WaitFor(const std::function<bool(const std::vector<Seen>&)>& done, int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done(handled_); });
    }
    bool WaitForEvent(std::int32_t code, int ms, std::size_t count = 1) {
        return WaitFor([&](const std::vector<Seen>& s) { return Count(s, code) >= count; }, ms);
    }
    bool WaitForOnline(std::int32_t state, int ms) {
        return WaitFor([&](const std::vector<Seen>& s) {
            for (const Seen& e : s)
                if (e.code == Hardware_ONLINE_STATUS_CHANGED && e.online == state) return true;
            return false;
        }, ms);
    }
    static std::size_t Count(const std::vector<Seen>& s, std::int32_t code) {
        std::size_t n = 0;
        for (const Seen& e : s) n += e.code == code ? 1 : 0;
        return n;
    }

    std::vector<Seen> Handled() {
        std::lock_guard<std::mutex> lock(mutex_);
        return handled_;
    }
    std::vector<std::vector<Vec3>> Captures() {
        std::lock_guard<std::mutex> lock(mutex_);
        return captures_;
    }
    void SetConsuming(bool consume) {
        std::lock_guard<std::mutex> lock(mutex_);
        consume_ = consume;
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) return;
            const Seen seen = queue_.front();
            queue_.pop_front();
            Handle(seen);
            handled_.push_back(seen);
            changed_.notify_all();
        }
    }

    void Handle(const Seen& seen) {
        if (seen.code == Hardware_FIRST_FIELD) {
            Ring_StartReading(static_cast<std::int32_t>(seen.parameter));
            captures_.emplace_back();
        } else if (seen.code == Hardware_NEW_FIELD_READY && consume_ && Ring_ReadCount() < Ring_WriteCount()) {
            DecodedLocatorBlock block;
            ReadDecodedLocatorBlock(RingSlotAddress(Ring_ReadCount()), block);
            const Matrix4& pose = block.record[block.wandRecord].pose;
            if (!captures_.empty()) captures_.back().push_back(Vec3{pose[12], pose[13], pose[14]});
            Ring_ConsumeField();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Seen> queue_;
    std::vector<Seen> handled_;
    std::vector<std::vector<Vec3>> captures_;
    bool consume_ = true;
    bool quit_ = false;
    std::thread thread_;
};

class AcquisitionThreadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetDllDirectoryA(SIM_LIBRARY_DIR); }

    void SetUp() override {
        SetWindowsVersionForTesting(WindowsVersion::XpOrLater);
        ResetAcquisitionState();
        ResetAcquisitionSettings();
        static int counter = 0;
        folder_ = fs::temp_directory_path() / ("tolvaran_acquisition_" + std::to_string(GetCurrentProcessId()) + "_" +
                                               std::to_string(++counter));
        fs::create_directories(folder_);
    }

    void TearDown() override {
        EXPECT_EQ(StopAcquisition(), 1);
        ReleaseUsbLibrary();
        SetUsbLibraryLoaderForTesting(nullptr);
        SetWindowsVersionForTesting(std::nullopt);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    // Writes the scenario, the calibration file of its wand, and starts the
    // hardware as the program does with the simulator's settings.
    std::int32_t Start(const std::string& text, std::int32_t firstStart) {
        sim::ScenarioError error;
        EXPECT_TRUE(sim::ParseScenario(text, &scenario_, &error)) << error.message;
        const std::string scenarioPath = (folder_ / "test.scenario").string();
        std::ofstream(scenarioPath) << text;
        sim::SetScenarioPath(scenarioPath);
        const std::string calibration = (folder_ / sim::kDefaultCalibrationName).string();
        EXPECT_TRUE(WriteCalibrationFile(calibration, sim::MakeCalibrationParameters(scenario_)));
        ScannerStartSettings settings;
        settings.hemisphere = scenario_.hemisphere;
        settings.trackerSelection = scenario_.trackerSelection;
        settings.minLineWidth = scenario_.minLineWidth;
        settings.maxLineWidth = scenario_.maxLineWidth;
        return StartHardware(1, calibration, scenario_.unitVersion, 0, firstStart, &settings);
    }

    // How long a stop takes, and its result.
    std::pair<std::int32_t, Clock::duration> TimedStop() {
        const Clock::time_point at = Clock::now();
        const std::int32_t result = StopAcquisition();
        return {result, Clock::now() - at};
    }

    // The field number of the first position of a capture, when every
    // position follows the scenario's wand from there, field by field.
    bool FollowsTheWand(const std::vector<Vec3>& positions) {
        if (positions.empty()) return false;
        for (std::int64_t n0 = 0; n0 < 60 * 60; ++n0) {
            bool all = true;
            for (std::size_t i = 0; i < positions.size() && all; ++i) {
                const double t = sim::ProcessingUnit::FieldTime(n0 + static_cast<std::int64_t>(i));
                // The wand record is the second in arrival order.
                const sim::Vec3 truth = scenario_.PortPose(0, t + sim::kRecordPhase[1] * sim::kFieldPeriod).t;
                const double dx = positions[i].x - truth.x, dy = positions[i].y - truth.y, dz = positions[i].z - truth.z;
                all = dx * dx + dy * dy + dz * dz < 1e-4;
            }
            if (all) return true;
        }
        return false;
    }

    sim::Scenario scenario_;
    fs::path folder_;
};

constexpr const char* kScene =
    "hardware 2.1.1\n"
    "calibration-version 4\n"
    "serial 12\n"
    "hemisphere 4\n"
    "reference 0 0 150 0 0 0\n"
    "plane 0 0 700 0 0 -1\n"
    "wand 0 0 0 400 0 0 700\n"
    "wand 5 50 0 400 50 0 700\n";

TEST_F(AcquisitionThreadTest, StartsOnLineAndHandsEveryCaptureOverThroughTheRing) {
    UiThread ui;
    // A clean capture, one with a broken field, one that nobody reads.
    ASSERT_EQ(Start(std::string(kScene) +
                        "press 0.3 0.6\n"
                        "press 0.9 1.2\n"
                        "fault 1.0 1.02 framing\n"
                        "press 1.5 2.6\n",
                    1),
              1);
    ASSERT_TRUE(ui.WaitForEvent(Hardware_LAST_FIELD, 10000, 2));
    ui.SetConsuming(false);
    ASSERT_TRUE(ui.WaitForEvent(Hardware_LAST_FIELD, 10000, 3));
    const std::vector<Seen> seen = ui.Handled();

    std::vector<std::int32_t> online;
    for (const Seen& e : seen)
        if (e.code == Hardware_ONLINE_STATUS_CHANGED) online.push_back(e.online);
    EXPECT_EQ(online, (std::vector<std::int32_t>{Hardware_OFFLINE, Hardware_INITIALISING, Hardware_ONLINE}));

    // Each capture: its first field with its first index, new fields counting
    // up, the last field with the published count.
    std::vector<std::vector<Seen>> captures;
    for (const Seen& e : seen) {
        if (e.code == Hardware_FIRST_FIELD) captures.emplace_back();
        if (!captures.empty() && e.code != Hardware_ONLINE_STATUS_CHANGED) captures.back().push_back(e);
    }
    ASSERT_EQ(captures.size(), 3u);
    std::intptr_t firstIndex = 0;
    for (std::size_t c = 0; c < captures.size(); ++c) {
        SCOPED_TRACE(c);
        const std::vector<Seen>& capture = captures[c];
        EXPECT_EQ(capture.front().parameter, firstIndex);
        std::intptr_t published = 0;
        for (const Seen& e : capture)
            if (e.code == Hardware_NEW_FIELD_READY) EXPECT_EQ(e.parameter, ++published);
        EXPECT_EQ(capture.back().code, Hardware_LAST_FIELD);
        EXPECT_EQ(capture.back().parameter, published);
        EXPECT_EQ(capture.back().statistics.fieldsPublished, published);
        firstIndex += published;
    }
    EXPECT_EQ(UiThread::Count(captures[0], Hardware_NEW_FIELD_READY), 18u);
    EXPECT_EQ(captures[0].back().statistics.fieldErrors, 0);

    // The broken field drops the rest of its capture.
    EXPECT_EQ(UiThread::Count(captures[1], Hardware_RECOVERABLE_ERROR), 1u);
    EXPECT_EQ(captures[1].back().statistics.fieldErrors, 1);
    EXPECT_EQ(captures[1].back().parameter, 6);

    // Nobody reads the third: 49 fields wait and the next is an overrun.
    EXPECT_EQ(captures[2].back().parameter, 49);
    EXPECT_EQ(captures[2].back().statistics.ringOverruns, 1);
    EXPECT_EQ(captures[2].back().statistics.maxFieldsWaiting, 49);
    EXPECT_EQ(captures[2].back().statistics.fieldsRead, 66);

    const std::vector<std::vector<Vec3>> positions = ui.Captures();
    EXPECT_TRUE(FollowsTheWand(positions[0]));
    EXPECT_TRUE(FollowsTheWand(positions[1]));
    EXPECT_EQ(GetUsbState(), UsbState_OPEN);
    EXPECT_EQ(GetHardwareDeviceText(), "Tolvaran USB (FTD2XX)");
}

TEST_F(AcquisitionThreadTest, StopReturnsWithin2000MsInEveryWait) {
    const struct {
        const char* name;
        std::int32_t firstStart;
        std::function<bool(UiThread&)> reach;
    } cases[] = {
        {"tracker start-up wait", 0,
         [](UiThread& ui) { return ui.WaitForOnline(Hardware_INITIALISING, 5000); }},
        {"tracker command send", 1,
         [](UiThread& ui) {
             const bool reached = ui.WaitForOnline(Hardware_INITIALISING, 5000);
             std::this_thread::sleep_for(std::chrono::milliseconds(200));
             return reached;
         }},
        {"capture", 1,
         [](UiThread& ui) {
             const bool reached = ui.WaitForEvent(Hardware_FIRST_FIELD, 10000);
             std::this_thread::sleep_for(std::chrono::milliseconds(100));
             return reached;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UiThread ui;
        ASSERT_EQ(Start(std::string(kScene) + "press 0.1 30\n", c.firstStart), 1);
        ASSERT_TRUE(c.reach(ui));
        const auto [result, took] = TimedStop();
        EXPECT_EQ(result, 1);
        EXPECT_LT(took, std::chrono::milliseconds(2000));
        EXPECT_FALSE(IsAcquisitionRunning());
        ui.WaitFor([](const std::vector<Seen>&) { return false; }, 50);
        const std::vector<Seen> seen = ui.Handled();
        if (std::string(c.name) == "capture") {
            EXPECT_EQ(UiThread::Count(seen, Hardware_FIRST_FIELD), 1u);
            EXPECT_EQ(UiThread::Count(seen, Hardware_LAST_FIELD), 1u) << "the stopped capture is closed";
        } else {
            EXPECT_EQ(UiThread::Count(seen, Hardware_FIRST_FIELD), 0u);
            for (const Seen& e : seen) EXPECT_NE(e.online, Hardware_ONLINE);
        }
        ReleaseUsbLibrary();
    }
}

std::int32_t LoadMissingLibrary(usb_chip::FunctionTable& table) {
    return SystemLoadUsbLibrary("TolvaranNoSuchLibrary.dll", table);
}
std::int32_t LoadLibraryWithoutTheFunctions(usb_chip::FunctionTable& table) {
    return SystemLoadUsbLibrary("kernel32.dll", table);
}

TEST_F(AcquisitionThreadTest, AMissingLibraryOrFunctionEndsTheThreadAsUnrecoverable) {
    const struct {
        UsbLibraryLoader loader;
        std::intptr_t load;
    } cases[] = {{LoadMissingLibrary, UsbLoad_LIBRARY_MISSING}, {LoadLibraryWithoutTheFunctions, UsbLoad_FUNCTION_MISSING}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.load);
        UiThread ui;
        SetUsbLibraryLoaderForTesting(c.loader);
        ASSERT_EQ(Start(std::string(kScene) + "press 1 2\n", 1), 1);
        ASSERT_TRUE(ui.WaitForEvent(Hardware_UNRECOVERABLE_ERROR, 5000));
        EXPECT_EQ(GetUsbState(), UsbState_LIBRARY_MISSING);
        std::vector<std::int32_t> codes;
        for (const Seen& e : ui.Handled())
            if (e.code != Hardware_ONLINE_STATUS_CHANGED) codes.push_back(e.code);
        if (c.load == UsbLoad_LIBRARY_MISSING) {
            EXPECT_EQ(codes, (std::vector<std::int32_t>{Hardware_UNRECOVERABLE_ERROR}));
        } else {
            EXPECT_EQ(codes, (std::vector<std::int32_t>{Hardware_NO_USB_DRIVER, Hardware_UNRECOVERABLE_ERROR}));
            EXPECT_EQ(ui.Handled()[1].parameter, c.load);
        }
        EXPECT_EQ(StopAcquisition(), 1);
        EXPECT_FALSE(IsAcquisitionRunning());
        EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
    }
}

TEST_F(AcquisitionThreadTest, ABusyOrMissingDeviceIsOpenedAgainEvery800Ms) {
    {
        UiThread ui;
        ASSERT_EQ(Start(std::string(kScene) + "open-not-found 1000\npress 1 2\n", 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_EQ(GetUsbState(), UsbState_NOT_FOUND);
        EXPECT_TRUE(IsAcquisitionRunning());
        EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
        const auto [result, took] = TimedStop();
        EXPECT_EQ(result, 1);
        EXPECT_LT(took, std::chrono::milliseconds(2000));
        ReleaseUsbLibrary();
    }
    UiThread ui;
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(Start(std::string(kScene) + "open-busy 2\nopen-not-found 1\npress 30 31\n", 1), 1);
    ASSERT_TRUE(ui.WaitForOnline(Hardware_ONLINE, 10000));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(3 * 800));
    EXPECT_EQ(GetUsbState(), UsbState_OPEN);
}

TEST_F(AcquisitionThreadTest, AnUnpluggedCableIsFoundAgainWithoutARestart) {
    UiThread ui;
    // After the replug the tracker is given its 11 s again.
    ASSERT_EQ(Start(std::string(kScene) +
                        "press 0.2 0.4\n"
                        "unplug 0.6 1.0\n"
                        "press 15.0 15.3\n",
                    1),
              1);
    ASSERT_TRUE(ui.WaitForEvent(Hardware_LAST_FIELD, 20000, 2));
    std::vector<std::int32_t> online;
    for (const Seen& e : ui.Handled())
        if (e.code == Hardware_ONLINE_STATUS_CHANGED) online.push_back(e.online);
    const std::vector<std::int32_t> cycle = {Hardware_OFFLINE, Hardware_INITIALISING, Hardware_ONLINE};
    std::vector<std::int32_t> twice = cycle;
    twice.insert(twice.end(), cycle.begin(), cycle.end());
    EXPECT_EQ(online, twice);
    const std::vector<std::vector<Vec3>> positions = ui.Captures();
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_GE(positions[1].size(), 18u);
    EXPECT_TRUE(FollowsTheWand(positions[1]));
    EXPECT_EQ(UiThread::Count(ui.Handled(), Hardware_UNRECOVERABLE_ERROR), 0u);
}

}  // namespace

namespace {

TEST_F(AcquisitionThreadTest, WithoutTheOmbrixDeviceTheParallelPortDoesNotStart) {
    SetWindowsVersionForTesting(WindowsVersion::Win2000);
    const std::string calibration = (folder_ / "wand.cfg").string();
    ASSERT_TRUE(WriteCalibrationFile(calibration, CalibrationFileParameters()));
    EXPECT_EQ(StartHardware(0, calibration, 0, 0, 1), HardwareStart_DEVICE_NOT_OPENED);
    EXPECT_EQ(GetHardwareTransport(), Transport_PARALLEL);
    EXPECT_FALSE(IsAcquisitionRunning());
    EXPECT_FALSE(IsParallelDeviceOpen());
    EXPECT_EQ(Ring_Buffer(), nullptr) << "nothing stays locked";
}

}  // namespace
