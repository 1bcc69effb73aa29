#include "app/scan/rbf_lib.h"

#include <atomic>
#include <mutex>

#if defined(_WIN32)
bool RbfLib_LoadMorlithDll(RbfLibExports& found);  // rbf_lib_win32.cpp
#endif

namespace {

#if !defined(_WIN32)
bool NoLibrary(RbfLibExports&) { return false; }
#endif

RbfLibLoader DefaultLoader() {
#if defined(_WIN32)
    return RbfLib_LoadMorlithDll;
#else
    return NoLibrary;
#endif
}

struct Binding {
    std::mutex lock;
    RbfLibLoader loader = DefaultLoader();
    RbfLibExports exports{};
    int32_t loaded = 0;
    int32_t attempted = 0;
};

Binding& TheBinding() {
    static Binding binding;
    return binding;
}

bool AllFound(const RbfLibExports& e) { return e.SetFuncs && e.SetParams && e.Process && e.FreeData && e.SetInput; }

}  // namespace

void RbfLib_SetLoader(RbfLibLoader loader) {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    b.loader = loader ? loader : DefaultLoader();
    b.exports = RbfLibExports{};
    b.loaded = 0;
    b.attempted = 0;
}

int32_t RbfLib_Load() {
    Binding& b = TheBinding();
    std::lock_guard<std::mutex> guard(b.lock);
    if (b.attempted) return b.loaded;
    b.attempted = 1;
    RbfLibExports found{};
    if (!b.loader(found) || !AllFound(found)) {
        b.exports = RbfLibExports{};
        b.loaded = 0;
        return 0;
    }
    b.exports = found;
    b.loaded = 1;
    return 1;
}

const RbfLibExports& RbfLib_Exports() { return TheBinding().exports; }
