// The front's workspace: matching it against a request, setting up the fast
// method, dropping expansions or the whole state, and the end of every
// evaluation.
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/fit/rapid_eval.h"
#include "surface/fit/rapid_evaluator.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

const RapidEvaluator* g_testEvaluators[9][2];
bool g_testOverride[9][2];

void Info(const CoreReporter* reporter, const char* text) {
    if (CoreReporter_SpeaksIn(reporter, 5, kCategoryFastEvaluation)) CoreReporter_Info(reporter, "%s", text);
}

bool SameKernel(const BasicFunctionKernel* a, const BasicFunctionKernel* b) {
    return a->Type == b->Type && a->Dim == b->Dim && a->Param == b->Param && a->Exponent == b->Exponent;
}

}  // namespace

void RapidEval_FreeScratch(RapidEvalWorkspace* workspace) {
    if (workspace->Scratch == nullptr) return;
    for (int k = 0; k < 3; ++k) Mem_Free(workspace->Scratch[k]);
    Mem_Free(workspace->Scratch);
    workspace->Scratch = nullptr;
    workspace->ScratchCoeffs = nullptr;
}

namespace {

bool Covers(const RapidEvalWorkspace* workspace, const double* box) {
    for (int k = 0; k < 4; ++k) {
        const int axis = k % 2;
        const double v = box[k];
        if (!(workspace->Box[axis] <= v && v <= workspace->Box[2 + axis])) return false;
    }
    return true;
}

}  // namespace

const RapidEvaluator* RapidEval_FindEvaluator(int32_t type, int32_t dimension) {
    if (type < 0 || type > 8 || dimension < 2 || dimension > 3) return nullptr;
    if (g_testOverride[type][dimension - 2]) return g_testEvaluators[type][dimension - 2];
    return RapidEval_BuiltInEvaluator(type, dimension);
}

void RapidEval_SetEvaluatorForTesting(int32_t type, int32_t dimension, const RapidEvaluator* evaluator) {
    if (type < 0 || type > 8 || dimension < 2 || dimension > 3) return;
    g_testEvaluators[type][dimension - 2] = evaluator;
    g_testOverride[type][dimension - 2] = evaluator != nullptr;
}

void RapidEval_ZeroWorkspace(RapidEvalWorkspace* workspace) {
    if (workspace != nullptr) std::memset(workspace, 0, sizeof *workspace);
}

void RapidEval_DiscardWorkspace(RapidEvalWorkspace* workspace) {
    if (workspace == nullptr) return;
    if (workspace->Evaluator != nullptr && workspace->Evaluator->Release != nullptr)
        workspace->Evaluator->Release(workspace);
    RapidEval_FreeScratch(workspace);
    double** rows = workspace->SolutionRows;
    const double* centres = workspace->SolutionCentres;
    const int32_t count = workspace->SolutionCount;
    RapidEval_ZeroWorkspace(workspace);
    workspace->SolutionRows = rows;
    workspace->SolutionCentres = centres;
    workspace->SolutionCount = count;
}

int RapidEval_ClearWorkspace(RapidEvalWorkspace* workspace) {
    if (workspace == nullptr) return 0;
    RapidEval_DiscardWorkspace(workspace);
    Mem_Free(workspace->SolutionRows);
    RapidEval_ZeroWorkspace(workspace);
    return 0;
}

void RapidEval_DiscardExpansions(RapidEvalWorkspace* workspace) {
    if (workspace == nullptr || workspace->State != kRapidExpansions) return;
    if (workspace->Evaluator != nullptr && workspace->Evaluator->DiscardExpansions != nullptr)
        workspace->Evaluator->DiscardExpansions(workspace);
    RapidEval_FreeScratch(workspace);
    workspace->ExpansionBytes = 0;
    workspace->State = kRapidMethodSet;
}

int64_t RapidEval_WorkspaceBytes(int32_t N, const BasicFunctionKernel* kernel, const RapidEvalWorkspace* workspace) {
    if (workspace == nullptr || workspace->State == kRapidEmpty || workspace->Evaluator == nullptr || kernel == nullptr)
        return 0;
    return workspace->Evaluator->Bytes != nullptr ? workspace->Evaluator->Bytes(N, kernel, workspace) : 0;
}

RapidEvalWorkspace* RapidEval_CheckWorkspace(const BasicFunctionKernel* kernel, const double* const* centres,
                                             const double* coeffs, double accuracy, const RapidEvalOptions* options,
                                             int32_t multiplyOnly, int32_t pointRequest, RapidEvalWorkspace* workspace,
                                             RapidEvalWorkspace* local, const CoreReporter* reporter) {
    if (workspace == nullptr) {
        RapidEval_ZeroWorkspace(local);
        workspace = local;
    }
    const bool biharmonic2 = kernel->Type == kBasicBiharmonic && kernel->Dim == 2;
    if (workspace->State > kRapidEmpty) {
        const char* why = nullptr;
        if (!SameKernel(kernel, &workspace->Kernel))
            why = "Basic functions do not match. Workspace discarded";
        else if (centres != workspace->Centres)
            why = "RBF centres do not match. Workspace discarded";
        else if (options->NumInPanel != workspace->Options.NumInPanel)
            why = "NumInPanel option does not match. Workspace discarded";
        else if (biharmonic2 && options->BoundingBox != nullptr) {
            if (!Covers(workspace, options->BoundingBox))
                why = "Workspace does not cover desired area. Workspace discarded";
        } else if (pointRequest && workspace->MultiplyOnly == 1)
            why = "Workspace is for matrix multiply only. Workspace discarded";
        if (why != nullptr) {
            Info(reporter, why);
            RapidEval_DiscardWorkspace(workspace);
        }
    }
    if (workspace->State == kRapidExpansions) {
        if (accuracy > 0.0 && accuracy < workspace->Accuracy) {
            Info(reporter, "Workspace does not provide sufficent accuracy. Expansions discarded");
            RapidEval_DiscardExpansions(workspace);
        } else if (options->SeriesLength != workspace->Options.SeriesLength) {
            Info(reporter, "Series length option does not match. Expansions discarded");
            RapidEval_DiscardExpansions(workspace);
            // The next expansions are built to the new length: remember it, or
            // every later request would drop them again.
            workspace->Options.SeriesLength = options->SeriesLength;
        } else if (kernel->Type != kBasicSpherical && coeffs != workspace->Coeffs) {
            Info(reporter, "RBF coefficients do not match. Workspace discarded");
            RapidEval_DiscardWorkspace(workspace);
        }
    }
    if (workspace->State == kRapidEmpty) {
        workspace->Kernel = *kernel;
        workspace->Centres = centres;
        workspace->Options = *options;
        workspace->MultiplyOnly = biharmonic2 ? multiplyOnly : 0;
    }
    if (workspace->State < kRapidExpansions) {
        workspace->Accuracy = accuracy;
        workspace->Coeffs = coeffs;
    }
    return workspace;
}

int RapidEval_ChooseMethod(int32_t N, const double* const* centres, const BasicFunctionKernel* kernel,
                           const RapidEvalOptions* options, int32_t gradient, RapidEvalWorkspace* workspace,
                           const CoreReporter* reporter) {
    if (workspace->State > kRapidEmpty || options->Method != 0) return 0;
    const bool biharmonic2 = kernel->Type == kBasicBiharmonic && kernel->Dim == 2;
    if (biharmonic2 && gradient) return 0;
    const RapidEvaluator* evaluator = RapidEval_FindEvaluator(kernel->Type, kernel->Dim);
    if (evaluator == nullptr || evaluator->Setup == nullptr) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "No fast method available for specified basic function");
        return 1;
    }
    if (biharmonic2 && !workspace->MultiplyOnly && options->BoundingBox == nullptr) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "Boundingbox must be specified for the 2D fast evaluator");
        return CoreStatus_NullArgument;
    }
    const int64_t before = static_cast<int64_t>(Mem_CurrentBytes());
    workspace->Evaluator = evaluator;
    const int status = evaluator->Setup(workspace, N, centres, kernel, options, reporter);
    workspace->TreeBytes = static_cast<int64_t>(Mem_CurrentBytes()) - before;
    if (status != 0) {
        // A set-up that fails with 1 leaves the request to direct summation.
        RapidEval_DiscardWorkspace(workspace);
        return status;
    }
    workspace->State = kRapidMethodSet;
    return 0;
}

int RapidEval_CreateWorkspace(int32_t N, int32_t M, const double* const* centres, const BasicFunctionKernel* kernel,
                              const RapidEvalOptions* options, int32_t multiplyOnly, RapidEvalWorkspace* workspace,
                              const CoreReporter* reporter) {
    if (workspace == nullptr) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Workspace was NULL");
        return CoreStatus_NullArgument;
    }
    if (workspace->State > kRapidEmpty) return 0;
    if (kernel == nullptr) return CoreStatus_InvalidBasicFunction;
    RapidEvalOptions o = RapidEval_InitOptions(N, M, kernel, options);
    RapidEvalWorkspace local;
    RapidEval_CheckWorkspace(kernel, centres, nullptr, -1.0, &o, multiplyOnly, !multiplyOnly, workspace, &local,
                             reporter);
    if (kernel->Type == kBasicBiharmonic && kernel->Dim == 2 && o.BoundingBox == nullptr) {
        double* box = workspace->Box;
        box[0] = box[2] = centres[0][0];
        box[1] = box[3] = centres[0][1];
        for (int32_t i = 1; i < N; ++i)
            for (int k = 0; k < 2; ++k) {
                if (centres[i][k] < box[k]) box[k] = centres[i][k];
                if (centres[i][k] > box[2 + k]) box[2 + k] = centres[i][k];
            }
        o.BoundingBox = box;
        workspace->Options.BoundingBox = box;
    }
    return RapidEval_ChooseMethod(N, centres, kernel, &o, 0, workspace, reporter);
}

int RapidEval_Finish(int status, RapidEvalWorkspace* workspace, RapidEvalWorkspace* local, int64_t bytesAtStart,
                     int32_t fastUsed) {
    if (workspace != nullptr) {
        workspace->ExpansionBytes += static_cast<int64_t>(Mem_CurrentBytes()) - bytesAtStart;
        if (status != 0) {
            if (workspace->State == kRapidMethodSet) {
                if (workspace->Evaluator != nullptr && workspace->Evaluator->DiscardExpansions != nullptr)
                    workspace->Evaluator->DiscardExpansions(workspace);
                workspace->ExpansionBytes = 0;
            } else {
                RapidEval_DiscardWorkspace(workspace);
            }
        } else if (fastUsed) {
            workspace->State = kRapidExpansions;
        }
    }
    if (local != nullptr && workspace == local) RapidEval_ClearWorkspace(local);
    return status;
}
