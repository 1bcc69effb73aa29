// The scanner simulator must make each field within its 16.7 ms period to
// keep pace at 60 fields per second: the cost of one field of the built-in
// limb scenario (two channels, ray-marched limb) and of a plane.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "sim/processing_unit.h"
#include "sim/scenario.h"
#include "sim/tracker.h"

namespace {

void MakeFields(benchmark::State& state, const std::string& text, double fieldTime) {
  sim::Scenario scenario;
  sim::ScenarioError error;
  if (!sim::ParseScenario(text, &scenario, &error)) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  sim::Tracker tracker(scenario.unitVersion, scenario.trackerSelection, scenario.SecondReceiver(),
                       [](int) { return sim::Vec3{}; });
  tracker.Receive("C", 1);
  sim::ProcessingUnit unit(scenario, tracker);
  // A second's worth of fields along the path, over and over.
  const std::int64_t first = static_cast<std::int64_t>(fieldTime * sim::kFieldsPerSecond);
  std::int64_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(unit.MakeField(first + i++ % sim::kFieldsPerSecond, sim::Press::kScan));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_LimbField(benchmark::State& state) {
  MakeFields(state, sim::DefaultScenarioText(), 3.0);  // the first sweep, over the limb
}
BENCHMARK(BM_LimbField)->Unit(benchmark::kMillisecond);

void BM_PlaneField(benchmark::State& state) {
  MakeFields(state,
             "hardware 2.3.1\nplane 0 0 700 0.1 0 -1\nwand 0 0 0 400 0 0 700\nwand 100 50 0 400 50 0 700\n",
             1.0);
}
BENCHMARK(BM_PlaneField)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
