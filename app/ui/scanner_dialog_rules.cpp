#include "app/ui/scanner_dialog_rules.h"

#include "app/acquisition/accuracy_report.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool BeginsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

void AppendLine(std::string& text, const char* format, double value) {
    char line[64];
    std::snprintf(line, sizeof line, format, value);
    text += line;
}

}  // namespace

int ScannerProps_PickCalibrationItem(const std::vector<std::string>& items, const char* name) {
    const int count = static_cast<int>(items.size());
    for (int i = 1; i < count; ++i)
        if (BeginsWithNoCase(items[i], name)) return i;
    return 0;
}

std::string ScannerProps_ExplanationText(const char* help) {
    constexpr std::size_t kLimit = 1023;
    std::string out;
    for (const char* p = help; *p; ++p) {
        const std::size_t need = *p == '\n' ? 2 : 1;
        if (out.size() + need > kLimit) break;
        if (*p == '\n') out += '\r';
        out += *p;
    }
    return out;
}

std::string Diagnostics_GraphicsText(const ViewTimings& t) {
    std::string text;
    char line[64];
    std::snprintf(line, sizeof line, "MinUpdate: %i\n", static_cast<int>(t.minUpdate));
    text += line;
    std::snprintf(line, sizeof line, "MaxUpdate: %i\n", static_cast<int>(t.maxUpdate));
    text += line;
    AppendLine(text, "AveUpdate: %5.2f\n", t.averageUpdate);
    AppendLine(text, "RepaintTime: %5.2f\n", t.repaintTime);
    AppendLine(text, "Last CameraDeviation: %5.2f\n", t.cameraDeviation);
    return text;
}

std::string Diagnostics_DumpPath(const std::string& modulePath, const std::string& name) {
    const std::size_t slash = modulePath.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1);
    return folder + name;
}

LutTweak CalibrationUpdate_MakeTweak(float bottomLine, float topLine, float bottomCount, float topCount,
                                     std::time_t now) {
    LutTweak tweak{};
    tweak.lineTweak[0] = bottomLine;
    tweak.lineTweak[1] = topLine;
    tweak.countTweak[0] = bottomCount;
    tweak.countTweak[1] = topCount;
    const std::tm* local = std::localtime(&now);
    const char* text = local ? std::asctime(local) : nullptr;
    if (text) std::snprintf(tweak.date, sizeof tweak.date, "%.24s", text);
    return tweak;
}

AccuracyCheckUpdate AccuracyCheck_SweepsEnded(const RawData& raw, int32_t cameras, int32_t dotReference,
                                              int32_t reported) {
    AccuracyCheckUpdate update;
    const int32_t sweeps = raw.NumSweeps;
    update.reported = reported;
    if (sweeps <= reported) return update;
    update.changed = true;
    update.clearReports = reported == 0;
    std::vector<Vec3> previous(static_cast<std::size_t>(cameras > 0 ? cameras : 0), Vec3{0.0f, 0.0f, 0.0f});
    for (int32_t s = reported; s < sweeps; ++s)
        update.running.push_back(AccuracyReport_Format(raw, cameras, dotReference, s, s + 1, &previous));
    update.summary = AccuracyReport_Format(raw, cameras, dotReference, 0, sweeps, nullptr);
    update.reported = sweeps;
    return update;
}
