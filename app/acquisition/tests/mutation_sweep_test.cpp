// Corrupted fields and calibration files: every one gives a result code or a
// dropped field, never a crash (this runs under the sanitizers natively).
#include <random>
#include <sstream>

#include "acquisition_test_support.h"
#include "app/acquisition/calibration_file.h"
#include "sim/calibration_writer.h"
#include "app/acquisition/field_format.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_commands.h"
#include "app/acquisition/tracker_link.h"

using namespace acquisition_test;

namespace {

class MutationSweep : public AcquisitionFixture {
protected:
    // Checks one field as the first of a capture and as a later one; both
    // settings of the hemisphere hold.
    void CheckField(const std::vector<std::uint8_t>& bytes, std::int32_t hemisphere) {
        SetHemisphereSetting(hemisphere);
        for (std::int32_t first = 0; first <= 1; ++first) {
            Ring_ResetCounts();
            FieldCheckContext context;
            FieldCheckContext_Init(context, 0);
            LoadFieldIntoSlot(bytes, RingSlotAddress(0));
            const std::int32_t published = ProcessField(1, first, context);
            ASSERT_TRUE(published == 0 || published == 1);
            ASSERT_EQ(Ring_WriteCount(), published);
            // The end-of-capture step reads whatever the slot holds now.
            TrackerCommandList sent;
            StoreWandTrackingState(TrackingState_STARTED);
            StoreStylusTrackingState(TrackingState_STARTED);
            BuildHemisphereListOfSlot(context, sent);
        }
    }

    static void BuildHemisphereListOfSlot(const FieldCheckContext& context, TrackerCommandList& sent) {
        if (!context.lastDecoded) return;
        DecodedLocatorBlock block;
        ReadDecodedLocatorBlock(RingSlotAddress(Ring_WriteCount()), block);
        BuildHemisphereCommands(block, ReadSlotStylusFlag(RingSlotAddress(Ring_WriteCount())) != 0,
                                CurrentTrackerCommandInputs(), sent);
    }
};

TEST_F(MutationSweep, Fields) {
    SetExpectedSerialNumber(345);
    const std::vector<std::uint8_t> good = GenerateField(WandField(345));
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (std::uint8_t flip : {std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
            std::vector<std::uint8_t> bytes = good;
            bytes[at] ^= flip;
            CheckField(bytes, at % 2 ? 0 : kHemisphereAutomatic);
            if (HasFatalFailure()) return;
        }
    }
    std::mt19937 random(20240601);
    for (int round = 0; round < 1000; ++round) {
        std::vector<std::uint8_t> bytes = good;
        const int changes = 1 + static_cast<int>(random() % 64);
        for (int i = 0; i < changes; ++i) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        CheckField(bytes, round % 7);
        if (HasFatalFailure()) return;
    }
}

std::int32_t Load(const std::vector<std::uint8_t>& bytes) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    CalibrationData data;
    return ReadCalibration(in, data);
}

bool KnownResult(std::int32_t result) {
    return result == 1 || result == 2 || result == 4 || result == 5 || result == 7;
}

TEST_F(MutationSweep, CalibrationFiles) {
    CalibrationFileParameters p;
    p.trackerSetup = ExampleTrackerSetupBlock();
    const std::vector<std::uint8_t> good = BuildCalibrationFile(p);
    ASSERT_EQ(Load(good), 1);

    for (std::size_t size = 0; size < good.size(); ++size) {
        const std::int32_t result = Load(std::vector<std::uint8_t>(good.begin(), good.begin() + size));
        ASSERT_EQ(result, 7) << size;
    }
    // Every byte of the two headers and the start of the table.
    for (std::size_t at = 0; at < 1032 + 48 + 64; ++at) {
        for (std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
            std::vector<std::uint8_t> bytes = good;
            bytes[at] ^= flip;
            ASSERT_TRUE(KnownResult(Load(bytes))) << at;
        }
    }
    std::mt19937 random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<std::uint8_t> bytes = good;
        const int changes = 1 + static_cast<int>(random() % 16);
        for (int i = 0; i < changes; ++i) {
            const std::size_t at = 1032 + random() % 48;  // the calibration header's fields
            bytes[at] = static_cast<std::uint8_t>(random());
        }
        if (random() % 2) bytes.resize(random() % bytes.size());
        ASSERT_TRUE(KnownResult(Load(bytes))) << round;
    }
}

}  // namespace
