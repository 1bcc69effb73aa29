// ECP transfers by system DMA: data both ways through every segment shape,
// the port's mode registers, time-outs, cancel and clean-up, the races
// between completion, time-out, interrupt and cancel as fixed
// interleavings, and the shared interrupt line.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

// A buffer whose start lies `offset` bytes into a 4096-byte page.
class PageBuffer {
  public:
    PageBuffer(size_t bytes, size_t offset) : storage_(bytes + offset + 8192) {
        const uintptr_t base = (reinterpret_cast<uintptr_t>(storage_.data()) + 4095) & ~uintptr_t(4095);
        data_ = reinterpret_cast<uint8_t*>(base + offset);
        bytes_ = bytes;
    }
    uint8_t* data() { return data_; }
    std::vector<uint8_t> contents() const { return std::vector<uint8_t>(data_, data_ + bytes_); }

  private:
    std::vector<uint8_t> storage_;
    uint8_t* data_;
    size_t bytes_;
};

class Transfers : public SimulatedMachine {
  protected:
    // The port's mode writes, without the segment start (ECR 0x78) and stop
    // (ECR 0x74) that every transfer writes.
    std::vector<std::pair<std::string, int>> ModeWrites() {
        std::vector<std::pair<std::string, int>> writes;
        for (const kernelsim::PortWrite& write : kernel.PortWrites())
            if (!(write.reg == "ECR" && (write.value == 0x78 || write.value == 0x74)))
                writes.emplace_back(write.reg, write.value);
        return writes;
    }

    void Send(const std::vector<uint8_t>& data) {
        kernel.PeripheralOn(0).toHost.insert(kernel.PeripheralOn(0).toHost.end(), data.begin(), data.end());
    }
};

TEST_F(Transfers, DataArrivesBitExactBothWaysForEverySegmentShape) {
    const uint32_t sizes[] = {1, 2, 4095, 4096, 4097, 65536, 65537, 200 * 1024};
    const size_t offsets[] = {0, 1, 4093};
    uint32_t seed = 0;
    for (uint32_t registers : {17u, 2u, 1u}) {
        kernel.Faults().mapRegisterLimit = registers;
        const int handle = OpenWithPort();
        for (uint32_t size : sizes) {
            for (size_t offset : offsets) {
                SCOPED_TRACE(testing::Message()
                             << registers << " map registers, " << size << " bytes at page offset " << offset);
                const auto incoming = Pattern(size, ++seed);
                Send(incoming);
                PageBuffer in(size, offset);
                const uint32_t segmentsBefore = kernel.AdapterSegmentsMapped();
                kernelsim::Request read = kernel.Read(handle, in.data(), size);
                kernel.Settle();
                ASSERT_TRUE(read->done);
                EXPECT_EQ(read->status, kSuccess);
                EXPECT_EQ(read->information, size);
                EXPECT_TRUE(in.contents() == incoming);
                EXPECT_TRUE(kernel.PeripheralOn(0).toHost.empty());
                // Each segment as long as the map registers reach.
                const uint32_t pages = static_cast<uint32_t>((offset + size - 1) / 4096 + 1);
                EXPECT_EQ(kernel.AdapterSegmentsMapped() - segmentsBefore, (pages + registers - 1) / registers);

                const auto outgoing = Pattern(size, ++seed);
                PageBuffer out(size, offset);
                std::copy(outgoing.begin(), outgoing.end(), out.data());
                kernel.PeripheralOn(0).fromHost.clear();
                kernelsim::Request write = kernel.Write(handle, out.data(), size);
                kernel.Settle();
                ASSERT_TRUE(write->done);
                EXPECT_EQ(write->status, kSuccess);
                EXPECT_EQ(write->information, size);
                EXPECT_TRUE(kernel.PeripheralOn(0).fromHost == outgoing);
            }
        }
        Close(handle);
    }
}

TEST_F(Transfers, ShortenedSegmentsStillMoveEveryByte) {
    kernel.Faults().cutSegmentsAt = 1000;
    const int handle = OpenWithPort();
    const auto incoming = Pattern(5000, 7);
    Send(incoming);
    PageBuffer in(5000, 3);
    kernelsim::Request read = kernel.Read(handle, in.data(), 5000);
    kernel.Settle();
    EXPECT_EQ(read->information, 5000u);
    EXPECT_TRUE(in.contents() == incoming);
    EXPECT_EQ(kernel.AdapterSegmentsMapped(), 5u);
}

TEST_F(Transfers, LateGrantStartsTheTransferWhenTheChannelComes) {
    kernel.Faults().lateGrant = true;
    const int handle = OpenWithPort();
    Send(Pattern(300, 2));
    PageBuffer in(300, 11);
    kernelsim::Request read = kernel.Read(handle, in.data(), 300);
    kernel.Settle();
    EXPECT_FALSE(read->done);
    EXPECT_EQ(kernel.PeripheralOn(0).toHost.size(), 300u) << "nothing moves before the grant";
    ASSERT_TRUE(kernel.GrantAdapter());
    kernel.Settle();
    ASSERT_TRUE(read->done);
    EXPECT_EQ(read->information, 300u);
    EXPECT_TRUE(in.contents() == Pattern(300, 2));

    // Cancelled while waiting for the channel: the grant that comes later is
    // given straight back.
    kernelsim::Request waiting = kernel.Read(handle, in.data(), 300);
    kernel.Cancel(waiting);
    EXPECT_TRUE(waiting->done);
    EXPECT_EQ(waiting->status, kCancelled);
    EXPECT_TRUE(kernel.GrantAdapter());
    for (const std::string& left : kernel.Leftovers()) EXPECT_EQ(left.find("channel"), std::string::npos) << left;

    // Cancelled while waiting, with another read queued behind it: the
    // next read takes over the one channel request still with the platform
    // (a second would be refused), runs on its grant, and the channel is
    // free again afterwards.
    PageBuffer next(300, 0);
    kernelsim::Request cancelled = kernel.Read(handle, in.data(), 300);
    kernelsim::Request queued = kernel.Read(handle, next.data(), 300);
    kernel.Cancel(cancelled);
    EXPECT_EQ(cancelled->status, kCancelled);
    EXPECT_FALSE(queued->done);
    Send(Pattern(300, 3));
    ASSERT_TRUE(kernel.GrantAdapter());
    kernel.Settle();
    ASSERT_TRUE(queued->done);
    EXPECT_EQ(queued->status, kSuccess);
    EXPECT_EQ(queued->information, 300u);
    EXPECT_TRUE(next.contents() == Pattern(300, 3));
    EXPECT_FALSE(kernel.GrantAdapter()) << "no second request for the channel";
    for (const std::string& left : kernel.Leftovers()) EXPECT_EQ(left.find("channel"), std::string::npos) << left;
}

// The handle closes while a read waits for its channel: the clean-up ends
// the read with nothing moved, and the close gives the adapter back only after the platform has answered the
// channel request (its grant would otherwise call into a driver that let
// the adapter go), and the next open reads on a channel of its own.
TEST_F(Transfers, CloseWhileTheChannelIsAwaitedAnswersTheRequestFirst) {
    kernel.Faults().lateGrant = true;
    const int handle = OpenWithPort();
    PageBuffer in(300, 11);
    kernelsim::Request waiting = kernel.Read(handle, in.data(), 300);
    Close(handle);
    ASSERT_TRUE(waiting->done);
    EXPECT_EQ(waiting->information, 0u);
    EXPECT_FALSE(kernel.GrantAdapter()) << "a channel request outlived the close";
    EXPECT_EQ(kernel.Problems(), std::vector<std::string>());

    const int again = OpenWithPort();
    Send(Pattern(300, 4));
    kernelsim::Request read = kernel.Read(again, in.data(), 300);
    ASSERT_TRUE(kernel.GrantAdapter());
    kernel.Settle();
    EXPECT_EQ(read->information, 300u);
    EXPECT_TRUE(in.contents() == Pattern(300, 4));
}

TEST_F(Transfers, ModeRegistersAreWrittenOnlyWhenTheDirectionChanges) {
    const int handle = OpenWithPort();
    uint8_t buffer[8] = {};
    using Writes = std::vector<std::pair<std::string, int>>;
    struct Step {
        const char* name;
        bool read;
        Writes expected;
    };
    const Step steps[] = {
        {"first read", true, {{"ECR", 0x34}, {"DCR", 0x20}, {"ECR", 0x7C}}},   {"second read", true, {}},
        {"first write", false, {{"ECR", 0x34}, {"DCR", 0x04}, {"ECR", 0x7C}}}, {"second write", false, {}},
        {"read again", true, {{"ECR", 0x34}, {"DCR", 0x20}, {"ECR", 0x7C}}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        kernel.ClearPortWrites();
        if (step.read) Send(Pattern(8, 1));
        kernelsim::Request request = step.read ? kernel.Read(handle, buffer, 8) : kernel.Write(handle, buffer, 8);
        kernel.Settle();
        EXPECT_EQ(request->information, 8u);
        EXPECT_EQ(ModeWrites(), step.expected);
        EXPECT_EQ(Status(handle).EcpMode, step.read ? ECP_MODE_REVERSE : ECP_MODE_FORWARD);
        EXPECT_EQ(Status(handle).TransferState, ECP_TRANSFER_IDLE);
    }
}

TEST_F(Transfers, TotalTimeOutEndsAReadThatGetsNoData) {
    struct Case {
        uint32_t timeoutMs;
        uint64_t waitMs;  // the read still runs this long
    };
    for (const Case test : {Case{40, 39}, Case{500000, 499999}, Case{0, 10000000}}) {
        SCOPED_TRACE(test.timeoutMs);
        const int handle = OpenWithPort();
        SetTimeouts(handle, 250, test.timeoutMs);
        const uint32_t before = Status(handle).BytesRead;
        uint8_t buffer[64];
        kernelsim::Request read = kernel.Read(handle, buffer, 64);
        kernel.Settle();
        EXPECT_EQ(Status(handle).TransferState, ECP_TRANSFER_READING);
        kernel.AdvanceMs(test.waitMs);
        EXPECT_FALSE(read->done);
        kernel.AdvanceMs(1);
        if (test.timeoutMs == 0) {
            EXPECT_FALSE(read->done) << "without a time-out only cancel ends it";
            kernel.Cancel(read);
            EXPECT_EQ(read->status, kCancelled);
        } else {
            ASSERT_TRUE(read->done);
            EXPECT_EQ(read->status, kIoTimeout);
            EXPECT_EQ(read->information, 0u);
        }
        EXPECT_EQ(Status(handle).BytesRead, before);
        EXPECT_EQ(Status(handle).TransferState, ECP_TRANSFER_IDLE);
        // The next read runs normally.
        Send(Pattern(64, 5));
        kernelsim::Request next = kernel.Read(handle, buffer, 64);
        kernel.Settle();
        EXPECT_EQ(next->information, 64u);
        Close(handle);
    }
}

TEST_F(Transfers, TimeOutCountsOnlyTheSegmentsThatEnded) {
    kernel.Faults().mapRegisterLimit = 1;
    const int handle = OpenWithPort();
    SetTimeouts(handle, 250, 40);
    Send(Pattern(5000, 4));
    PageBuffer in(10000, 0);
    kernelsim::Request read = kernel.Read(handle, in.data(), 10000);
    kernel.Settle();
    kernel.AdvanceMs(40);
    ASSERT_TRUE(read->done);
    EXPECT_EQ(read->status, kIoTimeout);
    EXPECT_EQ(read->information, 4096u);
    EXPECT_EQ(Status(handle).BytesRead, 4096u);
}

// A unit that stops taking data part-way through a segment: the write's
// time-out ends it with the segments that ended, and the next write runs.
TEST_F(Transfers, StalledWriteEndsByItsTimeOut) {
    kernel.Faults().mapRegisterLimit = 1;
    const int handle = OpenWithPort();
    SetTimeouts(handle, 250, 40);
    kernel.PeripheralOn(0).acceptLimit = 5000;
    const auto data = Pattern(10000, 6);
    PageBuffer out(10000, 0);
    std::copy(data.begin(), data.end(), out.data());
    kernelsim::Request write = kernel.Write(handle, out.data(), 10000);
    kernel.Settle();
    kernel.AdvanceMs(249);
    EXPECT_FALSE(write->done);
    kernel.AdvanceMs(1);
    ASSERT_TRUE(write->done);
    EXPECT_EQ(write->status, kIoTimeout);
    EXPECT_EQ(write->information, 4096u);
    EXPECT_EQ(Status(handle).BytesWritten, 4096u);
    EXPECT_TRUE(kernel.PeripheralOn(0).fromHost == std::vector<uint8_t>(data.begin(), data.begin() + 5000));

    kernel.PeripheralOn(0).acceptLimit = SIZE_MAX;
    kernel.PeripheralOn(0).fromHost.clear();
    kernelsim::Request next = kernel.Write(handle, out.data(), 300);
    kernel.Settle();
    EXPECT_EQ(next->status, kSuccess);
    EXPECT_EQ(next->information, 300u);
    EXPECT_TRUE(kernel.PeripheralOn(0).fromHost == std::vector<uint8_t>(data.begin(), data.begin() + 300));
}

TEST_F(Transfers, CancelQueuedAndRunningRequests) {
    const int handle = OpenWithPort();
    uint8_t first[16], second[16], third[16];
    kernelsim::Request running = kernel.Read(handle, first, 16);
    kernelsim::Request queued = kernel.Read(handle, second, 16);
    kernelsim::Request last = kernel.Read(handle, third, 16);
    kernel.Settle();
    EXPECT_FALSE(running->done);

    kernel.ClearPortWrites();
    kernel.Cancel(queued);
    ASSERT_TRUE(queued->done);
    EXPECT_EQ(queued->status, kCancelled);
    EXPECT_EQ(queued->information, 0u);
    EXPECT_TRUE(kernel.PortWrites().empty()) << "a queued request is cancelled without touching the port";

    kernel.Cancel(running);
    ASSERT_TRUE(running->done);
    EXPECT_EQ(running->status, kCancelled);
    ASSERT_FALSE(kernel.PortWrites().empty());
    EXPECT_EQ(kernel.PortWrites().front().reg, "ECR");
    EXPECT_EQ(kernel.PortWrites().front().value, 0x74) << "the DMA stops first";
    // The last request starts and gets the data.
    Send(Pattern(16, 8));
    kernel.Settle();
    ASSERT_TRUE(last->done);
    EXPECT_EQ(last->information, 16u);
    EXPECT_EQ(Status(handle).BytesRead, 16u) << "cancelled transfers add nothing";
}

TEST_F(Transfers, CleanUpCompletesTheRunningReadWithTheBytesSoFar) {
    kernel.Faults().mapRegisterLimit = 1;
    const int handle = OpenWithPort();
    Send(Pattern(5000, 6));
    PageBuffer in(10000, 0);
    uint8_t other[4];
    kernelsim::Request read = kernel.Read(handle, in.data(), 10000);
    kernelsim::Request queued = kernel.Read(handle, other, 4);
    kernel.Settle();
    EXPECT_FALSE(read->done);
    Close(handle);
    ASSERT_TRUE(read->done);
    EXPECT_EQ(read->status, kSuccess);
    EXPECT_EQ(read->information, 4096u);
    EXPECT_EQ(queued->status, kCancelled);
}

// The interleavings below hold the DPCs so that their order is chosen.

TEST_F(Transfers, CompletionQueuedBeforeACancelDoesNotTouchTheNextRequest) {
    const int handle = OpenWithPort();
    uint8_t first[8], second[8];
    Send(Pattern(8, 1));
    kernel.HoldDpcs(true);
    kernelsim::Request a = kernel.Read(handle, first, 8);
    kernelsim::Request b = kernel.Read(handle, second, 8);
    kernel.Settle();      // A's data moved; its interrupt DPC waits
    kernel.RunNextDpc();  // continue: A's completion DPC is queued
    EXPECT_FALSE(a->done);
    EXPECT_EQ(kernel.QueuedDpcs(), 1u);
    kernel.Cancel(a);  // the cancel wins: A ends, B starts
    EXPECT_EQ(a->status, kCancelled);
    kernel.RunDpcs();  // A's stale completion
    EXPECT_FALSE(b->done) << "B must not be ended by A's completion";
    kernel.HoldDpcs(false);
    Send(Pattern(8, 2));
    kernel.Settle();
    ASSERT_TRUE(b->done);
    EXPECT_EQ(b->status, kSuccess);
    EXPECT_EQ(b->information, 8u);
    EXPECT_TRUE(std::vector<uint8_t>(second, second + 8) == Pattern(8, 2));
}

TEST_F(Transfers, InterruptOfACancelledRequestDoesNotContinueTheNext) {
    const int handle = OpenWithPort();
    uint8_t first[8], second[8];
    Send(Pattern(8, 1));
    kernel.HoldDpcs(true);
    kernelsim::Request a = kernel.Read(handle, first, 8);
    kernelsim::Request b = kernel.Read(handle, second, 8);
    kernel.Settle();  // A's segment ended; its interrupt DPC waits
    kernel.Cancel(a);
    kernel.RunDpcs();  // the stale interrupt DPC
    EXPECT_FALSE(b->done);
    kernel.HoldDpcs(false);
    Send(Pattern(8, 3));
    kernel.Settle();
    ASSERT_TRUE(b->done);
    EXPECT_EQ(b->information, 8u);
    EXPECT_TRUE(std::vector<uint8_t>(second, second + 8) == Pattern(8, 3));
}

TEST_F(Transfers, TimeOutAndLastSegmentTogetherCompleteOnce) {
    const int handle = OpenWithPort();
    SetTimeouts(handle, 250, 40);
    uint8_t buffer[8];
    kernel.HoldDpcs(true);
    kernelsim::Request read = kernel.Read(handle, buffer, 8);
    kernel.AdvanceMs(39);
    Send(Pattern(8, 4));
    kernel.Settle();      // the segment ends: interrupt DPC queued
    kernel.AdvanceMs(1);  // the time-out fires too
    kernel.HoldDpcs(false);
    ASSERT_TRUE(read->done);
    EXPECT_EQ(read->status, kSuccess);
    EXPECT_EQ(read->information, 8u);
}

TEST_F(Transfers, TimeOutOfAnEndedRequestDoesNotEndTheNext) {
    const int handle = OpenWithPort();
    SetTimeouts(handle, 250, 40);
    uint8_t first[8], second[8];
    kernel.HoldDpcs(true);
    kernelsim::Request a = kernel.Read(handle, first, 8);
    kernelsim::Request b = kernel.Read(handle, second, 8);
    kernel.AdvanceMs(39);
    Send(Pattern(8, 5));
    kernel.Settle();
    kernel.RunNextDpc();  // A's segment continues; A's completion is queued
    kernel.AdvanceMs(1);  // A's timer expires behind the completion
    EXPECT_EQ(kernel.QueuedDpcs(), 2u);
    kernel.RunNextDpc();  // A completes, B starts and arms its own timer
    kernel.RunDpcs();     // whatever of A's time-out is left
    EXPECT_TRUE(a->done);
    EXPECT_EQ(a->status, kSuccess);
    kernel.HoldDpcs(false);
    kernel.AdvanceMs(39);
    EXPECT_FALSE(b->done) << "B runs its own 40 ms";
    kernel.AdvanceMs(1);
    ASSERT_TRUE(b->done);
    EXPECT_EQ(b->status, kIoTimeout);
}

TEST_F(Transfers, TheOtherClientKeepsItsInterruptsWhileThePortIdles) {
    const int handle = OpenWithPort();
    EXPECT_TRUE(kernel.OtherClientInterrupt(0)) << "idle after open";
    EXPECT_FALSE(kernel.SpuriousInterrupt(0));
    uint8_t buffer[8];
    Send(Pattern(8, 1));
    kernelsim::Request read = kernel.Read(handle, buffer, 8);
    kernel.Settle();
    EXPECT_TRUE(read->done);
    EXPECT_TRUE(kernel.OtherClientInterrupt(0)) << "idle after a transfer";
    EXPECT_FALSE(kernel.SpuriousInterrupt(0));
    kernelsim::Request waiting = kernel.Read(handle, buffer, 8);
    kernel.Settle();
    EXPECT_TRUE(kernel.OtherClientInterrupt(0)) << "while a segment runs the service bit is clear";
    EXPECT_FALSE(waiting->done);
    Send(Pattern(8, 2));
    kernel.Settle();
    EXPECT_TRUE(waiting->done);
}

}  // namespace
}  // namespace ombrix_test
