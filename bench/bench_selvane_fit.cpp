// The fit operation on sphere density data as the scan pipeline makes it
// (biharmonic kernel, linear polynomial, 256 MB of memory): fit types 0
// (every point a centre), 1 (centre reduction) and 2 (error bar) at about
// 10^4, 10^5 and 10^6 points. One table at the end gives per run the point
// count, the time, the levels and level-1 iterations of the multilevel
// fitter (type 0, which is one multilevel fit), the centres, the largest
// miss at 1000 sampled data points against the accuracy, and the peak of
// tracked memory.
//
// Run with --benchmark_filter=/10000/ (or /100000/) to keep to the smaller
// rows; the 10^6 rows take minutes each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "surface/fit/dd_fit.h"
#include "surface/fit/density.h"
#include "surface/fit/fit_attributes.h"
#include "surface/fit/fit_operations.h"
#include "surface/fit/rapid_eval.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/frame/tracked_memory.h"

namespace {

constexpr uint32_t kMemory = 256u << 20;
constexpr double kTwoPi = 6.283185307179586;

struct Row {
    int32_t points = 0;
    int32_t type = 0;
    double seconds = 0.0;
    int32_t levels = -1;
    int32_t iterations = -1;
    int32_t centres = 0;
    double miss = 0.0;
    double accuracy = 0.0;
    double peakMB = 0.0;
    int status = 0;
};
std::vector<Row> g_rows;

// Sphere of radius 40 with n points and normals, made into density data
// with the pipeline's settings; *spacing receives the mean point spacing.
void SphereDensity(PointList3* list, int32_t n, double* spacing) {
    PointList3_Create(list, n, 1, 0, 0, 0, 1);
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int32_t i = 0; i < n; ++i) {
        const double z = 2.0 * u(rng) - 1.0, t = kTwoPi * u(rng), r = std::sqrt(1.0 - z * z);
        const double g[3] = {r * std::cos(t), r * std::sin(t), z};
        for (int k = 0; k < 3; ++k) {
            list->Gradient[3 * i + k] = g[k];
            list->Location[3 * i + k] = 40.0 * g[k];
        }
        list->Value[i] = 0.0;
    }
    list->Count = n;
    *spacing = std::sqrt(2.0 * kTwoPi * 1600.0 / n);
    DensityAttributes a;
    SetDensityAttrDefaults(&a);
    a.FixedLength = 1;
    a.GridPoints = 100;
    Selvane_DensityFromNormals3(list, -1, 5.0 * *spacing, 0.0, &a, nullptr);
}

// The largest |s(x) - f| at 1000 points spread over the list, by the
// evaluation front.
double SampledMiss(const Solution3& s, const PointList3& list) {
    BasicFunctionKernel k{};
    BasicFunction_Init(kBasicBiharmonic, 3, 1, 0.0, 1, &k, nullptr);
    std::vector<double*> centres(static_cast<size_t>(s.CentreCount)), points;
    for (int32_t j = 0; j < s.CentreCount; ++j) centres[j] = &s.Centres[3 * j];
    std::vector<double> truth;
    const int32_t step = std::max(1, list.Count / 1000);
    for (int32_t i = 0; i < list.Count && points.size() < 1000; i += step) {
        points.push_back(&list.Location[3 * i]);
        truth.push_back(list.Value[i]);
    }
    std::vector<double> values(points.size());
    RapidEvalOptions o;
    RapidEval_DefaultOptions(&o);
    RbfEval_Points(s.CentreCount, &k, centres.data(), s.Coeffs, s.PolyBase, &o, nullptr,
                   0.001 * std::fabs(s.AchievedAccuracy) + 1e-12, static_cast<int32_t>(points.size()), points.data(),
                   values.data(), nullptr, 0.0);
    double worst = 0.0;
    for (size_t i = 0; i < points.size(); ++i) worst = std::fmax(worst, std::fabs(values[i] - truth[i]));
    return worst;
}

// Levels and level-1 iterations of the one multilevel fit behind type 0,
// run as that type runs it (defaults, polynomial about the box centre).
void MultilevelCounts(const PointList3& list, double accuracy, Row* row) {
    std::vector<double*> rows(static_cast<size_t>(list.Count));
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k) lo[k] = hi[k] = list.Location[k];
    for (int32_t i = 0; i < list.Count; ++i) {
        rows[i] = &list.Location[3 * i];
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::fmin(lo[k], rows[i][k]);
            hi[k] = std::fmax(hi[k], rows[i][k]);
        }
    }
    BasicFunctionKernel k{};
    BasicFunction_Init(kBasicBiharmonic, 3, 1, 0.0, 1, &k, nullptr);
    DDFitOptions o;
    DDFit_DefaultOptions(&o);
    o.Direct.AllowCentredPoly = 2;
    for (int a = 0; a < 3; ++a) o.Direct.PolyCentre[a] = (lo[a] + hi[a]) * 0.5;
    double shift[3];
    double* coeffs = nullptr;
    DDFitWorkspace ws{};
    // Inside a tracking level, so that what it frees is taken off the count
    // again and the next row's peak starts from the true count.
    Mem_TrackBegin();
    DDFit_Run(list.Count, rows.data(), list.Value, &k, accuracy, kMemory, &o, &ws, &coeffs, shift, nullptr, 1.0);
    row->levels = ws.NumLevels;
    row->iterations = ws.Levels ? ws.Levels[0].Iterations : 0;
    DDFit_FreeWorkspace(&ws);
    Mem_Free(coeffs);
    Mem_TrackEnd();
}

void Fit(benchmark::State& state) {
    const int32_t target = static_cast<int32_t>(state.range(0));
    const int32_t type = static_cast<int32_t>(state.range(1));
    PointList3 list{};
    double spacing = 0.0;
    SphereDensity(&list, target / 2, &spacing);
    // Values span about ten spacings; types 0 and 1 fit to a hundredth of
    // that, the error bar to a twentieth.
    const double accuracy = (type == FitType_ErrorBar ? 0.05 : 0.01) * 10.0 * spacing;
    Row row;
    row.points = list.Count;
    row.type = type;
    row.accuracy = accuracy;
    for (auto _ : state) {
        Solution3 sol{};
        FitAttributes a;
        SetFitAttrDefaults(&a);
        a.FitType = type;
        Mem_TrackBegin();
        Mem_SetPeakBytes(Mem_CurrentBytes());
        const std::size_t before = Mem_CurrentBytes();
        const auto start = std::chrono::steady_clock::now();
        row.status = Selvane_Fit3(&sol, &list, -1, accuracy, kMemory, &a, nullptr);
        row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        row.peakMB = static_cast<double>(Mem_PeakBytes() - before) / 1048576.0;
        Mem_TrackEnd();
        state.SetIterationTime(row.seconds);
        row.centres = sol.CentreCount;
        row.miss = SampledMiss(sol, list);
        Solution3_Free(&sol);
    }
    if (type == FitType_Direct) MultilevelCounts(list, accuracy, &row);
    state.counters["points"] = row.points;
    state.counters["centres"] = row.centres;
    state.counters["peakMB"] = row.peakMB;
    g_rows.push_back(row);
    PointList3_Free(&list);
}

}  // namespace

BENCHMARK(Fit)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1, 2}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n%9s %4s %9s %6s %9s %8s %10s %10s %9s %6s\n", "N", "type", "time(s)", "levels", "L1 itns", "centres",
                "miss", "accuracy", "peak MB", "status");
    for (const Row& r : g_rows) {
        char levels[16] = "-", itns[16] = "-";
        if (r.levels >= 0) std::snprintf(levels, sizeof(levels), "%d", r.levels);
        if (r.iterations >= 0) std::snprintf(itns, sizeof(itns), "%d", r.iterations);
        std::printf("%9d %4d %9.2f %6s %9s %8d %10.3g %10.3g %9.1f %6d\n", r.points, r.type, r.seconds, levels, itns,
                    r.centres, r.miss, r.accuracy, r.peakMB, r.status);
    }
    benchmark::Shutdown();
    return 0;
}
