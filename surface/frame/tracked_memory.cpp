#include "surface/frame/tracked_memory.h"

#include "surface/frame/block_index.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The registry of live blocks. Slots 0 to count - 1 are in use; freed slots
// inside that range hold a null address and size 0 until compaction.
struct Registry {
    void** addresses;
    std::size_t* sizes;
    int32_t capacity;
    int32_t count;
    int32_t nesting;
    BlockIndex index;
};

Registry* g_registry = nullptr;
std::size_t g_current = 0;
std::size_t g_peak = 0;
bool g_lockReady = false;
std::recursive_mutex g_lock;
int32_t g_allocationsLeft = -1;  // failure injection for tests; -1: off

bool InjectedFailure() {
    if (g_allocationsLeft < 0) return false;
    if (g_allocationsLeft == 0) return true;
    --g_allocationsLeft;
    return false;
}

// The run-time allocator. A size of 0 still gives a block of its own, so
// that a null result always means failure.
void* RawAlloc(std::size_t bytes) {
    if (InjectedFailure()) return nullptr;
    return std::malloc(bytes ? bytes : 1);
}

void* RawCalloc(std::size_t count, std::size_t size) {
    if (InjectedFailure()) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
    return std::calloc(count, size);
}

void RawFree(void* block) { std::free(block); }

// The blocks handed out come from the run-time allocator unless a test has
// put another one in its place; the registry's own arrays always do.
MemBlockAllocator g_blocks = {std::malloc, std::realloc, std::free};

void* BlockAlloc(std::size_t bytes) {
    if (InjectedFailure()) return nullptr;
    return g_blocks.alloc(bytes ? bytes : 1);
}

void* BlockRealloc(void* block, std::size_t bytes) {
    if (InjectedFailure()) return nullptr;
    return g_blocks.realloc(block, bytes ? bytes : 1);
}

void BlockFree(void* block) { g_blocks.free(block); }

void* RawAllocForIndex(std::size_t bytes) { return RawAlloc(bytes); }

struct LockGuard {
    LockGuard() { Mem_Lock(); }
    ~LockGuard() { Mem_Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
};

void AddToCurrent(std::size_t bytes) {
    g_current += bytes;
    if (g_current > g_peak) g_peak = g_current;
}

void DestroyRegistry() {
    if (!g_registry) return;
    g_registry->index.Release(RawFree);
    RawFree(g_registry->addresses);
    RawFree(g_registry->sizes);
    RawFree(g_registry);
    g_registry = nullptr;
}

Registry* CreateRegistry() {
    auto* r = static_cast<Registry*>(RawCalloc(1, sizeof(Registry)));
    if (!r) return nullptr;
    new (&r->index) BlockIndex();
    r->addresses = static_cast<void**>(RawCalloc(kMemRegistryInitialSlots, sizeof(void*)));
    r->sizes = static_cast<std::size_t*>(RawCalloc(kMemRegistryInitialSlots, sizeof(std::size_t)));
    if (!r->addresses || !r->sizes ||
        !r->index.Reset(kMemRegistryInitialSlots, r->addresses, RawAllocForIndex, RawFree)) {
        RawFree(r->addresses);
        RawFree(r->sizes);
        RawFree(r);
        return nullptr;
    }
    r->capacity = kMemRegistryInitialSlots;
    return r;
}

// Fills the holes at the front with the entries from the end; the order of
// the registry is not kept. The new count is one past the last live entry.
void Compact(Registry& r) {
    int32_t hi = r.count == r.capacity ? r.count - 1 : r.count;
    int32_t lo = 0;
    auto settle = [&] {
        while (hi > 0 && !r.addresses[hi]) --hi;
        while (lo < hi && r.addresses[lo]) ++lo;
    };
    settle();
    while (lo < hi) {
        void* address = r.addresses[hi];
        r.index.Erase(address, hi);
        r.addresses[lo] = address;
        r.sizes[lo] = r.sizes[hi];
        r.addresses[hi] = nullptr;
        r.sizes[hi] = 0;
        r.index.Insert(address, lo);
        settle();
    }
    r.count = lo + 1;
}

// Grows both arrays by the growth factor. When that fails the registry is
// dropped and tracking stops until the next outermost Mem_TrackBegin.
void Grow(Registry& r) {
    const auto capacity = static_cast<int32_t>(r.capacity * kMemRegistryGrowth);
    auto* addresses = static_cast<void**>(RawCalloc(capacity, sizeof(void*)));
    auto* sizes = static_cast<std::size_t*>(RawCalloc(capacity, sizeof(std::size_t)));
    BlockIndex index;
    if (!addresses || !sizes || !index.Reset(capacity, addresses, RawAllocForIndex, RawFree)) {
        RawFree(addresses);
        RawFree(sizes);
        DestroyRegistry();
        return;
    }
    std::memcpy(addresses, r.addresses, sizeof(void*) * r.capacity);
    std::memcpy(sizes, r.sizes, sizeof(std::size_t) * r.capacity);
    for (int32_t slot = 0; slot < r.count; ++slot) {
        if (addresses[slot]) index.Insert(addresses[slot], slot);
    }
    r.index.Release(RawFree);
    RawFree(r.addresses);
    RawFree(r.sizes);
    r.addresses = addresses;
    r.sizes = sizes;
    r.index = index;
    r.capacity = capacity;
}

void Register(void* block, std::size_t bytes) {
    if (!g_registry || g_registry->capacity == 0) return;
    if (g_registry->count >= g_registry->capacity) Compact(*g_registry);
    if (g_registry->count >= g_registry->capacity) Grow(*g_registry);
    if (!g_registry) return;
    Registry& r = *g_registry;
    r.addresses[r.count] = block;
    r.sizes[r.count] = bytes;
    r.index.Insert(block, r.count);
    ++r.count;
}

int32_t FindSlot(const void* block) {
    if (!g_registry || g_registry->capacity == 0) return -1;
    return g_registry->index.FindNewest(block);
}

// Empties a slot; when it was the last one, the count drops past every empty
// slot below it.
void ClearSlot(int32_t slot) {
    Registry& r = *g_registry;
    r.index.Erase(r.addresses[slot], slot);
    r.addresses[slot] = nullptr;
    r.sizes[slot] = 0;
    if (slot == r.count - 1) {
        int32_t count = slot;
        while (count > 0 && !r.addresses[count - 1]) --count;
        r.count = count;
    }
}

void FreeRegisteredBlocks(bool subtract) {
    Registry& r = *g_registry;
    for (int32_t slot = 0; slot < r.count; ++slot) {
        if (!r.addresses[slot]) continue;
        BlockFree(r.addresses[slot]);
        if (subtract) g_current -= r.sizes[slot];
        r.addresses[slot] = nullptr;
        r.sizes[slot] = 0;
    }
    r.count = 0;
    r.index.Clear();
}

void EndLevel(bool freeBlocks) {
    LockGuard guard;
    if (!g_registry) return;
    if (g_registry->nesting > 0) {
        --g_registry->nesting;
        return;
    }
    if (freeBlocks) {
        FreeRegisteredBlocks(false);
        g_current = 0;
    }
    DestroyRegistry();
}

}  // namespace

int Mem_TrackBegin() {
    LockGuard guard;
    if (g_registry) {
        ++g_registry->nesting;
        return 0;
    }
    g_registry = CreateRegistry();
    return g_registry ? 0 : 2;
}

void Mem_TrackEnd() { EndLevel(false); }

void Mem_TrackEndFreeAll() { EndLevel(true); }

void Mem_FreeAllTracked() {
    LockGuard guard;
    if (g_registry) FreeRegisteredBlocks(true);
}

std::size_t Mem_CurrentBytes() {
    LockGuard guard;
    return g_current;
}

std::size_t Mem_PeakBytes() {
    LockGuard guard;
    return g_peak;
}

void Mem_SetPeakBytes(std::size_t value) {
    LockGuard guard;
    g_peak = value;
}

void Mem_SetCurrentBytes(std::size_t value) {
    LockGuard guard;
    g_current = value;
}

int Mem_RecountCurrent() {
    LockGuard guard;
    std::size_t sum = 0;
    if (g_registry) {
        for (int32_t slot = 0; slot < g_registry->count; ++slot) sum += g_registry->sizes[slot];
    }
    if (sum == g_current) return 0;
    g_current = sum;
    return 1;
}

int32_t Mem_SlotCount() {
    LockGuard guard;
    return g_registry ? g_registry->count : 0;
}

int32_t Mem_CountLiveBlocks(int32_t first, int32_t limit) {
    LockGuard guard;
    if (!g_registry) return 0;
    const int32_t count = g_registry->count;
    const int32_t end = (limit == 0 || limit > count) ? count : limit;
    int32_t live = 0;
    for (int32_t slot = first < 0 ? 0 : first; slot < end; ++slot) {
        if (g_registry->addresses[slot]) ++live;
    }
    return live;
}

int32_t Mem_SlotCapacity() {
    LockGuard guard;
    return g_registry ? g_registry->capacity : 0;
}

int32_t Mem_TrackDepth() {
    LockGuard guard;
    return g_registry ? g_registry->nesting : -1;
}

void Mem_Forget(void* block) {
    if (!block) return;
    LockGuard guard;
    const int32_t slot = FindSlot(block);
    if (slot >= 0) ClearSlot(slot);
}

void Mem_Disown(void* block) {
    if (!block) return;
    LockGuard guard;
    const int32_t slot = FindSlot(block);
    if (slot < 0) return;
    g_current -= g_registry->sizes[slot];
    ClearSlot(slot);
}

void Mem_InitLock() { g_lockReady = true; }

void Mem_Lock() {
    if (g_lockReady) g_lock.lock();
}

void Mem_Unlock() {
    if (g_lockReady) g_lock.unlock();
}

void* Mem_Alloc(std::size_t bytes) {
    // A fresh block is nobody else's yet: allocating it needs no lock.
    void* block = BlockAlloc(bytes);
    if (!block) return nullptr;
    LockGuard guard;
    AddToCurrent(bytes);
    Register(block, bytes);
    return block;
}

void* Mem_Calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    void* block = Mem_Alloc(count * size);
    if (block) std::memset(block, 0, count * size);
    return block;
}

void* Mem_Realloc(void* block, std::size_t bytes) {
    // Locked from before the old block can be freed until its slot names the
    // new one: otherwise another thread may be handed the freed address and
    // register it, and this slot update would then rewrite that thread's slot.
    LockGuard guard;
    void* resized = BlockRealloc(block, bytes);
    if (!resized && block) BlockFree(block);
    if (!g_registry || g_registry->capacity == 0) return resized;
    if (!block) {
        if (resized) {
            AddToCurrent(bytes);
            Register(resized, bytes);
        }
        return resized;
    }
    const int32_t slot = FindSlot(block);
    if (slot < 0) return resized;
    Registry& r = *g_registry;
    if (!resized) {
        g_current -= r.sizes[slot];
        ClearSlot(slot);
        return nullptr;
    }
    // The slot keeps its place: only its address and size change.
    r.index.Erase(block, slot);
    r.addresses[slot] = resized;
    r.index.Insert(resized, slot);
    g_current += bytes - r.sizes[slot];
    if (g_current > g_peak) g_peak = g_current;
    r.sizes[slot] = bytes;
    return resized;
}

void Mem_Free(void* block) {
    if (!block) return;
    {
        LockGuard guard;
        const int32_t slot = FindSlot(block);
        if (slot >= 0) {
            g_current -= g_registry->sizes[slot];
            ClearSlot(slot);
        }
    }
    BlockFree(block);
}

bool Mem_BlockBytes(uint64_t count, uint64_t itemBytes, std::size_t* bytes) {
    if (itemBytes != 0 && count > kMemLargestBlock / itemBytes) return false;
    *bytes = static_cast<std::size_t>(count * itemBytes);
    return true;
}

namespace {

template <typename T>
T* AllocVector(int32_t n) {
    std::size_t bytes = 0;
    if (n < 0 || !Mem_BlockBytes(static_cast<uint64_t>(n), sizeof(T), &bytes)) return nullptr;
    return static_cast<T*>(Mem_Alloc(bytes));
}

}  // namespace

double* Mem_AllocDoubles(int32_t n) { return AllocVector<double>(n); }

int32_t* Mem_AllocInts(int32_t n) { return AllocVector<int32_t>(n); }

MemPair* Mem_AllocPairs(int32_t n) { return AllocVector<MemPair>(n); }

void Mem_FailAllocationsAfterForTesting(int32_t allowed) { g_allocationsLeft = allowed; }

void Mem_SetBlockAllocatorForTesting(const MemBlockAllocator* allocator) {
    LockGuard guard;
    g_blocks = allocator ? *allocator : MemBlockAllocator{std::malloc, std::realloc, std::free};
}
