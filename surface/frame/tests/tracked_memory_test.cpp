#include "surface/frame/tracked_memory.h"

#include "surface/frame/tests/tracked_memory_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using TrackedMemory = TrackedMemoryTest;

std::vector<void*> AllocMany(int count, std::size_t bytes) {
    std::vector<void*> blocks;
    for (int i = 0; i < count; ++i) blocks.push_back(Mem_Alloc(bytes));
    return blocks;
}

TEST_F(TrackedMemory, CountsAndPeakFollowAllocReallocAndFree) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* a = Mem_Alloc(100);
    void* b = Mem_Calloc(10, 30);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(b)[299], 0);
    EXPECT_EQ(Mem_CurrentBytes(), 400u);
    EXPECT_EQ(Mem_PeakBytes(), 400u);

    a = Mem_Realloc(a, 250);  // up by 150: the peak follows
    EXPECT_EQ(Mem_CurrentBytes(), 550u);
    EXPECT_EQ(Mem_PeakBytes(), 550u);
    a = Mem_Realloc(a, 20);  // down by 230: the peak stays
    EXPECT_EQ(Mem_CurrentBytes(), 320u);
    EXPECT_EQ(Mem_PeakBytes(), 550u);

    void* c = Mem_Realloc(nullptr, 64);  // a null block allocates and registers
    EXPECT_EQ(Mem_CurrentBytes(), 384u);
    EXPECT_EQ(Mem_SlotCount(), 3);

    Mem_Free(b);
    Mem_Free(a);
    Mem_Free(c);
    Mem_Free(nullptr);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    EXPECT_EQ(Mem_PeakBytes(), 550u);
    EXPECT_EQ(Mem_SlotCount(), 0);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, HolesAreNotReusedAndFreeingTheLastSlotDropsPastHoles) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    std::vector<void*> blocks = AllocMany(5, 8);
    Mem_Free(blocks[1]);
    Mem_Free(blocks[2]);
    EXPECT_EQ(Mem_SlotCount(), 5);
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 3);

    void* next = Mem_Alloc(8);  // goes to slot 5, not into a hole
    EXPECT_EQ(Mem_SlotCount(), 6);
    EXPECT_EQ(Mem_CountLiveBlocks(1, 3), 0);
    EXPECT_EQ(Mem_CountLiveBlocks(5, 0), 1);
    EXPECT_EQ(Mem_CountLiveBlocks(3, 100), 3);

    Mem_Free(next);
    EXPECT_EQ(Mem_SlotCount(), 5);
    Mem_Free(blocks[4]);
    Mem_Free(blocks[3]);  // the last slot now: the count drops past slots 1 and 2
    EXPECT_EQ(Mem_SlotCount(), 1);
    Mem_Free(blocks[0]);
    EXPECT_EQ(Mem_SlotCount(), 0);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, FullRegistryCompactsBeforeItGrows) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    std::vector<void*> blocks = AllocMany(kMemRegistryInitialSlots, 4);
    EXPECT_EQ(Mem_SlotCount(), kMemRegistryInitialSlots);
    for (int i = 0; i < 100; ++i) Mem_Free(blocks[2 * i]);
    EXPECT_EQ(Mem_SlotCount(), kMemRegistryInitialSlots);

    void* extra = Mem_Alloc(4);  // compaction frees 100 slots, no growth
    EXPECT_EQ(Mem_SlotCapacity(), kMemRegistryInitialSlots);
    EXPECT_EQ(Mem_SlotCount(), kMemRegistryInitialSlots - 100 + 1);
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), Mem_SlotCount());

    // Every block, moved or not, is still found and subtracted.
    for (int i = 0; i < 100; ++i) Mem_Free(blocks[2 * i + 1]);
    for (int i = 200; i < kMemRegistryInitialSlots; ++i) Mem_Free(blocks[i]);
    Mem_Free(extra);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    EXPECT_EQ(Mem_SlotCount(), 0);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, TheBlockAfterTenThousandLiveOnesGrowsTheRegistry) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    EXPECT_EQ(Mem_SlotCapacity(), 10000);
    std::vector<void*> blocks = AllocMany(10000, 1);
    EXPECT_EQ(Mem_SlotCapacity(), 10000);
    blocks.push_back(Mem_Alloc(1));
    EXPECT_EQ(Mem_SlotCapacity(), 14000);
    EXPECT_EQ(Mem_SlotCount(), 10001);
    for (int i = 0; i < 3999; ++i) blocks.push_back(Mem_Alloc(1));
    blocks.push_back(Mem_Alloc(1));
    EXPECT_EQ(Mem_SlotCapacity(), 19600);
    EXPECT_EQ(Mem_CurrentBytes(), blocks.size());
    for (void* block : blocks) Mem_Free(block);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, NestedLevelsShareOneRegistry) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* outer = Mem_Alloc(10);
    ASSERT_EQ(Mem_TrackBegin(), 0);
    EXPECT_EQ(Mem_TrackDepth(), 1);
    void* inner = Mem_Alloc(20);
    Mem_TrackEnd();
    EXPECT_EQ(Mem_TrackDepth(), 0);
    EXPECT_EQ(Mem_SlotCount(), 2);
    Mem_Free(inner);
    EXPECT_EQ(Mem_CurrentBytes(), 10u);

    Mem_TrackEnd();  // the blocks stay, and so do the counts
    EXPECT_EQ(Mem_TrackDepth(), -1);
    EXPECT_EQ(Mem_SlotCount(), 0);
    EXPECT_EQ(Mem_CurrentBytes(), 10u);
    Mem_Free(outer);  // freed, but no longer known: the count stays
    EXPECT_EQ(Mem_CurrentBytes(), 10u);

    void* untracked = Mem_Alloc(5);  // counted without a registry, never subtracted
    EXPECT_EQ(Mem_CurrentBytes(), 15u);
    Mem_Free(untracked);
    EXPECT_EQ(Mem_CurrentBytes(), 15u);
}

TEST_F(TrackedMemory, FreeAllAndEndFreeAllReleaseEveryRegisteredBlock) {
    Mem_SetCurrentBytes(1000);  // blocks of earlier operations
    ASSERT_EQ(Mem_TrackBegin(), 0);
    AllocMany(3, 100);
    Mem_FreeAllTracked();
    EXPECT_EQ(Mem_CurrentBytes(), 1000u);
    EXPECT_EQ(Mem_SlotCount(), 0);

    AllocMany(2, 50);
    ASSERT_EQ(Mem_TrackBegin(), 0);
    Mem_TrackEndFreeAll();  // inner level: only the nesting drops
    EXPECT_EQ(Mem_SlotCount(), 2);
    Mem_TrackEndFreeAll();
    EXPECT_EQ(Mem_TrackDepth(), -1);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
}

TEST_F(TrackedMemory, ForgetAndRecountAndUnknownBlocks) {
    void* early = Mem_Alloc(7);  // allocated before tracking
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* kept = Mem_Alloc(40);
    void* forgotten = Mem_Alloc(60);
    Mem_Forget(forgotten);
    EXPECT_EQ(Mem_SlotCount(), 1);
    EXPECT_EQ(Mem_CurrentBytes(), 107u);
    Mem_Free(forgotten);
    EXPECT_EQ(Mem_CurrentBytes(), 107u);

    // A block the registry does not know is resized without counting, and
    // its successor is not registered.
    early = Mem_Realloc(early, 700);
    EXPECT_EQ(Mem_CurrentBytes(), 107u);
    EXPECT_EQ(Mem_SlotCount(), 1);

    EXPECT_EQ(Mem_RecountCurrent(), 1);
    EXPECT_EQ(Mem_CurrentBytes(), 40u);
    EXPECT_EQ(Mem_RecountCurrent(), 0);
    Mem_Free(kept);
    Mem_Free(early);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, DisownedBlocksLeaveTheCountAndStayUsable) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* kept = Mem_Alloc(40);
    auto* handed = static_cast<char*>(Mem_Alloc(60));
    void* unknown = std::malloc(8);
    EXPECT_EQ(Mem_PeakBytes(), 100u);
    Mem_Disown(handed);
    Mem_Disown(unknown);
    Mem_Disown(nullptr);
    EXPECT_EQ(Mem_CurrentBytes(), 40u);
    EXPECT_EQ(Mem_PeakBytes(), 100u);
    EXPECT_EQ(Mem_SlotCount(), 1);
    std::memset(handed, 1, 60);
    // Its new owner frees it with the run-time allocator, outside the count.
    Mem_Free(handed);
    std::free(unknown);
    EXPECT_EQ(Mem_CurrentBytes(), 40u);
    Mem_Free(kept);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, ReallocOfTheLastSlotKeepsItRegistered) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* first = Mem_Alloc(8);
    void* last = Mem_Alloc(8);
    last = Mem_Realloc(last, 4096);
    EXPECT_EQ(Mem_SlotCount(), 2);
    void* after = Mem_Alloc(8);
    EXPECT_EQ(Mem_SlotCount(), 3);
    Mem_Free(last);
    EXPECT_EQ(Mem_CurrentBytes(), 16u);
    Mem_Free(first);
    Mem_Free(after);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, FailedReallocFreesTheOldBlockAndSubtractsIt) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* block = Mem_Alloc(300);
    Mem_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(Mem_Realloc(block, 600), nullptr);  // the old block is gone
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    EXPECT_EQ(Mem_SlotCount(), 0);
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, RegistryThatCannotBeCreatedLeavesOperationsUntracked) {
    int status = 2;
    int allowed = 0;
    for (; status != 0 && allowed < 1000; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Mem_TrackBegin();
        Mem_FailAllocationsAfterForTesting(-1);
        if (status != 0) {
            EXPECT_EQ(status, 2) << allowed;
            EXPECT_EQ(Mem_TrackDepth(), -1);
        }
    }
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Mem_TrackDepth(), 0);
    EXPECT_GT(allowed, 3);  // the registry record, its two arrays and its index
    Mem_TrackEnd();
}

TEST_F(TrackedMemory, RegistryThatCannotGrowStopsTrackingButKeepsTheBlock) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    std::vector<void*> blocks = AllocMany(10000, 2);
    // One allocation for the block itself, then the registry's growth fails.
    Mem_FailAllocationsAfterForTesting(1);
    void* block = Mem_Alloc(2);
    Mem_FailAllocationsAfterForTesting(-1);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Mem_TrackDepth(), -1);
    EXPECT_EQ(Mem_CurrentBytes(), 20002u);
    blocks.push_back(block);
    for (void* b : blocks) Mem_Free(b);
    EXPECT_EQ(Mem_CurrentBytes(), 20002u);
}

TEST_F(TrackedMemory, LockIsUsableOnceInitialised) {
    Mem_Lock();  // not yet initialised: nothing happens
    Mem_Unlock();
    Mem_InitLock();
    ASSERT_EQ(Mem_TrackBegin(), 0);
    void* block = Mem_Alloc(16);
    Mem_Free(block);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

// The registry as described for the library: a slot array searched from the
// newest slot backwards. Random traffic through the real allocator must give
// the same slot counts, live counts and byte counts.
class ReferenceRegistry {
  public:
    ReferenceRegistry() : addresses_(kMemRegistryInitialSlots), sizes_(kMemRegistryInitialSlots) {}

    void Add(void* block, std::size_t bytes) {
        if (count_ == Capacity()) Compact();
        if (count_ == Capacity()) {
            const auto capacity = static_cast<std::size_t>(Capacity() * kMemRegistryGrowth);
            addresses_.resize(capacity);
            sizes_.resize(capacity);
        }
        addresses_[count_] = block;
        sizes_[count_] = bytes;
        ++count_;
        current_ += bytes;
    }
    void Remove(void* block) {
        const int slot = Find(block);
        current_ -= sizes_[slot];
        addresses_[slot] = nullptr;
        sizes_[slot] = 0;
        if (slot == count_ - 1) {
            while (count_ > 0 && !addresses_[count_ - 1]) --count_;
        }
    }
    void Replace(void* block, void* resized, std::size_t bytes) {
        const int slot = Find(block);
        current_ += bytes - sizes_[slot];
        addresses_[slot] = resized;
        sizes_[slot] = bytes;
    }
    int Count() const { return count_; }
    int Capacity() const { return static_cast<int>(addresses_.size()); }
    int Live() const {
        int live = 0;
        for (int i = 0; i < count_; ++i) live += addresses_[i] != nullptr;
        return live;
    }
    std::size_t Current() const { return current_; }

  private:
    int Find(void* block) const {
        for (int i = count_ - 1; i > 0; --i) {
            if (addresses_[i] == block) return i;
        }
        return 0;
    }
    void Compact() {
        int hi = count_ - 1;
        int lo = 0;
        auto settle = [&] {
            while (hi > 0 && !addresses_[hi]) --hi;
            while (lo < hi && addresses_[lo]) ++lo;
        };
        settle();
        while (lo < hi) {
            addresses_[lo] = addresses_[hi];
            sizes_[lo] = sizes_[hi];
            addresses_[hi] = nullptr;
            sizes_[hi] = 0;
            settle();
        }
        count_ = lo + 1;
    }

    std::vector<void*> addresses_;
    std::vector<std::size_t> sizes_;
    int count_ = 0;
    std::size_t current_ = 0;
};

TEST_F(TrackedMemory, RandomTrafficMatchesTheReferenceRegistry) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    ReferenceRegistry reference;
    std::vector<void*> live;
    std::mt19937 random(12345);
    for (int step = 0; step < 120000; ++step) {
        // Mostly growing up to about 25000 live blocks, then mostly shrinking.
        const int phase = step < 60000 ? 70 : 30;
        const int roll = static_cast<int>(random() % 100);
        if (live.empty() || roll < phase) {
            const std::size_t bytes = 1 + random() % 64;
            void* block = Mem_Alloc(bytes);
            reference.Add(block, bytes);
            live.push_back(block);
        } else if (roll < phase + 5) {
            const std::size_t at = random() % live.size();
            const std::size_t bytes = 1 + random() % 128;
            void* resized = Mem_Realloc(live[at], bytes);
            reference.Replace(live[at], resized, bytes);
            live[at] = resized;
        } else {
            const std::size_t at = random() % live.size();
            reference.Remove(live[at]);
            Mem_Free(live[at]);
            live[at] = live.back();
            live.pop_back();
        }
        if (step % 997 == 0) {
            ASSERT_EQ(Mem_SlotCount(), reference.Count()) << step;
            ASSERT_EQ(Mem_SlotCapacity(), reference.Capacity()) << step;
            ASSERT_EQ(Mem_CountLiveBlocks(0, 0), reference.Live()) << step;
            ASSERT_EQ(Mem_CurrentBytes(), reference.Current()) << step;
        }
    }
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), static_cast<int>(live.size()));
    for (void* block : live) Mem_Free(block);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

// A block allocator that hands the most recently freed address out first,
// whichever thread freed it, and always moves a block it resizes: the reuse
// that a real heap shows only now and then happens at nearly every step.
namespace reuse {

constexpr std::size_t kBlockBytes = 512;
std::mutex lock;
std::vector<void*> freed;

void* Alloc(std::size_t bytes) {
    if (bytes > kBlockBytes) return nullptr;
    std::lock_guard<std::mutex> hold(lock);
    if (freed.empty()) return std::malloc(kBlockBytes);
    void* block = freed.back();
    freed.pop_back();
    return block;
}

void Free(void* block) {
    std::lock_guard<std::mutex> hold(lock);
    freed.push_back(block);
}

void* Realloc(void* block, std::size_t bytes) {
    void* moved = Alloc(bytes);
    if (!moved) return nullptr;
    if (block) {
        std::memcpy(moved, block, kBlockBytes);
        Free(block);
        // Returns late, as a heap busy with other threads may: the freed
        // address is someone else's by then.
        std::this_thread::yield();
    }
    return moved;
}

void Release() {
    for (void* block : freed) std::free(block);
    freed.clear();
}

}  // namespace reuse

// Threads that stop together after every round and report the bytes they
// hold, so that the main thread can compare the count with them.
class Rounds {
  public:
    explicit Rounds(int threads) : threads_(threads) {}

    // Called by a worker at the end of a round; returns when the main thread
    // has looked.
    void Arrive(std::size_t held) {
        std::unique_lock<std::mutex> hold(lock_);
        const int round = round_;
        held_ += held;
        if (++arrived_ == threads_) changed_.notify_all();
        changed_.wait(hold, [&] { return round_ != round; });
    }
    // Called by the main thread: waits for every worker, returns the bytes
    // they hold, and lets them go on after `look` has run.
    template <typename Look>
    void Gather(Look look) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [&] { return arrived_ == threads_; });
        look(held_);
        held_ = 0;
        arrived_ = 0;
        ++round_;
        changed_.notify_all();
    }

  private:
    const int threads_;
    std::mutex lock_;
    std::condition_variable changed_;
    int arrived_ = 0;
    int round_ = 0;
    std::size_t held_ = 0;
};

struct Held {
    void* block;
    std::size_t bytes;
};

// Each thread keeps a few blocks of sizes that only it uses, and allocates,
// resizes and frees them at random; after every round it reports what it
// holds, and at the end it frees all of it.
void Traffic(int thread, int rounds, int steps, Rounds* stops) {
    std::mt19937 random(977 * thread + 1);
    std::vector<Held> held;
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < steps; ++step) {
            const int roll = static_cast<int>(random() % 3);
            const std::size_t bytes = 8 * (thread + 1) + 64 * (random() % 4);
            if (held.size() < 2 || (roll == 0 && held.size() < 8)) {
                held.push_back({Mem_Alloc(bytes), bytes});
            } else if (roll == 1) {
                Held& h = held[random() % held.size()];
                h = {Mem_Realloc(h.block, bytes), bytes};
            } else {
                const std::size_t at = random() % held.size();
                Mem_Free(held[at].block);
                held[at] = held.back();
                held.pop_back();
            }
        }
        std::size_t total = 0;
        for (const Held& h : held) total += h.bytes;
        stops->Arrive(total);
    }
    for (const Held& h : held) Mem_Free(h.block);
}

TEST_F(TrackedMemory, ThreadsAllocatingResizingAndFreeingAtOnceKeepTheCountsRight) {
    const MemBlockAllocator reusing = {reuse::Alloc, reuse::Realloc, reuse::Free};
    const struct {
        const char* name;
        const MemBlockAllocator* allocator;
    } cases[] = {{"run-time allocator", nullptr}, {"freed addresses reused at once", &reusing}};
    constexpr int kThreads = 4;
    constexpr int kRounds = 40;
    Mem_InitLock();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mem_SetBlockAllocatorForTesting(c.allocator);
        ASSERT_EQ(Mem_TrackBegin(), 0);
        Rounds stops(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) threads.emplace_back(Traffic, t, kRounds, 500, &stops);
        int wrongRounds = 0;
        for (int round = 0; round < kRounds; ++round) {
            stops.Gather([&](std::size_t held) { wrongRounds += Mem_CurrentBytes() != held; });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(wrongRounds, 0) << "rounds whose byte count differed from the bytes the threads held";
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
        EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0);
        EXPECT_EQ(Mem_RecountCurrent(), 0);
        Mem_TrackEnd();
        Mem_SetBlockAllocatorForTesting(nullptr);
        reuse::Release();
    }
}

// Counts whose byte size passes 2^32: in a 32-bit build the product wraps to
// a few bytes, so a block far too small would come back. Every build refuses
// them without asking the heap.
TEST_F(TrackedMemory, TypedVectorsRefuseSizesBeyondThirtyTwoBits) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const struct {
        const char* name;
        void* (*alloc)();
    } cases[] = {
        {"doubles 2^29 (2^32 bytes)", [] { return static_cast<void*>(Mem_AllocDoubles(0x20000000)); }},
        {"doubles 2^29 + 1", [] { return static_cast<void*>(Mem_AllocDoubles(0x20000001)); }},
        {"ints 2^30 + 1", [] { return static_cast<void*>(Mem_AllocInts(0x40000001)); }},
        {"ints INT32_MAX", [] { return static_cast<void*>(Mem_AllocInts(INT32_MAX)); }},
        {"pairs 2^28 + 1", [] { return static_cast<void*>(Mem_AllocPairs(0x10000001)); }},
    };
    for (const auto& c : cases) {
        void* block = c.alloc();
        EXPECT_EQ(block, nullptr) << c.name;
        Mem_Free(block);
    }
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    EXPECT_EQ(Mem_SlotCount(), 0);
    Mem_TrackEnd();

    std::size_t bytes = 7;
    EXPECT_TRUE(Mem_BlockBytes(UINT32_MAX, 1, &bytes));
    EXPECT_EQ(bytes, std::size_t{UINT32_MAX});
    EXPECT_TRUE(Mem_BlockBytes(0x1FFFFFFF, 8, &bytes));
    EXPECT_EQ(bytes, std::size_t{0xFFFFFFF8u});
    EXPECT_FALSE(Mem_BlockBytes(0x20000000, 8, &bytes));
    EXPECT_FALSE(Mem_BlockBytes(0x100000001ull, 1, &bytes));
    EXPECT_EQ(bytes, std::size_t{0xFFFFFFF8u});  // untouched by a refusal
    EXPECT_TRUE(Mem_BlockBytes(0, 16, &bytes));
    EXPECT_EQ(bytes, 0u);
}

TEST_F(TrackedMemory, TypedVectorsAreCountedAndRefuseNegativeCounts) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    double* d = Mem_AllocDoubles(3);
    int32_t* i = Mem_AllocInts(5);
    MemPair* p = Mem_AllocPairs(2);
    EXPECT_EQ(Mem_CurrentBytes(), 3 * 8u + 5 * 4u + 2 * 16u);
    EXPECT_EQ(Mem_AllocDoubles(-1), nullptr);
    EXPECT_EQ(Mem_AllocInts(-1), nullptr);
    EXPECT_EQ(Mem_AllocPairs(-1), nullptr);
    EXPECT_EQ(Mem_Calloc(SIZE_MAX / 2, 4), nullptr);
    Mem_Free(d);
    Mem_Free(i);
    Mem_Free(p);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

}  // namespace
