// Finding and reading the locale: the plain file, the locale container and
// the order in which they are tried.
#include "app/locale/locale_loader.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/item_store.h"
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_keys.h"
#include "app/locale/locale_parser.h"
#include "app/base/app_messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char* const kSmallLocale = "[SDLASCII]\r\n[STRINGS]\r\nAboutTitle=About\r\n=\rBox\r\n";

class LocaleFolder : public ::testing::Test {
protected:
    void SetUp() override {
        static std::atomic<int> counter{0};
        folder_ = fs::temp_directory_path() /
                  ("locale_loader_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
                   "_" + std::to_string(counter++));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string Folder() const { return folder_.string() + static_cast<char>(fs::path::preferred_separator); }

    void Write(const std::string& name, const std::string& bytes) {
        std::ofstream file(folder_ / name, std::ios::binary);
        file << bytes;
    }

    void WriteContainer(const std::string& name, const std::string& text, bool withItem = true,
                        const std::uint8_t* signingKey = kLocaleSigningKey,
                        const std::uint8_t* encryptionKey = kLocaleDecryptionKey) {
        ItemStore* store = ItemStore_Create();
        ASSERT_NE(store, nullptr);
        if (withItem)
            ASSERT_TRUE(ItemStore_AddItem(store, "LocaleFile/Data", text.data(), ItemType::UInt8, 1,
                                          static_cast<std::int32_t>(text.size())));
        else
            ASSERT_TRUE(ItemStore_AddString(store, "Other/Text", "x"));
        ASSERT_TRUE(ItemFile_Write(store, (folder_ / name).string(), false, signingKey,
                                   signingKey ? kContainerKeyLength : 0, encryptionKey,
                                   encryptionKey ? kContainerKeyLength : 0));
        ItemStore_Free(store);
    }

    int Load() {
        messages_.clear();
        return Locale_LoadInto(table_, Folder(), [this](const std::string& m) { messages_.push_back(m); });
    }

    // Messages other than the missing-key ones.
    std::vector<std::string> OtherMessages() const {
        std::vector<std::string> other;
        for (const std::string& m : messages_) {
            if (m.find("is missing from the Locale File.") == std::string::npos)
                other.push_back(m);
        }
        return other;
    }

    fs::path folder_;
    LocaleStringTable table_;
    std::vector<std::string> messages_;
};

TEST_F(LocaleFolder, PlainFileDropsCarriageReturnsBeforeLineFeedsOnly) {
    Write("Locale-en-GB.txt", kSmallLocale);
    EXPECT_EQ(Load(), 1);
    EXPECT_THAT(OtherMessages(), IsEmpty());
    std::string text;
    ASSERT_TRUE(table_.Find("AboutTitle", text));
    EXPECT_EQ(text, "About\rBox");
    // Every other declared key is reported missing.
    EXPECT_EQ(messages_.size(), Locale_DeclaredKeys().size() - 1);
}

TEST_F(LocaleFolder, ContainerIsReadWhenThereIsNoPlainFile) {
    WriteContainer("Locale-de-DE.dat", kSmallLocale);
    Write("Locale-en.txt", "not a locale name");
    EXPECT_EQ(Load(), 1);
    EXPECT_THAT(OtherMessages(), IsEmpty());
    std::string text;
    ASSERT_TRUE(table_.Find("AboutTitle", text));
    EXPECT_EQ(text, "AboutBox");  // every carriage return dropped
}

TEST_F(LocaleFolder, PlainFileComesBeforeContainer) {
    WriteContainer("Locale-de-DE.dat", "[SDLASCII]\n[STRINGS]\nAboutTitle=Container\n");
    Write("Locale-fr-FR.txt", "[SDLASCII]\n[STRINGS]\nAboutTitle=Plain\n");
    EXPECT_EQ(Load(), 1);
    std::string text;
    ASSERT_TRUE(table_.Find("AboutTitle", text));
    EXPECT_EQ(text, "Plain");
}

TEST_F(LocaleFolder, DisplayNameIsTheFileName) {
    Write("Locale-en-US.txt", "[SDLASCII]\n[STRINGS]\nbroken\n");
    EXPECT_EQ(Load(), 1);
    EXPECT_THAT(OtherMessages(),
                ElementsAre("Locale file Locale-en-US.txt, line 3: '=' separator is missing from "
                            "string definition."));
}

TEST_F(LocaleFolder, ContainerWithoutTheTextGivesAnEmptyLocale) {
    WriteContainer("Locale-de-DE.dat", "", false);
    EXPECT_EQ(Load(), 1);
    EXPECT_THAT(OtherMessages(), IsEmpty());
    EXPECT_EQ(table_.Size(), 0u);
    EXPECT_EQ(messages_.size(), Locale_DeclaredKeys().size());
}

enum class BadContainer { OtherKey, NotEncrypted, NotSigned, NotAContainer, Truncated };

class UnreadableContainer : public LocaleFolder, public ::testing::WithParamInterface<BadContainer> {};

TEST_P(UnreadableContainer, FailsWithoutBoxesAndEndsTheSearch) {
    static const std::uint8_t otherKey[kContainerKeyLength] = {1, 2, 3};
    const std::string name = "Locale-de-DE.dat";
    switch (GetParam()) {
        case BadContainer::OtherKey:
            WriteContainer(name, kSmallLocale, true, otherKey);
            break;
        case BadContainer::NotEncrypted:
            WriteContainer(name, kSmallLocale, true, kLocaleSigningKey, nullptr);
            break;
        case BadContainer::NotSigned:
            WriteContainer(name, kSmallLocale, true, nullptr, kLocaleDecryptionKey);
            break;
        case BadContainer::NotAContainer:
            Write(name, kSmallLocale);
            break;
        case BadContainer::Truncated:
            WriteContainer(name, kSmallLocale);
            fs::resize_file(folder_ / name, fs::file_size(folder_ / name) / 2);
            break;
    }
    EXPECT_EQ(Load(), 0);
    EXPECT_THAT(messages_, IsEmpty());
    EXPECT_EQ(table_.Size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Containers, UnreadableContainer,
                         ::testing::Values(BadContainer::OtherKey, BadContainer::NotEncrypted,
                                           BadContainer::NotSigned, BadContainer::NotAContainer,
                                           BadContainer::Truncated));

TEST_F(LocaleFolder, NoLocaleAnywhereIsReportedOnce) {
    EXPECT_EQ(Load(), 0);
    EXPECT_THAT(messages_, ElementsAre("Error: No locale file was found in the application directory."));
    // The dialog table is filled all the same.
    EXPECT_EQ(Locale_DialogTexts(342).size(), 16u);
}

TEST_F(LocaleFolder, OversizedFileIsRefused) {
    Write("Locale-en-GB.txt", std::string(kLocaleMaxSourceSize + 1, ';'));
    EXPECT_EQ(Load(), 0);
    EXPECT_THAT(messages_, IsEmpty());
}

TEST(LocaleStream, CopyDropsEveryCarriageReturn) {
    std::stringstream stream;
    const std::string data = "a\r\nb\rc\r";
    Locale_CopyDataToStream(stream, data.data(), data.size());
    EXPECT_EQ(stream.str(), "a\nbc");
}

}  // namespace

// The loader's own boxes cannot take their caption from the locale that
// failed: they carry a fixed one and no owner.
TEST(LocaleErrorBox, CarriesTheFixedCaptionAndNoOwner) {
    std::vector<AppMessage> shown;
    App_SetMessageSink([&](const AppMessage& m) { shown.push_back(m); });
    Locale_ShowError("Locale file x.txt, line 3: Bad line");
    App_SetMessageSink(nullptr);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, MessageKind::Error);
    EXPECT_EQ(shown[0].title, "Localization Error");
    EXPECT_TRUE(shown[0].ownerless);
    EXPECT_EQ(shown[0].text, "Locale file x.txt, line 3: Bad line");
}
