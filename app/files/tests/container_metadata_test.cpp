#include "app/files/container_metadata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/tests/keyed_scratch_folder.h"

namespace {

struct Store {
    ItemStore* store = ItemStore_Create();
    ~Store() { ItemStore_Free(store); }
    operator ItemStore*() const { return store; }
};

struct Record {
    ItemMetadata* record;
    explicit Record(ItemMetadata* r) : record(r) {}
    ~Record() { ItemMeta_Free(record); }
    ItemMetadata* operator->() const { return record; }
};

std::vector<std::string> Paths(ItemStore* store) {
    std::vector<std::string> paths;
    for (const StoreItem* item = store->first; item; item = item->next)
        paths.push_back(ItemPath_ForMessage(item->path));
    return paths;
}

TEST(ContainerMetadata, WritesEntriesAsStringAndTimeItems) {
    Record meta(ItemMeta_New(1));
    ASSERT_TRUE(ItemMeta_FillCurrent(&meta->create, "New Scan", nullptr, "Tolvaran 3.2", "anna", "Microsoft Windows XP", 1000.5));
    ASSERT_TRUE(ItemMeta_AppendEdit(meta.record, "Saved", "note", "Tolvaran 3.2", "ben", "Microsoft Windows 2000", 2000.25));
    Store store;
    ItemMeta_Write(store, meta.record);
    EXPECT_EQ(Paths(store), (std::vector<std::string>{
                                "__meta__/create/os", "__meta__/create/program", "__meta__/create/program_text",
                                "__meta__/create/time", "__meta__/create/user", "__meta__/edit0/os",
                                "__meta__/edit0/program", "__meta__/edit0/program_text", "__meta__/edit0/time",
                                "__meta__/edit0/user", "__meta__/edit0/user_text"}));
    EXPECT_NE(ItemStore_GetCheckedItem(store, "__meta__/edit0/user", ItemType::String, 1, 4), nullptr);
    EXPECT_EQ(ItemStore_GetTime(store, "__meta__/edit0/time"), 2000.25);
}

TEST(ContainerMetadata, RoundTripsThroughASignedFile) {
    ScratchFolder folder;
    Record meta(ItemMeta_New(0));
    ASSERT_TRUE(ItemMeta_FillCurrent(&meta->create, "New Scan", nullptr, "P", "U", "O", 10.0));
    for (int i = 0; i < 20; ++i)  // grows past its room
        ASSERT_TRUE(ItemMeta_AppendEdit(meta.record, ("Edit " + std::to_string(i)).c_str(), nullptr, "P", "U", "O", 11.0 + i));
    Store written;
    ItemMeta_Write(written, meta.record);
    ASSERT_TRUE(ItemFile_WriteSigned(written, folder.File("m.tvn"), kScanFileSigningKey, kContainerKeyLength));
    Store read;
    ASSERT_TRUE(ItemFile_ReadSigned(read, folder.File("m.tvn"), kScanFileSigningKey, kContainerKeyLength));
    Record back(ItemMeta_Read(read));
    ASSERT_NE(back.record, nullptr);
    EXPECT_EQ(back->create.program_text, std::string("New Scan"));
    EXPECT_FALSE(back->create.user_text);
    ASSERT_EQ(back->edits.size(), 20u);
    EXPECT_EQ(back->edits[12].program_text, std::string("Edit 12"));
    EXPECT_EQ(back->edits[19].time, 30.0);
}

// Edits 0 and 3 only read as two edits and are written back as 0 and 1;
// names that only look like edits are not counted.
TEST(ContainerMetadata, MissingEditNumbersLeaveNoGaps) {
    Store store;
    ItemStore_AddString(store, "__meta__/edit0/program", "first");
    ItemStore_AddTime(store, "__meta__/edit3/time", 99.0);
    ItemStore_AddString(store, "__meta__/edit3/user", "fourth");
    ItemStore_AddString(store, "__meta__/edit/user", "no number");
    ItemStore_AddString(store, "__meta__/edit2x/user", "not a number");
    ItemStore_AddString(store, "__meta__/edit99999/unknown", "no known field");
    ItemStore_AddString(store, "Other/edit5/user", "not metadata");
    std::int32_t wrongType = 5;
    ItemStore_AddItem(store, "__meta__/edit7/user", &wrongType, ItemType::Int32, 0);
    Record meta(ItemMeta_Read(store));
    ASSERT_EQ(meta->edits.size(), 2u);
    EXPECT_EQ(meta->edits[0].program, std::string("first"));
    EXPECT_EQ(meta->edits[1].user, std::string("fourth"));
    EXPECT_EQ(meta->edits[1].time, 99.0);

    Store rewritten;
    ItemMeta_Write(rewritten, meta.record);
    EXPECT_EQ(ItemStore_FindItem(rewritten, "__meta__/edit1/user") != nullptr, true);
    EXPECT_EQ(ItemStore_FindItem(rewritten, "__meta__/edit3/user"), nullptr);
}

TEST(ContainerMetadata, NoMetadataGivesAnEmptyRecord) {
    Store store;
    Record meta(ItemMeta_Read(store));
    ASSERT_NE(meta.record, nullptr);
    EXPECT_FALSE(meta->create.program || meta->create.user || meta->create.os);
    EXPECT_EQ(meta->create.time, 0.0);
    EXPECT_TRUE(meta->edits.empty());
}

TEST(ContainerMetadata, AbsentTextsRemoveTheirItemsAndZeroTimeIsNow) {
    Store store;
    ItemStore_AddString(store, "__meta__/create/program_text", "old words");
    Record meta(ItemMeta_New(1));
    const double before = ItemFile_CurrentTime();
    ASSERT_TRUE(ItemMeta_FillCurrent(&meta->create, nullptr, nullptr, "P", "U", "O", 0.0));
    EXPECT_GE(meta->create.time, before);
    EXPECT_LE(meta->create.time, ItemFile_CurrentTime());
    EXPECT_GT(before, 1.5e9);
    ItemMeta_Write(store, meta.record);
    EXPECT_EQ(ItemStore_FindItem(store, "__meta__/create/program_text"), nullptr);
    EXPECT_EQ(ItemStore_FindItem(store, "__meta__/create/user_text"), nullptr);

    // An entry written with time 0 gets the current time in the store.
    Record blank(ItemMeta_New(0));
    Store stamped;
    ItemMeta_Write(stamped, blank.record);
    EXPECT_GE(ItemStore_GetTime(stamped, "__meta__/create/time"), before);
}

TEST(ContainerMetadata, DefaultsFillAbsentTexts) {
    ItemMetaEntry entry;
    ASSERT_TRUE(ItemMeta_FillCurrent(&entry, "Saved", nullptr, nullptr, "given user", nullptr, 5.0));
    ASSERT_TRUE(entry.program && entry.os);
    EXPECT_EQ(*entry.program, ItemMeta_ProgramName());
    EXPECT_EQ(entry.program->find(".exe"), std::string::npos);
    EXPECT_EQ(entry.os->rfind("Microsoft Windows ", 0), 0u);
    EXPECT_EQ(entry.user, std::string("given user"));
}

TEST(ContainerMetadata, OsTextForEachKnownVersion) {
    struct Case {
        int major, minor;
        bool nt;
        const char* pack;
        const char* text;
    } cases[] = {
        {3, 51, true, "", "Microsoft Windows NT 3.51"},
        {4, 0, true, "Service Pack 6", "Microsoft Windows NT 4.0 (Service Pack 6)"},
        {4, 0, false, "", "Microsoft Windows 95"},
        {4, 10, false, " A ", "Microsoft Windows 98 (A )"},
        {4, 90, false, "", "Microsoft Windows Me"},
        {5, 0, true, "Service Pack 4", "Microsoft Windows 2000 (Service Pack 4)"},
        {5, 1, true, " Service Pack 2", "Microsoft Windows XP (Service Pack 2)"},
        {5, 2, true, "", "Microsoft Windows Server 2003"},
        {6, 1, true, "Service Pack 1", "Microsoft Windows (unknown)"},
    };
    for (const Case& c : cases) EXPECT_EQ(ItemMeta_FormatOsText(c.major, c.minor, c.nt, c.pack), c.text);
    EXPECT_EQ(ItemMeta_FormatOsText(5, 1, true, std::string(300, 'p')).size(), 127u);
}

TEST(ContainerMetadata, ProgramNameFromPath) {
    EXPECT_EQ(ItemMeta_ProgramNameFromPath("C:\\Program Files\\Tolvaran\\Tolvaran.exe"), "Tolvaran");
    EXPECT_EQ(ItemMeta_ProgramNameFromPath("/usr/bin/tool"), "tool");
    EXPECT_EQ(ItemMeta_ProgramNameFromPath("C:\\x\\TOOL.EXE"), "TOOL.EXE");
    EXPECT_EQ(ItemMeta_ProgramNameFromPath("C:\\x\\.exe"), "");
    EXPECT_EQ(ItemMeta_ProgramNameFromPath(std::string(300, 'n') + ".exe").size(), 256u);
}

}  // namespace
