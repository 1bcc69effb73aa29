#include "installers/installer_skeleton.h"

#include <cstdio>
#include <cstring>
#include <vector>

HWND Installer_ParseOwner(const char* commandLine) {
    if (commandLine == nullptr) return nullptr;
    const char* p = commandLine;
    while (*p == ' ' || *p == '\t') ++p;
    const ULONG_PTR largest = static_cast<ULONG_PTR>(-1);
    ULONG_PTR value = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9') {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (value > (largest - digit) / 10) return nullptr;  // no such window
        value = value * 10 + digit;
        ++p;
    }
    if (p == digits) return nullptr;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p != 0) return nullptr;
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(value));
}

Installer::Installer(SystemCalls& system, const char* commandLine, bool withLog)
    : system_(system), owner_(Installer_ParseOwner(commandLine)), withLog_(withLog) {}

Installer::~Installer() { CloseLog(); }

std::string Installer::ProgramFolder() {
    char path[MAX_PATH + 1] = {};
    const DWORD n = system_.ModulePath(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        ReportFailure("GetModuleFilename");
        return std::string();
    }
    std::string folder(path, n);
    const size_t cut = folder.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
}

bool Installer::VersionIs(bool (*accept)(DWORD, DWORD), DWORD* major, DWORD* minor) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!system_.VersionInfo(&info)) return false;
    if (major != nullptr) *major = info.dwMajorVersion;
    if (minor != nullptr) *minor = info.dwMinorVersion;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && accept(info.dwMajorVersion, info.dwMinorVersion);
}

void Installer::OpenLog(const std::string& path) {
    if (withLog_ && log_ == nullptr) log_ = system_.OpenLog(path.c_str());
}

void Installer::CloseLog() {
    if (log_ != nullptr) system_.CloseLog(log_);
    log_ = nullptr;
}

void Installer::LogText(const char* text) {
    if (log_ != nullptr) system_.WriteLog(log_, text);
}

void Installer::ShowMessage(const char* text) {
    if (withLog_) LogText(text);
    // A window closed since the start owns no box, now or later.
    if (owner_ != nullptr && !system_.WindowAlive(owner_)) owner_ = nullptr;
    system_.ShowBox(owner_, text, "Message", MB_OK);
}

int Installer::ReportFailure(const char* step) {
    const DWORD code = system_.LastError();
    char* systemText = system_.ErrorText(code);
    char text[kTextSize];
    if (systemText != nullptr)
        std::snprintf(text, sizeof text, "%s FAILURE: %s\n", step, systemText);
    else
        std::snprintf(text, sizeof text, "%s FAILURE: (0x%08lx)\n", step, static_cast<unsigned long>(code));
    ShowMessage(text);
    system_.FreeErrorText(systemText);
    system_.SetLast(code);
    return 0;
}

void Installer::ShowUpdateFailure(DWORD code) {
    if (code == ERROR_ACCESS_DENIED) {
        ShowMessage("This program must be run by an administrator.\n");
    } else if (code == 0 || code == 0xE000022F) {
        ShowMessage("Driver installation failed.\n");
    } else if (code == 0xE000022B) {
        ShowMessage("Windows has determined your driver does not need updating.\n");
    } else {
        system_.SetLast(code);
        ReportFailure("UpdateDriverForPlugAndPlayDevices");
    }
}

bool Installer::DevicePropertyContains(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, const char* text,
                                       bool* error) {
    std::vector<char> buffer;
    DWORD size = 0;
    // Read at the size the system asks for, until it fits (a size that does
    // not grow ends the reading as a failure rather than a loop).
    for (;;) {
        DWORD type = 0, required = 0;
        if (system_.SetupDiGetDeviceRegistryPropertyA(set, device, property, &type,
                                                      buffer.empty() ? nullptr : reinterpret_cast<BYTE*>(buffer.data()),
                                                      size, &required))
            break;
        const DWORD code = system_.LastError();
        if (code == ERROR_INVALID_DATA) return false;
        if (code == ERROR_INSUFFICIENT_BUFFER && required > size) {
            buffer.assign(required, 0);
            size = required;
            continue;
        }
        ReportFailure("GetDeviceRegistryProperty");
        *error = true;
        return false;
    }
    // The multi-string, walked within the bytes read: a list without its
    // closing zeros ends where the bytes do.
    const size_t length = std::strlen(text);
    for (size_t at = 0; at < size;) {
        const char* s = buffer.data() + at;
        const size_t n = strnlen(s, size - at);
        if (n == 0) break;
        if (n == length && _strnicmp(s, text, n) == 0) {
            char line[kTextSize];
            std::snprintf(line, sizeof line, "Found! [%.*s]\n", static_cast<int>(n), s);
            system_.Trace(line);
            return true;
        }
        at += n + 1;
    }
    return false;
}

bool Installer::WalkDevices(DWORD flags, const std::function<bool(HDEVINFO, PSP_DEVINFO_DATA)>& visit) {
    HDEVINFO set = system_.SetupDiGetClassDevsA(nullptr, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        ReportFailure("GetClassDevs(All Present Devices)");
        return false;
    }
    bool enumerationFailed = false;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device;
        std::memset(&device, 0, sizeof device);
        device.cbSize = sizeof device;
        if (!system_.SetupDiEnumDeviceInfo(set, index, &device)) {
            enumerationFailed = true;
            break;
        }
        if (!visit(set, &device)) break;
    }
    if (enumerationFailed && system_.LastError() != ERROR_NO_MORE_ITEMS) ReportFailure("EnumDeviceInfo");
    const DWORD kept = system_.LastError();
    system_.SetupDiDestroyDeviceInfoList(set);
    system_.SetLast(kept);
    return kept == 0;
}

bool Installer::FindExistingDevice(const char* hardwareId) {
    return WalkDevices(DIGCF_ALLCLASSES | DIGCF_PRESENT, [&](HDEVINFO set, PSP_DEVINFO_DATA device) {
        bool error = false;
        if (DevicePropertyContains(set, device, SPDRP_HARDWAREID, hardwareId, &error)) {
            // The walk's own reads leave stale errors behind: found is 0.
            system_.SetLast(0);
            return false;
        }
        return !error;
    });
}
