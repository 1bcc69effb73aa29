#include "app/scan/svd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// Eigenvalues of a symmetric 3x3 matrix by cyclic Jacobi rotations: an
// independent way to the squared singular values.
std::vector<double> JacobiEigenvalues(double a[3][3]) {
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        if (off < 1e-30) break;
        for (int p = 0; p < 2; ++p)
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0.0) continue;
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < 3; ++k) {  // columns p, q
                    const double kp = a[k][p], kq = a[k][q];
                    a[k][p] = c * kp - s * kq;
                    a[k][q] = s * kp + c * kq;
                }
                for (int k = 0; k < 3; ++k) {  // rows p, q
                    const double pk = a[p][k], qk = a[q][k];
                    a[p][k] = c * pk - s * qk;
                    a[q][k] = s * pk + c * qk;
                }
            }
    }
    std::vector<double> ev = {a[0][0], a[1][1], a[2][2]};
    std::sort(ev.rbegin(), ev.rend());
    return ev;
}

double Dot(const Vec3D& a, const Vec3D& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Decomposition {
    int32_t result;
    double s[3];
    Vec3D r[3];
};

Decomposition Decompose(const std::vector<Vec3D>& rows) {
    const int32_t n = static_cast<int32_t>(rows.size());
    std::vector<double> x(n), y(n), z(n);
    for (int32_t i = 0; i < n; ++i) {
        x[i] = rows[i].x;
        y[i] = rows[i].y;
        z[i] = rows[i].z;
    }
    Decomposition d{};
    d.result = Svd_Decompose(n, x.data(), y.data(), z.data(), kSvdTolerance, d.s[0], d.r[0], d.s[1],
                             d.r[1], d.s[2], d.r[2]);
    return d;
}

// Checks the decomposition against the rows: singular values against the
// eigenvalues of AᵀA, orthonormal right vectors, and |A rᵢ| = σᵢ.
void CheckAgainstRows(const std::vector<Vec3D>& rows, const Decomposition& d) {
    double ata[3][3] = {};
    for (const Vec3D& r : rows) {
        const double v[3] = {r.x, r.y, r.z};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) ata[i][j] += v[i] * v[j];
    }
    const double scale = std::sqrt(ata[0][0] + ata[1][1] + ata[2][2]);
    const std::vector<double> ev = JacobiEigenvalues(ata);
    ASSERT_EQ(d.result, 1);
    for (int i = 0; i < 3; ++i) {
        // Compared squared: the square root of a tiny eigenvalue is itself inexact.
        EXPECT_NEAR(d.s[i] * d.s[i], ev[i], 1e-12 * scale * scale) << "value " << i;
        if (i > 0) {
            EXPECT_GE(d.s[i - 1], d.s[i]);
        }
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(Dot(d.r[i], d.r[j]), i == j ? 1.0 : 0.0, 1e-12);
        double lengthSq = 0;
        for (const Vec3D& r : rows) lengthSq += Dot(r, d.r[i]) * Dot(r, d.r[i]);
        EXPECT_NEAR(std::sqrt(lengthSq), d.s[i], 1e-9 * scale);
    }
}

TEST(SvdDecompose, RandomMatricesMatchAnIndependentEigenvalueComputation) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    const int sizes[] = {1, 2, 3, 4, 7, 50, 1000};
    for (int n : sizes)
        for (int trial = 0; trial < 20; ++trial) {
            SCOPED_TRACE(testing::Message() << "n " << n << " trial " << trial);
            std::vector<Vec3D> rows(n);
            for (Vec3D& r : rows) r = Vec3D{value(rng), value(rng), value(rng)};
            CheckAgainstRows(rows, Decompose(rows));
        }
}

TEST(SvdDecompose, StructuredMatrices) {
    const std::vector<std::vector<Vec3D>> cases = {
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},              // zero
        {{3, 0, 0}, {0, -5, 0}, {0, 0, 1}},             // diagonal with a negative entry
        {{1, 2, 3}, {2, 4, 6}, {3, 6, 9}, {-1, -2, -3}},  // rank 1
        {{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, -1, 0}},  // rank 2
        {{0, 0, 1}, {0, 0, 2}, {0, 0, 3}},              // only the last column
        {{1e-3, 0, 0}, {0, 1e6, 0}, {0, 0, 1}},         // widely spread values
        {{2, 2, 2}, {2, 2, 2}, {2, 2, 2}},
        {{1, 1, 0}, {0, 1, 1}, {0, 0, 1}},              // bidiagonal already
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "case " << k);
        CheckAgainstRows(cases[k], Decompose(cases[k]));
    }
}

TEST(SvdOfRows, NeedsThreeRows) {
    const Vec3D rows[3] = {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}};
    double s1 = -1, s2 = -1, s3 = -1;
    Vec3D r1{}, r2{}, r3{};
    EXPECT_EQ(Svd_OfRows(2, rows, s1, r1, s2, r2, s3, r3), 0);
    EXPECT_EQ(s1, -1.0);
    ASSERT_EQ(Svd_OfRows(3, rows, s1, r1, s2, r2, s3, r3), 1);
    EXPECT_DOUBLE_EQ(s1, 3.0);
    EXPECT_DOUBLE_EQ(s2, 2.0);
    EXPECT_DOUBLE_EQ(s3, 1.0);
    EXPECT_DOUBLE_EQ(std::fabs(r1.z), 1.0);
    EXPECT_DOUBLE_EQ(std::fabs(r3.x), 1.0);
}

TEST(SvdSteps, GivensHouseholderAndEigenvalues) {
    double c, s;
    for (char mode : {'a', 'b', 'x'}) {
        Svd_Givens(mode, 3.0, 0.0, c, s);
        EXPECT_EQ(c, 1.0);
        EXPECT_EQ(s, 0.0);
    }
    const double pairs[][2] = {{3, 4}, {-4, 3}, {1e-3, 7}, {5, -1e-2}};
    for (const auto& p : pairs) {
        Svd_Givens('b', p[0], p[1], c, s);
        EXPECT_NEAR(s * p[0] + c * p[1], 0.0, 1e-12);
        EXPECT_NEAR(std::fabs(c * p[0] - s * p[1]), std::hypot(p[0], p[1]), 1e-12);
        Svd_Givens('a', p[0], p[1], c, s);
        EXPECT_NEAR(c * p[0] - s * p[1], 0.0, 1e-12);
        EXPECT_NEAR(std::fabs(s * p[0] + c * p[1]), std::hypot(p[0], p[1]), 1e-12);
    }

    // The reflection maps x onto (mu, 0, ...), including a lone negative entry.
    const std::vector<std::vector<double>> vectors = {{3, 4, 0, 12}, {-2, 0, 0}, {-5}, {5}, {0, 0, 7}};
    for (const auto& original : vectors) {
        std::vector<double> v = original, x = original;
        double beta, mu;
        Svd_Householder(static_cast<int32_t>(v.size()), v.data(), beta, mu);
        EXPECT_EQ(v[0], 1.0);
        Svd_ApplyHouseholder(static_cast<int32_t>(v.size()), v.data(), beta, x.data());
        EXPECT_NEAR(x[0], mu, 1e-12);
        for (size_t i = 1; i < x.size(); ++i) EXPECT_NEAR(x[i], 0.0, 1e-12);
    }

    double l1, l2;
    EXPECT_EQ(Svd_Eigen2x2(0, 0, 0, 0, l1, l2), 0);
    EXPECT_EQ(Svd_Eigen2x2(0, 1, -1, 0, l1, l2), 0);  // complex pair
    EXPECT_EQ(Svd_Eigen2x2(1e101, 0, 0, 1, l1, l2), 0);
    ASSERT_EQ(Svd_Eigen2x2(2, 1, 1, 2, l1, l2), 1);
    EXPECT_EQ(l1, 3.0);
    EXPECT_EQ(l2, 1.0);
}

// The rotation of the decomposition: Uᵀ·V.
Matrix4D RotationOf(const Matrix4D& u, const Matrix4D& v) {
    Matrix4D ut, r;
    M4D_Transpose(u, ut);
    M4D_Multiply(v, ut, r);
    return r;
}

Matrix4D SampleRotation() {
    Matrix4D a, b, r;
    M4D_MakeRotation(40.0, a);
    Matrix4D swap;  // a permutation with determinant 1
    M4D_Identity(swap);
    swap[0] = 0; swap[1] = 1; swap[2] = 0;
    swap[4] = 0; swap[5] = 0; swap[6] = 1;
    swap[8] = 1; swap[9] = 0; swap[10] = 0;
    M4D_MakeRotation(-75.0, b);
    M4D_Multiply(swap, a, r);
    M4D_Multiply(b, r, r);
    return r;
}

// diag(d) · q as a plain product: rows of q scaled.
Matrix4D ScaledRows(double d0, double d1, double d2, const Matrix4D& q) {
    Matrix4D m = q;
    const double d[3] = {d0, d1, d2};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i * 4 + j] *= d[i];
    return m;
}

void ExpectRotationNear(const Matrix4D& r, const Matrix4D& expected) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(r[i * 4 + j], expected[i * 4 + j], 1e-12) << i << "," << j;
    EXPECT_NEAR(M4D_Determinant3(r), 1.0, 1e-12);
}

TEST(NearestRotation, RotationReflectionAndRank) {
    const Matrix4D q = SampleRotation();
    struct Case {
        const char* name;
        Matrix4D a;
        int32_t result;
    };
    const Case cases[] = {
        {"rotation", q, 1},
        {"scaled rotation", ScaledRows(3, 3, 3, q), 1},
        {"stretched", ScaledRows(4, 2, 0.5, q), 1},
        // det < 0: the proper rotation comes out, the smallest direction flipped.
        {"reflection", ScaledRows(3, 2, -1, q), 1},
        {"rank 2", ScaledRows(2, 1, 0, q), 1},
        {"rank 1", ScaledRows(2, 0, 0, q), 0},
        {"second value below the guard", ScaledRows(2, 5e-6, 0, q), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Matrix4D v, s, u;
        ASSERT_EQ(M4D_NearestRotation(c.a, v, s, u), c.result);
        if (c.result) ExpectRotationNear(RotationOf(u, v), q);
    }
    // A pure reflection of a rotation: any answer must be a proper rotation.
    Matrix4D v, s, u;
    ASSERT_EQ(M4D_NearestRotation(ScaledRows(1, 1, -1, q), v, s, u), 1);
    EXPECT_NEAR(M4D_Determinant3(RotationOf(u, v)), 1.0, 1e-12);
}

TEST(Orthonormalise, ScaledRotationGivesTheRotationAndKeepsTheTranslation) {
    Matrix4 r;
    M4_Identity(r);
    M4_RotateX(30.0f, r);
    M4_RotateY(-50.0f, r);
    M4_RotateZ(100.0f, r);
    Matrix4 scaled = r;
    for (int i = 0; i < 12; ++i) scaled[i] *= 1.25f;
    scaled[12] = 5.0f;
    scaled[13] = -6.0f;
    scaled[14] = 7.5f;

    Matrix4 separate;
    M4_Identity(separate);
    ASSERT_EQ(M4_Orthonormalise(scaled, separate), 1);
    Matrix4 inPlace = scaled;
    ASSERT_EQ(M4_Orthonormalise(inPlace, inPlace), 1);
    for (const Matrix4* m : {&separate, &inPlace}) {
        for (int i = 0; i < 12; ++i) EXPECT_NEAR((*m)[i], r[i], 1e-6f) << i;
        EXPECT_EQ((*m)[12], 5.0f);
        EXPECT_EQ((*m)[13], -6.0f);
        EXPECT_EQ((*m)[14], 7.5f);
        EXPECT_EQ((*m)[15], 1.0f);
    }

    Matrix4 flat = r, out = r;
    for (int i = 4; i < 12; ++i) flat[i] = 0.0f;  // rank 1
    out[12] = 99.0f;
    EXPECT_EQ(M4_Orthonormalise(flat, out), 0);
    EXPECT_EQ(out[12], 99.0f) << "a failed orthonormalisation leaves out alone";
}

TEST(FitPlaneOrLine, SyntheticPlanesAndLines) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(-5.0, 5.0);
    // Points on the plane through (1, 2, 3) spanned by e1 and e2.
    const Vec3D e1{1, 1, 0}, e2{0, 1, 1}, normal{1.0 / std::sqrt(3.0), -1.0 / std::sqrt(3.0), 1.0 / std::sqrt(3.0)};
    std::vector<Vec3D> plane;
    for (int i = 0; i < 40; ++i) {
        const double a = u(rng), b = u(rng);
        plane.push_back(Vec3D{1 + a * e1.x + b * e2.x, 2 + a * e1.y + b * e2.y, 3 + a * e1.z + b * e2.z});
    }
    Vec3D centroid, dir, n;
    double spread, lineErr, planeErr;
    ASSERT_EQ(Svd_FitPlaneOrLine(40, plane.data(), centroid, &dir, &n, &spread, &lineErr, &planeErr), 1);
    EXPECT_NEAR(planeErr, 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(Dot(n, normal)), 1.0, 1e-12);
    EXPECT_GT(lineErr, 0.5);

    // Points along a line, with the spread known: distances 1, 2, 3 either side.
    const Vec3D along{2.0 / 3, 1.0 / 3, -2.0 / 3};
    std::vector<Vec3D> line;
    for (int k = -3; k <= 3; ++k)
        if (k) line.push_back(Vec3D{4 + k * along.x, -1 + k * along.y, 2 + k * along.z});
    ASSERT_EQ(Svd_FitPlaneOrLine(6, line.data(), centroid, &dir, nullptr, &spread, &lineErr, nullptr), 1);
    EXPECT_NEAR(centroid.x, 4.0, 1e-12);
    EXPECT_NEAR(lineErr, 0.0, 1e-12);
    EXPECT_NEAR(std::fabs(Dot(dir, along)), 1.0, 1e-12);
    EXPECT_NEAR(spread, std::sqrt(28.0 / 6.0), 1e-12);

    EXPECT_EQ(Svd_FitPlaneOrLine(2, line.data(), centroid, &dir, &n, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(Svd_FitPlaneOrLine(0, nullptr, centroid, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

}  // namespace
