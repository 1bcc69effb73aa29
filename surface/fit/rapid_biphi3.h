// RapidBiphi3: fast evaluation of s(x) = Σ c_j |x - x_j| in three
// dimensions, at points (values, gradients, Hessians), on grids and as the
// product at the centres.
//
// A tree code: the centres are split into a binary tree of panels, each with
// its smallest enclosing ball; every panel below the root gets a far field of
// order 13 in the two-series form of solid_harmonics.h, and for each of seven
// decreasing orders (13, 10, 8, 6, 5, 4, 3) the distance beyond which that
// order meets the per-level accuracy. An evaluation point walks the tree:
// far enough from a panel it uses the lowest adequate order, otherwise it
// descends, and leaves (and panels too small to be worth a far field) are
// summed directly. The polynomial part is not handled here.
//
// Memory is tracked. Core statuses: 0 success, 2 no memory, 5 invalid input,
// 7 invalid dimension, 10 user abort, 17 accuracy not positive, 23 a missing
// argument.
#ifndef SURFACE_FIT_RAPID_BIPHI3_H
#define SURFACE_FIT_RAPID_BIPHI3_H

#include <cstdint>

#include "surface/fit/solid_harmonics.h"

struct CoreReporter;

constexpr int32_t kBiphi3MaxOrder = 13;
constexpr int32_t kBiphi3Orders = 7;
constexpr int32_t kBiphi3Levels = 40;
// Children with more centres than this are translated, smaller ones summed
// into the parent's far field from their centres.
constexpr int32_t kBiphi3TranslateAbove = 225;

struct Biphi3Panel {
    Biphi3Panel* Parent;
    Biphi3Panel* Next;  // next panel of the same level
    Biphi3Panel* Child[2];
    int32_t First, End, Count;  // range of the tree order, end exclusive
    int32_t Leaf;
    double Radius;
    MemPair* Far;              // far field (M then N), null when none
    MemPair* First1;           // x, y, z derivatives of the far field
    MemPair* Second;           // xx, xy, yy, xz, yz, zz
    double D2[kBiphi3Orders];  // squared use distance of each order
    int32_t K0;                // first usable order index; -1 direct only, -2 nothing to add
    int16_t Level, WhichChild, SplitDim;
    double Centre[3];
};

struct RapidBiphi3Workspace {
    int32_t N;
    int32_t Dim;
    int32_t NumInPanel;
    int32_t DeepestLevel;
    int32_t TreeBuilt;
    int32_t FarFormed;
    int32_t DerivativeLevel;  // 0 values, 1 first derivatives, 2 second derivatives
    int32_t MaxOrder;
    int32_t Orders[kBiphi3Orders];
    double LevelAccuracy;
    double Accuracy;
    const double* FormedFrom;  // identity of the coefficient array of the far field
    double* Centres;           // 3 N, tree order
    double* Coeffs;            // N, tree order
    int32_t* Permutation;      // tree order -> caller's order
    double* Result;            // N, products
    Biphi3Panel* Root;
    Biphi3Panel* Levels[kBiphi3Levels];
    int32_t LevelCounts[kBiphi3Levels];
    int64_t OrderUses[kBiphi3Orders];  // far-field uses of each order since the far field was formed
};

int RapidBiphi3_BuildTree(int32_t N, int32_t dimension, const double* const* centres, int32_t numInPanel,
                          RapidBiphi3Workspace* workspace);
// result_i = Σ_j c_j |x_i - x_j| at every centre, in the caller's order.
int RapidBiphi3_Multiply(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                         int32_t numInPanel, double accuracy, RapidBiphi3Workspace* workspace, double* result,
                         const CoreReporter* reporter);
// Values (and, with the gradient flag, gradients: M rows of three) at M points.
int RapidBiphi3_PointEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs, int32_t M,
                          const double* const* points, int32_t numInPanel, double accuracy, int32_t gradient,
                          RapidBiphi3Workspace* workspace, double* values, double* const* gradients,
                          const CoreReporter* reporter, double target);
// Values, gradients and Hessians (three row pointers a point: xx | xy yy |
// xz yz zz).
int RapidBiphi3_PointHessian(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                             int32_t M, const double* const* points, int32_t numInPanel, double accuracy,
                             RapidBiphi3Workspace* workspace, double* values, double* const* gradients,
                             double* const* const* hessians, const CoreReporter* reporter, double target);
// Grid base + (i dx, j dy, k dz), i fastest.
int RapidBiphi3_GridEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                         const double* base, const double* spacing, const int32_t* size, int32_t numInPanel,
                         double accuracy, int32_t gradient, RapidBiphi3Workspace* workspace, double* values,
                         double* const* gradients, const CoreReporter* reporter, double target);

// Forms what is missing: the far field (again for another coefficient array
// or a finer accuracy), then derivative expansions up to the level wanted.
int RapidBiphi3_Setup(RapidBiphi3Workspace* workspace, const double* coeffs, int32_t derivativeLevel, double accuracy);
void RapidBiphi3_FreeExpansions(RapidBiphi3Workspace* workspace);
void RapidBiphi3_Free(RapidBiphi3Workspace* workspace);

int32_t RapidBiphi3_ExpansionBytes(int32_t N, int32_t numInPanel, int32_t derivativeLevel,
                                   const RapidBiphi3Workspace* workspace);
int32_t RapidBiphi3_TreeBytes(int32_t N, int32_t numInPanel, const RapidBiphi3Workspace* workspace);
int32_t RapidBiphi3_Bytes(int32_t N, int32_t numInPanel, const RapidBiphi3Workspace* workspace);

// The squared distance beyond which order p meets accuracy eps for a panel
// of radius R whose far field has bound A (the largest finite double when
// the bound cannot be met or computed).
double RapidBiphi3_UseDistance2(int32_t p, double R, double A, double eps);

// Diagnostics on standard output.
void RapidBiphi3_DumpSubtree(const Biphi3Panel* panel);
void RapidBiphi3_DumpLevel(const RapidBiphi3Workspace* workspace, int32_t level);
// Largest error of each order 2 to 13 of a panel's far field against its
// direct sum on a sphere of radius multiplier × panel radius.
void RapidBiphi3_SphereErrors(const RapidBiphi3Workspace* workspace, const Biphi3Panel* panel, double multiplier);
// One order on the sphere: 1 when the largest error exceeds the accuracy.
int RapidBiphi3_SphereTest(const RapidBiphi3Workspace* workspace, const Biphi3Panel* panel, int32_t order,
                           double multiplier);

#endif
