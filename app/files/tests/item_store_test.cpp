#include "app/files/item_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class ItemStoreTest : public ::testing::Test {
protected:
    ItemStore* store = ItemStore_Create();
    ~ItemStoreTest() override { ItemStore_Free(store); }

    std::vector<std::string> Order() const {
        std::vector<std::string> names;
        for (const StoreItem* item = store->first; item; item = item->next)
            names.push_back(ItemPath_ForMessage(item->path));
        return names;
    }
};

TEST(ItemTypes, NamesSizesAndAlignments) {
    const char* names[] = {"string", "raw",    "int8",   "uint8",   "int16",   "uint16", "int32",
                           "uint32", "int64",  "uint64", "float32", "float64", "time"};
    const int sizes[] = {1, 1, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 8};
    const int alignments[] = {1, 8, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8, 8};
    for (int code = 0; code < kItemTypeCount; ++code) {
        auto type = static_cast<ItemType>(code);
        EXPECT_STREQ(ItemType_Name(type), names[code]);
        EXPECT_EQ(ItemType_ElementSize(type), sizes[code]);
        EXPECT_EQ(ItemType_Alignment(type), alignments[code]);
    }
    EXPECT_EQ(ItemType_Name(static_cast<ItemType>(13)), nullptr);
    EXPECT_EQ(ItemType_Name(ItemType::Any), nullptr);
}

TEST(ItemPaths, SplitAtEverySlash) {
    EXPECT_EQ(ItemPath_Split("Raw/Editing/CropLevel"), (ItemPath{"Raw", "Editing", "CropLevel"}));
    EXPECT_EQ(ItemPath_Split(""), (ItemPath{""}));
    EXPECT_EQ(ItemPath_Split("a//b/"), (ItemPath{"a", "", "b", ""}));
    EXPECT_EQ(ItemPath_ForMessage(ItemPath_Split(std::string(200, 'x'))).size(), 127u);
    EXPECT_EQ(ItemPath_ForMessage({"a", "b"}), "a/b");
}

TEST_F(ItemStoreTest, NewStoreIsEmptyVersionTwoZero) {
    EXPECT_EQ(store->versionMajor, 2);
    EXPECT_EQ(store->versionMinor, 0);
    EXPECT_EQ(store->first, nullptr);
    EXPECT_FALSE(store->comment);
    EXPECT_EQ(ItemStore_GetError(store), nullptr);
    EXPECT_STREQ(store->error.text, "No error");
}

TEST_F(ItemStoreTest, ItemsReferenceOrCopyTheirData) {
    std::int32_t values[2][3] = {{1, 2, 3}, {4, 5, 6}};
    ASSERT_TRUE(ItemStore_AddItem(store, "Scan/Values", values, ItemType::Int32, 2, 2, 3));
    ASSERT_TRUE(ItemStore_AddString(store, "Scan/Name", "left foot"));
    ASSERT_TRUE(ItemStore_AddTime(store, "Scan/When", 1234.5));

    StoreItem* item = ItemStore_FindItem(store, "Scan/Values");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->data, values);  // referenced, not copied
    EXPECT_FALSE(item->ownsData);
    EXPECT_EQ(item->byteSize, 24u);
    EXPECT_EQ(item->sizes, (std::vector<std::int32_t>{2, 3}));

    StoreItem* name = ItemStore_FindItem(store, "Scan/Name");
    EXPECT_TRUE(name->ownsData);
    EXPECT_EQ(name->byteSize, 10u);  // with the terminator
    EXPECT_STREQ(name->As<char>(), "left foot");

    StoreItem* when = ItemStore_FindItem(store, "Scan/When");
    EXPECT_EQ(when->dimensionCount, 0);
    EXPECT_EQ(when->byteSize, 8u);
    EXPECT_EQ(ItemStore_GetTime(store, "Scan/When"), 1234.5);
    EXPECT_EQ(ItemStore_FindItem(store, "Scan/Missing"), nullptr);
    EXPECT_EQ(ItemStore_FindItem(store, "Scan"), nullptr);
}

TEST_F(ItemStoreTest, SamePathReplacesAndMovesToTheEnd) {
    std::uint8_t first[2] = {1, 2}, second[3] = {7, 8, 9};
    ASSERT_TRUE(ItemStore_AddItem(store, "a", first, ItemType::UInt8, 1, 2));
    ASSERT_TRUE(ItemStore_AddItem(store, "b", first, ItemType::UInt8, 1, 2));
    ASSERT_TRUE(ItemStore_AddItem(store, "a", second, ItemType::UInt8, 1, 3));
    EXPECT_EQ(Order(), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(ItemStore_FindItem(store, "a")->data, second);
    EXPECT_EQ(store->index.size(), 2u);
}

TEST_F(ItemStoreTest, RefusedItemsLeaveTheStoreUnchanged) {
    std::uint8_t byte = 0;
    const std::int32_t none[1] = {0};
    struct Case {
        ItemPath path;
        ItemType type;
        int dimensions;
        std::vector<std::int32_t> sizes;
        const char* text;
    } cases[] = {
        {{}, ItemType::UInt8, 0, {}, "Invalid item name or path"},
        {{"t"}, static_cast<ItemType>(13), 0, {}, "Invalid item type"},
        {{"t"}, ItemType::Any, 0, {}, "Invalid item type"},
        {{"t"}, ItemType::UInt8, -1, {}, "Invalid number of dimensions: -1"},
        {{"t"}, ItemType::UInt8, 2, {4, -1}, "Invalid size: -1 (in dimension 1)"},
        {{"t"}, ItemType::String, 2, {1, 1}, "Invalid item: string item must be 1-dimensional"},
        {{"t"}, ItemType::Raw, 0, {}, "Invalid item: raw item must be 1-dimensional"},
        {{"t"}, ItemType::Float64, 2, {65536, 8192}, "Invalid item: 't' holds 4 GiB or more"},
    };
    ASSERT_TRUE(ItemStore_AddItem(store, "keep", &byte, ItemType::UInt8, 0));
    for (const Case& c : cases) {
        EXPECT_EQ(ItemStore_CreateItem(store, c.path, &byte, c.type, c.dimensions,
                                       c.sizes.empty() ? none : c.sizes.data(), false),
                  nullptr);
        EXPECT_EQ(store->error.code, kItemErrorInvalidItem);
        EXPECT_STREQ(store->error.text, c.text);
        EXPECT_EQ(Order(), (std::vector<std::string>{"keep"}));
    }
    // A zero size makes any shape empty.
    const std::int32_t zeroed[3] = {65536, 65536, 0};
    StoreItem* empty = ItemStore_CreateItem(store, {"z"}, nullptr, ItemType::Float64, 3, zeroed, false);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->byteSize, 0u);
}

TEST_F(ItemStoreTest, CheckedItemsReportTheFirstMismatch) {
    float points[4][3] = {};
    ASSERT_TRUE(ItemStore_AddItem(store, "Raw/Points", points, ItemType::Float32, 2, 4, 3));
    EXPECT_NE(ItemStore_GetCheckedItem(store, "Raw/Points", ItemType::Float32, 2, 4, 3), nullptr);
    EXPECT_NE(ItemStore_GetCheckedItem(store, "Raw/Points", ItemType::Any, -1), nullptr);
    EXPECT_NE(ItemStore_GetCheckedItem(store, "Raw/Points", ItemType::Float32, 2, -1, 3), nullptr);
    EXPECT_EQ(ItemStore_GetError(store), nullptr);

    using Check = StoreItem* (*)(ItemStore*);
    struct Case {
        Check check;
        const char* text;
    } cases[] = {
        {[](ItemStore* s) { return ItemStore_GetCheckedItem(s, "Raw/Nothing", ItemType::Any, -1); },
         "item 'Raw/Nothing' is missing from the file"},
        {[](ItemStore* s) { return ItemStore_GetCheckedItem(s, "Raw/Points", ItemType::Float64, 2, 4, 3); },
         "item 'Raw/Points' has incorrect type 'float32', should be 'float64'"},
        {[](ItemStore* s) { return ItemStore_GetCheckedItem(s, "Raw/Points", ItemType::Float32, 1, -1); },
         "item 'Raw/Points' has incorrect number of dimensions 2, should be 1"},
        {[](ItemStore* s) { return ItemStore_GetCheckedItem(s, "Raw/Points", ItemType::Float32, 2, 4, 2); },
         "item 'Raw/Points' has incorrect size 3 in dimension 1, should be 2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.check(store), nullptr);
        EXPECT_EQ(store->error.code, kItemErrorMissingItem);
        EXPECT_STREQ(store->error.text, c.text);
    }

    const std::string longName = "Long/" + std::string(300, 'n');
    ItemStore_GetCheckedItem(store, longName, ItemType::Any, -1);
    EXPECT_STREQ(store->error.text, ("item '" + longName.substr(0, 127) + "' is missing from the file").c_str());

    EXPECT_EQ(ItemStore_GetTime(store, "Raw/Points"), 0.0);
    EXPECT_EQ(store->error.code, kItemErrorMissingItem);
}

TEST_F(ItemStoreTest, ErrorsStayUntilReplaced) {
    std::uint8_t byte = 0;
    EXPECT_FALSE(ItemStore_AddItem(store, "x", &byte, ItemType::Raw, 0));
    EXPECT_TRUE(ItemStore_AddItem(store, "y", &byte, ItemType::UInt8, 0));
    ASSERT_NE(ItemStore_GetError(store), nullptr);
    EXPECT_EQ(ItemStore_GetError(store)->code, kItemErrorInvalidItem);

    ItemStore_SetError(store, 7, 12, "line %d: %s", 12, std::string(1000, 'e').c_str());
    EXPECT_EQ(store->error.detail, 12);
    EXPECT_EQ(std::strlen(store->error.text), 511u);
}

TEST_F(ItemStoreTest, RemoveAndVisitInOrder) {
    std::uint8_t byte = 0;
    for (const char* name : {"one", "two", "three"})
        ASSERT_TRUE(ItemStore_AddItem(store, name, &byte, ItemType::UInt8, 0));
    ItemStore_RemoveItem(store, {"two"});
    ItemStore_RemoveItem(store, {"absent"});
    std::vector<std::string> visited;
    ItemStore_ForEach(store, [](StoreItem* item, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(item->path[0]);
    }, &visited);
    EXPECT_EQ(visited, (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(ItemStore_FindItem(store, "two"), nullptr);
    ItemStore_RemoveItem(store, {"one"});
    ItemStore_RemoveItem(store, {"three"});
    EXPECT_EQ(store->first, nullptr);
    EXPECT_EQ(store->last, nullptr);
}

// Lookups stay right when the index grows well past its first buckets, and
// paths that differ only in how they are split are different items.
TEST_F(ItemStoreTest, ManyItemsAndLookalikePaths) {
    static std::int32_t numbers[5000];
    for (int i = 0; i < 5000; ++i) {
        numbers[i] = i;
        ASSERT_TRUE(ItemStore_AddItem(store, "Group" + std::to_string(i % 7) + "/Item" + std::to_string(i),
                                      &numbers[i], ItemType::Int32, 0));
    }
    for (int i = 0; i < 5000; i += 37) {
        StoreItem* item = ItemStore_FindItem(store, "Group" + std::to_string(i % 7) + "/Item" + std::to_string(i));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(*item->As<std::int32_t>(), i);
    }
    std::uint8_t a = 1, b = 2;
    ASSERT_NE(ItemStore_CreateItem(store, {"ab", "c"}, &a, ItemType::UInt8, 0, nullptr, false), nullptr);
    ASSERT_NE(ItemStore_CreateItem(store, {"a", "bc"}, &b, ItemType::UInt8, 0, nullptr, false), nullptr);
    ASSERT_NE(ItemStore_CreateItem(store, {"c", "ab"}, &b, ItemType::UInt8, 0, nullptr, false), nullptr);
    EXPECT_EQ(ItemStore_FindItemPath(store, {"ab", "c"})->data, &a);
    EXPECT_EQ(ItemStore_FindItemPath(store, {"a", "bc"})->data, &b);
    EXPECT_EQ(store->index.size(), 5003u);
}

}  // namespace
