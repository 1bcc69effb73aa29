// Matrix products and index gathers.
#include "surface/frame/matrix_gather.h"

#include <cstring>

void Matrix_Product(double* const* out, double* const* A, double* const* B, int32_t k, int32_t n, int32_t k2) {
    for (int32_t i = 0; i < k; ++i) {
        double* o = out[i];
        for (int32_t j = 0; j < k2; ++j) o[j] = 0.0;
        for (int32_t l = 0; l < n; ++l) {
            const double a = A[i][l];
            const double* b = B[l];
            for (int32_t j = 0; j < k2; ++j) o[j] += a * b[j];
        }
    }
}

void Matrix_GatherSquare(double* const* out, const int32_t* idx, int32_t k, double* const* A) {
    for (int32_t i = 0; i < k; ++i)
        for (int32_t j = 0; j < k; ++j) out[i][j] = A[idx[i]][idx[j]];
}

void Rows_GatherByIndex(double* const* out, int32_t n, const int32_t* idx, int32_t k, double* const* rows) {
    for (int32_t i = 0; i < k; ++i) std::memmove(out[i], rows[idx[i]], sizeof(double) * n);
}

void Triangle_ExtractRows(double* const* out, int32_t n, const int32_t* idx, int32_t k, double* const* triangle) {
    for (int32_t i = 0; i < k; ++i) {
        const int32_t r = idx[i];
        for (int32_t j = 0; j < n; ++j) out[i][j] = j <= r ? triangle[r][j] : triangle[j][r];
    }
}

void Triangle_ToSquare(double* const* triangle, int32_t n, double* const* square) {
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j <= i; ++j) square[i][j] = square[j][i] = triangle[i][j];
}

void Triangle_GatherSymmetric(double* const* out, const int32_t* idx, int32_t k, double* const* A) {
    for (int32_t i = 0; i < k; ++i)
        for (int32_t j = 0; j <= i; ++j) out[i][j] = out[j][i] = A[idx[i]][idx[j]];
}
