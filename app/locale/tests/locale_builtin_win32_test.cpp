// The locale built into the program as resource "Data" 422 (this test
// program has the resource compiled in, as the program has).
#include "app/locale/locale_keys.h"
#include "app/locale/locale_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

TEST(BuiltInLocale, IsTheEnglishLocaleText) {
    std::vector<char> data;
    ASSERT_TRUE(Locale_LoadBuiltInData(data));
    std::ifstream file(std::string(TEST_SOURCE_DIR) + "data/Locale-en-GB.txt", std::ios::binary);
    std::vector<char> expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(data, expected);
}

TEST(BuiltInLocale, IsTheLastSourceAndLoadsCleanly) {
    namespace fs = std::filesystem;
    fs::path folder = fs::temp_directory_path() / ("locale_builtin_" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(folder);
    LocaleStringTable table;
    std::vector<std::string> messages;
    std::string display;
    {
        std::stringstream stream;
        ASSERT_TRUE(Locale_ReadFileIn(folder.string() + "\\", stream, display,
                                      [&](const std::string& m) { messages.push_back(m); }));
        EXPECT_EQ(display, "(internal)");
    }
    EXPECT_EQ(Locale_LoadInto(table, folder.string() + "\\",
                              [&](const std::string& m) { messages.push_back(m); }),
              1);
    EXPECT_THAT(messages, ::testing::IsEmpty());
    EXPECT_EQ(table.Size(), Locale_DeclaredKeys().size());
    fs::remove_all(folder);
}

}  // namespace
