#include "sim/scenario.h"

#include <gtest/gtest.h>

#include <string>

namespace sim {
namespace {

const char* kMinimal =
    "hardware 2.2.1\n"
    "sphere 0 0 400 50\n"
    "wand 0 0 0 200 0 0 400\n";

TEST(Scenario, DefaultScenarioScansALimbInSweeps) {
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario(DefaultScenarioText(), &s, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(s.hardware, "2.3.1");
  EXPECT_GE(s.presses.size(), 3u);
  EXPECT_TRUE(s.reference.has_value());
  EXPECT_GT(s.duration, 10.0);
  // Every press is a scan press with the wand over the limb.
  for (const Press& p : s.presses) EXPECT_EQ(p.kind, Press::kScan);
}

TEST(Scenario, ReadsEveryKey) {
  const std::string text = std::string(kMinimal) +
                           "serial 700 # comment\n"
                           "unit 2\n"
                           "tracker 1\n"
                           "hemisphere 3\n"
                           "angle-clip 40\n"
                           "line-width 4 40\n"
                           "calibration-version 4\n"
                           "origin open\n"
                           "sample-offset 1 0.25 -3.5\n"
                           "plane 0 0 0 0 0 1\n"
                           "cylinder 0 0 0 1 0 0 30\n"
                           "limb 0 0 0 50 100 0 0 40\n"
                           "stylus 1 0 0 10 0 0 0 15\n"
                           "wand 2 10 0 200 10 0 400\n"
                           "press 0.5 1.5\n"
                           "press 2 3 stylus\n"
                           "press 3.2 3.5 preview\n"
                           "fault 1 1.2 serial 5\n"
                           "fault 1 1.2 tracker-error E second\n"
                           "fault 2 2.5 pause\n"
                           "unplug 4 5\n"
                           "unplug 6\n"
                           "open-busy 2\n"
                           "open-not-found 3\n";
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario(text, &s, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(s.serial, 700u);
  EXPECT_EQ(s.unitVersion, 2);
  EXPECT_EQ(s.trackerSelection, 1);
  EXPECT_EQ(s.hemisphere, 3);
  EXPECT_DOUBLE_EQ(s.angleClip, 40);
  EXPECT_EQ(s.minLineWidth, 4);
  EXPECT_EQ(s.maxLineWidth, 40);
  EXPECT_EQ(s.calibrationVersion, 4);
  EXPECT_EQ(s.origin, Scenario::kOpen);
  EXPECT_DOUBLE_EQ(s.sampleOffset[0].line, 0);
  EXPECT_DOUBLE_EQ(s.sampleOffset[1].line, 0.25);
  EXPECT_DOUBLE_EQ(s.sampleOffset[1].count, -3.5);
  EXPECT_EQ(s.scene.Size(), 4u);
  EXPECT_EQ(s.wand.Keys().size(), 2u);
  EXPECT_DOUBLE_EQ(s.stylus.Keys()[0].roll, 15);
  ASSERT_EQ(s.presses.size(), 3u);
  EXPECT_EQ(s.presses[1].kind, Press::kStylus);
  EXPECT_EQ(s.presses[2].kind, Press::kPreview);
  ASSERT_EQ(s.faults.size(), 3u);
  EXPECT_EQ(s.faults[0].value, 5u);
  EXPECT_EQ(s.faults[1].character, 'E');
  EXPECT_EQ(s.faults[1].port, 1);
  EXPECT_EQ(s.faults[2].kind, Fault::kPause);
  ASSERT_EQ(s.unplugs.size(), 2u);
  EXPECT_EQ(*s.unplugs[0].replug, 5.0);
  EXPECT_FALSE(s.unplugs[1].replug.has_value());
  EXPECT_EQ(s.openBusy, 2);
  EXPECT_EQ(s.openNotFound, 3);
  EXPECT_DOUBLE_EQ(s.duration, 3.5);
  EXPECT_TRUE(s.SecondReceiver());
}

TEST(Scenario, RefusesBadInputWithItsLine) {
  struct Case {
    const char* extra;  // appended after the minimal scenario (lines 1-3)
    int line;           // 0: a whole-scenario check
    const char* message;
  };
  const Case cases[] = {
      {"frobnicate 1\n", 4, "unknown key 'frobnicate'"},
      {"sphere 0 0\n", 4, "missing number"},
      {"sphere 0 0 x 5\n", 4, "bad number 'x'"},
      {"sphere 0 0 0 5 6\n", 4, "unexpected '6'"},
      {"sphere 0 0 0 nan\n", 4, "bad number 'nan'"},
      {"sphere 0 0 0 1e9\n", 4, "bad number '1e9'"},
      {"sphere 0 0 0 -5\n", 4, "radius must be above 0"},
      {"plane 0 0 0 0 0 0\n", 4, "zero normal"},
      {"unit 4\n", 4, "value out of range 0..3"},
      {"unit 1.5\n", 4, "value out of range 0..3"},
      {"hemisphere 7\n", 4, "value out of range 0..6"},
      {"calibration-version 3\n", 4, "value out of range 4..5"},
      {"hardware 2.4.1\n", 4, "hardware '2.4.1' is not simulated"},
      {"hardware 2.2\n", 4, "hardware '2.2' is not simulated"},
      {"hardware 2.2.1x\n", 4, "hardware '2.2.1x' is not simulated"},
      {"hardware 3.1.1\n", 4, "hardware '3.1.1' is not simulated"},
      {"line-width 9 8\n", 4, "minimum above maximum"},
      {"wand 0 1 1 1 2 2 2\n", 4, "key times must increase"},
      {"wand 5 1 1 1 1 1 1\n", 4, "target at the position"},
      {"press 1 2\npress 2.05 3\n", 5, "presses must follow each other 0.1 s apart or more"},
      {"press 2 1\n", 4, "press ends before it starts"},
      {"press -1 1\n", 4, "negative time"},
      {"press 1 2 sideways\n", 4, "press kind must be scan, preview or stylus"},
      {"fault 1 1.05 pause\n", 4, "a pause must last 0.1 s or more"},
      {"fault 1 2 gremlin\n", 4, "unknown fault 'gremlin'"},
      {"fault 1 2 tracker-error EE\n", 4, "error character must be one character"},
      {"fault 1 2 tracker-error E left\n", 4, "port must be wand or second"},
      {"limb 0 0 0 10\n", 4, "a limb needs two joints or more"},
      {"limb 0 0 0 50 10 0 0 5\n", 4, "a joint lies inside its neighbour"},
      {"unplug 5 4\n", 4, "replug before unplug"},
      {"sample-offset 2 0 0\n", 4, "value out of range 0..1"},
      {"sample-offset 0 21 0\n", 4, "sample offset out of range"},
      {"sample-offset 0 0 -101\n", 4, "sample offset out of range"},
      {"serial 1024\n", 0, "serial number too large for this unit"},
      {"press 1 2 stylus\n", 0, "a stylus press needs a stylus path"},
      {"reference 0 0 0 0 0 0\nstylus 0 1 1 1 2 2 2\n", 0, "a reference and a stylus both need port 1"},
      {"unplug 1\nunplug 2 3\n", 0, "unplugs overlap"},
      {"target 0 0 0 0\n", 4, "radius must be above 0"},
      {"wand-sheet 5 0 0 10 0 0 0\n", 4, "the lit point lies too near"},
      {"wait 1\n", 4, "missing word"},
      {"wait 1 a.b\n", 4, "a wait's name has letters, digits, '-' and '_' only"},
      {"wait 1 a\nwait 2 a\n", 5, "two waits named 'a'"},
      {"wait 2 a\nwait 1 b\n", 5, "wait times must increase"},
      {"press 1 2\nwait 1.5 a\n", 0, "the wait 'a' lies inside a press"},
  };
  for (const Case& c : cases) {
    Scenario s;
    ScenarioError e;
    EXPECT_FALSE(ParseScenario(std::string(kMinimal) + c.extra, &s, &e)) << c.extra;
    EXPECT_EQ(e.line, c.line) << c.extra;
    EXPECT_EQ(e.message, c.message) << c.extra;
  }
}

// A wait holds the clock between presses; a target is one more shape; a
// sheet key aims the wand so that the laser fan's middle ray lights the
// given point, wherever the wand stands.
TEST(Scenario, ReadsWaitsTargetsAndSheetKeys) {
  const std::string text = std::string(kMinimal) +
                           "target 0 0 0 6\n"
                           "wand-sheet 2 111 0 30 0 0 0\n"
                           "wand-sheet 3 -60 150 200 0 0 0 20\n"
                           "wait 0.5 first\n"
                           "wait 1.5 second-one\n";
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario(text, &s, &e)) << e.line << ": " << e.message;
  EXPECT_EQ(s.scene.Size(), 2u);
  ASSERT_EQ(s.waits.size(), 2u);
  EXPECT_EQ(s.waits[1].name, "second-one");
  EXPECT_DOUBLE_EQ(s.waits[1].at, 1.5);
  for (double t : {2.0, 3.0}) {
    const Pose pose = s.wand.At(t);
    const Vec3 lit = ApplyInverse(pose, Vec3{0, 0, 0});
    EXPECT_NEAR(lit.y, 0, 1e-6) << t;
    EXPECT_NEAR(lit.z, -4 + 0.03 * (lit.x + 140), 1e-6) << t;
    EXPECT_GT(lit.x, 100) << t;
  }
}

TEST(Scenario, RefusesMissingPartsAndOversizedOrBinaryText) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {"sphere 0 0 400 50\n", "no hardware given"},
      {"hardware 2.2.1\n", "the scene is empty"},
      {"hardware 2.2.1\nsphere 0 0 400 50\npress 1 2\n", "a press needs a wand path"},
      {std::string(kMaxScenarioBytes + 1, '#'), "scenario too large"},
      {std::string("hardware 2.2.1\n\x01\x02\xff\n", 20), "unknown key '\x01\x02\xff'"},
  };
  for (const auto& c : cases) {
    Scenario s;
    ScenarioError e;
    EXPECT_FALSE(ParseScenario(c.text, &s, &e));
    EXPECT_EQ(e.message, c.message);
  }
  Scenario s;
  ScenarioError e;
  EXPECT_FALSE(LoadScenarioFile(std::string(TEST_DATA_DIR) + "no-such.scenario", &s, &e));
}

TEST(Scenario, PortPosesFollowTheReferenceOrTheStylus) {
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario(std::string(kMinimal) + "wand 1 100 0 0 200 0 400\n"
                                                    "reference 0 0 150 0 0 90\n",
                            &s, &e));
  EXPECT_NEAR(s.PortPose(0, 0.5).t.x, 50, 1e-9);
  EXPECT_NEAR(s.PortPose(1, 0.5).t.z, 150, 1e-9);
  EXPECT_NEAR(s.PortPose(1, 0.5).r.ex.y, 1, 1e-9);  // turned 90 degrees about z
}

}  // namespace
}  // namespace sim
