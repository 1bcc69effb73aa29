#include "app/acquisition/hardware_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/os_seam.h"

namespace {

std::atomic<HardwareTraceSink> g_sink{nullptr};

std::uint64_t TraceStart() {
    static const std::uint64_t start = os::SteadyMilliseconds();
    return start;
}

}  // namespace

HardwareTraceSink SetHardwareTraceSink(HardwareTraceSink sink) {
    return g_sink.exchange(sink, std::memory_order_acq_rel);
}

void TraceHardware(const char* format, ...) {
    const std::uint64_t start = TraceStart();
    char line[kHardwareTraceLineSize];
    const unsigned elapsed = static_cast<unsigned>(os::SteadyMilliseconds() - start);
    int used = std::snprintf(line, sizeof line, "%7u: ", elapsed);
    if (used < 0) used = 0;
    if (static_cast<std::size_t>(used) < sizeof line) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(line + used, sizeof line - static_cast<std::size_t>(used), format, args);
        va_end(args);
    }
    const HardwareTraceSink sink = g_sink.load(std::memory_order_acquire);
    if (sink) {
        sink(line);
    } else {
        HardwareTraceDefaultOutput(line);
    }
}
