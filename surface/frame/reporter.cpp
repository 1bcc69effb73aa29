#include "surface/frame/reporter.h"

#include "platform/os_seam.h"
#include "surface/frame/message_layout.h"
#include "surface/frame/operation_numbers.h"

#include <cctype>

namespace {

ReporterClock g_clock = nullptr;

bool Passes(const Reporter* reporter, int32_t level) {
    return reporter && reporter->callback && reporter->maximumLevel >= level;
}

int AtLevelV(Reporter* reporter, int32_t level, const char* format, va_list args) {
    if (!Passes(reporter, level)) return 0;
    return reporter->callback(reporter, level, format, args);
}

// Elapsed time since the operation began, rounded to hundredths of a second
// once, so that the parts of the time line agree with each other.
int64_t ElapsedHundredths(const Reporter* reporter) {
    const uint32_t elapsed = Reporter_Clock() - static_cast<uint32_t>(reporter->startClock);
    return (static_cast<int64_t>(elapsed) + 5) / 10;
}

}  // namespace

#define REPORTER_FORWARD_AT(reporter, level, format)            \
    va_list args;                                               \
    va_start(args, format);                                     \
    const int result = AtLevelV(reporter, level, format, args); \
    va_end(args);                                               \
    return result

int Reporter_AtLevel(Reporter* reporter, int32_t level, const char* format, ...) {
    REPORTER_FORWARD_AT(reporter, level, format);
}

int Reporter_AtLevelV(Reporter* reporter, int32_t level, const char* format, va_list args) {
    return AtLevelV(reporter, level, format, args);
}

int Reporter_Error(Reporter* reporter, const char* format, ...) { REPORTER_FORWARD_AT(reporter, kLevelError, format); }

int Reporter_Warning(Reporter* reporter, const char* format, ...) {
    REPORTER_FORWARD_AT(reporter, kLevelWarning, format);
}

int Reporter_Success(Reporter* reporter, const char* format, ...) {
    REPORTER_FORWARD_AT(reporter, kLevelSuccess, format);
}

int Reporter_Info(Reporter* reporter, const char* format, ...) { REPORTER_FORWARD_AT(reporter, kLevelInfo, format); }

int Reporter_Debug(Reporter* reporter, const char* format, ...) { REPORTER_FORWARD_AT(reporter, kLevelDebug, format); }

int Reporter_Forward(void* reporter, int32_t level, const char* format, va_list args) {
    auto* r = static_cast<Reporter*>(reporter);
    if (!r || !r->callback) return 0;
    return r->callback(r, level, format, args);
}

int Reporter_Value(Reporter* reporter, const char* label, const char* format, ...) {
    if (!Passes(reporter, kLevelInfo)) return 0;
    char line[2 * kReporterValueColumn + kLayoutFormatLimit + 1];
    Layout_LabelledFormat(line, sizeof(line), label, kReporterValueColumn, format);
    va_list args;
    va_start(args, format);
    const int result = reporter->callback(reporter, kLevelInfo, line, args);
    va_end(args);
    return result;
}

void Reporter_BeginOperation(Reporter* reporter, int32_t operation) {
    if (!reporter) return;
    reporter->operation = operation;
    reporter->startClock = static_cast<int32_t>(Reporter_Clock());
    Reporter_SetProgress(reporter, 0.0);
    // The progress texts hold no conversions: each is its own format.
    Reporter_AtLevel(reporter, kLevelSuccess, Reporter_OperationText(operation));
}

void Reporter_EndOperation(Reporter* reporter) {
    if (!reporter) return;
    const char* text = Reporter_OperationText(reporter->operation);
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    Reporter_AtLevel(reporter, kLevelSuccess, "Finished %c%s", first, text + 1);
}

void Reporter_TimeTaken(Reporter* reporter) {
    if (!reporter) return;
    if (reporter->maximumLevel >= kLevelInfo) {
        const int64_t hundredths = ElapsedHundredths(reporter);
        const int wholeSeconds = static_cast<int>(hundredths / 100);
        const double withinMinute = static_cast<double>(hundredths % 6000) / 100.0;
        Reporter_Value(reporter, "Time Taken", "%d:%02d:%05.2f (%.2f)", wholeSeconds / 3600, wholeSeconds / 60 % 60,
                       withinMinute, static_cast<double>(hundredths) / 100.0);
    }
    reporter->operation = Op_Complete;
}

const char* Reporter_LevelName(int32_t level) {
    static const char* const kNames[] = {"silent", "error", "warning", "success", "progress", "info", "debug"};
    if (level < kLevelSilent) return kNames[kLevelSilent];
    if (level > kLevelDebug) return kNames[kLevelDebug];
    return kNames[level];
}

int32_t Reporter_CoreLevel(int32_t level) {
    switch (level) {
        case 1:
            return 1;
        case 2:
        case 3:
        case 4:
            return 2;
        case 5:
        case 6:
            return 5;
        default:
            return 0;
    }
}

void Reporter_SetProgress(Reporter* reporter, double progress) {
    if (reporter) __atomic_store(&reporter->progress, &progress, __ATOMIC_RELAXED);
}

double Reporter_Progress(const Reporter* reporter) {
    double progress = 0.0;
    if (reporter) __atomic_load(&reporter->progress, &progress, __ATOMIC_RELAXED);
    return progress;
}

int32_t Reporter_AbortRequested(const Reporter* reporter) {
    return reporter ? __atomic_load_n(&reporter->abort, __ATOMIC_RELAXED) : 0;
}

uint32_t Reporter_Clock() {
    if (g_clock) return g_clock();
    return static_cast<uint32_t>(os::SteadyMilliseconds());
}

void Reporter_SetClockForTesting(ReporterClock clock) { g_clock = clock; }
