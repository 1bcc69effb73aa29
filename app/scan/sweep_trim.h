// Trimming the overlap of sweeps: where several visible sweeps cover the same
// piece of surface, the points of the poorer ones are erased so that each
// region keeps the points of its best sweep. Nothing is deleted: a finished
// run writes two new erase levels (the core of the trim, then its border), so
// that one undo brings the border back and a second the rest.
//
// Two engines: mode 1 lets a score per sweep decide (mean resolution plus the
// weighted distance a pending registration would move its points), mode 2
// lets the points of best resolution claim their neighbourhood first. At
// equal scores the sweep of lower index wins, so that two equally good
// sweeps never trim each other's overlap away.
//
// The engines only read the scan record until their end and take no lock: the
// caller keeps the record unchanged while one runs. An abort, or a working
// array that cannot be had, leaves the record exactly as it was.
#pragma once

#include "app/scan/raw_data.h"

#include <cstddef>
#include <cstdint>

struct KdTree;

// The progress the engines report: each pass is a stage of `steps` steps
// that runs the bar to `endFraction` (the first pass to 0.8, the second to 1).
class SweepTrimProgress {
  public:
    virtual ~SweepTrimProgress() = default;
    virtual void BeginStage(int steps, float endFraction) = 0;
    virtual void Step() = 0;
};

enum SweepTrimResult : int {
    kSweepTrimDone = 0,         // two new erase levels written
    kSweepTrimAborted = 1,      // the abort flag stopped it; nothing written
    kSweepTrimOutOfMemory = 2,  // a working array or the tree could not be had; nothing written
};

// progress may be null; abort is the caller's byte, non-zero to stop, read
// once after each processed candidate.
int SweepTrim_MarkPointsMode1(RawData& raw, float minRadius, float weight, SweepTrimProgress* progress,
                              const volatile uint8_t* abort);
int SweepTrim_MarkPointsMode2(RawData& raw, float minRadius, float patchRadius, SweepTrimProgress* progress,
                              const volatile uint8_t* abort);

// Erases the marked points (one byte a point, NumPoints of them) of the
// visible sweeps that are not erased yet at one new erase level; undone
// erase levels are dropped first.
void SweepTrim_ApplyMarks(RawData& raw, const uint8_t* marks);

// The pieces of the engines, for their tests.
// Lower is better; points outside any visible sweep get 0.
void SweepTrim_SweepScores(const RawData& raw, float weight, float* scores);
// The sweep of each point, -1 for a point beyond the last sweep.
void SweepTrim_PointSweeps(const RawData& raw, int32_t* sweeps);
// The points of visible sweeps that are not erased and have a normal, in
// point order; returns their count.
int32_t SweepTrim_ListCandidates(const RawData& raw, int32_t* list);
// 1, -1 or 0 as point a's ResolutionSq is greater, smaller or equal.
int SweepTrim_CompareResolution(const RawData& raw, int32_t a, int32_t b);
// Rising ResolutionSq; equal values keep their list order.
void SweepTrim_SortByResolution(int32_t* list, int32_t count, const RawData& raw);
bool SweepTrim_NormalsAgree(int32_t a, int32_t b, const RawData& raw);
// The search radius of a point: the square root of ResolutionSq times 3.2.
float SweepTrim_PointRadius(const ScanPoint& point);

// Where the engines get their memory; the tests put failures in. Null
// members keep the program's own (malloc, free, KdTree_Build).
struct SweepTrimMemory {
    void* (*allocate)(size_t bytes) = nullptr;
    void (*release)(void* block) = nullptr;
    int (*buildTree)(const Vec3* points, int32_t count, KdTree** treeOut) = nullptr;
};
void SweepTrim_SetMemory(const SweepTrimMemory& memory);
