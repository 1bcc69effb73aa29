// The RBF surface driver against a stand-in for Morlith.dll's five exports:
// the binding, the parameter block, the refit and memory rules, the stylus
// input, and every way a build ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/scan/basic_surface.h"
#include "app/scan/rbf_surface.h"
#include "app/scan/surf_arena.h"
#include "app/scan/tests/cloud_scan.h"

namespace {

using surface_test::CloudScan;
using surface_test::DefaultSurfaceSettings;
using surface_test::GridPoints;

// ---- The stand-in library --------------------------------------------------

int g_loads = 0;
int g_missing = -1;  // the export the stand-in lacks, -1 none

enum class Run { Mesh, EmptyMesh, Fail, CancelInLibrary, AbortAfter, FailTransferMemory, SlowWithProgress };
Run g_run = Run::Mesh;
int32_t g_force = -1;
int32_t g_inputCount = -1;
ScanFitParams g_params{};
HostMessageFunction g_host = nullptr;
Mesh3 g_mesh{};
std::vector<double> g_locations;
std::vector<int32_t> g_tris;
const SurfaceRecord* g_source = nullptr;  // the result mesh is this surface's mesh

int MORLITH_CALL StandInSetFuncs(ScanFitContext* c, HostMessageFunction f) {
    c->HostMessage = f;
    g_host = f;
    return 1;
}
int MORLITH_CALL StandInSetParams(ScanFitContext* c, const ScanFitParams* p, int32_t force) {
    c->Params = *p;
    g_params = *p;
    g_force = force;
    return 1;
}
int MORLITH_CALL StandInSetInput(ScanFitContext*, int32_t, const float*) { return 1; }
int MORLITH_CALL StandInFreeData(ScanFitContext*) { return 1; }

void LibraryMessage(const char* text, ...) {
    va_list args;
    va_start(args, text);
    g_host(1, text, args);
    va_end(args);
}

void MakeOutputMesh(ScanFitContext* c) {
    g_locations.clear();
    g_tris.clear();
    const SurfaceRecord& s = *g_source;
    for (int32_t i = 0; i < s.NumPoints; ++i) {
        g_locations.push_back(s.Points[i].x);
        g_locations.push_back(s.Points[i].y);
        g_locations.push_back(s.Points[i].z);
    }
    g_tris.assign(s.Facets, s.Facets + 3 * s.NumFacets);
    std::memset(&g_mesh, 0, sizeof g_mesh);
    g_mesh.Points.Location = g_locations.data();
    g_mesh.Points.Count = g_run == Run::EmptyMesh ? 0 : s.NumPoints;
    g_mesh.Faces.Tri = g_tris.data();
    g_mesh.Faces.TriCount = g_run == Run::EmptyMesh ? 0 : s.NumFacets;
    c->OutputMesh = &g_mesh;
}

int MORLITH_CALL StandInProcess(ScanFitContext* c, int32_t count, const float*, const float*) {
    g_inputCount = count;
    switch (g_run) {
        case Run::Fail:
            LibraryMessage("Fit failed");
            return 0;
        case Run::CancelInLibrary:
            c->Report.abort = 1;
            LibraryMessage("Aborted");
            return 0;
        case Run::AbortAfter:  // the user's cancel arrives as the library finishes
            c->Report.abort = 1;
            break;
        case Run::FailTransferMemory:
            SurfMemory_FailAfter(1);
            break;
        case Run::SlowWithProgress: {
            // As the library does, while the host's progress thread reads.
            static int32_t live = 77;
            double half = 0.5;
            __atomic_store(&c->Report.progress, &half, __ATOMIC_RELAXED);
            __atomic_store_n(&c->LiveTriangleCount, &live, __ATOMIC_RELAXED);
            std::this_thread::sleep_for(std::chrono::milliseconds(350));
            __atomic_store_n(&c->LiveTriangleCount, static_cast<int32_t*>(nullptr), __ATOMIC_RELAXED);
            break;
        }
        default:
            break;
    }
    MakeOutputMesh(c);
    return 1;
}

bool StandInLoader(RbfLibExports& found) {
    ++g_loads;
    found = RbfLibExports{StandInSetFuncs, StandInSetParams, StandInProcess, StandInFreeData, StandInSetInput};
    if (g_missing == 0) found.SetFuncs = nullptr;
    if (g_missing == 1) found.SetParams = nullptr;
    if (g_missing == 2) found.Process = nullptr;
    if (g_missing == 3) found.FreeData = nullptr;
    if (g_missing == 4) found.SetInput = nullptr;
    return true;
}

bool NoLibraryLoader(RbfLibExports&) {
    ++g_loads;
    return false;
}

bool NoneBound() {
    const RbfLibExports& e = RbfLib_Exports();
    return !e.SetFuncs && !e.SetParams && !e.Process && !e.FreeData && !e.SetInput;
}

TEST(RbfLibLoad, MissingLibraryFailsOnceAndIsNotTriedAgain) {
    g_loads = 0;
    RbfLib_SetLoader(NoLibraryLoader);
    EXPECT_EQ(RbfLib_Load(), 0);
    EXPECT_EQ(RbfLib_Load(), 0);
    EXPECT_EQ(g_loads, 1);
    EXPECT_TRUE(NoneBound());
    RbfLib_SetLoader(nullptr);
}

TEST(RbfLibLoad, AnyMissingExportLeavesNoneBound) {
    for (int missing = 0; missing < 5; ++missing) {
        SCOPED_TRACE(missing);
        g_missing = missing;
        RbfLib_SetLoader(StandInLoader);
        EXPECT_EQ(RbfLib_Load(), 0);
        EXPECT_TRUE(NoneBound());
    }
    g_missing = -1;
    g_loads = 0;
    RbfLib_SetLoader(StandInLoader);
    EXPECT_EQ(RbfLib_Load(), 1);
    EXPECT_EQ(RbfLib_Load(), 1);
    EXPECT_EQ(g_loads, 1);
    EXPECT_EQ(RbfLib_Exports().Process, &StandInProcess);
    RbfLib_SetLoader(nullptr);
}

// ---- Parameters, refit and memory ------------------------------------------

TEST(RbfSurfParams, TargetsAndGatesFillTheBlock) {
    struct Case {
        int32_t target, simplifyFacets, doLimit, doAngle, option;
        float error21;
        int32_t limit22;
        float error29;
        float angle30;
        int32_t faces31, points32, option33;
    };
    const Case cases[] = {
        {0, 1, 1, 1, 0, 0.3f, 4, 0.05f, 20.0f, 0, 0, 0},
        {1, 0, 0, 0, 1, 0.0f, 0, 1.0e10f, 0.0f, 5000, 0, 1},
        {2, 1, 0, 1, 7, 0.3f, 0, 1.0e10f, 20.0f, 0, 900, 1},
        {3, 0, 1, 0, 0, 0.0f, 4, 0.0f, 0.0f, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        GeneralSettings g = DefaultSurfaceSettings();
        ViewSettings v{};
        for (int i = 0; i < 16; ++i) v.CoordinateSystem[i] = static_cast<float>(i + 1);
        v.ViewOrigin = Vec3{1.0f, 2.0f, 3.0f};
        RbfSurfParams& r = g.RbfParams;
        r.RbfAccuracy = 0.25f;
        r.RbfResolution = 1.5f;
        r.RbfExtraTrim = 0.75f;
        r.RbfTrimType = 2;
        r.RbfSimplify = 1;
        r.RbfSimpTarget = c.target;
        r.RbfSimpError = 0.05f;
        r.RbfSimpNFaces = 5000;
        r.RbfSimpNPoints = 900;
        r.RbfSimpDoAngle = c.doAngle;
        r.RbfSimpAngle = 20.0f;
        r.IsosurfaceOption = c.option;
        SurfaceRecord basic{};
        basic.BasicParams = BasicSurfParams{1, 0.8f, 1.1f, c.simplifyFacets, 0.3f, c.doLimit, 4};
        ScanFitParams p;
        std::memset(&p, 0xAB, sizeof p);
        RbfSurf_MakeParams(p, g, v, basic, 640);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(p.ViewMatrix[i], i + 1.0f);
        EXPECT_EQ(p.ViewOrigin[2], 3.0f);
        EXPECT_EQ(p.InputFilter, 1.1f);
        EXPECT_EQ(p.InputResolution, 0.8f);
        EXPECT_EQ(p.InputSimplifyError, c.error21);
        EXPECT_EQ(p.Limit, c.limit22);
        EXPECT_EQ(p.Accuracy, 0.25f);
        EXPECT_EQ(p.Resolution, 1.5f);
        EXPECT_EQ(p.MemoryToUse, 640);
        EXPECT_EQ(p.ExtraTrim, 0.75f);
        EXPECT_EQ(p.Close, 2);
        EXPECT_EQ(p.DoSimplify, 1);
        EXPECT_EQ(p.SimpError, c.error29);
        EXPECT_EQ(p.SimpAngle, c.angle30);
        EXPECT_EQ(p.SimpNFaces, c.faces31);
        EXPECT_EQ(p.SimpNPoints, c.points32);
        EXPECT_EQ(p.FaceStyle, c.option33);
    }
}

TEST(RbfSurfRefit, OnlyAnUnchangedBasisKeepsTheFit) {
    enum Change { None, NoBasicPoints, Inversion, BasicNewer, StylusOption, Resolution };
    const std::pair<Change, int32_t> cases[] = {{None, 0},       {NoBasicPoints, 1}, {Inversion, 1},
                                                {BasicNewer, 1}, {StylusOption, 1},  {Resolution, 0}};
    for (const auto& [change, refit] : cases) {
        SCOPED_TRACE(change);
        GeneralSettings g = DefaultSurfaceSettings();
        SurfaceRecord basic{}, rbf{};
        basic.NumPoints = change == NoBasicPoints ? 0 : 10;
        basic.ChangeTime = change == BasicNewer ? 3.0 : 1.0;
        rbf.ChangeTime = 2.0;
        rbf.RbfParams = g.RbfParams;
        rbf.Inverted = change == Inversion ? 1 : 0;
        if (change == StylusOption) g.RbfParams.RbfUseStylusPoints ^= 1;
        if (change == Resolution) g.RbfParams.RbfResolution *= 2.0f;
        EXPECT_EQ(RbfSurf_RefitNeeded(g, rbf, basic), refit);
    }
}

std::vector<std::pair<int32_t, std::string>> g_messages;

int MORLITH_CALL Collect(int32_t level, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    g_messages.emplace_back(level, text);
    return 1;
}

RbfMemoryStatus g_status{};
void StatusSeam(RbfMemoryStatus& s) { s = g_status; }

TEST(RbfSurfMemory, LimitFromSettingsOrTheSystemClampedTo128To800) {
    constexpr uint32_t MB = 1u << 20;
    struct Case {
        const char* name;
        int32_t automatic, manual;
        RbfMemoryStatus status;
        int32_t limit;
        const char* message;
    };
    const Case cases[] = {
        {"manual", 0, 500, {}, 500, nullptr},
        {"manual above", 0, 900, {}, 800, "Using maximum memory limit of 800 MB"},
        {"4 GB, 3 GB virtual",
         1,
         0,
         {0xFFFFFFFFu, 2000 * MB, 0xFFFFFFFFu, 3071 * MB},
         800,
         "Using maximum memory limit of 800 MB"},
        {"small machine",
         1,
         0,
         {140 * MB, 100 * MB, 0xFFFFFFFFu, 2000 * MB},
         128,
         "Using minimum memory limit of 128 MB"},
        {"virtual bound", 1, 0, {2000 * MB, 1000 * MB, 0xFFFFFFFFu, 600 * MB}, 510, nullptr},
        // The page file nearly gone: 0.8 x (100 + 20) MB, clamped up.
        {"page file low", 1, 0, {2000 * MB, 100 * MB, 20 * MB, 2000 * MB}, 128, "Using minimum memory limit of 128 MB"},
        // Little page file but plenty of physical memory: no page-file bound.
        {"page file low, memory free", 1, 0, {700 * MB, 600 * MB, 20 * MB, 2000 * MB}, 595, nullptr},
    };
    RbfSurf_SetMemoryStatusSource(StatusSeam);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GeneralSettings g = DefaultSurfaceSettings();
        g.RbfParams.RbfAutoMemoryLimit = c.automatic;
        g.RbfParams.RbfMemoryToUse = c.manual;
        g_status = c.status;
        g_messages.clear();
        EXPECT_EQ(RbfSurf_MemoryLimitMb(g, Collect), c.limit);
        if (c.message) {
            ASSERT_EQ(g_messages.size(), 1u);
            EXPECT_EQ(g_messages[0], std::make_pair(3, std::string(c.message)));
        } else {
            EXPECT_TRUE(g_messages.empty());
        }
    }
    RbfSurf_SetMemoryStatusSource(nullptr);
}

// ---- Stylus input ------------------------------------------------------------

StylusItem ItemAt(float x, uint32_t flags, int32_t group) {
    StylusItem item{};
    item.Flags = flags;
    item.Pose[0] = item.Pose[5] = item.Pose[10] = item.Pose[15] = 1.0f;
    item.Pose[12] = x;
    item.BasicPose = item.ScanPose = item.FourthPose = item.Pose;
    item.BasicPose[13] = 5.0f;
    item.ScanPose[13] = 7.0f;
    item.FourthPose[13] = 9.0f;
    item.Group = group;
    return item;
}

TEST(RbfSurfStylusInput, TakesTheVisibleItemsInForceBehindTheBasicPoints) {
    std::vector<StylusItem> items = {ItemAt(1, 0, 0),
                                     ItemAt(2, kStylusHidden, 1),
                                     ItemAt(3, kStylusLineHead, 2),
                                     ItemAt(4, kStylusLineMember, 2),
                                     ItemAt(5, kStylusOnBasic, 3),
                                     ItemAt(6, 0, 4)};  // the last group is undone
    StylusItemList list{};
    list.Items = items.data();
    list.TotalCount = list.Capacity = 6;
    list.VisibleCount = 5;
    SurfaceRecord basic{};
    basic.NumPoints = basic.MaxPoints = 2;
    basic.Points = static_cast<Vec3*>(std::malloc(2 * sizeof(Vec3)));
    basic.PointNormals = static_cast<Vec3*>(std::malloc(2 * sizeof(Vec3)));
    basic.Points[0] = basic.Points[1] = Vec3{9, 9, 9};
    int32_t added = -1;
    ASSERT_EQ(RbfSurf_StylusInput(list, basic, added), 1);
    ASSERT_EQ(added, 3);
    EXPECT_EQ(basic.NumPoints, 2);
    EXPECT_EQ(basic.Points[1].x, 9.0f);
    // Item 5 is placed on the basic surface, which is not cast-inverted: the
    // fit takes the scan placement, which it lacks.
    const float x[] = {1, 4, 5}, y[] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(basic.Points[2 + i].x, x[i]);
        EXPECT_EQ(basic.Points[2 + i].y, y[i]);
        EXPECT_EQ(basic.PointNormals[2 + i].z, 0.0f);
    }
    // Nothing in force: nothing added.
    list.VisibleCount = 0;
    ASSERT_EQ(RbfSurf_StylusInput(list, basic, added), 1);
    EXPECT_EQ(added, 0);
    Surface_Free(basic);
}

// Which placement of an item the fit takes, by the basic surface's cast
// inversion: the scan placement for a surface as built; the placement on the
// surface, else the inverted pose, else the pose for an inverted one.
TEST(RbfSurfStylusInput, ThePlacementFollowsTheBasicSurfacesInversion) {
    const struct {
        uint32_t flags;
        int32_t inverted;
        float y;
    } cases[] = {
        {0, 0, 0},
        {kStylusOnScan, 0, 7},
        {kStylusOnBasic, 0, 0},
        {kStylusOnScan | kStylusOnBasic, 0, 7},
        {kStylusOnBasic, 1, 5},
        {kStylusOnScan | kStylusInverted, 1, 9},
        {kStylusOnBasic | kStylusInverted, 1, 5},
        {kStylusOnScan, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.inverted);
        std::vector<StylusItem> items = {ItemAt(1, c.flags, 0)};
        StylusItemList list{};
        list.Items = items.data();
        list.TotalCount = list.Capacity = list.VisibleCount = 1;
        SurfaceRecord basic{};
        basic.Inverted = c.inverted;
        int32_t added = -1;
        ASSERT_EQ(RbfSurf_StylusInput(list, basic, added), 1);
        ASSERT_EQ(added, 1);
        EXPECT_EQ(basic.Points[0].y, c.y);
        Surface_Free(basic);
    }
}

// ---- Builds ------------------------------------------------------------------

std::vector<std::pair<double, int32_t>> g_progress;
void RecordProgress(double fraction, int32_t count) { g_progress.emplace_back(fraction, count); }

struct BuildFixture {
    CloudScan scan;
    GeneralSettings settings = DefaultSurfaceSettings();
    ViewSettings view{};
    SurfaceRecord rbf{}, basic{};
    ScanFitContext context{};

    BuildFixture() {
        scan.AddSweep(GridPoints(30, 30, 0.5f));
        g_messages.clear();
        g_progress.clear();
        g_inputCount = -1;
        g_missing = -1;
        g_run = Run::Mesh;
        RbfLib_SetLoader(StandInLoader);
    }
    ~BuildFixture() {
        Surface_Free(rbf);
        Surface_Free(basic);
        RbfLib_SetLoader(nullptr);
        RbfSurf_SetProgressThreadAllowed(true);
        SurfMemory_FailAfter(0);
    }
    void BuildBasic() { ASSERT_EQ(BasicSurf_Build(settings, scan.raw(), 3, basic, nullptr, nullptr), kBasicSurfDone); }
    int32_t Build() {
        g_source = &basic;
        return RbfSurf_Build(scan.raw(), settings, view, 3, rbf, basic, context, Collect, RecordProgress);
    }
    bool Said(int32_t level, const std::string& text) const {
        for (const auto& m : g_messages)
            if (m.first == level && m.second == text) return true;
        return false;
    }
};

TEST(RbfSurfBuild, BuildsFromTheBasicSurfaceAndCopiesTheResult) {
    BuildFixture f;
    f.BuildBasic();
    ASSERT_NE(f.basic.Greyscale, nullptr);
    std::memset(f.basic.Greyscale, 100, f.basic.NumPoints);
    f.settings.RbfParams.RbfUseStylusPoints = 1;
    f.settings.RbfParams.RbfAutoMemoryLimit = 0;
    f.settings.RbfParams.RbfMemoryToUse = 300;
    ASSERT_EQ(f.Build(), 1);
    EXPECT_TRUE(f.Said(3, "Processing 0 stylus points as extra input."));
    EXPECT_EQ(g_inputCount, f.basic.NumPoints);
    EXPECT_EQ(g_force, 1);  // the RBF surface was never built
    EXPECT_EQ(g_params.MemoryToUse, 300);
    EXPECT_EQ(f.rbf.RbfParams.RbfMemoryToUse, 300);
    ASSERT_EQ(f.rbf.NumPoints, f.basic.NumPoints);
    EXPECT_EQ(f.rbf.NumFacets, f.basic.NumFacets);
    EXPECT_GT(f.rbf.Area, 0.0f);
    EXPECT_GT(f.rbf.ChangeTime, f.basic.ChangeTime);
    EXPECT_EQ(f.rbf.Weights, nullptr);
    // The library's end, then the greyscale transfer's own fractions.
    const auto end = std::find(g_progress.begin(), g_progress.end(), std::make_pair(1.0, -1));
    ASSERT_NE(end, g_progress.end());
    EXPECT_NE(end + 1, g_progress.end());
    int32_t grey = 0;
    for (int32_t i = 0; i < f.rbf.NumPoints; ++i) grey += f.rbf.Greyscale[i] == 100;
    EXPECT_GT(grey, f.rbf.NumPoints * 9 / 10);
    EXPECT_EQ(RbfSurf_ProgressThreadsRunning(), 0);
    // Built again unchanged: the library may keep its fit.
    ASSERT_EQ(f.Build(), 1);
    EXPECT_EQ(g_force, 0);
}

TEST(RbfSurfBuild, BuildsTheBasicSurfaceFirstWhenItIsEmpty) {
    BuildFixture f;
    ASSERT_EQ(f.Build(), 1);
    EXPECT_TRUE(f.Said(3, "Processing points"));
    EXPECT_TRUE(f.Said(3, "Finished processing points"));
    EXPECT_GT(f.basic.NumPoints, 0);
    EXPECT_EQ(f.rbf.NumPoints, f.basic.NumPoints);
}

TEST(RbfSurfBuild, ProgressIsRelayedWithTheLiveFacetCount) {
    BuildFixture f;
    f.BuildBasic();
    g_run = Run::SlowWithProgress;
    ASSERT_EQ(f.Build(), 1);
    bool sawLive = false;
    for (const auto& p : g_progress) sawLive |= p == std::make_pair(0.5, 77);
    EXPECT_TRUE(sawLive);
    EXPECT_EQ(RbfSurf_ProgressThreadsRunning(), 0);
}

enum class Setup { None, NoLibrary, AbortPreset, Hidden, BasicMemory, NoThread };

struct FailureCase {
    const char* name;
    Setup setup;
    Run run;
    bool basicBuilt;
    int32_t result;
    int32_t level;
    const char* text;  // null: the library's own message only
};

TEST(RbfSurfBuild, EveryWayABuildEnds) {
    const FailureCase cases[] = {
        {"library missing", Setup::NoLibrary, Run::Mesh, true, 0, 1, "Loading Morlith.dll failed."},
        {"cancel while processing points", Setup::AbortPreset, Run::Mesh, false, 0, 1, "Processing aborted"},
        {"no points visible", Setup::Hidden, Run::Mesh, false, 0, 1, "No points are visible"},
        {"points out of memory", Setup::BasicMemory, Run::Mesh, false, 0, 1, "Memory allocation failed (r001)"},
        {"library fails", Setup::None, Run::Fail, true, 0, 1, "Fit failed"},
        {"cancel in the library", Setup::None, Run::CancelInLibrary, true, 0, 1, "Aborted"},
        {"empty result", Setup::None, Run::EmptyMesh, true, 0, 1, "The resulting mesh was empty."},
        // The mesh is finished: a cancel only leaves its greyscale out.
        {"cancel in the greyscale transfer", Setup::None, Run::AbortAfter, true, 1, 1,
         "Error copying greyscale information."},
        {"greyscale out of memory", Setup::None, Run::FailTransferMemory, true, 1, 1,
         "Error copying greyscale information."},
        {"no progress thread", Setup::NoThread, Run::Mesh, true, 1, 2, "Thread creation failed, no progress updates"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture f;
        if (c.basicBuilt) f.BuildBasic();
        if (c.setup == Setup::NoLibrary) RbfLib_SetLoader(NoLibraryLoader);
        if (c.setup == Setup::AbortPreset) f.context.Report.abort = 1;
        if (c.setup == Setup::Hidden) {
            CloudScan hidden;
            hidden.AddSweep(GridPoints(10, 10, 1.0f), kSweepHidden);
            g_source = &f.basic;
            EXPECT_EQ(
                RbfSurf_Build(hidden.raw(), f.settings, f.view, 3, f.rbf, f.basic, f.context, Collect, RecordProgress),
                0);
        } else {
            if (c.setup == Setup::BasicMemory) SurfMemory_FailAfter(1);
            if (c.setup == Setup::NoThread) RbfSurf_SetProgressThreadAllowed(false);
            g_run = c.run;
            EXPECT_EQ(f.Build(), c.result);
        }
        SurfMemory_FailAfter(0);
        EXPECT_TRUE(f.Said(c.level, c.text));
        EXPECT_EQ(f.rbf.NumPoints > 0, c.result == 1);
        if (c.result == 0) {
            EXPECT_EQ(f.rbf.Points, nullptr);
            EXPECT_EQ(f.rbf.NumFacets, 0);
        }
        EXPECT_EQ(RbfSurf_ProgressThreadsRunning(), 0);
    }
}

}  // namespace
