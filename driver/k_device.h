// The device class: a C++ object placed in its device object's extension,
// whose virtual handlers serve the requests of each major function.
#pragma once

#include "driver/k_strings.h"
#include "driver/kernel_seam.h"

class KDevice {
  public:
    // Creates the device object "\Device\<name>" with an extension of
    // `bytes`, places the object in it and links <prefix><link> to it. On
    // failure `status` tells why and no device object is left.
    static void* operator new(size_t bytes, PCWSTR name, DEVICE_TYPE type, PCWSTR link, ULONG characteristics,
                              ULONG flags, NTSTATUS& status) noexcept;
    static void operator delete(void*, PCWSTR, DEVICE_TYPE, PCWSTR, ULONG, ULONG, NTSTATUS&) {}
    static void operator delete(void*) {}

    KDevice();
    virtual ~KDevice();
    KDevice(const KDevice&) = delete;
    KDevice& operator=(const KDevice&) = delete;

    virtual void _self_delete();
    virtual NTSTATUS DeviceIrpDispatch(PIRP irp);
    virtual NTSTATUS Create(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS CreateNamedPipe(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Close(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Read(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Write(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS QueryInformation(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SetInformation(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS QueryEa(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SetEa(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS FlushBuffers(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS QueryVolumeInformation(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SetVolumeInformation(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS DirectoryControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS FileSystemControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS DeviceControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS InternalDeviceControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Shutdown(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS LockControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS CleanUp(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS CreateMailslot(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS QuerySecurity(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SetSecurity(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Power(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SystemControl(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS DeviceChange(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS QueryQuota(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS SetQuota(PIRP irp) { return NotImplemented(irp); }
    virtual NTSTATUS Pnp(PIRP irp) { return NotImplemented(irp); }
    virtual VOID StartIo(PIRP irp) {}

    NTSTATUS ConstructorStatus() const { return m_constructorStatus; }
    PDEVICE_OBJECT DeviceObject() const { return m_deviceObject; }
    static KDevice* FromDeviceObject(PDEVICE_OBJECT device) { return static_cast<KDevice*>(device->DeviceExtension); }
    // The driver's registry path + "\Devices\" + name + "\" + unit; none
    // when it cannot be allocated.
    static KUnitizedName* CreateRegistryPath(PCWSTR name, ULONG unit);
    // Deletes the symbolic link and the device object (once).
    void DeleteDeviceObject();

    // Dispatch table: major function code to handler.
    typedef NTSTATUS (KDevice::*Handler)(PIRP irp);
    static const Handler s_dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];

  protected:
    // Completes a handler that the class does not override.
    virtual NTSTATUS NotImplemented(PIRP irp);

    KUstring m_deviceName;
    KUstring m_linkName;
    NTSTATUS m_constructorStatus;
    PDEVICE_OBJECT m_deviceObject;
    BOOLEAN m_isPnp;
    ULONG m_signature;
    BOOLEAN m_linkCreated;
    BOOLEAN m_deviceDeleted;
};

constexpr ULONG kSignatureInExtension = 0x204B4458;  // "XDK "
constexpr ULONG kSignatureInPool = 0x7E4B4458;       // "XDK~"
