#include "driver/k_lower_device.h"

#include "driver/k_objects.h"

KLowerDevice::KLowerDevice(PCWSTR name, ACCESS_MASK access) : m_device(nullptr), m_file(nullptr) {
    UNICODE_STRING deviceName;
    RtlInitUnicodeString(&deviceName, name);
    m_status = IoGetDeviceObjectPointer(&deviceName, access, &m_file, &m_device);
    if (!NT_SUCCESS(m_status)) {
        m_file = nullptr;
        m_device = nullptr;
    }
}

KLowerDevice::~KLowerDevice() {
    if (m_file) ObDereferenceObject(m_file);
}

NTSTATUS KLowerDevice::DeviceIoControl(ULONG code, PVOID input, ULONG inputBytes, PVOID output, ULONG outputBytes,
                                       BOOLEAN internal, PULONG_PTR returned) {
    if (!m_device) return STATUS_DEVICE_NOT_CONNECTED;
    KEvent done(NotificationEvent, FALSE);
    IO_STATUS_BLOCK result;
    result.Status = STATUS_SUCCESS;
    result.Information = 0;
    PIRP irp = IoBuildDeviceIoControlRequest(code, m_device, input, inputBytes, output, outputBytes, internal,
                                             done.Object(), &result);
    if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
    NTSTATUS status = IoCallDriver(m_device, irp);
    if (status == STATUS_PENDING) {
        done.Wait();
        status = result.Status;
    }
    if (returned) *returned = result.Information;
    return status;
}

namespace {
struct CallWait {
    KEvent done;
    NTSTATUS status;
    ULONG_PTR information;
    CallWait() : done(NotificationEvent, FALSE), status(STATUS_SUCCESS), information(0) {}
};

NTSTATUS NTAPI CallWaitDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    CallWait* wait = static_cast<CallWait*>(context);
    // Only a location of the caller's may be marked: a request the caller
    // allocated for the lower device has none above the lower device's.
    if (irp->PendingReturned && irp->CurrentLocation <= irp->StackCount) IoMarkIrpPending(irp);
    wait->status = irp->IoStatus.Status;
    wait->information = irp->IoStatus.Information;
    wait->done.Set();
    // The caller keeps the request.
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS CallAndWait(PDEVICE_OBJECT device, PIRP irp, BOOLEAN wait, PULONG_PTR information, BOOLEAN power) {
    CallWait state;
    IoSetCompletionRoutine(irp, CallWaitDone, &state, TRUE, TRUE, TRUE);
    NTSTATUS status = power ? PoCallDriver(device, irp) : IoCallDriver(device, irp);
    // The completion routine reports on this frame, so it is always awaited.
    (void)wait;
    state.done.Wait();
    status = state.status;
    if (information) *information = state.information;
    return status;
}
}  // namespace

NTSTATUS KLowerDevice::CallWaitComplete(PIRP irp, BOOLEAN wait, PULONG_PTR information) {
    return CallAndWait(m_device, irp, wait, information, FALSE);
}

NTSTATUS KLowerDevice::PowerCallWaitComplete(PIRP irp, BOOLEAN wait, PULONG_PTR information) {
    return CallAndWait(m_device, irp, wait, information, TRUE);
}

NTSTATUS KPnpLowerDevice::Initialize(PDEVICE_OBJECT self, PDEVICE_OBJECT physical) {
    m_physical = physical;
    m_device = IoAttachDeviceToDeviceStack(self, physical);
    m_status = m_device ? STATUS_SUCCESS : STATUS_NO_SUCH_DEVICE;
    return m_status;
}

void KPnpLowerDevice::Detach() {
    if (m_device) IoDetachDevice(m_device);
    m_device = nullptr;
}
