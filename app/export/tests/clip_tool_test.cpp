// Clipping against a baseline sweep and between the two parts of a scan: the
// removed points are exactly those a brute-force search over the tolerance
// and the normal angle names; refusals change no point; the step is undone,
// redone and dropped as an edit level; an abort leaves the new level out of
// force.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/export/clip_tool.h"
#include "app/scan/raw_data.h"

namespace {

double Uniform(std::mt19937& rng) { return rng() / 4294967296.0; }

uint32_t Level(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

// A scan record over vectors the test owns; sweeps are added in order.
class ClipScan {
  public:
    ClipScan() { std::memset(&raw_, 0, sizeof raw_); }

    void AddSweep(const std::vector<ScanPoint>& points, uint32_t flags) {
        sweeps_.push_back(SweepRecord{});
        sweeps_.back().Flags = flags;
        if (first_.empty()) first_.push_back(0);
        points_.insert(points_.end(), points.begin(), points.end());
        first_.push_back(static_cast<int32_t>(points_.size()));
        Attach();
    }
    RawData& Raw() { return raw_; }
    std::vector<ScanPoint>& Points() { return points_; }
    int32_t SweepOf(int32_t i) const {
        int32_t s = 0;
        while (first_[s + 1] <= i) ++s;
        return s;
    }
    std::vector<uint32_t> Levels() const {
        std::vector<uint32_t> out;
        for (const ScanPoint& p : points_) out.push_back(Level(p));
        return out;
    }

  private:
    void Attach() {
        raw_.Sweeps = sweeps_.data();
        raw_.NumSweeps = raw_.TotalSweeps = raw_.MaxSweeps = static_cast<int32_t>(sweeps_.size());
        raw_.SweepFirstPoint = first_.data();
        raw_.Points = points_.data();
        raw_.NumPoints = raw_.MaxPoints = static_cast<int32_t>(points_.size());
    }
    RawData raw_;
    std::vector<SweepRecord> sweeps_;
    std::vector<int32_t> first_;
    std::vector<ScanPoint> points_;
};

ScanPoint Point(Vec3 at, Vec3 normal) {
    ScanPoint p{};
    p.Vertex = at;
    V3_Normalise(normal, p.Normal);
    return p;
}

// The plane z = 0 sampled every 2 mm, normals up with a little tilt.
std::vector<ScanPoint> Plane(std::mt19937& rng) {
    std::vector<ScanPoint> out;
    for (int i = -20; i <= 20; ++i)
        for (int j = -20; j <= 20; ++j)
            out.push_back(Point(Vec3{2.0f * i, 2.0f * j, 0.0f},
                                Vec3{static_cast<float>(0.1 * (Uniform(rng) - 0.5)), 0.0f, 1.0f}));
    return out;
}

// A dome of radius 25 on the plane, with points reaching down to it; normals
// point outwards, so near the plane they lie almost across the plane's.
std::vector<ScanPoint> Dome(std::mt19937& rng, int32_t count, float lift) {
    std::vector<ScanPoint> out;
    for (int32_t k = 0; k < count; ++k) {
        const double a = 2 * kGeometryPi * Uniform(rng);
        const double e = 0.5 * kGeometryPi * Uniform(rng);
        const Vec3 n{static_cast<float>(std::cos(a) * std::cos(e)), static_cast<float>(std::sin(a) * std::cos(e)),
                     static_cast<float>(std::sin(e))};
        out.push_back(Point(Vec3{25 * n.x, 25 * n.y, 25 * n.z + lift}, n));
    }
    return out;
}

struct Recorder {
    std::vector<std::string> messages;
    std::vector<int32_t> progress;
    int32_t edited = 0;
    int32_t waitShown = 0;
    ClipHooks Hooks() {
        ClipHooks h;
        h.message = [this](const char* t) { messages.push_back(t); };
        h.progress = [this](int32_t p) { progress.push_back(p); };
        h.markEdited = [this] { ++edited; };
        h.waitStatus = [this](const char* t) { waitShown += t ? 1 : -1; };
        return h;
    }
};

bool Live(const RawData& raw, const ScanPoint& p) { return Level(p) == 0 || Level(p) > raw.EditLimit; }

// What the clip must remove, by looking at every pair.
std::vector<bool> BruteForce(ClipScan& scan, int32_t method, int32_t baseline, float tolerance, float cosAngle) {
    RawData& raw = scan.Raw();
    const auto& pts = scan.Points();
    auto hidden = [&](int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) != 0; };
    auto second = [&](int32_t s) { return (raw.Sweeps[s].Flags & kSweepFlipped) != 0; };
    Vec3 m{0, 0, 0};
    if (baseline >= 0) {
        for (size_t i = 0; i < pts.size(); ++i)
            if (scan.SweepOf(static_cast<int32_t>(i)) == baseline && Live(raw, pts[i])) V3_Add(m, pts[i].Normal, m);
        V3_Normalise(m, m);
    }
    std::vector<bool> out(pts.size(), false);
    for (size_t i = 0; i < pts.size(); ++i) {
        const int32_t s = scan.SweepOf(static_cast<int32_t>(i));
        if (hidden(s) || !Live(raw, pts[i])) continue;
        if (s == baseline) {
            out[i] = true;
            continue;
        }
        bool near = false;
        for (size_t j = 0; j < pts.size() && !near; ++j) {
            const int32_t t = scan.SweepOf(static_cast<int32_t>(j));
            if (hidden(t) || !Live(raw, pts[j])) continue;
            const bool reference =
                method == kClipBaselineSeparation ? t == baseline : t != baseline && second(t) != second(s);
            near = reference && V3_DistanceSquared(pts[i].Vertex, pts[j].Vertex) < tolerance * tolerance;
        }
        out[i] = near && (baseline < 0 || std::fabs(V3_Dot(pts[i].Normal, m)) >= cosAngle);
    }
    return out;
}

void ExpectClipped(ClipScan& scan, const std::vector<bool>& expected, uint32_t level) {
    int32_t clipped = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Level(scan.Points()[i]) == level, expected[i]) << "point " << i;
        clipped += expected[i];
    }
    EXPECT_GT(clipped, 0);
}

std::atomic<int32_t> g_noAbort{0};

ClipOutcome RunClip(ClipScan& scan, Recorder& rec, int32_t method, int32_t baseline, float tolerance, float degrees) {
    return Clip_Run(scan.Raw(), rec.Hooks(), method, baseline, tolerance, Clip_CosineOfDegrees(degrees), g_noAbort);
}

// An object on a baseline sweep, the dome split into a first and a second
// part, a hidden sweep lying on the plane.
ClipScan ObjectOnPlane() {
    std::mt19937 rng(11);
    ClipScan scan;
    scan.AddSweep(Plane(rng), 0);
    scan.AddSweep(Dome(rng, 1500, 0.5f), 0);
    scan.AddSweep(Dome(rng, 1500, 0.3f), kSweepFlipped);
    scan.AddSweep(Dome(rng, 200, -0.2f), kSweepHidden);
    return scan;
}

struct ClipCase {
    const char* name;
    int32_t method;
    int32_t baseline;
    float tolerance;
    float degrees;
};

TEST(ClipRun, RemovesWhatBruteForceFindsOverToleranceAndAngle) {
    const ClipCase cases[] = {
        {"baseline, default angle", kClipBaselineSeparation, 0, 3.0f, 90.0f},
        {"baseline, 30 degrees", kClipBaselineSeparation, 0, 4.0f, 30.0f},
        {"baseline, 75 degrees", kClipBaselineSeparation, 0, 2.5f, 75.0f},
        {"parts with the baseline left out", kClipPointSeparation, 0, 1.5f, 60.0f},
        {"parts without a baseline", kClipPointSeparation, -1, 1.0f, 90.0f},
    };
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClipScan scan = ObjectOnPlane();
        const auto expected = BruteForce(scan, c.method, c.baseline, c.tolerance, Clip_CosineOfDegrees(c.degrees));
        Recorder rec;
        EXPECT_EQ(RunClip(scan, rec, c.method, c.baseline, c.tolerance, c.degrees), ClipOutcome::kClipped);
        ExpectClipped(scan, expected, 1);
        EXPECT_EQ(scan.Raw().EditLimit, 1u);
        EXPECT_EQ(scan.Raw().EditLevelTop, 1u);
        EXPECT_EQ(rec.edited, 1);
        EXPECT_TRUE(rec.messages.empty());
        EXPECT_EQ(rec.waitShown, 0);
        // Progress only rises and stays within 0..100.
        for (size_t k = 1; k < rec.progress.size(); ++k) EXPECT_GT(rec.progress[k], rec.progress[k - 1]);
        EXPECT_LE(rec.progress.back(), 100);
    }
}

TEST(ClipRun, DefaultAngleLetsEveryNormalPass) { EXPECT_LE(Clip_CosineOfDegrees(90.0f), 0.0f); }

TEST(ClipRun, RefusalsChangeNoPoint) {
    struct Refusal {
        const char* name;
        uint32_t flags[3];
        int32_t method;
        int32_t baseline;
        const char* text;
    };
    const Refusal refusals[] = {
        {"hidden baseline", {kSweepHidden, 0, kSweepFlipped}, kClipBaselineSeparation, 0, kClipNoBaselineText},
        {"no baseline given", {0, 0, kSweepFlipped}, kClipBaselineSeparation, -1, kClipNoBaselineText},
        {"every sweep in the second part",
         {kSweepFlipped, kSweepFlipped, kSweepFlipped},
         kClipPointSeparation,
         -1,
         kClipNoPartText},
        {"no sweep in the second part", {0, 0, 0}, kClipPointSeparation, -1, kClipNoPartText},
        {"second part only in the baseline", {kSweepFlipped, 0, 0}, kClipPointSeparation, 0, kClipNoPartText},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        std::mt19937 rng(3);
        ClipScan scan;
        for (uint32_t f : r.flags) scan.AddSweep(Dome(rng, 100, 0.0f), f);
        const auto before = scan.Levels();
        Recorder rec;
        EXPECT_EQ(RunClip(scan, rec, r.method, r.baseline, 50.0f, 90.0f), ClipOutcome::kRefused);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_STREQ(rec.messages[0].c_str(), r.text);
        EXPECT_EQ(scan.Levels(), before);
        EXPECT_EQ(scan.Raw().EditLimit, 0u);
        EXPECT_EQ(rec.edited, 0);
        EXPECT_EQ(rec.waitShown, 0);
    }
    ClipScan empty;
    Recorder rec;
    EXPECT_EQ(RunClip(empty, rec, kClipPointSeparation, -1, 3.0f, 90.0f), ClipOutcome::kRefused);
    EXPECT_EQ(rec.messages, std::vector<std::string>{kClipNoPartText});
}

TEST(ClipRun, HiddenBaselineStaysInMethodZero) {
    std::mt19937 rng(5);
    ClipScan scan;
    scan.AddSweep(Plane(rng), kSweepHidden);
    scan.AddSweep(Dome(rng, 300, 0.0f), 0);
    scan.AddSweep(Dome(rng, 300, 0.0f), kSweepFlipped);
    Recorder rec;
    EXPECT_EQ(RunClip(scan, rec, kClipPointSeparation, 0, 2.0f, 90.0f), ClipOutcome::kClipped);
    for (int32_t i = 0; i < scan.Raw().SweepFirstPoint[1]; ++i) EXPECT_EQ(Level(scan.Points()[i]), 0u);
}

TEST(ClipRun, BaselineGoesAsAWholeEvenWithNothingNear) {
    std::mt19937 rng(6);
    ClipScan scan;
    scan.AddSweep(Plane(rng), 0);
    scan.AddSweep(Dome(rng, 100, 500.0f), 0);
    scan.AddSweep(Dome(rng, 100, 800.0f), kSweepFlipped);
    Recorder rec;
    EXPECT_EQ(RunClip(scan, rec, kClipPointSeparation, 0, 1.0f, 90.0f), ClipOutcome::kClipped);
    for (int32_t i = 0; i < scan.Raw().NumPoints; ++i)
        EXPECT_EQ(Level(scan.Points()[i]), i < scan.Raw().SweepFirstPoint[1] ? 1u : 0u) << i;
}

TEST(ClipRun, UndoRedoAndAClipAfterUndo) {
    ClipScan scan = ObjectOnPlane();
    RawData& raw = scan.Raw();
    Recorder rec;
    ASSERT_EQ(RunClip(scan, rec, kClipBaselineSeparation, 0, 3.0f, 90.0f), ClipOutcome::kClipped);
    const auto first = scan.Levels();
    ASSERT_EQ(RunClip(scan, rec, kClipPointSeparation, -1, 1.0f, 90.0f), ClipOutcome::kClipped);
    EXPECT_EQ(raw.EditLimit, 2u);
    EXPECT_EQ(raw.EditLevelTop, 2u);
    // Undo both (the shell lowers the current level), then clip: the undone
    // steps are dropped for good.
    raw.EditLimit = 0;
    const auto expected = BruteForce(scan, kClipBaselineSeparation, 0, 1.0f, Clip_CosineOfDegrees(90.0f));
    ASSERT_EQ(RunClip(scan, rec, kClipBaselineSeparation, 0, 1.0f, 90.0f), ClipOutcome::kClipped);
    EXPECT_EQ(raw.EditLimit, 1u);
    EXPECT_EQ(raw.EditLevelTop, 1u);
    for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(Level(scan.Points()[i]), expected[i] ? 1u : 0u) << i;
}

TEST(ClipRun, NewLevelStaysAtTheLargest) {
    ClipScan scan = ObjectOnPlane();
    scan.Raw().EditLimit = scan.Raw().EditLevelTop = kClipMaxEditLevel;
    Recorder rec;
    ASSERT_EQ(RunClip(scan, rec, kClipBaselineSeparation, 0, 3.0f, 90.0f), ClipOutcome::kClipped);
    EXPECT_EQ(scan.Raw().EditLimit, kClipMaxEditLevel);
    EXPECT_EQ(Level(scan.Points()[0]), kClipMaxEditLevel);
}

TEST(ClipRun, AbortLeavesTheNewLevelOutOfForce) {
    ClipScan scan = ObjectOnPlane();
    std::atomic<int32_t> abortFlag{0};
    ClipHooks hooks;
    // The user presses Abort while the clip pass is under way.
    hooks.progress = [&](int32_t percent) {
        if (percent >= 50) abortFlag = 1;
    };
    int32_t edited = 0;
    hooks.markEdited = [&] { ++edited; };
    EXPECT_EQ(Clip_Run(scan.Raw(), hooks, kClipBaselineSeparation, 0, 3.0f, 0.0f, abortFlag), ClipOutcome::kAborted);
    EXPECT_EQ(scan.Raw().EditLimit, 0u);
    EXPECT_EQ(scan.Raw().EditLevelTop, 0u);
    EXPECT_EQ(edited, 0);
    for (const ScanPoint& p : scan.Points()) EXPECT_TRUE(Live(scan.Raw(), p));
}

}  // namespace

namespace {

// The dialog's thread sets the abort flag while the worker clips; under the
// thread sanitizer this shows the flag is the only thing they share.
TEST(ClipRunThreads, AbortFromAnotherThreadStopsTheRun) {
    ClipScan scan = ObjectOnPlane();
    std::atomic<int32_t> abortFlag{0};
    std::atomic<bool> reached{false};
    std::atomic<bool> pressed{false};
    ClipHooks hooks;
    hooks.progress = [&](int32_t percent) {
        if (percent < 40 || reached) return;
        reached = true;
        while (!pressed) std::this_thread::yield();
    };
    ClipOutcome outcome = ClipOutcome::kClipped;
    std::thread worker([&] { outcome = Clip_Run(scan.Raw(), hooks, kClipPointSeparation, 0, 2.0f, 0.0f, abortFlag); });
    while (!reached) std::this_thread::yield();
    abortFlag = 1;
    pressed = true;
    worker.join();
    EXPECT_EQ(outcome, ClipOutcome::kAborted);
    EXPECT_EQ(scan.Raw().EditLimit, 0u);
}

}  // namespace
