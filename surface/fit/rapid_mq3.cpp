#include "surface/fit/rapid_mq3.h"

#include <cmath>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/frame/kernel_power.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

const char kMQNotReady[] = "Fast multiquadric workspace not initialized";
const char kSphereNotReady[] = "Fast approx spherical workspace not initialized";

bool Speaks(const CoreReporter* reporter, int32_t level) {
    return CoreReporter_SpeaksIn(reporter, level, kCategoryMultiquadric);
}

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

double SumAbs(const double* c, int32_t n) {
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) s += std::fabs(c[i]);
    return s;
}

void Lowered(const CoreReporter* reporter, double given, double lowered) {
    if (CoreReporter_Speaks(reporter, 2))
        CoreReporter_Warning(reporter, "Accuracy value (%.3g) greater than maximum function value. Set to %.3g", given,
                             lowered);
}

double Binomial(int32_t n, int32_t k) {
    if (k < 0 || k > n) return 0.0;
    double b = 1.0;
    for (int32_t i = 1; i <= k; ++i) b = b * (n - k + i) / i;
    return b;
}

double LevelCount(const MQExpansion& e) {
    const double levels = std::log(static_cast<double>(e.N) / e.NumInPanel);
    return levels > 1.0 ? levels : 1.0;
}

// Use distances of every panel with a series, for the per-level accuracy.
// With a floor radius (the approximate spherical kernel, whose series always
// runs at the full order) no distance is below that of the full order nor
// below the panel radius plus the floor.
int UseDistances(MQExpansion& e, double levelAccuracy, double floorRadius) {
    double factors[kMQOrders];
    for (int32_t i = 0; i < kMQOrders; ++i)
        factors[i] = e.K < 0 ? (e.Orders[i] < -e.K ? 0.0 : Binomial(e.Orders[i], -e.K - 1)) : 1.0;
    const double scale = e.Tree.Root ? e.Tree.Root->Radius : 0.0;
    for (int32_t level = e.Tree.DeepestLevel; level >= e.FirstLevel; --level)
        for (EvalPanel* p = e.Tree.Levels[level]; p; p = p->Next) {
            const int status = Expansion_UseDistances(p, e.Orders, factors, e.K, e.C2, levelAccuracy, scale);
            if (status != 0) return status;
            if (floorRadius > 0.0 && p->Payload) {
                double* D2 = static_cast<MQPanelSeries*>(p->Payload)->D2;
                const double least = std::fmax((p->Radius + floorRadius) * (p->Radius + floorRadius), D2[0]);
                for (int32_t i = 0; i < kMQOrders; ++i) D2[i] = std::fmax(D2[i], least);
            }
        }
    return 0;
}

int Setup(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs, int32_t differentiate,
          RapidMQ3Workspace* ws, const CoreReporter* reporter, double target, double levelScale, double floorRadius) {
    MQExpansion& e = ws->Expansion;
    int status = MQExpansion_InitExpansions(N, p, k, c, coeffs, differentiate, &e, reporter, target);
    if (status != 0) return status;
    ws->Accuracy = accuracy;
    ws->LevelAccuracy = accuracy / (levelScale * LevelCount(e));
    e.Accuracy = accuracy;
    e.LevelAccuracy = ws->LevelAccuracy;
    return UseDistances(e, ws->LevelAccuracy, floorRadius);
}

bool Ready(const RapidMQ3Workspace* ws, const CoreReporter* reporter, const char* message) {
    if (ws && ws->Expansion.TreeBuilt && ws->Expansion.Formed) return true;
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", message);
    return false;
}

struct Points {
    const double* const* rows;
    void At(int32_t i, double* x) const { std::memcpy(x, rows[i], 3 * sizeof(double)); }
};

struct Grid {
    const double* base;
    const double* spacing;
    const int32_t* size;
    void At(int32_t i, double* x) const {
        const int32_t a = i % size[0], b = i / size[0] % size[1], c = i / (size[0] * size[1]);
        x[0] = base[0] + a * spacing[0];
        x[1] = base[1] + b * spacing[1];
        x[2] = base[2] + c * spacing[2];
    }
};

struct Request {
    const char* notReady;
    const char* label;
    bool spherical;
    double scale;
};

template <typename Where>
int Evaluate(RapidMQ3Workspace* ws, const Where& where, int32_t M, double* values, double* const* gradients,
             const CoreReporter* reporter, double target, const Request& request) {
    if (!Ready(ws, reporter, request.notReady)) return CoreStatus_InvalidInput;
    if (M <= 0 || !values) return CoreStatus_InvalidInput;
    MQExpansion& e = ws->Expansion;
    if (gradients && !e.Differentiated) {
        const int status = MQExpansion_Differentiate(e.P, e.K, &e, reporter);
        if (status != 0) return status;
    }
    const uint32_t start = Reporter_Clock();
    const bool resetLevel = request.spherical ? Speaks(reporter, 5) : Speaks(reporter, 6);
    if (resetLevel) MQExpansion_ResetStats(&e);
    if (!request.spherical && !gradients && Speaks(reporter, 6)) MQExpansion_PrintUse(&e);
    double step = (target - Progress(reporter)) / M;
    if (step < 0.0) step = 0.0;
    for (int32_t i = 0; i < M; ++i) {
        double x[3];
        where.At(i, x);
        if (gradients) {
            double v = 0.0, g[3] = {0.0, 0.0, 0.0};
            MQExpansion_TreeGradient(e.Tree.Root, x, &e, &v, g);
            values[i] = request.scale * v;
            for (int k = 0; k < 3; ++k) gradients[i][k] = request.scale * g[k];
        } else {
            values[i] = request.scale * MQExpansion_TreeValue(e.Tree.Root, x, &e);
        }
        if (step > 0.0) CoreReporter_SetProgress(reporter, Progress(reporter) + step);
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    if (Speaks(reporter, 3))
        CoreReporter_Elapsed(reporter, request.label, static_cast<int32_t>(Reporter_Clock() - start));
    MQExpansion_PrintStats(&e, M, reporter);
    return 0;
}

const Request kMQValues{kMQNotReady, "RapidMQ3: Evaluation took", false, 1.0};
const Request kMQGradients{kMQNotReady, "RapidMQ3: Gradient evaluation took", false, 1.0};
const Request kSphereValues{kSphereNotReady, "RapidASphere3: Evaluation took", true, 1.0};
const Request kSphereGradients{kSphereNotReady, "RapidASphere3: Gradient evaluation took", true, 1.0};

Request Scaled(Request r, const RapidMQ3Workspace* ws) {
    r.scale = ws ? ws->Scale : 1.0;
    return r;
}

int32_t GridCount(const int32_t* size) {
    if (!size || size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return 0;
    return size[0] * size[1] * size[2];
}

}  // namespace

// ---- RapidMQ3 ----

int RapidMQ3_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                      RapidMQ3Workspace* ws, const CoreReporter* reporter) {
    if (!ws) return CoreStatus_NullArgument;
    if (!ws->Expansion.TreeBuilt) ws->Scale = 1.0;
    return MQExpansion_InitTree(N, dimension, numInPanel, centres, &ws->Expansion, reporter);
}

int RapidMQ3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                          int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter, double target) {
    if (!ws || !coeffs) return CoreStatus_NullArgument;
    if (accuracy < 0.0) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Accuracy value must be positive");
        return CoreStatus_NegativeAccuracy;
    }
    if (k < 0) {
        const double largest = SumAbs(coeffs, N) * Kernel_IntPower(std::fabs(c), k);
        if (accuracy >= largest) {
            Lowered(reporter, accuracy, largest / 2);
            accuracy = largest / 2;
        }
    }
    return Setup(N, p, k, c, accuracy, coeffs, differentiate, ws, reporter, target, 1.0, 0.0);
}

int RapidMQ3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p, int32_t k,
                  double c, double accuracy, const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws,
                  const CoreReporter* reporter, double target) {
    if (!ws) return CoreStatus_NullArgument;
    std::memset(ws, 0, sizeof(*ws));
    int status = RapidMQ3_InitTree(N, dimension, numInPanel, centres, ws, reporter);
    if (status == 0) status = RapidMQ3_InitAccuracy(N, p, k, c, accuracy, coeffs, differentiate, ws, reporter, target);
    if (status != 0) RapidMQ3_Free(ws);
    return status;
}

int RapidMQ3_PointEval(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                       const CoreReporter* reporter, double target) {
    if (!points) return CoreStatus_InvalidInput;
    return Evaluate(ws, Points{points}, M, values, nullptr, reporter, target, kMQValues);
}

int RapidMQ3_PointGradient(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                           double* const* gradients, const CoreReporter* reporter, double target) {
    if (!points || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws, Points{points}, M, values, gradients, reporter, target, kMQGradients);
}

int RapidMQ3_GridEval(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                      double* values, const CoreReporter* reporter, double target) {
    if (!base || !spacing) return CoreStatus_InvalidInput;
    return Evaluate(ws, Grid{base, spacing, size}, GridCount(size), values, nullptr, reporter, target, kMQValues);
}

int RapidMQ3_GridGradient(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                          double* values, double* const* gradients, const CoreReporter* reporter, double target) {
    if (!base || !spacing || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws, Grid{base, spacing, size}, GridCount(size), values, gradients, reporter, target, kMQGradients);
}

double RapidMQ3_ValueAt(RapidMQ3Workspace* ws, const double* point) {
    if (!ws || !ws->Expansion.Formed) return 0.0;
    return MQExpansion_TreeValue(ws->Expansion.Tree.Root, point, &ws->Expansion);
}

void RapidMQ3_GradientAt(RapidMQ3Workspace* ws, const double* point, double* value, double* gradient) {
    *value = 0.0;
    gradient[0] = gradient[1] = gradient[2] = 0.0;
    if (!ws || !ws->Expansion.Formed) return;
    if (!ws->Expansion.Differentiated &&
        MQExpansion_Differentiate(ws->Expansion.P, ws->Expansion.K, &ws->Expansion, nullptr) != 0)
        return;
    MQExpansion_TreeGradient(ws->Expansion.Tree.Root, point, &ws->Expansion, value, gradient);
}

void RapidMQ3_Free(RapidMQ3Workspace* ws) {
    if (!ws) return;
    MQExpansion_Free(&ws->Expansion);
    std::memset(ws, 0, sizeof(*ws));
}

void RapidMQ3_FreeTree(RapidMQ3Workspace* ws) {
    if (ws) MQExpansion_FreeExpansions(&ws->Expansion);
}

// ---- Cubic entries ----

int RapidMQ3_InitTree3(int32_t N, int32_t numInPanel, const double* const* centres, RapidMQ3Workspace* ws,
                       const CoreReporter* reporter) {
    return RapidMQ3_InitTree(N, 3, numInPanel, centres, ws, reporter);
}

int RapidMQ3_InitAccuracyCubic(int32_t N, int32_t p, double accuracy, const double* coeffs, int32_t differentiate,
                               RapidMQ3Workspace* ws, const CoreReporter* reporter, double target) {
    return RapidMQ3_InitAccuracy(N, p, 3, 0.0, accuracy, coeffs, differentiate, ws, reporter, target);
}

int RapidMQ3_InitCubic(int32_t N, int32_t numInPanel, const double* const* centres, int32_t p, double accuracy,
                       const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter,
                       double target) {
    return RapidMQ3_Init(N, 3, numInPanel, centres, p, 3, 0.0, accuracy, coeffs, differentiate, ws, reporter, target);
}

int32_t MQExpansion_Bytes3(const MQExpansion* record, int32_t p, int32_t differentiated) {
    return MQExpansion_Bytes(record, p, 3, differentiated);
}

// ---- ScaledMQ3 ----

int ScaledMQ3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                           int32_t differentiate, RapidMQ3Workspace* ws, const CoreReporter* reporter, double target) {
    if (!ws || !coeffs) return CoreStatus_NullArgument;
    if (accuracy < 0.0) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Accuracy value must be positive");
        return CoreStatus_NegativeAccuracy;
    }
    const double S = SumAbs(coeffs, N);
    if (k < 0 && accuracy >= S) {
        Lowered(reporter, accuracy, S / 2);
        accuracy = S / 2;
    }
    const double factor = Kernel_IntPower(std::fabs(c), -k);
    if (CoreReporter_Speaks(reporter, 6)) CoreReporter_Debug(reporter, "c^{-k} = %.3g", factor);
    const int status =
        RapidMQ3_InitAccuracy(N, p, k, c, accuracy / factor, coeffs, differentiate, ws, reporter, target);
    ws->Scale = factor;
    return status;
}

int ScaledMQ3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p, int32_t k,
                   double c, double accuracy, const double* coeffs, int32_t differentiate, RapidMQ3Workspace* ws,
                   const CoreReporter* reporter, double target) {
    if (!ws) return CoreStatus_NullArgument;
    std::memset(ws, 0, sizeof(*ws));
    int status = RapidMQ3_InitTree(N, dimension, numInPanel, centres, ws, reporter);
    if (status == 0) status = ScaledMQ3_InitAccuracy(N, p, k, c, accuracy, coeffs, differentiate, ws, reporter, target);
    if (status != 0) RapidMQ3_Free(ws);
    return status;
}

int ScaledMQ3_PointEval(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                        const CoreReporter* reporter, double target) {
    if (!points) return CoreStatus_InvalidInput;
    return Evaluate(ws, Points{points}, M, values, nullptr, reporter, target, Scaled(kMQValues, ws));
}

int ScaledMQ3_PointGradient(RapidMQ3Workspace* ws, int32_t M, const double* const* points, double* values,
                            double* const* gradients, const CoreReporter* reporter, double target) {
    if (!points || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws, Points{points}, M, values, gradients, reporter, target, Scaled(kMQGradients, ws));
}

int ScaledMQ3_GridEval(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                       double* values, const CoreReporter* reporter, double target) {
    if (!base || !spacing) return CoreStatus_InvalidInput;
    return Evaluate(ws, Grid{base, spacing, size}, GridCount(size), values, nullptr, reporter, target,
                    Scaled(kMQValues, ws));
}

int ScaledMQ3_GridGradient(RapidMQ3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                           double* values, double* const* gradients, const CoreReporter* reporter, double target) {
    if (!base || !spacing || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws, Grid{base, spacing, size}, GridCount(size), values, gradients, reporter, target,
                    Scaled(kMQGradients, ws));
}

// ---- RapidASphere3 ----

int RapidASphere3_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                           RapidASphere3Workspace* ws, const CoreReporter* reporter) {
    if (!ws) return CoreStatus_NullArgument;
    return RapidMQ3_InitTree(N, dimension, numInPanel, centres, &ws->MQ, reporter);
}

int RapidASphere3_InitAccuracy(int32_t N, int32_t p, int32_t k, double c, double accuracy, const double* coeffs,
                               int32_t differentiate, RapidASphere3Workspace* ws, const CoreReporter* reporter,
                               double target) {
    if (!ws || !coeffs) return CoreStatus_NullArgument;
    if (accuracy < 0.0) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Accuracy value must be positive");
        return CoreStatus_NegativeAccuracy;
    }
    const double S = SumAbs(coeffs, N);
    if (accuracy >= 0.1 * S) {
        Lowered(reporter, accuracy, 0.05 * S);
        accuracy = 0.05 * S;
    }
    ws->F0 = Kernel_IntPower(std::fabs(c), -k);
    ws->R02 = c * c / (1.0 - k);
    ws->Slope = k / (2.0 * std::fabs(c) * std::sqrt(1.0 - k));
    const double v = std::sqrt((2.0 - k) / (1.0 - k));
    ws->W = 2.0 * std::pow(v, k - 2);
    ws->F = ws->F0 / ws->W;
    if (CoreReporter_Speaks(reporter, 6)) CoreReporter_Debug(reporter, "c^{-k} = %.3g", ws->F0);
    MQExpansion& e = ws->MQ.Expansion;
    e.Shape = MQKernelShape{1, ws->F, ws->R02, ws->Slope};
    // A series stands for the tail only: a point nearer than r0 to any of a
    // panel's centres must sum it directly, so no use distance is below the
    // panel radius plus r0. And as the series is always evaluated at the full
    // order, no distance is below that order's.
    const int status =
        Setup(N, p, k, c, accuracy, coeffs, differentiate, &ws->MQ, reporter, target, ws->F0, std::sqrt(ws->R02));
    e.Shape = MQKernelShape{1, ws->F, ws->R02, ws->Slope};
    return status;
}

int RapidASphere3_Init(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres, int32_t p,
                       int32_t k, double c, double accuracy, const double* coeffs, int32_t differentiate,
                       RapidASphere3Workspace* ws, const CoreReporter* reporter, double target) {
    if (!ws) return CoreStatus_NullArgument;
    std::memset(ws, 0, sizeof(*ws));
    int status = RapidASphere3_InitTree(N, dimension, numInPanel, centres, ws, reporter);
    if (status == 0)
        status = RapidASphere3_InitAccuracy(N, p, k, c, accuracy, coeffs, differentiate, ws, reporter, target);
    if (status != 0) RapidASphere3_Free(ws);
    return status;
}

int RapidASphere3_PointEval(RapidASphere3Workspace* ws, int32_t M, const double* const* points, double* values,
                            const CoreReporter* reporter, double target) {
    if (!points) return CoreStatus_InvalidInput;
    return Evaluate(ws ? &ws->MQ : nullptr, Points{points}, M, values, nullptr, reporter, target, kSphereValues);
}

int RapidASphere3_PointGradient(RapidASphere3Workspace* ws, int32_t M, const double* const* points, double* values,
                                double* const* gradients, const CoreReporter* reporter, double target) {
    if (!points || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws ? &ws->MQ : nullptr, Points{points}, M, values, gradients, reporter, target, kSphereGradients);
}

int RapidASphere3_GridEval(RapidASphere3Workspace* ws, const double* base, const double* spacing, const int32_t* size,
                           double* values, const CoreReporter* reporter, double target) {
    if (!base || !spacing) return CoreStatus_InvalidInput;
    return Evaluate(ws ? &ws->MQ : nullptr, Grid{base, spacing, size}, GridCount(size), values, nullptr, reporter,
                    target, kSphereValues);
}

int RapidASphere3_GridGradient(RapidASphere3Workspace* ws, const double* base, const double* spacing,
                               const int32_t* size, double* values, double* const* gradients,
                               const CoreReporter* reporter, double target) {
    if (!base || !spacing || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws ? &ws->MQ : nullptr, Grid{base, spacing, size}, GridCount(size), values, gradients, reporter,
                    target, kSphereGradients);
}

void RapidASphere3_Free(RapidASphere3Workspace* ws) {
    if (!ws) return;
    RapidMQ3_Free(&ws->MQ);
    std::memset(ws, 0, sizeof(*ws));
}

void RapidASphere3_FreeTree(RapidASphere3Workspace* ws) {
    if (ws) RapidMQ3_FreeTree(&ws->MQ);
}
