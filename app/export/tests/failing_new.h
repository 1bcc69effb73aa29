// This test program's own operator new: allocations fail from the given
// count on while it is not negative, so that every allocation a tool makes
// can be made to fail in turn. The count is the setting thread's own, so a
// worker's allocations can fail while the thread that drives it goes on.
// Include it in one file of a test program only.
#pragma once

// The replacement pair below is malloc and free on both sides; the compiler
// cannot see that across the library's own allocation calls.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {
thread_local long g_allocationsLeft = -1;
}  // namespace

void* operator new(std::size_t size) {
    if (g_allocationsLeft == 0) throw std::bad_alloc();
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
