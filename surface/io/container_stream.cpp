// Streams over standard-library FILEs and over the caller's functions.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "surface/io/container.h"

namespace {

std::FILE* File(void* user) { return static_cast<std::FILE*>(user); }

std::size_t FileWrite(const void* buffer, std::size_t size, std::size_t count, void* user) {
    return std::fwrite(buffer, size, count, File(user));
}

std::size_t FileRead(void* buffer, std::size_t size, std::size_t count, void* user) {
    return std::fread(buffer, size, count, File(user));
}

int FilePrint(void* user, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(File(user), format, args);
    va_end(args);
    return written;
}

int FilePutCharacter(int character, void* user) { return std::fputc(character, File(user)); }
int FilePutText(const char* text, void* user) { return std::fputs(text, File(user)); }
int FileError(void* user) { return std::ferror(File(user)); }
int FileSeek(void* user, long offset, int origin) { return std::fseek(File(user), offset, origin); }

// The bytes from the current position to the end of a file that can seek,
// else -1 (a pipe or a terminal). The position is left where it was.
int64_t BytesToEnd(std::FILE* file) {
    const long at = std::ftell(file);
    if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (std::fseek(file, at, SEEK_SET) != 0) return -1;
    return end >= at ? static_cast<int64_t>(end) - at : -1;
}

}  // namespace

void ContainerStream_FromFile(ContainerStream* stream, std::FILE* file) {
    ContainerStream_FromCallbacks(stream, file, &FileWrite, &FileRead, &FilePrint, &FilePutCharacter, &FilePutText,
                                  &FileError, &FileSeek);
    stream->length = file != nullptr ? BytesToEnd(file) : -1;
}

void ContainerStream_FromCallbacks(ContainerStream* stream, void* user,
                                   std::size_t (*write)(const void*, std::size_t, std::size_t, void*),
                                   std::size_t (*read)(void*, std::size_t, std::size_t, void*),
                                   int (*print)(void*, const char*, ...), int (*putCharacter)(int, void*),
                                   int (*putText)(const char*, void*), int (*error)(void*),
                                   int (*seek)(void*, long, int)) {
    stream->ownsFile = 0;
    stream->write = write;
    stream->read = read;
    stream->print = print;
    stream->putCharacter = putCharacter;
    stream->putText = putText;
    stream->error = error;
    stream->seek = seek;
    stream->user = user;
    stream->length = -1;
}

int ContainerStream_Open(ContainerStream* stream, const char* path, const char* mode) {
    std::FILE* file = path != nullptr && mode != nullptr ? std::fopen(path, mode) : nullptr;
    if (file == nullptr) return 0;
    ContainerStream_FromFile(stream, file);
    stream->ownsFile = 1;
    return 1;
}

void ContainerStream_Close(ContainerStream* stream) {
    if (stream == nullptr) return;
    if (stream->ownsFile && stream->user != nullptr) std::fclose(File(stream->user));
    stream->ownsFile = 0;
    stream->user = nullptr;
}
