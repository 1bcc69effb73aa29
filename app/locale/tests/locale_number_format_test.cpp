// The displayed form of numbers. The same table runs natively (the built-in
// formatter) and under Windows (the system's formatter): both must agree.
#include "app/locale/locale_number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>

namespace {

struct NumberCase {
    double value;
    unsigned decimals;
    const char* expected;  // nullptr: refused (0 returned, empty text)
};

class NumberFormatTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberFormatTest, FormatsLikeTheSystem) {
    const NumberCase& c = GetParam();
    char out[70];
    int written = Locale_FormatNumber(c.decimals, out, sizeof out, c.value);
    if (!c.expected) {
        EXPECT_EQ(written, 0);
        EXPECT_STREQ(out, "");
        return;
    }
    EXPECT_STREQ(out, c.expected);
    EXPECT_EQ(written, static_cast<int>(std::string(c.expected).size() + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, NumberFormatTest,
    ::testing::Values(NumberCase{1234.5678, 2, "1,234.57"}, NumberCase{-1234.5678, 2, "-1,234.57"},
                      NumberCase{1234.56, 1, "1,234.6"}, NumberCase{1234.56, 8, "1,234.56000000"},
                      NumberCase{0.0, 2, "0.00"}, NumberCase{0.0, 0, "0"},
                      NumberCase{-0.0, 1, "0.0"}, NumberCase{-0.001, 2, "0.00"},
                      NumberCase{0.5, 0, "1"}, NumberCase{-2.5, 0, "-3"},
                      NumberCase{0.125, 2, "0.13"}, NumberCase{0.004999, 3, "0.005"},
                      // Six decimals first, then the requested ones: the value
                      // is rounded twice.
                      NumberCase{1.23456749, 6, "1.234567"},
                      NumberCase{1.0000004999, 9, "1.000000000"},
                      NumberCase{999.995, 2, "1,000.00"}, NumberCase{-999999.5, 0, "-1,000,000"},
                      NumberCase{123.0, 0, "123"}, NumberCase{1000.0, 0, "1,000"},
                      NumberCase{1e15, 0, "1,000,000,000,000,000"},
                      // Too long for the 70 bytes, or no number at all.
                      NumberCase{1e50, 2, nullptr}, NumberCase{DBL_MAX, 2, nullptr},
                      NumberCase{HUGE_VAL, 2, nullptr}, NumberCase{-HUGE_VAL, 0, nullptr},
                      NumberCase{NAN, 2, nullptr}, NumberCase{1.0, 100, nullptr},
                      NumberCase{1.0, UINT_MAX, nullptr}));

struct IntegerCase {
    int value;
    const char* expected;
};

class IntegerFormatTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerFormatTest, GroupsThousands) {
    char out[70];
    int written = Locale_FormatInteger(GetParam().value, out, sizeof out);
    EXPECT_STREQ(out, GetParam().expected);
    EXPECT_EQ(written, static_cast<int>(std::string(GetParam().expected).size() + 1));
}

INSTANTIATE_TEST_SUITE_P(Integers, IntegerFormatTest,
                         ::testing::Values(IntegerCase{0, "0"}, IntegerCase{-5, "-5"},
                                           IntegerCase{999, "999"}, IntegerCase{1000, "1,000"},
                                           IntegerCase{1234567, "1,234,567"},
                                           IntegerCase{-1234567, "-1,234,567"},
                                           IntegerCase{INT_MAX, "2,147,483,647"},
                                           IntegerCase{INT_MIN, "-2,147,483,648"}));

TEST(NumberFormat, BufferMustHoldTheWholeText) {
    char out[9];
    EXPECT_EQ(Locale_FormatNumber(2, out, 9, 1234.5678), 9);
    EXPECT_STREQ(out, "1,234.57");
    EXPECT_EQ(Locale_FormatNumber(2, out, 8, 1234.5678), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(Locale_FormatInteger(1234567, out, 9), 0);
    EXPECT_EQ(Locale_FormatNumber(2, out, 0, 1.0), 0);
    EXPECT_EQ(Locale_FormatNumber(2, nullptr, 9, 1.0), 0);
}

TEST(NumberFormat, IsUsEnglish) {
    LocaleNumberFormat format = Locale_CopyNumberFormat();
    EXPECT_EQ(format.leadingZero, 1u);
    EXPECT_EQ(format.grouping, 3u);
    EXPECT_STREQ(format.decimalSep, ".");
    EXPECT_STREQ(format.thousandSep, ",");
    EXPECT_EQ(format.negativeOrder, 1u);
}

}  // namespace
