// MQExpansion: the far-field machinery of the generalised multiquadric
// family φ(r) = (r² + c²)^{k/2} (k odd positive, or negative) in three
// dimensions.
//
// The centres are put into an EvalTree. Every panel from the first level
// that holds a leaf down gets a series: with d the point relative to the
// panel's ball centre and u = d/|d|², each centre's kernel is
// |d|^k (1 - 2 u·y + s |u|²)^{k/2} (y the centre relative to the ball
// centre, s = |y|² + c²), whose Taylor polynomial in u to total degree p + k
// follows the Gegenbauer recurrence. Each panel also holds, for four
// decreasing orders, the squared distance beyond which that order meets the
// per-level accuracy. The walks choose per panel between the series of the
// lowest adequate order and the direct sum, by a cost model.
//
// Memory is tracked. Core statuses: 0, 2 no memory, 5 invalid input,
// 10 user abort, 23 a missing argument, and the tree build's.
#ifndef SURFACE_FIT_MQ_EXPANSION_H
#define SURFACE_FIT_MQ_EXPANSION_H

#include <cstdint>

#include "surface/fit/eval_tree.h"

struct CoreReporter;

constexpr int32_t kMQOrders = 4;
// Category bit of the multiquadric family's detail messages.
constexpr int32_t kCategoryMultiquadric = 0x40;

struct MQPanelSeries {
    double S;               // Σ|c_j|
    double D2[kMQOrders];   // squared use distance of each order
    double* A;              // tetrahedral series to total degree p + k (null when p + k < 0)
    double* Derivative[3];  // x, y, z derivative series to degree p + k + 1
};

// How the walks sum directly and scale the series: the plain family, or the
// approximate spherical kernel (cone c_j (1 + a r) inside r0, F times the
// family outside; the series always at the full order, times F).
struct MQKernelShape {
    int32_t Spherical;
    double Outer;    // F
    double InnerR2;  // r0²
    double Slope;    // a
};

struct MQExpansion {
    int32_t TreeBuilt, Formed, Differentiated;
    int32_t N;
    int32_t NumInPanel;
    EvalTree Tree;
    double* Centres;  // 3 N, tree order
    double* Coeffs;   // N, tree order
    int32_t K, P;
    double AbsC, C2;
    int32_t Orders[kMQOrders];
    double Costs[kMQOrders];
    double* Alpha;  // recurrence coefficients, index 2 .. p + k
    double* Beta;
    double* Scratch;  // one tetrahedral array of degree p + k
    int32_t FirstLevel;
    int32_t SeriesPanels;
    double Accuracy, LevelAccuracy;
    MQKernelShape Shape;
    // Statistics of the walks.
    double DirectEvals, FarEvals, TooCostly;
    double OrderUses[kMQOrders];
    double LevelUses[kEvalTreeLevels];
};

int MQExpansion_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                         MQExpansion* record, const CoreReporter* reporter);
int MQExpansion_InitExpansions(int32_t N, int32_t p, int32_t k, double c, const double* coeffs, int32_t differentiate,
                               MQExpansion* record, const CoreReporter* reporter, double target);
int MQExpansion_FormSeries(MQExpansion* record, const CoreReporter* reporter, double target);
int MQExpansion_Differentiate(int32_t p, int32_t k, MQExpansion* record, const CoreReporter* reporter);
// Fills D2 of one panel: orders, factors (binomials for k <= 0), exponent,
// c², per-level accuracy and the root panel's radius (the negligible scale).
int Expansion_UseDistances(EvalPanel* panel, const int32_t* orders, const double* factors, int32_t k, double c2,
                           double levelAccuracy, double scale);

double MQExpansion_TreeValue(const EvalPanel* panel, const double* point, MQExpansion* record);
// Adds the value and gradient of the subtree at the point.
void MQExpansion_TreeGradient(const EvalPanel* panel, const double* point, MQExpansion* record, double* value,
                              double* gradient);

void MQExpansion_ResetStats(MQExpansion* record);
void MQExpansion_PrintStats(const MQExpansion* record, int32_t evaluations, const CoreReporter* reporter);
void MQExpansion_PrintUse(const MQExpansion* record);

void MQExpansion_FreeExpansions(MQExpansion* record);
void MQExpansion_Free(MQExpansion* record);
int32_t MQExpansion_Bytes(const MQExpansion* record, int32_t p, int32_t k, int32_t differentiated);

// Size of a tetrahedral array of total degree at most t (0 for t < 0).
constexpr int32_t Tetra_Size(int32_t t) { return t < 0 ? 0 : (t + 1) * (t + 2) * (t + 3) / 6; }

#endif
