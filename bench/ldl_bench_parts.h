// Shared by the factorisation benches: their test matrices and the timed
// whole factorisation by the library.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "surface/fit/cholesky.h"
#include "surface/frame/tracked_matrix.h"

namespace bench {

// Well conditioned, symmetric and positive definite (the diagonal outweighs
// each row), in the packed lower-triangle form the library factors, row i
// after row i - 1.
inline std::vector<double> PackedMatrix(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> packed(static_cast<std::size_t>(n) * (n + 1) / 2);
  std::size_t at = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) packed[at++] = i == j ? n : u(rng);
  return packed;
}

// Times the library's LDLᵀ factorisation of the matrix of order
// state.range(0) made from `seed`, copied afresh (untimed) before each run.
inline void TimeWholeFactor(benchmark::State& state, unsigned seed) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> a = PackedMatrix(n, seed);
  double** t = Mem_AllocLowerTriangle(n);
  std::vector<double> scratch(n);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(t[0], a.data(), sizeof(double) * a.size());
    state.ResumeTiming();
    if (Cholesky_LDLFactor(n, t, scratch.data(), nullptr) != 0) state.SkipWithError("not factored");
    benchmark::DoNotOptimize(t[n - 1][n - 1]);
  }
  Mem_FreeMatrix(t);
}

}  // namespace bench
