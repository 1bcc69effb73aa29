#include "app/scanfile/scan_file_memory.h"

#include <cstdlib>

namespace {

int32_t g_failAt = 0;  // allocations left before the one that fails; 0 off
int32_t g_made = 0;

bool FailThisOne() {
    ++g_made;
    if (g_failAt <= 0) return false;
    return --g_failAt == 0;
}

}  // namespace

void* ScanFile_Malloc(std::size_t bytes) {
    if (FailThisOne()) return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* ScanFile_Realloc(void* old, std::size_t bytes) {
    if (FailThisOne()) return nullptr;
    return std::realloc(old, bytes == 0 ? 1 : bytes);
}

int32_t ScanFile_FailAllocationForTesting(int32_t n) {
    const int32_t made = g_made;
    g_made = 0;
    g_failAt = n > 0 ? n : 0;
    return made;
}
