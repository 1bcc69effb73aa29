#include "platform/os_seam.h"

#include <windows.h>
#include <io.h>
#include <wincrypt.h>

namespace os {

bool SystemRandomBytes(void* out, std::size_t count);

std::size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* ReserveMemory(std::size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitMemory(void* address, std::size_t bytes) {
    return VirtualAlloc(address, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

bool DecommitMemory(void* address, std::size_t bytes) {
    return VirtualFree(address, bytes, MEM_DECOMMIT) != 0;
}

void ReleaseMemory(void* address, std::size_t) {
    if (address) VirtualFree(address, 0, MEM_RELEASE);
}

bool SystemRandomBytes(void* out, std::size_t count) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    BOOL ok = CryptGenRandom(provider, static_cast<DWORD>(count), static_cast<BYTE*>(out));
    CryptReleaseContext(provider, 0);
    return ok != 0;
}

std::uint64_t SteadyMilliseconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<std::uint64_t>(now.QuadPart / (frequency.QuadPart / 1000));
}

std::int64_t WallClockSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    // 100-ns ticks since 1601 to seconds since 1970.
    return static_cast<std::int64_t>(t.QuadPart / 10000000ULL) - 11644473600LL;
}

std::string ModuleFolder() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ModuleFolder), &module);
    char buffer[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return ".\\";
    std::string path(buffer, n);
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? ".\\" : path.substr(0, slash + 1);
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

char PathSeparator() { return '\\'; }

bool CreateUniqueTempFile(const std::string& prefix, std::string* path) {
    char folder[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > MAX_PATH) return false;
    // With 0 as the unique number the system picks a free name and creates
    // the empty file, so the name stays ours.
    char name[MAX_PATH];
    if (GetTempFileNameA(folder, prefix.c_str(), 0, name) == 0) return false;
    *path = name;
    return true;
}

bool IsTerminal(std::FILE* file) { return file != nullptr && _isatty(_fileno(file)) != 0; }

}  // namespace os
