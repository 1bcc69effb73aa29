#include <atomic>

#include "app/acquisition/acquisition_seams.h"

namespace {

std::atomic<HardwarePlatform*> g_testPlatform{nullptr};

}  // namespace

HardwarePlatform& CurrentHardwarePlatform() {
    HardwarePlatform* platform = g_testPlatform.load();
    return platform ? *platform : SystemHardwarePlatform();
}

void SetHardwarePlatformForTesting(HardwarePlatform* platform) { g_testPlatform.store(platform); }
