// Address index of the tracked-memory registry.
//
// The registry keeps its blocks in an array of slots that is searched from
// the newest slot backwards. With tens of thousands of live blocks (normal in
// the fitters) that search would make every free cost O(live blocks); this
// index finds the slot of an address in constant expected time and gives the
// same answer as the backward search: the highest slot that holds it.
//
// It is an open-addressing hash table (linear probing, deletion by backward
// shift) of slot numbers; the keys are read from the registry's address
// array, so the table stores 4 bytes per cell. Duplicate addresses are
// allowed and each keeps its own cell.
#ifndef SURFACE_FRAME_BLOCK_INDEX_H
#define SURFACE_FRAME_BLOCK_INDEX_H

#include <cstddef>
#include <cstdint>

class BlockIndex {
  public:
    // Allocation of the cell table; the tracked allocator passes its own
    // run-time allocator so that failures can be injected in tests.
    using AllocFn = void* (*)(std::size_t bytes);
    using FreeFn = void (*)(void* block);

    // Makes an empty table with room for `slotCapacity` slots (at most half
    // full). `addresses` is the registry's address array. False on failure,
    // with the old table kept.
    bool Reset(std::size_t slotCapacity, void* const* addresses, AllocFn alloc, FreeFn release);
    void Release(FreeFn release);
    void Clear();

    void Insert(const void* address, int32_t slot);
    // Removes the cell of `slot`, whose address is `address`.
    void Erase(const void* address, int32_t slot);
    // The highest slot holding `address`, or -1.
    int32_t FindNewest(const void* address) const;

  private:
    std::size_t Home(const void* address) const;

    int32_t* cells_ = nullptr;
    std::size_t mask_ = 0;
    unsigned shift_ = 0;
    void* const* addresses_ = nullptr;
};

#endif
