// Zeroing of secrets (keys, schedules, decrypted data) that the compiler may
// not drop as a dead store.
#pragma once

#include <cstddef>

inline void WipeMemory(void* memory, std::size_t count) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(memory);
    while (count--) *p++ = 0;
}
