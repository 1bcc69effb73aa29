// The per-profile steps of profile processing: triangle smoothing, the runs
// and merging of a profile's smoothing, the moved-enough test, range clipping
// and the merge of the two camera channels.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "app/scan/profile_processing.h"
#include "scan_record_fixture.h"

namespace {

using scan_test::OwnedProfile;
using scan_test::PlaneProfile;
using scan_test::TestScan;

TEST(TriangleFilter, DropsHalfTheLengthAtEachEndAndKeepsLinesStraight) {
    struct Case {
        int32_t filterLength, n, count, offset;
    };
    const Case cases[] = {{0, 9, 9, 0}, {-3, 4, 4, 0}, {1, 9, 7, 1}, {3, 9, 7, 1}, {5, 9, 5, 2},
                          {7, 9, 3, 3}, {7, 7, 1, 3}, {7, 6, 0, 0}, {3, 2, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filterLength * 100 + c.n);
        Vec3 in[16], out[16];
        int32_t values[16];
        float outValues[16];
        for (int k = 0; k < c.n; ++k) {
            in[k] = Vec3{static_cast<float>(k), 2.0f * k, 0.0f};
            values[k] = 10 * k;
        }
        int32_t count = -1;
        Scan_TriangleFilter(c.n, in, values, c.filterLength, out, outValues, &count);
        ASSERT_EQ(count, c.count);
        for (int k = 0; k < count; ++k) {
            EXPECT_NEAR(out[k].x, k + c.offset, 1e-5f);
            EXPECT_NEAR(out[k].y, 2.0f * (k + c.offset), 1e-5f);
            EXPECT_NEAR(outValues[k], 10.0f * (k + c.offset), 1e-4f);
        }
    }
}

TEST(TriangleFilter, WeightsFormATriangle) {
    // A single raised point spreads as 1/2, 1/4 (length 3) and 1/3, 2/9, 1/9
    // (length 5).
    Vec3 in[9] = {}, out[9];
    int32_t values[9] = {};
    float outValues[9];
    in[4].z = 1.0f;
    int32_t count;
    Scan_TriangleFilter(9, in, values, 3, out, outValues, &count);
    EXPECT_FLOAT_EQ(out[3].z, 0.5f);
    EXPECT_FLOAT_EQ(out[2].z, 0.25f);
    EXPECT_FLOAT_EQ(out[1].z, 0.0f);
    Scan_TriangleFilter(9, in, values, 5, out, outValues, &count);
    EXPECT_NEAR(out[2].z, 1.0f / 3, 1e-6f);
    EXPECT_NEAR(out[1].z, 2.0f / 9, 1e-6f);
    EXPECT_NEAR(out[0].z, 1.0f / 9, 1e-6f);
}

// A profile of 12 plane points 0.5 apart with a gap after the sixth.
OwnedProfile GappedProfile(float gap) {
    OwnedProfile p = PlaneProfile(0.0f, 12);
    for (int k = 6; k < 12; ++k) p.points[k].x += gap - 0.5f;
    return p;
}

TEST(SmoothProfile, RunsSplitAtGapsAndCloseOutputsMerge) {
    struct Case {
        const char* name;
        float gap, worst, neighbour;
        int32_t filterLength, count;
        bool split;
    };
    const Case cases[] = {
        {"unfiltered", 0.5f, 100.0f, 0.3f, 0, 12, true},
        {"one run", 1.5f, 100.0f, 0.3f, 3, 10, false},
        {"gap beyond the worst resolution", 1.5f, 1.0f, 0.3f, 3, 8, true},
        {"gap beyond the neighbour's spacing", 5.0f, 100.0f, 0.3f, 3, 8, true},
        {"runs shorter than the filter", 5.0f, 100.0f, 0.3f, 7, 0, true},
        {"outputs within the neighbour's spacing merge", 0.5f, 100.0f, 1.0f, 0, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedProfile x = GappedProfile(c.gap);
        OwnedProfile n = PlaneProfile(c.neighbour, 3);
        Profile rec = x.Get();
        EXPECT_EQ(Scan_SmoothProfile(rec, n.Get(), c.filterLength, c.worst), c.count > 0);
        ASSERT_EQ(rec.NumPoints, c.count);
        EXPECT_EQ(rec.IsFiltered, 1);
        // No point bridges a gap that split the runs.
        for (int k = 0; k < rec.NumPoints && c.split; ++k)
            EXPECT_TRUE(rec.Points[k].x <= -47.5f + 1e-4f || rec.Points[k].x >= -47.5f + c.gap - 1e-4f)
                << rec.Points[k].x;
        // A profile already smoothed is left as it is.
        const int32_t before = rec.NumPoints;
        Scan_SmoothProfile(rec, n.Get(), 7, 0.0f);
        EXPECT_EQ(rec.NumPoints, before);
    }
}

TEST(SmoothProfile, MergedPointsAverageTheirPointsAndWidths) {
    OwnedProfile x = PlaneProfile(0.0f, 6);
    x.values = {10, 11, 11, 20, 20, 21};
    OwnedProfile n = PlaneProfile(1.0f, 3);
    Profile rec = x.Get();
    ASSERT_TRUE(Scan_SmoothProfile(rec, n.Get(), 0, 100.0f));
    ASSERT_EQ(rec.NumPoints, 2);
    EXPECT_FLOAT_EQ(rec.Points[0].x, -49.5f);
    EXPECT_FLOAT_EQ(rec.Points[1].x, -48.0f);
    EXPECT_EQ(rec.PointValues[0], 11);  // 10.67 rounded
    EXPECT_EQ(rec.PointValues[1], 20);  // 20.33 rounded
}

TEST(ProfileMovedEnough, ComparesTheMoveWithTheSpacingAndTheThresholds) {
    struct Case {
        const char* name;
        int points;
        float move, minResolution, maxResolution;
        int32_t moved, tooFar;
    };
    // Points 0.5 apart: the spacing two points apart is 1 mm, a quarter of its
    // square 0.25 mm², and the move must exceed half of that distance: 0.25 mm.
    const Case cases[] = {
        {"too few points", 2, 5.0f, 0.0f, 10.0f, 0, 0},
        {"same pose", 20, 0.0f, 0.0f, 10.0f, 0, 0},
        {"small move", 20, 0.2f, 0.0f, 10.0f, 0, 0},
        {"just above the spacing", 20, 0.26f, 0.0f, 10.0f, 1, 0},
        {"the minimum resolution", 20, 0.5f, 1.0f, 10.0f, 0, 0},
        {"above the minimum", 20, 0.6f, 1.0f, 10.0f, 1, 0},
        {"too far", 20, 0.6f, 1.0f, 0.55f, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedProfile a = PlaneProfile(0.0f, c.points);
        OwnedProfile b = PlaneProfile(c.move, c.points);
        int32_t tooFar = -1;
        EXPECT_EQ(Scan_ProfileMovedEnough(a.Get(), b.Get(), c.minResolution, c.maxResolution, &tooFar), c.moved);
        if (c.points >= 3) {
            EXPECT_EQ(tooFar, c.tooFar);
        }
    }
}

TEST(ProfileMovedEnough, VarianceOfFarPointsRaisesTheBar) {
    // 1 m from the transmitter the variance (about 4 mm²) outweighs the
    // spacing, so a move must exceed about 1 mm.
    for (const auto& c : {std::pair<float, int32_t>{1.0f, 0}, {1.1f, 1}}) {
        OwnedProfile a = PlaneProfile(0.0f, 20), b = PlaneProfile(c.first, 20);
        a.profile.WandRxMatrix[12] = b.profile.WandRxMatrix[12] = 1000.0f;
        for (auto* p : {&a, &b})
            for (Vec3& v : p->points) v.x += 1000.0f;
        EXPECT_EQ(Scan_ProfileMovedEnough(a.Get(), b.Get(), 0.0f, 0.0f, nullptr), c.second) << c.first;
    }
}

TEST(ProfileMovedEnough, MeasuresTheMoveAtTheFirstDensestPlace) {
    // A line along x whose points lie 1 mm apart, two apart 2 mm, except at
    // tight spots where point i lies 1 mm from point i - 2 (0.9 mm at the
    // tighter one). The second profile is the first turned 0.01 rad about the
    // z axis, so a point moves in proportion to its distance from the axis,
    // and the too-far flag tells which point was measured: point k (x = 10 +
    // k) moves (10 + k) / 100 mm.
    struct Case {
        const char* name;
        std::vector<std::pair<int, float>> tight;  // point, its distance from two before
        int notANumber;                            // a point that is not a number, or -1
        float maxResolution;
        int32_t tooFar;
    };
    const Case cases[] = {
        {"first of two equal places", {{5, 1.0f}, {15, 1.0f}}, -1, 0.2f, 0},
        {"the tighter place", {{5, 1.0f}, {15, 0.9f}}, -1, 0.2f, 1},
        {"a point that is not a number", {{5, 1.0f}, {15, 1.0f}}, 8, 0.13f, 1},
        {"a point that is not a number after the place", {{5, 1.0f}}, 7, 0.155f, 0},
        {"beyond the processing buffers", {{5, 1.0f}, {590, 0.9f}}, -1, 1.0f, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedProfile a;
        for (int k = 0; k < 600; ++k) a.points.push_back(Vec3{10.0f + k, 0.0f, 0.0f});
        for (const auto& [i, d] : c.tight) {
            a.points[i - 1].x = a.points[i].x - d / 2;
            a.points[i - 2].x = a.points[i].x - d;
        }
        if (c.notANumber >= 0) a.points[c.notANumber].x = std::nanf("");
        a.profile.WandRxMatrix = scan_test::WandLookingDown(0.0f, 0.0f, 100.0f);
        M4_Identity(a.profile.ReferenceRxMatrix);
        OwnedProfile b = a;
        Matrix4 turn;
        M4_Identity(turn);
        turn[0] = turn[5] = std::cos(0.01f);
        turn[1] = std::sin(0.01f);
        turn[4] = -turn[1];
        M4_Multiply(turn, a.profile.WandRxMatrix, b.profile.WandRxMatrix);
        int32_t tooFar = -1;
        Scan_ProfileMovedEnough(a.Get(), b.Get(), 0.0f, c.maxResolution, &tooFar);
        EXPECT_EQ(tooFar, c.tooFar);
    }
}

TEST(ClipProfileByRange, ClipsFarPointsOrTheWholeProfile) {
    struct Case {
        const char* name;
        float range;
        bool referenceFar;
        int32_t kept;
    };
    // 101 points from x = -50 to 50, 100 mm below the wand: sqrt(105² - 100²)
    // = 32.02, so |x| <= 32 stays.
    const Case cases[] = {{"all near", 1000.0f, false, 101},
                          {"far points", 105.0f, false, 65},
                          {"wand beyond the range", 99.0f, false, 0},
                          {"reference beyond the range", 1000.0f, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestScan scan;
        OwnedProfile p = PlaneProfile(0.0f, 101, 1.0f);
        for (int k = 0; k < 101; ++k) p.values[k] = k;
        if (c.referenceFar) {
            p.profile.ReferenceEnabled = 1;
            p.profile.ReferenceRxMatrix[14] = -2000.0f;
        }
        Profile& staging = scan.raw().Staging;
        staging = p.Get();
        Scan_ClipProfileByRange(scan.raw(), c.range);
        EXPECT_EQ(staging.NumPoints, c.kept);
        EXPECT_EQ(scan.raw().NumClippedPoints, 101 - c.kept);
        for (int k = 0; k < staging.NumPoints; ++k)
            EXPECT_EQ(staging.PointValues[k], static_cast<int32_t>(staging.Points[k].x + 50.0f));
        staging = Profile{};  // the arrays belong to the owned profile
    }
}

TEST(ClipProfileByRange, MeasuresFromTheWandInScanCoordinates) {
    TestScan scan;
    OwnedProfile p = PlaneProfile(0.0f, 101, 1.0f);
    // The reference receiver 100 mm along x: scan coordinates are shifted.
    p.profile.ReferenceEnabled = 1;
    p.profile.ReferenceRxMatrix[12] = 100.0f;
    for (Vec3& v : p.points) v.x -= 100.0f;
    Profile& staging = scan.raw().Staging;
    staging = p.Get();
    Scan_ClipProfileByRange(scan.raw(), 105.0f);
    EXPECT_EQ(staging.NumPoints, 65);
    staging = Profile{};
}

struct MergeCase {
    const char* name;
    std::vector<Vec3> channel[2];
    std::vector<float> order;  // x of the merged points
    float deviation;
};

TEST(ProfileCameraDeviation, MergesTheChannelsAlongTheLine) {
    const std::vector<Vec3> even{{0, 0, 0}, {2, 0, 0}, {4, 0, 0}}, odd{{1, 0, 0.1f}, {3, 0, 0.1f}, {5, 0, 0.1f}};
    const MergeCase cases[] = {
        {"channel 1 empty", {even, {}}, {0, 2, 4}, 0.0f},
        {"channel 0 empty", {{}, odd}, {1, 3, 5}, 0.0f},
        {"one point each", {{{0, 0, 0}}, {{1, 0, 0.1f}}}, {0.5f}, 0.0f},
        {"interleaved", {even, odd}, {0, 1, 2, 3, 4, 5}, 0.1f},
        {"other channel first", {odd, even}, {0, 1, 2, 3, 4, 5}, 0.1f},
        {"single start point", {{{1, 0, 0.1f}}, even}, {0, 1, 2, 4}, 0.0f},
        {"no switch", {{{0, 0, 0}, {1, 0, 0}}, {{5, 0, 0}, {6, 0, 0}}}, {0, 1, 5, 6}, 0.0f},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t counts[2] = {static_cast<int32_t>(c.channel[0].size()),
                                   static_cast<int32_t>(c.channel[1].size())};
        Vec3 staging[16];
        int32_t values[16];
        for (int ch = 0; ch < 2; ++ch)
            for (int k = 0; k < counts[ch]; ++k) {
                staging[2 * k + ch] = c.channel[ch][k];
                values[2 * k + ch] = static_cast<int32_t>(c.channel[ch][k].x * 10) + 3;
            }
        Vec3 out[16];
        int32_t outValues[16], count = -1;
        float deviation = -1.0f;
        Scan_ProfileCameraDeviation(staging, values, counts, out, outValues, &count, &deviation);
        ASSERT_EQ(count, static_cast<int32_t>(c.order.size()));
        for (int k = 0; k < count; ++k) {
            EXPECT_FLOAT_EQ(out[k].x, c.order[k]) << k;
            EXPECT_EQ(outValues[k], static_cast<int32_t>(c.order[k] * 10) + 3) << k;
        }
        EXPECT_NEAR(deviation, c.deviation, 1e-6f);
    }
}

}  // namespace
