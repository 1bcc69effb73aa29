// The eight kernel operations as loops over an inline shape (kernel_shapes.h).
// Only kernel_table.cpp instantiates them.
#ifndef SURFACE_FRAME_KERNEL_LOOPS_H
#define SURFACE_FRAME_KERNEL_LOOPS_H

#include <cmath>
#include <cstdint>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace kernel_loops {

// Progress in lumps of about 0.01 towards the caller's end value: k steps'
// worth at a time, k the whole number of step shares that fit into 0.01.
class ProgressLumps {
  public:
    ProgressLumps(const CoreReporter* reporter, double end, int64_t steps) {
        if (!reporter || !reporter->progress || steps <= 0) return;
        const double share = (end - Load(reporter->progress)) / static_cast<double>(steps);
        if (!(share > 0.0)) return;
        target_ = reporter->progress;
        const double whole = std::floor(0.01 / share);
        every_ = whole < 1.0 ? 1 : whole > 4.0e18 ? INT64_MAX : static_cast<int64_t>(whole);
        increment_ = static_cast<double>(every_) * share;
    }
    // After step i of a row or point loop (counted from 0).
    void AfterStep(int64_t i) {
        if (target_ && i % every_ == 0) Add();
    }
    // After `done` grid points (counted from 1).
    void AfterPoints(int64_t done) {
        if (target_ && done % every_ == 0) Add();
    }

  private:
    // The value is shared with a reading thread: whole-value loads and stores.
    static double Load(double* p) {
        double v;
        __atomic_load(p, &v, __ATOMIC_RELAXED);
        return v;
    }
    void Add() {
        double v = Load(target_) + increment_;
        __atomic_store(target_, &v, __ATOMIC_RELAXED);
    }
    double* target_ = nullptr;
    int64_t every_ = 1;
    double increment_ = 0.0;
};

template <int D>
inline double Distance2(const double* a, const double* b) {
    double s = 0.0;
    for (int k = 0; k < D; ++k) {
        const double d = a[k] - b[k];
        s += d * d;
    }
    return s;
}

template <class Shape, int D>
struct Loops {
    static void FillMatrix(const Shape& k, int32_t n, const double* const* c, double* const* rows) {
        const double phi0 = k.Phi(0.0);
        for (int32_t i = 0; i < n; ++i) {
            double* row = rows[i];
            for (int32_t j = 0; j < i; ++j) row[j] = k.Phi(Distance2<D>(c[i], c[j]));
            row[i] = phi0;
        }
    }

    static void FillRows(const Shape& k, int32_t n, const double* const* c, int32_t m, const int32_t* index,
                         double* const* rows) {
        for (int32_t i = 0; i < m; ++i) {
            const double* ci = c[index[i]];
            double* row = rows[i];
            for (int32_t j = 0; j < n; ++j) row[j] = k.Phi(Distance2<D>(ci, c[j]));
        }
    }

    // The symmetric product from the lower triangle, each pair once: y[i] is
    // assigned at row i, before any later row adds into it.
    static int Multiply(const Shape& k, int32_t n, const double* const* c, const double* lambda, double* y,
                        const CoreReporter* reporter, double end) {
        ProgressLumps progress(reporter, end, n);
        const double phi0 = k.Phi(0.0);
        for (int32_t i = 0; i < n; ++i) {
            const double* ci = c[i];
            const double li = lambda[i];
            double sum = 0.0;
            for (int32_t j = 0; j < i; ++j) {
                const double v = k.Phi(Distance2<D>(ci, c[j]));
                y[j] += v * li;
                sum += v * lambda[j];
            }
            y[i] = sum + phi0 * li;
            progress.AfterStep(i);
            if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
        }
        return 0;
    }

    static double ValueAt(const Shape& k, int32_t n, const double* const* c, const double* lambda, const double* p) {
        double v = 0.0;
        for (int32_t j = 0; j < n; ++j) v += lambda[j] * k.Phi(Distance2<D>(p, c[j]));
        return v;
    }

    static double ValueGradientAt(const Shape& k, int32_t n, const double* const* c, const double* lambda,
                                  const double* p, double* gradient) {
        double v = 0.0;
        double g[D] = {};
        for (int32_t j = 0; j < n; ++j) {
            const double* cj = c[j];
            double diff[D];
            double s = 0.0;
            for (int a = 0; a < D; ++a) {
                diff[a] = p[a] - cj[a];
                s += diff[a] * diff[a];
            }
            double phi, factor;
            k.PhiGrad(s, &phi, &factor);
            v += lambda[j] * phi;
            if (s > 0.0) {
                const double w = lambda[j] * factor;
                for (int a = 0; a < D; ++a) g[a] += w * diff[a];
            }
        }
        for (int a = 0; a < D; ++a) gradient[a] = g[a];
        return v;
    }

    static int PointEval(const Shape& k, int32_t n, const double* const* c, const double* lambda, int32_t m,
                         const double* const* points, double* values, const CoreReporter* reporter, double end) {
        ProgressLumps progress(reporter, end, m);
        for (int32_t i = 0; i < m; ++i) {
            values[i] = ValueAt(k, n, c, lambda, points[i]);
            progress.AfterStep(i);
            if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
        }
        return 0;
    }

    static int PointGradient(const Shape& k, int32_t n, const double* const* c, const double* lambda, int32_t m,
                             const double* const* points, double* values, double* const* gradients,
                             const CoreReporter* reporter, double end) {
        ProgressLumps progress(reporter, end, m);
        for (int32_t i = 0; i < m; ++i) {
            values[i] = ValueGradientAt(k, n, c, lambda, points[i], gradients[i]);
            progress.AfterStep(i);
            if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
        }
        return 0;
    }

    // Visits the grid nodes with coordinate 0 fastest; stops with status 10
    // when the abort flag is seen (also once before the first node).
    template <class Visit>
    static int Grid(const double* origin, const double* spacing, const int32_t* sizes, const CoreReporter* reporter,
                    double end, Visit visit) {
        int64_t total = 1;
        for (int a = 0; a < D; ++a) total *= sizes[a];
        ProgressLumps progress(reporter, end, total);
        if (reporter && CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
        const int32_t outer = D == 3 ? sizes[2] : 1;
        double p[3] = {0.0, 0.0, 0.0};
        int64_t done = 0;
        for (int32_t i2 = 0; i2 < outer; ++i2) {
            if (D == 3) p[2] = origin[D - 1] + i2 * spacing[D - 1];
            for (int32_t i1 = 0; i1 < sizes[1]; ++i1) {
                p[1] = origin[1] + i1 * spacing[1];
                for (int32_t i0 = 0; i0 < sizes[0]; ++i0) {
                    p[0] = origin[0] + i0 * spacing[0];
                    visit(done, p);
                    ++done;
                    progress.AfterPoints(done);
                    if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
                }
            }
        }
        return 0;
    }
};

template <class Shape>
struct Family {
    // Fixed-dimension kernels check type and dimension; the others the type
    // (and that the record's dimension is one they run in).
    static int Check(const BasicFunctionKernel* r) {
        if (r->Type != Shape::kType) return CoreStatus_InvalidBasicFunction;
        if (Shape::kDim != 0 ? r->Dim != Shape::kDim : (r->Dim != 2 && r->Dim != 3))
            return CoreStatus_InvalidBasicFunction;
        return 0;
    }

    // Runs f with the loops of the record's dimension.
    template <class F>
    static auto ByDim(const BasicFunctionKernel* r, F f) {
        if constexpr (Shape::kDim == 2) {
            return f(Loops<Shape, 2>());
        } else if constexpr (Shape::kDim == 3) {
            return f(Loops<Shape, 3>());
        } else {
            return r->Dim == 2 ? f(Loops<Shape, 2>()) : f(Loops<Shape, 3>());
        }
    }

    static bool GridSizesValid(const BasicFunctionKernel* r, const int32_t* sizes) {
        const int d = Shape::kDim != 0 ? Shape::kDim : r->Dim;
        for (int a = 0; a < d; ++a)
            if (sizes[a] < 1) return false;
        return true;
    }

    static double Phi(const BasicFunctionKernel* r, double s) { return Shape(*r).Phi(s); }

    static void FillMatrix(const BasicFunctionKernel* r, int32_t n, const double* const* c, double* const* rows) {
        const Shape k(*r);
        ByDim(r, [&](auto loops) {
            loops.FillMatrix(k, n, c, rows);
            return 0;
        });
    }

    static void FillRows(const BasicFunctionKernel* r, int32_t n, const double* const* c, int32_t m,
                         const int32_t* index, double* const* rows) {
        const Shape k(*r);
        ByDim(r, [&](auto loops) {
            loops.FillRows(k, n, c, m, index, rows);
            return 0;
        });
    }

    static int Multiply(const BasicFunctionKernel* r, int32_t n, const double* const* c, const double* lambda,
                        double* y, const CoreReporter* reporter, double end) {
        if (int status = Check(r)) return status;
        const Shape k(*r);
        return ByDim(r, [&](auto loops) { return loops.Multiply(k, n, c, lambda, y, reporter, end); });
    }

    static int PointEval(const BasicFunctionKernel* r, int32_t n, const double* const* c, const double* lambda,
                         int32_t m, const double* const* points, double* values, const CoreReporter* reporter,
                         double end) {
        if (int status = Check(r)) return status;
        if (m < 1) return CoreStatus_InvalidInput;
        const Shape k(*r);
        return ByDim(r, [&](auto loops) { return loops.PointEval(k, n, c, lambda, m, points, values, reporter, end); });
    }

    static int PointGradient(const BasicFunctionKernel* r, int32_t n, const double* const* c, const double* lambda,
                             int32_t m, const double* const* points, double* values, double* const* gradients,
                             const CoreReporter* reporter, double end) {
        if (int status = Check(r)) return status;
        if (m < 1) return CoreStatus_InvalidInput;
        const Shape k(*r);
        return ByDim(r, [&](auto loops) {
            return loops.PointGradient(k, n, c, lambda, m, points, values, gradients, reporter, end);
        });
    }

    static int GridEval(const BasicFunctionKernel* r, int32_t n, const double* const* c, const double* lambda,
                        const double* origin, const double* spacing, const int32_t* sizes, double* values,
                        const CoreReporter* reporter, double end) {
        if (int status = Check(r)) return status;
        if (!GridSizesValid(r, sizes)) return CoreStatus_InvalidInput;
        const Shape k(*r);
        return ByDim(r, [&](auto loops) {
            return loops.Grid(origin, spacing, sizes, reporter, end,
                              [&](int64_t at, const double* p) { values[at] = loops.ValueAt(k, n, c, lambda, p); });
        });
    }

    static int GridGradient(const BasicFunctionKernel* r, int32_t n, const double* const* c, const double* lambda,
                            const double* origin, const double* spacing, const int32_t* sizes, double* values,
                            double* const* gradients, const CoreReporter* reporter, double end) {
        if (int status = Check(r)) return status;
        if (!GridSizesValid(r, sizes)) return CoreStatus_InvalidInput;
        const Shape k(*r);
        return ByDim(r, [&](auto loops) {
            return loops.Grid(origin, spacing, sizes, reporter, end, [&](int64_t at, const double* p) {
                values[at] = loops.ValueGradientAt(k, n, c, lambda, p, gradients[at]);
            });
        });
    }
};

}  // namespace kernel_loops

#endif
