// Large reserved blocks: an address range reserved once and committed or
// decommitted by whole pages as the needed size changes, so the block's base
// never moves while it grows. The scan's points, facets and facet normals live
// in three of them, owned by the program and attached to the scan record.
#pragma once

#include "app/scan/out_of_memory.h"

#include <cstddef>

struct BigBuffer {
    void* Base;                // null until first use
    std::size_t ReservedSize;  // bytes of address space to reserve
    std::size_t CommittedSize; // bytes committed from Base
};

// Sizes of the program's three blocks: a 32-bit process holds a scan of more
// than four million points (48 bytes each) with two facets a point (12 bytes
// each for the indices and for the normal) and keeps well over a gigabyte of
// address space for surfaces.
constexpr std::size_t kPointBlockBytes = 200u << 20;
constexpr std::size_t kFacetBlockBytes = 100u << 20;
constexpr std::size_t kFacetNormalBlockBytes = 100u << 20;

// Makes the block hold `size` bytes (rounded up to whole pages) and returns
// its base. Reserves the range on first use; gives back pages beyond the new
// size. Throws OutOfMemoryError when the size exceeds the reservation or the
// reservation or commit fails.
void* BigBuffer_Alloc(BigBuffer& block, std::size_t size);

// Decommits the committed pages and keeps the reservation; shows the
// "ErrorVirtualAlloc" warning when the system refuses.
void BigBuffer_Decommit(BigBuffer& block);

// Gives the whole range back; the block can be used again (it reserves anew).
void BigBuffer_Free(BigBuffer& block);
