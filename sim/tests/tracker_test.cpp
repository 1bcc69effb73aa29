#include "sim/tracker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sim {
namespace {

// Sends a command list the way the acquisition code does: in chunks of at
// most 8 bytes.
void Send(Tracker& t, const std::string& commands) {
  for (std::size_t i = 0; i < commands.size(); i += 8) {
    const std::string chunk = commands.substr(i, 8);
    t.Receive(chunk.data(), chunk.size());
  }
}

struct TrackerTest : ::testing::Test {
  Vec3 truth[2] = {{-100, 50, 300}, {20, -30, 150}};
  Tracker tracker{0, 0, true, [this](int port) { return truth[port]; }};
  Pose Wand() const { return {FromAngles(10, 20, 30), truth[0]}; }
};

TEST_F(TrackerTest, CommandsArriveWholeWhateverTheChunking) {
  Send(tracker, "cWl1,1\rT81,0\rO2,0,2,5,6,7\rufv,1\rj1,,1,0.5,1.25,2,3,4,5,6,7,8\rC");
  const std::vector<std::string> expected = {"c", "W", "l1,1", "T81,0", "O2,0,2,5,6,7", "u",
                                             "f", "v,1", "j1,,1,0.5,1.25,2,3,4,5,6,7,8", "C"};
  EXPECT_EQ(tracker.Commands(), expected);
}

TEST_F(TrackerTest, RecordsAreBlankUntilStartedAndStopWithOutput) {
  EXPECT_EQ(tracker.MakeRecord(0, Wand(), ' ').type, 0);
  Send(tracker, "c");
  EXPECT_EQ(tracker.MakeRecord(0, Wand(), ' ').type, 0);
  Send(tracker, "C");
  EXPECT_TRUE(tracker.Started());
  EXPECT_EQ(tracker.MakeRecord(0, Wand(), ' ').type, '0');
  Send(tracker, "P");
  EXPECT_EQ(tracker.MakeRecord(0, Wand(), ' ').type, 0);
  Send(tracker, "C\rW");
  EXPECT_FALSE(tracker.Started());
  EXPECT_EQ(tracker.MakeRecord(0, Wand(), ' ').type, 0);
}

TEST_F(TrackerTest, RecordCarriesStationErrorCentimetresAndDirectionCosines) {
  Send(tracker, "H2,-1,0,0\rC");
  const Pose wand = Wand();
  const TrackerRecord r = tracker.MakeRecord(0, wand, 'E');
  EXPECT_EQ(r.station, '2');
  EXPECT_EQ(r.error, 'E');
  EXPECT_FLOAT_EQ(r.position[0], -10);
  EXPECT_FLOAT_EQ(r.position[1], 5);
  EXPECT_FLOAT_EQ(r.position[2], 30);
  // Row i holds component i of the sensor's axes: applied to a sensor-frame
  // vector it gives the transmitter-frame vector.
  const Vec3 v{0.3, -0.4, 0.5};
  const Vec3 expected = Apply(wand.r, v);
  const float* m = r.orientation;
  EXPECT_NEAR(m[0] * v.x + m[1] * v.y + m[2] * v.z, expected.x, 1e-6);
  EXPECT_NEAR(m[3] * v.x + m[4] * v.y + m[5] * v.z, expected.y, 1e-6);
  EXPECT_NEAR(m[6] * v.x + m[7] * v.y + m[8] * v.z, expected.z, 1e-6);
}

TEST(Tracker, StationsFollowVersionAndSelectionInAFixedOrder) {
  const struct {
    int unit, selection;
    bool second;
    char wand, other;
    int firstPort;
  } cases[] = {
      {0, 0, true, '2', '1', 1}, {2, 0, true, '2', '1', 1}, {0, 1, true, '3', '2', 1},
      {2, 2, true, '4', '3', 1}, {1, 0, true, '1', '3', 0}, {3, 2, true, '1', '3', 0},
      {0, 0, false, '2', '1', 0},
  };
  for (const auto& c : cases) {
    Tracker t(c.unit, c.selection, c.second, [](int) { return Vec3{}; });
    EXPECT_EQ(t.StationChar(0), c.wand);
    EXPECT_EQ(t.StationChar(1), c.other);
    EXPECT_EQ(t.PortOfRecord(0), c.firstPort);
    EXPECT_EQ(t.PortOfRecord(1), c.second ? 1 - c.firstPort : 0);
  }
}

TEST_F(TrackerTest, HemisphereIsAmbiguousUntilSetThenFollowsTheSensor) {
  const Vec3 p{-100, 50, 300};
  // Switched on: the +x hemisphere, so a sensor at negative x is mirrored.
  EXPECT_NEAR(tracker.ReportedPosition(0, p).x, 100, 1e-12);
  Send(tracker, "H2,0,0,1\r");  // the +z hemisphere holds the sensor
  EXPECT_NEAR(tracker.ReportedPosition(0, p).x, -100, 1e-12);
  EXPECT_NEAR(tracker.ReportedPosition(1, {20, -30, 150}).x, 20, 1e-12);  // port 1 untouched
  EXPECT_NEAR(tracker.ReportedPosition(1, {-20, -30, 150}).x, 20, 1e-12);
  // Following from here keeps the sign when the sensor crosses z = 0.
  Send(tracker, "H2,0,0,0\r");
  EXPECT_NEAR(tracker.ReportedPosition(0, {5, 5, -40}).z, -40, 1e-12);
  // Following starts from the sign the hemisphere gives at that moment.
  Send(tracker, "H1,0,-1,0\rH1,0,0,0\r");
  EXPECT_NEAR(tracker.ReportedPosition(1, {20, -30, 150}).y, -30, 1e-12);
  Send(tracker, "H1,0,1,0\rH1,0,0,0\r");  // truth[1] lies at y -30: mirrored from now on
  EXPECT_NEAR(tracker.ReportedPosition(1, {20, -30, 150}).y, 30, 1e-12);
  // A reset forgets every hemisphere.
  Send(tracker, "W");
  EXPECT_NEAR(tracker.ReportedPosition(0, p).x, 100, 1e-12);
}

TEST_F(TrackerTest, IgnoresUnknownStationsAndMalformedHemispheres) {
  Send(tracker, "H7,0,0,1\rH2,zz\rH2\r");
  EXPECT_NEAR(tracker.ReportedPosition(0, {-100, 50, 300}).x, 100, 1e-12);
  // A runaway command without a carriage return stays bounded and harmless.
  const std::string junk(5000, 'x');
  Send(tracker, junk + "\rC");
  EXPECT_TRUE(tracker.Started());
}

}  // namespace
}  // namespace sim
