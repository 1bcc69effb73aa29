// The five exports of Morlith.dll: plain C names, cdecl, and the only
// symbols the library exports. No C++ exception leaves them: running out of
// memory anywhere inside a build fails the build with its message, and the
// data is freed by the stage as after any other failure.
#include <new>

#include "surface/pipeline/morlith_api.h"
#include "surface/pipeline/scan_fit.h"

#if defined(_WIN32)
#define MORLITH_EXPORT __declspec(dllexport)
#else
#define MORLITH_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// A build that threw: the same ending as a failed stage. The live counts and
// the abort flag were already put back by the stage on its way out.
int FailedByException(ScanFitContext* context, const char* message) {
    ScanFit_HostMessage(context, kLevelError, "%s", message);
    ScanFit_FreeStageData(context);
    return 0;
}

}  // namespace

extern "C" {

MORLITH_EXPORT int MORLITH_CALL Morlith_SetFuncs(ScanFitContext* context, HostMessageFunction function) {
    context->HostMessage = function;
    return static_cast<int>(reinterpret_cast<intptr_t>(function));
}

MORLITH_EXPORT int MORLITH_CALL Morlith_SetParams(ScanFitContext* context, const ScanFitParams* params, int32_t force) {
    ScanFit_SetParams(context, params, force);
    return context->Stage;
}

MORLITH_EXPORT int MORLITH_CALL Morlith_SetInput(ScanFitContext* context, int32_t count, const float* points) {
    try {
        return ScanFit_SetInput(context, count, points);
    } catch (...) {
        return 0;
    }
}

MORLITH_EXPORT int MORLITH_CALL Morlith_Process(ScanFitContext* context, int32_t count, const float* points,
                                                const float* normals) {
    try {
        return ScanFit_Process(context, count, points, normals);
    } catch (const std::bad_alloc&) {
        return FailedByException(context, "Memory allocation failed");
    } catch (...) {
        return FailedByException(context, "Unexpected internal error");
    }
}

MORLITH_EXPORT int MORLITH_CALL Morlith_FreeData(ScanFitContext* context) {
    ScanFit_FreeData(context);
    return 1;
}
}
