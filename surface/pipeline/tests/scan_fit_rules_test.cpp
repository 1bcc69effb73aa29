// The context's bookkeeping without a build: the restart stage of every
// parameter change, what each stage frees, where the output points, which
// parameters are copied, the input list, the seeds and the transforms.
#include <gtest/gtest.h>

#include <cstring>

#include "surface/frame/geometry_coarse.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/pipeline/tests/scan_fixture.h"

namespace {

using scan_fixture::Context;
using scan_fixture::HostLines;

// A context as after a build that reached `stage`: every record holds a
// block, so that a test sees which ones were freed.
void Fill(ScanFitContext* c, int32_t stage) {
    ASSERT_EQ(PointList3_Create(&c->Input, 4, 0, 0, 0, 0, 0), 0);
    c->Input.Count = 4;
    ASSERT_EQ(Solution3_Create(&c->Solution, 4, 0), 0);
    ASSERT_EQ(Mesh3_Create(&c->SurfaceMesh, 4, 2, 0), 0);
    ASSERT_EQ(Mesh3_Create(&c->SimplifiedMesh, 4, 2, 0), 0);
    c->Stage = stage;
    c->OutputMesh = stage == ScanFitStage_Done ? &c->SimplifiedMesh : &c->SurfaceMesh;
}

// The held parameters: simplification on, with targets.
ScanFitParams Held(int32_t doSimplify) {
    ScanFitParams p = scan_fixture::Params(1.0, 0.1f, 1.0f, 1);
    p.ViewOrigin[0] = 3.0f;
    p.InputFilter = 0.5f;
    p.Limit = 4;
    p.ExtraTrim = 0.5f;
    p.DoSimplify = doSimplify;
    p.SimpError = 0.05f;
    p.SimpAngle = 5.0f;
    p.SimpNFaces = 1000;
    p.SimpNPoints = 0;
    p.FaceStyle = 0;
    return p;
}

bool IsIntField(int field) {
    return field == 22 || field == 25 || field == 27 || field == 28 || field == 31 || field == 32 || field == 33;
}

// The parameters with field `field` alone changed.
ScanFitParams ChangeField(const ScanFitParams& held, int field) {
    uint32_t words[34];
    std::memcpy(words, &held, sizeof words);
    if (IsIntField(field)) {
        words[field] ^= 1u;
    } else {
        float f;
        std::memcpy(&f, &words[field], sizeof f);
        f += 1.0f;
        std::memcpy(&words[field], &f, sizeof f);
    }
    ScanFitParams next;
    std::memcpy(&next, words, sizeof next);
    return next;
}

// The stage a change of the field alone asks for.
int32_t ExpectedRestart(int field, bool simplifyOn) {
    if (field >= 19 && field <= 23) return 0;
    if (field <= 18 || field == 24 || field == 26 || field == 27 || field == 33) return 1;
    if (field == 25) return 3;
    if (field == 28) return 2;
    return simplifyOn ? 2 : 3;  // 29 to 32
}

TEST(ScanFitSetParams, EachFieldAloneFromStagesThreeTwoAndOne) {
    for (int32_t simplify : {1, 0}) {
        for (int32_t from : {3, 2, 1}) {
            for (int field = 0; field < 34; ++field) {
                SCOPED_TRACE("DoSimplify " + std::to_string(simplify) + ", stage " + std::to_string(from) + ", field " +
                             std::to_string(field));
                Context ctx;
                ScanFitContext* c = &ctx.c;
                c->Params = Held(simplify);
                Fill(c, from);
                Mesh3* before = c->OutputMesh;
                const ScanFitParams next = ChangeField(c->Params, field);
                Morlith_SetParams(c, &next, 0);

                const int32_t restart = ExpectedRestart(field, simplify != 0);
                const int32_t stage = restart < from ? restart : from;
                EXPECT_EQ(c->Stage, stage);
                EXPECT_EQ(c->Solution.Centres == nullptr, stage == 0);
                EXPECT_EQ(c->Input.Location == nullptr, stage == 0);
                EXPECT_EQ(c->SurfaceMesh.Points.Location == nullptr, stage <= 1);
                EXPECT_EQ(c->SimplifiedMesh.Points.Location == nullptr, stage <= 2);
                EXPECT_EQ(c->OutputMesh, stage == 2 ? &c->SurfaceMesh : before);

                // Fields 29 to 32 are taken only with the new DoSimplify on.
                ScanFitParams expected = next;
                if (next.DoSimplify == 0) {
                    const ScanFitParams held = Held(simplify);
                    expected.SimpError = held.SimpError;
                    expected.SimpAngle = held.SimpAngle;
                    expected.SimpNFaces = held.SimpNFaces;
                    expected.SimpNPoints = held.SimpNPoints;
                }
                EXPECT_EQ(std::memcmp(&c->Params, &expected, sizeof expected), 0);
            }
        }
    }
}

TEST(ScanFitSetParams, ForceRefitsAndOnlyLowers) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    c->Params = Held(1);
    Fill(c, 3);
    const ScanFitParams same = c->Params;
    Morlith_SetParams(c, &same, 1);
    EXPECT_EQ(c->Stage, 0);
    EXPECT_EQ(c->Solution.Centres, nullptr);
    EXPECT_EQ(c->Input.Location, nullptr);
    // Nothing changed raises no stage.
    Morlith_SetParams(c, &same, 0);
    EXPECT_EQ(c->Stage, 0);
}

TEST(ScanFitSetParams, NegativeZeroIsTheSameFloatButTheViewIsComparedByBytes) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    c->Params = Held(1);
    Fill(c, 3);
    ScanFitParams next = c->Params;
    next.ExtraTrim = 0.0f;
    c->Params.ExtraTrim = -0.0f;
    Morlith_SetParams(c, &next, 0);
    EXPECT_EQ(c->Stage, 3);
    next.ViewMatrix[1] = -0.0f;
    Morlith_SetParams(c, &next, 0);
    EXPECT_EQ(c->Stage, 1);
}

TEST(ScanFitFreeStageData, FreesByStage) {
    for (int32_t stage : {0, 1, 2, 3, 4, -1}) {
        SCOPED_TRACE(stage);
        Context ctx;
        ScanFitContext* c = &ctx.c;
        Fill(c, 3);
        c->Stage = stage;
        ScanFit_FreeStageData(c);
        const bool known = stage >= 0 && stage <= 2;
        EXPECT_EQ(c->Solution.Centres == nullptr, stage == 0);
        EXPECT_EQ(c->Input.Location == nullptr, stage == 0);
        EXPECT_EQ(c->SurfaceMesh.Points.Location == nullptr, known && stage <= 1);
        EXPECT_EQ(c->SimplifiedMesh.Points.Location == nullptr, known);
    }
}

TEST(ScanFitFreeData, FreesEverythingAndRestartsAtTheFit) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    Fill(c, 3);
    Morlith_FreeData(c);
    EXPECT_EQ(c->Stage, 0);
    EXPECT_EQ(c->Solution.Centres, nullptr);
    EXPECT_EQ(c->Input.Location, nullptr);
    EXPECT_EQ(c->SurfaceMesh.Points.Location, nullptr);
    EXPECT_EQ(c->SimplifiedMesh.Points.Location, nullptr);
}

TEST(ScanFitSetInput, ReplacesTheHeldListAndRefusesBadInput) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    c->Stage = 1;
    const float first[6] = {1.5f, 2.0f, 3.0f, 4.0f, 5.0f, 6.25f};
    Morlith_SetInput(c, 2, first);
    const float second[9] = {7.0f, 8.0f, 9.0f, 1.0f, 2.0f, 3.0f, 0.1f, 0.2f, 0.3f};
    // The list of the first call is freed (the leak check of the sanitizer
    // build would report it otherwise).
    EXPECT_EQ(Morlith_SetInput(c, 3, second), 1);
    ASSERT_EQ(c->Input.Count, 3);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(c->Input.Location[k], static_cast<double>(second[k]));
    EXPECT_EQ(c->Stage, 1);

    const double* held = c->Input.Location;
    EXPECT_EQ(Morlith_SetInput(c, -1, second), 0);
    EXPECT_EQ(Morlith_SetInput(c, 4, nullptr), 0);
    EXPECT_EQ(c->Input.Location, held);
    EXPECT_EQ(c->Input.Count, 3);

    EXPECT_EQ(Morlith_SetInput(c, 0, nullptr), 1);
    EXPECT_EQ(c->Input.Count, 0);
}

TEST(ScanFitSetFuncs, StoresTheFunctionAndMessagesReachIt) {
    ScanFitContext c{};
    HostLines().clear();
    Morlith_SetFuncs(&c, &scan_fixture::CollectHostLine);
    EXPECT_EQ(c.HostMessage, &scan_fixture::CollectHostLine);
    c.Report.user = &c;
    c.Report.callback = &ScanFit_ForwardMessage;
    c.Report.maximumLevel = 3;
    Reporter_Error(&c.Report, "lost %d of %s", 3, "points");
    ScanFit_HostMessage(&c, 1, "Memory allocation failed (%s)", "f001");
    Reporter_Info(&c.Report, "not passed");
    EXPECT_EQ(HostLines(), (std::vector<std::string>{"1: lost 3 of points", "1: Memory allocation failed (f001)"}));
    // Without a host function nothing is called.
    Morlith_SetFuncs(&c, nullptr);
    EXPECT_EQ(ScanFit_HostMessage(&c, 1, "dropped"), 0);
    EXPECT_EQ(Reporter_Error(&c.Report, "dropped"), 0);
    EXPECT_EQ(HostLines().size(), 2u);
}

TEST(ScanFitProcess, NothingToDoInstallsTheReporterOnly) {
    for (int32_t stage : {3, 4, -1}) {
        SCOPED_TRACE(stage);
        Context ctx;
        ScanFitContext* c = &ctx.c;
        Fill(c, 3);
        c->Stage = stage;
        c->Params = Held(1);
        EXPECT_EQ(Morlith_Process(c, 0, nullptr, nullptr), 1);
        EXPECT_EQ(c->Report.callback, &ScanFit_ForwardMessage);
        EXPECT_EQ(c->Report.user, c);
        EXPECT_EQ(c->Report.maximumLevel, 3);
        EXPECT_EQ(c->Report.operation, 0);
        EXPECT_TRUE(HostLines().empty());
        EXPECT_NE(c->SimplifiedMesh.Points.Location, nullptr);
        EXPECT_EQ(c->Stage, stage);
    }
}

TEST(ScanFitProcess, SimplificationTurnedOffReturnsTheSurfaceAtOnce) {
    Context ctx;
    ScanFitContext* c = &ctx.c;
    c->Params = Held(1);
    Fill(c, 3);
    ScanFitParams off = c->Params;
    off.DoSimplify = 0;
    Morlith_SetParams(c, &off, 0);
    EXPECT_EQ(c->Stage, 2);
    EXPECT_EQ(c->OutputMesh, &c->SurfaceMesh);
    EXPECT_EQ(Morlith_Process(c, 0, nullptr, nullptr), 1);
    EXPECT_TRUE(HostLines().empty());
    EXPECT_EQ(c->Stage, 2);
    EXPECT_NE(c->SurfaceMesh.Points.Location, nullptr);
}

TEST(ScanFitSeeds, StrideAndCount) {
    struct Case {
        int32_t points, stride, seeds;
    };
    for (const Case& k : {Case{2500, 3, 834}, Case{1000, 1, 1000}, Case{1001, 2, 501}, Case{1, 1, 1}, Case{0, 1, 0},
                          Case{100000, 100, 1000}}) {
        SCOPED_TRACE(k.points);
        PointList3 input{};
        ASSERT_EQ(PointList3_Create(&input, k.points, 0, 0, 0, 0, 0), 0);
        for (int32_t i = 0; i < 3 * k.points; ++i) input.Location[i] = i;
        input.Count = k.points;
        PointList3 seeds{};
        ASSERT_EQ(ScanFit_MakeSeeds(&input, &seeds), 0);
        EXPECT_EQ(seeds.Capacity, 1000);
        ASSERT_EQ(seeds.Count, k.seeds);
        for (int32_t s = 0; s < seeds.Count; ++s)
            ASSERT_EQ(seeds.Location[3 * s + 2], input.Location[3 * (s * k.stride) + 2]);
        PointList3_Free(&seeds);
        PointList3_Free(&input);
    }
}

// A rotation about an oblique axis, then a shift.
Mat4d Turned() { return scan_fixture::TurnedView(37.0, 12.5, -4.0, 30.0); }

TEST(ScanFitGeometry, RigidInverseUndoesTheTransform) {
    const Mat4d m = Turned();
    Mat4d inverse;
    ScanFit_InverseTransform(&m, &inverse);
    double p[6] = {1.0, -2.0, 3.0, 40.0, 5.0, -6.0};
    const double q[6] = {1.0, -2.0, 3.0, 40.0, 5.0, -6.0};
    ScanFit_TransformPoints(&m, 2, p);
    ScanFit_TransformPoints(&inverse, 2, p);
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(p[k], q[k], 1e-12);
    // The translation of the inverse is -t times the transposed rotation.
    for (int j = 0; j < 3; ++j) {
        double t = 0.0;
        for (int i = 0; i < 3; ++i) t -= m.m[12 + i] * m.m[4 * j + i];
        EXPECT_NEAR(inverse.m[12 + j], t, 1e-12);
    }
    EXPECT_EQ(inverse.m[3], 0.0);
    EXPECT_EQ(inverse.m[15], 1.0);
}

TEST(ScanFitGeometry, RegionIsTheViewBoxWidenedByTheMargin) {
    PointList3 input{};
    ASSERT_EQ(PointList3_Create(&input, 2, 0, 0, 0, 0, 0), 0);
    const double xyz[6] = {1.0, 2.0, 3.0, -4.0, 5.0, 0.5};
    std::memcpy(input.Location, xyz, sizeof xyz);
    input.Count = 2;
    Mat4d view;
    geom_coarse::Mat4_Identity(&view);
    view.m[0] = view.m[5] = 0.0;
    view.m[1] = 1.0;   // x -> y
    view.m[4] = -1.0;  // y -> -x
    view.m[12] = 10.0;
    double lo[3], hi[3];
    ScanFit_Region(&input, &view, 0.25, lo, hi);
    // The points become (8, 1, 3) and (5, -4, 0.5).
    EXPECT_EQ(lo[0], 4.75);
    EXPECT_EQ(hi[0], 8.25);
    EXPECT_EQ(lo[1], -4.25);
    EXPECT_EQ(hi[1], 1.25);
    EXPECT_EQ(lo[2], 0.25);
    EXPECT_EQ(hi[2], 3.25);
    PointList3_Free(&input);
}

TEST(ScanFitGeometry, MinMaxAndCopies) {
    const double a[3] = {1.0, -2.0, 3.0}, b[3] = {0.0, 5.0, 3.0};
    double lo[3], hi[3];
    Vec3_MinOf(a, b, lo);
    Vec3_MaxOf(a, b, hi);
    EXPECT_EQ(lo[0], 0.0);
    EXPECT_EQ(lo[1], -2.0);
    EXPECT_EQ(hi[1], 5.0);
    EXPECT_EQ(hi[2], 3.0);
    double copy[3];
    CopyWords6(a, copy);
    EXPECT_EQ(std::memcmp(copy, a, sizeof a), 0);
    CopyWords6(copy, copy);
    EXPECT_EQ(std::memcmp(copy, a, sizeof a), 0);
    const Mat4d m = Turned();
    Mat4d n;
    Mat4_Copy(&m, &n);
    Mat4_Copy(&n, &n);
    EXPECT_EQ(std::memcmp(&m, &n, sizeof m), 0);
}

}  // namespace
