// What both driver installers share: the owner window from the command
// line, message boxes, the install log, failure reports with the system's
// text for the last error, the search for a present device by hardware id,
// and the exit codes the setup package reads.
#ifndef INSTALLERS_INSTALLER_SKELETON_H
#define INSTALLERS_INSTALLER_SKELETON_H

#include <functional>
#include <string>

#include "installers/system_calls.h"

enum InstallerExit { kExitInstalled = 0, kExitRestart = 1, kExitFailed = 2 };

// Texts are formatted into buffers of this size; longer ones are cut.
constexpr int kTextSize = 1024;

class Installer {
  public:
    // commandLine: the arguments only (the setup package's window handle as
    // an unsigned decimal number). withLog: messages also go to the log.
    Installer(SystemCalls& system, const char* commandLine, bool withLog);
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    SystemCalls& System() { return system_; }
    HWND Owner() const { return owner_; }

    // The program's own folder, ending in a separator ("" when the system
    // gives no path, after reporting "GetModuleFilename").
    std::string ProgramFolder();
    // True on NT-family systems of the version the caller accepts.
    bool VersionIs(bool (*accept)(DWORD major, DWORD minor), DWORD* major = nullptr, DWORD* minor = nullptr);

    void OpenLog(const std::string& path);
    void CloseLog();
    void LogText(const char* text);
    void LogMessage(const char* text) { LogText(text); }
    void ShowMessage(const char* text);
    // "<step> FAILURE: <system text>" (or "(0x%08x)" without one) in a box;
    // the last error is left as it was. Returns 0.
    int ReportFailure(const char* step);
    // The box for a failed driver update, by its error code.
    void ShowUpdateFailure(DWORD code);

    // True when the device's multi-string property holds the text (case
    // ignored). A read error other than a missing property is reported and
    // sets *error.
    bool DevicePropertyContains(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, const char* text, bool* error);
    // True when a present device has the hardware id; the last error is then
    // 0. False with ERROR_NO_MORE_ITEMS when none has it; any other last
    // error is a failure (already reported).
    bool FindExistingDevice(const char* hardwareId);
    // Visits the devices of a set made with the flags until `visit` says
    // stop; an enumeration error other than the end is reported. True
    // exactly when the last error, kept across the set's destruction, is 0.
    bool WalkDevices(DWORD flags, const std::function<bool(HDEVINFO, PSP_DEVINFO_DATA)>& visit);

  private:
    SystemCalls& system_;
    HWND owner_;
    bool withLog_;
    void* log_ = nullptr;
};

// The owner window's number: the command line's unsigned decimal number
// (surrounding blanks allowed), or 0 for none or anything else.
HWND Installer_ParseOwner(const char* commandLine);

#endif
