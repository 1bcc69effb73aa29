// The hardware layer's debug trace: one line per state change or fault,
// "%7u: " (milliseconds since the first trace) followed by the message.
#pragma once

#include <cstddef>

constexpr std::size_t kHardwareTraceLineSize = 1024;

// printf-style; the line is cut to kHardwareTraceLineSize - 1 characters.
void TraceHardware(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Receives every formatted line. nullptr restores the default output (the
// debugger output on Windows; nothing natively).
using HardwareTraceSink = void (*)(const char* line);
HardwareTraceSink SetHardwareTraceSink(HardwareTraceSink sink);

// The platform's default output of a trace line.
void HardwareTraceDefaultOutput(const char* line);
