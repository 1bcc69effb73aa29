// Two threads over the ring: the acquisition side checks and publishes
// numbered fields, the user-interface side consumes them. Every field must
// arrive whole and in order (run it under the thread sanitizer too).
#include <thread>

#include "acquisition_test_support.h"
#include "app/acquisition/process_field.h"

using namespace acquisition_test;

namespace {

class RingHandover : public AcquisitionFixture {};

TEST_F(RingHandover, FieldsArriveWholeAndInOrder) {
    constexpr int kFields = 3000;
    SetExpectedSerialNumber(345);
    SetHemisphereSetting(0);
    SetHardwareEventHandler(nullptr);
    SetHardwareTraceSink(nullptr);

    std::vector<std::vector<std::uint8_t>> fields;
    for (int n = 0; n < 8; ++n) {
        FieldParameters p = WandField(345);
        for (int line = 0; line < 282; ++line) p.samples.push_back({line, 1, static_cast<std::uint16_t>(n), 0});
        fields.push_back(GenerateField(p));
    }

    std::thread producer([&] {
        FieldCheckContext context;
        FieldCheckContext_Init(context, 0);
        FieldCheckContext_StartCapture(context);
        for (int n = 0; n < kFields; ++n) {
            while (Ring_WriteCount() - Ring_ReadCount() + 1 >= kRingSlotCount) std::this_thread::yield();
            LoadFieldIntoSlot(fields[n % 8], RingSlotAddress(Ring_WriteCount()));
            ASSERT_EQ(ProcessField(1, n == 0, context), 1);
        }
    });

    // The consumer goes on after a bad field so that the producer never waits
    // for room forever.
    int consumed = 0;
    int firstBad = -1;
    while (consumed < kFields) {
        if (Ring_ReadCount() == Ring_WriteCount()) {
            std::this_thread::yield();
            continue;
        }
        const std::uint16_t* slot = RingSlotAddress(Ring_ReadCount());
        bool whole = true;
        for (int line = 0; line < 282 && whole; ++line)
            whole = (slot[(line * 2 + 1) * 2] & 0x0FFF) == consumed % 8;
        DecodedLocatorBlock block;
        ReadDecodedLocatorBlock(slot, block);
        whole = whole && block.wandRecord == 1 && block.record[1].stationChar == '2';
        if (!whole && firstBad < 0) firstBad = consumed;
        Ring_ConsumeField();
        ++consumed;
    }
    producer.join();
    EXPECT_EQ(firstBad, -1);
    EXPECT_EQ(consumed, kFields);
    HardwareStatistics stats;
    GetHardwareStatistics(stats);
    EXPECT_EQ(stats.ringOverruns, 0);
    EXPECT_LE(stats.maxFieldsWaiting, 49);
}

}  // namespace
