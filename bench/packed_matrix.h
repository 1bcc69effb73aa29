// The test matrices of the factorisation benches: well conditioned,
// symmetric and positive definite (the diagonal outweighs each row), in the
// packed lower-triangle form the library factors, row i after row i - 1.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

namespace bench {

inline std::vector<double> PackedMatrix(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<double> packed(static_cast<std::size_t>(n) * (n + 1) / 2);
  std::size_t at = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) packed[at++] = i == j ? n : u(rng);
  return packed;
}

}  // namespace bench
