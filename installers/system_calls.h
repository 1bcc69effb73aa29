// The system calls the two driver installers make, behind one interface:
// the programs use the real ones; the step tests use a fake that keeps a
// small model of devices, INF store, files and message boxes, and can fail
// any call on demand (what Wine cannot show, such as phantom devices or a
// driver update that asks for a restart).
#ifndef INSTALLERS_SYSTEM_CALLS_H
#define INSTALLERS_SYSTEM_CALLS_H

#include <windows.h>
// clang-format off
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

class SystemCalls {
  public:
    virtual ~SystemCalls() = default;

    // Process, files and user interface.
    virtual BOOL VersionInfo(OSVERSIONINFOA* info) = 0;
    virtual DWORD ModulePath(char* path, DWORD size) = 0;
    virtual bool FileExists(const char* path) = 0;
    virtual bool RemoveFile(const char* path) = 0;
    virtual bool WindowAlive(HWND window) = 0;
    virtual int ShowBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
    virtual DWORD LastError() = 0;
    virtual void SetLast(DWORD code) = 0;
    // The system's text for an error code, in a buffer the system allocates
    // (null when it has none), and its release.
    virtual char* ErrorText(DWORD code) = 0;
    virtual void FreeErrorText(char* text) = 0;
    // The install log: a text file opened for writing (null when it cannot
    // be), written and flushed a text at a time.
    virtual void* OpenLog(const char* path) = 0;
    virtual void WriteLog(void* log, const char* text) = 0;
    virtual void CloseLog(void* log) = 0;
    // Writes a line to the standard output (which a windowless program
    // discards).
    virtual void Trace(const char* text) = 0;

    // Device installation.
    virtual HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) = 0;
    virtual BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA device) = 0;
    virtual BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property, PDWORD type,
                                                   PBYTE buffer, DWORD size, PDWORD required) = 0;
    virtual BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD property,
                                                   const BYTE* buffer, DWORD size) = 0;
    virtual BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA device) = 0;
    virtual BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) = 0;
    virtual BOOL SetupDiGetINFClassA(PCSTR inf, LPGUID classGuid, PSTR className, DWORD size, PDWORD required) = 0;
    virtual HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent) = 0;
    virtual BOOL SetupDiCreateDeviceInfoA(HDEVINFO set, PCSTR name, const GUID* classGuid, PCSTR description,
                                          HWND parent, DWORD flags, PSP_DEVINFO_DATA device) = 0;
    virtual CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG flags) = 0;
    virtual CONFIGRET CM_Get_Device_IDA(DEVINST node, PCHAR buffer, ULONG size, ULONG flags) = 0;
    virtual BOOL UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR inf, DWORD flags,
                                                    PBOOL reboot) = 0;
    // A device's own key (its device parameters) and its values.
    virtual HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile,
                                      DWORD keyType, REGSAM access) = 0;
    virtual LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) = 0;
    virtual LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;

    // The INF store.
    virtual BOOL SetupCopyOEMInfA(PCSTR source, PCSTR mediaRoot, DWORD mediaType, DWORD style, PSTR destination,
                                  DWORD size, PDWORD required, PSTR* component) = 0;
    virtual BOOL SetupGetInfFileListA(PCSTR folder, DWORD style, PSTR buffer, DWORD size, PDWORD required) = 0;
    virtual BOOL SetupGetInfInformationA(LPCVOID inf, DWORD search, PSP_INF_INFORMATION buffer, DWORD size,
                                         PDWORD required) = 0;
    virtual BOOL SetupQueryInfFileInformationA(PSP_INF_INFORMATION info, UINT index, PSTR buffer, DWORD size,
                                               PDWORD required) = 0;
    virtual BOOL SetupQueryInfOriginalFileInformationA(PSP_INF_INFORMATION info, UINT index,
                                                       PSP_ALTPLATFORM_INFO platform,
                                                       PSP_ORIGINAL_FILE_INFO_A original) = 0;
    virtual BOOL SetupQueryInfVersionInformationA(PSP_INF_INFORMATION info, UINT index, PCSTR key, PSTR buffer,
                                                  DWORD size, PDWORD required) = 0;
    virtual BOOL SetupUninstallOEMInfA(PCSTR inf, DWORD flags, PVOID reserved) = 0;
};

// The calls of the running system.
SystemCalls& RealSystemCalls();

#endif
