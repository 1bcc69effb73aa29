// Minimisation of a one-dimensional callback: a downhill bracketing step,
// golden-section search and Brent's method.
#include <cmath>

#include "surface/fit/one_dim_trace.h"
#include "surface/fit/one_dim_solvers.h"
#include "surface/frame/status_codes.h"

using one_dim::Evaluate;

namespace {

// (3 - √5) / 2: the golden-section share of an interval.
const double kGolden = 0.38196601125010515;

// The double epsilon as the halving of 1.0 finds it (the first value that
// no longer changes 1.0), and its square root: the relative resolution of
// the trial points.
double RootEpsilon() {
    volatile double eps = 1.0;
    volatile double sum = 2.0;
    while (sum != 1.0) {
        eps = eps * 0.5;
        sum = 1.0 + eps;
    }
    return std::sqrt(static_cast<double>(eps));
}

// A step of at least h in magnitude, keeping its sign.
double AtLeast(double step, double h) {
    if (std::fabs(step) >= h) return step;
    return step >= 0.0 ? h : -h;
}

// The loop bound of the Brent searches: an absolute tolerance, or `digits`
// decimal digits of the larger end magnitude.
struct Tolerance {
    double absolute;
    double relative;  // 10^-digits, or 0 for an absolute tolerance
    double At(double a, double b) const {
        return relative > 0.0 ? relative * std::fmax(std::fabs(a), std::fabs(b)) : absolute;
    }
};

// Brent's method on [a, b]: parabolic interpolation through the three best
// points x, w, v, with golden-section steps where the parabola is unsafe.
int BrentLoop(OneDimFunction fn, double* a, double* b, Tolerance tolerance, void* context, int32_t maxIterations,
              double* best, OneDimTrace* trace) {
    const double r = RootEpsilon();
    double x = *a + kGolden * (*b - *a);
    double fx = 0.0;
    int status = Evaluate(fn, x, context, &fx, trace);
    double w = x, v = x, fw = fx, fv = fx;
    double d = 0.0, e = 0.0;
    int32_t iterations = 0;
    double tol = tolerance.At(*a, *b);
    while (status == 0 && *b - *a > tol && iterations < maxIterations) {
        const double m = 0.5 * (*a + *b);
        const double h = std::fabs(x) * r + tol / 3.0;
        bool golden = true;
        if (std::fabs(e) > h) {
            double t = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * t;
            q = 2.0 * (q - t);
            if (q > 0.0) p = -p;
            q = std::fabs(q);
            const double before = e;
            e = d;
            if (std::fabs(p) < std::fabs(0.5 * q * before) && p > q * (*a - x) && p < q * (*b - x)) {
                d = p / q;
                const double u = x + d;
                if (u - *a < 2.0 * h || *b - u < 2.0 * h) d = x < m ? h : -h;
                golden = false;
            }
        }
        if (golden) {
            e = (x >= m ? *a : *b) - x;
            d = kGolden * e;
        }
        d = AtLeast(d, h);
        const double u = x + d;
        double fu = 0.0;
        status = Evaluate(fn, u, context, &fu, trace);
        if (status != 0) break;
        if (fu <= fx) {
            (u >= x ? *a : *b) = x;
            v = w, fv = fw;
            w = x, fw = fx;
            x = u, fx = fu;
        } else {
            (u < x ? *a : *b) = u;
            if (fu <= fw || w == x) {
                v = w, fv = fw;
                w = u, fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u, fv = fu;
            }
        }
        ++iterations;
        tol = tolerance.At(*a, *b);
    }
    *best = x;
    if (status != 0) return status;
    if (iterations >= maxIterations && *b - *a > tol) return CoreStatus_ReachedMaxIteration;
    return 0;
}

}  // namespace

int Min_Bracket(OneDimFunction fn, double* a, double* c, double step, void* context, int32_t maxDoublings,
                OneDimTrace* trace) {
    if (!a || !c || !fn) return CoreStatus_NullArgument;
    one_dim::TraceRestart(trace);
    double x0 = *a, xm = *a + step, x1 = *a + 2.0 * step;
    double f0 = 0.0, fm = 0.0, f1 = 0.0;
    int status = Evaluate(fn, x0, context, &f0, trace);
    if (status == 0) status = Evaluate(fn, xm, context, &fm, trace);
    if (status == 0) status = Evaluate(fn, x1, context, &f1, trace);
    int32_t doublings = 0;
    while (status == 0 && f0 > fm && fm > f1 && doublings < maxDoublings) {
        x0 = xm, f0 = fm;
        xm = x1, fm = f1;
        x1 = x1 + 2.0 * step;
        step *= 2.0;
        status = Evaluate(fn, x1, context, &f1, trace);
        ++doublings;
    }
    if (status == 0 && fm > f0) x1 = xm;
    *a = x0;
    *c = x1;
    if (status != 0) return status;
    if (doublings >= maxDoublings && f0 > fm && fm > f1) return CoreStatus_ReachedMaxIteration;
    return 0;
}

int Min_Golden(OneDimFunction fn, double* a, double* b, double tolerance, void* context, int32_t maxIterations,
               double* best, OneDimTrace* trace) {
    if (!a || !b || !best || !fn) return CoreStatus_NullArgument;
    const double r = RootEpsilon();
    double x = *a + kGolden * (*b - *a);
    double fx = 0.0;
    int status = Evaluate(fn, x, context, &fx, trace);
    const double third = tolerance / 3.0;
    double h = third + std::fabs(x) * r;
    int32_t iterations = 0;
    while (status == 0 && *b - *a > tolerance && iterations < maxIterations) {
        const double m = 0.5 * (*a + *b);
        const double step = AtLeast(((x < m ? *b : *a) - x) * kGolden, h);
        const double u = x + step;
        double fu = 0.0;
        status = Evaluate(fn, u, context, &fu, trace);
        if (status != 0) break;
        if (fu > fx) {
            (u >= x ? *b : *a) = u;
        } else {
            (u >= x ? *a : *b) = x;
            x = u;
            fx = fu;
        }
        h = std::fabs(x) * r + third;
        ++iterations;
    }
    *best = x;
    if (status != 0) return status;
    if (iterations >= maxIterations && *b - *a > tolerance) return CoreStatus_ReachedMaxIteration;
    return 0;
}

int Min_Brent(OneDimFunction fn, double* a, double* b, double tolerance, void* context, int32_t maxIterations,
              double* best, OneDimTrace* trace) {
    if (!a || !b || !best || !fn) return CoreStatus_NullArgument;
    return BrentLoop(fn, a, b, Tolerance{tolerance, 0.0}, context, maxIterations, best, trace);
}

int Min_BrentDigits(OneDimFunction fn, double* a, double* b, double digits, void* context, int32_t maxIterations,
                    double* best, OneDimTrace* trace) {
    if (!a || !b || !best || !fn) return CoreStatus_NullArgument;
    if (!(digits >= 0.2)) digits = 0.2;
    return BrentLoop(fn, a, b, Tolerance{0.0, std::pow(10.0, -digits)}, context, maxIterations, best, trace);
}
