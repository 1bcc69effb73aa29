// One-dimensional root finding and minimisation over a caller's callback.
//
// The callback writes f(x) and returns a core status; any non-zero status
// stops a solver, which returns it (the bracketing and the search by value
// treat 20, "the function cannot be evaluated here", specially). Every solver
// takes the interval ends by address and hands the final ends back through
// them.
//
// A trace, when given, records every evaluation: entry 0 of its abscissae
// holds, as a double, the index of the next free entry, and each evaluation
// is written there in both arrays. The caller sizes the arrays for the
// iteration limit plus the start entries.
//
// Statuses: 0 success, 11 iteration limit reached before the stopping test
// held, 23 a required pointer is null, and the callback's statuses.
#ifndef SURFACE_FIT_ONE_DIM_SOLVERS_H
#define SURFACE_FIT_ONE_DIM_SOLVERS_H

#include <cstdint>

using OneDimFunction = int (*)(double x, void* context, double* value);

struct OneDimTrace {
    double* x;  // x[0] holds the next free index
    double* f;
};

// Moves a and b until f changes sign between them: b = a + step, then while
// the signs agree a := b, the step doubles and b moves on by it (trial points
// a + step, a + 3 step, a + 7 step, ...), at most maxDoublings times. *fa is
// the caller's f(a). A callback status 20 ends the search with a at the last
// point that evaluated and b at the one that did not, and is returned. 11
// when the doublings ran out with the signs still agreeing. The trace starts
// afresh at entry 1 with (a, f(a)).
int Root_Bracket(OneDimFunction fn, double* a, double* b, double* fa, double* fb, double step, void* context,
                 int32_t maxDoublings, OneDimTrace* trace);
// A root of f in [a, b] (f(a) and f(b) of opposite signs): each trial point
// is the mean of the false-position point and the midpoint; the end whose
// value has the trial value's sign is replaced, until b - a is within the
// tolerance. The root returned is the false-position point of the final ends.
int Root_Find(OneDimFunction fn, double* a, double* b, double fa, double fb, double tolerance, void* context,
              int32_t maxIterations, double* root, OneDimTrace* trace);
// As Root_Find with a relative tolerance of `digits` decimal digits (at least
// 0.2) of |b|, and trial points three quarters of the way from the midpoint
// to the false-position point.
int Root_FindDigits(OneDimFunction fn, double* a, double* b, double fa, double fb, double digits, void* context,
                    int32_t maxIterations, double* root, OneDimTrace* trace);
// A point where |f| is within the tolerance, for f(a) < 0 < f(b): shrinks the
// interval as Root_Find does until one end's value is within the tolerance;
// x receives that end. A callback status 20 is accepted with the value it
// wrote.
int Root_FindByValue(OneDimFunction fn, double* a, double* b, double* fa, double* fb, double tolerance, void* context,
                     int32_t maxIterations, double* x, OneDimTrace* trace);

// ---- Minimisation ----

// Walks downhill from a (f at a, a + step, a + 2 step, then doubling steps)
// while f keeps falling, at most maxDoublings times; a and c receive ends
// around the descent. 11 when f is still falling at the end.
int Min_Bracket(OneDimFunction fn, double* a, double* c, double step, void* context, int32_t maxDoublings,
                OneDimTrace* trace);
// A minimiser of f in [a, b] by golden-section search; x receives the best
// point and a, b the final ends.
int Min_Golden(OneDimFunction fn, double* a, double* b, double tolerance, void* context, int32_t maxIterations,
               double* x, OneDimTrace* trace);
// The same by Brent's method (parabolic steps where they are safe).
int Min_Brent(OneDimFunction fn, double* a, double* b, double tolerance, void* context, int32_t maxIterations,
              double* x, OneDimTrace* trace);
// Brent's method with a relative tolerance of `digits` decimal digits (at
// least 0.2) of max(|a|, |b|).
int Min_BrentDigits(OneDimFunction fn, double* a, double* b, double digits, void* context, int32_t maxIterations,
                    double* x, OneDimTrace* trace);

#endif
