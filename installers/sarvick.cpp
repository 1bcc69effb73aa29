#include "installers/sarvick.h"

#include <newdev.h>

#include <cstring>
#include <string>

namespace {

const char kHardwareId[] = "*ombrixwdmDevice";

bool Windows2000(DWORD major, DWORD minor) { return major == 5 && minor == 0; }

}  // namespace

bool InstallRootDevice(Installer& installer, const char* hardwareId, const char* inf, BOOL* reboot) {
    SystemCalls& system = installer.System();
    system.SetLast(0);
    GUID classGuid;
    char className[32] = {};
    if (!system.SetupDiGetINFClassA(inf, &classGuid, className, sizeof className, nullptr)) {
        installer.ReportFailure("GetINFClass");
        return false;
    }
    HDEVINFO set = system.SetupDiCreateDeviceInfoList(&classGuid, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        installer.ReportFailure("CreateDeviceInfoList");
        return false;
    }
    // Judged by each step's own result: a stale or zero last error neither
    // fails a good installation nor passes a failed one.
    bool ok = true;
    SP_DEVINFO_DATA device;
    std::memset(&device, 0, sizeof device);
    device.cbSize = sizeof device;
    if (!system.SetupDiCreateDeviceInfoA(set, className, &classGuid, nullptr, nullptr, DICD_GENERATE_ID, &device)) {
        installer.ReportFailure("CreateDeviceInfo");
        ok = false;
    }
    if (ok) {
        // The hardware id as a multi-string: the text, its zero, one more.
        std::string ids(hardwareId);
        ids.push_back(0);
        ids.push_back(0);
        if (!system.SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                                      reinterpret_cast<const BYTE*>(ids.data()),
                                                      static_cast<DWORD>(ids.size()))) {
            installer.ReportFailure("SetDeviceRegistryProperty");
            ok = false;
        }
    }
    if (ok && !system.SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
        installer.ReportFailure("CallClassInstaller(REGISTERDEVICE)");
        ok = false;
    }
    if (ok && !system.UpdateDriverForPlugAndPlayDevicesA(nullptr, hardwareId, inf, INSTALLFLAG_FORCE, reboot)) {
        const DWORD code = system.LastError();
        installer.ShowUpdateFailure(code);
        if (!system.SetupDiCallClassInstaller(DIF_REMOVE, set, &device))
            installer.ReportFailure("CallClassInstaller(REMOVE)");
        system.SetLast(code);
        ok = false;
    }
    const DWORD kept = system.LastError();
    system.SetupDiDestroyDeviceInfoList(set);
    system.SetLast(kept);
    return ok;
}

namespace {

const char kConnectSwitch[] = "EnableConnectInterruptIoctl";

// One port's switch: set when it is not; false after a failure (shown).
bool EnablePortSwitch(Installer& installer, HDEVINFO set, PSP_DEVINFO_DATA device, bool* changed) {
    SystemCalls& system = installer.System();
    HKEY key = system.SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (key == INVALID_HANDLE_VALUE) {
        installer.ReportFailure("OpenDevRegKey");
        return false;
    }
    DWORD type = 0, value = 0, size = sizeof value;
    const LONG read = system.RegQueryValueExA(key, kConnectSwitch, &type, reinterpret_cast<BYTE*>(&value), &size);
    bool ok = true;
    if (read != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value == 0) {
        const DWORD on = 1;
        const LONG written =
            system.RegSetValueExA(key, kConnectSwitch, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
        if (written == ERROR_SUCCESS) {
            *changed = true;
        } else {
            system.SetLast(static_cast<DWORD>(written));
            installer.ReportFailure("RegSetValueEx");
            ok = false;
        }
    }
    system.RegCloseKey(key);
    return ok;
}

}  // namespace

bool EnableConnectInterrupt(Installer& installer, bool* changed) {
    bool failed = false;
    installer.WalkDevices(DIGCF_ALLCLASSES | DIGCF_PRESENT, [&](HDEVINFO set, PSP_DEVINFO_DATA device) {
        bool error = false;
        if (installer.DevicePropertyContains(set, device, SPDRP_SERVICE, "Parport", &error) &&
            !EnablePortSwitch(installer, set, device, changed))
            error = true;
        failed = failed || error;
        return !error;
    });
    return !failed && installer.System().LastError() == ERROR_NO_MORE_ITEMS;
}

int Sarvick_Run(SystemCalls& system, const char* commandLine) {
    Installer installer(system, commandLine, false);
    if (!installer.VersionIs(&Windows2000)) {
        installer.ShowMessage("This program must be run under Windows 2000");
        return kExitFailed;
    }
    const std::string inf = installer.ProgramFolder() + "ombrix.inf";
    if (!system.FileExists(inf.c_str())) {
        installer.ShowMessage("Installation file ombrix.inf not found\n");
        return kExitFailed;
    }
    BOOL reboot = FALSE;
    if (!installer.FindExistingDevice(kHardwareId)) {
        if (system.LastError() != ERROR_NO_MORE_ITEMS) {
            installer.ReportFailure("FindExistingDevice");
            return kExitFailed;
        }
        if (!InstallRootDevice(installer, kHardwareId, inf.c_str(), &reboot)) return kExitFailed;
    } else if (!system.UpdateDriverForPlugAndPlayDevicesA(nullptr, kHardwareId, inf.c_str(), INSTALLFLAG_FORCE,
                                                          &reboot)) {
        installer.ShowUpdateFailure(system.LastError());
        return kExitFailed;
    }
    // The driver can use a port's interrupt only once the port driver has
    // started with its switch set: setting it asks for a restart.
    bool switched = false;
    if (!EnableConnectInterrupt(installer, &switched)) return kExitFailed;
    if (reboot || switched) {
        installer.ShowMessage(
            "Driver installation was successful.\nYou must reboot your computer to finish the installation.\n");
        return kExitRestart;
    }
    installer.ShowMessage("Driver installation was successful.\n");
    return kExitInstalled;
}
