#include "surface/fit/eval_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "surface/fit/tests/point_clouds.h"
#include "surface/frame/tests/tracked_memory_fixture.h"

namespace {

class EvalTreeTest : public TrackedMemoryTest {};

// The panel splits in the widest coordinate of its points' box (the lowest
// on a tie) at its ball centre's coordinate: child 0 holds the points at or
// below it, child 1 those above.
void ExpectSplitAtTheBallCentre(const EvalTree& tree, const EvalPanel& p, const double* const* pts) {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int i = p.First; i < p.End; ++i)
        for (int j = 0; j < tree.Dim; ++j) {
            lo[j] = std::min(lo[j], pts[tree.Permutation[i]][j]);
            hi[j] = std::max(hi[j], pts[tree.Permutation[i]][j]);
        }
    int widest = 0;
    for (int j = 1; j < tree.Dim; ++j)
        if (hi[j] - lo[j] > hi[widest] - lo[widest]) widest = j;
    ASSERT_EQ(widest, p.SplitDim);
    const double v = p.Centre[widest];
    for (int child = 0; child < 2; ++child) {
        const EvalPanel* c = p.Child[child];
        if (c == nullptr) continue;
        EXPECT_EQ(child, c->WhichChild);
        EXPECT_EQ(&p, c->Parent);
        for (int i = c->First; i < c->End; ++i) {
            const double x = pts[tree.Permutation[i]][widest];
            if (child == 0) {
                EXPECT_LE(x, v);
            } else {
                EXPECT_GT(x, v);
            }
        }
    }
}

// Each level's ranges are disjoint and inside the permutation; children
// partition their parent; every panel's ball holds its points.
void CheckInvariants(const EvalTree& tree, const double* const* pts) {
    std::vector<int32_t> sorted(tree.Permutation, tree.Permutation + tree.N);
    std::sort(sorted.begin(), sorted.end());
    for (int32_t i = 0; i < tree.N; ++i) ASSERT_EQ(sorted[i], i);
    ASSERT_LE(tree.DeepestLevel, 39);
    for (int level = 0; level < kEvalTreeLevels; ++level) {
        std::vector<std::pair<int, int>> ranges;
        int count = 0;
        for (const EvalPanel* p = tree.Levels[level]; p; p = p->Next) {
            ++count;
            EXPECT_EQ(p->Level, level);
            EXPECT_EQ(p->Count, p->End - p->First);
            EXPECT_GT(p->Count, 0);
            ranges.push_back({p->First, p->End});
            for (int i = p->First; i < p->End; ++i) {
                double d2 = 0;
                for (int j = 0; j < tree.Dim; ++j) d2 += std::pow(pts[tree.Permutation[i]][j] - p->Centre[j], 2);
                EXPECT_LE(std::sqrt(d2), p->Radius * (1 + 1e-12) + 1e-12);
            }
            if (p->Child[0] || p->Child[1]) {
                ExpectSplitAtTheBallCentre(tree, *p, pts);
                const int a = p->Child[0] ? p->Child[0]->Count : 0, b = p->Child[1] ? p->Child[1]->Count : 0;
                EXPECT_EQ(a + b, p->Count);
                if (p->Child[0]) {
                    EXPECT_EQ(p->Child[0]->First, p->First);
                }
                if (p->Child[1]) {
                    EXPECT_EQ(p->Child[1]->End, p->End);
                }
                EXPECT_GE(p->Count, tree.MinInPanel);
            } else if (level < 39) {
                EXPECT_LT(p->Count, tree.MinInPanel);
            }
        }
        EXPECT_EQ(count, tree.LevelCounts[level]);
        std::sort(ranges.begin(), ranges.end());
        for (size_t i = 1; i < ranges.size(); ++i) EXPECT_LE(ranges[i - 1].second, ranges[i].first);
        if (level == 0) {
            EXPECT_EQ(count, 1);
        }
    }
}

TEST_F(EvalTreeTest, InvariantsOverCloudsInEveryDimension) {
    for (int d = 1; d <= 3; ++d)
        for (int n : {1, 2, 17, 500}) {
            SCOPED_TRACE(testing::Message() << "d " << d << " n " << n);
            Cloud c = UniformCloud(d, n, 11 + n);
            ASSERT_EQ(Mem_TrackBegin(), 0);
            EvalTree tree;
            ASSERT_EQ(EvalTree_Build(n, d, c.Table(), 8, &tree), 0);
            CheckInvariants(tree, c.Table());
            EXPECT_GT(Mem_CurrentBytes(), 0u);
            EvalTree_Free(&tree);
            EXPECT_EQ(Mem_CurrentBytes(), 0u);
            EXPECT_EQ(tree.Root, nullptr);
            Mem_TrackEnd();
        }
}

TEST_F(EvalTreeTest, EdgeCases) {
    Cloud same;
    same.d = 3;
    for (int i = 0; i < 6; ++i) same.Add({1, 2, 3});
    Cloud one;
    one.d = 3;
    one.Add({1, 2, 3});
    Cloud oneOff;  // equal in the widest coordinate except one point
    oneOff.d = 2;
    for (int i = 0; i < 5; ++i) oneOff.Add({0, 0.1 * i});
    oneOff.Add({4, 0});
    struct Case {
        const char* name;
        Cloud* cloud;
        int deepest;
        double radius;
        int rootChildren;
    } cases[] = {
        {"coincident points split to level 39", &same, 39, -1, 1},
        {"one point: root only, radius from the pivot tolerance", &one, 0, std::sqrt(3 * 2.220446e-13), 0},
        {"all equal in the widest coordinate but one", &oneOff, -1, -1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EvalTree tree;
        ASSERT_EQ(EvalTree_Build(c.cloud->N(), c.cloud->d, c.cloud->Table(), 2, &tree), 0);
        CheckInvariants(tree, c.cloud->Table());
        if (c.deepest >= 0) {
            EXPECT_EQ(tree.DeepestLevel, c.deepest);
        }
        if (c.radius >= 0) {
            EXPECT_DOUBLE_EQ(tree.Root->Radius, c.radius);
        }
        EXPECT_EQ((tree.Root->Child[0] != nullptr) + (tree.Root->Child[1] != nullptr), c.rootChildren);
        EvalTree_Free(&tree);
    }
}

TEST_F(EvalTreeTest, ArgumentsEstimatesAndPayloads) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    Cloud c = UniformCloud(3, 40, 3);
    EvalTree tree;
    EXPECT_EQ(EvalTree_Build(0, 3, c.Table(), 4, &tree), 26);
    EXPECT_EQ(EvalTree_Build(40, 3, c.Table(), 1, &tree), 26);
    EXPECT_EQ(EvalTree_Build(40, 4, c.Table(), 4, &tree), 7);
    EXPECT_EQ(EvalTree_Build(40, 3, nullptr, 4, &tree), 23);
    EXPECT_EQ(EvalTree_Build(40, 3, c.Table(), 4, nullptr), 23);
    EXPECT_EQ(EvalTree_Bytes(1000, 100, nullptr), 2400);
    EvalTree_Free(nullptr);

    ASSERT_EQ(EvalTree_Build(40, 3, c.Table(), 4, &tree), 0);
    int panels = 0;
    for (int l = 0; l < kEvalTreeLevels; ++l) panels += tree.LevelCounts[l];
    EXPECT_EQ(EvalTree_Bytes(40, 4, &tree), 80 * panels);
    static int released;
    released = 0;
    tree.ReleasePayload = [](void* p) {
        ++released;
        Mem_Free(p);
    };
    for (EvalPanel* p = tree.Levels[1]; p; p = p->Next) p->Payload = Mem_Alloc(16);
    const int withPayload = tree.LevelCounts[1];
    EvalTree_Free(&tree);
    EXPECT_EQ(released, withPayload);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);

    // Running out of memory part way frees everything built so far; the
    // allocations fail in turn until the build has all it needs.
    bool succeeded = false;
    for (int allowed = 0; !succeeded && allowed < 100000; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        const int status = EvalTree_Build(40, 3, c.Table(), 4, &tree);
        Mem_FailAllocationsAfterForTesting(-1);
        succeeded = status == 0;
        if (succeeded) {
            EvalTree_Free(&tree);
            break;
        }
        EXPECT_EQ(status, 2);
        EXPECT_EQ(tree.Root, nullptr);
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
    }
    EXPECT_TRUE(succeeded);
    Mem_TrackEnd();
}

}  // namespace
