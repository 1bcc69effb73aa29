// Tracked allocation and free with many live blocks, as in the fitters: one
// iteration frees one live block and allocates a replacement, with 50 000
// blocks live throughout. "per_op" is the time of one allocation or free.
#include "surface/frame/tracked_memory.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr int kLiveBlocks = 50000;

enum class Order { Oldest, Newest, Random };

void AllocFree(benchmark::State& state, Order order) {
    Mem_TrackBegin();
    std::vector<void*> live;
    live.reserve(kLiveBlocks);
    for (int i = 0; i < kLiveBlocks; ++i) live.push_back(Mem_Alloc(32 + i % 64));
    std::mt19937 random(7);
    std::size_t oldest = 0;
    for (auto _ : state) {
        std::size_t at = 0;
        switch (order) {
            case Order::Oldest: at = oldest; oldest = (oldest + 1) % live.size(); break;
            case Order::Newest: at = (oldest + live.size() - 1) % live.size(); break;
            case Order::Random: at = random() % live.size(); break;
        }
        Mem_Free(live[at]);
        live[at] = Mem_Alloc(48);
        benchmark::DoNotOptimize(live[at]);
    }
    state.counters["per_op"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 2,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["slots"] = Mem_SlotCount();
    for (void* block : live) Mem_Free(block);
    Mem_TrackEnd();
}

void BM_TrackedAllocFree_OldestFirst(benchmark::State& state) { AllocFree(state, Order::Oldest); }
void BM_TrackedAllocFree_NewestFirst(benchmark::State& state) { AllocFree(state, Order::Newest); }
void BM_TrackedAllocFree_Random(benchmark::State& state) { AllocFree(state, Order::Random); }

// The same traffic on the run-time allocator alone, for comparison.
void BM_RuntimeAllocFree_Random(benchmark::State& state) {
    std::vector<void*> live;
    for (int i = 0; i < kLiveBlocks; ++i) live.push_back(std::malloc(32 + i % 64));
    std::mt19937 random(7);
    for (auto _ : state) {
        const std::size_t at = random() % live.size();
        std::free(live[at]);
        live[at] = std::malloc(48);
        benchmark::DoNotOptimize(live[at]);
    }
    state.counters["per_op"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 2,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (void* block : live) std::free(block);
}

BENCHMARK(BM_TrackedAllocFree_OldestFirst);
BENCHMARK(BM_TrackedAllocFree_NewestFirst);
BENCHMARK(BM_TrackedAllocFree_Random);
BENCHMARK(BM_RuntimeAllocFree_Random);

}  // namespace

BENCHMARK_MAIN();
