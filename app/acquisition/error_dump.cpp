#include "app/acquisition/error_dump.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/os_seam.h"

namespace {

const char* const kKindNames[] = {"FieldFraming", "PUVersion", "SerialNumber"};
std::FILE* g_files[3] = {nullptr, nullptr, nullptr};
std::mutex g_mutex;  // taken only on the error path

}  // namespace

bool GetTempFolder(std::string& out) {
    const char* temp = std::getenv("temp");
    if (!temp || !*temp) temp = std::getenv("TEMP");
    if (temp && *temp) {
        out = temp;
        return true;
    }
    const char* drive = std::getenv("SystemDrive");
    if (drive && *drive) {
        out = drive;
        return true;
    }
    return false;
}

void DumpErrorField(FieldDumpKind kind, const void* field, std::size_t bytes) {
    const int index = static_cast<int>(kind);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_files[index]) {
        std::string folder;
        if (!GetTempFolder(folder)) return;
        if (folder.back() != '/' && folder.back() != os::PathSeparator()) folder += os::PathSeparator();
        const std::string path = folder + "Tolvaran_" + kKindNames[index] + "Error.dat";
        g_files[index] = std::fopen(path.c_str(), "wb");
        if (!g_files[index]) return;
    }
    std::fwrite(field, 1, bytes, g_files[index]);
    std::fflush(g_files[index]);
}

void CloseErrorDumps() {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (std::FILE*& file : g_files) {
        if (file) std::fclose(file);
        file = nullptr;
    }
}
