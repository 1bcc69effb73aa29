#include "surface/fit/vector_norms.h"

#include <cmath>

namespace {

// Neumaier's compensated sum.
class Sum {
  public:
    void Add(double value) {
        const double t = sum_ + value;
        if (std::fabs(sum_) >= std::fabs(value)) {
            compensation_ += (sum_ - t) + value;
        } else {
            compensation_ += (value - t) + sum_;
        }
        sum_ = t;
    }
    double Value() const { return sum_ + compensation_; }

  private:
    double sum_ = 0.0;
    double compensation_ = 0.0;
};

template <typename Term>
double SumOver(int32_t n, Term term) {
    Sum sum;
    for (int32_t i = 0; i < n; ++i) sum.Add(term(i));
    return sum.Value();
}

template <typename Term>
double MaxOver(int32_t n, Term term) {
    double largest = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double v = term(i);
        if (v > largest) largest = v;
    }
    return largest;
}

int32_t TriangleElements(int32_t n) { return n * (n + 1) / 2; }

}  // namespace

double Vec_SumAbs(const double* x, int32_t n) {
    return SumOver(n, [&](int32_t i) { return std::fabs(x[i]); });
}

double Vec_SumAbsInts(const int32_t* x, int32_t n) {
    return SumOver(n, [&](int32_t i) { return std::fabs(static_cast<double>(x[i])); });
}

double Vec_SumAbsDiff(const double* x, const double* y, int32_t n) {
    return SumOver(n, [&](int32_t i) { return std::fabs(x[i] - y[i]); });
}

double Vec_NormSquared(const double* x, int32_t n) {
    return SumOver(n, [&](int32_t i) { return x[i] * x[i]; });
}

double Vec_Norm2(const double* x, int32_t n) { return std::sqrt(Vec_NormSquared(x, n)); }

double Vec_DistanceSquared(const double* x, const double* y, int32_t n) {
    return SumOver(n, [&](int32_t i) {
        const double d = x[i] - y[i];
        return d * d;
    });
}

double Vec_Distance(const double* x, const double* y, int32_t n) { return std::sqrt(Vec_DistanceSquared(x, y, n)); }

void Vec_RowDistances(const double* const* A, const double* const* B, double* out, int32_t k, int32_t n) {
    for (int32_t i = 0; i < k; ++i) out[i] = Vec_Distance(A[i], B[i], n);
}

double Vec_NormInf(const double* x, int32_t n) {
    return MaxOver(n, [&](int32_t i) { return std::fabs(x[i]); });
}

double Vec_NormInfIndex(const double* x, int32_t n, int32_t* index) {
    double largest = n > 0 ? std::fabs(x[0]) : 0.0;
    int32_t at = 0;
    for (int32_t i = 1; i < n; ++i) {
        if (std::fabs(x[i]) > largest) {
            largest = std::fabs(x[i]);
            at = i;
        }
    }
    if (index) *index = at;
    return largest;
}

double Vec_NormInfDiff(const double* x, const double* y, int32_t n) {
    return MaxOver(n, [&](int32_t i) { return std::fabs(x[i] - y[i]); });
}

double Vec_NormInfSum(const double* x, const double* y, int32_t n) {
    return MaxOver(n, [&](int32_t i) { return std::fabs(x[i] + y[i]); });
}

double Matrix_NormInf(const double* const* M, int32_t rows, int32_t columns) {
    return Vec_NormInf(M[0], rows * columns);
}

double Matrix_NormInfDiff(const double* const* A, const double* const* B, int32_t rows, int32_t columns) {
    return Vec_NormInfDiff(A[0], B[0], rows * columns);
}

double PairTriangle_NormInf(const MemPair* const* T, int32_t n) {
    const MemPair* t = T[0];
    return MaxOver(TriangleElements(n),
                   [&](int32_t i) { return std::fmax(std::fabs(t[i].real()), std::fabs(t[i].imag())); });
}

double PairTriangle_NormInfDiff(const MemPair* const* A, const MemPair* const* B, int32_t n) {
    const MemPair* a = A[0];
    const MemPair* b = B[0];
    return MaxOver(TriangleElements(n), [&](int32_t i) {
        return std::fmax(std::fabs(a[i].real() - b[i].real()), std::fabs(a[i].imag() - b[i].imag()));
    });
}

double PairTriangle_MaxDistSquared(const MemPair* const* A, const MemPair* const* B, int32_t n) {
    double largest = 0.0;
    for (int32_t row = 0; row < n; ++row) {
        for (int32_t column = 0; column <= row; ++column) {
            const double dr = A[row][column].real() - B[row][column].real();
            const double di = A[row][column].imag() - B[row][column].imag();
            const double d = dr * dr + di * di;
            if (d > largest) largest = d;
        }
    }
    return largest;
}

int Vec3_DistanceSquaredBelow(const double* p, const double* q, double bound, double* out) {
    double sum = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        const double d = p[axis] - q[axis];
        sum += d * d;
        if (sum >= bound) {
            *out = bound;
            return 0;
        }
    }
    *out = sum;
    return 1;
}
