#include "app/ui/scanner_link.h"

namespace {

ScannerLink g_link;

}  // namespace

void ScannerLink_Install(const ScannerLink& link) { g_link = link; }
const ScannerLink& ScannerLink_Get() { return g_link; }

void Scanner_Start(const char* configFile, const char* calibrationFolder) {
    if (g_link.initScannerWithCalibration) g_link.initScannerWithCalibration(configFile, calibrationFolder);
}

void Scanner_Restart() {
    if (g_link.reinitScanner) g_link.reinitScanner();
}

bool Scanner_Stop() { return g_link.stopAcquisition ? g_link.stopAcquisition() : true; }

int32_t Scanner_OnlineState() { return g_link.onlineState ? g_link.onlineState() : 0; }
