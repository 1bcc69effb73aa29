// Products and gathers of row-pointer matrices and lower triangles.
#include "surface/frame/matrix_gather.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "surface/frame/tracked_matrix.h"

namespace {

struct M {
    double** m;
    M(int r, int c) : m(Mem_AllocMatrix(r, c)) {
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < c; ++j) m[i][j] = 10 * i + j;
    }
    ~M() { Mem_FreeMatrix(m); }
};

TEST(Gathers, ProductsRowsAndSymmetricTriangles) {
    M A(2, 3), B(3, 2), out(2, 2);
    out.m[0][0] = 99;
    Matrix_Product(out.m, A.m, B.m, 2, 3, 2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += A.m[i][k] * B.m[k][j];
            EXPECT_EQ(s, out.m[i][j]);
        }
    const int32_t idx[2] = {2, 0};
    M sq(3, 3), g(2, 2), rows(2, 3);
    Matrix_GatherSquare(g.m, idx, 2, sq.m);
    EXPECT_EQ(22, g.m[0][0]);
    EXPECT_EQ(20, g.m[0][1]);
    EXPECT_EQ(2, g.m[1][0]);
    Rows_GatherByIndex(rows.m, 3, idx, 2, sq.m);
    EXPECT_EQ(21, rows.m[0][1]);
    EXPECT_EQ(1, rows.m[1][1]);

    // Symmetric 3 by 3 held as a lower triangle: S(i, j) = 10·max + min.
    double** t = Mem_AllocLowerTriangle(3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) t[i][j] = 10 * i + j;
    M full(3, 3), ext(2, 3), sym(2, 2);
    Triangle_ToSquare(t, 3, full.m);
    Triangle_ExtractRows(ext.m, 3, idx, 2, t);
    const int32_t ascending[2] = {0, 2};
    Triangle_GatherSymmetric(sym.m, ascending, 2, t);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(10 * std::max(i, j) + std::min(i, j), full.m[i][j]);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(full.m[idx[i]][j], ext.m[i][j]);
    EXPECT_EQ(0, sym.m[0][0]);
    EXPECT_EQ(20, sym.m[0][1]);
    EXPECT_EQ(20, sym.m[1][0]);
    EXPECT_EQ(22, sym.m[1][1]);
    Mem_FreeMatrix(t);
}

}  // namespace
