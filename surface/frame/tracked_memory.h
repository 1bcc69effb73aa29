// Tracked memory: the allocator behind all working memory of the library's
// operations and of its numeric core.
//
// It keeps a running count of the bytes allocated through it and the peak of
// that count ("Peak Memory Used", and the fitters' memory limit). While an
// operation runs, a registry of live blocks remembers every block with its
// size, so that freeing a block subtracts it again. Operations open and close
// tracking levels; nested operations share the outermost registry.
//
// The allocator is not locked unless Mem_InitLock has been called; the
// library is entered by one thread at a time. Once the lock is on, every
// operation, and every read of the counters and the registry, holds it.
//
// Typed matrices in the row-pointer layout are in tracked_matrix.h, the core
// mesh record and the memory pool in tracked_records.h.
#ifndef SURFACE_FRAME_TRACKED_MEMORY_H
#define SURFACE_FRAME_TRACKED_MEMORY_H

#include <complex>
#include <cstddef>
#include <cstdint>

// The 16-byte item of the pair vectors and matrices (complex numbers of the
// fast evaluators).
using MemPair = std::complex<double>;

// Slots of a new registry; a full registry grows by this factor.
constexpr int32_t kMemRegistryInitialSlots = 10000;
constexpr double kMemRegistryGrowth = 1.4;

// ---- Tracking levels and counters ----

// Opens a tracking level. Creates the registry when none exists (0), or only
// raises the nesting level. Returns 2 when the registry cannot be created;
// the caller then runs untracked.
int Mem_TrackBegin();
// Closes a tracking level. At the outermost level the registry goes away;
// blocks still registered stay allocated and the byte counts stay as they are.
void Mem_TrackEnd();
// As Mem_TrackEnd, but at the outermost level every registered block is
// freed first and the current count is set to 0.
void Mem_TrackEndFreeAll();
// Frees every registered block, subtracting each, and empties the registry.
void Mem_FreeAllTracked();

std::size_t Mem_CurrentBytes();
std::size_t Mem_PeakBytes();
void Mem_SetPeakBytes(std::size_t value);
void Mem_SetCurrentBytes(std::size_t value);
// Replaces the current count by the sum of the registered sizes when they
// differ (returns 1), else returns 0.
int Mem_RecountCurrent();

// Number of registry slots in use (live blocks and the holes between them);
// 0 without a registry.
int32_t Mem_SlotCount();
// Non-empty slots from `first` up to, not including, min(limit, slot count);
// a limit of 0 means the slot count.
int32_t Mem_CountLiveBlocks(int32_t first, int32_t limit);
// Slots the registry has room for (0 without a registry), and its nesting
// level (-1 without a registry).
int32_t Mem_SlotCapacity();
int32_t Mem_TrackDepth();
// Removes a block from the registry without freeing it or changing the counts.
void Mem_Forget(void* block);
// Hands a block over to a record that frees it with the run-time allocator:
// the registry forgets it and its size leaves the current count, so that what
// an operation returns does not stay counted against the next operation's
// memory budget. A block the registry does not know changes nothing.
void Mem_Disown(void* block);

// The lock: off until Mem_InitLock; the library never switches it on.
void Mem_InitLock();
void Mem_Lock();
void Mem_Unlock();

// ---- Plain allocation (null on failure) ----

void* Mem_Alloc(std::size_t bytes);
void* Mem_Calloc(std::size_t count, std::size_t size);
// Resizes a block. On failure the old block has been freed and null is
// returned: the caller must not free it again. A null block allocates.
void* Mem_Realloc(void* block, std::size_t bytes);
// Frees a block (null is allowed). A registered block is subtracted from the
// current count; any other block is freed without counting.
void Mem_Free(void* block);

// ---- Sizes of arrays ----

// The largest block that a byte size computed from a count may ask for: what
// a 32-bit process can address at most. The library is a 32-bit DLL; the
// native build refuses the same requests instead of attempting them, so that
// both builds fail alike.
constexpr uint64_t kMemLargestBlock = SIZE_MAX < UINT32_MAX ? SIZE_MAX : UINT32_MAX;

// bytes = count x itemBytes, or false (bytes untouched) when that is above
// kMemLargestBlock. The product is formed in 64 bits, so it cannot wrap.
bool Mem_BlockBytes(uint64_t count, uint64_t itemBytes, std::size_t* bytes);

// ---- Typed vectors (not zero-filled; null for a negative count or one
// whose byte size is above kMemLargestBlock) ----

double* Mem_AllocDoubles(int32_t n);
int32_t* Mem_AllocInts(int32_t n);
MemPair* Mem_AllocPairs(int32_t n);

// ---- For tests ----

// Lets the next `allowed` run-time allocations of the tracked allocator
// (blocks and its own registry) succeed and makes every later one fail; a
// negative value switches failures off again.
void Mem_FailAllocationsAfterForTesting(int32_t allowed);

// The functions the tracked blocks come from (the registry's own arrays
// always use the run-time allocator). A test may put its own in place, for
// instance one that hands a freed address out again at once; null restores
// the run-time allocator.
struct MemBlockAllocator {
    void* (*alloc)(std::size_t bytes);
    void* (*realloc)(void* block, std::size_t bytes);
    void (*free)(void* block);
};
void Mem_SetBlockAllocatorForTesting(const MemBlockAllocator* allocator);

#endif
