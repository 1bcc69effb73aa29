// Rigid motions of solutions. The basic functions depend only on distances,
// so a rotation and translation of the centres leaves their sum unchanged;
// only the polynomial part, written about its base, must be rotated: its
// linear coefficients a become R a and its quadratic form Q becomes R Q Rᵀ.
#include <cmath>

#include "surface/frame/matrix_gather.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"

namespace {

const double kTolerance = 1e-12;

// Where the linear and quadratic coefficients of a polynomial of degree 1 or
// 2 sit in the coefficient order of dimension D.
template <int D>
struct PolyLayout;

template <>
struct PolyLayout<3> {
    // Degree 1: 1, x, y, z. Degree 2: 1, x, x², y, xy, y², z, xz, yz, z².
    static constexpr int linear1[3] = {1, 2, 3};
    static constexpr int linear2[3] = {1, 3, 6};
    // Q(i, j) for i <= j, row by row: x², xy, xz, y², yz, z².
    static constexpr int quadratic[3][3] = {{2, 4, 7}, {-1, 5, 8}, {-1, -1, 9}};
};

template <>
struct PolyLayout<2> {
    static constexpr int linear1[2] = {1, 2};
    static constexpr int linear2[2] = {1, 3};
    static constexpr int quadratic[2][2] = {{2, 4}, {-1, 5}};
};

// x' = R x + t for one point.
template <int D>
void MovePoint(const double (*rotation)[D], const double* translation, double* point) {
    double moved[D];
    for (int i = 0; i < D; ++i) {
        moved[i] = translation[i];
        for (int j = 0; j < D; ++j) moved[i] += rotation[i][j] * point[j];
    }
    for (int i = 0; i < D; ++i) point[i] = moved[i];
}

// Rotates the polynomial coefficients that follow the centre coefficients;
// degree 2 works in a 9 by 3 scratch matrix: R, Q, and R Q.
template <int D>
void RotatePolynomial(const double (*rotation)[D], int32_t degree, double* poly, double** scratch) {
    if (degree < 1) return;
    const int* linear = degree == 1 ? PolyLayout<D>::linear1 : PolyLayout<D>::linear2;
    double rotatedLinear[D];
    for (int i = 0; i < D; ++i) {
        rotatedLinear[i] = 0.0;
        for (int j = 0; j < D; ++j) rotatedLinear[i] += rotation[i][j] * poly[linear[j]];
    }
    if (degree == 2) {
        double** r = scratch;
        double** q = scratch + 3;
        double** rq = scratch + 6;
        for (int i = 0; i < D; ++i)
            for (int j = 0; j < D; ++j) {
                r[i][j] = rotation[i][j];
                const int at = PolyLayout<D>::quadratic[i][j];
                q[i][j] = at >= 0 ? poly[at] : 0.0;
            }
        Matrix_Product(rq, r, q, D, D, D);
        // M = (R Q) Rᵀ; the form's coefficient of x_i x_j (i < j) is M(i, j) + M(j, i).
        double m[D][D];
        for (int i = 0; i < D; ++i)
            for (int j = 0; j < D; ++j) {
                m[i][j] = 0.0;
                for (int k = 0; k < D; ++k) m[i][j] += rq[i][k] * r[j][k];
            }
        for (int i = 0; i < D; ++i)
            for (int j = i; j < D; ++j) poly[PolyLayout<D>::quadratic[i][j]] = i == j ? m[i][i] : m[i][j] + m[j][i];
    }
    for (int i = 0; i < D; ++i) poly[linear[i]] = rotatedLinear[i];
}

template <class Solution, int D>
int Transform(Solution* s, const double (*rotation)[D], const double* translation) {
    // The scratch is had before anything moves, so that a failure leaves the
    // solution as it was.
    double** scratch = nullptr;
    if (s->PolyDegree == 2) {
        scratch = Mem_AllocMatrix(9, 3);
        if (scratch == nullptr) return ApiStatus_NoMemory;
    }
    double* moved = s->Centres;
    for (int32_t c = 0; c < s->CentreCount; ++c) MovePoint<D>(rotation, translation, moved + D * c);
    for (int k = 0; k < D; ++k) s->DataMin[k] = s->DataMax[k] = moved[k];
    for (int32_t c = 1; c < s->CentreCount; ++c)
        for (int k = 0; k < D; ++k) {
            const double v = moved[D * c + k];
            if (v < s->DataMin[k]) s->DataMin[k] = v;
            if (v > s->DataMax[k]) s->DataMax[k] = v;
        }
    MovePoint<D>(rotation, translation, s->PolyBase);
    RotatePolynomial<D>(rotation, s->PolyDegree, s->Coeffs + s->CentreCount, scratch);
    Mem_FreeMatrix(scratch);
    return ApiStatus_Success;
}

}  // namespace

int Solution3_Transform(Solution3* solution, const double* matrix) {
    if (!Solution3_Check(solution, nullptr)) return ApiStatus_BadSolution;
    if (matrix == nullptr) return ApiStatus_InvalidArgument;
    double rotation[3][3], translation[3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) rotation[i][j] = matrix[4 * i + j];
        translation[i] = matrix[4 * i + 3];
    }
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j) {
            double dot = 0.0;
            for (int k = 0; k < 3; ++k) dot += rotation[i][k] * rotation[j][k];
            // Rows of unit length, pairwise orthogonal (NaN fails too).
            if (!(std::fabs(dot - (i == j ? 1.0 : 0.0)) <= kTolerance)) return ApiStatus_InvalidArgument;
        }
    return Transform<Solution3, 3>(solution, rotation, translation);
}

int Solution2_Transform(Solution2* solution, const double* matrix) {
    if (!Solution2_Check(solution, nullptr)) return ApiStatus_BadSolution;
    if (matrix == nullptr) return ApiStatus_InvalidArgument;
    const double a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
    // A rotation: a = d and b = -c; the unit length is required too, since a
    // scaled rotation would change every distance and so the kernel sum.
    if (!(std::fabs(a - d) <= kTolerance) || !(std::fabs(b + c) <= kTolerance) ||
        !(std::fabs(a * a + b * b - 1.0) <= kTolerance))
        return ApiStatus_InvalidArgument;
    const double rotation[2][2] = {{a, b}, {c, d}};
    const double translation[2] = {matrix[2], matrix[5]};
    return Transform<Solution2, 2>(solution, rotation, translation);
}
