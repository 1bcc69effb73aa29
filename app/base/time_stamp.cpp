#include "app/base/time_stamp.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace {

// The last stamp given, in whole microseconds since 1970.
std::atomic<std::int64_t> g_lastStamp{0};

}  // namespace

// Stamps order the program's changes (a surface against the scan it was
// built from, a save against the edits before it), so two changes must never
// share one: the system clock of Windows 2000 and XP advances in steps of
// 10 to 16 ms, and even a fine clock gives one value to calls in the same
// microsecond. Each stamp is therefore the clock's time or, when that is not
// later than the stamp before it, one microsecond after that one.
void Time_Now(double& out) {
    using namespace std::chrono;
    const std::int64_t clock = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    std::int64_t last = g_lastStamp.load();
    std::int64_t stamp = clock > last ? clock : last + 1;
    while (!g_lastStamp.compare_exchange_weak(last, stamp)) stamp = clock > last ? clock : last + 1;
    out = static_cast<double>(stamp) / 1e6;
}
