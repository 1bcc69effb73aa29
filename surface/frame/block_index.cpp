#include "surface/frame/block_index.h"

namespace {

constexpr int32_t kEmpty = -1;

}  // namespace

bool BlockIndex::Reset(std::size_t slotCapacity, void* const* addresses, AllocFn alloc, FreeFn release) {
    std::size_t size = 16;
    unsigned bits = 4;
    while (size < 2 * slotCapacity) {
        size *= 2;
        ++bits;
    }
    auto* cells = static_cast<int32_t*>(alloc(size * sizeof(int32_t)));
    if (!cells) return false;
    Release(release);
    cells_ = cells;
    mask_ = size - 1;
    shift_ = 64 - bits;
    addresses_ = addresses;
    Clear();
    return true;
}

void BlockIndex::Release(FreeFn release) {
    if (cells_) release(cells_);
    cells_ = nullptr;
    mask_ = 0;
    addresses_ = nullptr;
}

void BlockIndex::Clear() {
    if (!cells_) return;
    for (std::size_t i = 0; i <= mask_; ++i) cells_[i] = kEmpty;
}

std::size_t BlockIndex::Home(const void* address) const {
    // Fibonacci hashing: block addresses share their low bits (alignment),
    // the multiplication spreads every bit into the top ones.
    const uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address));
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
}

void BlockIndex::Insert(const void* address, int32_t slot) {
    std::size_t i = Home(address);
    while (cells_[i] != kEmpty) i = (i + 1) & mask_;
    cells_[i] = slot;
}

void BlockIndex::Erase(const void* address, int32_t slot) {
    std::size_t hole = Home(address);
    while (cells_[hole] != slot) {
        if (cells_[hole] == kEmpty) return;
        hole = (hole + 1) & mask_;
    }
    // Backward shift: pull later cells of the probe run into the hole unless
    // their home lies cyclically after the hole.
    std::size_t j = hole;
    for (;;) {
        j = (j + 1) & mask_;
        if (cells_[j] == kEmpty) break;
        const std::size_t home = Home(addresses_[cells_[j]]);
        const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (stays) continue;
        cells_[hole] = cells_[j];
        hole = j;
    }
    cells_[hole] = kEmpty;
}

int32_t BlockIndex::FindNewest(const void* address) const {
    if (!cells_) return -1;
    int32_t newest = -1;
    for (std::size_t i = Home(address); cells_[i] != kEmpty; i = (i + 1) & mask_) {
        const int32_t slot = cells_[i];
        if (addresses_[slot] == address && slot > newest) newest = slot;
    }
    return newest;
}
