// The scanner's calibration file ("*.cfg", one per wand): behind the program
// file header, the calibration header (wand serial number, hardware version,
// table shape), the calibration look-up table, from version 3 on the history
// of 100 calibration corrections, and from version 5 on, for hardware that
// takes it, the tracker's frequency set-up block.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/acquisition/hardware_version.h"

struct CalibrationHeader {
    std::uint32_t WandSerialNumber;
    std::int32_t versionMajor;
    std::int32_t versionMinor;
    std::int32_t versionRevision;
    std::int32_t versionCheck;
    std::int32_t reserved0;
    std::int32_t LutRows;
    std::int32_t LutColumns;
    std::int32_t LutRowStep;
    std::int32_t LutColumnStep;
    float LutScale;
    std::int16_t LutUnsetMarker;
    std::int16_t reserved1;
};
static_assert(sizeof(CalibrationHeader) == 48, "48 bytes on disk");

// One calibration correction (72 bytes on disk). An all-zero record is an
// empty history slot.
struct LutTweak {
    float lineTweak[2];  // per channel
    float countTweak[2];
    float oldRms[2];
    float newRms[2];
    float oldDeviation;
    float newDeviation;
    char date[32];  // zero-terminated text
};
static_assert(sizeof(LutTweak) == 72, "72 bytes on disk");

constexpr int kLutTweakHistoryLength = 100;
constexpr std::size_t kLutTweakHistoryBytes = kLutTweakHistoryLength * sizeof(LutTweak);
constexpr std::size_t kTrackerSetupBytes = 228;  // 57 floats
constexpr int kTrackerSetupFloats = 57;
constexpr int kCalibrationMinVersion = 2;
constexpr int kCalibrationMaxVersion = 5;

using LutTweakHistory = std::array<LutTweak, kLutTweakHistoryLength>;

// Results of the file steps of hardware start-up.
enum CalibrationResult : std::int32_t {
    Calibration_BAD_STEPS = 2,  // table steps other than 2
    Calibration_STARTED = 1,    // loaded
    Calibration_OUT_OF_MEMORY = 4,
    Calibration_UNSUPPORTED = 5,  // hardware version not in the table
    Calibration_NOT_OPENED = 6,
    Calibration_MALFORMED = 7,  // short or malformed
};

struct CalibrationData {
    std::int32_t fileVersion = 0;
    std::string headerText;  // the program file header's text
    CalibrationHeader header{};
    HardwareModel model;
    // channel count x LutRows x LutColumns entries of three int16 (x, y, z),
    // channel-major, then row, then column.
    std::vector<std::int16_t> table;
    LutTweakHistory history{};  // newest first
    bool hasTrackerSetup = false;
    std::array<float, kTrackerSetupFloats> trackerSetup{};
    bool blank = false;  // every word of the table is zero
};

// Reads and checks the whole file into `out`: 1 loaded, else 2, 4, 5, 6 or 7
// (CalibrationResult). Versions 2 and 3 have their table pruned.
std::int32_t LoadCalibrationFile(const std::string& path, CalibrationData& out);
// The same from an open binary stream (read from its start).
std::int32_t ReadCalibration(std::istream& in, CalibrationData& out);

// Byte size of the table of a header of the given hardware, or -1 when the
// shape is not usable (rows or columns not positive, or a size beyond any file).
std::int64_t CalibrationTableBytes(const CalibrationHeader& header, std::int32_t channelCount);

// Marks unset the entries of a version 2 or 3 table that lie outside the
// camera's reach: an entry stays set only when x * 0.2 + 26.5 >= |y| (mm).
void PruneCalibrationTable(CalibrationData& data);

// Little-endian codings of the header and of a history record (the history
// is written back when the file is updated).
void DecodeCalibrationHeader(const unsigned char bytes[48], CalibrationHeader& out);
void DecodeLutTweak(const unsigned char bytes[72], LutTweak& out);
void EncodeLutTweak(const LutTweak& tweak, unsigned char bytes[72]);

// The file of the given name in the calibration folder when it exists, else
// the first "*.cfg" file there (by name), else "No File::". Returns the file
// name chosen; `fullPath` gets folder + name.
std::string FindCalibrationFile(const std::string& folder, const std::string& fileName, std::string& fullPath);
