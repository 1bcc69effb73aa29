#include "app/ui/beep_coalescer.h"
#include "app/ui/key_filter.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kKeyDown = 0x100, kKeyUp = 0x101, kChar = 0x102, kSysKeyDown = 0x104, kSysKeyUp = 0x105,
                   kTimer = 0x113;

TEST(KeyFilter, MessageKindsAndEditions) {
    struct { uint32_t message; uintptr_t wParam; bool tarrel, pemmler, takes; } cases[] = {
        {kKeyDown, 120, false, true, true},      // F9
        {kSysKeyDown, 121, false, true, true},   // F10 is a system key
        {kKeyDown, 121, false, true, true},
        {kKeyUp, 120, false, true, false},       // releases pass on
        {kSysKeyUp, 121, false, true, false},
        {kChar, 'x', false, true, false},        // a typed x is 120
        {kChar, 'y', false, true, false},
        {kTimer, 120, false, true, false},       // a timer with id 120
        {kKeyDown, 119, false, true, false},     // F8
        {kKeyDown, 120, true, true, false},      // Tarrel as well: accelerators get it
        {kKeyDown, 120, false, false, false},    // standard edition
    };
    for (auto& c : cases)
        EXPECT_EQ(App_KeyFilterTakes(c.message, c.wParam, c.tarrel, c.pemmler), c.takes)
            << std::hex << c.message << " " << std::dec << c.wParam;
}

TEST(BeepCoalescer, RequestsBecomeOneBeepOnceTheInputStops) {
    BeepCoalescer loop;
    int beeps = 0;
    auto beep = [&] { ++beeps; };
    // Ten requests while the user drags the mouse: input stays queued.
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(loop.Take(kBeepRequestMessage));
        loop.AfterMessage(true, beep);
        EXPECT_FALSE(loop.Take(0x200));  // a mouse move passes
        loop.AfterMessage(true, beep);
    }
    EXPECT_EQ(beeps, 0);
    loop.AfterMessage(false, beep);
    EXPECT_EQ(beeps, 1);
    loop.AfterMessage(false, beep);
    EXPECT_EQ(beeps, 1);  // nothing pending any more
    EXPECT_TRUE(loop.Take(kBeepRequestMessage));
    loop.AfterMessage(false, beep);
    EXPECT_EQ(beeps, 2);
}

}  // namespace
