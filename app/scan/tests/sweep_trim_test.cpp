// Sweep trimming on small limb scans: sweeps over overlapping arcs of a
// tapered cylinder, of different resolution. The engines are checked against
// a plain loop over every pair of candidates that follows the same rules, and
// through the erase levels they leave.
#include "app/scan/kd_tree.h"
#include "app/scan/sweep_trim.h"
#include "app/scan/tests/limb_sweeps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using limb_sweeps::kPi;
using limb_sweeps::TrimScan;

uint32_t Level(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

bool Erased(const RawData& raw, int32_t p) {
    const uint32_t level = Level(raw.Points[p]);
    return level >= 1 && level <= raw.EditLimit;
}

float AngleOf(const ScanPoint& p) { return std::atan2(p.Vertex.y, p.Vertex.x) * 180.0f / kPi; }

// ---- The same rules over every pair of candidates -----------------------------

struct Reference {
    std::vector<uint8_t> trimmed, border;
};

Reference BruteForce(const RawData& raw, int mode, float minRadius, float weight, float patchRadius) {
    const int32_t n = raw.NumPoints;
    std::vector<float> score(n);
    std::vector<int32_t> sweep(n), list(n), trimmer(n, -1);
    std::vector<uint8_t> claimed(n, 0);
    Reference out{std::vector<uint8_t>(n, 0), std::vector<uint8_t>(n, 0)};
    SweepTrim_SweepScores(raw, mode == 2 ? 0.0f : weight, score.data());
    SweepTrim_PointSweeps(raw, sweep.data());
    list.resize(SweepTrim_ListCandidates(raw, list.data()));
    if (mode == 2)
        std::stable_sort(list.begin(), list.end(),
                         [&](int32_t a, int32_t b) { return raw.Points[a].ResolutionSq < raw.Points[b].ResolutionSq; });
    auto& trimmed = out.trimmed;
    for (int32_t p = 0; p < n; ++p)
        if (V3_LengthSquared(raw.Points[p].Normal) == 0.0f) trimmed[p] = 1;
    auto d2 = [&](int32_t a, int32_t b) { return V3_DistanceSquared(raw.Points[a].Vertex, raw.Points[b].Vertex); };
    auto within = [&](int32_t centre, float r) {
        std::vector<int32_t> found;
        for (int32_t j : list)
            if (d2(centre, j) < r * r) found.push_back(j);
        return found;
    };
    auto nearest = [&](int32_t centre, float r) {
        std::vector<int32_t> found = within(centre, r);
        std::stable_sort(found.begin(), found.end(),
                         [&](int32_t a, int32_t b) { return d2(centre, a) < d2(centre, b); });
        return found;
    };
    auto wins = [&](int32_t a, int32_t b) {
        return score[a] < score[b] || (score[a] == score[b] && sweep[a] < sweep[b]);
    };
    auto agree = [&](int32_t a, int32_t b) { return SweepTrim_NormalsAgree(a, b, raw); };
    auto r = [&](int32_t p) { return SweepTrim_PointRadius(raw.Points[p]); };
    for (int32_t i : list) {
        if (mode == 1) {
            for (int32_t j : within(i, std::max(r(i), minRadius)))
                if (sweep[j] != sweep[i] && !trimmed[j] && wins(i, j) && agree(j, i)) {
                    trimmed[j] = 1;
                    trimmer[j] = i;
                }
            continue;
        }
        if (trimmed[i]) continue;
        for (int32_t q : within(i, patchRadius)) {
            if (sweep[q] != sweep[i] || claimed[q]) continue;
            claimed[q] = 1;
            for (int32_t j : within(q, std::max(r(q), minRadius)))
                if (sweep[j] != sweep[q] && !claimed[j] && agree(j, q)) {
                    claimed[j] = trimmed[j] = 1;
                    trimmer[j] = q;
                }
        }
    }
    for (int32_t i : list) {
        if (trimmed[i]) continue;
        std::vector<int32_t> near = nearest(i, r(i));
        int32_t m = -1;
        for (int32_t p : near)
            if (sweep[p] == sweep[i] && trimmed[p]) {
                m = p;
                break;
            }
        if (m < 0) continue;
        if (r(i) < r(trimmer[m])) near = nearest(i, r(trimmer[m]));
        int32_t ref = m;
        for (int32_t p : near) {
            if (sweep[p] == sweep[i]) {
                if (trimmed[p]) out.border[p] = 1, ref = p;
            } else if (wins(p, ref) && agree(p, ref)) {
                break;
            }
        }
    }
    return out;
}

int RunMode(RawData& raw, int mode, SweepTrimProgress* progress = nullptr, const volatile uint8_t* abort = nullptr) {
    return mode == 1 ? SweepTrim_MarkPointsMode1(raw, 0.5f, 0.0f, progress, abort)
                     : SweepTrim_MarkPointsMode2(raw, 0.5f, 10.0f, progress, abort);
}

// Sweep 0 at 1 mm, sweep 1 at 1.5 mm over an arc that overlaps sweep 0's
// between 70 and 100 degrees.
void MakeTwoLimbSweeps(TrimScan& scan) {
    scan.AddArc(0.0f, 100.0f, 12.0f, 1.0f, 1);
    scan.AddArc(70.0f, 170.0f, 12.0f, 1.5f, 2);
}

class SweepTrimModes : public ::testing::TestWithParam<int> {};

TEST_P(SweepTrimModes, ThePoorerSweepLosesTheOverlapAsTheFullSearchSays) {
    const int mode = GetParam();
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    RawData& raw = scan.Raw();
    const Reference expected = BruteForce(raw, mode, 0.5f, 0.0f, 10.0f);
    ASSERT_EQ(RunMode(raw, mode), kSweepTrimDone);
    ASSERT_EQ(raw.EditLimit, 2u);
    EXPECT_EQ(raw.EditLevelTop, 2u);
    int border = 0, core = 0;
    for (int32_t p = 0; p < raw.NumPoints; ++p) {
        SCOPED_TRACE(p);
        const uint32_t want = !expected.trimmed[p] ? 0 : expected.border[p] ? 2 : 1;
        ASSERT_EQ(Level(raw.Points[p]), want);
        border += want == 2;
        core += want == 1;
    }
    EXPECT_GT(border, 0);
    EXPECT_GT(core, border);
    // The better sweep keeps everything; the poorer loses the inside of the
    // overlap and keeps what lies well away from it.
    for (int32_t p = scan.First(0); p < scan.End(0); ++p) EXPECT_FALSE(Erased(raw, p)) << p;
    for (int32_t p = scan.First(1); p < scan.End(1); ++p) {
        const float a = AngleOf(raw.Points[p]);
        if (a < 97.0f) {
            EXPECT_TRUE(Erased(raw, p)) << a;
        } else if (a > 104.0f) {
            EXPECT_FALSE(Erased(raw, p)) << a;
        }
    }
}

TEST_P(SweepTrimModes, OneUndoBringsBackTheBorderTwoEverything) {
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    RawData& raw = scan.Raw();
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    std::vector<bool> after(raw.NumPoints);
    for (int32_t p = 0; p < raw.NumPoints; ++p) after[p] = Erased(raw, p);
    raw.EditLimit = 1;
    for (int32_t p = 0; p < raw.NumPoints; ++p) EXPECT_EQ(after[p] && !Erased(raw, p), Level(raw.Points[p]) == 2) << p;
    raw.EditLimit = 0;
    for (int32_t p = 0; p < raw.NumPoints; ++p) EXPECT_FALSE(Erased(raw, p)) << p;
}

TEST_P(SweepTrimModes, ASecondRunKeepsTheFirstResult) {
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    RawData& raw = scan.Raw();
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    std::vector<uint32_t> first;
    for (int32_t p = 0; p < raw.NumPoints; ++p) first.push_back(Level(raw.Points[p]));
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    EXPECT_EQ(raw.EditLimit, 4u);
    for (int32_t p = 0; p < raw.NumPoints; ++p)
        if (first[p]) {
            EXPECT_EQ(Level(raw.Points[p]), first[p]) << p;
        }
}

TEST_P(SweepTrimModes, AnUndoneEraseLevelIsDroppedFirst) {
    TrimScan scan;
    scan.AddArc(0.0f, 40.0f, 6.0f, 1.0f, 3);
    scan.AddArc(120.0f, 160.0f, 6.0f, 1.0f, 4);
    RawData& raw = scan.Raw();
    // Erase step 1 over sweep 1, then undone.
    for (int32_t p = scan.First(1); p < scan.End(1); ++p) raw.Points[p].Flags = 1u << kPointEraseShift | 7u;
    raw.EditLimit = 0;
    raw.EditLevelTop = 1;
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    EXPECT_EQ(raw.EditLimit, 2u);
    EXPECT_EQ(raw.EditLevelTop, 2u);
    // Far apart, nothing is trimmed; the undone step is gone, the selection bits stay.
    for (int32_t p = 0; p < raw.NumPoints; ++p) EXPECT_EQ(Level(raw.Points[p]), 0u) << p;
    EXPECT_EQ(raw.Points[scan.First(1)].Flags, 7u);
}

TEST_P(SweepTrimModes, HiddenSweepsNeitherTrimNorAreTrimmed) {
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    scan.AddArc(80.0f, 95.0f, 12.0f, 2.0f, 5);
    scan.Sweeps()[2].Flags = kSweepHidden;
    scan.Points()[scan.Points().size() - 1].Normal = Vec3{0, 0, 0};
    RawData& raw = scan.Raw();
    TrimScan alone;
    MakeTwoLimbSweeps(alone);
    RawData& plain = alone.Raw();
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    ASSERT_EQ(RunMode(plain, GetParam()), kSweepTrimDone);
    // The hidden sweep changed nothing of the others' result and kept its own flags.
    for (int32_t p = 0; p < plain.NumPoints; ++p) EXPECT_EQ(raw.Points[p].Flags, plain.Points[p].Flags) << p;
    for (int32_t p = scan.First(2); p < scan.End(2); ++p) EXPECT_EQ(raw.Points[p].Flags, 0u) << p;
    // With the good sweep hidden, the poorer one loses nothing.
    TrimScan other;
    MakeTwoLimbSweeps(other);
    other.Sweeps()[0].Flags = kSweepHidden;
    RawData& hiddenGood = other.Raw();
    ASSERT_EQ(RunMode(hiddenGood, GetParam()), kSweepTrimDone);
    for (int32_t p = 0; p < hiddenGood.NumPoints; ++p) EXPECT_EQ(hiddenGood.Points[p].Flags, 0u) << p;
}

TEST_P(SweepTrimModes, ZeroNormalsAreErasedEvenWithoutOverlap) {
    TrimScan scan;
    scan.AddArc(0.0f, 30.0f, 4.0f, 1.0f, 6);
    RawData& raw = scan.Raw();
    const int32_t flat = raw.NumPoints / 2;
    raw.Points[flat].Normal = Vec3{0, 0, 0};
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    for (int32_t p = 0; p < raw.NumPoints; ++p) EXPECT_EQ(Level(raw.Points[p]), p == flat ? 1u : 0u) << p;
}

TEST_P(SweepTrimModes, ASweepAndItsCopyKeepOneOverlap) {
    // Equal scores: the lower sweep wins everywhere, so the surface keeps one
    // layer of points and no hole.
    TrimScan scan;
    scan.AddArc(0.0f, 50.0f, 8.0f, 1.0f, 7);
    scan.AddCopy(0);
    RawData& raw = scan.Raw();
    ASSERT_EQ(RunMode(raw, GetParam()), kSweepTrimDone);
    for (int32_t p = scan.First(0); p < scan.End(0); ++p) EXPECT_FALSE(Erased(raw, p)) << p;
    for (int32_t p = scan.First(1); p < scan.End(1); ++p) EXPECT_TRUE(Erased(raw, p)) << p;
}

class CountingProgress : public SweepTrimProgress {
  public:
    void BeginStage(int steps, float end) override {
        stages.push_back(steps);
        ends.push_back(end);
    }
    void Step() override { ++steps; }
    std::vector<int> stages;
    std::vector<float> ends;
    int steps = 0;
};

TEST_P(SweepTrimModes, AnAbortSetBeforeTheStartWritesNothing) {
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    RawData& raw = scan.Raw();
    raw.Points[0].Normal = Vec3{0, 0, 0};
    raw.EditLimit = 3;
    raw.EditLevelTop = 5;
    const std::vector<uint32_t> before = scan.Flags();
    const volatile uint8_t abort = 1;
    CountingProgress progress;
    EXPECT_EQ(RunMode(raw, GetParam(), &progress, &abort), kSweepTrimAborted);
    EXPECT_EQ(scan.Flags(), before);
    EXPECT_EQ(raw.EditLimit, 3u);
    EXPECT_EQ(raw.EditLevelTop, 5u);
    EXPECT_EQ(progress.stages.size(), 1u);
    EXPECT_EQ(progress.steps, 0);
}

TEST_P(SweepTrimModes, ProgressRunsTwoStagesOfTheCandidates) {
    TrimScan scan;
    MakeTwoLimbSweeps(scan);
    RawData& raw = scan.Raw();
    CountingProgress progress;
    ASSERT_EQ(RunMode(raw, GetParam(), &progress), kSweepTrimDone);
    ASSERT_EQ(progress.stages.size(), 2u);
    EXPECT_EQ(progress.stages[0], raw.NumPoints);
    EXPECT_EQ(progress.stages[1], raw.NumPoints);
    EXPECT_EQ(progress.ends, (std::vector<float>{0.8f, 1.0f}));
    EXPECT_LE(progress.steps, 2 * raw.NumPoints);
    EXPECT_GT(progress.steps, raw.NumPoints);
}

// ---- Allocation failures -------------------------------------------------------

int g_allocations = 0;
int g_failAt = -1;
bool g_failTree = false;

void* CountingAllocate(size_t bytes) {
    if (g_allocations++ == g_failAt) return nullptr;
    return std::malloc(bytes);
}

int MaybeBuildTree(const Vec3* points, int32_t count, KdTree** tree) {
    if (g_failTree) return 0;
    return KdTree_Build(points, count, tree);
}

TEST_P(SweepTrimModes, EveryAllocationFailureLeavesTheFlagsAsTheyWere) {
    SweepTrimMemory memory;
    memory.allocate = CountingAllocate;
    memory.buildTree = MaybeBuildTree;
    SweepTrim_SetMemory(memory);
    int total = 0;
    {
        TrimScan scan;
        MakeTwoLimbSweeps(scan);
        g_allocations = 0;
        g_failAt = -1;
        g_failTree = false;
        ASSERT_EQ(RunMode(scan.Raw(), GetParam()), kSweepTrimDone);
        total = g_allocations;
    }
    EXPECT_EQ(total, GetParam() == 2 ? 9 : 7);
    for (int fail = 0; fail <= total; ++fail) {
        SCOPED_TRACE(fail);
        TrimScan scan;
        MakeTwoLimbSweeps(scan);
        RawData& raw = scan.Raw();
        raw.EditLimit = 1;
        raw.EditLevelTop = 2;
        const std::vector<uint32_t> before = scan.Flags();
        g_allocations = 0;
        g_failAt = fail < total ? fail : -1;
        g_failTree = fail == total;
        EXPECT_EQ(RunMode(raw, GetParam()), kSweepTrimOutOfMemory);
        EXPECT_EQ(scan.Flags(), before);
        EXPECT_EQ(raw.EditLimit, 1u);
        EXPECT_EQ(raw.EditLevelTop, 2u);
    }
    SweepTrim_SetMemory(SweepTrimMemory());
}

INSTANTIATE_TEST_SUITE_P(BothModes, SweepTrimModes, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& info) { return "Mode" + std::to_string(info.param); });

// ---- Scores and marks ----------------------------------------------------------

TEST(SweepTrim, ScoresAverageResolutionAndTheWeightedPendingMoveOverTheWholeSweep) {
    TrimScan scan;
    scan.AddArc(0.0f, 10.0f, 2.0f, 1.0f, 8);
    scan.AddArc(20.0f, 30.0f, 2.0f, 2.0f, 9);
    SweepRecord& moved = scan.Sweeps()[1];
    moved.Flags = kSweepPendingTransform;
    M4_MakeTranslation(Vec3{3.0f, 0.0f, 4.0f}, moved.PendingTransform);
    RawData& raw = scan.Raw();
    // One erased point of sweep 1 counts in the count but not in the sum.
    raw.EditLimit = 1;
    raw.Points[scan.First(1)].Flags = 1u << kPointEraseShift;
    std::vector<float> scores(raw.NumPoints);
    SweepTrim_SweepScores(raw, 0.5f, scores.data());
    const int32_t n1 = scan.End(1) - scan.First(1);
    EXPECT_FLOAT_EQ(scores[0], 1.0f);
    EXPECT_NEAR(scores[scan.First(1) + 1], (4.0f + 0.25f * 25.0f) * (n1 - 1) / n1, 1e-4f);
    // Points are in their sweeps; a hidden sweep's points are no candidates.
    std::vector<int32_t> sweeps(raw.NumPoints), list(raw.NumPoints);
    SweepTrim_PointSweeps(raw, sweeps.data());
    EXPECT_EQ(sweeps[scan.End(0) - 1], 0);
    EXPECT_EQ(sweeps[scan.First(1)], 1);
    EXPECT_EQ(SweepTrim_ListCandidates(raw, list.data()), raw.NumPoints - 1);
    scan.Sweeps()[0].Flags = kSweepHidden;
    EXPECT_EQ(SweepTrim_ListCandidates(raw, list.data()), n1 - 1);
}

TEST(SweepTrim, MarksGoToVisibleUnerasedPointsAtTheNextLevel) {
    TrimScan scan;
    scan.AddArc(0.0f, 5.0f, 0.0f, 1.0f, 10);
    scan.AddArc(20.0f, 25.0f, 0.0f, 1.0f, 11);
    scan.Sweeps()[1].Flags = kSweepHidden;
    RawData& raw = scan.Raw();
    raw.Points[0].Flags = (2u << kPointEraseShift) | 3u;  // erased at level 2
    raw.Points[1].Flags = 3u << kPointEraseShift;         // an undone level
    raw.EditLimit = 2;
    raw.EditLevelTop = 3;
    std::vector<uint8_t> marks(raw.NumPoints, 1);
    marks[2] = 0;
    SweepTrim_ApplyMarks(raw, marks.data());
    EXPECT_EQ(raw.EditLimit, 3u);
    EXPECT_EQ(raw.EditLevelTop, 3u);
    EXPECT_EQ(raw.Points[0].Flags, (2u << kPointEraseShift) | 3u);
    EXPECT_EQ(Level(raw.Points[1]), 3u);
    EXPECT_EQ(Level(raw.Points[2]), 0u);
    EXPECT_EQ(Level(raw.Points[3]), 3u);
    for (int32_t p = scan.First(1); p < scan.End(1); ++p) EXPECT_EQ(raw.Points[p].Flags, 0u);
}

TEST(SweepTrim, AnEmptyScanGetsTwoEmptyLevels) {
    TrimScan scan;
    RawData& raw = scan.Raw();
    EXPECT_EQ(SweepTrim_MarkPointsMode1(raw, 0.5f, 1.0f, nullptr, nullptr), kSweepTrimDone);
    EXPECT_EQ(SweepTrim_MarkPointsMode2(raw, 0.5f, 10.0f, nullptr, nullptr), kSweepTrimDone);
    EXPECT_EQ(raw.EditLimit, 4u);
}

}  // namespace
