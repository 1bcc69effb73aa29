// Damaged and hostile files: every cut, byte flips, and item mutations
// signed again so that they reach the item parsers. No load may crash or
// leak; a load that fails gives a message of the table and leaves every
// output empty, and the document frees its surfaces cleanly afterwards.
#include "app/scanfile/tests/scan_file_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

namespace {

using namespace scan_file_test;

class ScanFileMutation : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { LoadShippedLocale(); }
    void SetUp() override {
        good = folder.File("good.tvn");
        SaveSmallScan(good);
        ItemStore* store = ItemStore_Create();
        EXPECT_TRUE(ItemFile_ReadSigned(store, good, kScanFileSigningKey, kContainerKeyLength));
        for (StoreItem* item = store->first; item; item = item->next) paths.push_back(item->path);
        ItemStore_Free(store);
    }

    // Loads the file; a failure must carry a message of the table.
    void LoadChecked(const std::string& path, const std::string& what) {
        ScanDocument doc;
        if (doc.Load(path)) return;
        const std::string text = doc.error;
        const bool known = text == "The scan file holds data that cannot be read. The file may be damaged." ||
                           text == "There is not enough memory to complete the operation." ||
                           text == "This file holds several scans and needs a newer version of Tolvaran." ||
                           text.find(" is damaged or has been changed outside the program") != std::string::npos ||
                           text.find(" could not be read.") != std::string::npos;
        EXPECT_TRUE(known) << what << ": " << text;
        ExpectEmptyOutputs(doc);
    }

    ScratchFolder folder;
    std::string good;
    std::vector<ItemPath> paths;
};

TEST_F(ScanFileMutation, EveryCutAndByteFlipIsRefused) {
    const std::vector<unsigned char> bytes = ReadWholeFile(good);
    const std::string path = folder.File("damaged.tvn");
    for (std::size_t cut = 0; cut < bytes.size(); cut += 1 + cut / 512) {
        WriteWholeFile(path, std::vector<unsigned char>(bytes.begin(), bytes.begin() + cut));
        ScanDocument doc;
        ASSERT_FALSE(doc.Load(path)) << "cut at " << cut;
        ExpectEmptyOutputs(doc);
    }
    for (std::size_t at = 0; at < bytes.size(); at += 7) {
        std::vector<unsigned char> flipped = bytes;
        flipped[at] ^= 0x01;
        WriteWholeFile(path, flipped);
        LoadChecked(path, "flip at " + std::to_string(at));
    }
}

// Each element of the item set to the bits of `value` (of its own size).
std::vector<uint8_t> Filled(const StoreItem& item, uint64_t value) {
    std::vector<uint8_t> data(item.byteSize);
    const int size = ItemType_ElementSize(item.type);
    for (std::size_t at = 0; size > 0 && at + size <= data.size(); at += size) std::memcpy(&data[at], &value, size);
    return data;
}

TEST_F(ScanFileMutation, ItemsDroppedRetypedResizedAndFilled) {
    const std::string path = folder.File("mutated.tvn");
    float nanFloat = std::numeric_limits<float>::quiet_NaN();
    double nanDouble = std::numeric_limits<double>::quiet_NaN();
    uint32_t nan32;
    uint64_t nan64;
    std::memcpy(&nan32, &nanFloat, 4);
    std::memcpy(&nan64, &nanDouble, 8);
    for (const ItemPath& p : paths) {
        const std::string name = ItemPath_ForMessage(p);
        using Change = std::function<void(ItemStore*)>;
        std::vector<std::pair<std::string, Change>> changes;
        changes.push_back({"dropped", [&](ItemStore* s) { ItemStore_RemoveItem(s, p); }});
        changes.push_back({"retyped", [&](ItemStore* s) {
                               const StoreItem* item = ItemStore_FindItemPath(s, p);
                               const ItemType to = item->type == ItemType::Float32 ? ItemType::Int32
                                                   : item->type == ItemType::UInt8 ? ItemType::Int8
                                                                                   : ItemType::Float32;
                               std::vector<int32_t> sizes = item->sizes;
                               if (item->dimensionCount > 0)
                                   sizes.back() = static_cast<int32_t>(item->byteSize) / ItemType_ElementSize(to) /
                                                  (item->dimensionCount > 1 ? (sizes.size() > 2 ? 16 : sizes[0]) : 1);
                               std::vector<uint8_t> data(item->byteSize + 16);
                               std::memcpy(data.data(), item->data, item->byteSize);
                               ItemStore_CreateItem(s, p, data.data(), to, item->dimensionCount, sizes.data(), true);
                           }});
        for (int delta : {-1, 1}) {
            changes.push_back({"resized " + std::to_string(delta), [&, delta](ItemStore* s) {
                                   const StoreItem* item = ItemStore_FindItemPath(s, p);
                                   std::vector<int32_t> sizes = item->sizes;
                                   int dims = item->dimensionCount;
                                   if (dims == 0) {
                                       dims = 1;
                                       sizes = {1 + delta + 1};
                                   } else if (sizes[0] + delta >= 0) {
                                       sizes[0] += delta;
                                   }
                                   int64_t elements = 1;
                                   for (int32_t n : sizes) elements *= n;
                                   std::vector<uint8_t> data(
                                       static_cast<std::size_t>(elements * ItemType_ElementSize(item->type)) + 1, 0x5A);
                                   std::memcpy(data.data(), item->data,
                                               std::min<std::size_t>(item->byteSize, data.size()));
                                   ItemStore_CreateItem(s, p, data.data(), item->type, dims, sizes.data(), true);
                               }});
        }
        for (uint64_t value : {uint64_t{0}, ~uint64_t{0}, uint64_t{0x7FFFFFFF}, uint64_t{nan32}, nan64}) {
            changes.push_back({"filled", [&, value](ItemStore* s) {
                                   const StoreItem* item = ItemStore_FindItemPath(s, p);
                                   const std::vector<uint8_t> data = Filled(*item, value);
                                   ItemStore_CreateItem(s, p, data.data(), item->type, item->dimensionCount,
                                                        item->sizes.data(), true);
                               }});
        }
        for (const auto& change : changes) {
            ASSERT_TRUE(Resign(good, path, change.second)) << name << " " << change.first;
            LoadChecked(path, name + " " + change.first);
        }
    }
}

}  // namespace
