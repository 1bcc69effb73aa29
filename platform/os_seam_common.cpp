#include "platform/os_seam.h"

#include <ctime>
#include <mutex>

namespace os {
namespace {
std::mutex g_randomMutex;
RandomSource g_randomSource;
std::mutex g_clockMutex;
bool g_fixedTimeSet = false;
std::tm g_fixedTime{};
}  // namespace

bool SystemRandomBytes(void* out, std::size_t count);  // in the platform side

void SetRandomSourceForTesting(RandomSource source) {
    std::lock_guard<std::mutex> lock(g_randomMutex);
    g_randomSource = std::move(source);
}

bool RandomBytes(void* out, std::size_t count) {
    {
        std::lock_guard<std::mutex> lock(g_randomMutex);
        if (g_randomSource) return g_randomSource(out, count);
    }
    return SystemRandomBytes(out, count);
}

void SetLocalTimeForTesting(const std::tm* fixed) {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    g_fixedTimeSet = fixed != nullptr;
    if (fixed) g_fixedTime = *fixed;
}

bool LocalTimeNow(std::tm& out) {
    {
        std::lock_guard<std::mutex> lock(g_clockMutex);
        if (g_fixedTimeSet) {
            out = g_fixedTime;
            return true;
        }
    }
    const std::time_t now = static_cast<std::time_t>(WallClockSeconds());
#ifdef _WIN32
    return localtime_s(&out, &now) == 0;
#else
    return localtime_r(&now, &out) != nullptr;
#endif
}

}  // namespace os
