#include "app/acquisition/hardware_online_time.h"

#include <atomic>

namespace {

std::atomic<std::int64_t> g_onlineTime{0};

}  // namespace

void SetHardwareOnlineTime(std::int64_t seconds) { g_onlineTime.store(seconds); }
std::int64_t GetHardwareOnlineTime() { return g_onlineTime.load(); }
