// The surface library wired into the shell, against a stand-in for its five
// exports: the binding hook, the data release at the document's close, and a
// scan load's stored fit reaching the context whole, or not at all while the
// library is absent.
#include "app/ui/app_state.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/surface_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int g_loads = 0;
int g_frees = 0;
std::vector<float> g_input;  // what SetInput was given
std::vector<int> g_calls;    // 1 FreeData, 2 SetInput, in order

int MORLITH_CALL StandInSetFuncs(ScanFitContext*, HostMessageFunction) { return 1; }
int MORLITH_CALL StandInSetParams(ScanFitContext*, const ScanFitParams*, int32_t) { return 1; }
int MORLITH_CALL StandInProcess(ScanFitContext*, int32_t, const float*, const float*) { return 1; }
// As the library does: the solution's arrays go back to the run-time allocator.
int MORLITH_CALL StandInFreeData(ScanFitContext* c) {
    ++g_frees;
    g_calls.push_back(1);
    std::free(c->Solution.Centres);
    std::free(c->Solution.Coeffs);
    std::memset(&c->Solution, 0, sizeof c->Solution);
    c->Stage = 0;
    return 1;
}
int MORLITH_CALL StandInSetInput(ScanFitContext* c, int32_t count, const float* points) {
    g_calls.push_back(2);
    g_input.assign(points, points + 3 * count);
    c->Input.Count = count;
    return 1;
}

bool LoadAll(RbfLibExports& e) {
    ++g_loads;
    e = RbfLibExports{StandInSetFuncs, StandInSetParams, StandInProcess, StandInFreeData, StandInSetInput};
    return true;
}
bool LoadNone(RbfLibExports&) {
    ++g_loads;
    return false;
}

LoadedFit StoredFit() {
    LoadedFit fit;
    fit.restartStage = 1;
    fit.input = {Vec3{1, 2, 3}, Vec3{4, 5, 6}};
    fit.centres = {0.5, 1.5, 2.5};
    fit.coefficients = {7.0, 8.0, 9.0, 10.0};
    fit.achievedAccuracy = 0.25;
    fit.defaultEvaluationAccuracy = 0.03;
    fit.polyBase[2] = 4.0;
    fit.dataMin[0] = -1.0;
    fit.dataMax[1] = 2.0;
    fit.fitType = 3;
    fit.polyDegree = 1;
    fit.rho = 0.125;
    fit.basicFuncType = 2;
    fit.basicFuncC = 0.75;
    fit.basicFuncK = 5;
    std::strcpy(fit.version, "Morlith 1.4.2");
    const float accuracy = 0.3f;
    std::memcpy(&fit.params[23], &accuracy, 4);
    fit.params[27] = 2;
    return fit;
}

class SurfaceLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        g_loads = g_frees = 0;
        g_input.clear();
        g_calls.clear();
        std::memset(&context, 0, sizeof context);
    }
    void TearDown() override {
        if (RbfLib_Load()) RbfLib_Exports().FreeData(&context);
        RbfLib_SetLoader(nullptr);
    }
    ScanFitContext context;
};

TEST_F(SurfaceLibrary, AStoredFitReachesTheContextAfterItsOldDataIsFreed) {
    RbfLib_SetLoader(LoadAll);
    LibraryFitSeam seam(context);
    EXPECT_TRUE(seam.LibraryLoaded());
    context.Stage = 3;
    seam.Hand(StoredFit());
    EXPECT_EQ(g_calls, (std::vector<int>{1, 2}));
    EXPECT_EQ(g_input, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(context.Input.Count, 2);
    EXPECT_EQ(context.Stage, 1);
    const Solution3& s = context.Solution;
    ASSERT_EQ(s.CentreCount, 1);
    ASSERT_EQ(s.CoeffCount, 4);
    EXPECT_EQ(s.Centres[2], 2.5);
    EXPECT_EQ(s.Coeffs[3], 10.0);
    EXPECT_EQ(s.AchievedAccuracy, 0.25);
    EXPECT_EQ(s.DefaultEvalAccuracy, 0.03);
    EXPECT_EQ(s.PolyBase[2], 4.0);
    EXPECT_EQ(s.DataMin[0], -1.0);
    EXPECT_EQ(s.DataMax[1], 2.0);
    EXPECT_EQ(s.FitType, 3);
    EXPECT_EQ(s.PolyDegree, 1);
    EXPECT_EQ(s.Rho, 0.125);
    EXPECT_EQ(s.Basic.Type, 2);
    EXPECT_EQ(s.Basic.C, 0.75);
    EXPECT_EQ(s.Basic.K, 5);
    EXPECT_STREQ(s.Creator, "Morlith 1.4.2");
    EXPECT_EQ(context.Params.Accuracy, 0.3f);
    EXPECT_EQ(context.Params.Close, 2);
    // A second load replaces the first fit; the library frees the old arrays.
    seam.Clear();
    EXPECT_EQ(context.Solution.Centres, nullptr);
    EXPECT_EQ(context.Stage, 0);
}

TEST_F(SurfaceLibrary, WithoutTheLibraryTheContextIsLeftAlone) {
    RbfLib_SetLoader(LoadNone);
    LibraryFitSeam seam(context);
    EXPECT_FALSE(seam.LibraryLoaded());
    seam.Clear();
    seam.Hand(StoredFit());
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(context.Solution.Centres, nullptr);
    EXPECT_EQ(context.Stage, 0);
    EXPECT_EQ(g_loads, 1);  // never tried again in the run
}

TEST_F(SurfaceLibrary, TheShellBindsOnceAndTheDocumentCloseFreesTheLibrarysData) {
    for (const bool present : {true, false}) {
        SCOPED_TRACE(present);
        g_loads = g_frees = 0;
        RbfLib_SetLoader(present ? LoadAll : LoadNone);
        SurfaceLibrary_ConnectShell();
        EXPECT_EQ(Shell_Hooks().bindSurfaceLibrary(), present);
        EXPECT_EQ(Shell_Hooks().bindSurfaceLibrary(), present);
        EXPECT_EQ(g_loads, 1);
        ScanDoc_Services().freeSurfaceLibraryData();
        EXPECT_EQ(g_frees, present ? 1 : 0);
        EXPECT_NE(ScanDoc_Services().fitSeam, nullptr);
    }
    Shell_Hooks().bindSurfaceLibrary = nullptr;
    ScanDoc_Services().freeSurfaceLibraryData = nullptr;
    ScanDoc_Services().fitSeam = nullptr;
}

}  // namespace
