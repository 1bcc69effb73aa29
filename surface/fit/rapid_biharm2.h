// RapidBiharm2: fast evaluation of s(x) = Σ c_j φ(|x - x_j|), φ(r) = r² ln r,
// in two dimensions: the product at the centres, values at points and on
// grids.
//
// A multilevel method on a quadtree. With complex coordinates, a panel's
// centres give Σ c_j φ = Re[ w̄ F1(w) + F2(w) ] (w the point relative to the
// panel centre), F1 and F2 analytic outside the panel: Laurent series with a
// (α w + β) log w head. Every panel from level 2 down gets these series,
// formed from the deepest level upwards (translated from the children where
// that is cheaper); every panel gets a Taylor series in the same two-function
// form collecting its interaction list (the children of its parent's
// neighbours that are not its own neighbours) and its parent's Taylor
// series. A point adds the Taylor series of the deepest panel holding it and
// the direct sum over that panel and its eight neighbours.
//
// Memory is tracked. Core statuses: 0, 1 a point outside every panel, 2 no
// memory, 5 invalid input, 10 user abort, 17 accuracy not positive,
// 23 a missing argument.
#ifndef SURFACE_FIT_RAPID_BIHARM2_H
#define SURFACE_FIT_RAPID_BIHARM2_H

#include <cstdint>

#include "surface/frame/tracked_memory.h"

struct CoreReporter;

constexpr int32_t kBiharm2Levels = 32;
constexpr int32_t kBiharm2UseEntries = 30;

// One function of the two-function form: (α w + β) log w + γ + Σ a_k w^{-k}
// as a Laurent series, or Σ t_l w^l as a Taylor series.
struct Biharm2Panel {
    Biharm2Panel* Next;  // next panel of its level
    Biharm2Panel* Parent;
    Biharm2Panel* Child[4];
    Biharm2Panel* Neighbour[8];
    int32_t First, End;  // range of the tree order
    int32_t Level, Quadrant;
    int32_t Col, Row;  // cell on its level
    double Centre[2];
    MemPair Head[2][3];      // α, β, γ of F1 and F2
    MemPair* Laurent;        // a_1..a_L of F1, then of F2
    MemPair* Taylor;         // t_0..t_T of the first and the second function
    double Magnitude;        // Σ|c_j| times the level factor
    int32_t LengthToUse[2];  // Laurent terms used across 2 to √8 panel sizes, and across 3 to √18
};

struct RapidBiharm2Workspace {
    int32_t N;
    double NumInPanel;
    int32_t DeepestLevel;
    int32_t TreeBuilt, ExpansionsFormed;
    int32_t ProductsDone;
    double Min[2], Max[2];
    double HalfSize[kBiharm2Levels];
    int32_t HasBox;
    double* Centres;  // 2 N, tree order
    double* Coeffs;   // N, tree order
    int32_t* Permutation;
    double* Result;
    Biharm2Panel* Levels[kBiharm2Levels];
    int32_t LevelCounts[kBiharm2Levels];
    Biharm2Panel* Root;
    // With a box: the deepest level's panel of each of its cells (row by
    // row, CellSide a row; null where there is none), so that a point finds
    // its panel from its offset to the minimum corner alone.
    Biharm2Panel** Cells;
    int32_t CellSide;
    int32_t LaurentLength;
    int32_t TaylorLength;                       // of the deepest level, where points are evaluated
    int32_t LevelTaylorLength[kBiharm2Levels];  // levels 2 down to the deepest
    // Laurent lengths to use by panel magnitude, one table per separation
    // (1.5 √2 and 3 panel sizes): entry e for magnitudes down to
    // UseTop / 4^(e + 1); below the last entry a length of 1.
    int32_t UseLength[2][kBiharm2UseEntries];
    int32_t UseCount[2];
    double UseTop;
    double NearThreshold;      // squared distances at or below it leave a pair out of the near field
    const double* FormedFrom;  // identity of the coefficient array of the expansions
    double Accuracy;
    double* Cache;  // stored near-field values of the product (optional)
    int64_t CacheSize;
    int32_t CacheFilled;
    const CoreReporter* Reporter;
    double Target;
};

int RapidBiharm2_InitTree(RapidBiharm2Workspace* ws, int32_t N, const double* const* centres, double numInPanel,
                          const double* box, const CoreReporter* reporter);
int RapidBiharm2_InitExpansions(RapidBiharm2Workspace* ws, double accuracy, const double* coeffs, int64_t* taylorTicks);
int RapidBiharm2_Multiply(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                          RapidBiharm2Workspace* ws, double numInPanel, double accuracy, int32_t storeValues,
                          int32_t tuneSteps, double* result, const CoreReporter* reporter, double target);
int RapidBiharm2_PointEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                           RapidBiharm2Workspace* ws, double numInPanel, double accuracy, const double* box, int32_t M,
                           const double* const* points, double* values, const CoreReporter* reporter, double target);
int RapidBiharm2_GridEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                          RapidBiharm2Workspace* ws, double numInPanel, double accuracy, const double* box,
                          const double* base, const double* spacing, const int32_t* sizes, double* values,
                          const CoreReporter* reporter, double target);
void RapidBiharm2_Free(RapidBiharm2Workspace* ws);
void RapidBiharm2_FreeTaylor(RapidBiharm2Workspace* ws);
int32_t RapidBiharm2_Bytes(const RapidBiharm2Workspace* ws);
// Diagnostic dump of every panel on standard output.
void RapidBiharm2_DumpPanels(const RapidBiharm2Workspace* ws);

// The expansion lengths for the accuracy over the workspace's tree and
// coefficients (in tree order): the Laurent length from the largest
// coefficient, the Taylor length of each level, the two tables of lengths to
// use with every panel's magnitude and lengths, and the near-field
// threshold. 0, or 5 when a coefficient or the accuracy is not finite and
// positive.
int RapidBiharm2_SetLengths(RapidBiharm2Workspace* ws, double accuracy);

#endif
