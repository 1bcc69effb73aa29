#include "app/acquisition/tracker_commands.h"

#include <cstring>

#include "acquisition_test_support.h"
#include "app/acquisition/calibration_state.h"
#include "sim/calibration_writer.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/tracker_link.h"

using namespace acquisition_test;

namespace {

using Commands = std::vector<std::string>;

Commands Build(const TrackerCommandInputs& in, TrackerCommandOutcome* outcome = nullptr) {
    return BuildTrackerCommands(in, outcome).Commands();
}

const Commands kCommonHead = {"c"};
const char* const kOutputFormat1 = "O1,0,2,5,6,7\r";
const char* const kOutputFormat2 = "O2,0,2,5,6,7\r";

Commands Concat(std::initializer_list<Commands> parts) {
    Commands all;
    for (const Commands& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Commands kSettings = {"u", "f", "v,1\r", "x,1\r", "y1\r", "e1,0\r"};

TEST(TrackerCommands, EachFixedHemisphereAndAutomatic) {
    const char* const hemispheres[6][2] = {{"H1,+1,0,0\r", "H2,+1,0,0\r"}, {"H1,-1,0,0\r", "H2,-1,0,0\r"},
                                           {"H1,0,+1,0\r", "H2,0,+1,0\r"}, {"H1,0,-1,0\r", "H2,0,-1,0\r"},
                                           {"H1,0,0,+1\r", "H2,0,0,+1\r"}, {"H1,0,0,-1\r", "H2,0,0,-1\r"}};
    for (int setting = 0; setting <= 6; ++setting) {
        SCOPED_TRACE(setting);
        TrackerCommandInputs in;
        in.hemisphereSetting = setting;
        const Commands hemisphere =
            setting < 6 ? Commands{hemispheres[setting][0], hemispheres[setting][1]} : Commands{};
        const Commands expected = Concat({{"c"},
                                          setting == 6 ? Commands{"W"} : Commands{},
                                          {"l2,1\r", kOutputFormat1, kOutputFormat2},
                                          kSettings,
                                          hemisphere,
                                          {"C"}});
        EXPECT_EQ(Build(in), expected);
    }
}

TEST(TrackerCommands, Version1SwapsStationsAndBaseShiftsThem) {
    TrackerCommandInputs in;
    in.hemisphereSetting = 3;
    in.unitVersion = 1;
    EXPECT_EQ(
        Build(in),
        Concat({{"c", "l1,1\r", "O3,0,2,5,6,7\r", "O1,0,2,5,6,7\r"}, kSettings, {"H3,0,-1,0\r", "H1,0,-1,0\r", "C"}}));
    in.unitVersion = 2;
    in.trackerSelection = 1;
    EXPECT_EQ(
        Build(in),
        Concat({{"c", "l3,1\r", "O2,0,2,5,6,7\r", "O3,0,2,5,6,7\r"}, kSettings, {"H2,0,-1,0\r", "H3,0,-1,0\r", "C"}}));
}

TEST(TrackerCommands, SynchronisationWithNormalLayout) {
    const std::vector<float> block = ExampleTrackerSetupBlock();  // 0.5 + 0.25 i
    TrackerCommandInputs in;
    in.syncSupported = true;
    in.frequencyBlock = block.data();
    TrackerCommandOutcome outcome;
    const Commands expected =
        Concat({{"c", "W", "l2,1\r", "T81,0\r", "T84,0\r", "T86,0\r", kOutputFormat1, kOutputFormat2},
                kSettings,
                {"j2,,1,0.5,0.75,1,1.25,1.5,1.75,2,2.25,2.5\r", "n2,,1,9.5,9.75,10\r",
                 "j2,,2,2.75,3,3.25,3.5,3.75,4,4.25,4.5,4.75\r", "n2,,2,10.25,10.5,10.75\r",
                 "j2,,4,7.25,7.5,7.75,8,8.25,8.5,8.75,9,9.25\r", "n2,,4,11.75,12,12.25\r",
                 "j2,,3,5,5.25,5.5,5.75,6,6.25,6.5,6.75,7\r", "n2,,3,11,11.25,11.5\r",
                 "k2,,12.5,12.75,13,13.25,13.5,13.75,14,14.25,14.5\r", "C"}});
    EXPECT_EQ(Build(in, &outcome), expected);
    EXPECT_TRUE(outcome.syncSent);
    EXPECT_FALSE(outcome.frequencyMissing);

    in.syncSupported = false;
    EXPECT_EQ(Build(in, &outcome), Concat({{"c", "W", "l2,1\r", kOutputFormat1, kOutputFormat2}, kSettings, {"C"}}));
    EXPECT_FALSE(outcome.syncSent);
}

TEST(TrackerCommands, MissingFrequencySkipsItsCommands) {
    std::vector<float> block = ExampleTrackerSetupBlock();
    block[2 * 9] = 0.0f;  // frequency 3 (entry 2) has no calibration
    TrackerCommandInputs in;
    in.hemisphereSetting = 0;
    in.syncSupported = true;
    in.frequencyBlock = block.data();
    TrackerCommandOutcome outcome;
    const Commands commands = Build(in, &outcome);
    for (const std::string& command : commands) {
        EXPECT_NE(command.rfind("j2,,3", 0), 0u) << command;
        EXPECT_NE(command.rfind("n2,,3", 0), 0u) << command;
    }
    EXPECT_EQ(commands.size(), 23u);
    EXPECT_TRUE(outcome.frequencyMissing);
    EXPECT_EQ(outcome.unsupportedText,
              "This Wand can only be used with a Processing Unit operating at one of the following frequencies:"
              "\n1 (Black, 8kHz)\n2 (Red, 10kHz)\n4 (Blue, 14kHz)");
}

TEST(TrackerCommands, SynchronisationWithAlternativeLayout) {
    const std::vector<float> block = ExampleTrackerSetupBlock();
    TrackerCommandInputs in;
    in.hemisphereSetting = 0;
    in.syncSupported = true;
    in.alternativeLayout = true;
    in.frequencyBlock = block.data();
    EXPECT_EQ(Build(in),
              Concat({{"c", "l2,1\r", "T85,0\r", "T87,0\r", kOutputFormat1, kOutputFormat2},
                      kSettings,
                      {"H1,+1,0,0\r", "H2,+1,0,0\r", "J1,,1,0.5,0.75,1,1.25,1.5,1.75,2,2.25,2.5\r",
                       "J1,,2,2.75,3,3.25,3.5,3.75,4,4.25,4.5,4.75\r", "J1,,3,5,5.25,5.5,5.75,6,6.25,6.5,6.75,7\r",
                       "J1,,4,7.25,7.5,7.75,8,8.25,8.5,8.75,9,9.25\r",
                       "K1,,9.5,9.75,10,10.25,10.5,10.75,11,11.25,11.5\r", "M1,11.75,12,12.25,12.5,12.75,13\r", "C"}}));
}

TEST(TrackerCommands, AlternativeLists) {
    TrackerCommandInputs in;
    in.syncSupported = true;
    in.alternativeList = 1;
    const Commands first = {"P", "O2,0,2,6\r", "O1,0,2,6\r", "U1\r", "F1\r", "Y,1\r", "X,1\r", "L1,0\r", "C\r"};
    EXPECT_EQ(Build(in), first);
    in.alternativeList = 2;
    Commands second = first;
    second.insert(second.end() - 1, "Z1\r");
    EXPECT_EQ(Build(in), second);
}

TEST(TrackerCommandList, LimitsCountAndLength) {
    TrackerCommandList list;
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(list.Add("c"));
    EXPECT_FALSE(list.Add("c"));
    EXPECT_EQ(list.Count(), 100u);
    TrackerCommandList longOne;
    longOne.Add(std::string(2000, 'x'));
    EXPECT_EQ(longOne[0].size(), 1023u);
}

// Decoded blocks from constructed poses. Positions are given in millimetres.
DecodedLocatorBlock Block(const Vec3& wandPosition, const float wandXAxis[3], const Vec3& referencePosition,
                          const float referenceXAxis[3]) {
    DecodedLocatorBlock block;
    std::memset(&block, 0, sizeof block);
    block.wandRecord = 1;
    block.referenceRecord = 0;
    const auto setPose = [](Matrix4& pose, const Vec3& position, const float xAxis[3]) {
        M4_Identity(pose);
        for (int i = 0; i < 3; ++i) pose[i] = xAxis[i];
        pose[12] = position.x;
        pose[13] = position.y;
        pose[14] = position.z;
    };
    setPose(block.record[1].pose, wandPosition, wandXAxis);
    setPose(block.record[0].pose, referencePosition, referenceXAxis);
    return block;
}

const float kAlongX[3] = {1, 0, 0};
const float kAgainstZ[3] = {0, 0, -1};
const float kNone[3] = {0, 0, 0};

TEST(HemisphereCommands, VectorChoiceOnConstructedPoses) {
    struct Case {
        const char* name;
        DecodedLocatorBlock block;
        bool stylus;
        TrackerCommandInputs inputs;
        bool built;
        Commands expected;
    };
    TrackerCommandInputs normal;
    TrackerCommandInputs noReference;
    noReference.referenceOption = false;
    TrackerCommandInputs alternativeV1;
    alternativeV1.unitVersion = 1;
    alternativeV1.alternativeLayout = true;
    TrackerCommandInputs alternativeList = normal;
    alternativeList.alternativeList = 1;

    // Wand at x = 100 looking along +x, reference at (300, 50, 0): both signs
    // of the wand position reach the reference at the same distance; the
    // first candidate (wand negated) is kept.
    const DecodedLocatorBlock wandAhead = Block({100, 0, 0}, kAlongX, {300, 50, 0}, kAlongX);
    const Case cases[] = {
        {"wand, tie keeps the earlier candidate",
         wandAhead,
         false,
         normal,
         true,
         {"c", "H1,+0.99,+0.16,+0.00\r", "H1,0,0,0\r", "H2,-1.00,-0.00,-0.00\r", "H2,0,0,0\r", "C"}},
        {"wand without the reference station",
         wandAhead,
         false,
         noReference,
         true,
         {"c", "H2,-1.00,-0.00,-0.00\r", "H2,0,0,0\r", "C"}},
        {"wand with an alternative list",
         wandAhead,
         false,
         alternativeList,
         true,
         {"P", "H1,+0.99,+0.16,+0.00\r", "H1,0,0,0\r", "H2,-1.00,-0.00,-0.00\r", "H2,0,0,0\r", "C\r"}},
        {"version 1 with the alternative layout: fixed wand, st1 is 1",
         wandAhead,
         false,
         alternativeV1,
         true,
         {"c", "H1,+0.99,+0.16,+0.00\r", "H1,0,0,0\r", "C"}},
        {"reference behind the wand: the negated reference wins",
         Block({100, 0, 0}, kAlongX, {-300, 0, 40}, kAlongX),
         false,
         normal,
         true,
         {"c", "H1,+0.99,-0.00,-0.13\r", "H1,0,0,0\r", "H2,-1.00,-0.00,-0.00\r", "H2,0,0,0\r", "C"}},
        {"stylus",
         Block({0, 0, 0}, kAlongX, {0, 0, 200}, kAgainstZ),
         true,
         normal,
         true,
         {"c", "H1,+0.00,+0.00,+1.00\r", "H1,0,0,0\r", "H2,0,0,0\r", "C"}},
        {"no candidate with t > 0 sends nothing",
         Block({100, 0, 0}, kNone, {300, 50, 0}, kAlongX),
         false,
         normal,
         false,
         {}},
        {"stylus without a direction sends nothing",
         Block({0, 0, 0}, kAlongX, {0, 0, 200}, kNone),
         true,
         normal,
         false,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrackerCommandList list;
        EXPECT_EQ(BuildHemisphereCommands(c.block, c.stylus, c.inputs, list), c.built);
        EXPECT_EQ(list.Commands(), c.expected);
    }
}

class TrackerLink : public AcquisitionFixture {
  protected:
    void TearDown() override {
        BeginCalibrationLoad();
        InstallCalibration(CalibrationData());
        CheckTrackerSetupMark(HardwareModel());
        AcquisitionFixture::TearDown();
    }

    void InstallVersion5(const std::vector<float>& trackerSetup, std::int32_t minor, std::int32_t revision) {
        CalibrationFileParameters p;
        p.header.versionMinor = minor;
        p.header.versionRevision = revision;
        p.trackerSetup = trackerSetup;
        CalibrationData data;
        data.model = MakeHardwareModel(*FindHardwareVersion(2, minor, revision, 1));
        data.hasTrackerSetup = !trackerSetup.empty() && data.model.trackerSetupProperty;
        for (std::size_t i = 0; data.hasTrackerSetup && i < trackerSetup.size(); ++i)
            data.trackerSetup[i] = trackerSetup[i];
        InstallCalibration(std::move(data));
    }
};

TEST_F(TrackerLink, UnsupportedFrequencyTextIsACopyTheHandlerTakesOver) {
    std::vector<float> block = ExampleTrackerSetupBlock();
    block[2 * 9] = 0.0f;
    InstallVersion5(block, 2, 1);
    const Commands commands = BuildTrackerCommandsForHardware().Commands();
    EXPECT_EQ(commands[3], "T81,0\r");
    EXPECT_TRUE(TrackerSynchronisationSent());
    ASSERT_EQ(RecordedEvents().size(), 1u);
    EXPECT_EQ(RecordedEvents()[0].first, Hardware_UNSUPPORTED_FREQUENCY);
    // Building again (another coming on line) posts a copy of its own: the
    // handler of the first may already have freed its text.
    BuildTrackerCommandsForHardware();
    ASSERT_EQ(RecordedEvents().size(), 2u);
    EXPECT_NE(RecordedEvents()[1].second, RecordedEvents()[0].second);
    const std::string first = HwEvent_TakeOwnedText(RecordedEvents()[0].second);
    EXPECT_EQ(HwEvent_TakeOwnedText(RecordedEvents()[1].second), first);
    EXPECT_NE(first.find("\n4 (Blue, 14kHz)"), std::string::npos);

    // The tracker now holds a set-up: hardware without the property refuses
    // to start once, then starts.
    HardwareModel without = MakeHardwareModel(*FindHardwareVersion(2, 1, 1, 1));
    EXPECT_EQ(CheckTrackerSetupMark(without), 14);
    EXPECT_EQ(CheckTrackerSetupMark(without), 1);
}

TEST_F(TrackerLink, NoSynchronisationWithoutTheFrequencyBlock) {
    InstallVersion5({}, 2, 1);
    const Commands commands = BuildTrackerCommandsForHardware().Commands();
    for (const std::string& command : commands) EXPECT_NE(command[0], 'T') << command;
    EXPECT_FALSE(TrackerSynchronisationSent());
    EXPECT_TRUE(RecordedEvents().empty());
}

TEST_F(TrackerLink, HemisphereStepSendsOnlyForAStartedStation) {
    FieldParameters field = WandField(1);
    field.records[1].position[0] = 10.0f;  // wand at x = 100 mm
    field.records[0].position[0] = 30.0f;
    field.records[0].position[1] = 5.0f;
    LoadFieldIntoSlot(GenerateField(field), RingSlotAddress(Ring_WriteCount()));
    ASSERT_NE(DecodeLocatorBlock(RingSlotAddress(Ring_WriteCount())), 0);
    FieldCheckContext context;
    FieldCheckContext_Init(context, 0);
    context.lastDecoded = 1;

    Commands sent;
    const auto send = [&](const TrackerCommandList& list) {
        sent = list.Commands();
        return true;
    };
    EXPECT_EQ(SetHemisphereCommand(context, send), 1);
    EXPECT_TRUE(sent.empty());  // state none

    StoreWandTrackingState(TrackingState_STARTED);
    EXPECT_EQ(SetHemisphereCommand(context, send), 1);
    EXPECT_EQ(sent,
              (Commands{"c", "H1,+0.99,+0.16,+0.00\r", "H1,0,0,0\r", "H2,-1.00,-0.00,-0.00\r", "H2,0,0,0\r", "C"}));

    EXPECT_EQ(SetHemisphereCommand(context, [](const TrackerCommandList&) { return false; }), 0);

    sent.clear();
    context.lastDecoded = 0;
    EXPECT_EQ(SetHemisphereCommand(context, send), 1);
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(TraceHas("SetHemisphereCommand: last field not decoded, nothing sent\n"));
    EXPECT_EQ(GetWandTrackingState(), TrackingState_STARTED);

    SetHemisphereSetting(2);
    StoreWandTrackingState(TrackingState_STARTED);
    context.lastDecoded = 1;
    EXPECT_EQ(SetHemisphereCommand(context, send), 1);
    EXPECT_TRUE(sent.empty());
}

}  // namespace
