// The main program's parallel-port loop over the real driver on the
// simulated kernel: its client order, the generated fields reaching the ring
// bit for bit, and the unit going off line when unplugged and on line again
// when plugged back.
#include <cstring>
#include <memory>

#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/ecp_loop.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/tests/acquisition_test_support.h"
#include "app/acquisition/tests/hardware_doubles.h"
#include "app/acquisition/tracker_link.h"
#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

using namespace acquisition_test;

constexpr uint32_t kSerial = 345;
constexpr uint32_t kTransferWaitMs = 300;

// The handle on "\\.\ECP" as the program's overlapped transfers use it: a
// transfer runs until it completes, at most 300 ms, then is cancelled. A
// transfer that completes short (its time-out, or cancelled) still counts
// as moved; only a failure of another kind fails it.
class KernelEcpDevice : public EcpDeviceIo {
  public:
    KernelEcpDevice(kernelsim::Kernel& kernel, int handle) : kernel_(kernel), handle_(handle) {}

    std::vector<uint32_t> controlCodes;

    bool Control(uint32_t code, const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                 uint32_t* returned) override {
        controlCodes.push_back(code);
        kernelsim::Request request = kernel_.Control(handle_, code, in, inBytes, outBytes);
        *returned = static_cast<uint32_t>(request->output.size());
        if (out && !request->output.empty()) std::memcpy(out, request->output.data(), request->output.size());
        return request->done && request->status == kSuccess;
    }
    bool Write(const void* data, uint32_t bytes, uint32_t* moved) override {
        return Finish(kernel_.Write(handle_, data, bytes), moved);
    }
    bool Read(void* buffer, uint32_t bytes, uint32_t* moved) override {
        return Finish(kernel_.Read(handle_, buffer, bytes), moved);
    }

  private:
    bool Finish(const kernelsim::Request& request, uint32_t* moved) {
        kernel_.Settle();
        for (uint32_t ms = 0; !request->done && ms < kTransferWaitMs; ++ms) {
            kernel_.AdvanceMs(1);
            kernel_.Settle();
        }
        if (!request->done) kernel_.Cancel(request);
        *moved = static_cast<uint32_t>(request->information);
        return request->status == kSuccess || request->status == kCancelled || request->status == kIoTimeout;
    }

    kernelsim::Kernel& kernel_;
    int handle_;
};

class KernelPlatform : public RecordingPlatform {
  public:
    KernelPlatform(kernelsim::Kernel& kernel, int handle) : device_(kernel, handle) { device = &device_; }
    KernelEcpDevice device_;
};

std::vector<uint8_t> Field(int mark) {
    FieldParameters p = WandField(kSerial, 0);
    p.records[1].position[0] = static_cast<float>(mark);
    return GenerateField(p);
}

class EcpLoopOnKernel : public SimulatedMachine {
  protected:
    void SetUp() override {
        SimulatedMachine::SetUp();
        ring_.emplace(RecordOnlineStateOrEvent, RecordTrace);
        Ring_ResetCounts();
        ZeroHardwareStatistics();
        ResetAcquisitionSettings();
        ResetAcquisitionState();
        RecordedEvents().clear();
        RecordedOnlineStates().clear();
        SetHardwareTransport(Transport_PARALLEL);
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(4);
    }
    void TearDown() override {
        ring_.reset();
        SimulatedMachine::TearDown();
    }

    void Unplug(bool unplugged) {
        kernelsim::Peripheral& unit = kernel.PeripheralOn(0);
        unit.online = !unplugged;
        unit.acceptLimit = unplugged ? 0 : SIZE_MAX;
    }

    std::optional<AttachedRing> ring_;
};

TEST_F(EcpLoopOnKernel, ClientOrderFieldsToTheRingAndUnplugReplug) {
    const int handle = Open();
    KernelPlatform platform(kernel, handle);
    bool denied = false;
    ASSERT_EQ(OpenParallelDevice(platform, WindowsVersion::Win2000, &denied), 1);

    const std::vector<std::vector<uint8_t>> fields = {Field(100), Field(1), Field(2), Field(3)};
    // The processing unit's side, driven by the loop's own waits: once on
    // line the trigger goes down and four fields come; when three reached
    // the ring the unit is unplugged for a while and plugged back; the loop
    // stops once it is on line again.
    enum class Phase { WaitForOnline, Capturing, Unplugged, Replugged } phase = Phase::WaitForOnline;
    uint64_t unpluggedAt = 0;
    VirtualSignals signals;
    signals.onWait = [&](uint32_t ms) {
        kernel.AdvanceMs(ms);
        switch (phase) {
            case Phase::WaitForOnline:
                if (GetHardwareOnlineState() == Hardware_ONLINE) {
                    for (const auto& field : fields)
                        kernel.PeripheralOn(0).toHost.insert(kernel.PeripheralOn(0).toHost.end(), field.begin(),
                                                             field.end());
                    phase = Phase::Capturing;
                }
                break;
            case Phase::Capturing:
                if (Ring_WriteCount() == 3 && kernel.PeripheralOn(0).toHost.empty()) {
                    Unplug(true);
                    unpluggedAt = kernel.NowMs();
                    phase = Phase::Unplugged;
                }
                break;
            case Phase::Unplugged:
                if (GetHardwareOnlineState() == Hardware_OFFLINE && kernel.NowMs() > unpluggedAt + 1000) {
                    Unplug(false);
                    phase = Phase::Replugged;
                }
                break;
            case Phase::Replugged:
                if (GetHardwareOnlineState() == Hardware_ONLINE) signals.stop = true;
                break;
        }
    };
    KernelEcpDevice& device = platform.device_;
    EXPECT_EQ(EcpAcquisitionLoop(device, signals), 1);

    EXPECT_EQ(device.controlCodes,
              (std::vector<uint32_t>{ECP_IOCTL_OPEN_PORT, ECP_IOCTL_PORT_STATUS, ECP_IOCTL_SET_TIMEOUTS}));
    EXPECT_EQ(GetHardwareDriverVersion(), 21214u);
    const EcpPortStatus status = Status(handle);
    EXPECT_EQ(status.WriteTotalTimeout, 250u);
    EXPECT_EQ(status.ReadTotalTimeout, 40u);

    // The first field of a capture only starts it; the other three reach the
    // ring's slots exactly as the unit sent them: the video as it came, the
    // locator part as its decoding of what came.
    ASSERT_EQ(Ring_WriteCount(), 3);
    for (int slot = 0; slot < 3; ++slot) {
        std::vector<uint16_t> expected(kFieldSlotWords, 0);
        std::memcpy(expected.data(), fields[slot + 1].data(), kFieldBytes);
        ASSERT_NE(DecodeLocatorBlock(expected.data()), 0);
        EXPECT_EQ(std::memcmp(RingSlotAddress(slot), expected.data(), kFieldSlotWords * 2), 0) << slot;
    }
    EXPECT_EQ(RecordedOnlineStates(), (std::vector<int32_t>{Hardware_INITIALISING, Hardware_ONLINE, Hardware_OFFLINE,
                                                            Hardware_INITIALISING, Hardware_ONLINE}));
    // The tracker's commands went out whole, both times it came on line.
    const std::vector<uint8_t>& sent = kernel.PeripheralOn(0).fromHost;
    const TrackerCommandList list = BuildTrackerCommandsForHardware();
    std::string commands;
    for (const std::string& command : list.Commands()) commands += command;
    const std::string written(sent.begin(), sent.end());
    size_t found = 0, times = 0;
    while ((found = written.find(commands, found)) != std::string::npos) {
        ++times;
        found += commands.size();
    }
    EXPECT_EQ(times, 2u);
    platform.CloseEcpDevice();
}

}  // namespace
}  // namespace ombrix_test
