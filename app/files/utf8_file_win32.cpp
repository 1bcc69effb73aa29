#include "app/files/utf8_file.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cerrno>
#include <cwchar>

namespace files {
namespace {

// UTF-8 to UTF-16; malformed sequences become U+FFFD so that a bad name
// fails to open rather than opening some other file.
std::wstring Widen(const std::string& text) {
    std::wstring out;
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned long cp = 0xFFFD;
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
        if (extra == 0) {
            cp = c;
        } else if (extra > 0 && i + static_cast<std::size_t>(extra) < text.size()) {
            cp = c & (0x3F >> extra);
            bool ok = true;
            for (int k = 1; k <= extra; ++k) {
                unsigned char d = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
                if ((d & 0xC0) != 0x80) { ok = false; break; }
                cp = (cp << 6) | (d & 0x3F);
            }
            if (!ok || cp > 0x10FFFF) {
                cp = 0xFFFD;
                extra = 0;
            }
        } else {
            extra = 0;
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

}  // namespace

std::FILE* OpenFile(const std::string& path, bool utf8, bool forWriting) {
    if (utf8) return ::_wfopen(Widen(path).c_str(), forWriting ? L"wb" : L"rb");
    return std::fopen(path.c_str(), forWriting ? "wb" : "rb");
}

std::FILE* CreateNewFile(const std::string& path, bool utf8) {
    const int flags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
    int fd = utf8 ? ::_wopen(Widen(path).c_str(), flags, _S_IREAD | _S_IWRITE)
                  : ::_open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = ::_fdopen(fd, "wb");
    if (!file) {
        int saved = errno;
        ::_close(fd);
        RemoveFile(path, utf8);
        errno = saved;
    }
    return file;
}

bool RemoveFile(const std::string& path, bool utf8) {
    return (utf8 ? ::_wremove(Widen(path).c_str()) : std::remove(path.c_str())) == 0;
}

bool CanReplaceByName(const std::string& path, bool utf8) {
    if (!utf8) return true;
    for (char c : path)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool FileSize(std::FILE* file, std::uint64_t* size) {
    struct _stati64 info;
    if (::_fstati64(::_fileno(file), &info) != 0) return false;
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool SyncFileToDisk(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

unsigned long CurrentProcessNumber() { return static_cast<unsigned long>(::_getpid()); }

}  // namespace files
