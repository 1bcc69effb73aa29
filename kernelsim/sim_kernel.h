// A simulated Windows kernel in user mode, for proving the Ombrix driver in
// test programs. It stands in for every kernel and HAL function the driver
// imports and plays the I/O manager, the Plug and Play and power managers,
// the DMA adapter, the registry, the event log and the platform's
// parallel-port driver with an ECP port and a peripheral on it.
//
// Deterministic: one thread, a simulated clock, DPCs run when the level
// falls below dispatch (or when the test releases them), timers when the
// test advances the clock, the port's interrupt when the test runs the
// hardware. It records, naming the object, every misuse it sees: a request
// completed twice or never, waits or registry calls above passive level, a
// wait nothing can satisfy, and everything left behind at unload.
//
// Concurrent on demand (RunConcurrently): the test's actors run each on a
// processor of its own, beside one processor that runs queued DPCs and one
// that plays the hardware (DMA, the port's and the other client's
// interrupts, late channel grants, lower drivers' completions). They take
// turns at every kernel call the driver makes, in an order a seed picks, so
// that the interrupt routine, the DPCs, cancel and the dispatch routines
// meet at every point where real processors could interleave them. Spin
// locks, the cancel spin lock, the interrupt's lock, mutexes and events
// hold a processor until another lets it go, as on a real machine; a wait
// with a time-out ends by it when no processor can go on otherwise.
//
// This header needs no kernel header: tests include it beside their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kernelsim {

// Outcome of one request as the I/O manager reports it to the caller.
struct RequestResult {
    bool done = false;
    int completions = 0;
    uint32_t status = 0;
    uint64_t information = 0;
    std::vector<uint8_t> output;  // buffered output, Information bytes
    void* irp = nullptr;          // while in flight
    uint64_t startedMs = 0;       // the simulated time the driver's StartIo got it
    uint64_t doneMs = 0;          // the simulated time it completed at
};
using Request = std::shared_ptr<RequestResult>;

// One of the machine's parallel ports.
struct PortSetup {
    bool present = true;
    bool ecp = true;
    uint32_t dmaChannel = 3;
    uint32_t fifoWidth = 1;
};

// The unit on the port: what it sends, what it took, whether DSR reads on line.
struct Peripheral {
    bool online = true;
    std::deque<uint8_t> toHost;
    std::vector<uint8_t> fromHost;
    size_t acceptLimit = SIZE_MAX;  // bytes it still takes before stalling
};

// Failures the simulation gives on demand.
struct FaultPlan {
    int failAllocationAt = 0;  // the n-th pool allocation from now fails (1: the next)
    bool noDmaAdapter = false;
    uint32_t mapRegisterLimit = 17;          // map registers the platform grants at most
    bool lateGrant = false;                  // adapter channel granted only by GrantAdapter()
    uint32_t cutSegmentsAt = 0;              // MapTransfer maps at most this many bytes (0: no cut)
    uint32_t connectInterruptStatus = 0;     // nonzero: connect fails with it
    uint32_t disconnectInterruptStatus = 0;  // nonzero: disconnect fails with it
    uint32_t deviceKeyStatus = 0;            // nonzero: opening the port's device key fails
    bool failPortStatusQueries = false;      // the port driver's information requests fail
    bool pendLowerRequests = false;          // the root bus pends every request and completes it later
};

struct PortWrite {
    std::string reg;  // "DATA", "DCR", "ECR", "ECP"
    uint8_t value;
};

struct LoggedEvent {
    uint32_t code;
    uint32_t finalStatus;
    uint32_t unique;
    std::vector<std::wstring> strings;
    bool againstDriverObject;
};

// A driver's entry: DriverEntry(driver object, registry path).
typedef long(__stdcall* DriverEntryRoutine)(void* driverObject, void* registryPath);

class Kernel {
  public:
    Kernel();
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    FaultPlan& Faults();

    // Registry; keys are Win32 paths under HKEY_LOCAL_MACHINE.
    void SetDword(const std::string& key, const std::string& name, uint32_t value);
    void SetString(const std::string& key, const std::string& name, const std::string& value);
    bool GetDword(const std::string& key, const std::string& name, uint32_t* value) const;
    void DeleteValue(const std::string& key, const std::string& name);
    void CreateKey(const std::string& key);
    // The port's device-parameters key. Its "EnableConnectInterruptIoctl"
    // is 1 at first (the driver ran here before); the port driver reads it
    // when it starts, and connects a client's interrupt only when it read
    // it set.
    std::string PortDeviceKey(int port) const;
    // The port driver starts again, as at the machine's restart.
    void RestartPortDriver();

    // Parallel ports (port 0 exists unless changed) and the peripheral.
    void SetPort(int port, const PortSetup& setup);
    Peripheral& PeripheralOn(int port = 0);
    void AllocatePortByOtherClient(int port);
    void FreePortByOtherClient(int port);
    bool PortAllocatedByOtherClient(int port) const;
    bool PortAllocatedByDriver(int port) const;
    bool InterruptConnected(int port) const;
    // The other device on the port's shared interrupt raises its interrupt;
    // true when its own routine got it.
    bool OtherClientInterrupt(int port = 0);
    // An interrupt nobody raised; true when some routine claimed it.
    bool SpuriousInterrupt(int port = 0);
    const std::vector<PortWrite>& PortWrites() const;
    void ClearPortWrites();

    // The driver.
    uint32_t Load(DriverEntryRoutine entry);
    uint32_t AddDevice();
    uint32_t Pnp(uint8_t minor);
    uint32_t Start() { return Pnp(0x00); }
    uint32_t SetSystemPower(int systemState);  // 1 working .. 6 shutdown
    int DevicePower() const;                   // last state the driver reported
    void Unload();
    bool DeviceExists() const;
    // Times the driver broke into the kernel debugger.
    int DebuggerBreaks() const;
    // A kernel debugger attached and enabled (none at first).
    void SetDebuggerEnabled(bool enabled);

    // The I/O manager as user mode reaches it.
    int Open(uint32_t* status);  // "\\.\ECP"; -1 when refused
    uint32_t Close(int handle);  // clean-up then close; the close status
    Request Control(int handle, uint32_t code, const void* input, uint32_t inputBytes, uint32_t outputBytes);
    Request Read(int handle, void* buffer, uint32_t bytes);
    Request Write(int handle, const void* data, uint32_t bytes);
    void Cancel(const Request& request);

    // Time and deferred work.
    void HoldDpcs(bool hold);
    void RunDpcs();
    // Runs the oldest queued DPC alone; false when none is queued.
    bool RunNextDpc();
    size_t QueuedDpcs() const;
    void AdvanceMs(uint64_t ms);
    uint64_t NowMs() const;
    // Moves data on every running DMA segment and raises the interrupts
    // that follow; then the DPCs (unless held). Until nothing changes.
    void Settle();
    bool GrantAdapter();  // the oldest waiting channel request (late grant)
    uint32_t AdapterSegmentsMapped() const;

    // Runs the actors concurrently, each on a processor of its own, in the
    // interleaving that `seed` picks (see above); returns when all have
    // ended and the DPCs and the hardware have come to rest. While it runs
    // the root bus pends its requests, and the other client on the port's
    // line raises `otherInterrupts` interrupts at chosen moments.
    void RunConcurrently(uint32_t seed, const std::vector<std::function<void()>>& actors, int otherInterrupts = 2);
    // Within an actor: waits until the condition holds, while the other
    // processors run; false (and a misuse recorded) when nothing can make
    // it hold.
    bool WaitUntil(const std::function<bool()>& condition, const std::string& what);

    // What it saw.
    std::vector<std::string> Problems() const;
    std::vector<std::string> Leftovers() const;
    const std::vector<LoggedEvent>& Events() const;
    void ClearEvents();
};

}  // namespace kernelsim
