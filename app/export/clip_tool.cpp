#include "app/export/clip_tool.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>
#include <vector>

#include "app/scan/kd_tree.h"
#include "app/scan/raw_data.h"

const char* const kClipNoBaselineText = "No baseline points were found. Cannot clip by baseline.";
const char* const kClipNoPartText = "No points were found in one part. Cannot clip by point separation.";
const char* const kClipBaselineTreeText = "Error building RangeTree. Cannot proceed.";
const char* const kClipPartTreesText = "Error building RangeTrees. Cannot proceed.";

namespace {

uint32_t EditLevel(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

void SetEditLevel(ScanPoint& p, uint32_t level) {
    p.Flags = (p.Flags & ~kPointEraseMask) | ((level << kPointEraseShift) & kPointEraseMask);
}

bool IsLive(const RawData& raw, const ScanPoint& p) {
    const uint32_t level = EditLevel(p);
    return level == 0 || level > raw.EditLimit;
}

bool SweepHidden(const RawData& raw, int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) != 0; }

// The points of sweep s are first[s] up to first[s + 1], within the points held.
int32_t SweepBegin(const RawData& raw, int32_t s) { return std::min(raw.SweepFirstPoint[s], raw.NumPoints); }
int32_t SweepEnd(const RawData& raw, int32_t s) { return std::min(raw.SweepFirstPoint[s + 1], raw.NumPoints); }

// Everything a run holds, freed on every path by its destructor.
struct ClipWork {
    std::vector<Vec3> baseline, partA, partB;
    KdTree* baselineTree = nullptr;
    KdTree* treeA = nullptr;
    KdTree* treeB = nullptr;
    ~ClipWork() {
        KdTree_Free(&baselineTree);
        KdTree_Free(&treeA);
        KdTree_Free(&treeB);
    }
};

struct ClipRun {
    RawData& raw;
    const ClipHooks& hooks;
    const std::atomic<int32_t>& abortFlag;
    int32_t method;
    int32_t baseline;  // -1 none
    ClipWork work;

    bool Aborted() const { return abortFlag.load(std::memory_order_relaxed) != 0; }

    void Message(const char* text) const {
        if (hooks.message) hooks.message(text);
    }

    // Drops the undone steps: their points are live again and the top level
    // falls to the current one.
    void DiscardRedo() {
        for (int32_t i = 0; i < raw.NumPoints; ++i)
            if (EditLevel(raw.Points[i]) > raw.EditLimit) SetEditLevel(raw.Points[i], 0);
        raw.EditLevelTop = raw.EditLimit;
    }

    // Appends the vertices of sweep s's live points; false on abort.
    bool Gather(int32_t s, std::vector<Vec3>& out) {
        for (int32_t i = SweepBegin(raw, s); i < SweepEnd(raw, s); ++i) {
            if (Aborted()) return false;
            if (IsLive(raw, raw.Points[i])) out.push_back(raw.Points[i].Vertex);
        }
        return true;
    }

    ClipOutcome GatherBaseline() {
        if (baseline >= 0 && baseline < raw.NumSweeps && !SweepHidden(raw, baseline) &&
            !Gather(baseline, work.baseline))
            return ClipOutcome::kAborted;
        if (work.baseline.empty()) {
            Message(kClipNoBaselineText);
            return ClipOutcome::kRefused;
        }
        if (!KdTree_Build(work.baseline.data(), static_cast<int32_t>(work.baseline.size()), &work.baselineTree)) {
            Message(kClipBaselineTreeText);
            return ClipOutcome::kRefused;
        }
        return ClipOutcome::kClipped;
    }

    ClipOutcome GatherParts() {
        for (int32_t s = 0; s < raw.NumSweeps; ++s) {
            if (Aborted()) return ClipOutcome::kAborted;
            if (SweepHidden(raw, s) || s == baseline) continue;
            if (!Gather(s, (raw.Sweeps[s].Flags & kSweepFlipped) ? work.partB : work.partA))
                return ClipOutcome::kAborted;
        }
        if (work.partA.empty() || work.partB.empty()) {
            Message(kClipNoPartText);
            return ClipOutcome::kRefused;
        }
        if (!KdTree_Build(work.partB.data(), static_cast<int32_t>(work.partB.size()), &work.treeB) ||
            !KdTree_Build(work.partA.data(), static_cast<int32_t>(work.partA.size()), &work.treeA)) {
            Message(kClipPartTreesText);
            return ClipOutcome::kRefused;
        }
        return ClipOutcome::kClipped;
    }

    // The baseline sweep's mean normal, summed whether or not it is hidden.
    Vec3 BaselineNormal() const {
        Vec3 sum{0.0f, 0.0f, 0.0f};
        if (baseline < 0 || baseline >= raw.NumSweeps) return sum;
        for (int32_t i = SweepBegin(raw, baseline); i < SweepEnd(raw, baseline); ++i)
            if (IsLive(raw, raw.Points[i])) V3_Add(sum, raw.Points[i].Normal, sum);
        V3_Normalise(sum, sum);
        return sum;
    }

    static bool Near(KdTree* tree, const Vec3& v, float tolerance) {
        const float limit = tolerance * tolerance;
        const int32_t found = KdTree_RadiusQuery(tree, v, std::fabs(tolerance));
        for (int32_t k = 0; k < found; ++k)
            if (tree->Distances[k] < limit) return true;
        return false;
    }

    // Gives level L to the points to clip; false on abort.
    bool ClipPass(uint32_t level, float tolerance, float cosAngle, const Vec3& meanNormal) {
        int32_t lastPosted = 0;
        for (int32_t s = 0; s < raw.NumSweeps; ++s) {
            if (SweepHidden(raw, s)) continue;
            KdTree* reference = method == kClipBaselineSeparation       ? work.baselineTree
                                : (raw.Sweeps[s].Flags & kSweepFlipped) ? work.treeA
                                                                        : work.treeB;
            for (int32_t i = SweepBegin(raw, s); i < SweepEnd(raw, s); ++i) {
                if (Aborted()) return false;
                ScanPoint& p = raw.Points[i];
                if (!IsLive(raw, p)) continue;
                const int32_t percent = static_cast<int32_t>(100.0 * i / raw.NumPoints);
                if (percent > lastPosted) {
                    lastPosted = percent;
                    if (hooks.progress) hooks.progress(percent);
                    std::this_thread::yield();
                }
                if (s == baseline || Clipped(reference, p, tolerance, cosAngle, meanNormal)) SetEditLevel(p, level);
            }
        }
        return true;
    }

    bool Clipped(KdTree* reference, const ScanPoint& p, float tolerance, float cosAngle, const Vec3& m) const {
        if (!Near(reference, p.Vertex, tolerance)) return false;
        if (baseline < 0) return true;
        // An unordered comparison (a NaN normal) does not clip.
        return std::fabs(V3_Dot(p.Normal, m)) >= cosAngle;
    }

    ClipOutcome Run(float tolerance, float cosAngle) {
        DiscardRedo();
        const uint32_t level = std::min<uint32_t>(raw.EditLimit + 1, kClipMaxEditLevel);
        ClipOutcome gathered = method == kClipBaselineSeparation ? GatherBaseline()
                               : raw.NumSweeps < 1               ? (Message(kClipNoPartText), ClipOutcome::kRefused)
                                                                 : GatherParts();
        if (gathered != ClipOutcome::kClipped) return gathered;
        if (!ClipPass(level, tolerance, cosAngle, BaselineNormal())) return ClipOutcome::kAborted;
        raw.EditLimit = raw.EditLevelTop = level;
        raw.SelectionLimit = raw.SelectionLevelTop = 0;
        RawData_ClearPointRunMark(raw);
        RawData_ClearSweepCursor(raw);
        raw.Draw.Flags |= kDrawFull;
        if (hooks.markEdited) hooks.markEdited();
        return ClipOutcome::kClipped;
    }
};

}  // namespace

float Clip_CosineOfDegrees(float degrees) { return std::cos(static_cast<float>(degrees * kGeometryPi / 180.0)); }

ClipOutcome Clip_Run(RawData& raw, const ClipHooks& hooks, int32_t method, int32_t baselineIndex, float tolerance,
                     float cosAngle, const std::atomic<int32_t>& abortFlag) {
    if (hooks.waitStatus) hooks.waitStatus("Processing");
    if (hooks.progress) hooks.progress(0);
    ClipOutcome outcome;
    try {
        ClipRun run{raw, hooks, abortFlag, method, baselineIndex, {}};
        outcome = run.Run(tolerance, cosAngle);
    } catch (const std::bad_alloc&) {
        // Reported by the caller, so that running out of memory is never
        // taken for a finished clip; no point has been given the new level
        // in force.
        outcome = ClipOutcome::kOutOfMemory;
    }
    if (hooks.waitStatus) hooks.waitStatus(nullptr);
    return outcome;
}
