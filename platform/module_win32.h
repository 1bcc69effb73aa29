// The module (program or DLL) that holds an address, on Windows only.
#pragma once

#include <windows.h>

namespace os {

// GetModuleHandleEx would say it directly, but it is missing from Windows
// 2000; the allocation that a loaded module's code lies in starts at the
// module's base, which is its handle.
inline HMODULE ModuleOf(const void* address) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(address, &region, sizeof region) != sizeof region) return nullptr;
    return static_cast<HMODULE>(region.AllocationBase);
}

}  // namespace os
