#include <cfloat>
#include <cmath>
#include <cstdio>

#include "surface/fit/mq_expansion.h"
#include "surface/fit/mq_series.h"
#include "surface/fit/one_dim_solvers.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/kernel_power.h"

namespace {

constexpr double kDirectCostPerCentre = 5.4, kDirectCostBase = 79.37;

struct Bound {
    int32_t k;
    double K, Rp, q, eps;
};

// B(d) - ε of one order; positive near the panel, negative far from it.
int BoundMinusAccuracy(double d, void* context, double* value) {
    const Bound* b = static_cast<const Bound*>(context);
    if (b->k > 0)
        *value = b->K * std::pow(b->Rp / d, b->q + 1) * d / (d - b->Rp) - b->eps;
    else
        *value = b->K * std::pow(d - b->Rp, b->k) / std::pow(d, b->q + b->k + 1) - b->eps;
    if (std::isnan(*value)) *value = HUGE_VAL;
    return 0;
}

// The distance where the bound falls to ε: bracketed outward from R', then
// narrowed to a tenth of R'; the far end of the bracket is kept, where the
// bound is already below ε. DBL_MAX (sum directly) when no bracket is found.
double RootDistance2(Bound& b) {
    double a = b.Rp, end = 0.0, fa = 1.0, fb = 0.0;
    if (Root_Bracket(BoundMinusAccuracy, &a, &end, &fa, &fb, b.Rp, &b, 20, nullptr) != 0 || !(fb <= 0.0))
        return DBL_MAX;
    double root = end;
    const int status = Root_Find(BoundMinusAccuracy, &a, &end, fa, fb, 0.1 * b.Rp, &b, 20, &root, nullptr);
    if (status != 0 && status != 11) return DBL_MAX;
    return end * end;
}

MQPanelSeries* SeriesOf(const EvalPanel* p) { return static_cast<MQPanelSeries*>(p->Payload); }

double KernelPower(double u, int32_t k) { return Kernel_IntPower(std::sqrt(u), k); }

// Direct sum of a panel (and, with a gradient, its gradient).
void Direct(const EvalPanel* p, const double* x, const MQExpansion* r, double* value, double* gradient) {
    const MQKernelShape& shape = r->Shape;
    for (int32_t i = p->First; i < p->End; ++i) {
        const double* c = r->Centres + 3 * i;
        const double d[3] = {x[0] - c[0], x[1] - c[1], x[2] - c[2]};
        const double r2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2], w = r->Coeffs[i];
        double phi, g;
        if (shape.Spherical && r2 <= shape.InnerR2) {
            const double rr = std::sqrt(r2);
            phi = 1.0 + shape.Slope * rr;
            g = rr > 0.0 ? shape.Slope / rr : 0.0;
        } else {
            const double u = r2 + r->C2;
            if (u == 0.0) continue;
            const double scale = shape.Spherical ? shape.Outer : 1.0;
            phi = scale * KernelPower(u, r->K);
            g = scale * r->K * KernelPower(u, r->K - 2);
        }
        *value += w * phi;
        if (gradient)
            for (int k = 0; k < 3; ++k) gradient[k] += w * g * d[k];
    }
}

// The series of order q at d: |d|^k Σ over degrees up to q + k.
double SeriesValue(const double* series, int32_t top, const double* d, int32_t k) {
    const double b = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    if (b == 0.0 || top < 0) return 0.0;
    const double u[3] = {d[0] / b, d[1] / b, d[2] / b};
    return KernelPower(b, k) * MQSeries_Evaluate(series, top, u);
}

}  // namespace

int Expansion_UseDistances(EvalPanel* panel, const int32_t* orders, const double* factors, int32_t k, double c2,
                           double eps, double scale) {
    MQPanelSeries* s = SeriesOf(panel);
    if (!s) return 0;
    const double R = panel->Radius, Rp = std::sqrt(c2 + R * R);
    if ((panel->Count == 1 && c2 == 0.0) || s->S == 0.0) {
        for (double& d2 : s->D2) d2 = scale * std::ldexp(1.0, -52);
        return 0;
    }
    if (!std::isfinite(s->S) || !(eps > 0.0)) {
        for (double& d2 : s->D2) d2 = DBL_MAX;
        return 0;
    }
    bool unreachable = false;
    for (int32_t i = 0; i < kMQOrders; ++i) {
        const int32_t q = orders[i];
        if (k <= 0 && q < -k) {
            // Below this order the whole panel is under the accuracy far away.
            double h = std::pow(eps / std::fmax(s->S, 1.0), 2.0 / k) - c2;
            if (h < 1e-7 * R) h = 1e-7 * R;
            const double D = R + std::sqrt(h);
            for (int32_t j = i; j < kMQOrders; ++j) s->D2[j] = D * D;
            return 0;
        }
        if (unreachable) {
            s->D2[i] = DBL_MAX;
            continue;
        }
        Bound b{k, 0.0, Rp, static_cast<double>(q), eps};
        b.K = k > 0 ? std::pow(2.0 * Rp, k) * s->S : s->S * factors[i] * std::pow(Rp, q + k + 1);
        s->D2[i] = RootDistance2(b);
        if (s->D2[i] == DBL_MAX) unreachable = true;
    }
    return 0;
}

double MQExpansion_TreeValue(const EvalPanel* panel, const double* x, MQExpansion* r) {
    if (!panel) return 0.0;
    const MQPanelSeries* s = SeriesOf(panel);
    if (!s) return MQExpansion_TreeValue(panel->Child[1], x, r) + MQExpansion_TreeValue(panel->Child[0], x, r);
    const double d[3] = {x[0] - panel->Centre[0], x[1] - panel->Centre[1], x[2] - panel->Centre[2]};
    const double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    int32_t order = -1;
    for (int32_t i = 0; i < kMQOrders; ++i)
        if (d2 > s->D2[i]) order = i;
    double value = 0.0;
    if (order >= 0) {
        r->LevelUses[panel->Level] += 1.0;
        if (panel->Count * kDirectCostPerCentre + kDirectCostBase >= r->Costs[order]) {
            const int32_t q = r->Shape.Spherical ? r->P : r->Orders[order];
            const double scale = r->Shape.Spherical ? r->Shape.Outer : 1.0;
            r->FarEvals += 1.0;
            r->OrderUses[order] += 1.0;
            return scale * SeriesValue(s->A, q + r->K, d, r->K);
        }
        r->DirectEvals += 1.0;
        r->TooCostly += 1.0;
        Direct(panel, x, r, &value, nullptr);
        return value;
    }
    if (!panel->Child[0]) {
        r->DirectEvals += 1.0;
        r->LevelUses[panel->Level] += 1.0;
        Direct(panel, x, r, &value, nullptr);
        return value;
    }
    return MQExpansion_TreeValue(panel->Child[1], x, r) + MQExpansion_TreeValue(panel->Child[0], x, r);
}

void MQExpansion_TreeGradient(const EvalPanel* panel, const double* x, MQExpansion* r, double* value,
                              double* gradient) {
    if (!panel) return;
    const MQPanelSeries* s = SeriesOf(panel);
    if (s) {
        const double d[3] = {x[0] - panel->Centre[0], x[1] - panel->Centre[1], x[2] - panel->Centre[2]};
        const double d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (d2 > s->D2[0] && s->Derivative[0]) {
            int32_t order = 0;
            while (order + 1 < kMQOrders && d2 > s->D2[order + 1]) ++order;
            const int32_t q = r->Shape.Spherical ? r->P : r->Orders[order];
            const double scale = r->Shape.Spherical ? r->Shape.Outer : 1.0;
            r->FarEvals += 1.0;
            r->OrderUses[order] += 1.0;
            r->LevelUses[panel->Level] += 1.0;
            *value += scale * SeriesValue(s->A, q + r->K, d, r->K);
            for (int k = 0; k < 3; ++k) gradient[k] += scale * SeriesValue(s->Derivative[k], q + r->K + 1, d, r->K);
            return;
        }
        if (!panel->Child[0]) {
            r->DirectEvals += 1.0;
            r->LevelUses[panel->Level] += 1.0;
            Direct(panel, x, r, value, gradient);
            return;
        }
    }
    MQExpansion_TreeGradient(panel->Child[1], x, r, value, gradient);
    MQExpansion_TreeGradient(panel->Child[0], x, r, value, gradient);
}

void MQExpansion_ResetStats(MQExpansion* r) {
    r->DirectEvals = r->FarEvals = r->TooCostly = 0.0;
    for (double& u : r->OrderUses) u = 0.0;
    for (double& u : r->LevelUses) u = 0.0;
}

void MQExpansion_PrintStats(const MQExpansion* r, int32_t evaluations, const CoreReporter* reporter) {
    if (!CoreReporter_SpeaksIn(reporter, 6, kCategoryMultiquadric) || evaluations <= 0) return;
    const double n = evaluations, all = r->DirectEvals + r->FarEvals;
    const double share = all > 0.0 ? 100.0 / all : 0.0;
    CoreReporter_Debug(reporter, "NumDirectPanelEvals = %.1f (%.1f%%)", r->DirectEvals / n, r->DirectEvals * share);
    CoreReporter_Debug(reporter, "NumFarPanelEvals    = %.1f (%.1f%%)", r->FarEvals / n, r->FarEvals * share);
    if (r->FarEvals > 0.0)
        CoreReporter_Debug(reporter, "Num far evals too costly = %.1f (%.1f%%)", r->TooCostly / n,
                           r->TooCostly * share);
    CoreReporter_Debug(reporter, "\nP's used per eval:");
    for (int32_t i = 0; i < kMQOrders; ++i)
        CoreReporter_Debug(reporter, "p = %2d: %.1f", r->Orders[i], r->OrderUses[i] / n);
    CoreReporter_Debug(reporter, "\nPanels used per level:");
    for (int32_t level = r->FirstLevel; level <= r->Tree.DeepestLevel; ++level) {
        const double uses = r->LevelUses[level] / n, count = r->Tree.LevelCounts[level];
        CoreReporter_Debug(reporter, "Level %2d: %4.1f (%4.1f%% of level panels)", level, uses,
                           count > 0 ? 100.0 * uses / count : 0.0);
    }
}

void MQExpansion_PrintUse(const MQExpansion* r) {
    if (!r || !r->TreeBuilt) return;
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t i = 0; i < r->N; ++i)
        for (int32_t j = 0; j < 3; ++j)
            lo[j] = std::fmin(lo[j], r->Centres[3 * i + j]), hi[j] = std::fmax(hi[j], r->Centres[3 * i + j]);
    double diag = 0.0;
    for (int32_t j = 0; j < 3; ++j) diag += (hi[j] - lo[j]) * (hi[j] - lo[j]);
    std::printf("Magnitude of points diagonal is %.2g\n", std::sqrt(diag));
    std::printf("RMS use at distances for different p's\n");
    std::printf("Level ");
    for (int32_t level = r->FirstLevel; level <= r->Tree.DeepestLevel; ++level) std::printf("%-10d", level);
    std::printf("\n");
    for (int32_t i = 0; i < kMQOrders; ++i) {
        std::printf("%-10d", r->Orders[i]);
        for (int32_t level = r->FirstLevel; level <= r->Tree.DeepestLevel; ++level) {
            double sum = 0.0;
            int32_t count = 0;
            for (const EvalPanel* p = r->Tree.Levels[level]; p; p = p->Next)
                if (p->Payload) sum += static_cast<const MQPanelSeries*>(p->Payload)->D2[i], ++count;
            std::printf("%-10.3g", count > 0 ? std::sqrt(sum / count) : 0.0);
        }
        std::printf("\n");
    }
}
