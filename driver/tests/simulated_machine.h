// A machine with the Ombrix driver loaded on the simulated kernel: a test
// fixture that brings the device up to started and checks, at the end, that
// the kernel saw no misuse and that nothing was left behind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "driver/ecp_interface.h"
#include "kernelsim/sim_kernel.h"

// The driver's entry when built for the simulated kernel.
extern "C" long __stdcall OmbrixDriverEntry(void* driverObject, void* registryPath);

namespace ombrix_test {

constexpr uint32_t kSuccess = 0;
constexpr uint32_t kPending = 0x103;
constexpr uint32_t kDeviceBusy = 0x80000011;
constexpr uint32_t kInvalidParameter = 0xC000000D;
constexpr uint32_t kBufferTooSmall = 0xC0000023;
constexpr uint32_t kInsufficientResources = 0xC000009A;
constexpr uint32_t kDeviceNotReady = 0xC00000A3;
constexpr uint32_t kDeviceNotConnected = 0xC000009D;
constexpr uint32_t kDeviceDoesNotExist = 0xC00000C0;
constexpr uint32_t kIoTimeout = 0xC00000B5;
constexpr uint32_t kCancelled = 0xC0000120;
constexpr uint32_t kDeletePending = 0xC0000056;
constexpr uint32_t kAccessDenied = 0xC0000022;
constexpr uint32_t kNameNotFound = 0xC0000034;
constexpr uint32_t kBiosFailedToConnectInterrupt = 0xC000016E;

// Plug and Play minor codes.
constexpr uint8_t kStart = 0x00, kQueryRemove = 0x01, kRemove = 0x02, kCancelRemove = 0x03, kStop = 0x04,
                  kQueryStop = 0x05, kCancelStop = 0x06, kSurpriseRemoval = 0x17;

// System and device power states as the kernel numbers them.
constexpr int kS0 = 1, kS3 = 4;
constexpr int kD0 = 1, kD2 = 3, kD3 = 4;

const char* const kUnitKey = "System\\CurrentControlSet\\Services\\Ombrix\\Devices\\ECP\\0";

class SimulatedMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
        ASSERT_EQ(kernel.AddDevice(), kSuccess);
        ASSERT_EQ(kernel.Start(), kSuccess);
    }

    // Everything the test left open is closed and the device removed; the
    // driver unloads with nothing left and no misuse seen.
    void TearDown() override {
        for (int handle : handles_) kernel.Close(handle);
        if (kernel.DeviceExists()) kernel.Pnp(kRemove);
        kernel.Unload();
        EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
        EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
    }

    int Open() {
        uint32_t status = 0;
        const int handle = kernel.Open(&status);
        EXPECT_EQ(status, kSuccess);
        if (handle > 0) handles_.push_back(handle);
        return handle;
    }

    void Close(int handle) {
        for (auto it = handles_.begin(); it != handles_.end(); ++it)
            if (*it == handle) {
                handles_.erase(it);
                break;
            }
        EXPECT_EQ(kernel.Close(handle), kSuccess);
    }

    // The status OPEN_PORT reports for the port.
    uint32_t OpenPort(int handle) {
        kernelsim::Request request = kernel.Control(handle, ECP_IOCTL_OPEN_PORT, nullptr, 0, 4);
        EXPECT_TRUE(request->done);
        EXPECT_EQ(request->status, kSuccess);
        uint32_t opened = 0xFFFFFFFF;
        if (request->output.size() == 4) std::memcpy(&opened, request->output.data(), 4);
        return opened;
    }

    EcpPortStatus Status(int handle) {
        kernelsim::Request request = kernel.Control(handle, ECP_IOCTL_PORT_STATUS, nullptr, 0, sizeof(EcpPortStatus));
        EcpPortStatus status{};
        EXPECT_EQ(request->status, kSuccess);
        if (request->output.size() == sizeof status) std::memcpy(&status, request->output.data(), sizeof status);
        return status;
    }

    void SetTimeouts(int handle, uint32_t writeMs, uint32_t readMs) {
        const EcpTimeouts timeouts{writeMs, readMs};
        EXPECT_EQ(kernel.Control(handle, ECP_IOCTL_SET_TIMEOUTS, &timeouts, sizeof timeouts, 0)->status, kSuccess);
    }

    // An open device with the port open.
    int OpenWithPort() {
        const int handle = Open();
        EXPECT_EQ(OpenPort(handle), kSuccess);
        return handle;
    }

    // Forgets a handle the test closed or lost itself.
    void Forget(int handle) {
        for (auto it = handles_.begin(); it != handles_.end(); ++it)
            if (*it == handle) {
                handles_.erase(it);
                return;
            }
    }

    kernelsim::Kernel kernel;

  private:
    std::vector<int> handles_;
};

// Bytes that differ at every offset, so that a shifted or torn copy shows.
inline std::vector<uint8_t> Pattern(size_t bytes, uint32_t seed) {
    std::vector<uint8_t> data(bytes);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return data;
}

}  // namespace ombrix_test
