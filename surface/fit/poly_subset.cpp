// Unisolvent subsets by geometry (degree 1) and by elimination on the
// monomial matrix (other degrees).
#include "surface/fit/poly_subset.h"

#include <cmath>

#include "surface/search/index_sort.h"
#include "surface/fit/poly_terms.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

const double kEpsilon = 0x1p-52;

// Sorts the first `count` (distinct) indices ascending with the index sort;
// 2 when a long list finds no memory for its copy.
int SortAscending(int32_t* indices, int32_t count) {
    if (count < 2) return 0;
    int32_t local[16];
    int32_t* copy = count <= 16 ? local : Mem_AllocInts(count);
    if (!copy) return CoreStatus_NoMemory;
    int32_t n = count;
    for (int32_t i = 0; i < count; ++i) copy[i] = indices[i];
    Index_SortUniqueCopy(&n, copy, indices, nullptr);
    if (copy != local) Mem_Free(copy);
    return 0;
}

double Dist2(const double* a, const double* b, int32_t d) {
    double s = 0.0;
    for (int32_t k = 0; k < d; ++k) s += (a[k] - b[k]) * (a[k] - b[k]);
    return s;
}

// Index of the largest score (the earlier point on ties).
template <class Score>
int32_t Farthest(int32_t N, Score score, double* best) {
    int32_t at = 0;
    *best = score(0);
    for (int32_t i = 1; i < N; ++i) {
        const double v = score(i);
        if (v > *best) {
            *best = v;
            at = i;
        }
    }
    return at;
}

// The largest coordinate magnitude, raised for degrees above 1.
double SubsetScale(int32_t d, int32_t n, int32_t N, const double* const* points) {
    double s = 0.0;
    for (int32_t i = 0; i < N; ++i)
        for (int32_t k = 0; k < d; ++k) s = std::fmax(s, std::fabs(points[i][k]));
    if (s > 1.0)
        for (int32_t j = 1; j < n; ++j) s *= s;
    return s;
}

// Gaussian elimination with row pivoting on the monomial matrix about the
// mean: the first point, then one point per column whose pivot is usable.
int EliminationSubset(int32_t d, int32_t n, int32_t m, int32_t N, const double* const* points, double scale,
                      int32_t* indices, int32_t* count) {
    if (d > 16) return CoreStatus_InvalidDimension;
    double** A = Mem_AllocMatrix(N, m);
    int32_t* perm = Mem_AllocInts(N);
    int32_t* exponents = Mem_AllocInts(d);
    double mean[16] = {};
    int status = A && perm && exponents ? 0 : CoreStatus_NoMemory;
    if (status == 0) {
        for (int32_t i = 0; i < N; ++i)
            for (int32_t k = 0; k < d; ++k) mean[k] += points[i][k];
        for (int32_t k = 0; k < d; ++k) mean[k] *= 1.0 / N;
        Poly_MonomialMatrix(d, n, mean, N, points, A, exponents);
        for (int32_t i = 0; i < N; ++i) perm[i] = i;
        const double tolerance = scale * kEpsilon;
        for (int32_t i = 1; i < N; ++i)
            for (int32_t j = 1; j < m; ++j) A[i][j] -= A[0][j];
        int32_t chosen = 1;
        for (int32_t j = 1; j < m && chosen < N; ++j) {
            int32_t p = chosen;
            for (int32_t i = chosen + 1; i < N; ++i)
                if (std::fabs(A[i][j]) > std::fabs(A[p][j])) p = i;
            const double pivot = A[p][j];
            // A zero pivot is never usable, even when the scale is zero.
            if (!(std::fabs(pivot) >= tolerance) || pivot == 0.0) continue;
            if (p != chosen) {
                double* t = A[p];
                for (int32_t c = 0; c < m; ++c) {
                    const double v = t[c];
                    t[c] = A[chosen][c];
                    A[chosen][c] = v;
                }
                const int32_t q = perm[p];
                perm[p] = perm[chosen];
                perm[chosen] = q;
            }
            double* row = A[chosen];
            const double inv = 1.0 / pivot;
            for (int32_t c = j + 1; c < m; ++c) row[c] *= inv;
            for (int32_t i = chosen + 1; i < N; ++i) {
                const double f = A[i][j];
                if (f == 0.0) continue;
                for (int32_t c = j + 1; c < m; ++c) A[i][c] -= f * row[c];
            }
            ++chosen;
        }
        for (int32_t i = 0; i < chosen; ++i) indices[i] = perm[i];
        *count = chosen;
        status = SortAscending(indices, chosen);
        if (status == 0 && chosen < m) status = CoreStatus_LinearDependency;
    }
    Mem_FreeMatrix(A);
    Mem_Free(perm);
    Mem_Free(exponents);
    return status;
}

}  // namespace

int Poly_ChooseUnisolvent2(int32_t N, const double* const* points, double scale, int32_t* indices, int32_t* count) {
    const double t = scale * kEpsilon;
    const double* p0 = points[0];
    double far2;
    const int32_t i1 = Farthest(
        N, [&](int32_t i) { return Dist2(points[i], p0, 2); }, &far2);
    *count = 0;
    // "Not above" rather than "below": all points at the origin give t = 0.
    if (!(far2 > t * t)) return CoreStatus_InvalidInput;
    indices[0] = 0;
    indices[1] = i1;
    *count = 2;
    const double a = points[i1][0] - p0[0], b = points[i1][1] - p0[1];
    const double length = std::sqrt(far2);
    double off;
    const int32_t i2 = Farthest(
        N, [&](int32_t i) { return std::fabs(a * (points[i][1] - p0[1]) - b * (points[i][0] - p0[0])) / length; },
        &off);
    if (!(off >= t) || off == 0.0 || i2 == i1) {
        SortAscending(indices, 2);
        return CoreStatus_LinearDependency;
    }
    indices[2] = i2;
    *count = 3;
    SortAscending(indices, 3);
    return 0;
}

int Poly_ChooseUnisolvent3(int32_t N, const double* const* points, double scale, int32_t* indices, int32_t* count) {
    const double t = scale * kEpsilon;
    const double* p0 = points[0];
    double far2;
    const int32_t i1 = Farthest(
        N, [&](int32_t i) { return Dist2(points[i], p0, 3); }, &far2);
    indices[0] = 0;
    indices[1] = i1;
    *count = 2;
    if (!(far2 > t * t)) return CoreStatus_InvalidInput;
    const double* p1 = points[i1];
    const double len = std::sqrt(far2);
    const double u[3] = {(p1[0] - p0[0]) / len, (p1[1] - p0[1]) / len, (p1[2] - p0[2]) / len};
    double line2;
    const int32_t i2 = Farthest(
        N,
        [&](int32_t i) {
            const double v[3] = {points[i][0] - p0[0], points[i][1] - p0[1], points[i][2] - p0[2]};
            const double along = v[0] * u[0] + v[1] * u[1] + v[2] * u[2];
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += (v[k] - along * u[k]) * (v[k] - along * u[k]);
            return s;
        },
        &line2);
    if (!(line2 >= t * t) || line2 == 0.0 || i2 == i1) {
        SortAscending(indices, 2);
        return CoreStatus_LinearDependency;
    }
    indices[2] = i2;
    *count = 3;
    const double* p2 = points[i2];
    const double a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    const double nrm[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    double plane;
    const int32_t i3 = Farthest(
        N,
        [&](int32_t i) {
            return std::fabs(nrm[0] * (points[i][0] - p2[0]) + nrm[1] * (points[i][1] - p2[1]) +
                             nrm[2] * (points[i][2] - p2[2]));
        },
        &plane);
    if (!(plane >= t) || plane == 0.0 || i3 == i1 || i3 == i2) {
        SortAscending(indices, 3);
        return CoreStatus_LinearDependency;
    }
    indices[3] = i3;
    *count = 4;
    SortAscending(indices, 4);
    return 0;
}

int Poly_ChooseUnisolventLinear(int32_t N, int32_t d, const double* const* points, double scale, int32_t* indices,
                                int32_t* count) {
    if (d == 2) return Poly_ChooseUnisolvent2(N, points, scale, indices, count);
    if (d == 3) return Poly_ChooseUnisolvent3(N, points, scale, indices, count);
    return CoreStatus_InvalidDimension;
}

int Poly_SelectSpanningSubset(int32_t d, int32_t n, int32_t m, int32_t N, const double* const* points, int32_t* indices,
                              int32_t* count) {
    const double scale = SubsetScale(d, n, N, points);
    *count = 0;
    if (N < m) return CoreStatus_NotEnoughPoints;
    if (n < 0) return 0;
    if (n == 0) {
        indices[0] = 0;
        *count = 1;
        return 0;
    }
    if (n == 1 && (d == 2 || d == 3)) return Poly_ChooseUnisolventLinear(N, d, points, scale, indices, count);
    return EliminationSubset(d, n, m, N, points, scale, indices, count);
}
