// Bindings to other drivers' devices, with synchronous calls to them.
#pragma once

#include "driver/kernel_seam.h"

class KLowerDevice {
  public:
    // Binds by name; the status tells whether it worked.
    KLowerDevice(PCWSTR name, ACCESS_MASK access);
    virtual ~KLowerDevice();
    KLowerDevice(const KLowerDevice&) = delete;
    KLowerDevice& operator=(const KLowerDevice&) = delete;

    NTSTATUS Status() const { return m_status; }
    PDEVICE_OBJECT DeviceObject() const { return m_device; }
    // A synchronous (internal when asked) device control; passive level.
    NTSTATUS DeviceIoControl(ULONG code, PVOID input, ULONG inputBytes, PVOID output, ULONG outputBytes,
                             BOOLEAN internal, PULONG_PTR returned);
    // Passes `irp` down (its next stack location already set) and waits for
    // it; the request stays the caller's.
    NTSTATUS CallWaitComplete(PIRP irp, BOOLEAN wait, PULONG_PTR information);
    NTSTATUS PowerCallWaitComplete(PIRP irp, BOOLEAN wait, PULONG_PTR information);

  protected:
    KLowerDevice() : m_status(STATUS_UNSUCCESSFUL), m_device(nullptr), m_file(nullptr) {}
    NTSTATUS m_status;
    PDEVICE_OBJECT m_device;
    PFILE_OBJECT m_file;
};

// The next lower device in a Plug and Play stack.
class KPnpLowerDevice : public KLowerDevice {
  public:
    KPnpLowerDevice() {}
    ~KPnpLowerDevice() override { Detach(); }
    NTSTATUS Initialize(PDEVICE_OBJECT self, PDEVICE_OBJECT physical);
    void Detach();
    PDEVICE_OBJECT Physical() const { return m_physical; }

  private:
    PDEVICE_OBJECT m_physical = nullptr;
};
