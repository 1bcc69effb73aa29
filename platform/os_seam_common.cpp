#include "platform/os_seam.h"

#include <mutex>

namespace os {
namespace {
std::mutex g_randomMutex;
RandomSource g_randomSource;
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

}  // namespace os
