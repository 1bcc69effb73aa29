// The RBF build's inputs: the library's parameter block, the memory limit and
// whether the library must fit again.
#include "app/scan/rbf_surface.h"

#include <cstdarg>
#include <cstring>

#if defined(_WIN32)
void RbfSurf_SystemMemoryStatus(RbfMemoryStatus& status);  // rbf_memory_win32.cpp
#endif

namespace {

#if !defined(_WIN32)
void UnknownMemoryStatus(RbfMemoryStatus& status) {
    status = RbfMemoryStatus{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
}
#endif

RbfMemoryStatusFn DefaultMemoryStatus() {
#if defined(_WIN32)
    return RbfSurf_SystemMemoryStatus;
#else
    return UnknownMemoryStatus;
#endif
}

RbfMemoryStatusFn g_memoryStatus = DefaultMemoryStatus();

constexpr uint64_t kPageFileFloor = 134217728;  // 128 MiB

}  // namespace

void RbfSurf_SetMemoryStatusSource(RbfMemoryStatusFn source) {
    g_memoryStatus = source ? source : DefaultMemoryStatus();
}

void RbfSurf_Report(int32_t level, HostMessageFunction onMessage, const char* format, ...) {
    if (!onMessage) return;
    va_list args;
    va_start(args, format);
    onMessage(level, format, args);
    va_end(args);
}

int32_t RbfSurf_RefitNeeded(const GeneralSettings& settings, const SurfaceRecord& rbf, const SurfaceRecord& basic) {
    const bool keep = basic.NumPoints > 0 && basic.Inverted == rbf.Inverted && basic.ChangeTime < rbf.ChangeTime &&
                      rbf.RbfParams.RbfUseStylusPoints == settings.RbfParams.RbfUseStylusPoints;
    return keep ? 0 : 1;
}

int32_t RbfSurf_MemoryLimitMb(const GeneralSettings& settings, HostMessageFunction onMessage) {
    const RbfSurfParams& p = settings.RbfParams;
    int32_t limit = p.RbfMemoryToUse;
    if (p.RbfAutoMemoryLimit != 0) {
        RbfMemoryStatus m{};
        g_memoryStatus(m);
        const int32_t a = static_cast<int32_t>(0.85 * (m.TotalPhys >> 20));
        const int32_t b = static_cast<int32_t>(0.85 * (m.AvailVirtual >> 20));
        // Only a nearly exhausted page file bounds the limit by what is left of it.
        const bool pageFileLow =
            m.AvailPageFile < kPageFileFloor && static_cast<uint64_t>(m.AvailPhys) + m.AvailPageFile < kPageFileFloor;
        const int32_t c =
            pageFileLow ? static_cast<int32_t>(0.8 * ((m.AvailPhys >> 20) + (m.AvailPageFile >> 20))) : 2048;
        limit = a < b ? a : b;
        if (c < limit) limit = c;
    }
    if (limit > 800) {
        RbfSurf_Report(3, onMessage, "Using maximum memory limit of 800 MB");
        return 800;
    }
    if (limit < 128) {
        RbfSurf_Report(3, onMessage, "Using minimum memory limit of 128 MB");
        return 128;
    }
    return limit;
}

void RbfSurf_MakeParams(ScanFitParams& out, const GeneralSettings& settings, const ViewSettings& view,
                        const SurfaceRecord& basic, int32_t memoryMb) {
    std::memset(&out, 0, sizeof out);
    const RbfSurfParams& r = settings.RbfParams;
    const BasicSurfParams& b = basic.BasicParams;
    for (int i = 0; i < 16; ++i) out.ViewMatrix[i] = view.CoordinateSystem[i];
    out.ViewOrigin[0] = view.ViewOrigin.x;
    out.ViewOrigin[1] = view.ViewOrigin.y;
    out.ViewOrigin[2] = view.ViewOrigin.z;
    out.InputFilter = b.FilterRadius;
    out.InputResolution = b.ExportResolutionClip;
    out.InputSimplifyError = b.SimplifyFacets ? b.SimplifyError : 0.0f;
    out.Limit = b.DoObjectLimit ? b.ObjectLimit : 0;
    out.Accuracy = r.RbfAccuracy;
    out.Resolution = r.RbfResolution;
    out.MemoryToUse = memoryMb;
    out.ExtraTrim = r.RbfExtraTrim;
    out.Close = r.RbfTrimType;
    out.DoSimplify = r.RbfSimplify;
    if (r.RbfSimpTarget == 0)
        out.SimpError = r.RbfSimpError;
    else if (r.RbfSimpTarget == 1 || r.RbfSimpTarget == 2)
        out.SimpError = 1.0e10f;
    out.SimpAngle = r.RbfSimpDoAngle ? r.RbfSimpAngle : 0.0f;
    out.SimpNFaces = r.RbfSimpTarget == 1 ? r.RbfSimpNFaces : 0;
    out.SimpNPoints = r.RbfSimpTarget == 2 ? r.RbfSimpNPoints : 0;
    out.FaceStyle = r.IsosurfaceOption != 0 ? 1 : 0;
}
