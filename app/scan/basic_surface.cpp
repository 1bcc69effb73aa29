#include "app/scan/basic_surface.h"

#include "app/scan/profile_processing.h"
#include "app/scan/raw_data.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/surf_facets.h"
#include "app/scan/surf_points.h"

#include <cstring>
#include <new>

const char* const kSurfPointsStageKey = "SurfReductionProcessPointsMsg";
const char* const kSurfFacetsStageKey = "SurfReductionProcessFacetsMsg";
const char* const kSurfSimplifyStageKey = "SurfReductionSimplifyFacetsMsg";

namespace {

std::size_t g_lastHighWater = 0;
BasicSurfStageObserver g_observer = nullptr;

void Enter(BasicSurfStage stage, SurfaceRecord& s) {
    if (g_observer) g_observer(stage, s);
}

// The scan's points and facets as they are, hidden and erased ones included.
void CopyScan(const RawData& raw, SurfaceRecord& s) {
    Surface_ResizePoints(s, raw.NumPoints);
    Surface_ResizeFacets(s, raw.NumFacets);
    for (int32_t i = 0; i < raw.NumPoints; ++i) {
        const ScanPoint& p = raw.Points[i];
        s.Points[i] = p.Vertex;
        s.PointNormals[i] = p.Normal;
        s.Weights[i] = p.Variance;
        s.Resolutions[i] = p.ResolutionSq;
        s.Greyscale[i] = p.Grey;
    }
    if (raw.NumFacets > 0) {
        std::memcpy(s.Facets, raw.Facets, sizeof(Facet) * raw.NumFacets);
        std::memcpy(s.FacetNormals, raw.FacetNormals, sizeof(Vec3) * raw.NumFacets);
    }
    s.NumPoints = s.MaxPoints = raw.NumPoints;
    s.NumFacets = s.MaxFacets = raw.NumFacets;
}

int32_t RunStages(SurfArena& arena, RawData& raw, const GeneralSettings& settings, int32_t processMode,
                  int32_t reduceEnabled, SurfaceRecord& s, const SurfProgress& progress) {
    Scan_ProcessNewProfiles(raw, processMode, settings.ProfileThreshold);
    if (!reduceEnabled) {
        CopyScan(raw, s);
        return kBasicSurfDone;
    }
    const BasicSurfParams& params = s.BasicParams;
    Enter(BasicSurfStage::Points, s);
    SurfPointSet points;
    if (!SurfPointSet_FromScan(arena, raw, points)) return kBasicSurfNoPoints;

    Enter(BasicSurfStage::Smoothing, s);
    const SurfProgress pointStage = progress.WithText(kSurfPointsStageKey);
    const int32_t smoothed = Surf_Smooth(arena, points, params.FilterRadius, s, pointStage, 0.0, 0.75);
    arena.Free(points.Block);
    if (smoothed != kBasicSurfDone) return smoothed;

    Enter(BasicSurfStage::Thinning, s);
    Surf_Thin(arena, s, params.ExportResolutionClip, pointStage, 0.75, 0.25);
    Surf_CutOutliers(s);
    if (!params.GenerateFacets) return kBasicSurfDone;

    Enter(BasicSurfStage::Facets, s);
    SurfEdgeList open;
    int32_t result = Surf_MakeFacets(arena, s, params.DoObjectLimit ? params.ObjectLimit : 0,
                                     progress.WithText(kSurfFacetsStageKey), 0.0, 1.0, open);
    if (params.SimplifyFacets) {
        Enter(BasicSurfStage::Simplification, s);
        result =
            Surf_Simplify(arena, s, open, params.SimplifyError, progress.WithText(kSurfSimplifyStageKey), 0.0, 1.0);
    }
    Enter(BasicSurfStage::CleanUp, s);
    Surf_CleanMesh(arena, s);
    return result;
}

}  // namespace

int32_t BasicSurf_Reduce(RawData& raw, const GeneralSettings& settings, int32_t processMode, int32_t reduceEnabled,
                         SurfaceRecord& s, SurfProgressFn fn, void* user) {
    s.NumPoints = 0;
    s.NumFacets = 0;
    s.Area = 0.0f;
    s.Inverted = 0;
    s.InversionResult = 0;
    g_lastHighWater = 0;
    if (raw.NumProfiles == 0) return kBasicSurfDone;
    const SurfProgress progress{fn, user, kSurfPointsStageKey};
    int32_t result;
    try {
        // Everything the stages allocate outside the surface lives in the
        // arena and goes with it, whichever way the block is left.
        struct Scope {
            SurfArena arena;
            ~Scope() { g_lastHighWater = arena.HighWater(); }
        } scope;
        result = RunStages(scope.arena, raw, settings, processMode, reduceEnabled, s, progress);
    } catch (const SurfAbortError&) {
        Surface_Free(s);
        result = kBasicSurfStopped;
    } catch (const std::bad_alloc&) {
        Surface_Free(s);
        result = kBasicSurfNoMemory;
    }
    return result;
}

int32_t BasicSurf_Build(const GeneralSettings& settings, RawData& raw, int32_t processMode, SurfaceRecord& s,
                        SurfProgressFn fn, void* user) {
    s.BasicParams = settings.BasicParams;
    const int32_t result = BasicSurf_Reduce(raw, settings, processMode, settings.BasicReduceEnabled, s, fn, user);
    // A build ending in bad facets still shows its mesh: its colours and the
    // items' placements must belong to it as after a clean build.
    if (result == kBasicSurfDone || result == kBasicSurfBadFacets) {
        Surface_MarkChanged(s);
        try {
            StylusItems_UpdateBasicShifts(raw.Stylus, s, settings.Stylus.SurfaceDistance);
        } catch (const std::bad_alloc&) {
            return kBasicSurfNoMemory;  // the surface stands; the items keep their old placement
        }
    }
    return result;
}

std::size_t BasicSurf_LastArenaHighWater() { return g_lastHighWater; }

void BasicSurf_SetStageObserver(BasicSurfStageObserver observer) { g_observer = observer; }
