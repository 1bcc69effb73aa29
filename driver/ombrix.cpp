// The driver class, the device object's life and its requests.
#include "driver/k_error_log.h"
#include "driver/k_registry.h"
#include "driver/ombrix_device.h"

namespace {
// Trace settings; the delivered build prints nothing, they only feed it.
struct TraceSettings {
    ULONG device;
    ULONG outputLevel;
    ULONG breakLevel;
    ULONG breakOnEntry;
} g_trace;

constexpr ULONG kDeviceFlags = DO_EXCLUSIVE | DO_DIRECT_IO | DO_POWER_PAGABLE;
}  // namespace

KDriver* CreateDriverInstance() { return new (NonPagedPool) Ombrix; }

NTSTATUS Ombrix::DriverEntry(PUNICODE_STRING registryPath) {
    g_trace.device = 3;
    g_trace.outputLevel = 0;
    g_trace.breakLevel = 5;
    g_trace.breakOnEntry = 0;
    KRegistryKey parameters(RegistryPath(), L"Parameters");
    if (NT_SUCCESS(parameters.LastError())) {
        parameters.QueryValue(L"TraceDevice", &g_trace.device);
        parameters.QueryValue(L"TraceOutputLevel", &g_trace.outputLevel);
        parameters.QueryValue(L"TraceBreakLevel", &g_trace.breakLevel);
        parameters.QueryValue(L"BreakOnEntry", &g_trace.breakOnEntry);
    }
    if (g_trace.breakOnEntry && DebuggerEnabled()) BreakIntoDebugger();
    return STATUS_SUCCESS;
}

NTSTATUS Ombrix::AddDevice(PDEVICE_OBJECT physical) {
    NTSTATUS status = STATUS_SUCCESS;
    OmbrixDevice* device = new (L"ECP", ECP_DEVICE_TYPE, L"ECP", 0, kDeviceFlags, status) OmbrixDevice(physical, 0);
    if (!device) return NT_SUCCESS(status) ? STATUS_INSUFFICIENT_RESOURCES : status;
    status = device->ConstructorStatus();
    if (!NT_SUCCESS(status)) {
        KErrorLogEntry entry;
        entry.SetCodes(OMBRIX_DEVICE_LOAD_FAILED, 1, status);
        if (NT_SUCCESS(entry.InsertString(L"Insufficient resources to create ECP device"))) entry.Post();
        device->_self_delete();
        return status;
    }
    return STATUS_SUCCESS;
}

OmbrixDevice::OmbrixDevice(PDEVICE_OBJECT physical, ULONG unit)
    : KPnpDevice(physical),
      m_unit(unit),
      m_LPTPort(1),
      m_dmaChannel(0),
      m_portOpen(FALSE),
      m_portAllocated(FALSE),
      m_pSPP(nullptr),
      m_registryPath(nullptr),
      m_DPCCount(0),
      m_lastEventId(0),
      m_timedRequest(nullptr),
      m_segmentRunning(0),
      m_segmentsRefused(FALSE) {
    RtlZeroMemory(&m_status, sizeof m_status);
    m_status.VersionNumber = ECP_INTERFACE_VERSION;
    m_status.TransferState = ECP_TRANSFER_PORT_CLOSED;
    m_status.EcpMode = ECP_MODE_NONE;
    RtlZeroMemory(&m_SPPInfo, sizeof m_SPPInfo);
    RtlZeroMemory(&m_moreSPPInfo, sizeof m_moreSPPInfo);
    RtlZeroMemory(&m_PnPInfo, sizeof m_PnPInfo);
    RtlZeroMemory(&m_interruptInfo, sizeof m_interruptInfo);
    if (!NT_SUCCESS(m_constructorStatus)) return;
    IoInitializeDpcRequest(m_deviceObject, DpcForIsrIrq0);
    KeInitializeDpc(&m_completionDpc, CompleteTransfer, this);
    m_isr.InterruptServiceRoutine = IsrIrq0;
    m_isr.InterruptServiceContext = this;
    m_isr.DeferredPortCheckRoutine = nullptr;
    m_isr.DeferredPortCheckContext = nullptr;
    m_constructorStatus = m_lowerDevice.Initialize(m_deviceObject, physical);
    if (!NT_SUCCESS(m_constructorStatus)) return;
    SetLowerDevice(&m_lowerDevice);
    SetPnpPolicy();
    SetPowerPolicy(FALSE);
    m_registryPath = CreateRegistryPath(L"ECP", unit);
    if (!m_registryPath) m_constructorStatus = STATUS_INSUFFICIENT_RESOURCES;
}

OmbrixDevice::~OmbrixDevice() {
    if (m_interruptInfo.InterruptObject) ClosePort();
    PoolDelete(m_pSPP);
    m_pSPP = nullptr;
    PoolDelete(m_registryPath);
    m_registryPath = nullptr;
}

NTSTATUS OmbrixDevice::Finish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Information = information;
    return KIrp(irp).PnpComplete(this, status);
}

NTSTATUS OmbrixDevice::Create(PIRP irp) { return Finish(irp, STATUS_SUCCESS, 0); }

NTSTATUS OmbrixDevice::Close(PIRP irp) { return Finish(irp, ClosePort(), 0); }

NTSTATUS OmbrixDevice::QueueTransfer(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG length =
        stack->MajorFunction == IRP_MJ_READ ? stack->Parameters.Read.Length : stack->Parameters.Write.Length;
    if (length == 0) return Finish(irp, STATUS_SUCCESS, 0);
    if (!m_portOpen) return Finish(irp, STATUS_DEVICE_NOT_READY, 0);
    IoMarkIrpPending(irp);
    IoStartPacket(m_deviceObject, irp, nullptr, Cancel);
    return STATUS_PENDING;
}

void OmbrixDevice::PortStatusRequest(PIRP irp, ULONG outputBytes) {
    // Before the first open the port's addresses are unknown, and no
    // address that is not the port's may be touched.
    if (m_SPPInfo.Controller) {
        m_status.OnlineF = (ReadPortByte(StatusRegister()) & 0x10) == 0x10;
        ReadPortByte(StatusRegister());
        ReadPortByte(ControlRegister());
        if (m_PnPInfo.EcpController) ReadPortByte(ExtendedControlRegister());
    }
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, &m_status, sizeof m_status);
}

NTSTATUS OmbrixDevice::DeviceControl(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG inputBytes = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outputBytes = stack->Parameters.DeviceIoControl.OutputBufferLength;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case ECP_IOCTL_SET_TIMEOUTS:
            if (inputBytes >= sizeof(EcpTimeouts)) {
                const EcpTimeouts* timeouts = static_cast<const EcpTimeouts*>(irp->AssociatedIrp.SystemBuffer);
                m_status.WriteTotalTimeout = timeouts->WriteTotalTimeout;
                m_status.ReadTotalTimeout = timeouts->ReadTotalTimeout;
            }
            return Finish(irp, STATUS_SUCCESS, 0);
        case ECP_IOCTL_PORT_STATUS:
            if (outputBytes < sizeof(EcpPortStatus)) return Finish(irp, STATUS_BUFFER_TOO_SMALL, 0);
            PortStatusRequest(irp, outputBytes);
            return Finish(irp, STATUS_SUCCESS, sizeof(EcpPortStatus));
        case ECP_IOCTL_OPEN_PORT: {
            if (outputBytes < sizeof(ULONG)) return Finish(irp, STATUS_BUFFER_TOO_SMALL, 0);
            const NTSTATUS opened = OpenPort();
            *static_cast<PULONG>(irp->AssociatedIrp.SystemBuffer) = static_cast<ULONG>(opened);
            return Finish(irp, STATUS_SUCCESS, sizeof(ULONG));
        }
        default:
            return KIrp(irp).PnpComplete(this, STATUS_INVALID_PARAMETER);
    }
}

NTSTATUS OmbrixDevice::CleanUp(PIRP irp) {
    KDeviceQueue(m_deviceObject).PnpCleanUp(this, nullptr);
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    PIRP current = m_deviceObject->CurrentIrp;
    if (current && (m_status.TransferState == ECP_TRANSFER_READING || m_status.TransferState == ECP_TRANSFER_WRITING))
        KeInsertQueueDpc(&m_completionDpc, reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(STATUS_SUCCESS)), current);
    IoReleaseCancelSpinLock(irql);
    return Finish(irp, STATUS_SUCCESS, 0);
}

NTSTATUS OmbrixDevice::OnStartDevice(PIRP irp) {
    irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}

NTSTATUS OmbrixDevice::OnStopDevice(PIRP) {
    const NTSTATUS status = ClosePort();
    if (!NT_SUCCESS(status)) return status;
    PoolDelete(m_pSPP);
    m_pSPP = nullptr;
    return status;
}

// While the interrupt cannot be disconnected the binding to the port
// driver stays: it is what a later close disconnects through. A query is
// refused then; the remove cannot be, and the device's destruction tries
// once more.
NTSTATUS OmbrixDevice::OnQueryRemoveDevice(PIRP) {
    const NTSTATUS status = ClosePort();
    if (!m_interruptInfo.InterruptObject) {
        PoolDelete(m_pSPP);
        m_pSPP = nullptr;
    }
    return status;
}

NTSTATUS OmbrixDevice::OnRemoveDevice(PIRP irp) { return OnQueryRemoveDevice(irp); }

// The library has already ended the transfer and emptied the queue; the
// port is left for the remove that follows.
NTSTATUS OmbrixDevice::OnSurpriseRemoval(PIRP) { return STATUS_SUCCESS; }

DEVICE_POWER_STATE OmbrixDevice::DetermineNewDevicePowerState(SYSTEM_POWER_STATE state) {
    switch (state) {
        case PowerSystemWorking:
            return PowerDeviceD0;
        case PowerSystemSleeping1:
            return PowerDeviceD1;
        case PowerSystemSleeping2:
        case PowerSystemSleeping3:
            return PowerDeviceD2;
        case PowerSystemHibernate:
        case PowerSystemShutdown:
            return PowerDeviceD3;
        default:
            return static_cast<DEVICE_POWER_STATE>(state);
    }
}
