// The program's arithmetic is built for SSE2. On an older processor (a
// Pentium III, an Athlon XP) its first SSE2 instruction would end it with an
// illegal-instruction fault, so before anything else runs it checks the
// processor and refuses with a box that says why. This file is built without
// SSE so that the check itself runs anywhere; it runs as the first of the
// program's static constructors, before any other of its code.
#include <windows.h>

#include <cpuid.h>

namespace {

bool ProcessorHasSse2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid first checks that CPUID and its leaf 1 exist.
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (edx & bit_SSE2) != 0;
}

__attribute__((constructor(101))) void RefuseProcessorWithoutSse2() {
    if (ProcessorHasSse2()) return;
    MessageBoxA(nullptr,
                "This program needs a processor with SSE2 instructions (an Intel Pentium 4, an AMD Athlon 64 "
                "or later). It cannot run on this computer.",
                "Processor not supported", MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
    ExitProcess(1);
}

}  // namespace
