// The surface library wired into the shell and the scan document.
#include "app/ui/surface_library.h"

#include "app/ui/app_state.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The library frees what the context holds with the run-time allocator, so
// the arrays handed over are made with it too.
double* CopyOut(const std::vector<double>& values) {
    if (values.empty()) return nullptr;
    double* copy = static_cast<double*>(std::malloc(values.size() * sizeof(double)));
    if (copy) std::copy(values.begin(), values.end(), copy);
    return copy;
}

void FillSolution(Solution3& s, const LoadedFit& fit) {
    std::memset(&s, 0, sizeof s);
    s.Centres = CopyOut(fit.centres);
    s.Coeffs = CopyOut(fit.coefficients);
    // A part that could not be copied is missing, as if the file lacked it.
    s.CentreCount = s.Centres ? static_cast<int32_t>(fit.centres.size() / 3) : 0;
    s.CoeffCount = s.Coeffs ? static_cast<int32_t>(fit.coefficients.size()) : 0;
    s.AchievedAccuracy = fit.achievedAccuracy;
    s.DefaultEvalAccuracy = fit.defaultEvaluationAccuracy;
    for (int i = 0; i < 3; ++i) {
        s.PolyBase[i] = fit.polyBase[i];
        s.DataMin[i] = fit.dataMin[i];
        s.DataMax[i] = fit.dataMax[i];
    }
    s.FitType = fit.fitType;
    s.PolyDegree = fit.polyDegree;
    s.Rho = fit.rho;
    s.Basic.Type = fit.basicFuncType;
    s.Basic.C = fit.basicFuncC;
    s.Basic.K = fit.basicFuncK;
    std::memcpy(s.Creator, fit.version, sizeof s.Creator);
    s.Creator[sizeof s.Creator - 1] = '\0';
}

LibraryFitSeam& ProgramFitSeam() {
    static LibraryFitSeam seam(App().scanFitContext);
    return seam;
}

}  // namespace

bool LibraryFitSeam::LibraryLoaded() { return RbfLib_Load() != 0; }

void LibraryFitSeam::Clear() {
    if (RbfLib_Load()) RbfLib_Exports().FreeData(&context_);
}

void LibraryFitSeam::Hand(const LoadedFit& fit) {
    if (!RbfLib_Load()) return;
    const RbfLibExports& lib = RbfLib_Exports();
    // Whatever the context held goes first: the solution below replaces it.
    lib.FreeData(&context_);
    const int32_t count = static_cast<int32_t>(fit.input.size());
    lib.SetInput(&context_, count, count > 0 ? &fit.input[0].x : nullptr);
    context_.Input.Count = count;
    FillSolution(context_.Solution, fit);
    static_assert(sizeof fit.params <= sizeof(ScanFitParams), "the stored words fit the parameter block");
    std::memcpy(&context_.Params, fit.params, sizeof fit.params);
    context_.Stage = fit.restartStage;
}

void SurfaceLibrary_ConnectShell() {
    Shell_Hooks().bindSurfaceLibrary = [] { return RbfLib_Load() != 0; };
    ScanDocServices& services = ScanDoc_Services();
    services.freeSurfaceLibraryData = [] {
        if (RbfLib_Load()) RbfLib_Exports().FreeData(&App().scanFitContext);
    };
    services.fitSeam = &ProgramFitSeam();
}
