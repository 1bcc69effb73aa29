#include "app/ui/scanner_link.h"

#include "app/ui/scanner_defaults.h"

namespace {

ScannerLink g_link;

}  // namespace

void ScannerLink_Install(const ScannerLink& link) { g_link = link; }
const ScannerLink& ScannerLink_Get() { return g_link; }

void Scanner_Start(const char* configFile, const char* calibrationFolder) {
    if (!g_link.initScannerWithCalibration) return;
    g_link.initScannerWithCalibration(configFile, calibrationFolder);
    App_ApplyScannerFilterDefaults();
}

void Scanner_Restart() {
    if (!g_link.reinitScanner) return;
    g_link.reinitScanner();
    App_ApplyScannerFilterDefaults();
}

bool Scanner_Stop() { return g_link.stopAcquisition ? g_link.stopAcquisition() : true; }

int32_t Scanner_OnlineState() { return g_link.onlineState ? g_link.onlineState() : 0; }
