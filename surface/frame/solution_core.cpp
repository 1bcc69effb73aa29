// From the caller's description of a solution to the fitting core's forms:
// the kernel selection of a basic function and the core record over a
// solution's arrays.
#include <cstring>

#include "surface/frame/basic_function.h"
#include "surface/frame/core_rbf.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/row_pointers.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

// The kernel selection refuses an unknown or unfitting basic function with
// core status 10.
const int kRefused = CoreStatus_UserAbort;

// The core messenger that relays the kernel table's complaints to the
// caller's reporter at error level.
void ErrorMessenger(CoreReporter* messenger, Reporter* reporter) {
    CoreReporter_Init(messenger, reporter ? &reporter->abort : nullptr, reporter ? &reporter->progress : nullptr, 1, 0,
                      reporter ? &Reporter_Forward : nullptr, reporter);
}

struct KernelChoice {
    int32_t code;
    double param;
    int32_t exponent;
};

// The kernel, parameter and exponent of a basic function type (0 to 4).
KernelChoice Choose(const BasicFunction* basic, double s, int32_t dimension) {
    const double shift = s > 0.0 ? s : 0.0;
    switch (basic->Type) {
        case 0:
            if (s > 0.0) return {dimension == 2 ? 4 : 2, s, 1};
            return {0, 0.0, 0};
        case 1:
            if (s != 0.0) return {dimension == 2 ? 5 : 2, s, 3};
            return {1, 0.0, 0};
        case 2:
            return {2, basic->C + shift, basic->K};
        case 3:
            return {7, basic->C + shift, basic->K};
        default:
            return {8, basic->C + shift, 0};
    }
}

template <class Solution, int D>
int ToCore(const Solution* solution, CoreRbf* core, Reporter* reporter) {
    if (solution == nullptr || core == nullptr) return CoreStatus_NullArgument;
    std::memset(core, 0, sizeof *core);
    const int made = D == 3 ? RowPointers_Make3(&core->Centres, solution->Centres, solution->CentreCount)
                            : RowPointers_Make2(&core->Centres, solution->Centres, solution->CentreCount);
    if (made != 0) {
        Reporter_Error(reporter, "Memory allocation failed while converting RBF centres.");
        std::memset(core, 0, sizeof *core);
        return CoreStatus_NoMemory;
    }
    core->BorrowsArrays = 1;
    core->Count = solution->CentreCount;
    core->AchievedAccuracy = solution->AchievedAccuracy;
    core->EvalAccuracy = solution->DefaultEvalAccuracy;
    core->Coeffs = solution->Coeffs;
    core->Indices = solution->Indices;
    for (int k = 0; k < D; ++k) core->PolyCentre[k] = solution->PolyBase[k];
    const int status = BasicFunction_ToCore(&solution->Basic, 0.0, D, solution->PolyDegree, &core->Kernel, reporter);
    if (status != 0) CoreSolution_Free(core);
    return status;
}

}  // namespace

int BasicFunction_ToCore(const BasicFunction* basic, double s, int32_t dimension, int32_t degree,
                         BasicFunctionKernel* kernel, Reporter* reporter) {
    if (basic == nullptr || basic->Type < 0 || basic->Type > 4) {
        Reporter_Error(reporter, "Invalid basic function type.");
        return kRefused;
    }
    CoreReporter messenger;
    ErrorMessenger(&messenger, reporter);
    // The table knows the degrees -1 to 2; any other is passed as one it refuses.
    const int32_t coreDegree = degree >= -1 && degree <= 2 ? degree : 10;
    const KernelChoice k = Choose(basic, s, dimension);
    const int status = BasicFunction_Init(k.code, dimension, coreDegree, k.param, k.exponent, kernel, &messenger);
    return status == 0 ? 0 : kRefused;
}

int BasicFunction_Check(const BasicFunction* basic, int32_t dimension, int32_t degree, Reporter* reporter) {
    BasicFunctionKernel kernel;
    return BasicFunction_ToCore(basic, 0.0, dimension, degree, &kernel, reporter) == 0 ? 1 : 0;
}

int Solution3_ToCore(const Solution3* solution, CoreRbf* core, Reporter* reporter) {
    return ToCore<Solution3, 3>(solution, core, reporter);
}

int Solution2_ToCore(const Solution2* solution, CoreRbf* core, Reporter* reporter) {
    return ToCore<Solution2, 2>(solution, core, reporter);
}
