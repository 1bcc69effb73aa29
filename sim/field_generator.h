// Makes scanner fields from parameters, byte for byte as the processing unit
// sends them: for tests and for the scanner simulator.
#pragma once

#include <cstdint>
#include <vector>

struct GeneratedTrackerRecord {
    char type = '0';
    char station = '2';
    char error = ' ';
    float position[3] = {0.0f, 0.0f, 0.0f};              // in the tracker's units (centimetres)
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // three rows as the tracker sends them
};

// One laser-line sample: start and end count (12 bits) of line L, channel c.
struct GeneratedLineSample {
    int line;
    int channel;
    std::uint16_t start;
    std::uint16_t end;
};

struct FieldParameters {
    std::int32_t unitVersion = 0;  // 0..3
    std::uint32_t serial = 0;      // 10 bits on versions 0 and 1, 16 bits on 2 and 3
    bool wandPresent = true;
    bool stylus = false;
    bool parity = false;
    std::uint16_t lastStatusWord = 0;  // 0 or with bits 7 and 15 set
    GeneratedTrackerRecord records[2];
    std::vector<GeneratedLineSample> samples;

    // Framing faults.
    bool breakStartOfVideo = false;
    bool breakEndOfVideo = false;
    bool breakStartOfStatus = false;
};

// The field as 2384 little-endian bytes.
std::vector<std::uint8_t> GenerateField(const FieldParameters& parameters);

// Records of a normal wand field: record 0 the reference station (st1),
// record 1 the wand station (st2), for the given version and tracker base.
void SetStandardStations(FieldParameters& parameters, std::int32_t trackerBase = 0);

// Copies a generated field into a field slot (host 16-bit words).
void LoadFieldIntoSlot(const std::vector<std::uint8_t>& field, std::uint16_t* slot);
