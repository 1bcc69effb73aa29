#include "driver/k_dma.h"

#include "driver/k_device.h"

ULONG MapRegistersFor(ULONG_PTR address, ULONG length, ULONG granted) {
    if (length == 0) return 0;
    const ULONG offset = static_cast<ULONG>(address & (kDmaPageBytes - 1));
    const ULONG pages = (offset + length - 1) / kDmaPageBytes + 1;
    return pages < granted ? pages : granted;
}

ULONG SegmentBytes(ULONG_PTR address, ULONG remaining, ULONG registers) {
    const ULONG offset = static_cast<ULONG>(address & (kDmaPageBytes - 1));
    const ULONG reach = registers * kDmaPageBytes - offset;
    return remaining < reach ? remaining : reach;
}

BOOLEAN KDmaAdapter::Acquire(PDEVICE_OBJECT physical, ULONG mapRegistersWanted) {
    m_mapRegisters = mapRegistersWanted;
    m_adapter = IoGetDmaAdapter(physical, &m_description, &m_mapRegisters);
    if (!m_adapter) m_mapRegisters = 0;
    return m_adapter != nullptr;
}

void KDmaAdapter::Release() {
    if (m_adapter) m_adapter->DmaOperations->PutDmaAdapter(m_adapter);
    m_adapter = nullptr;
    m_mapRegisters = 0;
}

NTSTATUS KDmaAdapter::QueueSynchRequest(PDEVICE_OBJECT device, ULONG mapRegisters, PDRIVER_CONTROL routine,
                                        PVOID context) {
    if (!m_adapter) return STATUS_INSUFFICIENT_RESOURCES;
    const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
    const NTSTATUS status =
        m_adapter->DmaOperations->AllocateAdapterChannel(m_adapter, device, mapRegisters, routine, context);
    LowerIrql(old);
    return status;
}

void KDmaAdapter::FreeChannel() {
    const KIRQL old = RaiseIrql(DISPATCH_LEVEL);
    m_adapter->DmaOperations->FreeAdapterChannel(m_adapter);
    LowerIrql(old);
}

KMemory::KMemory(PVOID address, ULONG length) : m_mdl(nullptr), m_owned(FALSE) {
    m_mdl = IoAllocateMdl(address, length, FALSE, FALSE, nullptr);
    if (m_mdl) {
        MmBuildMdlForNonPagedPool(m_mdl);
        m_owned = TRUE;
    }
}

PVOID KMemory::MapToSystemSpace() { return m_mdl ? MmGetSystemAddressForMdlSafe(m_mdl, NormalPagePriority) : nullptr; }

void KMemory::Invalidate() {
    if (m_owned && m_mdl) IoFreeMdl(m_mdl);
    m_mdl = nullptr;
    m_owned = FALSE;
}

KDmaTransfer::KDmaTransfer()
    : m_adapter(nullptr),
      m_commonBuffer(nullptr),
      m_device(nullptr),
      m_toDevice(0),
      m_callback(nullptr),
      m_context(nullptr),
      m_current(nullptr),
      m_state(Idle),
      m_channelRequested(FALSE),
      m_noChannelRequest(NotificationEvent, TRUE),
      m_gaveBack(FALSE),
      m_mapRegistersRequested(0),
      m_remaining(0),
      m_scatterGather(nullptr),
      m_segmentCount(1),
      m_segmentLength(0),
      m_segmentsSetUp(0),
      m_mapRegisterBase(nullptr),
      m_mapRegistersNeeded(0),
      m_segmentBytes(0),
      m_busMaster(FALSE),
      m_channelHeld(FALSE),
      m_mapRegistersHeld(FALSE),
      m_isScatterGather(FALSE),
      m_keepAdapter(FALSE) {
    m_segmentAddress.QuadPart = 0;
}

NTSTATUS KDmaTransfer::Initiate(KDevice* device, KDmaAdapter* adapter, PMDL mdl, ULONG toDevice, KDmaCallback callback,
                                PVOID commonBuffer, PVOID context, BOOLEAN keepAdapter) {
    m_lock._lock();
    m_device = device;
    m_adapter = adapter;
    m_memory.Attach(mdl);
    m_toDevice = toDevice;
    m_callback = callback;
    m_commonBuffer = commonBuffer;
    m_context = context;
    m_keepAdapter = keepAdapter;
    m_busMaster = adapter->Description().Master;
    m_isScatterGather = m_busMaster && adapter->Description().ScatterGather && !commonBuffer;
    m_current = static_cast<PUCHAR>(m_memory.VirtualAddress());
    m_remaining = m_memory.Size();
    m_segmentBytes = 0;
    m_segmentsSetUp = 0;
    m_mapRegistersNeeded =
        MapRegistersFor(reinterpret_cast<ULONG_PTR>(m_current), m_remaining, adapter->MapRegisters());
    m_state = Waiting;
    if (m_channelRequested) {
        // The grant of an ended transfer's request becomes this one's;
        // segments reach only as far as the registers it asked for.
        if (m_mapRegistersNeeded > m_mapRegistersRequested) m_mapRegistersNeeded = m_mapRegistersRequested;
        m_lock._unlock();
        return STATUS_SUCCESS;
    }
    m_channelRequested = TRUE;
    m_noChannelRequest.Clear();
    m_mapRegistersRequested = m_mapRegistersNeeded;
    m_lock._unlock();
    return AskForChannel();
}

// Outside the lock: the platform may grant at once, within the request.
NTSTATUS KDmaTransfer::AskForChannel() {
    const NTSTATUS status =
        m_adapter->QueueSynchRequest(m_device->DeviceObject(), m_mapRegistersRequested, OnChannelGranted, this);
    if (NT_SUCCESS(status)) return status;
    m_lock._lock();
    m_channelRequested = FALSE;
    m_state = Idle;
    m_memory.Attach(nullptr);
    m_noChannelRequest.Set();
    m_lock._unlock();
    return status;
}

IO_ALLOCATION_ACTION NTAPI KDmaTransfer::OnChannelGranted(PDEVICE_OBJECT, PIRP irp, PVOID mapRegisterBase,
                                                          PVOID context) {
    return static_cast<KDmaTransfer*>(context)->TakeGrant(irp, mapRegisterBase);
}

IO_ALLOCATION_ACTION KDmaTransfer::TakeGrant(PIRP irp, PVOID mapRegisterBase) {
    m_lock._lockAtDpc();
    m_channelRequested = FALSE;
    m_noChannelRequest.Set();
    if (m_state != Waiting) {
        // The transfer ended before the channel came: give it straight back.
        m_gaveBack = TRUE;
        m_lock._unlockFromDpc();
        return DeallocateObject;
    }
    m_state = Granted;
    m_mapRegisterBase = mapRegisterBase;
    m_channelHeld = TRUE;
    SetUpSegment();
    m_callback(m_device, irp, this);
    if (m_state == Granted) m_state = Running;
    m_lock._unlockFromDpc();
    return KeepObject;
}

void KDmaTransfer::SetUpSegment() {
    m_segmentBytes = 0;
    if (m_remaining == 0) return;
    ULONG length = SegmentBytes(reinterpret_cast<ULONG_PTR>(m_current), m_remaining, m_mapRegistersNeeded);
    // The platform may map less than asked; the segment is what it mapped.
    m_segmentAddress = m_adapter->Adapter()->DmaOperations->MapTransfer(
        m_adapter->Adapter(), m_memory.Mdl(), m_mapRegisterBase, m_current, &length, m_toDevice != 0);
    m_segmentLength = length;
    m_segmentBytes = length;
    ++m_segmentsSetUp;
}

void KDmaTransfer::EndSegment(ULONG done) {
    m_adapter->Adapter()->DmaOperations->FlushAdapterBuffers(m_adapter->Adapter(), m_memory.Mdl(), m_mapRegisterBase,
                                                             m_current, m_segmentBytes, m_toDevice != 0);
    // A count beyond the segment (a bogus residual) must not run the
    // position past the buffer.
    if (done > m_segmentBytes) done = m_segmentBytes;
    m_current += done;
    m_remaining -= done;
    m_segmentBytes = 0;
}

void KDmaTransfer::Continue(KDmaCountType type, ULONG count) {
    m_lock._lock();
    if (m_state != Running && m_state != Granted) {
        m_lock._unlock();
        return;
    }
    ULONG done = m_segmentBytes;
    if (type == DMA_SEGMENT_LESS_RESIDUAL) {
        const ULONG residual = m_adapter->Adapter()->DmaOperations->ReadDmaCounter(m_adapter->Adapter());
        done = residual < m_segmentBytes ? m_segmentBytes - residual : 0;
    } else if (type == DMA_SEGMENT_GIVEN) {
        done = count;
    }
    EndSegment(done);
    SetUpSegment();
    m_callback(m_device, static_cast<PIRP>(m_device->DeviceObject()->CurrentIrp), this);
    m_lock._unlock();
}

void KDmaTransfer::Terminate() {
    m_lock._lock();
    if (m_state == Waiting) {
        // The request stays with the platform: its grant goes to the next
        // transfer, or back.
        m_state = Idle;
        m_memory.Attach(nullptr);
        m_lock._unlock();
        return;
    }
    if (m_state != Idle) {
        if (m_remaining && m_segmentBytes) EndSegment(m_segmentBytes);
        if (m_channelHeld) {
            m_adapter->FreeChannel();
            m_channelHeld = FALSE;
        } else if (m_mapRegistersHeld) {
            m_adapter->Adapter()->DmaOperations->FreeMapRegisters(m_adapter->Adapter(), m_mapRegisterBase,
                                                                  m_mapRegistersNeeded);
            m_mapRegistersHeld = FALSE;
        }
        m_memory.Attach(nullptr);
        m_state = Idle;
    }
    m_lock._unlock();
}

void KDmaTransfer::QuiesceChannel() {
    m_noChannelRequest.Wait();
    m_lock._lock();
    const BOOLEAN gaveBack = m_gaveBack;
    m_gaveBack = FALSE;
    m_lock._unlock();
    if (!gaveBack) return;
    // The routine that gave the channel back may still be returning to the
    // platform. The platform grants the channel once more only after it
    // has: that grant is kept, so that nothing of the platform's runs on
    // for it, and freed here.
    KEvent granted(NotificationEvent, FALSE);
    if (!NT_SUCCESS(m_adapter->QueueSynchRequest(m_device->DeviceObject(), 1, OnLastGrantReturned, &granted))) return;
    granted.Wait();
    m_adapter->FreeChannel();
}

IO_ALLOCATION_ACTION NTAPI KDmaTransfer::OnLastGrantReturned(PDEVICE_OBJECT, PIRP, PVOID, PVOID context) {
    static_cast<KEvent*>(context)->Set();
    return KeepObject;
}
