// The toolbars' tables and window-less rules.
#include "app/ui/toolbar_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(ToolbarRules, TheIconSizeSettingGivesItsPixelsAndAnythingElseBecomesZero) {
    const struct {
        int32_t setting, pixels, stored;
    } cases[] = {{0, 48, 0}, {1, 36, 1}, {2, 24, 2}, {5, 48, 0}, {-1, 48, 0}, {3, 48, 0}};
    for (const auto& c : cases) {
        int32_t setting = c.setting;
        EXPECT_EQ(Toolbar_IconPixels(setting), c.pixels) << c.setting;
        EXPECT_EQ(setting, c.stored) << c.setting;
    }
}

// A row table of the given kinds: 'b' a button, '|' a separator.
std::vector<ToolbarButtonRow> Rows(const char* kinds) {
    std::vector<ToolbarButtonRow> rows;
    for (const char* k = kinds; *k; ++k)
        rows.push_back({0, *k == '|' ? 0 : 40000 + static_cast<int>(rows.size()),
                        *k == '|' ? ToolStyle::Separator : ToolStyle::Button, nullptr, false});
    return rows;
}

TEST(ToolbarRules, SeparatorsShowOnlyBetweenTwoVisibleButtons) {
    const struct {
        const char* kinds;
        const char* buttonsShown;  // per row: '1' shown (separators ignored)
        const char* expected;
    } cases[] = {
        {"bb|bb", "11111", "11111"},
        {"|bb", "111", "011"},        // never first
        {"bb|", "111", "110"},        // never last
        {"b||b", "1111", "1101"},     // never two in a row
        {"b|b|b", "11110", "11100"},  // a separator after the last visible button goes
        {"b|b|b", "10001", "11001"},  // hidden buttons between: one separator stays
        {"b|bb|b", "100001", "110001"},
        {"bb|b|b", "111000", "110000"},  // with the buttons after it hidden, the separator goes too
        {"bb|b|", "11111", "11110"},
        {"b|b", "000", "000"},
    };
    for (const auto& c : cases) {
        const std::vector<ToolbarButtonRow> rows = Rows(c.kinds);
        std::vector<bool> shown;
        for (const char* s = c.buttonsShown; *s; ++s) shown.push_back(*s == '1');
        const std::vector<bool> visible = Toolbar_VisibleRows(rows.data(), rows.size(), shown);
        std::string got;
        for (bool v : visible) got += v ? '1' : '0';
        EXPECT_EQ(got, c.expected) << c.kinds << " " << c.buttonsShown;
    }
}

TEST(ToolbarRules, TheTablesUseEachArtImageOnceAndBreakTheLargeToolbarAfterHelp) {
    std::set<int> images;
    int breaks = 0;
    for (const ToolbarButtonRow& row : kLargeToolbar) {
        if (row.style == ToolStyle::Separator) continue;
        EXPECT_TRUE(images.insert(row.image).second) << row.image;
        EXPECT_LT(row.image, kLargeArtImages);
        if (row.lineBreak) {
            ++breaks;
            EXPECT_EQ(row.command, 40023);
        }
    }
    EXPECT_EQ(images.size(), static_cast<size_t>(kLargeArtImages));
    EXPECT_EQ(breaks, 1);
    int separators = 0;
    for (const ToolbarButtonRow& row : kSmallToolbar) separators += row.style == ToolStyle::Separator;
    EXPECT_EQ(separators, 6);
}

TEST(ToolbarRules, TheGradientEndsEightyPercentOfTheWayToWhite) {
    EXPECT_EQ(Toolbar_GradientEnd(0x000000), 0xCCCCCCu);
    EXPECT_EQ(Toolbar_GradientEnd(0xFFFFFF), 0xFFFFFFu);
    EXPECT_EQ(Toolbar_GradientEnd(0xC0C0C0), 0xF2F2F2u);
    EXPECT_EQ(Toolbar_GradientEnd(0x0000FF), 0xCCCCFFu);
}

}  // namespace
