#include "app/acquisition/hardware_diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>

#include "app/acquisition/field_format.h"
#include "app/acquisition/field_ring.h"
#include "app/acquisition/hardware_statistics.h"
#include "platform/os_seam.h"

namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void AppendLine(std::string& text, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    const std::size_t room = kRingStatsTextSize - 1 > text.size() ? kRingStatsTextSize - 1 - text.size() : 0;
    text.append(line, std::min(room, std::char_traits<char>::length(line)));
}

bool PutInt32(std::FILE* file, std::int32_t value) {
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(value) >> (8 * i));
    return std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace

void TraceHardwareToFile(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    const double seconds = static_cast<double>(os::SteadyMilliseconds()) / 1000.0;
    std::fprintf(stdout, "%8.3fs: %s\r\n", seconds, message);
    std::fflush(stdout);
}

void DumpRingBufferStats(const char* prefix, std::string& text) {
    HardwareStatistics s;
    GetHardwareStatistics(s);
    char quadrel[5] = {s.trackerErrorText[0], s.trackerErrorText[1], s.trackerErrorText[2], s.trackerErrorText[3], 0};
    AppendLine(text, "%sRing buffer:\n", prefix);
    AppendLine(text, "%s Max Felds:\t\t%4i\n", prefix, s.maxFieldsWaiting);
    AppendLine(text, "%sLine detections:\n", prefix);
    AppendLine(text, "%s Width > Max:\t%4i\n", prefix, s.widthAboveMax);
    AppendLine(text, "%s Width < Min:\t%4i\n", prefix, s.widthBelowMin);
    AppendLine(text, "%s Rise > Fall:\t%4i\n", prefix, s.riseAboveFall);
    AppendLine(text, "%s Rise = 0:\t\t%4i\n", prefix, s.riseZero);
    AppendLine(text, "%s Fall = 0:\t\t%4i\n", prefix, s.fallZero);
    AppendLine(text, "%sLast Quadrel errors: %s\n", prefix, quadrel);
}

bool DumpRingBuffer(std::FILE* file, std::int32_t requested) {
    if (!file || !Ring_Buffer()) return false;
    const std::int32_t end = Ring_WriteCount();
    const std::int32_t held = end < kRingSlotCount ? (end > 0 ? end : 0) : kRingSlotCount;
    const std::int32_t count = std::min(std::max(requested, 0), held);
    bool ok = PutInt32(file, 4) && PutInt32(file, kFieldLineCount) && PutInt32(file, count) &&
              PutInt32(file, kFieldStatusBytes);
    for (std::int32_t n = end - count; ok && n < end; ++n)
        ok = std::fwrite(RingSlotAddress(n), sizeof(std::uint16_t), kFieldSlotWords, file) == kFieldSlotWords;
    return ok;
}
