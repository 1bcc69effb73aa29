#include "app/acquisition/hardware_status.h"

#include <cstring>
#include <new>
#include <string>

#include "app/acquisition/calibration_state.h"
#include "app/locale/locale_lookup.h"

namespace {

template <std::size_t N>
void SetText(char (&field)[N], const std::string& text) {
    const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

std::string Text(const char* key) { return Locale_GetString(key); }

// A key's text with one text variable; the out-of-memory text when it cannot
// be made.
std::string TextWith(const char* key, const char* name, const char* value) {
    std::string out;
    try {
        Locale_FormatStringWithText(out, name, value, key);
    } catch (const std::bad_alloc&) {
        out = Locale_GetString("ErrorOutOfMemory");
    }
    return out;
}

// The fixed English texts take the product name for their one "%s".
std::string WithProduct(const char* text, const char* productName) {
    std::string out(text);
    const std::size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, productName ? productName : "");
    return out;
}

const char* PortOpenHelp(std::uint32_t status) {
    switch (status) {
        case 0xC000009Au:
            return "The Ombrix device complained of insufficient resources. Please:\n 1. Ensure that the parallel port "
                   "supports DMA.\n 2. If you are using a PCI parallel port, try an ISA or on-board port";
        case 0xC000000Du:
            return "The selected parallel port does not exist.\nUse the Device Manager to change the port that Ombrix "
                   "connects to.";
        case 0x80000011u:
            return "The Ombrix device complained that the device was already open.\nClose any other programs that may "
                   "be using the parallel port.";
        case 0xC000009Du:
            return "The Ombrix device couldn't connect to \\\\Device\\ParallelPort.";
        case 0xC00000C0u:
            return "The parallel port does not appear to support ECP. Try to enable ECP using:\n 1. BIOS settings (for "
                   "motherboard ports).\n 2. Device drivers and/or configuration utilities.\n 3. Hardware "
                   "configuration via jumpers.\nIf the problem persists, try using a different parallel port.";
        case 0xC000016Eu:
            return "Could not connect to the parallel port interrupt\nUse the device manager to enable interrupts on "
                   "the port.";
    }
    return "Couldn't open the parallel port. Please ensure that:\n 1. No other instances of %s.exe are running.\n 2. "
           "The Ombrix device is enabled in the Device Manager.";
}

constexpr const char* kParallelNotOpenHelp =
    "Couldn't open the parallel port. Please ensure that:\n 1. The correct LPT and DMA settings have been selected "
    "above.\n 2. The port is set to ECP mode.\n 3. No other instances of %s.exe are running.\n 4. The Ombrix device "
    "driver is started.";
constexpr const char* kParallelOffLineHelp =
    "The processing unit is off-line. Please check that it is:\n 1. Connected to the parallel port.\n 2. Switched "
    "on.\n";
constexpr const char* kParallelDmaHint = "If the problem persists, please check that the DMA setting is correct.";
constexpr const char* kParallelOnLineHelp =
    "The processing unit is on-line.\nTo test the Scanner, please pull the Wand trigger briefly.\nIf there is no "
    "response, please check the parallel port IRQ setting.";
constexpr const char* kParallelDataErrorHelp =
    "Errors have been detected in the scanner data . Please check that:\n 1. The cable connecting the PC to the "
    "processing unit is not longer than 3m.\n 2. The parallel port hardware is fully ECP compliant.\n";
constexpr const char* kParallelIrqHint = " 3. The parallel port IRQ setting is correct.";

struct UsbRow {
    std::int32_t state;
    const char* status;
    const char* help;  // nullptr: go on to the unit's state
};

constexpr UsbRow kUsbRows[] = {
    {UsbState_NOT_TRIED, "HwStatusUSBStarting", "HwStatusUSBStartingHelp"},
    {UsbState_LIBRARY_MISSING, "HwStatusDriverNotInstalled", "HwStatusDriverNotInstalledHelp"},
    {UsbState_NOT_FOUND, "HwStatusOffLine", "HwStatusOffLineHelp"},
    {UsbState_OPEN, "HwStatusOk", nullptr},
    {UsbState_FAILED, "HwStatusIOError", "HwStatusIOErrorHelp"},
    {UsbState_BUSY, "HwStatusLocked", "HwStatusLockedHelp"},
};

// The driver part; false when the texts stop here.
bool DriverStatus(const HardwareStatusInputs& in, const char* productName, HardwareStatus& out) {
    const bool win2000 = in.windows == WindowsVersion::Win2000;
    if (in.transport == Transport_PARALLEL) {
        if (!in.parallelDeviceOpen) {
            SetText(out.driver, "error");
            SetText(out.help, WithProduct(win2000 ? PortOpenHelp(in.portOpenStatus) : kParallelNotOpenHelp, productName));
            return false;
        }
        SetText(out.driver, "ok");
        return true;
    }
    if (!in.calibrationLoaded) {
        SetText(out.help, Text("HwStatusCalFileNotLoadedHelp"));
        return false;
    }
    for (const UsbRow& row : kUsbRows) {
        if (row.state != in.usbState) continue;
        SetText(out.driver, Text(row.status));
        if (!row.help) return true;
        if (row.state == UsbState_BUSY)
            SetText(out.help, TextWith(row.help, "app", productName ? productName : ""));
        else
            SetText(out.help, Text(row.help));
        return false;
    }
    return true;  // a state without a row: nothing to say about the driver
}

// The processing unit's part; false when the texts stop here.
bool UnitStatus(const HardwareStatusInputs& in, HardwareStatus& out) {
    const bool parallel = in.transport == Transport_PARALLEL;
    const bool win2000 = in.windows == WindowsVersion::Win2000;
    switch (in.onlineState) {
        case Hardware_OFFLINE:
            SetText(out.processingUnit, Text("HwStatusOffLine"));
            if (!parallel)
                SetText(out.help, Text("HwStatusOffLineHelp"));
            else
                SetText(out.help, std::string(kParallelOffLineHelp) + (win2000 ? "" : kParallelDmaHint));
            return false;
        case Hardware_INITIALISING:
            SetText(out.processingUnit, Text("HwStatusInit"));
            SetText(out.help, Text("HwStatusInitHelp"));
            return false;
        default:
            SetText(out.processingUnit, Text("HwStatusOk"));
            return true;
    }
}

// Scanner data, tracker and ring from the statistics of the last capture.
void CaptureStatus(const HardwareStatusInputs& in, HardwareStatus& out) {
    const HardwareStatistics& s = in.statistics;
    const bool parallel = in.transport == Transport_PARALLEL;
    if (s.fieldsRead == 0) {
        SetText(out.help, IsWin2000OrLater(in.windows) ? Text("HwStatusInitTrackingHelp") : kParallelOnLineHelp);
        return;
    }
    if (s.fieldErrors == 0) {
        SetText(out.scannerData, Text("HwStatusOk"));
    } else {
        SetText(out.scannerData, Text("HwStatusError"));
        if (parallel) {
            const bool win2000 = in.windows == WindowsVersion::Win2000;
            SetText(out.help, std::string(kParallelDataErrorHelp) + (win2000 ? "" : kParallelIrqHint));
            return;
        }
    }
    const char codes[5] = {s.trackerErrorText[0], s.trackerErrorText[1], s.trackerErrorText[2],
                           s.trackerErrorText[3], '\0'};
    if (s.locatorFramingErrors + s.locatorDecodingErrors != 0) {
        SetText(out.tracker, TextWith("HwStatusTrackerError", "status_codes", codes));
        SetText(out.help, Text("HwStatusTrackerErrorHelp"));
        return;
    }
    if (codes[1] == ' ' && codes[3] == ' ')
        SetText(out.tracker, Text("HwStatusOk"));
    else
        SetText(out.tracker, TextWith("HwStatusTrackerOK", "status_codes", codes));
    if (s.ringOverruns == 0) {
        SetText(out.ringBuffer, Text("HwStatusOk"));
        SetText(out.help, Text("HwStatusOkHelp"));
    } else {
        SetText(out.ringBuffer, Text("HwStatusError"));
        SetText(out.help, Text("HwStatusBufferOverRunHelp"));
    }
}

}  // namespace

HardwareStatusInputs CurrentHardwareStatusInputs(bool driverEnabled) {
    HardwareStatusInputs in;
    in.driverEnabled = driverEnabled;
    in.transport = GetHardwareTransport();
    in.windows = GetWindowsVersion();
    in.parallelDeviceOpen = IsParallelDeviceOpen();
    in.portOpenStatus = GetPortOpenStatus();
    in.calibrationLoaded = IsCalibrationLoaded();
    in.usbState = GetUsbState();
    in.onlineState = GetHardwareOnlineState();
    GetHardwareStatistics(in.statistics);
    return in;
}

void BuildHardwareStatusFrom(const HardwareStatusInputs& in, const char* productName, HardwareStatus& out) {
    std::memset(&out, 0, sizeof out);
    if (!in.driverEnabled) {
        SetText(out.driver, Text("HwStatusDisabled"));
        std::string label = Text("ScannerPropDriverEnabledLabel");
        const std::size_t amp = label.find('&');
        if (amp != std::string::npos) label.erase(amp, 1);
        SetText(out.help, TextWith("HwStatusDisabledHelp", "driver_enabled_tick_box_label", label.c_str()));
        return;
    }
    if (!DriverStatus(in, productName, out)) return;
    if (!in.calibrationLoaded) {
        SetText(out.help, Text("HwStatusCalFileNotLoadedHelp"));
        return;
    }
    if (!UnitStatus(in, out)) return;
    CaptureStatus(in, out);
}

void BuildHardwareStatus(HardwareStatus& status, bool driverEnabled, const char* productName) {
    BuildHardwareStatusFrom(CurrentHardwareStatusInputs(driverEnabled), productName, status);
}
