// The USB loop's decisions against a scripted stand-in for the chip maker's
// library: what is retried from the loop top, what ends the loop, which
// events each raises, and the waits that the first start skips.
#include "app/acquisition/usb_loop.h"

#include <deque>

#include "acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/tracker_link.h"
#include "app/acquisition/usb_library.h"
#include "hardware_doubles.h"

using namespace acquisition_test;
using namespace usb_chip;

namespace {

constexpr std::uint32_t kSerial = 345;

// The library's side: each call takes the next status of its script (ok when
// the script is empty); reads take whole fields, short reads or statuses.
struct UsbScript {
    std::deque<Status> opens, timeouts, statuses, writes;
    struct ReadStep {
        Status status = kOk;
        std::vector<std::uint8_t> bytes;  // fewer than a field: a short read
    };
    std::deque<ReadStep> reads;
    bool pending = false;  // the receive event is set
    std::size_t opened = 0, closed = 0;
    std::string written;
    std::function<void()> whenReadsRunOut;

    static Status Next(std::deque<Status>& script) {
        if (script.empty()) return kOk;
        const Status s = script.front();
        script.pop_front();
        return s;
    }
};

UsbScript* g_script = nullptr;

Status USB_CHIP_CALL Open(int, Handle*) { return kOk; }
Status USB_CHIP_CALL OpenEx(void*, Count, Handle* handle) {
    const Status s = UsbScript::Next(g_script->opens);
    if (s == kOk) {
        *handle = reinterpret_cast<Handle>(0x1234);
        ++g_script->opened;
    }
    return s;
}
Status USB_CHIP_CALL Close(Handle) {
    ++g_script->closed;
    return kOk;
}
Status USB_CHIP_CALL Read(Handle, void* buffer, Count bytes, Count* got) {
    *got = 0;
    if (bytes < static_cast<Count>(kFieldBytes)) return kOk;  // the drain finds nothing
    if (g_script->reads.empty()) {
        g_script->pending = false;
        if (g_script->whenReadsRunOut) g_script->whenReadsRunOut();
        return kOk;
    }
    UsbScript::ReadStep step = std::move(g_script->reads.front());
    g_script->reads.pop_front();
    if (step.status != kOk) return step.status;
    *got = static_cast<Count>(std::min<std::size_t>(bytes, step.bytes.size()));
    if (*got) std::memcpy(buffer, step.bytes.data(), *got);
    if (*got < bytes) g_script->pending = false;
    return kOk;
}
// In a write script: the write succeeds but moves one byte less.
constexpr Status kShortWrite = 1000;

Status USB_CHIP_CALL Write(Handle, void* data, Count bytes, Count* written) {
    const Status s = UsbScript::Next(g_script->writes);
    if (s == kShortWrite) {
        *written = bytes - 1;
        return kOk;
    }
    *written = s == kOk ? bytes : 0;
    if (s == kOk) g_script->written.append(static_cast<const char*>(data), bytes);
    return s;
}
Status USB_CHIP_CALL Ok1(Handle) { return kOk; }
Status USB_CHIP_CALL Purge(Handle, Count) { return kOk; }
Status USB_CHIP_CALL SetTimeouts(Handle, Count, Count) { return UsbScript::Next(g_script->timeouts); }
Status USB_CHIP_CALL SetEventNotification(Handle, Count, void*) { return kOk; }
Status USB_CHIP_CALL GetStatus(Handle, Count* rx, Count*, Count*) {
    *rx = 0;
    return UsbScript::Next(g_script->statuses);
}

std::int32_t LoadScript(FunctionTable& table) {
    table = FunctionTable{};
    table.Open = Open;
    table.OpenEx = OpenEx;
    table.Close = Close;
    table.Read = Read;
    table.Write = Write;
    table.ResetDevice = Ok1;
    table.Purge = Purge;
    table.SetTimeouts = SetTimeouts;
    table.SetEventNotification = SetEventNotification;
    table.GetStatus = GetStatus;
    return UsbLoad_LOADED;
}

std::int32_t LoadNothing(FunctionTable&) { return UsbLoad_FUNCTION_MISSING; }
std::int32_t LoadNoLibrary(FunctionTable&) { return UsbLoad_LIBRARY_MISSING; }

// Waits on a virtual clock; the receive event is the script's pending flag.
// Waiting for data with nothing left in the script ends the test with a stop.
class UsbSignals : public VirtualSignals {
public:
    Wake WaitForStopOrReceive(std::uint32_t ms) override {
        if (stop) return Wake::Stop;
        if (g_script->pending) return Wake::Receive;
        if (g_script->reads.empty()) stop = true;
        return WaitForStop(ms) ? Wake::Stop : Wake::Timeout;
    }
};

std::vector<std::uint8_t> Field(int mark) {
    FieldParameters p = WandField(kSerial);
    p.records[1].position[0] = static_cast<float>(mark);
    return GenerateField(p);
}

class UsbLoopTest : public AcquisitionFixture {
protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        ResetAcquisitionState();
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(4);
        g_script = &script_;
        script_.whenReadsRunOut = [this] { signals_.stop = true; };
        SetUsbLibraryLoaderForTesting(LoadScript);
        SetHardwareEventHandler(RecordOnlineStateOrEvent);
        RecordedOnlineStates().clear();
    }
    void TearDown() override {
        SetUsbLibraryLoaderForTesting(nullptr);
        g_script = nullptr;
        AcquisitionFixture::TearDown();
    }

    void Capture(std::initializer_list<int> marks, Status end = kOk) {
        script_.pending = true;
        for (int mark : marks) script_.reads.push_back({kOk, Field(mark)});
        script_.reads.push_back({end, {}});
    }

    UsbScript script_;
    UsbSignals signals_;
};

TEST_F(UsbLoopTest, TheFirstStartSkipsTheTrackerWaitAndEveryFieldIsPublished) {
    Capture({1, 2, 3});
    ASSERT_EQ(UsbAcquisitionLoop(signals_, 1), 1);
    EXPECT_EQ(RecordedOnlineStates(), (std::vector<std::int32_t>{Hardware_OFFLINE, Hardware_INITIALISING, Hardware_ONLINE}));
    EXPECT_EQ(signals_.Count(11000), 0u);
    const TrackerCommandList commands = BuildTrackerCommandsForHardware();
    std::string all;
    for (const std::string& c : commands.Commands()) all += c;
    EXPECT_EQ(script_.written, all);
    const std::vector<Event> expected = {{Hardware_FIRST_FIELD, 0},     {Hardware_NEW_FIELD_READY, 1},
                                         {Hardware_NEW_FIELD_READY, 2}, {Hardware_NEW_FIELD_READY, 3},
                                         {Hardware_LAST_FIELD, 3}};
    EXPECT_EQ(RecordedEvents(), expected);
    EXPECT_EQ(GetUsbState(), UsbState_OPEN);
    EXPECT_EQ(script_.closed, script_.opened);
}

TEST_F(UsbLoopTest, ALostDeviceIsOpenedAgainAndTheTrackerGivenItsWait) {
    const struct {
        const char* name;
        std::function<void(UsbScript&)> lose;
        std::size_t lastFields;  // a capture cut short still ends with its last field
    } cases[] = {
        {"time-outs: device not found", [](UsbScript& s) { s.timeouts = {kDeviceNotFound}; }, 0},
        {"status: io error", [](UsbScript& s) { s.statuses = {kIoError}; }, 0},
        {"commands written short", [](UsbScript& s) { s.writes = {kShortWrite}; }, 0},
        {"read in a capture: io error", [](UsbScript& s) {
             s.pending = true;
             s.reads = {{kOk, Field(1)}, {kIoError, {}}};
         }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = UsbScript();
        script_.whenReadsRunOut = [this] { signals_.stop = true; };
        signals_ = UsbSignals();
        RecordedEvents().clear();
        c.lose(script_);
        // The next session's capture ends the test.
        signals_.onWait = [this](std::uint32_t ms) {
            if (ms == 11000) Capture({7});
        };
        EXPECT_EQ(UsbAcquisitionLoop(signals_, 1), 1);
        EXPECT_EQ(signals_.Count(11000), 1u) << "the tracker's wait after the loss";
        EXPECT_EQ(GetUsbState(), UsbState_OPEN);
        ASSERT_FALSE(RecordedEvents().empty());
        EXPECT_EQ(RecordedEvents().back(), (Event{Hardware_LAST_FIELD, 1}));
        std::size_t lasts = 0;
        for (const Event& e : RecordedEvents()) lasts += e.first == Hardware_LAST_FIELD ? 1 : 0;
        EXPECT_EQ(lasts, c.lastFields + 1);
    }
}

TEST_F(UsbLoopTest, ADeviceNotFoundOrBusyIsOpenedAgainEvery800Ms) {
    script_.opens = {kDeviceNotFound, kInvalidHandle, kInvalidHandle};
    Capture({1});
    ASSERT_EQ(UsbAcquisitionLoop(signals_, 1), 1);
    EXPECT_EQ(signals_.Count(800), 3u);
    EXPECT_EQ(signals_.Count(11000), 0u) << "still the first start";
    EXPECT_EQ(GetUsbState(), UsbState_OPEN);
    EXPECT_EQ(GetUsbStatusText(), "ok");
    EXPECT_EQ(RecordedEvents().back(), (Event{Hardware_LAST_FIELD, 1}));
}

TEST_F(UsbLoopTest, TimeOutsThatCannotBeSetAreTriedAgain) {
    script_.timeouts = {kOtherError, kInvalidParameter};
    Capture({1});
    ASSERT_EQ(UsbAcquisitionLoop(signals_, 1), 1);
    EXPECT_EQ(script_.opened, 1u);
    ASSERT_FALSE(RecordedEvents().empty());
    EXPECT_EQ(RecordedEvents().back(), (Event{Hardware_LAST_FIELD, 1}));
}

TEST_F(UsbLoopTest, FatalFailuresEndTheLoopWithTheirEvents) {
    const struct {
        const char* name;
        std::function<void(UsbScript&)> fault;
        UsbLibraryLoader loader;
        std::int32_t usbState;
        std::vector<Event> events;
    } cases[] = {
        {"library missing: only the unrecoverable end", [](UsbScript&) {}, LoadNoLibrary, UsbState_LIBRARY_MISSING, {}},
        {"library function missing", [](UsbScript&) {}, LoadNothing, UsbState_LIBRARY_MISSING,
         {{Hardware_NO_USB_DRIVER, UsbLoad_FUNCTION_MISSING}}},
        {"device not opened", [](UsbScript& s) { s.opens = {kDeviceNotOpened}; }, LoadScript, UsbState_FAILED,
         {{Hardware_USB_INIT_ERROR, kDeviceNotOpened}}},
        {"status: insufficient resources", [](UsbScript& s) { s.statuses = {kInsufficientResources}; }, LoadScript,
         UsbState_FAILED, {}},
        {"read in a capture: other error",
         [](UsbScript& s) {
             s.pending = true;
             s.reads = {{kOk, Field(1)}, {kOtherError, {}}};
         },
         LoadScript, UsbState_FAILED, {{Hardware_FIRST_FIELD, 0}, {Hardware_NEW_FIELD_READY, 1}, {Hardware_LAST_FIELD, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script_ = UsbScript();
        signals_ = UsbSignals();
        RecordedEvents().clear();
        RecordedOnlineStates().clear();
        c.fault(script_);
        SetUsbLibraryLoaderForTesting(c.loader);
        EXPECT_EQ(UsbAcquisitionLoop(signals_, 1), 0);
        EXPECT_EQ(GetUsbState(), c.usbState);
        EXPECT_EQ(RecordedEvents(), c.events);
        EXPECT_EQ(GetHardwareOnlineState(), Hardware_OFFLINE);
        EXPECT_EQ(script_.closed, script_.opened);
    }
}

}  // namespace
