#include "app/locale/locale_lookup.h"
#include "app/locale/locale_string_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

using ::testing::ElementsAre;

TEST(LocaleLookup, MissingKeyGivesMarkedKeyAndTheSamePointer) {
    LocaleStringTable table;
    const char* first = table.GetString("NoSuchKey");
    EXPECT_STREQ(first, "**NoSuchKey");
    EXPECT_EQ(table.GetString("NoSuchKey"), first);
    // A cached text stays as first fetched, even if the table changes later.
    table.Set("NoSuchKey", "late");
    EXPECT_EQ(table.GetString("NoSuchKey"), first);
    EXPECT_STREQ(first, "**NoSuchKey");
}

TEST(LocaleLookup, KeysAreExactAndCaseSensitive) {
    LocaleStringTable table;
    table.Set("Title", "Scanner");
    EXPECT_STREQ(table.GetString("Title"), "Scanner");
    EXPECT_STREQ(table.GetString("title"), "**title");
    EXPECT_STREQ(table.GetString("Title "), "**Title ");
}

TEST(LocaleLookup, EscapesAndEmptyBracesResolveAtLookup) {
    LocaleStringTable table;
    table.Set("Text", "\\{a\\} {} \\\\ x\\ty\\nz\\r");
    EXPECT_STREQ(table.GetString("Text"), "{a}  \\ x\ty\nz\r");
}

TEST(LocaleLookup, SplitMarksVariablesAndDropsEmptyPairs) {
    auto segments = Locale_SplitText("a{x}{}b\\{c{y}");
    std::vector<std::pair<std::string, bool>> pieces;
    for (const auto& s : segments)
        pieces.emplace_back(s.text, s.isVariable);
    EXPECT_THAT(pieces, ElementsAre(std::make_pair(std::string("a"), false),
                                    std::make_pair(std::string("x"), true),
                                    std::make_pair(std::string("b{c"), false),
                                    std::make_pair(std::string("y"), true)));
}

struct ExpansionCase {
    const char* what;
    const char* stored;
    std::vector<LocaleVariable* (*)()> variables;
    const char* expected;
};

void PrintTo(const ExpansionCase& c, std::ostream* os) {
    *os << c.what;
}

class ExpansionTest : public ::testing::TestWithParam<ExpansionCase> {};

TEST_P(ExpansionTest, SubstitutesWhatIsGivenAndKeepsOtherMarks) {
    const ExpansionCase& c = GetParam();
    LocaleStringTable table;
    table.Set("Key", c.stored);
    std::vector<LocaleVariable*> list;
    for (auto make : c.variables)
        list.push_back(make());
    list.push_back(nullptr);
    EXPECT_EQ(table.Expand("Key", list.data()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variables, ExpansionTest,
    ::testing::Values(
        ExpansionCase{"partial", "Cannot read {file_name} ({count} items).",
                      {[] { return Locale_NewStringVariable("file_name", "a.txt"); }},
                      "Cannot read a.txt ({count} items)."},
        ExpansionCase{"duplicate: later wins", "{n}",
                      {[] { return Locale_NewIntVariable("n", 1); },
                       [] { return Locale_NewIntVariable("n", 2); }},
                      "2"},
        ExpansionCase{"none given", "{a} and {b}", {}, "{a} and {b}"},
        ExpansionCase{"names are case-sensitive", "{Name}",
                      {[] { return Locale_NewStringVariable("name", "x"); }}, "{Name}"},
        ExpansionCase{"used twice", "{a}-{a}",
                      {[] { return Locale_NewStringVariable("a", "x"); }}, "x-x"},
        ExpansionCase{"text is not expanded again", "{a}",
                      {[] { return Locale_NewStringVariable("a", "{b}\\n"); }}, "{b}\\n"},
        ExpansionCase{"number", "{v} mm",
                      {[] { return Locale_NewNumberVariable("v", 1234.56, 1); }}, "1,234.6 mm"},
        ExpansionCase{"number padded", "{v}",
                      {[] { return Locale_NewNumberVariable("v", 1234.56, 8); }},
                      "1,234.56000000"},
        ExpansionCase{"integers", "{a} {b} {c}",
                      {[] { return Locale_NewIntVariable("a", -5); },
                       [] { return Locale_NewIntVariable("b", 0); },
                       [] { return Locale_NewIntVariable("c", 1234567); }},
                      "-5 0 1,234,567"},
        ExpansionCase{"invalid kind", "[{v}]",
                      {[] {
                          LocaleVariable* v = Locale_NewIntVariable("v", 1);
                          v->kind = 7;
                          return v;
                      }},
                      "[**Variable has invalid type member.]"},
        ExpansionCase{"huge and non-finite numbers stay short", "{a} {b} {c}",
                      {[] { return Locale_NewNumberVariable("a", 1e300, 2); },
                       [] { return Locale_NewNumberVariable("b", -HUGE_VAL, 2); },
                       [] { return Locale_NewNumberVariable("c", std::nan(""), 2); }},
                      "1e+300 -inf nan"}),
    [](const ::testing::TestParamInfo<ExpansionCase>& info) {
        std::string name;
        for (char c : std::string(info.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// The native build runs under AddressSanitizer: a variable destroyed twice
// fails at once, one never destroyed fails as a leak at exit.
TEST(LocaleLookup, EveryOwnedVariableIsDestroyedOnce) {
    LocaleStringTable table;
    table.Set("Key", "{a}");
    LocaleVariable* shared = Locale_NewStringVariable("a", "x");
    LocaleVariable* list[] = {shared, Locale_NewStringVariable("b", "y"), shared, nullptr};
    EXPECT_EQ(table.Expand("Key", list), "x");

    LocaleVariable* missing[] = {Locale_NewStringVariable("a", "x"), nullptr};
    EXPECT_EQ(table.Expand("Missing", missing), "**Missing");

    LocaleVariable kept;
    kept.owned = false;
    kept.name = "a";
    kept.text = "z";
    LocaleVariable* borrowed[] = {&kept, nullptr};
    EXPECT_EQ(table.Expand("Key", borrowed), "z");
    EXPECT_EQ(kept.text, "z");
}

TEST(LocaleLookup, ProgramTableCallsShareOneExpansion) {
    Locale_Strings().Set("LookupTestFile", "Cannot open {file_name}.");
    char* text = Locale_GetStringWithVariables(
        "LookupTestFile", Locale_NewStringVariable("file_name", "scan.tvn"), nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Cannot open scan.tvn.");
    std::free(text);

    std::string out;
    EXPECT_EQ(Locale_FormatStringWithText(out, "file_name", "a.tvn", "LookupTestFile"),
              "Cannot open a.tvn.");
    Locale_Strings().Set("LookupTestDist", "Moved {dist} mm, item {item_no}");
    EXPECT_EQ(Locale_FormatStringWithNumber(out, "dist", 2, "LookupTestDist", 3.14159),
              "Moved 3.14 mm, item {item_no}");
    EXPECT_EQ(Locale_FormatStringWithInt(out, "item_no", 12, "LookupTestDist"),
              "Moved {dist} mm, item 12");
    EXPECT_EQ(Locale_FormatString(out, "LookupTestDist", Locale_NewIntVariable("item_no", 3),
                                  Locale_NewNumberVariable("dist", 0.5, 1)),
              "Moved 0.5 mm, item 3");
    EXPECT_STREQ(Locale_GetString("LookupTestDist"), "Moved {dist} mm, item {item_no}");
}

}  // namespace
