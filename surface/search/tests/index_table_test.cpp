#include "surface/search/index_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records every eviction together with the list's order at that moment.
struct Recorder {
    std::vector<int32_t> evicted;
    std::vector<int32_t> linkedWhenEvicted;
    IndexTable* table = nullptr;
    static void Evict(void* user, int32_t slot) {
        auto* self = static_cast<Recorder*>(user);
        self->evicted.push_back(slot);
        self->linkedWhenEvicted.push_back(self->table->Linked);
    }
};

std::vector<int32_t> FrontToBack(const IndexTable& t) {
    std::vector<int32_t> out;
    for (int32_t s = t.Front; s >= 0; s = t.Entries[s].Next) out.push_back(s);
    std::vector<int32_t> back;
    for (int32_t s = t.Back; s >= 0; s = t.Entries[s].Previous) back.insert(back.begin(), s);
    EXPECT_EQ(out, back);  // both directions of the links agree
    EXPECT_EQ(static_cast<int32_t>(out.size()), t.Linked);
    return out;
}

class IndexTableTest : public ::testing::Test {
  protected:
    void Make(int32_t n, int32_t capacity) {
        ASSERT_EQ(0, IndexTable_Init(n, capacity, &Recorder::Evict, &rec, &table));
        rec.table = &table;
    }
    void TearDown() override { IndexTable_Free(&table); }
    IndexTable table{};
    Recorder rec;
};

TEST_F(IndexTableTest, PushingIntoAFullListEvictsTheBackBeforeLinking) {
    Make(10, 3);
    EXPECT_EQ(0, IndexList_PushFront(&table, 1));
    EXPECT_EQ(0, IndexList_PushFront(&table, 2));
    EXPECT_EQ(0, IndexList_PushBack(&table, 3));
    EXPECT_EQ((std::vector<int32_t>{2, 1, 3}), FrontToBack(table));
    EXPECT_EQ(0, IndexList_PushFront(&table, 5));
    EXPECT_EQ((std::vector<int32_t>{3}), rec.evicted);
    EXPECT_EQ((std::vector<int32_t>{2}), rec.linkedWhenEvicted);  // 5 not yet linked
    EXPECT_EQ((std::vector<int32_t>{5, 2, 1}), FrontToBack(table));
    EXPECT_EQ(1, IndexList_PushFront(&table, 5));  // already linked
    EXPECT_EQ(1, IndexList_PushBack(&table, 10));  // out of range
    EXPECT_EQ(1, IndexList_PushBack(&table, -1));
    EXPECT_EQ(0, IndexList_Contains(&table, 3));
    EXPECT_EQ(1, IndexList_Contains(&table, 5));
    EXPECT_EQ(0, IndexList_Contains(&table, 99));
}

TEST_F(IndexTableTest, TouchMoveInsertAndUnlink) {
    Make(8, -1);  // capacity n
    EXPECT_EQ(8, table.Capacity);
    for (int32_t s : {0, 1, 2, 3}) IndexList_Touch(&table, s);
    EXPECT_EQ((std::vector<int32_t>{3, 2, 1, 0}), FrontToBack(table));
    IndexList_Touch(&table, 1);
    EXPECT_EQ((std::vector<int32_t>{1, 3, 2, 0}), FrontToBack(table));
    EXPECT_EQ(0, IndexList_MoveToFront(&table, 0));
    EXPECT_EQ(1, IndexList_MoveToFront(&table, 6));
    EXPECT_EQ(0, IndexList_InsertBefore(&table, 2, 6));
    EXPECT_EQ((std::vector<int32_t>{0, 1, 3, 6, 2}), FrontToBack(table));
    EXPECT_EQ(1, IndexList_InsertBefore(&table, 7, 5));  // 7 is not linked
    EXPECT_EQ(1, IndexList_InsertBefore(&table, 2, 6));  // 6 already linked
    EXPECT_EQ(0, IndexList_InsertBefore(&table, 0, 7));
    EXPECT_EQ(7, table.Front);
    EXPECT_EQ(0, IndexList_Unlink(&table, 3));
    EXPECT_EQ(1, IndexList_Unlink(&table, 3));
    EXPECT_EQ((std::vector<int32_t>{3}), rec.evicted);
    EXPECT_EQ((std::vector<int32_t>{7, 0, 1, 6, 2}), FrontToBack(table));
}

TEST_F(IndexTableTest, InsertBeforeTheBackOfAFullListKeepsTheNewSlot) {
    Make(5, 2);
    IndexList_PushBack(&table, 0);
    IndexList_PushBack(&table, 1);
    EXPECT_EQ(0, IndexList_InsertBefore(&table, 1, 4));  // 1 is evicted to make room
    EXPECT_EQ((std::vector<int32_t>{1}), rec.evicted);
    EXPECT_EQ((std::vector<int32_t>{0, 4}), FrontToBack(table));
}

TEST_F(IndexTableTest, PopTakesTheChosenSlotThroughTheCallback) {
    Make(6, 4);
    int32_t slot = 99;
    EXPECT_EQ(1, IndexList_Pop(&table, -1, &slot));
    EXPECT_EQ(-1, slot);
    EXPECT_EQ(1, IndexList_Pop(&table, -2, &slot));
    IndexList_Fill(&table);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3}), FrontToBack(table));
    EXPECT_EQ(0, IndexList_Pop(&table, -1, &slot));
    EXPECT_EQ(0, slot);
    EXPECT_EQ(0, IndexList_Pop(&table, -2, &slot));
    EXPECT_EQ(3, slot);
    EXPECT_EQ(0, IndexList_Pop(&table, 2, &slot));
    EXPECT_EQ(2, slot);
    EXPECT_EQ(1, IndexList_Pop(&table, 5, &slot));  // not linked
    EXPECT_EQ(-1, slot);
    EXPECT_EQ(1, IndexList_Pop(&table, -3, &slot));
    EXPECT_EQ((std::vector<int32_t>{0, 3, 2}), rec.evicted);
    EXPECT_EQ((std::vector<int32_t>{1}), FrontToBack(table));
}

TEST_F(IndexTableTest, ACapacityOfZeroLinksNothing) {
    Make(4, 0);
    EXPECT_EQ(0, IndexList_PushFront(&table, 1));
    IndexList_Touch(&table, 2);
    IndexList_Fill(&table);
    EXPECT_EQ(0, table.Linked);
    EXPECT_EQ(-1, table.Front);
}

}  // namespace
