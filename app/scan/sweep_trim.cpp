#include "app/scan/sweep_trim.h"

#include "app/scan/kd_tree.h"

#include <algorithm>
#include <cstdlib>

namespace {

SweepTrimMemory g_memory;

void* Allocate(size_t bytes) {
    // A zero-sized block is still a block, so that an empty scan is no failure.
    if (bytes == 0) bytes = 1;
    return g_memory.allocate ? g_memory.allocate(bytes) : std::malloc(bytes);
}

void Release(void* block) {
    if (!block) return;
    if (g_memory.release)
        g_memory.release(block);
    else
        std::free(block);
}

int BuildTree(const Vec3* points, int32_t count, KdTree** tree) {
    return g_memory.buildTree ? g_memory.buildTree(points, count, tree) : KdTree_Build(points, count, tree);
}

uint32_t EraseLevel(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

void SetEraseLevel(ScanPoint& p, uint32_t level) {
    p.Flags = (p.Flags & ~kPointEraseMask) | ((level << kPointEraseShift) & kPointEraseMask);
}

bool IsErased(const RawData& raw, const ScanPoint& p) {
    const uint32_t level = EraseLevel(p);
    return level >= 1 && level <= raw.EditLimit;
}

bool IsHidden(const RawData& raw, int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) != 0; }

// The points of sweep s within the record's point count.
void SweepRange(const RawData& raw, int32_t s, int32_t& first, int32_t& end) {
    first = std::max(0, raw.SweepFirstPoint[s]);
    end = std::min(raw.SweepFirstPoint[s + 1], raw.NumPoints);
}

bool HasSweeps(const RawData& raw) { return raw.Points && raw.Sweeps && raw.SweepFirstPoint; }

// The working state of one run: flat arrays indexed by point number, the
// candidate list with its vertices and the tree over them. Everything is
// given back when the run ends, however it ends.
class TrimWork {
  public:
    TrimWork(RawData& raw, bool claims) : raw_(raw), n_(std::max(0, raw.NumPoints)), claims_(claims) {}
    ~TrimWork() {
        KdTree_Free(&tree);
        for (void* block : {static_cast<void*>(score), static_cast<void*>(sweep), static_cast<void*>(trimmed),
                            static_cast<void*>(border), static_cast<void*>(trimmer), static_cast<void*>(claimed),
                            static_cast<void*>(list), static_cast<void*>(vertices), static_cast<void*>(patch)})
            Release(block);
    }
    TrimWork(const TrimWork&) = delete;
    TrimWork& operator=(const TrimWork&) = delete;

    bool AllocateArrays() {
        const size_t n = static_cast<size_t>(n_);
        score = static_cast<float*>(Allocate(n * sizeof(float)));
        if (!score) return false;
        sweep = static_cast<int32_t*>(Allocate(n * sizeof(int32_t)));
        if (!sweep) return false;
        trimmed = static_cast<uint8_t*>(Allocate(n));
        if (!trimmed) return false;
        border = static_cast<uint8_t*>(Allocate(n));
        if (!border) return false;
        trimmer = static_cast<int32_t*>(Allocate(n * sizeof(int32_t)));
        if (!trimmer) return false;
        if (claims_ && !(claimed = static_cast<uint8_t*>(Allocate(n)))) return false;
        list = static_cast<int32_t*>(Allocate(n * sizeof(int32_t)));
        if (!list) return false;
        std::fill(trimmed, trimmed + n, uint8_t{0});
        std::fill(border, border + n, uint8_t{0});
        std::fill(trimmer, trimmer + n, -1);
        if (claimed) std::fill(claimed, claimed + n, uint8_t{0});
        return true;
    }

    // The candidates' vertices, the tree over them and (with claims) room
    // for a patch copied aside.
    bool BuildSearch() {
        const size_t c = static_cast<size_t>(count);
        vertices = static_cast<Vec3*>(Allocate(c * sizeof(Vec3)));
        if (!vertices) return false;
        for (int32_t k = 0; k < count; ++k) vertices[k] = raw_.Points[list[k]].Vertex;
        if (claims_ && !(patch = static_cast<int32_t*>(Allocate(c * sizeof(int32_t))))) return false;
        return BuildTree(vertices, count, &tree) != 0;
    }

    RawData& raw_;
    int32_t n_;
    bool claims_;
    float* score = nullptr;
    int32_t* sweep = nullptr;
    uint8_t* trimmed = nullptr;
    uint8_t* border = nullptr;
    int32_t* trimmer = nullptr;
    uint8_t* claimed = nullptr;
    int32_t* list = nullptr;
    int32_t count = 0;
    Vec3* vertices = nullptr;
    int32_t* patch = nullptr;
    KdTree* tree = nullptr;
};

const Vec3& VertexOf(const RawData& raw, int32_t p) { return raw.Points[p].Vertex; }

// True when point a's sweep wins over point b's: the lower score, and at a
// tie the lower sweep index (else two equal sweeps erase each other's overlap).
bool Wins(const TrimWork& w, int32_t a, int32_t b) {
    if (w.score[a] != w.score[b]) return w.score[a] < w.score[b];
    return w.sweep[a] < w.sweep[b];
}

bool Aborted(const volatile uint8_t* abort) { return abort && *abort != 0; }

void BeginStage(SweepTrimProgress* progress, int steps, float end) {
    if (progress) progress->BeginStage(steps, end);
}

void Step(SweepTrimProgress* progress) {
    if (progress) progress->Step();
}

// A point whose normal has no length is trimmed wherever it lies.
void MarkZeroNormals(TrimWork& w) {
    for (int32_t p = 0; p < w.n_; ++p)
        if (V3_LengthSquared(w.raw_.Points[p].Normal) == 0.0f) w.trimmed[p] = 1;
}

bool FirstPassScores(TrimWork& w, float minRadius, SweepTrimProgress* progress, const volatile uint8_t* abort) {
    const RawData& raw = w.raw_;
    BeginStage(progress, w.count, 0.8f);
    for (int32_t k = 0; k < w.count; ++k) {
        const int32_t i = w.list[k];
        const float radius = std::max(SweepTrim_PointRadius(raw.Points[i]), minRadius);
        const int32_t found = KdTree_RadiusQuery(w.tree, VertexOf(raw, i), radius);
        for (int32_t t = 0; t < found; ++t) {
            const int32_t j = w.list[w.tree->Results[t]];
            if (w.sweep[j] != w.sweep[i] && !w.trimmed[j] && Wins(w, i, j) && SweepTrim_NormalsAgree(j, i, raw)) {
                w.trimmed[j] = 1;
                w.trimmer[j] = i;
            }
        }
        if (Aborted(abort)) return false;
        Step(progress);
    }
    return true;
}

// Point q of the patch claims itself and the points of other sweeps around it.
void ClaimAround(TrimWork& w, int32_t q, float minRadius) {
    const RawData& raw = w.raw_;
    w.claimed[q] = 1;
    const float radius = std::max(SweepTrim_PointRadius(raw.Points[q]), minRadius);
    const int32_t found = KdTree_RadiusQuery(w.tree, VertexOf(raw, q), radius);
    for (int32_t t = 0; t < found; ++t) {
        const int32_t j = w.list[w.tree->Results[t]];
        if (w.sweep[j] != w.sweep[q] && !w.claimed[j] && SweepTrim_NormalsAgree(j, q, raw)) {
            w.claimed[j] = 1;
            w.trimmed[j] = 1;
            w.trimmer[j] = q;
        }
    }
}

bool FirstPassClaims(TrimWork& w, float minRadius, float patchRadius, SweepTrimProgress* progress,
                     const volatile uint8_t* abort) {
    const RawData& raw = w.raw_;
    BeginStage(progress, w.count, 0.8f);
    for (int32_t k = 0; k < w.count; ++k) {
        const int32_t i = w.list[k];
        if (w.trimmed[i]) continue;
        // The patch is copied aside: the claims below query the tree again.
        const int32_t size = KdTree_RadiusQuery(w.tree, VertexOf(raw, i), patchRadius);
        std::copy(w.tree->Results, w.tree->Results + size, w.patch);
        for (int32_t t = 0; t < size; ++t) {
            const int32_t q = w.list[w.patch[t]];
            if (w.sweep[q] == w.sweep[i] && !w.claimed[q]) ClaimAround(w, q, minRadius);
        }
        if (Aborted(abort)) return false;
        Step(progress);
    }
    return true;
}

// From the kept point i outward, the trimmed points of its own sweep nearer
// than the first point of another sweep that would trim them form the border.
void MarkBorderAround(TrimWork& w, int32_t i) {
    const RawData& raw = w.raw_;
    const int32_t s = w.sweep[i];
    const float radius = SweepTrim_PointRadius(raw.Points[i]);
    int32_t found = KdTree_NearestSorted(w.tree, VertexOf(raw, i), radius);
    int32_t m = -1;
    for (int32_t t = 0; t < found && m < 0; ++t) {
        const int32_t p = w.list[w.tree->Results[t]];
        if (w.sweep[p] == s && w.trimmed[p]) m = p;
    }
    if (m < 0) return;
    const int32_t by = w.trimmer[m];
    if (by >= 0) {
        const float wider = SweepTrim_PointRadius(raw.Points[by]);
        if (radius < wider) found = KdTree_NearestSorted(w.tree, VertexOf(raw, i), wider);
    }
    int32_t ref = m;
    for (int32_t t = 0; t < found; ++t) {
        const int32_t p = w.list[w.tree->Results[t]];
        if (w.sweep[p] == s) {
            if (w.trimmed[p]) {
                w.border[p] = 1;
                ref = p;
            }
        } else if (Wins(w, p, ref) && SweepTrim_NormalsAgree(p, ref, raw)) {
            break;
        }
    }
}

bool SecondPass(TrimWork& w, SweepTrimProgress* progress, const volatile uint8_t* abort) {
    BeginStage(progress, w.count, 1.0f);
    for (int32_t k = 0; k < w.count; ++k) {
        const int32_t i = w.list[k];
        if (w.trimmed[i]) continue;
        MarkBorderAround(w, i);
        if (Aborted(abort)) return false;
        Step(progress);
    }
    return true;
}

// The core of the trim first, then its border, each as one erase level.
void WriteLevels(TrimWork& w) {
    for (int32_t p = 0; p < w.n_; ++p)
        if (w.border[p]) w.trimmed[p] = 0;
    SweepTrim_ApplyMarks(w.raw_, w.trimmed);
    for (int32_t p = 0; p < w.n_; ++p)
        if (w.border[p]) w.trimmed[p] = 1;
    SweepTrim_ApplyMarks(w.raw_, w.trimmed);
}

int Run(RawData& raw, int mode, float minRadius, float weight, float patchRadius, SweepTrimProgress* progress,
        const volatile uint8_t* abort) {
    TrimWork w(raw, mode == 2);
    if (!w.AllocateArrays()) return kSweepTrimOutOfMemory;
    SweepTrim_SweepScores(raw, weight, w.score);
    SweepTrim_PointSweeps(raw, w.sweep);
    w.count = SweepTrim_ListCandidates(raw, w.list);
    if (mode == 2) SweepTrim_SortByResolution(w.list, w.count, raw);
    if (!w.BuildSearch()) return kSweepTrimOutOfMemory;
    MarkZeroNormals(w);
    const bool first = mode == 2 ? FirstPassClaims(w, minRadius, patchRadius, progress, abort)
                                 : FirstPassScores(w, minRadius, progress, abort);
    if (!first || !SecondPass(w, progress, abort)) return kSweepTrimAborted;
    WriteLevels(w);
    return kSweepTrimDone;
}

}  // namespace

void SweepTrim_SetMemory(const SweepTrimMemory& memory) { g_memory = memory; }

float SweepTrim_PointRadius(const ScanPoint& point) { return Math_SqrtF(point.ResolutionSq * 3.2f); }

void SweepTrim_SweepScores(const RawData& raw, float weight, float* scores) {
    std::fill(scores, scores + std::max(0, raw.NumPoints), 0.0f);
    if (!HasSweeps(raw)) return;
    const float w2 = weight * weight;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (IsHidden(raw, s)) continue;
        int32_t first, end;
        SweepRange(raw, s, first, end);
        if (end <= first) continue;
        const bool pending = (raw.Sweeps[s].Flags & kSweepPendingTransform) != 0;
        Matrix4 inverse;
        M4_InvertRigid(raw.Sweeps[s].PendingTransform, inverse);
        double sum = 0.0;
        for (int32_t p = first; p < end; ++p) {
            const ScanPoint& point = raw.Points[p];
            if (IsErased(raw, point)) continue;
            float d2 = 0.0f;
            if (pending) {
                Vec3 moved;
                M4_TransformPoint(inverse, point.Vertex, moved);
                d2 = V3_DistanceSquared(point.Vertex, moved);
            }
            sum += point.ResolutionSq + w2 * d2;
        }
        const float score = static_cast<float>(sum / (end - first));
        std::fill(scores + first, scores + end, score);
    }
}

void SweepTrim_PointSweeps(const RawData& raw, int32_t* sweeps) {
    std::fill(sweeps, sweeps + std::max(0, raw.NumPoints), -1);
    if (!HasSweeps(raw)) return;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        int32_t first, end;
        SweepRange(raw, s, first, end);
        for (int32_t p = first; p < end; ++p) sweeps[p] = s;
    }
}

int32_t SweepTrim_ListCandidates(const RawData& raw, int32_t* list) {
    int32_t count = 0;
    if (!HasSweeps(raw)) return 0;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (IsHidden(raw, s)) continue;
        int32_t first, end;
        SweepRange(raw, s, first, end);
        for (int32_t p = first; p < end; ++p) {
            const ScanPoint& point = raw.Points[p];
            if (!IsErased(raw, point) && V3_LengthSquared(point.Normal) != 0.0f) list[count++] = p;
        }
    }
    return count;
}

int SweepTrim_CompareResolution(const RawData& raw, int32_t a, int32_t b) {
    const float ra = raw.Points[a].ResolutionSq, rb = raw.Points[b].ResolutionSq;
    return ra > rb ? 1 : ra < rb ? -1 : 0;
}

void SweepTrim_SortByResolution(int32_t* list, int32_t count, const RawData& raw) {
    // At equal resolution the earlier point (the lower sweep) goes first, so
    // that a sweep and its copy are trimmed the same way on every run.
    std::sort(list, list + count, [&raw](int32_t a, int32_t b) {
        const int c = SweepTrim_CompareResolution(raw, a, b);
        return c < 0 || (c == 0 && a < b);
    });
}

bool SweepTrim_NormalsAgree(int32_t a, int32_t b, const RawData& raw) {
    return V3_Dot(raw.Points[a].Normal, raw.Points[b].Normal) >= 0.0f;
}

void SweepTrim_ApplyMarks(RawData& raw, const uint8_t* marks) {
    raw.EditLevelTop = raw.EditLimit;
    const int32_t n = std::max(0, raw.NumPoints);
    if (raw.Points)
        for (int32_t p = 0; p < n; ++p)
            if (EraseLevel(raw.Points[p]) > raw.EditLimit) SetEraseLevel(raw.Points[p], 0);
    const uint32_t level = std::min<uint32_t>(raw.EditLimit & 0xFFFF, 65534) + 1;
    if (HasSweeps(raw)) {
        for (int32_t s = 0; s < raw.NumSweeps; ++s) {
            if (IsHidden(raw, s)) continue;
            int32_t first, end;
            SweepRange(raw, s, first, end);
            for (int32_t p = first; p < end; ++p)
                if (marks[p] && !IsErased(raw, raw.Points[p])) SetEraseLevel(raw.Points[p], level);
        }
    }
    raw.EditLimit = level;
    raw.EditLevelTop = level;
}

int SweepTrim_MarkPointsMode1(RawData& raw, float minRadius, float weight, SweepTrimProgress* progress,
                              const volatile uint8_t* abort) {
    return Run(raw, 1, minRadius, weight, 0.0f, progress, abort);
}

int SweepTrim_MarkPointsMode2(RawData& raw, float minRadius, float patchRadius, SweepTrimProgress* progress,
                              const volatile uint8_t* abort) {
    // Mode 2's scores, used only where the border is found, have no
    // registration term.
    return Run(raw, 2, minRadius, 0.0f, patchRadius, progress, abort);
}
