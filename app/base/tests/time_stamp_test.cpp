#include "app/base/time_stamp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

// Calls far faster than the clock advances (within one microsecond, or one
// coarse system tick) still give stamps in the order of the calls.
TEST(TimeStamp, EveryStampIsLaterThanTheOneBefore) {
    std::vector<double> stamps(20000);
    for (double& stamp : stamps) Time_Now(stamp);
    for (std::size_t i = 1; i < stamps.size(); ++i) ASSERT_GT(stamps[i], stamps[i - 1]) << i;
}

TEST(TimeStamp, FollowsTheSystemClock) {
    using namespace std::chrono;
    const double before = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count() / 1e6;
    double stamp = 0.0;
    Time_Now(stamp);
    // Within a second of the clock (the stamps above ran at most 20000 µs ahead).
    EXPECT_GE(stamp, before);
    EXPECT_LT(stamp, before + 1.0);
}

}  // namespace
