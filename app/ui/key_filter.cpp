#include "app/ui/key_filter.h"

namespace {

constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmSysKeyDown = 0x0104;
constexpr uintptr_t kVkF9 = 120;
constexpr uintptr_t kVkF10 = 121;

}  // namespace

bool App_KeyFilterTakes(uint32_t message, uintptr_t wParam, bool tarrel, bool pemmler) {
    if (tarrel || !pemmler) return false;
    if (message != kWmKeyDown && message != kWmSysKeyDown) return false;
    return wParam == kVkF9 || wParam == kVkF10;
}
