// The platform around the driver: the DMA adapter, the parallel-port driver
// with its ports, registers, peripheral and shared interrupt, the root bus
// with the scanner's physical device, and the Plug and Play and power
// managers.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kernelsim/sim_internal.h"

namespace kernelsim {

namespace {

const ULONG kPortBases[4] = {0x378, 0x278, 0x3BC, 0x2BC};
constexpr ULONG kEcpOffset = 0x400;

Adapter* AdapterOf(PDMA_ADAPTER header) {
    for (auto& adapter : g->adapters)
        if (&adapter->header == header) return adapter.get();
    Problem("call on a DMA adapter that was put back");
    return nullptr;
}

int PortOfAdapter(Adapter*) { return 0; }

// The execution routine gets the channel; what it answers decides whether
// the channel stays held.
void Grant(Adapter* adapter, const ChannelRequest& request) {
    adapter->channelHeld = true;
    adapter->registersHeld = request.mapRegisters;
    const uint64_t grant = ++adapter->grants;
    const KIRQL old = Raise(DISPATCH_LEVEL);
    const int outer = adapter->routineRunsOn;
    adapter->routineRunsOn = ThisCpu().id;
    const IO_ALLOCATION_ACTION action =
        request.routine(request.device, request.device->CurrentIrp, reinterpret_cast<PVOID>(adapter), request.context);
    adapter->routineRunsOn = outer;
    // Freed on another processor while the routine ran: only a routine
    // that keeps the channel leaves that free to stand.
    const bool freed = !adapter->channelHeld || adapter->grants != grant;
    if (adapter->putBack) {
        if (action != KeepObject) Problem("an execution routine gave back the channel of a DMA adapter put back");
    } else if (freed) {
        if (action != KeepObject) Problem("adapter channel given back by its execution routine after it was freed");
    } else if (action == DeallocateObject) {
        adapter->channelHeld = false;
        adapter->registersHeld = 0;
    } else if (action == DeallocateObjectKeepRegisters) {
        adapter->channelHeld = false;
    }
    Lower(old);
}

void GrantNext(Adapter* adapter);

// A channel given back by its execution routine goes to the next waiting.
void GrantAndPassOn(Adapter* adapter, const ChannelRequest& request) {
    Grant(adapter, request);
    if (!adapter->channelHeld) GrantNext(adapter);
}

void GrantNext(Adapter* adapter) {
    if (adapter->channelHeld || adapter->waiting.empty() || g->faults.lateGrant) return;
    const ChannelRequest request = adapter->waiting.front();
    adapter->waiting.erase(adapter->waiting.begin());
    GrantAndPassOn(adapter, request);
}

VOID NTAPI PutAdapter(PDMA_ADAPTER header) {
    for (auto it = g->adapters.begin(); it != g->adapters.end(); ++it)
        if (&(*it)->header == header) {
            if ((*it)->channelHeld) Problem("DMA adapter put back with its channel held");
            // Its execution routine would still be called, for a driver
            // that has let the adapter go.
            if (!(*it)->waiting.empty()) Problem("DMA adapter put back while a channel request waits");
            (*it)->putBack = true;
            g->retiredAdapters.push_back(std::move(*it));
            g->adapters.erase(it);
            return;
        }
    Problem("DMA adapter put back twice");
}

NTSTATUS NTAPI AllocateChannel(PDMA_ADAPTER header, PDEVICE_OBJECT device, ULONG registers, PDRIVER_CONTROL routine,
                               PVOID context) {
    Preempt();
    Adapter* adapter = AdapterOf(header);
    if (!adapter) return STATUS_INVALID_PARAMETER;
    if (ThisCpu().irql != DISPATCH_LEVEL) Problem("AllocateAdapterChannel below dispatch level");
    // The device's wait block is in use until its execution routine runs.
    for (const ChannelRequest& waiting : adapter->waiting)
        if (waiting.device == device)
            Problem("AllocateAdapterChannel for " + Describe(device) + " while its earlier request still waits");
    if (registers == 0 || registers > adapter->granted) {
        Problem("asked for " + std::to_string(registers) + " map registers of " + std::to_string(adapter->granted));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    const ChannelRequest request{device, registers, routine, context};
    if (adapter->channelHeld || g->faults.lateGrant || !adapter->waiting.empty()) {
        adapter->waiting.push_back(request);
        return STATUS_SUCCESS;
    }
    GrantAndPassOn(adapter, request);
    return STATUS_SUCCESS;
}

// The port's DMA requests run while its ECR says a segment runs: the
// controller's segment must end first.
void CheckPortStopped(Adapter* adapter, const char* what) {
    if (g->ports[PortOfAdapter(adapter)].ecr == 0x78) Problem(std::string(what) + " while the port's DMA still runs");
}

BOOLEAN NTAPI FlushBuffers(PDMA_ADAPTER header, PMDL, PVOID, PVOID, ULONG, BOOLEAN) {
    Preempt();
    Adapter* adapter = AdapterOf(header);
    if (!adapter) return TRUE;
    CheckPortStopped(adapter, "DMA buffers flushed");
    adapter->programmed = false;
    return TRUE;
}

VOID NTAPI FreeChannel(PDMA_ADAPTER header) {
    Preempt();
    Adapter* adapter = AdapterOf(header);
    if (!adapter) return;
    if (!adapter->channelHeld) Problem("adapter channel freed while not held");
    CheckPortStopped(adapter, "adapter channel freed");
    // Within its own execution routine the channel is given back by what
    // the routine answers.
    if (adapter->routineRunsOn == ThisCpu().id) Problem("adapter channel freed within its own execution routine");
    adapter->channelHeld = false;
    adapter->registersHeld = 0;
    adapter->programmed = false;
    GrantNext(adapter);
}

VOID NTAPI FreeMapRegisters(PDMA_ADAPTER header, PVOID, ULONG) {
    Adapter* adapter = AdapterOf(header);
    if (!adapter) return;
    if (!adapter->registersHeld) Problem("map registers freed while not held");
    adapter->registersHeld = 0;
}

PHYSICAL_ADDRESS NTAPI MapTransfer(PDMA_ADAPTER header, PMDL mdl, PVOID, PVOID currentVa, PULONG length,
                                   BOOLEAN toDevice) {
    PHYSICAL_ADDRESS address;
    address.QuadPart = reinterpret_cast<LONG_PTR>(currentVa);
    Preempt();
    Adapter* adapter = AdapterOf(header);
    if (!adapter) return address;
    if (!adapter->channelHeld) Problem("MapTransfer without the adapter channel");
    if (!g->mdls.count(mdl)) {
        Problem("MapTransfer of a buffer whose request has completed");
        return address;
    }
    const ULONG_PTR va = reinterpret_cast<ULONG_PTR>(currentVa);
    const ULONG reach = adapter->registersHeld * PAGE_SIZE - static_cast<ULONG>(va & (PAGE_SIZE - 1));
    if (*length > reach)
        Problem("segment of " + std::to_string(*length) + " bytes beyond the " + std::to_string(reach) +
                " that the map registers reach");
    const PUCHAR start = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
    if (static_cast<PUCHAR>(currentVa) < start || static_cast<PUCHAR>(currentVa) + *length > start + mdl->ByteCount)
        Problem("segment outside the request's buffer");
    if (g->faults.cutSegmentsAt && *length > g->faults.cutSegmentsAt) *length = g->faults.cutSegmentsAt;
    adapter->address = static_cast<PUCHAR>(currentVa);
    adapter->length = *length;
    adapter->moved = 0;
    adapter->toDevice = toDevice != FALSE;
    adapter->programmed = true;
    ++adapter->segmentsMapped;
    return address;
}

ULONG NTAPI ReadCounter(PDMA_ADAPTER header) {
    Preempt();
    Adapter* adapter = AdapterOf(header);
    return adapter ? adapter->length - adapter->moved : 0;
}

ULONG NTAPI Alignment(PDMA_ADAPTER) { return 1; }

DMA_OPERATIONS g_operations = [] {
    DMA_OPERATIONS operations{};
    operations.Size = sizeof operations;
    operations.PutDmaAdapter = PutAdapter;
    operations.AllocateAdapterChannel = AllocateChannel;
    operations.FlushAdapterBuffers = FlushBuffers;
    operations.FreeAdapterChannel = FreeChannel;
    operations.FreeMapRegisters = FreeMapRegisters;
    operations.MapTransfer = MapTransfer;
    operations.GetDmaAlignment = Alignment;
    operations.ReadDmaCounter = ReadCounter;
    return operations;
}();

Port* PortOfContext(PVOID context) {
    for (Port& port : g->ports)
        if (!port.context.empty() && port.context.data() == context) return &port;
    Problem("port routine called with a context that is no port's");
    return nullptr;
}

int IndexOf(const Port* port) { return static_cast<int>(port - g->ports); }

BOOLEAN NTAPI TryAllocatePort(PVOID context) {
    Port* port = PortOfContext(context);
    if (!port || port->owner != Port::Owner::None) return FALSE;
    port->owner = Port::Owner::Driver;
    return TRUE;
}

VOID NTAPI FreePort(PVOID context) {
    Port* port = PortOfContext(context);
    if (!port) return;
    if (port->owner == Port::Owner::Other)
        Problem("freed the other client's allocation of ParallelPort" + std::to_string(IndexOf(port)));
    else if (port->owner == Port::Owner::None)
        Problem("freed ParallelPort" + std::to_string(IndexOf(port)) + ", which was not allocated");
    else
        port->owner = Port::Owner::None;
}

ULONG NTAPI QueryWaiters(PVOID) { return 0; }

BOOLEAN NTAPI OtherClientIsr(PKINTERRUPT, PVOID context) {
    Port* port = static_cast<Port*>(context);
    if (!port->otherPending) return FALSE;
    port->otherPending = false;
    return TRUE;
}

// The interrupt's own spin lock, at the device's level: held by the
// interrupt routines and by whoever synchronises with them.
KIRQL TakeInterruptLock(Port& port) {
    const KIRQL old = Raise(kDeviceIrql);
    const int me = ThisCpu().id;
    if (port.interruptLockOwner == me ||
        (port.interruptLockOwner >= 0 && !BlockUntil([&port] { return port.interruptLockOwner < 0; })))
        Problem("interrupt lock of ParallelPort" + std::to_string(&port - g->ports) + " taken twice: a deadlock");
    port.interruptLockOwner = me;
    return old;
}

void DropInterruptLock(Port& port, KIRQL old) {
    port.interruptLockOwner = -1;
    Lower(old);
}

// The interrupt line: each connected routine in turn until one claims it.
bool RaiseInterrupt(Port& port) {
    Preempt();
    const KIRQL old = TakeInterruptLock(port);
    bool claimed = false;
    const std::vector<Interrupt> chain = port.chain;
    for (const Interrupt& interrupt : chain)
        if (interrupt.routine(reinterpret_cast<PKINTERRUPT>(&port), interrupt.context)) {
            claimed = true;
            if (interrupt.context != &port) {
                if (!port.ownPending && Concurrent())
                    Problem("the driver claimed an interrupt that its port did not raise");
                port.ownPending = false;
            }
            break;
        }
    DropInterruptLock(port, old);
    return claimed;
}

NTSTATUS PortControl(Port& port, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG outputBytes = stack->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    irp->IoStatus.Information = 0;
    const bool query = code == IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO ||
                       code == IOCTL_INTERNAL_GET_MORE_PARALLEL_PORT_INFO ||
                       code == IOCTL_INTERNAL_GET_PARALLEL_PNP_INFO;
    if (query && g->faults.failPortStatusQueries) return STATUS_DEVICE_NOT_READY;
    switch (code) {
        case IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO: {
            if (outputBytes < sizeof(PARALLEL_PORT_INFORMATION)) return STATUS_BUFFER_TOO_SMALL;
            PARALLEL_PORT_INFORMATION info{};
            info.OriginalController.QuadPart = port.base;
            info.Controller = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(port.base));
            info.SpanOfController = 3;
            info.TryAllocatePort = TryAllocatePort;
            info.FreePort = FreePort;
            info.QueryNumWaiters = QueryWaiters;
            info.Context = port.context.data();
            std::memcpy(buffer, &info, sizeof info);
            irp->IoStatus.Information = sizeof info;
            return STATUS_SUCCESS;
        }
        case IOCTL_INTERNAL_GET_MORE_PARALLEL_PORT_INFO: {
            if (outputBytes < sizeof(MORE_PARALLEL_PORT_INFORMATION)) return STATUS_BUFFER_TOO_SMALL;
            MORE_PARALLEL_PORT_INFORMATION info{};
            info.InterfaceType = Isa;
            info.InterruptLevel = 7;
            info.InterruptVector = 7;
            info.InterruptAffinity = 1;
            info.InterruptMode = Latched;
            std::memcpy(buffer, &info, sizeof info);
            irp->IoStatus.Information = sizeof info;
            return STATUS_SUCCESS;
        }
        case IOCTL_INTERNAL_GET_PARALLEL_PNP_INFO: {
            if (outputBytes < sizeof(PARALLEL_PNP_INFORMATION)) return STATUS_BUFFER_TOO_SMALL;
            PARALLEL_PNP_INFORMATION info{};
            info.OriginalEcpController.QuadPart = port.ecpBase;
            info.EcpController = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(port.ecpBase));
            info.SpanOfEcpController = 3;
            info.PortNumber = static_cast<ULONG>(IndexOf(&port));
            info.HardwareCapabilities = PPT_BYTE_PRESENT | (port.setup.ecp ? PPT_ECP_PRESENT : 0);
            info.FifoDepth = 16;
            info.FifoWidth = port.setup.fifoWidth;
            info.Context = port.context.data();
            info.CurrentMode = 0;
            std::memcpy(buffer, &info, sizeof info);
            irp->IoStatus.Information = sizeof info;
            return STATUS_SUCCESS;
        }
        case IOCTL_INTERNAL_PARALLEL_CONNECT_INTERRUPT: {
            if (stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(PARALLEL_INTERRUPT_SERVICE_ROUTINE) ||
                outputBytes < sizeof(ParallelInterruptInformation))
                return STATUS_BUFFER_TOO_SMALL;
            if (g->faults.connectInterruptStatus) return static_cast<NTSTATUS>(g->faults.connectInterruptStatus);
            if (!port.connectAllowed) return STATUS_UNSUCCESSFUL;
            PARALLEL_INTERRUPT_SERVICE_ROUTINE routine;
            std::memcpy(&routine, buffer, sizeof routine);
            port.chain.insert(port.chain.begin(),
                              Interrupt{routine.InterruptServiceRoutine, routine.InterruptServiceContext});
            ParallelInterruptInformation info{};
            info.InterruptObject = reinterpret_cast<PKINTERRUPT>(&port);
            info.Context = port.context.data();
            std::memcpy(buffer, &info, sizeof info);
            irp->IoStatus.Information = sizeof info;
            return STATUS_SUCCESS;
        }
        case IOCTL_INTERNAL_PARALLEL_DISCONNECT_INTERRUPT: {
            if (g->faults.disconnectInterruptStatus) return static_cast<NTSTATUS>(g->faults.disconnectInterruptStatus);
            PARALLEL_INTERRUPT_SERVICE_ROUTINE routine;
            std::memcpy(&routine, buffer, sizeof routine);
            for (auto it = port.chain.begin(); it != port.chain.end(); ++it)
                if (it->routine == routine.InterruptServiceRoutine && it->context == routine.InterruptServiceContext) {
                    port.chain.erase(it);
                    return STATUS_SUCCESS;
                }
            Problem("disconnecting an interrupt routine that is not connected");
            return STATUS_INVALID_PARAMETER;
        }
        default:
            return STATUS_INVALID_PARAMETER;
    }
}

NTSTATUS NTAPI PortDispatch(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
    for (Port& port : g->ports)
        if (port.device == device && stack->MajorFunction == IRP_MJ_INTERNAL_DEVICE_CONTROL)
            status = PortControl(port, irp);
    irp->IoStatus.Status = status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The root bus: the scanner's physical device and the ports' ones. Asked
// to, it leaves each request pending and completes it later, as a bus
// driver that waits for its hardware does.
NTSTATUS RootAnswer(PIRP irp);

NTSTATUS NTAPI RootDispatch(PDEVICE_OBJECT, PIRP irp) {
    const NTSTATUS status = RootAnswer(irp);
    if (g->faults.pendLowerRequests) {
        IoMarkIrpPending(irp);
        g->pended.push_back(PendedRequest{irp, status});
        return STATUS_PENDING;
    }
    irp->IoStatus.Status = status;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS RootAnswer(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    if (stack->MajorFunction == IRP_MJ_PNP) {
        switch (stack->MinorFunction) {
            case IRP_MN_QUERY_CAPABILITIES: {
                PDEVICE_CAPABILITIES capabilities = stack->Parameters.DeviceCapabilities.Capabilities;
                capabilities->DeviceState[PowerSystemWorking] = PowerDeviceD0;
                for (int s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s)
                    capabilities->DeviceState[s] = PowerDeviceD3;
                status = STATUS_SUCCESS;
                break;
            }
            case IRP_MN_START_DEVICE:
            case IRP_MN_QUERY_STOP_DEVICE:
            case IRP_MN_CANCEL_STOP_DEVICE:
            case IRP_MN_STOP_DEVICE:
            case IRP_MN_QUERY_REMOVE_DEVICE:
            case IRP_MN_CANCEL_REMOVE_DEVICE:
            case IRP_MN_REMOVE_DEVICE:
            case IRP_MN_SURPRISE_REMOVAL:
                status = STATUS_SUCCESS;
                break;
            default:
                break;
        }
    } else if (stack->MajorFunction == IRP_MJ_POWER) {
        PoStartNextPowerIrp(irp);
        status = STATUS_SUCCESS;
    }
    return status;
}

Port* PortAt(PUCHAR address, ULONG* offset, bool* ecp) {
    const ULONG value = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(address));
    for (Port& port : g->ports) {
        if (!port.setup.present) continue;
        if (value >= port.base && value < port.base + 3) {
            *offset = value - port.base;
            *ecp = false;
            return &port;
        }
        if (value >= port.ecpBase && value < port.ecpBase + 3) {
            *offset = value - port.ecpBase;
            *ecp = true;
            return &port;
        }
    }
    Problem("touched I/O address " + std::to_string(value) + ", which is no port's");
    return nullptr;
}

Adapter* RunningAdapter() {
    for (auto& adapter : g->adapters)
        if (adapter->programmed && adapter->channelHeld) return adapter.get();
    return nullptr;
}

}  // namespace

void SetUpRoot() {
    g->rootDriver.DriverExtension = &g->rootExtension;
    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) g->rootDriver.MajorFunction[i] = RootDispatch;
    g->scannerPhysical = CreateSimDevice(&g->rootDriver, L"", FILE_DEVICE_UNKNOWN);
    g->portDriver.DriverExtension = &g->portExtension;
    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) g->portDriver.MajorFunction[i] = PortDispatch;
}

void SetUpPorts() {
    for (int i = 0; i < 4; ++i) {
        Port& port = g->ports[i];
        port.setup.present = i == 0;
        port.base = kPortBases[i];
        port.ecpBase = kPortBases[i] + kEcpOffset;
        port.context.assign(256, 0);
        port.physical = CreateSimDevice(&g->rootDriver, L"", FILE_DEVICE_PARALLEL_PORT);
        std::memcpy(port.context.data() + 16, &port.physical, sizeof port.physical);
        // The other client of the port's shared interrupt.
        port.chain.push_back(Interrupt{OtherClientIsr, &port});
        // A machine where the driver was installed and started once before.
        WriteDword(PortKeyPath(i), "EnableConnectInterruptIoctl", 1);
    }
    for (int i = 0; i < 4; ++i) ApplyPortSetup(i, g->ports[i].setup);
    StartPortDriver();
}

bool CompleteOnePended() {
    if (g->pended.empty()) return false;
    const PendedRequest pended = g->pended.front();
    g->pended.erase(g->pended.begin());
    // Completed from the bus driver's DPC.
    const KIRQL old = Raise(DISPATCH_LEVEL);
    pended.irp->IoStatus.Status = pended.status;
    IofCompleteRequest(pended.irp, IO_NO_INCREMENT);
    Lower(old);
    return true;
}

bool HardwareCanStep() {
    Adapter* adapter = RunningAdapter();
    if (!adapter) return false;
    const Port& port = g->ports[PortOfAdapter(adapter)];
    if (port.ecr != 0x78 || adapter->moved == adapter->length) return false;
    if ((port.dcr & 0x20) == 0) return port.peripheral.acceptLimit > 0;
    return !port.peripheral.toHost.empty();
}

bool ChannelRequestWaiting() {
    for (auto& adapter : g->adapters)
        if (!adapter->channelHeld && !adapter->waiting.empty()) return true;
    return false;
}

bool GrantWaitingChannel() {
    for (auto& adapter : g->adapters)
        if (!adapter->channelHeld && !adapter->waiting.empty()) {
            const ChannelRequest request = adapter->waiting.front();
            adapter->waiting.erase(adapter->waiting.begin());
            GrantAndPassOn(adapter.get(), request);
            return true;
        }
    return false;
}

// The line is level-triggered: while the other client's device asserts it,
// the routines run again, and each claims only what is its own.
bool RaiseOtherClientInterrupt(int index) {
    Port& port = g->ports[index];
    port.otherPending = true;
    for (int pass = 0; pass < 4 && port.otherPending; ++pass)
        if (!RaiseInterrupt(port)) break;
    const bool got = !port.otherPending;
    port.otherPending = false;
    if (!got) Problem("the other client's interrupt on ParallelPort" + std::to_string(index) + " was lost");
    return got;
}

bool StepHardware() {
    bool changed = false;
    Adapter* adapter = RunningAdapter();
    if (!adapter) return false;
    Port& port = g->ports[PortOfAdapter(adapter)];
    if (port.ecr != 0x78 || adapter->moved == adapter->length) return false;
    const bool reverse = (port.dcr & 0x20) != 0;
    if (reverse == adapter->toDevice) Problem("DMA direction does not match the port's direction");
    Peripheral& unit = port.peripheral;
    const ULONG left = adapter->length - adapter->moved;
    if (reverse) {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(left, unit.toHost.size()));
        for (ULONG i = 0; i < n; ++i) {
            adapter->address[adapter->moved + i] = unit.toHost.front();
            unit.toHost.pop_front();
        }
        adapter->moved += n;
        changed = n > 0;
    } else {
        const ULONG n = static_cast<ULONG>(std::min<size_t>(left, unit.acceptLimit));
        unit.fromHost.insert(unit.fromHost.end(), adapter->address + adapter->moved,
                             adapter->address + adapter->moved + n);
        if (unit.acceptLimit != SIZE_MAX) unit.acceptLimit -= n;
        adapter->moved += n;
        changed = n > 0;
    }
    if (adapter->moved == adapter->length) {
        // Terminal count: the chip sets serviceIntr and interrupts.
        port.ecr |= 0x04;
        port.ownPending = true;
        RaiseInterrupt(port);
        changed = true;
    }
    return changed;
}

void Kernel::SetPort(int index, const PortSetup& setup) { ApplyPortSetup(index, setup); }

// The port driver reads its device key's switch once, when it starts.
void StartPortDriver() {
    for (int i = 0; i < 4; ++i) {
        uint32_t allowed = 0;
        g->ports[i].connectAllowed =
            ReadDword(PortKeyPath(i), "EnableConnectInterruptIoctl", &allowed) && allowed != 0;
    }
}

void Kernel::RestartPortDriver() { StartPortDriver(); }

void ApplyPortSetup(int index, const PortSetup& setup) {
    Port& port = g->ports[index];
    port.setup = setup;
    std::memcpy(port.context.data() + 192, &setup.dmaChannel, sizeof setup.dmaChannel);
    const std::wstring name = L"\\Device\\ParallelPort" + std::to_wstring(index);
    if (setup.present && !port.device) {
        port.device = CreateSimDevice(&g->portDriver, name, FILE_DEVICE_PARALLEL_PORT);
        port.device->StackSize = 1;
    } else if (!setup.present && port.device) {
        IoDeleteDevice(port.device);
        port.device = nullptr;
    }
}

Peripheral& Kernel::PeripheralOn(int port) { return g->ports[port].peripheral; }

void Kernel::AllocatePortByOtherClient(int port) {
    if (g->ports[port].owner == Port::Owner::None) g->ports[port].owner = Port::Owner::Other;
}
void Kernel::FreePortByOtherClient(int port) {
    if (g->ports[port].owner == Port::Owner::Other) g->ports[port].owner = Port::Owner::None;
}
bool Kernel::PortAllocatedByOtherClient(int port) const { return g->ports[port].owner == Port::Owner::Other; }
bool Kernel::PortAllocatedByDriver(int port) const { return g->ports[port].owner == Port::Owner::Driver; }
bool Kernel::InterruptConnected(int port) const { return g->ports[port].chain.size() > 1; }

bool Kernel::OtherClientInterrupt(int port) {
    g->ports[port].otherPending = true;
    RaiseInterrupt(g->ports[port]);
    const bool got = !g->ports[port].otherPending;
    g->ports[port].otherPending = false;
    return got;
}

bool Kernel::SpuriousInterrupt(int port) { return RaiseInterrupt(g->ports[port]); }

const std::vector<PortWrite>& Kernel::PortWrites() const { return g->portWrites; }
void Kernel::ClearPortWrites() { g->portWrites.clear(); }

bool Kernel::GrantAdapter() {
    if (!GrantWaitingChannel()) return false;
    MaybeRunDpcs();
    return true;
}

uint32_t Kernel::AdapterSegmentsMapped() const {
    uint32_t total = 0;
    for (auto& adapter : g->adapters) total += adapter->segmentsMapped;
    return total;
}

// The driver.
void ResetDriverObject() {
    g->driver = DRIVER_OBJECT{};
    g->driverExtension = DRIVER_EXTENSION{};
    g->driver.DriverExtension = &g->driverExtension;
    g->driverExtension.DriverObject = &g->driver;
}

uint32_t Kernel::Load(DriverEntryRoutine entry) {
    ResetDriverObject();
    g->driverRegistryPath = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Ombrix";
    CreateKey("System\\CurrentControlSet\\Services\\Ombrix");
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, g->driverRegistryPath.c_str());
    const NTSTATUS status = entry(&g->driver, &path);
    g->driverLoaded = NT_SUCCESS(status);
    return static_cast<uint32_t>(status);
}

uint32_t Kernel::AddDevice() {
    if (ThisCpu().irql != PASSIVE_LEVEL) Problem("add-device above passive level");
    return static_cast<uint32_t>(g->driverExtension.AddDevice(&g->driver, g->scannerPhysical));
}

int Kernel::DebuggerBreaks() const { return g->breaks; }

void Kernel::SetDebuggerEnabled(bool enabled) {
    KdDebuggerEnabled = enabled;
    KdDebuggerNotPresent = !enabled;
}

bool Kernel::DeviceExists() const { return g->driver.DeviceObject != nullptr; }

uint32_t Kernel::Pnp(uint8_t minor) {
    PIRP irp = NewIrp(TopOfStack(g->scannerPhysical)->StackSize, IrpKind::Pnp,
                      "Plug and Play request " + std::to_string(minor));
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = minor;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    const uint32_t status = SendAndCollect(g->scannerPhysical, irp, std::make_shared<RequestResult>());
    if (status == STATUS_PENDING) Problem("Plug and Play request " + std::to_string(minor) + " left pending");
    return status;
}

uint32_t Kernel::SetSystemPower(int systemState) {
    PIRP irp = NewIrp(TopOfStack(g->scannerPhysical)->StackSize, IrpKind::Pnp, "system power request");
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_POWER;
    next->MinorFunction = IRP_MN_SET_POWER;
    next->Parameters.Power.Type = SystemPowerState;
    next->Parameters.Power.State.SystemState = static_cast<SYSTEM_POWER_STATE>(systemState);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    const uint32_t status = SendAndCollect(g->scannerPhysical, irp, std::make_shared<RequestResult>());
    if (status == STATUS_PENDING) Problem("system power request left pending");
    return status;
}

int Kernel::DevicePower() const { return g->devicePower; }

void Kernel::Unload() {
    if (g->driverLoaded && g->driver.DriverUnload) g->driver.DriverUnload(&g->driver);
    g->driverLoaded = false;
}

}  // namespace kernelsim

using namespace kernelsim;

extern "C" {

UCHAR SimKernelReadPort(PUCHAR address) {
    Preempt();
    ULONG offset;
    bool ecp;
    Port* port = PortAt(address, &offset, &ecp);
    if (!port) return 0xFF;
    if (ecp) return offset == 2 ? port->ecr : 0xFF;
    if (offset == 1) return static_cast<UCHAR>((port->peripheral.online ? 0x10 : 0x00) | 0x08);
    if (offset == 2) return port->dcr;
    return 0xFF;
}

void SimKernelWritePort(PUCHAR address, UCHAR value) {
    Preempt();
    ULONG offset;
    bool ecp;
    Port* port = PortAt(address, &offset, &ecp);
    if (!port) return;
    static const char* const kNames[2][3] = {{"DATA", "DSR", "DCR"}, {"ECP", "CNFGB", "ECR"}};
    const char* name = kNames[ecp][offset];
    if (port->owner != Port::Owner::Driver)
        Problem(std::string("wrote ") + name + " of ParallelPort" + std::to_string(IndexOf(port)) +
                " while the port was not the driver's");
    g->portWrites.push_back(PortWrite{name, value});
    if (ecp && offset == 2) port->ecr = value;
    if (ecp && offset == 2 && value == 0x78) port->ownPending = false;
    if (!ecp && offset == 2) port->dcr = value;
}

PDMA_ADAPTER NTAPI IoGetDmaAdapter(PDEVICE_OBJECT physical, PDEVICE_DESCRIPTION description, PULONG registers) {
    if (ThisCpu().irql != PASSIVE_LEVEL) Problem("IoGetDmaAdapter above passive level");
    if (g->faults.noDmaAdapter) return nullptr;
    if (description->Master || description->DmaChannel > 7) Problem("adapter asked for a channel the port lacks");
    auto adapter = std::make_unique<Adapter>();
    adapter->header.Version = 1;
    adapter->header.Size = sizeof(DMA_ADAPTER);
    adapter->header.DmaOperations = &g_operations;
    adapter->granted = std::min<ULONG>(*registers, g->faults.mapRegisterLimit);
    *registers = adapter->granted;
    g->adapters.push_back(std::move(adapter));
    return &g->adapters.back()->header;
}

BOOLEAN NTAPI KeSynchronizeExecution(PKINTERRUPT interrupt, PKSYNCHRONIZE_ROUTINE routine, PVOID context) {
    Preempt();
    Port* port = nullptr;
    for (Port& candidate : g->ports)
        if (reinterpret_cast<PKINTERRUPT>(&candidate) == interrupt) port = &candidate;
    if (!port) {
        Problem("KeSynchronizeExecution with an interrupt object that is no connected interrupt's");
        return FALSE;
    }
    const KIRQL old = TakeInterruptLock(*port);
    const BOOLEAN result = routine(context);
    DropInterruptLock(*port, old);
    return result;
}

NTSTATUS NTAPI PoCallDriver(PDEVICE_OBJECT device, PIRP irp) { return IofCallDriver(device, irp); }

VOID NTAPI PoStartNextPowerIrp(PIRP) { ++g->powerStartNext; }

POWER_STATE NTAPI PoSetPowerState(PDEVICE_OBJECT, POWER_STATE_TYPE type, POWER_STATE state) {
    POWER_STATE old;
    old.DeviceState = static_cast<DEVICE_POWER_STATE>(g->devicePower);
    if (type == DevicePowerState) g->devicePower = state.DeviceState;
    return old;
}

NTSTATUS NTAPI PoRequestPowerIrp(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PREQUEST_POWER_COMPLETE done,
                                 PVOID context, PIRP* out) {
    PIRP irp = NewIrp(TopOfStack(device)->StackSize, IrpKind::PowerRequest, "device power request");
    IrpInfo& info = g->irps[irp];
    info.powerDone = done;
    info.powerContext = context;
    info.powerMinor = minor;
    info.powerState = state;
    info.powerTarget = device;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_POWER;
    next->MinorFunction = minor;
    next->Parameters.Power.Type = DevicePowerState;
    next->Parameters.Power.State = state;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    if (out) *out = irp;
    IofCallDriver(TopOfStack(device), irp);
    return STATUS_PENDING;
}

}  // extern "C"
