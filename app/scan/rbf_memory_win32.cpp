// The system's memory figures for the fit's automatic memory limit.
#include "app/scan/rbf_surface.h"

#include <windows.h>

static uint32_t Clamp32(DWORDLONG bytes) { return bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes); }

void RbfSurf_SystemMemoryStatus(RbfMemoryStatus& status) {
    MEMORYSTATUSEX m{};
    m.dwLength = sizeof m;
    if (!GlobalMemoryStatusEx(&m)) {
        status = RbfMemoryStatus{0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
        return;
    }
    status.TotalPhys = Clamp32(m.ullTotalPhys);
    status.AvailPhys = Clamp32(m.ullAvailPhys);
    status.AvailPageFile = Clamp32(m.ullAvailPageFile);
    status.AvailVirtual = Clamp32(m.ullAvailVirtual);
}
