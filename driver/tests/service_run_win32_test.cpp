// The built image under Wine's own kernel host: a demand-start kernel
// service that starts (its entry ran) and stops, twice, with the trace
// parameters in each state; the device stays absent (no Plug and Play
// device, no port); the host survives; the service is deleted at the end.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char kService[] = "OmbrixServiceRun";
const char kParameters[] = "SYSTEM\\CurrentControlSet\\Services\\OmbrixServiceRun\\Parameters";

class ServiceRun : public ::testing::Test {
  protected:
    void SetUp() override {
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr) << GetLastError();
        // Left over from an interrupted run.
        if (SC_HANDLE old = OpenServiceA(manager_, kService, SERVICE_ALL_ACCESS)) {
            SERVICE_STATUS status;
            ControlService(old, SERVICE_CONTROL_STOP, &status);
            DeleteService(old);
            CloseServiceHandle(old);
        }
        service_ = CreateServiceA(manager_, kService, kService, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, OMBRIX_IMAGE, nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_NE(service_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (service_) {
            SERVICE_STATUS status;
            ControlService(service_, SERVICE_CONTROL_STOP, &status);
            EXPECT_TRUE(DeleteService(service_)) << GetLastError();
            CloseServiceHandle(service_);
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kParameters);
        if (manager_) CloseServiceHandle(manager_);
    }

    // Starts the service. The service database stays locked while Wine's
    // own services come up in a fresh prefix, so a start waits that out;
    // on a loaded machine the manager may stop waiting for the kernel host
    // before the driver reports itself running, which the state then shows.
    bool Start() {
        for (int i = 0; i < 150; ++i) {
            if (StartServiceA(service_, 0, nullptr)) return true;
            const DWORD error = GetLastError();
            if (error == ERROR_SERVICE_REQUEST_TIMEOUT) return WaitFor(SERVICE_RUNNING) == SERVICE_RUNNING;
            if (error != ERROR_SERVICE_DATABASE_LOCKED) return false;
            Sleep(200);
        }
        return false;
    }

    DWORD WaitFor(DWORD state) {
        SERVICE_STATUS status{};
        for (int i = 0; i < 1200; ++i) {
            if (!QueryServiceStatus(service_, &status)) return 0;
            if (status.dwCurrentState == state) break;
            Sleep(25);
        }
        return status.dwCurrentState;
    }

    // Starts and stops the service twice; the device never appears.
    void StartAndStopTwice() {
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(Start()) << GetLastError();
            EXPECT_EQ(WaitFor(SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
            // No device: the driver makes it only for a Plug and Play device.
            const HANDLE device = CreateFileA("\\\\.\\ECP", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_OVERLAPPED, nullptr);
            EXPECT_EQ(device, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            // The host survived the entry and the open: the driver still runs.
            SERVICE_STATUS status{};
            ASSERT_TRUE(QueryServiceStatus(service_, &status));
            EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
            ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << GetLastError();
            EXPECT_EQ(WaitFor(SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
            ASSERT_TRUE(QueryServiceStatus(service_, &status));
            EXPECT_EQ(status.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR)) << "stopped by its own unload";
        }
    }

    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};

void SetParameters(int variant) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kParameters);
    if (variant == 0) return;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParameters, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD level = 2;
    RegSetValueExA(key, "TraceDevice", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
    RegSetValueExA(key, "TraceOutputLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
    if (variant == 2) {
        const char text[] = "a string where a number belongs";
        RegSetValueExA(key, "TraceBreakLevel", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    }
    RegCloseKey(key);
}

TEST_F(ServiceRun, StartsAndStopsTwiceWithTheParametersInEachState) {
    for (int variant : {0, 1, 2}) {
        SCOPED_TRACE(variant == 0 ? "no Parameters" : variant == 1 ? "valid Parameters" : "a string for a DWORD");
        SetParameters(variant);
        StartAndStopTwice();
    }
}

// The image path as an installed driver has it: in the drivers folder,
// under "\SystemRoot\".
TEST_F(ServiceRun, StartsFromTheDriversFolderUnderTheSystemRoot) {
    char windows[MAX_PATH];
    ASSERT_NE(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    const std::string installed = std::string(windows) + "\\system32\\drivers\\OmbrixServiceRun.sys";
    ASSERT_TRUE(CopyFileA(OMBRIX_IMAGE, installed.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(ChangeServiceConfigA(service_, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                     "\\SystemRoot\\system32\\drivers\\OmbrixServiceRun.sys", nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr))
        << GetLastError();
    SetParameters(1);
    StartAndStopTwice();
    DeleteFileA(installed.c_str());
}

}  // namespace
