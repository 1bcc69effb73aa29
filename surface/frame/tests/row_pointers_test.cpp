// Row-pointer tables over flat arrays.
#include "surface/frame/row_pointers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

TEST(RowPointers, TablesStepThroughTheArray) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    std::vector<double> data(60);
    double** rows = nullptr;
    ASSERT_EQ(RowPointers_Make3(&rows, data.data(), 4), 0);
    EXPECT_EQ(rows[3], data.data() + 9);
    Mem_Free(rows);
    ASSERT_EQ(RowPointers_Make2(&rows, data.data(), 4), 0);
    EXPECT_EQ(rows[3], data.data() + 6);
    Mem_Free(rows);
    ASSERT_EQ(RowPointers_MakeStrided(&rows, data.data(), 4, 5), 0);
    EXPECT_EQ(rows[3], data.data() + 15);
    Mem_Free(rows);
    double*** levels = nullptr;
    ASSERT_EQ(RowPointers_Make2Level(&levels, data.data(), 3, 2, 4), 0);
    EXPECT_EQ(levels[0][0], data.data());
    EXPECT_EQ(levels[1][1], data.data() + 12);
    EXPECT_EQ(levels[2][1], data.data() + 20);
    Mem_FreeMatrix(levels);
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0);

    Mem_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(RowPointers_Make3(&rows, data.data(), 4), 2);
    EXPECT_EQ(rows, nullptr);
    Mem_FailAllocationsAfterForTesting(1);
    EXPECT_EQ(RowPointers_Make2Level(&levels, data.data(), 3, 2, 4), 2);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0);
    Mem_TrackEnd();
}

// Tables whose size passes 2^32 bytes (with 4-byte pointers, 2^30 pointers
// already): the 32-bit products wrap to a small block that the rows would
// then overrun. Every build refuses them with the out-of-memory status.
TEST(RowPointers, TablesBeyondThirtyTwoBitsAreRefused) {
    ASSERT_EQ(Mem_TrackBegin(), 0);
    double value = 0.0;
    double** rows = nullptr;
    EXPECT_EQ(RowPointers_MakeStrided(&rows, &value, 0x40000001, 0), 2);
    EXPECT_EQ(rows, nullptr);
    double*** levels = nullptr;
    const int32_t shapes[][2] = {{0x8000, 0x20001}, {0x10000, 0x10000}, {0x40000001, 1}, {1, INT32_MAX}};
    for (const auto& shape : shapes) {
        EXPECT_EQ(RowPointers_Make2Level(&levels, &value, shape[0], shape[1], 0), 2) << shape[0] << " x " << shape[1];
        EXPECT_EQ(levels, nullptr);
    }
    EXPECT_EQ(Mem_CountLiveBlocks(0, 0), 0);
    EXPECT_EQ(Mem_CurrentBytes(), 0u);
    Mem_TrackEnd();
}

}  // namespace
