// What a C++ image needs without a run-time library: pool-backed allocation,
// the pure-virtual trap, static destructors registered for unload, and the
// image entry that runs the static constructors before the driver's entry.
#include "driver/k_driver.h"
#include "driver/kernel_seam.h"

void* PoolAllocate(POOL_TYPE type, SIZE_T bytes) { return ExAllocatePoolWithTag(type, bytes, kLibraryPoolTag); }
void PoolFree(void* block) {
    if (block) ExFreePoolWithTag(block, kLibraryPoolTag);
}

#ifndef OMBRIX_SIMULATED_KERNEL
// Virtual destructors refer to these; the library itself deletes through
// PoolDelete.
void operator delete(void* block) noexcept { PoolFree(block); }
void operator delete(void* block, size_t) noexcept { PoolFree(block); }

extern "C" void __cxa_pure_virtual() { KeBugCheckEx(0xDEADDEAD, 0, 0, 0, 0); }

namespace {
typedef void (*StaticFunction)(void);
// The driver's static objects are few; their destructors run at unload.
constexpr int kMaxStaticDestructors = 16;
StaticFunction g_destructors[kMaxStaticDestructors];
int g_destructorCount;
}  // namespace

extern "C" int atexit(StaticFunction function) {
    if (g_destructorCount == kMaxStaticDestructors) return -1;
    g_destructors[g_destructorCount++] = function;
    return 0;
}

void RunStaticDestructors() {
    while (g_destructorCount > 0) g_destructors[--g_destructorCount]();
}

extern "C" StaticFunction __CTOR_LIST__[];

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    // The list starts with a count (or -1) and ends with a null entry.
    for (StaticFunction* entry = __CTOR_LIST__ + 1; *entry; ++entry) (*entry)();
    ChooseLinkPrefix();
    return KDriver::DriverInit(driver, registryPath);
}
#else
// Under the simulated kernel the test program's run-time library runs the
// static constructors and destructors; the entry only does the driver's part.
void RunStaticDestructors() {}

extern "C" NTSTATUS NTAPI OmbrixDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    ChooseLinkPrefix();
    return KDriver::DriverInit(driver, registryPath);
}
#endif
