#include "driver/k_driver.h"

#include "driver/k_device.h"
#include "driver/k_registry.h"

KDriver* KDriver::s_instance = nullptr;

namespace {
BOOLEAN g_dosDevicesPrefix = FALSE;

NTSTATUS NTAPI LibraryDispatch(PDEVICE_OBJECT device, PIRP irp) {
    KDevice* object = KDevice::FromDeviceObject(device);
    NTSTATUS status;
    if (KDriver::Instance()->DispatchFilter(device, irp, &status)) return status;
    return object->DeviceIrpDispatch(irp);
}

VOID NTAPI LibraryStartIo(PDEVICE_OBJECT device, PIRP irp) { KDevice::FromDeviceObject(device)->StartIo(irp); }
}  // namespace

void ChooseLinkPrefix() {
    KRegistryKey control(REGISTRY_CONTROL, L"Class");
    KRegistryKey services(REGISTRY_SERVICES, L"Class");
    g_dosDevicesPrefix = !NT_SUCCESS(control.LastError()) && NT_SUCCESS(services.LastError());
}

PCWSTR KDriver::LinkPrefix() { return g_dosDevicesPrefix ? L"\\DosDevices\\" : L"\\??\\"; }

KDriver::KDriver() : m_driverObject(nullptr), m_devicesAtEntry(FALSE), m_dispatchHooks(0) {
    if (!s_instance) s_instance = this;
}

KDriver::~KDriver() {
    if (s_instance == this) s_instance = nullptr;
}

VOID KDriver::Unload() {
    if (!m_devicesAtEntry) return;
    while (m_driverObject->DeviceObject) KDevice::FromDeviceObject(m_driverObject->DeviceObject)->_self_delete();
}

NTSTATUS KDriver::DriverInit(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    KDriver* instance = CreateDriverInstance();
    if (!instance) return STATUS_INSUFFICIENT_RESOURCES;
    instance->m_driverObject = driver;
    NTSTATUS status = instance->m_registryPath.GrowMaxBy(registryPath->Length);
    if (NT_SUCCESS(status)) {
        RtlCopyMemory(const_cast<PWSTR>(instance->m_registryPath.Buffer()), registryPath->Buffer, registryPath->Length);
        instance->m_registryPath.Get()->Length = registryPath->Length;
        const_cast<PWSTR>(instance->m_registryPath.Buffer())[registryPath->Length / sizeof(WCHAR)] = 0;
    }
    if (!NT_SUCCESS(status)) {
        instance->_self_delete();
        return status;
    }
    static const UCHAR kLibraryMajors[] = {IRP_MJ_CREATE, IRP_MJ_CLOSE,          IRP_MJ_READ,
                                           IRP_MJ_WRITE,  IRP_MJ_DEVICE_CONTROL, IRP_MJ_CLEANUP,
                                           IRP_MJ_POWER,  IRP_MJ_SYSTEM_CONTROL, IRP_MJ_PNP};
    for (UCHAR major : kLibraryMajors) driver->MajorFunction[major] = LibraryDispatch;
    driver->DriverStartIo = LibraryStartIo;
    driver->DriverUnload = UnloadEntry;
    driver->DriverExtension->AddDevice = AddDeviceEntry;
    status = instance->DriverEntry(instance->m_registryPath.Get());
    instance->m_devicesAtEntry = driver->DeviceObject != nullptr;
    if (!NT_SUCCESS(status)) instance->_self_delete();
    return status;
}

VOID NTAPI KDriver::UnloadEntry(PDRIVER_OBJECT) {
    if (s_instance) {
        s_instance->Unload();
        s_instance->_self_delete();
    }
    RunStaticDestructors();
}

NTSTATUS NTAPI KDriver::AddDeviceEntry(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
    const NTSTATUS status = s_instance->AddDevice(physical);
    if (NT_SUCCESS(status))
        for (PDEVICE_OBJECT device = driver->DeviceObject; device; device = device->NextDevice)
            device->Flags &= ~DO_DEVICE_INITIALIZING;
    return status;
}
