#include "installers/system_calls.h"

#include <newdev.h>

#include <cstdio>

namespace {

class RealSystem final : public SystemCalls {
  public:
    BOOL VersionInfo(OSVERSIONINFOA* info) override { return GetVersionExA(info); }
    DWORD ModulePath(char* path, DWORD size) override { return GetModuleFileNameA(nullptr, path, size); }
    bool FileExists(const char* path) override {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA(path, &found);
        if (h == INVALID_HANDLE_VALUE) return false;
        FindClose(h);
        return true;
    }
    bool RemoveFile(const char* path) override { return DeleteFileA(path) != FALSE; }
    bool WindowAlive(HWND window) override { return IsWindow(window) != FALSE; }
    int ShowBox(HWND owner, const char* text, const char* caption, UINT type) override {
        return MessageBoxA(owner, text, caption, type);
    }
    DWORD LastError() override { return GetLastError(); }
    void SetLast(DWORD code) override { SetLastError(code); }
    char* ErrorText(DWORD code) override {
        char* text = nullptr;
        const DWORD n = FormatMessageA(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
        if (n == 0 && text != nullptr) {
            LocalFree(text);
            return nullptr;
        }
        return n == 0 ? nullptr : text;
    }
    void FreeErrorText(char* text) override {
        if (text != nullptr) LocalFree(text);
    }
    void* OpenLog(const char* path) override { return std::fopen(path, "w"); }
    void WriteLog(void* log, const char* text) override {
        std::fputs(text, static_cast<std::FILE*>(log));
        std::fflush(static_cast<std::FILE*>(log));
    }
    void CloseLog(void* log) override { std::fclose(static_cast<std::FILE*>(log)); }
    void Trace(const char* text) override { std::fputs(text, stdout); }

    HDEVINFO SetupDiGetClassDevsA(const GUID* g, PCSTR e, HWND p, DWORD f) override {
        return ::SetupDiGetClassDevsA(g, e, p, f);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO s, DWORD i, PSP_DEVINFO_DATA d) override {
        return ::SetupDiEnumDeviceInfo(s, i, d);
    }
    BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO s, PSP_DEVINFO_DATA d, DWORD p, PDWORD t, PBYTE b, DWORD n,
                                           PDWORD r) override {
        return ::SetupDiGetDeviceRegistryPropertyA(s, d, p, t, b, n, r);
    }
    BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO s, PSP_DEVINFO_DATA d, DWORD p, const BYTE* b, DWORD n) override {
        return ::SetupDiSetDeviceRegistryPropertyA(s, d, p, b, n);
    }
    BOOL SetupDiCallClassInstaller(DI_FUNCTION f, HDEVINFO s, PSP_DEVINFO_DATA d) override {
        return ::SetupDiCallClassInstaller(f, s, d);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO s) override { return ::SetupDiDestroyDeviceInfoList(s); }
    BOOL SetupDiGetINFClassA(PCSTR i, LPGUID g, PSTR c, DWORD n, PDWORD r) override {
        return ::SetupDiGetINFClassA(i, g, c, n, r);
    }
    HDEVINFO SetupDiCreateDeviceInfoList(const GUID* g, HWND p) override { return ::SetupDiCreateDeviceInfoList(g, p); }
    BOOL SetupDiCreateDeviceInfoA(HDEVINFO s, PCSTR n, const GUID* g, PCSTR d, HWND p, DWORD f,
                                  PSP_DEVINFO_DATA o) override {
        return ::SetupDiCreateDeviceInfoA(s, n, g, d, p, f, o);
    }
    CONFIGRET CM_Get_DevNode_Status(PULONG s, PULONG p, DEVINST d, ULONG f) override {
        return ::CM_Get_DevNode_Status(s, p, d, f);
    }
    CONFIGRET CM_Get_Device_IDA(DEVINST d, PCHAR b, ULONG n, ULONG f) override {
        return ::CM_Get_Device_IDA(d, b, n, f);
    }
    BOOL UpdateDriverForPlugAndPlayDevicesA(HWND p, LPCSTR h, LPCSTR i, DWORD f, PBOOL r) override {
        return ::UpdateDriverForPlugAndPlayDevicesA(p, h, i, f, r);
    }
    HKEY SetupDiOpenDevRegKey(HDEVINFO s, PSP_DEVINFO_DATA d, DWORD c, DWORD p, DWORD k, REGSAM a) override {
        return ::SetupDiOpenDevRegKey(s, d, c, p, k, a);
    }
    LONG RegQueryValueExA(HKEY k, LPCSTR n, LPDWORD t, LPBYTE d, LPDWORD s) override {
        return ::RegQueryValueExA(k, n, nullptr, t, d, s);
    }
    LONG RegSetValueExA(HKEY k, LPCSTR n, DWORD t, const BYTE* d, DWORD s) override {
        return ::RegSetValueExA(k, n, 0, t, d, s);
    }
    LONG RegCloseKey(HKEY k) override { return ::RegCloseKey(k); }
    BOOL SetupCopyOEMInfA(PCSTR s, PCSTR m, DWORD t, DWORD y, PSTR d, DWORD n, PDWORD r, PSTR* c) override {
        return ::SetupCopyOEMInfA(s, m, t, y, d, n, r, c);
    }
    BOOL SetupGetInfFileListA(PCSTR d, DWORD s, PSTR b, DWORD n, PDWORD r) override {
        return ::SetupGetInfFileListA(d, s, b, n, r);
    }
    BOOL SetupGetInfInformationA(LPCVOID i, DWORD s, PSP_INF_INFORMATION b, DWORD n, PDWORD r) override {
        return ::SetupGetInfInformationA(i, s, b, n, r);
    }
    BOOL SetupQueryInfFileInformationA(PSP_INF_INFORMATION i, UINT x, PSTR b, DWORD n, PDWORD r) override {
        return ::SetupQueryInfFileInformationA(i, x, b, n, r);
    }
    BOOL SetupQueryInfOriginalFileInformationA(PSP_INF_INFORMATION i, UINT x, PSP_ALTPLATFORM_INFO p,
                                               PSP_ORIGINAL_FILE_INFO_A o) override {
        return ::SetupQueryInfOriginalFileInformationA(i, x, p, o);
    }
    BOOL SetupQueryInfVersionInformationA(PSP_INF_INFORMATION i, UINT x, PCSTR k, PSTR b, DWORD n, PDWORD r) override {
        return ::SetupQueryInfVersionInformationA(i, x, k, b, n, r);
    }
    // SetupUninstallOEMInf first came with Windows XP: on Windows 2000 the
    // installer removes the old files itself and never calls it, and the
    // program must still load there, so the function is looked up when used.
    BOOL SetupUninstallOEMInfA(PCSTR i, DWORD f, PVOID r) override {
        using Uninstall = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);
        HMODULE setupapi = GetModuleHandleA("setupapi.dll");
        const auto uninstall =
            setupapi ? reinterpret_cast<Uninstall>(reinterpret_cast<void*>(GetProcAddress(setupapi, "SetupUninstallOEMInfA"))) : nullptr;
        if (!uninstall) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return FALSE;
        }
        return uninstall(i, f, r);
    }
};

}  // namespace

SystemCalls& RealSystemCalls() {
    static RealSystem system;
    return system;
}
