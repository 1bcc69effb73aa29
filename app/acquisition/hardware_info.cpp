#include "app/acquisition/hardware_info.h"

#include <cstring>
#include <new>
#include <string>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/calibration_state.h"
#include "app/locale/locale_lookup.h"

namespace {

void SetText(char (&field)[kHardwareInfoTextSize], const std::string& text) {
    const std::size_t length = text.size() < kHardwareInfoTextSize - 1 ? text.size() : kHardwareInfoTextSize - 1;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

std::string DriverText() {
    if (GetHardwareTransport() == Transport_PARALLEL)
        return "Name: Ombrix\nVersion: " + (IsAcquisitionRunning() ? GetHardwareDeviceText() : std::string());
    std::string text;
    try {
        const std::string device = GetHardwareDeviceText();
        Locale_FormatString(text, "HwUSBDriverInfo", Locale_NewStringVariable("name", "Tolvaran USB (FT8U245AM)"),
                            Locale_NewStringVariable("device", device.c_str()));
    } catch (const std::bad_alloc&) {
        text = Locale_GetString("ErrorOutOfMemory");
    }
    return text;
}

}  // namespace

void GetHardwareDriverInfo(HardwareInfo& info) {
    std::memset(&info, 0, sizeof info);
    const CalibrationData& calibration = CurrentCalibration();
    const HardwareModel& model = calibration.model;
    SetText(info.versionText, GetHardwareVersionText());
    SetText(info.driverText, DriverText());
    info.driverVersion = static_cast<std::int32_t>(GetHardwareDriverVersion());
    info.serialNumber = static_cast<std::int32_t>(calibration.header.WandSerialNumber);
    info.unitVersion = GetProcessingUnitVersion();
    info.channelCount = model.channelCount;
    info.lineCount = model.lineCount;
    info.hardwareConstant = model.hardwareConstant;
    info.wandRxOffsetMatrix = model.wandRxOffsetMatrix;
    info.fixedWandProperty = model.fixedWandProperty;
    info.calibrationFileTime = GetCalibrationFileTime();
}
