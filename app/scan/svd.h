// Singular value decomposition of n x 3 matrices and what rests on it: the
// nearest rotation of a 3x3 matrix, the orthonormalisation of a float pose
// and the least-squares plane or line through a set of points.
//
// The decomposition works on three columns only, so each iteration costs a
// constant amount and the reduction to bidiagonal form is linear in n.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

// Relative tolerance of the decomposition: ten times the double epsilon.
constexpr double kSvdTolerance = 2.220446049250313e-15;
// Iterations allowed before the decomposition gives up.
constexpr int kSvdMaxSweeps = 20;
// Singular values and directions below this count as zero (the float 1e-5
// widened to double).
constexpr double kSvdGuard = 9.999999747378752e-6;

// The 3x3 upper bidiagonal form with the accumulated right-hand rotations.
// Row i of `right` is the right vector that belongs to d[i].
struct SvdBidiagonal {
    double d[3];
    double e[2];
    double right[3][3];
};

// Plane rotations are applied as (i, j) -> (c i - s j, s i + c j).
// Mode 'b' gives the rotation that zeroes b, mode 'a' the one that zeroes a;
// b = 0 or any other mode gives (1, 0).
void Svd_Givens(char mode, double a, double b, double& c, double& s);
// Turns x into a Householder vector v (v[0] = 1) with
// (I - beta v vᵀ) x = (mu, 0, ..., 0).
void Svd_Householder(int32_t n, double* x, double& beta, double& mu);
// x = (I - beta v vᵀ) x.
void Svd_ApplyHouseholder(int32_t n, const double* v, double beta, double* x);
// Reduces the n x 3 matrix given by its columns (overwritten) to bidiagonal
// form. Returns 0 when n < 1.
int32_t Svd_Bidiagonalise(int32_t n, double* x, double* y, double* z, SvdBidiagonal& out);
// Eigenvalues of the 2x2 matrix with rows (a, b) and (c, d), l1 >= l2.
// Returns 0 when the matrix is too large, too small or has complex
// eigenvalues.
int32_t Svd_Eigen2x2(double a, double b, double c, double d, double& l1, double& l2);
// One step on the 2x2 block (top, e, bottom) of the form, measured against
// scale; (c, s) is the rotation the caller applies to the block's two right
// vectors.
int32_t Svd_Block2x2(double scale, double& top, double& e, double& bottom, double& c, double& s);
// One step on the whole 3x3 form.
int32_t Svd_QrSweep(double scale, SvdBidiagonal& form);

// Singular values s1 >= s2 >= s3 (absolute values) with their unit right
// vectors. The columns are used as working space. Returns 1 when converged;
// 0 when it did not converge within kSvdMaxSweeps (outputs written from the
// last state) or when a step failed (nothing written).
int32_t Svd_Decompose(int32_t n, double* x, double* y, double* z, double tolerance, double& s1,
                      Vec3D& r1, double& s2, Vec3D& r2, double& s3, Vec3D& r3);
// The decomposition of n rows; 0 when n < 3, when memory runs out or when the
// decomposition did not succeed.
int32_t Svd_OfRows(int32_t n, const Vec3D* rows, double& s1, Vec3D& r1, double& s2, Vec3D& r2,
                   double& s3, Vec3D& r3);

// The nearest rotation of A's upper-left 3x3 part is Uᵀ·V (plain product;
// element [i][j] = sum over k of U[k][i] V[k][j]), a proper rotation. Rows of
// V are the right singular vectors, S holds the singular values, rows of U the
// left ones. Fails (0) when one of the two largest singular values is below
// kSvdGuard; a matrix of rank 2 still has a nearest rotation.
int32_t M4D_NearestRotation(const Matrix4D& a, Matrix4D& v, Matrix4D& s, Matrix4D& u);
// The nearest rotation of m's rotation part, keeping m's translation. Returns
// 0 with out unchanged on failure. out may be m.
int32_t M4_Orthonormalise(const Matrix4& m, Matrix4& out);
// Least-squares fit through n points about their centroid: the line along
// the greatest spread and the plane normal to the least. spread, lineError
// and planeError are root-mean-square distances from the centroid, the line
// and the plane. Any output but the centroid may be null. Returns 0 when
// n < 3, when memory runs out or when the decomposition did not succeed.
int32_t Svd_FitPlaneOrLine(int32_t n, const Vec3D* points, Vec3D& centroid, Vec3D* lineDirection,
                           Vec3D* planeNormal, double* spread, double* lineError,
                           double* planeError);
