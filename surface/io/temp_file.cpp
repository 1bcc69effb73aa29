#include "surface/io/temp_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/os_seam.h"

std::FILE* TempFile_Open(const char* prefix, char* path) {
    if (path == nullptr) return nullptr;
    path[0] = '\0';
    std::string name;
    if (!os::CreateUniqueTempFile(prefix != nullptr ? prefix : "qel", &name)) return nullptr;
    if (name.size() >= static_cast<std::size_t>(kTempPathSize)) {
        // The caller's buffer cannot hold the path, so nobody could delete
        // the file later: remove it now.
        std::remove(name.c_str());
        return nullptr;
    }
    std::memcpy(path, name.c_str(), name.size() + 1);
    std::FILE* file = std::fopen(path, "w+b");
    if (file == nullptr) {
        std::remove(path);
        path[0] = '\0';
    }
    return file;
}

void TempFile_CloseAndDelete(std::FILE* stream, const char* path) {
    if (stream == nullptr) return;
    std::fclose(stream);
    if (path != nullptr && *path != '\0') std::remove(path);
}
