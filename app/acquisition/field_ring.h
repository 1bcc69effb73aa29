// The ring of 50 field slots between the acquisition thread and the
// user-interface thread. The write count (fields published) is advanced only
// by the acquisition thread, the read count (fields consumed) only by the
// user-interface thread; a field is handed over by the release store of the
// write count alone, and at most 49 fields wait, so the slot at the write
// count is never one the consumer may still read.
#pragma once

#include <cstdint>

#include "app/acquisition/field_format.h"

constexpr std::int32_t kRingSlotCount = 50;
constexpr std::int32_t kRingBufferWords = kRingSlotCount * kFieldSlotWords;

// Attaches the ring's storage (kRingBufferWords words, owned by the caller:
// the locked sample buffer while the scanner runs); nullptr detaches it.
void Ring_Attach(std::uint16_t* buffer);
std::uint16_t* Ring_Buffer();

// Start of the slot of running count n (n modulo 50, never negative).
std::uint16_t* RingSlotAddress(std::int32_t n);
// The locator part of that slot (word N on).
std::uint16_t* RingFieldLocatorAddress(std::int32_t n);

std::int32_t Ring_WriteCount();
std::int32_t Ring_ReadCount();
// Acquisition thread: publishes the field at the write count.
void Ring_PublishField();
// User-interface thread: the field at the read count has been consumed.
void Ring_ConsumeField();
// Both counts back to 0 at the start of a capture, before its first field is
// reported. The only place the read count is reset.
void Ring_ResetCounts();
