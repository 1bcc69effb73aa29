#include "driver/k_device.h"

#include "driver/k_driver.h"

namespace {
// What the allocator made, handed to the constructor that runs next in the
// same extension. Device creation is serialised by the system.
struct PendingCreation {
    PDEVICE_OBJECT device;
    KUstring* deviceName;
    KUstring* linkName;
} g_pending;
KUstring g_deviceName;
KUstring g_linkName;
}  // namespace

const KDevice::Handler KDevice::s_dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1] = {
    &KDevice::Create,
    &KDevice::CreateNamedPipe,
    &KDevice::Close,
    &KDevice::Read,
    &KDevice::Write,
    &KDevice::QueryInformation,
    &KDevice::SetInformation,
    &KDevice::QueryEa,
    &KDevice::SetEa,
    &KDevice::FlushBuffers,
    &KDevice::QueryVolumeInformation,
    &KDevice::SetVolumeInformation,
    &KDevice::DirectoryControl,
    &KDevice::FileSystemControl,
    &KDevice::DeviceControl,
    &KDevice::InternalDeviceControl,
    &KDevice::Shutdown,
    &KDevice::LockControl,
    &KDevice::CleanUp,
    &KDevice::CreateMailslot,
    &KDevice::QuerySecurity,
    &KDevice::SetSecurity,
    &KDevice::Power,
    &KDevice::SystemControl,
    &KDevice::DeviceChange,
    &KDevice::QueryQuota,
    &KDevice::SetQuota,
    &KDevice::Pnp,
};

void* KDevice::operator new(size_t bytes, PCWSTR name, DEVICE_TYPE type, PCWSTR link, ULONG characteristics,
                            ULONG flags, NTSTATUS& status) noexcept {
    KUstring& deviceName = g_deviceName;
    KUstring& linkName = g_linkName;
    deviceName.Invalidate();
    linkName.Invalidate();
    status = CatNames(deviceName, L"\\Device\\", name);
    if (!NT_SUCCESS(status)) return nullptr;
    PDEVICE_OBJECT device = nullptr;
    status = IoCreateDevice(KDriver::Instance()->DriverObject(), static_cast<ULONG>(bytes), deviceName.Get(), type,
                            characteristics, (flags & DO_EXCLUSIVE) != 0, &device);
    if (!NT_SUCCESS(status)) return nullptr;
    if (link) {
        status = CatNames(linkName, KDriver::LinkPrefix(), link);
        if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(linkName.Get(), deviceName.Get());
        if (!NT_SUCCESS(status)) {
            deviceName.Invalidate();
            linkName.Invalidate();
            IoDeleteDevice(device);
            return nullptr;
        }
    }
    device->Flags |= flags & ~DO_EXCLUSIVE;
    g_pending.device = device;
    g_pending.deviceName = &deviceName;
    g_pending.linkName = &linkName;
    return device->DeviceExtension;
}

KDevice::KDevice()
    : m_constructorStatus(STATUS_SUCCESS),
      m_deviceObject(g_pending.device),
      m_isPnp(FALSE),
      m_signature(kSignatureInExtension),
      m_linkCreated(g_pending.linkName->IsValid()),
      m_deviceDeleted(FALSE) {
    m_deviceName.Take(*g_pending.deviceName);
    m_linkName.Take(*g_pending.linkName);
    g_pending.device = nullptr;
}

KDevice::~KDevice() { DeleteDeviceObject(); }

void KDevice::DeleteDeviceObject() {
    if (m_deviceDeleted) return;
    m_deviceDeleted = TRUE;
    if (m_linkCreated) IoDeleteSymbolicLink(m_linkName.Get());
    m_linkCreated = FALSE;
    IoDeleteDevice(m_deviceObject);
}

// The object lives in its device object's extension: the destructors run
// here; the memory goes with the device object.
void KDevice::_self_delete() { this->~KDevice(); }

NTSTATUS KDevice::DeviceIrpDispatch(PIRP irp) {
    const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction;
    if (major > IRP_MJ_MAXIMUM_FUNCTION) return NotImplemented(irp);
    return (this->*s_dispatch[major])(irp);
}

NTSTATUS KDevice::NotImplemented(PIRP irp) {
    irp->IoStatus.Status = STATUS_NOT_IMPLEMENTED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_NOT_IMPLEMENTED;
}

KUnitizedName* KDevice::CreateRegistryPath(PCWSTR name, ULONG unit) {
    KUstring base;
    if (!NT_SUCCESS(base.Assign(KDriver::Instance()->RegistryPath())) || !NT_SUCCESS(base.Append(L"\\Devices\\")) ||
        !NT_SUCCESS(base.Append(name)) || !NT_SUCCESS(base.Append(L"\\")))
        return nullptr;
    KUnitizedName* path = new (NonPagedPool) KUnitizedName(base.Buffer(), unit, 10);
    if (path && !path->IsValid()) {
        PoolDelete(path);
        path = nullptr;
    }
    return path;
}
