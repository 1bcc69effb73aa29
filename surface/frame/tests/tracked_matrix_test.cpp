#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_records.h"

#include "surface/frame/tests/tracked_memory_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using TrackedMatrix = TrackedMemoryTest;

// Bytes of a two-level shape: the row table and the data block.
std::size_t TwoLevelBytes(std::size_t rows, std::size_t elements, std::size_t elementSize) {
    return rows * sizeof(void*) + elements * elementSize;
}

TEST_F(TrackedMatrix, TwoLevelShapesAreOneTableAndOneContiguousBlock) {
    struct Case {
        std::string name;
        std::function<void**()> make;
        std::vector<std::size_t> rowOffsets;  // in elements from the data start
        std::size_t elementSize;
        std::size_t elements;
    };
    const std::vector<Case> cases = {
        {"matrix 3x4", [] { return reinterpret_cast<void**>(Mem_AllocMatrix(3, 4)); }, {0, 4, 8}, 8, 12},
        {"matrix 0x5", [] { return reinterpret_cast<void**>(Mem_AllocMatrix(0, 5)); }, {0}, 8, 5},
        {"matrix B", [] { return reinterpret_cast<void**>(Mem_AllocMatrixB(2, 2)); }, {0, 2}, 8, 4},
        {"ints 2x3", [] { return reinterpret_cast<void**>(Mem_AllocIntMatrix(2, 3)); }, {0, 3}, 4, 6},
        {"pairs 3x2", [] { return reinterpret_cast<void**>(AllocPairMatrix(3, 2)); }, {0, 2, 4}, 16, 6},
        {"triangle 4", [] { return reinterpret_cast<void**>(Mem_AllocLowerTriangle(4)); }, {0, 1, 3, 6}, 8, 10},
        {"triangle 0", [] { return reinterpret_cast<void**>(Mem_AllocLowerTriangle(0)); }, {0}, 8, 1},
        {"pair triangle 3", [] { return reinterpret_cast<void**>(Mem_AllocLowerTrianglePairs(3)); }, {0, 1, 3}, 16, 6},
    };
    ASSERT_EQ(Mem_TrackBegin(), 0);
    for (const Case& c : cases) {
        void** m = c.make();
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 2) << c.name;
        EXPECT_EQ(Mem_CurrentBytes(), TwoLevelBytes(c.rowOffsets.size(), c.elements, c.elementSize)) << c.name;
        auto* data = static_cast<unsigned char*>(m[0]);
        for (std::size_t i = 0; i < c.rowOffsets.size(); ++i) {
            EXPECT_EQ(static_cast<unsigned char*>(m[i]), data + c.rowOffsets[i] * c.elementSize)
                << c.name << " row " << i;
        }
        Mem_FreeMatrix(m);
        EXPECT_EQ(Mem_CurrentBytes(), 0u) << c.name;
        EXPECT_EQ(Mem_SlotCount(), 0) << c.name;
    }
    EXPECT_EQ(Mem_AllocMatrix(-1, 3), nullptr);
    EXPECT_EQ(Mem_AllocLowerTriangle(-2), nullptr);
    Mem_FreeMatrix(nullptr);
    Mem_FreeMatrixRows(nullptr);
    Mem_TrackEnd();
}

TEST_F(TrackedMatrix, ThreeLevelShapesIndexIntoOneBlock) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    {
        double*** stack = Mem_AllocTriangleStack(2, 3);  // two triangles of 6
        ASSERT_NE(stack, nullptr);
        EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 3);
        double* data = stack[0][0];
        EXPECT_EQ(stack[0][2], data + 3);
        EXPECT_EQ(stack[1][0], data + 6);
        EXPECT_EQ(stack[1][2], data + 9);
        EXPECT_EQ(Mem_CurrentBytes(), 2 * sizeof(void*) + 6 * sizeof(void*) + 12 * sizeof(double));
        Mem_FreeMatrixRows(stack);
    }
    {
        const Stack3Shape shape = {5, 2, 3};  // step 5, n 2, count 3
        double*** stack = AllocStack3(&shape);
        ASSERT_NE(stack, nullptr);
        double* data = stack[0][0];
        EXPECT_EQ(stack[0][1], data + 5);
        EXPECT_EQ(stack[2][1], data + 25);
        stack[2][1][4] = 1.0;  // the last element of the block
        Mem_FreeMatrixRows(stack);
    }
    {
        double*** tetra = Mem_AllocTetra(3);  // 6 + 3 + 1 elements
        ASSERT_NE(tetra, nullptr);
        double* data = tetra[0][0];
        EXPECT_EQ(tetra[0][1], data + 3);
        EXPECT_EQ(tetra[0][2], data + 5);
        EXPECT_EQ(tetra[1][0], data + 6);
        EXPECT_EQ(tetra[1][1], data + 8);
        EXPECT_EQ(tetra[2][0], data + 9);
        EXPECT_EQ(Mem_CurrentBytes(), 3 * sizeof(void*) + 6 * sizeof(void*) + 10 * sizeof(double));
        Mem_FreeMatrixRows(tetra);
    }
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

// Every allocation fails in turn until the whole matrix can be had.
TEST_F(TrackedMatrix, FailedLaterBlockFreesTheEarlierOnes) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const struct {
        const char* name;
        void* (*alloc)();
        void (*free)(void*);
        int blocks;
    } cases[] = {
        {"tetra", [] { return static_cast<void*>(Mem_AllocTetra(4)); }, Mem_FreeMatrixRows, 3},
        {"matrix", [] { return static_cast<void*>(Mem_AllocMatrix(4, 4)); }, Mem_FreeMatrix, 2},
    };
    for (const auto& c : cases) {
        void* m = nullptr;
        int allowed = 0;
        for (; !m && allowed < 1000; ++allowed) {
            Mem_FailAllocationsAfterForTesting(allowed);
            m = c.alloc();
            Mem_FailAllocationsAfterForTesting(-1);
            if (!m) {
                EXPECT_EQ(Mem_CurrentBytes(), 0u) << c.name << " " << allowed;
                EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0) << c.name << " " << allowed;
            }
        }
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_EQ(allowed, c.blocks + 1) << c.name;
        c.free(m);
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
    }
    Mem_TrackEnd();
}

void Fill(double** m, int rows, int columns) {
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) m[i][j] = 100.0 * i + j;
}

TEST_F(TrackedMatrix, ReallocMatrixRowsKeepsEveryElementInPlace) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    struct Case {
        int rows, from, to;
    };
    for (const Case c : {Case{5, 3, 7}, Case{5, 7, 2}, Case{4, 4, 4}, Case{1, 1, 9}, Case{6, 9, 1}}) {
        double** m = Mem_AllocMatrix(c.rows, c.from);
        Fill(m, c.rows, c.from);
        m = Mem_ReallocMatrixRows(m, c.rows, c.from, c.to);
        ASSERT_NE(m, nullptr);
        for (int i = 0; i < c.rows; ++i) {
            EXPECT_EQ(m[i], m[0] + i * c.to);
            for (int j = 0; j < std::min(c.from, c.to); ++j) {
                EXPECT_EQ(m[i][j], 100.0 * i + j) << c.rows << "x" << c.from << "->" << c.to;
            }
        }
        EXPECT_EQ(Mem_CurrentBytes(), TwoLevelBytes(c.rows, c.rows * c.to, 8));
        Mem_FreeMatrix(m);
    }
    double** fresh = Mem_ReallocMatrixRows(nullptr, 2, 0, 3);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh[1], fresh[0] + 3);
    Mem_FreeMatrix(fresh);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

TEST_F(TrackedMatrix, ReallocMatrixAndTriangleKeepTheFlatContents) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    double** m = Mem_AllocMatrix(2, 3);
    Fill(m, 2, 3);
    m = Mem_ReallocMatrix(m, 4, 3);  // same columns: elements stay put
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m[1][2], 102.0);
    EXPECT_EQ(m[3], m[0] + 9);
    m = Mem_ReallocMatrixB(m, 3, 2);  // the flat data stays: (1, 0) is old (0, 2)
    EXPECT_EQ(m[1][0], 2.0);
    EXPECT_EQ(Mem_CurrentBytes(), TwoLevelBytes(3, 6, 8));
    Mem_FreeMatrixB(m);

    double** t = Mem_AllocLowerTriangle(3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) t[i][j] = 10.0 * i + j;
    t = Mem_ReallocTriangle(t, 5);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[2][2], 22.0);
    EXPECT_EQ(t[4], t[0] + 10);
    t = Mem_ReallocTriangle(t, 2);
    EXPECT_EQ(t[1][1], 11.0);
    Mem_FreeMatrix(t);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

TEST_F(TrackedMatrix, FailedResizeFreesTheWholeOldMatrix) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    const struct {
        const char* name;
        double** (*resize)(double** m);
    } cases[] = {
        {"rows", [](double** m) { return Mem_ReallocMatrixRows(m, 3, 3, 5); }},
        {"matrix", [](double** m) { return Mem_ReallocMatrix(m, 6, 3); }},
    };
    for (const auto& c : cases) {
        double** resized = nullptr;
        int allowed = 0;
        for (; !resized && allowed < 1000; ++allowed) {
            double** m = Mem_AllocMatrix(3, 3);
            Mem_FailAllocationsAfterForTesting(allowed);
            resized = c.resize(m);
            Mem_FailAllocationsAfterForTesting(-1);
            if (!resized) {
                EXPECT_EQ(Mem_CurrentBytes(), 0u) << c.name << " " << allowed;
                EXPECT_EQ(Mem_SlotCount(), 0) << c.name << " " << allowed;
            }
        }
        ASSERT_NE(resized, nullptr) << c.name;
        EXPECT_GT(allowed, 2) << c.name;  // both the row table and the data failed once
        Mem_FreeMatrix(resized);
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
    }
    Mem_TrackEnd();
}

TEST_F(TrackedMatrix, CoreMeshRecordAndPool) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    EXPECT_EQ(InitBlockVector(1, 1, 1, nullptr), 5);

    CoreMesh mesh;
    ASSERT_EQ(InitBlockVector(4, 2, 0, &mesh), 0);
    EXPECT_EQ(mesh.pointCapacity, 4);
    EXPECT_EQ(mesh.triangleCapacity, 2);
    EXPECT_EQ(mesh.quads, nullptr);
    EXPECT_EQ(mesh.quadCapacity, 0);
    EXPECT_EQ(mesh.pointCount, 0);
    EXPECT_EQ(Mem_CurrentBytes(), 4 * 24u + 2 * 12u);
    mesh.sourceIndex = Mem_AllocInts(4);
    FreeSpatialRecord(&mesh);
    EXPECT_EQ(mesh.points, nullptr);
    EXPECT_EQ(mesh.pointCapacity, 0);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);

    Mem_FailAllocationsAfterForTesting(1);
    EXPECT_EQ(InitBlockVector(4, 2, 3, &mesh), 2);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(mesh.points, nullptr);
    EXPECT_EQ(mesh.triangleCapacity, 0);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);

    // Counts whose byte sizes pass 2^32 (24, 12 and 16 bytes an item): a
    // 32-bit product wraps to a few bytes. Refused, with nothing left behind.
    const int32_t wrapping[][3] = {{0x0AAAAAAB, 0, 0}, {1, 0x15555556, 0}, {1, 1, 0x10000001}};
    for (const auto& counts : wrapping) {
        EXPECT_EQ(InitBlockVector(counts[0], counts[1], counts[2], &mesh), 2) << counts[0] << " " << counts[1];
        EXPECT_EQ(mesh.points, nullptr);
        EXPECT_EQ(mesh.pointCapacity, 0);
        EXPECT_EQ(Mem_CurrentBytes(), 0u);
    }

    MemPool pool;
    ASSERT_EQ(MemPool_Init(64, &pool), 0);
    EXPECT_EQ(pool.bytesLeft, 64u);
    EXPECT_EQ(pool.next, pool.start);
    EXPECT_EQ(pool.start[63], 0);
    Mem_Free(pool.start);
    Mem_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(MemPool_Init(64, &pool), 2);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(pool.start, nullptr);
    EXPECT_EQ(pool.bytesLeft, 0u);
    Mem_TrackEnd();
}

}  // namespace
