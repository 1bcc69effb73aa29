// Monomial counts, rank and unrank, and monomial values.
#include "surface/fit/poly_terms.h"

#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

// Counts for d = 1 to 3 and n = 0 to 3.
const int32_t kSmallCounts[3][4] = {{1, 2, 3, 4}, {1, 3, 6, 10}, {1, 4, 10, 20}};

}  // namespace

bool Poly_NextExponents(int32_t d, int32_t n, int32_t* e) {
    int32_t sum = 0;
    for (int32_t k = 0; k < d; ++k) sum += e[k];
    if (sum < n) {
        ++e[0];
        return true;
    }
    int32_t i = 0;
    while (i < d && e[i] == 0) ++i;
    if (i >= d - 1) return false;
    e[i] = 0;
    ++e[i + 1];
    return true;
}

namespace {

// x^e by repeated multiplication.
double Power(double x, int32_t e) {
    double p = 1.0;
    for (int32_t i = 0; i < e; ++i) p *= x;
    return p;
}

// The monomial values of the point (less the centre when one is given), in
// the monomial order: out(j, value) for j = 0..m-1.
template <class Out>
void Monomials(int32_t d, int32_t n, const double* centre, const double* point, int32_t* e, Out out) {
    if (n < 0) return;
    out(0, 1.0);
    if (n == 0) return;
    if (n == 1) {
        for (int32_t k = 0; k < d; ++k) out(k + 1, centre ? point[k] - centre[k] : point[k]);
        return;
    }
    for (int32_t k = 0; k < d; ++k) e[k] = 0;
    int32_t at = 0;
    while (Poly_NextExponents(d, n, e)) {
        double v = 1.0;
        for (int32_t k = 0; k < d; ++k) v *= Power(centre ? point[k] - centre[k] : point[k], e[k]);
        out(++at, v);
    }
}

void RowsOf(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points, double* const* rows,
            int32_t* e) {
    for (int32_t i = 0; i < N; ++i) {
        double* row = rows[i];
        Monomials(d, n, centre, points[i], e, [row](int32_t j, double v) { row[j] = v; });
    }
}

void ColumnsOf(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points,
               double* const* columns, int32_t* e) {
    for (int32_t i = 0; i < N; ++i)
        Monomials(d, n, centre, points[i], e, [columns, i](int32_t j, double v) { columns[j][i] = v; });
}

}  // namespace

int32_t Poly_Binomial(int32_t d, int32_t n) {
    if (n < 0 || d < 1) return 0;
    if (d <= 3 && n <= 3) return kSmallCounts[d - 1][n];
    long double v = 1;
    for (int32_t i = 0; i < n; ++i) v *= d + n - i;
    for (int32_t i = n; i >= 2; --i) v /= i;
    return static_cast<int32_t>(v + 0.5L);
}

int32_t Poly_BinomialTable(int32_t d, int32_t n, int32_t* const* T) {
    for (int32_t j = 0; j <= n; ++j) T[0][j] = 0;
    for (int32_t i = 1; i <= d; ++i) {
        T[i][0] = 1;
        // (i + j choose j) = (i + j - 1 choose j - 1)·(i + j)/j, exactly.
        for (int32_t j = 1; j <= n; ++j)
            T[i][j] = static_cast<int32_t>(static_cast<int64_t>(T[i][j - 1]) * (i + j) / j);
    }
    return T[d][n];
}

int32_t Poly_RankSum(int32_t d, int32_t n, const int32_t* e, const int32_t* const* T) {
    int32_t rank = 0;
    int32_t r = n;
    for (int32_t k = d; k >= 2; --k) {
        for (int32_t j = r - e[k - 1] + 1; j <= r; ++j) rank += T[k - 1][j];
        r -= e[k - 1];
    }
    return rank + e[0];
}

void Poly_UnrankWalk(int32_t d, int32_t n, int32_t rank, int32_t* e, const int32_t* const* T) {
    int32_t j = n;
    for (int32_t k = d; k >= 2; --k) {
        e[k - 1] = 0;
        while (rank >= T[k - 1][j]) {
            ++e[k - 1];
            rank -= T[k - 1][j];
            if (j > 1) --j;
        }
    }
    e[0] = rank;
}

int Poly_MultiIndexRank(int32_t d, int32_t n, const int32_t* exponents, int32_t* rank) {
    int32_t sum = 0;
    for (int32_t k = 0; k < d; ++k) sum += exponents[k];
    if (d < 1 || n < 0 || sum > n) return CoreStatus_InvalidInput;
    int32_t** T = Mem_AllocIntMatrix(d + 1, n + 1);
    if (!T) return CoreStatus_NoMemory;
    Poly_BinomialTable(d, n, T);
    *rank = Poly_RankSum(d, n, exponents, T);
    Mem_FreeIntMatrix(T);
    return 0;
}

int Poly_MultiIndexUnrank(int32_t d, int32_t n, int32_t rank, int32_t* exponents) {
    if (d < 1 || rank < 0 || rank >= Poly_Binomial(d, n)) return CoreStatus_InvalidInput;
    if (d == 1) {
        exponents[0] = rank;
        return 0;
    }
    int32_t** T = Mem_AllocIntMatrix(d + 1, n + 1);
    if (!T) return CoreStatus_NoMemory;
    Poly_BinomialTable(d, n, T);
    Poly_UnrankWalk(d, n, rank, exponents, T);
    Mem_FreeIntMatrix(T);
    return 0;
}

void Poly_MonomialsAt(int32_t d, int32_t n, const double* point, double* row, int32_t* exponents) {
    RowsOf(d, n, nullptr, 1, &point, &row, exponents);
}

void Poly_MonomialRows(int32_t d, int32_t n, const double* centre, const double* point, double* row,
                       int32_t* exponents) {
    RowsOf(d, n, centre, 1, &point, &row, exponents);
}

void Poly_MonomialMatrixPlain(int32_t d, int32_t n, int32_t N, const double* const* points, double* const* rows,
                              int32_t* exponents) {
    RowsOf(d, n, nullptr, N, points, rows, exponents);
}

void Poly_MonomialMatrix(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points,
                         double* const* rows, int32_t* exponents) {
    RowsOf(d, n, centre, N, points, rows, exponents);
}

void Poly_MonomialColumns(int32_t d, int32_t n, int32_t N, const double* const* points, double* const* columns,
                          int32_t* exponents) {
    ColumnsOf(d, n, nullptr, N, points, columns, exponents);
}

void Poly_MonomialColumnsCentred(int32_t d, int32_t n, const double* centre, int32_t N, const double* const* points,
                                 double* const* columns, int32_t* exponents) {
    ColumnsOf(d, n, centre, N, points, columns, exponents);
}
