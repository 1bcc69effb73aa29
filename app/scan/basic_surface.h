// The basic surface: the program's own quick surface, made from the visible
// scan points without the surface library. The points are smoothed, thinned
// and cut of outliers; on request a triangle mesh is grown over them,
// limited to its largest pieces, simplified and cleaned. Runs on the calling
// thread and touches no window; one build runs at a time.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/surf_progress.h"
#include "app/scan/surface_record.h"

#include <cstddef>
#include <cstdint>

struct RawData;

// Result codes of a build.
constexpr int32_t kBasicSurfDone = 0;       // also: the scan holds no profiles
constexpr int32_t kBasicSurfStopped = 1;    // the progress callback asked to stop
constexpr int32_t kBasicSurfBadFacets = 2;  // the simplification met facets it cannot handle
constexpr int32_t kBasicSurfNoMemory = 3;
constexpr int32_t kBasicSurfNoPoints = 4;  // nothing visible, or nothing survived the smoothing

// Stage texts (string keys; the host shows their localised text).
extern const char* const kSurfPointsStageKey;
extern const char* const kSurfFacetsStageKey;
extern const char* const kSurfSimplifyStageKey;

// Copies the settings' parameter block into the surface, builds it, and on
// result 0 or 2 (a mesh is then shown) stamps its change time and places the
// stylus items again on it with Stylus.SurfaceDistance. processMode is handed
// to the profile processing that brings the scan up to date first.
int32_t BasicSurf_Build(const GeneralSettings& settings, RawData& raw, int32_t processMode, SurfaceRecord& surface,
                        SurfProgressFn progress, void* user);

// The stages on a private arena; a stop or running out of memory frees the
// surface and gives 1 or 3. reduceEnabled 0 copies the scan's points and
// facets unchanged instead.
int32_t BasicSurf_Reduce(RawData& raw, const GeneralSettings& settings, int32_t processMode, int32_t reduceEnabled,
                         SurfaceRecord& surface, SurfProgressFn progress, void* user);

// The arena's high-water mark of the last reduction, in bytes.
std::size_t BasicSurf_LastArenaHighWater();

// Test seam: called as each stage starts, with the surface as it stands.
enum class BasicSurfStage { Points, Smoothing, Thinning, Facets, Simplification, CleanUp };
using BasicSurfStageObserver = void (*)(BasicSurfStage stage, SurfaceRecord& surface);
void BasicSurf_SetStageObserver(BasicSurfStageObserver observer);
