#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/rapid_biphi3_internal.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr double kSpeedShareMin = 0.02, kSpeedShareMax = 0.8;

// What a walk accumulates: the value, and for level 1 the gradient, for
// level 2 also the Hessian (xx, xy, yy, xz, yz, zz).
struct Sums {
    double v = 0.0;
    double g[3] = {0.0, 0.0, 0.0};
    double h[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
};

// Σ c_j |x - x_j| over a range of the tree order, two centres a step in
// SSE2 lanes (the library's square root is not vectorised for us).
double DirectValues(const double* c, const double* w, int32_t count, const double* x) {
    __m128d sum = _mm_setzero_pd();
    const __m128d x0 = _mm_set1_pd(x[0]), x1 = _mm_set1_pd(x[1]), x2 = _mm_set1_pd(x[2]);
    int32_t i = 0;
    for (; i + 2 <= count; i += 2, c += 6) {
        const __m128d a = _mm_sub_pd(x0, _mm_set_pd(c[3], c[0]));
        const __m128d b = _mm_sub_pd(x1, _mm_set_pd(c[4], c[1]));
        const __m128d d = _mm_sub_pd(x2, _mm_set_pd(c[5], c[2]));
        const __m128d r2 = _mm_add_pd(_mm_add_pd(_mm_mul_pd(a, a), _mm_mul_pd(b, b)), _mm_mul_pd(d, d));
        sum = _mm_add_pd(sum, _mm_mul_pd(_mm_loadu_pd(w + i), _mm_sqrt_pd(r2)));
    }
    double lanes[2];
    _mm_storeu_pd(lanes, sum);
    double total = lanes[0] + lanes[1];
    for (; i < count; ++i, c += 3) {
        const double d0 = x[0] - c[0], d1 = x[1] - c[1], d2 = x[2] - c[2];
        total += w[i] * std::sqrt(d0 * d0 + d1 * d1 + d2 * d2);
    }
    return total;
}

// The sum of the two lanes.
inline double LaneSum(__m128d v) { return _mm_cvtsd_f64(_mm_add_sd(v, _mm_unpackhi_pd(v, v))); }

// Value, gradient and (Level 2) Hessian sums of centres [i, count) from i on,
// one centre at a time; a centre at x adds only its value (zero).
template <int Level>
void AddDirectOneByOne(const double* c, const double* w, int32_t i, int32_t count, const double* x, Sums& s) {
    for (c += 3 * i; i < count; ++i, c += 3) {
        const double d[3] = {x[0] - c[0], x[1] - c[1], x[2] - c[2]};
        const double r = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        s.v += w[i] * r;
        if (r == 0.0) continue;
        const double inv = 1.0 / r, a = w[i] * inv;
        for (int k = 0; k < 3; ++k) s.g[k] += a * d[k];
        if (Level < 2) continue;
        const double b = a * inv * inv;
        s.h[0] += a - b * d[0] * d[0];
        s.h[1] -= b * d[0] * d[1];
        s.h[2] += a - b * d[1] * d[1];
        s.h[3] -= b * d[0] * d[2];
        s.h[4] -= b * d[1] * d[2];
        s.h[5] += a - b * d[2] * d[2];
    }
}

// The same sums two centres a step in the SSE2 lanes: the near field is the
// largest part of a walk at coarse accuracies. A centre at x has its
// reciprocal distance masked to zero, so it adds its value alone. Kept out
// of the walk: inlined there, its eleven lane registers made the 32-bit
// build's whole walk spill, and a scan's surface took half as long again.
template <int Level>
__attribute__((noinline)) void AddDirectDerivatives(const double* c, const double* w, int32_t count, const double* x,
                                                    Sums& s) {
    const __m128d x0 = _mm_set1_pd(x[0]), x1 = _mm_set1_pd(x[1]), x2 = _mm_set1_pd(x[2]), one = _mm_set1_pd(1.0);
    __m128d v = _mm_setzero_pd(), g0 = v, g1 = v, g2 = v, h0 = v, h1 = v, h2 = v, h3 = v, h4 = v, h5 = v;
    int32_t i = 0;
    for (const double* ci = c; i + 2 <= count; i += 2, ci += 6) {
        const __m128d d0 = _mm_sub_pd(x0, _mm_set_pd(ci[3], ci[0]));
        const __m128d d1 = _mm_sub_pd(x1, _mm_set_pd(ci[4], ci[1]));
        const __m128d d2 = _mm_sub_pd(x2, _mm_set_pd(ci[5], ci[2]));
        const __m128d r =
            _mm_sqrt_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(d0, d0), _mm_mul_pd(d1, d1)), _mm_mul_pd(d2, d2)));
        const __m128d weight = _mm_loadu_pd(w + i);
        v = _mm_add_pd(v, _mm_mul_pd(weight, r));
        const __m128d inv = _mm_and_pd(_mm_cmpneq_pd(r, _mm_setzero_pd()), _mm_div_pd(one, r));
        const __m128d a = _mm_mul_pd(weight, inv);
        g0 = _mm_add_pd(g0, _mm_mul_pd(a, d0));
        g1 = _mm_add_pd(g1, _mm_mul_pd(a, d1));
        g2 = _mm_add_pd(g2, _mm_mul_pd(a, d2));
        if (Level < 2) continue;
        const __m128d b = _mm_mul_pd(_mm_mul_pd(a, inv), inv);
        const __m128d b0 = _mm_mul_pd(b, d0), b1 = _mm_mul_pd(b, d1);
        h0 = _mm_add_pd(h0, _mm_sub_pd(a, _mm_mul_pd(b0, d0)));
        h1 = _mm_sub_pd(h1, _mm_mul_pd(b0, d1));
        h2 = _mm_add_pd(h2, _mm_sub_pd(a, _mm_mul_pd(b1, d1)));
        h3 = _mm_sub_pd(h3, _mm_mul_pd(b0, d2));
        h4 = _mm_sub_pd(h4, _mm_mul_pd(b1, d2));
        h5 = _mm_add_pd(h5, _mm_sub_pd(a, _mm_mul_pd(_mm_mul_pd(b, d2), d2)));
    }
    s.v += LaneSum(v);
    s.g[0] += LaneSum(g0);
    s.g[1] += LaneSum(g1);
    s.g[2] += LaneSum(g2);
    if (Level >= 2) {
        const __m128d h[6] = {h0, h1, h2, h3, h4, h5};
        for (int k = 0; k < 6; ++k) s.h[k] += LaneSum(h[k]);
    }
    AddDirectOneByOne<Level>(c, w, i, count, x, s);
}

template <int Level>
void AddDirect(const RapidBiphi3Workspace* ws, const Biphi3Panel* p, const double* x, Sums& s) {
    const double* c = ws->Centres + 3 * p->First;
    const double* w = ws->Coeffs + p->First;
    if (Level == 0)
        s.v += DirectValues(c, w, p->Count, x);
    else
        AddDirectDerivatives<Level>(c, w, p->Count, x, s);
}

template <int Level>
void AddFar(const Biphi3Panel* p, const double* d, int32_t order, Sums& s) {
    PairScratch<kBiphi3HarmonicSize> scratch;
    MemPair* h = scratch.data();
    Harmonic_Irregular(d, order + 2, h);
    s.v += FarSeries_Value(FarSeries_At(p->Far, kBiphi3MaxOrder), order, d, h);
    for (int k = 0; Level >= 1 && k < 3; ++k)
        s.g[k] += FarSeries_Value(FarSeries_At(p->First1 + k * kBiphi3SeriesSize, kBiphi3MaxOrder), order, d, h);
    for (int k = 0; Level >= 2 && k < 6; ++k)
        s.h[k] += FarSeries_Value(FarSeries_At(p->Second + k * kBiphi3SeriesSize, kBiphi3MaxOrder), order, d, h);
}

// The tree walk for one point: a panel far enough for its first usable
// order adds its far field at the lowest order whose distance the point
// exceeds; a near leaf (or a panel without a far field) adds its direct sum,
// a near inner panel its children.
template <int Level>
Sums Walk(RapidBiphi3Workspace* ws, const double* x) {
    Sums s;
    if (ws->Root->Leaf) {
        AddDirect<Level>(ws, ws->Root, x, s);
        return s;
    }
    const Biphi3Panel* stack[2 * kBiphi3Levels + 4];
    int32_t top = 0;
    stack[top++] = ws->Root->Child[1];
    stack[top++] = ws->Root->Child[0];
    while (top > 0) {
        const Biphi3Panel* p = stack[--top];
        if (!p || p->K0 == -2) continue;
        if (p->K0 >= 0) {
            const double d[3] = {x[0] - p->Centre[0], x[1] - p->Centre[1], x[2] - p->Centre[2]};
            const double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
            if (d2 > p->D2[p->K0]) {
                int32_t k = p->K0;
                while (k + 1 < kBiphi3Orders && d2 > p->D2[k + 1]) ++k;
                AddFar<Level>(p, d, ws->Orders[k], s);
                ++ws->OrderUses[k];
                continue;
            }
        }
        if (p->Leaf || (Level == 0 && p->K0 == -1)) {
            AddDirect<Level>(ws, p, x, s);
        } else {
            stack[top++] = p->Child[1];
            stack[top++] = p->Child[0];
        }
    }
    return s;
}

bool Timing(const CoreReporter* reporter) { return CoreReporter_SpeaksIn(reporter, 3, kCategoryBiharmonic3); }

void Elapsed(const CoreReporter* reporter, const char* label, uint32_t start) {
    if (Timing(reporter)) CoreReporter_Elapsed(reporter, label, static_cast<int32_t>(Reporter_Clock() - start));
}

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

// Progress in steps of about 1%: `per` a unit, credited every `every` units.
struct Stepper {
    const CoreReporter* reporter;
    double per = 0.0;
    int32_t every = 1;
    void Start(double remaining, int32_t units) {
        per = remaining > 0.0 && units > 0 ? remaining / units : 0.0;
        every = per > 0.0 ? static_cast<int32_t>(std::floor(0.01 / per)) : units;
        if (every < 1) every = 1;
    }
    void Step(int32_t unit) {
        if (unit % every == 0 && per > 0.0) CoreReporter_SetProgress(reporter, Progress(reporter) + per * every);
    }
};

// The direct triangular product: every pair once.
int DirectProduct(int32_t N, const double* const* centres, const double* c, double* result,
                  const CoreReporter* reporter) {
    Stepper step{reporter};
    step.Start(1.0 - Progress(reporter), N);
    result[0] = 0.0;
    for (int32_t i = 1; i < N; ++i) {
        const double* xi = centres[i];
        double sum = 0.0;
        for (int32_t j = 0; j < i; ++j) {
            const double* xj = centres[j];
            const double r = std::sqrt((xi[0] - xj[0]) * (xi[0] - xj[0]) + (xi[1] - xj[1]) * (xi[1] - xj[1]) +
                                       (xi[2] - xj[2]) * (xi[2] - xj[2]));
            result[j] += r * c[i];
            sum += r * c[j];
        }
        result[i] = sum;
        step.Step(i);
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

int CheckCommon(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs, double accuracy,
                int32_t numInPanel) {
    if (dimension != 3) return CoreStatus_InvalidDimension;
    if (N <= 0 || numInPanel < 0) return CoreStatus_InvalidInput;
    if (!centres || !coeffs) return CoreStatus_NullArgument;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    return 0;
}

// Tree and expansions of a point or grid evaluation; names the timings.
int Prepare(RapidBiphi3Workspace* ws, int32_t N, const double* const* centres, const double* coeffs, int32_t numInPanel,
            double accuracy, int32_t level, const CoreReporter* reporter, const char* treeLabel, const char* farLabel,
            bool freeAllOnFailure) {
    if (!ws->TreeBuilt) std::memset(ws, 0, sizeof(*ws));
    uint32_t start = Reporter_Clock();
    int status = RapidBiphi3_BuildTree(N, 3, centres, numInPanel, ws);
    if (status != 0) return status;
    Elapsed(reporter, treeLabel, start);
    start = Reporter_Clock();
    status = Biphi3_Setup(ws, coeffs, level, accuracy, reporter);
    if (status != 0) {
        if (freeAllOnFailure) RapidBiphi3_Free(ws);
        return status;
    }
    Elapsed(reporter, farLabel, start);
    return 0;
}

void Store(const Sums& s, int32_t level, int32_t i, double* values, double* const* gradients,
           double* const* const* hessians) {
    values[i] = s.v;
    if (level >= 1 && gradients)
        for (int k = 0; k < 3; ++k) gradients[i][k] = s.g[k];
    if (level >= 2 && hessians) {
        hessians[i][0][0] = s.h[0];
        hessians[i][1][0] = s.h[1];
        hessians[i][1][1] = s.h[2];
        hessians[i][2][0] = s.h[3];
        hessians[i][2][1] = s.h[4];
        hessians[i][2][2] = s.h[5];
    }
}

Sums WalkAt(RapidBiphi3Workspace* ws, int32_t level, const double* x) {
    return level == 0 ? Walk<0>(ws, x) : level == 1 ? Walk<1>(ws, x) : Walk<2>(ws, x);
}

int EvaluatePoints(RapidBiphi3Workspace* ws, int32_t level, int32_t M, const double* const* points, double* values,
                   double* const* gradients, double* const* const* hessians, const CoreReporter* reporter,
                   double target) {
    double m = target - Progress(reporter);
    if (m < 0.0) m = 0.0;
    double share = (static_cast<double>(ws->N / M) + 1.0) * 0.05;
    share = share < kSpeedShareMin ? kSpeedShareMin : share > kSpeedShareMax ? kSpeedShareMax : share;
    if (m > 0.0) CoreReporter_SetProgress(reporter, Progress(reporter) + m * share);
    Stepper step{reporter};
    step.Start(m * (1.0 - share), M);
    for (int32_t i = 0; i < M; ++i) {
        Store(WalkAt(ws, level, points[i]), level, i, values, gradients, hessians);
        step.Step(i);
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

int PointsCommon(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs, int32_t M,
                 const double* const* points, int32_t numInPanel, double accuracy, int32_t level,
                 RapidBiphi3Workspace* workspace, double* values, double* const* gradients,
                 double* const* const* hessians, const CoreReporter* reporter, double target, const char* const* labels,
                 bool freeAllOnFailure) {
    if (dimension != 3) return CoreStatus_InvalidDimension;
    if (N <= 0 || M <= 0 || numInPanel < 0) return CoreStatus_InvalidInput;
    if (!centres || !coeffs || !points || !values || (level >= 1 && !gradients) || (level >= 2 && !hessians))
        return CoreStatus_NullArgument;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    RapidBiphi3Workspace local{};
    RapidBiphi3Workspace* ws = workspace ? workspace : &local;
    int status = Prepare(ws, N, centres, coeffs, numInPanel, accuracy, level, reporter, labels[0], labels[1],
                         freeAllOnFailure || !workspace);
    if (status == 0) {
        const uint32_t start = Reporter_Clock();
        status = EvaluatePoints(ws, level, M, points, values, gradients, hessians, reporter, target);
        if (status == 0) Elapsed(reporter, labels[2], start);
    }
    if (!workspace) RapidBiphi3_Free(&local);
    return status;
}

}  // namespace

double Biphi3_DirectValue(const RapidBiphi3Workspace* ws, const Biphi3Panel* panel, const double* x) {
    Sums s;
    AddDirect<0>(ws, panel, x, s);
    return s.v;
}

void Biphi3_Harmonics(const Biphi3Panel* panel, const double* x, int32_t p, double* d, MemPair* h) {
    for (int k = 0; k < 3; ++k) d[k] = x[k] - panel->Centre[k];
    Harmonic_Irregular(d, p + 2, h);
}

int RapidBiphi3_Multiply(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                         int32_t numInPanel, double accuracy, RapidBiphi3Workspace* workspace, double* result,
                         const CoreReporter* reporter) {
    if (dimension != 3) return CoreStatus_InvalidDimension;
    if (numInPanel < 1 || N <= 0) return CoreStatus_InvalidInput;
    if (!centres || !coeffs || !result) return CoreStatus_NullArgument;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    if (2 * static_cast<int64_t>(numInPanel) >= N) {
        if (CoreReporter_SpeaksIn(reporter, 5, kCategoryBiharmonic3))
            CoreReporter_Info(reporter, "RapidBiphi3_Multiply: Doing direct multiply");
        return DirectProduct(N, centres, coeffs, result, reporter);
    }
    RapidBiphi3Workspace local{};
    RapidBiphi3Workspace* ws = workspace ? workspace : &local;
    int status =
        Prepare(ws, N, centres, coeffs, numInPanel, accuracy, 0, reporter, "RapidBiphi3_Multiply: Tree building took",
                "RapidBiphi3_Multiply: Far field expansions took", false);
    const uint32_t start = Reporter_Clock();
    if (status == 0) {
        Stepper step{reporter};
        step.Start(1.0 - Progress(reporter), N);
        for (int32_t i = 0; i < N && status == 0; ++i) {
            ws->Result[i] = Walk<0>(ws, ws->Centres + 3 * i).v;
            step.Step(i);
            if (CoreReporter_AbortRequested(reporter)) status = 10;
        }
        if (status == 0)
            for (int32_t i = 0; i < N; ++i) result[ws->Permutation[i]] = ws->Result[i];
    }
    if (!workspace)
        RapidBiphi3_Free(&local);
    else
        RapidBiphi3_FreeExpansions(ws);
    if (status == 0) Elapsed(reporter, "RapidBiphi3_Multiply: Evaluation took", start);
    return status;
}

int RapidBiphi3_PointEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs, int32_t M,
                          const double* const* points, int32_t numInPanel, double accuracy, int32_t gradient,
                          RapidBiphi3Workspace* workspace, double* values, double* const* gradients,
                          const CoreReporter* reporter, double target) {
    static const char* const labels[3] = {"RapidBiphi3_PointEval: Tree building took",
                                          "RapidBiphi3_PointEval: Far field expansions took",
                                          "RapidBiphi3_PointEval: Evaluation took"};
    return PointsCommon(N, dimension, centres, coeffs, M, points, numInPanel, accuracy, gradient ? 1 : 0, workspace,
                        values, gradients, nullptr, reporter, target, labels, false);
}

int RapidBiphi3_PointHessian(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                             int32_t M, const double* const* points, int32_t numInPanel, double accuracy,
                             RapidBiphi3Workspace* workspace, double* values, double* const* gradients,
                             double* const* const* hessians, const CoreReporter* reporter, double target) {
    static const char* const labels[3] = {"RapidBiphi3_PointHessian: Tree building took",
                                          "RapidBiphi3_PointHessian: Far field expansions took",
                                          "RapidBiphi3_PointHessian: Evaluation took"};
    return PointsCommon(N, dimension, centres, coeffs, M, points, numInPanel, accuracy, 2, workspace, values, gradients,
                        hessians, reporter, target, labels, true);
}

int RapidBiphi3_GridEval(int32_t N, int32_t dimension, const double* const* centres, const double* coeffs,
                         const double* base, const double* spacing, const int32_t* size, int32_t numInPanel,
                         double accuracy, int32_t gradient, RapidBiphi3Workspace* workspace, double* values,
                         double* const* gradients, const CoreReporter* reporter, double target) {
    if (!base || !spacing || !size || !values || (gradient && !gradients)) return CoreStatus_NullArgument;
    if (size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return CoreStatus_InvalidInput;
    int status = CheckCommon(N, dimension, centres, coeffs, accuracy, numInPanel);
    if (status != 0) return status;
    const int32_t level = gradient ? 1 : 0;
    RapidBiphi3Workspace local{};
    RapidBiphi3Workspace* ws = workspace ? workspace : &local;
    status =
        Prepare(ws, N, centres, coeffs, numInPanel, accuracy, level, reporter,
                "RapidBiphi3_GridEval: Tree building took", "RapidBiphi3_GridEval: Far field expansions took", true);
    if (status == 0) {
        const uint32_t start = Reporter_Clock();
        const int32_t lines = size[1] * size[2];
        Stepper step{reporter};
        step.Start(target - Progress(reporter), lines);
        int32_t at = 0;
        for (int32_t line = 0; line < lines && status == 0; ++line) {
            const int32_t j = line % size[1], k = line / size[1];
            for (int32_t i = 0; i < size[0]; ++i, ++at) {
                const double x[3] = {base[0] + i * spacing[0], base[1] + j * spacing[1], base[2] + k * spacing[2]};
                Store(WalkAt(ws, level, x), level, at, values, gradients, nullptr);
            }
            step.Step(line);
            if (CoreReporter_AbortRequested(reporter)) status = 10;
        }
        if (status == 0) Elapsed(reporter, "RapidBiphi3_GridEval: Evaluation took", start);
    }
    if (!workspace) RapidBiphi3_Free(&local);
    return status;
}
