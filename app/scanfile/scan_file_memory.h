// Allocation for the scan file's coders, save and load: std::malloc behind a
// test seam that makes a chosen allocation fail, so that every packer and
// temporary array can be made to run out of memory on purpose.
#pragma once

#include <cstddef>
#include <cstdint>

void* ScanFile_Malloc(std::size_t bytes);
void* ScanFile_Realloc(void* old, std::size_t bytes);

// Test seam: allocation number `n` from now (1 = the next one) fails, and
// only that one; 0 turns it off. Returns how many allocations were made
// since the last call (for sweeping n over every allocation of an operation).
int32_t ScanFile_FailAllocationForTesting(int32_t n);
