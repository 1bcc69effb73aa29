// The hardware status texts as one table over their inputs.
#include "app/acquisition/hardware_status.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "acquisition_test_support.h"
#include "app/locale/locale_lookup.h"

namespace {

std::string L(const char* key) { return Locale_GetString(key); }

struct Texts {
    std::string driver, unit, tracker, data, ring, help;
    bool operator==(const Texts& o) const {
        return driver == o.driver && unit == o.unit && tracker == o.tracker && data == o.data && ring == o.ring &&
               help == o.help;
    }
};

std::ostream& operator<<(std::ostream& out, const Texts& t) {
    return out << "{" << t.driver << " | " << t.unit << " | " << t.tracker << " | " << t.data << " | " << t.ring
               << " | " << t.help << "}";
}

Texts Build(const HardwareStatusInputs& in) {
    HardwareStatus status;
    std::memset(&status, 'x', sizeof status);
    BuildHardwareStatusFrom(in, "Tolvaran", status);
    return {status.driver, status.processingUnit, status.tracker, status.scannerData, status.ringBuffer, status.help};
}

// A USB unit on line after a clean capture.
HardwareStatusInputs Healthy() {
    HardwareStatusInputs in;
    in.transport = Transport_USB;
    in.windows = WindowsVersion::XpOrLater;
    in.calibrationLoaded = true;
    in.usbState = UsbState_OPEN;
    in.onlineState = Hardware_ONLINE;
    in.statistics.fieldsRead = 12;
    std::memcpy(in.statistics.trackerErrorText, "1 2 ", 4);
    return in;
}

HardwareStatusInputs Parallel(WindowsVersion windows) {
    HardwareStatusInputs in = Healthy();
    in.transport = Transport_PARALLEL;
    in.windows = windows;
    in.parallelDeviceOpen = true;
    return in;
}

const char* const kNotOpenHelp =
    "Couldn't open the parallel port. Please ensure that:\n 1. The correct LPT and DMA settings have been selected "
    "above.\n 2. The port is set to ECP mode.\n 3. No other instances of Tolvaran.exe are running.\n 4. The Ombrix "
    "device driver is started.";
const char* const kOffLine =
    "The processing unit is off-line. Please check that it is:\n 1. Connected to the parallel port.\n 2. Switched "
    "on.\n";
const char* const kDataErrors =
    "Errors have been detected in the scanner data . Please check that:\n 1. The cable connecting the PC to the "
    "processing unit is not longer than 3m.\n 2. The parallel port hardware is fully ECP compliant.\n";

class HardwareStatusTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() { acquisition_test::LoadShippedLocale(); }
};

TEST_F(HardwareStatusTable, EveryRow) {
    using Change = std::function<void(HardwareStatusInputs&)>;
    const std::string ok = L("HwStatusOk");
    const struct {
        const char* name;
        HardwareStatusInputs base;
        Change change;
        Texts expected;
    } rows[] = {
        {"driver disabled, whatever the hardware does", Healthy(),
         [](HardwareStatusInputs& in) { in.driverEnabled = false; },
         {"Disabled", "", "", "", "", "The scanner is switched off in this program.\nTick \"Enable scanner\" to use it."}},
        {"parallel port not open", Parallel(WindowsVersion::Nt4),
         [](HardwareStatusInputs& in) { in.parallelDeviceOpen = false; }, {"error", "", "", "", "", kNotOpenHelp}},
        {"parallel port not open, Windows 2000, no ECP", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) {
             in.parallelDeviceOpen = false;
             in.portOpenStatus = 0xC00000C0u;
         },
         {"error", "", "", "", "",
          "The parallel port does not appear to support ECP. Try to enable ECP using:\n 1. BIOS settings (for "
          "motherboard ports).\n 2. Device drivers and/or configuration utilities.\n 3. Hardware configuration via "
          "jumpers.\nIf the problem persists, try using a different parallel port."}},
        {"parallel port not open, Windows 2000, already open", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) {
             in.parallelDeviceOpen = false;
             in.portOpenStatus = 0x80000011u;
         },
         {"error", "", "", "", "",
          "The Ombrix device complained that the device was already open.\nClose any other programs that may be "
          "using the parallel port."}},
        {"parallel port not open, Windows 2000, other status", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) {
             in.parallelDeviceOpen = false;
             in.portOpenStatus = 0xC0000001u;
         },
         {"error", "", "", "", "",
          "Couldn't open the parallel port. Please ensure that:\n 1. No other instances of Tolvaran.exe are "
          "running.\n 2. The Ombrix device is enabled in the Device Manager."}},
        {"parallel port open, no calibration", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) { in.calibrationLoaded = false; },
         {"ok", "", "", "", "", L("HwStatusCalFileNotLoadedHelp")}},
        {"USB, no calibration", Healthy(), [](HardwareStatusInputs& in) { in.calibrationLoaded = false; },
         {"", "", "", "", "", L("HwStatusCalFileNotLoadedHelp")}},
        {"USB not tried yet", Healthy(), [](HardwareStatusInputs& in) { in.usbState = UsbState_NOT_TRIED; },
         {L("HwStatusUSBStarting"), "", "", "", "", L("HwStatusUSBStartingHelp")}},
        {"USB library missing", Healthy(), [](HardwareStatusInputs& in) { in.usbState = UsbState_LIBRARY_MISSING; },
         {L("HwStatusDriverNotInstalled"), "", "", "", "", L("HwStatusDriverNotInstalledHelp")}},
        {"USB device not found", Healthy(), [](HardwareStatusInputs& in) { in.usbState = UsbState_NOT_FOUND; },
         {L("HwStatusOffLine"), "", "", "", "", L("HwStatusOffLineHelp")}},
        {"USB failed", Healthy(), [](HardwareStatusInputs& in) { in.usbState = UsbState_FAILED; },
         {L("HwStatusIOError"), "", "", "", "", L("HwStatusIOErrorHelp")}},
        {"USB device in use", Healthy(), [](HardwareStatusInputs& in) { in.usbState = UsbState_BUSY; },
         {L("HwStatusLocked"), "", "", "", "",
          "The scanner is being used by another program.\nClose the other program, or any other copy of Tolvaran, then "
          "reset the scanner."}},
        {"USB state without a row goes on", Healthy(), [](HardwareStatusInputs& in) { in.usbState = 9; },
         {"", ok, ok, ok, ok, L("HwStatusOkHelp")}},
        {"USB, unit off line", Healthy(), [](HardwareStatusInputs& in) { in.onlineState = Hardware_OFFLINE; },
         {ok, L("HwStatusOffLine"), "", "", "", L("HwStatusOffLineHelp")}},
        {"parallel, unit off line, Windows 2000", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) { in.onlineState = Hardware_OFFLINE; },
         {"ok", L("HwStatusOffLine"), "", "", "", kOffLine}},
        {"parallel, unit off line, NT 4", Parallel(WindowsVersion::Nt4),
         [](HardwareStatusInputs& in) { in.onlineState = Hardware_OFFLINE; },
         {"ok", L("HwStatusOffLine"), "", "", "",
          std::string(kOffLine) + "If the problem persists, please check that the DMA setting is correct."}},
        {"unit initialising", Healthy(), [](HardwareStatusInputs& in) { in.onlineState = Hardware_INITIALISING; },
         {ok, L("HwStatusInit"), "", "", "", L("HwStatusInitHelp")}},
        {"on line, no capture yet", Healthy(), [](HardwareStatusInputs& in) { in.statistics.fieldsRead = 0; },
         {ok, ok, "", "", "", L("HwStatusInitTrackingHelp")}},
        {"parallel on line, no capture yet, NT 4", Parallel(WindowsVersion::Nt4),
         [](HardwareStatusInputs& in) { in.statistics.fieldsRead = 0; },
         {"ok", ok, "", "", "",
          "The processing unit is on-line.\nTo test the Scanner, please pull the Wand trigger briefly.\nIf there is "
          "no response, please check the parallel port IRQ setting."}},
        {"healthy", Healthy(), [](HardwareStatusInputs&) {}, {ok, ok, ok, ok, ok, L("HwStatusOkHelp")}},
        {"USB capture with field errors goes on", Healthy(),
         [](HardwareStatusInputs& in) { in.statistics.fieldErrors = 3; },
         {ok, ok, ok, L("HwStatusError"), ok, L("HwStatusOkHelp")}},
        {"parallel capture with field errors, Windows 2000", Parallel(WindowsVersion::Win2000),
         [](HardwareStatusInputs& in) { in.statistics.fieldErrors = 3; },
         {"ok", ok, "", L("HwStatusError"), "", kDataErrors}},
        {"parallel capture with field errors, NT 4", Parallel(WindowsVersion::Nt4),
         [](HardwareStatusInputs& in) { in.statistics.fieldErrors = 3; },
         {"ok", ok, "", L("HwStatusError"), "",
          std::string(kDataErrors) + " 3. The parallel port IRQ setting is correct."}},
        {"tracker record errors", Healthy(), [](HardwareStatusInputs& in) { in.statistics.locatorDecodingErrors = 1; },
         {ok, ok, "Error (1 2 )", ok, "", L("HwStatusTrackerErrorHelp")}},
        {"tracker reports an error character", Healthy(),
         [](HardwareStatusInputs& in) { std::memcpy(in.statistics.trackerErrorText, "1 2D", 4); },
         {ok, ok, "OK (1 2D)", ok, ok, L("HwStatusOkHelp")}},
        {"ring overrun", Healthy(), [](HardwareStatusInputs& in) { in.statistics.ringOverruns = 2; },
         {ok, ok, ok, ok, L("HwStatusError"), L("HwStatusBufferOverRunHelp")}},
    };
    for (const auto& row : rows) {
        HardwareStatusInputs in = row.base;
        row.change(in);
        EXPECT_EQ(Build(in), row.expected) << row.name;
    }
}

TEST_F(HardwareStatusTable, LongTextsAreCutToTheirFields) {
    HardwareStatusInputs in = Healthy();
    in.statistics.locatorFramingErrors = 1;
    std::memcpy(in.statistics.trackerErrorText, "1x2y", 4);
    HardwareStatus status;
    BuildHardwareStatusFrom(in, "Tolvaran", status);
    EXPECT_LT(std::strlen(status.tracker), kHardwareStatusTextSize);
    std::string longName(2000, 'n');
    in = Parallel(WindowsVersion::Nt4);
    in.parallelDeviceOpen = false;
    BuildHardwareStatusFrom(in, longName.c_str(), status);
    EXPECT_EQ(std::strlen(status.help), kHardwareStatusHelpSize - 1);
}

}  // namespace
