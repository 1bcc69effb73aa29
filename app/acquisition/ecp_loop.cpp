#include "app/acquisition/ecp_loop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/capture_events.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_online_time.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_link.h"
#include "app/acquisition/tracker_send.h"
#include "app/acquisition/tracking_state.h"
#include "driver/ecp_interface.h"
#include "platform/os_seam.h"

namespace {

constexpr std::uint32_t kProbeBytes = 32;
constexpr std::uint32_t kOfflinePollMs = 300;
constexpr std::uint32_t kTriggerPollMs = 40;
constexpr std::uint32_t kTrackerStartMs = 11000;
constexpr std::uint32_t kVersionResendPauseMs = 40;
constexpr EcpTimeouts kTimeouts = {250, 40};

enum class Step { Continue, Stopped, Failed };

class EcpLoop {
  public:
    EcpLoop(EcpDeviceIo& device, AcquisitionSignals& signals) : device_(device), signals_(signals) {
        write_ = [this](const char* data, std::uint32_t bytes, std::uint32_t* written) {
            return device_.Write(data, bytes, written);
        };
    }

    std::int32_t Run() {
        std::uint32_t returned = 0;
        if (!device_.Control(ECP_IOCTL_SET_TIMEOUTS, &kTimeouts, sizeof kTimeouts, nullptr, 0, &returned))
            return Fail("time-outs not set");
        FieldCheckContext_Init(context_, GetProcessingUnitVersion());
        for (;;) {
            if (StopRequested(signals_)) return 1;
            const Step step = PollOnce();
            if (step == Step::Stopped) return 1;
            if (step == Step::Failed) return 0;
        }
    }

  private:
    // One pass: probe, come on line if needed, look for the trigger, capture.
    Step PollOnce() {
        char probe[kProbeBytes];
        std::memset(probe, ' ', sizeof probe);
        std::uint32_t moved = 0;
        if (!device_.Write(probe, kProbeBytes, &moved)) return Failed("probe not written");
        if (moved < kProbeBytes) {
            ChangeHardwareOnlineState(Hardware_OFFLINE, "EcpAcquisitionLoop");
            return signals_.WaitForStop(kOfflinePollMs) ? Step::Stopped : Step::Continue;
        }
        if (GetHardwareOnlineState() != Hardware_ONLINE) {
            const Step step = ComeOnLine();
            if (step != Step::Continue) return step;
        }
        if (signals_.WaitForStop(kTriggerPollMs)) return Step::Stopped;
        const int read = ReadField();
        if (read < 0) return Failed("read failed");
        if (read == 0) return signals_.WaitForStop(kTriggerPollMs) ? Step::Stopped : Step::Continue;
        return Capture();
    }

    Step ComeOnLine() {
        SetHardwareOnlineTime(os::WallClockSeconds());
        ResetTrackingStates();
        ChangeHardwareOnlineState(Hardware_INITIALISING, "EcpAcquisitionLoop");
        ZeroHardwareStatistics();
        if (signals_.WaitForStop(kTrackerStartMs)) return Step::Stopped;
        const Step sent = SendCommands();
        if (sent != Step::Continue) return sent;
        ChangeHardwareOnlineState(Hardware_ONLINE, "EcpAcquisitionLoop");
        return Step::Continue;
    }

    Step SendCommands() {
        const SendResult result = SendTrackerCommandList(BuildTrackerCommandsForHardware(), write_, signals_);
        if (result == SendResult::Stopped) return Step::Stopped;
        if (result != SendResult::Sent) return Failed("tracker commands not sent");
        return Step::Continue;
    }

    // The trigger is down: the field just read is the first of the capture
    // and is not checked; the next read goes to the same slot.
    Step Capture() {
        CaptureEvents capture(context_);
        capture.Begin();
        std::int32_t ok = 1;
        std::int32_t first = 1;
        for (;;) {
            if (StopRequested(signals_)) return Step::Stopped;
            if (ReadField() != 1) break;
            ok = ProcessField(ok, first, context_);
            first = 0;
            if (context_.unitVersion != GetProcessingUnitVersion()) {
                SetProcessingUnitVersion(context_.unitVersion);
                TraceHardware("EcpAcquisitionLoop: processing-unit version -> %d\n",
                              static_cast<int>(context_.unitVersion));
                const Step sent = SendCommands();
                if (sent != Step::Continue) return sent;
                if (signals_.WaitForStop(kVersionResendPauseMs)) return Step::Stopped;
            }
        }
        // The hemisphere step comes before the capture's end is raised: the
        // set-up window answers that end at once, and a set-up it finished
        // first would leave the step nothing to send. A step that stops or
        // fails still ends the capture as it leaves.
        if (context_.fieldCount > 0) {
            const SendResult result = SendHemisphereStep(context_, write_, signals_);
            if (result == SendResult::Stopped) return Step::Stopped;
            if (result != SendResult::Sent) return Failed("hemisphere commands not sent");
        }
        capture.End();
        const std::int32_t pause = GetSweepPauseSeconds();
        if (pause > 0 && signals_.WaitForStop(static_cast<std::uint32_t>(pause) * 1000u)) return Step::Stopped;
        return Step::Continue;
    }

    // 1 a whole field in the slot at the write count, 0 short, -1 failed.
    // The read goes to a buffer of its own and into the slot only when
    // complete: the short read that ends a capture must not tear the field
    // the slot holds, which the hemisphere step decodes after the capture.
    int ReadField() {
        std::uint32_t moved = 0;
        if (!device_.Read(field_, kFieldBytes, &moved)) return -1;
        if (moved < static_cast<std::uint32_t>(kFieldBytes)) return 0;
        std::memcpy(RingSlotAddress(Ring_WriteCount()), field_, kFieldBytes);
        return 1;
    }

    Step Failed(const char* why) {
        Fail(why);
        return Step::Failed;
    }

    std::int32_t Fail(const char* why) {
        TraceHardware("EcpAcquisitionLoop: %s\n", why);
        ChangeHardwareOnlineState(Hardware_OFFLINE, "EcpAcquisitionLoop");
        return 0;
    }

    EcpDeviceIo& device_;
    AcquisitionSignals& signals_;
    FieldCheckContext context_{};
    std::uint16_t field_[kFieldWords];
    ChunkWriter write_;
};

}  // namespace

std::int32_t OpenParallelDevice(HardwarePlatform& platform, WindowsVersion windows, bool* accessDenied) {
    *accessDenied = false;
    SetPortOpenStatus(0);
    EcpDeviceIo* device = platform.OpenEcpDevice(accessDenied);
    if (!device) return 0;
    std::uint32_t returned = 0;
    if (windows == WindowsVersion::Win2000) {
        std::uint32_t status = 0;
        if (!device->Control(ECP_IOCTL_OPEN_PORT, nullptr, 0, &status, sizeof status, &returned) ||
            returned < sizeof status || status != 0) {
            TraceHardware("OpenParallelDevice: port not opened (0x%08x)\n", static_cast<unsigned>(status));
            SetPortOpenStatus(status);
            platform.CloseEcpDevice();
            return 0;
        }
    }
    EcpPortStatus portStatus{};
    if (!device->Control(ECP_IOCTL_PORT_STATUS, nullptr, 0, &portStatus, sizeof portStatus, &returned) ||
        returned < sizeof portStatus) {
        TraceHardware("OpenParallelDevice: no port status\n");
        platform.CloseEcpDevice();
        return 0;
    }
    SetHardwareDriverVersion(portStatus.VersionNumber);
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(portStatus.VersionNumber));
    SetHardwareDeviceText(text);
    SetParallelDeviceOpen(true);
    return 1;
}

bool ParallelDriverSuits(std::uint32_t version, WindowsVersion windows) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(version));
    if (windows == WindowsVersion::Nt4) return text[0] == '1';
    if (windows == WindowsVersion::Win2000) return text[0] == '2';
    return false;
}

std::int32_t EcpAcquisitionLoop(EcpDeviceIo& device, AcquisitionSignals& signals) {
    EcpLoop loop(device, signals);
    return loop.Run();
}
