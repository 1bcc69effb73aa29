#include "sim/calibration_writer.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include "app/files/file_header.h"

namespace fh = kmo::tolvaran::file_header;

namespace {

std::int32_t ChannelCount(const CalibrationFileParameters& p) {
    if (p.channelCount > 0) return p.channelCount;
    const HardwareVersionEntry* entry =
        FindHardwareVersion(p.header.versionMajor, p.header.versionMinor, p.header.versionRevision, 1);
    return entry ? entry->channelCount : 1;
}

void PutU32(unsigned char* b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}

void PutF32(unsigned char* b, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(b, bits);
}

void PutI16(unsigned char* b, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    b[0] = static_cast<unsigned char>(u & 0xFF);
    b[1] = static_cast<unsigned char>(u >> 8);
}

void Append(std::vector<std::uint8_t>& out, const void* data, std::size_t bytes) {
    const auto* b = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), b, b + bytes);
}

}  // namespace

void EncodeCalibrationHeader(const CalibrationHeader& h, unsigned char b[48]) {
    PutU32(b + 0, h.WandSerialNumber);
    PutU32(b + 4, static_cast<std::uint32_t>(h.versionMajor));
    PutU32(b + 8, static_cast<std::uint32_t>(h.versionMinor));
    PutU32(b + 12, static_cast<std::uint32_t>(h.versionRevision));
    PutU32(b + 16, static_cast<std::uint32_t>(h.versionCheck));
    PutU32(b + 20, static_cast<std::uint32_t>(h.reserved0));
    PutU32(b + 24, static_cast<std::uint32_t>(h.LutRows));
    PutU32(b + 28, static_cast<std::uint32_t>(h.LutColumns));
    PutU32(b + 32, static_cast<std::uint32_t>(h.LutRowStep));
    PutU32(b + 36, static_cast<std::uint32_t>(h.LutColumnStep));
    PutF32(b + 40, h.LutScale);
    PutI16(b + 44, h.LutUnsetMarker);
    PutI16(b + 46, h.reserved1);
}

std::vector<std::int16_t> GenerateCalibrationTable(const CalibrationFileParameters& p) {
    std::vector<std::int16_t> table;
    const std::int32_t channels = ChannelCount(p);
    int index = 0;
    for (std::int32_t c = 0; c < channels; ++c) {
        for (std::int32_t i = 0; i < p.header.LutRows; ++i) {
            for (std::int32_t j = 0; j < p.header.LutColumns; ++j, ++index) {
                const bool unset = index % 7 == 6;
                table.push_back(unset ? p.header.LutUnsetMarker : static_cast<std::int16_t>(400 + 8 * i + c));
                table.push_back(static_cast<std::int16_t>(40 * j - 200));
                table.push_back(static_cast<std::int16_t>(4 * i - 3 * j));
            }
        }
    }
    return table;
}

std::vector<std::uint8_t> BuildCalibrationFile(const CalibrationFileParameters& p) {
    std::ostringstream headerStream;
    fh::Write(fh::Make(fh::FileType::Calibration, p.fileVersion, p.headerText), headerStream);
    const std::string headerBytes = headerStream.str();
    std::vector<std::uint8_t> out(headerBytes.begin(), headerBytes.end());

    unsigned char header[48];
    EncodeCalibrationHeader(p.header, header);
    Append(out, header, sizeof header);

    const std::vector<std::int16_t> table = p.table.empty() ? GenerateCalibrationTable(p) : p.table;
    for (std::int16_t v : table) {
        const auto u = static_cast<std::uint16_t>(v);
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }

    if (p.fileVersion >= 3) {
        for (int i = 0; i < kLutTweakHistoryLength; ++i) {
            unsigned char record[72] = {};
            if (static_cast<std::size_t>(i) < p.history.size()) EncodeLutTweak(p.history[i], record);
            Append(out, record, sizeof record);
        }
    }
    if (p.fileVersion >= 5 && !p.trackerSetup.empty()) {
        for (int i = 0; i < kTrackerSetupFloats; ++i) {
            const float value = static_cast<std::size_t>(i) < p.trackerSetup.size() ? p.trackerSetup[i] : 0.0f;
            std::uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
        }
    }
    return out;
}

bool WriteCalibrationFile(const std::string& path, const CalibrationFileParameters& p) {
    const std::vector<std::uint8_t> bytes = BuildCalibrationFile(p);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::vector<float> ExampleTrackerSetupBlock() {
    std::vector<float> block(kTrackerSetupFloats);
    for (int i = 0; i < kTrackerSetupFloats; ++i) block[i] = 0.5f + 0.25f * static_cast<float>(i);
    return block;
}
