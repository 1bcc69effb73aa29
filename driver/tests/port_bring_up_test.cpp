// Opening the port: the registry values, every refusal on the way with its
// status and event, what is left claimed afterwards, and closing again.
#include <algorithm>
#include <functional>

#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

using PortBringUp = SimulatedMachine;

// Nothing of the port is held: no binding to the port driver's device, no
// allocation, no interrupt, no adapter.
void ExpectNothingClaimed(kernelsim::Kernel& kernel) {
    for (int port = 0; port < 4; ++port) {
        EXPECT_FALSE(kernel.PortAllocatedByDriver(port)) << port;
        EXPECT_FALSE(kernel.InterruptConnected(port)) << port;
    }
    for (const std::string& left : kernel.Leftovers()) {
        EXPECT_EQ(left.find("ParallelPort"), std::string::npos) << left;
        EXPECT_EQ(left.find("adapter"), std::string::npos) << left;
    }
}

struct RefusalCase {
    const char* name;
    std::function<void(kernelsim::Kernel&)> arrange;
    uint32_t status;
    uint32_t event;  // 0: none
    uint32_t eventStatus;
};

TEST_F(PortBringUp, EachRefusalReportsItsStatusAndEventAndLeavesNothingClaimed) {
    const RefusalCase cases[] = {
        {"LPTPort 0", [](kernelsim::Kernel& k) { k.SetDword(kUnitKey, "LPTPort", 0); }, kInvalidParameter, 0xC0070008,
         kInvalidParameter},
        {"LPTPort 5", [](kernelsim::Kernel& k) { k.SetDword(kUnitKey, "LPTPort", 5); }, kInvalidParameter, 0xC0070008,
         kInvalidParameter},
        {"no port driver device", [](kernelsim::Kernel& k) { k.SetDword(kUnitKey, "LPTPort", 3); }, kDeviceNotConnected,
         0xC0070003, kNameNotFound},
        {"no ECP",
         [](kernelsim::Kernel& k) {
             k.SetPort(0, kernelsim::PortSetup{true, false, 3, 1});
         },
         kDeviceDoesNotExist, 0xC007000A, kDeviceDoesNotExist},
        {"port busy", [](kernelsim::Kernel& k) { k.AllocatePortByOtherClient(0); }, kDeviceBusy, 0xC0070004,
         kDeviceBusy},
        {"DMA channel 16",
         [](kernelsim::Kernel& k) {
             k.SetPort(0, kernelsim::PortSetup{true, true, 16, 1});
         },
         kInsufficientResources, 0xC0070007, kInsufficientResources},
        {"no DMA adapter", [](kernelsim::Kernel& k) { k.Faults().noDmaAdapter = true; }, kInsufficientResources,
         0xC0070007, kInsufficientResources},
        {"interrupt not connected", [](kernelsim::Kernel& k) { k.Faults().connectInterruptStatus = 0xC0000001; },
         kBiosFailedToConnectInterrupt, 0xC0070005, 0xC0000001},
        {"port information refused", [](kernelsim::Kernel& k) { k.Faults().failPortStatusQueries = true; },
         kDeviceNotReady, 0, 0},
        {"device key refused", [](kernelsim::Kernel& k) { k.Faults().deviceKeyStatus = kAccessDenied; }, kAccessDenied,
         0, 0},
        {"connect switch a string",
         [](kernelsim::Kernel& k) { k.SetString(k.PortDeviceKey(0), "EnableConnectInterruptIoctl", "1"); }, 0xC0000024,
         0, 0},
    };
    for (const RefusalCase& test : cases) {
        SCOPED_TRACE(test.name);
        kernelsim::Kernel& k = kernel;
        test.arrange(k);
        k.ClearEvents();
        const int handle = Open();
        EXPECT_EQ(OpenPort(handle), test.status);
        if (test.event) {
            ASSERT_EQ(k.Events().size(), 1u);
            EXPECT_EQ(k.Events()[0].code, test.event);
            EXPECT_EQ(k.Events()[0].finalStatus, test.eventStatus);
            EXPECT_TRUE(k.Events()[0].strings.empty());
        } else {
            EXPECT_TRUE(k.Events().empty());
        }
        EXPECT_EQ(Status(handle).TransferState, ECP_TRANSFER_PORT_CLOSED);
        uint8_t byte = 0;
        EXPECT_EQ(k.Read(handle, &byte, 1)->status, kDeviceNotReady);
        Close(handle);
        ExpectNothingClaimed(k);
        // Undo the arrangement for the next case.
        k.DeleteValue(kUnitKey, "LPTPort");
        k.DeleteValue(k.PortDeviceKey(0), "EnableConnectInterruptIoctl");
        k.SetPort(0, kernelsim::PortSetup{});
        k.Faults() = kernelsim::FaultPlan{};
        EXPECT_TRUE(k.PortAllocatedByOtherClient(0) == (std::string(test.name) == "port busy"));
        k.FreePortByOtherClient(0);
    }
}

TEST_F(PortBringUp, PortNumberComesFromTheUnitKey) {
    kernel.SetPort(1, kernelsim::PortSetup{});
    struct Case {
        const char* name;
        std::function<void(kernelsim::Kernel&)> arrange;
        int port;
    };
    const Case cases[] = {
        {"missing: port 1", [](kernelsim::Kernel&) {}, 0},
        {"2", [](kernelsim::Kernel& k) { k.SetDword(kUnitKey, "LPTPort", 2); }, 1},
        {"a string: port 1", [](kernelsim::Kernel& k) { k.SetString(kUnitKey, "LPTPort", "2"); }, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        test.arrange(kernel);
        const int handle = Open();
        EXPECT_EQ(OpenPort(handle), kSuccess);
        EXPECT_TRUE(kernel.PortAllocatedByDriver(test.port));
        EXPECT_TRUE(kernel.InterruptConnected(test.port));
        Close(handle);
        kernel.DeleteValue(kUnitKey, "LPTPort");
    }
    EXPECT_TRUE(kernel.Events().empty());
}

TEST_F(PortBringUp, ConnectSwitchIsTurnedOnAndLeftOn) {
    struct Case {
        const char* name;
        bool present;
        uint32_t before;
    };
    for (const Case& test : {Case{"0", true, 0}, Case{"missing", false, 0}, Case{"1", true, 1}, Case{"7", true, 7}}) {
        SCOPED_TRACE(test.name);
        if (test.present)
            kernel.SetDword(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl", test.before);
        else
            kernel.DeleteValue(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl");
        const int handle = OpenWithPort();
        uint32_t after = 0;
        EXPECT_TRUE(kernel.GetDword(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl", &after));
        EXPECT_EQ(after, test.before ? test.before : 1u);
        Close(handle);
    }
}

// The port driver reads its connect switch only when it starts: on a
// machine where it was never set the first open sets it but is refused the
// interrupt, and after the restart the port opens.
TEST_F(PortBringUp, FirstOpenOnAFreshMachineNeedsARestart) {
    kernel.DeleteValue(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl");
    kernel.RestartPortDriver();
    kernel.ClearEvents();
    const int handle = Open();
    EXPECT_EQ(OpenPort(handle), kBiosFailedToConnectInterrupt);
    ASSERT_EQ(kernel.Events().size(), 1u);
    EXPECT_EQ(kernel.Events()[0].code, 0xC0070005u);
    uint32_t value = 0;
    EXPECT_TRUE(kernel.GetDword(kernel.PortDeviceKey(0), "EnableConnectInterruptIoctl", &value));
    EXPECT_EQ(value, 1u);
    Close(handle);
    ExpectNothingClaimed(kernel);

    kernel.RestartPortDriver();
    const int again = OpenWithPort();
    EXPECT_TRUE(kernel.InterruptConnected(0));
    EXPECT_EQ(Status(again).TransferState, ECP_TRANSFER_IDLE);
}

TEST_F(PortBringUp, SecondOpenIsBusyAndKeepsThePort) {
    const int handle = OpenWithPort();
    EXPECT_EQ(OpenPort(handle), kDeviceBusy);
    EXPECT_TRUE(kernel.PortAllocatedByDriver(0));
    EXPECT_TRUE(kernel.InterruptConnected(0));
    EXPECT_EQ(Status(handle).TransferState, ECP_TRANSFER_IDLE);
    const auto data = Pattern(5, 9);
    kernelsim::Request write = kernel.Write(handle, data.data(), 5);
    kernel.Settle();
    EXPECT_EQ(write->information, 5u);
}

TEST_F(PortBringUp, ClosingANeverOpenedDeviceSucceeds) {
    const int handle = Open();
    Close(handle);
    const int again = Open();
    EXPECT_EQ(Status(again).TransferState, ECP_TRANSFER_PORT_CLOSED);
}

TEST_F(PortBringUp, FailedDisconnectKeepsThePortUntilItSucceeds) {
    const int handle = OpenWithPort();
    kernel.Faults().disconnectInterruptStatus = 0xC0000001;
    kernel.ClearEvents();
    Forget(handle);
    EXPECT_EQ(kernel.Close(handle), 0xC0000001u);
    ASSERT_EQ(kernel.Events().size(), 1u);
    EXPECT_EQ(kernel.Events()[0].code, 0xC007000Du);
    // Our routine is still on the line: the port may not go to anyone else.
    EXPECT_TRUE(kernel.PortAllocatedByDriver(0));
    EXPECT_TRUE(kernel.InterruptConnected(0));
    // Removal is refused while the interrupt stays connected, and the
    // binding it disconnects through is kept for the next try.
    EXPECT_EQ(kernel.Pnp(kQueryRemove), 0xC0000001u);
    EXPECT_TRUE(kernel.InterruptConnected(0));
    kernel.Faults().disconnectInterruptStatus = 0;
    EXPECT_EQ(kernel.Pnp(kQueryRemove), kSuccess);
    EXPECT_FALSE(kernel.InterruptConnected(0));
    EXPECT_FALSE(kernel.PortAllocatedByDriver(0));
    EXPECT_EQ(kernel.Pnp(kCancelRemove), kSuccess);
}

TEST_F(PortBringUp, InterruptGoesBeforeThePortIsFreed) {
    const int handle = OpenWithPort();
    Close(handle);
    // Another client takes the port; an interrupt on the shared line must
    // reach it and nothing of ours may touch its registers.
    kernel.AllocatePortByOtherClient(0);
    kernel.ClearPortWrites();
    EXPECT_TRUE(kernel.OtherClientInterrupt(0));
    EXPECT_TRUE(kernel.PortWrites().empty());
    kernel.FreePortByOtherClient(0);
}

TEST_F(PortBringUp, AnyFailingAllocationLeavesNothingBehind) {
    // The user chose port 2: no failure may open port 1 instead.
    kernel.SetPort(1, kernelsim::PortSetup{});
    kernel.SetDword(kUnitKey, "LPTPort", 2);
    // Each round makes one more allocation of the open fail, until the open
    // gets through whole.
    for (int n = 1; n < 64; ++n) {
        SCOPED_TRACE(n);
        const int handle = Open();
        kernel.Faults().failAllocationAt = n;
        const uint32_t opened = OpenPort(handle);
        const bool allAllocated = kernel.Faults().failAllocationAt > 0;
        kernel.Faults().failAllocationAt = 0;
        // Either the whole chosen port or nothing.
        EXPECT_FALSE(kernel.PortAllocatedByDriver(0));
        EXPECT_EQ(kernel.PortAllocatedByDriver(1), opened == kSuccess);
        EXPECT_EQ(kernel.InterruptConnected(1), opened == kSuccess);
        Close(handle);
        ExpectNothingClaimed(kernel);
        if (allAllocated) {
            EXPECT_EQ(opened, kSuccess);
            break;
        }
    }
}

}  // namespace
}  // namespace ombrix_test
