// Small stores and containers shared by the container tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/files/item_file.h"
#include "app/files/item_store.h"

using Bytes = std::vector<std::uint8_t>;

// One item of every element type, several shapes, odd names; the data lives
// in the fixture, as items reference their caller's memory.
struct EveryTypeStore {
    char text[12] = "hello world";
    std::uint8_t raw[5] = {0, 1, 2, 0xFE, 0xFF};
    std::int8_t i8[3] = {-128, 0, 127};
    std::uint8_t u8[2][2] = {{1, 2}, {3, 4}};
    std::int16_t i16[3] = {-32768, 1, 32767};
    std::uint16_t u16[1] = {65535};
    std::int32_t i32[2][3] = {{-1, 2, -3}, {4, -5, 6}};
    std::uint32_t u32 = 0xDEADBEEF;
    std::int64_t i64[2] = {INT64_MIN, INT64_MAX};
    std::uint64_t u64[1][1][2] = {{{1, 0xFFFFFFFFFFFFFFFFull}}};
    float f32[4][3] = {{1.5f, -2.25f, 3}, {0, -0.0f, 1e-30f}, {7, 8, 9}, {10, 11, 12}};
    double f64[2] = {3.141592653589793, -1e300};
    ItemStore* store = ItemStore_Create();

    EveryTypeStore() {
        ItemStore_SetComment(store, "Scan of a left foot\r\nsecond line");
        ItemStore_AddString(store, "Info/Name", text);
        ItemStore_AddItem(store, "Info/Raw", raw, ItemType::Raw, 1, 5);
        ItemStore_AddItem(store, "Numbers/int8", i8, ItemType::Int8, 1, 3);
        ItemStore_AddItem(store, "Numbers/uint8 grid", u8, ItemType::UInt8, 2, 2, 2);
        ItemStore_AddItem(store, "Numbers/int16", i16, ItemType::Int16, 1, 3);
        ItemStore_AddItem(store, "Numbers/uint16", u16, ItemType::UInt16, 1, 1);
        ItemStore_AddItem(store, "Numbers/int32", i32, ItemType::Int32, 2, 2, 3);
        ItemStore_AddItem(store, "Numbers/uint32", &u32, ItemType::UInt32, 0);
        ItemStore_AddItem(store, "Numbers/int64", i64, ItemType::Int64, 1, 2);
        ItemStore_AddItem(store, "Numbers/uint64", u64, ItemType::UInt64, 3, 1, 1, 2);
        ItemStore_AddItem(store, "Raw/Points", f32, ItemType::Float32, 2, 4, 3);
        ItemStore_AddItem(store, "Odd/na%me with/slash\xE9", f64, ItemType::Float64, 1, 2);
        ItemStore_AddItem(store, "Empty/float64", f64, ItemType::Float64, 2, 0, 5);
        ItemStore_AddTime(store, "Info/Saved", 1700000000.125);
        EXPECT_EQ(ItemStore_GetError(store), nullptr);
    }
    ~EveryTypeStore() { ItemStore_Free(store); }
};

// Item by item, in order: path, type, shape and bytes; and the comment.
inline void ExpectSameStore(const ItemStore* expected, const ItemStore* actual) {
    EXPECT_EQ(expected->comment, actual->comment);
    const StoreItem* a = actual->first;
    for (const StoreItem* e = expected->first; e; e = e->next, a = a->next) {
        ASSERT_NE(a, nullptr) << "missing " << ItemPath_ForMessage(e->path);
        EXPECT_EQ(a->path, e->path);
        EXPECT_EQ(a->type, e->type);
        EXPECT_EQ(a->dimensionCount, e->dimensionCount);
        EXPECT_EQ(a->sizes, e->sizes);
        ASSERT_EQ(a->byteSize, e->byteSize);
        if (e->byteSize > 0) {
            EXPECT_EQ(std::memcmp(a->data, e->data, e->byteSize), 0);
        }
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a->data) % ItemType_Alignment(a->type), 0u)
            << ItemPath_ForMessage(a->path);
    }
    EXPECT_EQ(a, nullptr) << "extra items";
}

// Reads container bytes from memory the way a file read does.
inline bool ReadBytes(ItemStore* store, const Bytes& bytes, const std::uint8_t* signingKey,
                      std::size_t signingKeyLength, const std::uint8_t* decryptionKey,
                      std::size_t decryptionKeyLength) {
    ItemFileView* view = ItemFile_NewBuffer(bytes.size(), false, store);
    if (!view) return false;
    if (!bytes.empty()) std::memcpy(view->bytes, bytes.data(), bytes.size());
    bool ok = ItemFile_ReadView(store, view, signingKey, signingKeyLength, decryptionKey,
                                decryptionKeyLength);
    ItemFile_ReleaseView(view);
    return ok;
}

inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// "[binary]" with its 64 check bytes.
inline std::string BinaryHeader() {
    static const char kCheck[16] = {'\r', '\n', ' ', '\n', 4, 3, 2, 1,
                                    0x1B, '\xDE', '\x83', 0x42, '\xCA', '\xC0', '\xF3', 0x3F};
    return "[binary]" + std::string(kCheck, 16) + std::string(48, '\0');
}
