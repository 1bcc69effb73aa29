#include "app/ui/ui_utilities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(UiUtilities, ParseFloatsNeedsExactlyTheCount) {
    struct {
        const char* text;
        int n;
        bool ok;
    } cases[] = {
        {"1 2", 3, false}, {"1 2 3", 3, true},   {"1 2 3 4", 3, false}, {"1.5", 1, true},        {"", 1, false},
        {"x 2", 1, false}, {"1 2 3 4", 4, true}, {"1", 0, false},       {"1 2 3 4 5", 5, false}, {"  -1e2\t7", 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float out[4] = {9, 9, 9, 9};
        EXPECT_EQ(Str_ParseFloats(c.text, c.n, out), c.ok);
        if (!c.ok) {
            EXPECT_EQ(out[0], 9.0f);  // nothing written on failure
        }
    }
    float out[2];
    ASSERT_TRUE(Str_ParseFloats("  -1e2\t7", 2, out));
    EXPECT_EQ(out[0], -100.0f);
    EXPECT_EQ(out[1], 7.0f);
}

ValueLimits Limits(float lo, float hi, bool hasLo, bool hasHi, bool negatives, bool zero) {
    ValueLimits l;
    l.minimum = lo, l.maximum = hi, l.hasMinimum = hasLo, l.hasMaximum = hasHi;
    l.negativesAllowed = negatives, l.zeroAllowed = zero;
    return l;
}

TEST(UiUtilities, ClampAppliesTheMinimumBeforeTheZeroTest) {
    struct {
        const char* name;
        ValueLimits limits;
        float x, fallback, expected;
    } cases[] = {
        {"zero with minimum 1, zero refused", Limits(1, 0, true, false, true, false), 0, 7, 1},
        {"below minimum", Limits(2, 9, true, true, true, true), 1, 7, 2},
        {"above maximum", Limits(2, 9, true, true, true, true), 10, 7, 9},
        {"inactive limits", Limits(2, 9, false, false, true, true), 10, 7, 10},
        {"negative refused becomes 0", Limits(0, 0, false, false, false, true), -3, 7, 0},
        {"negative refused, zero refused", Limits(0, 0, false, false, false, false), -3, 7, 7},
        {"zero refused", Limits(0, 0, false, false, true, false), 0, 7, 7},
        {"negative allowed", Limits(0, 0, false, false, true, true), -3, 7, -3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Value_Clamp(c.limits, c.x, c.fallback), c.expected);
    }
}

TEST(UiUtilities, ReformatKeepsTheOldValueForTextThatIsNotANumber) {
    const ValueLimits any = Limits(0, 0, false, false, true, true);
    const ValueLimits distance = Limits(0.5f, 100, true, true, false, false);
    struct {
        const char* text;
        ValueLimits limits;
        float old, value;
        const char* shown;
    } cases[] = {
        {"abc", any, 12.5f, 12.5f, "12.50"},
        {"  3.25 ", any, 1, 3.25f, "3.25"},
        {"3.25x", any, 1, 1, "1.00"},
        {"", any, 4, 4, "4.00"},
        {"   ", any, 4, 4, "4.00"},
        {"0", distance, 4, 0.5f, "0.50"},
        {"500", distance, 4, 100, "100.00"},
        {"-2", Limits(0, 0, false, false, false, false), 4, 4, "4.00"},
        {"-2", Limits(0, 0, false, false, false, true), 4, 0, "0.00"},
        {"0", Limits(0, 0, false, false, true, false), 4, 4, "4.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string shown;
        EXPECT_EQ(Number_Reformat(c.text, c.old, c.limits, "%.2f", shown), c.value);
        EXPECT_EQ(shown, c.shown);
    }
}

// What no number field takes: the old value stays, as for a typed letter.
const char* const kNotNumbers[] = {"nan", "inf", "-inf", "1e39", "-1e39", "NAN(1)", "infinity", ""};

TEST(UiUtilities, NoFieldTakesANumberThatIsNotFinite) {
    const ValueLimits limits[] = {Limits(0, 0, false, false, true, true), Limits(0.5f, 100, true, true, false, false),
                                  Limits(0, 0, false, false, false, false)};
    for (const char* text : kNotNumbers) {
        SCOPED_TRACE(text);
        float parsed = 7;
        EXPECT_FALSE(Number_Parse(text, parsed));
        EXPECT_EQ(parsed, 7.0f);
        float three[3] = {9, 9, 9};
        EXPECT_FALSE(Str_ParseFloats((std::string("1 ") + text + " 2").c_str(), 3, three));
        EXPECT_EQ(three[0], 9.0f);
        for (const ValueLimits& l : limits) {
            std::string shown;
            EXPECT_EQ(Number_Reformat(text, 4.5f, l, "%.2f", shown), 4.5f);
            EXPECT_EQ(shown, "4.50");
        }
    }
    // A value too small for a float is 0, and meets the zero rule as 0.
    std::string shown;
    EXPECT_EQ(Number_Reformat("1e-50", 4.5f, Limits(0, 0, false, false, true, false), "%.2f", shown), 4.5f);
    EXPECT_EQ(Number_Reformat("1e-50", 4.5f, Limits(0, 0, false, false, true, true), "%.2f", shown), 0.0f);
    EXPECT_EQ(Number_Reformat("3.4e38", 4.5f, Limits(0, 0, false, false, true, true), "%.2f", shown), 3.4e38f);
}

TEST(UiUtilities, ReplaceFileNameKeepsDriveAndFolder) {
    struct {
        const char* target;
        const char* source;
        const char* expected;
    } cases[] = {
        {"C:\\Scans\\old.tvn", "D:\\Other\\new.krv", "C:\\Scans\\new.krv"},
        {"C:\\Scans\\old.tvn", "new.tvn", "C:\\Scans\\new.tvn"},
        {"old.tvn", "D:\\Other\\new.tvn", "new.tvn"},
        {"C:old.tvn", "x/y/new", "C:new"},
        {"C:\\Scans\\", "a.b", "C:\\Scans\\a.b"},
    };
    for (const auto& c : cases) EXPECT_EQ(Path_ReplaceFileName(c.target, c.source), c.expected) << c.target;
}

TEST(UiUtilities, LayoutFlagsMoveOrStretchTheEdges) {
    const LayoutRect r = {10, 20, 110, 220};
    struct {
        uint32_t flags;
        LayoutRect expected;
    } cases[] = {
        {0, {10, 20, 110, 220}},
        {kLayoutFollowX, {15, 20, 115, 220}},
        {kLayoutFollowX | kLayoutStretchX, {10, 20, 115, 220}},
        {kLayoutStretchX, {10, 20, 110, 220}},  // stretch alone moves nothing
        {kLayoutFollowY, {10, 27, 110, 227}},
        {kLayoutFollowY | kLayoutStretchY, {10, 20, 110, 227}},
        {kLayoutFollowX | kLayoutStretchX | kLayoutFollowY | kLayoutStretchY, {10, 20, 115, 227}},
    };
    for (const auto& c : cases) {
        const LayoutRect m = Layout_MoveRect(r, c.flags, 5, 7);
        EXPECT_EQ(m.left, c.expected.left) << c.flags;
        EXPECT_EQ(m.top, c.expected.top) << c.flags;
        EXPECT_EQ(m.right, c.expected.right) << c.flags;
        EXPECT_EQ(m.bottom, c.expected.bottom) << c.flags;
    }
}

int ByKey(const void* a, const void* b, void* context) {
    ++*static_cast<int*>(context);
    const uint32_t x = *static_cast<const uint32_t*>(a) >> 16, y = *static_cast<const uint32_t*>(b) >> 16;
    return x < y ? -1 : x > y ? 1 : 0;
}

TEST(UiUtilities, SortMatchesStdSortWithFewDistinctKeys) {
    std::mt19937 random(18);
    for (int count : {0, 1, 2, 3, 4, 5, 7, 16, 100, 1000, 5000}) {
        for (int distinct : {1, 2, 3, 10}) {
            std::vector<uint32_t> v(count);
            // Key in the high half, a unique tag in the low half.
            for (int i = 0; i < count; ++i) v[i] = (static_cast<uint32_t>(random() % distinct) << 16) | i;
            std::vector<uint32_t> expected = v;
            int calls = 0;
            Sort_WithCallback(count, v.data(), ByKey, &calls);
            std::sort(expected.begin(), expected.end(), [](uint32_t a, uint32_t b) { return (a >> 16) < (b >> 16); });
            for (int i = 0; i < count; ++i) ASSERT_EQ(v[i] >> 16, expected[i] >> 16) << count << " " << distinct;
            std::vector<uint32_t> tags(count), all(count);
            for (int i = 0; i < count; ++i) tags[i] = v[i] & 0xFFFF, all[i] = i;
            std::sort(tags.begin(), tags.end());
            EXPECT_EQ(tags, all);  // a permutation of the input
            // Equal keys must not make the partition quadratic.
            if (count == 5000) {
                EXPECT_LT(calls, 400000);
            }
        }
    }
}

TEST(UiUtilities, ByteSizeTexts) {
    struct {
        int64_t value;
        const char* text;
        bool ok;
    } cases[] = {
        {12345, "12k3", true},          {999, "999 ", true},          {5, "5 ", true},
        {1000, "1k00", true},           {100000, "100k", true},       {1234567, "1M23", true},
        {123456789012LL, "123G", true}, {1234567890123LL, "", false}, {0, "0 ", true},
    };
    for (const auto& c : cases) {
        std::string out = "junk";
        EXPECT_EQ(Text_FormatByteSize(c.value, out), c.ok) << c.value;
        EXPECT_EQ(out, c.text) << c.value;
    }
}

TEST(UiUtilities, SettingsSaveLiftsClippingAndRestorePutsEveryWordBack) {
    auto settings = std::make_unique<GeneralSettings>();
    std::memset(settings.get(), 0, sizeof(GeneralSettings));
    // A restore with nothing saved changes nothing.
    settings->RangeClip = 321;
    GeneralSettings_SaveOrRestore(*settings, true);
    EXPECT_EQ(settings->RangeClip, 321.0f);

    settings->AngleClip = 45;
    settings->RawResolutionClip[0] = 0.2f;
    settings->RawResolutionClip[1] = 3;
    settings->Movement = 2;
    auto before = std::make_unique<GeneralSettings>(*settings);
    GeneralSettings_SaveOrRestore(*settings, false);
    EXPECT_EQ(settings->RangeClip, 50000.0f);
    EXPECT_EQ(settings->AngleClip, 60.0f);
    EXPECT_EQ(settings->RawResolutionClip[0], 0.0f);
    EXPECT_EQ(settings->RawResolutionClip[1], 100.0f);
    EXPECT_EQ(settings->Movement, 2);
    settings->Movement = 3;
    GeneralSettings_SaveOrRestore(*settings, true);
    EXPECT_EQ(std::memcmp(settings.get(), before.get(), sizeof(GeneralSettings)), 0);
}

}  // namespace
