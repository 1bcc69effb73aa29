#include "surface/fit/rapid_spherical3.h"

#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int32_t kCategoryMultiquadricFamily = 0x40;

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

// Value (and gradient) at x over the centres within the support radius.
int AtPoint(RapidSpherical3Workspace* ws, const double* coeffs, const double* x, double* value, double* gradient) {
    const double r = ws->Kernel.Param;
    double box[6];
    KdTreeN_Box(3, x, r, box);
    const int32_t found = KdTreeN_BoxQuery(&ws->Tree, box);
    *value = 0.0;
    if (gradient) gradient[0] = gradient[1] = gradient[2] = 0.0;
    if (found == 0) return 0;
    for (int32_t i = 0; i < found; ++i) {
        const int32_t j = ws->Tree.Result[i];
        ws->Near[i] = ws->CentresId[j];
        ws->NearCoeffs[i] = coeffs[j];
    }
    const double* points[1] = {x};
    if (!gradient)
        return ws->Kernel.PointEval(&ws->Kernel, found, ws->Near, ws->NearCoeffs, 1, points, value, nullptr, 1.0);
    double* grads[1] = {gradient};
    return ws->Kernel.PointGradient(&ws->Kernel, found, ws->Near, ws->NearCoeffs, 1, points, value, grads, nullptr,
                                    1.0);
}

template <typename Where>
int Evaluate(RapidSpherical3Workspace* ws, const double* coeffs, int32_t M, const Where& where, double* values,
             double* const* gradients, const CoreReporter* reporter, double target) {
    if (!ws || !ws->Initialised) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "RapidSpherical3 workspace not initialized");
        return CoreStatus_InvalidInput;
    }
    if (!coeffs || !values || M <= 0) return CoreStatus_InvalidInput;
    const uint32_t start = Reporter_Clock();
    double step = (target - Progress(reporter)) / M;
    if (step < 0.0) step = 0.0;
    for (int32_t i = 0; i < M; ++i) {
        double x[3];
        where(i, x);
        const int status = AtPoint(ws, coeffs, x, &values[i], gradients ? gradients[i] : nullptr);
        if (status != 0) return status;
        if (step > 0.0) CoreReporter_SetProgress(reporter, Progress(reporter) + step);
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryMultiquadricFamily))
        CoreReporter_Elapsed(reporter, "RapidSpherical3: Evaluation took",
                             static_cast<int32_t>(Reporter_Clock() - start));
    return 0;
}

int32_t GridCount(const int32_t* size) {
    if (!size || size[0] <= 0 || size[1] <= 0 || size[2] <= 0) return 0;
    return size[0] * size[1] * size[2];
}

}  // namespace

int RapidSpherical3_Init(int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
                         RapidSpherical3Workspace* ws, const CoreReporter* reporter) {
    if (!ws || !centres || !kernel) return CoreStatus_NullArgument;
    if (N <= 0) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Number of centres must be positive");
        return CoreStatus_InvalidInput;
    }
    if (ws->Initialised && (ws->N != N || ws->CentresId != centres)) {
        if (CoreReporter_Speaks(reporter, 2))
            CoreReporter_Warning(reporter, "Fast spherical evaluator discarding entire workspace");
        RapidSpherical3_Free(ws);
    }
    if (ws->Initialised) return 0;
    const uint32_t start = Reporter_Clock();
    std::memset(ws, 0, sizeof(*ws));
    int status = KdTreeN_Build(N, 3, const_cast<double* const*>(centres), &ws->Tree, nullptr,
                               reporter ? reporter->abort : nullptr);
    if (status != 0) return status;
    ws->Near = static_cast<const double**>(Mem_Alloc(sizeof(double*) * static_cast<size_t>(N)));
    ws->NearCoeffs = Mem_AllocDoubles(N);
    if (!ws->Near || !ws->NearCoeffs) {
        RapidSpherical3_Free(ws);
        return CoreStatus_NoMemory;
    }
    ws->N = N;
    ws->CentresId = centres;
    ws->Kernel = *kernel;
    ws->Initialised = 1;
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryMultiquadricFamily))
        CoreReporter_Elapsed(reporter, "RapidSpherical3: Initialization took",
                             static_cast<int32_t>(Reporter_Clock() - start));
    return 0;
}

int RapidSpherical3_PointEval(RapidSpherical3Workspace* ws, const double* coeffs, int32_t M,
                              const double* const* points, double* values, const CoreReporter* reporter,
                              double target) {
    if (!points) return CoreStatus_InvalidInput;
    auto where = [points](int32_t i, double* x) { std::memcpy(x, points[i], 3 * sizeof(double)); };
    return Evaluate(ws, coeffs, M, where, values, nullptr, reporter, target);
}

int RapidSpherical3_PointGradient(RapidSpherical3Workspace* ws, const double* coeffs, int32_t M,
                                  const double* const* points, double* values, double* const* gradients,
                                  const CoreReporter* reporter, double target) {
    if (!points || !gradients) return CoreStatus_InvalidInput;
    auto where = [points](int32_t i, double* x) { std::memcpy(x, points[i], 3 * sizeof(double)); };
    return Evaluate(ws, coeffs, M, where, values, gradients, reporter, target);
}

static auto GridWhere(const double* base, const double* spacing, const int32_t* size) {
    return [=](int32_t i, double* x) {
        x[0] = base[0] + (i % size[0]) * spacing[0];
        x[1] = base[1] + (i / size[0] % size[1]) * spacing[1];
        x[2] = base[2] + (i / (size[0] * size[1])) * spacing[2];
    };
}

int RapidSpherical3_GridEval(RapidSpherical3Workspace* ws, const double* coeffs, const double* base,
                             const double* spacing, const int32_t* size, double* values, const CoreReporter* reporter,
                             double target) {
    if (!base || !spacing) return CoreStatus_InvalidInput;
    return Evaluate(ws, coeffs, GridCount(size), GridWhere(base, spacing, size), values, nullptr, reporter, target);
}

int RapidSpherical3_GridGradient(RapidSpherical3Workspace* ws, const double* coeffs, const double* base,
                                 const double* spacing, const int32_t* size, double* values, double* const* gradients,
                                 const CoreReporter* reporter, double target) {
    if (!base || !spacing || !gradients) return CoreStatus_InvalidInput;
    return Evaluate(ws, coeffs, GridCount(size), GridWhere(base, spacing, size), values, gradients, reporter, target);
}

void RapidSpherical3_Free(RapidSpherical3Workspace* ws) {
    if (!ws) return;
    KdTreeN_Free(&ws->Tree);
    Mem_Free(ws->Near);
    Mem_Free(ws->NearCoeffs);
    std::memset(ws, 0, sizeof(*ws));
}
