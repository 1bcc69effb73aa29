// LU inversion of small square matrices and 3-vector copies.
#include "surface/fit/small_matrix.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

void Matrix_SetIdentity(double* M, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) M[i * n + j] = i == j ? 1.0 : 0.0;
}

int LU_Decompose(double* a, int32_t n, int32_t* index, double* parity) {
    const double kTiny = 1.0e-20;
    double* rowScale = static_cast<double*>(std::malloc(sizeof(double) * (n > 0 ? n : 1)));
    if (!rowScale) return -1;
    *parity = 1.0;
    for (int32_t i = 0; i < n; ++i) {
        double big = 0.0;
        for (int32_t j = 0; j < n; ++j) big = std::fmax(big, std::fabs(a[i * n + j]));
        if (big == 0.0) {
            std::free(rowScale);
            return 0;
        }
        rowScale[i] = 1.0 / big;
    }
    for (int32_t j = 0; j < n; ++j) {
        for (int32_t i = 0; i < j; ++i) {
            double sum = a[i * n + j];
            for (int32_t k = 0; k < i; ++k) sum -= a[i * n + k] * a[k * n + j];
            a[i * n + j] = sum;
        }
        double big = 0.0;
        int32_t pivotRow = j;
        for (int32_t i = j; i < n; ++i) {
            double sum = a[i * n + j];
            for (int32_t k = 0; k < j; ++k) sum -= a[i * n + k] * a[k * n + j];
            a[i * n + j] = sum;
            const double scaled = rowScale[i] * std::fabs(sum);
            if (scaled >= big) {
                big = scaled;
                pivotRow = i;
            }
        }
        if (pivotRow != j) {
            for (int32_t k = 0; k < n; ++k) {
                const double t = a[pivotRow * n + k];
                a[pivotRow * n + k] = a[j * n + k];
                a[j * n + k] = t;
            }
            *parity = -*parity;
            rowScale[pivotRow] = rowScale[j];
        }
        index[j] = pivotRow;
        if (a[j * n + j] == 0.0) a[j * n + j] = kTiny;
        const double inv = 1.0 / a[j * n + j];
        for (int32_t i = j + 1; i < n; ++i) a[i * n + j] *= inv;
    }
    std::free(rowScale);
    return 1;
}

void LU_BackSubstitute(const double* a, int32_t n, const int32_t* index, double* b) {
    int32_t firstNonZero = -1;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t p = index[i];
        double sum = b[p];
        b[p] = b[i];
        if (firstNonZero >= 0) {
            for (int32_t j = firstNonZero; j < i; ++j) sum -= a[i * n + j] * b[j];
        } else if (sum != 0.0) {
            firstNonZero = i;
        }
        b[i] = sum;
    }
    for (int32_t i = n - 1; i >= 0; --i) {
        double sum = b[i];
        for (int32_t j = i + 1; j < n; ++j) sum -= a[i * n + j] * b[j];
        b[i] = sum / a[i * n + i];
    }
}

int Matrix_Invert(const double* A, double* inverse, int32_t n) {
    if (n <= 0) return 1;
    const size_t count = static_cast<size_t>(n) * n;
    double* lu = static_cast<double*>(std::malloc(sizeof(double) * (count + n)));
    int32_t* index = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * n));
    int result = 0;
    if (lu && index) {
        std::memcpy(lu, A, sizeof(double) * count);
        double parity;
        // A singular matrix (an all-zero row) is a failure: the inverse is not
        // written, and the caller must not take it for one.
        if (LU_Decompose(lu, n, index, &parity) == 1) {
            double* column = lu + count;
            for (int32_t j = 0; j < n; ++j) {
                for (int32_t i = 0; i < n; ++i) column[i] = i == j ? 1.0 : 0.0;
                LU_BackSubstitute(lu, n, index, column);
                for (int32_t i = 0; i < n; ++i) inverse[i * n + j] = column[i];
            }
            result = 1;
        }
    }
    std::free(lu);
    std::free(index);
    return result;
}

void Vec3_Copy(double* to, const double* from) {
    if (to == from) return;
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
}

double Vec3_CopyLength(const double* from, double* to) {
    Vec3_Copy(to, from);
    const double length = std::sqrt(to[0] * to[0] + to[1] * to[1] + to[2] * to[2]);
    if (length > 0.0) {
        to[0] /= length;
        to[1] /= length;
        to[2] /= length;
    }
    return length;
}
