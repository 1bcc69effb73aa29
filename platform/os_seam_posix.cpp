#include "platform/os_seam.h"

#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace os {

bool SystemRandomBytes(void* out, std::size_t count);

std::size_t PageSize() {
    static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

void* ReserveMemory(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool CommitMemory(void* address, std::size_t bytes) {
    return mprotect(address, bytes, PROT_READ | PROT_WRITE) == 0;
}

bool DecommitMemory(void* address, std::size_t bytes) {
    // Give the pages back and make the range inaccessible again; a later
    // commit sees zeroes, as on Windows.
    if (madvise(address, bytes, MADV_DONTNEED) != 0) return false;
    return mprotect(address, bytes, PROT_NONE) == 0;
}

void ReleaseMemory(void* address, std::size_t bytes) {
    if (address) munmap(address, bytes);
}

bool SystemRandomBytes(void* out, std::size_t count) {
    auto* p = static_cast<unsigned char*>(out);
    while (count > 0) {
        ssize_t got = getrandom(p, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

std::uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::int64_t WallClockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string ModuleFolder() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "./";
    std::string path(buffer, static_cast<std::size_t>(n));
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

bool IsDirectory(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

char PathSeparator() { return '/'; }

bool CreateUniqueTempFile(const std::string& prefix, std::string* path) {
    const char* folder = std::getenv("TMPDIR");
    std::string name = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    if (name.back() != '/') name += '/';
    name += prefix + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    // mkstemp creates the file exclusively, so two callers never share it.
    const int fd = mkstemp(buffer.data());
    if (fd < 0) return false;
    close(fd);
    *path = buffer.data();
    return true;
}

bool IsTerminal(std::FILE* file) { return file != nullptr && isatty(fileno(file)) != 0; }

}  // namespace os
