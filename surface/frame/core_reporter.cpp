#include "surface/frame/core_reporter.h"

#include "surface/frame/message_layout.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t kLevelError = 1;
constexpr int32_t kLevelWarning = 2;
constexpr int32_t kLevelSuccess = 3;
constexpr int32_t kLevelInfo = 5;
constexpr int32_t kLevelDebug = 6;

// Text of at most 255 characters, and the format built from it (every '%'
// doubled, so twice the room).
constexpr std::size_t kTextSize = 256;
constexpr std::size_t kElapsedSize = 64;
constexpr std::size_t kFormatSize = 2 * (kTextSize + kElapsedSize);

int Call(const CoreReporter* record, int32_t level, const char* format, va_list args) {
    return record->callback(record->user, level, format, args);
}

int CallWithoutArguments(const CoreReporter* record, int32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = Call(record, level, format, args);
    va_end(args);
    return result;
}

// Passes finished text as a format of its own with no arguments.
int PassText(const CoreReporter* record, int32_t level, const char* text) {
    char format[kFormatSize];
    std::size_t length = 0;
    format[0] = '\0';
    Layout_AppendLiteral(format, sizeof(format), &length, text);
    return CallWithoutArguments(record, level, format);
}

// Appends printf output to text[0..size) at *length, truncating.
void Append(char* text, std::size_t size, std::size_t* length, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void Append(char* text, std::size_t size, std::size_t* length, const char* format, ...) {
    if (*length + 1 >= size) return;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text + *length, size - *length, format, args);
    va_end(args);
    if (written < 0) return;
    *length += static_cast<std::size_t>(written);
    if (*length >= size) *length = size - 1;
}

template <typename T>
int VectorLine(const CoreReporter* record, const char* label, int32_t count, const T* values, const char* valueFormat) {
    char line[kCoreVectorLineLimit + 1];
    Layout_LabelColumns(line, label ? label : "", kCoreValueColumn);
    std::size_t length = std::strlen(line);
    char value[64];
    for (int32_t i = 0; i < count; ++i) {
        const int n = std::snprintf(value, sizeof(value), valueFormat, values[i]);
        // A value that does not fit whole ends the line.
        if (n < 0 || length + static_cast<std::size_t>(n) > kCoreVectorLineLimit) break;
        std::memcpy(line + length, value, static_cast<std::size_t>(n) + 1);
        length += static_cast<std::size_t>(n);
    }
    return PassText(record, kLevelInfo, line);
}

}  // namespace

#define CORE_REPORTER_CALL(record, level, format)         \
    va_list args;                                         \
    va_start(args, format);                               \
    const int result = Call(record, level, format, args); \
    va_end(args);                                         \
    return result

void CoreReporter_Init(CoreReporter* record, int32_t* abort, double* progress, int32_t maximumLevel,
                       int32_t categoryMask, CoreReporterCallback callback, void* user) {
    if (!record) return;
    std::memset(record, 0, sizeof(*record));
    record->abort = abort;
    record->progress = progress;
    record->maximumLevel = maximumLevel;
    record->categoryMask = categoryMask == 0 ? -1 : categoryMask;
    record->callback = callback;
    record->user = user;
}

bool CoreReporter_Speaks(const CoreReporter* record, int32_t level) {
    return record && record->callback && record->maximumLevel > level - 1;
}

bool CoreReporter_SpeaksIn(const CoreReporter* record, int32_t level, int32_t category) {
    return CoreReporter_Speaks(record, level) && (record->categoryMask & category) != 0;
}

int CoreReporter_Error(const CoreReporter* record, const char* format, ...) {
    CORE_REPORTER_CALL(record, kLevelError, format);
}

int CoreReporter_Warning(const CoreReporter* record, const char* format, ...) {
    CORE_REPORTER_CALL(record, kLevelWarning, format);
}

int CoreReporter_Success(const CoreReporter* record, const char* format, ...) {
    CORE_REPORTER_CALL(record, kLevelSuccess, format);
}

int CoreReporter_Info(const CoreReporter* record, const char* format, ...) {
    CORE_REPORTER_CALL(record, kLevelInfo, format);
}

int CoreReporter_Debug(const CoreReporter* record, const char* format, ...) {
    CORE_REPORTER_CALL(record, kLevelDebug, format);
}

int CoreReporter_Where(const CoreReporter* record, int32_t level, const char* path, int32_t line) {
    const char* name = path ? path : "";
    if (const char* slash = std::strrchr(name, '\\')) name = slash + 1;
    char text[kTextSize];
    std::snprintf(text, sizeof(text), "%s(%d):", name, static_cast<int>(line));
    PassText(record, level, text);
    return 1;
}

const char* CoreReporter_FormatElapsed(char* out, int32_t size, int32_t milliseconds) {
    const double seconds = milliseconds * 0.001;
    if (seconds < 60.0) {
        std::snprintf(out, static_cast<std::size_t>(size), "%.2fs", seconds);
        return out;
    }
    // Split the time rounded to hundredths, so that the hundredths never
    // print as 100.
    const int64_t hundredths = (static_cast<int64_t>(milliseconds) + 5) / 10;
    const int whole = static_cast<int>(hundredths / 100);
    const double fraction = static_cast<double>(hundredths % 100);
    if (whole / 3600 >= 1) {
        std::snprintf(out, static_cast<std::size_t>(size), "%d:%02d:%02d.%02.0fs (%.2fs)", whole / 3600,
                      whole % 3600 / 60, whole % 60, fraction, seconds);
    } else {
        std::snprintf(out, static_cast<std::size_t>(size), "%2d:%02d.%02.0fs (%.2fs)", whole % 3600 / 60, whole % 60,
                      fraction, seconds);
    }
    return out;
}

int CoreReporter_Elapsed(const CoreReporter* record, const char* label, int32_t milliseconds) {
    char elapsed[kElapsedSize];
    char text[kTextSize];
    std::size_t length = 0;
    text[0] = '\0';
    Append(text, sizeof(text), &length, "%s %s", label ? label : "",
           CoreReporter_FormatElapsed(elapsed, sizeof(elapsed), milliseconds));
    return PassText(record, kLevelSuccess, text);
}

int CoreReporter_SuccessElapsed(const CoreReporter* record, const char* format, int32_t milliseconds, ...) {
    char message[kTextSize];
    va_list args;
    va_start(args, milliseconds);
    const int written = std::vsnprintf(message, sizeof(message), format ? format : "", args);
    va_end(args);
    if (written < 0) message[0] = '\0';
    char elapsed[kElapsedSize];
    char text[kTextSize + sizeof(elapsed) + 1];
    std::snprintf(text, sizeof(text), "%s %s", message,
                  CoreReporter_FormatElapsed(elapsed, sizeof(elapsed), milliseconds));
    return PassText(record, kLevelSuccess, text);
}

int CoreReporter_Value(const CoreReporter* record, const char* label, const char* format, ...) {
    char line[2 * kCoreValueColumn + kLayoutFormatLimit + 1];
    Layout_LabelledFormat(line, sizeof(line), label, kCoreValueColumn, format);
    va_list args;
    va_start(args, format);
    const int result = Call(record, kLevelInfo, line, args);
    va_end(args);
    return result;
}

int CoreReporter_Vector(const CoreReporter* record, const char* label, int32_t count, const double* values) {
    return VectorLine(record, label, count, values, "%.4g ");
}

int CoreReporter_IntVector(const CoreReporter* record, const char* label, int32_t count, const int32_t* values) {
    return VectorLine(record, label, count, values, "%d ");
}

void CoreReporter_SetProgress(const CoreReporter* record, double progress) {
    if (record && record->progress) __atomic_store(record->progress, &progress, __ATOMIC_RELAXED);
}

bool CoreReporter_AbortRequested(const CoreReporter* record) {
    return record && record->abort && __atomic_load_n(record->abort, __ATOMIC_RELAXED) != 0;
}
