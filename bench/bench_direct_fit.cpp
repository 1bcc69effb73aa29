// Direct interpolation: the time to form and factor the interpolation system
// of N random 3D centres (biharmonic kernel, linear polynomial) at the
// coarsest-level size of the multilevel fitter (850), the default largest
// factor (3000) and the largest allowed (5000), and one solve at 3000.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "surface/frame/basic_function.h"
#include "surface/fit/direct_fit.h"
#include "surface/frame/tracked_memory.h"

namespace {

struct Centres {
  std::vector<double> flat;
  std::vector<double*> rows;
  std::vector<double> values;
  explicit Centres(int n) : flat(3 * static_cast<size_t>(n)), rows(n), values(n) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& v : flat) v = u(rng);
    for (int i = 0; i < n; ++i) {
      rows[i] = &flat[3 * static_cast<size_t>(i)];
      values[i] = rows[i][0] * rows[i][1] - rows[i][2];
    }
  }
};

BasicFunctionKernel Biharmonic() {
  BasicFunctionKernel k;
  BasicFunction_Init(0, 3, 1, 0.0, 0, &k, nullptr);
  return k;
}

DirectFitOptions LargestFactor() {
  DirectFitOptions o;
  Rbf_DirectDefaultOptions(&o);
  o.MaxCholeskySize = 5000;
  return o;
}

void Factor(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Centres c(n);
  const BasicFunctionKernel k = Biharmonic();
  const DirectFitOptions o = LargestFactor();
  for (auto _ : state) {
    InterpolationData data;
    if (Rbf_FactorInterpolation(n, c.rows.data(), &k, &o, &data, nullptr) != 0)
      state.SkipWithError("factoring failed");
    Rbf_FreeInterpolation(&data);
  }
  state.counters["centres"] = n;
}

void Solve(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const Centres c(n);
  const BasicFunctionKernel k = Biharmonic();
  const DirectFitOptions o = LargestFactor();
  InterpolationData data;
  Rbf_FactorInterpolation(n, c.rows.data(), &k, &o, &data, nullptr);
  double* coeffs = Mem_AllocDoubles(n + 4);
  double centre[3];
  for (auto _ : state) {
    if (Rbf_SolveInterpolation(n, c.values.data(), &data, &coeffs, centre, nullptr) != 0)
      state.SkipWithError("solve failed");
    benchmark::DoNotOptimize(coeffs[0]);
  }
  Mem_Free(coeffs);
  Rbf_FreeInterpolation(&data);
}

BENCHMARK(Factor)->Arg(850)->Unit(benchmark::kMillisecond);
BENCHMARK(Factor)->Arg(3000)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Solve)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
