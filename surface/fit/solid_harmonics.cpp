#include "surface/fit/solid_harmonics.h"

#include <cmath>
#include <cstring>

namespace {

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

void Harmonic_Regular(const double* x, int32_t degree, MemPair* out) {
    const MemPair tau(x[0], x[1]);
    const double z = x[2], r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
    out[0] = 1.0;
    for (int32_t m = 0; m <= degree; ++m) {
        if (m > 0) out[Harmonic_Index(m, m)] = tau * (1.0 / (2 * m)) * out[Harmonic_Index(m - 1, m - 1)];
        if (m + 1 <= degree) out[Harmonic_Index(m + 1, m)] = z * out[Harmonic_Index(m, m)];
        for (int32_t n = m + 2; n <= degree; ++n)
            out[Harmonic_Index(n, m)] =
                ((2.0 * n - 1) * z * out[Harmonic_Index(n - 1, m)] - r2 * out[Harmonic_Index(n - 2, m)]) /
                static_cast<double>((n + m) * (n - m));
    }
}

void Harmonic_Irregular(const double* x, int32_t degree, MemPair* out) {
    // Real arithmetic throughout: the library's complex product checks for
    // infinities on every call.
    const double z = x[2], r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2], inv = 1.0 / r2;
    double* o = reinterpret_cast<double*>(out);
    o[0] = std::sqrt(inv);
    o[1] = 0.0;
    for (int32_t m = 0; m <= degree; ++m) {
        const int32_t mm = 2 * Harmonic_Index(m, m);
        if (m > 0) {
            const int32_t prev = 2 * Harmonic_Index(m - 1, m - 1);
            const double s = (2.0 * m - 1) * inv, re = o[prev], im = o[prev + 1];
            o[mm] = s * (x[0] * re - x[1] * im);
            o[mm + 1] = s * (x[0] * im + x[1] * re);
        }
        if (m + 1 <= degree) {
            const int32_t next = 2 * Harmonic_Index(m + 1, m);
            const double s = (2.0 * m + 1) * z * inv;
            o[next] = s * o[mm];
            o[next + 1] = s * o[mm + 1];
        }
        for (int32_t n = m + 2; n <= degree; ++n) {
            const int32_t at = 2 * Harmonic_Index(n, m), a1 = 2 * Harmonic_Index(n - 1, m),
                          a2 = 2 * Harmonic_Index(n - 2, m);
            const double s1 = (2.0 * n - 1) * z * inv, s2 = static_cast<double>((n + m - 1) * (n - m - 1)) * inv;
            o[at] = s1 * o[a1] - s2 * o[a2];
            o[at + 1] = s1 * o[a1 + 1] - s2 * o[a2 + 1];
        }
    }
}

double Harmonic_Contract(const MemPair* a, const MemPair* h, int32_t degree) {
    const double* pa = reinterpret_cast<const double*>(a);
    const double* ph = reinterpret_cast<const double*>(h);
    double zero = 0.0, rest = 0.0;
    for (int32_t n = 0; n <= degree; ++n) {
        const int32_t base = 2 * Harmonic_Index(n, 0);
        zero += pa[base] * ph[base] - pa[base + 1] * ph[base + 1];
        for (int32_t i = base + 2; i < base + 2 * (n + 1); i += 2) rest += pa[i] * ph[i] - pa[i + 1] * ph[i + 1];
    }
    return zero + 2.0 * rest;
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
