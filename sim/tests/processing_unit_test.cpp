#include "sim/processing_unit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/field_format.h"
#include "sim/field_generator.h"
#include "sim/calibration_model.h"
#include "sim/laser_samples.h"

namespace sim {
namespace {

Scenario Parse(const std::string& text) {
  Scenario s;
  ScenarioError e;
  EXPECT_TRUE(ParseScenario(text, &s, &e)) << e.line << ": " << e.message;
  return s;
}

// A wand sweeping past a plane, a fixed reference receiver.
std::string Base(const char* hardware, int unit) {
  return std::string("hardware ") + hardware + "\nunit " + std::to_string(unit) +
         "\nserial 321\n"
         "reference 30 -40 150 0 0 45\n"
         "plane 0 0 700 0.1 0 -1\n"
         "wand 0 -100 0 400 -100 20 700 5\n"
         "wand 10 100 30 420 100 0 700 -5\n";
}

struct Decoded {
  std::vector<std::uint16_t> slot = std::vector<std::uint16_t>(kFieldSlotWords);
  DecodedLocatorBlock block{};
  bool framing = false, locatorFraming = false, decoded = false;
  FieldIdentity identity{};
};

Decoded Decode(const std::vector<std::uint8_t>& field) {
  Decoded d;
  LoadFieldIntoSlot(field, d.slot.data());
  d.framing = FieldFramingOk(d.slot.data()) != 0;
  d.identity = DecodeFieldIdentity(d.slot.data());
  d.locatorFraming = CheckLocatorFraming(d.slot.data()) != 0;
  d.decoded = DecodeLocatorBlock(d.slot.data()) != 0;
  if (d.decoded) ReadDecodedLocatorBlock(d.slot.data(), d.block);
  return d;
}

// Position (mm) and axes of a decoded pose.
Vec3 Position(const Matrix4& m) { return {m[12], m[13], m[14]}; }
Rot3 Axes(const Matrix4& m) { return {{m[0], m[1], m[2]}, {m[4], m[5], m[6]}, {m[8], m[9], m[10]}}; }

class ProcessingUnitTest : public ::testing::Test {
 protected:
  void Start(const std::string& text) {
    scenario_ = Parse(text);
    tracker_ = std::make_unique<Tracker>(scenario_.unitVersion, scenario_.trackerSelection,
                                         scenario_.SecondReceiver(),
                                         [this](int port) { return scenario_.PortPose(port, 0).t; });
    const std::string commands = "H1,0,0,1\rH2,0,0,1\rH3,0,0,1\rC";
    tracker_->Receive(commands.data(), commands.size());
    unit_ = std::make_unique<ProcessingUnit>(scenario_, *tracker_);
    ResetAcquisitionSettings();
    SetProcessingUnitVersion(scenario_.unitVersion);
    SetTrackerSelection(scenario_.trackerSelection);
  }
  void TearDown() override { ResetAcquisitionSettings(); }

  Scenario scenario_;
  std::unique_ptr<Tracker> tracker_;
  std::unique_ptr<ProcessingUnit> unit_;
};

TEST_F(ProcessingUnitTest, FieldsDecodeIntoTheScenarioPosesAtEachRecordsPhase) {
  for (int unit : {0, 1, 2, 3}) {
    Start(Base("2.3.1", unit));
    for (std::int64_t n : {60, 61, 300}) {
      const auto field = unit_->MakeField(n, Press::kScan);
      ASSERT_EQ(field.size(), static_cast<std::size_t>(kFieldBytes));
      const Decoded d = Decode(field);
      ASSERT_TRUE(d.framing && d.locatorFraming && d.decoded) << unit << " " << n;
      EXPECT_EQ(d.identity.version, unit);
      EXPECT_EQ(d.identity.serial, 321u);
      EXPECT_EQ(ProcessingUnit::FieldNumber(field.data()), static_cast<std::uint32_t>(n));
      EXPECT_EQ(d.block.wandFlag, 1);
      EXPECT_EQ(d.block.stylusFlag, 0);
      for (int k = 0; k < 2; ++k) {
        const DecodedTrackerRecord& r = d.block.record[k];
        const int port = k == d.block.wandRecord ? 0 : 1;
        EXPECT_EQ(r.station, port);
        const Pose truth =
            scenario_.PortPose(port, ProcessingUnit::FieldTime(n) + kRecordPhase[k] * kFieldPeriod);
        EXPECT_LT(Length(Position(r.pose) - truth.t), 1e-3) << unit << " record " << k;
        EXPECT_LT(AngleBetween(Axes(r.pose), truth.r), 1e-4);
        EXPECT_EQ(r.errorChar, ' ');
      }
    }
  }
}

TEST_F(ProcessingUnitTest, ParityAlternatesOnlyOnParityHardware) {
  for (const char* hardware : {"1.1.1", "2.1.1", "2.2.1", "2.3.1"}) {
    Start(Base(hardware, 0));
    const bool parityHardware = FindHardware(hardware)->parityProperty != 0;
    for (std::int64_t n = 10; n < 14; ++n) {
      const Decoded d = Decode(unit_->MakeField(n, Press::kScan));
      EXPECT_EQ(d.block.parityFlag, parityHardware && (n % 2 == 1) ? 1 : 0) << hardware << n;
    }
  }
}

TEST_F(ProcessingUnitTest, SamplesLandOnTheSurfaceThroughTheTableAndTheLaserTimePose) {
  // Both sample geometries, one and two channels, odd and even fields.
  const struct {
    const char* hardware;
    int unit;
  } cases[] = {{"2.2.1", 0}, {"1.1.1", 1}, {"2.3.1", 2}, {"2.2.1", 3}};
  for (const auto& c : cases) {
    Start(Base(c.hardware, c.unit));
    const HardwareVersionEntry& hw = *FindHardware(c.hardware);
    const auto table = CalibrationModel::BuildTable(hw.channelCount);
    const bool rescaled = RescaledGeometry(c.unit);
    for (std::int64_t n : {120, 121}) {
      const auto field = unit_->MakeField(n, Press::kScan);
      const Pose wand = scenario_.wand.At(ProcessingUnit::FieldTime(n));
      const bool odd = Decode(field).block.parityFlag != 0;
      int points = 0;
      for (int line = 0; line < kVideoLines; ++line) {
        for (int ch = 0; ch < hw.channelCount; ++ch) {
          const int word = (line * 2 + ch) * 2;
          LineSample s;
          s.start = static_cast<std::uint16_t>((field[2 * word] | field[2 * word + 1] << 8) & 0xFFF);
          s.end = static_cast<std::uint16_t>((field[2 * word + 2] | field[2 * word + 3] << 8) & 0xFFF);
          if (s.start == 0 && s.end == 0) continue;
          const auto p = CalibrationModel::Interpolate(
              table, ch, LinePosition(line, c.unit, hw.parityProperty != 0, odd), DecodeCount(s, rescaled));
          ASSERT_TRUE(p);
          // Half a count (0.45 mm per count at most) plus the quantisation.
          EXPECT_LT(scenario_.scene.SurfaceDistance(Apply(wand, *p)), 0.25 * 0.45 + 0.03)
              << c.hardware << " unit " << c.unit << " line " << line;
          ++points;
        }
      }
      EXPECT_GT(points, 200 * hw.channelCount);
    }
  }
}

TEST_F(ProcessingUnitTest, PressKindSetsTheWandAndStylusFlags) {
  Start(Base("2.2.1", 0));
  const struct {
    Press::Kind kind;
    int wand, stylus;
  } cases[] = {{Press::kScan, 1, 0}, {Press::kPreview, 0, 0}, {Press::kStylus, 0, 1}};
  for (const auto& c : cases) {
    const Decoded d = Decode(unit_->MakeField(7, c.kind));
    EXPECT_EQ(d.block.wandFlag, c.wand);
    EXPECT_EQ(d.block.stylusFlag, c.stylus);
  }
}

TEST_F(ProcessingUnitTest, StylusTakesTheSecondPort) {
  Start("hardware 2.2.1\nplane 0 0 700 0 0 -1\nwand 0 0 0 400 0 0 700\n"
        "stylus 0 100 0 300 100 0 700\nstylus 2 140 20 300 140 20 700\n");
  const Decoded d = Decode(unit_->MakeField(60, Press::kStylus));
  ASSERT_TRUE(d.decoded);
  EXPECT_EQ(d.block.stylusFlag, 1);
  const int k = d.block.referenceRecord;
  const Pose truth = scenario_.stylus.At(1.0 + kRecordPhase[k] * kFieldPeriod);
  EXPECT_LT(Length(Position(d.block.record[k].pose) - truth.t), 1e-3);
  EXPECT_LT(AngleBetween(Axes(d.block.record[k].pose), truth.r), 1e-4);
}

TEST_F(ProcessingUnitTest, WithoutASecondReceiverBothRecordsCarryTheWand) {
  Start("hardware 2.2.1\nplane 0 0 700 0 0 -1\nwand 0 0 0 400 0 0 700\n");
  SetWandReferenceOption(0);  // only then may one station come twice
  const Decoded d = Decode(unit_->MakeField(30, Press::kScan));
  ASSERT_TRUE(d.locatorFraming && d.decoded);
  EXPECT_EQ(d.block.record[0].station, 0);
  EXPECT_EQ(d.block.record[1].station, 0);
}

TEST_F(ProcessingUnitTest, FaultsBreakWhatTheyNameWhileInForce) {
  const std::string faults =
      "fault 1 2 framing\n"
      "fault 3 4 serial 77\n"
      "fault 5 6 record-type\n"
      "fault 7 8 station\n"
      "fault 9 9.5 tracker-error E wand\n"
      "fault 9.5 10 tracker-error F second\n";
  Start(Base("2.2.1", 0) + faults);
  auto field = [&](double t) { return Decode(unit_->MakeField(std::llround(t * 60), Press::kScan)); };
  const Decoded clean = field(0.5);
  EXPECT_TRUE(clean.framing && clean.locatorFraming && clean.decoded);
  EXPECT_FALSE(field(1.5).framing);
  EXPECT_TRUE(field(2.0).framing);  // the end is not included
  EXPECT_EQ(field(3.5).identity.serial, 77u);
  EXPECT_FALSE(field(5.5).locatorFraming);
  EXPECT_FALSE(field(7.5).locatorFraming);
  const Decoded e = field(9.2);
  ASSERT_TRUE(e.decoded);
  EXPECT_EQ(e.block.record[e.block.wandRecord].errorChar, 'E');
  EXPECT_EQ(e.block.record[e.block.referenceRecord].errorChar, ' ');
  const Decoded f = field(9.7);
  EXPECT_EQ(f.block.record[f.block.referenceRecord].errorChar, 'F');
}

TEST_F(ProcessingUnitTest, BlankRecordsBeforeTheTrackerStarts) {
  scenario_ = Parse(Base("2.2.1", 0));
  Tracker idle(0, 0, true, [](int) { return Vec3{}; });
  ProcessingUnit unit(scenario_, idle);
  ResetAcquisitionSettings();
  const Decoded d = Decode(unit.MakeField(5, Press::kScan));
  EXPECT_TRUE(d.framing);
  EXPECT_FALSE(d.locatorFraming);
}

}  // namespace
}  // namespace sim
