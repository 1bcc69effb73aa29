#include "app/scanfile/tests/scan_file_support.h"

#include "app/files/safe_file_write.h"
#include "app/scanfile/scan_file_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using namespace scan_file_test;

class ScanFileErrors : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { LoadShippedLocale(); }
    void SetUp() override {
        good = folder.File("good.tvn");
        SaveSmallScan(good);
    }
    std::string Changed(const std::string& name, const std::function<void(ItemStore*)>& change) {
        const std::string path = folder.File(name);
        EXPECT_TRUE(Resign(good, path, change));
        return path;
    }
    void ExpectRefused(const std::string& path, const std::string& text) {
        ScanDocument doc;
        EXPECT_FALSE(doc.Load(path));
        EXPECT_EQ(std::string(doc.error), text);
        ExpectEmptyOutputs(doc);
    }
    static std::string Named(const char* before, const std::string& path, const char* after) {
        return before + path + after;
    }

    ScratchFolder folder;
    std::string good;
};

const char kBadField[] = "The scan file holds data that cannot be read. The file may be damaged.";

TEST_F(ScanFileErrors, ContainerFaultsGiveTheTableTexts) {
    const std::string corrupted = " is damaged or has been changed outside the program, and cannot be opened.";
    ExpectRefused(folder.File("missing.tvn"), Named("The file ", folder.File("missing.tvn"), " could not be opened."));

    std::vector<unsigned char> bytes = ReadWholeFile(good);
    const std::string flipped = folder.File("flipped.tvn");
    bytes[bytes.size() / 2] ^= 0x10;
    WriteWholeFile(flipped, bytes);
    ExpectRefused(flipped, Named("The file ", flipped, corrupted.c_str()));

    ItemStore* store = ItemStore_Create();
    ASSERT_TRUE(ItemFile_ReadSigned(store, good, kScanFileSigningKey, kContainerKeyLength));
    const std::string unsigned_ = folder.File("unsigned.tvn");
    ASSERT_TRUE(ItemFile_Write(store, unsigned_, false, nullptr, 0, nullptr, 0));
    const std::string encrypted = folder.File("encrypted.tvn");
    ASSERT_TRUE(ItemFile_Write(store, encrypted, false, kScanFileSigningKey, kContainerKeyLength, kLocaleDecryptionKey,
                               kContainerKeyLength));
    ItemStore_Free(store);
    ExpectRefused(unsigned_, Named("The file ", unsigned_, corrupted.c_str()));
    ExpectRefused(encrypted, Named("The file ", encrypted, " is encrypted and cannot be opened."));

    for (const char* version : {"%TAVIR-1.0", "%TAVIR-2.2"}) {
        std::vector<unsigned char> changed = ReadWholeFile(good);
        std::memcpy(changed.data(), version, std::strlen(version));
        const std::string path = folder.File(std::string("version") + version[7] + version[9] + ".tvn");
        WriteWholeFile(path, changed);
        ExpectRefused(path, Named("The file ", path, corrupted.c_str()));
    }
}

TEST_F(ScanFileErrors, SeveralScansNeedANewerProgram) {
    const int32_t two[2] = {1, 0};
    const std::string path = Changed("two.tvn", [&](ItemStore* s) {
        const int32_t size = 2;
        ItemStore_CreateItem(s, ItemPath_Split("Raw/ScanLengths"), two, ItemType::Int32, 1, &size, true);
    });
    ExpectRefused(path, "This file holds several scans and needs a newer version of Tolvaran.");
}

TEST_F(ScanFileErrors, EachRequiredItemMissingIsABadField) {
    const char* required[] = {"Raw/SweepLengths",   "Raw/ProfileLengths",         "Raw/CompressedPointsV1",
                              "Raw/WandRxMatrices", "Raw/RawReferenceRxMatrices", "Basic/Mesh/FacetsV1",
                              "RBF/Mesh/FacetsV1"};
    for (const char* item : required) {
        SCOPED_TRACE(item);
        const std::string path =
            Changed("missing.tvn", [&](ItemStore* s) { ItemStore_RemoveItem(s, ItemPath_Split(item)); });
        ExpectRefused(path, kBadField);
    }
}

TEST_F(ScanFileErrors, CountsAndIndicesBeyondTheirItemsAreBadFields) {
    struct Case {
        const char* item;
        ItemType type;
        std::vector<int32_t> values;
    };
    const Case cases[] = {
        {"Raw/ScanLengths", ItemType::Int32, {1000000000}},
        {"Raw/ScanLengths", ItemType::Int32, {-1}},
        {"Raw/SweepLengths", ItemType::Int32, {5}},
        {"Raw/ProfileLengths", ItemType::Int32, {577, 6, 7, 6}},
        {"Raw/ProfileLengths", ItemType::Int32, {-6, 7, 6, 7}},
        {"Raw/Editing/NumPointStates", ItemType::Int32, {2000000000}},
        {"Raw/CompressedWidthsV1", ItemType::UInt8, {1, 2, 3}},
        {"Basic/Mesh/FacetsV1", ItemType::Int32, {0, 1, 5, 0, 1, 2, 0, 2, 3}},
        {"Landmarks/LineLengths", ItemType::Int32, {2147483647}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        std::vector<uint8_t> data;
        for (int32_t v : c.values) {
            const auto* b = reinterpret_cast<const uint8_t*>(&v);
            if (c.type == ItemType::UInt8)
                data.push_back(static_cast<uint8_t>(v));
            else
                data.insert(data.end(), b, b + 4);
        }
        const std::string path = Changed("count.tvn", [&](ItemStore* s) {
            const StoreItem* old = ItemStore_FindItem(s, c.item);
            const int dims = old ? old->dimensionCount : 0;
            std::vector<int32_t> sizes = old ? old->sizes : std::vector<int32_t>{};
            if (dims > 0) sizes[0] = static_cast<int32_t>(c.values.size()) / (dims == 2 ? sizes[1] : 1);
            ItemStore_CreateItem(s, ItemPath_Split(c.item), data.data(), c.type, dims, sizes.data(), true);
        });
        ExpectRefused(path, kBadField);
    }
}

TEST_F(ScanFileErrors, NoScanLengthsLoadsAnEmptyScan) {
    const std::string path = Changed("empty.tvn", [](ItemStore* s) {
        std::vector<ItemPath> raw;
        for (StoreItem* item = s->first; item; item = item->next)
            if (item->path[0] == "Raw") raw.push_back(item->path);
        for (const ItemPath& p : raw) ItemStore_RemoveItem(s, p);
    });
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(path)) << doc.error;
    EXPECT_EQ(doc.raw().NumSweeps, 0);
    EXPECT_EQ(doc.raw().NumProfiles, 0);
    EXPECT_EQ(doc.raw().NumPoints, 0);
    EXPECT_EQ(doc.basic.NumPoints, 5);
    EXPECT_STREQ(doc.raw().Header.ProgramVersion, "Unknown Version");
    EXPECT_EQ(doc.raw().Header.WandReceiverOffset[12], -120.0f);
}

TEST(ScanFileSections, ProgramSectionsAreKnown) {
    const struct {
        ItemPath path;
        bool known;
    } cases[] = {
        {{"TVN", "ReleaseNumber"}, true},
        {{"Raw", "x"}, true},
        {{"Basic"}, true},
        {{"RBF", "Mesh"}, true},
        {{"Landmarks"}, true},
        {{"View", "Zoom"}, true},
        {{"Tolvaran", "a"}, true},
        {{"Icon", "b"}, true},
        {{"__meta__", "create"}, true},
        {{"VKT", "RMS"}, true},
        {{"VKT", "Transforms"}, true},
        {{"VKT", "Shapes"}, false},
        {{"VKT"}, false},
        {{"raw", "x"}, false},
        {{"Rawness"}, false},
        {{"Other", "Raw"}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(TVNFile_IsKnownSection(c.path), c.known) << ItemPath_ForMessage(c.path);
}

TEST_F(ScanFileErrors, ForeignItemsComeBackAndTheProgramsOwnDoNot) {
    const int32_t value = 9;
    const std::string path = Changed("foreign.tvn", [&](ItemStore* s) {
        for (const char* p : {"Other/Thing", "VKT/RMS", "VKT/Transforms/A", "VKT/Shapes"})
            ItemStore_CreateItem(s, ItemPath_Split(p), &value, ItemType::Int32, 0, nullptr, true);
    });
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(path)) << doc.error;
    ASSERT_EQ(doc.foreign.items.size(), 2u);
    EXPECT_EQ(doc.foreign.items[0].path, (ItemPath{"Other", "Thing"}));
    EXPECT_EQ(doc.foreign.items[1].path, (ItemPath{"VKT", "Shapes"}));
    ASSERT_TRUE(doc.Save(path)) << doc.error;
    ItemStore* store = ItemStore_Create();
    ASSERT_TRUE(ItemFile_ReadSigned(store, path, kScanFileSigningKey, kContainerKeyLength));
    EXPECT_NE(ItemStore_FindItem(store, "Other/Thing"), nullptr);
    EXPECT_NE(ItemStore_FindItem(store, "VKT/Shapes"), nullptr);
    EXPECT_EQ(ItemStore_FindItem(store, "VKT/RMS"), nullptr);
    EXPECT_EQ(ItemStore_FindItem(store, "VKT/Transforms/A"), nullptr);
    ItemStore_Free(store);
}

TEST_F(ScanFileErrors, AnEmptyScanWritesEmptyItemsAndNoSurfaceOrRefractionItems) {
    const std::string path = folder.File("empty.tvn");
    {
        ScanDocument doc;
        ASSERT_TRUE(doc.Save(path)) << doc.error;
    }
    ItemStore* store = ItemStore_Create();
    ASSERT_TRUE(ItemFile_ReadSigned(store, path, kScanFileSigningKey, kContainerKeyLength));
    const StoreItem* lengths = ItemStore_FindItem(store, "Raw/ScanLengths");
    ASSERT_NE(lengths, nullptr);
    EXPECT_EQ(*lengths->As<int32_t>(), 0);
    EXPECT_EQ(ItemStore_FindItem(store, "Raw/SweepLengths")->sizes[0], 0);
    EXPECT_EQ(ItemStore_FindItem(store, "Raw/ProfileLengths")->sizes[0], 0);
    EXPECT_EQ(ItemStore_FindItem(store, "Raw/RefractionSettings/GlassThickness"), nullptr);
    for (StoreItem* item = store->first; item; item = item->next)
        EXPECT_TRUE(item->path[0] != "Basic" && item->path[0] != "RBF") << ItemPath_ForMessage(item->path);
    ItemStore_Free(store);
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(path)) << doc.error;
    EXPECT_EQ(doc.raw().NumSweeps, 0);
    EXPECT_EQ(doc.mode, kScanFileModeScan);
}

TEST_F(ScanFileErrors, SavingOverTheOpenedFileWorks) {
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(good)) << doc.error;
    ASSERT_TRUE(doc.Save(good)) << doc.error;
    ScanDocument again;
    ASSERT_TRUE(again.Load(good)) << again.error;
    EXPECT_EQ(again.raw().NumPoints, doc.raw().NumPoints);
    EXPECT_EQ(again.raw().NumFacets, doc.raw().NumFacets);
}

TEST_F(ScanFileErrors, FailedSavesLeaveTheOldFileByteForByte) {
    const std::vector<unsigned char> before = ReadWholeFile(good);
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(good)) << doc.error;
    doc.raw().Points[0].Flags = 0;  // the new save would differ

    files::SetSafeWriteDiskFullAfterForTesting(200);
    EXPECT_FALSE(doc.Save(good));
    files::SetSafeWriteDiskFullAfterForTesting(-1);
    EXPECT_EQ(std::string(doc.error), Named("The file ", good, " could not be written."));
    EXPECT_EQ(ReadWholeFile(good), before);

    // Every allocation of the save made to fail in turn.
    int32_t n = 1;
    for (;; ++n) {
        ScanFile_FailAllocationForTesting(n);
        std::memset(doc.error, 0, sizeof doc.error);
        const bool saved = doc.Save(good);
        const int32_t made = ScanFile_FailAllocationForTesting(0);
        if (made < n) {
            EXPECT_TRUE(saved) << doc.error;
            break;
        }
        ASSERT_FALSE(saved) << "allocation " << n;
        EXPECT_STREQ(doc.error, "There is not enough memory to complete the operation.");
        ASSERT_EQ(ReadWholeFile(good), before) << "allocation " << n;
    }
    EXPECT_GT(n, 20);
}

TEST_F(ScanFileErrors, AStoreErrorWhileBuildingWritesNothing) {
    const std::vector<unsigned char> before = ReadWholeFile(good);
    ScanDocument doc;
    ASSERT_TRUE(doc.Load(good)) << doc.error;
    ForeignItem bad;
    bad.path = {"Other", ""};  // refused by the store: an empty component
    bad.type = static_cast<ItemType>(99);
    bad.dimensionCount = 0;
    bad.byteSize = 4;
    bad.data.reset(static_cast<unsigned char*>(std::calloc(1, 4)));
    doc.foreign.items.push_back(std::move(bad));
    EXPECT_FALSE(doc.Save(good));
    EXPECT_EQ(std::string(doc.error).rfind("The scan could not be saved.", 0), 0u) << doc.error;
    EXPECT_EQ(ReadWholeFile(good), before);
}

}  // namespace
