#include "app/ui/scan_document_names.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

TEST(ScanDocumentNames, FormatsByExtensionWithoutCase) {
    struct Case {
        const char* path;
        ScanFileKind save, load;
    };
    const Case cases[] = {
        {"C:\\scans\\Foot.TVN", ScanFileKind::Tvn, ScanFileKind::Tvn},
        {"foot.tvn", ScanFileKind::Tvn, ScanFileKind::Tvn},
        {"old.Krv", ScanFileKind::Krv, ScanFileKind::Krv},
        {"wand_001_.VID", ScanFileKind::Vid, ScanFileKind::Unknown},
        {"a.krv.tvn", ScanFileKind::Tvn, ScanFileKind::Krv},  // the older format is tested first
        {"C:\\x.tvn\\scan.txt", ScanFileKind::Unknown, ScanFileKind::Tvn},
        {"C:\\x.tvn\\scan", ScanFileKind::Unknown, ScanFileKind::Tvn},
        {"scan", ScanFileKind::Unknown, ScanFileKind::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanDoc_SaveKind(c.path), c.save) << c.path;
        EXPECT_EQ(ScanDoc_LoadKind(c.path), c.load) << c.path;
    }
}

TEST(ScanDocumentNames, OpenFindsTheTypedName) {
    struct Case {
        const char* typed;
        std::set<std::string> files;
        const char* found;  // nullptr: none
    };
    const Case cases[] = {
        {"scan", {"scan.tvn", "scan.krv", "scan.txt"}, "scan.tvn"},
        {"scan", {"scan.krv", "scan.txt"}, "scan.krv"},
        {"scan", {"scan.txt", "scan"}, nullptr},
        {"Foot.TVN", {"Foot.TVN"}, "Foot.TVN"},
        {"Foot.TVN", {"Foot.TVN.tvn"}, "Foot.TVN.tvn"},
        {"missing", {}, nullptr},
    };
    for (const Case& c : cases) {
        const auto found = ScanDoc_FindOpenFile(c.typed, [&](const std::string& p) { return c.files.count(p) != 0; });
        if (c.found)
            EXPECT_EQ(found.value_or("(none)"), c.found) << c.typed;
        else
            EXPECT_FALSE(found.has_value()) << c.typed << " " << *found;
    }
}

TEST(ScanDocumentNames, KrvMessagesAndBaseNames) {
    Locale_LoadInto(Locale_Strings(), std::string(TEST_SOURCE_DIR) + "../locale/data/", [](const std::string&) {});
    EXPECT_EQ(ScanDoc_KrvMessage(kKrvOk, "a.krv", "Tolvaran", "Kmo"), "");
    EXPECT_EQ(ScanDoc_KrvMessage(kKrvNotOpened, "a.krv", "Tolvaran", "Kmo"), "The file a.krv could not be opened.");
    EXPECT_EQ(ScanDoc_KrvMessage(kKrvNotThisFormat, "a.krv", "Tolvaran", "Kmo"),
              "The file a.krv is not a Kmo Tolvaran scan file.");
    EXPECT_NE(ScanDoc_KrvMessage(kKrvBadVersion, "a.krv", "", "").find("a.krv"), std::string::npos);
    EXPECT_EQ(ScanDoc_KrvMessage(kKrvReadError, "a.krv", "", ""), "The file a.krv could not be read.");
    EXPECT_EQ(ScanDoc_KrvMessage(kKrvOutOfMemory, "a.krv", "", ""),
              "There is not enough memory to complete the operation.");
    EXPECT_EQ(ScanDoc_KrvMessage(9, "a.krv", "", ""), "");

    EXPECT_EQ(ScanDoc_FileBaseName("C:\\scans\\Foot.TVN"), "Foot");
    EXPECT_EQ(ScanDoc_FileBaseName("/home/a.b/scan"), "scan");
    EXPECT_EQ(ScanDoc_FileBaseName(""), "");
}

TEST(ScanDocumentNames, ViewRecordFromTheSettings) {
    ViewSettings view{};
    GeneralSettings settings{};
    view.DisplayType = 2;
    view.ViewMatrix[15] = 7;
    view.ViewOrigin = Vec3{1, 2, 3};
    view.ZoomFactor = 1.25f;
    view.Options = 0x40;
    settings.ForegroundColour = 0x112233;
    settings.CustomColours[15] = 9;
    settings.SpotLightPosition[2] = -4;
    KrvViewRecord record;
    std::memset(&record, 0xAB, sizeof record);
    ScanDoc_FillKrvViewRecord(view, settings, record);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    auto word = [&](size_t at) {
        int32_t v;
        std::memcpy(&v, bytes + at, 4);
        return v;
    };
    auto real = [&](size_t at) {
        float v;
        std::memcpy(&v, bytes + at, 4);
        return v;
    };
    EXPECT_EQ(word(0), 2);
    EXPECT_EQ(real(4 + 15 * 4), 7.0f);
    EXPECT_EQ(real(76), 3.0f);
    EXPECT_EQ(real(80), 1.25f);
    EXPECT_EQ(word(84), 0x112233);
    EXPECT_EQ(word(96 + 15 * 4), 9);
    EXPECT_EQ(real(176), -4.0f);
    EXPECT_EQ(word(180), 0x40);
    for (size_t at = 184; at < 272; ++at) EXPECT_EQ(bytes[at], 0) << at;
}

}  // namespace
