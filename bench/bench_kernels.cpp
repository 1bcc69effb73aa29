// Kernel products: y = Φ·λ over n = 5000 random centres in the unit cube
// (the inner loop of direct fitting and exact evaluation). "evals/s" counts
// kernel evaluations, one per unordered pair of centres.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "surface/frame/basic_function.h"

namespace {

void Multiply(benchmark::State& state, int type, int dim, double c, int beta) {
  const int n = static_cast<int>(state.range(0));
  BasicFunctionKernel k;
  if (BasicFunction_Init(type, dim, -2, c, beta, &k, nullptr) != 0) {
    state.SkipWithError("kernel refused");
    return;
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<double> flat(static_cast<size_t>(n) * dim), lambda(n), y(n);
  std::vector<const double*> centres(n);
  for (double& v : flat) v = u(rng);
  for (double& v : lambda) v = u(rng) - 0.5;
  for (int i = 0; i < n; ++i) centres[i] = &flat[static_cast<size_t>(i) * dim];
  for (auto _ : state) {
    k.Multiply(&k, n, centres.data(), lambda.data(), y.data(), nullptr, 1.0);
    benchmark::DoNotOptimize(y.data());
  }
  state.counters["evals/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * n * (n - 1) / 2.0, benchmark::Counter::kIsRate);
}

void Biharmonic3(benchmark::State& s) { Multiply(s, 0, 3, 0.0, 0); }
void Multiquadric3(benchmark::State& s) { Multiply(s, 2, 3, 0.1, 1); }
void Gaussian3(benchmark::State& s) { Multiply(s, 3, 3, 2.0, 0); }
void ApproxSpherical3(benchmark::State& s) { Multiply(s, 7, 3, 0.2, -9); }
void Biharmonic2(benchmark::State& s) { Multiply(s, 0, 2, 0.0, 0); }

BENCHMARK(Biharmonic3)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(Multiquadric3)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(Gaussian3)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(ApproxSpherical3)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(Biharmonic2)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
