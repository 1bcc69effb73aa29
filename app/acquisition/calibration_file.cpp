#include "app/acquisition/calibration_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "app/files/file_header.h"
#include "platform/file_read_stream.h"
#include "platform/os_seam.h"

namespace fh = kmo::tolvaran::file_header;

namespace {

std::uint32_t GetU32(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
std::int32_t GetI32(const unsigned char* b) { return static_cast<std::int32_t>(GetU32(b)); }
float GetF32(const unsigned char* b) {
    const std::uint32_t bits = GetU32(b);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
std::int16_t GetI16(const unsigned char* b) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
}
void PutU32(unsigned char* b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutF32(unsigned char* b, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(b, bits);
}

bool ReadExactly(std::istream& in, void* out, std::size_t bytes) {
    return static_cast<bool>(in.read(static_cast<char*>(out), static_cast<std::streamsize>(bytes)));
}

std::int32_t ReadTable(std::istream& in, std::int64_t remaining, CalibrationData& data) {
    const std::int64_t bytes = CalibrationTableBytes(data.header, data.model.channelCount);
    // A table longer than what is left of the file is a short file; nothing
    // is allocated for it.
    if (bytes < 0 || bytes > remaining) return Calibration_MALFORMED;
    std::vector<unsigned char> raw;
    try {
        raw.resize(static_cast<std::size_t>(bytes));
        data.table.resize(static_cast<std::size_t>(bytes / 2));
    } catch (const std::bad_alloc&) {
        return Calibration_OUT_OF_MEMORY;
    }
    if (!ReadExactly(in, raw.data(), raw.size())) return Calibration_MALFORMED;
    for (std::size_t i = 0; i < data.table.size(); ++i) data.table[i] = GetI16(&raw[2 * i]);
    data.blank = std::all_of(raw.begin(), raw.end(), [](unsigned char b) { return b == 0; });
    return Calibration_STARTED;
}

std::int32_t ReadHistory(std::istream& in, LutTweakHistory& history) {
    unsigned char raw[kLutTweakHistoryBytes];
    if (!ReadExactly(in, raw, sizeof raw)) return Calibration_MALFORMED;
    for (int i = 0; i < kLutTweakHistoryLength; ++i) DecodeLutTweak(raw + i * sizeof(LutTweak), history[i]);
    return Calibration_STARTED;
}

std::int32_t ReadTrackerSetup(std::istream& in, CalibrationData& data) {
    unsigned char raw[kTrackerSetupBytes];
    if (!ReadExactly(in, raw, sizeof raw)) return Calibration_MALFORMED;
    for (int i = 0; i < kTrackerSetupFloats; ++i) data.trackerSetup[i] = GetF32(raw + 4 * i);
    data.hasTrackerSetup = true;
    return Calibration_STARTED;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void DecodeCalibrationHeader(const unsigned char b[48], CalibrationHeader& h) {
    h.WandSerialNumber = GetU32(b + 0);
    h.versionMajor = GetI32(b + 4);
    h.versionMinor = GetI32(b + 8);
    h.versionRevision = GetI32(b + 12);
    h.versionCheck = GetI32(b + 16);
    h.reserved0 = GetI32(b + 20);
    h.LutRows = GetI32(b + 24);
    h.LutColumns = GetI32(b + 28);
    h.LutRowStep = GetI32(b + 32);
    h.LutColumnStep = GetI32(b + 36);
    h.LutScale = GetF32(b + 40);
    h.LutUnsetMarker = GetI16(b + 44);
    h.reserved1 = GetI16(b + 46);
}

void DecodeLutTweak(const unsigned char b[72], LutTweak& t) {
    float* floats[] = {&t.lineTweak[0], &t.lineTweak[1], &t.countTweak[0], &t.countTweak[1], &t.oldRms[0],
                       &t.oldRms[1],    &t.newRms[0],    &t.newRms[1],     &t.oldDeviation,  &t.newDeviation};
    for (int i = 0; i < 10; ++i) *floats[i] = GetF32(b + 4 * i);
    std::memcpy(t.date, b + 40, sizeof t.date);
}

void EncodeLutTweak(const LutTweak& t, unsigned char b[72]) {
    const float floats[] = {t.lineTweak[0], t.lineTweak[1], t.countTweak[0], t.countTweak[1], t.oldRms[0],
                            t.oldRms[1],    t.newRms[0],    t.newRms[1],     t.oldDeviation,  t.newDeviation};
    for (int i = 0; i < 10; ++i) PutF32(b + 4 * i, floats[i]);
    std::memcpy(b + 40, t.date, sizeof t.date);
}

std::int64_t CalibrationTableBytes(const CalibrationHeader& header, std::int32_t channelCount) {
    if (header.LutRows <= 0 || header.LutColumns <= 0 || channelCount <= 0) return -1;
    const std::int64_t entries = static_cast<std::int64_t>(header.LutRows) * header.LutColumns;
    const std::int64_t entryBytes = static_cast<std::int64_t>(channelCount) * 6;
    if (entries > INT64_MAX / entryBytes) return -1;
    return entries * entryBytes;
}

void PruneCalibrationTable(CalibrationData& data) {
    const float scale = data.header.LutScale;
    const std::int16_t unset = data.header.LutUnsetMarker;
    for (std::size_t entry = 0; entry + 2 < data.table.size(); entry += 3) {
        if (data.table[entry] == unset) continue;
        const float x = scale * static_cast<float>(data.table[entry]);
        const float y = std::fabs(scale * static_cast<float>(data.table[entry + 1]));
        if (!(static_cast<double>(x) * 0.2 + 26.5 >= static_cast<double>(y))) data.table[entry] = unset;
    }
}

std::int32_t LoadCalibrationFile(const std::string& path, CalibrationData& out) {
    out = CalibrationData();
    os::FileReadStream in(path);
    if (!in) return Calibration_NOT_OPENED;
    return ReadCalibration(in, out);
}

std::int32_t ReadCalibration(std::istream& in, CalibrationData& out) {
    out = CalibrationData();
    in.seekg(0, std::ios::end);
    const std::int64_t fileSize = static_cast<std::int64_t>(in.tellg());
    in.seekg(0, std::ios::beg);
    if (fileSize < 0 || !in) return Calibration_MALFORMED;

    fh::FileHeader fileHeader;
    fileHeader.type = fh::FileType::Calibration;
    try {
        fh::Read(fileHeader, in);
    } catch (const fh::FormatException&) {
        return Calibration_MALFORMED;
    }
    if (fileHeader.version < kCalibrationMinVersion || fileHeader.version > kCalibrationMaxVersion)
        return Calibration_MALFORMED;
    out.fileVersion = fileHeader.version;
    out.headerText = fileHeader.text;

    unsigned char rawHeader[48];
    if (!ReadExactly(in, rawHeader, sizeof rawHeader)) return Calibration_MALFORMED;
    DecodeCalibrationHeader(rawHeader, out.header);

    const HardwareVersionEntry* entry = FindHardwareVersion(out.header.versionMajor, out.header.versionMinor,
                                                            out.header.versionRevision, out.header.versionCheck);
    if (!entry) return Calibration_UNSUPPORTED;
    out.model = MakeHardwareModel(*entry);
    if (out.header.LutRowStep != 2 || out.header.LutColumnStep != 2) return Calibration_BAD_STEPS;

    const std::int64_t afterHeaders = static_cast<std::int64_t>(fh::kHeaderSize) + 48;
    std::int32_t result = ReadTable(in, fileSize - afterHeaders, out);
    if (result != Calibration_STARTED) return result;

    if (out.fileVersion >= 3 && (result = ReadHistory(in, out.history)) != Calibration_STARTED) return result;
    if (out.fileVersion <= 3) PruneCalibrationTable(out);
    if (out.fileVersion >= 5 && out.model.trackerSetupProperty &&
        (result = ReadTrackerSetup(in, out)) != Calibration_STARTED)
        return result;
    return Calibration_STARTED;
}

std::string FindCalibrationFile(const std::string& folder, const std::string& fileName, std::string& fullPath) {
    std::string chosen = fileName;
    if (fileName.empty() || !os::IsFile(folder + fileName)) {
        chosen = "No File::";
        std::vector<std::string> candidates;
        for (const std::string& name : os::FilesInFolder(folder)) {
            const std::size_t dot = name.find_last_of('.');
            if (dot != std::string::npos && dot > 0 && EqualsIgnoringCase(name.substr(dot), ".cfg")) candidates.push_back(name);
        }
        if (!candidates.empty()) chosen = *std::min_element(candidates.begin(), candidates.end());
    }
    fullPath = folder + chosen;
    return chosen;
}
