// Internal helpers of the one-dimensional solvers: the evaluation trace and
// the sign test that they share.
#ifndef SURFACE_FIT_ONE_DIM_TRACE_H
#define SURFACE_FIT_ONE_DIM_TRACE_H

#include <cstdint>

#include "surface/fit/one_dim_solvers.h"

namespace one_dim {

// Starts the trace afresh at entry 1.
inline void TraceRestart(OneDimTrace* trace) {
    if (trace && trace->x) trace->x[0] = 1.0;
}

// Appends one evaluation at the index held in entry 0.
inline void TracePush(OneDimTrace* trace, double x, double f) {
    if (!trace || !trace->x || !trace->f) return;
    const int32_t at = static_cast<int32_t>(trace->x[0]);
    if (at < 1) return;
    trace->x[at] = x;
    trace->f[at] = f;
    trace->x[0] = at + 1;
}

// Evaluates f at x into *value and traces the evaluation.
inline int Evaluate(OneDimFunction fn, double x, void* context, double* value, OneDimTrace* trace) {
    const int status = fn(x, context, value);
    TracePush(trace, x, *value);
    return status;
}

// Values with the same sign in the solvers' sense (>= 0 against >= 0).
inline bool SameSign(double u, double v) { return (u >= 0.0) == (v >= 0.0); }

}  // namespace one_dim

#endif
