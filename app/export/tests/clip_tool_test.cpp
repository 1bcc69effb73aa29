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
#include "app/export/tests/clip_scans.h"
#include "app/scan/raw_data.h"

namespace {

using namespace clip_scans;

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
    scan.AddSweep(BaselinePlane(rng), kSweepHidden);
    scan.AddSweep(Dome(rng, 300, 0.0f), 0);
    scan.AddSweep(Dome(rng, 300, 0.0f), kSweepFlipped);
    Recorder rec;
    EXPECT_EQ(RunClip(scan, rec, kClipPointSeparation, 0, 2.0f, 90.0f), ClipOutcome::kClipped);
    for (int32_t i = 0; i < scan.Raw().SweepFirstPoint[1]; ++i) EXPECT_EQ(Level(scan.Points()[i]), 0u);
}

TEST(ClipRun, BaselineGoesAsAWholeEvenWithNothingNear) {
    std::mt19937 rng(6);
    ClipScan scan;
    scan.AddSweep(BaselinePlane(rng), 0);
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
