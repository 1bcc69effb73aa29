// The front's options, its choice between the fast and the direct method,
// the default panel sizes and the argument check shared by every request.
#include <cstdint>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/frame/status_codes.h"

namespace {

bool MultiquadricFamily3(const BasicFunctionKernel* kernel) {
    const int32_t t = kernel->Type;
    return kernel->Dim == 3 && (t == 1 || t == 2 || t == 6 || t == 7);
}

bool Biharmonic(const BasicFunctionKernel* kernel, int32_t dimension) {
    return kernel->Type == kBasicBiharmonic && kernel->Dim == dimension;
}

void Refuse(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", text);
}

}  // namespace

RapidEvalOptions* RapidEval_DefaultOptions(RapidEvalOptions* options) {
    if (options == nullptr) return nullptr;
    std::memset(options, 0, sizeof *options);
    options->Method = -1;
    options->NumInPanel = -1.0;
    options->SeriesLength = -1;
    options->BoundingBox = nullptr;
    options->StoreTpsValues = -1;
    options->TuneSteps = 10;
    options->NumEvalPoints = 0;
    options->Accuracy = -1.0;
    return options;
}

double RapidEval_DefaultNumInPanel(const BasicFunctionKernel* kernel, int32_t N, int32_t M) {
    if (M < 2) M = N;
    if (Biharmonic(kernel, 2)) {
        const double n = static_cast<double>(static_cast<int64_t>(43.67 - 33.0 * M / (9.0 * N)));
        return n < 1.0 ? 1.0 : n;
    }
    if (Biharmonic(kernel, 3)) return N <= 60000 ? 100.0 : N <= 200000 ? 200.0 : 400.0;
    if (MultiquadricFamily3(kernel)) return static_cast<double>(N) * static_cast<double>(M) > 1e7 ? 200.0 : 100.0;
    if (kernel->Type == kBasicSpherical) return 1.0;
    return -1.0;
}

int32_t RapidEval_PreferDirect(const BasicFunctionKernel* kernel, int32_t N, int32_t M) {
    const int32_t t = kernel->Type;
    if (N < 100 || t > 8 || t == 3 || t == 4 || t == 5) return 1;
    // Until an evaluator is plugged in for the kernel, direct summation is the
    // only method: choosing "fast" would only print that none exists.
    if (RapidEval_FindEvaluator(t, kernel->Dim) == nullptr) return 1;
    const double P = static_cast<double>(N) * static_cast<double>(M);
    if (Biharmonic(kernel, 2)) return P > 32400.0 ? 0 : 1;
    if (kernel->Dim != 3) return 1;
    if (t == kBasicBiharmonic) return P > 4.0e6 ? 0 : 1;
    if (t == kBasicSpherical) return P > 1.0e6 ? 0 : 1;
    if (MultiquadricFamily3(kernel)) return P > 250000.0 ? 0 : 1;
    return 1;
}

RapidEvalOptions RapidEval_InitOptions(int32_t N, int32_t M, const BasicFunctionKernel* kernel,
                                       const RapidEvalOptions* given) {
    RapidEvalOptions o;
    if (given != nullptr)
        o = *given;
    else
        RapidEval_DefaultOptions(&o);
    if (o.NumEvalPoints > 0) M = o.NumEvalPoints;
    if (o.NumInPanel < 1.0) o.NumInPanel = RapidEval_DefaultNumInPanel(kernel, N, M);
    if (o.Method < 0) o.Method = RapidEval_PreferDirect(kernel, N, M);
    if (o.Method == 0 && 2.0 * o.NumInPanel > N) o.NumInPanel = static_cast<double>(N / 10);
    if (o.SeriesLength <= 0 && kernel->Dim == 3) o.SeriesLength = MultiquadricFamily3(kernel) ? 10 : 0;
    if (Biharmonic(kernel, 2) && o.StoreTpsValues < 0) o.StoreTpsValues = 1e7 / N > M ? 1 : 0;
    if (o.TuneSteps < 0) o.TuneSteps = 0;
    return o;
}

int RapidEval_CheckArguments(int32_t N, const BasicFunctionKernel* kernel, const double* const* centres,
                             const double* coeffs, double accuracy, const CoreReporter* reporter) {
    const bool speaks = CoreReporter_Speaks(reporter, 1);
    if (N <= 0) {
        if (speaks) CoreReporter_Error(reporter, "NumCentres was not positive (%d)", N);
        return CoreStatus_InvalidInput;
    }
    if (kernel == nullptr) {
        Refuse(reporter, "Basic function was NULL");
        return CoreStatus_InvalidBasicFunction;
    }
    if (centres == nullptr) {
        Refuse(reporter, "Centres array was NULL");
        return CoreStatus_InvalidInput;
    }
    if (coeffs == nullptr) {
        Refuse(reporter, "Coeffs array was NULL");
        return CoreStatus_InvalidInput;
    }
    if (!(accuracy > 0.0)) {
        if (speaks) CoreReporter_Error(reporter, "Accuracy was not positive (%.2g)", accuracy);
        return CoreStatus_NegativeAccuracy;
    }
    return 0;
}
