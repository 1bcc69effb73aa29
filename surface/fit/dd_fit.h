// The multilevel domain-decomposition fitter: the coefficients of an RBF
// interpolant (basic function plus polynomial part) through N centres to a
// given accuracy, for N far beyond one dense factor.
//
// Level 1 holds the centres; every coarser level holds a spread-out sample
// of the finer level's points (about one in CoarseSampleRate), down to a
// coarsest level small enough for one direct factor. An iteration at a level
// solves the residual locally on overlapping subdomains, corrects what is
// left by fitting the coarser levels (each by the same iteration), and takes
// the residual-minimising step along the combined direction. Products use
// the evaluation front, whose expansions are dropped after every product
// because the arrays they were built from are rewritten in place.
//
// A caller's workspace keeps levels, factors and evaluation trees between
// runs: new values over the same centres reuse everything, a new smoothing
// value refactors only, appended centres go through DDFit_Update.
//
// Core statuses: 0, 2 no memory, 4 the points do not span the polynomial
// space, 5 invalid input, 6 too few centres, 9 no convergence, 10 user
// abort, 11 MaxIteration reached, 12 no basic function, 19 every value
// within the accuracy (zero coefficients), 23 a missing array, 24 accuracy
// not positive.
#ifndef SURFACE_FIT_DD_FIT_H
#define SURFACE_FIT_DD_FIT_H

#include <cstdint>

#include "surface/fit/dd_fit_options.h"
#include "surface/fit/direct_fit.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/rapid_eval.h"
#include "surface/frame/basic_function.h"

struct CoreReporter;

struct DDFitLevel {
    int32_t Number;  // 1 is the finest
    int32_t Initialised;
    int32_t Coarsest;        // solved by the direct factor
    double* History;         // MaxIteration + 1: [0] start error, then after each iteration
    int32_t Capacity;        // points the arrays have room for
    int32_t N;               // points
    double* const* Centres;  // level 1: the caller's table; coarser: OwnCentres
    double** OwnCentres;     // CentreCapacity rows, coarser levels only
    int32_t CentreCapacity;
    int32_t* CoarseIndex;  // next coarser level's points in this numbering, then one slot per term
    int32_t CoarseCount;   // points of the next coarser level
    int32_t CoarseIndexCapacity;
    double* Residual;        // Capacity
    double* Product;         // Capacity
    double* Restricted;      // Capacity: the finer level's values restricted here
    double* Values;          // Capacity: this level's fit targets (coarser levels)
    double* Direction;       // Capacity + terms
    double* Correction;      // Capacity + terms
    double* Coeffs;          // Capacity + terms (coarser levels)
    double* Cascade;         // Capacity + terms: a finer level's coarse correction gathered here
    double* CascadeProduct;  // Capacity: the product of the correction from below at these points
    double** PolyBasis;      // terms x Capacity, orthonormal
    int32_t PolyCount;
    SDData Decomp;
    RapidEvalWorkspace Eval;
    RapidEvalWorkspace CoarseEval;  // products of the coarser correction (SeparateCoarseEval)
    RapidEvalOptions EvalOptions;
    InterpolationData Direct;  // coarsest level
    int32_t Iterations;        // of the last fit
    double ProgressEnd;
};

struct DDFitWorkspace {
    DDFitOptions Options;
    int32_t Initialised;
    BasicFunctionKernel Kernel;
    double Accuracy;
    int32_t NumLevels;
    int32_t LevelsAllocated;
    double MemoryLimit;  // bytes
    double FactorBudget;
    double TrackedAfterFactoring;
    int32_t MemoryWarningGiven;
    int32_t NumCent;
    DDFitLevel* Levels;  // Levels[k - 1] is level k
    const CoreReporter* Reporter;
    double Shift[3];
    double Alpha;
    double MinMemoryMB;
    double MaxMemoryMB;
};

// coefficients: N + terms doubles, in/out (null lets the fit allocate a
// tracked array, returned through *coefficients; with UseLambda above 0 it
// must be given). shift: the polynomial centre, set by AllowCentredPoly.
// progressEnd: the progress value at which the fit ends (raised to the
// current progress).
int DDFit_Run(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
              double accuracy, double memoryLimit, const DDFitOptions* options, DDFitWorkspace* workspace,
              double** coefficients, double* shift, const CoreReporter* reporter, double progressEnd);
// Tells the workspace that centres were appended (the table holds all N,
// the old ones first and unchanged).
int DDFit_Update(int32_t N, double* const* centres, DDFitWorkspace* workspace);
// Frees every level and zero-fills the workspace (null allowed).
void DDFit_FreeWorkspace(DDFitWorkspace* workspace);

#endif
