// The basic surface build's private memory: an arena owned by one build (or
// one greyscale transfer) that holds every temporary of its stages and gives
// all of it back when it is destroyed, also after a stop or a failure. Its
// first block of 1 MiB is taken at creation and serves small requests; larger
// ones are separate blocks that can be freed early. A failed allocation throws
// OutOfMemoryError, so the stages never test for null.
//
// Also the two exceptions that travel through the stages (out of memory and
// the user's stop) and the general-heap resize that the surface record's
// arrays use.
#pragma once

#include "app/scan/out_of_memory.h"

#include <cstddef>
#include <cstdint>

// Thrown by a stage whose progress callback asked to stop.
class SurfAbortError {};

class SurfArena {
  public:
    SurfArena();  // throws OutOfMemoryError when the first block cannot be had
    ~SurfArena();
    SurfArena(const SurfArena&) = delete;
    SurfArena& operator=(const SurfArena&) = delete;

    void* Alloc(std::size_t bytes);
    void* Calloc(std::size_t count, std::size_t size);
    // Null allocates; a block at least `bytes` long comes back unchanged;
    // otherwise the block moves to a larger one with its contents.
    void* GrowToFit(void* block, std::size_t bytes);
    // Large blocks go back at once; small ones with the arena.
    void Free(void* block);

    template <class T>
    T* Array(std::size_t count) {
        return static_cast<T*>(Alloc(count * sizeof(T)));
    }
    template <class T>
    T* ZeroArray(std::size_t count) {
        return static_cast<T*>(Calloc(count, sizeof(T)));
    }
    template <class T>
    T* Grow(T* block, std::size_t count) {
        return static_cast<T*>(GrowToFit(block, count * sizeof(T)));
    }

    // Bytes held now and at most since creation (blocks and their headers).
    std::size_t Held() const { return held_; }
    std::size_t HighWater() const { return highWater_; }

    static constexpr std::size_t kFirstBlockBytes = 0x100000;

  private:
    struct Large;
    void Count(std::ptrdiff_t bytes);
    unsigned char* first_;
    std::size_t firstUsed_;
    Large* large_;
    std::size_t held_;
    std::size_t highWater_;
};

// Resizes a general-heap block (std::realloc); `bytes` 0 keeps one byte so
// the pointer stays valid. Throws OutOfMemoryError and leaves the block as it
// was on failure.
void* Surf_Resize(void* block, std::size_t bytes);

// Test seam: the n-th allocation from now on (arena or Surf_Resize) fails;
// 0 turns the injection off. Process-wide, as one build runs at a time.
void SurfMemory_FailAfter(int64_t n);
