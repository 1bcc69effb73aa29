#include "app/base/time_stamp.h"

#include <chrono>

void Time_Now(double& out) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    out = static_cast<double>(sinceEpoch.count()) / 1e6;
}
