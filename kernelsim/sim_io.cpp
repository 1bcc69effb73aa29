// The I/O manager: device objects and names, requests and their stack
// locations, completion, the StartIo queue, cancel, MDLs, and the calls that
// user mode makes on a handle.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kernelsim/sim_internal.h"

namespace kernelsim {

namespace {

std::wstring LinkKey(std::wstring name) {
    name = Lower(name);
    const std::wstring dos = L"\\dosdevices\\";
    if (name.compare(0, dos.size(), dos) == 0) name = L"\\??\\" + name.substr(dos.size());
    return name;
}

PDEVICE_OBJECT DeviceByName(const std::wstring& name) {
    const std::wstring wanted = Lower(name);
    for (auto& [device, info] : g->devices)
        if (!info.deleted && !info.name.empty() && Lower(info.name) == wanted) return device;
    return nullptr;
}

void FreeDeviceMemory(PDEVICE_OBJECT device) {
    auto found = g->devices.find(device);
    std::vector<uint8_t>* memory = found->second.memory;
    g->devices.erase(found);
    for (auto it = g->deviceMemory.begin(); it != g->deviceMemory.end(); ++it)
        if (it->get() == memory) {
            g->deviceMemory.erase(it);
            break;
        }
}

PFILE_OBJECT NewFile(PDEVICE_OBJECT device, bool user, const std::string& what) {
    PFILE_OBJECT file = static_cast<PFILE_OBJECT>(std::calloc(1, sizeof(FILE_OBJECT)));
    file->Type = 5;
    file->Size = sizeof(FILE_OBJECT);
    file->DeviceObject = device;
    g->files[file] = FileInfo{device, user, what};
    ++g->devices[device].fileReferences;
    return file;
}

void ReleaseFile(PFILE_OBJECT file) {
    PDEVICE_OBJECT device = g->files[file].device;
    g->files.erase(file);
    std::free(file);
    auto found = g->devices.find(device);
    if (found != g->devices.end()) --found->second.fileReferences;
    FreeUnusedDevices();
}

void Finalize(PIRP irp, IrpInfo& info) {
    info.finalized = true;
    if (info.request) {
        info.request->done = true;
        info.request->doneMs = g->now100ns / 10000;
        info.request->status = static_cast<uint32_t>(irp->IoStatus.Status);
        info.request->information = irp->IoStatus.Information;
        info.request->irp = nullptr;
    }
    if (!info.systemBuffer.empty() && irp->AssociatedIrp.SystemBuffer) {
        const size_t bytes = std::min<size_t>(irp->IoStatus.Information, info.outputBytes);
        if (NT_SUCCESS(irp->IoStatus.Status) || irp->IoStatus.Status == STATUS_BUFFER_OVERFLOW) {
            if (info.userOutput) std::memcpy(info.userOutput, irp->AssociatedIrp.SystemBuffer, bytes);
            if (info.request) info.request->output.assign(info.systemBuffer.begin(), info.systemBuffer.begin() + bytes);
        }
        irp->AssociatedIrp.SystemBuffer = nullptr;
    }
    if (info.userMdl) {
        g->mdls.erase(info.userMdl);
        std::free(info.userMdl);
        info.userMdl = nullptr;
        irp->MdlAddress = nullptr;
    }
    if (info.iosb) *info.iosb = irp->IoStatus;
    if (info.event) KeSetEvent(info.event, 0, FALSE);
    if (info.kind == IrpKind::PowerRequest && info.powerDone) {
        IO_STATUS_BLOCK status = irp->IoStatus;
        info.powerDone(info.powerTarget, info.powerMinor, info.powerState, info.powerContext, &status);
    }
}

}  // namespace

PDEVICE_OBJECT TopOfStack(PDEVICE_OBJECT device) {
    while (device->AttachedDevice) device = device->AttachedDevice;
    return device;
}

PDEVICE_OBJECT CreateSimDevice(PDRIVER_OBJECT driver, const std::wstring& name, ULONG type) {
    PDEVICE_OBJECT device = nullptr;
    UNICODE_STRING text;
    RtlInitUnicodeString(&text, name.empty() ? nullptr : name.c_str());
    IoCreateDevice(driver, 0, name.empty() ? nullptr : &text, type, 0, FALSE, &device);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return device;
}

void FreeUnusedDevices() {
    for (auto it = g->devices.begin(); it != g->devices.end();) {
        if (it->second.deleted && it->second.fileReferences == 0) {
            PDEVICE_OBJECT device = it->first;
            ++it;
            FreeDeviceMemory(device);
        } else {
            ++it;
        }
    }
}

// Each request carries one stack location more than it has, after its last:
// a routine that writes there (marking pending a location that is not its
// own) is caught instead of overrunning the request.
IO_STACK_LOCATION* BeyondStack(PIRP irp) { return reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + irp->StackCount; }

bool BeyondStackTouched(PIRP irp) {
    const IO_STACK_LOCATION clean{};
    return std::memcmp(BeyondStack(irp), &clean, sizeof clean) != 0;
}

PIRP NewIrp(CCHAR stackSize, IrpKind kind, const std::string& what) {
    const size_t bytes = sizeof(IRP) + stackSize * sizeof(IO_STACK_LOCATION);
    PIRP irp = static_cast<PIRP>(std::calloc(1, bytes + sizeof(IO_STACK_LOCATION)));
    irp->Type = IO_TYPE_IRP;
    irp->Size = static_cast<USHORT>(bytes);
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CHAR>(stackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stackSize;
    InitializeListHead(&irp->ThreadListEntry);
    IrpInfo& info = g->irps[irp];
    info.kind = kind;
    info.what = what;
    return irp;
}

void AwaitRequest(const Request& result) {
    MaybeRunDpcs();
    // Whatever a lower driver left pending completes as its hardware would.
    while (!result->done && !Concurrent() && CompleteOnePended()) MaybeRunDpcs();
    BlockUntil([result] { return result->done; });
}

uint32_t SendAndCollect(PDEVICE_OBJECT device, PIRP irp, const Request& result) {
    g->irps[irp].request = result;
    result->irp = irp;
    const NTSTATUS status = IofCallDriver(TopOfStack(device), irp);
    AwaitRequest(result);
    if (status != STATUS_PENDING && !g->irps[irp].finalized)
        Problem(g->irps[irp].what + " returned without being completed");
    if (!result->done) return STATUS_PENDING;
    return result->status;
}

}  // namespace kernelsim

using namespace kernelsim;

extern "C" {

NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionBytes, PUNICODE_STRING name, DEVICE_TYPE type,
                              ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* out) {
    const std::wstring wanted = FromUnicode(name);
    if (!wanted.empty() && DeviceByName(wanted)) return STATUS_OBJECT_NAME_COLLISION;
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return STATUS_INSUFFICIENT_RESOURCES;
    const size_t extensionOffset = (sizeof(DEVICE_OBJECT) + 15) & ~size_t(15);
    auto memory = std::make_unique<std::vector<uint8_t>>(extensionOffset + extensionBytes + sizeof(DEVOBJ_EXTENSION));
    PDEVICE_OBJECT device = reinterpret_cast<PDEVICE_OBJECT>(memory->data());
    device->Type = IO_TYPE_DEVICE;
    device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + extensionBytes);
    device->DriverObject = driver;
    device->NextDevice = driver->DeviceObject;
    driver->DeviceObject = device;
    device->Flags = DO_DEVICE_INITIALIZING | (exclusive ? DO_EXCLUSIVE : 0);
    device->Characteristics = characteristics;
    device->DeviceExtension = extensionBytes ? memory->data() + extensionOffset : nullptr;
    device->DeviceType = type;
    device->StackSize = 1;
    device->DeviceQueue.Type = 0x14;
    device->DeviceQueue.Size = sizeof(KDEVICE_QUEUE);
    InitializeListHead(&device->DeviceQueue.DeviceListHead);
    device->DeviceObjectExtension =
        reinterpret_cast<PDEVOBJ_EXTENSION>(memory->data() + extensionOffset + extensionBytes);
    DeviceInfo& info = g->devices[device];
    info.name = wanted;
    info.memory = memory.get();
    g->deviceMemory.push_back(std::move(memory));
    *out = device;
    return STATUS_SUCCESS;
}

VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT device) {
    auto found = g->devices.find(device);
    if (found == g->devices.end() || found->second.deleted) {
        Problem("deleting " + Describe(device) + ", which is no live device object");
        return;
    }
    if (device->AttachedDevice) Problem("deleting " + Narrow(found->second.name) + " with a device still attached");
    PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject;
    while (*link && *link != device) link = &(*link)->NextDevice;
    if (*link) *link = device->NextDevice;
    found->second.deleted = true;
    FreeUnusedDevices();
}

NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target) {
    const std::wstring key = LinkKey(FromUnicode(link));
    if (g->links.count(key)) return STATUS_OBJECT_NAME_COLLISION;
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return STATUS_INSUFFICIENT_RESOURCES;
    g->links[key] = FromUnicode(target);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING link) {
    if (!g->links.erase(LinkKey(FromUnicode(link)))) {
        Problem("deleting symbolic link " + Narrow(FromUnicode(link)) + ", which does not exist");
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    return STATUS_SUCCESS;
}

PDEVICE_OBJECT NTAPI IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target) {
    PDEVICE_OBJECT top = TopOfStack(target);
    top->AttachedDevice = source;
    source->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    return top;
}

VOID NTAPI IoDetachDevice(PDEVICE_OBJECT target) {
    if (!target->AttachedDevice) Problem("detaching from " + Describe(target) + ", which has nothing attached");
    target->AttachedDevice = nullptr;
}

NTSTATUS NTAPI IoGetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK, PFILE_OBJECT* file, PDEVICE_OBJECT* device) {
    if (ThisCpu().irql != PASSIVE_LEVEL) Problem("IoGetDeviceObjectPointer above passive level");
    PDEVICE_OBJECT found = DeviceByName(FromUnicode(name));
    if (!found) return STATUS_OBJECT_NAME_NOT_FOUND;
    *device = TopOfStack(found);
    *file = NewFile(found, false, "referencing " + Narrow(FromUnicode(name)));
    return STATUS_SUCCESS;
}

LONG_PTR FASTCALL ObfDereferenceObject(PVOID object) {
    auto found = g->files.find(static_cast<PFILE_OBJECT>(object));
    if (found == g->files.end() || found->second.user) {
        Problem("dereferencing " + Describe(object) + ", which holds no reference");
        return 0;
    }
    ReleaseFile(found->first);
    return 0;
}

PIRP NTAPI IoAllocateIrp(CCHAR stackSize, BOOLEAN) {
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return nullptr;
    return NewIrp(stackSize, IrpKind::Driver, "a request the driver allocated");
}

VOID NTAPI IoFreeIrp(PIRP irp) {
    auto found = g->irps.find(irp);
    if (found == g->irps.end() || found->second.freed) {
        Problem("freeing " + Describe(irp) + ", which is no live request");
        return;
    }
    found->second.freed = true;
}

PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputBytes, PVOID output,
                                         ULONG outputBytes, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK iosb) {
    if (ThisCpu().irql != PASSIVE_LEVEL) Problem("IoBuildDeviceIoControlRequest above passive level");
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return nullptr;
    PIRP irp = NewIrp(device->StackSize, IrpKind::BuiltControl, "a device control the driver built");
    IrpInfo& info = g->irps[irp];
    info.systemBuffer.assign(std::max(inputBytes, outputBytes) + 1, 0);
    if (inputBytes) std::memcpy(info.systemBuffer.data(), input, inputBytes);
    irp->AssociatedIrp.SystemBuffer = info.systemBuffer.data();
    info.userOutput = output;
    info.outputBytes = outputBytes;
    info.event = event;
    info.iosb = iosb;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = code;
    next->Parameters.DeviceIoControl.InputBufferLength = inputBytes;
    next->Parameters.DeviceIoControl.OutputBufferLength = outputBytes;
    next->Parameters.DeviceIoControl.Type3InputBuffer = input;
    return irp;
}

NTSTATUS FASTCALL IofCallDriver(PDEVICE_OBJECT device, PIRP irp) {
    Preempt();
    auto found = g->irps.find(irp);
    if (found == g->irps.end() || found->second.finalized) {
        Problem("calling a driver with " + Describe(irp) + ", which is no live request");
        return STATUS_INVALID_PARAMETER;
    }
    if (--irp->CurrentLocation <= 0) {
        Problem("request passed below the bottom of its stack: " + found->second.what);
        return STATUS_INVALID_PARAMETER;
    }
    --irp->Tail.Overlay.CurrentStackLocation;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    stack->DeviceObject = device;
    PDRIVER_DISPATCH routine = device->DriverObject->MajorFunction[stack->MajorFunction];
    if (!routine) {
        irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
        IofCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    return routine(device, irp);
}

VOID FASTCALL IofCompleteRequest(PIRP irp, CCHAR) {
    Preempt();
    auto found = g->irps.find(irp);
    if (found == g->irps.end() || found->second.finalized || found->second.freed) {
        Problem("request completed twice: " + (found == g->irps.end() ? Describe(irp) : found->second.what));
        return;
    }
    IrpInfo& info = found->second;
    if (irp->CancelRoutine) Problem("request completed with its cancel routine set: " + info.what);
    if (irp->IoStatus.Status == STATUS_PENDING) Problem("request completed with STATUS_PENDING: " + info.what);
    if (ThisCpu().irql > DISPATCH_LEVEL) Problem("request completed above dispatch level: " + info.what);
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
        ++irp->CurrentLocation;
        ++irp->Tail.Overlay.CurrentStackLocation;
        PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
        const UCHAR control = stack->Control;
        PVOID context = stack->Context;
        stack->CompletionRoutine = nullptr;
        stack->Control = 0;
        const bool call = routine && ((NT_SUCCESS(irp->IoStatus.Status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                                      (!NT_SUCCESS(irp->IoStatus.Status) && (control & SL_INVOKE_ON_ERROR)) ||
                                      (irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
        if (call) {
            PDEVICE_OBJECT above =
                irp->CurrentLocation <= irp->StackCount ? IoGetCurrentIrpStackLocation(irp)->DeviceObject : nullptr;
            const NTSTATUS answer = routine(above, irp, context);
            if (BeyondStackTouched(irp)) {
                Problem("a completion routine wrote the stack location beyond the request's own: " + info.what);
                std::memset(BeyondStack(irp), 0, sizeof(IO_STACK_LOCATION));
            }
            if (answer == STATUS_MORE_PROCESSING_REQUIRED) return;
        } else if (irp->PendingReturned && irp->CurrentLocation <= irp->StackCount) {
            IoMarkIrpPending(irp);
        }
    }
    Finalize(irp, info);
}

}  // extern "C"

namespace {
void StartIo(PDEVICE_OBJECT device, PIRP irp) {
    auto found = g->irps.find(irp);
    if (found != g->irps.end() && found->second.request) found->second.request->startedMs = g->now100ns / 10000;
    device->DriverObject->DriverStartIo(device, irp);
}
}  // namespace

extern "C" {

VOID NTAPI IoStartPacket(PDEVICE_OBJECT device, PIRP irp, PULONG, PDRIVER_CANCEL cancel) {
    Preempt();
    const KIRQL old = Raise(DISPATCH_LEVEL);
    KIRQL cancelIrql;
    if (cancel) {
        IoAcquireCancelSpinLock(&cancelIrql);
        IoSetCancelRoutine(irp, cancel);
    }
    const bool start = !device->DeviceQueue.Busy;
    if (start) {
        device->DeviceQueue.Busy = TRUE;
        device->CurrentIrp = irp;
    } else {
        irp->Tail.Overlay.DeviceQueueEntry.Inserted = TRUE;
        InsertTailList(&device->DeviceQueue.DeviceListHead, &irp->Tail.Overlay.DeviceQueueEntry.DeviceListEntry);
    }
    // A request cancelled before its cancel routine was set is cancelled now
    // when it waits in the queue; one that starts is StartIo's to check.
    if (cancel && !start && irp->Cancel) {
        irp->CancelRoutine = nullptr;
        irp->CancelIrql = cancelIrql;
        cancel(device, irp);
    } else if (cancel) {
        IoReleaseCancelSpinLock(cancelIrql);
    }
    if (start) StartIo(device, irp);
    Lower(old);
}

VOID NTAPI IoStartNextPacket(PDEVICE_OBJECT device, BOOLEAN cancelable) {
    Preempt();
    if (ThisCpu().irql < DISPATCH_LEVEL) Problem("IoStartNextPacket below dispatch level");
    KIRQL cancelIrql;
    if (cancelable) IoAcquireCancelSpinLock(&cancelIrql);
    device->CurrentIrp = nullptr;
    PIRP next = nullptr;
    if (IsListEmpty(&device->DeviceQueue.DeviceListHead)) {
        device->DeviceQueue.Busy = FALSE;
    } else {
        PLIST_ENTRY link = RemoveHeadList(&device->DeviceQueue.DeviceListHead);
        PKDEVICE_QUEUE_ENTRY entry = CONTAINING_RECORD(link, KDEVICE_QUEUE_ENTRY, DeviceListEntry);
        entry->Inserted = FALSE;
        next = CONTAINING_RECORD(entry, IRP, Tail.Overlay.DeviceQueueEntry);
        device->CurrentIrp = next;
    }
    if (cancelable) IoReleaseCancelSpinLock(cancelIrql);
    if (next) StartIo(device, next);
}

BOOLEAN NTAPI KeRemoveEntryDeviceQueue(PKDEVICE_QUEUE queue, PKDEVICE_QUEUE_ENTRY entry) {
    if (!entry->Inserted) return FALSE;
    RemoveEntryList(&entry->DeviceListEntry);
    entry->Inserted = FALSE;
    return TRUE;
}

PMDL NTAPI IoAllocateMdl(PVOID address, ULONG length, BOOLEAN, BOOLEAN, PIRP) {
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return nullptr;
    const ULONG_PTR start = reinterpret_cast<ULONG_PTR>(address);
    const ULONG pages = static_cast<ULONG>(((start & (PAGE_SIZE - 1)) + length + PAGE_SIZE - 1) / PAGE_SIZE);
    const size_t bytes = sizeof(MDL) + pages * sizeof(PFN_NUMBER);
    PMDL mdl = static_cast<PMDL>(std::calloc(1, bytes));
    mdl->Size = static_cast<CSHORT>(bytes);
    mdl->StartVa = reinterpret_cast<PVOID>(start & ~static_cast<ULONG_PTR>(PAGE_SIZE - 1));
    mdl->ByteOffset = static_cast<ULONG>(start & (PAGE_SIZE - 1));
    mdl->ByteCount = length;
    g->mdls.insert(mdl);
    return mdl;
}

VOID NTAPI IoFreeMdl(PMDL mdl) {
    if (!g->mdls.erase(mdl)) {
        Problem("freeing " + Describe(mdl) + ", which is no MDL");
        return;
    }
    std::free(mdl);
}

VOID NTAPI MmBuildMdlForNonPagedPool(PMDL mdl) {
    mdl->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
    mdl->MappedSystemVa = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
}

PVOID NTAPI MmMapLockedPagesSpecifyCache(PMDLX mdl, KPROCESSOR_MODE, MEMORY_CACHING_TYPE, PVOID, ULONG,
                                         MM_PAGE_PRIORITY) {
    mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    mdl->MappedSystemVa = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
    return mdl->MappedSystemVa;
}

}  // extern "C"

namespace kernelsim {

namespace {

PFILE_OBJECT HandleFile(int handle) {
    auto found = g->handles.find(handle);
    if (found == g->handles.end()) {
        Problem("unknown handle " + std::to_string(handle));
        return nullptr;
    }
    return found->second;
}

// A request on a handle, to the top of the device's stack.
PIRP UserIrp(PFILE_OBJECT file, UCHAR major, const std::string& what) {
    PDEVICE_OBJECT top = TopOfStack(file->DeviceObject);
    PIRP irp = NewIrp(top->StackSize, IrpKind::User, what);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->FileObject = file;
    irp->Tail.Overlay.OriginalFileObject = file;
    return irp;
}

Request Send(PFILE_OBJECT file, PIRP irp) {
    Request result = std::make_shared<RequestResult>();
    g->irps[irp].request = result;
    result->irp = irp;
    const NTSTATUS status = IofCallDriver(TopOfStack(file->DeviceObject), irp);
    MaybeRunDpcs();
    if (status != STATUS_PENDING && !result->done) Problem(g->irps[irp].what + " returned without being completed");
    return result;
}

Request Transfer(int handle, UCHAR major, void* buffer, uint32_t bytes, const char* what) {
    PFILE_OBJECT file = HandleFile(handle);
    if (!file) return std::make_shared<RequestResult>();
    PIRP irp = UserIrp(file, major, what);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->Parameters.Read.Length = bytes;
    if (bytes) {
        PMDL mdl = IoAllocateMdl(buffer, bytes, FALSE, FALSE, nullptr);
        mdl->MdlFlags |= MDL_PAGES_LOCKED;
        irp->MdlAddress = mdl;
        g->irps[irp].userMdl = mdl;
    }
    return Send(file, irp);
}

}  // namespace

int Kernel::Open(uint32_t* status) {
    auto link = g->links.find(L"\\??\\ecp");
    PDEVICE_OBJECT device = link == g->links.end() ? nullptr : DeviceByName(link->second);
    if (!device) {
        *status = STATUS_OBJECT_NAME_NOT_FOUND;
        return -1;
    }
    const bool busy = std::any_of(g->files.begin(), g->files.end(),
                                  [&](const auto& file) { return file.second.user && file.second.device == device; });
    if ((device->Flags & DO_EXCLUSIVE) && busy) {
        *status = STATUS_ACCESS_DENIED;
        return -1;
    }
    PFILE_OBJECT file = NewFile(device, true, "handle on \\\\.\\ECP");
    PIRP irp = UserIrp(file, IRP_MJ_CREATE, "create of \\\\.\\ECP");
    Request result = Send(file, irp);
    *status = result->status;
    if (!result->done || !NT_SUCCESS(result->status)) {
        ReleaseFile(file);
        return -1;
    }
    const int handle = g->nextHandle++;
    g->handles[handle] = file;
    return handle;
}

uint32_t Kernel::Close(int handle) {
    PFILE_OBJECT file = HandleFile(handle);
    if (!file) return STATUS_INVALID_HANDLE;
    Request cleanUp = Send(file, UserIrp(file, IRP_MJ_CLEANUP, "clean-up of \\\\.\\ECP"));
    if (!cleanUp->done) Problem("clean-up left pending");
    Request close = Send(file, UserIrp(file, IRP_MJ_CLOSE, "close of \\\\.\\ECP"));
    if (!close->done) Problem("close left pending");
    g->handles.erase(handle);
    ReleaseFile(file);
    return close->status;
}

Request Kernel::Control(int handle, uint32_t code, const void* input, uint32_t inputBytes, uint32_t outputBytes) {
    PFILE_OBJECT file = HandleFile(handle);
    if (!file) return std::make_shared<RequestResult>();
    PIRP irp = UserIrp(file, IRP_MJ_DEVICE_CONTROL, "device control " + std::to_string(code));
    IrpInfo& info = g->irps[irp];
    info.systemBuffer.assign(std::max(inputBytes, outputBytes) + 1, 0xCD);
    if (inputBytes) std::memcpy(info.systemBuffer.data(), input, inputBytes);
    info.outputBytes = outputBytes;
    irp->AssociatedIrp.SystemBuffer = info.systemBuffer.data();
    // The caller's Information as it comes: handlers that leave it keep it.
    irp->IoStatus.Information = 0x5A5A;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->Parameters.DeviceIoControl.IoControlCode = code;
    next->Parameters.DeviceIoControl.InputBufferLength = inputBytes;
    next->Parameters.DeviceIoControl.OutputBufferLength = outputBytes;
    return Send(file, irp);
}

Request Kernel::Read(int handle, void* buffer, uint32_t bytes) {
    return Transfer(handle, IRP_MJ_READ, buffer, bytes, "read");
}

Request Kernel::Write(int handle, const void* data, uint32_t bytes) {
    return Transfer(handle, IRP_MJ_WRITE, const_cast<void*>(data), bytes, "write");
}

void Kernel::Cancel(const Request& request) {
    PIRP irp = static_cast<PIRP>(request->irp);
    if (!irp || request->done) return;
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    irp->CancelIrql = irql;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    routine(stack->DeviceObject, irp);
    if (g->cancelLockOwner == ThisCpu().id) {
        Problem("cancel routine returned holding the cancel spin lock");
        IoReleaseCancelSpinLock(irql);
    }
    MaybeRunDpcs();
}

}  // namespace kernelsim
