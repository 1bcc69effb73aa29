#include "app/acquisition/field_ring.h"

#include <atomic>

namespace {

std::atomic<std::uint16_t*> g_buffer{nullptr};
std::atomic<std::int32_t> g_writeCount{0};
std::atomic<std::int32_t> g_readCount{0};

}  // namespace

void Ring_Attach(std::uint16_t* buffer) { g_buffer.store(buffer, std::memory_order_release); }
std::uint16_t* Ring_Buffer() { return g_buffer.load(std::memory_order_acquire); }

std::uint16_t* RingSlotAddress(std::int32_t n) {
    std::int32_t slot = n % kRingSlotCount;
    if (slot < 0) slot += kRingSlotCount;
    return Ring_Buffer() + static_cast<std::ptrdiff_t>(slot) * kFieldSlotWords;
}

std::uint16_t* RingFieldLocatorAddress(std::int32_t n) { return RingSlotAddress(n) + kFieldVideoWords; }

std::int32_t Ring_WriteCount() { return g_writeCount.load(std::memory_order_acquire); }
std::int32_t Ring_ReadCount() { return g_readCount.load(std::memory_order_acquire); }

void Ring_PublishField() {
    g_writeCount.store(g_writeCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void Ring_ConsumeField() {
    g_readCount.store(g_readCount.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void Ring_StartReading(std::int32_t firstIndex) {
    // An index beyond the write count can only come from a capture of an
    // earlier start whose event was still queued: never read past the writer.
    const std::int32_t written = g_writeCount.load(std::memory_order_acquire);
    g_readCount.store(firstIndex < written ? firstIndex : written, std::memory_order_release);
}

void Ring_ResetCounts() {
    g_readCount.store(0, std::memory_order_release);
    g_writeCount.store(0, std::memory_order_release);
}
