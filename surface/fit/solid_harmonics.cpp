#include "surface/fit/solid_harmonics.h"

#include <cmath>
#include <cstring>

#include <emmintrin.h>

namespace {

// Low lane minus high lane.
inline double Difference(__m128d v) { return _mm_cvtsd_f64(_mm_sub_sd(v, _mm_unpackhi_pd(v, v))); }

// The integer weights of the degree recurrences, per degree n and order m:
// (n + m)(n - m) divides the regular harmonic, (n + m - 1)(n - m - 1)
// weighs I_{n-2}^m in the irregular one. Formed once, at compile time.
class RecurrenceTable {
  public:
    const double* regularDenominator(int32_t n) const { return regular_ + Harmonic_Index(n, 0); }
    const double* irregularWeight(int32_t n) const { return irregular_ + Harmonic_Index(n, 0); }
    static constexpr int32_t kDegree = Harmonic_MaxDegree;

    constexpr RecurrenceTable() : regular_(), irregular_() {
        for (int32_t n = 0; n <= kDegree; ++n)
            for (int32_t m = 0; m <= n; ++m) {
                regular_[Harmonic_Index(n, m)] = static_cast<double>((n + m) * (n - m));
                irregular_[Harmonic_Index(n, m)] = static_cast<double>((n + m - 1) * (n - m - 1));
            }
    }

  private:
    double regular_[Harmonic_Size(kDegree)];
    double irregular_[Harmonic_Size(kDegree)];
};

constexpr RecurrenceTable kTable;

const RecurrenceTable& Table() { return kTable; }

// A_n^m for any order m (zero outside -n..n).
MemPair Entry(const MemPair* a, int32_t n, int32_t m) {
    if (m > n || -m > n) return {0.0, 0.0};
    if (m >= 0) return a[Harmonic_Index(n, m)];
    const MemPair v = std::conj(a[Harmonic_Index(n, -m)]);
    return (m & 1) ? -v : v;
}

void Clear(FarSeries s, int32_t mDegree) {
    std::memset(static_cast<void*>(s.M), 0, sizeof(MemPair) * static_cast<size_t>(FarSeries_Size(mDegree)));
}

// out_{n+1} += scale_n · (t·∇ of the harmonic series a)_{n+1}, for source
// degrees n = 0..inDegree with n + 1 <= outDegree.
template <typename Scale>
void AddHarmonicDerivative(const MemPair* a, int32_t inDegree, const double* t, MemPair* out, int32_t outDegree,
                           Scale scale) {
    const MemPair minus(0.5 * t[0], -0.5 * t[1]), plus(0.5 * t[0], 0.5 * t[1]);
    for (int32_t n = 0; n <= inDegree && n + 1 <= outDegree; ++n) {
        const double s = scale(n);
        for (int32_t m = 0; m <= n + 1; ++m) {
            const MemPair b = -t[2] * Entry(a, n, m) - minus * Entry(a, n, m - 1) + plus * Entry(a, n, m + 1);
            out[Harmonic_Index(n + 1, m)] += s * b;
        }
    }
}

// out_{n-1} += 2 · harmonic part of (t·x) I_n for the series a (degrees
// 1..inDegree, n - 1 <= outDegree).
void AddTimesPosition(const MemPair* a, int32_t inDegree, const double* t, MemPair* out, int32_t outDegree) {
    const MemPair minus(0.5 * t[0], -0.5 * t[1]), plus(0.5 * t[0], 0.5 * t[1]);
    for (int32_t n = 1; n <= inDegree && n - 1 <= outDegree; ++n) {
        const double s = 2.0 / (2 * n + 1);
        for (int32_t m = 0; m <= n - 1; ++m) {
            const MemPair b = t[2] * static_cast<double>(n * n - m * m) * Entry(a, n, m) -
                              minus * static_cast<double>((n - m + 1) * (n - m)) * Entry(a, n, m - 1) +
                              plus * static_cast<double>((n + m + 1) * (n + m)) * Entry(a, n, m + 1);
            out[Harmonic_Index(n - 1, m)] += s * b;
        }
    }
}

}  // namespace

// The harmonics are formed degree by degree: every order of degree n comes
// from degrees n - 1 and n - 2, so the orders of one degree are independent
// and go through the SSE2 lanes one pair (real, imaginary) at a time,
// instead of one order after another along a chain of dependent steps. Each
// entry is formed by the same operations as the order-by-order recurrence,
// so the values are the same to the bit.
void Harmonic_Regular(const double* x, int32_t degree, MemPair* out) {
    const double z = x[2], r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
    double* o = reinterpret_cast<double*>(out);
    o[0] = 1.0;
    o[1] = 0.0;
    const __m128d vr2 = _mm_set1_pd(r2);
    for (int32_t n = 1; n <= degree; ++n) {
        double* row = o + 2 * Harmonic_Index(n, 0);
        const double* prev = o + 2 * Harmonic_Index(n - 1, 0);
        const double* prev2 = o + 2 * Harmonic_Index(n - 2 > 0 ? n - 2 : 0, 0);
        const __m128d s1 = _mm_set1_pd((2.0 * n - 1) * z);
        const double* den = Table().regularDenominator(n);
        for (int32_t m = 0; m + 2 <= n; ++m) {
            const __m128d v =
                _mm_sub_pd(_mm_mul_pd(s1, _mm_loadu_pd(prev + 2 * m)), _mm_mul_pd(vr2, _mm_loadu_pd(prev2 + 2 * m)));
            _mm_storeu_pd(row + 2 * m, _mm_div_pd(v, _mm_set1_pd(den[m])));
        }
        // Order n - 1 from its diagonal entry alone.
        _mm_storeu_pd(row + 2 * (n - 1), _mm_mul_pd(_mm_set1_pd(z), _mm_loadu_pd(prev + 2 * (n - 1))));
        // The diagonal: (x + iy)/(2n) times the one before.
        const double k = 1.0 / (2 * n), t0 = x[0] * k, t1 = x[1] * k, re = prev[2 * (n - 1)],
                     im = prev[2 * (n - 1) + 1];
        row[2 * n] = t0 * re - t1 * im;
        row[2 * n + 1] = t0 * im + t1 * re;
    }
}

void Harmonic_Irregular(const double* x, int32_t degree, MemPair* out) {
    const double z = x[2], r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2], inv = 1.0 / r2;
    double* o = reinterpret_cast<double*>(out);
    o[0] = std::sqrt(inv);
    o[1] = 0.0;
    for (int32_t n = 1; n <= degree; ++n) {
        double* row = o + 2 * Harmonic_Index(n, 0);
        const double* prev = o + 2 * Harmonic_Index(n - 1, 0);
        const double* prev2 = o + 2 * Harmonic_Index(n - 2 > 0 ? n - 2 : 0, 0);
        const __m128d s1 = _mm_set1_pd((2.0 * n - 1) * z * inv);
        const double* weight = Table().irregularWeight(n);
        for (int32_t m = 0; m + 2 <= n; ++m) {
            const __m128d s2 = _mm_set1_pd(weight[m] * inv);
            _mm_storeu_pd(row + 2 * m, _mm_sub_pd(_mm_mul_pd(s1, _mm_loadu_pd(prev + 2 * m)),
                                                  _mm_mul_pd(s2, _mm_loadu_pd(prev2 + 2 * m))));
        }
        _mm_storeu_pd(row + 2 * (n - 1), _mm_mul_pd(s1, _mm_loadu_pd(prev + 2 * (n - 1))));
        // The diagonal: (2n - 1)(x + iy)/r² times the one before.
        const double s = (2.0 * n - 1) * inv, re = prev[2 * (n - 1)], im = prev[2 * (n - 1) + 1];
        row[2 * n] = s * (x[0] * re - x[1] * im);
        row[2 * n + 1] = s * (x[0] * im + x[1] * re);
    }
}

double Harmonic_Contract(const MemPair* a, const MemPair* h, int32_t degree) {
    // Real parts' products in the low lane, imaginary parts' in the high
    // one: Re(a·h) of a whole run is their difference at the end.
    const double* pa = reinterpret_cast<const double*>(a);
    const double* ph = reinterpret_cast<const double*>(h);
    __m128d zero = _mm_setzero_pd(), rest0 = zero, rest1 = zero;
    for (int32_t n = 0; n <= degree; ++n) {
        const int32_t base = 2 * Harmonic_Index(n, 0), end = base + 2 * (n + 1);
        zero = _mm_add_pd(zero, _mm_mul_pd(_mm_loadu_pd(pa + base), _mm_loadu_pd(ph + base)));
        int32_t i = base + 2;
        for (; i + 4 <= end; i += 4) {
            rest0 = _mm_add_pd(rest0, _mm_mul_pd(_mm_loadu_pd(pa + i), _mm_loadu_pd(ph + i)));
            rest1 = _mm_add_pd(rest1, _mm_mul_pd(_mm_loadu_pd(pa + i + 2), _mm_loadu_pd(ph + i + 2)));
        }
        if (i < end) rest0 = _mm_add_pd(rest0, _mm_mul_pd(_mm_loadu_pd(pa + i), _mm_loadu_pd(ph + i)));
    }
    const __m128d rest = _mm_add_pd(rest0, rest1);
    return Difference(zero) + 2.0 * Difference(rest);
}

FarSeries FarSeries_At(MemPair* block, int32_t mDegree) { return {block, block + Harmonic_Size(mDegree)}; }

void FarSeries_AddSource(FarSeries series, int32_t mDegree, const double* y, double c, MemPair* scratch) {
    const int32_t top = mDegree + 2;
    Harmonic_Regular(y, top, scratch);
    const double r2 = y[0] * y[0] + y[1] * y[1] + y[2] * y[2];
    for (int32_t n = 0; n <= top; ++n) {
        const double nScale = -c / (2.0 * n - 1), mScale = c * r2 / (2.0 * n + 3);
        const int32_t base = Harmonic_Index(n, 0);
        for (int32_t m = 0; m <= n; ++m) {
            const MemPair r = std::conj(scratch[base + m]);
            series.N[base + m] += nScale * r;
            if (n <= mDegree) series.M[base + m] += mScale * r;
        }
    }
}

double FarSeries_Value(FarSeries series, int32_t p, const double* x, const MemPair* h) {
    const double r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
    return Harmonic_Contract(series.M, h, p) + r2 * Harmonic_Contract(series.N, h, p + 2);
}

void FarSeries_Derivative(FarSeries in, int32_t mDegree, const double* t, FarSeries out) {
    Clear(out, mDegree);
    AddHarmonicDerivative(in.M, mDegree, t, out.M, mDegree, [](int32_t) { return 1.0; });
    AddTimesPosition(in.N, mDegree + 2, t, out.M, mDegree);
    AddHarmonicDerivative(in.N, mDegree + 2, t, out.N, mDegree + 2,
                          [](int32_t n) { return (2.0 * n - 1) / (2.0 * n + 1); });
}

void FarSeries_AddTranslated(FarSeries from, int32_t mDegree, const double* t, FarSeries to, MemPair* work) {
    const int32_t size = FarSeries_Size(mDegree);
    FarSeries term = FarSeries_At(work, mDegree), next = FarSeries_At(work + size, mDegree);
    std::memcpy(static_cast<void*>(term.M), from.M, sizeof(MemPair) * static_cast<size_t>(size));
    const double minus[3] = {-t[0], -t[1], -t[2]};
    // Each derivative lowers the homogeneity by one, so after mDegree + 3
    // terms nothing of the kept degrees is left.
    for (int32_t k = 0; k <= mDegree + 3; ++k) {
        for (int32_t i = 0; i < size; ++i) to.M[i] += term.M[i];
        if (k == mDegree + 3) break;
        FarSeries_Derivative(term, mDegree, minus, next);
        const double inv = 1.0 / (k + 1);
        for (int32_t i = 0; i < size; ++i) next.M[i] *= inv;
        const FarSeries swap = term;
        term = next;
        next = swap;
    }
}
