// The one way every export writer puts bytes into a file.
//
// Bytes gather in a buffer and go to a files::SafeFileWriter, so a failed
// export never leaves a truncated file under the chosen name: the target
// keeps its old content (or stays absent) until Commit succeeds, and Commit
// checks the flush and the close as well as every write. There is no
// seeking: formats that patch lengths build their bytes first.
//
// Printf formats numbers with a decimal point whatever the locale, and
// exponents with at least two digits, so that every build writes the same
// bytes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/files/safe_file_write.h"

class ExportSink {
  public:
    ExportSink();
    ~ExportSink();  // discards an uncommitted file
    ExportSink(const ExportSink&) = delete;
    ExportSink& operator=(const ExportSink&) = delete;

    // Starts the file; false when it cannot be created (nothing is left).
    bool Open(const std::string& path);
    bool Write(const void* data, std::size_t count);
    bool Put(const std::string& text) { return Write(text.data(), text.size()); }
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    bool
    Printf(const char* format, ...);
    bool VPrintf(const char* format, std::va_list args);
    // Writes what is left, then replaces the target with the new file. False
    // (and nothing under the target changed) when any step failed.
    bool Commit();
    void Discard();

    bool Failed() const { return failed_ || writer_.Failed(); }
    int ErrorNumber() const;
    // The run-time library's text of the first failure.
    std::string ErrorText() const;

  private:
    bool Flush();

    files::SafeFileWriter writer_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool open_ = false;
    bool failed_ = false;
    int openError_ = 0;
};

// The same number formatting into a string (the comment and header texts).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Export_Format(const char* format, ...);
std::string Export_VFormat(const char* format, std::va_list args);
