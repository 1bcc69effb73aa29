#include "sim/setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/acquisition/calibration_file.h"
#include "app/acquisition/tracker_commands.h"
#include "app/files/config_file.h"
#include "sim/calibration_model.h"
#include "sim/hardware.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

Scenario Parse(const std::string& text) {
  Scenario s;
  ScenarioError e;
  EXPECT_TRUE(ParseScenario(text, &s, &e)) << e.line << ": " << e.message;
  return s;
}

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("sim_setup_test_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SetupTest, TheProgramLoadsTheCalibrationFileWithTheSimulatorsTable) {
  const struct {
    const char* hardware;
    int version;
    bool setupBlock;
  } cases[] = {{"2.3.1", 5, true}, {"2.2.1", 4, false}, {"1.1.1", 5, false}, {"2.1.1", 4, false}};
  for (const auto& c : cases) {
    const Scenario s = Parse(std::string("hardware ") + c.hardware + "\ncalibration-version " +
                             std::to_string(c.version) + "\nserial 321\nsphere 0 0 400 50\n");
    const fs::path cfg = dir_ / "Simulated.cfg";
    std::string error;
    ASSERT_TRUE(WriteSetup(s, cfg.string(), (dir_ / "Tolvaran.rsc").string(), &error)) << error;
    CalibrationData data;
    ASSERT_EQ(LoadCalibrationFile(cfg.string(), data), Calibration_STARTED) << c.hardware;
    EXPECT_EQ(data.fileVersion, c.version);
    EXPECT_EQ(data.header.WandSerialNumber, 321u);
    EXPECT_EQ(data.model.versionText, c.hardware);
    EXPECT_FALSE(data.blank);
    EXPECT_EQ(data.table, CalibrationModel::BuildTable(FindHardware(c.hardware)->channelCount))
        << "no pruning";
    EXPECT_EQ(data.hasTrackerSetup, c.setupBlock) << c.hardware;
    if (c.setupBlock) {
      // Every frequency carries calibration: no unsupported-frequency event.
      TrackerCommandInputs inputs;
      inputs.syncSupported = true;
      inputs.frequencyBlock = data.trackerSetup.data();
      TrackerCommandOutcome outcome;
      BuildTrackerCommands(inputs, &outcome);
      EXPECT_FALSE(outcome.frequencyMissing);
    }
  }
}

TEST_F(SetupTest, RscKeepsOtherLinesAndTheProgramReadsTheUnitsSettings) {
  const fs::path rsc = dir_ / "Tolvaran.rsc";
  std::ofstream(rsc, std::ios::binary)
      << "General.ExportFileType STL\r\nHemisphere 6\n  MaxLaserLineWidth 9\n# Settings of the simulated scanner unit\r\n";
  const Scenario s = Parse("hardware 2.2.1\ntracker 2\nhemisphere 5\nline-width 6 40\nsphere 0 0 400 50\n");
  std::string error;
  ASSERT_TRUE(WriteSetup(s, (dir_ / "a.cfg").string(), rsc.string(), &error)) << error;
  ConfigFile* file = ConfigFile_Load(rsc.string().c_str());
  ASSERT_NE(file, nullptr);
  const struct {
    const char* key;
    int value;
  } expected[] = {{"Hemisphere", 5}, {"RxIndexOffset", 2}, {"MinLaserLineWidth", 6}, {"MaxLaserLineWidth", 40}};
  for (const auto& e : expected) {
    const ConfigEntry* entry = ConfigFile_Find(file, e.key);
    ASSERT_NE(entry, nullptr) << e.key;
    EXPECT_TRUE(entry->isInteger);
    EXPECT_EQ(entry->intValue, e.value) << e.key;
  }
  const ConfigEntry* kept = ConfigFile_Find(file, "General.ExportFileType");
  ASSERT_NE(kept, nullptr);
  EXPECT_STREQ(kept->text, "STL");
  ConfigFile_Free(file);
  const std::string text = Read(rsc);
  EXPECT_EQ(text.find("Hemisphere 6"), std::string::npos);
  EXPECT_EQ(text.find("# Settings"), text.rfind("# Settings")) << "one heading after a rewrite";
}

TEST_F(SetupTest, AFailedWriteLeavesTheRscAsItWas) {
  const fs::path rsc = dir_ / "Tolvaran.rsc";
  std::ofstream(rsc, std::ios::binary) << "Hemisphere 6\n";
  const Scenario s = Parse("hardware 2.2.1\nsphere 0 0 400 50\n");
  std::string error;
  EXPECT_FALSE(WriteSetup(s, (dir_ / "missing" / "a.cfg").string(), rsc.string(), &error));
  EXPECT_NE(error.find("a.cfg"), std::string::npos);
  EXPECT_EQ(Read(rsc), "Hemisphere 6\n");
}

TEST(Setup, RegistryTextNamesTheUnitVersionAndAngleClip) {
  const Scenario s = Parse("hardware 2.2.1\nunit 3\nangle-clip 42.5\nsphere 0 0 400 50\n");
  const std::string text = RegistrySettingsText(s, "Simulated.cfg");
  EXPECT_NE(text.find("VideoProcessorRevision = 3\n"), std::string::npos);
  EXPECT_NE(text.find("AngleClip = 42.5\n"), std::string::npos);
  EXPECT_NE(text.find("HardwareConfigFilename = Simulated.cfg\n"), std::string::npos);
}

TEST(Setup, WarnsOfSensorsOutsideTheHemisphereAndOfANarrowCone) {
  Scenario s;
  ScenarioError e;
  ASSERT_TRUE(ParseScenario(DefaultScenarioText(), &s, &e));
  EXPECT_TRUE(CheckScenario(s).empty());
  const Scenario bad = Parse(
      "hardware 2.2.1\nhemisphere 4\nangle-clip 20\nsphere 0 0 400 50\n"
      "reference 0 0 100 0 0 0\n"
      "wand 0 0 0 100 0 0 400\nwand 2 0 0 -100 0 0 400\npress 0.5 1.9\n");
  const auto warnings = CheckScenario(bad);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_NE(warnings[0].find("the wand leaves hemisphere 4 at 1.00 s"), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[1].find("angle clip of 20"), std::string::npos);
  // The automatic set-up follows the sensors wherever they go.
  const Scenario automatic = Parse(
      "hardware 2.2.1\nhemisphere 6\nsphere 0 0 400 50\nreference 0 0 100 0 0 0\n"
      "wand 0 0 0 100 0 0 400\nwand 2 0 0 -100 0 0 400\npress 0.5 1.9\n");
  EXPECT_TRUE(CheckScenario(automatic).empty());
  EXPECT_EQ(RscSettings(automatic)[0], "Hemisphere 6");
}

}  // namespace
}  // namespace sim
