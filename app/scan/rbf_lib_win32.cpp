// The library loaded by name from the normal search path; its module is
// never freed.
#include "app/scan/rbf_lib.h"

#include <windows.h>

template <typename F>
static F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool RbfLib_LoadMorlithDll(RbfLibExports& found) {
    HMODULE module = LoadLibraryA("Morlith.dll");
    if (!module) return false;
    found.SetFuncs = Export<Morlith_SetFuncsFunction>(module, "Morlith_SetFuncs");
    found.SetParams = Export<Morlith_SetParamsFunction>(module, "Morlith_SetParams");
    found.Process = Export<Morlith_ProcessFunction>(module, "Morlith_Process");
    found.FreeData = Export<Morlith_FreeDataFunction>(module, "Morlith_FreeData");
    found.SetInput = Export<Morlith_SetInputFunction>(module, "Morlith_SetInput");
    return true;
}
