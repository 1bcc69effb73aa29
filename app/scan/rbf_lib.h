// Run-time binding of the surface-fitting library Morlith.dll. The library is
// looked up once per run; when it or any of its five exports is missing the
// RBF surface is unavailable for the rest of the run.
#pragma once

#include "surface/pipeline/morlith_api.h"

#include <cstdint>

// The five entry points, in the library's order.
struct RbfLibExports {
    Morlith_SetFuncsFunction SetFuncs;
    Morlith_SetParamsFunction SetParams;
    Morlith_ProcessFunction Process;
    Morlith_FreeDataFunction FreeData;
    Morlith_SetInputFunction SetInput;
};

// Looks the library up: false when it cannot be loaded; else true with every
// export it was found to have (a missing one stays null). The Windows build
// loads "Morlith.dll" by name; elsewhere there is no library unless a test
// installs a stand-in.
using RbfLibLoader = bool (*)(RbfLibExports& found);

// Installs the loader and forgets any earlier binding, so that the next
// RbfLib_Load tries again. Null restores the build's own loader.
void RbfLib_SetLoader(RbfLibLoader loader);

// Binds the library on the first call (all five exports or none) and returns
// 1 when bound; every later call only returns that result, so a failed load
// is never retried in the same run.
int32_t RbfLib_Load();

// The bound entry points (all null unless RbfLib_Load returned 1).
const RbfLibExports& RbfLib_Exports();
