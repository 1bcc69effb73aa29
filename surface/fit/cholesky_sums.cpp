// Kept out of line: inlined into the callers' loops it ran slower.
#include "surface/fit/cholesky_sums.h"

namespace cholesky_sums {

long double DotLong(const double* a, const double* b, int32_t n) {
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        s0 += static_cast<long double>(a[j]) * b[j];
        s1 += static_cast<long double>(a[j + 1]) * b[j + 1];
        s2 += static_cast<long double>(a[j + 2]) * b[j + 2];
        s3 += static_cast<long double>(a[j + 3]) * b[j + 3];
    }
    for (; j < n; ++j) s0 += static_cast<long double>(a[j]) * b[j];
    return (s0 + s1) + (s2 + s3);
}

}  // namespace cholesky_sums
