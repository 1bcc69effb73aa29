// The run-time allocator behind the library's public records (point lists,
// face lists, meshes, solutions). These records are not tracked, so that the
// library's caller may create and free them too. Sizes are computed without
// overflow: a request that does not fit in memory simply fails.
#ifndef SURFACE_FRAME_RECORD_MEMORY_H
#define SURFACE_FRAME_RECORD_MEMORY_H

#include <cstddef>
#include <cstdint>

// `count` items of `size` bytes; null on failure or overflow. A zero count
// still gives a block, so that null always means failure.
void* Record_Alloc(int64_t count, std::size_t size);
// Resizes to `count` items of `size` bytes; on failure null is returned and
// the old block stays valid.
void* Record_Realloc(void* block, int64_t count, std::size_t size);
void Record_Free(void* block);

// Lets the next `allowed` record allocations succeed and makes every later
// one fail; a negative value switches failures off again.
void Record_FailAllocationsAfterForTesting(int32_t allowed);

// The largest block asked for since the last reset (reset with true), so
// that tests can bound what untrusted input makes the library allocate.
int64_t Record_LargestRequestForTesting(bool reset);

#endif
