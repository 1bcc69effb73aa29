// Sweep registration on the first two sweeps of the simulator's limb scan,
// the second moved by the known offset (bench/limb_registration.h): the
// whole run (copies, k-d trees, alignment, moving the sweeps) with the
// dialog's parameters, by rounds. Taking the registration back between runs
// is not timed. bench/sweep_registration_vs_open3d.py compares it with
// Open3D's point-to-plane ICP on the same data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/limb_registration.h"

namespace {

bench::LimbPair& Pair() {
    static bench::LimbPair pair;
    static const bool made = bench::MakeLimbPair(pair);
    if (!made) {
        std::fprintf(stderr, "the limb scan failed\n");
        std::exit(1);
    }
    return pair;
}

void BM_SweepRegistration(benchmark::State& state) {
    RawData& r = Pair().scan->raw();
    SweepRegParameters params;
    params.Iterations = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        const int result = SweepReg_Run(r, params, [](const char*, float) { return true; });
        state.PauseTiming();
        if (result != kSweepRegDone) state.SkipWithError("the registration failed");
        SweepReg_ApplyPending(r);
        state.ResumeTiming();
    }
    state.counters["points"] = r.SweepFirstPoint[2];
}
BENCHMARK(BM_SweepRegistration)->Arg(5)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
