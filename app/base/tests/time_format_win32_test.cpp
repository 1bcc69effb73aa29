// The local date and time text of a stamp, in the user's formats.
#include "app/base/time_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(TimeFormatWin32, LocalTimeText) {
    char buffer[1024];
    const int n = Time_FormatLocal(1700000000.0, buffer);
    ASSERT_GT(n, 0);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(buffer) + 1);
    EXPECT_NE(std::string(buffer).find("2023"), std::string::npos);
    EXPECT_NE(std::strchr(buffer, ' '), nullptr);
    EXPECT_EQ(Time_FormatLocal(1.0e300, buffer), 0);
}

}  // namespace
