// The subdomain factorisation beside LAPACK on the same matrices: the
// library's L·D·Lᵀ (`Cholesky_LDLFactor`, packed rows) against Debian's
// LAPACK dpotrf (L·Lᵀ) and dsytrf (pivoted L·D·Lᵀ), both on a full
// column-major copy. The copies are made with the timer paused. The ratio of
// the library's time to dpotrf's is printed for each order after the runs.
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

extern "C" {
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, size_t uploLength);
void dsytrf_(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work, const int* lwork,
             int* info, size_t uploLength);
}

namespace {

// The same matrix whole, column-major (symmetric, so either triangle serves).
std::vector<double> SquareMatrix(int n) {
  const std::vector<double> packed = bench::PackedMatrix(n, 7);
  std::vector<double> a(static_cast<size_t>(n) * n);
  size_t at = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j, ++at) a[static_cast<size_t>(i) * n + j] = a[static_cast<size_t>(j) * n + i] = packed[at];
  return a;
}

void Library(benchmark::State& state) { bench::TimeWholeFactor(state, 7); }

void LapackPotrf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = SquareMatrix(n);
  std::vector<double> w(a.size());
  int info = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(w.data(), a.data(), sizeof(double) * a.size());
    state.ResumeTiming();
    dpotrf_("L", &n, w.data(), &n, &info, 1);
    if (info != 0) state.SkipWithError("not factored");
    benchmark::DoNotOptimize(w[0]);
  }
}

void LapackSytrf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = SquareMatrix(n);
  std::vector<double> w(a.size());
  std::vector<int> pivots(n);
  const int lwork = 64 * n;
  std::vector<double> work(lwork);
  int info = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(w.data(), a.data(), sizeof(double) * a.size());
    state.ResumeTiming();
    dsytrf_("L", &n, w.data(), &n, pivots.data(), work.data(), &lwork, &info, 1);
    if (info != 0) state.SkipWithError("not factored");
    benchmark::DoNotOptimize(w[0]);
  }
}

const int kOrders[] = {500, 1500, 3000};

void Orders(benchmark::internal::Benchmark* b) {
  for (int n : kOrders) b->Arg(n);
}

BENCHMARK(Library)->Apply(Orders)->Unit(benchmark::kMillisecond);
BENCHMARK(LapackPotrf)->Apply(Orders)->Unit(benchmark::kMillisecond);
BENCHMARK(LapackSytrf)->Apply(Orders)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (int n : kOrders) {
    const std::string arg = "/" + std::to_string(n);
    double potrf = 0, sytrf = 0;
    if (reporter.Ratio("Library" + arg, "LapackPotrf" + arg, &potrf) &&
        reporter.Ratio("Library" + arg, "LapackSytrf" + arg, &sytrf))
      std::printf("n = %d: library / dpotrf %.2f, library / dsytrf %.2f\n", n, potrf, sytrf);
  }
  benchmark::Shutdown();
  return 0;
}
