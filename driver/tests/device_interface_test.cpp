// The device as user mode sees it: the three control codes and their
// buffers, reads and writes around opening and closing the port, and the
// exclusive open.
#include <cstring>

#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

using DeviceInterface = SimulatedMachine;

TEST_F(DeviceInterface, FreshStatusBeforeAnyOpenTouchesNoPort) {
    const int handle = Open();
    const EcpPortStatus status = Status(handle);
    EXPECT_EQ(status.VersionNumber, 21214u);
    EXPECT_EQ(status.TransferState, ECP_TRANSFER_PORT_CLOSED);
    EXPECT_EQ(status.EcpMode, ECP_MODE_NONE);
    EXPECT_EQ(status.OnlineF, 0u);
    EXPECT_EQ(status.BytesWritten + status.BytesRead + status.WriteTotalTimeout + status.ReadTotalTimeout, 0u);
    // The simulated kernel reports any access to an address that is no port's.
}

struct ControlCase {
    const char* name;
    uint32_t code;
    uint32_t inputBytes;
    uint32_t outputBytes;
    uint32_t status;
    uint64_t information;  // 0x5A5A: left as it came
    bool portOpens;
    bool timeoutsChange;
};

TEST_F(DeviceInterface, ControlCodesAnswerEveryBufferSize) {
    const ControlCase cases[] = {
        {"status 0", ECP_IOCTL_PORT_STATUS, 0, 0, kBufferTooSmall, 0, false, false},
        {"status 2", ECP_IOCTL_PORT_STATUS, 0, 2, kBufferTooSmall, 0, false, false},
        {"status 4", ECP_IOCTL_PORT_STATUS, 0, 4, kBufferTooSmall, 0, false, false},
        {"status 31", ECP_IOCTL_PORT_STATUS, 0, 31, kBufferTooSmall, 0, false, false},
        {"status 32", ECP_IOCTL_PORT_STATUS, 0, 32, kSuccess, 32, false, false},
        {"status 64", ECP_IOCTL_PORT_STATUS, 0, 64, kSuccess, 32, false, false},
        {"open 0", ECP_IOCTL_OPEN_PORT, 0, 0, kBufferTooSmall, 0, false, false},
        {"open 2", ECP_IOCTL_OPEN_PORT, 0, 2, kBufferTooSmall, 0, false, false},
        {"open 4", ECP_IOCTL_OPEN_PORT, 0, 4, kSuccess, 4, true, false},
        {"open 64", ECP_IOCTL_OPEN_PORT, 0, 64, kSuccess, 4, true, false},
        {"timeouts 0", ECP_IOCTL_SET_TIMEOUTS, 0, 0, kSuccess, 0, false, false},
        {"timeouts 4", ECP_IOCTL_SET_TIMEOUTS, 4, 0, kSuccess, 0, false, false},
        {"timeouts 7", ECP_IOCTL_SET_TIMEOUTS, 7, 0, kSuccess, 0, false, false},
        {"timeouts 8", ECP_IOCTL_SET_TIMEOUTS, 8, 0, kSuccess, 0, false, true},
        {"timeouts 31", ECP_IOCTL_SET_TIMEOUTS, 31, 0, kSuccess, 0, false, true},
        {"unknown function 0x800", ECP_CONTROL_CODE(0x800), 8, 32, kInvalidParameter, 0x5A5A, false, false},
        {"unknown function 0x804", ECP_CONTROL_CODE(0x804), 8, 32, kInvalidParameter, 0x5A5A, false, false},
        {"other device type", 0x22200C, 8, 32, kInvalidParameter, 0x5A5A, false, false},
    };
    // The time-outs belong to the device and outlive each handle.
    uint32_t writeTimeout = 0;
    uint32_t readTimeout = 0;
    uint32_t round = 0;
    for (const ControlCase& test : cases) {
        SCOPED_TRACE(test.name);
        const int handle = Open();
        uint8_t input[64];
        ++round;
        const uint32_t values[2] = {1000 + round, 2000 + round};
        if (test.timeoutsChange) {
            writeTimeout = values[0];
            readTimeout = values[1];
        }
        std::memset(input, 0, sizeof input);
        std::memcpy(input, values, sizeof values);
        kernelsim::Request request = kernel.Control(handle, test.code, input, test.inputBytes, test.outputBytes);
        ASSERT_TRUE(request->done);
        EXPECT_EQ(request->status, test.status);
        EXPECT_EQ(request->information, test.information);
        EXPECT_EQ(kernel.PortAllocatedByDriver(0), test.portOpens);
        const EcpPortStatus status = Status(handle);
        EXPECT_EQ(status.WriteTotalTimeout, writeTimeout);
        EXPECT_EQ(status.ReadTotalTimeout, readTimeout);
        EXPECT_EQ(status.TransferState, test.portOpens ? ECP_TRANSFER_IDLE : ECP_TRANSFER_PORT_CLOSED);
        if (test.code == ECP_IOCTL_OPEN_PORT && test.status == kSuccess) {
            uint32_t opened = 1;
            std::memcpy(&opened, request->output.data(), 4);
            EXPECT_EQ(opened, kSuccess);
        }
        Close(handle);
    }
}

TEST_F(DeviceInterface, StatusSamplesTheLineAtEachRequest) {
    const int handle = OpenWithPort();
    EXPECT_EQ(Status(handle).OnlineF, 1u);
    kernel.PeripheralOn(0).online = false;
    EXPECT_EQ(Status(handle).OnlineF, 0u);
    kernel.PeripheralOn(0).online = true;
    EXPECT_EQ(Status(handle).OnlineF, 1u);
}

TEST_F(DeviceInterface, TransfersNeedAnOpenPortExceptEmptyOnes) {
    const int handle = Open();
    uint8_t buffer[16] = {};
    struct Step {
        const char* name;
        bool read;
        uint32_t bytes;
        uint32_t status;
    };
    const Step beforeOpen[] = {
        {"read", true, 16, kDeviceNotReady},
        {"write", false, 16, kDeviceNotReady},
        {"empty read", true, 0, kSuccess},
        {"empty write", false, 0, kSuccess},
    };
    for (const Step& step : beforeOpen) {
        SCOPED_TRACE(step.name);
        kernelsim::Request request =
            step.read ? kernel.Read(handle, buffer, step.bytes) : kernel.Write(handle, buffer, step.bytes);
        ASSERT_TRUE(request->done);
        EXPECT_EQ(request->status, step.status);
        EXPECT_EQ(request->information, 0u);
    }
    EXPECT_EQ(OpenPort(handle), kSuccess);
    kernelsim::Request empty = kernel.Read(handle, buffer, 0);
    EXPECT_TRUE(empty->done);
    EXPECT_EQ(empty->status, kSuccess);
    EXPECT_TRUE(kernel.PortWrites().empty()) << "an empty read programs nothing";
    Close(handle);

    // After close the port is closed again for the next handle.
    const int again = Open();
    EXPECT_EQ(Status(again).TransferState, ECP_TRANSFER_PORT_CLOSED);
    kernelsim::Request read = kernel.Read(again, buffer, 16);
    EXPECT_EQ(read->status, kDeviceNotReady);
    EXPECT_FALSE(kernel.PortAllocatedByDriver(0));
}

TEST_F(DeviceInterface, OneHandleAtATime) {
    const int first = Open();
    uint32_t status = 0;
    EXPECT_EQ(kernel.Open(&status), -1);
    EXPECT_EQ(status, kAccessDenied);
    Close(first);
    const int second = Open();
    EXPECT_GT(second, 0);
}

TEST_F(DeviceInterface, CountersAndTimeoutsSurviveClosingThePort) {
    const int handle = OpenWithPort();
    SetTimeouts(handle, 250, 40);
    const auto data = Pattern(10, 3);
    kernelsim::Request write = kernel.Write(handle, data.data(), 10);
    kernel.Settle();
    EXPECT_EQ(write->information, 10u);
    Close(handle);
    const int again = OpenWithPort();
    const EcpPortStatus status = Status(again);
    EXPECT_EQ(status.BytesWritten, 10u);
    EXPECT_EQ(status.WriteTotalTimeout, 250u);
    EXPECT_EQ(status.ReadTotalTimeout, 40u);
}

}  // namespace
}  // namespace ombrix_test
