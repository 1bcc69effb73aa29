#include "app/acquisition/field_format.h"

#include <cstring>
#include <functional>

#include "acquisition_test_support.h"

using namespace acquisition_test;

namespace {

class FieldFormat : public AcquisitionFixture {};

TEST_F(FieldFormat, Geometry) {
    EXPECT_EQ(kFieldVideoWords, 1128);
    EXPECT_EQ(kFieldWords, 1192);
    EXPECT_EQ(kFieldBytes, 2384);
    EXPECT_EQ(kStatusWord0, 1180);
    EXPECT_EQ(GenerateField(FieldParameters{}).size(), 2384u);
}

TEST_F(FieldFormat, IdentityOfEachVersion) {
    struct Case {
        std::int32_t version;
        std::uint32_t serial;
    } cases[] = {{0, 0}, {0, 1023}, {1, 517}, {2, 0}, {2, 65535}, {3, 4660}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        FieldParameters p;
        p.unitVersion = c.version;
        p.serial = c.serial;
        std::vector<std::uint16_t> slot(kFieldSlotWords);
        LoadFieldIntoSlot(GenerateField(p), slot.data());
        const FieldIdentity identity = DecodeFieldIdentity(slot.data());
        EXPECT_EQ(identity.version, c.version);
        EXPECT_EQ(identity.serial, c.serial);
    }
}

TEST_F(FieldFormat, IdentityBitsByHand) {
    // All identity bits stored as 1 means identity 0: version 0, serial 0.
    std::vector<std::uint16_t> slot(kFieldSlotWords, 0);
    for (int i = 0; i < 4; ++i) slot[i] = 0x7000;
    EXPECT_EQ(DecodeFieldIdentity(slot.data()).version, 0);
    EXPECT_EQ(DecodeFieldIdentity(slot.data()).serial, 0u);
    // Word 0 bits 12-14 = 0b110 -> identity bits 0-2 = 0b001: version 1.
    slot[0] = 0x6000;
    EXPECT_EQ(DecodeFieldIdentity(slot.data()).version, 1);
    // Word 1 bits 12-14 = 0b011 -> identity bits 3-5 = 0b100: serial bit 3 (identity bit 5).
    slot[0] = 0x7000;
    slot[1] = 0x3000;
    EXPECT_EQ(DecodeFieldIdentity(slot.data()).serial, 8u);
}

TEST_F(FieldFormat, StationCharactersAndIndices) {
    EXPECT_EQ(GetStationCharacters(0, 0).st1, '1');
    EXPECT_EQ(GetStationCharacters(0, 0).st2, '2');
    EXPECT_EQ(GetStationCharacters(2, 2).st1, '3');
    EXPECT_EQ(GetStationCharacters(2, 2).st2, '4');
    EXPECT_EQ(GetStationCharacters(3, 2).st1, '3');
    EXPECT_EQ(GetStationCharacters(3, 2).st2, '1');
    EXPECT_EQ(StationIndex('1', 0, 0), 1);
    EXPECT_EQ(StationIndex('2', 0, 0), 0);
    EXPECT_EQ(StationIndex('3', 0, 0), -1);
    EXPECT_EQ(StationIndex('1', 1, 0), 0);
    EXPECT_EQ(StationIndex('3', 1, 0), 1);
    EXPECT_EQ(StationIndex('2', 1, 0), -1);
}

TEST_F(FieldFormat, FramingTests) {
    struct Case {
        const char* name;
        std::function<void(FieldParameters&)> change;
        bool ok;
    } cases[] = {
        {"good", [](FieldParameters&) {}, true},
        {"last word 0", [](FieldParameters& f) { f.lastStatusWord = 0; }, true},
        {"last word 0x8080", [](FieldParameters& f) { f.lastStatusWord = 0x8080; }, true},
        {"last word 0x8000", [](FieldParameters& f) { f.lastStatusWord = 0x8000; }, false},
        {"last word 0x0001", [](FieldParameters& f) { f.lastStatusWord = 0x0001; }, false},
        {"start of video", [](FieldParameters& f) { f.breakStartOfVideo = true; }, false},
        {"end of video", [](FieldParameters& f) { f.breakEndOfVideo = true; }, false},
        {"start of status", [](FieldParameters& f) { f.breakStartOfStatus = true; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FieldParameters p = WandField(1);
        c.change(p);
        std::vector<std::uint16_t> slot(kFieldSlotWords);
        LoadFieldIntoSlot(GenerateField(p), slot.data());
        EXPECT_EQ(FieldFramingOk(slot.data()) != 0, c.ok);
    }
}

TEST_F(FieldFormat, DecodedBlock) {
    FieldParameters p = WandField(1);
    p.parity = true;
    p.records[0].error = 'E';
    p.records[0].position[0] = 1.5f;
    p.records[0].position[1] = -2.0f;
    p.records[0].position[2] = 3.25f;
    const float orientation[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::memcpy(p.records[0].orientation, orientation, sizeof orientation);
    std::swap(p.records[0], p.records[1]);  // the wand station's record first

    std::vector<std::uint16_t> slot(kFieldSlotWords);
    LoadFieldIntoSlot(GenerateField(p), slot.data());
    ASSERT_NE(DecodeLocatorBlock(slot.data()), 0);
    DecodedLocatorBlock block;
    ReadDecodedLocatorBlock(slot.data(), block);
    EXPECT_EQ(block.wandFlag, 1);
    EXPECT_EQ(block.stylusFlag, 0);
    EXPECT_EQ(block.parityFlag, 1);
    EXPECT_EQ(block.wandRecord, 0);
    EXPECT_EQ(block.referenceRecord, 1);
    const DecodedTrackerRecord& reference = block.record[1];
    EXPECT_EQ(reference.station, 1);
    EXPECT_EQ(reference.stationChar, '1');
    EXPECT_EQ(reference.errorChar, 'E');
    const float expected[16] = {1, 4, 7, 0, 2, 5, 8, 0, 3, 6, 9, 0, 15, -20, 32.5f, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(reference.pose[i], expected[i]) << i;
    EXPECT_EQ(block.record[0].station, 0);

    HardwareStatistics stats;
    GetHardwareStatistics(stats);
    EXPECT_STREQ(stats.trackerErrorText, "2 1E");

    WriteSlotStylusFlag(slot.data(), 1);
    EXPECT_EQ(ReadSlotStylusFlag(slot.data()), 1);
}

TEST_F(FieldFormat, FailedDecodingLeavesTheRawRecords) {
    FieldParameters p = WandField(1);
    p.records[1].station = p.records[0].station;
    std::vector<std::uint16_t> slot(kFieldSlotWords);
    LoadFieldIntoSlot(GenerateField(p), slot.data());
    const std::vector<std::uint16_t> before = slot;
    EXPECT_EQ(DecodeLocatorBlock(slot.data()), 0);
    EXPECT_EQ(slot, before);
}

TEST(HardwareEvents, MessagesAndNames) {
    const std::uint32_t messages[] = {0x8000, 0x8001, 0x8002, 0x8003, 0x8004, 0x8005, 0x8006,
                                      0x8007, 0x8008, 0x800B, 0x8009, 0x800A, 0x800C};
    for (std::int32_t code = 0; code < kHardwareEventCount; ++code) {
        EXPECT_EQ(HardwareEventMessage(code), messages[code]) << code;
        EXPECT_NE(HardwareEventName(code), nullptr);
    }
    EXPECT_STREQ(HardwareEventName(Hardware_UNSUPPORTED_FREQUENCY), "Hardware_UNSUPPORTED_FREQUENCY");
    EXPECT_EQ(HardwareEventMessage(13), 0u);
    EXPECT_EQ(HardwareEventName(-1), nullptr);
}

TEST(AcquisitionSettings, Accessors) {
    ResetAcquisitionSettings();
    const std::pair<std::int32_t, std::int32_t> lengths[] = {{-4, 1}, {0, 1}, {1, 1}, {2, 3}, {3, 3}, {4, 5}, {7, 7}};
    for (const auto& length : lengths) {
        SetOddFilterLength(length.first);
        EXPECT_EQ(GetOddFilterLength(), length.second) << length.first;
    }
    SetTrackerSelection(2);
    SetTrackerSelection(3);
    SetTrackerSelection(-1);
    EXPECT_EQ(GetTrackerSelection(), 2);
    SetHemisphereSetting(3);
    SetHemisphereSetting(7);
    EXPECT_EQ(GetHemisphereSetting(), 3);
    StoreStylusTrackingState(TrackingState_INITIALISED);
    SetWandReferenceOption(0);
    EXPECT_EQ(GetStylusTrackingState(), TrackingState_NONE);
    ResetAcquisitionSettings();
}

}  // namespace
