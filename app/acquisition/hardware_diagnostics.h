// Diagnostics of the acquisition layer: the hardware trace file (the
// standard output stream), the statistics text of the ring-buffer dialog and
// the dump of the ring's last fields.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// One line to the standard output stream: "%8.3fs: " (the steady clock in
// seconds), the message, "\r\n"; flushed.
void TraceHardwareToFile(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The statistics text appended to `text`, each line led by `prefix`: ring
// (most fields waiting), line detections by reason and the tracker
// characters of the last decoded field. The text stays within
// kRingStatsTextSize - 1 characters.
constexpr std::size_t kRingStatsTextSize = 1024;
void DumpRingBufferStats(const char* prefix, std::string& text);

// Writes the ring's last fields to an open file: the int32 values 4, the
// video line count, the field count n and the status bytes per field, then
// the n slots before the write count, oldest first, each whole. n is the
// requested count held to 0..50 and to the fields published. False when
// writing failed.
bool DumpRingBuffer(std::FILE* file, std::int32_t requested = 50);
