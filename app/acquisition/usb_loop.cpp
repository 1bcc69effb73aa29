#include "app/acquisition/usb_loop.h"

#include <cstring>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/capture_events.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_diagnostics.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_online_time.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_link.h"
#include "app/acquisition/tracker_send.h"
#include "app/acquisition/tracking_state.h"
#include "app/acquisition/usb_library.h"
#include "platform/os_seam.h"

namespace {

using namespace usb_chip;

constexpr Count kReadTimeoutMs = 65;
constexpr Count kWriteTimeoutMs = 250;
constexpr std::uint32_t kOpenRetryMs = 800;
constexpr std::uint32_t kTimeoutsRetryMs = 40;
constexpr std::uint32_t kTrackerStartMs = 11000;
constexpr std::uint32_t kSettleMs = 40;
constexpr std::uint32_t kArrivalWaitMs = 500;
constexpr Count kDrainBytes = 256;
constexpr const char* kDeviceText = "Tolvaran USB (FTD2XX)";

// What the loop does next.
enum class Step {
    Continue,
    Restart,  // to the loop top: close and open again (device lost, short write)
    Stopped,  // the stop event was set
    Fatal,    // end the loop with the unrecoverable error
};

class UsbLoop {
public:
    UsbLoop(AcquisitionSignals& signals, std::int32_t firstStart)
        : signals_(signals), skipTrackerWait_(firstStart != 0) {
        write_ = [this](const char* data, std::uint32_t bytes, std::uint32_t* written) {
            Count done = 0;
            lastWriteStatus_ = ft_.Write(handle_, const_cast<char*>(data), bytes, &done);
            *written = done;
            return lastWriteStatus_ == kOk;
        };
    }

    std::int32_t Run() {
        FieldCheckContext_Init(context_, GetProcessingUnitVersion());
        for (;;) {
            const Step step = Session();
            if (step == Step::Stopped) {
                Close();
                return 1;
            }
            if (step == Step::Fatal) return FatalEnd();
        }
    }

private:
    // From the loop top until the device is lost, the loop ends or stops.
    Step Session() {
        // Only the thread's first session may skip the tracker's wait: after a
        // lost device the unit may have been switched off and on.
        const bool skipTrackerWait = skipTrackerWait_;
        skipTrackerWait_ = false;
        Close();
        ResetTrackingStates();
        ReportHardwareOnlineState(Hardware_OFFLINE, "UsbAcquisitionLoop");
        Step step = Open();
        if (step == Step::Continue) step = SetTimeouts();
        if (step != Step::Continue) return step;
        ChangeHardwareOnlineState(Hardware_INITIALISING, "UsbAcquisitionLoop");
        if (!skipTrackerWait && signals_.WaitForStop(kTrackerStartMs)) return Step::Stopped;
        step = CheckStatus();
        if (step == Step::Continue) step = Drain();
        if (step == Step::Continue) step = SendCommands();
        if (step != Step::Continue) return step;
        if (signals_.WaitForStop(kSettleMs)) return Step::Stopped;
        SetHardwareOnlineTime(os::WallClockSeconds());
        ChangeHardwareOnlineState(Hardware_ONLINE, "UsbAcquisitionLoop");
        for (;;) {
            switch (signals_.WaitForStopOrReceive(kArrivalWaitMs)) {
                case AcquisitionSignals::Wake::Stop: return Step::Stopped;
                case AcquisitionSignals::Wake::Timeout: step = CheckStatus(); break;
                case AcquisitionSignals::Wake::Receive: step = Capture(); break;
            }
            if (step != Step::Continue) return step;
        }
    }

    Step Open() {
        for (;;) {
            const std::int32_t load = LoadUsbLibrary(ft_);
            if (load != UsbLoad_LOADED) {
                // No chip library at all is the plain unrecoverable case: the
                // scanner is simply not usable on this machine. A library that
                // loads but lacks functions is a wrong or broken driver
                // installation, which the user is told about first.
                SetUsbState(UsbState_LIBRARY_MISSING);
                if (load == UsbLoad_FUNCTION_MISSING) RaiseHardwareEvent(Hardware_NO_USB_DRIVER, load);
                return Step::Fatal;
            }
            char description[32];
            std::strcpy(description, kDeviceDescription);
            Handle handle = nullptr;
            const Status status = ft_.OpenEx(description, kOpenByDescription, &handle);
            SetUsbStatusText(UsbStatusText(status));
            if (status == kOk) {
                handle_ = handle;
                SetUsbState(UsbState_OPEN);
                return SetUpDevice();
            }
            if (status == kInvalidHandle) {
                SetUsbState(UsbState_BUSY);
            } else if (status == kDeviceNotFound) {
                SetUsbState(UsbState_NOT_FOUND);
            } else {
                Report(status);
                return InitialisationFailed(status);
            }
            if (signals_.WaitForStop(kOpenRetryMs)) return Step::Stopped;
        }
    }

    Step SetUpDevice() {
        Status status = ft_.ResetDevice(handle_);
        if (status == kOk) status = ft_.Purge(handle_, kPurgeRx | kPurgeTx);
        if (status == kOk) {
            signals_.ResetReceive();
            status = ft_.SetEventNotification(handle_, kEventRxChar, signals_.ReceiveEvent());
        }
        if (status != kOk) {
            const Step step = Report(status);
            return step == Step::Fatal ? InitialisationFailed(status) : step;
        }
        SetHardwareDeviceText(kDeviceText);
        SetHardwareDriverVersion(0);
        return Step::Continue;
    }

    // The driver is there but could not start the device.
    Step InitialisationFailed(Status status) {
        SetUsbState(UsbState_FAILED);
        RaiseHardwareEvent(Hardware_USB_INIT_ERROR, static_cast<std::intptr_t>(status));
        return Step::Fatal;
    }

    // Repeated until the call succeeds; a lost device goes to the loop top.
    Step SetTimeouts() {
        for (;;) {
            const Status status = ft_.SetTimeouts(handle_, kReadTimeoutMs, kWriteTimeoutMs);
            if (status == kOk) return Step::Continue;
            TraceHardwareToFile("FT USB Error: %d '%s'", static_cast<int>(status), UsbStatusText(status));
            if (DeviceLost(status)) return Lost();
            if (signals_.WaitForStop(kTimeoutsRetryMs)) return Step::Stopped;
        }
    }

    Step CheckStatus() {
        Count rx = 0, tx = 0, events = 0;
        const Status status = ft_.GetStatus(handle_, &rx, &tx, &events);
        return status == kOk ? Step::Continue : Report(status);
    }

    // Whatever the unit sent before the tracker is configured is dropped.
    Step Drain() {
        std::uint8_t buffer[kDrainBytes];
        for (;;) {
            if (StopRequested(signals_)) return Step::Stopped;
            Count got = 0;
            if (ft_.Read(handle_, buffer, kDrainBytes, &got) != kOk || got < kDrainBytes) return Step::Continue;
        }
    }

    Step SendCommands() { return FromSend(SendTrackerCommandList(BuildTrackerCommandsForHardware(), write_, signals_)); }

    Step FromSend(SendResult result) {
        switch (result) {
            case SendResult::Sent: return Step::Continue;
            case SendResult::Stopped: return Step::Stopped;
            case SendResult::Short: return Step::Restart;
            case SendResult::Failed: break;
        }
        return Report(lastWriteStatus_);
    }

    // Fields until a short read (the trigger is up). The field goes through
    // a buffer of its own and into the ring slot only when complete.
    Step Capture() {
        CaptureEvents capture(context_);
        std::uint8_t field[kFieldBytes];
        std::int32_t ok = 1;
        std::int32_t first = 1;
        for (;;) {
            if (StopRequested(signals_)) return Step::Stopped;
            Count got = 0;
            const Status status = ft_.Read(handle_, field, kFieldBytes, &got);
            if (status != kOk) return Report(status);
            if (got < static_cast<Count>(kFieldBytes)) break;
            capture.Begin();
            std::memcpy(RingSlotAddress(Ring_WriteCount()), field, kFieldBytes);
            ok = ProcessField(ok, first, context_);
            first = 0;
            if (context_.unitVersion != GetProcessingUnitVersion()) {
                SetProcessingUnitVersion(context_.unitVersion);
                TraceHardware("UsbAcquisitionLoop: processing-unit version -> %d\n", static_cast<int>(context_.unitVersion));
                const Step step = SendCommands();
                if (step != Step::Continue) return step;
                if (signals_.WaitForStop(kSettleMs)) return Step::Stopped;
            }
        }
        signals_.ResetReceive();
        Step step = Step::Continue;
        if (capture.Begun()) step = FromSend(SendHemisphereStep(context_, write_, signals_));
        capture.End();
        return step;
    }

    static bool DeviceLost(Status status) { return status == kDeviceNotFound || status == kIoError; }

    // A failing library call: a lost device is retried from the loop top,
    // anything else is fatal.
    Step Report(Status status) {
        TraceHardwareToFile("FT USB Error: %d '%s'", static_cast<int>(status), UsbStatusText(status));
        if (DeviceLost(status)) return Lost();
        SetUsbState(UsbState_FAILED);
        return Step::Fatal;
    }

    Step Lost() {
        SetUsbState(UsbState_NOT_FOUND);
        return Step::Restart;
    }

    std::int32_t FatalEnd() {
        Close();
        if (GetUsbState() == UsbState_OPEN) SetUsbState(UsbState_FAILED);
        ChangeHardwareOnlineState(Hardware_OFFLINE, "UsbAcquisitionLoop");
        return 0;
    }

    void Close() {
        if (!handle_) return;
        ft_.Close(handle_);
        handle_ = nullptr;
    }

    AcquisitionSignals& signals_;
    bool skipTrackerWait_;
    FunctionTable ft_{};
    Handle handle_ = nullptr;
    FieldCheckContext context_{};
    Status lastWriteStatus_ = kOk;
    ChunkWriter write_;
};

}  // namespace

std::int32_t UsbAcquisitionLoop(AcquisitionSignals& signals, std::int32_t firstStart) {
    UsbLoop loop(signals, firstStart);
    return loop.Run();
}
