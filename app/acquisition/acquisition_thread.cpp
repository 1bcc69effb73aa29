#include "app/acquisition/acquisition_thread.h"

#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/ecp_loop.h"
#include "app/acquisition/error_dump.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/usb_loop.h"

std::int32_t RunAcquisitionThread(AcquisitionSignals& signals, EcpDeviceIo* device, std::int32_t firstStart) {
    ZeroHardwareStatistics();
    StartErrorDumpWriter();
    SetAcquisitionRunning(true);
    ChangeHardwareOnlineState(Hardware_OFFLINE, "AcquisitionThread");
    std::int32_t result = 0;
    if (GetHardwareTransport() == Transport_USB)
        result = UsbAcquisitionLoop(signals, firstStart);
    else if (device)
        result = EcpAcquisitionLoop(*device, signals);
    if (result == 0) {
        TraceHardware("AcquisitionThread: the acquisition loop failed\n");
        RaiseHardwareEvent(Hardware_UNRECOVERABLE_ERROR, 0);
    }
    // The bad fields of the run reach their files, which are closed.
    CloseErrorDumps();
    SetAcquisitionRunning(false);
    ChangeHardwareOnlineState(Hardware_OFFLINE, "AcquisitionThread");
    return result;
}
