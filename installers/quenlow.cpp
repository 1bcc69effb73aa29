#include "installers/quenlow.h"

#include <newdev.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kHardwareId[] = "USB\\VID_0403&PID_FBC8";
const char kOldService[] = "FTD2XX";
const char kOldInfName[] = "ftd2xx.inf";
const char kOldProvider[] = "Qelvorn";

bool AboveNt4(DWORD major, DWORD) { return major > 4; }

bool IsPhantom(CONFIGRET answer) { return answer == CR_NO_SUCH_DEVINST || answer == CR_NO_SUCH_VALUE; }

// Removes one phantom, logging what happens; a failed removal is logged and
// the walk goes on.
void RemovePhantom(Installer& installer, HDEVINFO set, PSP_DEVINFO_DATA device) {
    SystemCalls& system = installer.System();
    char id[201] = {};
    if (system.CM_Get_Device_IDA(device->DevInst, id, 200, 0) != CR_SUCCESS) return;
    char line[kTextSize];
    std::snprintf(line, sizeof line, "CleanUp:  %s will be removed.\n", id);
    installer.LogText(line);
    if (!system.SetupDiCallClassInstaller(DIF_REMOVE, set, device)) {
        std::snprintf(line, sizeof line, "CleanUp:  Error 0x%lX removing phantom\n",
                      static_cast<unsigned long>(system.LastError()));
        installer.LogText(line);
    }
}

// Reads a size first, then into a buffer of that size (zero-filled, one
// byte more so that a text is always ended). False when either call fails.
template <typename Read>
bool ReadSized(SystemCalls& system, std::vector<char>* out, Read read) {
    DWORD required = 0;
    if (!read(nullptr, 0, &required) && system.LastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    out->assign(required + 2, 0);
    return read(out->data(), required, &required) != FALSE;
}

// An INF of the store that an earlier package put there under the chip
// maker's name: uninstalled (or, on Windows 2000, deleted by hand).
// Returns false after reporting a failure.
bool RemoveOldCopy(Installer& installer, const char* name, bool windows2000) {
    SystemCalls& system = installer.System();
    std::vector<char> infoBytes;
    if (!ReadSized(system, &infoBytes, [&](char* b, DWORD n, DWORD* r) {
            return system.SetupGetInfInformationA(name, INFINFO_DEFAULT_SEARCH,
                                                  reinterpret_cast<PSP_INF_INFORMATION>(b), n, r);
        }))
        return installer.ReportFailure("SetupGetInfInformation"), false;
    auto* info = reinterpret_cast<PSP_INF_INFORMATION>(infoBytes.data());
    char path[MAX_PATH + 1] = {};
    if (!system.SetupQueryInfFileInformationA(info, 0, path, MAX_PATH, nullptr))
        return installer.ReportFailure("SetupQueryInfFileInformation"), false;
    SP_ORIGINAL_FILE_INFO_A original;
    std::memset(&original, 0, sizeof original);
    original.cbSize = sizeof original;
    if (!system.SetupQueryInfOriginalFileInformationA(info, 0, nullptr, &original))
        return installer.ReportFailure("SetupQueryInfOriginalFileInformation"), false;
    original.OriginalInfName[MAX_PATH - 1] = 0;
    if (_stricmp(original.OriginalInfName, kOldInfName) != 0) return true;
    std::vector<char> provider;
    if (!ReadSized(system, &provider, [&](char* b, DWORD n, DWORD* r) {
            return system.SetupQueryInfVersionInformationA(info, 0, "Provider", b, n, r);
        }))
        return installer.ReportFailure("SetupQueryInfVersionInformation"), false;
    if (_stricmp(provider.data(), kOldProvider) != 0) return true;
    char line[kTextSize];
    std::snprintf(line, sizeof line, "Old INF file located as %s\n", name);
    installer.LogMessage(line);
    if (windows2000) {
        std::string pnf(path);
        const size_t dot = pnf.find_last_of('.');
        pnf = (dot == std::string::npos ? pnf : pnf.substr(0, dot)) + ".pnf";
        system.RemoveFile(pnf.c_str());
        system.RemoveFile(path);
        return true;
    }
    if (!system.SetupUninstallOEMInfA(name, 0, nullptr)) return installer.ReportFailure("SetupUninstallOEMInf"), false;
    std::snprintf(line, sizeof line, "INF File %s removed\n", name);
    installer.LogMessage(line);
    return true;
}

bool RemoveOldCopies(Installer& installer, bool windows2000) {
    SystemCalls& system = installer.System();
    std::vector<char> list;
    if (!ReadSized(system, &list, [&](char* b, DWORD n, DWORD* r) {
            return system.SetupGetInfFileListA(nullptr, INF_STYLE_WIN4, b, n, r);
        }))
        return installer.ReportFailure("SetupGetInfFileList"), false;
    // Walked within the bytes the system filled, even when it gives none.
    const size_t size = list.size() - 2;
    for (size_t at = 0; at < size;) {
        const char* name = list.data() + at;
        const size_t n = strnlen(name, size - at);
        if (n == 0) break;
        const std::string file(name, n);
        if (n >= 3 && _strnicmp(file.c_str(), "oem", 3) == 0 && !RemoveOldCopy(installer, file.c_str(), windows2000))
            return false;
        at += n + 1;
    }
    return true;
}

int Finish(Installer& installer, int code) {
    installer.CloseLog();
    return code;
}

}  // namespace

bool RemoveOldPhantomDevices(Installer& installer, const char* hardwareId) {
    SystemCalls& system = installer.System();
    return installer.WalkDevices(DIGCF_ALLCLASSES, [&](HDEVINFO set, PSP_DEVINFO_DATA device) {
        bool error = false;
        const bool ours = installer.DevicePropertyContains(set, device, SPDRP_HARDWAREID, hardwareId, &error) &&
                          installer.DevicePropertyContains(set, device, SPDRP_SERVICE, kOldService, &error);
        if (error) return false;
        ULONG status = 0, problem = 0;
        if (ours && IsPhantom(system.CM_Get_DevNode_Status(&status, &problem, device->DevInst, 0)))
            RemovePhantom(installer, set, device);
        return true;
    });
}

int Quenlow_Run(SystemCalls& system, const char* commandLine) {
    Installer installer(system, commandLine, true);
    DWORD major = 0, minor = 0;
    if (!installer.VersionIs(&AboveNt4, &major, &minor)) {
        installer.ShowMessage("This program must be run under Windows 2000 or XP");
        return kExitFailed;
    }
    const std::string folder = installer.ProgramFolder();
    installer.OpenLog(folder + "install_log.txt");
    const std::string inf = folder + "ftdibus.inf";
    if (!system.FileExists(inf.c_str())) {
        installer.ShowMessage("Installation file ftdibus.inf not found\n");
        return Finish(installer, kExitFailed);
    }
    if (!RemoveOldPhantomDevices(installer, kHardwareId) && system.LastError() != ERROR_NO_MORE_ITEMS) {
        installer.ReportFailure("RemoveOldPhantomDevices");
        return Finish(installer, kExitFailed);
    }
    if (!system.SetupCopyOEMInfA(inf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
        installer.ReportFailure("SetupCopyOEMInf");
        return Finish(installer, kExitFailed);
    }
    BOOL reboot = FALSE;
    if (installer.FindExistingDevice(kHardwareId)) {
        if (!system.UpdateDriverForPlugAndPlayDevicesA(nullptr, kHardwareId, inf.c_str(), INSTALLFLAG_FORCE, &reboot)) {
            installer.ShowUpdateFailure(system.LastError());
            return Finish(installer, kExitFailed);
        }
    } else if (system.LastError() != ERROR_NO_MORE_ITEMS) {
        installer.ReportFailure("FindExistingDevice");
        return Finish(installer, kExitFailed);
    }
    if (!RemoveOldCopies(installer, major == 5 && minor == 0)) return Finish(installer, kExitFailed);
    if (reboot) {
        installer.ShowMessage(
            "Driver installation was successful.\nYou must reboot your computer to finish the installation.\n");
        return Finish(installer, kExitRestart);
    }
    installer.LogMessage("Driver installation was successful.\n");
    return Finish(installer, kExitInstalled);
}
