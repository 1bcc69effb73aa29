// The scanner field as the processing unit sends it, and its decoded form.
//
// A field is 1192 little-endian 16-bit words (2384 bytes): 1128 video words
// (282 lines of 4 words), two 52-byte tracker records and a 12-word status
// block. The ring slot that receives a field is 128 words longer; after the
// checks the locator part of the slot (from word 1128 on) is overwritten with
// the decoded locator block, which is all that the consumers read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/scan/geometry.h"

constexpr int kFieldLineCount = 282;
constexpr int kFieldVideoWords = 4 * kFieldLineCount;  // N
constexpr int kFieldStatusBytes = 128;                  // S: tracker records and status block
constexpr int kFieldStatusOffset = 52;                  // words from the end of the video to the status block
constexpr int kFieldWords = kFieldVideoWords + kFieldStatusBytes / 2;
constexpr int kFieldBytes = kFieldWords * 2;
constexpr int kFieldSlotWords = kFieldVideoWords + kFieldStatusBytes;
constexpr int kTrackerRecordBytes = 52;
constexpr int kStatusWord0 = kFieldVideoWords + kFieldStatusOffset;
constexpr int kStatusWord1 = kStatusWord0 + 1;
constexpr int kLastFieldWord = kFieldWords - 1;

// Status word 0, low byte.
constexpr std::uint16_t kStatusStartBit = 0x80;
constexpr std::uint16_t kStatusWandBit = 0x40;
constexpr std::uint16_t kStatusStylusBit = 0x20;
constexpr std::uint16_t kStatusParityBit = 0x10;

// Version (0..3) and serial number carried by a field's identity bits.
struct FieldIdentity {
    std::int32_t version;
    std::uint32_t serial;
};
FieldIdentity DecodeFieldIdentity(const std::uint16_t* field);

// The two station characters the tracker reports: st1 (the reference
// station) and st2 (the wand station).
struct StationCharacters {
    char st1;
    char st2;
};
StationCharacters GetStationCharacters(std::int32_t unitVersion, std::int32_t trackerBase);
// 0 for the wand station, 1 for the reference station, -1 for any other.
std::int32_t StationIndex(char station, std::int32_t unitVersion, std::int32_t trackerBase);

struct DecodedTrackerRecord {
    Matrix4 pose;  // transposed orientation, position x 10 in the fourth row
    std::int32_t station;
    char stationChar;
    char errorChar;
    char padding[2];
};

struct DecodedLocatorBlock {
    std::int32_t wandFlag;
    std::int32_t stylusFlag;
    std::int32_t parityFlag;
    DecodedTrackerRecord record[2];
    std::int32_t wandRecord;
    std::int32_t referenceRecord;
};
static_assert(sizeof(DecodedLocatorBlock) <= kFieldStatusBytes * 2, "fits the locator part of a slot");
constexpr std::size_t kStylusFlagOffset = offsetof(DecodedLocatorBlock, stylusFlag);

// Nonzero when the four framing tests pass (each failure is traced).
std::int32_t FieldFramingOk(const std::uint16_t* field);

// Nonzero when both tracker records start with '0' and one of the two
// station characters of the version in use.
std::int32_t CheckLocatorFraming(const std::uint16_t* field);

// Decodes the tracker records and the status flags and writes the decoded
// block over the locator part (from word N on) of the slot. Nonzero when the
// pair of stations is acceptable; otherwise nothing is written.
std::int32_t DecodeLocatorBlock(std::uint16_t* slot);

// Copies of the decoded block of a slot (the slot is plain 16-bit words).
void ReadDecodedLocatorBlock(const std::uint16_t* slot, DecodedLocatorBlock& out);
std::int32_t ReadSlotStylusFlag(const std::uint16_t* slot);
void WriteSlotStylusFlag(std::uint16_t* slot, std::int32_t flag);
