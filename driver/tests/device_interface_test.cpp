// The device as user mode sees it: the three control codes and their
// buffers, reads and writes around opening and closing the port, and the
// exclusive open.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
    std::string name;
    uint32_t code;
    uint32_t inputBytes;
    uint32_t outputBytes;
    uint32_t status;
    uint64_t information;  // 0x5A5A: left as it came
    bool portOpens;
    bool timeoutsChange;
};

// Each known code refuses a buffer below its record's size and takes any
// larger one; every code is asked with each of these sizes.
constexpr uint32_t kBufferSizes[] = {0, 2, 4, 7, 8, 31, 32, 64};

struct CodeRule {
    const char* name;
    uint32_t code;
    bool sizeIsInput;     // the size tried is the input's (else the output's)
    uint32_t needed;      // bytes the record needs
    uint32_t tooSmall;    // status below it
    uint64_t answered;    // Information when it fits
    bool portOpens;       // when it fits
    bool timeoutsChange;  // when it fits
};

std::vector<ControlCase> ControlCases() {
    static const CodeRule rules[] = {
        {"status", ECP_IOCTL_PORT_STATUS, false, 32, kBufferTooSmall, 32, false, false},
        {"open", ECP_IOCTL_OPEN_PORT, false, 4, kBufferTooSmall, 4, true, false},
        // A short time-out record is ignored with success.
        {"timeouts", ECP_IOCTL_SET_TIMEOUTS, true, 8, kSuccess, 0, false, true},
    };
    std::vector<ControlCase> cases;
    for (const CodeRule& rule : rules) {
        for (uint32_t size : kBufferSizes) {
            const bool fits = size >= rule.needed;
            cases.push_back(ControlCase{rule.name, rule.code, rule.sizeIsInput ? size : 0, rule.sizeIsInput ? 0 : size,
                                        fits ? kSuccess : rule.tooSmall, fits ? rule.answered : 0,
                                        fits && rule.portOpens, fits && rule.timeoutsChange});
        }
    }
    // Unknown codes: refused, Information left as it came, nothing changed.
    const std::pair<const char*, uint32_t> unknown[] = {{"unknown function 0x800", ECP_CONTROL_CODE(0x800)},
                                                        {"unknown function 0x804", ECP_CONTROL_CODE(0x804)},
                                                        {"other device type", 0x22200C}};
    for (const auto& code : unknown)
        for (uint32_t size : {0u, 8u, 32u})
            cases.push_back(ControlCase{code.first, code.second, size, size, kInvalidParameter, 0x5A5A, false, false});
    return cases;
}

TEST_F(DeviceInterface, ControlCodesAnswerEveryBufferSize) {
    const std::vector<ControlCase> cases = ControlCases();
    // The time-outs belong to the device and outlive each handle.
    uint32_t writeTimeout = 0;
    uint32_t readTimeout = 0;
    uint32_t round = 0;
    for (const ControlCase& test : cases) {
        SCOPED_TRACE(testing::Message() << test.name << ", input " << test.inputBytes << ", output "
                                        << test.outputBytes);
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
