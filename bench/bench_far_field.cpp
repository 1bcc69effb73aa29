// Fast far-field evaluators against direct summation.
//
// Each run sets up one evaluator over N centres (uniform in the unit cube, or
// in eight tight clumps) with mixed-sign coefficients at a requested accuracy
// of 1e-6 times the largest value, and evaluates at N points (values) or at
// the centres (products). Counters: set-up, expansion and evaluation seconds,
// peak tracked bytes, the largest error against the direct sum on 1000
// sampled points relative to the largest value, the direct time (the kernel
// operation of the library's kernel table: over all points at N = 10^4, else
// timed on the sample and scaled to all points), the speed-up, the total time
// per N log2 N (nanoseconds), and the floor set by memory bandwidth (reading
// the inputs and writing the values once at the bandwidth measured in this
// run). No other fast-multipole code is packaged: direct summation and that
// floor are the peers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "surface/fit/rapid_biharm2.h"
#include "surface/fit/rapid_biphi3.h"
#include "surface/fit/rapid_mq3.h"
#include "surface/fit/rapid_spherical3.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/tracked_memory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct Points {
    std::vector<double> flat;
    std::vector<const double*> rows;
    explicit Points(size_t n) : flat(3 * n), rows(n) {
        for (size_t i = 0; i < n; ++i) rows[i] = &flat[3 * i];
    }
};

// Centres in three dimensions, or in the plane z = 0 for the 2D kernel.
Points MakeCentres(int32_t n, bool clustered, uint32_t seed, bool plane = false) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::normal_distribution<double> g(0, 0.03);
    double hubs[8][3];
    for (auto& h : hubs)
        for (double& v : h) v = u(rng);
    Points p(n);
    for (int32_t i = 0; i < n; ++i)
        for (int j = 0; j < 3; ++j) p.flat[3 * i + j] = clustered ? hubs[i % 8][j] + g(rng) : u(rng);
    if (plane)
        for (int32_t i = 0; i < n; ++i) p.flat[3 * i + 2] = 0.0;
    return p;
}

// Bytes per second of a large copy, the best of three.
double Bandwidth() {
    static double measured = 0;
    if (measured > 0) return measured;
    std::vector<char> a(size_t(1) << 28, 1), b(a.size());
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        measured = std::max(measured, 2.0 * a.size() / Seconds(t0, Clock::now()));
    }
    return measured;
}

enum Kind { kBiphiValues, kBiphiProduct, kMQProduct, kSphericalProduct, kBiharm2Product };

// The library's direct operation at the listed points.
void Direct(const BasicFunctionKernel& row, int32_t N, const Points& centres, const std::vector<double>& c,
            const std::vector<const double*>& at, double* out) {
    row.PointEval(&row, N, centres.rows.data(), c.data(), static_cast<int32_t>(at.size()), at.data(), out, nullptr, 1);
}

void Run(benchmark::State& state, Kind kind) {
    const int32_t N = static_cast<int32_t>(state.range(0));
    const bool clustered = state.range(1) != 0;
    const bool plane = kind == kBiharm2Product;
    Points centres = MakeCentres(N, clustered, 7, plane);
    std::vector<double> coef(N);
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(-1, 1);
    for (double& v : coef) v = u(rng);
    const bool product = kind != kBiphiValues;
    Points evalPoints = product ? Points(0) : MakeCentres(N, false, 9);
    const std::vector<const double*>& at = product ? centres.rows : evalPoints.rows;

    BasicFunctionKernel row{};
    double supportRadius = std::cbrt(60.0 / N * 3 / (4 * 3.14159265358979323846));
    if (kind == kMQProduct)
        BasicFunction_Init(kBasicMultiquadric, 3, -2, 0.01, 1, &row, nullptr);
    else if (kind == kSphericalProduct)
        BasicFunction_Init(kBasicSpherical, 3, -2, supportRadius, 1, &row, nullptr);
    else
        BasicFunction_Init(kBasicBiharmonic, plane ? 2 : 3, -2, 0, 1, &row, nullptr);

    // The sample, its direct values and the accuracy they give.
    const int32_t sampleCount = std::min(N, 1000);
    std::vector<const double*> sample(sampleCount);
    std::vector<int32_t> sampleIndex(sampleCount);
    for (int32_t i = 0; i < sampleCount; ++i) sampleIndex[i] = static_cast<int32_t>((int64_t(i) * N) / sampleCount);
    for (int32_t i = 0; i < sampleCount; ++i) sample[i] = at[sampleIndex[i]];
    std::vector<double> exact(sampleCount), all(N);
    auto t0 = Clock::now();
    double directSeconds;
    if (N <= 10000) {
        Direct(row, N, centres, coef, at, all.data());
        directSeconds = Seconds(t0, Clock::now());
        for (int32_t i = 0; i < sampleCount; ++i) exact[i] = all[sampleIndex[i]];
    } else {
        Direct(row, N, centres, coef, sample, exact.data());
        directSeconds = Seconds(t0, Clock::now()) * N / sampleCount;
    }
    double largest = 0;
    for (double v : exact) largest = std::max(largest, std::fabs(v));
    const double eps = 1e-6 * largest;

    std::vector<double> values(N);
    double setup = 0, expansion = 0, evaluation = 0;
    size_t peak = 0;
    for (auto _ : state) {
        Mem_TrackBegin();
        const size_t base = Mem_CurrentBytes();
        Mem_SetPeakBytes(base);
        auto a = Clock::now();
        if (kind == kBiphiValues || kind == kBiphiProduct) {
            RapidBiphi3Workspace ws{};
            const int32_t panel = N <= 60000 ? 100 : N <= 200000 ? 200 : 400;
            RapidBiphi3_BuildTree(N, 3, centres.rows.data(), panel, &ws);
            auto b = Clock::now();
            RapidBiphi3_Setup(&ws, coef.data(), 0, eps);
            auto c = Clock::now();
            if (kind == kBiphiValues)
                RapidBiphi3_PointEval(N, 3, centres.rows.data(), coef.data(), N, at.data(), panel, eps, 0, &ws,
                                      values.data(), nullptr, nullptr, 1);
            else
                RapidBiphi3_Multiply(N, 3, centres.rows.data(), coef.data(), panel, eps, &ws, values.data(), nullptr);
            auto d = Clock::now();
            setup = Seconds(a, b), expansion = Seconds(b, c), evaluation = Seconds(c, d);
            double far = 0;
            for (int64_t uses : ws.OrderUses) far += uses;
            state.counters["far_per_point"] = far / N;
            state.counters["order13_share"] = ws.OrderUses[0] / far;
            RapidBiphi3_Free(&ws);
        } else if (kind == kMQProduct) {
            RapidMQ3Workspace ws{};
            const int32_t panel = double(N) * N > 1e7 ? 200 : 100;
            RapidMQ3_InitTree(N, 3, panel, centres.rows.data(), &ws, nullptr);
            auto b = Clock::now();
            RapidMQ3_InitAccuracy(N, 10, 1, 0.01, eps, coef.data(), 0, &ws, nullptr, 1);
            auto c = Clock::now();
            RapidMQ3_PointEval(&ws, N, at.data(), values.data(), nullptr, 1);
            auto d = Clock::now();
            setup = Seconds(a, b), expansion = Seconds(b, c), evaluation = Seconds(c, d);
            RapidMQ3_Free(&ws);
        } else if (kind == kBiharm2Product) {
            RapidBiharm2Workspace ws{};
            RapidBiharm2_InitTree(&ws, N, centres.rows.data(), 40, nullptr, nullptr);
            auto b = Clock::now();
            int64_t ticks = 0;
            RapidBiharm2_InitExpansions(&ws, eps, coef.data(), &ticks);
            auto c = Clock::now();
            RapidBiharm2_Multiply(N, 2, centres.rows.data(), coef.data(), &ws, 40, eps, 0, 0, values.data(), nullptr,
                                  1);
            auto d = Clock::now();
            setup = Seconds(a, b), expansion = Seconds(b, c), evaluation = Seconds(c, d);
            RapidBiharm2_Free(&ws);
        } else {
            RapidSpherical3Workspace ws{};
            RapidSpherical3_Init(N, centres.rows.data(), &row, &ws, nullptr);
            auto b = Clock::now();
            RapidSpherical3_PointEval(&ws, coef.data(), N, at.data(), values.data(), nullptr, 1);
            auto d = Clock::now();
            setup = Seconds(a, b), expansion = 0, evaluation = Seconds(b, d);
            RapidSpherical3_Free(&ws);
        }
        peak = Mem_PeakBytes() - base;
        Mem_TrackEndFreeAll();
        state.SetIterationTime(setup + expansion + evaluation);
    }
    double worst = 0;
    for (int32_t i = 0; i < sampleCount; ++i) worst = std::max(worst, std::fabs(values[sampleIndex[i]] - exact[i]));
    const double total = setup + expansion + evaluation;
    const double bytes = (4.0 * N + 3.0 * at.size()) * 8 + 8.0 * at.size();
    state.counters["setup_s"] = setup;
    state.counters["expand_s"] = expansion;
    state.counters["eval_s"] = evaluation;
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["rel_err"] = largest > 0 ? worst / largest : 0;
    state.counters["direct_s"] = directSeconds;
    state.counters["speedup"] = directSeconds / total;
    state.counters["ns_NlogN"] = 1e9 * total / (N * std::log2(static_cast<double>(N)));
    state.counters["floor_ms"] = 1e3 * bytes / Bandwidth();
}

void Sizes(benchmark::internal::Benchmark* b) {
    for (int64_t n : {10000, 100000, 1000000})
        for (int64_t clustered : {0, 1}) b->Args({n, clustered});
    b->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK_CAPTURE(Run, RapidBiphi3_values, kBiphiValues)->Apply(Sizes);
BENCHMARK_CAPTURE(Run, RapidBiphi3_product, kBiphiProduct)->Apply(Sizes);
BENCHMARK_CAPTURE(Run, RapidMQ3_product, kMQProduct)->Apply(Sizes);
BENCHMARK_CAPTURE(Run, RapidSpherical3_product, kSphericalProduct)->Apply(Sizes);
BENCHMARK_CAPTURE(Run, RapidBiharm2_product, kBiharm2Product)->Apply(Sizes);

BENCHMARK_MAIN();
