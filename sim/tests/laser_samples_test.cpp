#include "sim/laser_samples.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/calibration_model.h"

namespace sim {
namespace {

using CM = CalibrationModel;

TEST(CalibrationModel, TableReproducesTheSheetWithinItsQuantisation) {
  for (int channels : {1, 2}) {
    const auto table = CM::BuildTable(channels);
    ASSERT_EQ(table.size(), static_cast<std::size_t>(channels) * CM::kRows * CM::kColumns * 3);
    const double quantisation = CM::kScale * 0.5 * std::sqrt(3.0) + 1e-6;
    for (int c = 0; c < channels; ++c) {
      for (double line = 0.25; line < 284; line += 7.3) {
        for (double count = CM::kMinCount; count <= CM::kMaxCount; count += 13.7) {
          const auto p = CM::Interpolate(table, c, line, count);
          ASSERT_TRUE(p) << c << " " << line << " " << count;
          EXPECT_LE(Length(*p - CM::SheetPoint(c, line, count)), quantisation);
        }
      }
    }
  }
}

TEST(CalibrationModel, NoPointOutsideTheCalibratedCounts) {
  const auto table = CM::BuildTable(1);
  EXPECT_FALSE(CM::TablePoint(table, 0, 10, 7));    // count 14: unset
  EXPECT_TRUE(CM::TablePoint(table, 0, 10, 8));     // count 16
  EXPECT_TRUE(CM::TablePoint(table, 0, 10, 504));   // count 1008
  EXPECT_FALSE(CM::TablePoint(table, 0, 10, 505));  // count 1010
  EXPECT_FALSE(CM::TablePoint(table, 1, 10, 100));  // no second channel
  EXPECT_FALSE(CM::Interpolate(table, 0, 100, 0.0));
  EXPECT_FALSE(CM::Interpolate(table, 0, 287, 500));  // past the last row
}

TEST(CalibrationModel, ChannelsSeeTheFanInOppositeLineOrder) {
  const Vec3 a = CM::SheetPoint(0, 20, 500), b = CM::SheetPoint(1, 20, 500);
  EXPECT_GT(std::fabs(a.y), 10);
  EXPECT_LT(a.y * b.y, 0);
  // Every calibrated point passes the program's fixed viewing-cone test at
  // the default 30 degree clip.
  for (double line : {0.0, 286.0}) {
    for (double count : {CM::kMinCount, CM::kMaxCount}) {
      const Vec3 p = CM::SheetPoint(0, line, count);
      EXPECT_GT(p.x, -140);
      EXPECT_LT(std::fabs(p.y) / (p.x + 140), std::tan(Radians(15)));
    }
  }
}

TEST(LaserSamples, LinePositionFollowsGeometryAndParity) {
  const struct {
    int unit;
    bool parityHardware, odd;
    double expected;
  } cases[] = {
      {0, false, true, 10}, {0, true, false, 10}, {0, true, true, 10.5}, {1, true, true, 10.5},
      {2, false, true, 12.5}, {2, true, false, 12.5}, {3, true, true, 13.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(LinePosition(10, c.unit, c.parityHardware, c.odd), c.expected);
  }
}

TEST(LaserSamples, CountsEncodeToWithinAQuarterCountInBothGeometries) {
  for (bool rescaled : {false, true}) {
    for (double count = CM::kMinCount; count <= CM::kMaxCount; count += 0.37) {
      LineSample s;
      ASSERT_TRUE(EncodeCount(count, rescaled, &s)) << count;
      EXPECT_GE(s.start, 1);
      const int width = s.end - s.start;
      EXPECT_TRUE(width == 10 || width == 11);
      EXPECT_LE(std::fabs(DecodeCount(s, rescaled) - count), 0.25 + 1e-3) << count;
    }
  }
  LineSample s;
  EXPECT_FALSE(EncodeCount(3, false, &s));     // the start would be below 1
  EXPECT_FALSE(EncodeCount(26, true, &s));     // below the rescaled counts' offset
  EXPECT_FALSE(EncodeCount(4100, false, &s));  // past 12 bits
}

class TraceLineTest : public ::testing::Test {
 protected:
  // A wand at the origin of the world, looking along +x.
  Pose wand_;
};

TEST_F(TraceLineTest, TableMapsTheReportedCountBackOntoTheSurface) {
  Scene scene;
  scene.Add(MakePlane({300, 0, 0}, {-1, 0.2, 0.1}));
  const auto table = CM::BuildTable(2);
  for (int channel : {0, 1}) {
    for (double line = 0; line < 284; line += 11.5) {
      RayResult ray;
      ASSERT_TRUE(TraceLine(scene, wand_, channel, line, &ray)) << line;
      LineSample s;
      ASSERT_TRUE(EncodeCount(ray.count, false, &s));
      const auto p = CM::Interpolate(table, channel, line, DecodeCount(s, false));
      ASSERT_TRUE(p);
      // Half a count along the ray (0.45 mm per count at most) plus the
      // table's quantisation.
      EXPECT_LT(scene.SurfaceDistance(Apply(wand_, *p)), 0.25 * 0.45 * 1.1 + 0.03) << line;
      EXPECT_LT(Length(Apply(wand_, *p) - ray.world), 0.25 * 0.45 * 1.2 + 0.03);
    }
  }
}

TEST_F(TraceLineTest, NoLineWhereTheCameraCannotSeeIt) {
  RayResult ray;
  // Out of range: too near and too far.
  Scene near, far;
  near.Add(MakePlane({30, 0, 0}, {-1, 0, 0}));
  far.Add(MakePlane({700, 0, 0}, {-1, 0, 0}));
  EXPECT_FALSE(TraceLine(near, wand_, 0, 143, &ray));
  EXPECT_FALSE(TraceLine(far, wand_, 0, 143, &ray));
  // Seen from inside a sphere, the lit surface faces away from the laser.
  Scene inside;
  inside.Add(MakeSphere({0, 0, 0}, 250));
  EXPECT_FALSE(TraceLine(inside, wand_, 0, 143, &ray));
  // A post between the camera point (x -120, z -10) and the lit spot (z 9.2)
  // blocks it; the laser passes above it (z 3.2 at x 100).
  Scene blocked;
  blocked.Add(MakePlane({300, 0, 0}, {-1, 0, 0}));
  EXPECT_TRUE(TraceLine(blocked, wand_, 0, 143, &ray));
  blocked.Add(MakeCylinder({100, 0, 0}, {0, 1, 0}, 1.0));
  EXPECT_FALSE(TraceLine(blocked, wand_, 0, 143, &ray));
}

TEST(LaserSamples, FieldSamplesCoverTheChannelsOfTheHardware) {
  Scene scene;
  scene.Add(MakePlane({300, 0, 0}, {-1, 0, 0}));
  const Pose wand = LookAt({0, 0, 0}, {1, 0, 0}, 0);
  FieldSamples one, two;
  ComputeSamples(scene, wand, *FindHardware("2.2.1"), 0, false, &one);
  ComputeSamples(scene, wand, *FindHardware("1.1.1"), 0, false, &two);
  int lines1 = 0, lines2 = 0;
  for (int line = 0; line < kVideoLines; ++line) {
    lines1 += one.lines[line][0].end > 0;
    EXPECT_EQ(one.lines[line][1].end, 0);
    lines2 += two.lines[line][1].end > 0;
  }
  EXPECT_EQ(lines1, kVideoLines);
  EXPECT_EQ(lines2, kVideoLines);
}

// A channel's offset shows in its samples only, and reading them at the
// shifted line and count (what the program's tweak does) gives back what the
// camera sees there.
TEST(LaserSamples, ASampleOffsetMovesOnlyItsChannelAndTheTweakUndoesIt) {
  Scene scene;
  scene.Add(MakePlane({300, 0, 0}, {-1, 0.2, 0.1}));
  const Pose wand = LookAt({0, 0, 0}, {1, 0, 0}, 0);
  const HardwareVersionEntry& hardware = *FindHardware("2.3.1");
  const SampleOffset offsets[2] = {{0, 0}, {0.75, -4.5}};
  FieldSamples plain, off;
  ComputeSamples(scene, wand, hardware, 0, false, &plain);
  ComputeSamples(scene, wand, hardware, 0, false, &off, offsets);
  int checked = 0;
  for (int line = 0; line < kVideoLines; ++line) {
    EXPECT_EQ(off.lines[line][0].start, plain.lines[line][0].start);
    EXPECT_EQ(off.lines[line][0].end, plain.lines[line][0].end);
    const LineSample& s = off.lines[line][1];
    if (s.end == 0) continue;
    const double y = LinePosition(line, 0, hardware.parityProperty != 0, false);
    RayResult ray;
    ASSERT_TRUE(TraceLine(scene, wand, 1, y + 0.75, &ray));
    EXPECT_NEAR(DecodeCount(s, false) - 4.5, ray.count, 0.5);
    ++checked;
  }
  EXPECT_GT(checked, kVideoLines / 2);
}

}  // namespace
}  // namespace sim
