// The binary panel tree of the far-field evaluators.
//
// Every panel owns one contiguous range of a permutation of the points and
// is described by a ball (centre and radius) that encloses them. A panel is
// split about its ball centre's coordinate in the widest dimension of its
// bounding box: points at or below it go to child 0, the others to child 1.
// Levels run from 0 (the root) to at most 39; each level keeps a list of its
// panels (newest first) and their count. Panels carry an evaluator's payload,
// released through the tree's payload release operation when the tree is
// freed. Memory is tracked.
//
// Core statuses: 0 success, 2 no memory, 7 invalid dimension, 23 a missing
// argument, 26 a size that is not positive.
#ifndef SURFACE_FIT_EVAL_TREE_H
#define SURFACE_FIT_EVAL_TREE_H

#include <cstdint>

constexpr int32_t kEvalTreeLevels = 40;

struct EvalPanel {
    EvalPanel* Parent;
    EvalPanel* Next;  // next panel of the same level
    EvalPanel* Child[2];
    int32_t First, End, Count;  // range of the permutation, end exclusive
    double Centre[3];
    double Radius;
    int16_t Level;
    int16_t WhichChild;
    int16_t SplitDim;
    void* Payload;
};

using EvalPayloadRelease = void (*)(void* payload);

struct EvalTree {
    int32_t DeepestLevel;
    int32_t N;
    int32_t Dim;
    int32_t MinInPanel;
    EvalPanel* Root;
    int32_t* Permutation;
    EvalPanel* Levels[kEvalTreeLevels];
    int32_t LevelCounts[kEvalTreeLevels];
    EvalPayloadRelease ReleasePayload;
};

// Builds the tree over N points (row pointers to d doubles); panels with at
// least minInPanel points (and below level 39) are split. On failure the
// tree is freed and zeroed.
int EvalTree_Build(int32_t N, int32_t d, const double* const* points, int32_t minInPanel, EvalTree* tree);
// Releases payloads, panels and the permutation; zeroes the record.
void EvalTree_Free(EvalTree* tree);
// Memory estimate: 80 bytes per panel of a built tree, else of the 2c - 2
// panels of a full tree with c leaves (c the smallest power of two not
// below N / minInPanel).
int32_t EvalTree_Bytes(int32_t N, int32_t minInPanel, const EvalTree* tree);

// Diagnostic dumps on standard output.
void EvalTree_DumpSubtree(const EvalPanel* panel, const char* title);
void EvalTree_DumpLevel(const EvalTree* tree, int32_t level, const char* title);

// Full-tree panel count 2c - 2 used by the estimates (c as above, at least 1).
int32_t EvalTree_FullPanelCount(int32_t N, int32_t perPanel);

#endif
