// The batch processing log: what each message level does (prefix, icon,
// time prefix, status line, sound, messages left out), the progress rules of
// the two callbacks, and the saved log file. The list view, the status line
// and the sounds themselves are the batch dialog's; this part decides.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// Icons of the message list, in image-list order.
enum ProcLogIcon : int32_t {
    kLogIconError = 0,
    kLogIconWarning = 1,
    kLogIconStage = 2,
    kLogIconDetail = 3,
    kLogIconPlain = 4,
};

enum class ProcLogSound { kNone, kHand, kExclamation };

// A line as it enters the list.
struct ProcLogLine {
    std::string text;    // with its time prefix, when it has one
    std::string status;  // the status line's new text, empty when it stays
    int32_t icon = kLogIconPlain;
    ProcLogSound sound = ProcLogSound::kNone;
};

// Most characters of a line, its prefix included.
constexpr int32_t kProcLogLineMax = 1024;

// Formats a message of the given level. False when the level adds no line
// (levels 0 and 4, levels outside -1..5, a warning whose format begins with
// "Memory", a stage whose text begins with "Finish"). threadSeconds is the
// calling thread's processor time, shown in front of levels 1 to 3.
bool ProcLog_FormatV(int32_t level, double threadSeconds, const char* format, va_list args, ProcLogLine& out);
bool ProcLog_Format(int32_t level, double threadSeconds, ProcLogLine& out, const char* format, ...);

// True when `part` occurs in `text`, letters compared without case (file
// names are: "SCAN.TVN" is a scan file); an empty text or part gives false.
bool Str_Contains(const char* text, const char* part);

// The progress bar's position for a fraction (range 0 to 1000).
int32_t ProcLog_BarPosition(double fraction);

// The last stage text of a batch: a new text is logged once, a repeated one
// is not.
class ProcLogStage {
  public:
    void Reset() { last_.clear(); }
    // True when `stage` differs from the last one (and is now the last one).
    bool Changed(const char* stage);

  private:
    std::string last_;
};

// A line of the list as it is saved: its text and its icon.
struct ProcLogEntry {
    std::string text;
    int32_t icon;
};

// The saved log's line end: what a text-mode write gives on the platform.
#ifdef _WIN32
constexpr const char* kProcLogLineEnd = "\r\n";
#else
constexpr const char* kProcLogLineEnd = "\n";
#endif

// Writes the log: the header "<product> batch processing log -- <time>" with
// the time in the run-time library's 26-character form, then every line, a
// plain line preceded by an empty one. The file is replaced only when every
// write and the close succeeded; otherwise the old file stays, nothing is
// left beside it, and `message` receives the error text to show.
bool ProcLog_SaveLog(const std::string& path, const char* productName, const std::tm& localTime,
                     const std::vector<ProcLogEntry>& lines, std::string& message);
