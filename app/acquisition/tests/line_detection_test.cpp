#include "app/acquisition/line_detection.h"

#include "acquisition_test_support.h"

using namespace acquisition_test;

namespace {

class LineDetection : public AcquisitionFixture {};

TEST_F(LineDetection, RejectionsByCause) {
    struct Case {
        std::int32_t rise, fall;
        bool ok;
        HardwareStatisticWord counted;  // Stat_RingOverruns: nothing counted
    } cases[] = {
        {0, 0, false, Stat_RingOverruns},  {30, 20, false, Stat_RiseAboveFall}, {20, 0, false, Stat_RiseAboveFall},
        {0, 20, false, Stat_RiseZero},     {100, 104, false, Stat_WidthBelowMin}, {100, 105, true, Stat_RingOverruns},
        {100, 150, true, Stat_RingOverruns}, {100, 151, false, Stat_WidthAboveMax},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rise << ", " << c.fall);
        ZeroHardwareStatistics();
        EXPECT_EQ(LaserLineWidthOk(c.rise, c.fall), c.ok);
        HardwareStatistics stats;
        GetHardwareStatistics(stats);
        const std::int32_t* words = reinterpret_cast<const std::int32_t*>(&stats);
        for (int w = Stat_WidthAboveMax; w <= Stat_FallZero; ++w) EXPECT_EQ(words[w], w == c.counted ? 1 : 0) << w;
    }
}

TEST_F(LineDetection, LimitsFollowTheSetting) {
    SetHardwareParamPair(2, 3);
    EXPECT_TRUE(LaserLineWidthOk(10, 12));
    EXPECT_FALSE(LaserLineWidthOk(10, 14));
    EXPECT_FALSE(LaserLineWidthOk(10, 11));
}

}  // namespace
