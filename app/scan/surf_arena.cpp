#include "app/scan/surf_arena.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<int64_t> g_failCountdown{0};

// True when the injected failure is due now.
bool InjectedFailure() {
    int64_t n = g_failCountdown.load();
    while (n > 0) {
        if (g_failCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

// Small blocks carry their size; large ones sit in a doubly linked list.
struct SmallHeader {
    std::size_t size;
    std::size_t large;  // 0: in the first block
};

constexpr std::size_t kAlign = 16;
constexpr std::size_t kSmallLimit = 16 * 1024;

constexpr std::size_t RoundUp(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

}  // namespace

struct SurfArena::Large {
    Large* prev;
    Large* next;
    SmallHeader header;  // directly before the user's bytes
};

namespace {
constexpr std::size_t kLargeOffset = RoundUp(sizeof(void*) * 2 + sizeof(SmallHeader));
}

SurfArena::SurfArena() : first_(nullptr), firstUsed_(0), large_(nullptr), held_(0), highWater_(0) {
    if (InjectedFailure()) throw OutOfMemoryError();
    first_ = static_cast<unsigned char*>(std::malloc(kFirstBlockBytes));
    if (!first_) throw OutOfMemoryError();
    Count(static_cast<std::ptrdiff_t>(kFirstBlockBytes));
}

SurfArena::~SurfArena() {
    while (large_) {
        Large* next = large_->next;
        std::free(large_);
        large_ = next;
    }
    std::free(first_);
}

void SurfArena::Count(std::ptrdiff_t bytes) {
    held_ += bytes;
    if (held_ > highWater_) highWater_ = held_;
}

void* SurfArena::Alloc(std::size_t bytes) {
    if (InjectedFailure()) throw OutOfMemoryError();
    const std::size_t need = RoundUp(bytes > 0 ? bytes : 1);
    const std::size_t headerBytes = RoundUp(sizeof(SmallHeader));
    if (need <= kSmallLimit && firstUsed_ + headerBytes + need <= kFirstBlockBytes) {
        unsigned char* user = first_ + firstUsed_ + headerBytes;
        auto* h = reinterpret_cast<SmallHeader*>(user - sizeof(SmallHeader));
        h->size = need;
        h->large = 0;
        firstUsed_ += headerBytes + need;
        return user;
    }
    if (need > SIZE_MAX - kLargeOffset) throw OutOfMemoryError();
    auto* block = static_cast<unsigned char*>(std::malloc(kLargeOffset + need));
    if (!block) throw OutOfMemoryError();
    auto* l = reinterpret_cast<Large*>(block);
    l->prev = nullptr;
    l->next = large_;
    if (large_) large_->prev = l;
    large_ = l;
    auto* h = reinterpret_cast<SmallHeader*>(block + kLargeOffset - sizeof(SmallHeader));
    h->size = need;
    h->large = 1;
    Count(static_cast<std::ptrdiff_t>(kLargeOffset + need));
    return block + kLargeOffset;
}

void* SurfArena::Calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) throw OutOfMemoryError();
    void* p = Alloc(count * size);
    std::memset(p, 0, count * size);
    return p;
}

void* SurfArena::GrowToFit(void* block, std::size_t bytes) {
    if (!block) return Alloc(bytes);
    const auto* h = reinterpret_cast<const SmallHeader*>(static_cast<unsigned char*>(block) - sizeof(SmallHeader));
    if (bytes <= h->size) return block;
    void* grown = Alloc(bytes);
    std::memcpy(grown, block, h->size);
    Free(block);
    return grown;
}

void SurfArena::Free(void* block) {
    if (!block) return;
    auto* bytes = static_cast<unsigned char*>(block);
    const auto* h = reinterpret_cast<const SmallHeader*>(bytes - sizeof(SmallHeader));
    if (!h->large) return;
    auto* l = reinterpret_cast<Large*>(bytes - kLargeOffset);
    if (l->prev)
        l->prev->next = l->next;
    else
        large_ = l->next;
    if (l->next) l->next->prev = l->prev;
    held_ -= kLargeOffset + h->size;
    std::free(l);
}

void* Surf_Resize(void* block, std::size_t bytes) {
    if (InjectedFailure()) throw OutOfMemoryError();
    void* p = std::realloc(block, bytes > 0 ? bytes : 1);
    if (!p) throw OutOfMemoryError();
    return p;
}

void SurfMemory_FailAfter(int64_t n) { g_failCountdown.store(n > 0 ? n : 0); }
