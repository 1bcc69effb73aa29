// Builds through the exports on a small sphere: the stages a build runs and
// repeats, the fitter the accuracy picks, failures of every stage and of
// every allocation of the pipeline, bad input, a cancel during surfacing,
// and the simplification in a rotated and shifted view frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "surface/fit/eval_operations.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/solution.h"
#include "surface/pipeline/tests/scan_fixture.h"

namespace {

using scan_fixture::Context;
using scan_fixture::HostLines;
using scan_fixture::HostSaid;
using scan_fixture::HostSaidAnything;
using scan_fixture::Scan;

const Scan& Sphere() {
    static const Scan scan = scan_fixture::MakeScan(scan_fixture::Shape::Sphere, 2500);
    return scan;
}

ScanFitParams SphereParams() { return scan_fixture::Params(scan_fixture::Spacing(Sphere()), 0.1f, 2.0f, 1); }

bool SameMesh(const Mesh3& a, const Mesh3& b) {
    return a.Points.Count == b.Points.Count && a.Faces.TriCount == b.Faces.TriCount &&
           std::memcmp(a.Points.Location, b.Points.Location, sizeof(double) * 3 * a.Points.Count) == 0 &&
           std::memcmp(a.Faces.Tri, b.Faces.Tri, sizeof(int32_t) * 3 * a.Faces.TriCount) == 0;
}

bool SameSolution(const Solution3& a, const Solution3& b) {
    return a.CentreCount == b.CentreCount && a.CoeffCount == b.CoeffCount &&
           std::memcmp(a.Centres, b.Centres, sizeof(double) * 3 * a.CentreCount) == 0 &&
           std::memcmp(a.Coeffs, b.Coeffs, sizeof(double) * a.CoeffCount) == 0 &&
           std::memcmp(a.PolyBase, b.PolyBase, sizeof a.PolyBase) == 0 &&
           std::memcmp(a.DataMin, b.DataMin, sizeof a.DataMin) == 0 &&
           std::memcmp(a.DataMax, b.DataMax, sizeof a.DataMax) == 0;
}

// The sphere fitted and surfaced once (stage 2, no simplification); each
// test starts from a copy of it.
const ScanFitContext& Surfaced() {
    static Context* built = [] {
        Context* ctx = new Context;
        EXPECT_EQ(ctx->Build(SphereParams(), Sphere()), 1);
        return ctx;
    }();
    return built->c;
}

void CopyBuilt(const ScanFitContext& from, Context* to) {
    ScanFitContext* c = &to->c;
    c->Params = from.Params;
    c->Stage = from.Stage;
    ASSERT_EQ(Solution3_Copy(&c->Solution, &from.Solution), 0);
    ASSERT_EQ(PointList3_CopyMain(&c->Input, &from.Input), 0);
    if (from.SurfaceMesh.Points.Location != nullptr) {
        ASSERT_EQ(Mesh3_Copy(&c->SurfaceMesh, const_cast<Mesh3*>(&from.SurfaceMesh), 0), 0);
    }
    c->OutputMesh = &c->SurfaceMesh;
    HostLines().clear();
}

TEST(ScanPipeline, BuildsTheSphereAndRepeatsOnlyWhatChanged) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    ScanFitParams p = SphereParams();
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    EXPECT_EQ(c->Stage, 2);
    EXPECT_EQ(c->OutputMesh, &c->SurfaceMesh);
    EXPECT_TRUE(scan_fixture::Closed(c->SurfaceMesh));
    EXPECT_EQ(c->Input.Count, Sphere().count());
    EXPECT_EQ(c->LivePointCount, nullptr);
    EXPECT_EQ(c->LiveTriangleCount, nullptr);
    for (const char* line : {"3: Creating density data from normals", "3: Fitting RBF", "3: Isosurfacing RBF",
                             "3: Finished isosurfacing RBF"})
        EXPECT_TRUE(HostSaid(line)) << line;
    // Value lines and times do not reach the host.
    EXPECT_FALSE(HostSaidAnything("Time Taken"));

    const int32_t faces = c->SurfaceMesh.Faces.TriCount;
    p.DoSimplify = 1;
    p.SimpNFaces = faces / 4;
    HostLines().clear();
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    EXPECT_EQ(c->Stage, 3);
    EXPECT_EQ(c->OutputMesh, &c->SimplifiedMesh);
    EXPECT_LE(c->SimplifiedMesh.Faces.TriCount, faces / 4);
    EXPECT_TRUE(HostSaid("3: Simplifying mesh"));
    EXPECT_FALSE(HostSaid("3: Fitting RBF"));
    EXPECT_FALSE(HostSaid("3: Isosurfacing RBF"));

    // A new face target repeats only the simplification.
    p.SimpNFaces = faces / 8;
    HostLines().clear();
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    EXPECT_TRUE(HostSaid("3: Simplifying mesh"));
    EXPECT_FALSE(HostSaid("3: Isosurfacing RBF"));
    EXPECT_LE(c->SimplifiedMesh.Faces.TriCount, faces / 8);

    // A new memory limit changes nothing: the build returns at once.
    p.MemoryToUse = 64;
    HostLines().clear();
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    EXPECT_TRUE(HostLines().empty());
    EXPECT_EQ(c->Stage, 3);
    EXPECT_EQ(c->Report.operation, 1);
}

TEST(ScanPipeline, AccuracyBelowThreeTenthsPicksCentreReduction) {
    const Scan small = scan_fixture::MakeScan(scan_fixture::Shape::Sphere, 600, 11);
    for (const auto& [accuracy, type] : {std::pair<float, int32_t>{0.29f, 1}, {0.3f, 2}}) {
        SCOPED_TRACE(accuracy);
        Context ctx;
        ScanFitParams p = scan_fixture::Params(scan_fixture::Spacing(small), accuracy, 4.0f, 1);
        ASSERT_EQ(ctx.Build(p, small), 1);
        EXPECT_EQ(ctx.c.Solution.FitType, type);
    }
}

// What a failed build leaves behind.
struct Left {
    int32_t stage;
    bool solution, surface;
};

void ExpectLeft(const ScanFitContext& c, const Left& left) {
    EXPECT_EQ(c.Stage, left.stage);
    EXPECT_EQ(c.Solution.Centres != nullptr, left.solution);
    EXPECT_EQ(c.Input.Location != nullptr, left.solution);
    EXPECT_EQ(c.SurfaceMesh.Points.Location != nullptr, left.surface);
    EXPECT_EQ(c.SimplifiedMesh.Points.Location, nullptr);
    EXPECT_EQ(c.LiveTriangleCount, nullptr);
    EXPECT_EQ(c.Report.abort, 0);
}

TEST(ScanPipeline, FailuresOfTheFitStageFreeEverything) {
    struct Case {
        const char* what;
        int32_t count;
        bool points, normals;
        int32_t allowed;  // record allocations that succeed, or -1
        float inputResolution;
        const char* line;
    };
    const Scan& s = Sphere();
    for (const Case& k : {
             Case{"working list", s.count(), true, true, 0, 1.0f, "1: Memory allocation failed (f001)"},
             Case{"input list", s.count(), true, true, 2, 1.0f, "1: Memory allocation failed (f002)"},
             Case{"negative count", -5, true, true, -1, 1.0f, "1: Negative number of scan points (-5)"},
             Case{"no points", 10, false, true, -1, 1.0f, "1: Scan points or normals missing (10 points)"},
             Case{"no normals", 10, true, false, -1, 1.0f, "1: Scan points or normals missing (10 points)"},
             Case{"density", s.count(), true, true, -1, 0.0f, "1: Maximum normal length argument must be positive."},
             Case{"fit", s.count(), true, true, -1, 1.0f,
                  "1: Accuracy argument is negative or zero & per-point accuracy is NULL: 0"},
         }) {
        SCOPED_TRACE(k.what);
        Context ctx;
        ScanFitContext* c = &ctx.c;
        ScanFitParams p = SphereParams();
        p.InputResolution = k.inputResolution;
        if (std::string(k.what) == "fit") p.Accuracy = 0.0f;
        Morlith_SetParams(c, &p, 1);
        Record_FailAllocationsAfterForTesting(k.allowed);
        const int result =
            Morlith_Process(c, k.count, k.points ? s.points.data() : nullptr, k.normals ? s.normals.data() : nullptr);
        Record_FailAllocationsAfterForTesting(-1);
        EXPECT_EQ(result, 0);
        ExpectLeft(*c, Left{0, false, false});
        if (k.line != nullptr)
            EXPECT_TRUE(HostSaid(k.line)) << k.line;
        else
            EXPECT_TRUE(HostSaidAnything("1: ")) << "an error line";
        EXPECT_FALSE(HostSaid("3: Isosurfacing RBF"));
    }
}

TEST(ScanPipeline, FailuresOfTheSurfaceStageKeepTheFit) {
    struct Case {
        const char* what;
        int32_t allowed;
        float resolution, extraTrim;
        int32_t close;
        const char* line;
    };
    for (const Case& k : {
             Case{"seed list", 0, 2.5f, 0.0f, 1, "1: Memory allocation failed (i001)"},
             Case{"surfacing", -1, 0.0f, 1.0f, 1, "1: Resolution argument is negative or zero: 0"},
             Case{"distance trim", -1, 2.0f, -2.0f, 2, "1: Trim distance must be positive"},
             Case{"boundary trim", -1, 2.0f, -2.0f, 3, "1: Trim distance must be positive"},
         }) {
        SCOPED_TRACE(k.what);
        Context ctx;
        ScanFitContext* c = &ctx.c;
        CopyBuilt(Surfaced(), &ctx);
        const Solution3 before = Surfaced().Solution;
        ScanFitParams p = c->Params;
        p.Resolution = k.resolution;
        p.ExtraTrim = k.extraTrim;
        p.Close = k.close;
        Morlith_SetParams(c, &p, 0);
        ASSERT_EQ(c->Stage, 1);
        Record_FailAllocationsAfterForTesting(k.allowed);
        const int result = Morlith_Process(c, 0, nullptr, nullptr);
        Record_FailAllocationsAfterForTesting(-1);
        EXPECT_EQ(result, 0);
        ExpectLeft(*c, Left{1, true, false});
        EXPECT_TRUE(SameSolution(c->Solution, before));
        EXPECT_TRUE(HostSaid(k.line)) << k.line;

        // The retry with the same parameters surfaces again: a failed trim
        // never leaves an untrimmed surface to be returned as the result.
        HostLines().clear();
        Morlith_SetParams(c, &p, 0);
        EXPECT_EQ(Morlith_Process(c, 0, nullptr, nullptr), k.allowed >= 0 ? 1 : 0);
        EXPECT_TRUE(HostSaid("3: Isosurfacing RBF"));
        if (k.allowed >= 0) {
            EXPECT_EQ(c->Stage, 2);
            EXPECT_EQ(c->OutputMesh, &c->SurfaceMesh);
        }
    }
}

TEST(ScanPipeline, FailuresOfTheSimplificationLeaveTheSurfaceAsItWas) {
    struct Case {
        const char* what;
        int32_t allowed;
        float angle;
        const char* line;
    };
    for (const Case& k : {
             Case{"moved points", 0, 0.0f, nullptr},
             Case{"saved centres", 1, 0.0f, "1: Memory allocation failed (s001)"},
             Case{"simplification", -1, 95.0f, "1: Minimum enclosed angle limit must be < 90 and > 0"},
         }) {
        SCOPED_TRACE(k.what);
        Context ctx;
        ScanFitContext* c = &ctx.c;
        CopyBuilt(Surfaced(), &ctx);
        ScanFitParams p = c->Params;
        p.ViewMatrix[0] = p.ViewMatrix[5] = 0.0f;
        p.ViewMatrix[1] = 1.0f;
        p.ViewMatrix[4] = -1.0f;
        p.ViewMatrix[14] = 7.0f;
        Morlith_SetParams(c, &p, 0);
        ASSERT_EQ(ctx.Build(p, Sphere()), 1);
        ASSERT_EQ(c->Stage, 2);
        Mesh3 surface{};
        ASSERT_EQ(Mesh3_Copy(&surface, &c->SurfaceMesh, 0), 0);
        Solution3 solution{};
        ASSERT_EQ(Solution3_Copy(&solution, &c->Solution), 0);

        p.DoSimplify = 1;
        p.SimpNFaces = c->SurfaceMesh.Faces.TriCount / 2;
        p.SimpAngle = k.angle;
        Morlith_SetParams(c, &p, 0);
        HostLines().clear();
        Record_FailAllocationsAfterForTesting(k.allowed);
        const int result = Morlith_Process(c, 0, nullptr, nullptr);
        Record_FailAllocationsAfterForTesting(-1);
        EXPECT_EQ(result, 0);
        ExpectLeft(*c, Left{2, true, true});
        EXPECT_EQ(c->OutputMesh, &c->SurfaceMesh);
        EXPECT_TRUE(SameMesh(c->SurfaceMesh, surface));
        EXPECT_TRUE(SameSolution(c->Solution, solution));
        if (k.line != nullptr)
            EXPECT_TRUE(HostSaid(k.line)) << k.line;
        else
            EXPECT_TRUE(HostLines().empty());

        // With simplification off again the held surface is the result.
        p.DoSimplify = 0;
        Morlith_SetParams(c, &p, 0);
        EXPECT_EQ(Morlith_Process(c, 0, nullptr, nullptr), 1);
        EXPECT_TRUE(SameMesh(*c->OutputMesh, surface));
        Mesh3_Free(&surface);
        Solution3_Free(&solution);
    }
}

// The host function of the cancel test: the user's cancel arrives as soon
// as the isosurfacing has begun.
ScanFitContext* g_cancelled = nullptr;
int CancelWhenSurfacing(int32_t level, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    scan_fixture::CollectHostLine(level, format, copy);
    va_end(copy);
    if (g_cancelled != nullptr && HostLines().back() == "3: Isosurfacing RBF") {
        EXPECT_NE(g_cancelled->LiveTriangleCount, nullptr);
        g_cancelled->Report.abort = 1;
    }
    return 0;
}

TEST(ScanPipeline, CancelDuringSurfacingKeepsTheFit) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    Morlith_SetFuncs(c, &CancelWhenSurfacing);
    g_cancelled = c;
    EXPECT_EQ(ctx.Build(SphereParams(), Sphere()), 0);
    g_cancelled = nullptr;
    ExpectLeft(*c, Left{1, true, false});
    EXPECT_TRUE(HostSaid("3: Finished fitting RBF"));
    EXPECT_TRUE(HostSaidAnything("1: Isosurfacing aborted by user"));

    HostLines().clear();
    ASSERT_EQ(ctx.Build(SphereParams(), Sphere()), 1);
    EXPECT_FALSE(HostSaid("3: Fitting RBF"));
    EXPECT_TRUE(HostSaid("3: Finished isosurfacing RBF"));
    EXPECT_EQ(c->Stage, 2);
}

// Distance of a point from the zero set of the solution as the pipeline
// evaluates it (smoothed by the resolution), |s| / |grad s|.
double SurfaceDistance(const Solution3& solution, double resolution, const double* p) {
    EvalAttributes eval;
    SetGridAttrDefaults(&eval);
    eval.LowPassFilterWidth = resolution;
    PointList3 one{};
    PointList3_Create(&one, 1, 1, 0, 0, 0, 1);
    std::memcpy(one.Location, p, 3 * sizeof(double));
    one.Count = 1;
    EXPECT_EQ(Selvane_PointEval3(&solution, &eval, nullptr, &one, -1, 1, nullptr), 0);
    const double* g = one.Gradient;
    const double d = std::fabs(one.Value[0]) / std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    PointList3_Free(&one);
    return d;
}

TEST(ScanPipeline, SimplifiesInARotatedAndShiftedView) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    CopyBuilt(Surfaced(), &ctx);
    ScanFitParams p = c->Params;
    const Mat4d view = scan_fixture::TurnedView(37.0, 12.5, -4.0, 30.0);
    for (int k = 0; k < 16; ++k) p.ViewMatrix[k] = static_cast<float>(view.m[k]);
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    Solution3 solution{};
    ASSERT_EQ(Solution3_Copy(&solution, &c->Solution), 0);

    p.DoSimplify = 1;
    p.SimpError = 0.05f;
    ASSERT_EQ(ctx.Build(p, Sphere()), 1);
    ASSERT_EQ(c->Stage, 3);
    const Mesh3& simplified = c->SimplifiedMesh;
    EXPECT_LT(simplified.Faces.TriCount, c->SurfaceMesh.Faces.TriCount / 2);
    EXPECT_TRUE(SameSolution(c->Solution, solution));
    double worst = 0.0;
    for (int32_t i = 0; i < simplified.Points.Count; ++i)
        worst = std::fmax(worst, SurfaceDistance(solution, p.Resolution, &simplified.Points.Location[3 * i]));
    EXPECT_LE(worst, 0.05);
    Solution3_Free(&solution);
}

}  // namespace
