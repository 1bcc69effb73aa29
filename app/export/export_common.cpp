#include "app/export/export_common.h"

#include <cstdio>
#include <ctime>

#include "app/export/export_sink.h"
#include "platform/os_seam.h"

std::string Export_TimeText() {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    if (!os::LocalTimeNow(t)) return std::string(24, '?');
    const int day = t.tm_wday >= 0 && t.tm_wday < 7 ? t.tm_wday : 0;
    const int month = t.tm_mon >= 0 && t.tm_mon < 12 ? t.tm_mon : 0;
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[day], kMonths[month], t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec, 1900 + t.tm_year);
    return text;
}

const char* Export_EndOfLine(int32_t endOfLine) {
    switch (endOfLine) {
        case 1:
            return "\n";
        case 2:
            return "\r";
        default:
            return "\r\n";
    }
}

const char* Export_EndOfLineName(int32_t endOfLine) {
    switch (endOfLine) {
        case 1:
            return "LF";
        case 2:
            return "CR";
        default:
            return "CRLF";
    }
}

std::string Export_CreatorText(const std::string& productName) {
    return Export_Format("%s V%s", productName.c_str(), "4.0.7");
}

Matrix4 Export_RotationPart(const Matrix4& m) {
    Matrix4 r = m;
    r[12] = r[13] = r[14] = 0.0f;
    return r;
}

std::string Export_FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Export_SiblingPath(const std::string& path, const std::string& name) {
    const std::size_t slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}
