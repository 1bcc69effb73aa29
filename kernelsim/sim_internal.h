// The simulated kernel's state, shared by its parts. Kernel types come from
// the same headers as the driver's.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "driver/kernel_seam.h"
#include "kernelsim/sim_kernel.h"

namespace kernelsim {

constexpr ULONG kErrorLogMaximum = 152;
constexpr KIRQL kDeviceIrql = 5;

enum class IrpKind { Driver, User, BuiltControl, Pnp, PowerRequest };

struct IrpInfo {
    IrpKind kind = IrpKind::Driver;
    bool finalized = false;
    bool freed = false;
    std::string what;
    Request request;
    std::vector<uint8_t> systemBuffer;
    PVOID userOutput = nullptr;
    ULONG outputBytes = 0;
    PKEVENT event = nullptr;
    PIO_STATUS_BLOCK iosb = nullptr;
    PMDL userMdl = nullptr;
    PREQUEST_POWER_COMPLETE powerDone = nullptr;
    PVOID powerContext = nullptr;
    UCHAR powerMinor = 0;
    POWER_STATE powerState{};
    PDEVICE_OBJECT powerTarget = nullptr;
};

struct DeviceInfo {
    std::wstring name;
    bool deleted = false;
    int fileReferences = 0;
    std::vector<uint8_t>* memory = nullptr;
};

struct FileInfo {
    PDEVICE_OBJECT device;
    bool user;  // a handle of the test, else a reference by name
    std::string what;
};

struct PoolBlock {
    size_t bytes;
    ULONG tag;
    POOL_TYPE type;
};

struct Timer {
    PKTIMER timer;
    PKDPC dpc;
    uint64_t due100ns;
};

struct ChannelRequest {
    PDEVICE_OBJECT device;
    ULONG mapRegisters;
    PDRIVER_CONTROL routine;
    PVOID context;
};

struct Adapter {
    DMA_ADAPTER header;
    ULONG granted = 0;
    bool channelHeld = false;
    int routineRunsOn = -1;  // the processor in an execution routine of the adapter
    uint64_t grants = 0;     // channel grants so far
    bool putBack = false;
    ULONG registersHeld = 0;
    std::vector<ChannelRequest> waiting;
    // The system DMA controller's current segment.
    PUCHAR address = nullptr;
    ULONG length = 0;
    ULONG moved = 0;
    bool toDevice = false;
    bool programmed = false;
    uint32_t segmentsMapped = 0;
};

struct Interrupt {
    PKSERVICE_ROUTINE routine;
    PVOID context;
};

struct Port {
    PortSetup setup;
    int interruptLockOwner = -1;  // the processor in the interrupt's routine or synchronised with it
    Peripheral peripheral;
    PDEVICE_OBJECT device = nullptr;    // \Device\ParallelPortN
    PDEVICE_OBJECT physical = nullptr;  // its physical device object
    std::vector<uint8_t> context;       // the port driver's per-port context
    ULONG base = 0;
    ULONG ecpBase = 0;
    enum class Owner { None, Driver, Other } owner = Owner::None;
    std::vector<Interrupt> chain;  // the driver's routine, then the other client's
    bool otherPending = false;
    bool ownPending = false;
    // What the port driver read from "EnableConnectInterruptIoctl" when it
    // started: it connects a client's interrupt routine only when set.
    bool connectAllowed = false;  // the chip ended a segment: its service interrupt awaits the driver
    UCHAR dcr = 0x0C;
    UCHAR ecr = 0x15;
};

struct Value {
    ULONG type;
    std::vector<uint8_t> data;
};

// One processor: its interrupt level and whether it is running DPCs.
struct Cpu {
    int id = 0;
    KIRQL irql = PASSIVE_LEVEL;
    bool runningDpcs = false;
};

// A request a lower driver (the root bus) left pending, completed later.
struct PendedRequest {
    PIRP irp;
    NTSTATUS status;
};

struct State {
    FaultPlan faults;
    std::vector<std::string> problems;
    Cpu mainCpu;
    int cancelLockOwner = -1;  // the processor holding the cancel spin lock
    uint64_t now100ns = 0;
    bool holdDpcs = false;
    std::vector<PKDPC> dpcs;
    std::vector<PendedRequest> pended;
    std::vector<Timer> timers;
    std::map<void*, PoolBlock> pool;
    std::map<PIRP, IrpInfo> irps;
    std::map<PDEVICE_OBJECT, DeviceInfo> devices;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> deviceMemory;
    std::map<std::wstring, std::wstring> links;  // link (lower case) -> device name
    std::map<PFILE_OBJECT, FileInfo> files;
    std::map<int, PFILE_OBJECT> handles;
    int nextHandle = 1;
    std::map<std::wstring, std::map<std::wstring, Value>> registry;  // lower-case paths and names
    std::map<HANDLE, std::wstring> keys;
    uintptr_t nextKey = 0x100;
    std::set<PMDL> mdls;
    std::set<void*> errorEntries;
    std::vector<LoggedEvent> events;
    std::vector<std::unique_ptr<Adapter>> adapters;
    // Put back, kept while an execution routine may still return into them.
    std::vector<std::unique_ptr<Adapter>> retiredAdapters;
    std::vector<PortWrite> portWrites;
    Port ports[4];
    DRIVER_OBJECT portDriver{};
    DRIVER_OBJECT rootDriver{};
    DRIVER_EXTENSION rootExtension{};
    DRIVER_EXTENSION portExtension{};
    DRIVER_OBJECT driver{};
    DRIVER_EXTENSION driverExtension{};
    std::wstring driverRegistryPath;
    bool driverLoaded = false;
    PDEVICE_OBJECT scannerPhysical = nullptr;
    int devicePower = 0;
    int powerStartNext = 0;
    int breaks = 0;
};

extern State* g;

void Problem(const std::string& text);
std::string Describe(const void* object);
std::wstring Lower(std::wstring text);
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::wstring FromUnicode(PCUNICODE_STRING text);

// The processor the caller runs on (the machine's first when not concurrent).
Cpu& ThisCpu();
// True while actors run concurrently (Kernel::RunConcurrently).
bool Concurrent();
// A point where another processor may run before the caller goes on: every
// kernel call the driver makes passes one (`lockEdge`: just before a lock is
// taken or just after it is let go, where races live). Nothing when not
// concurrent.
void Preempt(bool lockEdge = false);
// Parks the caller until `ready` holds while the other processors run; false
// when nothing else can make it hold (the caller then goes on regardless).
// A `timed` wait is the first to end so, before any processor is taken to
// wait for ever. Not concurrent: just `ready()`.
bool BlockUntil(const std::function<bool()>& ready, bool timed = false);

// Queues a DPC with no preemption point (false when already queued).
bool QueueDpc(PKDPC dpc, PVOID argument1, PVOID argument2);
// Runs the queued DPCs unless held or already running.
void MaybeRunDpcs();
// Runs the oldest queued DPC on the calling processor.
void RunOneDpc();
// Completes the oldest request the root bus left pending; false when none.
bool CompleteOnePended();
// True when the hardware can move data or finish a segment.
bool HardwareCanStep();
// The other client on the port's shared line raises its interrupt; false
// (and a misuse recorded) when another routine claimed it.
bool RaiseOtherClientInterrupt(int port);
// Grants the oldest channel request that waits on a free channel.
bool GrantWaitingChannel();
bool ChannelRequestWaiting();
KIRQL Raise(KIRQL level);
void Lower(KIRQL level);

// I/O manager pieces used across parts.
PIRP NewIrp(CCHAR stackSize, IrpKind kind, const std::string& what);
PDEVICE_OBJECT TopOfStack(PDEVICE_OBJECT device);
PDEVICE_OBJECT CreateSimDevice(PDRIVER_OBJECT driver, const std::wstring& name, ULONG type);
void FreeUnusedDevices();
// Sends a request built by the simulation to the top of the stack of
// `device`; returns its final status (or a fault when it never completes).
uint32_t SendAndCollect(PDEVICE_OBJECT device, PIRP irp, const Request& result);

// The parts' set-up and per-step work.
std::string PortKeyPath(int port);
bool ReadDword(const std::string& key, const std::string& name, uint32_t* value);
void WriteDword(const std::string& key, const std::string& name, uint32_t value);
// The port driver starts: it reads each port's connect switch.
void StartPortDriver();
void SetUpPorts();
void ApplyPortSetup(int index, const PortSetup& setup);
void SetUpRoot();
bool StepHardware();
void ResetDriverObject();

}  // namespace kernelsim
