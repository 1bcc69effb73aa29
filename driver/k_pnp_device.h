// A Plug and Play device: request counting, holding of requests while the
// device is not ready, the start, stop and remove protocols and power
// handling, driven by policy bits.
#pragma once

#include "driver/k_device.h"
#include "driver/k_lower_device.h"
#include "driver/k_objects.h"

// State flags.
constexpr ULONG PNP_STOP_PENDING = 0x01;
constexpr ULONG PNP_REMOVE_PENDING = 0x02;
constexpr ULONG PNP_REMOVED = 0x04;
constexpr ULONG PNP_STARTED = 0x08;
constexpr ULONG PNP_REMOVE_IN_PROGRESS = 0x10;
constexpr ULONG PNP_SURPRISE_REMOVED = 0x20;

// Power flags: the system sleeps (requests wait for the wake).
constexpr ULONG POWER_SLEEPING = 0x01;

// General policy.
constexpr ULONG POLICY_FAIL_AFTER_REMOVE = 0x01;
constexpr ULONG POLICY_FAIL_BEFORE_START = 0x02;
constexpr ULONG POLICY_DELETE_ON_LAST_CLOSE = 0x04;
constexpr ULONG POLICY_WAIT_AT_REMOVE = 0x08;
constexpr ULONG POLICY_DETACH_AT_REMOVE = 0x10;
constexpr ULONG POLICY_INTERFACES = 0x20;
// Query-stop and query-remove policy.
constexpr ULONG QUERY_REFUSE_OPEN_HANDLES = 0x01;
constexpr ULONG QUERY_REFUSE_BUSY = 0x02;
constexpr ULONG QUERY_FLUSH_QUEUE = 0x04;
constexpr ULONG QUERY_CANCEL_CURRENT = 0x08;
constexpr ULONG QUERY_WAIT_OUTSTANDING = 0x10;
constexpr ULONG QUERY_CLEAN_UP_ON_TIMEOUT = 0x40;
// Hold policy.
constexpr ULONG HOLD_WHILE_REMOVE_PENDING = 0x01;
constexpr ULONG HOLD_WHILE_STOP_PENDING = 0x02;
constexpr ULONG HOLD_BEFORE_START = 0x04;
constexpr ULONG HOLD_CLEAN_UP_FILE = 0x08;
constexpr ULONG HOLD_FAIL_AT_REMOVE = 0x10;
constexpr ULONG HOLD_CLEAN_UP_AT_STOP = 0x20;
constexpr ULONG HOLD_RELEASE_AT_CANCEL_STOP = 0x40;
constexpr ULONG HOLD_RELEASE_AT_CANCEL_REMOVE = 0x80;

struct KPnpPolicy {
    ULONG general;
    ULONG queryStop;
    ULONG queryRemove;
    ULONG hold;
    ULONG forwardFirst;
    ULONG completeAfter;
    LONGLONG queryStopTimeout;
    LONGLONG queryRemoveTimeout;
};

struct KPowerPolicy {
    BOOLEAN managed;
    BOOLEAN powerUpAtCreate;
    BOOLEAN powerDownAtLastClose;
    BOOLEAN readCapabilities;
    BOOLEAN holdDuringTransition;
};

class KPnpDevice : public KDevice {
  public:
    KPnpDevice(PDEVICE_OBJECT physical);
    ~KPnpDevice() override;

    NTSTATUS DeviceIrpDispatch(PIRP irp) override;
    NTSTATUS Pnp(PIRP irp) override;
    NTSTATUS Power(PIRP irp) override;
    NTSTATUS SystemControl(PIRP irp) override { return DefaultPnp(irp); }

    virtual NTSTATUS OnStartDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnStopDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnQueryRemoveDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnRemoveDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnCancelRemoveDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnQueryStopDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnCancelStopDevice(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnQueryDeviceState(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnSurpriseRemoval(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnQueryPower(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnSetPower(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnWaitWake(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnPowerSequence(PIRP irp) { return STATUS_SUCCESS; }
    virtual VOID SetPnpPolicy();
    virtual NTSTATUS DefaultPnp(PIRP irp);
    virtual NTSTATUS DefaultPower(PIRP irp);
    virtual NTSTATUS HoldIrp(PIRP irp);
    virtual VOID ProcessHeldRequests(BOOLEAN fail);
    virtual NTSTATUS WaitStop(LONGLONG timeout100ns = 0);
    virtual NTSTATUS WaitRemove(LONGLONG timeout100ns = 0);
    virtual NTSTATUS OnDevicePowerUp(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnDevicePowerDown(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnSystemWake(PIRP irp) { return STATUS_SUCCESS; }
    virtual NTSTATUS OnSystemSleep(PIRP irp) { return STATUS_SUCCESS; }
    virtual DEVICE_POWER_STATE DetermineNewDevicePowerState(SYSTEM_POWER_STATE state);
    virtual VOID SetPowerPolicy(BOOLEAN managed);

    void SetLowerDevice(KPnpLowerDevice* lower) { m_lower = lower; }
    void IncrementOutstandingRequestCount();
    void DecrementOutstandingRequestCount();
    // Completes as cancelled the held requests of the file (all when none).
    VOID CleanUpHeldRequests(PFILE_OBJECT file);
    ULONG StateFlags() const { return m_state; }
    DEVICE_POWER_STATE DevicePower() const { return m_devicePower; }
    LONG OpenHandles() const { return m_openHandles; }

  protected:
    // A PnP device counts every request it gets: one it does not serve
    // leaves the count too, or a remove would wait for it for ever.
    NTSTATUS NotImplemented(PIRP irp) override { return CompleteHere(irp, STATUS_NOT_IMPLEMENTED); }
    // Ends what the device is doing: the queued requests complete as
    // cancelled, then the request in transfer is cancelled through its own
    // cancel routine, which stops the transfer and starts the next one.
    void EndDeviceActivity();

  private:
    NTSTATUS CompleteHere(PIRP irp, NTSTATUS status);
    NTSTATUS PassDown(PIRP irp);
    NTSTATUS ForwardAndWait(PIRP irp);
    NTSTATUS RequestDevicePower(DEVICE_POWER_STATE state, BOOLEAN wait);
    NTSTATUS EnsureD0();
    NTSTATUS DispatchReady(PIRP irp);
    BOOLEAN MustHold() const;
    void EndActivityAndDrain();
    NTSTATUS QueryStop(PIRP irp);
    NTSTATUS QueryRemove(PIRP irp);
    NTSTATUS RemoveDevice(PIRP irp);
    NTSTATUS SetPowerSystem(PIRP irp, SYSTEM_POWER_STATE state);
    NTSTATUS SetPowerDevice(PIRP irp, DEVICE_POWER_STATE state);
    void ReadCapabilities();
    void DestroyAfterRemove();
    static NTSTATUS NTAPI DevicePowerUpComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context);
    static VOID NTAPI PowerRequestDone(PDEVICE_OBJECT device, UCHAR minor, POWER_STATE state, PVOID context,
                                       PIO_STATUS_BLOCK status);
    static VOID NTAPI HeldCancel(PDEVICE_OBJECT device, PIRP irp);

  protected:
    KPnpLowerDevice* m_lower;
    PDEVICE_OBJECT m_physical;
    LONG m_outstanding;
    LONG m_openHandles;
    KMutex m_mutex;
    KEvent m_stopEvent;
    KEvent m_removeEvent;
    KInterlockedList<IRP> m_held;
    ULONG m_state;
    KPnpPolicy m_policy;
    ULONG m_powerFlags;
    KPowerPolicy m_powerPolicy;
    DEVICE_CAPABILITIES m_capabilities;
    DEVICE_POWER_STATE m_devicePower;
    SYSTEM_POWER_STATE m_systemPower;
    PIRP m_pendingPower;
    KEvent m_powerOffEvent;
    NTSTATUS m_powerRequestStatus;
};
