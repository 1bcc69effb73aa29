// The simulated kernel's own checks: a small driver that makes one mistake
// at a time, and the kernel must name it, among the misuses it saw or among
// what was left at unload. A check that never fires would let every driver
// test pass whatever the driver did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/kernel_seam.h"
#include "kernelsim/sim_kernel.h"

namespace {

enum class Mistake {
    None,
    CompleteTwice,
    NeverComplete,
    CompleteWithCancelRoutine,
    LeavePool,
    WaitAtDispatchLevel,
    WaitForNothing,
    RegistryAtDispatchLevel,
    LeaveLink,
    MarkPendingBeyondTheStack,
};

Mistake g_mistake = Mistake::None;
PDEVICE_OBJECT g_lower = nullptr;
const wchar_t kLink[] = L"\\??\\ECP";
UNICODE_STRING g_link;

NTSTATUS Complete(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

VOID NTAPI CancelRead(PDEVICE_OBJECT, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    Complete(irp, STATUS_CANCELLED);
}

NTSTATUS NTAPI Succeed(PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS); }

NTSTATUS NTAPI Create(PDEVICE_OBJECT, PIRP irp) {
    if (g_mistake == Mistake::LeavePool) ExAllocatePoolWithTag(NonPagedPool, 24, 0x74736554);  // "Test"
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI Read(PDEVICE_OBJECT, PIRP irp) {
    switch (g_mistake) {
        case Mistake::CompleteTwice:
            Complete(irp, STATUS_SUCCESS);
            return Complete(irp, STATUS_SUCCESS);
        case Mistake::NeverComplete:
            IoMarkIrpPending(irp);
            return STATUS_PENDING;
        case Mistake::CompleteWithCancelRoutine:
            IoSetCancelRoutine(irp, CancelRead);
            return Complete(irp, STATUS_SUCCESS);
        default:
            return Complete(irp, STATUS_SUCCESS);
    }
}

// The completion routine of a request the driver allocated for the lower
// device: the request has no stack location above the lower device's.
NTSTATUS NTAPI MarkPendingDone(PDEVICE_OBJECT, PIRP irp, PVOID event) {
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    KeSetEvent(static_cast<PKEVENT>(event), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void AskTheBusAndWait() {
    PIRP down = IoAllocateIrp(g_lower->StackSize, FALSE);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(down);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = IRP_MN_QUERY_PNP_DEVICE_STATE;
    down->IoStatus.Status = STATUS_NOT_SUPPORTED;
    IoSetCompletionRoutine(down, MarkPendingDone, &done, TRUE, TRUE, TRUE);
    IoCallDriver(g_lower, down);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    IoFreeIrp(down);
}

NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT, PIRP irp) {
    if (g_mistake == Mistake::MarkPendingBeyondTheStack) AskTheBusAndWait();
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, g_mistake != Mistake::WaitForNothing);
    if (g_mistake == Mistake::WaitAtDispatchLevel) {
        const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        LowerIrql(old);
    } else if (g_mistake == Mistake::WaitForNothing) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
    } else if (g_mistake == Mistake::RegistryAtDispatchLevel) {
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Ombrix");
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        HANDLE key = nullptr;
        const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
        const NTSTATUS opened = ZwOpenKey(&key, KEY_READ, &attributes);
        LowerIrql(old);
        if (NT_SUCCESS(opened)) ZwClose(key);
    }
    return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI Pnp(PDEVICE_OBJECT device, PIRP irp) {
    const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    const NTSTATUS status = IoCallDriver(g_lower, irp);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        if (g_mistake != Mistake::LeaveLink) IoDeleteSymbolicLink(&g_link);
        IoDetachDevice(g_lower);
        IoDeleteDevice(device);
    }
    return status;
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\Device\\ECP");
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_SCANNER, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    status = IoCreateSymbolicLink(&g_link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    g_lower = IoAttachDeviceToDeviceStack(device, physical);
    device->Flags |= DO_DIRECT_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

VOID NTAPI Unload(PDRIVER_OBJECT) {}

long __stdcall FaultyDriverEntry(void* driverObject, void*) {
    PDRIVER_OBJECT driver = static_cast<PDRIVER_OBJECT>(driverObject);
    RtlInitUnicodeString(&g_link, kLink);
    driver->DriverExtension->AddDevice = AddDevice;
    driver->DriverUnload = Unload;
    driver->MajorFunction[IRP_MJ_CREATE] = Create;
    driver->MajorFunction[IRP_MJ_CLOSE] = Succeed;
    driver->MajorFunction[IRP_MJ_CLEANUP] = Succeed;
    driver->MajorFunction[IRP_MJ_READ] = Read;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    driver->MajorFunction[IRP_MJ_PNP] = Pnp;
    return STATUS_SUCCESS;
}

bool Names(const std::vector<std::string>& seen, const std::string& what) {
    for (const std::string& line : seen)
        if (line.find(what) != std::string::npos) return true;
    return false;
}

TEST(SimulatedKernel, NamesEachMisuseAndEachLeftover) {
    const struct {
        const char* name;
        Mistake mistake;
        bool leftover;  // reported at unload, else as a misuse when it happens
        const char* expected;
    } cases[] = {
        {"completed twice", Mistake::CompleteTwice, false, "request completed twice: read"},
        {"never completed", Mistake::NeverComplete, true, "request never completed: read"},
        {"cancel routine set", Mistake::CompleteWithCancelRoutine, false,
         "request completed with its cancel routine set: read"},
        {"pool", Mistake::LeavePool, true, "pool tag 'Test': 1 blocks, 24 bytes"},
        {"wait at dispatch level", Mistake::WaitAtDispatchLevel, false, "at level 2"},
        {"deadlock", Mistake::WaitForNothing, false, "that nothing can satisfy: a deadlock"},
        {"registry at dispatch level", Mistake::RegistryAtDispatchLevel, false, "ZwOpenKey above passive level"},
        {"symbolic link", Mistake::LeaveLink, true, "symbolic link \\??\\ecp"},
        {"pending mark beyond the stack", Mistake::MarkPendingBeyondTheStack, false,
         "a completion routine wrote the stack location beyond the request's own"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        g_mistake = test.mistake;
        kernelsim::Kernel kernel;
        // The bus completes later, as the mistake needs to show.
        kernel.Faults().pendLowerRequests = test.mistake == Mistake::MarkPendingBeyondTheStack;
        ASSERT_EQ(kernel.Load(FaultyDriverEntry), 0u);
        ASSERT_EQ(kernel.AddDevice(), 0u);
        ASSERT_EQ(kernel.Start(), 0u);
        uint32_t status = 1;
        const int handle = kernel.Open(&status);
        ASSERT_GT(handle, 0);
        uint8_t buffer[8] = {};
        kernel.Read(handle, buffer, sizeof buffer);
        kernel.Control(handle, 0x192008, nullptr, 0, 0);
        const std::vector<std::string> misuses = kernel.Problems();
        kernel.Close(handle);
        kernel.Pnp(IRP_MN_REMOVE_DEVICE);
        kernel.Unload();
        const std::vector<std::string> left = kernel.Leftovers();
        EXPECT_TRUE(Names(test.leftover ? left : misuses, test.expected))
            << "misuses: " << testing::PrintToString(misuses) << "\nleft: " << testing::PrintToString(left);
    }
    // The same driver without a mistake leaves the kernel clean.
    g_mistake = Mistake::None;
    kernelsim::Kernel kernel;
    ASSERT_EQ(kernel.Load(FaultyDriverEntry), 0u);
    ASSERT_EQ(kernel.AddDevice(), 0u);
    ASSERT_EQ(kernel.Start(), 0u);
    uint32_t status = 1;
    const int handle = kernel.Open(&status);
    uint8_t buffer[8] = {};
    EXPECT_EQ(kernel.Read(handle, buffer, sizeof buffer)->status, 0u);
    EXPECT_EQ(kernel.Control(handle, 0x192008, nullptr, 0, 0)->status, 0u);
    kernel.Close(handle);
    kernel.Pnp(IRP_MN_REMOVE_DEVICE);
    kernel.Unload();
    EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
    EXPECT_EQ(kernel.Leftovers(), std::vector<std::string>());
}

// Concurrent: one processor waits with a time-out for an event nobody
// sets, another for what the first does after its wait. Nothing else can
// run, so the time-out passes: that is no deadlock.
TEST(SimulatedKernel, ATimedWaitEndsByItsTimeOutWhenNothingElseCanRun) {
    kernelsim::Kernel kernel;
    KEVENT never;
    KeInitializeEvent(&never, SynchronizationEvent, FALSE);
    NTSTATUS waited = STATUS_PENDING;
    bool after = false;
    kernel.RunConcurrently(1, {
        [&] { EXPECT_TRUE(kernel.WaitUntil([&] { return after; }, "the end of the timed wait")); },
        [&] {
            LARGE_INTEGER timeout;
            timeout.QuadPart = -10 * 10000;
            waited = KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &timeout);
            after = true;
        },
    });
    EXPECT_EQ(waited, STATUS_TIMEOUT);
    EXPECT_EQ(kernel.Problems(), std::vector<std::string>());
}

}  // namespace
