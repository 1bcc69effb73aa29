// The fitting core's fitted-function record: what the fitters return and
// what the evaluators read. An all-zero record is empty.
#ifndef SURFACE_FRAME_CORE_RBF_H
#define SURFACE_FRAME_CORE_RBF_H

#include <cstdint>

#include "surface/frame/basic_function.h"

struct CoreRbf {
    int32_t Count;               // centres
    double** Centres;            // row-pointer table over one block of Count x dimension doubles
    double* Coeffs;              // Count centre coefficients, then the polynomial terms
    double PolyCentre[3];        // the point the polynomial part is written about
    int32_t* Indices;            // the data index of every centre, or null
    BasicFunctionKernel Kernel;  // copy of the basic-function row
    double AchievedAccuracy;     // -1.0 while unknown
    double EvalAccuracy;         // the evaluation accuracy used
    // Non-zero when the centre data, the coefficients and the indices belong
    // to a library solution that the record was made from: only the row table
    // is the record's own then.
    int32_t BorrowsArrays;
};

// Frees the record's arrays (tracked memory) and zero-fills it; null is
// allowed. A record that borrows its arrays frees only its row table.
void CoreSolution_Free(CoreRbf* core);

#endif
