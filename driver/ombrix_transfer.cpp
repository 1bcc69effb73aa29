// ECP transfers by system DMA: one request in transfer at a time, run as DMA
// segments that the port's service interrupt ends.
#include "driver/ombrix_device.h"

namespace {
constexpr UCHAR kEcrStandard = 0x14;
constexpr UCHAR kEcrByteMode = 0x34;
constexpr UCHAR kEcrEcpIdle = 0x7C;
constexpr UCHAR kEcrSegmentRuns = 0x78;
constexpr UCHAR kEcrStopped = 0x74;
constexpr UCHAR kEcrServiceIntr = 0x04;
constexpr UCHAR kDcrStandard = 0x0C;
constexpr UCHAR kDcrForward = 0x04;
constexpr UCHAR kDcrReverse = 0x20;
constexpr LONGLONG kHundredNsPerMs = 10000;

PVOID StatusArgument(NTSTATUS status) {
    return reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(static_cast<ULONG>(status)));
}
}  // namespace

void OmbrixDevice::SetECPMode(ECPMODE mode) {
    if (m_status.EcpMode == static_cast<ULONG>(mode)) return;
    m_status.EcpMode = mode;
    if (mode == SPP) {
        WritePortByte(ExtendedControlRegister(), kEcrStandard);
        WritePortByte(ControlRegister(), kDcrStandard);
    } else {
        WritePortByte(ExtendedControlRegister(), kEcrByteMode);
        WritePortByte(ControlRegister(), mode == FORWARD ? kDcrForward : kDcrReverse);
        WritePortByte(ExtendedControlRegister(), kEcrEcpIdle);
    }
    ReadPortByte(ControlRegister());
    ReadPortByte(ExtendedControlRegister());
}

void OmbrixDevice::FailStart(PIRP irp, NTSTATUS status) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    // A cancel that came first ends the request and starts the next itself.
    const BOOLEAN ours = IoSetCancelRoutine(irp, nullptr) != nullptr;
    IoReleaseCancelSpinLock(irql);
    if (!ours) return;
    irp->IoStatus.Information = 0;
    irp->IoStatus.Status = status;
    IoStartNextPacket(m_deviceObject, TRUE);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    DecrementOutstandingRequestCount();
}

VOID OmbrixDevice::StartIo(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const BOOLEAN read = stack->MajorFunction == IRP_MJ_READ;
    if (!read && stack->MajorFunction != IRP_MJ_WRITE) return FailStart(irp, STATUS_INVALID_PARAMETER);
    if (read && stack->Parameters.Read.Length == 0) return FailStart(irp, STATUS_SUCCESS);
    // The transfer starts under the cancel spin lock, so that a cancel
    // finds it either not started (the request is the cancel routine's) or
    // started whole, with the DMA channel asked for, to stop.
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    // Cancelled before it was queued (the cancel found no routine to call):
    // it ends here. Its cancel routine, when already called, ends it itself.
    if (irp->Cancel) {
        IoReleaseCancelSpinLock(irql);
        return FailStart(irp, STATUS_CANCELLED);
    }
    // The port was given back since the request was queued.
    if (!m_portOpen) {
        IoReleaseCancelSpinLock(irql);
        return FailStart(irp, STATUS_DEVICE_NOT_READY);
    }
    const ULONG timeout = read ? m_status.ReadTotalTimeout : m_status.WriteTotalTimeout;
    SetECPMode(read ? REVERSE : FORWARD);
    m_status.TransferState = read ? ECP_TRANSFER_READING : ECP_TRANSFER_WRITING;
    m_timedRequest = nullptr;
    if (timeout) {
        m_timedRequest = irp;
        m_timeoutTimer.Set(-static_cast<LONGLONG>(timeout) * kHundredNsPerMs, TimeoutExpired, this);
    }
    ReadPortByte(StatusRegister());
    m_DPCCount = 0;
    // The last transfer's stop is complete (its grant, if it came, has
    // returned), so segments may start again.
    m_segmentsRefused = FALSE;
    const NTSTATUS status =
        m_CurrentTransfer.Initiate(this, &m_dma, irp->MdlAddress, read ? 0 : 1, OnDmaReady, nullptr, nullptr, FALSE);
    if (NT_SUCCESS(status) || !IoSetCancelRoutine(irp, nullptr)) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    m_timeoutTimer.Cancel();
    m_timedRequest = nullptr;
    m_status.TransferState = ECP_TRANSFER_IDLE;
    m_deviceObject->CurrentIrp = nullptr;
    IoReleaseCancelSpinLock(irql);
    irp->IoStatus.Information = 0;
    irp->IoStatus.Status = status;
    IoStartNextPacket(m_deviceObject, TRUE);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    DecrementOutstandingRequestCount();
}

// The segment flag and the ECR write that starts the segment go together
// under the interrupt's lock: between them the interrupt routine would take
// the idle port's service bit (another device's interrupt on the shared
// line) for the end of this segment.
BOOLEAN NTAPI OmbrixDevice::StartSegment(PVOID context) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(context);
    if (self->m_segmentsRefused) return FALSE;
    self->m_segmentRunning = 1;
    WritePortByte(self->ExtendedControlRegister(), kEcrSegmentRuns);
    return TRUE;
}

VOID OmbrixDevice::OnDmaReady(KDevice* device, PIRP irp, KDmaTransfer* transfer) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(device);
    if (transfer->BytesRemaining())
        KeSynchronizeExecution(self->m_interruptInfo.InterruptObject, StartSegment, self);
    else
        KeInsertQueueDpc(&self->m_completionDpc, StatusArgument(STATUS_SUCCESS), irp);
}

BOOLEAN NTAPI OmbrixDevice::IsrIrq0(PKINTERRUPT, PVOID context) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(context);
    const UCHAR ecr = ReadPortByte(self->ExtendedControlRegister());
    // The line is shared: while no segment runs the chip's service bit is
    // set anyway (the port idles masked), and the interrupt is another
    // device's.
    if (!(ecr & kEcrServiceIntr) || !InterlockedExchange(&self->m_segmentRunning, 0)) return FALSE;
    WritePortByte(self->ExtendedControlRegister(), kEcrStopped);
    if (self->m_status.TransferState == ECP_TRANSFER_READING || self->m_status.TransferState == ECP_TRANSFER_WRITING)
        IoRequestDpc(self->m_deviceObject, self->m_deviceObject->CurrentIrp, nullptr);
    return TRUE;
}

VOID NTAPI OmbrixDevice::DpcForIsrIrq0(PKDPC, PDEVICE_OBJECT deviceObject, PIRP irp, PVOID) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(FromDeviceObject(deviceObject));
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    // A segment end of a request that has since ended is stale.
    if (!irp || deviceObject->CurrentIrp != irp || !irp->CancelRoutine) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    ++self->m_DPCCount;
    self->m_CurrentTransfer.Continue(DMA_SEGMENT_LESS_RESIDUAL);
    IoReleaseCancelSpinLock(irql);
}

// The expiry carries its arming; one of an arming that the transfer's end
// took back (already running on another processor then) finds it no longer
// current and leaves the next request alone.
VOID NTAPI OmbrixDevice::TimeoutExpired(PKDPC dpc, PVOID arming, PVOID, PVOID) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(KTimedCallback::Owner(dpc));
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    PIRP irp = self->m_timedRequest;
    if (self->m_timeoutTimer.IsCurrent(arming) && irp && irp == self->m_deviceObject->CurrentIrp) {
        self->StopSegments();
        KeInsertQueueDpc(&self->m_completionDpc, StatusArgument(STATUS_IO_TIMEOUT), irp);
    }
    IoReleaseCancelSpinLock(irql);
}

// The port stops and no segment starts until the next transfer, in one step
// under the interrupt's lock: a late channel grant running on another
// processor would otherwise start a segment for a transfer that has ended.
BOOLEAN NTAPI OmbrixDevice::RefuseSegments(PVOID context) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(context);
    self->m_segmentsRefused = TRUE;
    self->m_segmentRunning = 0;
    WritePortByte(self->ExtendedControlRegister(), kEcrStopped);
    return TRUE;
}

void OmbrixDevice::StopSegments() {
    if (m_interruptInfo.InterruptObject)
        KeSynchronizeExecution(m_interruptInfo.InterruptObject, RefuseSegments, this);
    else
        RefuseSegments(this);
}

void OmbrixDevice::StopTransferLocked() {
    // Before the DMA is released: the chip stops moving data first.
    StopSegments();
    m_timeoutTimer.Cancel();
    m_timedRequest = nullptr;
    KeRemoveQueueDpc(&m_deviceObject->Dpc);
    m_CurrentTransfer.Terminate();
    m_DPCCount = 0;
    m_status.TransferState = ECP_TRANSFER_IDLE;
}

// The DPC carries the request it was queued for; it acts only while that
// request is still the one in transfer and still cancelable, that is while
// no cancel has taken it.
VOID NTAPI OmbrixDevice::CompleteTransfer(PKDPC, PVOID deferredContext, PVOID argument1, PVOID argument2) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(deferredContext);
    PIRP irp = static_cast<PIRP>(argument2);
    const NTSTATUS status = static_cast<NTSTATUS>(reinterpret_cast<ULONG_PTR>(argument1));
    ReadPortByte(self->StatusRegister());
    ReadPortByte(self->ExtendedControlRegister());
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (!irp || self->m_deviceObject->CurrentIrp != irp || !IoSetCancelRoutine(irp, nullptr)) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const BOOLEAN read = stack->MajorFunction == IRP_MJ_READ;
    const ULONG length = read ? stack->Parameters.Read.Length : stack->Parameters.Write.Length;
    const ULONG moved = length - self->m_CurrentTransfer.BytesRemaining();
    if (read)
        self->m_status.BytesRead += moved;
    else
        self->m_status.BytesWritten += moved;
    self->StopTransferLocked();
    self->m_deviceObject->CurrentIrp = nullptr;
    IoReleaseCancelSpinLock(irql);
    irp->IoStatus.Information = moved;
    irp->IoStatus.Status = status;
    IoStartNextPacket(self->m_deviceObject, TRUE);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    self->DecrementOutstandingRequestCount();
}

VOID NTAPI OmbrixDevice::Cancel(PDEVICE_OBJECT deviceObject, PIRP irp) {
    OmbrixDevice* self = static_cast<OmbrixDevice*>(FromDeviceObject(deviceObject));
    irp->IoStatus.Information = 0;
    irp->IoStatus.Status = STATUS_CANCELLED;
    if (irp != deviceObject->CurrentIrp) {
        KeRemoveEntryDeviceQueue(&deviceObject->DeviceQueue, &irp->Tail.Overlay.DeviceQueueEntry);
        IoReleaseCancelSpinLock(irp->CancelIrql);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        self->DecrementOutstandingRequestCount();
        return;
    }
    deviceObject->CurrentIrp = nullptr;
    self->StopTransferLocked();
    IoReleaseCancelSpinLock(irp->CancelIrql);
    // The next request starts at dispatch level, as from a DPC.
    const KIRQL irql = RaiseIrql(DISPATCH_LEVEL);
    IoStartNextPacket(deviceObject, TRUE);
    LowerIrql(irql);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    self->DecrementOutstandingRequestCount();
}
