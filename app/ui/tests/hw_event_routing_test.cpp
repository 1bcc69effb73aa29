#include "app/ui/hw_event_routing.h"

#include <gtest/gtest.h>

namespace {

constexpr WindowId kMain = 0x100, kTool = 0x200, kOther = 0x300, kHemisphere = 0x400;

// The message of each code, and whether the code follows the claimed slots.
struct Route {
    uint32_t message;
    bool fieldEvent;
};
const Route kRoutes[13] = {
    {0x8000, true},  {0x8001, true},  {0x8002, true},  {0x8003, false}, {0x8004, false},
    {0x8005, false}, {0x8006, false}, {0x8007, false}, {0x8008, false}, {0x800B, false},
    {0x8009, false}, {0x800A, false}, {0x800C, false},
};

void ExpectRoutes(WindowId fieldTarget) {
    for (int32_t code = 0; code <= 12; ++code) {
        SCOPED_TRACE(code);
        WindowId window = 0;
        uint32_t message = 0;
        ASSERT_TRUE(HwEvent_Route(code, kMain, window, message));
        EXPECT_EQ(message, kRoutes[code].message);
        EXPECT_EQ(window, kRoutes[code].fieldEvent ? fieldTarget : kMain);
    }
    WindowId window = 0;
    uint32_t message = 0;
    EXPECT_FALSE(HwEvent_Route(13, kMain, window, message));
    EXPECT_FALSE(HwEvent_Route(-1, kMain, window, message));
}

TEST(HwEventRouting, CodesWithAndWithoutClaimedSlots) {
    ExpectRoutes(kMain);
    ASSERT_TRUE(HwEventTarget_Claim(kTool));
    ExpectRoutes(kTool);
    ASSERT_TRUE(HwEventTarget_ClaimPriority(kHemisphere));
    ExpectRoutes(kHemisphere);  // the set-up window only, over the wizard
    EXPECT_TRUE(HwEventTarget_ReleasePriority(kHemisphere));
    ExpectRoutes(kTool);
    EXPECT_TRUE(HwEventTarget_Release(kTool));
    ExpectRoutes(kMain);
}

TEST(HwEventRouting, ClaimTwice) {
    EXPECT_TRUE(HwEventTarget_Claim(kTool));
    EXPECT_TRUE(HwEventTarget_Claim(kTool));    // the same window again
    EXPECT_FALSE(HwEventTarget_Claim(kOther));  // another window: refused
    EXPECT_FALSE(HwEventTarget_Release(kOther));  // not the holder: the slot stays held
    EXPECT_TRUE(HwEventTarget_Release(kTool));
    EXPECT_TRUE(HwEventTarget_Claim(kOther));   // free again
    EXPECT_TRUE(HwEventTarget_Release(kOther));
    EXPECT_TRUE(HwEventTarget_Release(kOther));  // releasing an empty slot leaves it empty

    EXPECT_TRUE(HwEventTarget_ClaimPriority(kHemisphere));
    EXPECT_FALSE(HwEventTarget_ClaimPriority(kOther));
    EXPECT_TRUE(HwEventTarget_Claim(kOther));  // the two slots are separate
    EXPECT_TRUE(HwEventTarget_ReleasePriority(kHemisphere));
    EXPECT_TRUE(HwEventTarget_Release(kOther));
}

TEST(HwEventRouting, OnlineStateNames) {
    EXPECT_STREQ(HwOnlineStateName(0), "Hardware_OFFLINE");
    EXPECT_STREQ(HwOnlineStateName(1), "Hardware_INITIALISING");
    EXPECT_STREQ(HwOnlineStateName(2), "Hardware_ONLINE");
}

}  // namespace
