// Domain decomposition of scan-like point sets (a 3D sphere shell): the
// decomposition and the factoring of its subdomains within a 256 MB factor
// budget, with the peak of tracked memory; and the update of a factored
// decomposition for 10% appended points against building and factoring it
// anew.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/fit/subdomain_update.h"
#include "surface/frame/tracked_memory.h"

namespace {

const double kBudget = 256.0 * 1024 * 1024;

struct Points {
  std::vector<double> flat;
  std::vector<double*> rows;
  void Reindex() {
    rows.clear();
    for (size_t i = 0; i < flat.size(); i += 3) rows.push_back(&flat[i]);
  }
  int32_t N() const { return static_cast<int32_t>(rows.size()); }
};

// n points in a shell of radii 0.95 to 1 about the origin, appended.
void AddShell(Points* p, int32_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> g(0.0, 1.0);
  std::uniform_real_distribution<double> r(0.95, 1.0);
  for (int32_t i = 0; i < n; ++i) {
    double v[3], s = 0.0;
    for (double& x : v) {
      x = g(rng);
      s += x * x;
    }
    const double f = r(rng) / std::sqrt(s);
    for (double x : v) p->flat.push_back(x * f);
  }
  p->Reindex();
}

// Appended points strictly inside the bounding box of the first ones.
void AddInside(Points* p, int32_t n, const double* box, uint32_t seed) {
  AddShell(p, n, seed);
  for (size_t i = p->flat.size() - 3 * static_cast<size_t>(n); i < p->flat.size(); ++i) {
    const int k = static_cast<int>(i % 3);
    const double lo = box[k], hi = box[3 + k], margin = 1e-6 * (hi - lo);
    p->flat[i] = std::fmin(std::fmax(p->flat[i], lo + margin), hi - margin);
  }
}

BasicFunctionKernel Biharmonic() {
  BasicFunctionKernel k;
  BasicFunction_Init(0, 3, -2, 0.0, 0, &k, nullptr);
  return k;
}

void BM_DecomposeAndFactor(benchmark::State& state) {
  const int32_t n = static_cast<int32_t>(state.range(0));
  Points points;
  AddShell(&points, n, 1);
  BasicFunctionKernel kernel = Biharmonic();
  DomDecompOptions options;
  DomDecomp_DefaultOptions(&options);
  options.MinNumOuter = 4;
  double stored = 0.0;
  int32_t count = 0, factors = 0;
  for (auto _ : state) {
    Mem_TrackBegin();
    Mem_SetPeakBytes(Mem_CurrentBytes());
    SDData sd{};
    if (DomDecomp_Setup(n, 3, points.rows.data(), &options, &sd, nullptr) != 0)
      state.SkipWithError("decomposition failed");
    if (DomDecomp_SetupPreconditioner(points.rows.data(), &sd, &kernel, 0.0, kBudget, &stored,
                                      nullptr, 0.0, nullptr) != 0)
      state.SkipWithError("factoring failed");
    count = sd.count;
    factors = sd.numFactors;
    state.counters["peak_MB"] = static_cast<double>(Mem_PeakBytes()) / (1024.0 * 1024.0);
    DomDecomp_Free(&sd);
    Mem_TrackEndFreeAll();
  }
  state.counters["subdomains"] = count;
  state.counters["factored"] = factors;
  state.counters["stored_MB"] = stored / (1024.0 * 1024.0);
}
BENCHMARK(BM_DecomposeAndFactor)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kSecond);

// Update for 10% more points (then factoring the subdomains that lost their
// factor) against a new decomposition factored from scratch. The argument is
// the outer method: 0 the orthant search (second update mode), 1 the slab
// search (first update mode).
void BM_UpdateAgainstRebuild(benchmark::State& state) {
  const int32_t b = 50000, added = b / 10;
  DomDecompOptions options;
  DomDecomp_DefaultOptions(&options);
  options.OuterMethod = static_cast<int32_t>(state.range(0));
  options.MinNumOuter = 4;
  BasicFunctionKernel kernel = Biharmonic();
  DDFitContext context;
  DDFitContext_Init(&context, &kernel, 0.0);
  double updateSeconds = 0.0, rebuildSeconds = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    Mem_TrackBegin();
    Points points;
    AddShell(&points, b, 2);
    SDData sd{};
    double bytes = 0.0;
    DomDecomp_Setup(b, 3, points.rows.data(), &options, &sd, nullptr);
    DomDecomp_SetupPreconditioner(points.rows.data(), &sd, &kernel, 0.0, 1e15, &bytes, nullptr,
                                  0.0, nullptr);
    AddInside(&points, added, sd.box, 3);
    state.ResumeTiming();

    auto t0 = std::chrono::steady_clock::now();
    int status = Subdomain_UpdateAll(&sd, points.rows.data(), 3, b, b + added, 0.0, &context,
                                     nullptr);
    if (status == 0)
      status = DomDecomp_SetupPreconditioner(points.rows.data(), &sd, &kernel, 0.0, 1e15, &bytes,
                                             nullptr, 0.0, nullptr);
    auto t1 = std::chrono::steady_clock::now();
    if (status != 0) state.SkipWithError("update failed");
    SDData fresh{};
    DomDecomp_Setup(b + added, 3, points.rows.data(), &options, &fresh, nullptr);
    DomDecomp_SetupPreconditioner(points.rows.data(), &fresh, &kernel, 0.0, 1e15, &bytes, nullptr,
                                  0.0, nullptr);
    auto t2 = std::chrono::steady_clock::now();
    updateSeconds = std::chrono::duration<double>(t1 - t0).count();
    rebuildSeconds = std::chrono::duration<double>(t2 - t1).count();

    state.PauseTiming();
    DomDecomp_Free(&sd);
    DomDecomp_Free(&fresh);
    Mem_TrackEndFreeAll();
    state.ResumeTiming();
  }
  state.counters["update_s"] = updateSeconds;
  state.counters["rebuild_s"] = rebuildSeconds;
  state.counters["rebuild_over_update"] = rebuildSeconds / updateSeconds;
  std::printf("outer method %d: update %.3f s, rebuild %.3f s, rebuild/update ratio %.2f\n",
              static_cast<int>(state.range(0)), updateSeconds, rebuildSeconds,
              rebuildSeconds / updateSeconds);
}
BENCHMARK(BM_UpdateAgainstRebuild)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
