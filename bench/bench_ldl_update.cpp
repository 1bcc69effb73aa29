// Growing an L·D·Lᵀ factor by one row against refactoring it, at n = 1000:
// "AppendRow" appends row n to the factor of order n - 1 (O(n²)),
// "Refactor" factors the whole matrix of order n again (O(n³)). The ratio of
// the two times is printed after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/ldl_bench_parts.h"
#include "surface/fit/cholesky.h"
#include "surface/frame/tracked_matrix.h"

namespace {

void Refactor(benchmark::State& state) { bench::TimeWholeFactor(state, 5); }

void AppendRow(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = bench::PackedMatrix(n, 5);
  double** t = Mem_AllocLowerTriangle(n);
  std::memcpy(t[0], a.data(), sizeof(double) * a.size());
  std::vector<double> scratch(n);
  Cholesky_LDLFactor(n - 1, t, scratch.data(), nullptr);
  const std::vector<double> row(t[n - 1], t[n - 1] + n);  // the last row of A, untouched
  for (auto _ : state) {
    Cholesky_AppendRow(t, row.data(), n - 1);  // writes row n - 1 only
    benchmark::DoNotOptimize(t[n - 1][n - 1]);
  }
  Mem_FreeMatrix(t);
}

BENCHMARK(Refactor)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(AppendRow)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double ratio = 0;
  if (reporter.Ratio("Refactor", "AppendRow", &ratio))
    std::printf("Refactor / AppendRow at n = 1000: %.0f\n", ratio);
  benchmark::Shutdown();
  return 0;
}
