#include "app/acquisition/field_format.h"

#include <cstring>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/hardware_statistics.h"
#include "app/acquisition/hardware_trace.h"

namespace {

constexpr int kRecordBytesTotal = 2 * kTrackerRecordBytes;

const unsigned char* RecordBytes(const std::uint16_t* field, int record) {
    return reinterpret_cast<const unsigned char*>(field + kFieldVideoWords) + record * kTrackerRecordBytes;
}

float LittleEndianFloat(const unsigned char* bytes) {
    const std::uint32_t bits = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                               (static_cast<std::uint32_t>(bytes[2]) << 16) |
                               (static_cast<std::uint32_t>(bytes[3]) << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void DecodeRecord(const unsigned char* raw, std::int32_t unitVersion, std::int32_t base,
                  DecodedTrackerRecord& out) {
    std::memset(&out, 0, sizeof out);
    out.stationChar = static_cast<char>(raw[1]);
    out.errorChar = static_cast<char>(raw[2]);
    out.station = StationIndex(out.stationChar, unitVersion, base);
    float position[3];
    float orientation[9];
    for (int i = 0; i < 3; ++i) position[i] = LittleEndianFloat(raw + 4 + 4 * i);
    for (int i = 0; i < 9; ++i) orientation[i] = LittleEndianFloat(raw + 16 + 4 * i);
    // Row-vector layout: the upper-left block is the transpose of the
    // received rows, the fourth row the position in millimetres.
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) out.pose[row * 4 + column] = orientation[column * 3 + row];
        out.pose[row * 4 + 3] = 0.0f;
    }
    for (int i = 0; i < 3; ++i) out.pose[12 + i] = position[i] * 10.0f;
    out.pose[15] = 1.0f;
}

}  // namespace

FieldIdentity DecodeFieldIdentity(const std::uint16_t* field) {
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<std::uint32_t>((field[i] >> 12) & 7u) << (3 * i);
    const std::uint32_t identity = raw ^ 0xFFFu;
    FieldIdentity result;
    result.version = static_cast<std::int32_t>(identity & 3u);
    if (result.version <= 1) {
        result.serial = (identity >> 2) & 0x3FFu;
    } else {
        result.serial = static_cast<std::uint16_t>(~field[kStatusWord1]);
    }
    return result;
}

StationCharacters GetStationCharacters(std::int32_t unitVersion, std::int32_t trackerBase) {
    if (unitVersion == 1 || unitVersion == 3) return {'3', '1'};
    return {static_cast<char>('1' + trackerBase), static_cast<char>('2' + trackerBase)};
}

std::int32_t StationIndex(char station, std::int32_t unitVersion, std::int32_t trackerBase) {
    const StationCharacters st = GetStationCharacters(unitVersion, trackerBase);
    if (station == st.st2) return 0;
    if (station == st.st1) return 1;
    return -1;
}

std::int32_t FieldFramingOk(const std::uint16_t* field) {
    if (field[0] & 0x8000u) {
        TraceHardware("FieldFramingOk: error at start of video (word 0: 0x%04x)\n", field[0]);
        return 0;
    }
    if (field[kFieldVideoWords - 1] & 0x8000u) {
        TraceHardware("FieldFramingOk: error at end of video (word %d: 0x%04x)\n", kFieldVideoWords - 1,
                      field[kFieldVideoWords - 1]);
        return 0;
    }
    if (!(field[kStatusWord0] & kStatusStartBit)) {
        TraceHardware("FieldFramingOk: error at start of status (word %d: 0x%04x)\n", kStatusWord0,
                      field[kStatusWord0]);
        return 0;
    }
    const std::uint16_t last = field[kLastFieldWord];
    if (last != 0 && (last & 0x8080u) != 0x8080u) {
        TraceHardware("FieldFramingOk: error at end of status (word %d: 0x%04x)\n", kLastFieldWord, last);
        return 0;
    }
    return 1;
}

std::int32_t CheckLocatorFraming(const std::uint16_t* field) {
    const StationCharacters st = GetStationCharacters(GetProcessingUnitVersion(), GetTrackerSelection());
    for (int record = 0; record < 2; ++record) {
        const unsigned char* raw = RecordBytes(field, record);
        if (raw[0] != '0') return 0;
        if (raw[1] != static_cast<unsigned char>(st.st1) && raw[1] != static_cast<unsigned char>(st.st2)) return 0;
    }
    return 1;
}

std::int32_t DecodeLocatorBlock(std::uint16_t* slot) {
    const std::int32_t unitVersion = GetProcessingUnitVersion();
    const std::int32_t base = GetTrackerSelection();

    // The decoded block is longer than the raw records it replaces: work
    // from a copy of the raw bytes.
    unsigned char raw[kRecordBytesTotal];
    std::memcpy(raw, RecordBytes(slot, 0), sizeof raw);
    const std::uint16_t status = slot[kStatusWord0];

    DecodedLocatorBlock block;
    std::memset(&block, 0, sizeof block);
    block.wandFlag = (status & kStatusWandBit) ? 1 : 0;
    block.stylusFlag = (status & kStatusStylusBit) ? 1 : 0;
    block.parityFlag = (status & kStatusParityBit) ? 1 : 0;
    DecodeRecord(raw, unitVersion, base, block.record[0]);
    DecodeRecord(raw + kTrackerRecordBytes, unitVersion, base, block.record[1]);

    const char errorText[4] = {block.record[0].stationChar, block.record[0].errorChar, block.record[1].stationChar,
                               block.record[1].errorChar};
    Stats_SetTrackerErrorText(errorText);

    const std::int32_t first = block.record[0].station;
    const std::int32_t second = block.record[1].station;
    if (first == 0 && second == 1) {
        block.wandRecord = 0;
        block.referenceRecord = 1;
    } else if (first == 1 && second == 0) {
        block.wandRecord = 1;
        block.referenceRecord = 0;
    } else if (first == 0 && second == 0 && (GetFirmwareAllowsStationTwice() || !GetWandReferenceOption())) {
        block.wandRecord = 0;
        block.referenceRecord = 1;
    } else {
        return 0;
    }
    std::memcpy(slot + kFieldVideoWords, &block, sizeof block);
    return 1;
}

void ReadDecodedLocatorBlock(const std::uint16_t* slot, DecodedLocatorBlock& out) {
    std::memcpy(&out, slot + kFieldVideoWords, sizeof out);
}

std::int32_t ReadSlotStylusFlag(const std::uint16_t* slot) {
    std::int32_t flag;
    std::memcpy(&flag, reinterpret_cast<const unsigned char*>(slot + kFieldVideoWords) + kStylusFlagOffset,
                sizeof flag);
    return flag;
}

void WriteSlotStylusFlag(std::uint16_t* slot, std::int32_t flag) {
    std::memcpy(reinterpret_cast<unsigned char*>(slot + kFieldVideoWords) + kStylusFlagOffset, &flag, sizeof flag);
}
