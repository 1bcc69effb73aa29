#include "surface/fit/duplicate_operations.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

// Every per-point quantity is a distinct function of the point's place, so
// that after a reordering each array can be checked against its point.
double Tag(const double* p, int field) { return field * 1000.0 + p[0] + 10.0 * p[1] + 100.0 * p[2]; }

struct List3 {
    PointList3 list{};
    int32_t alt = -1;
    explicit List3(const std::vector<std::array<double, 3>>& points) {
        const int n = static_cast<int>(points.size());
        EXPECT_EQ(PointList3_Create(&list, n, 1, 1, 1, 1, 1), 0);
        EXPECT_EQ(PointList3_AddAltSet(&list, "other", &alt, 1, 0, 1, 1, 1), 0);
        list.Count = n;
        for (int i = 0; i < n; ++i) {
            double* p = list.Location + 3 * i;
            for (int k = 0; k < 3; ++k) p[k] = points[i][k];
            Fill(i, list.Value, list.Accuracy, list.Lower, list.Upper, list.Gradient, 0);
            PointListAltSet& s = list.Alt[alt];
            Fill(i, s.Value, nullptr, s.Lower, s.Upper, s.Gradient, 10);
        }
    }
    ~List3() { PointList3_Free(&list); }
    void Fill(int i, double* v, double* a, double* l, double* u, double* g, int base) {
        const double* p = list.Location + 3 * i;
        v[i] = Tag(p, base + 1);
        if (a) a[i] = Tag(p, base + 2);
        l[i] = Tag(p, base + 3);
        u[i] = Tag(p, base + 4);
        for (int k = 0; k < 3; ++k) g[3 * i + k] = Tag(p, base + 5 + k);
    }
    // Each remaining point carries its own quantities in every array.
    void ExpectFollowed() {
        for (int i = 0; i < list.Count; ++i) {
            SCOPED_TRACE(i);
            const double* p = list.Location + 3 * i;
            PointListAltSet& s = list.Alt[alt];
            EXPECT_EQ(list.Value[i], Tag(p, 1));
            EXPECT_EQ(list.Accuracy[i], Tag(p, 2));
            EXPECT_EQ(list.Lower[i], Tag(p, 3));
            EXPECT_EQ(list.Upper[i], Tag(p, 4));
            EXPECT_EQ(s.Value[i], Tag(p, 11));
            EXPECT_EQ(s.Lower[i], Tag(p, 13));
            EXPECT_EQ(s.Upper[i], Tag(p, 14));
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(list.Gradient[3 * i + k], Tag(p, 5 + k));
                EXPECT_EQ(s.Gradient[3 * i + k], Tag(p, 15 + k));
            }
        }
    }
};

bool HasLine(const CapturingReporter& r, const std::string& start, const std::string& end) {
    for (const auto& line : r.lines)
        if (line.text.rfind(start, 0) == 0 && line.text.size() >= end.size() &&
            line.text.compare(line.text.size() - end.size(), end.size(), end) == 0)
            return true;
    return false;
}

TEST(UniquePoints, EveryPerPointArrayFollowsItsPoint) {
    // Duplicates before kept points, so that kept points are moved forward.
    List3 l({{0, 0, 0}, {0, 0, 0}, {1, 2, 3}, {1, 2, 3}, {4, 0, 1}, {5, 5, 5}, {1, 2, 3}, {9, 1, 2}});
    CapturingReporter r(6);
    int32_t unchanged = 7;
    EXPECT_EQ(Selvane_Unique3(&l.list, 0.0, 0, &unchanged, &r.reporter), ApiStatus_Success);
    EXPECT_EQ(l.list.Count, 5);
    EXPECT_EQ(unchanged, 0);
    l.ExpectFollowed();
    EXPECT_TRUE(HasLine(r, "Distance Type", "Relative"));  // distance 0 became 1e-10 relative
    EXPECT_TRUE(HasLine(r, "Removed 3 points", ""));

    // A second pass finds nothing more to remove.
    EXPECT_EQ(Selvane_Unique3(&l.list, 0.0, 0, &unchanged, nullptr), ApiStatus_Success);
    EXPECT_EQ(unchanged, 1);
    EXPECT_EQ(l.list.Count, 5);
}

TEST(UniquePoints, OnePointAndUnusableLists) {
    List3 one({{1, 1, 1}});
    int32_t unchanged = 7;
    EXPECT_EQ(Selvane_Unique3(&one.list, 1e-3, 0, &unchanged, nullptr), ApiStatus_Success);
    EXPECT_EQ(unchanged, 1);
    EXPECT_EQ(Selvane_Unique3(nullptr, 1e-3, 0, &unchanged, nullptr), ApiStatus_BadPointList);
    EXPECT_EQ(unchanged, -1);
    std::vector<int32_t> keep(1);
    EXPECT_EQ(FindDuplicatePoints3(&one.list, 0.0, 0, keep.data(), nullptr, nullptr, nullptr), ApiStatus_Success);
    EXPECT_EQ(keep[0], 1);
    EXPECT_EQ(FindDuplicatePoints3(&one.list, 0.0, 0, nullptr, nullptr, nullptr, nullptr), ApiStatus_InvalidArgument);
}

TEST(FindDuplicates, ThreeCoincidentPointsLeaveTheListAsItIs) {
    List3 l({{2, 2, 2}, {2, 2, 2}, {2, 2, 2}});
    CapturingReporter r(6);
    std::vector<int32_t> keep(3, -1), rep(3, -1);
    int32_t kept = -1;
    EXPECT_EQ(FindDuplicatePoints3(&l.list, 0.0, 1, keep.data(), rep.data(), &kept, &r.reporter), ApiStatus_Success);
    EXPECT_EQ(keep, (std::vector<int32_t>{1, 0, 0}));
    EXPECT_EQ(rep, (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(l.list.Count, 3);
    EXPECT_TRUE(HasLine(r, "Duplicate Points", "2"));
}

TEST(UniquePoints, TwoDimensionalListsMoveTheirGradientPairs) {
    PointList2 l{};
    ASSERT_EQ(PointList2_Create(&l, 4, 1, 0, 1, 1, 1), 0);
    const double xy[4][2] = {{0, 0}, {0, 0}, {3, 1}, {2, 7}};
    l.Count = 4;
    for (int i = 0; i < 4; ++i) {
        l.Location[2 * i] = xy[i][0];
        l.Location[2 * i + 1] = xy[i][1];
        l.Value[i] = l.Lower[i] = l.Upper[i] = xy[i][0] + 10 * xy[i][1];
        l.Gradient[2 * i] = -xy[i][0];
        l.Gradient[2 * i + 1] = -xy[i][1];
    }
    int32_t unchanged = -1;
    EXPECT_EQ(Selvane_Unique2(&l, 1e-6, 0, &unchanged, nullptr), ApiStatus_Success);
    EXPECT_EQ(l.Count, 3);
    EXPECT_EQ(unchanged, 0);
    for (int i = 0; i < 3; ++i) {
        double tag = l.Location[2 * i] + 10 * l.Location[2 * i + 1];
        EXPECT_EQ(l.Value[i], tag);
        EXPECT_EQ(l.Lower[i], tag);
        EXPECT_EQ(l.Upper[i], tag);
        EXPECT_EQ(l.Gradient[2 * i], -l.Location[2 * i]);
        EXPECT_EQ(l.Gradient[2 * i + 1], -l.Location[2 * i + 1]);
    }
    std::vector<int32_t> keep(3);
    EXPECT_EQ(FindDuplicatePoints2(&l, 1e-6, 0, keep.data(), nullptr, nullptr, nullptr), ApiStatus_Success);
    EXPECT_EQ(keep, (std::vector<int32_t>{1, 1, 1}));
    PointList2_Free(&l);
}

TEST(UniquePoints, AbortStopsTheOperationAndLeaksNothing) {
    List3 l({{0, 0, 0}, {0, 0, 0}, {1, 2, 3}});
    CapturingReporter r(0);
    r.reporter.abort = 1;
    const std::size_t before = Mem_CurrentBytes();
    int32_t unchanged = 7;
    EXPECT_EQ(Selvane_Unique3(&l.list, 0.0, 0, &unchanged, &r.reporter), ApiStatus_UserAbort);
    EXPECT_EQ(unchanged, -1);
    EXPECT_EQ(l.list.Count, 3);
    EXPECT_EQ(Mem_CurrentBytes(), before);
}

}  // namespace
