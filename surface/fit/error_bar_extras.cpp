// Companions of the error-bar fitter: the energy of a fitted function and a
// greedy refinement by centre reduction.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/error_bar.h"
#include "surface/fit/reducer.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree.h"

namespace {

constexpr double kPi = 3.141592653589793;

}  // namespace

double ErrorBar_EnergyFactor(const BasicFunctionKernel* k) {
    if (k->Dim != 2 && k->Dim != 3) return 1.0;
    if (k->Type == kBasicBiharmonic) return -1.0 / (8.0 * kPi);
    if (k->Type == kBasicTriharmonic) return 1.0 / (96.0 * kPi);
    return k->Sign;
}

double ErrorBar_Energy(const CoreRbf* rbf, double accuracy, const CoreReporter* reporter) {
    if (!rbf || rbf->Count <= 0 || !rbf->Centres || !rbf->Coeffs) return 0.0;
    double* values = Mem_AllocDoubles(rbf->Count);
    if (!values) return 0.0;
    RapidEvalOptions o;
    RapidEval_DefaultOptions(&o);
    const int status = RbfEval_Points(rbf->Count, &rbf->Kernel, rbf->Centres, rbf->Coeffs, rbf->PolyCentre, &o, nullptr,
                                      accuracy, rbf->Count, rbf->Centres, values, reporter, 0.0);
    double sum = 0.0;
    if (status == 0)
        for (int32_t j = 0; j < rbf->Count; ++j) sum += rbf->Coeffs[j] * values[j];
    Mem_Free(values);
    return ErrorBar_EnergyFactor(&rbf->Kernel) * sum;
}

int ErrorBar_GreedyFit(int32_t N, double* const* points, const double* values, const BasicFunctionKernel* kernel,
                       double accuracy, double memory, CoreRbf* out, const CoreReporter* reporter) {
    if (!points || !values || !out) return CoreStatus_NullArgument;
    if (!kernel) return CoreStatus_InvalidBasicFunction;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeAccuracy;
    double largest = 0.0;
    for (int32_t i = 0; i < N; ++i) largest = std::max(largest, std::fabs(values[i]));
    if (CoreReporter_Speaks(reporter, 5)) CoreReporter_Info(reporter, "InfNorm(Density) = %.2e ", largest);
    const double factor = largest > accuracy ? std::pow(accuracy / largest, 0.2) : 1.0;
    double current = std::max(largest * factor, accuracy);
    int32_t* initial = nullptr;
    int32_t initialCount = 0;
    int status = 0;
    CoreSolution_Free(out);
    for (;;) {
        ReducerOptions o;
        Reducer_DefaultOptions(&o);
        o.InitialCount = initialCount;
        o.InitialIndices = initial;
        CoreRbf result{};
        double achieved = -1.0;
        status =
            Reducer_Fit(N, points, values, kernel, current, nullptr, memory, &o, &result, &achieved, reporter, 0.0);
        if (status != 0 && status != CoreStatus_TrivialSolution) {
            CoreSolution_Free(&result);
            break;
        }
        if (CoreReporter_Speaks(reporter, 5)) {
            CoreReporter_Info(reporter, "*************************************************************");
            CoreReporter_Info(reporter, "Error is %.2e, %d new points, %d total points", achieved,
                              result.Count - initialCount, result.Count);
        }
        Mem_Free(initial);
        initial = nullptr;
        initialCount = 0;
        CoreSolution_Free(out);
        *out = result;
        if (current <= accuracy) break;
        if (result.Count > 0) {
            initial = Mem_AllocInts(result.Count);
            if (!initial) {
                status = CoreStatus_NoMemory;
                break;
            }
            std::memcpy(initial, result.Indices, sizeof(int32_t) * static_cast<std::size_t>(result.Count));
            initialCount = result.Count;
        }
        current = std::max(current * factor, accuracy);
    }
    Mem_Free(initial);
    return status;
}

int ErrorBar_MarkNearOtherClass(int32_t N, int32_t d, double* const* points, const double* values, double radius,
                                int32_t* marks, const volatile int32_t* cancel) {
    if (!points || !values || !marks) return CoreStatus_NullArgument;
    if (N <= 0) return 0;
    std::fill(marks, marks + N, 0);
    KdTreeN tree{};
    int status = KdTreeN_Build(N, d, points, &tree, nullptr, cancel);
    if (status != 0) return status;
    int32_t* mask = Mem_AllocInts(N);
    int32_t* scratch = Mem_AllocInts(N);
    double* squared = Mem_AllocDoubles(N);
    if (!mask || !scratch || !squared) status = CoreStatus_NoMemory;
    // Each class in turn is searched for the points of the other.
    for (int32_t pass = 0; status == 0 && pass < 2; ++pass) {
        const bool searchUpper = pass == 0;
        for (int32_t i = 0; i < N; ++i) mask[i] = (values[i] > -1.0) == searchUpper ? 1 : 0;
        KdTreeN_SetMask(&tree, mask);
        for (int32_t i = 0; i < N && status == 0; ++i) {
            if (mask[i]) continue;
            int32_t count = 0;
            KdTreeN_WithinRadius(&tree, points[i], radius, scratch, squared, &count);
            if (count > 0) marks[i] = 1;
            if (cancel && *cancel) status = CoreStatus_UserAbort;
        }
    }
    KdTreeN_SetMask(&tree, nullptr);
    KdTreeN_Free(&tree);
    Mem_Free(mask);
    Mem_Free(scratch);
    Mem_Free(squared);
    return status;
}
