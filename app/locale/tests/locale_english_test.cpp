// The English locale that ships with the program: complete, clean, and using
// only the variables that the program passes with each key.
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_keys.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDataDir = std::string(TEST_SOURCE_DIR) + "data/";

// key_variables.txt: "Key: name name ..." per line, ';' comments.
std::map<std::string, std::set<std::string>> ReadVariableTable() {
    std::map<std::string, std::set<std::string>> table;
    std::ifstream file(kDataDir + "key_variables.txt");
    EXPECT_TRUE(file.good());
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == ';')
            continue;
        std::size_t colon = line.find(':');
        EXPECT_NE(colon, std::string::npos) << line;
        std::istringstream names(line.substr(colon + 1));
        std::set<std::string>& entry = table[line.substr(0, colon)];
        for (std::string name; names >> name;)
            entry.insert(name);
    }
    return table;
}

class EnglishLocale : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<char> data;
        ASSERT_TRUE(Locale_ReadTextFile(kDataDir + "Locale-en-GB.txt", data));
        std::istringstream stream(std::string(data.begin(), data.end()));
        result_ = Locale_ParseInto(table_, stream, "Locale-en-GB.txt",
                                   [this](const std::string& m) { messages_.push_back(m); });
    }

    LocaleStringTable table_;
    std::vector<std::string> messages_;
    int result_ = 0;
};

TEST_F(EnglishLocale, ParsesWithoutAMessage) {
    EXPECT_EQ(result_, 1);
    EXPECT_THAT(messages_, ::testing::IsEmpty());
}

TEST_F(EnglishLocale, DefinesEveryDeclaredKeyAndNoOther) {
    Locale_ReportMissingStringsIn(table_, [this](const std::string& m) { messages_.push_back(m); });
    EXPECT_THAT(messages_, ::testing::IsEmpty());
    EXPECT_EQ(table_.Size(), Locale_DeclaredKeys().size());
    for (const std::string& key : Locale_DeclaredKeys()) {
        std::string text;
        ASSERT_TRUE(table_.Find(key, text)) << key;
        EXPECT_FALSE(text.empty()) << key;
    }
}

TEST_F(EnglishLocale, UsesOnlyTheVariablesItsCallersPass) {
    const auto variables = ReadVariableTable();
    for (const auto& entry : variables)
        EXPECT_EQ(Locale_DeclaredKeys().count(entry.first), 1u) << entry.first;
    for (const std::string& key : Locale_DeclaredKeys()) {
        std::string stored;
        ASSERT_TRUE(table_.Find(key, stored));
        auto allowed = variables.find(key);
        for (const LocaleSegment& segment : Locale_SplitText(stored)) {
            if (!segment.isVariable)
                continue;
            EXPECT_TRUE(allowed != variables.end() && allowed->second.count(segment.text))
                << key << " names {" << segment.text << "}";
        }
    }
}

TEST_F(EnglishLocale, GivesEveryDialogControlItsText) {
    Locale_RegisterDialogTexts();
    for (const auto& entry : Locale_DialogTextTable()) {
        for (const LocaleDialogText& row : entry.second)
            EXPECT_TRUE(table_.Contains(row.key)) << entry.first << "/" << row.control;
    }
}

}  // namespace
