// The reporter of the library's public operations: one per running
// operation, owned by the caller, through which the operation announces
// itself, reports at six message levels, prints labelled value lines and its
// time, publishes its progress and reads the caller's abort request.
//
// The library never formats a message itself: format and arguments go to the
// caller's callback. A null reporter or a null callback silences everything.
#ifndef SURFACE_FRAME_REPORTER_H
#define SURFACE_FRAME_REPORTER_H

#include <cstdarg>
#include <cstdint>

struct Reporter;

// Message callback: the reporter, the level, a printf-style format and its
// arguments. Its result is not used by the library.
using ReporterCallback = int (*)(Reporter* reporter, int32_t level, const char* format, va_list args);

struct Reporter {
    int32_t operation;   // running operation; 1 ("Complete") once its time is printed
    double progress;     // 0 at begin, -1 while unknown, fractions, 1 on success
    int32_t startClock;  // run-time clock at begin, milliseconds
    int32_t abort;       // non-zero asks the running operation to stop
    ReporterCallback callback;
    int32_t maximumLevel;  // highest level that passes
    void* user;            // the caller's own
};

// Message levels.
enum ReporterLevel : int32_t {
    kLevelSilent = 0,
    kLevelError = 1,
    kLevelWarning = 2,
    kLevelSuccess = 3,
    kLevelProgress = 4,
    kLevelInfo = 5,
    kLevelDebug = 6,
};

// Column at which the value of a labelled line starts.
constexpr int32_t kReporterValueColumn = 25;

#define REPORTER_PRINTF(format_index, first_argument) __attribute__((format(printf, format_index, first_argument)))

// Passes format and arguments to the callback when the level passes: the
// reporter and its callback are non-null and its maximum level is at least
// the level. A level that does not pass is dropped before any formatting.
int Reporter_AtLevel(Reporter* reporter, int32_t level, const char* format, ...) REPORTER_PRINTF(3, 4);
int Reporter_AtLevelV(Reporter* reporter, int32_t level, const char* format, va_list args);
int Reporter_Error(Reporter* reporter, const char* format, ...) REPORTER_PRINTF(2, 3);
int Reporter_Warning(Reporter* reporter, const char* format, ...) REPORTER_PRINTF(2, 3);
int Reporter_Success(Reporter* reporter, const char* format, ...) REPORTER_PRINTF(2, 3);
int Reporter_Info(Reporter* reporter, const char* format, ...) REPORTER_PRINTF(2, 3);
int Reporter_Debug(Reporter* reporter, const char* format, ...) REPORTER_PRINTF(2, 3);

// The callback that operations install in their core messenger: hands the
// message to the reporter's callback unchanged, without a level test (the
// core tests its own level). `reporter` is a Reporter*.
int Reporter_Forward(void* reporter, int32_t level, const char* format, va_list args);

// A labelled info line: the label, a colon, blanks up to column 24 and the
// caller's format (at most 128 characters of it) from column 25.
int Reporter_Value(Reporter* reporter, const char* label, const char* format, ...) REPORTER_PRINTF(3, 4);

// Stores the operation number and start clock, sets progress to 0 and
// announces the operation's progress text at level 3.
void Reporter_BeginOperation(Reporter* reporter, int32_t operation);
// "Finished %c%s" at level 3 with the progress text, first letter lower-cased.
void Reporter_EndOperation(Reporter* reporter);
// The "Time Taken" value line (at maximum level 5 and above); then the
// operation number becomes 1.
void Reporter_TimeTaken(Reporter* reporter);

// The level name: "silent" below 0, "debug" above 6.
const char* Reporter_LevelName(int32_t level);
// The message level an operation gives its core messenger for its own
// verbosity: 1 for 1; 2 for 2 to 4; 5 for 5 and 6; else 0.
int32_t Reporter_CoreLevel(int32_t level);

// Progress and abort are shared with another thread of the caller: these
// read and write them as whole values.
void Reporter_SetProgress(Reporter* reporter, double progress);
double Reporter_Progress(const Reporter* reporter);
int32_t Reporter_AbortRequested(const Reporter* reporter);

// The run-time clock in milliseconds (a steady clock). Tests may replace it;
// null restores the real one.
using ReporterClock = uint32_t (*)();
uint32_t Reporter_Clock();
void Reporter_SetClockForTesting(ReporterClock clock);

#endif
