#include "surface/io/temp_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<unsigned> g_counter{0};

// The temporary folder with its trailing separator.
void TempFolder(char* folder, std::size_t size) {
    const char* names[] = {"TMPDIR", "TMP", "TEMP"};
    const char* dir = nullptr;
    for (const char* name : names) {
        dir = std::getenv(name);
        if (dir != nullptr && *dir != '\0') break;
        dir = nullptr;
    }
    // Windows accepts '/' as a separator as well.
#ifdef _WIN32
    if (dir == nullptr) dir = ".";
#else
    if (dir == nullptr) dir = "/tmp";
#endif
    const std::size_t n = std::strlen(dir);
    std::snprintf(folder, size, "%s%s", dir, n > 0 && (dir[n - 1] == '/' || dir[n - 1] == '\\') ? "" : "/");
}

bool Exists(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

}  // namespace

std::FILE* TempFile_Open(const char* prefix, char* path) {
    if (path == nullptr) return nullptr;
    char folder[kTempPathSize];
    TempFolder(folder, sizeof folder);
    const unsigned seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const unsigned n = (seed ^ (g_counter.fetch_add(1) * 2654435761u)) & 0xFFFFFFu;
        const int written = std::snprintf(path, kTempPathSize, "%s%s%06x.tmp", folder, prefix ? prefix : "qel", n);
        if (written <= 0 || written >= kTempPathSize) return nullptr;
        if (Exists(path)) continue;
        std::FILE* f = std::fopen(path, "w+b");
        if (f != nullptr) return f;
    }
    path[0] = '\0';
    return nullptr;
}

void TempFile_CloseAndDelete(std::FILE* stream, const char* path) {
    if (stream == nullptr) return;
    std::fclose(stream);
    if (path != nullptr && *path != '\0') std::remove(path);
}
