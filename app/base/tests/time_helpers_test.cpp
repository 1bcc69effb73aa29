// Calendar conversion of the change-time stamps.
#include "app/base/time_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(TimeHelpers, CalendarTimeOfAStamp) {
    struct {
        double seconds;
        uint16_t y, mo, dow, d, h, mi, s, ms;
    } cases[] = {
        {0.0, 1970, 1, 4, 1, 0, 0, 0, 0},
        {951782400.25, 2000, 2, 2, 29, 0, 0, 0, 250},  // leap day, a Tuesday
        {1700000000.0, 2023, 11, 2, 14, 22, 13, 20, 0},
        {-1.0, 1969, 12, 3, 31, 23, 59, 59, 0},
        {-11644473600.0, 1601, 1, 1, 1, 0, 0, 0, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        CalendarTime t{};
        ASSERT_TRUE(Time_ToSystemTime(c.seconds, t));
        EXPECT_EQ(t.year, c.y);
        EXPECT_EQ(t.month, c.mo);
        EXPECT_EQ(t.dayOfWeek, c.dow);
        EXPECT_EQ(t.day, c.d);
        EXPECT_EQ(t.hour, c.h);
        EXPECT_EQ(t.minute, c.mi);
        EXPECT_EQ(t.second, c.s);
        EXPECT_EQ(t.milliseconds, c.ms);
    }
    CalendarTime t{};
    EXPECT_FALSE(Time_ToSystemTime(-11644473601.0, t));
    EXPECT_FALSE(Time_ToSystemTime(0.0 / 0.0, t));
}

}  // namespace
