// The Scanner Limits Control rules: the smoothing entry of every stored
// length and back, and what counts as one number.
#include "app/ui/scanner_limits.h"

#include <gtest/gtest.h>

namespace {

TEST(ScannerLimits, SmoothingEntriesAndLengths) {
    struct Case {
        int32_t length, entry, stored;
    } cases[] = {
        {0, kSmoothingOff, 0},    {1, kSmoothingLow, 3},    {2, kSmoothingLow, 3},  {3, kSmoothingLow, 3},
        {4, kSmoothingMedium, 5}, {5, kSmoothingMedium, 5}, {6, kSmoothingHigh, 7}, {7, kSmoothingHigh, 7},
        {-1, kSmoothingHigh, 7},  {99, kSmoothingHigh, 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProfileSmoothing_FromLength(c.length), c.entry) << c.length;
        EXPECT_EQ(ProfileSmoothing_Length(ProfileSmoothing_FromLength(c.length)), c.stored) << c.length;
    }
    EXPECT_EQ(ProfileSmoothing_Length(-1), -1);
}

TEST(ScannerLimits, ExactlyOneNumber) {
    struct Case {
        const char* text;
        bool ok;
        float value;
    } cases[] = {
        {"750", true, 750.0f}, {"  0.5 ", true, 0.5f}, {"1e2", true, 100.0f}, {"", false, 0},
        {"abc", false, 0},     {"12 13", false, 0},    {"12mm", false, 0},    {"-", false, 0},
    };
    for (const Case& c : cases) {
        float v = -1.0f;
        EXPECT_EQ(ScannerLimits_ParseNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
    float v = 0;
    EXPECT_FALSE(ScannerLimits_ParseNumber(nullptr, v));
}

}  // namespace
