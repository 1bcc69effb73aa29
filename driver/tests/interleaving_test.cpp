// The driver on a multiprocessor: transfers, time-outs, cancel, the shared
// interrupt, Plug and Play queries and removal, sleep and wake, each scenario
// run under many schedules of the simulated kernel's concurrent mode, where
// the interrupt routine, the DPCs, cancel and the dispatch routines meet at
// every kernel call. Each schedule runs on a fresh machine, which must see
// no misuse and keep nothing at unload; the scenario checks what its
// requests report.
#include <cstring>
#include <functional>
#include <memory>

#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

// Schedules per scenario: enough that each race below shows within them,
// few enough for the test command.
constexpr uint32_t kSchedules = 150;

// A machine with the driver started, for one schedule.
class Machine {
  public:
    Machine() {
        EXPECT_EQ(kernel.Load(OmbrixDriverEntry), kSuccess);
        EXPECT_EQ(kernel.AddDevice(), kSuccess);
        EXPECT_EQ(kernel.Start(), kSuccess);
    }

    // A handle with the port open and the given time-outs.
    int OpenWithPort(uint32_t writeMs, uint32_t readMs) {
        const int handle = Open();
        uint32_t opened = 1;
        kernelsim::Request request = kernel.Control(handle, ECP_IOCTL_OPEN_PORT, nullptr, 0, 4);
        if (request->output.size() == 4) std::memcpy(&opened, request->output.data(), 4);
        EXPECT_EQ(opened, kSuccess);
        const EcpTimeouts timeouts{writeMs, readMs};
        kernel.Control(handle, ECP_IOCTL_SET_TIMEOUTS, &timeouts, sizeof timeouts, 0);
        return handle;
    }

    int Open() {
        uint32_t status = 0;
        return kernel.Open(&status);
    }

    void Send(size_t bytes, uint32_t seed) {
        const auto data = Pattern(bytes, seed);
        kernel.PeripheralOn(0).toHost.insert(kernel.PeripheralOn(0).toHost.end(), data.begin(), data.end());
    }

    // Within an actor: waits until the request (which another actor may not
    // have made yet) has completed.
    void Await(const kernelsim::Request& request, const char* what) {
        kernel.WaitUntil([&request] { return request && request->done; }, what);
    }

    // Closes what is open, removes the device and unloads: nothing may be
    // left and no misuse seen.
    void Finish(const std::vector<int>& handles) {
        for (int handle : handles)
            if (handle > 0) kernel.Close(handle);
        if (kernel.DeviceExists()) kernel.Pnp(kRemove);
        kernel.Unload();
        EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
        EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
    }

    kernelsim::Kernel kernel;
};

// When the platform grants the DMA channel: within the driver's request for
// it, or later, from the hardware's processor at a moment the schedule picks
// (while the platform serves another device's transfer).
enum class Grants { AtOnce, Late };

// Runs the scenario once per schedule, each on a fresh machine; stops at the
// first schedule that fails, naming it.
void ForEachSchedule(const std::function<void(Machine&, uint32_t)>& scenario, Grants grants = Grants::AtOnce) {
    for (uint32_t seed = 1; seed <= kSchedules; ++seed) {
        SCOPED_TRACE(testing::Message() << "schedule " << seed);
        Machine machine;
        machine.kernel.Faults().lateGrant = grants == Grants::Late;
        scenario(machine, seed);
        if (testing::Test::HasFailure()) return;
    }
}

bool Either(uint32_t status, uint32_t a, uint32_t b) { return status == a || status == b; }

// One processor's part: two reads sent one after the other, then both
// awaited, so that the second waits in the queue behind the first.
std::function<void()> TwoReads(Machine& m, int handle, uint8_t* first, uint8_t* second, kernelsim::Request& a,
                               kernelsim::Request& b) {
    return [&m, handle, first, second, &a, &b] {
        a = m.kernel.Read(handle, first, 64);
        b = m.kernel.Read(handle, second, 64);
        m.Await(a, "the first read");
        m.Await(b, "the second read");
    };
}

// A read that gets its data while its time-out expires, and a second that
// gets none: each read that times out has had its own time-out in full,
// whatever of the first one's expiry still runs on another processor.
void TimeOutsOfTwoReads(Machine& m, uint32_t seed) {
    const int handle = m.OpenWithPort(250, 40);
    m.Send(64, 1);
    uint8_t first[64], second[64];
    kernelsim::Request a, b;
    m.kernel.RunConcurrently(seed, {
        TwoReads(m, handle, first, second, a, b),
        [&] {
            m.kernel.WaitUntil([&] { return a != nullptr; }, "the first read's start");
            m.kernel.AdvanceMs(40);
            m.Await(a, "the first read");
            m.kernel.WaitUntil([&] { return b != nullptr; }, "the second read's start");
            m.kernel.AdvanceMs(40);
            m.Await(b, "the second read");
        },
    });
    ASSERT_TRUE(a && a->done && b && b->done) << testing::PrintToString(m.kernel.Problems());
    // The data goes to one read (the first may time out while its one
    // segment runs, and then it is lost).
    EXPECT_FALSE(a->status == kSuccess && b->status == kSuccess) << "one read's data arrived twice";
    for (const auto& read : {a, b}) {
        EXPECT_TRUE(Either(read->status, kSuccess, kIoTimeout)) << std::hex << read->status;
        if (read->status == kIoTimeout) {
            EXPECT_GE(read->doneMs, read->startedMs + 40) << "a read was timed out before its time";
        }
    }
    m.Finish({handle});
}

TEST(Interleavings, TimeOutsBelongToTheirOwnRequest) { ForEachSchedule(TimeOutsOfTwoReads); }

// Reads cancelled while queued, while starting and while running, beside
// the DMA, the interrupts (also the other client's on the shared line) and
// the DPCs: each request ends once, and the last gets its data.
void CancelsOfThreeReads(Machine& m, uint32_t seed) {
    const int handle = m.OpenWithPort(0, 0);
    m.Send(64 * 3, 2);
    uint8_t buffers[3][64];
    kernelsim::Request reads[3];
    m.kernel.RunConcurrently(seed, {
        [&] {
            for (int i = 0; i < 3; ++i) reads[i] = m.kernel.Read(handle, buffers[i], 64);
            for (const auto& read : reads) m.Await(read, "a read");
        },
        [&] {
            for (int i : {1, 0}) {
                m.kernel.WaitUntil([&] { return reads[i] != nullptr; }, "a read's start");
                m.kernel.Cancel(reads[i]);
            }
        },
    });
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(reads[i] && reads[i]->done);
        EXPECT_TRUE(Either(reads[i]->status, kSuccess, kCancelled)) << i << " " << std::hex << reads[i]->status;
        if (reads[i]->status == kCancelled) {
            EXPECT_EQ(reads[i]->information, 0u);
        }
    }
    ASSERT_TRUE(reads[2] && reads[2]->done);
    EXPECT_EQ(reads[2]->status, kSuccess);
    EXPECT_EQ(reads[2]->information, 64u);
    m.Finish({handle});
}

TEST(Interleavings, CancelMeetsTheTransferAnywhere) { ForEachSchedule(CancelsOfThreeReads); }

// Writes one after another while the unit takes data at its own pace, with
// the other client's interrupts on the shared line.
TEST(Interleavings, WritesRunWhileTheOtherClientInterrupts) {
    ForEachSchedule([](Machine& m, uint32_t seed) {
        const int handle = m.OpenWithPort(0, 0);
        const auto data = Pattern(3 * 5000, 3);
        kernelsim::Request writes[3];
        m.kernel.RunConcurrently(
            seed,
            {[&] {
                for (int i = 0; i < 3; ++i) writes[i] = m.kernel.Write(handle, data.data() + i * 5000, 5000);
                for (const auto& write : writes) m.Await(write, "a write");
            }},
            4);
        for (const auto& write : writes) {
            EXPECT_EQ(write->status, kSuccess);
            EXPECT_EQ(write->information, 5000u);
        }
        EXPECT_TRUE(m.kernel.PeripheralOn(0).fromHost == data);
        m.Finish({handle});
    });
}

// A handle opened while removal or stop is queried: the query either sees
// it and is refused, or has released the port before it answers, and the
// handle's requests wait until the query is cancelled.
TEST(Interleavings, QueriesAndHandlesTakeTurnsOnTheDevice) {
    ForEachSchedule([](Machine& m, uint32_t seed) {
        int handle = -1;
        kernelsim::Request opened, read;
        uint8_t buffer[16];
        m.Send(16, 4);
        m.kernel.RunConcurrently(seed, {
            [&] {
                for (auto [query, cancel] : {std::pair{kQueryRemove, kCancelRemove}, std::pair{kQueryStop, kCancelStop}}) {
                    const uint32_t status = m.kernel.Pnp(query);
                    EXPECT_TRUE(Either(status, kSuccess, kDeviceBusy)) << std::hex << status;
                    if (status != kSuccess) continue;
                    EXPECT_FALSE(m.kernel.PortAllocatedByDriver(0)) << "the port is held past a granted query";
                    EXPECT_EQ(m.kernel.Pnp(cancel), kSuccess);
                }
            },
            [&] {
                handle = m.Open();
                if (handle <= 0) return;
                opened = m.kernel.Control(handle, ECP_IOCTL_OPEN_PORT, nullptr, 0, 4);
                m.Await(opened, "the port's opening");
                read = m.kernel.Read(handle, buffer, 16);
                m.Await(read, "the read");
            },
        });
        ASSERT_GT(handle, 0);
        ASSERT_TRUE(opened && opened->done && read && read->done) << testing::PrintToString(m.kernel.Problems());
        EXPECT_EQ(read->status, kSuccess);
        EXPECT_EQ(read->information, 16u);
        m.Finish({handle});
    });
}

// Surprise removal and remove while a read runs and another waits.
void RemovalDuringTwoReads(Machine& m, uint32_t seed) {
    const int handle = m.OpenWithPort(0, 0);
    uint8_t first[64], second[64];
    kernelsim::Request a, b;
    m.kernel.RunConcurrently(seed, {
        TwoReads(m, handle, first, second, a, b),
        [&] {
            EXPECT_EQ(m.kernel.Pnp(kSurpriseRemoval), kSuccess);
            EXPECT_EQ(m.kernel.Pnp(kRemove), kSuccess);
        },
    });
    for (const auto& read : {a, b}) {
        ASSERT_TRUE(read && read->done);
        EXPECT_TRUE(Either(read->status, kCancelled, kDeletePending) || read->status == kDeviceNotReady)
            << std::hex << read->status;
    }
    EXPECT_FALSE(m.kernel.DeviceExists());
    EXPECT_FALSE(m.kernel.PortAllocatedByDriver(0));
    m.Finish({handle});
}

TEST(Interleavings, RemovalEndsWhatRuns) { ForEachSchedule(RemovalDuringTwoReads); }

// The system sleeps and wakes while reads run, wait for data or queue, with
// data for two of them before the sleep and for two after the wake. Each
// read ends: cancelled by the sleep, or with its data (one made during the
// sleep waits for the wake). A read that the sleep's first round of ending
// missed (it had passed its checks before the sleep began) has no data and
// holds the sleep's wait for the requests in progress: the wait's time-out
// passes and the next round ends it. Afterwards the device reads again.
TEST(Interleavings, SleepAndWakeLoseNoRead) {
    ForEachSchedule([](Machine& m, uint32_t seed) {
        const int handle = m.OpenWithPort(0, 0);
        m.Send(64 * 2, 5);
        uint8_t buffers[4][64];
        kernelsim::Request reads[4];
        m.kernel.RunConcurrently(seed, {
            [&] {
                for (int i = 0; i < 4; ++i) reads[i] = m.kernel.Read(handle, buffers[i], 64);
                for (const auto& read : reads) m.Await(read, "a read");
            },
            [&] {
                EXPECT_EQ(m.kernel.SetSystemPower(kS3), kSuccess);
                EXPECT_EQ(m.kernel.SetSystemPower(kS0), kSuccess);
                m.Send(64 * 2, 6);
            },
        });
        for (const auto& read : reads) {
            ASSERT_TRUE(read && read->done) << testing::PrintToString(m.kernel.Problems());
            EXPECT_TRUE(Either(read->status, kSuccess, kCancelled)) << std::hex << read->status;
            EXPECT_EQ(read->information, read->status == kSuccess ? 64u : 0u);
        }
        EXPECT_EQ(m.kernel.DevicePower(), kD0);
        m.kernel.PeripheralOn(0).toHost.clear();
        m.Send(64, 7);
        uint8_t after[64];
        kernelsim::Request read = m.kernel.Read(handle, after, 64);
        m.kernel.Settle();
        EXPECT_TRUE(read->done && read->status == kSuccess && read->information == 64u) << std::hex << read->status;
        m.Finish({handle});
    });
}

// The same races with the DMA channel granted late: a cancel, a time-out or
// a removal ends a read while its channel request is still with the
// platform, or while the grant's execution routine runs on another
// processor. The grant and the ending never both act on the read: the
// channel goes to the next read or back to the platform once, and no
// segment starts for a read that has ended.
TEST(Interleavings, LateGrantsMeetTheCancel) { ForEachSchedule(CancelsOfThreeReads, Grants::Late); }
TEST(Interleavings, LateGrantsMeetTheTimeOut) { ForEachSchedule(TimeOutsOfTwoReads, Grants::Late); }
TEST(Interleavings, LateGrantsMeetTheRemoval) { ForEachSchedule(RemovalDuringTwoReads, Grants::Late); }

}  // namespace
}  // namespace ombrix_test
