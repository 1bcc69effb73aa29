// Writing a file so that a failure never damages the file already there.
//
// The new content goes to a temporary file in the target's own folder (so
// that the final replace stays on one volume); every write, the flush, the
// sync to disk and the close are checked, and only then does the temporary
// file replace the target in one step. On any failure the temporary file is
// removed and the target keeps its old content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace files {

class SafeFileWriter {
public:
    SafeFileWriter() = default;
    ~SafeFileWriter();  // discards an uncommitted write
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Creates the temporary file beside `target`. With `utf8` the path is
    // UTF-8 (see utf8_file.h).
    bool Open(const std::string& target, bool utf8 = false);

    // Appends bytes. After the first failure every further call fails too.
    bool Write(const void* data, std::size_t count);

    // Flushes, syncs and closes the temporary file, then replaces the target
    // with it. On failure the target is untouched and the temporary removed.
    bool Commit();

    // Closes and removes the temporary file; the target is untouched.
    void Discard();

    bool IsOpen() const { return file_ != nullptr; }
    bool Failed() const { return errorNumber_ != 0; }
    // errno of the first failure (0 when none).
    int ErrorNumber() const { return errorNumber_; }
    // The run-time library's text for that error, "" when none.
    std::string ErrorText() const;
    const std::string& TemporaryPath() const { return tempPath_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    void Fail(int errorNumber);

    std::FILE* file_ = nullptr;
    std::string target_;
    std::string tempPath_;
    bool utf8_ = false;
    int errorNumber_ = 0;
    std::uint64_t written_ = 0;
};

// Writes a whole buffer to `path` through a SafeFileWriter. On failure
// `errorText` (when given) receives the run-time library's text.
bool WriteFileSafely(const std::string& path, const void* data, std::size_t size,
                     std::string* errorText = nullptr);

// Test seam: every SafeFileWriter in the process behaves as if the disk were
// full after `bytes` bytes of a file (the write that crosses the limit writes
// what fits and fails with ENOSPC). A negative value turns it off.
void SetSafeWriteDiskFullAfterForTesting(std::int64_t bytes);

}  // namespace files
