#include "app/acquisition/hardware_statistics.h"

#include <atomic>
#include <cstring>

namespace {

constexpr int kWords = 35;
std::atomic<std::int32_t> g_words[kWords];

}  // namespace

void ZeroHardwareStatistics() {
    for (auto& word : g_words) word.store(0, std::memory_order_relaxed);
}

void GetHardwareStatistics(HardwareStatistics& out) {
    std::int32_t words[kWords];
    for (int i = 0; i < kWords; ++i) words[i] = g_words[i].load(std::memory_order_relaxed);
    std::memcpy(&out, words, sizeof out);
}

void Stats_Add(HardwareStatisticWord word, std::int32_t amount) {
    g_words[word].fetch_add(amount, std::memory_order_relaxed);
}

void Stats_Set(HardwareStatisticWord word, std::int32_t value) {
    g_words[word].store(value, std::memory_order_relaxed);
}

void Stats_Raise(HardwareStatisticWord word, std::int32_t value) {
    std::int32_t current = g_words[word].load(std::memory_order_relaxed);
    while (value > current &&
           !g_words[word].compare_exchange_weak(current, value, std::memory_order_relaxed)) {
    }
}

void Stats_SetTrackerErrorText(const char text[4]) {
    // The bytes are kept in memory order, so the copy in GetHardwareStatistics
    // gives the characters back in order, followed by the zero word.
    std::int32_t first = 0;
    std::memcpy(&first, text, 4);
    g_words[Stat_TrackerErrorText].store(first, std::memory_order_relaxed);
    g_words[Stat_TrackerErrorText + 1].store(0, std::memory_order_relaxed);
}
