#include "app/acquisition/process_field.h"

#include <functional>

#include "app/acquisition/field_format.h"
#include "acquisition_test_support.h"

using namespace acquisition_test;

namespace {

constexpr std::uint32_t kSerial = 345;

struct Capture {
    std::vector<FieldParameters> fields;
    std::function<void()> before = {};  // runs before the capture starts
};

struct Expected {
    std::int32_t fieldErrors = 0;
    std::int32_t locatorFraming = 0;
    std::int32_t locatorDecoding = 0;
    std::int32_t overruns = 0;
    std::int32_t maxWaiting = -1;  // -1: not checked
};

struct Scenario {
    const char* name;
    std::function<void()> setup;
    std::vector<Capture> captures;
    std::vector<Event> events;
    Expected statistics;
};

std::vector<FieldParameters> Repeat(const FieldParameters& field, int count) {
    return std::vector<FieldParameters>(static_cast<std::size_t>(count), field);
}

std::vector<FieldParameters> WithChange(int count, int index, const std::function<void(FieldParameters&)>& change,
                                        const FieldParameters& base = WandField(kSerial)) {
    std::vector<FieldParameters> fields = Repeat(base, count);
    change(fields[static_cast<std::size_t>(index)]);
    return fields;
}

Event New(std::intptr_t published) { return {Hardware_NEW_FIELD_READY, published}; }
Event Recoverable(std::intptr_t kind) { return {Hardware_RECOVERABLE_ERROR, kind}; }

class ProcessFieldScenarios : public AcquisitionFixture {
protected:
    // Runs the captures as the acquisition loop does: the counts are reset at
    // the start of each, every result is passed on as `ok` of the next call.
    void Run(const std::vector<Capture>& captures) {
        FieldCheckContext context;
        FieldCheckContext_Init(context, GetProcessingUnitVersion());
        for (const Capture& capture : captures) {
            if (capture.before) capture.before();
            FieldCheckContext_StartCapture(context);
            std::int32_t ok = 1;
            for (std::size_t i = 0; i < capture.fields.size(); ++i) {
                LoadFieldIntoSlot(GenerateField(capture.fields[i]), RingSlotAddress(Ring_WriteCount()));
                ok = ProcessField(ok, i == 0, context);
            }
        }
    }
};

TEST_F(ProcessFieldScenarios, Table) {
    const auto fixedHemisphere = [] {
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(4);
    };
    const auto automaticHemisphere = [] {
        SetExpectedSerialNumber(kSerial);
        SetHemisphereSetting(kHemisphereAutomatic);
    };
    const FieldParameters wand = WandField(kSerial);
    const FieldParameters stylus = StylusField(kSerial);
    FieldParameters stylusOtherSerial = StylusField(kSerial + 1);
    FieldParameters swapped = wand;
    std::swap(swapped.records[0], swapped.records[1]);
    FieldParameters wandTwice = wand;
    wandTwice.records[0].station = wand.records[1].station;
    FieldParameters referenceTwice = wand;
    referenceTwice.records[1].station = wand.records[0].station;
    FieldParameters unknownStation = wand;
    unknownStation.records[1].station = 'x';
    FieldParameters badRecordType = stylusOtherSerial;
    badRecordType.records[0].type = '1';

    const Scenario scenarios[] = {
        {"good wand capture", fixedHemisphere, {{Repeat(wand, 3)}}, {New(1), New(2), New(3)}, {0, 0, 0, 0, 3}},
        {"start of video broken on the first field drops the capture",
         fixedHemisphere,
         {{WithChange(3, 0, [](FieldParameters& f) { f.breakStartOfVideo = true; })}},
         {Recoverable(1)},
         {1, 0, 0, 0, 0}},
        {"end of video broken on the second field",
         fixedHemisphere,
         {{WithChange(3, 1, [](FieldParameters& f) { f.breakEndOfVideo = true; })}},
         {New(1), Recoverable(1)},
         {1, 0, 0, 0, 1}},
        {"start of status broken",
         fixedHemisphere,
         {{WithChange(2, 1, [](FieldParameters& f) { f.breakStartOfStatus = true; })}},
         {New(1), Recoverable(1)},
         {1}},
        {"end of status with only bit 7",
         fixedHemisphere,
         {{WithChange(2, 1, [](FieldParameters& f) { f.lastStatusWord = 0x0080; })}},
         {New(1), Recoverable(1)},
         {1}},
        {"end of status with bits 7 and 15 passes",
         fixedHemisphere,
         {{WithChange(2, 1, [](FieldParameters& f) { f.lastStatusWord = 0x8081; })}},
         {New(1), New(2)},
         {0}},
        {"version mismatch on the first field",
         fixedHemisphere,
         {{WithChange(2, 0, [](FieldParameters& f) { f.unitVersion = 2; })}},
         {{Hardware_PU_VERSION_MISMATCH, 2}},
         {0}},
        {"version mismatch on a later field",
         fixedHemisphere,
         {{WithChange(3, 1, [](FieldParameters& f) { f.unitVersion = 2; })}},
         {New(1), Recoverable(1)},
         {1}},
        {"serial mismatch on the first field",
         fixedHemisphere,
         {{Repeat(WandField(77), 2)}},
         {{Hardware_SERIAL_NUMBER_MISMATCH, 77}},
         {0}},
        {"serial 0 on the first field is recoverable",
         fixedHemisphere,
         {{Repeat(WandField(0), 2)}},
         {Recoverable(1)},
         {1}},
        {"serial mismatch on a later field",
         fixedHemisphere,
         {{WithChange(3, 2, [](FieldParameters& f) { f.serial = 77; })}},
         {New(1), New(2), Recoverable(1)},
         {1}},
        {"16-bit serial of a version 2 unit",
         [] {
             SetExpectedSerialNumber(54321);
             SetProcessingUnitVersion(2);
             SetHemisphereSetting(0);
         },
         {{Repeat(WandField(54321, 2), 2)}, {Repeat(WandField(54320, 2), 1)}},
         {New(1), New(2), {Hardware_SERIAL_NUMBER_MISMATCH, 54320}},
         {0}},
        {"stylus capture skips the serial check",
         fixedHemisphere,
         {{Repeat(stylusOtherSerial, 2)}},
         {New(1), New(2)},
         {0}},
        {"wand capture after a stylus capture checks its serial",
         fixedHemisphere,
         {{Repeat(stylus, 1)}, {Repeat(WandField(77), 1)}},
         {New(1), {Hardware_SERIAL_NUMBER_MISMATCH, 77}},
         {0}},
        {"stylus capture after a wand capture skips the serial check",
         fixedHemisphere,
         {{Repeat(wand, 1)}, {Repeat(stylusOtherSerial, 1)}},
         {New(1), New(1)},
         {0}},
        {"later fields take the capture's station",
         fixedHemisphere,
         {{{stylus, WandField(77), WandField(78)}}},
         {New(1), New(2), New(3)},
         {0}},
        {"stylus capture still checks the locator framing",
         fixedHemisphere,
         {{Repeat(badRecordType, 2)}},
         {Recoverable(2)},
         {0, 1, 0}},
        {"unknown station character fails the locator framing",
         fixedHemisphere,
         {{Repeat(unknownStation, 1)}},
         {Recoverable(2)},
         {0, 1, 0}},
        {"stations in swapped order", fixedHemisphere, {{Repeat(swapped, 1)}}, {New(1)}, {0}},
        {"reference station twice fails decoding",
         fixedHemisphere,
         {{Repeat(referenceTwice, 2)}},
         {Recoverable(3)},
         {0, 0, 1}},
        {"wand station twice fails with the reference option",
         fixedHemisphere,
         {{Repeat(wandTwice, 1)}},
         {Recoverable(3)},
         {0, 0, 1}},
        {"wand station twice without the reference option",
         [&] {
             fixedHemisphere();
             SetWandReferenceOption(0);
         },
         {{Repeat(wandTwice, 1)}},
         {New(1)},
         {0}},
        {"wand station twice where the firmware allows it",
         [&] {
             fixedHemisphere();
             SetFirmwareAllowsStationTwice(true);
         },
         {{Repeat(wandTwice, 1)}},
         {New(1)},
         {0}},
        {"version 1 swaps the stations to 3 and 1",
         [] {
             SetExpectedSerialNumber(kSerial);
             SetProcessingUnitVersion(1);
             SetHemisphereSetting(0);
         },
         {{Repeat(WandField(kSerial, 1), 1)}, {Repeat(WandField(kSerial, 0), 1)}},
         {New(1), {Hardware_PU_VERSION_MISMATCH, 0}},
         {0}},
        {"tracker base 2 gives stations 3 and 4",
         [&] {
             fixedHemisphere();
             SetTrackerSelection(2);
         },
         {{Repeat(WandField(kSerial, 0, 2), 1)}, {Repeat(wand, 1)}},
         {New(1), Recoverable(2)},
         {0, 1, 0}},
        {"wand hemisphere hold across captures",
         automaticHemisphere,
         {{Repeat(wand, 2)}, {Repeat(wand, 2)}, {Repeat(wand, 2), [] { HemisphereSetupDone(); }}},
         {{Hardware_HEMISPHERE_SETUP_REQUIRED, 0}, New(1), New(2)},
         {0}},
        {"stylus hemisphere hold: request, then started, publishes nothing",
         automaticHemisphere,
         {{Repeat(stylus, 2)}, {Repeat(stylus, 2)}},
         {{Hardware_HEMISPHERE_SETUP_REQUIRED, 1}},
         {0}},
        {"a signalled stylus holds back wand captures too",
         automaticHemisphere,
         {{Repeat(stylus, 1)}, {Repeat(wand, 1)}},
         {{Hardware_HEMISPHERE_SETUP_REQUIRED, 1}},
         {0}},
        {"ring full at 49 waiting drops the rest of the capture",
         fixedHemisphere,
         {{Repeat(wand, 53)}},
         {},  // filled below
         {0, 0, 0, 1, 49}},
    };

    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        SetUp();
        scenario.setup();
        RecordedEvents().clear();
        Run(scenario.captures);

        std::vector<Event> expected = scenario.events;
        if (scenario.captures.size() == 1 && scenario.captures[0].fields.size() == 53) {
            for (int i = 1; i <= 49; ++i) expected.push_back(New(i));
            expected.push_back(Recoverable(4));
        }
        EXPECT_EQ(RecordedEvents(), expected);

        HardwareStatistics stats;
        GetHardwareStatistics(stats);
        EXPECT_EQ(stats.fieldErrors, scenario.statistics.fieldErrors);
        EXPECT_EQ(stats.locatorFramingErrors, scenario.statistics.locatorFraming);
        EXPECT_EQ(stats.locatorDecodingErrors, scenario.statistics.locatorDecoding);
        EXPECT_EQ(stats.ringOverruns, scenario.statistics.overruns);
        if (scenario.statistics.maxWaiting >= 0) {
            EXPECT_EQ(stats.maxFieldsWaiting, scenario.statistics.maxWaiting);
        }
        TearDown();
    }
}

TEST_F(ProcessFieldScenarios, HemisphereStatesAndTraces) {
    SetExpectedSerialNumber(kSerial);
    Run({{Repeat(WandField(kSerial), 1)}});
    EXPECT_EQ(GetWandTrackingState(), TrackingState_SIGNALLED);
    EXPECT_TRUE(TraceHas("ProcessField: TrackingState -> SIGNALLED\n"));
    EXPECT_EQ(HemisphereSetupDone(), 0);  // not started yet

    Run({{Repeat(WandField(kSerial), 2)}});
    EXPECT_EQ(GetWandTrackingState(), TrackingState_STARTED);
    EXPECT_TRUE(TraceHas("ProcessField: TrackingState -> STARTED\n"));
    Run({{Repeat(WandField(kSerial), 1)}});
    EXPECT_TRUE(TraceHas("ProcessField: TrackingState == STARTED\n"));
    EXPECT_EQ(Ring_WriteCount(), 0);

    EXPECT_NE(HemisphereSetupDone(), 0);
    EXPECT_EQ(GetWandTrackingState(), TrackingState_INITIALISED);
    EXPECT_TRUE(TraceHas("HemisphereSetupDone: TrackingState -> INITIALISED\n"));
    EXPECT_NE(HemisphereSetupDone(), 0);
    EXPECT_TRUE(TraceHas("HemisphereSetupDone: Extra call\n"));

    // A change of setting starts the set-up over.
    SetHemisphereSetting(kHemisphereAutomatic);
    EXPECT_EQ(GetWandTrackingState(), TrackingState_NONE);
}

TEST_F(ProcessFieldScenarios, FailuresAreTracedWithTheFieldNumber) {
    SetExpectedSerialNumber(kSerial);
    SetHemisphereSetting(0);
    Run({{WithChange(3, 2, [](FieldParameters& f) { f.serial = 3; })}});
    EXPECT_TRUE(TraceHas("ProcessField[3]: serial number error\n"));
    Ring_ResetCounts();
    Run({{WithChange(2, 0, [](FieldParameters& f) { f.breakEndOfVideo = true; })}});
    EXPECT_TRUE(TraceHas("FieldFramingOk: error at end of video (word 1127: 0x8000)\n"));
    EXPECT_TRUE(TraceHas("ProcessField[1]: field framing error\n"));
}

TEST_F(ProcessFieldScenarios, PublishedFieldCarriesTheCaptureStation) {
    SetExpectedSerialNumber(kSerial);
    SetHemisphereSetting(0);
    Run({{{StylusField(kSerial), WandField(kSerial)}}});
    ASSERT_EQ(Ring_WriteCount(), 2);
    EXPECT_EQ(ReadSlotStylusFlag(RingSlotAddress(0)), 1);
    EXPECT_EQ(ReadSlotStylusFlag(RingSlotAddress(1)), 1);
}

TEST_F(ProcessFieldScenarios, VersionMismatchReportsTheVersionFound) {
    SetExpectedSerialNumber(kSerial);
    SetHemisphereSetting(0);
    FieldCheckContext context;
    FieldCheckContext_Init(context, 0);
    LoadFieldIntoSlot(GenerateField(WandField(kSerial, 3)), RingSlotAddress(0));
    EXPECT_EQ(ProcessField(1, 1, context), 0);
    EXPECT_EQ(context.unitVersion, 3);
    EXPECT_EQ(context.fieldCount, 1);
    EXPECT_EQ(context.publishedCount, 0);
}

}  // namespace
