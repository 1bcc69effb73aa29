#include "app/ui/beep_coalescer.h"

bool BeepCoalescer::Take(uint32_t message) {
    if (message != kBeepRequestMessage) return false;
    pending_ = true;
    return true;
}

void BeepCoalescer::AfterMessage(bool inputQueued, const std::function<void()>& beep) {
    if (!pending_ || inputQueued) return;
    pending_ = false;
    beep();
}
