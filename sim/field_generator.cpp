#include "sim/field_generator.h"

#include <cstring>

#include "app/acquisition/field_format.h"

namespace {

void PutWord(std::vector<std::uint8_t>& bytes, int word, std::uint16_t value) {
    bytes[2 * word] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[2 * word + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetWord(const std::vector<std::uint8_t>& bytes, int word) {
    return static_cast<std::uint16_t>(bytes[2 * word] | (bytes[2 * word + 1] << 8));
}

void PutFloat(std::uint8_t* out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

void PutRecord(std::uint8_t* out, const GeneratedTrackerRecord& record) {
    out[0] = static_cast<std::uint8_t>(record.type);
    out[1] = static_cast<std::uint8_t>(record.station);
    out[2] = static_cast<std::uint8_t>(record.error);
    out[3] = ' ';
    for (int i = 0; i < 3; ++i) PutFloat(out + 4 + 4 * i, record.position[i]);
    for (int i = 0; i < 9; ++i) PutFloat(out + 16 + 4 * i, record.orientation[i]);
}

}  // namespace

std::vector<std::uint8_t> GenerateField(const FieldParameters& p) {
    std::vector<std::uint8_t> bytes(kFieldBytes, 0);
    for (const GeneratedLineSample& s : p.samples) {
        if (s.line < 0 || s.line >= kFieldLineCount || s.channel < 0 || s.channel > 1) continue;
        const int word = (s.line * 2 + s.channel) * 2;
        PutWord(bytes, word, s.start & 0x0FFF);
        PutWord(bytes, word + 1, s.end & 0x0FFF);
    }

    // Identity: version in bits 0-1, on versions 0 and 1 the serial number in
    // bits 2-11; stored complemented, three bits in bits 12-14 of each of the
    // first four video words.
    std::uint32_t identity = static_cast<std::uint32_t>(p.unitVersion) & 3u;
    if (p.unitVersion <= 1) identity |= (p.serial & 0x3FFu) << 2;
    const std::uint32_t stored = identity ^ 0xFFFu;
    for (int i = 0; i < 4; ++i) {
        const std::uint16_t bits = static_cast<std::uint16_t>(((stored >> (3 * i)) & 7u) << 12);
        PutWord(bytes, i, static_cast<std::uint16_t>((GetWord(bytes, i) & 0x8FFF) | bits));
    }
    if (p.breakStartOfVideo) PutWord(bytes, 0, GetWord(bytes, 0) | 0x8000);
    if (p.breakEndOfVideo) PutWord(bytes, kFieldVideoWords - 1, GetWord(bytes, kFieldVideoWords - 1) | 0x8000);

    PutRecord(&bytes[2 * kFieldVideoWords], p.records[0]);
    PutRecord(&bytes[2 * kFieldVideoWords + kTrackerRecordBytes], p.records[1]);

    std::uint16_t status0 = p.breakStartOfStatus ? 0 : kStatusStartBit;
    if (p.wandPresent) status0 |= kStatusWandBit;
    if (p.stylus) status0 |= kStatusStylusBit;
    if (p.parity) status0 |= kStatusParityBit;
    PutWord(bytes, kStatusWord0, status0);
    if (p.unitVersion >= 2) PutWord(bytes, kStatusWord1, static_cast<std::uint16_t>(~p.serial));
    PutWord(bytes, kLastFieldWord, p.lastStatusWord);
    return bytes;
}

void SetStandardStations(FieldParameters& p, std::int32_t trackerBase) {
    const StationCharacters st = GetStationCharacters(p.unitVersion, trackerBase);
    p.records[0].station = st.st1;
    p.records[1].station = st.st2;
}

void LoadFieldIntoSlot(const std::vector<std::uint8_t>& field, std::uint16_t* slot) {
    const std::size_t words = field.size() / 2;
    for (std::size_t i = 0; i < words; ++i)
        slot[i] = static_cast<std::uint16_t>(field[2 * i] | (field[2 * i + 1] << 8));
}
