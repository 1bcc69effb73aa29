// The real installers under Wine, in a prefix of their own: a test with a
// window of its own starts each program with that window's handle, reads
// every box it shows (caption, text, owner), presses OK and reads the exit
// code, then checks what the system holds (devices through SetupAPI,
// services, the INF store, the log).
#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string WinPath(std::string unix) {
    std::replace(unix.begin(), unix.end(), '/', '\\');
    return "Z:" + unix;
}

const std::string kBuild = WinPath(INSTALLERS_BUILD_DIR);
const std::string kData = WinPath(INSTALLERS_DATA_DIR);

struct Box {
    std::string caption, text;
    HWND owner;
};

struct FoundBox {
    DWORD process;
    HWND box;
    const std::set<HWND>* answered;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
    auto* found = reinterpret_cast<FoundBox*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (process == found->process && std::string(cls) == "#32770" && IsWindowVisible(window) &&
        found->answered->count(window) == 0) {
        found->box = window;
        return FALSE;
    }
    return TRUE;
}

class Owner {
  public:
    Owner() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "InstallerTestOwner";
        RegisterClassA(&wc);
        window_ = CreateWindowA("InstallerTestOwner", "Setup", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                wc.hInstance, nullptr);
    }
    ~Owner() { DestroyWindow(window_); }
    HWND Window() const { return window_; }

  private:
    HWND window_;
};

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<Box> boxes;
};

std::ostream& operator<<(std::ostream& out, const ProgramRun& run) {
    out << "exit " << run.exitCode;
    for (const Box& b : run.boxes) out << " | [" << b.caption << "] " << b.text;
    return out;
}

// Starts the program with the owner's handle on its command line, answers
// its boxes and waits for its end.
ProgramRun Start(const std::string& exe, HWND owner) {
    ProgramRun run;
    std::string line = "\"" + exe + "\" " + std::to_string(reinterpret_cast<ULONG_PTR>(owner));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << exe << ": " << GetLastError();
        return run;
    }
    const DWORD start = GetTickCount();
    std::set<HWND> answered;  // a box may linger a moment after OK
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) break;
        FoundBox found = {pi.dwProcessId, nullptr, &answered};
        EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&found));
        if (found.box != nullptr) {
            Box box;
            char text[2048] = {};
            GetWindowTextA(found.box, text, sizeof text);
            box.caption = text;
            text[0] = 0;
            GetDlgItemTextA(found.box, 0xFFFF, text, sizeof text);
            box.text = text;
            box.owner = GetWindow(found.box, GW_OWNER);
            run.boxes.push_back(box);
            answered.insert(found.box);
            PostMessageA(found.box, WM_COMMAND, IDOK, 0);
        }
        if (GetTickCount() - start > 120000) {
            ADD_FAILURE() << exe << " did not end";
            TerminateProcess(pi.hProcess, 99);
            break;
        }
    }
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

void SetVersion(const char* exe, const char* version) {
    HKEY key;
    const std::string path = std::string("Software\\Wine\\AppDefaults\\") + exe;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version) + 1));
    RegCloseKey(key);
}

bool Copy(const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }

std::string Folder(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

// Devices (instance id, hardware ids, service), services, INF store files.
struct Snapshot {
    std::multiset<std::string> devices, services, infs;
    bool operator==(const Snapshot& o) const {
        return devices == o.devices && services == o.services && infs == o.infs;
    }
};

// What differs, for the failure message.
std::string Difference(const Snapshot& a, const Snapshot& b) {
    std::string out;
    auto one = [&](const char* what, const std::multiset<std::string>& x, const std::multiset<std::string>& y) {
        for (const std::string& s : x)
            if (y.count(s) != x.count(s)) out += std::string(what) + " before: " + s + "\n";
        for (const std::string& s : y)
            if (y.count(s) != x.count(s)) out += std::string(what) + " after: " + s + "\n";
    };
    one("device", a.devices, b.devices);
    one("service", a.services, b.services);
    one("inf", a.infs, b.infs);
    return out;
}

std::string Property(HDEVINFO set, SP_DEVINFO_DATA* d, DWORD property) {
    char buffer[1024] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, d, property, &type, reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                           nullptr))
        return "";
    std::string out;
    for (const char* p = buffer; *p; p += strlen(p) + 1) out += std::string(p) + ";";
    return out;
}

std::vector<std::string> DevicesWithId(const std::string& id, std::vector<std::string>* services = nullptr) {
    std::vector<std::string> found;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA d = {};
    d.cbSize = sizeof d;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) {
        char instance[512] = {};
        SetupDiGetDeviceInstanceIdA(set, &d, instance, sizeof instance, nullptr);
        if (Property(set, &d, SPDRP_HARDWAREID).find(id + ";") != std::string::npos) {
            found.push_back(instance);
            if (services != nullptr) services->push_back(Property(set, &d, SPDRP_SERVICE));
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

Snapshot Take() {
    Snapshot s;
    HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA d = {};
    d.cbSize = sizeof d;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &d); ++i) {
        char instance[512] = {};
        SetupDiGetDeviceInstanceIdA(set, &d, instance, sizeof instance, nullptr);
        s.devices.insert(std::string(instance) + "|" + Property(set, &d, SPDRP_HARDWAREID) + "|" +
                         Property(set, &d, SPDRP_SERVICE));
    }
    SetupDiDestroyDeviceInfoList(set);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    std::vector<BYTE> bytes(256 * 1024);
    DWORD needed = 0, count = 0, resume = 0;
    if (EnumServicesStatusA(manager, SERVICE_DRIVER | SERVICE_WIN32, SERVICE_STATE_ALL,
                            reinterpret_cast<ENUM_SERVICE_STATUSA*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                            &needed, &count, &resume))
        for (DWORD i = 0; i < count; ++i) {
            // Names in one case (the system answers either); Wine's own
            // driver hosts come and go with the devices it serves.
            std::string name = reinterpret_cast<ENUM_SERVICE_STATUSA*>(bytes.data())[i].lpServiceName;
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            if (name.rfind("winedevice", 0) != 0) s.services.insert(name);
        }
    CloseServiceHandle(manager);
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((std::string(windows) + "\\inf\\*.inf").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do s.infs.insert(f.cFileName);
        while (FindNextFileA(h, &f));
        FindClose(h);
    }
    return s;
}

// A snapshot once two in a row agree: Wine finishes some of its own set-up
// (device enumeration, services) in the background.
Snapshot Settled() {
    Snapshot last = Take();
    for (int i = 0; i < 50; ++i) {
        Sleep(200);
        Snapshot now = Take();
        if (now == last) return now;
        last = now;
    }
    return last;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RealInstallersTest, SarvickInstallsOmbrixOnOneRootDevice) {
    Owner owner;
    const std::string folder = Folder("sarvick");
    ASSERT_TRUE(Copy(kBuild + "\\installers\\Sarvick.exe", folder + "Sarvick.exe"));
    ASSERT_TRUE(Copy(kBuild + "\\driver\\Ombrix.sys", folder + "Ombrix.sys"));
    const std::string exe = folder + "Sarvick.exe";

    // Refusals and the missing INF change nothing.
    const Snapshot before = Settled();
    const struct {
        const char* version;
        const char* text;
    } refusals[] = {{"winxp", "This program must be run under Windows 2000"},
                    {"nt40", "This program must be run under Windows 2000"},
                    {"win2k", "Installation file ombrix.inf not found\n"}};
    for (const auto& r : refusals) {
        SetVersion("Sarvick.exe", r.version);
        const ProgramRun run = Start(exe, owner.Window());
        EXPECT_EQ(2u, run.exitCode) << r.version;
        ASSERT_EQ(1u, run.boxes.size()) << r.version << ": " << run;
        EXPECT_EQ("Message", run.boxes[0].caption);
        EXPECT_EQ(r.text, run.boxes[0].text);
        EXPECT_EQ(owner.Window(), run.boxes[0].owner);
        const Snapshot now = Settled();
        EXPECT_TRUE(before == now) << r.version << "\n" << Difference(before, now);
    }

    ASSERT_TRUE(Copy(kBuild + "\\installers\\ombrix.inf", folder + "ombrix.inf"));
    for (int pass = 0; pass < 2; ++pass) {
        const ProgramRun run = Start(exe, owner.Window());
        EXPECT_EQ(0u, run.exitCode) << pass;
        ASSERT_EQ(1u, run.boxes.size()) << pass;
        EXPECT_EQ("Message", run.boxes[0].caption);
        EXPECT_EQ("Driver installation was successful.\n", run.boxes[0].text);
        EXPECT_EQ(owner.Window(), run.boxes[0].owner);
        std::vector<std::string> services;
        const std::vector<std::string> devices = DevicesWithId("*ombrixwdmDevice", &services);
        ASSERT_EQ(1u, devices.size()) << pass;
        EXPECT_EQ(0, _strnicmp(devices[0].c_str(), "ROOT\\", 5)) << devices[0];
        EXPECT_EQ("Ombrix;", services[0]);
    }
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, "Ombrix", SERVICE_QUERY_CONFIG);
    ASSERT_NE(nullptr, service);
    std::vector<BYTE> bytes(8192);
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(bytes.data()),
                                    static_cast<DWORD>(bytes.size()), &needed));
    const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(bytes.data());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), config->dwServiceType);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config->dwStartType);
    std::string image = config->lpBinaryPathName;
    std::transform(image.begin(), image.end(), image.begin(), ::tolower);
    EXPECT_NE(std::string::npos, image.find("drivers\\ombrix.sys")) << image;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((std::string(system) + "\\drivers\\Ombrix.sys").c_str()));
}

// Wine 8.0's device installation creates the service but fails to open it
// right after ("Failed to open service"), so the driver is not started in
// that session; its plug-and-play manager starts root devices when the next
// session begins, as Windows would after a restart. Then the driver's
// DriverEntry, AddDevice and start have run: its device and link exist.
TEST(RealInstallersTest, OmbrixDeviceStartsWithTheNextSession) {
    char target[512] = {};
    for (int i = 0; i < 100 && QueryDosDeviceA("ECP", target, sizeof target) == 0; ++i) Sleep(100);
    EXPECT_STREQ("\\Device\\ECP", target);
    EXPECT_EQ(1u, DevicesWithId("*ombrixwdmDevice").size());
}

TEST(RealInstallersTest, QuenlowCopiesThePackageOnceAndLogsItsProgress) {
    Owner owner;
    const std::string folder = Folder("quenlow");
    const std::string exe = folder + "Quenlow.exe";
    ASSERT_TRUE(Copy(kBuild + "\\installers\\Quenlow.exe", exe));
    const std::string log = folder + "install_log.txt";

    // No package: the message in box and log, nothing installed.
    Snapshot before = Settled();
    ProgramRun run = Start(exe, owner.Window());
    EXPECT_EQ(2u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Message", run.boxes[0].caption);
    EXPECT_EQ("Installation file ftdibus.inf not found\n", run.boxes[0].text);
    EXPECT_EQ(owner.Window(), run.boxes[0].owner);
    EXPECT_EQ("Installation file ftdibus.inf not found\r\n", ReadFile(log));
    Snapshot now = Settled();
    EXPECT_TRUE(before == now) << Difference(before, now);

    // NT 4.0: refused before the log is touched.
    SetVersion("Quenlow.exe", "nt40");
    run = Start(exe, owner.Window());
    EXPECT_EQ(2u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Message", run.boxes[0].caption);
    EXPECT_EQ("This program must be run under Windows 2000 or XP", run.boxes[0].text);
    EXPECT_EQ(owner.Window(), run.boxes[0].owner);
    EXPECT_EQ("Installation file ftdibus.inf not found\r\n", ReadFile(log));
    now = Settled();
    EXPECT_TRUE(before == now) << Difference(before, now);
    SetVersion("Quenlow.exe", "winxp");

    ASSERT_TRUE(Copy(kData + "\\ftdibus.inf", folder + "ftdibus.inf"));
    for (int pass = 0; pass < 2; ++pass) {
        run = Start(exe, owner.Window());
        EXPECT_EQ(0u, run.exitCode) << pass;
        EXPECT_TRUE(run.boxes.empty()) << pass;
        EXPECT_EQ("Driver installation was successful.\r\n", ReadFile(log));
    }
    std::multiset<std::string> added;
    const Snapshot after = Settled();
    std::set_difference(after.infs.begin(), after.infs.end(), before.infs.begin(), before.infs.end(),
                        std::inserter(added, added.end()));
    EXPECT_EQ(1u, added.size());

    // A folder where the log would go: the run goes on without a log.
    DeleteFileA(log.c_str());
    ASSERT_TRUE(CreateDirectoryA(log.c_str(), nullptr));
    run = Start(exe, owner.Window());
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(GetFileAttributesA(log.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
