#include "app/files/safe_file_write.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "app/files/utf8_file.h"
#include "platform/os_seam.h"

namespace files {
namespace {

std::atomic<std::int64_t> g_diskFullAfter{-1};
std::atomic<unsigned> g_tempCounter{0};

std::string TemporaryName(const std::string& target, unsigned attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lx-%x-%x.tmp", CurrentProcessNumber(),
                  g_tempCounter.fetch_add(1), attempt);
    return target + suffix;
}

int ErrnoOr(int fallback) { return errno != 0 ? errno : fallback; }

}  // namespace

void SetSafeWriteDiskFullAfterForTesting(std::int64_t bytes) { g_diskFullAfter = bytes; }

SafeFileWriter::~SafeFileWriter() { Discard(); }

void SafeFileWriter::Fail(int errorNumber) {
    if (errorNumber_ == 0) errorNumber_ = errorNumber != 0 ? errorNumber : EIO;
}

std::string SafeFileWriter::ErrorText() const {
    return errorNumber_ == 0 ? std::string() : std::string(std::strerror(errorNumber_));
}

bool SafeFileWriter::Open(const std::string& target, bool utf8) {
    Discard();
    target_ = target;
    utf8_ = utf8;
    errorNumber_ = 0;
    written_ = 0;
    if (!CanReplaceByName(target, utf8)) {
        Fail(EINVAL);
        return false;
    }
    // The name carries the process number and a counter; a clash with a
    // leftover file only makes us try the next name.
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryName(target, attempt);
        errno = 0;
        file_ = CreateNewFile(name, utf8);
        if (file_) {
            tempPath_ = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    Fail(ErrnoOr(EIO));
    return false;
}

bool SafeFileWriter::Write(const void* data, std::size_t count) {
    if (!file_ || Failed()) {
        if (!file_) Fail(EBADF);
        return false;
    }
    std::size_t allowed = count;
    std::int64_t limit = g_diskFullAfter.load();
    if (limit >= 0) {
        std::uint64_t room = written_ >= static_cast<std::uint64_t>(limit)
                                 ? 0 : static_cast<std::uint64_t>(limit) - written_;
        if (room < count) allowed = static_cast<std::size_t>(room);
    }
    errno = 0;
    std::size_t done = allowed == 0 ? 0 : std::fwrite(data, 1, allowed, file_);
    written_ += done;
    if (done != allowed) {
        Fail(ErrnoOr(EIO));
        return false;
    }
    if (allowed != count) {
        Fail(ENOSPC);
        return false;
    }
    return true;
}

bool SafeFileWriter::Commit() {
    if (!file_) {
        Fail(EBADF);
        return false;
    }
    if (!Failed()) {
        errno = 0;
        if (std::fflush(file_) != 0 || std::ferror(file_)) Fail(ErrnoOr(EIO));
    }
    if (!Failed()) {
        errno = 0;
        if (!SyncFileToDisk(file_)) Fail(ErrnoOr(EIO));
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) Fail(ErrnoOr(EIO));
    if (!Failed()) {
        errno = 0;
        if (!os::ReplaceFileAtomically(tempPath_, target_)) Fail(ErrnoOr(EACCES));
    }
    if (Failed()) {
        RemoveFile(tempPath_, utf8_);
        tempPath_.clear();
        return false;
    }
    tempPath_.clear();
    return true;
}

void SafeFileWriter::Discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        RemoveFile(tempPath_, utf8_);
        tempPath_.clear();
    }
}

bool WriteFileSafely(const std::string& path, const void* data, std::size_t size,
                     std::string* errorText) {
    SafeFileWriter writer;
    bool ok = writer.Open(path) && writer.Write(data, size) && writer.Commit();
    if (!ok) {
        if (errorText) *errorText = writer.ErrorText();
        writer.Discard();
    }
    return ok;
}

}  // namespace files
