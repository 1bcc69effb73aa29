// What reading a container costs in memory before the file is known to be
// whole and signed: an index of many entries whose data is missing, whose
// sizes the file cannot hold, or whose signature is wrong, is refused with
// its error while the reader holds no more than about the file's own size.
// Also: entries whose path repeats an earlier one, however encoded, give the
// earlier one no data, as the survey before the read must know.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/item_store.h"
#include "app/files/sha1.h"
#include "app/files/tests/keyed_container_fixture.h"

// This test program's own operator new keeps the bytes held at once at
// their highest: each block carries its size in front of it.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
constexpr std::size_t kHeader = 16;
std::size_t g_held = 0, g_mostHeld = 0;
}  // namespace
void* operator new(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    g_held += size;
    g_mostHeld = std::max(g_mostHeld, g_held);
    return static_cast<char*>(block) + kHeader;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    char* block = static_cast<char*>(p) - kHeader;
    g_held -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }

namespace {

struct StoreHolder {
    ItemStore* store = ItemStore_Create();
    ~StoreHolder() { ItemStore_Free(store); }
};

// "[sha1]" and the digest of the scan files' key and `signed_`.
std::string Signature(const std::string& signed_) {
    Sha1State hash;
    Sha1_Init(&hash);
    Sha1_Update(&hash, kScanFileSigningKey, kContainerKeyLength);
    Sha1_Update(&hash, signed_.data(), signed_.size());
    std::uint8_t digest[kSha1DigestSize];
    Sha1_Final(&hash, digest);
    return "[sha1]" + std::string(reinterpret_cast<const char*>(digest), kSha1DigestSize);
}

// A header and an index of `entries` one-byte items, "[binary]" and its
// check bytes.
std::string IndexOfOneByteItems(int entries) {
    std::string text = "%TAVIR-2.0\r\n\r\n[index]\r\n";
    for (int i = 0; i < entries; ++i) text += "Raw/e" + std::to_string(i) + " uint8;\r\n";
    return text + "\r\n" + BinaryHeader();
}

// Reads `text` signed with the scan files' key; the bytes the read held at
// most besides the file's own copy.
std::size_t ReadSigned(ItemStore* store, const std::string& text, bool& ok) {
    ItemFileView* view = ItemFile_NewBuffer(text.size(), false, store);
    if (!view) return 0;
    std::memcpy(view->bytes, text.data(), text.size());
    const std::size_t before = g_held;
    g_mostHeld = before;
    ok = ItemFile_ReadView(store, view, kScanFileSigningKey, kContainerKeyLength, nullptr, 0);
    const std::size_t most = g_mostHeld - before;
    ItemFile_ReleaseView(view);
    return most;
}

TEST(KeyedContainerMemory, AnIndexTheFileDoesNotBackIsRefusedBeforeItsItemsAreMade) {
    constexpr int kEntries = 20000;
    const std::string index = IndexOfOneByteItems(kEntries);
    const std::string data(kEntries, '\x7F');
    const std::string huge = "%TAVIR-2.0\r\n\r\n[index]\r\nRaw/Points float32 1000000 100 3;\r\n\r\n" + BinaryHeader();
    struct Case {
        const char* what;
        std::string text;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {"no data", index, 8, "Data error: data has been truncated"},
        {"a size no file of this length holds", huge + std::string(64, '\0'), 8, "Data error: data has been truncated"},
        {"no signature", index + data, 10, "Signature error: signature is missing"},
        {"a signature cut short", index + data + Signature(index + data).substr(0, 12), 10,
         "Signature error: signature has been truncated"},
        {"another file's signature", index + data + Signature(index), 10, "Signature error: file has been modified"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StoreHolder holder;
        bool ok = true;
        const std::size_t held = ReadSigned(holder.store, c.text, ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(holder.store->error.code, c.code);
        EXPECT_STREQ(holder.store->error.text, c.message);
        EXPECT_EQ(holder.store->first, nullptr);
        EXPECT_LE(held, c.text.size());
    }
    // The same index whole and signed is read, and its records then cost
    // many times the file: what the refusals above did not spend.
    StoreHolder holder;
    bool ok = false;
    const std::string whole = index + data + Signature(index + data);
    const std::size_t held = ReadSigned(holder.store, whole, ok);
    ASSERT_TRUE(ok) << holder.store->error.text;
    EXPECT_GT(held, 4 * whole.size());
    const StoreItem* last = ItemStore_FindItem(holder.store, "Raw/e19999");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(*last->As<std::uint8_t>(), 0x7F);
}

TEST(KeyedContainerMemory, ARepeatedPathReplacesTheEarlierEntryWhichGetsNoData) {
    // "Raw/a" three times, the second and third encoded: only the last, a
    // float64, takes data, after "Raw/b" and the one-part name "Raw/a",
    // padded to 8.
    const std::string index =
        "%TAVIR-2.0\r\n\r\n[index]\r\nRaw/a int32 1000;\r\nRaw/b uint8;\r\n%52aw/a int16;\r\n"
        "Raw%2Fa uint8;\r\nRaw/%61 float64;\r\n\r\n" +
        BinaryHeader();
    std::string data = "\x05";  // Raw/b
    data += "\x0A";             // Raw%2Fa: a name of one part, not Raw/a
    while ((index.size() + data.size()) % 8 != 0) data += '\0';
    const double value = 2.5;
    data.append(reinterpret_cast<const char*>(&value), sizeof value);
    StoreHolder holder;
    bool ok = false;
    ReadSigned(holder.store, index + data + Signature(index + data), ok);
    ASSERT_TRUE(ok) << holder.store->error.text;
    const StoreItem* a = ItemStore_FindItem(holder.store, "Raw/a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->type, ItemType::Float64);
    EXPECT_EQ(*a->As<double>(), 2.5);
    const StoreItem* b = ItemStore_FindItem(holder.store, "Raw/b");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(*b->As<std::uint8_t>(), 5);
    ItemPath oneName = {"Raw/a"};
    const StoreItem* slashed = ItemStore_FindItemPath(holder.store, oneName);
    ASSERT_NE(slashed, nullptr);
    EXPECT_EQ(*slashed->As<std::uint8_t>(), 10);
}

}  // namespace
