// The device through Plug and Play and power changes: busy refusals, stop
// and remove with their cancel steps, surprise removal in mid-transfer,
// sleep and wake with requests queued and running, and many open-close
// cycles, each request completed once and nothing left after unload.
#include <vector>

#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

class PnpAndPower : public SimulatedMachine {
  protected:
    void Send(size_t bytes, uint32_t seed) {
        const auto data = Pattern(bytes, seed);
        kernel.PeripheralOn(0).toHost.insert(kernel.PeripheralOn(0).toHost.end(), data.begin(), data.end());
    }

    // No DMA channel, map registers or port left in use.
    void ExpectTransferStopped() {
        for (const std::string& left : kernel.Leftovers()) {
            EXPECT_EQ(left.find("channel"), std::string::npos) << left;
            EXPECT_EQ(left.find("map registers"), std::string::npos) << left;
        }
    }
};

TEST_F(PnpAndPower, HundredCyclesOfOpenTransferCancelClose) {
    std::vector<uint8_t> in(300), out = Pattern(300, 1);
    for (int cycle = 0; cycle < 100; ++cycle) {
        SCOPED_TRACE(cycle);
        const int handle = OpenWithPort();
        SetTimeouts(handle, 250, 40);
        kernelsim::Request write = kernel.Write(handle, out.data(), 300);
        Send(300, cycle);
        kernelsim::Request read = kernel.Read(handle, in.data(), 300);
        kernelsim::Request cancelled = kernel.Read(handle, in.data(), 300);
        kernel.Settle();
        kernel.Cancel(cancelled);
        EXPECT_EQ(write->information, 300u);
        EXPECT_EQ(read->information, 300u);
        EXPECT_TRUE(in == Pattern(300, cycle));
        EXPECT_EQ(cancelled->status, kCancelled);
        Close(handle);
        EXPECT_FALSE(kernel.PortAllocatedByDriver(0));
        EXPECT_EQ(kernel.DevicePower(), kD3) << "powered down at the last close";
    }
    EXPECT_EQ(kernel.PeripheralOn(0).fromHost.size(), 300u * 100);
}

TEST_F(PnpAndPower, QueriesAreRefusedWhileAHandleIsOpen) {
    const int handle = OpenWithPort();
    EXPECT_EQ(kernel.DevicePower(), kD0);
    EXPECT_EQ(kernel.Pnp(kQueryStop), kDeviceBusy);
    EXPECT_EQ(kernel.Pnp(kQueryRemove), kDeviceBusy);
    // Nothing changed: the port still works.
    Send(4, 2);
    uint8_t buffer[4];
    kernelsim::Request read = kernel.Read(handle, buffer, 4);
    kernel.Settle();
    EXPECT_EQ(read->information, 4u);
}

TEST_F(PnpAndPower, StopAndStartAgain) {
    EXPECT_EQ(kernel.Pnp(kQueryStop), kSuccess);
    EXPECT_EQ(kernel.Pnp(kCancelStop), kSuccess);
    EXPECT_EQ(kernel.Pnp(kQueryStop), kSuccess);
    EXPECT_EQ(kernel.Pnp(kStop), kSuccess);
    EXPECT_EQ(kernel.Start(), kSuccess);
    const int handle = OpenWithPort();
    Send(4, 3);
    uint8_t buffer[4];
    kernelsim::Request read = kernel.Read(handle, buffer, 4);
    kernel.Settle();
    EXPECT_EQ(read->information, 4u);
}

TEST_F(PnpAndPower, RequestsHeldWhileAQueryIsPendingRunInOrderAfterItsCancel) {
    struct Case {
        const char* name;
        uint8_t query;
        uint8_t cancel;
    };
    for (const Case& test : {Case{"stop", kQueryStop, kCancelStop}, Case{"remove", kQueryRemove, kCancelRemove}}) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(kernel.Pnp(test.query), kSuccess);
        const int handle = Open();
        const EcpTimeouts first{7, 9}, second{8, 10};
        kernelsim::Request a = kernel.Control(handle, ECP_IOCTL_SET_TIMEOUTS, &first, sizeof first, 0);
        kernelsim::Request b = kernel.Control(handle, ECP_IOCTL_SET_TIMEOUTS, &second, sizeof second, 0);
        EXPECT_FALSE(a->done);
        EXPECT_FALSE(b->done);
        EXPECT_EQ(kernel.Pnp(test.cancel), kSuccess);
        ASSERT_TRUE(a->done && b->done);
        EXPECT_EQ(a->status, kSuccess);
        EXPECT_EQ(Status(handle).ReadTotalTimeout, 10u) << "the second ran last";
        Close(handle);
    }
}

TEST_F(PnpAndPower, RemoveWithoutHandlesDeletesTheDevice) {
    EXPECT_EQ(kernel.Pnp(kQueryRemove), kSuccess);
    EXPECT_EQ(kernel.Pnp(kCancelRemove), kSuccess);
    EXPECT_EQ(kernel.Pnp(kQueryRemove), kSuccess);
    EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
    EXPECT_FALSE(kernel.DeviceExists());
    uint32_t status = 0;
    EXPECT_EQ(kernel.Open(&status), -1);
    EXPECT_EQ(status, kNameNotFound);
}

TEST_F(PnpAndPower, SurpriseRemovalEndsTheRunningTransferAndLaterRequestsFail) {
    const int handle = OpenWithPort();
    uint8_t first[64], second[64];
    kernelsim::Request running = kernel.Read(handle, first, 64);  // no time-out: only its end ends it
    kernelsim::Request queued = kernel.Read(handle, second, 64);
    kernel.Settle();
    EXPECT_EQ(kernel.Pnp(kSurpriseRemoval), kSuccess);
    ASSERT_TRUE(running->done);
    ASSERT_TRUE(queued->done);
    EXPECT_EQ(running->status, kCancelled);
    EXPECT_EQ(queued->status, kCancelled);
    ExpectTransferStopped();
    kernelsim::Request after = kernel.Read(handle, first, 64);
    EXPECT_EQ(after->status, kDeletePending);
    EXPECT_EQ(kernel.Control(handle, ECP_IOCTL_PORT_STATUS, nullptr, 0, 32)->status, kDeletePending);
    EXPECT_EQ(kernel.Pnp(kQueryStop), kDeletePending);
    // The remove comes while the handle is still open; the last close
    // finishes the device.
    EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
    EXPECT_FALSE(kernel.PortAllocatedByDriver(0));
    EXPECT_FALSE(kernel.DeviceExists());
    Close(handle);
}

TEST_F(PnpAndPower, RemoveDoesNotWaitForeverOnAReadWithoutTimeOut) {
    const int handle = OpenWithPort();
    uint8_t buffer[64];
    kernelsim::Request running = kernel.Read(handle, buffer, 64);
    kernel.Settle();
    EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
    EXPECT_TRUE(running->done);
    EXPECT_EQ(running->status, kCancelled);
    Close(handle);
}

TEST_F(PnpAndPower, SleepEndsTransfersAndWakeRestoresTheDevice) {
    const int handle = OpenWithPort();
    uint8_t first[64], second[64];
    kernelsim::Request running = kernel.Read(handle, first, 64);
    kernelsim::Request queued = kernel.Read(handle, second, 64);
    kernel.Settle();
    EXPECT_EQ(kernel.SetSystemPower(kS3), kSuccess);
    ASSERT_TRUE(running->done);
    ASSERT_TRUE(queued->done);
    EXPECT_EQ(running->status, kCancelled);
    EXPECT_EQ(queued->status, kCancelled);
    EXPECT_EQ(kernel.DevicePower(), kD2);
    ExpectTransferStopped();
    EXPECT_EQ(kernel.SetSystemPower(kS0), kSuccess);
    EXPECT_EQ(kernel.DevicePower(), kD0);
    Send(64, 4);
    kernelsim::Request after = kernel.Read(handle, first, 64);
    kernel.Settle();
    EXPECT_EQ(after->information, 64u);
}

// A bus driver that completes every request later, from its own DPC: the
// library's synchronous calls down (start, its capability query, the
// cancel steps, power) wait for them and touch only their own stack
// locations.
TEST(PnpWithAPendingBus, EveryStepWaitsForTheBusAndTheDeviceWorks) {
    kernelsim::Kernel kernel;
    kernel.Faults().pendLowerRequests = true;
    ASSERT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
    ASSERT_EQ(kernel.AddDevice(), kSuccess);
    EXPECT_EQ(kernel.Start(), kSuccess);
    uint32_t status = 1;
    const int handle = kernel.Open(&status);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(kernel.DevicePower(), kD0);
    kernelsim::Request open = kernel.Control(handle, ECP_IOCTL_OPEN_PORT, nullptr, 0, 4);
    EXPECT_EQ(open->output, std::vector<uint8_t>(4, 0));
    const auto data = Pattern(64, 9);
    kernel.PeripheralOn(0).toHost.assign(data.begin(), data.end());
    std::vector<uint8_t> in(64);
    kernelsim::Request read = kernel.Read(handle, in.data(), 64);
    kernel.Settle();
    EXPECT_EQ(read->information, 64u);
    EXPECT_EQ(kernel.SetSystemPower(kS3), kSuccess);
    EXPECT_EQ(kernel.SetSystemPower(kS0), kSuccess);
    EXPECT_EQ(kernel.Close(handle), kSuccess);
    EXPECT_EQ(kernel.Pnp(kQueryStop), kSuccess);
    EXPECT_EQ(kernel.Pnp(kCancelStop), kSuccess);
    EXPECT_EQ(kernel.Pnp(kQueryRemove), kSuccess);
    EXPECT_EQ(kernel.Pnp(kRemove), kSuccess);
    kernel.Unload();
    EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
    EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
}

TEST_F(PnpAndPower, PowerFollowsTheHandles) {
    EXPECT_NE(kernel.DevicePower(), kD0);
    const int handle = Open();
    EXPECT_EQ(kernel.DevicePower(), kD0);
    Close(handle);
    EXPECT_EQ(kernel.DevicePower(), kD3);
    const int again = Open();
    EXPECT_EQ(kernel.DevicePower(), kD0);
    Close(again);
}

}  // namespace
}  // namespace ombrix_test
