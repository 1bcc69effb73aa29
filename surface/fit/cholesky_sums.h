// The inner loops shared by the Cholesky factorisations and their updates:
// dot products accumulated in long double, and the largest magnitude of a
// run of doubles (the scale of the pivot tests).
#ifndef SURFACE_FIT_CHOLESKY_SUMS_H
#define SURFACE_FIT_CHOLESKY_SUMS_H

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cholesky_sums {

// 100 double epsilons: pivots below this share of the largest magnitude
// count as zero.
const double kPivotTolerance = 25.0 * 0x1p-50;

inline bool PivotTooSmall(double d, double largest) { return d == 0.0 || std::fabs(d) < largest * kPivotTolerance; }

// Σ a(j)·b(j) for j < n in long double, with four partial sums so that the
// additions do not wait on each other.
long double DotLong(const double* a, const double* b, int32_t n);

// The larger of `largest` and every |x(j)|, j < n. NaN entries are passed
// over, as std::fmax would. A libm call per entry made this scan cost as
// much as the factor updates it guards; two lanes and four chains keep it
// at a fraction of them.
inline double LargestMagnitude(const double* x, int32_t n, double largest) {
    int32_t j = 0;
#if defined(__SSE2__)
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    __m128d m0 = _mm_set1_pd(largest), m1 = m0, m2 = m0, m3 = m0;
    // maxpd returns its second operand when either is NaN: a NaN entry
    // leaves the running maximum alone.
    for (; j + 8 <= n; j += 8) {
        m0 = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(x + j), magnitude), m0);
        m1 = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(x + j + 2), magnitude), m1);
        m2 = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(x + j + 4), magnitude), m2);
        m3 = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(x + j + 6), magnitude), m3);
    }
    m0 = _mm_max_pd(_mm_max_pd(m0, m1), _mm_max_pd(m2, m3));
    m0 = _mm_max_sd(_mm_unpackhi_pd(m0, m0), m0);
    largest = _mm_cvtsd_f64(m0);
#endif
    for (; j < n; ++j) {
        const double v = std::fabs(x[j]);
        if (v > largest) largest = v;
    }
    return largest;
}

// The largest magnitude in a row-pointer lower triangle of order n (0 for
// n = 0).
inline double LargestTriangleMagnitude(int32_t n, const double* const* triangle) {
    double m = 0.0;
    for (int32_t i = 0; i < n; ++i) m = LargestMagnitude(triangle[i], i + 1, m);
    return m;
}

}  // namespace cholesky_sums

#endif
