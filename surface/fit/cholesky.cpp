// Cholesky factorisations, solves and factor updates on packed lower
// triangles. Dot products are accumulated in long double.
#include "surface/fit/cholesky.h"
#include "surface/frame/status_codes.h"

#include <cmath>
#include <cstring>

#include "surface/fit/cholesky_sums.h"
#include "surface/frame/tracked_matrix.h"

namespace {

using cholesky_sums::DotLong;
using cholesky_sums::LargestTriangleMagnitude;
using cholesky_sums::PivotTooSmall;

// The trailing part of a factor from row and column `off` on, seen as a
// factor of its own.
struct Block {
    double** rows;
    int32_t off;
    double& at(int32_t i, int32_t j) const { return rows[off + i][off + j]; }
};

// L·D·Lᵀ := L·D·Lᵀ + alpha·w·wᵀ on an m-row block; w is used up. This is the
// rank-one recurrence that carries the coefficient alpha through the columns
// (Gill, Golub, Murray and Saunders); it serves updates and downdates.
void RankOneChange(const Block& b, int32_t m, double alpha, double* w) {
    for (int32_t j = 0; j < m && alpha != 0.0; ++j) {
        const double p = w[j];
        if (p == 0.0) continue;
        const double d = b.at(j, j);
        const double dNew = d + alpha * p * p;
        const double beta = p * alpha / dNew;
        alpha = d * alpha / dNew;
        b.at(j, j) = dNew;
        for (int32_t r = j + 1; r < m; ++r) {
            double& l = b.at(r, j);
            w[r] -= p * l;
            l += beta * w[r];
        }
    }
}

// w̃ = L⁻¹·w for the unit-lower L of an order-n factor, in place.
void UnitForward(int32_t n, double* const* factor, double* w) {
    for (int32_t i = 0; i < n; ++i) {
        const double* row = factor[i];
        w[i] = static_cast<double>(w[i] - DotLong(row, w, i));
    }
}

}  // namespace

// ---- L·Lᵀ ----

int Cholesky_FactorSigned(int32_t n, double** triangle) {
    if (n <= 0) return 0;
    const double s = triangle[0][0] > 0.0 ? 1.0 : -1.0;
    for (int32_t i = 0; i < n; ++i) {
        double* li = triangle[i];
        for (int32_t j = 0; j <= i; ++j) {
            const double* lj = triangle[j];
            const long double sum = s * li[j] - DotLong(li, lj, j);
            if (j < i) {
                li[j] = static_cast<double>(sum / lj[j]);
            } else {
                if (!(sum > 0)) return CoreStatus_NegativeCholeskyPivot;
                li[i] = std::sqrt(static_cast<double>(sum));
            }
        }
    }
    return 0;
}

static void LowerForward(int32_t n, double* const* L, double* b) {
    for (int32_t i = 0; i < n; ++i) {
        const double* row = L[i];
        b[i] = static_cast<double>((b[i] - DotLong(row, b, i)) / row[i]);
    }
}

// Back substitution with Lᵀ for the unknowns from `first` on; the unknowns
// behind them only feed those before, so they are not needed.
static void LowerTransposedBack(int32_t n, int32_t first, double* const* L, double* b) {
    for (int32_t k = n - 1; k >= first; --k) {
        const double* row = L[k];
        b[k] /= row[k];
        const double x = b[k];
        for (int32_t j = first; j < k; ++j) b[j] -= row[j] * x;
    }
}

void Cholesky_SolveInPlace(int32_t n, double* const* factor, double* b) {
    LowerForward(n, factor, b);
    LowerTransposedBack(n, 0, factor, b);
}

void Cholesky_SolveTail(int32_t n, int32_t k, double* const* factor, double* b) {
    LowerForward(n, factor, b);
    const int32_t tail = k < n ? k : n;
    LowerTransposedBack(n, n - (tail > 0 ? tail : 0), factor, b);
}

int Cholesky_AppendRowLLT(double*** triangle, const double* row, int32_t n) {
    double** t = Mem_ReallocTriangle(*triangle, n + 1);
    *triangle = t;
    if (t == nullptr) return CoreStatus_NoMemory;
    double* ln = t[n];
    for (int32_t j = 0; j < n; ++j) {
        const double* lj = t[j];
        ln[j] = static_cast<double>((row[j] - DotLong(lj, ln, j)) / lj[j]);
    }
    const long double pivot = row[n] - DotLong(ln, ln, n);
    if (!(pivot > 0)) return CoreStatus_NegativeCholeskyPivot;
    ln[n] = std::sqrt(static_cast<double>(pivot));
    return 0;
}

// ---- L·D·Lᵀ ----

// x(i) = y(i)/D(i) - Σk>i L(k,i)·x(k) for the unknowns from `first` on,
// row by row: each finished unknown is taken out of those before it.
static void LdlBack(int32_t n, int32_t first, double* const* factor, double* b) {
    for (int32_t i = first; i < n; ++i) b[i] /= factor[i][i];
    for (int32_t k = n - 1; k > first; --k) {
        const double* row = factor[k];
        const double x = b[k];
        for (int32_t j = first; j < k; ++j) b[j] -= row[j] * x;
    }
}

void Cholesky_LDLSolve(int32_t n, double* const* factor, double* b) {
    UnitForward(n, factor, b);
    LdlBack(n, 0, factor, b);
}

void Cholesky_LDLSolveTail(int32_t n, int32_t k, double* const* factor, double* b) {
    UnitForward(n, factor, b);
    const int32_t tail = k < n ? k : n;
    LdlBack(n, n - (tail > 0 ? tail : 0), factor, b);
}

int Cholesky_AppendRow(double** factor, const double* row, int32_t n) {
    double* ln = factor[n];
    const double diagonal = row[n];
    for (int32_t j = 0; j < n; ++j) {
        ln[j] = static_cast<double>(row[j] - DotLong(factor[j], ln, j));
    }
    long double dsum = diagonal;
    for (int32_t j = 0; j < n; ++j) {
        const double v = ln[j];
        ln[j] = v / factor[j][j];
        dsum -= static_cast<long double>(v) * ln[j];
    }
    ln[n] = static_cast<double>(dsum);
    return 0;
}

int Cholesky_RemoveRow(double** factor, int32_t n, int32_t r, double* scratch) {
    const int32_t behind = n - r - 1;
    if (r < 0 || behind < 0) return CoreStatus_InvalidInput;
    if (behind == 0) return 0;
    for (int32_t i = 0; i < behind; ++i) scratch[i] = factor[r + 1 + i][r];
    RankOneChange(Block{factor, r + 1}, behind, factor[r][r], scratch);
    // Close up: each row behind r loses its entry r and moves up one row.
    for (int32_t k = r + 1; k < n; ++k) {
        double* dst = factor[k - 1];
        const double* src = factor[k];
        std::memmove(dst, src, sizeof(double) * r);
        std::memmove(dst + r, src + r + 1, sizeof(double) * (k - r));
    }
    return 0;
}

void Cholesky_LDLUpdate(double** factor, int32_t n, double alpha, const double* w, double* scratch) {
    if (n <= 0) return;
    std::memcpy(scratch, w, sizeof(double) * n);
    RankOneChange(Block{factor, 0}, n, alpha, scratch);
}

int Cholesky_LDLModify(double** factor, int32_t n, double sigma, const double* w, double* scratch) {
    if (n <= 0 || sigma == 0.0) return 0;
    // The change keeps the signs of the pivots exactly when
    // 1 + sigma·wᵀ·A⁻¹·w stays positive (the determinant ratio).
    std::memcpy(scratch, w, sizeof(double) * n);
    UnitForward(n, factor, scratch);
    long double q = 0;
    for (int32_t j = 0; j < n; ++j) q += static_cast<long double>(scratch[j]) * scratch[j] / factor[j][j];
    if (sigma * q <= -1) return CoreStatus_NegativeCholeskyPivot;
    std::memcpy(scratch, w, sizeof(double) * n);
    RankOneChange(Block{factor, 0}, n, sigma, scratch);
    return 0;
}

int Cholesky_LDLReplaceRow(double** factor, int32_t n, double* u, int32_t r, double* scratch) {
    // u·e_rᵀ + e_r·uᵀ (with u(r) halved) = a·aᵀ - b·bᵀ for
    // a = (u + e_r)/√2 and b = (u - e_r)/√2.
    const double kInvSqrt2 = 0.7071067811865475;
    const double kSqrt2 = 1.414213562373095;
    for (int32_t k = 0; k < n; ++k) u[k] *= kInvSqrt2;
    u[r] = u[r] * 0.5 + kInvSqrt2;
    int status = Cholesky_LDLModify(factor, n, 1.0, u, scratch);
    if (status != 0) return status;
    u[r] -= kSqrt2;
    return Cholesky_LDLModify(factor, n, -1.0, u, scratch);
}

int Cholesky_LDLInsertRow(double** factor, int32_t n, const double* row, int32_t r, double* scratch, double* work) {
    if (r < 0 || r > n) return CoreStatus_InvalidInput;
    if (r == n) return Cholesky_AppendRow(factor, row, n);
    // The new row against the rows above it: v = L⁻¹·row(0..r-1).
    for (int32_t j = 0; j < r; ++j) scratch[j] = row[j];
    UnitForward(r, factor, scratch);
    long double dsum = row[r];
    for (int32_t j = 0; j < r; ++j) dsum -= static_cast<long double>(scratch[j]) * scratch[j] / factor[j][j];
    const double dr = static_cast<double>(dsum);
    // The scale is the largest magnitude of the whole old factor, multipliers
    // and pivots alike; a zero pivot is refused without it.
    if (dr == 0.0 || PivotTooSmall(dr, LargestTriangleMagnitude(n, factor))) return CoreStatus_DivideByZero;
    // New column entries of the rows that move down.
    for (int32_t k = r; k < n; ++k) {
        work[k - r] = static_cast<double>((row[k + 1] - DotLong(factor[k], scratch, r)) / dr);
    }
    for (int32_t k = n - 1; k >= r; --k) {
        double* dst = factor[k + 1];
        const double* src = factor[k];
        std::memmove(dst + r + 1, src + r, sizeof(double) * (k - r + 1));
        std::memmove(dst, src, sizeof(double) * r);
        dst[r] = work[k - r];
    }
    double* lr = factor[r];
    for (int32_t j = 0; j < r; ++j) lr[j] = scratch[j] / factor[j][j];
    lr[r] = dr;
    // The block behind the new row loses the new row's share.
    RankOneChange(Block{factor, r + 1}, n - r, -dr, work);
    return 0;
}

int Cholesky_DiagonalSign(double* const* factor, int32_t n) {
    if (n <= 0) return 1;
    const double first = factor[0][0];
    if (first == 0.0) return 0;
    const int s = first > 0.0 ? 1 : -1;
    for (int32_t i = 1; i < n; ++i)
        if (!(factor[i][i] * s > 0.0)) return 0;
    return s;
}

// ---- Triangular solves ----

void Triangle_SolveUpperRows(int32_t k, double* const* R, double* b) {
    for (int32_t i = k - 1; i >= 0; --i) {
        const double* row = R[i];
        b[i] = static_cast<double>((b[i] - DotLong(row + i + 1, b + i + 1, k - i - 1)) / row[i]);
    }
}

void Triangle_SolveTransposed(int32_t n, double* const* L, double* b) { LowerTransposedBack(n, 0, L, b); }
