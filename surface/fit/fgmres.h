// Flexible GMRES: restarted Krylov iterations with right preconditioning by
// a preconditioner that may change from one step to the next (an inner
// iterative solve, for instance). The Krylov vectors live in the space of
// the n residual entries; the solution carries `NumExtra` further entries
// (the polynomial coefficients of an RBF system) that only the
// preconditioner and the product see.
#ifndef SURFACE_FIT_FGMRES_H
#define SURFACE_FIT_FGMRES_H

#include <cstdint>

#include "surface/frame/core_reporter.h"

// Measure of a residual for the stopping test (vector, length, user data).
using FGMResResidualNorm = double (*)(const double* vector, int32_t length, void* user);
// z (n + NumExtra entries) := an approximate inverse applied to v (n
// entries); `residual` is the calling solver's current residual measure.
using FGMResPreconditioner = int (*)(int32_t rows, const double* v, void* user, double* z, double residual,
                                     const CoreReporter* reporter, double progress);
// Ax (n entries) := the system applied to x (n + NumExtra entries), to the
// evaluation accuracy given.
using FGMResMultiply = int (*)(int32_t n, const double* x, double accuracy, void* user, double* Ax,
                               const CoreReporter* reporter, double progress);

struct FGMResOptions {
    int32_t UseCoeffs;                // non-zero: x passed in is the starting guess
    int32_t MaxIteration;             // iterations over all restarts
    int32_t MaxSaved;                 // Krylov vectors kept before a restart
    double EvalAccFactor;             // products are evaluated to the target times this
    int32_t NumExtra;                 // entries of x beyond the n residual entries
    FGMResResidualNorm ResidualNorm;  // null: the largest absolute entry
    int32_t MsgIndent;                // indent of the solver's lines
    double AchievedResidual;          // output: the residual measure reached
};

void FGMRes_DefaultOptions(FGMResOptions* options);
// 0, or 5 with the first failing test reported as an error.
int FGMRes_CheckOptions(const FGMResOptions* options, const CoreReporter* reporter);

// Solves A x = b to a residual measure at most `target`. `rows` is handed to
// the preconditioner as its row count. Returns 0; 5 for a missing argument or
// bad options; 11 when the iterations ran out above the target; 2 without
// scratch memory; or the first non-zero status of a callback. Options may be
// null (defaults); their AchievedResidual is written.
int FGMRes_Solve(int32_t n, int32_t rows, const double* b, double target, FGMResOptions* options,
                 FGMResPreconditioner precondition, FGMResMultiply multiply, void* user, double* x,
                 const CoreReporter* reporter, double progressEnd);

#endif
