// Small inversions, arena carving and swap sequences.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "surface/fit/matrix_arena.h"
#include "surface/fit/small_matrix.h"
#include "surface/fit/swap_sequence.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

TEST(MatrixInvert, InvertsATransformAndRefusesASingularOne) {
    // Rotation about z by 30 degrees, scaled, then translated (row vectors).
    const double c = std::cos(0.5235987755982988), s = std::sin(0.5235987755982988);
    const double A[16] = {2 * c, 2 * s, 0, 0, -2 * s, 2 * c, 0, 0, 0, 0, 3, 0, 5, -1, 7, 1};
    double inv[16];
    ASSERT_EQ(1, Matrix_Invert(A, inv, 4));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += A[i * 4 + k] * inv[k * 4 + j];
            EXPECT_NEAR(i == j ? 1.0 : 0.0, sum, 1e-15);
        }
    double identity[9];
    Matrix_SetIdentity(identity, 3);
    ASSERT_EQ(1, Matrix_Invert(identity, identity, 3));  // in place
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i % 4 == 0 ? 1.0 : 0.0, identity[i]);

    // An all-zero row is a failure, and the output keeps what it held.
    const double singular[9] = {1, 2, 3, 0, 0, 0, 4, 5, 6};
    double out[9];
    for (double& v : out) v = -7.0;
    EXPECT_EQ(0, Matrix_Invert(singular, out, 3));
    for (double v : out) EXPECT_EQ(-7.0, v);
}

TEST(LuDecompose, PivotsOnScaledMagnitudeAndSkipsLeadingZeros) {
    // Row 1 has the larger entry in column 0 but also a huge scale: row 0 wins
    // by scaled magnitude (1/1 against 2/1000).
    double a[4] = {1, 1, 2, 1000};
    int32_t index[2];
    double parity;
    ASSERT_EQ(1, LU_Decompose(a, 2, index, &parity));
    EXPECT_EQ(0, index[0]);
    EXPECT_EQ(1.0, parity);
    double b[2] = {0, 998};  // x = (-1, 1)
    LU_BackSubstitute(a, 2, index, b);
    EXPECT_NEAR(-1.0, b[0], 1e-15);
    EXPECT_NEAR(1.0, b[1], 1e-15);
    double zeroRow[4] = {0, 0, 1, 2};
    EXPECT_EQ(0, LU_Decompose(zeroRow, 2, index, &parity));
}

TEST(Vec3, CopyAndCopyLength) {
    const double v[3] = {3, 0, 4};
    double w[3];
    EXPECT_EQ(5.0, Vec3_CopyLength(v, w));
    EXPECT_DOUBLE_EQ(0.6, w[0]);
    EXPECT_DOUBLE_EQ(0.8, w[2]);
    const double zero[3] = {0, 0, 0};
    EXPECT_EQ(0.0, Vec3_CopyLength(zero, w));
    EXPECT_EQ(0.0, w[0]);
    Vec3_Copy(w, v);
    EXPECT_EQ(4.0, w[2]);
}

struct M {
    double** m;
    M(int r, int c) : m(Mem_AllocMatrix(r, c)) {
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < c; ++j) m[i][j] = 10 * i + j;
    }
    ~M() { Mem_FreeMatrix(m); }
};

TEST(Arena, CarvesMatricesUntilTheBytesRunOut) {
    MemPool pool;
    // A 2 by 3 matrix and a triangle of 3, each with its row table rounded up
    // to 8 bytes.
    auto table = [](size_t rows) { return (rows * sizeof(double*) + 7) / 8 * 8; };
    const size_t bytes = 2 * 3 * 8 + table(2) + 6 * 8 + table(3);
    ASSERT_EQ(0, MemPool_Init(bytes, &pool));
    unsigned char* start = pool.start;
    double** a = Arena_AllocMatrix(2, 3, &pool);
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(reinterpret_cast<double*>(start), a[0]);  // data first
    EXPECT_EQ(a[0] + 3, a[1]);
    EXPECT_EQ(reinterpret_cast<double**>(start + 48), a);
    double** t = Arena_AllocTriangle(3, &pool);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(t[0] + 1, t[1]);
    EXPECT_EQ(t[0] + 3, t[2]);
    EXPECT_EQ(0u, pool.bytesLeft);
    EXPECT_EQ(nullptr, Arena_AllocMatrix(0, 0, &pool));  // 1 by 1 still needs 16 bytes
    Mem_Free(start);
}

TEST(SwapSequences, ApplyUndoAndBuild) {
    const int32_t s[3] = {2, 2, 4};
    int32_t x[5] = {0, 1, 2, 3, 4};
    Permute_SwapSequence(3, x, s);
    const int32_t forward[5] = {2, 0, 4, 3, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(forward[i], x[i]);
    Permute_SwapSequenceUndo(3, x, s);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(i, x[i]);

    double d[5] = {0, 1, 2, 3, 4};
    Permute_SwapDoubles(3, d, s);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(forward[i], d[i]);
    Permute_SwapDoublesUndo(3, d, s);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(i, d[i]);

    M rows(5, 2);
    Permute_Gather(3, 2, rows.m, s);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(10 * forward[i] + 1, rows.m[i][1]);
    Permute_GatherUndo(3, 2, rows.m, s);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(10 * i, rows.m[i][0]);

    // Targets beyond k are followed through the extension.
    const int32_t targets[3] = {5, 0, 7};
    int32_t swaps[6], items[6];
    SwapBuild build{swaps, items};
    EXPECT_EQ(5, Permute_BuildSwaps(3, &build, targets));
    int32_t y[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    Permute_SwapSequence(3, y, swaps);
    EXPECT_EQ(5, y[0]);
    EXPECT_EQ(0, y[1]);
    EXPECT_EQ(7, y[2]);
}

}  // namespace
