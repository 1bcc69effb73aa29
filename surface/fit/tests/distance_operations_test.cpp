#include "surface/fit/distance_operations.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

using Point = std::array<double, 3>;

void Fill(PointList3* list, const std::vector<Point>& points) {
    ASSERT_EQ(PointList3_Create(list, static_cast<int32_t>(points.size()), 0, 0, 0, 0, 0), 0);
    for (size_t i = 0; i < points.size(); ++i) std::copy(points[i].begin(), points[i].end(), list->Location + 3 * i);
    list->Count = static_cast<int32_t>(points.size());
}

void Fill2(PointList2* list, const std::vector<Point>& points) {
    ASSERT_EQ(PointList2_Create(list, static_cast<int32_t>(points.size()), 0, 0, 0, 0, 0), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        list->Location[2 * i] = points[i][0];
        list->Location[2 * i + 1] = points[i][1];
    }
    list->Count = static_cast<int32_t>(points.size());
}

double Nearest(const Point& p, const std::vector<Point>& trim, int dims) {
    double best = INFINITY;
    for (const Point& q : trim) {
        double s = 0.0;
        for (int k = 0; k < dims; ++k) s += (p[k] - q[k]) * (p[k] - q[k]);
        best = std::min(best, s);
    }
    return std::sqrt(best);
}

std::vector<Point> Repeat(const Point& p, int n) { return std::vector<Point>(n, p); }

std::vector<Point> Join(std::vector<Point> a, const std::vector<Point>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Point> Random(int n, unsigned seed, double lo, double hi) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<Point> points(n);
    for (Point& p : points) p = {u(random), u(random), u(random)};
    return points;
}

TEST(DistanceOperations, DistancesEqualBruteForceAndCoincidentCasesEnd) {
    const struct {
        const char* name;
        std::vector<Point> input, trim;
    } cases[] = {
        {"random clouds", Random(600, 1, -1, 2), Random(300, 2, 0, 1)},
        {"flat trim set", Random(200, 3, -1, 1), {{0, 0, 0}, {1, 0, 0}, {0.5, 0, 0}}},
        {"trim points at one place", Random(100, 4, -1, 1), Repeat({0.25, 0.25, 0.25}, 30)},
        // Radius from neither box: every point at one place.
        {"everything at one place", Repeat({2, 2, 2}, 5), Repeat({2, 2, 2}, 3)},
        {"one point against itself", {{1, 2, 3}}, {{1, 2, 3}}},
        // Thousands of points in a row on more than the target's number of
        // trim points shrink the radius again and again; a far point after
        // them must still be found.
        {"crowded run, then a far point", Join(Repeat({0, 0, 0}, 4000), {{50, 0, 0}, {0, 0, 0}}),
         Join(Repeat({0, 0, 0}, 40), {{1, 1, 1}})},
    };
    for (const auto& c : cases) {
        for (int dims : {2, 3}) {
            SCOPED_TRACE(std::string(c.name) + (dims == 2 ? " 2D" : " 3D"));
            std::vector<double> got(c.input.size());
            if (dims == 3) {
                PointList3 list, trim;
                Fill(&list, c.input);
                Fill(&trim, c.trim);
                ASSERT_EQ(Selvane_DistanceToPoints3(&list, -1, &trim, nullptr), 0);
                got.assign(list.Value, list.Value + list.Count);
                PointList3_Free(&list);
                PointList3_Free(&trim);
            } else {
                PointList2 list, trim;
                Fill2(&list, c.input);
                Fill2(&trim, c.trim);
                ASSERT_EQ(Selvane_DistanceToPoints2(&list, -1, &trim, nullptr), 0);
                got.assign(list.Value, list.Value + list.Count);
                PointList2_Free(&list);
                PointList2_Free(&trim);
            }
            for (size_t i = 0; i < c.input.size(); ++i) {
                ASSERT_NEAR(got[i], Nearest(c.input[i], c.trim, dims), 1e-12) << i;
            }
        }
    }
}

TEST(DistanceOperations, AlternateSetAbortAndMemory) {
    PointList3 list, trim;
    Fill(&list, {{0, 0, 0}, {3, 4, 0}});
    Fill(&trim, {{0, 0, 0}});
    int32_t set = -1;
    ASSERT_EQ(PointList3_AddAltSet(&list, "Far", &set, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(Selvane_DistanceToPoints3(&list, set, &trim, nullptr), 0);
    EXPECT_EQ(list.Value, nullptr);  // only the chosen set's array is made
    EXPECT_EQ(list.Alt[set].Value[1], 5.0);
    EXPECT_EQ(Selvane_DistanceToPoints3(&list, 4, &trim, nullptr), ApiStatus_BadPointList);

    PointList3 empty;
    Fill(&empty, {});
    EXPECT_EQ(Selvane_DistanceToPoints3(&list, -1, &empty, nullptr), ApiStatus_BadPointList);

    CapturingReporter abort(kLevelError);
    abort.reporter.abort = 1;
    EXPECT_EQ(Selvane_DistanceToPoints3(&list, -1, &trim, &abort.reporter), ApiStatus_UserAbort);

    int status = ApiStatus_NoMemory;
    int32_t failures = 0;
    for (int32_t allowed = 0; status != ApiStatus_Success; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Selvane_DistanceToPoints3(&list, set, &trim, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        if (status != ApiStatus_Success) {
            ++failures;
            ASSERT_EQ(status, ApiStatus_NoMemory);
        }
    }
    EXPECT_GE(failures, 2);  // the tree and the buffer
    PointList3_Free(&list);
    PointList3_Free(&trim);
    PointList3_Free(&empty);
}

}  // namespace
