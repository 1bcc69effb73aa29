// End to end: the simulated unit streams a moving wand's fields; the
// program's field checks publish them and its profile building turns them,
// with the simulator's calibration file, into points that lie on the scene's
// surface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/tests/acquisition_test_support.h"
#include "app/acquisition/alignment_check.h"
#include "app/acquisition/calibration_correction.h"
#include "app/acquisition/calibration_state.h"
#include "app/acquisition/capture_acceptance.h"
#include "sim/field_generator.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_events.h"
#include "app/acquisition/hardware_trace.h"
#include "app/acquisition/process_field.h"
#include "app/acquisition/profile_build.h"
#include "app/acquisition/tracker_commands.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/scan/raw_data.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "sim/calibration_model.h"
#include "sim/chip_library.h"
#include "sim/device_core.h"
#include "sim/hardware.h"
#include "sim/processing_unit.h"
#include "sim/scenario_settings.h"
#include "sim/setup.h"

namespace sim {
namespace {

namespace fs = std::filesystem;
using namespace usb_chip;

// Largest distance along a fan ray per count (channel 1's 0.45 mm).
constexpr double kMmPerCount = 0.45;
// The farthest calibrated point from the wand's receiver, mm.
constexpr double kReach = 500;

void IgnoreEvent(std::int32_t, std::intptr_t) {}
void IgnoreTrace(const char*) {}

Pose ToPose(const Matrix4& m) {
  return {{{m[0], m[1], m[2]}, {m[4], m[5], m[6]}, {m[8], m[9], m[10]}}, {m[12], m[13], m[14]}};
}

// The program's side: calibration and settings from the simulator's set-up,
// the field checks and profile building over one ring.
class ProgramFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace();
    dir_ = scratch_->Path();
    ring_.emplace(IgnoreEvent, IgnoreTrace);
  }
  void TearDown() override {
    RawData_ClearProfile(profile_);
    ring_.reset();
    ResetAcquisitionSettings();
    scratch_.reset();
  }

  // Writes the set-up as the set-up tool does and starts the program's side
  // with it.
  void StartProgram(const Scenario& s) {
    std::string failure;
    const fs::path cfg = dir_ / kDefaultCalibrationName;
    ASSERT_TRUE(WriteSetup(s, cfg.string(), (dir_ / "Tolvaran.rsc").string(), &failure)) << failure;
    ASSERT_EQ(LoadCalibration(cfg.string()), 1);
    ApplyScenarioSettings(s, context_);
  }

  TrackerCommandList TrackerCommands(const Scenario& s) {
    return ScenarioTrackerCommands(s);
  }

  void StartCapture() {
    Ring_ResetCounts();
    FieldCheckContext_StartCapture(context_);
    numbers_.clear();
    ok_ = 1;
  }

  // Checks and publishes one field, then builds a profile when the window is
  // full; every other profile is placed relative to the reference receiver.
  // Each point must lie on the surface within half a count through the
  // table's gradient, the table's quantisation, the pose filter's error and
  // single-precision arithmetic.
  // Checks and publishes one field as the acquisition thread does.
  void Publish(const std::vector<std::uint8_t>& field) {
    LoadFieldIntoSlot(field, RingSlotAddress(Ring_WriteCount()));
    const std::uint32_t number = ProcessingUnit::FieldNumber(field.data());
    ok_ = ProcessField(ok_, numbers_.empty(), context_);
    ASSERT_TRUE(ok_) << "field " << number;
    numbers_.push_back(number);
  }

  void Consume(const Scenario& s, const std::vector<std::uint8_t>& field) {
    Publish(field);
    if (HasFatalFailure()) return;

    const std::int32_t readCount = Ring_ReadCount();
    const bool relative = s.reference && readCount % 2 == 1;
    std::int32_t wand = 0;
    const std::int32_t result = BuildProfileFromField(
        profile_, relative, 0, nullptr, static_cast<float>(s.angleClip), &wand, nullptr, nullptr, nullptr, nullptr);
    if (result == kProfileNotEnoughFields) return;
    ASSERT_EQ(result, kProfileBuilt);
    EXPECT_EQ(wand, 1);
    // The centre field's laser image and the filtered pose of its moment.
    const std::uint32_t centre = numbers_.at(readCount + 1 + (GetOddFilterLength() - 1) / 2);
    const Pose truth = s.wand.At(ProcessingUnit::FieldTime(centre));
    const Pose filtered = ToPose(profile_.WandRxMatrix);
    const double poseError = Length(filtered.t - truth.t) + kReach * AngleBetween(filtered.r, truth.r) * kPi / 180;
    EXPECT_LT(poseError, 0.05) << "field " << centre;
    if (relative) {
      const Pose reference = ToPose(profile_.ReferenceRxMatrix);
      EXPECT_LT(Length(reference.t - s.reference->t), 1e-3);
      EXPECT_LT(AngleBetween(reference.r, s.reference->r), 1e-3);
    }
    const double tolerance =
        0.5 * kMmPerCount + CalibrationModel::kScale * std::sqrt(3.0) / 2 + poseError + 0.01;
    ++profiles_;
    for (int i = 0; i < profile_.NumPoints; ++i) {
      const ::Vec3& p = profile_.Points[i];
      const Vec3 point{p.x, p.y, p.z};
      const double d = s.scene.SurfaceDistance(relative ? Apply(*s.reference, point) : point);
      worst_ = std::max(worst_, d);
      EXPECT_LT(d, tolerance) << "field " << centre << " point " << i;
      ++points_;
    }
  }

  std::optional<ScratchFolder> scratch_;
  fs::path dir_;
  std::optional<acquisition_test::AttachedRing> ring_;
  FieldCheckContext context_{};
  std::int32_t ok_ = 1;
  std::vector<std::uint32_t> numbers_;  // field number of each published field
  Profile profile_{};
  int profiles_ = 0, points_ = 0;
  double worst_ = 0;
};

struct Case {
  const char* name;
  const char* hardware;
  int unit;
  const char* scene;
  const char* path;  // two wand keys, 0 s and 1 s
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The wand moves at 100 mm/s and turns a few degrees per second: the pose
// filter's error stays far below the count and table terms.
const Case kCases[] = {
    {"plane", "2.2.1", 0, "plane 0 0 650 0.2 0.1 -1",
     "wand 0 -50 0 350 -50 10 650 0\nwand 1 50 0 350 50 -10 650 4"},
    {"plane rescaled", "2.3.1", 3, "plane 0 0 650 0.2 0.1 -1",
     "wand 0 -50 0 350 -50 10 650 0\nwand 1 50 0 350 50 -10 650 4"},
    {"sphere", "1.1.1", 1, "sphere 0 0 650 120",
     "wand 0 -50 -20 330 0 0 650 0\nwand 1 50 -20 330 0 0 650 3"},
    {"sphere rescaled", "2.2.1", 2, "sphere 0 0 650 120",
     "wand 0 -50 -20 330 0 0 650 0\nwand 1 50 -20 330 0 0 650 3"},
    {"cylinder", "2.3.1", 0, "cylinder 0 0 650 0 1 0 100",
     "wand 0 0 -50 350 0 -50 650 90\nwand 1 10 50 350 0 50 650 92"},
    {"cylinder rescaled", "1.1.1", 3, "cylinder 0 0 650 0 1 0 100",
     "wand 0 0 -50 350 0 -50 650 90\nwand 1 10 50 350 0 50 650 92"},
};

class SurfacePointsTest : public ProgramFixture, public ::testing::WithParamInterface<Case> {};

// Through the stand-in library loaded by name, in real time.
TEST_P(SurfacePointsTest, ProfilesLandOnTheSurface) {
  const Case& c = GetParam();
  const std::string text = std::string("hardware ") + c.hardware + "\nunit " + std::to_string(c.unit) +
                           "\nserial 300\nhemisphere 4\nreference 20 -30 120 0 0 30\n" + c.scene + "\n" +
                           c.path + "\npress 0.3 0.8\n";
  const fs::path scenarioPath = dir_ / "case.scenario";
  std::ofstream(scenarioPath, std::ios::binary) << text;
  Scenario scenario;
  ScenarioError error;
  ASSERT_TRUE(ParseScenario(text, &scenario, &error)) << error.message;
  StartProgram(scenario);

  SetScenarioPath(scenarioPath.string());
  FunctionTable ft{};
  std::string failure;
  ASSERT_TRUE(LoadChipLibrary(&ft, &failure)) << failure;
  ArrivalEvent arrival;
  Handle handle = nullptr;
  char name[] = "Tolvaran USB";
  ASSERT_EQ(ft.OpenEx(name, kOpenByDescription, &handle), kOk);
  ASSERT_EQ(ft.SetTimeouts(handle, 65, 250), kOk);
  ASSERT_EQ(ft.SetEventNotification(handle, kEventRxChar, arrival.Handle()), kOk);
  const TrackerCommandList commands = TrackerCommands(scenario);
  for (const std::string& command : commands.Commands()) {
    for (std::size_t i = 0; i < command.size(); i += 8) {
      std::string chunk = command.substr(i, 8);
      Count written = 0;
      ASSERT_EQ(ft.Write(handle, chunk.data(), static_cast<Count>(chunk.size()), &written), kOk);
    }
  }
  ASSERT_TRUE(arrival.Wait(5000));

  // One capture: fields 18 to 47.
  StartCapture();
  std::vector<std::uint8_t> field(kFieldBytes);
  for (;;) {
    Count got = 0;
    ASSERT_EQ(ft.Read(handle, field.data(), kFieldBytes, &got), kOk);
    if (got < static_cast<Count>(kFieldBytes)) break;
    Consume(scenario, field);
    if (HasFatalFailure()) break;
  }
  ft.Close(handle);
  UnloadChipLibrary();
  EXPECT_EQ(numbers_.size(), 30u);
  EXPECT_EQ(profiles_, 30 - GetOddFilterLength());
  EXPECT_GT(points_, profiles_ * 150) << "most lines see the surface";
  RecordProperty("worst_distance_mm", std::to_string(worst_));
}

INSTANTIATE_TEST_SUITE_P(Scenes, SurfacePointsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// The built-in scenario's sweeps over the limb, on the simulated clock.
TEST_F(ProgramFixture, DefaultScenarioSweepsLandOnTheLimb) {
  Scenario s;
  ScenarioError error;
  ASSERT_TRUE(ParseScenario(DefaultScenarioText(), &s, &error));
  StartProgram(s);
  const std::vector<Press> presses = s.presses;
  const TrackerCommandList commands = TrackerCommands(s);
  DeviceCore device(std::move(s));
  const Scenario& scenario = device.GetScenario();
  ASSERT_EQ(device.Open(kDeviceDescription, 0), kOk);
  for (const std::string& command : commands.Commands()) device.Write(command.data(), command.size(), 0);

  std::vector<std::uint8_t> field(kFieldBytes);
  for (const Press& press : presses) {
    device.Advance(press.end + 0.1);
    StartCapture();
    while (device.Queued() >= field.size() && !HasFatalFailure()) {
      device.Take(field.data(), field.size());
      Consume(scenario, field);
    }
    EXPECT_EQ(numbers_.size(), static_cast<std::size_t>(std::lround((press.end - press.start) * 60)));
  }
  EXPECT_GT(points_, profiles_ * 100);
  RecordProperty("worst_distance_mm", std::to_string(worst_));
}

// The alignment check's scenario through the program's side, with the
// check's angle clip: the rising wand's profiles give the result, its factor
// near 0 while the channels agree and rising as the second one drifts.
TEST_F(ProgramFixture, AlignmentFactorRisesWithTheChannelsDrift) {
  float previous = 0.0f;
  for (int counts : {0, 2, 6}) {
    SCOPED_TRACE(counts);
    const std::string drift = "sample-offset 1 0 " + std::to_string(counts) + "\n";
    std::ifstream file(std::string(TEST_DATA_DIR) + "alignment_plane.scenario", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Scenario s;
    ScenarioError error;
    ASSERT_TRUE(ParseScenario(text + drift, &s, &error)) << error.message;
    StartProgram(s);
    SetWandReferenceOption(0);
    const float farLimit = AlignmentCheck_FarLimit(s.hardware);
    const Press press = s.presses.at(0);
    const TrackerCommandList commands = TrackerCommands(s);
    DeviceCore device(std::move(s));
    ASSERT_EQ(device.Open(kDeviceDescription, 0), kOk);
    for (const std::string& command : commands.Commands()) device.Write(command.data(), command.size(), 0);
    device.Advance(press.end + 0.1);
    StartCapture();
    scan_test::TestScan scan;
    std::vector<std::uint8_t> field(kFieldBytes);
    while (device.Queued() >= field.size()) {
      device.Take(field.data(), field.size());
      Publish(field);
      ASSERT_FALSE(HasFatalFailure());
      if (BuildProfileFromField(profile_, 0, 0, nullptr, 60.0f, nullptr, nullptr, nullptr, nullptr, nullptr) ==
              kProfileBuilt && profile_.NumPoints > 0)
        scan.Append(profile_);
    }
    const AlignmentOutcome outcome = AlignmentCheck_Verdict(AlignmentCheck_Measure(scan.raw(), farLimit));
    ASSERT_EQ(outcome.verdict, AlignmentVerdict::Result);
    if (counts == 0)
      EXPECT_LT(outcome.factor, 1.0f);
    else
      EXPECT_GT(outcome.factor, previous + 3.0f);
    RecordProperty("factor_drift_" + std::to_string(counts), std::to_string(outcome.factor));
    previous = outcome.factor;
  }
}

// The calibration correction's scenarios through the program's side: each
// of the eight target presses after the first scan, built into profiles
// with their line logs and taken as the correction capture takes them (range
// band and centre mark), makes a sweep of six profiles or more, and the
// search over them finds the tweak that undoes the simulated drift on every
// channel: the mark's centre does not depend on the side it is seen from.
TEST_F(ProgramFixture, CorrectionTargetSweepsGiveTheTweakThatUndoesTheDrift) {
  for (const char* name : {"correction_two_channels.scenario", "correction_one_channel.scenario"}) {
    SCOPED_TRACE(name);
    Scenario s;
    ScenarioError error;
    ASSERT_TRUE(LoadScenarioFile(std::string(TEST_DATA_DIR) + name, &s, &error)) << error.message;
    StartProgram(s);
    SetWandReferenceOption(0);  // the transmitter is the reference: no second receiver
    const int channels = FindHardware(s.hardware)->channelCount;
    const SampleOffset drift[2] = {s.sampleOffset[0], s.sampleOffset[1]};
    const std::vector<Press> presses = s.presses;
    const CorrectionGeometry geometry = CorrectionGeometry_For(s.hardware.c_str(), false);
    const TrackerCommandList commands = TrackerCommands(s);
    DeviceCore device(std::move(s));
    ASSERT_EQ(device.Open(kDeviceDescription, 0), kOk);
    for (const std::string& command : commands.Commands()) device.Write(command.data(), command.size(), 0);

    scan_test::TestScan scan;
    RawData& raw = scan.raw();
    std::vector<std::uint8_t> field(kFieldBytes);
    ASSERT_EQ(presses.size(), 10u);
    for (std::size_t p = 1; p <= kCorrectionSweeps; ++p) {
      device.Advance(presses[p].end + 0.1);
      StartCapture();
      const std::int32_t before = raw.NumProfiles;
      while (device.Queued() >= field.size()) {
        device.Take(field.data(), field.size());
        Publish(field);
        ASSERT_FALSE(HasFatalFailure());
        const std::int32_t built = BuildProfileFromField(profile_, 0, 0, nullptr, 60.0f, nullptr, nullptr, nullptr,
                                                         nullptr, nullptr);
        if (built != kProfileBuilt || !Accept_CorrectionTarget(profile_, channels, raw.NumSweeps, geometry)) continue;
        scan.Append(profile_);
        raw.Profiles[raw.NumProfiles - 1].Extra = profile_.Extra;
        profile_.Extra = nullptr;
      }
      EXPECT_GE(raw.NumProfiles - before, 6) << "press " << p;
      scan.CloseSweep();
    }
    LutTweak zero{};
    CorrectionSearch search{};
    CalibrationCorrection_InitRecords(search.result, search.reset, 0);
    CalibrationCorrection_Search(raw, CurrentCalibration(), channels, zero, search);
    for (int c = 0; c < channels; ++c) {
      EXPECT_EQ(search.result.lineTweak[c], static_cast<float>(drift[c].line)) << "channel " << c;
      EXPECT_EQ(search.result.countTweak[c], static_cast<float>(drift[c].count)) << "channel " << c;
      EXPECT_LT(search.result.newRms[c], 0.1f * search.result.oldRms[c]) << "channel " << c;
      RecordProperty("rms_channel_" + std::to_string(c), std::to_string(search.result.oldRms[c]) + " -> " +
                                                             std::to_string(search.result.newRms[c]));
    }
    RawData_ClearProfile(profile_);
    profile_ = Profile{};
  }
}

}  // namespace
}  // namespace sim
