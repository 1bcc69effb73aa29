// The live path flat out: the built-in limb scenario's first press, field by
// field through scan control (profile, processing, pipe record, repaint
// request), one capture per iteration into a fresh scan. "realtime_multiple"
// is the rate against the video field rate (60 fields per second). The view
// is not part of this program; its level-2 paint every fifth field is not
// drawn, only requested (the "view" label says so).
#include <benchmark/benchmark.h>

#include "bench/live_path.h"

namespace {

void BM_LivePath(benchmark::State& state) {
    live_path::LimbCapture capture;
    if (!capture.Ok()) {
        state.SkipWithError(capture.Error().c_str());
        return;
    }
    live_path::DrainedPipe pipe;
    live_path::CaptureResult last;
    for (auto _ : state) last = live_path::RunCapture(capture, pipe);
    const double fields = last.fields;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * fields));
    state.counters["realtime_multiple"] =
        benchmark::Counter(fields / live_path::kFieldsPerSecond, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["profiles"] = last.profiles;
    state.counters["repaint_requests"] = last.repaintRequests;
    state.SetLabel(live_path::kViewNote);
}
BENCHMARK(BM_LivePath)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
