#include "app/files/utf8_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace files {

std::FILE* OpenFile(const std::string& path, bool, bool forWriting) {
    return std::fopen(path.c_str(), forWriting ? "wb" : "rb");
}

std::FILE* CreateNewFile(const std::string& path, bool) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        int saved = errno;
        ::close(fd);
        ::unlink(path.c_str());
        errno = saved;
    }
    return file;
}

bool RemoveFile(const std::string& path, bool) { return ::unlink(path.c_str()) == 0; }

bool CanReplaceByName(const std::string&, bool) { return true; }

bool FileSize(std::FILE* file, std::uint64_t* size) {
    struct stat info;
    if (::fstat(::fileno(file), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return false;
    }
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool SyncFileToDisk(std::FILE* file) {
    int fd = ::fileno(file);
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

unsigned long CurrentProcessNumber() { return static_cast<unsigned long>(::getpid()); }

}  // namespace files
