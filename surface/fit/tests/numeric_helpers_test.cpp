#include "surface/fit/plane_fit.h"
#include "surface/fit/small_solvers.h"
#include "surface/fit/strided_arrays.h"
#include "surface/fit/vector_norms.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(VectorNorms, SumsKeepSmallTermsAndMaximaReportTheFirstIndex) {
    // Ten terms each below half an ulp of 1: a plain sum would lose them all.
    std::vector<double> x(11, 1e-16);
    x[0] = 1.0;
    EXPECT_EQ(Vec_SumAbs(x.data(), 11), 1.0 + 1e-15);
    const std::vector<double> y(11, 0.0);
    EXPECT_EQ(Vec_SumAbsDiff(x.data(), y.data(), 11), 1.0 + 1e-15);
    EXPECT_EQ(Vec_NormSquared(x.data(), 11), 1.0);
    const int32_t ints[] = {-3, 4, -5};
    EXPECT_EQ(Vec_SumAbsInts(ints, 3), 12.0);

    const double v[] = {3.0, -4.0};
    EXPECT_EQ(Vec_Norm2(v, 2), 5.0);
    EXPECT_EQ(Vec_NormSquared(v, 2), 25.0);
    const double w[] = {0.0, 0.0};
    EXPECT_EQ(Vec_Distance(v, w, 2), 5.0);
    EXPECT_EQ(Vec_DistanceSquared(v, w, 2), 25.0);

    const double ties[] = {1.0, -7.0, 7.0, 2.0};
    int32_t at = -1;
    EXPECT_EQ(Vec_NormInfIndex(ties, 4, &at), 7.0);
    EXPECT_EQ(at, 1);
    EXPECT_EQ(Vec_NormInfIndex(ties, 4, nullptr), 7.0);
    EXPECT_EQ(Vec_NormInf(ties, 4), 7.0);
    const double other[] = {1.0, 7.0, -6.0, 2.0};
    EXPECT_EQ(Vec_NormInfDiff(ties, other, 4), 14.0);
    EXPECT_EQ(Vec_NormInfSum(ties, other, 4), 4.0);

    const double* rowsA[] = {v, w};
    const double* rowsB[] = {w, v};
    double distances[2];
    Vec_RowDistances(rowsA, rowsB, distances, 2, 2);
    EXPECT_EQ(distances[0], 5.0);
    EXPECT_EQ(distances[1], 5.0);
}

TEST(VectorNorms, MatrixAndPairTriangleNorms) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    double** a = Mem_AllocMatrix(2, 3);
    double** b = Mem_AllocMatrix(2, 3);
    for (int i = 0; i < 6; ++i) {
        a[0][i] = i - 4.0;
        b[0][i] = 0.5 * i;
    }
    EXPECT_EQ(Matrix_NormInf(a, 2, 3), 4.0);
    EXPECT_EQ(Matrix_NormInfDiff(a, b, 2, 3), 4.0);
    MemPair** s = Mem_AllocLowerTrianglePairs(2);
    MemPair** t = Mem_AllocLowerTrianglePairs(2);
    for (int i = 0; i < 3; ++i) {
        s[0][i] = MemPair(i, -2.0 * i);
        t[0][i] = MemPair(0.0, 0.0);
    }
    EXPECT_EQ(PairTriangle_NormInf(s, 2), 4.0);
    EXPECT_EQ(PairTriangle_NormInfDiff(s, t, 2), 4.0);
    EXPECT_EQ(PairTriangle_MaxDistSquared(s, t, 2), 4.0 + 16.0);
    Mem_FreeMatrix(a);
    Mem_FreeMatrix(b);
    Mem_FreeMatrix(s);
    Mem_FreeMatrix(t);
    Mem_TrackEnd();
}

TEST(VectorNorms, DistanceBelowABoundStopsEarly) {
    const double p[] = {0.0, 0.0, 0.0};
    const double q[] = {1.0, 2.0, 2.0};
    double out = 0.0;
    EXPECT_EQ(Vec3_DistanceSquaredBelow(p, q, 10.0, &out), 1);
    EXPECT_EQ(out, 9.0);
    EXPECT_EQ(Vec3_DistanceSquaredBelow(p, q, 9.0, &out), 0);
    EXPECT_EQ(out, 9.0);
    EXPECT_EQ(Vec3_DistanceSquaredBelow(p, q, 4.0, &out), 0);
    EXPECT_EQ(out, 4.0);
}

double** Matrix(int n, const std::vector<double>& values) {
    double** m = Mem_AllocMatrix(n, n);
    for (int i = 0; i < n * n; ++i) m[0][i] = values[i];
    return m;
}

TEST(SmallSolvers, ThreeByThreeInverse) {
    const double m[] = {2, 0, 0, 0, 4, 0, 0, 0, 0.5};
    double inverse[9];
    ASSERT_EQ(Mat3_Invert(m, inverse), 0);
    const double expected[] = {0.5, 0, 0, 0, 0.25, 0, 0, 0, 2};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(inverse[i], expected[i]);

    const double general[] = {4, 7, 2, 3, 6, 1, 2, 5, 3};  // det 9
    ASSERT_EQ(Mat3_Invert(general, inverse), 0);
    const double known[] = {13, -11, -5, -7, 8, 2, 3, -6, 3};
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(inverse[i], known[i] / 9.0, 1e-15);

    double aliased[9];
    std::copy(general, general + 9, aliased);
    ASSERT_EQ(Mat3_Invert(aliased, aliased), 0);
    EXPECT_NEAR(aliased[0], 13.0 / 9.0, 1e-15);

    for (const std::vector<double>& singular :
         {std::vector<double>{1, 2, 3, 2, 4, 6, 1, 0, 1}, std::vector<double>(9, 0.0)}) {
        inverse[0] = 99.0;
        EXPECT_EQ(Mat3_Invert(singular.data(), inverse), 4);
        EXPECT_EQ(inverse[0], 0.0);
    }
}

TEST(SmallSolvers, GaussJordanAndLuAgainstKnownResults) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    struct Case {
        int n;
        std::vector<double> a;
        std::vector<double> inverse;
    };
    const std::vector<Case> cases = {
        {3,
         {4, 7, 2, 3, 6, 1, 2, 5, 3},
         {13 / 9.0, -11 / 9.0, -5 / 9.0, -7 / 9.0, 8 / 9.0, 2 / 9.0, 3 / 9.0, -6 / 9.0, 3 / 9.0}},
        {2, {0, 1, 1, 0}, {0, 1, 1, 0}},              // needs a row exchange
        {2, {1e8, 0, 0, 2e8}, {1e-8, 0, 0, 0.5e-8}},  // large entries are not singular
        {2, {1e-9, 0, 0, 4e-9}, {1e9, 0, 0, 0.25e9}},
    };
    for (const Case& c : cases) {
        double** a = Matrix(c.n, c.a);
        double** inverse = Mem_AllocMatrix(c.n, c.n);
        ASSERT_EQ(Matrix_InvertGaussJordan(c.n, a, inverse), 0);
        for (int i = 0; i < c.n * c.n; ++i) {
            EXPECT_NEAR(inverse[0][i], c.inverse[i], 1e-14 * std::fabs(c.inverse[i]) + 1e-15) << i;
            EXPECT_EQ(a[0][i], c.a[i]) << "A is left as it was";
        }
        // LU: solve A x = e_j for every column j.
        std::vector<int32_t> index(c.n);
        std::vector<double> scale(c.n);
        ASSERT_EQ(LU_IndexDecompose(c.n, a, index.data(), scale.data()), 0);
        for (int j = 0; j < c.n; ++j) {
            std::vector<double> b(c.n, 0.0);
            std::vector<double> x(c.n);
            b[j] = 1.0;
            LU_IndexSolve(c.n, a, index.data(), x.data(), b.data());
            for (int i = 0; i < c.n; ++i) {
                const double want = c.inverse[i * c.n + j];
                EXPECT_NEAR(x[i], want, 1e-14 * std::fabs(want) + 1e-15);
            }
        }
        Mem_FreeMatrix(a);
        Mem_FreeMatrix(inverse);
    }
    for (const std::vector<double>& singular :
         {std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}, std::vector<double>{1, 2, 3, 0, 0, 0, 7, 8, 9},
          std::vector<double>{1e8, 2e8, 3e8, 2e8, 4e8, 6e8, 1, 5, 7}}) {
        double** a = Matrix(3, singular);
        double** inverse = Mem_AllocMatrix(3, 3);
        EXPECT_EQ(Matrix_InvertGaussJordan(3, a, inverse), 4);
        std::vector<int32_t> index(3);
        std::vector<double> scale(3);
        EXPECT_EQ(LU_IndexDecompose(3, a, index.data(), scale.data()), 4);
        Mem_FreeMatrix(a);
        Mem_FreeMatrix(inverse);
    }
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0);
    Mem_TrackEnd();
}

TEST(PlaneFit, PlanesOfPointsAndTheLeastSquaresPlane) {
    double plane[4];
    const double p0[] = {0, 0, 1}, p1[] = {1, 0, 1}, p2[] = {0, 1, 1};
    Plane_FromPoints(p0, p1, p2, plane);
    EXPECT_EQ(plane[0], 0.0);
    EXPECT_EQ(plane[1], 0.0);
    EXPECT_EQ(plane[2], 1.0);
    EXPECT_EQ(plane[3], -1.0);
    double scaled[] = {0.0, 3.0, 4.0, 10.0};
    Plane_NormaliseByNormal(scaled);
    EXPECT_EQ(scaled[1], 0.6);
    EXPECT_EQ(scaled[3], 2.0);
    double v[] = {0.0, 0.0, 2.0};
    Vec3_NormaliseInPlace(v);
    EXPECT_EQ(v[2], 1.0);
    double zero[] = {0.0, 0.0, 0.0};
    Vec3_NormaliseInPlace(zero);
    EXPECT_EQ(zero[2], 0.0);

    // Points near the plane x + 2y + 2z = 9, off it by small alternating amounts.
    std::vector<std::vector<double>> points;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            const double x = i - 2.0, y = j - 2.0;
            const double off = ((i + j) % 2 ? 1e-3 : -1e-3);
            points.push_back({x + off / 3, y + 2 * off / 3, (9.0 - x - 2 * y) / 2 + 2 * off / 3});
        }
    }
    std::vector<const double*> rows;
    for (const auto& p : points) rows.push_back(p.data());
    ASSERT_EQ(Points_FitPlaneMoments(rows.data(), static_cast<int32_t>(rows.size()), plane), 0);
    const double sign = plane[3] < 0 ? 1.0 : -1.0;
    EXPECT_NEAR(sign * plane[0], 1.0 / 3, 1e-4);
    EXPECT_NEAR(sign * plane[1], 2.0 / 3, 1e-4);
    EXPECT_NEAR(sign * plane[2], 2.0 / 3, 1e-4);
    EXPECT_NEAR(sign * plane[3], -3.0, 1e-3);

    double centroid[3], normal[3];
    ASSERT_EQ(Points_FitPlane(rows.data(), static_cast<int32_t>(rows.size()), centroid, normal), 0);
    EXPECT_NEAR(centroid[0], 0.0, 1e-4);
    EXPECT_NEAR(centroid[2], 4.5, 1e-3);
    EXPECT_NEAR(std::fabs(normal[0] * 1 + normal[1] * 2 + normal[2] * 2) / 3.0, 1.0, 1e-8);

    // A plane through the origin cannot be written as n . p = 1.
    const double a[] = {1, 0, 0}, b[] = {0, 1, 0}, c[] = {1, 1, 0}, d[] = {2, 3, 0};
    const double* flat[] = {a, b, c, d};
    EXPECT_EQ(Points_FitPlaneMoments(flat, 4, plane), 4);
    EXPECT_EQ(Points_FitPlane(flat, 4, centroid, normal), 4);
    EXPECT_EQ(centroid[0], 1.0);
    EXPECT_EQ(normal[0], 0.0);
    EXPECT_EQ(Points_FitPlane(flat, 0, centroid, normal), 0);
    EXPECT_EQ(centroid[0], 0.0);
}

TEST(StridedArrays, BoxOperationsAndDenseWrappers) {
    // A 4 x 3 dense array, first index fastest.
    std::vector<double> grid(12, 1.0);
    const int32_t sizes[] = {4, 3};
    const double byColumn[] = {10, 20, 30, 40};
    ASSERT_EQ(Array_AddAlongAxis(grid.data(), 0, 2, byColumn, sizes), 0);
    EXPECT_EQ(grid[5], 21.0);  // (1, 1)
    const double byRow[] = {1, 2, 3};
    ASSERT_EQ(Array_ScaleAlongAxis(grid.data(), 1, 2, byRow, sizes), 0);
    EXPECT_EQ(grid[11], 41.0 * 3);                                     // (3, 2)
    ASSERT_EQ(Array_AddToPlane(0.5, 2, 0, 2, grid.data(), sizes), 0);  // column x = 2
    EXPECT_EQ(grid[2 + 4], 31.0 * 2 + 0.5);
    ASSERT_EQ(Array_ScalePlane(0.0, 0, 1, 2, grid.data(), sizes), 0);  // row y = 0
    EXPECT_EQ(grid[3], 0.0);
    EXPECT_EQ(grid[4], 22.0);

    // Within the slice z = 1 of a 2 x 2 x 2 array, add along y.
    std::vector<double> cube(8, 0.0);
    const int32_t cubeSizes[] = {2, 2, 2};
    const double alongY[] = {5, 7};
    ASSERT_EQ(Array_AddAlongAxisInPlane(alongY, 1, 1, 2, 3, cube.data(), cubeSizes), 0);
    EXPECT_EQ(cube, (std::vector<double>{0, 0, 0, 0, 5, 5, 7, 7}));
    ASSERT_EQ(Array_AddAlongAxisInPlaneB(alongY, 1, 0, 2, 3, cube.data(), cubeSizes), 0);
    EXPECT_EQ(cube, (std::vector<double>{5, 5, 7, 7, 5, 5, 7, 7}));

    // Strided copies between a 2 x 2 box of a 3-wide and of a 5-wide layout.
    std::vector<double> in(9), out(10, 0.0);
    for (int i = 0; i < 9; ++i) in[i] = i;
    const int32_t box[] = {2, 2};
    const int32_t inStrides[] = {1, 3}, outStrides[] = {1, 5};
    ASSERT_EQ(Array_CopyStrided(2, box, out.data(), outStrides, in.data(), inStrides), 0);
    EXPECT_EQ(out, (std::vector<double>{0, 1, 0, 0, 0, 3, 4, 0, 0, 0}));
    ASSERT_EQ(Array_AddStrided(2, box, out.data(), outStrides, in.data(), inStrides), 0);
    ASSERT_EQ(Array_MulStrided(2, box, out.data(), outStrides, in.data(), inStrides), 0);
    EXPECT_EQ(out[6], 4.0 * 2 * 4);
    ASSERT_EQ(AddToArraySlice(2, box, out.data(), outStrides, 1.0), 0);
    ASSERT_EQ(ScaleArraySlice(2, box, out.data(), outStrides, 2.0), 0);
    EXPECT_EQ(out[0], 2.0);
    ASSERT_EQ(Array_FillStrided(0, nullptr, out.data() + 9, nullptr, -1.0), 0);
    EXPECT_EQ(out[9], -1.0);
    EXPECT_EQ(out[8], 0.0);

    EXPECT_EQ(Array_FillStrided(4, box, out.data(), outStrides, 0.0), 7);
    EXPECT_EQ(Array_AddToPlane(1.0, 3, 1, 2, grid.data(), sizes), 5);
    EXPECT_EQ(Array_AddAlongAxis(grid.data(), 2, 2, byColumn, sizes), 7);
}

}  // namespace
