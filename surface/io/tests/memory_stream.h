// A container stream over bytes in memory, with hooks that make a transfer
// fail, or raise an abort flag, once a given number of bytes has passed.
#ifndef SURFACE_IO_TESTS_MEMORY_STREAM_H
#define SURFACE_IO_TESTS_MEMORY_STREAM_H

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "surface/io/container.h"

class MemoryStream {
  public:
    explicit MemoryStream(std::string bytes = std::string()) : bytes_(std::move(bytes)) {
        ContainerStream_FromCallbacks(&stream, this, &Write, &Read, &Print, &PutCharacter, &PutText, &Error, &Seek);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    ContainerStream stream{};
    int64_t failAfter = -1;   // bytes that pass before transfers fail
    int64_t abortAfter = -1;  // bytes that pass before *abortFlag is set
    int32_t* abortFlag = nullptr;
    bool seekable = true;
    bool knownLength = false;  // tells the reader how much remains

    const std::string& bytes() const { return bytes_; }
    void Prepare() { stream.length = knownLength ? static_cast<int64_t>(bytes_.size() - position_) : -1; }

  private:
    std::string bytes_;
    std::size_t position_ = 0;
    int64_t passed_ = 0;
    bool failed_ = false;

    static MemoryStream* Self(void* user) { return static_cast<MemoryStream*>(user); }

    // How many of `n` bytes may pass; records a failure when not all.
    std::size_t Allow(std::size_t n) {
        std::size_t allowed = n;
        if (failAfter >= 0 && passed_ + static_cast<int64_t>(n) > failAfter) {
            allowed = passed_ >= failAfter ? 0 : static_cast<std::size_t>(failAfter - passed_);
            failed_ = true;
        }
        passed_ += static_cast<int64_t>(allowed);
        if (abortAfter >= 0 && abortFlag != nullptr && passed_ >= abortAfter) *abortFlag = 1;
        return allowed;
    }

    bool Append(const char* text, std::size_t n) {
        const std::size_t allowed = Allow(n);
        bytes_.append(text, allowed);
        return allowed == n;
    }

    static std::size_t Write(const void* buffer, std::size_t size, std::size_t count, void* user) {
        MemoryStream* self = Self(user);
        if (size == 0) return 0;
        const std::size_t allowed = self->Allow(size * count) / size;
        self->bytes_.append(static_cast<const char*>(buffer), allowed * size);
        return allowed;
    }
    static std::size_t Read(void* buffer, std::size_t size, std::size_t count, void* user) {
        MemoryStream* self = Self(user);
        if (size == 0) return 0;
        std::size_t n = size * count;
        const std::size_t left = self->bytes_.size() - std::min(self->position_, self->bytes_.size());
        if (n > left) n = left;
        n = self->Allow(n) / size * size;
        if (n > 0) self->bytes_.copy(static_cast<char*>(buffer), n, self->position_);
        self->position_ += n;
        return n / size;
    }
    static int Print(void* user, const char* format, ...) {
        char text[512];
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        return n >= 0 && Self(user)->Append(text, static_cast<std::size_t>(n)) ? n : -1;
    }
    static int PutCharacter(int character, void* user) {
        const char c = static_cast<char>(character);
        return Self(user)->Append(&c, 1) ? static_cast<unsigned char>(c) : -1;
    }
    static int PutText(const char* text, void* user) {
        return Self(user)->Append(text, std::char_traits<char>::length(text)) ? 1 : -1;
    }
    static int Error(void* user) { return Self(user)->failed_ ? 1 : 0; }
    static int Seek(void* user, long offset, int origin) {
        MemoryStream* self = Self(user);
        if (!self->seekable || origin != SEEK_CUR || offset < 0) return -1;
        self->position_ += static_cast<std::size_t>(offset);
        return 0;
    }
};

#endif
