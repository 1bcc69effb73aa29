#include "app/export/proc_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/files/safe_file_write.h"

namespace {

bool StartsWith(const char* text, const char* start) { return std::strncmp(text, start, std::strlen(start)) == 0; }

}  // namespace

bool Str_Contains(const char* text, const char* part) {
    if (!text || !part || !*text || !*part) return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *text; ++text) {
        size_t n = 0;
        while (part[n] && lower(text[n]) == lower(part[n])) ++n;
        if (!part[n]) return true;
    }
    return false;
}

bool ProcLog_FormatV(int32_t level, double threadSeconds, const char* format, va_list args, ProcLogLine& out) {
    const char* prefix = "";
    bool timed = true;
    out = ProcLogLine{};
    switch (level) {
        case -1:
            timed = false;
            out.icon = kLogIconPlain;
            break;
        case 1:
            prefix = "ERROR: ";
            out.icon = kLogIconError;
            out.sound = ProcLogSound::kHand;
            break;
        case 2:
            if (StartsWith(format, "Memory")) return false;
            prefix = "WARNING: ";
            out.icon = kLogIconWarning;
            out.sound = ProcLogSound::kExclamation;
            break;
        case 3:
            out.icon = kLogIconStage;
            break;
        case 5:
            prefix = "  ";
            timed = false;
            out.icon = kLogIconDetail;
            break;
        default:
            return false;
    }
    char line[kProcLogLineMax];
    const int used = std::snprintf(line, sizeof line, "%s", prefix);
    std::vsnprintf(line + used, sizeof line - used, format, args);
    if (level == 3 && StartsWith(line, "Finish")) return false;
    if (level == 1 || level == 3) out.status = line;
    if (timed) {
        char time[64];
        std::snprintf(time, sizeof time, "(%.2fs) ", threadSeconds);
        out.text = time;
    }
    out.text += line;
    return true;
}

bool ProcLog_Format(int32_t level, double threadSeconds, ProcLogLine& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool added = ProcLog_FormatV(level, threadSeconds, format, args, out);
    va_end(args);
    return added;
}

int32_t ProcLog_BarPosition(double fraction) { return static_cast<int32_t>(fraction * 1000.0); }

bool ProcLogStage::Changed(const char* stage) {
    if (!stage || last_ == stage) return false;
    last_ = stage;
    return true;
}

bool ProcLog_SaveLog(const std::string& path, const char* productName, const std::tm& localTime,
                     const std::vector<ProcLogEntry>& lines, std::string& message) {
    files::SafeFileWriter writer;
    if (!writer.Open(path)) {
        char text[1024];
        std::snprintf(text, sizeof text, "Error opening '%.800s'\n    %s", path.c_str(), writer.ErrorText().c_str());
        message = text;
        return false;
    }
    // The run-time library's 26-character form (as asctime writes it), in
    // English whatever the locale.
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[(localTime.tm_wday % 7 + 7) % 7],
                  kMonths[(localTime.tm_mon % 12 + 12) % 12], localTime.tm_mday, localTime.tm_hour, localTime.tm_min,
                  localTime.tm_sec, 1900 + localTime.tm_year);
    std::string out = std::string(productName) + " batch processing log -- " + stamp + kProcLogLineEnd;
    for (const ProcLogEntry& line : lines) {
        if (line.icon == kLogIconPlain) out += kProcLogLineEnd;
        out.append(line.text, 0, kProcLogLineMax);
        out += kProcLogLineEnd;
    }
    if (!writer.Write(out.data(), out.size()) || !writer.Commit()) {
        message = "Error writing to file\n    " + writer.ErrorText();
        return false;
    }
    return true;
}
