#include "driver/k_pnp_device.h"

namespace {
BOOLEAN Deeper(DEVICE_POWER_STATE next, DEVICE_POWER_STATE current) {
    if (current == PowerDeviceUnspecified) return next > PowerDeviceD0;
    return next > current;
}
}  // namespace

KPnpDevice::KPnpDevice(PDEVICE_OBJECT physical)
    : m_lower(nullptr),
      m_physical(physical),
      m_outstanding(1),
      m_openHandles(0),
      m_mutex(1),
      m_stopEvent(SynchronizationEvent, FALSE),
      m_removeEvent(SynchronizationEvent, FALSE),
      m_held(FIELD_OFFSET(IRP, Tail.Overlay.ListEntry)),
      m_state(0),
      m_powerFlags(0),
      m_devicePower(PowerDeviceUnspecified),
      m_systemPower(PowerSystemWorking),
      m_pendingPower(nullptr),
      m_powerOffEvent(SynchronizationEvent, FALSE),
      m_powerRequestStatus(STATUS_SUCCESS) {
    m_isPnp = TRUE;
    RtlZeroMemory(&m_capabilities, sizeof m_capabilities);
    KPnpDevice::SetPnpPolicy();
    KPnpDevice::SetPowerPolicy(FALSE);
}

KPnpDevice::~KPnpDevice() {}

VOID KPnpDevice::SetPnpPolicy() {
    m_policy.general = POLICY_FAIL_AFTER_REMOVE | POLICY_FAIL_BEFORE_START | POLICY_DELETE_ON_LAST_CLOSE |
                       POLICY_WAIT_AT_REMOVE | POLICY_DETACH_AT_REMOVE | POLICY_INTERFACES;
    m_policy.queryStop = QUERY_REFUSE_OPEN_HANDLES | QUERY_REFUSE_BUSY;
    m_policy.queryRemove = QUERY_REFUSE_OPEN_HANDLES | QUERY_FLUSH_QUEUE | QUERY_WAIT_OUTSTANDING;
    m_policy.hold = 0xFF & ~HOLD_CLEAN_UP_AT_STOP;
    m_policy.forwardFirst = 0x1FF;
    m_policy.completeAfter = 0x1FF;
    m_policy.queryStopTimeout = 0;
    m_policy.queryRemoveTimeout = 0;
}

VOID KPnpDevice::SetPowerPolicy(BOOLEAN managed) {
    m_powerPolicy.managed = managed;
    m_powerPolicy.powerUpAtCreate = TRUE;
    m_powerPolicy.powerDownAtLastClose = TRUE;
    m_powerPolicy.readCapabilities = TRUE;
    m_powerPolicy.holdDuringTransition = TRUE;
}

void KPnpDevice::IncrementOutstandingRequestCount() {
    if (InterlockedIncrement(&m_outstanding) == 2) m_stopEvent.Clear();
}

void KPnpDevice::DecrementOutstandingRequestCount() {
    const LONG count = InterlockedDecrement(&m_outstanding);
    if (count == 1) m_stopEvent.Set();
    if (count == 0) m_removeEvent.Set();
}

NTSTATUS KPnpDevice::WaitStop(LONGLONG timeout100ns) {
    if (CurrentIrql() >= DISPATCH_LEVEL) return STATUS_UNSUCCESSFUL;
    return m_stopEvent.Wait(timeout100ns);
}

NTSTATUS KPnpDevice::WaitRemove(LONGLONG timeout100ns) {
    if (CurrentIrql() >= DISPATCH_LEVEL) return STATUS_UNSUCCESSFUL;
    return m_removeEvent.Wait(timeout100ns);
}

NTSTATUS KPnpDevice::CompleteHere(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    DecrementOutstandingRequestCount();
    return status;
}

NTSTATUS KPnpDevice::PassDown(PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    PDEVICE_OBJECT lower = m_lower->DeviceObject();
    DecrementOutstandingRequestCount();
    return IoCallDriver(lower, irp);
}

NTSTATUS KPnpDevice::ForwardAndWait(PIRP irp) {
    KIrp(irp).CopyParametersDown();
    return m_lower->CallWaitComplete(irp, TRUE, nullptr);
}

NTSTATUS KPnpDevice::DefaultPnp(PIRP irp) { return PassDown(irp); }

NTSTATUS KPnpDevice::DefaultPower(PIRP irp) {
    PoStartNextPowerIrp(irp);
    KIrp(irp).CopyParametersDown();
    PDEVICE_OBJECT lower = m_lower->DeviceObject();
    DecrementOutstandingRequestCount();
    return PoCallDriver(lower, irp);
}

void KPnpDevice::EndDeviceActivity() {
    KDeviceQueue(m_deviceObject).PnpCleanUp(this, nullptr);
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    PIRP current = m_deviceObject->CurrentIrp;
    PDRIVER_CANCEL routine = current ? IoSetCancelRoutine(current, nullptr) : nullptr;
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return;
    }
    // As the system cancels: the routine releases the cancel spin lock.
    current->Cancel = TRUE;
    current->CancelIrql = irql;
    routine(m_deviceObject, current);
}

// The request gate.
NTSTATUS KPnpDevice::DeviceIrpDispatch(PIRP irp) {
    IncrementOutstandingRequestCount();
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG gone = PNP_REMOVED | PNP_SURPRISE_REMOVED;
    switch (stack->MajorFunction) {
        case IRP_MJ_CREATE: {
            m_mutex.Lock();
            if (m_state & gone) {
                m_mutex.Unlock();
                irp->IoStatus.Information = 0;
                return CompleteHere(irp, STATUS_DELETE_PENDING);
            }
            const NTSTATUS status = Create(irp);
            if (NT_SUCCESS(status)) {
                InterlockedIncrement(&m_openHandles);
                if (m_powerPolicy.powerUpAtCreate && m_devicePower != PowerDeviceD0) EnsureD0();
            }
            m_mutex.Unlock();
            return status;
        }
        case IRP_MJ_CLOSE: {
            m_mutex.Lock();
            const NTSTATUS status = Close(irp);
            // The handle is gone whatever the close reports; counting it as
            // open would keep the device from ever being deleted.
            if (InterlockedDecrement(&m_openHandles) == 0) {
                if ((m_state & PNP_REMOVED) && (m_policy.general & POLICY_DELETE_ON_LAST_CLOSE) &&
                    !(m_state & PNP_REMOVE_IN_PROGRESS)) {
                    m_mutex.Unlock();
                    // The device object went at remove; its memory stays until
                    // the system lets go of this last file object.
                    _self_delete();
                    return status;
                }
                if (m_powerPolicy.powerDownAtLastClose && !(m_state & gone) && m_devicePower != PowerDeviceD3)
                    RequestDevicePower(PowerDeviceD3, TRUE);
            }
            m_mutex.Unlock();
            return status;
        }
        case IRP_MJ_CLEANUP:
        case IRP_MJ_SHUTDOWN:
            if (m_policy.hold & HOLD_CLEAN_UP_FILE) CleanUpHeldRequests(stack->FileObject);
            return (this->*s_dispatch[stack->MajorFunction])(irp);
        case IRP_MJ_PNP:
            if ((m_state & gone) && !((m_state & PNP_SURPRISE_REMOVED) && !(m_state & PNP_REMOVED) &&
                                      stack->MinorFunction == IRP_MN_REMOVE_DEVICE)) {
                irp->IoStatus.Information = 0;
                return CompleteHere(irp, STATUS_DELETE_PENDING);
            }
            return Pnp(irp);
        case IRP_MJ_POWER:
            return Power(irp);
        default:
            return DispatchReady(irp);
    }
}

// Whether a request that arrives now waits in the held list.
BOOLEAN KPnpDevice::MustHold() const {
    return ((m_state & PNP_REMOVE_PENDING) && (m_policy.hold & HOLD_WHILE_REMOVE_PENDING)) ||
           ((m_state & PNP_STOP_PENDING) && (m_policy.hold & HOLD_WHILE_STOP_PENDING)) ||
           (!(m_state & PNP_STARTED) && (m_policy.hold & HOLD_BEFORE_START)) ||
           ((m_pendingPower || (m_powerFlags & POWER_SLEEPING)) && m_powerPolicy.holdDuringTransition);
}

// Any other request, counted already: served, held, or failed.
NTSTATUS KPnpDevice::DispatchReady(PIRP irp) {
    if (m_state & (PNP_REMOVED | PNP_SURPRISE_REMOVED)) {
        irp->IoStatus.Information = 0;
        return CompleteHere(irp, STATUS_DELETE_PENDING);
    }
    if (MustHold()) return HoldIrp(irp);
    if (!(m_state & PNP_STARTED)) {
        irp->IoStatus.Information = 0;
        return CompleteHere(irp, STATUS_DEVICE_NOT_READY);
    }
    if (m_devicePower != PowerDeviceD0) {
        const NTSTATUS status = EnsureD0();
        if (!NT_SUCCESS(status)) return CompleteHere(irp, status);
    }
    return (this->*s_dispatch[IoGetCurrentIrpStackLocation(irp)->MajorFunction])(irp);
}

NTSTATUS KPnpDevice::HoldIrp(PIRP irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (irp->Cancel) {
        IoReleaseCancelSpinLock(irql);
        irp->IoStatus.Information = 0;
        return CompleteHere(irp, STATUS_CANCELLED);
    }
    // The reason to hold may have ended since the caller looked: the held
    // requests are released under this lock after the state changes, so a
    // request that still finds it here joins the list in time.
    if (!MustHold()) {
        IoReleaseCancelSpinLock(irql);
        return DispatchReady(irp);
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, HeldCancel);
    m_held.InsertTail(irp);
    // A held request is not outstanding: the waits of a query for the
    // requests in progress would otherwise wait for the very requests that
    // only the query's cancel releases. It counts again when it leaves the
    // list.
    DecrementOutstandingRequestCount();
    IoReleaseCancelSpinLock(irql);
    return STATUS_PENDING;
}

VOID NTAPI KPnpDevice::HeldCancel(PDEVICE_OBJECT device, PIRP irp) {
    KPnpDevice* self = static_cast<KPnpDevice*>(FromDeviceObject(device));
    self->m_held.Remove(irp);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    irp->IoStatus.Information = 0;
    self->IncrementOutstandingRequestCount();
    self->CompleteHere(irp, STATUS_CANCELLED);
}

VOID KPnpDevice::ProcessHeldRequests(BOOLEAN fail) {
    // Taken out first, so that a request held again is not met twice.
    KList<IRP> taken(FIELD_OFFSET(IRP, Tail.Overlay.ListEntry));
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    while (PIRP irp = m_held.RemoveHead()) {
        IoSetCancelRoutine(irp, nullptr);
        taken.InsertTail(irp);
    }
    IoReleaseCancelSpinLock(irql);
    while (PIRP irp = taken.RemoveHead()) {
        irp->IoStatus.Information = 0;
        IncrementOutstandingRequestCount();
        if (irp->Cancel)
            CompleteHere(irp, STATUS_CANCELLED);
        else if (fail)
            CompleteHere(irp, STATUS_DELETE_PENDING);
        else
            DispatchReady(irp);
    }
}

VOID KPnpDevice::CleanUpHeldRequests(PFILE_OBJECT file) {
    KList<IRP> taken(FIELD_OFFSET(IRP, Tail.Overlay.ListEntry));
    KList<IRP> kept(FIELD_OFFSET(IRP, Tail.Overlay.ListEntry));
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    while (PIRP irp = m_held.RemoveHead()) {
        if (!file || IoGetCurrentIrpStackLocation(irp)->FileObject == file) {
            IoSetCancelRoutine(irp, nullptr);
            taken.InsertTail(irp);
        } else {
            kept.InsertTail(irp);
        }
    }
    while (PIRP irp = kept.RemoveHead()) m_held.InsertTail(irp);
    IoReleaseCancelSpinLock(irql);
    while (PIRP irp = taken.RemoveHead()) {
        irp->IoStatus.Information = 0;
        IncrementOutstandingRequestCount();
        CompleteHere(irp, STATUS_CANCELLED);
    }
}

NTSTATUS KPnpDevice::Pnp(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status;
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
            status = ForwardAndWait(irp);
            if (!NT_SUCCESS(status)) return CompleteHere(irp, status);
            status = OnStartDevice(irp);
            if (NT_SUCCESS(status)) {
                m_state |= PNP_STARTED;
                if (m_powerPolicy.readCapabilities) ReadCapabilities();
            }
            return CompleteHere(irp, status);
        case IRP_MN_QUERY_STOP_DEVICE:
            return QueryStop(irp);
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE: {
            status = ForwardAndWait(irp);
            if (!NT_SUCCESS(status)) return CompleteHere(irp, status);
            const BOOLEAN stop = stack->MinorFunction == IRP_MN_CANCEL_STOP_DEVICE;
            m_mutex.Lock();
            status = stop ? OnCancelStopDevice(irp) : OnCancelRemoveDevice(irp);
            m_state &= ~(stop ? PNP_STOP_PENDING : PNP_REMOVE_PENDING);
            m_mutex.Unlock();
            if (m_policy.hold & (stop ? HOLD_RELEASE_AT_CANCEL_STOP : HOLD_RELEASE_AT_CANCEL_REMOVE))
                ProcessHeldRequests(FALSE);
            return CompleteHere(irp, status);
        }
        case IRP_MN_STOP_DEVICE: {
            m_mutex.Lock();
            OnStopDevice(irp);
            const BOOLEAN started = (m_state & PNP_STARTED) != 0;
            m_state &= ~(PNP_STARTED | PNP_STOP_PENDING);
            m_mutex.Unlock();
            if (!started) return CompleteHere(irp, STATUS_SUCCESS);
            irp->IoStatus.Status = STATUS_SUCCESS;
            return PassDown(irp);
        }
        case IRP_MN_QUERY_REMOVE_DEVICE:
            return QueryRemove(irp);
        case IRP_MN_REMOVE_DEVICE:
            return RemoveDevice(irp);
        case IRP_MN_SURPRISE_REMOVAL:
            m_state |= PNP_SURPRISE_REMOVED;
            if (m_policy.hold & HOLD_FAIL_AT_REMOVE) ProcessHeldRequests(TRUE);
            // Nothing may keep running against hardware that is gone.
            EndDeviceActivity();
            OnSurpriseRemoval(irp);
            irp->IoStatus.Status = STATUS_SUCCESS;
            return PassDown(irp);
        case IRP_MN_QUERY_PNP_DEVICE_STATE:
            status = OnQueryDeviceState(irp);
            if (NT_SUCCESS(status) && (m_state & PNP_STARTED) && (m_state & PNP_STOP_PENDING)) return PassDown(irp);
            return CompleteHere(irp, status);
        default:
            return DefaultPnp(irp);
    }
}

// The checks and the state change of a query are one step under the
// device's mutex: a create between them would open a handle on a device
// that has just promised to stop or go.
NTSTATUS KPnpDevice::QueryStop(PIRP irp) {
    m_mutex.Lock();
    NTSTATUS status = STATUS_DEVICE_BUSY;
    if (!(((m_policy.queryStop & QUERY_REFUSE_OPEN_HANDLES) && m_openHandles > 0) ||
          ((m_policy.queryStop & QUERY_REFUSE_BUSY) && m_outstanding > 2))) {
        status = OnQueryStopDevice(irp);
        if (NT_SUCCESS(status)) m_state |= PNP_STOP_PENDING;
    }
    const BOOLEAN started = (m_state & PNP_STARTED) != 0;
    m_mutex.Unlock();
    if (!NT_SUCCESS(status) || !started) return CompleteHere(irp, status);
    irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(irp);
}

NTSTATUS KPnpDevice::QueryRemove(PIRP irp) {
    m_mutex.Lock();
    NTSTATUS status = STATUS_DEVICE_BUSY;
    if (!((m_policy.queryRemove & QUERY_REFUSE_OPEN_HANDLES) && m_openHandles > 0)) {
        status = OnQueryRemoveDevice(irp);
        if (NT_SUCCESS(status)) m_state |= PNP_REMOVE_PENDING;
    }
    m_mutex.Unlock();
    if (!NT_SUCCESS(status)) return CompleteHere(irp, status);
    if (m_policy.queryRemove & QUERY_FLUSH_QUEUE) KDeviceQueue(m_deviceObject).PnpCleanUp(this, nullptr);
    if ((m_state & PNP_STARTED) && (m_policy.queryRemove & QUERY_WAIT_OUTSTANDING)) {
        // This request is not one to wait for.
        DecrementOutstandingRequestCount();
        WaitStop(m_policy.queryRemoveTimeout);
        IncrementOutstandingRequestCount();
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(irp);
}

NTSTATUS KPnpDevice::RemoveDevice(PIRP irp) {
    m_mutex.Lock();
    m_state |= PNP_REMOVED | PNP_REMOVE_IN_PROGRESS;
    m_mutex.Unlock();
    if (m_policy.hold & HOLD_FAIL_AT_REMOVE) ProcessHeldRequests(TRUE);
    // A transfer without a time-out would otherwise hold the wait below
    // forever, and the port would be released under running DMA.
    EndDeviceActivity();
    OnRemoveDevice(irp);
    DecrementOutstandingRequestCount();
    if (m_policy.general & POLICY_WAIT_AT_REMOVE) WaitStop();
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    const NTSTATUS status = IoCallDriver(m_lower->DeviceObject(), irp);
    if (m_policy.general & POLICY_DETACH_AT_REMOVE) m_lower->Detach();
    DecrementOutstandingRequestCount();
    if (m_policy.general & POLICY_WAIT_AT_REMOVE) WaitRemove();
    m_state &= ~PNP_REMOVE_IN_PROGRESS;
    if (m_openHandles == 0 && (m_policy.general & POLICY_DELETE_ON_LAST_CLOSE))
        _self_delete();  // deletes the link and the device object last
    else
        DeleteDeviceObject();
    return status;
}

void KPnpDevice::ReadCapabilities() {
    PDEVICE_OBJECT lower = m_lower->DeviceObject();
    PIRP irp = IoAllocateIrp(lower->StackSize, FALSE);
    if (!irp) return;
    DEVICE_CAPABILITIES capabilities;
    RtlZeroMemory(&capabilities, sizeof capabilities);
    capabilities.Size = sizeof capabilities;
    capabilities.Version = 1;
    capabilities.Address = static_cast<ULONG>(-1);
    capabilities.UINumber = static_cast<ULONG>(-1);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = IRP_MN_QUERY_CAPABILITIES;
    next->Parameters.DeviceCapabilities.Capabilities = &capabilities;
    if (NT_SUCCESS(m_lower->CallWaitComplete(irp, TRUE, nullptr))) m_capabilities = capabilities;
    IoFreeIrp(irp);
}

NTSTATUS KPnpDevice::Power(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (m_state & (PNP_REMOVED | PNP_SURPRISE_REMOVED)) {
        PoStartNextPowerIrp(irp);
        irp->IoStatus.Information = 0;
        return CompleteHere(irp, STATUS_DELETE_PENDING);
    }
    NTSTATUS status;
    switch (stack->MinorFunction) {
        case IRP_MN_QUERY_POWER:
            status = OnQueryPower(irp);
            break;
        case IRP_MN_POWER_SEQUENCE:
            status = OnPowerSequence(irp);
            break;
        case IRP_MN_WAIT_WAKE:
            status = OnWaitWake(irp);
            PoStartNextPowerIrp(irp);
            return CompleteHere(irp, status);
        case IRP_MN_SET_POWER:
            OnSetPower(irp);
            if (stack->Parameters.Power.Type == SystemPowerState)
                return SetPowerSystem(irp, stack->Parameters.Power.State.SystemState);
            return SetPowerDevice(irp, stack->Parameters.Power.State.DeviceState);
        default:
            return DefaultPower(irp);
    }
    if (!NT_SUCCESS(status)) {
        PoStartNextPowerIrp(irp);
        return CompleteHere(irp, status);
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    return DefaultPower(irp);
}

NTSTATUS KPnpDevice::SetPowerSystem(PIRP irp, SYSTEM_POWER_STATE state) {
    if (state != m_systemPower) {
        if (state > PowerSystemWorking) {
            OnSystemSleep(irp);
            m_systemPower = state;
            const DEVICE_POWER_STATE device = DetermineNewDevicePowerState(state);
            if (device != m_devicePower) {
                // Requests that come from now on wait for the wake.
                m_powerFlags |= POWER_SLEEPING;
                EndActivityAndDrain();
                RequestDevicePower(device, FALSE);
            }
        } else {
            OnSystemWake(irp);
            m_systemPower = state;
            m_powerFlags &= ~POWER_SLEEPING;
            RequestDevicePower(DetermineNewDevicePowerState(PowerSystemWorking), FALSE);
        }
    }
    irp->IoStatus.Status = STATUS_SUCCESS;
    return DefaultPower(irp);
}

// Ends what runs and waits for the requests in progress. A request whose
// dispatch had passed its checks on another processor before the device
// began to hold them starts after the first end; the next round ends it.
void KPnpDevice::EndActivityAndDrain() {
    constexpr LONGLONG kRound100ns = 10 * 10000;
    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        EndDeviceActivity();
        if (m_devicePower != PowerDeviceD0) return;
        DecrementOutstandingRequestCount();
        const NTSTATUS status = WaitStop(kRound100ns);
        IncrementOutstandingRequestCount();
        if (status != STATUS_TIMEOUT) return;
    }
}

NTSTATUS KPnpDevice::SetPowerDevice(PIRP irp, DEVICE_POWER_STATE state) {
    if (state == m_devicePower) {
        irp->IoStatus.Status = STATUS_SUCCESS;
        return DefaultPower(irp);
    }
    if (Deeper(state, m_devicePower)) {
        POWER_STATE reported;
        reported.DeviceState = state;
        PoSetPowerState(m_deviceObject, DevicePowerState, reported);
        m_devicePower = state;
        OnDevicePowerDown(irp);
        EndDeviceActivity();
        irp->IoStatus.Status = STATUS_SUCCESS;
        return DefaultPower(irp);
    }
    m_pendingPower = irp;
    KIrp(irp).CopyParametersDown();
    IoSetCompletionRoutine(irp, DevicePowerUpComplete, this, TRUE, TRUE, TRUE);
    return PoCallDriver(m_lower->DeviceObject(), irp);
}

NTSTATUS NTAPI KPnpDevice::DevicePowerUpComplete(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    KPnpDevice* self = static_cast<KPnpDevice*>(context);
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    const DEVICE_POWER_STATE state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
    self->m_pendingPower = nullptr;
    if (NT_SUCCESS(irp->IoStatus.Status)) {
        self->OnDevicePowerUp(irp);
        POWER_STATE reported;
        reported.DeviceState = state;
        PoSetPowerState(self->m_deviceObject, DevicePowerState, reported);
        self->m_devicePower = state;
        if (state == PowerDeviceD0) self->ProcessHeldRequests(FALSE);
    }
    PoStartNextPowerIrp(irp);
    self->DecrementOutstandingRequestCount();
    return STATUS_SUCCESS;
}

NTSTATUS KPnpDevice::RequestDevicePower(DEVICE_POWER_STATE state, BOOLEAN wait) {
    POWER_STATE power;
    power.DeviceState = state;
    m_powerOffEvent.Clear();
    m_powerRequestStatus = STATUS_SUCCESS;
    NTSTATUS status = PoRequestPowerIrp(m_physical, IRP_MN_SET_POWER, power, PowerRequestDone, this, nullptr);
    if (status != STATUS_PENDING) return status;
    if (!wait) return STATUS_SUCCESS;
    m_powerOffEvent.Wait();
    return m_powerRequestStatus;
}

NTSTATUS KPnpDevice::EnsureD0() { return RequestDevicePower(PowerDeviceD0, TRUE); }

VOID NTAPI KPnpDevice::PowerRequestDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
    KPnpDevice* self = static_cast<KPnpDevice*>(context);
    self->m_powerRequestStatus = status->Status;
    self->m_powerOffEvent.Set();
}

DEVICE_POWER_STATE KPnpDevice::DetermineNewDevicePowerState(SYSTEM_POWER_STATE state) {
    if (state >= PowerSystemUnspecified && state < PowerSystemMaximum) {
        const DEVICE_POWER_STATE mapped = m_capabilities.DeviceState[state];
        if (mapped >= PowerDeviceD0 && mapped <= PowerDeviceD3) return mapped;
    }
    return m_devicePower;
}
