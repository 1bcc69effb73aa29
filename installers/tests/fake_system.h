// A fake of the installers' system calls: a small model of devices (with
// their hardware ids, service, presence), the INF store, files, windows and
// message boxes, the install log, and failures on demand: `Fail("call", n,
// code)` makes the n-th call (from 1) of that name fail with the code.
#ifndef INSTALLERS_TESTS_FAKE_SYSTEM_H
#define INSTALLERS_TESTS_FAKE_SYSTEM_H

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "installers/system_calls.h"

struct FakeDevice {
    std::string hardwareIds;  // multi-string bytes as the property holds them (empty: no property)
    std::string service;      // empty: no property
    bool present = true;
    std::string instanceId;
    std::map<std::string, DWORD> parameters;  // REG_DWORD values of its device key
    bool operator==(const FakeDevice& o) const {
        return std::tie(hardwareIds, service, present, instanceId, parameters) ==
               std::tie(o.hardwareIds, o.service, o.present, o.instanceId, o.parameters);
    }
};

struct FakeInf {
    std::string original;  // the name it was first installed as
    std::string provider;
    bool operator==(const FakeInf& o) const { return original == o.original && provider == o.provider; }
};

struct FakeBox {
    HWND owner;
    std::string text, caption;
};

// What the tests compare before and after a run.
struct FakeState {
    std::vector<FakeDevice> devices;
    std::map<std::string, FakeInf> store;  // name in the INF folder -> entry
    std::set<std::string> files;
    bool operator==(const FakeState& o) const { return devices == o.devices && store == o.store && files == o.files; }
};

inline std::string MultiString(std::initializer_list<const char*> texts) {
    std::string s;
    for (const char* t : texts) s.append(t).push_back(0);
    s.push_back(0);
    return s;
}

// Each error a driver update can end with, and the text both programs show
// for it (a code without a system text by its number).
struct UpdateFailure {
    DWORD code;
    const char* box;
};
inline const UpdateFailure kUpdateFailures[] = {
    {ERROR_ACCESS_DENIED, "This program must be run by an administrator.\n"},
    {0, "Driver installation failed.\n"},
    {0xE000022F, "Driver installation failed.\n"},
    {0xE000022B, "Windows has determined your driver does not need updating.\n"},
    {ERROR_FILE_NOT_FOUND, "UpdateDriverForPlugAndPlayDevices FAILURE: The system cannot find the file specified.\n"},
    {0x12345, "UpdateDriverForPlugAndPlayDevices FAILURE: (0x00012345)\n"},
};

class FakeSystem : public SystemCalls {
  public:
    FakeState state;
    DWORD platform = VER_PLATFORM_WIN32_NT, major = 5, minor = 0;
    std::string modulePath = "C:\\setup\\Installer.exe";
    std::set<HWND> windows;
    std::vector<FakeBox> boxes;
    std::string log;
    std::vector<std::string> logOpens;
    bool logOpenFails = false;
    std::string traced;
    std::map<DWORD, std::string> errorTexts = {{2, "The system cannot find the file specified."},
                                               {5, "Access is denied."}};
    // The driver update: its answer and the restart it asks for.
    DWORD updateError = 0;  // 0: success
    bool updateFails = false;
    bool updateAsksRestart = false;
    // Devices whose node the configuration manager answers with this code.
    CONFIGRET phantomAnswer = CR_NO_SUCH_DEVINST;
    std::vector<std::string> calls;

    void Fail(const std::string& call, int nth, DWORD code) { failures_[call] = {nth, code}; }

    // SystemCalls.
    BOOL VersionInfo(OSVERSIONINFOA* info) override {
        info->dwPlatformId = platform;
        info->dwMajorVersion = major;
        info->dwMinorVersion = minor;
        return TRUE;
    }
    DWORD ModulePath(char* path, DWORD size) override {
        if (Fails("GetModuleFileName")) return 0;
        std::snprintf(path, size, "%s", modulePath.c_str());
        return static_cast<DWORD>(modulePath.size());
    }
    bool FileExists(const char* path) override { return state.files.count(path) != 0; }
    bool RemoveFile(const char* path) override {
        removed.push_back(path);
        const bool had = state.files.erase(path) != 0;
        for (auto it = state.store.begin(); it != state.store.end();)
            it = InfPath(it->first) == path ? state.store.erase(it) : std::next(it);
        return had;
    }
    bool WindowAlive(HWND window) override { return windows.count(window) != 0; }
    int ShowBox(HWND owner, const char* text, const char* caption, UINT) override {
        boxes.push_back({owner, text, caption});
        if (closeOwnerAfterBox) windows.clear();
        return IDOK;
    }
    DWORD LastError() override { return last_; }
    void SetLast(DWORD code) override { last_ = code; }
    char* ErrorText(DWORD code) override {
        auto it = errorTexts.find(code);
        if (it == errorTexts.end()) return nullptr;
        char* text = new char[it->second.size() + 1];
        std::memcpy(text, it->second.c_str(), it->second.size() + 1);
        ++liveTexts;
        return text;
    }
    void FreeErrorText(char* text) override {
        if (text != nullptr) --liveTexts;
        delete[] text;
    }
    void* OpenLog(const char* path) override {
        logOpens.push_back(path);
        if (logOpenFails) return nullptr;
        log.clear();
        logOpen = true;
        return &log;
    }
    void WriteLog(void* l, const char* text) override { static_cast<std::string*>(l)->append(text); }
    void CloseLog(void*) override { logOpen = false; }
    void Trace(const char* text) override { traced += text; }

    HDEVINFO SetupDiGetClassDevsA(const GUID*, PCSTR, HWND, DWORD flags) override {
        if (Fails("SetupDiGetClassDevs")) return INVALID_HANDLE_VALUE;
        Set set;
        for (size_t i = 0; i < state.devices.size(); ++i)
            if (!(flags & DIGCF_PRESENT) || state.devices[i].present) set.members.push_back(Key(i));
        return Open(set);
    }
    BOOL SetupDiEnumDeviceInfo(HDEVINFO h, DWORD index, PSP_DEVINFO_DATA device) override {
        if (Fails("SetupDiEnumDeviceInfo")) return FALSE;
        Set& set = sets_.at(h);
        if (index >= set.members.size()) return Error(ERROR_NO_MORE_ITEMS);
        device->DevInst = set.members[index];
        return TRUE;
    }
    BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO, PSP_DEVINFO_DATA device, DWORD property, PDWORD type, PBYTE buffer,
                                           DWORD size, PDWORD required) override {
        if (Fails("SetupDiGetDeviceRegistryProperty")) return FALSE;
        const FakeDevice* d = Find(device->DevInst);
        std::string value;
        if (d != nullptr) value = property == SPDRP_HARDWAREID ? d->hardwareIds : MultiString({d->service.c_str()});
        if (d == nullptr || (property == SPDRP_HARDWAREID ? d->hardwareIds.empty() : d->service.empty()))
            return Error(ERROR_INVALID_DATA);
        if (type != nullptr) *type = REG_MULTI_SZ;
        if (required != nullptr) *required = static_cast<DWORD>(value.size());
        if (buffer == nullptr || size < value.size()) return Error(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, value.data(), value.size());
        return TRUE;
    }
    BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO h, PSP_DEVINFO_DATA device, DWORD property, const BYTE* buffer,
                                           DWORD size) override {
        if (Fails("SetupDiSetDeviceRegistryProperty")) return FALSE;
        if (property != SPDRP_HARDWAREID) return Error(ERROR_INVALID_PARAMETER);
        sets_.at(h).pending.at(device->DevInst).hardwareIds.assign(reinterpret_cast<const char*>(buffer), size);
        return TRUE;
    }
    BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO h, PSP_DEVINFO_DATA device) override {
        Set& set = sets_.at(h);
        if (function == DIF_REGISTERDEVICE) {
            if (Fails("DIF_REGISTERDEVICE")) return FALSE;
            auto it = set.pending.find(device->DevInst);
            state.devices.push_back(it->second);
            registered_[device->DevInst] = state.devices.size() - 1;
            set.pending.erase(it);
            return TRUE;
        }
        if (function == DIF_REMOVE) {
            if (Fails("DIF_REMOVE")) return FALSE;
            const size_t at = Index(device->DevInst);
            if (at >= state.devices.size()) return Error(ERROR_NO_SUCH_DEVINST);
            state.devices[at].instanceId = "<removed>";
            removedDevices.push_back(at);
            return TRUE;
        }
        return Error(ERROR_DI_DO_DEFAULT);
    }
    BOOL SetupDiDestroyDeviceInfoList(HDEVINFO h) override {
        last_ = 0x1234;  // a destruction may leave anything behind
        sets_.erase(h);
        Compact();
        return TRUE;
    }
    BOOL SetupDiGetINFClassA(PCSTR inf, LPGUID g, PSTR name, DWORD size, PDWORD) override {
        if (Fails("SetupDiGetINFClass")) return FALSE;
        if (state.files.count(inf) == 0) return Error(ERROR_FILE_NOT_FOUND);
        std::memset(g, 0x4D, sizeof *g);
        std::snprintf(name, size, "System");
        return TRUE;
    }
    HDEVINFO SetupDiCreateDeviceInfoList(const GUID*, HWND) override {
        if (Fails("SetupDiCreateDeviceInfoList")) return INVALID_HANDLE_VALUE;
        return Open(Set());
    }
    BOOL SetupDiCreateDeviceInfoA(HDEVINFO h, PCSTR name, const GUID*, PCSTR, HWND, DWORD flags,
                                  PSP_DEVINFO_DATA device) override {
        if (Fails("SetupDiCreateDeviceInfo")) return FALSE;
        FakeDevice d;
        d.instanceId = std::string("ROOT\\") + name + "\\" + std::to_string(nextInstance_++);
        const DEVINST key = 5000 + nextInstance_;
        sets_.at(h).pending[key] = d;
        device->DevInst = key;
        // A successful call that leaves a stale error behind, as some systems do.
        last_ = ERROR_FILE_NOT_FOUND;
        return (flags & DICD_GENERATE_ID) ? TRUE : Error(ERROR_INVALID_FLAGS);
    }
    CONFIGRET CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST node, ULONG) override {
        const FakeDevice* d = Find(node);
        if (d == nullptr || !d->present) return phantomAnswer;
        *status = DN_STARTED;
        *problem = 0;
        return CR_SUCCESS;
    }
    CONFIGRET CM_Get_Device_IDA(DEVINST node, PCHAR buffer, ULONG size, ULONG) override {
        if (Fails("CM_Get_Device_ID")) return CR_FAILURE;
        const FakeDevice* d = Find(node);
        if (d == nullptr) return CR_NO_SUCH_DEVNODE;
        std::snprintf(buffer, size, "%s", d->instanceId.c_str());
        return CR_SUCCESS;
    }
    BOOL UpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR id, LPCSTR inf, DWORD, PBOOL reboot) override {
        updates.push_back(std::string(id) + "|" + inf);
        if (updateFails) return Error(updateError);
        if (reboot != nullptr && updateAsksRestart) *reboot = TRUE;
        return TRUE;
    }
    // A device key's handle is its device's index, offset.
    HKEY SetupDiOpenDevRegKey(HDEVINFO, PSP_DEVINFO_DATA device, DWORD, DWORD, DWORD keyType, REGSAM) override {
        if (Fails("SetupDiOpenDevRegKey") || keyType != DIREG_DEV || Find(device->DevInst) == nullptr)
            return static_cast<HKEY>(INVALID_HANDLE_VALUE);
        ++openKeys;
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x7000 + Index(device->DevInst)));
    }
    LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) override {
        const std::map<std::string, DWORD>& values = KeyValues(key);
        auto it = values.find(name);
        if (it == values.end()) return ERROR_FILE_NOT_FOUND;
        if (*size < sizeof(DWORD)) return ERROR_MORE_DATA;
        *type = REG_DWORD;
        *size = sizeof(DWORD);
        std::memcpy(data, &it->second, sizeof(DWORD));
        return ERROR_SUCCESS;
    }
    LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD type, const BYTE* data, DWORD size) override {
        if (Fails("RegSetValueEx")) return static_cast<LONG>(last_);
        if (type != REG_DWORD || size != sizeof(DWORD)) return ERROR_INVALID_PARAMETER;
        std::memcpy(&KeyValues(key)[name], data, sizeof(DWORD));
        return ERROR_SUCCESS;
    }
    LONG RegCloseKey(HKEY) override {
        --openKeys;
        return ERROR_SUCCESS;
    }
    int openKeys = 0;

    BOOL SetupCopyOEMInfA(PCSTR source, PCSTR, DWORD, DWORD, PSTR, DWORD, PDWORD, PSTR*) override {
        if (Fails("SetupCopyOEMInf")) return FALSE;
        std::string base(source);
        base = base.substr(base.find_last_of('\\') + 1);
        for (const auto& [name, entry] : state.store)
            if (entry.original == base && entry.provider == packageProvider) return TRUE;
        int n = 0;
        while (state.store.count("oem" + std::to_string(n) + ".inf")) ++n;
        state.store["oem" + std::to_string(n) + ".inf"] = {base, packageProvider};
        return TRUE;
    }
    BOOL SetupGetInfFileListA(PCSTR, DWORD, PSTR buffer, DWORD size, PDWORD required) override {
        if (Fails("SetupGetInfFileList")) return FALSE;
        std::string list;
        for (const auto& [name, entry] : state.store) list.append(name).push_back(0);
        list.push_back(0);
        if (listWithoutClosingZeros) list.resize(list.size() - 2);
        if (required != nullptr) *required = static_cast<DWORD>(list.size());
        if (buffer == nullptr) return TRUE;
        if (size < list.size()) return Error(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, list.data(), list.size());
        return TRUE;
    }
    BOOL SetupGetInfInformationA(LPCVOID inf, DWORD, PSP_INF_INFORMATION buffer, DWORD size, PDWORD required) override {
        if (Fails("SetupGetInfInformation")) return FALSE;
        const std::string name(static_cast<const char*>(inf));
        if (state.store.count(name) == 0) return Error(ERROR_FILE_NOT_FOUND);
        const DWORD need = sizeof(SP_INF_INFORMATION) + static_cast<DWORD>(name.size()) + 1;
        if (required != nullptr) *required = need;
        if (buffer == nullptr) return TRUE;
        if (size < need) return Error(ERROR_INSUFFICIENT_BUFFER);
        buffer->InfStyle = INF_STYLE_WIN4;
        buffer->InfCount = 1;
        std::memcpy(buffer->VersionData, name.c_str(), name.size() + 1);
        return TRUE;
    }
    BOOL SetupQueryInfFileInformationA(PSP_INF_INFORMATION info, UINT, PSTR buffer, DWORD size, PDWORD) override {
        if (Fails("SetupQueryInfFileInformation")) return FALSE;
        std::snprintf(buffer, size, "%s", InfPath(Name(info)).c_str());
        return TRUE;
    }
    BOOL SetupQueryInfOriginalFileInformationA(PSP_INF_INFORMATION info, UINT, PSP_ALTPLATFORM_INFO,
                                               PSP_ORIGINAL_FILE_INFO_A original) override {
        if (Fails("SetupQueryInfOriginalFileInformation")) return FALSE;
        std::snprintf(original->OriginalInfName, MAX_PATH, "%s", state.store.at(Name(info)).original.c_str());
        return TRUE;
    }
    BOOL SetupQueryInfVersionInformationA(PSP_INF_INFORMATION info, UINT, PCSTR key, PSTR buffer, DWORD size,
                                          PDWORD required) override {
        if (Fails("SetupQueryInfVersionInformation")) return FALSE;
        if (std::string(key) != "Provider") return Error(ERROR_INVALID_DATA);
        const std::string& value = state.store.at(Name(info)).provider;
        if (required != nullptr) *required = static_cast<DWORD>(value.size() + 1);
        if (buffer == nullptr) return TRUE;
        if (size < value.size() + 1) return Error(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(buffer, value.c_str(), value.size() + 1);
        return TRUE;
    }
    BOOL SetupUninstallOEMInfA(PCSTR inf, DWORD, PVOID) override {
        if (Fails("SetupUninstallOEMInf")) return FALSE;
        uninstalled.push_back(inf);
        state.store.erase(inf);
        return TRUE;
    }

    static std::string InfPath(const std::string& name) { return "C:\\windows\\inf\\" + name; }

    bool closeOwnerAfterBox = false;
    bool listWithoutClosingZeros = false;
    bool logOpen = false;
    int liveTexts = 0;
    std::string packageProvider = "Stand-in chip maker";
    std::vector<std::string> updates, uninstalled, removed;
    std::vector<size_t> removedDevices;

  private:
    struct Set {
        std::vector<DEVINST> members;
        std::map<DEVINST, FakeDevice> pending;
    };
    std::map<HDEVINFO, Set> sets_;
    std::map<std::string, std::pair<int, DWORD>> failures_;
    std::map<std::string, int> counts_;
    std::map<DEVINST, size_t> registered_;
    DWORD last_ = 0;
    int nextInstance_ = 0;
    intptr_t nextSet_ = 0x100;

    bool Fails(const std::string& call) {
        calls.push_back(call);
        const int n = ++counts_[call];
        auto it = failures_.find(call);
        if (it == failures_.end() || it->second.first != n) return false;
        last_ = it->second.second;
        return true;
    }
    BOOL Error(DWORD code) {
        last_ = code;
        return FALSE;
    }
    HDEVINFO Open(const Set& set) {
        const auto h = reinterpret_cast<HDEVINFO>(nextSet_++);
        sets_[h] = set;
        return h;
    }
    static DEVINST Key(size_t index) { return static_cast<DEVINST>(1000 + index); }
    size_t Index(DEVINST key) const {
        auto r = registered_.find(key);
        if (r != registered_.end()) return r->second;
        return key >= 1000 && key < 5000 ? key - 1000 : static_cast<size_t>(-1);
    }
    const FakeDevice* Find(DEVINST key) const {
        const size_t at = Index(key);
        return at < state.devices.size() ? &state.devices[at] : nullptr;
    }
    // Removed devices leave the model once no set refers to them.
    void Compact() {
        if (!sets_.empty()) return;
        std::vector<FakeDevice> kept;
        for (const FakeDevice& d : state.devices)
            if (d.instanceId != "<removed>") kept.push_back(d);
        state.devices = kept;
        registered_.clear();
    }
    std::map<std::string, DWORD>& KeyValues(HKEY key) {
        return state.devices.at(reinterpret_cast<ULONG_PTR>(key) - 0x7000).parameters;
    }
    static std::string Name(PSP_INF_INFORMATION info) { return reinterpret_cast<const char*>(info->VersionData); }
};

#endif
