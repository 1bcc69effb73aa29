// The ring of 50 field slots between the acquisition thread and the
// user-interface thread. The write count (fields published) is advanced only
// by the acquisition thread, the read count (fields consumed) only by the
// user-interface thread; a field is handed over by the release store of the
// write count alone, and at most 49 fields wait, so the slot at the write
// count is never one the consumer may still read.
//
// The counts are running counts. While the acquisition thread runs, each has
// a single writer and neither is ever reset: a capture does not restart the
// write count at 0; Hardware_FIRST_FIELD carries the capture's first index
// (the write count when the capture began), and the user-interface thread's
// handler of that event moves the read count to it (Ring_StartReading),
// dropping whatever the previous capture left unread. Both counts go back to
// 0 only while no acquisition thread runs (Ring_ResetCounts, at start-up).
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
// User-interface thread, on Hardware_FIRST_FIELD: reading goes on at the
// capture's first index (the event's parameter), never past the write count.
void Ring_StartReading(std::int32_t firstIndex);
// Both counts back to 0. Only while no acquisition thread runs (hardware
// start-up, tests).
void Ring_ResetCounts();
