#include "driver/k_objects.h"

#include "driver/k_pnp_device.h"

NTSTATUS KEvent::Wait(LONGLONG timeout100ns) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -timeout100ns;
    return KeWaitForSingleObject(&m_event, Executive, KernelMode, FALSE, timeout100ns ? &timeout : nullptr);
}

BOOLEAN KTimedCallback::Set(LONGLONG dueTime, PKDEFERRED_ROUTINE routine, PVOID owner) {
    // Re-initialising a queued callback would corrupt the DPC queue.
    Cancel();
    if (++m_armings == 0) ++m_armings;
    m_arming = m_armings;
    KeInitializeDpc(&m_dpc.dpc, routine, reinterpret_cast<PVOID>(m_arming));
    m_dpc.owner = owner;
    m_dpcInitialised = TRUE;
    LARGE_INTEGER due;
    due.QuadPart = dueTime;
    return KeSetTimer(&m_timer, due, &m_dpc.dpc);
}

BOOLEAN KTimedCallback::Cancel() {
    const BOOLEAN wasSet = KTimer::Cancel();
    if (m_dpcInitialised) KeRemoveQueueDpc(&m_dpc.dpc);
    m_arming = 0;
    return wasSet;
}

PKDEVICE_QUEUE_ENTRY KDeviceQueue::Next(PKDEVICE_QUEUE_ENTRY entry) {
    PLIST_ENTRY link = entry ? entry->DeviceListEntry.Flink : m_queue->DeviceListHead.Flink;
    if (link == &m_queue->DeviceListHead) return nullptr;
    return CONTAINING_RECORD(link, KDEVICE_QUEUE_ENTRY, DeviceListEntry);
}

void KDeviceQueue::PnpCleanUp(KPnpDevice* device, PFILE_OBJECT file) {
    for (;;) {
        KIRQL cancelIrql;
        IoAcquireCancelSpinLock(&cancelIrql);
        KeAcquireSpinLockAtDpcLevel(&m_queue->Lock);
        m_locked = TRUE;
        PIRP found = nullptr;
        for (PKDEVICE_QUEUE_ENTRY entry = Next(nullptr); entry; entry = Next(entry)) {
            PIRP irp = Container(entry);
            if (!file || IoGetCurrentIrpStackLocation(irp)->FileObject == file) {
                RemoveEntryList(&entry->DeviceListEntry);
                entry->Inserted = FALSE;
                found = irp;
                break;
            }
        }
        m_locked = FALSE;
        KeReleaseSpinLockFromDpcLevel(&m_queue->Lock);
        if (found) IoSetCancelRoutine(found, nullptr);
        IoReleaseCancelSpinLock(cancelIrql);
        if (!found) return;
        found->IoStatus.Information = 0;
        found->IoStatus.Status = STATUS_CANCELLED;
        IoCompleteRequest(found, IO_NO_INCREMENT);
        device->DecrementOutstandingRequestCount();
    }
}

void KIrp::CopyParametersDown(BOOLEAN clearCompletion) {
    IoCopyCurrentIrpStackLocationToNext(m_irp);
    if (!clearCompletion) return;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(m_irp);
    next->CompletionRoutine = nullptr;
    next->Control = 0;
}

BOOLEAN KIrp::WasCanceled(BOOLEAN takeLock) {
    if (!takeLock) return m_irp->Cancel;
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    const BOOLEAN cancelled = m_irp->Cancel;
    IoReleaseCancelSpinLock(irql);
    return cancelled;
}

NTSTATUS KIrp::PnpComplete(KPnpDevice* device, NTSTATUS status, CCHAR boost) {
    m_irp->IoStatus.Status = status;
    IoCompleteRequest(m_irp, boost);
    device->DecrementOutstandingRequestCount();
    return status;
}
