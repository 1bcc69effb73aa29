#include "app/scan/big_buffer.h"
#include "platform/os_seam.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(BigBuffer, GrowsAndShrinksByPagesWithoutMoving) {
    const std::size_t page = os::PageSize();
    BigBuffer block{nullptr, 16 * page, 0};
    char* base = static_cast<char*>(BigBuffer_Alloc(block, 1));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(block.CommittedSize, page);
    base[page - 1] = 7;

    EXPECT_EQ(BigBuffer_Alloc(block, 3 * page + 1), base);
    EXPECT_EQ(block.CommittedSize, 4 * page);
    EXPECT_EQ(base[page - 1], 7) << "growth keeps the content";
    std::memset(base, 1, 4 * page);

    EXPECT_EQ(BigBuffer_Alloc(block, page), base);
    EXPECT_EQ(block.CommittedSize, page);
    EXPECT_EQ(BigBuffer_Alloc(block, page), base);
    EXPECT_EQ(BigBuffer_Alloc(block, 16 * page), base);
    EXPECT_EQ(base[2 * page], 0) << "given-back pages come back zeroed";

    BigBuffer_Free(block);
    EXPECT_EQ(block.Base, nullptr);
    EXPECT_EQ(block.CommittedSize, 0u);
    EXPECT_NE(BigBuffer_Alloc(block, page), nullptr) << "a freed block can be used again";
    BigBuffer_Free(block);
}

TEST(BigBuffer, BeyondTheReservationIsOutOfMemory) {
    const std::size_t page = os::PageSize();
    BigBuffer block{nullptr, 4 * page, 0};
    EXPECT_THROW(BigBuffer_Alloc(block, 4 * page + 1), OutOfMemoryError);
    EXPECT_THROW(BigBuffer_Alloc(block, static_cast<std::size_t>(-1)), OutOfMemoryError);
    ASSERT_NE(BigBuffer_Alloc(block, 4 * page), nullptr);
    // The failure is an allocation failure to code that knows no better.
    EXPECT_THROW(BigBuffer_Alloc(block, 5 * page), std::bad_alloc);
    EXPECT_EQ(block.CommittedSize, 4 * page) << "a refused growth keeps what was committed";
    BigBuffer_Decommit(block);
    EXPECT_EQ(block.CommittedSize, 0u);
    EXPECT_NE(block.Base, nullptr);
    BigBuffer_Free(block);
}

TEST(BigBuffer, TheProgramBlocksHoldFourMillionPoints) {
    // 48 bytes a point and two facets a point, with the processing margins.
    const std::size_t points = 4000000 + 1152;
    EXPECT_GE(kPointBlockBytes, points * 48);
    EXPECT_GE(kFacetBlockBytes, 2 * points * 12 + 2304 * 12);
    EXPECT_GE(kFacetNormalBlockBytes, 2 * points * 12 + 2304 * 12);
}

}  // namespace
