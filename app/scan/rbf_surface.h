// The RBF surface driver: turns the RBF settings into the library's parameter
// block, prepares the input points from the basic surface (and the stylus
// points), runs Morlith on the caller's thread while a progress thread of its
// own relays the library's progress, and copies the result mesh into the RBF
// surface. One build runs at a time; never on the UI thread.
#pragma once

#include "app/scan/rbf_lib.h"
#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"
#include "app/scan/stylus_items.h"

#include <cstdint>

struct RawData;

// The caller's progress: the overall fraction 0..1 and the library's live
// facet count while it isosurfaces, else -1.
using RbfProgressFn = void (*)(double fraction, int32_t count);

// The system's memory figures in bytes, as 32-bit unsigned values (a figure
// above 4 GB reads as 4 GB - 1).
struct RbfMemoryStatus {
    uint32_t TotalPhys;
    uint32_t AvailPhys;
    uint32_t AvailPageFile;
    uint32_t AvailVirtual;
};
using RbfMemoryStatusFn = void (*)(RbfMemoryStatus& status);
// Installs the memory status source; null restores the build's own (Windows:
// the system's; elsewhere every figure reads as 4 GB - 1).
void RbfSurf_SetMemoryStatusSource(RbfMemoryStatusFn source);

// Test seam: whether the progress thread may start (false behaves as a
// failed thread creation), and the number of progress threads running now.
void RbfSurf_SetProgressThreadAllowed(bool allowed);
int32_t RbfSurf_ProgressThreadsRunning();

// Builds the RBF surface; 1 built, 0 failed (reported through onMessage, or by
// the library itself). processMode is handed to the basic builder when the
// basic surface must be built first. On failure the RBF surface is empty.
int32_t RbfSurf_Build(RawData& raw, const GeneralSettings& settings, const ViewSettings& view, int32_t processMode,
                      SurfaceRecord& rbfSurface, SurfaceRecord& basicSurface, ScanFitContext& context,
                      HostMessageFunction onMessage, RbfProgressFn onProgress);

// 1 unless the library can keep its fit: the basic surface has points, both
// surfaces have the same cast inversion, the basic surface changed before the
// RBF surface was built, and the stylus-points option is as it was then.
int32_t RbfSurf_RefitNeeded(const GeneralSettings& settings, const SurfaceRecord& rbfSurface,
                            const SurfaceRecord& basicSurface);

// The fit's memory limit in MB, 128 to 800 (a clamp is reported at level 3).
int32_t RbfSurf_MemoryLimitMb(const GeneralSettings& settings, HostMessageFunction onMessage);

// The library's parameter block from the settings, the view's coordinate
// system and origin, the basic surface's parameter block and the memory limit.
void RbfSurf_MakeParams(ScanFitParams& out, const GeneralSettings& settings, const ViewSettings& view,
                        const SurfaceRecord& basicSurface, int32_t memoryMb);

// Appends the positions of the stylus items in force (not hidden, not line
// heads) behind the basic surface's points with zero normals, leaving its
// point count; 1 with the number written in addedOut, 0 out of memory.
int32_t RbfSurf_StylusInput(const StylusItemList& stylus, SurfaceRecord& basicSurface, int32_t& addedOut);

// Copies the library's output mesh into the RBF surface's arrays (greyscale
// unset, normals not computed); 0 out of memory with the arrays freed.
int32_t RbfSurf_TakeResult(const ScanFitContext& context, SurfaceRecord& rbfSurface);

// Facet, quad and point normals and the total area of the surface.
void RbfSurf_FacetNormals(SurfaceRecord& surface);

void RbfSurf_Report(int32_t level, HostMessageFunction onMessage, const char* format, ...);
