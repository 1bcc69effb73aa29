// The one place the driver includes the platform's kernel headers, and the
// few kernel services that are processor instructions rather than imported
// calls (the IRQL register and port I/O on x86-64). The driver's sources are
// built twice: into the kernel image, and into test programs against the
// simulated kernel (OMBRIX_SIMULATED_KERNEL), where those instructions would
// fault in user mode and so go to the simulation instead.
#pragma once

// MinGW's wdm.h only declares its power-request parameters consistently for
// this level; the driver calls nothing that Windows 2000 lacks (the image's
// import list is checked).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#undef NTDDI_VERSION
#define NTDDI_VERSION 0x06000000

// wdm.h declares these as intrinsics with a conflicting C++ signature.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ddk/wdm.h>
#include <ddk/parallel.h>

// What the port driver hands back when our interrupt routine is connected.
struct ParallelInterruptInformation {
    PKINTERRUPT InterruptObject;
    PVOID TryAllocatePortAtInterruptLevel;
    PVOID FreePortFromInterruptLevel;
    PVOID Context;
};

#ifdef OMBRIX_SIMULATED_KERNEL
extern "C" {
KIRQL SimKernelCurrentIrql(void);
KIRQL SimKernelRaiseIrql(KIRQL level);
void SimKernelLowerIrql(KIRQL level);
UCHAR SimKernelReadPort(PUCHAR port);
void SimKernelWritePort(PUCHAR port, UCHAR value);
void SimKernelBreakPoint(void);
}
inline KIRQL CurrentIrql() { return SimKernelCurrentIrql(); }
inline KIRQL RaiseIrql(KIRQL level) { return SimKernelRaiseIrql(level); }
inline void LowerIrql(KIRQL level) { SimKernelLowerIrql(level); }
inline UCHAR ReadPortByte(PUCHAR port) { return SimKernelReadPort(port); }
inline void WritePortByte(PUCHAR port, UCHAR value) { SimKernelWritePort(port, value); }
inline void BreakIntoDebugger() { SimKernelBreakPoint(); }
#else
inline KIRQL CurrentIrql() { return KeGetCurrentIrql(); }
inline KIRQL RaiseIrql(KIRQL level) {
    KIRQL old;
    KeRaiseIrql(level, &old);
    return old;
}
inline void LowerIrql(KIRQL level) { KeLowerIrql(level); }
inline UCHAR ReadPortByte(PUCHAR port) { return READ_PORT_UCHAR(port); }
inline void WritePortByte(PUCHAR port, UCHAR value) { WRITE_PORT_UCHAR(port, value); }
inline void BreakIntoDebugger() { DbgBreakPoint(); }
#endif

// A kernel debugger is attached and enabled: only then may the driver break
// into it (without one a breakpoint stops the machine).
inline BOOLEAN DebuggerEnabled() { return KD_DEBUGGER_ENABLED && !KD_DEBUGGER_NOT_PRESENT; }

// Every pool block of the class library carries this tag.
constexpr ULONG kLibraryPoolTag = 0x206D6457;  // "Wdm " in memory order

void* PoolAllocate(POOL_TYPE type, SIZE_T bytes);
void PoolFree(void* block);

// The library's objects come from tagged pool: `new (NonPagedPool) T(...)`,
// given back with PoolDelete.
inline void* operator new(size_t bytes, POOL_TYPE pool) noexcept { return PoolAllocate(pool, bytes); }
inline void operator delete(void* block, POOL_TYPE) noexcept { PoolFree(block); }
template <class T>
void PoolDelete(T* object) {
    if (!object) return;
    object->~T();
    PoolFree(object);
}
