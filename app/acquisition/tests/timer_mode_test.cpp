// Timer mode's bursts and pauses over scripted ticks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/acquisition/timer_mode.h"

namespace {

// Which fields of a press at the given ticks are used ('u') or dropped ('d').
std::string Press(TimerModeState& timer, const TimerSettings& settings, uint32_t start, uint32_t step, int fields) {
    std::string used;
    for (int i = 0; i < fields; ++i) used += TimerMode_Tick(timer, settings, start + step * i) ? 'd' : 'u';
    return used;
}

TEST(TimerMode, BurstsAndPauses) {
    struct Case {
        const char* name;
        TimerSettings settings;
        uint32_t start;
        std::string used;  // fields 20 ms apart
    };
    const TimerSettings tenFields{10, 200, 0};
    const std::vector<Case> cases = {
        // 11 fields used, dropped until 200 ms after field 11, then 11 again.
        {"ten fields, no first pause", tenFields, 1000,
         "uuuuuuuuuuu"
         "ddddddddd"
         "uuuuuuuuuuu"
         "d"},
        {"first pause",
         {3, 100, 60},
         0,
         "ddd"
         "uuuu"
         "dddd"
         "uuuu"
         "d"},
        {"across the counter's wrap", tenFields, 0xFFFFFF00u,
         "uuuuuuuuuuu"
         "ddddddddd"
         "uuuuuuuuuuu"
         "d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TimerModeState timer;
        ASSERT_TRUE(TimerMode_Start(timer, c.settings));
        EXPECT_EQ(Press(timer, c.settings, c.start, 20, static_cast<int>(c.used.size())), c.used);
    }
}

TEST(TimerMode, SpecExampleWithTwoSecondPause) {
    const TimerSettings settings{10, 2000, 0};
    TimerModeState timer;
    ASSERT_TRUE(TimerMode_Start(timer, settings));
    std::string used = Press(timer, settings, 0, 100, 11);
    EXPECT_EQ(used, std::string(11, 'u'));
    // Field 11 came at 1000 ms: dropped until 3000 ms.
    EXPECT_TRUE(TimerMode_Tick(timer, settings, 2999));
    EXPECT_FALSE(TimerMode_Tick(timer, settings, 3000));
    EXPECT_EQ(TimerMode_Text(timer, settings), "Capturing, 0%");
}

TEST(TimerMode, EndOfPressReArmsAndFirstPauseComesAgain) {
    const TimerSettings settings{4, 1000, 500};
    TimerModeState timer;
    ASSERT_TRUE(TimerMode_Start(timer, settings));
    EXPECT_EQ(Press(timer, settings, 0, 100, 8),
              "ddddd"
              "uuu");
    TimerMode_Stop(timer);
    EXPECT_EQ(timer.state, kTimerWaiting);
    EXPECT_EQ(TimerMode_Text(timer, settings), "Waiting for trigger");
    EXPECT_EQ(Press(timer, settings, 10000, 100, 7),
              "ddddd"
              "uu");
}

TEST(TimerMode, StartNeedsFieldsAndPauseAndStopLeavesOffAlone) {
    for (const TimerSettings& s : {TimerSettings{0, 1000, 0}, TimerSettings{5, 0, 0}}) {
        TimerModeState timer;
        EXPECT_FALSE(TimerMode_Start(timer, s));
        EXPECT_EQ(timer.state, kTimerOff);
        EXPECT_FALSE(TimerMode_Tick(timer, s, 10));
        TimerMode_Stop(timer);
        EXPECT_EQ(timer.state, kTimerOff);
        EXPECT_EQ(TimerMode_Text(timer, s), "Off");
    }
}

TEST(TimerMode, PanelTexts) {
    const TimerSettings settings{4, 2500, 0};
    TimerModeState timer;
    TimerMode_Start(timer, settings);
    Press(timer, settings, 0, 10, 3);
    EXPECT_EQ(TimerMode_Text(timer, settings), "Capturing, 50%");
    Press(timer, settings, 30, 10, 2);
    EXPECT_EQ(TimerMode_Text(timer, settings), "Sleeping, 3 seconds");
    TimerMode_Tick(timer, settings, 40 + 2000);
    EXPECT_EQ(TimerMode_Text(timer, settings), "Sleeping, 1 seconds");
}

}  // namespace
