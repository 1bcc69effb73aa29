#include "surface/fit/small_solvers.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr double kEpsilon = 2.220446049250313e-16;  // 2^-52

// Row scales 1 / largest absolute entry; false for an all-zero row.
bool RowScales(int32_t n, const double* const* A, double* scale) {
    for (int32_t i = 0; i < n; ++i) {
        double largest = 0.0;
        for (int32_t j = 0; j < n; ++j) largest = std::fmax(largest, std::fabs(A[i][j]));
        if (!(largest > 0.0)) return false;
        scale[i] = 1.0 / largest;
    }
    return true;
}

// A pivot is negligible when it is within rounding of zero against the
// largest entry of its own row; the test does not change when the matrix is
// scaled.
bool Negligible(int32_t n, double pivot, double rowScale) { return !(std::fabs(pivot) * rowScale > n * kEpsilon); }

}  // namespace

int Mat3_Invert(const double* M, double* inverse) {
    double c[9];
    c[0] = M[4] * M[8] - M[5] * M[7];
    c[1] = M[2] * M[7] - M[1] * M[8];
    c[2] = M[1] * M[5] - M[2] * M[4];
    c[3] = M[5] * M[6] - M[3] * M[8];
    c[4] = M[0] * M[8] - M[2] * M[6];
    c[5] = M[2] * M[3] - M[0] * M[5];
    c[6] = M[3] * M[7] - M[4] * M[6];
    c[7] = M[1] * M[6] - M[0] * M[7];
    c[8] = M[0] * M[4] - M[1] * M[3];
    const double det = M[0] * c[0] + M[1] * c[3] + M[2] * c[6];
    double largest = 0.0;
    for (int i = 0; i < 9; ++i) largest = std::fmax(largest, std::fabs(M[i]));
    // "Not above" also refuses the zero matrix (0 is not below 0).
    if (!(std::fabs(det) > kEpsilon * largest)) {
        inverse[0] = 0.0;
        return CoreStatus_LinearDependency;
    }
    const double r = 1.0 / det;
    for (int i = 0; i < 9; ++i) inverse[i] = c[i] * r;
    return 0;
}

int Matrix_InvertGaussJordan(int32_t n, const double* const* A, double* const* inverse) {
    if (n <= 0) return 0;
    double** work = Mem_AllocMatrix(n, n);
    double* scale = Mem_AllocDoubles(n);
    if (!work || !scale) {
        Mem_FreeMatrix(work);
        Mem_Free(scale);
        return CoreStatus_NoMemory;
    }
    int status = 0;
    for (int32_t i = 0; i < n; ++i) {
        std::memcpy(work[i], A[i], sizeof(double) * static_cast<std::size_t>(n));
        for (int32_t j = 0; j < n; ++j) inverse[i][j] = i == j ? 1.0 : 0.0;
    }
    if (!RowScales(n, A, scale)) status = 4;
    for (int32_t k = 0; k < n && status == 0; ++k) {
        int32_t best = k;
        for (int32_t i = k + 1; i < n; ++i) {
            if (std::fabs(work[i][k]) * scale[i] > std::fabs(work[best][k]) * scale[best]) best = i;
        }
        if (Negligible(n, work[best][k], scale[best])) {
            status = 4;
            break;
        }
        if (best != k) {
            for (int32_t j = 0; j < n; ++j) {
                std::swap(work[k][j], work[best][j]);
                std::swap(inverse[k][j], inverse[best][j]);
            }
            std::swap(scale[k], scale[best]);
        }
        const double r = 1.0 / work[k][k];
        for (int32_t j = 0; j < n; ++j) {
            work[k][j] *= r;
            inverse[k][j] *= r;
        }
        for (int32_t i = 0; i < n; ++i) {
            const double f = work[i][k];
            if (i == k || f == 0.0) continue;
            for (int32_t j = 0; j < n; ++j) {
                work[i][j] -= f * work[k][j];
                inverse[i][j] -= f * inverse[k][j];
            }
        }
    }
    Mem_FreeMatrix(work);
    Mem_Free(scale);
    return status;
}

int LU_IndexDecompose(int32_t n, double* const* A, int32_t* index, double* scale) {
    for (int32_t i = 0; i < n; ++i) index[i] = i;
    if (!RowScales(n, A, scale)) return CoreStatus_LinearDependency;
    for (int32_t k = 0; k < n; ++k) {
        int32_t best = k;
        for (int32_t i = k + 1; i < n; ++i) {
            if (std::fabs(A[index[i]][k]) * scale[index[i]] > std::fabs(A[index[best]][k]) * scale[index[best]]) {
                best = i;
            }
        }
        std::swap(index[k], index[best]);
        const double* pivotRow = A[index[k]];
        const double pivot = pivotRow[k];
        if (Negligible(n, pivot, scale[index[k]])) return CoreStatus_LinearDependency;
        for (int32_t i = k + 1; i < n; ++i) {
            double* row = A[index[i]];
            const double f = row[k] / pivot;
            row[k] = f;
            for (int32_t j = k + 1; j < n; ++j) row[j] -= f * pivotRow[j];
        }
    }
    return 0;
}

void LU_IndexSolve(int32_t n, const double* const* LU, const int32_t* index, double* x, const double* b) {
    for (int32_t k = 0; k < n; ++k) {
        const double* row = LU[index[k]];
        double sum = b[index[k]];
        for (int32_t j = 0; j < k; ++j) sum -= row[j] * x[j];
        x[k] = sum;
    }
    for (int32_t k = n - 1; k >= 0; --k) {
        const double* row = LU[index[k]];
        double sum = x[k];
        for (int32_t j = k + 1; j < n; ++j) sum -= row[j] * x[j];
        x[k] = sum / row[k];
    }
}
