#include "app/files/config_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

struct ConfigDeleter {
    void operator()(ConfigFile* file) const { ConfigFile_Free(file); }
};
using ConfigPtr = std::unique_ptr<ConfigFile, ConfigDeleter>;

ConfigPtr LoadText(const std::string& content) {
    static int counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto path = std::filesystem::temp_directory_path() /
                      ("tolvaran_config_test_" + std::to_string(stamp) + "_" + std::to_string(++counter) + ".rsc");
    {
        std::ofstream out(path, std::ios::binary);
        out << content;
    }
    ConfigPtr file(ConfigFile_Load(path.string().c_str()));
    std::filesystem::remove(path);
    return file;
}

}  // namespace

TEST(ConfigFile, LinesTable) {
    struct Case {
        const char* line;
        int entries = 0;  // entries the line gives
        const char* name = "";
        const char* text = "";
        int isInteger = 0, intValue = 0, isFloat = 0;
        double doubleValue = 0.0;
        int isBool = 0, boolValue = 0;
    } cases[] = {
        {"   # a note\n", 0},
        {"\n", 0},
        {"   \t \n", 0},
        {"RangeScale 1.5  \n", 1, "RangeScale", "1.5", 0, 0, 1, 1.5, 1, 1},
        {"Hemisphere 0\n", 1, "Hemisphere", "0", 1, 0, 1, 0.0, 1, 0},
        {"  MinLaserLineWidth\t\t-12\r\n", 1, "MinLaserLineWidth", "-12", 1, -12, 1, -12.0, 1, 1},
        {"NameOnly\n", 1, "NameOnly", "", 0, 0, 0, 0.0, 1, 1},
        {"Flag Yes\n", 1, "Flag", "Yes", 0, 0, 0, 0.0, 1, 1},
        {"Flag OFF\n", 1, "Flag", "OFF", 0, 0, 0, 0.0, 1, 0},
        {"Flag maybe\n", 1, "Flag", "maybe", 0, 0, 0, 0.0, 0, 0},
        {"Path C:\\some folder\\x  \n", 1, "Path", "C:\\some folder\\x", 0, 0, 0, 0.0, 0, 0},
        {"Zero 0.0\n", 1, "Zero", "0.0", 0, 0, 1, 0.0, 1, 0},
        {"Trail 12abc\n", 1, "Trail", "12abc", 0, 0, 0, 0.0, 0, 0},
        {"Big 4294967296\n", 1, "Big", "4294967296", 0, 0, 1, 4294967296.0, 1, 1},
        {"NoBreak 7", 1, "NoBreak", "7", 1, 7, 1, 7.0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ConfigPtr file = LoadText(c.line);
        ASSERT_TRUE(file);
        ASSERT_EQ(file->count, c.entries);
        if (!c.entries) continue;
        const ConfigEntry& e = file->entries[0];
        EXPECT_STREQ(e.name, c.name);
        EXPECT_STREQ(e.text, c.text);
        EXPECT_EQ(e.nameLength, static_cast<int>(std::string(c.name).size()));
        EXPECT_EQ(e.textLength, static_cast<int>(std::string(c.text).size()));
        EXPECT_EQ(e.isInteger, c.isInteger);
        if (c.isInteger) {
            EXPECT_EQ(e.intValue, c.intValue);
        }
        EXPECT_EQ(e.isFloat, c.isFloat);
        if (c.isFloat) {
            EXPECT_DOUBLE_EQ(e.doubleValue, c.doubleValue);
        }
        EXPECT_EQ(e.isBool, c.isBool);
        if (c.isBool) {
            EXPECT_EQ(e.boolValue, c.boolValue);
        }
    }
}

TEST(ConfigFile, LineLongerThanAPieceIsSplit) {
    const std::string name(1100, 'n');
    ConfigPtr file = LoadText(name + " 5\nAfter 1\n");
    ASSERT_TRUE(file);
    ASSERT_EQ(file->count, 3);
    EXPECT_EQ(file->entries[0].nameLength, kConfigLinePieceLength);
    EXPECT_EQ(file->entries[0].textLength, 0);
    EXPECT_EQ(std::string(file->entries[1].name), std::string(1100 - kConfigLinePieceLength, 'n'));
    EXPECT_STREQ(file->entries[1].text, "5");
    EXPECT_STREQ(file->entries[2].name, "After");
}

TEST(ConfigFile, FindIsCaseSensitiveAndTakesTheFirst) {
    ConfigPtr file = LoadText("Key first\nKey second\n");
    ASSERT_TRUE(file);
    const ConfigEntry* entry = ConfigFile_Find(file.get(), "Key");
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->text, "first");
    EXPECT_EQ(ConfigFile_Find(file.get(), "key"), nullptr);
    EXPECT_EQ(ConfigFile_Find(file.get(), "Missing"), nullptr);
}

TEST(ConfigFile, GetValueMatchesWordsInAnyCase) {
    ConfigPtr file = LoadText("General.ExportFileType stl\nGeneral.RbfParams.RbfTrimType nothing\n");
    ASSERT_TRUE(file);
    const char* const formats[] = {"3DS", "ASCII", "DXF", "IGES", "INVENTOR", "LIGHTWAVE", "MATLAB",
                                   "POLYWORKS_SCAN", "PLY", "STL", "VRML", "VTK", "WAVEFRONT", nullptr};
    std::int32_t index = -1;
    EXPECT_TRUE(ConfigFile_GetValue("General.ExportFileType", file.get(), formats, &index));
    EXPECT_EQ(index, 9);
    EXPECT_TRUE(ConfigFile_GetValue("General.ExportFileType", file.get(), formats, nullptr));

    const char* const trims[] = {"OPEN", "CLOSE", "TRIM", "TRIM_EDGES", nullptr};
    const char* const none[] = {nullptr};
    index = 42;
    EXPECT_FALSE(ConfigFile_GetValue("General.RbfParams.RbfTrimType", file.get(), trims, &index));
    EXPECT_FALSE(ConfigFile_GetValue("general.exportfiletype", file.get(), formats, &index));
    EXPECT_FALSE(ConfigFile_GetValue("General.ExportFileType", file.get(), none, &index));
    EXPECT_EQ(index, 42);
}

TEST(ConfigFile, TableGrowsBy144) {
    std::string content;
    for (int i = 0; i < 265; ++i) content += "Key" + std::to_string(i) + " " + std::to_string(i) + "\n";
    ConfigPtr file = LoadText(content.substr(0, content.find("Key129 ")));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->count, 129);
    EXPECT_EQ(file->capacity, 184);
    file = LoadText(content);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->count, 265);
    EXPECT_EQ(file->capacity, 380);
    EXPECT_EQ(ConfigFile_Find(file.get(), "Key264")->intValue, 264);
}

TEST(ConfigFile, MissingFileIsEmpty) {
    ConfigPtr file(ConfigFile_Load("/no/such/folder/Tolvaran.rsc"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->count, 0);
    EXPECT_EQ(file->capacity, 128);
}
