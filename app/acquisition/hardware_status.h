// The state of the whole acquisition chain as the scanner properties dialog
// shows it: five short status texts and a help text, chosen from the driver,
// USB, online, calibration and statistics state.
#pragma once

#include <cstdint>

#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/windows_version.h"

constexpr std::size_t kHardwareStatusTextSize = 64;
constexpr std::size_t kHardwareStatusHelpSize = 1024;

// Every text is zero-terminated and cut to its field.
struct HardwareStatus {
    char driver[kHardwareStatusTextSize];
    char processingUnit[kHardwareStatusTextSize];
    char tracker[kHardwareStatusTextSize];
    char scannerData[kHardwareStatusTextSize];
    char ringBuffer[kHardwareStatusTextSize];
    char help[kHardwareStatusHelpSize];
};

// Everything the texts are chosen from.
struct HardwareStatusInputs {
    bool driverEnabled = true;  // the dialog's tick box
    HardwareTransport transport = Transport_USB;
    WindowsVersion windows = WindowsVersion::XpOrLater;
    bool parallelDeviceOpen = false;
    std::uint32_t portOpenStatus = 0;  // what the driver said when asked to open the port
    bool calibrationLoaded = false;
    std::int32_t usbState = UsbState_NOT_TRIED;
    std::int32_t onlineState = Hardware_OFFLINE;
    HardwareStatistics statistics{};
};

// The inputs from the acquisition layer's state now.
HardwareStatusInputs CurrentHardwareStatusInputs(bool driverEnabled);

// Fills `status` from the inputs; "%s" in the fixed help texts and the "app"
// variable take the product's display name.
void BuildHardwareStatusFrom(const HardwareStatusInputs& inputs, const char* productName, HardwareStatus& status);

// The same from the state now.
void BuildHardwareStatus(HardwareStatus& status, bool driverEnabled, const char* productName);
