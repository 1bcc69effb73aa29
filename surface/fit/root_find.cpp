// Bracketing and finding roots of a one-dimensional callback.
#include "surface/fit/one_dim_solvers.h"

#include <cmath>

#include "surface/fit/one_dim_trace.h"
#include "surface/frame/status_codes.h"

using one_dim::Evaluate;
using one_dim::SameSign;

namespace {

// The false-position point of the ends. Equal values give no line through
// them to intersect, so the midpoint stands in for it.
double SecantPoint(double a, double b, double fa, double fb) {
    if (fb == fa) return 0.5 * (a + b);
    return a + (a - b) * fa / (fb - fa);
}

// Trial point between the midpoint (weight 0) and the false-position point
// (weight 1).
double TrialPoint(double a, double b, double fa, double fb, double weight) {
    const double m = 0.5 * (a + b);
    return m + weight * (SecantPoint(a, b, fa, fb) - m);
}

// Replaces the end whose value has the sign of f(x).
void Shrink(double x, double fx, double* a, double* b, double* fa, double* fb) {
    if (SameSign(*fa, fx)) {
        *a = x;
        *fa = fx;
    } else {
        *b = x;
        *fb = fx;
    }
}

// The shared loop of Root_Find and Root_FindDigits. A positive `digits`
// makes the tolerance relative to |b|, recomputed after every step.
int FindLoop(OneDimFunction fn, double* a, double* b, double fa, double fb, double tolerance, double digits,
             double weight, void* context, int32_t maxIterations, double* root, OneDimTrace* trace) {
    const double scale = digits > 0.0 ? std::pow(10.0, -digits) : 0.0;
    if (digits > 0.0) tolerance = scale * std::fabs(*b);
    int32_t iterations = 0;
    int status = 0;
    while (*b - *a > tolerance && iterations < maxIterations) {
        const double x = TrialPoint(*a, *b, fa, fb, weight);
        double fx = 0.0;
        status = Evaluate(fn, x, context, &fx, trace);
        if (status != 0) break;
        Shrink(x, fx, a, b, &fa, &fb);
        ++iterations;
        if (digits > 0.0) tolerance = scale * std::fabs(*b);
    }
    *root = SecantPoint(*a, *b, fa, fb);
    if (status != 0) return status;
    if (iterations >= maxIterations && *b - *a > tolerance) return CoreStatus_ReachedMaxIteration;
    return 0;
}

}  // namespace

int Root_Bracket(OneDimFunction fn, double* a, double* b, double* fa, double* fb, double step, void* context,
                 int32_t maxDoublings, OneDimTrace* trace) {
    if (!a || !b || !fa || !fb || !fn) return CoreStatus_NullArgument;
    double x0 = *a, f0 = *fa;
    one_dim::TraceRestart(trace);
    one_dim::TracePush(trace, x0, f0);
    double x1 = x0 + step, f1 = 0.0;
    int status = Evaluate(fn, x1, context, &f1, trace);
    int32_t doublings = 0;
    while (status == 0 && SameSign(f0, f1) && doublings < maxDoublings) {
        const double xNext = x1 + 2.0 * step;
        double fNext = f1;
        status = Evaluate(fn, xNext, context, &fNext, trace);
        if (status != 0 && status != CoreStatus_EarlyLineSearchEnd) break;
        x0 = x1;
        f0 = f1;
        step *= 2.0;
        x1 = xNext;
        f1 = fNext;
        ++doublings;
    }
    *a = x0;
    *b = x1;
    *fa = f0;
    *fb = f1;
    if (status != 0) return status;
    if (doublings >= maxDoublings && SameSign(f0, f1)) return CoreStatus_ReachedMaxIteration;
    return 0;
}

int Root_Find(OneDimFunction fn, double* a, double* b, double fa, double fb, double tolerance, void* context,
              int32_t maxIterations, double* root, OneDimTrace* trace) {
    if (!a || !b || !root || !fn) return CoreStatus_NullArgument;
    return FindLoop(fn, a, b, fa, fb, tolerance, 0.0, 0.5, context, maxIterations, root, trace);
}

int Root_FindDigits(OneDimFunction fn, double* a, double* b, double fa, double fb, double digits, void* context,
                    int32_t maxIterations, double* root, OneDimTrace* trace) {
    if (!a || !b || !root || !fn) return CoreStatus_NullArgument;
    if (!(digits >= 0.2)) digits = 0.2;
    return FindLoop(fn, a, b, fa, fb, 0.0, digits, 0.75, context, maxIterations, root, trace);
}

int Root_FindByValue(OneDimFunction fn, double* a, double* b, double* fa, double* fb, double tolerance, void* context,
                     int32_t maxIterations, double* x, OneDimTrace* trace) {
    if (!a || !b || !x || !fa || !fb || !fn) return CoreStatus_NullArgument;
    int32_t iterations = 0;
    int status = 0;
    while (*fb > tolerance && *fa < -tolerance && iterations < maxIterations) {
        const double t = TrialPoint(*a, *b, *fa, *fb, 0.5);
        double ft = 0.0;
        status = Evaluate(fn, t, context, &ft, trace);
        if (status == CoreStatus_EarlyLineSearchEnd) status = 0;
        if (status != 0) break;
        Shrink(t, ft, a, b, fa, fb);
        ++iterations;
    }
    // The end whose value came within the tolerance.
    *x = *fb > tolerance ? *a : *b;
    if (status != 0) return status;
    if (iterations >= maxIterations && *b - *a > tolerance) return CoreStatus_ReachedMaxIteration;
    return 0;
}
