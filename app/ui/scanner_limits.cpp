#include "app/ui/scanner_limits.h"
#include "app/ui/ui_utilities.h"

#include <cstdio>

namespace {
bool g_offOffered = false;
}

int32_t ProfileSmoothing_FromLength(int32_t length) {
    if (length == 0) return kSmoothingOff;
    if (length >= 1 && length <= 3) return kSmoothingLow;
    if (length == 4 || length == 5) return kSmoothingMedium;
    return kSmoothingHigh;
}

int32_t ProfileSmoothing_Length(int32_t entry) {
    switch (entry) {
        case kSmoothingHigh:
            return 7;
        case kSmoothingMedium:
            return 5;
        case kSmoothingLow:
            return 3;
        case kSmoothingOff:
            return 0;
    }
    return -1;
}

bool ScannerLimits_ParseNumber(const char* text, float& value) {
    return Number_Parse(text, value);
}

void ScannerLimits_SetOffOffered(bool offered) { g_offOffered = offered; }
bool ScannerLimits_OffOffered() { return g_offOffered; }
