// A fresh installation on the simulated kernel: Sarvick sets the parallel
// port's connect switch and asks for the restart; before it the driver's
// first open is refused the port's interrupt (the port driver read the
// switch when it started), after it the scanner's port opens and works.
#include <gtest/gtest.h>

#include <cstring>

#include "installers/sarvick.h"
#include "installers/tests/fake_system.h"
#include "kernelsim/sim_kernel.h"

extern "C" long __stdcall OmbrixDriverEntry(void* driverObject, void* registryPath);

namespace {

constexpr uint32_t kSuccess = 0;
constexpr uint32_t kBiosFailedToConnectInterrupt = 0xC000016E;
constexpr uint8_t kRemove = 0x02;

// The system of a machine whose parallel port is the simulated kernel's:
// the port's device key is the kernel's.
class MachineWithPort : public FakeSystem {
  public:
    explicit MachineWithPort(kernelsim::Kernel& kernel) : kernel_(kernel) {
        modulePath = "C:\\setup\\Sarvick.exe";
        state.files = {"C:\\setup\\ombrix.inf"};
        state.devices.push_back({MultiString({"ACPI\\PNP0401"}), "Parport", true, "ACPI\\PNP0401\\0", {}});
    }
    LONG RegQueryValueExA(HKEY, LPCSTR name, LPDWORD type, LPBYTE data, LPDWORD size) override {
        uint32_t value = 0;
        if (!kernel_.GetDword(kernel_.PortDeviceKey(0), name, &value)) return ERROR_FILE_NOT_FOUND;
        *type = REG_DWORD;
        *size = sizeof value;
        std::memcpy(data, &value, sizeof value);
        return ERROR_SUCCESS;
    }
    LONG RegSetValueExA(HKEY, LPCSTR name, DWORD, const BYTE* data, DWORD) override {
        uint32_t value = 0;
        std::memcpy(&value, data, sizeof value);
        kernel_.SetDword(kernel_.PortDeviceKey(0), name, value);
        return ERROR_SUCCESS;
    }

  private:
    kernelsim::Kernel& kernel_;
};

// Brings the driver up, opens the device and its port; the port's status.
uint32_t StartAndOpenPort(kernelsim::Kernel& kernel, int* handle) {
    EXPECT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
    EXPECT_EQ(kernel.AddDevice(), kSuccess);
    EXPECT_EQ(kernel.Start(), kSuccess);
    uint32_t status = 1;
    *handle = kernel.Open(&status);
    EXPECT_EQ(status, kSuccess);
    kernelsim::Request open = kernel.Control(*handle, 0x19200C, nullptr, 0, 4);
    uint32_t opened = 1;
    if (open->output.size() == 4) std::memcpy(&opened, open->output.data(), 4);
    return opened;
}

void StopDriver(kernelsim::Kernel& kernel, int handle) {
    EXPECT_EQ(kernel.Close(handle), kSuccess);
    EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
    kernel.Unload();
}

TEST(SarvickOnTheKernel, AFreshInstallationAsksForTheRestartThePortNeeds) {
    kernelsim::Kernel kernel;
    kernel.DeleteValue(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl");
    kernel.RestartPortDriver();  // a machine where the switch was never set

    MachineWithPort system(kernel);
    EXPECT_EQ(kExitRestart, Sarvick_Run(system, ""));
    ASSERT_EQ(1u, system.boxes.size());
    EXPECT_EQ("Driver installation was successful.\nYou must reboot your computer to finish the installation.\n",
              system.boxes[0].text);

    // Not restarted yet: the port driver still runs with what it read.
    int handle = -1;
    EXPECT_EQ(StartAndOpenPort(kernel, &handle), kBiosFailedToConnectInterrupt);
    StopDriver(kernel, handle);

    kernel.RestartPortDriver();
    EXPECT_EQ(StartAndOpenPort(kernel, &handle), kSuccess);
    const uint8_t field[] = {1, 2, 3, 4};
    kernel.PeripheralOn(0).toHost.assign(field, field + 4);
    uint8_t in[4] = {};
    kernelsim::Request read = kernel.Read(handle, in, 4);
    kernel.Settle();
    EXPECT_EQ(read->information, 4u);
    EXPECT_EQ(0, std::memcmp(in, field, 4));
    StopDriver(kernel, handle);
    EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
    EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());

    // A second run finds the switch set and asks for nothing.
    MachineWithPort again(kernel);
    EXPECT_EQ(kExitInstalled, Sarvick_Run(again, ""));
}

}  // namespace
