// Writes calibration files from parameters: fixtures for tests and the
// scanner simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/acquisition/calibration_file.h"

struct CalibrationFileParameters {
    std::int32_t fileVersion = 5;
    std::string headerText = "Created: Mon Jan  1 12:00:00 2024\nWand: test\n";
    CalibrationHeader header{/*WandSerialNumber*/ 345,
                             /*major*/ 2,
                             /*minor*/ 2,
                             /*revision*/ 1,
                             /*check*/ 1,
                             0,
                             /*LutRows*/ 8,
                             /*LutColumns*/ 10,
                             /*steps*/ 2,
                             2,
                             /*LutScale*/ 0.25f,
                             /*unset*/ -32768,
                             0};
    // 0: the channel count of the header's hardware version (1 when unknown).
    std::int32_t channelCount = 0;
    // Entries (x, y, z per entry); empty: a generated table (see below).
    std::vector<std::int16_t> table;
    std::vector<LutTweak> history;  // newest first, at most 100 (versions 3 and later)
    // Written for versions 5 and later when not empty (57 floats).
    std::vector<float> trackerSetup;
};

// The file's 48-byte header block, little-endian.
void EncodeCalibrationHeader(const CalibrationHeader& header, unsigned char bytes[48]);

// The generated table: entry (c, i, j) = (400 + 8i + c, 40j - 200, 4i - 3j),
// with every 7th entry unset.
std::vector<std::int16_t> GenerateCalibrationTable(const CalibrationFileParameters& parameters);

std::vector<std::uint8_t> BuildCalibrationFile(const CalibrationFileParameters& parameters);
bool WriteCalibrationFile(const std::string& path, const CalibrationFileParameters& parameters);

// A tracker set-up block whose four frequency entries all carry calibration.
std::vector<float> ExampleTrackerSetupBlock();
