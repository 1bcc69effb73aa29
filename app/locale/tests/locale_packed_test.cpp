// The English locale as the container tool packs it (the test
// app/locale.pack_english_locale writes it) loads like the plain file.
#include "app/locale/locale_keys.h"
#include "app/locale/locale_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(PackedEnglishLocale, LoadsCleanlyWithTheTextsOfThePlainFile) {
    LocaleStringTable packed;
    std::vector<std::string> messages;
    EXPECT_EQ(Locale_LoadInto(packed, PACKED_LOCALE_DIR,
                              [&](const std::string& m) { messages.push_back(m); }),
              1);
    EXPECT_THAT(messages, ::testing::IsEmpty());

    std::vector<char> data;
    ASSERT_TRUE(Locale_ReadTextFile(std::string(TEST_SOURCE_DIR) + "data/Locale-en-GB.txt", data));
    std::istringstream stream(std::string(data.begin(), data.end()));
    LocaleStringTable plain;
    Locale_ParseInto(plain, stream, "Locale-en-GB.txt", [](const std::string&) {});

    EXPECT_EQ(packed.Size(), Locale_DeclaredKeys().size());
    for (const std::string& key : Locale_DeclaredKeys()) {
        std::string fromContainer, fromFile;
        EXPECT_TRUE(packed.Find(key, fromContainer)) << key;
        EXPECT_TRUE(plain.Find(key, fromFile)) << key;
        EXPECT_EQ(fromContainer, fromFile) << key;
    }
}

}  // namespace
