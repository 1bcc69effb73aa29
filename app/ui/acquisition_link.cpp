#include "app/ui/acquisition_link.h"

#include <cstring>
#include <string>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/field_ring.h"
#include "app/ui/app_state.h"
#include "app/ui/scanner_link.h"

namespace {

std::string g_lastFolder;

bool PropertiesDialogOpen() {
    const ScannerLink& link = ScannerLink_Get();
    return link.scannerPropertiesWindow && link.scannerPropertiesWindow() != 0;
}

// The start gives back the file it used and the reference option (switched
// on for a fixed wand): both belong to the settings.
void TakeBack(AppState& app, const char* configFile, const std::string& used, const ScannerStartRequest& request) {
    app.settings.ReceiverEnabled = request.scanner.referenceEnabled;
    if (configFile == app.settings.HardwareConfigFilename) {
        const std::size_t n = std::min(used.size(), sizeof app.settings.HardwareConfigFilename - 1);
        std::memcpy(app.settings.HardwareConfigFilename, used.data(), n);
        app.settings.HardwareConfigFilename[n] = '\0';
    }
}

void StartWithCalibration(const char* configFile, const char* calibrationFolder) {
    AppState& app = App();
    g_lastFolder = calibrationFolder ? calibrationFolder : "";
    ScannerStartRequest request = ScannerRequestFromSettings(app, g_lastFolder.c_str());
    std::string name = configFile ? configFile : "";
    std::string path;
    InitScannerWithCalibration(name, path, request);
    TakeBack(app, configFile, name, request);
}

void Restart() {
    AppState& app = App();
    const char* configFile = app.settings.HardwareConfigFilename;
    ScannerStartRequest request = ScannerRequestFromSettings(app, g_lastFolder.c_str());
    std::string name = configFile;
    ReinitScanner(name, request);
    TakeBack(app, configFile, name, request);
}

bool Stop() { return StopAcquisition() == 1; }

std::int32_t OnlineState() { return GetHardwareOnlineState(); }

bool ConnectedWand(std::int32_t& serialNumber, std::int32_t& headerWord, Matrix4& receiverOffset) {
    if (!IsCalibrationLoaded()) return false;
    const CalibrationData& calibration = CurrentCalibration();
    serialNumber = static_cast<std::int32_t>(calibration.header.WandSerialNumber);
    headerWord = GetProcessingUnitVersion();
    receiverOffset = calibration.model.wandRxOffsetMatrix;
    return true;
}

}  // namespace

ScannerStartRequest ScannerRequestFromSettings(const AppState& app, const char* calibrationFolder) {
    ScannerStartRequest request;
    request.calibrationFolder = calibrationFolder ? calibrationFolder : "";
    request.settingsFileName = app.settings.HardwareConfigFilename;
    request.frequencyMode = app.settings.VideoProcessorRevision;
    request.useUsb = app.settings.HardwareDevice;
    request.propertiesDialogOpen = PropertiesDialogOpen();
    request.scanner = ScannerStartSettingsFrom(app.advanced, app.settings.ReceiverEnabled);
    return request;
}

void Acquisition_InstallScannerLink() {
    ScannerLink link = ScannerLink_Get();
    link.initScannerWithCalibration = StartWithCalibration;
    link.reinitScanner = Restart;
    link.stopAcquisition = Stop;
    link.onlineState = OnlineState;
    link.beginCapture = Ring_StartReading;
    link.connectedWand = ConnectedWand;
    ScannerLink_Install(link);
}
