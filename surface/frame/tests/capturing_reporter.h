// A reporter whose callback formats every message and keeps it with its
// level, for tests of what operations say.
#ifndef SURFACE_FRAME_TESTS_CAPTURING_REPORTER_H
#define SURFACE_FRAME_TESTS_CAPTURING_REPORTER_H

#include "surface/frame/reporter.h"

#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct CapturedLine {
    int32_t level;
    std::string text;
    bool operator==(const CapturedLine& other) const { return level == other.level && text == other.text; }
};

inline std::ostream& operator<<(std::ostream& out, const CapturedLine& line) {
    return out << line.level << " \"" << line.text << "\"";
}

class CapturingReporter {
  public:
    explicit CapturingReporter(int32_t maximumLevel) {
        reporter.callback = &CapturingReporter::Capture;
        reporter.maximumLevel = maximumLevel;
        reporter.user = this;
    }
    CapturingReporter(const CapturingReporter&) = delete;
    CapturingReporter& operator=(const CapturingReporter&) = delete;

    Reporter reporter{};
    std::vector<CapturedLine> lines;
    std::vector<std::string> formats;

  private:
    static int Capture(Reporter* reporter, int32_t level, const char* format, va_list args) {
        auto* self = static_cast<CapturingReporter*>(reporter->user);
        char text[1024];
        std::vsnprintf(text, sizeof(text), format, args);
        self->lines.push_back({level, text});
        self->formats.push_back(format);
        return 0;
    }
};

#endif
