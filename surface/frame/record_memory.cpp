#include "surface/frame/record_memory.h"

#include <cstdlib>
#include <limits>

namespace {

int32_t g_allocationsLeft = -1;
int64_t g_largestRequest = 0;

void Note(int64_t count, std::size_t size) {
    const double bytes = static_cast<double>(count) * static_cast<double>(size);
    if (bytes > static_cast<double>(g_largestRequest))
        g_largestRequest = bytes > 9.0e18 ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(bytes);
}

bool Fails() {
    if (g_allocationsLeft < 0) return false;
    if (g_allocationsLeft == 0) return true;
    --g_allocationsLeft;
    return false;
}

// The byte size of count items, or 0 when it is negative or overflows.
std::size_t Bytes(int64_t count, std::size_t size) {
    if (count < 0 || size == 0) return 0;
    if (static_cast<uint64_t>(count) > std::numeric_limits<std::size_t>::max() / size) return 0;
    const std::size_t bytes = static_cast<std::size_t>(count) * size;
    return bytes ? bytes : 1;
}

}  // namespace

void* Record_Alloc(int64_t count, std::size_t size) {
    Note(count, size);
    const std::size_t bytes = Bytes(count, size);
    if (bytes == 0 || Fails()) return nullptr;
    return std::malloc(bytes);
}

void* Record_Realloc(void* block, int64_t count, std::size_t size) {
    Note(count, size);
    const std::size_t bytes = Bytes(count, size);
    if (bytes == 0 || Fails()) return nullptr;
    return std::realloc(block, bytes);
}

void Record_Free(void* block) { std::free(block); }

void Record_FailAllocationsAfterForTesting(int32_t allowed) { g_allocationsLeft = allowed; }

int64_t Record_LargestRequestForTesting(bool reset) {
    const int64_t largest = g_largestRequest;
    if (reset) g_largestRequest = 0;
    return largest;
}
