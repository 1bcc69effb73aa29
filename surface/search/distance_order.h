// Ordering found points by a distance key when only the nearest few are
// kept: the kept ones are selected first and only they are sorted. Equal
// keys keep no particular order; NaN keys count as the largest, so that the
// order stays well defined.
#ifndef SURFACE_SEARCH_DISTANCE_ORDER_H
#define SURFACE_SEARCH_DISTANCE_ORDER_H

#include <algorithm>
#include <cstdint>

#include "surface/frame/tracked_memory.h"

namespace distance_order {

// A found point's key and its position in the list it was found in.
struct Entry {
    double key;
    int32_t at;
};

inline bool KeyBefore(double a, double b) { return a < b || (b != b && a == a); }

inline bool Before(const Entry& a, const Entry& b) { return KeyBefore(a.key, b.key); }

// Puts the `kept` smallest of the n entries, ascending, at the front.
inline void Smallest(Entry* entries, int32_t n, int32_t kept) {
    if (kept <= 0) return;
    if (kept < n) std::nth_element(entries, entries + kept, entries + n, Before);
    std::sort(entries, entries + (kept < n ? kept : n), Before);
}

// The same over indices into a key array: order[0..n) is rearranged.
inline void SmallestIndices(int32_t* order, int32_t n, int32_t kept, const double* keys) {
    if (kept <= 0) return;
    const auto before = [keys](int32_t a, int32_t b) { return KeyBefore(keys[a], keys[b]); };
    if (kept < n) std::nth_element(order, order + kept, order + n, before);
    std::sort(order, order + (kept < n ? kept : n), before);
}

// Entries for one search: on the stack for the usual few, else from the
// tracked allocator.
class Buffer {
  public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { Mem_Free(heap_); }
    // Room for n entries; false when memory runs out.
    bool Reserve(int32_t n) {
        if (n <= kLocal) {
            data_ = local_;
            return true;
        }
        if (n <= heapSize_) {
            data_ = heap_;
            return true;
        }
        Mem_Free(heap_);
        heap_ = static_cast<Entry*>(Mem_Alloc(sizeof(Entry) * static_cast<size_t>(n)));
        heapSize_ = heap_ ? n : 0;
        data_ = heap_;
        return heap_ != nullptr;
    }
    Entry* data() { return data_; }
    // The room of the last successful Reserve (kLocal before any).
    int32_t capacity() const { return data_ == local_ ? kLocal : heapSize_; }

  private:
    static const int32_t kLocal = 256;
    Entry local_[kLocal];
    Entry* data_ = local_;
    Entry* heap_ = nullptr;
    int32_t heapSize_ = 0;
};

}  // namespace distance_order

#endif
