// The calibration correction's grid search over eight sweeps made with the
// simulator's calibration model: 40 profiles a channel in each sweep, 60
// logged samples each (two channels: 38,400 samples, each re-read for 8181
// candidates), the time the user waits under the wait cursor. Beside it, one
// pass of InterpolateCalibration alone over the same samples, so that the
// search's cost per interpolation can be set against the look-up's own.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/acquisition/tests/correction_scan.h"

namespace {

using namespace correction_test;

constexpr int kCandidates = kCorrectionLineSteps * kCorrectionCountSteps;

struct BenchScan {
    CalibrationData calibration = ModelCalibration(2);
    Offset offsets[2] = {{0.75f, -3.0f}, {-1.25f, 4.0f}};
    ScanShape shape = [] {
        ScanShape s;
        s.profilesPerChannel = 40;
        s.lines = 60;
        s.counts = 1;
        return s;
    }();
    CorrectionScan scan{calibration, 2, offsets, shape};

    // Every logged sample the search reads: (channel, line, count).
    struct Sample {
        int channel;
        float line, count;
    };
    std::vector<Sample> Samples() {
        std::vector<Sample> out;
        const RawData& raw = scan.scan.raw();
        for (int p = 0; p < raw.NumProfiles; ++p) {
            const ProfileLineLog log = ProfileLineLog_Get(raw.Profiles[p]);
            for (int i = 0; i < *log.count; ++i)
                if (log.start[i] > 0)
                    out.push_back({log.channel[i], log.linePosition[i], (log.start[i] + log.end[i]) * 0.5f});
        }
        return out;
    }
};

BenchScan& Scan() {
    static BenchScan scan;
    return scan;
}

void BM_CorrectionSearch(benchmark::State& state) {
    BenchScan& b = Scan();
    const double samples = static_cast<double>(b.Samples().size());
    LutTweak current{};
    CorrectionSearch search{};
    for (auto _ : state) {
        CalibrationCorrection_InitRecords(search.result, search.reset, 0);
        CalibrationCorrection_Search(b.scan.scan.raw(), b.calibration, 2, current, search);
        benchmark::DoNotOptimize(search.improvement);
    }
    if (search.result.lineTweak[0] != b.offsets[0].line || search.result.countTweak[1] != b.offsets[1].count)
        state.SkipWithError("the search did not recover the offset");
    state.counters["samples"] = samples;
    state.counters["ns_per_interpolation"] = benchmark::Counter(
        samples * kCandidates * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CorrectionSearch)->Unit(benchmark::kSecond)->Iterations(3);

void BM_InterpolateAlone(benchmark::State& state) {
    BenchScan& b = Scan();
    const std::vector<BenchScan::Sample> samples = b.Samples();
    Vec3 sum{0, 0, 0};
    for (auto _ : state) {
        for (const BenchScan::Sample& s : samples) {
            Vec3 p;
            if (InterpolateCalibration(b.calibration, s.channel, s.line, s.count, p)) V3_Add(sum, p, sum);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["ns_per_interpolation"] =
        benchmark::Counter(static_cast<double>(samples.size()) * state.iterations(),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InterpolateAlone)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
