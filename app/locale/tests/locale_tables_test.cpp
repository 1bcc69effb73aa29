// The declared keys and the dialog text table.
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_keys.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// Other tests add entries of their own (left empty); these are the program's.
LocaleDialogTable ProgramDialogs(const LocaleDialogTable& table) {
    LocaleDialogTable program;
    for (std::size_t i = 0; i < kLocaleDialogTextListCount; ++i) {
        int dialog = kLocaleDialogTextLists[i].dialog;
        if (table.count(dialog))
            program[dialog] = table.at(dialog);
    }
    return program;
}

std::size_t RowCount(const LocaleDialogTable& table) {
    std::size_t rows = 0;
    for (const auto& entry : table)
        rows += entry.second.size();
    return rows;
}

TEST(DeclaredKeys, RegisteringTwiceKeepsTheSet) {
    Locale_RegisterStringKeys();
    Locale_RegisterStringKeys();
    const std::set<std::string>& keys = Locale_DeclaredKeys();
    EXPECT_EQ(keys.size(), 871u);
    EXPECT_EQ(kLocaleDeclaredKeyCount, 871u);
    // Byte order: upper case sorts before lower case.
    auto upper = keys.find("LightAndColourTitle");
    auto lower = keys.find("LightandColourColourLabel");
    ASSERT_NE(upper, keys.end());
    ASSERT_NE(lower, keys.end());
    EXPECT_LT(std::distance(keys.begin(), upper), std::distance(keys.begin(), lower));
    // Old spellings are keys as they stand.
    EXPECT_EQ(keys.count("FileExportRelToBounbdingBox"), 1u);
    EXPECT_EQ(keys.count("ChangeReferenceReceiverUnavialable"), 1u);
}

TEST(DeclaredKeys, MissingKeysAreReportedInKeyOrder) {
    LocaleStringTable complete;
    for (const std::string& key : Locale_DeclaredKeys())
        complete.Set(key, "text");
    std::vector<std::string> messages;
    auto record = [&](const std::string& m) { messages.push_back(m); };
    Locale_ReportMissingStringsIn(complete, record);
    EXPECT_TRUE(messages.empty());

    LocaleStringTable lacking;
    for (const std::string& key : Locale_DeclaredKeys()) {
        if (key != "AboutTitle")
            lacking.Set(key, "text");
    }
    Locale_ReportMissingStringsIn(lacking, record);
    EXPECT_THAT(messages,
                ElementsAre("The string called 'AboutTitle' is missing from the Locale File."));

    messages.clear();
    Locale_ReportMissingStringsIn(LocaleStringTable(), record);
    ASSERT_EQ(messages.size(), 871u);
    EXPECT_EQ(messages.front(),
              "The string called 'AboutBuildDate' is missing from the Locale File.");
}

TEST(DialogTexts, RegisteringTwiceGivesTheSameTable) {
    Locale_RegisterDialogTexts();
    LocaleDialogTable first = ProgramDialogs(Locale_DialogTextTable());
    Locale_RegisterDialogTexts();
    LocaleDialogTable second = ProgramDialogs(Locale_DialogTextTable());
    EXPECT_EQ(first.size(), 67u);
    EXPECT_EQ(RowCount(first), 251u);
    EXPECT_EQ(second.size(), 67u);
    EXPECT_EQ(RowCount(second), 251u);
    EXPECT_TRUE(first.at(355).empty());
    ASSERT_EQ(first.at(342).size(), 16u);
    EXPECT_EQ(first.at(342).front().key, "LightAndColourTitle");
    EXPECT_EQ(first.at(342).back().key, "LightAndColourGradedBackground");
}

TEST(DialogTexts, EveryRowNamesADeclaredKey) {
    Locale_RegisterDialogTexts();
    for (const auto& entry : Locale_DialogTextTable()) {
        for (const LocaleDialogText& row : entry.second)
            EXPECT_EQ(Locale_DeclaredKeys().count(row.key), 1u) << entry.first << " " << row.key;
    }
}

std::vector<std::pair<int, std::string>> Apply(int dialog) {
    std::vector<std::pair<int, std::string>> set;
    Locale_ApplyDialogTexts(dialog, [&](int control, const char* text) { set.emplace_back(control, text); });
    return set;
}

TEST(DialogTexts, ApplySetsEachRowInOrder) {
    Locale_RegisterDialogTexts();
    Locale_Strings().Set("StandardMillimetresAbbreviation", "mm");
    Locale_Strings().Set("CalibrationCorrectionInfoTitle", "Calibration Correction");
    auto set = Apply(354);
    ASSERT_EQ(set.size(), 7u);
    EXPECT_EQ(set[0], std::make_pair(0, std::string("Calibration Correction")));
    EXPECT_EQ(set[5], std::make_pair(1579, std::string("mm")));
    EXPECT_EQ(set[6], std::make_pair(1580, std::string("mm")));
    // A key the locale lacks shows as marked.
    EXPECT_EQ(set[1], std::make_pair(3, std::string("**CalibrationCorrectionInfoApply")));
}

TEST(DialogTexts, UnknownDialogSetsNothingAndGetsAnEmptyEntry) {
    Locale_RegisterDialogTexts();
    std::size_t before = Locale_DialogTextTable().size();
    EXPECT_TRUE(Apply(9999).empty());
    LocaleDialogTable table = Locale_DialogTextTable();
    EXPECT_EQ(table.size(), before + 1);
    EXPECT_TRUE(table.at(9999).empty());
    Locale_RegisterDialogTexts();
    EXPECT_EQ(RowCount(Locale_DialogTextTable()), 251u);
}

TEST(DialogTexts, BeginEmptiesAndAddAppends) {
    Locale_BeginDialogTexts(7001);
    Locale_AddDialogText(0, "AboutTitle");
    Locale_AddDialogText(5, "StandardDialogOK");
    Locale_BeginDialogTexts(7001);
    Locale_AddDialogText(1, "StandardDialogCancel");
    auto rows = Locale_DialogTexts(7001);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].control, 1);
    EXPECT_EQ(rows[0].key, "StandardDialogCancel");
    Locale_BeginDialogTexts(7001);
    EXPECT_TRUE(Locale_DialogTexts(7001).empty());
}

}  // namespace
