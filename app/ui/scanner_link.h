// The shell's calls into scanner acquisition. The acquisition layer installs
// its functions at start-up; until a function is installed the shell acts as
// for a scanner that is off: it starts nothing, stopping succeeds at once
// (nothing runs), the online state is off line, and field events are not
// handled (none can arrive).
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

struct ScannerLink {
    // Starts the scanner (device, tracker, acquisition thread) with the
    // hardware configuration file and the calibration folder; failures are
    // reported by the acquisition layer itself.
    void (*initScannerWithCalibration)(const char* configFile, const char* calibrationFolder) = nullptr;
    // The same with the file and folder of the last start.
    void (*reinitScanner)() = nullptr;
    // Stops the acquisition thread (waiting up to 2000 ms), closes the
    // device, frees the sample buffers; true on success.
    bool (*stopAcquisition)() = nullptr;
    // 0 off line, 1 initialising, 2 on line.
    int32_t (*onlineState)() = nullptr;

    // A capture's first field: the ring's read count starts at the capture's
    // first field index, which the first-field event carries.
    void (*beginCapture)(int32_t firstFieldIndex) = nullptr;
    // The hardware state record's device text is read again.
    void (*refreshDeviceText)() = nullptr;
    // The connected wand: its serial number, the further header word and the
    // receiver offset matrix; false when no wand is connected.
    bool (*connectedWand)(int32_t& serialNumber, int32_t& headerWord, Matrix4& receiverOffset) = nullptr;
    // The scan handlers' per-sweep word is cleared at a first field.
    void (*clearSweepWord)() = nullptr;
    void (*onNewFieldReady)(std::intptr_t parameter) = nullptr;
    void (*endOfSweep)() = nullptr;
    void (*onHemisphereSetupRequired)(std::intptr_t parameter) = nullptr;
    // The scanner properties dialog while it is open, else 0.
    std::uintptr_t (*scannerPropertiesWindow)() = nullptr;
};

void ScannerLink_Install(const ScannerLink& link);
const ScannerLink& ScannerLink_Get();

// The calls with the scanner-off behaviour when not installed.
void Scanner_Start(const char* configFile, const char* calibrationFolder);
void Scanner_Restart();
bool Scanner_Stop();
int32_t Scanner_OnlineState();
