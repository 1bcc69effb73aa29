// The parallel-port loop against a device that plays the Ombrix driver's
// side: probing, coming on line, captures, time-outs, version adoption, the
// ring's publish rule and stopping in every wait.
#include "app/acquisition/ecp_loop.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/acquisition_thread.h"
#include "app/acquisition/tracker_link.h"
#include "hardware_doubles.h"

using namespace acquisition_test;

namespace {

constexpr std::uint32_t kSerial = 345;

// A wand field told apart by its wand record's x position.
std::vector<std::uint8_t> Field(int mark, std::int32_t version = 0) {
    FieldParameters p = WandField(kSerial, version);
    p.records[1].position[0] = static_cast<float>(mark);
    return GenerateField(p);
}

float WandX(std::int32_t count) {
    DecodedLocatorBlock block;
    ReadDecodedLocatorBlock(RingSlotAddress(count), block);
    return block.record[block.wandRecord].pose[12] / 10.0f;
}

std::string Joined(const TrackerCommandList& list) {
    std::string all;
    for (const std::string& c : list.Commands()) all += c;
    return all;
}

class EcpLoopTest : public AcquisitionFixture {
  protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        ResetAcquisitionState();
        SetHardwareTransport(Transport_PARALLEL);
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(4);
        device_.portOpen = true;
        device_.whenReadsRunOut = [this] { signals_.stop = true; };
        SetHardwareEventHandler(RecordOnlineStateOrEvent);
        RecordedOnlineStates().clear();
    }

    std::int32_t Run() { return EcpAcquisitionLoop(device_, signals_); }

    EcpDeviceDouble device_;
    VirtualSignals signals_;
};

TEST_F(EcpLoopTest, ProbesOffLineUntilTheUnitAnswersInFullThenConfiguresTheTracker) {
    device_.probeAnswers = {0, 31, 16, 32};
    device_.reads = {EcpDeviceDouble::ShortRead()};
    ASSERT_EQ(Run(), 1);

    EXPECT_EQ(device_.status.WriteTotalTimeout, 250u);
    EXPECT_EQ(device_.status.ReadTotalTimeout, 40u);
    // Three partial answers: off line, probed again every 300 ms.
    EXPECT_EQ(signals_.Count(300), 3u);
    EXPECT_EQ(RecordedOnlineStates(), (std::vector<std::int32_t>{Hardware_INITIALISING, Hardware_ONLINE}));
    EXPECT_EQ(signals_.Count(11000), 1u);
    EXPECT_EQ(device_.commands, Joined(BuildTrackerCommandsForHardware()));
    for (std::uint32_t chunk : device_.chunks) EXPECT_LE(chunk, 8u);
    // 40 ms after every chunk; per pass 40 ms before the read and after a
    // short one (the second read, which found nothing more, met the stop).
    EXPECT_EQ(signals_.Count(40), device_.chunks.size() + 3);
    EXPECT_TRUE(RecordedEvents().empty()) << "no trigger, no capture";
}

TEST_F(EcpLoopTest, WithoutTriggerReadsShortEvery40MsAndProbesAgain) {
    device_.reads.assign(5, EcpDeviceDouble::ShortRead());
    ASSERT_EQ(Run(), 1);
    // One coming on line only; then per pass a probe, 40 ms, a read, 40 ms.
    EXPECT_EQ(signals_.Count(11000), 1u);
    EXPECT_EQ(signals_.Count(40), device_.chunks.size() + 2 * 6 - 1);
    EXPECT_EQ(RecordedOnlineStates().size(), 2u);
}

TEST_F(EcpLoopTest, CapturesPublishAllButTheirFirstFieldAndCarryTheirFirstIndex) {
    device_.reads = {EcpDeviceDouble::ShortRead(),
                     EcpDeviceDouble::FullField(Field(100)),
                     EcpDeviceDouble::FullField(Field(1)),
                     EcpDeviceDouble::FullField(Field(2)),
                     EcpDeviceDouble::ShortRead(),
                     EcpDeviceDouble::ShortRead(),
                     EcpDeviceDouble::FullField(Field(200)),
                     EcpDeviceDouble::FullField(Field(3)),
                     EcpDeviceDouble::ShortRead()};
    ASSERT_EQ(Run(), 1);
    const std::vector<Event> expected = {{Hardware_FIRST_FIELD, 0},     {Hardware_NEW_FIELD_READY, 1},
                                         {Hardware_NEW_FIELD_READY, 2}, {Hardware_LAST_FIELD, 2},
                                         {Hardware_FIRST_FIELD, 2},     {Hardware_NEW_FIELD_READY, 1},
                                         {Hardware_LAST_FIELD, 1}};
    EXPECT_EQ(RecordedEvents(), expected);
    ASSERT_EQ(Ring_WriteCount(), 3);
    EXPECT_EQ(WandX(0), 1.0f);
    EXPECT_EQ(WandX(1), 2.0f);
    EXPECT_EQ(WandX(2), 3.0f);
    HardwareStatistics stats;
    GetHardwareStatistics(stats);
    EXPECT_EQ(stats.fieldsRead, 1);
    EXPECT_EQ(stats.fieldsPublished, 1);
}

TEST_F(EcpLoopTest, FieldsGoThroughABufferOfTheirOwnAndAShortReadLeavesTheSlot) {
    device_.reads = {EcpDeviceDouble::FullField(Field(100)), EcpDeviceDouble::FullField(Field(1))};
    std::vector<std::uint8_t> half = Field(9);
    half.resize(half.size() / 2);
    device_.reads.push_back(EcpDeviceDouble::FullField(half));
    ASSERT_EQ(Run(), 1);
    ASSERT_EQ(Ring_WriteCount(), 1);
    EXPECT_EQ(WandX(0), 1.0f);
    // The torn field never reached the slot at the write count.
    EXPECT_EQ(std::vector<std::uint16_t>(RingSlotAddress(1), RingSlotAddress(1) + 4), std::vector<std::uint16_t>(4, 0));
}

TEST_F(EcpLoopTest, AnotherUnitVersionIsAdoptedAndTheTrackerConfiguredAgain) {
    device_.reads = {EcpDeviceDouble::FullField(Field(100, 1)), EcpDeviceDouble::FullField(Field(1, 1)),
                     EcpDeviceDouble::FullField(Field(2, 1))};
    const std::string version0 = Joined(BuildTrackerCommandsForHardware());
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(GetProcessingUnitVersion(), 1);
    SetHemisphereSetting(4);
    EXPECT_EQ(device_.commands, version0 + Joined(BuildTrackerCommandsForHardware()));
    const std::vector<Event> expected = {
        {Hardware_FIRST_FIELD, 0}, {Hardware_PU_VERSION_MISMATCH, 1}, {Hardware_LAST_FIELD, 0}};
    EXPECT_EQ(RecordedEvents(), expected);
}

TEST_F(EcpLoopTest, AStartedHemisphereSetUpHoldsTheCaptureAndSendsTheHemisphereCommandsAfterIt) {
    SetHemisphereSetting(kHemisphereAutomatic);
    const std::string init = Joined(BuildTrackerCommandsForHardware());
    device_.reads = {EcpDeviceDouble::FullField(Field(100)), EcpDeviceDouble::FullField(Field(1)),
                     EcpDeviceDouble::FullField(Field(2)), EcpDeviceDouble::ShortRead()};
    // Coming on line cleared the states; the set-up window has signalled and
    // a first capture started it.
    device_.afterField = [](std::size_t n) {
        if (n == 1) StoreWandTrackingState(TrackingState_STARTED);
    };
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Ring_WriteCount(), 0) << "held, not published";
    ASSERT_GT(device_.commands.size(), init.size());
    const std::string hemisphere = device_.commands.substr(init.size());
    EXPECT_EQ(hemisphere.substr(0, 2), "cH");
    EXPECT_NE(hemisphere.find("H1,0,0,0\r"), std::string::npos);
    EXPECT_NE(hemisphere.find("H2,0,0,0\r"), std::string::npos);
    EXPECT_EQ(hemisphere.back(), 'C');
}

TEST_F(EcpLoopTest, TheHemisphereCommandsAreSentBeforeTheCaptureEndIsRaised) {
    SetHemisphereSetting(kHemisphereAutomatic);
    const std::string init = Joined(BuildTrackerCommandsForHardware());
    device_.reads = {EcpDeviceDouble::FullField(Field(100)), EcpDeviceDouble::FullField(Field(1)),
                     EcpDeviceDouble::FullField(Field(2)), EcpDeviceDouble::ShortRead()};
    device_.afterField = [](std::size_t n) {
        if (n == 1) StoreWandTrackingState(TrackingState_STARTED);
    };
    // The set-up window answers the capture's end at once, as a fast
    // interface thread may: the commands must already be on their way.
    SetHardwareEventHandler([](std::int32_t code, std::intptr_t parameter) {
        if (code == Hardware_LAST_FIELD) HemisphereSetupDone();
        RecordOnlineStateOrEvent(code, parameter);
    });
    ASSERT_EQ(Run(), 1);
    ASSERT_GT(device_.commands.size(), init.size());
    EXPECT_EQ(device_.commands.substr(init.size(), 2), "cH");
}

TEST_F(EcpLoopTest, ATornReadThatEndsTheCaptureLeavesTheHeldFieldForTheHemisphereCommands) {
    // The last field of a held capture stays in the slot at the write count,
    // where the hemisphere step decodes it; the read that ends the capture
    // brings all but the last word of another field.
    FieldParameters other = WandField(kSerial);
    other.stylus = true;
    other.records[1].position[0] = -50.0f;
    std::vector<std::uint8_t> torn = GenerateField(other);
    torn.resize(torn.size() - 2);
    const auto hemisphereAfter = [&](EcpDeviceDouble::ReadStep end) {
        ResetAcquisitionState();
        SetHardwareTransport(Transport_PARALLEL);
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(kHemisphereAutomatic);
        Ring_ResetCounts();
        EcpDeviceDouble device;
        device.portOpen = true;
        device.reads = {EcpDeviceDouble::FullField(Field(100)), EcpDeviceDouble::FullField(Field(1)),
                        EcpDeviceDouble::FullField(Field(2)), end};
        VirtualSignals signals;
        device.whenReadsRunOut = [&] { signals.stop = true; };
        device.afterField = [](std::size_t n) {
            if (n == 1) StoreWandTrackingState(TrackingState_STARTED);
        };
        const std::string init = Joined(BuildTrackerCommandsForHardware());
        EXPECT_EQ(EcpAcquisitionLoop(device, signals), 1);
        EXPECT_EQ(Ring_WriteCount(), 0) << "held, not published";
        return device.commands.substr(init.size());
    };
    const std::string clean = hemisphereAfter(EcpDeviceDouble::ShortRead());
    ASSERT_EQ(clean.substr(0, 2), "cH");
    EXPECT_EQ(hemisphereAfter(EcpDeviceDouble::FullField(torn)), clean);
    EXPECT_EQ(WandX(0), 2.0f) << "the slot still holds the last whole field";
}

TEST_F(EcpLoopTest, AReaderThatDoesNotConsumeFillsTheRingTo49AndTheOverrunIsCounted) {
    device_.reads.push_back(EcpDeviceDouble::FullField(Field(100)));
    for (int i = 0; i < 60; ++i) device_.reads.push_back(EcpDeviceDouble::FullField(Field(i)));
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Ring_WriteCount(), 49);
    HardwareStatistics stats;
    GetHardwareStatistics(stats);
    EXPECT_EQ(stats.ringOverruns, 1);
    EXPECT_EQ(stats.maxFieldsWaiting, 49);
    EXPECT_EQ(stats.fieldsRead, 60);
    EXPECT_EQ(stats.fieldsPublished, 49);
    EXPECT_EQ(RecordedEvents()[50], (Event{Hardware_RECOVERABLE_ERROR, RecoverableError_RING_FULL}));
    EXPECT_EQ(RecordedEvents().back(), (Event{Hardware_LAST_FIELD, 49}));
}

TEST_F(EcpLoopTest, EveryDeviceFailureTakesTheUnitOffLineAndEndsTheLoop) {
    const struct {
        const char* name;
        std::function<void(EcpDeviceDouble&)> fault;
    } cases[] = {
        {"time-outs refused", [](EcpDeviceDouble& d) { d.failControls = true; }},
        {"probe not started", [](EcpDeviceDouble& d) { d.failProbe = true; }},
        {"read failed", [](EcpDeviceDouble& d) { d.reads = {EcpDeviceDouble::FailedRead()}; }},
        {"command chunk short", [](EcpDeviceDouble& d) { d.shortChunk = 3; }},
        {"command write failed", [](EcpDeviceDouble& d) { d.failChunk = 0; }},
        {"device not ready", [](EcpDeviceDouble& d) { d.portOpen = false; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EcpDeviceDouble device;
        device.portOpen = true;
        c.fault(device);
        VirtualSignals signals;
        device.whenReadsRunOut = [&] { signals.stop = true; };
        ChangeHardwareOnlineState(Hardware_INITIALISING, "test");
        EXPECT_EQ(EcpAcquisitionLoop(device, signals), 0);
        EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
    }
}

TEST_F(EcpLoopTest, TheThreadReportsAFailedLoopAsUnrecoverable) {
    device_.reads = {EcpDeviceDouble::FailedRead()};
    EXPECT_EQ(RunAcquisitionThread(signals_, &device_, 0), 0);
    EXPECT_EQ(RecordedEvents(), (std::vector<Event>{{Hardware_UNRECOVERABLE_ERROR, 0}}));
    EXPECT_FALSE(IsAcquisitionRunning());
    EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
}

TEST_F(EcpLoopTest, TheStopEventEndsEveryWaitOfTheLoop) {
    const struct {
        const char* name;
        std::uint32_t waitToStopIn;  // the stop arrives during the n-th wait of this length
        int nth;
        bool online;  // the unit came on line before
    } cases[] = {
        {"off-line probe", 300, 1, false},
        {"tracker start-up wait", 11000, 1, false},
        {"command send", 40, 5, false},
        {"pause after the sweep", 3000, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EcpDeviceDouble device;
        device.portOpen = true;
        device.probeAnswers = {0};
        device.reads = {EcpDeviceDouble::FullField(Field(100)), EcpDeviceDouble::FullField(Field(1)),
                        EcpDeviceDouble::ShortRead()};
        SetSweepPauseParams(0, 3);
        VirtualSignals signals;
        int seen = 0;
        signals.onWait = [&](std::uint32_t ms) {
            if (ms == c.waitToStopIn && ++seen == c.nth) signals.stop = true;
        };
        device.whenReadsRunOut = [] { FAIL() << "the loop went on after the stop"; };
        RecordedOnlineStates().clear();
        EXPECT_EQ(EcpAcquisitionLoop(device, signals), 1);
        EXPECT_EQ(!RecordedOnlineStates().empty() && RecordedOnlineStates().back() == Hardware_ONLINE, c.online);
    }
    SetSweepPauseParams(0, 0);
}

TEST_F(EcpLoopTest, AStopInTheMiddleOfACaptureClosesItWithItsLastField) {
    device_.reads.push_back(EcpDeviceDouble::FullField(Field(100)));
    for (int i = 0; i < 10; ++i) device_.reads.push_back(EcpDeviceDouble::FullField(Field(i)));
    device_.afterField = [this](std::size_t n) {
        if (n == 4) signals_.stop = true;
    };
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(device_.fieldsRead, 4u);
    EXPECT_EQ(RecordedEvents().back(), (Event{Hardware_LAST_FIELD, 3}));
}

// The real events: a stop during the tracker's 11 s start-up wait ends the
// loop at once.
class ClockSignals : public AcquisitionSignals {
  public:
    bool WaitForStop(std::uint32_t ms) override {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_; });
    }
    Wake WaitForStopOrReceive(std::uint32_t ms) override { return WaitForStop(ms) ? Wake::Stop : Wake::Timeout; }
    void* ReceiveEvent() override { return nullptr; }
    void ResetReceive() override {}
    void Stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
};

TEST_F(EcpLoopTest, StoppingDuringTheTrackerWaitReturnsWithinOneWait) {
    ClockSignals signals;
    std::atomic<std::int32_t> result{-1};
    std::thread loop([&] { result = EcpAcquisitionLoop(device_, signals); });
    while (GetHardwareOnlineState() != Hardware_INITIALISING) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto stopAt = std::chrono::steady_clock::now();
    signals.Stop();
    loop.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::milliseconds(2000));
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(device_.commands.empty());
}

TEST_F(EcpLoopTest, OpeningTheDeviceAsksForThePortOnWindows2000Only) {
    const struct {
        WindowsVersion windows;
        std::uint32_t openResult;
        std::int32_t opened;
        std::vector<std::uint32_t> codes;
    } cases[] = {
        {WindowsVersion::Win2000, 0, 1, {ECP_IOCTL_OPEN_PORT, ECP_IOCTL_PORT_STATUS}},
        {WindowsVersion::Win2000, 0xC00000C0u, 0, {ECP_IOCTL_OPEN_PORT}},
        {WindowsVersion::Nt4, 0, 1, {ECP_IOCTL_PORT_STATUS}},
    };
    for (const auto& c : cases) {
        EcpDeviceDouble device;
        device.openPortResult = c.openResult;
        RecordingPlatform platform;
        platform.device = &device;
        ResetAcquisitionState();
        bool denied = true;
        EXPECT_EQ(OpenParallelDevice(platform, c.windows, &denied), c.opened);
        EXPECT_FALSE(denied);
        EXPECT_EQ(device.controlCodes, c.codes);
        EXPECT_EQ(IsParallelDeviceOpen(), c.opened == 1);
        EXPECT_EQ(GetPortOpenStatus(), c.openResult);
        if (c.opened) {
            EXPECT_EQ(GetHardwareDriverVersion(), ECP_INTERFACE_VERSION);
            EXPECT_EQ(GetHardwareDeviceText(), "21214");
        } else {
            EXPECT_EQ(platform.calls.back(), "close device");
        }
    }
    RecordingPlatform none;
    none.accessDenied = true;
    bool denied = false;
    EXPECT_EQ(OpenParallelDevice(none, WindowsVersion::Win2000, &denied), 0);
    EXPECT_TRUE(denied);
}

TEST(ParallelDriver, SuitsWindowsByTheFirstDigitOfItsVersion) {
    const struct {
        std::uint32_t version;
        WindowsVersion windows;
        bool suits;
    } cases[] = {
        {21214, WindowsVersion::Win2000, true},    {21214, WindowsVersion::Nt4, false},
        {12001, WindowsVersion::Nt4, true},        {12001, WindowsVersion::Win2000, false},
        {21214, WindowsVersion::XpOrLater, false}, {21214, WindowsVersion::Other, false},
    };
    for (const auto& c : cases) EXPECT_EQ(ParallelDriverSuits(c.version, c.windows), c.suits) << c.version;
}

}  // namespace
