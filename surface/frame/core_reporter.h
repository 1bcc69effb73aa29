// The core messenger: what the fitting core and the evaluators see of the
// running operation. It says where to write progress, where to read the
// abort request, how much to say and to whom.
//
// Speaking convention: before a message of level L the core itself tests
// that the record and its callback are non-null and that the maximum level
// is at least L (CoreReporter_Speaks), and for a detail message that its
// category bit is in the mask (CoreReporter_SpeaksIn). The message functions
// never test.
#ifndef SURFACE_FRAME_CORE_REPORTER_H
#define SURFACE_FRAME_CORE_REPORTER_H

#include <cstdarg>
#include <cstdint>

// Callback: the user pointer, the level, a format and its arguments; its
// result is returned to the caller of the message function.
using CoreReporterCallback = int (*)(void* user, int32_t level, const char* format, va_list args);

struct CoreReporter {
    double* progress;      // where long loops write their fraction (null: nowhere)
    int32_t* abort;        // non-zero there asks the core to stop (status 10)
    int32_t categoryMask;  // detail categories that may speak
    int32_t maximumLevel;
    CoreReporterCallback callback;
    void* user;
};

// Category bits of the core's detail messages.
enum CoreCategory : int32_t {
    kCategoryMultilevelFit = 0x2,
    kCategorySubdomainUpdate = 0x8,
    kCategoryErrorBarFit = 0x80,
    kCategoryMeshParts = 0x100,
    kCategoryFgmresSolver = 0x200,
    kCategoryFgmresFit = 0x400,
    kCategoryDirectFit = 0x800,
    kCategoryFastEvaluation = 0x1000,
    kCategoryDecomposition = 0x2000,
    kCategoryBiharmonic3 = 0x4000,
    kCategoryBiharmonic2 = 0x8000,
};

// Column at which the value of a core labelled line starts, and the longest
// vector line.
constexpr int32_t kCoreValueColumn = 30;
constexpr int32_t kCoreVectorLineLimit = 160;

#define CORE_REPORTER_PRINTF(format_index, first_argument) __attribute__((format(printf, format_index, first_argument)))

// Zero-fills the record and stores the fields; a mask of 0 lets every
// category pass (stored as all bits set). The abort pointer comes before the
// progress pointer.
void CoreReporter_Init(CoreReporter* record, int32_t* abort, double* progress, int32_t maximumLevel,
                       int32_t categoryMask, CoreReporterCallback callback, void* user);

// The speaking tests of the convention above.
bool CoreReporter_Speaks(const CoreReporter* record, int32_t level);
bool CoreReporter_SpeaksIn(const CoreReporter* record, int32_t level, int32_t category);

// Messages at levels 1, 2, 3, 5 and 6; they return the callback's result.
int CoreReporter_Error(const CoreReporter* record, const char* format, ...) CORE_REPORTER_PRINTF(2, 3);
int CoreReporter_Warning(const CoreReporter* record, const char* format, ...) CORE_REPORTER_PRINTF(2, 3);
int CoreReporter_Success(const CoreReporter* record, const char* format, ...) CORE_REPORTER_PRINTF(2, 3);
int CoreReporter_Info(const CoreReporter* record, const char* format, ...) CORE_REPORTER_PRINTF(2, 3);
int CoreReporter_Debug(const CoreReporter* record, const char* format, ...) CORE_REPORTER_PRINTF(2, 3);

// "file(line):" at the given level, with the file name after the last
// backslash of the path (the whole path without one); returns 1.
int CoreReporter_Where(const CoreReporter* record, int32_t level, const char* path, int32_t line);
// A timing line at level 3: the label, a blank and the elapsed time.
int CoreReporter_Elapsed(const CoreReporter* record, const char* label, int32_t milliseconds);
// The formatted message (at most 255 characters) followed by a blank and
// the elapsed time, at level 3.
int CoreReporter_SuccessElapsed(const CoreReporter* record, const char* format, int32_t milliseconds, ...);
// A labelled line at level 5: label, colon, blanks to column 29, then the
// caller's format (at most 128 characters of it) from column 30.
int CoreReporter_Value(const CoreReporter* record, const char* label, const char* format, ...)
    CORE_REPORTER_PRINTF(3, 4);
// The label layout followed by the values ("%.4g " each, "%d " for ints);
// the line stops at 160 characters.
int CoreReporter_Vector(const CoreReporter* record, const char* label, int32_t count, const double* values);
int CoreReporter_IntVector(const CoreReporter* record, const char* label, int32_t count, const int32_t* values);

// The elapsed-time text of the timing lines (without label or leading
// blank) written to out; returns out.
const char* CoreReporter_FormatElapsed(char* out, int32_t size, int32_t milliseconds);

// Progress and abort through the record, shared with another thread of the
// library's caller: whole-value reads and writes, null pointers ignored.
void CoreReporter_SetProgress(const CoreReporter* record, double progress);
bool CoreReporter_AbortRequested(const CoreReporter* record);

#endif
