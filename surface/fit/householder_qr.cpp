// Householder reflections, pivoted and plain QR, least squares.
#include "surface/fit/householder_qr.h"
#include "surface/frame/status_codes.h"

#include <cmath>
#include <cstring>

#include "surface/fit/cholesky.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

const double kEpsilon = 0x1p-52;

// Builds the reflection from the segment values already divided by `scale`.
void ReflectionFromScaled(int32_t from, int32_t to, double* beta, double* v) {
    long double sum = 0;
    for (int32_t k = from; k <= to; ++k) sum += static_cast<long double>(v[k]) * v[k];
    const double sigma = std::sqrt(static_cast<double>(sum));
    const double first = v[from];
    v[from] += first >= 0.0 ? sigma : -sigma;
    *beta = 1.0 / (sigma * (sigma + std::fabs(first)));
}

// A := (I - β·v·vᵀ)·A on rows from..to, columns first..last.
void ApplyLeftColumns(int32_t first, int32_t last, double* const* A, int32_t from, int32_t to, double beta,
                      const double* v) {
    for (int32_t c = first; c <= last; ++c) {
        long double dot = 0;
        for (int32_t k = from; k <= to; ++k) dot += static_cast<long double>(v[k]) * A[k][c];
        const double f = beta * static_cast<double>(dot);
        if (f == 0.0) continue;
        for (int32_t k = from; k <= to; ++k) A[k][c] -= f * v[k];
    }
}

void SwapColumns(int32_t rows, double* const* A, int32_t a, int32_t b) {
    if (a == b) return;
    for (int32_t k = 0; k < rows; ++k) {
        const double t = A[k][a];
        A[k][a] = A[k][b];
        A[k][b] = t;
    }
}

// Index of the largest value among x[from..to-1]; the first of equals.
int32_t LargestFrom(const double* x, int32_t from, int32_t to) {
    int32_t best = from;
    for (int32_t j = from + 1; j < to; ++j)
        if (x[j] > x[best]) best = j;
    return best;
}

}  // namespace

void Householder_Vector(int32_t from, int32_t to, const double* x, double* beta, double* v, double* scale) {
    double s = 0.0;
    for (int32_t k = from; k <= to; ++k) s = std::fmax(s, std::fabs(x[k]));
    *scale = s;
    if (s == 0.0) {
        *beta = 1.0;
        for (int32_t k = from; k <= to; ++k) v[k] = 0.0;
        return;
    }
    for (int32_t k = from; k <= to; ++k) v[k] = x[k] / s;
    ReflectionFromScaled(from, to, beta, v);
}

void Householder_ColumnVector(int32_t from, int32_t to, int32_t column, double* const* A, double* beta, double* v,
                              double* scale) {
    double s = 0.0;
    for (int32_t k = from; k <= to; ++k) s = std::fmax(s, std::fabs(A[k][column]));
    *scale = s;
    if (s == 0.0) {
        *beta = 1.0;
        for (int32_t k = from; k <= to; ++k) v[k] = 0.0;
        return;
    }
    for (int32_t k = from; k <= to; ++k) v[k] = A[k][column] / s;
    ReflectionFromScaled(from, to, beta, v);
}

void Householder_ApplyLeft(int32_t columns, double* const* A, int32_t from, int32_t to, double beta, const double* v) {
    ApplyLeftColumns(0, columns - 1, A, from, to, beta, v);
}

void Householder_ApplyVector(double* x, int32_t from, int32_t to, double beta, const double* v) {
    long double dot = 0;
    for (int32_t k = from; k <= to; ++k) dot += static_cast<long double>(v[k]) * x[k];
    const double f = beta * static_cast<double>(dot);
    for (int32_t k = from; k <= to; ++k) x[k] -= f * v[k];
}

void Householder_ApplyRight(int32_t rows, double* const* A, int32_t from, int32_t to, double beta, const double* v) {
    for (int32_t r = 0; r < rows; ++r) Householder_ApplyVector(A[r], from, to, beta, v);
}

int QR_Alloc(int32_t rows, int32_t columns, QRFactor* record) {
    std::memset(record, 0, sizeof *record);
    if (rows <= 0 || columns <= 0) return 0;
    record->matrix = Mem_AllocMatrix(rows, columns);
    record->vectors = Mem_AllocMatrix(rows + 1, rows);
    record->pivots = Mem_AllocInts(rows);
    if (!record->matrix || !record->vectors || !record->pivots) {
        QR_Free(record);
        return CoreStatus_NoMemory;
    }
    record->rows = rows;
    record->columns = columns;
    record->beta = record->vectors[rows];
    return 0;
}

void QR_Free(QRFactor* record) {
    if (!record) return;
    Mem_FreeMatrix(record->matrix);
    Mem_FreeMatrix(record->vectors);
    Mem_Free(record->pivots);
    std::memset(record, 0, sizeof *record);
}

int QR_FactorPivoted(int32_t rows, int32_t columns, double* const* A, int32_t* pivots, double* const* vectors,
                     double* beta, int32_t* rank) {
    *rank = 0;
    if (rows <= 0 || columns <= 0) return 0;
    double* norms = Mem_AllocDoubles(columns);
    if (!norms) return CoreStatus_NoMemory;
    for (int32_t j = 0; j < columns; ++j) {
        long double sum = 0;
        for (int32_t k = 0; k < rows; ++k) sum += static_cast<long double>(A[k][j]) * A[k][j];
        norms[j] = static_cast<double>(sum);
    }
    const double threshold = 10.0 * kEpsilon * norms[LargestFrom(norms, 0, columns)];
    const int32_t steps = rows < columns ? rows : columns;
    int32_t done = 0;
    for (int32_t i = 0; i < steps; ++i) {
        const int32_t p = LargestFrom(norms, i, columns);
        if (!(norms[p] > threshold)) break;
        pivots[i] = p;
        SwapColumns(rows, A, i, p);
        const double t = norms[i];
        norms[i] = norms[p];
        norms[p] = t;
        double scale;
        Householder_ColumnVector(i, rows - 1, i, A, &beta[i], vectors[i], &scale);
        ApplyLeftColumns(i, columns - 1, A, i, rows - 1, beta[i], vectors[i]);
        for (int32_t j = i + 1; j < columns; ++j) norms[j] -= A[i][j] * A[i][j];
        done = i + 1;
    }
    Mem_Free(norms);
    *rank = done;
    return done < steps ? CoreStatus_LinearDependency : 0;
}

void QR_Solve(int32_t rows, int32_t rank, double* const* R, double* const* vectors, const double* beta,
              const int32_t* pivots, double* b) {
    for (int32_t i = 0; i < rank; ++i) Householder_ApplyVector(b, i, rows - 1, beta[i], vectors[i]);
    Triangle_SolveUpperRows(rank, R, b);
    for (int32_t i = rank; i < rows; ++i) b[i] = 0.0;
    for (int32_t i = rank - 1; i >= 0; --i) {
        const double t = b[i];
        b[i] = b[pivots[i]];
        b[pivots[i]] = t;
    }
}

int QR_FactorCopy(int32_t rows, int32_t columns, double* const* A, QRFactor* record) {
    int status = QR_Alloc(rows, columns, record);
    if (status != 0 || record->matrix == nullptr) return status;
    for (int32_t k = 0; k < rows; ++k) std::memcpy(record->matrix[k], A[k], sizeof(double) * columns);
    status =
        QR_FactorPivoted(rows, columns, record->matrix, record->pivots, record->vectors, record->beta, &record->rank);
    if (status != 0 && status != CoreStatus_LinearDependency) QR_Free(record);
    return status;
}

void QR_SolveRecord(const QRFactor* record, double* b, double* out) {
    double* x = b;
    if (out) {
        const int32_t n = record->columns > record->rows ? record->columns : record->rows;
        for (int32_t i = 0; i < n; ++i) out[i] = 0.0;
        std::memcpy(out, b, sizeof(double) * record->rows);
        x = out;
    }
    QR_Solve(record->rows, record->rank, record->matrix, record->vectors, record->beta, record->pivots, x);
}

int QR_LeastSquares(int32_t acceptDeficient, int32_t rows, int32_t columns, double* const* A, double* b, double* out) {
    QRFactor record;
    const int status = QR_FactorCopy(rows, columns, A, &record);
    const bool usable = status == 0 || (status == CoreStatus_LinearDependency && acceptDeficient);
    if (usable && record.matrix) QR_SolveRecord(&record, b, out);
    QR_Free(&record);
    return usable ? 0 : status;
}

int QR_Factor(int32_t rows, int32_t columns, double* const* A, double* const* vectors, double* beta) {
    double largest = 0.0;
    for (int32_t k = 0; k < rows; ++k)
        for (int32_t j = 0; j < columns; ++j) largest = std::fmax(largest, std::fabs(A[k][j]));
    int status = 0;
    const int32_t steps = rows < columns ? rows : columns;
    for (int32_t i = 0; i < steps; ++i) {
        double scale;
        Householder_ColumnVector(i, rows - 1, i, A, &beta[i], vectors[i], &scale);
        if (scale < kEpsilon * largest) status = CoreStatus_LinearDependency;
        ApplyLeftColumns(i, columns - 1, A, i, rows - 1, beta[i], vectors[i]);
    }
    return status;
}

void QR_SolvePlain(int32_t rows, int32_t columns, double* const* R, double* const* vectors, const double* beta,
                   double* b) {
    const int32_t steps = rows < columns ? rows : columns;
    for (int32_t i = 0; i < steps; ++i) Householder_ApplyVector(b, i, rows - 1, beta[i], vectors[i]);
    Triangle_SolveUpperRows(steps, R, b);
}

int QR_LagrangeCoefficients(int32_t rows, int32_t columns, QRFactor* record, double* const* G) {
    int status =
        QR_FactorPivoted(rows, columns, record->matrix, record->pivots, record->vectors, record->beta, &record->rank);
    if (status != 0) return status;
    const int32_t n = rows > columns ? rows : columns;
    double* b = Mem_AllocDoubles(n);
    if (!b) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < rows; ++i) {
        for (int32_t k = 0; k < n; ++k) b[k] = 0.0;
        b[i] = 1.0;
        QR_Solve(rows, record->rank, record->matrix, record->vectors, record->beta, record->pivots, b);
        std::memcpy(G[i], b, sizeof(double) * columns);
    }
    Mem_Free(b);
    return 0;
}

void Matrix_Congruence(double* const* W, double* const* K, double* const* G, int32_t e, int32_t m) {
    for (int32_t a = 0; a < m; ++a) {
        for (int32_t c = 0; c < m; ++c) {
            long double sum = 0;
            for (int32_t i = 0; i < e; ++i) {
                long double inner = 0;
                for (int32_t j = 0; j < e; ++j) inner += static_cast<long double>(K[i][j]) * G[j][c];
                sum += G[i][a] * inner;
            }
            W[a][c] = static_cast<double>(sum);
        }
    }
}
