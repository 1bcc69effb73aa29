// The root-free L·D·Lᵀ factorisation, row by row in blocks of rows.
//
// Row k comes from a unit-lower forward solve against the finished rows
// above it: y(j) = A(k,j) - Σm<j L(j,m)·y(m) is D(j)·L(k,j), so that
// L(k,j) = y(j)/D(j) and D(k) = A(k,k) - Σj y(j)·L(k,j), the recurrence of a
// row append. Done one row at a time, every row would stream the whole
// finished factor through the caches (n³/6 reads from memory for a factor
// larger than them); taken in blocks, each finished row is read once per
// block, while the block's rows stay in the cache and four of them share
// every load. Each sum is still formed in one go in long double.
#include <algorithm>

#include "surface/fit/cholesky.h"
#include "surface/fit/cholesky_sums.h"
#include "surface/frame/status_codes.h"

namespace {

using cholesky_sums::DotLong;
using cholesky_sums::LargestTriangleMagnitude;
using cholesky_sums::PivotTooSmall;

// Rows solved together: eight rows of the largest factor (5000 columns)
// fill 320 KB and stay in the second-level cache while the finished rows
// stream past. Four rows take up four of the eight x87 registers as sums.
const int32_t kBlockRows = 8;
const int32_t kGroupRows = 4;

// y(j) -= Σm<j x(m)·y(m).
inline void ForwardStep(const double* x, int32_t j, double* y) { y[j] = static_cast<double>(y[j] - DotLong(x, y, j)); }

// The same step for four rows y[0..3], sharing the loads of x.
void ForwardStepFour(const double* x, int32_t j, double* const* y) {
    double* y0 = y[0];
    double* y1 = y[1];
    double* y2 = y[2];
    double* y3 = y[3];
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int32_t m = 0; m < j; ++m) {
        const long double v = x[m];
        s0 += v * y0[m];
        s1 += v * y1[m];
        s2 += v * y2[m];
        s3 += v * y3[m];
    }
    y0[j] = static_cast<double>(y0[j] - s0);
    y1[j] = static_cast<double>(y1[j] - s1);
    y2[j] = static_cast<double>(y2[j] - s2);
    y3[j] = static_cast<double>(y3[j] - s3);
}

// Rows k0..k1-1 solved forward against the finished rows 0..k0-1.
void ForwardAgainstFinished(double* const* t, int32_t k0, int32_t k1) {
    for (int32_t j = 0; j < k0; ++j) {
        const double* x = t[j];
        int32_t k = k0;
        for (; k + kGroupRows <= k1; k += kGroupRows) ForwardStepFour(x, j, t + k);
        for (; k < k1; ++k) ForwardStep(x, j, t[k]);
    }
}

// Row k holds y(j) = D(j)·L(k,j) for j < k: turns it into L(k,j) and
// returns the pivot D(k).
double FinishRow(double* row, int32_t k, const double* pivots) {
    long double sum = row[k];
    for (int32_t j = 0; j < k; ++j) {
        const double y = row[j];
        row[j] = y / pivots[j];
        sum -= static_cast<long double>(y) * row[j];
    }
    return static_cast<double>(sum);
}

}  // namespace

int Cholesky_LDLFactor(int32_t n, double** triangle, double* scratch, int32_t* sign) {
    if (sign) *sign = 1;
    if (n <= 0) return 0;
    // The tolerance scales with the largest magnitude: a negative definite
    // matrix has its largest signed entry near zero.
    const double largest = LargestTriangleMagnitude(n, triangle);
    const int32_t s = triangle[0][0] > 0.0 ? 1 : -1;
    int32_t agree = 1;
    // The scratch holds the pivots found so far, side by side.
    for (int32_t k0 = 0; k0 < n; k0 += kBlockRows) {
        const int32_t k1 = std::min(n, k0 + kBlockRows);
        ForwardAgainstFinished(triangle, k0, k1);
        for (int32_t k = k0; k < k1; ++k) {
            double* row = triangle[k];
            for (int32_t j = k0; j < k; ++j) ForwardStep(triangle[j], j, row);
            const double d = FinishRow(row, k, scratch);
            if (PivotTooSmall(d, largest)) {
                if (sign) *sign = 0;
                return CoreStatus_DivideByZero;
            }
            if (d * s < 0.0) agree = 0;
            row[k] = d;
            scratch[k] = d;
        }
    }
    if (sign) *sign = agree * s;
    return 0;
}
