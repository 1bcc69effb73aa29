// The driver class: one instance per loaded driver, reached by the kernel's
// entry points through the library.
#pragma once

#include "driver/k_strings.h"
#include "driver/kernel_seam.h"

class KDriver {
  public:
    KDriver();
    virtual ~KDriver();
    virtual void _self_delete() { PoolDelete(this); }
    virtual NTSTATUS DriverEntry(PUNICODE_STRING registryPath) = 0;
    virtual VOID Unload();
    virtual NTSTATUS AddDevice(PDEVICE_OBJECT physical) { return STATUS_NOT_IMPLEMENTED; }
    virtual BOOLEAN DispatchFilter(PDEVICE_OBJECT device, PIRP irp, NTSTATUS* status) { return FALSE; }

    static KDriver* Instance() { return s_instance; }
    PDRIVER_OBJECT DriverObject() const { return m_driverObject; }
    // The service key, zero-terminated.
    PCWSTR RegistryPath() const { return m_registryPath.Buffer(); }
    // "\??\" or "\DosDevices\", chosen when the image loads.
    static PCWSTR LinkPrefix();

    static NTSTATUS DriverInit(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

  private:
    static VOID NTAPI UnloadEntry(PDRIVER_OBJECT driver);
    static NTSTATUS NTAPI AddDeviceEntry(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical);

    static KDriver* s_instance;
    PDRIVER_OBJECT m_driverObject;
    KUstring m_registryPath;
    BOOLEAN m_devicesAtEntry;
    ULONG m_dispatchHooks;
};

// Supplied by the driver: its driver class, allocated from non-paged pool.
KDriver* CreateDriverInstance();

// Chooses the link prefix from the registry; run once by the image entry.
void ChooseLinkPrefix();
// Runs the static destructors registered while the image was loaded.
void RunStaticDestructors();
