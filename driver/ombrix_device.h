// Ombrix: the driver of the scanner's parallel-port path. It borrows a system
// parallel port from the platform's port driver, drives the port's ECP
// registers and system DMA channel itself, and gives the main program the
// device "\\.\ECP" (driver/ecp_interface.h).
#pragma once

#include "driver/ecp_interface.h"
#include "driver/k_dma.h"
#include "driver/k_driver.h"
#include "driver/k_objects.h"
#include "driver/k_pnp_device.h"

enum ECPMODE : ULONG { SPP = 0, FORWARD = 1, REVERSE = 2 };

// Event codes of the driver's message table.
constexpr NTSTATUS OMBRIX_DEVICE_LOAD_FAILED = static_cast<NTSTATUS>(0xC0070001L);
constexpr NTSTATUS OMBRIX_CONNECT_PORT_FAILED = static_cast<NTSTATUS>(0xC0070003L);
constexpr NTSTATUS OMBRIX_PORT_NOT_ALLOCATED = static_cast<NTSTATUS>(0xC0070004L);
constexpr NTSTATUS OMBRIX_INTERRUPT_NOT_CONNECTED = static_cast<NTSTATUS>(0xC0070005L);
constexpr NTSTATUS OMBRIX_RESOURCES_NOT_INITIALISED = static_cast<NTSTATUS>(0xC0070007L);
constexpr NTSTATUS OMBRIX_LPT_PORT_OUT_OF_RANGE = static_cast<NTSTATUS>(0xC0070008L);
constexpr NTSTATUS OMBRIX_NO_ECP_PORT = static_cast<NTSTATUS>(0xC007000AL);
constexpr NTSTATUS OMBRIX_INTERRUPT_NOT_DISCONNECTED = static_cast<NTSTATUS>(0xC007000DL);

// Places in the port driver's own per-port context (its driver of Windows
// 2000 and XP): the port's physical device object and its DMA channel.
constexpr ULONG kPortContextPhysicalDevice = 16;
constexpr ULONG kPortContextDmaChannel = 192;

class Ombrix : public KDriver {
  public:
    NTSTATUS DriverEntry(PUNICODE_STRING registryPath) override;
    NTSTATUS AddDevice(PDEVICE_OBJECT physical) override;
};

class OmbrixDevice : public KPnpDevice {
  public:
    OmbrixDevice(PDEVICE_OBJECT physical, ULONG unit);
    ~OmbrixDevice() override;

    NTSTATUS Create(PIRP irp) override;
    NTSTATUS Close(PIRP irp) override;
    NTSTATUS Read(PIRP irp) override { return QueueTransfer(irp); }
    NTSTATUS Write(PIRP irp) override { return QueueTransfer(irp); }
    NTSTATUS DeviceControl(PIRP irp) override;
    NTSTATUS CleanUp(PIRP irp) override;
    VOID StartIo(PIRP irp) override;

    NTSTATUS OnStartDevice(PIRP irp) override;
    NTSTATUS OnStopDevice(PIRP irp) override;
    NTSTATUS OnQueryRemoveDevice(PIRP irp) override;
    NTSTATUS OnRemoveDevice(PIRP irp) override;
    NTSTATUS OnSurpriseRemoval(PIRP irp) override;
    NTSTATUS DefaultPnp(PIRP irp) override { return KPnpDevice::DefaultPnp(irp); }
    NTSTATUS DefaultPower(PIRP irp) override { return KPnpDevice::DefaultPower(irp); }
    NTSTATUS OnSetPower(PIRP irp) override { return STATUS_SUCCESS; }
    DEVICE_POWER_STATE DetermineNewDevicePowerState(SYSTEM_POWER_STATE state) override;

    // Port bring-up and release.
    NTSTATUS OpenPort();
    NTSTATUS InitResources();
    NTSTATUS QueryResources();
    NTSTATUS ClaimPort();
    NTSTATUS ClosePort();
    void LogError(NTSTATUS eventCode, NTSTATUS finalStatus);

    // The transfer path.
    void SetECPMode(ECPMODE mode);
    static VOID OnDmaReady(KDevice* device, PIRP irp, KDmaTransfer* transfer);
    static BOOLEAN NTAPI StartSegment(PVOID context);
    static BOOLEAN NTAPI RefuseSegments(PVOID context);
    static BOOLEAN NTAPI IsrIrq0(PKINTERRUPT interrupt, PVOID context);
    static VOID NTAPI DpcForIsrIrq0(PKDPC dpc, PDEVICE_OBJECT deviceObject, PIRP irp, PVOID context);
    static VOID NTAPI CompleteTransfer(PKDPC dpc, PVOID deferredContext, PVOID argument1, PVOID argument2);
    static VOID NTAPI TimeoutExpired(PKDPC dpc, PVOID deferredContext, PVOID argument1, PVOID argument2);
    static VOID NTAPI Cancel(PDEVICE_OBJECT device, PIRP irp);

    ULONG LastEventId() const { return m_lastEventId; }
    const EcpPortStatus& PortStatus() const { return m_status; }

  private:
    NTSTATUS QueueTransfer(PIRP irp);
    NTSTATUS Finish(PIRP irp, NTSTATUS status, ULONG_PTR information);
    void PortStatusRequest(PIRP irp, ULONG outputBytes);
    NTSTATUS ReleaseAndForgetLowerPort(NTSTATUS status);
    NTSTATUS ReadLptPort();
    NTSTATUS SetConnectInterruptEnabled();
    PUCHAR StatusRegister() const { return m_SPPInfo.Controller + 1; }
    PUCHAR ControlRegister() const { return m_SPPInfo.Controller + 2; }
    PUCHAR ExtendedControlRegister() const { return m_PnPInfo.EcpController + 2; }
    // Ends the running transfer: port stopped, timer and its queued expiry
    // taken back, DMA released. Cancel spin lock held.
    void StopTransferLocked();
    void StopSegments();
    void CompleteOwned(PIRP irp, NTSTATUS status, ULONG_PTR information, KIRQL cancelIrql);
    void FailStart(PIRP irp, NTSTATUS status);

    KTimedCallback m_timeoutTimer;
    KDPC m_completionDpc;
    PARALLEL_INTERRUPT_SERVICE_ROUTINE m_isr;
    ParallelInterruptInformation m_interruptInfo;
    ULONG m_unit;
    ULONG m_LPTPort;
    ULONG m_dmaChannel;
    BOOLEAN m_portOpen;
    BOOLEAN m_portAllocated;
    KLowerDevice* m_pSPP;
    PARALLEL_PORT_INFORMATION m_SPPInfo;
    MORE_PARALLEL_PORT_INFORMATION m_moreSPPInfo;
    PARALLEL_PNP_INFORMATION m_PnPInfo;
    EcpPortStatus m_status;
    KUnitizedName* m_registryPath;
    KDmaAdapter m_dma;
    KDmaTransfer m_CurrentTransfer;
    ULONG m_DPCCount;
    ULONG m_lastEventId;
    // The request the time-out timer was armed for; cleared when it ends.
    PIRP m_timedRequest;
    // Set while a DMA segment runs (ECR 0x78): the only time the port's
    // service interrupt can be ours.
    volatile LONG m_segmentRunning;
    // Set from a transfer's stop until the next transfer starts.
    BOOLEAN m_segmentsRefused;
    KPnpLowerDevice m_lowerDevice;
};
