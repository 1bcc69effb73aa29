#include <cfloat>
#include <cmath>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/rapid_biphi3_internal.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int32_t kNewtonLimit = 100;
constexpr double kNewtonRelativeStep = 1e-13;

// Bound of a panel's far field: its radius times its largest |c_j|. Strictly
// this bounds one centre; Σ|c_j| would bound them all but sets use distances
// so far out that the values come out thousands of times more accurate than
// asked, and the per-level share of the accuracy already leaves room for the
// cancellation of many centres.
double FarBound(const RapidBiphi3Workspace* ws, const Biphi3Panel* p) {
    double sum = 0.0;
    for (int32_t i = p->First; i < p->End; ++i) sum = std::fmax(sum, std::fabs(ws->Coeffs[i]));
    return p->Radius * sum;
}

int32_t FirstUsableOrder(const RapidBiphi3Workspace* ws, int32_t count) {
    for (int32_t k = 0; k < kBiphi3Orders; ++k)
        if (2 * ws->Orders[k] * ws->Orders[k] <= count) return k;
    return -1;
}

void AddCentres(const RapidBiphi3Workspace* ws, const Biphi3Panel* from, const Biphi3Panel* to, FarSeries s,
                MemPair* scratch) {
    for (int32_t i = from->First; i < from->End; ++i) {
        const double* x = ws->Centres + 3 * i;
        const double y[3] = {x[0] - to->Centre[0], x[1] - to->Centre[1], x[2] - to->Centre[2]};
        FarSeries_AddSource(s, kBiphi3MaxOrder, y, ws->Coeffs[i], scratch);
    }
}

int FormPanel(RapidBiphi3Workspace* ws, Biphi3Panel* p, MemPair* work) {
    p->K0 = -1;
    if (p->Radius == 0.0) return 0;
    const double A = FarBound(ws, p);
    if (A == 0.0) {
        p->K0 = -2;
        return 0;
    }
    p->K0 = FirstUsableOrder(ws, p->Count);
    if (p->K0 < 0) return 0;
    for (int32_t k = 0; k < kBiphi3Orders; ++k)
        p->D2[k] = k < p->K0 ? DBL_MAX : RapidBiphi3_UseDistance2(ws->Orders[k], p->Radius, A, ws->LevelAccuracy);
    p->Far = static_cast<MemPair*>(Mem_Calloc(kBiphi3SeriesSize, sizeof(MemPair)));
    if (!p->Far) return CoreStatus_NoMemory;
    const FarSeries s = FarSeries_At(p->Far, kBiphi3MaxOrder);
    if (p->Leaf) {
        AddCentres(ws, p, p, s, work);
        return 0;
    }
    for (const Biphi3Panel* child : p->Child) {
        if (!child || child->K0 == -2) continue;
        if (child->Count > kBiphi3TranslateAbove && child->Far) {
            const double t[3] = {child->Centre[0] - p->Centre[0], child->Centre[1] - p->Centre[1],
                                 child->Centre[2] - p->Centre[2]};
            FarSeries_AddTranslated(FarSeries_At(child->Far, kBiphi3MaxOrder), kBiphi3MaxOrder, t, s, work);
        } else {
            AddCentres(ws, child, p, s, work);
        }
    }
    return 0;
}

int FormFarField(RapidBiphi3Workspace* ws, const CoreReporter* reporter) {
    PairScratch<2 * kBiphi3SeriesSize> scratch;
    MemPair* work = scratch.data();
    for (int32_t level = ws->DeepestLevel; level >= 1; --level) {
        for (Biphi3Panel* p = ws->Levels[level]; p; p = p->Next) {
            const int status = FormPanel(ws, p, work);
            if (status != 0) return status;
        }
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

// Derivatives: out block d (of `count`) from the source series of each.
int Differentiate(MemPair** out, int32_t count, const MemPair* const* sources, const int* axes) {
    *out = static_cast<MemPair*>(Mem_Alloc(sizeof(MemPair) * kBiphi3SeriesSize * static_cast<size_t>(count)));
    if (!*out) return CoreStatus_NoMemory;
    for (int32_t d = 0; d < count; ++d) {
        double t[3] = {0.0, 0.0, 0.0};
        t[axes[d]] = 1.0;
        FarSeries_Derivative(FarSeries_At(const_cast<MemPair*>(sources[d]), kBiphi3MaxOrder), kBiphi3MaxOrder, t,
                             FarSeries_At(*out + d * kBiphi3SeriesSize, kBiphi3MaxOrder));
    }
    return 0;
}

int FormDerivatives(RapidBiphi3Workspace* ws, int32_t level, const CoreReporter* reporter) {
    for (int32_t l = ws->DeepestLevel; l >= 1; --l) {
        for (Biphi3Panel* p = ws->Levels[l]; p; p = p->Next) {
            if (!p->Far) continue;
            int status = 0;
            if (level == 1) {
                const MemPair* src[3] = {p->Far, p->Far, p->Far};
                const int axes[3] = {0, 1, 2};
                status = Differentiate(&p->First1, 3, src, axes);
            } else {
                const MemPair* x = p->First1;
                const MemPair* y = p->First1 + kBiphi3SeriesSize;
                const MemPair* z = p->First1 + 2 * kBiphi3SeriesSize;
                const MemPair* src[6] = {x, y, y, z, z, z};
                const int axes[6] = {0, 0, 1, 0, 1, 2};
                status = Differentiate(&p->Second, 6, src, axes);
            }
            if (status != 0) return status;
        }
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

}  // namespace

double RapidBiphi3_UseDistance2(int32_t p, double R, double A, double eps) {
    // x = R/D solves x^{p+2} = K (1 - x): the truncation bound
    // 2A/(2p+5) (R/D)^{p+2} / (1 - R/D) equals eps there. Newton from
    // K^{1/(p+2)}, right of the root, falls monotonically onto it.
    const double K = (2.0 * p + 5.0) * eps / (2.0 * A);
    if (!(K > 0.0) || !std::isfinite(K) || !(R > 0.0)) return DBL_MAX;
    double x = std::pow(K, 1.0 / (p + 2));
    for (int32_t i = 0; i < kNewtonLimit; ++i) {
        const double xp1 = std::pow(x, p + 1);
        const double step = (xp1 * x + K * x - K) / ((p + 2) * xp1 + K);
        x -= step;
        if (!(std::fabs(step) > kNewtonRelativeStep * x)) break;
    }
    if (!(x > 0.0) || !std::isfinite(x)) return DBL_MAX;
    const double D = R / x;
    return std::isfinite(D * D) ? D * D : DBL_MAX;
}

int Biphi3_Setup(RapidBiphi3Workspace* ws, const double* coeffs, int32_t derivativeLevel, double accuracy,
                 const CoreReporter* reporter) {
    if (!ws || !coeffs) return CoreStatus_NullArgument;
    if (!ws->TreeBuilt) return CoreStatus_InvalidInput;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    if (ws->FarFormed && (ws->FormedFrom != coeffs || accuracy < ws->Accuracy)) RapidBiphi3_FreeExpansions(ws);
    if (!ws->FarFormed) {
        for (int32_t i = 0; i < ws->N; ++i) ws->Coeffs[i] = coeffs[ws->Permutation[i]];
        ws->Accuracy = accuracy;
        const double levels = 10.0 * std::log(static_cast<double>(ws->N) / ws->NumInPanel);
        ws->LevelAccuracy = accuracy / (levels > 1.0 ? levels : 1.0);
        const int status = FormFarField(ws, reporter);
        if (status != 0) {
            RapidBiphi3_FreeExpansions(ws);
            return status;
        }
        ws->FarFormed = 1;
        ws->FormedFrom = coeffs;
        for (int64_t& uses : ws->OrderUses) uses = 0;
    }
    for (int32_t level = ws->DerivativeLevel + 1; level <= derivativeLevel && level <= 2; ++level) {
        const int status = FormDerivatives(ws, level, reporter);
        if (status != 0) {
            RapidBiphi3_FreeExpansions(ws);
            return status;
        }
        ws->DerivativeLevel = level;
    }
    return 0;
}

int RapidBiphi3_Setup(RapidBiphi3Workspace* ws, const double* coeffs, int32_t derivativeLevel, double accuracy) {
    return Biphi3_Setup(ws, coeffs, derivativeLevel, accuracy, nullptr);
}
