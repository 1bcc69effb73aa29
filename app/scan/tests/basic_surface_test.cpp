// The basic surface build as its callers see it: result codes, what the
// surface holds after each, the stamp and the stylus re-placement.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "app/scan/basic_surface.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surf_arena.h"
#include "app/scan/tests/cloud_scan.h"

namespace {

using surface_test::CloudScan;
using surface_test::DefaultSurfaceSettings;
using surface_test::GridPoints;
using surface_test::MakePoint;

struct SurfaceHolder {
    SurfaceRecord s{};
    ~SurfaceHolder() { Surface_Free(s); }
};

void ExpectEmpty(const SurfaceRecord& s) {
    EXPECT_EQ(s.NumPoints, 0);
    EXPECT_EQ(s.NumFacets, 0);
    EXPECT_EQ(s.Points, nullptr);
    EXPECT_EQ(s.Facets, nullptr);
}

// Every directed edge at most once: the mesh is edge-manifold and oriented.
void ExpectOrientedManifold(const SurfaceRecord& s) {
    std::set<std::pair<int32_t, int32_t>> directed;
    for (int32_t f = 0; f < s.NumFacets; ++f)
        for (int k = 0; k < 3; ++k) {
            const int32_t a = s.Facets[3 * f + k], b = s.Facets[3 * f + (k + 1) % 3];
            ASSERT_GE(a, 0);
            ASSERT_LT(a, s.NumPoints);
            EXPECT_TRUE(directed.insert({a, b}).second) << "edge " << a << "-" << b;
        }
}

TEST(BasicSurfaceBuild, GridBecomesAnOrientedMeshFacingItsNormals) {
    CloudScan scan;
    scan.AddSweep(GridPoints(40, 30, 1.0f));
    GeneralSettings g = DefaultSurfaceSettings();
    SurfaceHolder h;
    ASSERT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfDone);
    EXPECT_GT(h.s.ChangeTime, 0.0);
    EXPECT_GT(h.s.NumPoints, 100);
    EXPECT_GT(h.s.NumFacets, h.s.NumPoints);
    EXPECT_EQ(std::memcmp(&h.s.BasicParams, &g.BasicParams, sizeof g.BasicParams), 0);
    ExpectOrientedManifold(h.s);
    for (int32_t f = 0; f < h.s.NumFacets; ++f) EXPECT_GT(h.s.FacetNormals[f].z, 0.9f) << f;
    // The grid spans 39 x 29 mm; thinning and the border trim a little.
    EXPECT_GT(h.s.Area, 0.8f * 39 * 29);
    EXPECT_LT(h.s.Area, 39.0f * 29.0f);
    EXPECT_GT(BasicSurf_LastArenaHighWater(), SurfArena::kFirstBlockBytes - 1);
}

// ---- Results -------------------------------------------------------------

enum class Setup { NoProfiles, AllHidden, AllErased, ZeroNormals };

struct ResultCase {
    const char* name;
    Setup setup;
    int32_t result;
};

TEST(BasicSurfaceBuild, ResultsOfScansWithNothingToBuild) {
    const ResultCase cases[] = {
        {"no profiles", Setup::NoProfiles, kBasicSurfDone},
        {"all sweeps hidden", Setup::AllHidden, kBasicSurfNoPoints},
        {"all points erased", Setup::AllErased, kBasicSurfNoPoints},
        {"all normals zero", Setup::ZeroNormals, kBasicSurfNoPoints},
    };
    for (const ResultCase& c : cases) {
        SCOPED_TRACE(c.name);
        CloudScan scan;
        std::vector<ScanPoint> points = GridPoints(10, 10, 1.0f);
        if (c.setup == Setup::ZeroNormals)
            for (ScanPoint& p : points) p.Normal = Vec3{0, 0, 0};
        if (c.setup == Setup::AllErased)
            for (ScanPoint& p : points) p.Flags = 2u << kPointEraseShift;
        scan.AddSweep(points, c.setup == Setup::AllHidden ? kSweepHidden : 0);
        scan.AddSweep(points, c.setup == Setup::AllHidden ? kSweepHidden : 0);
        scan.raw().EditLimit = 3;
        if (c.setup == Setup::NoProfiles) scan.raw().NumProfiles = 0;
        SurfaceHolder h;
        h.s.ChangeTime = 0.0;
        EXPECT_EQ(BasicSurf_Build(DefaultSurfaceSettings(), scan.raw(), 3, h.s, nullptr, nullptr), c.result);
        EXPECT_EQ(h.s.NumPoints, 0);
        EXPECT_EQ(h.s.NumFacets, 0);
        EXPECT_EQ(h.s.ChangeTime > 0.0, c.result == kBasicSurfDone);
    }
}

// Stops and allocation failures in each stage, with simplification on so
// that every stage runs.
struct StageCase {
    const char* name;
    BasicSurfStage stage;
    const char* key;
    float from;  // the stop comes at the first report at or above this fraction
};

const StageCase kStages[] = {
    {"smoothing", BasicSurfStage::Smoothing, "SurfReductionProcessPointsMsg", 0.0f},
    {"thinning", BasicSurfStage::Thinning, "SurfReductionProcessPointsMsg", 0.75f},
    {"facets", BasicSurfStage::Facets, "SurfReductionProcessFacetsMsg", 0.0f},
    {"simplification", BasicSurfStage::Simplification, "SurfReductionSimplifyFacetsMsg", 0.0f},
};

const StageCase* g_stopAt = nullptr;
int g_reports = 0;

int StopInStage(const char* text, float fraction, void*) {
    ++g_reports;
    return !(std::string(text) == g_stopAt->key && fraction >= g_stopAt->from);
}

BasicSurfStage g_failStage;
void FailInStage(BasicSurfStage stage, SurfaceRecord&) {
    if (stage == g_failStage) SurfMemory_FailAfter(1);
}

GeneralSettings SimplifyingSettings() {
    GeneralSettings g = DefaultSurfaceSettings();
    g.BasicParams.SimplifyFacets = 1;
    g.BasicParams.SimplifyError = 0.2f;
    g.BasicParams.ExportResolutionClip = 1.0f;
    return g;
}

TEST(BasicSurfaceBuild, StopOrMemoryFailureInEveryStageLeavesAnEmptySurface) {
    CloudScan scan;
    scan.AddSweep(GridPoints(60, 60, 0.5f));
    const GeneralSettings g = SimplifyingSettings();
    for (const StageCase& c : kStages) {
        SCOPED_TRACE(c.name);
        {
            g_stopAt = &c;
            SurfaceHolder h;
            EXPECT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, StopInStage, nullptr), kBasicSurfStopped);
            ExpectEmpty(h.s);
            EXPECT_EQ(h.s.ChangeTime, 0.0);
        }
        {
            g_failStage = c.stage;
            BasicSurf_SetStageObserver(FailInStage);
            SurfaceHolder h;
            EXPECT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfNoMemory);
            BasicSurf_SetStageObserver(nullptr);
            SurfMemory_FailAfter(0);
            ExpectEmpty(h.s);
        }
    }
    // The same scan builds when nothing stops it (the stages all ran above);
    // the collapses may fold the mesh onto an edge of three facets (2).
    SurfaceHolder h;
    g_reports = 0;
    const int32_t result = BasicSurf_Build(
        g, scan.raw(), 3, h.s, [](const char*, float, void*) { return ++g_reports, 1; }, nullptr);
    EXPECT_TRUE(result == kBasicSurfDone || result == kBasicSurfBadFacets) << result;
    EXPECT_GT(g_reports, 10);
    EXPECT_GT(h.s.NumFacets, 0);
}

// Each stage reports within its own range, forwards, and sparsely: the point
// stages about every 0.3 % (smoothing) and 1 % (thinning) of their range, the
// facets every 1/300 of the points, the simplification every 1 % of a pass.
TEST(BasicSurfaceBuild, ProgressStaysInEachStagesRangeAndIsSparse) {
    static std::vector<std::pair<std::string, float>> reports;
    reports.clear();
    CloudScan scan;
    scan.AddSweep(GridPoints(80, 80, 0.5f));
    SurfaceHolder h;
    ASSERT_EQ(BasicSurf_Build(
                  SimplifyingSettings(), scan.raw(), 3, h.s,
                  [](const char* text, float fraction, void*) {
                      reports.emplace_back(text, fraction);
                      return 1;
                  },
                  nullptr),
              kBasicSurfDone);
    std::map<std::string, int> counts;
    std::map<std::string, float> last;
    for (const auto& r : reports) {
        SCOPED_TRACE(r.first);
        EXPECT_GE(r.second, 0.0f);
        EXPECT_LT(r.second, 1.0f);
        if (last.count(r.first)) EXPECT_GE(r.second, last[r.first]);
        last[r.first] = r.second;
        ++counts[r.first];
    }
    EXPECT_GT(counts["SurfReductionProcessPointsMsg"], 10);
    EXPECT_LT(counts["SurfReductionProcessPointsMsg"], 2 * (250 + 25));
    EXPECT_GT(counts["SurfReductionProcessFacetsMsg"], 10);
    EXPECT_LT(counts["SurfReductionProcessFacetsMsg"], 2 * (100 + 300));
    EXPECT_GT(counts["SurfReductionSimplifyFacetsMsg"], 10);
    EXPECT_LT(counts["SurfReductionSimplifyFacetsMsg"], 20 * 101);
}

TEST(BasicSurfaceBuild, ReductionOffCopiesTheScanAsItIs) {
    CloudScan scan;
    std::vector<ScanPoint> points = GridPoints(3, 2, 1.0f);
    points[1].Flags = 1u << kPointEraseShift;
    points[2].Grey = 7;
    points[3].Variance = 3.0f;
    scan.AddSweep(points, 0, {Facet{{0, 1, 3}}});
    scan.AddSweep(GridPoints(2, 2, 1.0f, 5.0f), kSweepHidden, {Facet{{6, 7, 8}}});
    scan.raw().EditLimit = 1;
    GeneralSettings g = DefaultSurfaceSettings();
    g.BasicReduceEnabled = 0;
    SurfaceHolder h;
    ASSERT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfDone);
    ASSERT_EQ(h.s.NumPoints, 10);
    ASSERT_EQ(h.s.NumFacets, 2);
    for (int32_t i = 0; i < 10; ++i) {
        const ScanPoint& p = scan.raw().Points[i];
        EXPECT_EQ(std::memcmp(&h.s.Points[i], &p.Vertex, sizeof(Vec3)), 0) << i;
        EXPECT_EQ(h.s.Greyscale[i], p.Grey);
        EXPECT_EQ(h.s.Weights[i], p.Variance);
        EXPECT_EQ(h.s.Resolutions[i], p.ResolutionSq);
    }
    EXPECT_EQ(h.s.Facets[3], 6);
    EXPECT_GT(h.s.ChangeTime, 0.0);
}

TEST(BasicSurfaceBuild, FacetsOffGivesPointsOnly) {
    CloudScan scan;
    scan.AddSweep(GridPoints(20, 20, 1.0f));
    GeneralSettings g = SimplifyingSettings();
    g.BasicParams.GenerateFacets = 0;
    SurfaceHolder h;
    ASSERT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfDone);
    EXPECT_GT(h.s.NumPoints, 100);
    EXPECT_EQ(h.s.NumFacets, 0);
}

// Puts a copy of an interior facet (all corners off the border) before the
// mesh, so the simplification meets an edge that three facets share.
void DuplicateInteriorFacet(BasicSurfStage stage, SurfaceRecord& s) {
    if (stage != BasicSurfStage::Simplification) return;
    std::map<std::pair<int32_t, int32_t>, int> uses;
    for (int32_t f = 0; f < s.NumFacets; ++f)
        for (int k = 0; k < 3; ++k) {
            int32_t a = s.Facets[3 * f + k], b = s.Facets[3 * f + (k + 1) % 3];
            ++uses[{std::min(a, b), std::max(a, b)}];
        }
    std::set<int32_t> border;
    for (const auto& e : uses)
        if (e.second == 1) border.insert(e.first.first), border.insert(e.first.second);
    for (int32_t f = 0; f < s.NumFacets; ++f) {
        const int32_t* v = s.Facets + 3 * f;
        if (border.count(v[0]) || border.count(v[1]) || border.count(v[2])) continue;
        ASSERT_LT(s.NumFacets + 1, s.MaxFacets);
        std::memmove(s.Facets + 6, s.Facets, sizeof(int32_t) * 3 * s.NumFacets);
        std::memmove(s.FacetNormals + 2, s.FacetNormals, sizeof(Vec3) * s.NumFacets);
        const int32_t moved = f + 2;
        for (int k = 0; k < 3; ++k) s.Facets[k] = s.Facets[3 + k] = s.Facets[3 * moved + k];
        s.FacetNormals[0] = s.FacetNormals[1] = s.FacetNormals[moved];
        // The original stays where it was: three facets on its edges.
        s.NumFacets += 1;
        std::memmove(s.Facets + 3, s.Facets + 6, sizeof(int32_t) * 3 * (s.NumFacets - 1));
        std::memmove(s.FacetNormals + 1, s.FacetNormals + 2, sizeof(Vec3) * (s.NumFacets - 1));
        return;
    }
    FAIL() << "no interior facet";
}

TEST(BasicSurfaceBuild, BadFacetsKeepTheMeshStampedAndTheItemsPlacedOnIt) {
    CloudScan scan;
    scan.AddSweep(GridPoints(30, 30, 1.0f));
    StylusItem item{};
    M4_Identity(item.Pose);
    item.Pose[12] = 15.0f, item.Pose[13] = 15.0f, item.Pose[14] = 1.5f;
    item.Flags = kStylusOnScan;
    RawData& raw = scan.raw();
    raw.Stylus.Items = static_cast<StylusItem*>(std::malloc(sizeof(StylusItem)));
    raw.Stylus.Items[0] = item;
    raw.Stylus.VisibleCount = raw.Stylus.TotalCount = raw.Stylus.Capacity = 1;
    GeneralSettings g = SimplifyingSettings();
    g.BasicParams.ExportResolutionClip = 2.0f;
    BasicSurf_SetStageObserver(DuplicateInteriorFacet);
    SurfaceHolder h;
    const int32_t result = BasicSurf_Build(g, raw, 3, h.s, nullptr, nullptr);
    BasicSurf_SetStageObserver(nullptr);
    EXPECT_EQ(result, kBasicSurfBadFacets);
    EXPECT_GT(h.s.NumFacets, 0);
    EXPECT_GT(h.s.ChangeTime, 0.0);
    EXPECT_TRUE(raw.Stylus.Items[0].Flags & kStylusOnBasic);
    EXPECT_NEAR(raw.Stylus.Items[0].BasicPose[14], 0.0f, 0.05f);
    EXPECT_NEAR(raw.Stylus.Items[0].BasicDistance, 1.5f, 0.05f);
}

TEST(BasicSurfaceBuild, ObjectLimitKeepsTheLargestPieces) {
    struct Case {
        const char* name;
        int firstSide, secondSide;
        int32_t limit;
        float keptX;  // a point of the piece that must remain
        float goneX;  // and one of the piece that must not
    };
    const Case cases[] = {
        {"the larger second", 10, 16, 1, 120.0f, 5.0f},
        {"equal: the first seeded", 12, 12, 1, 5.0f, 120.0f},
        {"limit 2 keeps both", 10, 16, 2, 5.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CloudScan scan;
        scan.AddSweep(GridPoints(c.firstSide, c.firstSide, 1.0f));
        scan.AddSweep(GridPoints(c.secondSide, c.secondSide, 1.0f, 0.0f, 110.0f));
        GeneralSettings g = DefaultSurfaceSettings();
        g.BasicParams.ObjectLimit = c.limit;
        SurfaceHolder h;
        ASSERT_EQ(BasicSurf_Build(g, scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfDone);
        bool kept = false, gone = true;
        for (int32_t i = 0; i < h.s.NumPoints; ++i) {
            if (std::fabs(h.s.Points[i].x - c.keptX) < 3.0f) kept = true;
            if (c.goneX >= 0.0f && std::fabs(h.s.Points[i].x - c.goneX) < 3.0f) gone = false;
        }
        EXPECT_TRUE(kept);
        EXPECT_TRUE(gone);
    }
}

TEST(BasicSurfaceBuild, OneOrTwoPointsMakeNoFacets) {
    for (int n : {1, 2}) {
        CloudScan scan;
        std::vector<ScanPoint> points;
        for (int k = 0; k < n; ++k) points.push_back(MakePoint(Vec3{10.0f * k, 0, 0}, Vec3{0, 0, 1}));
        scan.AddSweep(points);
        SurfaceHolder h;
        EXPECT_EQ(BasicSurf_Build(DefaultSurfaceSettings(), scan.raw(), 3, h.s, nullptr, nullptr), kBasicSurfDone);
        EXPECT_EQ(h.s.NumFacets, 0);
        EXPECT_EQ(h.s.NumPoints, 0);  // points without facets leave the mesh
    }
}

}  // namespace
