// Borrowing the parallel port from the platform's port driver, and giving it
// back.
#include "driver/k_error_log.h"
#include "driver/k_registry.h"
#include "driver/ombrix_device.h"

namespace {
constexpr ULONG kMaxLptPort = 4;
constexpr ULONG kMaxDmaChannel = 15;
constexpr ULONG kMaxTransferBytes = 65536;
constexpr ULONG kMapRegistersWanted = kMaxTransferBytes / kDmaPageBytes + 1;
constexpr ACCESS_MASK kDeviceKeyAccess = 0x2001F;
constexpr NTSTATUS kStatusBiosFailedToConnectInterrupt = static_cast<NTSTATUS>(0xC000016EL);

template <class T>
T ContextField(PVOID context, ULONG offset) {
    return *reinterpret_cast<T*>(static_cast<PUCHAR>(context) + offset);
}
}  // namespace

void OmbrixDevice::LogError(NTSTATUS eventCode, NTSTATUS finalStatus) {
    m_lastEventId = static_cast<ULONG>(eventCode);
    KErrorLogEntry::SimpleError(finalStatus, eventCode, static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(this)));
}

NTSTATUS OmbrixDevice::OpenPort() {
    // A second open keeps the port it already holds.
    if (m_portOpen) return STATUS_DEVICE_BUSY;
    const NTSTATUS read = ReadLptPort();
    if (!NT_SUCCESS(read)) return read;
    if (m_LPTPort == 0 || m_LPTPort > kMaxLptPort) {
        LogError(OMBRIX_LPT_PORT_OUT_OF_RANGE, STATUS_INVALID_PARAMETER);
        return STATUS_INVALID_PARAMETER;
    }
    const NTSTATUS status = InitResources();
    if (!NT_SUCCESS(status)) {
        ClosePort();
        return status;
    }
    return ClaimPort();
}

// Port 1 when the unit key or its value is missing, or the value is no
// REG_DWORD; any other failure (no memory to read it) fails the open rather
// than open a port the user did not choose.
NTSTATUS OmbrixDevice::ReadLptPort() {
    m_LPTPort = 1;
    KRegistryKey unit(m_registryPath->Buffer(), nullptr, FALSE, KEY_READ);
    NTSTATUS status = unit.LastError();
    if (status == STATUS_OBJECT_NAME_NOT_FOUND) return STATUS_SUCCESS;
    if (!NT_SUCCESS(status)) return status;
    ULONG port = m_LPTPort;
    status = unit.QueryValue(L"LPTPort", &port);
    if (NT_SUCCESS(status)) m_LPTPort = port;
    if (status == STATUS_OBJECT_NAME_NOT_FOUND || status == STATUS_OBJECT_TYPE_MISMATCH) return STATUS_SUCCESS;
    return status;
}

NTSTATUS OmbrixDevice::InitResources() {
    if (m_pSPP) return STATUS_DEVICE_BUSY;
    KUnitizedName name(L"\\Device\\ParallelPort", m_LPTPort - 1, 10);
    if (!name.IsValid()) return STATUS_INSUFFICIENT_RESOURCES;
    m_pSPP = new (NonPagedPool) KLowerDevice(name.Buffer(), FILE_ALL_ACCESS);
    if (!m_pSPP) return STATUS_INSUFFICIENT_RESOURCES;
    if (!NT_SUCCESS(m_pSPP->Status())) {
        const NTSTATUS bound = m_pSPP->Status();
        PoolDelete(m_pSPP);
        m_pSPP = nullptr;
        LogError(OMBRIX_CONNECT_PORT_FAILED, bound);
        return STATUS_DEVICE_NOT_CONNECTED;
    }
    NTSTATUS status = QueryResources();
    if (!NT_SUCCESS(status)) return status;
    if (!(m_PnPInfo.HardwareCapabilities & PPT_ECP_PRESENT)) {
        LogError(OMBRIX_NO_ECP_PORT, STATUS_DEVICE_DOES_NOT_EXIST);
        return STATUS_DEVICE_DOES_NOT_EXIST;
    }
    return SetConnectInterruptEnabled();
}

// The port driver connects a client's interrupt routine only when its
// device key allows it; it reads the value when it starts.
NTSTATUS OmbrixDevice::SetConnectInterruptEnabled() {
    PDEVICE_OBJECT portPhysical = ContextField<PDEVICE_OBJECT>(m_PnPInfo.Context, kPortContextPhysicalDevice);
    HANDLE handle = nullptr;
    NTSTATUS status = IoOpenDeviceRegistryKey(portPhysical, PLUGPLAY_REGKEY_DEVICE, kDeviceKeyAccess, &handle);
    if (!NT_SUCCESS(status)) return status;
    KRegistryKey key(handle);
    ULONG enabled = 0;
    status = key.QueryValue(L"EnableConnectInterruptIoctl", &enabled);
    if (status == STATUS_OBJECT_NAME_NOT_FOUND) {
        enabled = 0;
        status = STATUS_SUCCESS;
    }
    if (!NT_SUCCESS(status)) return status;
    if (enabled == 0) status = key.WriteValue(L"EnableConnectInterruptIoctl", 1);
    return status;
}

NTSTATUS OmbrixDevice::QueryResources() {
    if (!m_pSPP) return STATUS_DEVICE_NOT_CONNECTED;
    NTSTATUS status = m_pSPP->DeviceIoControl(IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, nullptr, 0, &m_SPPInfo,
                                              sizeof m_SPPInfo, TRUE, nullptr);
    if (NT_SUCCESS(status))
        status = m_pSPP->DeviceIoControl(IOCTL_INTERNAL_GET_MORE_PARALLEL_PORT_INFO, nullptr, 0, &m_moreSPPInfo,
                                         sizeof m_moreSPPInfo, TRUE, nullptr);
    if (NT_SUCCESS(status))
        status = m_pSPP->DeviceIoControl(IOCTL_INTERNAL_GET_PARALLEL_PNP_INFO, nullptr, 0, &m_PnPInfo, sizeof m_PnPInfo,
                                         TRUE, nullptr);
    return status;
}

NTSTATUS OmbrixDevice::ClaimPort() {
    if (!m_pSPP) return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = QueryResources();
    if (!NT_SUCCESS(status)) return status;
    m_dmaChannel = ContextField<ULONG>(m_PnPInfo.Context, kPortContextDmaChannel);
    if (m_dmaChannel > kMaxDmaChannel) {
        LogError(OMBRIX_RESOURCES_NOT_INITIALISED, STATUS_INSUFFICIENT_RESOURCES);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    DEVICE_DESCRIPTION& description = m_dma.Description();
    RtlZeroMemory(&description, sizeof description);
    description.Version = DEVICE_DESCRIPTION_VERSION;
    description.BusNumber = 0;
    description.DmaChannel = m_dmaChannel;
    description.InterfaceType = m_moreSPPInfo.InterfaceType;
    description.DmaWidth = m_PnPInfo.FifoWidth == 1 ? Width8Bits : m_PnPInfo.FifoWidth == 2 ? Width32Bits : Width16Bits;
    description.DmaSpeed = Compatible;
    description.MaximumLength = kMaxTransferBytes;
    description.DmaPort = 0;
    if (!m_dma.Adapter()) {
        PDEVICE_OBJECT portPhysical = ContextField<PDEVICE_OBJECT>(m_PnPInfo.Context, kPortContextPhysicalDevice);
        if (!m_dma.Acquire(portPhysical, kMapRegistersWanted)) {
            LogError(OMBRIX_RESOURCES_NOT_INITIALISED, STATUS_INSUFFICIENT_RESOURCES);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    if (!m_SPPInfo.TryAllocatePort(m_SPPInfo.Context)) {
        m_dma.Release();
        LogError(OMBRIX_PORT_NOT_ALLOCATED, STATUS_DEVICE_BUSY);
        return STATUS_DEVICE_BUSY;
    }
    m_portAllocated = TRUE;
    status = m_pSPP->DeviceIoControl(IOCTL_INTERNAL_PARALLEL_CONNECT_INTERRUPT, &m_isr, sizeof m_isr, &m_interruptInfo,
                                     sizeof m_interruptInfo, TRUE, nullptr);
    if (!NT_SUCCESS(status)) {
        // A failed open holds nothing that another client could want.
        RtlZeroMemory(&m_interruptInfo, sizeof m_interruptInfo);
        m_SPPInfo.FreePort(m_SPPInfo.Context);
        m_portAllocated = FALSE;
        m_dma.Release();
        LogError(OMBRIX_INTERRUPT_NOT_CONNECTED, status);
        return kStatusBiosFailedToConnectInterrupt;
    }
    m_portOpen = TRUE;
    m_status.TransferState = ECP_TRANSFER_IDLE;
    return STATUS_SUCCESS;
}

NTSTATUS OmbrixDevice::ClosePort() {
    // No transfer starts on a port being given back, and one that slipped
    // past a removal's checks on another processor is ended here.
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    m_portOpen = FALSE;
    IoReleaseCancelSpinLock(irql);
    EndDeviceActivity();
    // The interrupt goes first: once the port is freed another client may
    // own it, and our routine must not touch its registers any more. While
    // the interrupt cannot be disconnected the port stays ours.
    if (m_interruptInfo.InterruptObject) {
        const NTSTATUS status = m_pSPP->DeviceIoControl(IOCTL_INTERNAL_PARALLEL_DISCONNECT_INTERRUPT, &m_isr,
                                                        sizeof m_isr, nullptr, 0, TRUE, nullptr);
        if (!NT_SUCCESS(status)) {
            LogError(OMBRIX_INTERRUPT_NOT_DISCONNECTED, status);
            return status;
        }
        m_interruptInfo.InterruptObject = nullptr;
    }
    if (m_portAllocated) {
        m_SPPInfo.FreePort(m_SPPInfo.Context);
        m_portAllocated = FALSE;
    }
    PoolDelete(m_pSPP);
    m_pSPP = nullptr;
    // Returned, or every open would leave one adapter behind; first the
    // platform answers a channel request of an ended transfer and returns
    // from its execution routine.
    m_CurrentTransfer.QuiesceChannel();
    m_dma.Release();
    m_timeoutTimer.Cancel();
    m_portOpen = FALSE;
    m_status.TransferState = ECP_TRANSFER_PORT_CLOSED;
    return STATUS_SUCCESS;
}
