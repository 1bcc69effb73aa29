#include "surface/fit/scan_operations.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/io/scan3.h"

namespace {

using Point = std::array<double, 3>;

// A scan of `sizes[s]` points for scan s, origin (100 s, 0, 0); each point's
// Value is 1000 s + its index in the scan, so that a test can tell where a
// kept point came from.
struct TestScan {
    Scan3 scan{};
    TestScan(const std::vector<int32_t>& sizes, const std::vector<Point>& points) {
        const int32_t n = static_cast<int32_t>(points.size());
        EXPECT_EQ(Scan3_Create(&scan, n, static_cast<int32_t>(sizes.size()), 1, 0, 0, 0, 0), 0);
        scan.Points.Count = n;
        scan.OriginCount = static_cast<int32_t>(sizes.size());
        int32_t i = 0;
        for (size_t s = 0; s < sizes.size(); ++s) {
            scan.Size[s] = sizes[s];
            scan.Origin[3 * s] = 100.0 * s;
            scan.Origin[3 * s + 1] = scan.Origin[3 * s + 2] = 0.0;
            for (int32_t k = 0; k < sizes[s]; ++k, ++i) {
                for (int d = 0; d < 3; ++d) scan.Points.Location[3 * i + d] = points[i][d];
                scan.Points.Value[i] = 1000.0 * s + k;
            }
        }
    }
    ~TestScan() { Scan3_Free(&scan); }

    // Every block holds only points of the scan whose origin it carries,
    // each with its own location; returns the kept values.
    std::multiset<double> Check(const std::vector<Point>& points, const std::vector<int32_t>& sizes) const {
        std::multiset<double> values;
        int32_t i = 0, total = 0;
        for (int32_t s = 0; s < scan.OriginCount; ++s) {
            const double from = scan.Origin[3 * s] / 100.0;
            EXPECT_GT(scan.Size[s], 0);
            total += scan.Size[s];
            for (int32_t k = 0; k < scan.Size[s]; ++k, ++i) {
                const double v = scan.Points.Value[i];
                EXPECT_EQ(std::floor(v / 1000.0), from);
                int32_t index = static_cast<int32_t>(v - 1000.0 * from);
                for (int32_t t = 0; t < static_cast<int32_t>(from); ++t) index += sizes[t];
                EXPECT_EQ(scan.Points.Location[3 * i + 1], points[index][1]);
                values.insert(v);
            }
        }
        EXPECT_EQ(total, scan.Points.Count);
        for (int32_t s = 1; s < scan.OriginCount; ++s) EXPECT_LT(scan.Origin[3 * (s - 1)], scan.Origin[3 * s]);
        return values;
    }
};

std::vector<Point> Random(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Point> points(n);
    for (Point& p : points) p = {u(random), u(random), u(random)};
    return points;
}

TEST(ScanOperations, CropKeepsEachPointInItsScanAndDropsEmptiedScans) {
    // Scan 1 lies wholly outside the box and goes; the others keep their order.
    const std::vector<int32_t> sizes = {40, 10, 30, 25};
    std::vector<Point> points = Random(105, 3);
    for (int i = 40; i < 50; ++i) points[i][0] = 5.0;
    TestScan t(sizes, points);
    const double min[] = {-0.5, -0.5, -0.5}, max[] = {0.5, 0.5, 0.5};
    CapturingReporter capture(kLevelInfo);
    ASSERT_EQ(Selvane_CropScan3(&t.scan, min, max, &capture.reporter), 0);
    std::multiset<double> expected;
    int32_t i = 0;
    for (size_t s = 0; s < sizes.size(); ++s) {
        for (int32_t k = 0; k < sizes[s]; ++k, ++i) {
            bool inside = true;
            for (int d = 0; d < 3; ++d) inside = inside && points[i][d] >= min[d] && points[i][d] <= max[d];
            if (inside) expected.insert(1000.0 * s + k);
        }
    }
    EXPECT_EQ(t.Check(points, sizes), expected);
    EXPECT_EQ(t.scan.OriginCount, 3);
    EXPECT_EQ(t.scan.Origin[3 * 3], 100.0);  // the dropped scan's origin went behind the kept ones
    EXPECT_EQ(t.scan.Size[3], 0);
    bool said = false;
    for (const auto& line : capture.lines) said = said || line.text.rfind("Output Scans:", 0) == 0;
    EXPECT_TRUE(said);
    EXPECT_EQ(Selvane_CropScan3(&t.scan, min, nullptr, nullptr), ApiStatus_InvalidArgument);
    Scan3 broken = t.scan;
    ++broken.Size[0];
    EXPECT_EQ(Selvane_CropScan3(&broken, min, max, nullptr), ApiStatus_BadScan);
    --broken.Size[0];  // the copy shares the size array
}

TEST(ScanOperations, RangeCropsAsATable) {
    // Scan 0 at the origin, scan 1 at (100, 0, 0); points at distances 1 to 5
    // from their own origin.
    std::vector<Point> points;
    for (int s = 0; s < 2; ++s) {
        for (int r = 1; r <= 5; ++r) points.push_back({100.0 * s + r, 0, 0});
    }
    const struct {
        const char* name;
        double minimum, maximum;
        std::vector<double> kept;  // the distances kept in each scan
        bool silent;
    } cases[] = {
        {"both ranges below 0", -1, -1, {1, 2, 3, 4, 5}, true},
        {"both ranges 0", 0, 0, {1, 2, 3, 4, 5}, false},
        {"minimum only (on it kept)", 2, 0, {2, 3, 4, 5}, false},
        {"maximum only (on it kept)", -1, 4, {1, 2, 3, 4}, false},
        {"both", 2.5, 3.5, {3}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestScan t({5, 5}, points);
        CapturingReporter capture(kLevelDebug);
        ASSERT_EQ(Selvane_CropScanRange3(&t.scan, c.minimum, c.maximum, &capture.reporter), 0);
        EXPECT_EQ(capture.lines.empty(), c.silent);
        std::multiset<double> expected;
        for (int s = 0; s < 2; ++s) {
            for (double r : c.kept) expected.insert(1000.0 * s + r - 1);
        }
        EXPECT_EQ(t.Check(points, {5, 5}), expected);
    }
}

TEST(ScanOperations, TrimRemovesFarPointsAndEmptiedScans) {
    const std::vector<int32_t> sizes = {3, 2, 3};
    const std::vector<Point> points = {{0, 0, 0}, {9, 0, 0}, {0, 1, 0}, {7, 7, 7},
                                       {8, 8, 8}, {0, 2, 0}, {0, 3, 0}, {6, 6, 6}};
    TestScan t(sizes, points);
    PointList3 trim{};
    ASSERT_EQ(PointList3_Create(&trim, 4, 0, 0, 0, 0, 0), 0);
    const double xyz[] = {0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0};
    std::copy(xyz, xyz + 12, trim.Location);
    trim.Count = 4;
    CapturingReporter abort(kLevelError);
    abort.reporter.abort = 1;
    EXPECT_EQ(Selvane_TrimScan3(&t.scan, &trim, 0.5, &abort.reporter), ApiStatus_UserAbort);
    EXPECT_EQ(t.scan.Points.Count, 8);
    EXPECT_EQ(Selvane_TrimScan3(&t.scan, &trim, 0.0, nullptr), ApiStatus_NegativeDistance);
    int status = ApiStatus_NoMemory;
    for (int32_t allowed = 0; status != ApiStatus_Success; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Selvane_TrimScan3(&t.scan, &trim, 0.5, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        if (status == ApiStatus_Success) break;
        ASSERT_EQ(status, ApiStatus_NoMemory);
        ASSERT_EQ(t.scan.Points.Count, 8);
        ASSERT_EQ(t.scan.OriginCount, 3);
    }
    EXPECT_EQ(t.Check(points, sizes), (std::multiset<double>{0, 2, 2000, 2001}));
    EXPECT_EQ(t.scan.OriginCount, 2);
    EXPECT_EQ(t.scan.Origin[3], 200.0);
    PointList3_Free(&trim);
}

TEST(ScanOperations, RemoveClosePointsRegroupsTheScans) {
    // Scan 1 repeats a point of scan 0 and one of scan 2; scan 3 is one point
    // that repeats a point of scan 0 and is left empty.
    const std::vector<int32_t> sizes = {3, 3, 2, 1};
    const std::vector<Point> points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 0, 0}, {5, 5, 5},
                                       {3, 0, 0}, {3, 0, 0}, {4, 0, 0}, {2, 0, 0}};
    TestScan t(sizes, points);
    int32_t unchanged = -2;
    ASSERT_EQ(RemoveClosePointsScan3(&t.scan, 0.0, 0, &unchanged, nullptr), 0);
    EXPECT_EQ(unchanged, 0);
    EXPECT_EQ(t.scan.Points.Count, 6);
    const std::multiset<double> kept = t.Check(points, sizes);
    EXPECT_EQ(kept.size(), 6u);
    std::set<Point> locations;
    for (int32_t i = 0; i < t.scan.Points.Count; ++i) {
        locations.insert(
            {t.scan.Points.Location[3 * i], t.scan.Points.Location[3 * i + 1], t.scan.Points.Location[3 * i + 2]});
    }
    EXPECT_EQ(locations.size(), 6u);  // one of each place
    EXPECT_LE(t.scan.OriginCount, 3);
    ASSERT_EQ(RemoveClosePointsScan3(&t.scan, 0.0, 0, &unchanged, nullptr), 0);
    EXPECT_EQ(unchanged, 1);
    // A scan that fails its check is refused as a bad mesh would be.
    EXPECT_EQ(RemoveClosePointsScan3(nullptr, 0.0, 0, &unchanged, nullptr), ApiStatus_BadMesh);
    t.scan.Size[0] += 1;  // the sizes no longer add up to the points
    EXPECT_EQ(RemoveClosePointsScan3(&t.scan, 0.0, 0, &unchanged, nullptr), ApiStatus_BadMesh);
    EXPECT_EQ(unchanged, -1);
}

}  // namespace
