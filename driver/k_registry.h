// A registry key opened or created by path, and typed reads and writes of
// its values.
#pragma once

#include "driver/kernel_seam.h"

enum KRegistryRoot : ULONG {
    REGISTRY_ABSOLUTE = 0,
    REGISTRY_SERVICES = 1,
    REGISTRY_CONTROL = 2,
    REGISTRY_WINDOWS_NT = 3,
    REGISTRY_DEVICEMAP = 4,
    REGISTRY_USER = 5,
};

class KRegistryKey {
  public:
    KRegistryKey(PCWSTR base, PCWSTR subkey, BOOLEAN create = FALSE, ACCESS_MASK access = KEY_READ,
                 ULONG createOptions = REG_OPTION_NON_VOLATILE, ULONG attributes = OBJ_CASE_INSENSITIVE);
    KRegistryKey(KRegistryRoot root, PCWSTR subkey, BOOLEAN create = FALSE, ACCESS_MASK access = KEY_READ);
    // Adopts a key handle opened elsewhere (a device's own key).
    explicit KRegistryKey(HANDLE handle);
    ~KRegistryKey() { Close(); }
    KRegistryKey(const KRegistryKey&) = delete;
    KRegistryKey& operator=(const KRegistryKey&) = delete;

    NTSTATUS LastError() const { return m_status; }
    void Close();
    // Copies the value's data when it fits `*size` bytes; `*size` becomes the
    // value's length either way. A longer value writes nothing and answers
    // STATUS_BUFFER_OVERFLOW.
    NTSTATUS QueryValue(PCWSTR name, PULONG type, PULONG size, PVOID data);
    // A REG_DWORD of exactly four bytes; any other type or size writes
    // nothing and answers STATUS_OBJECT_TYPE_MISMATCH.
    NTSTATUS QueryValue(PCWSTR name, PULONG value);
    NTSTATUS WriteValue(PCWSTR name, ULONG value);

  private:
    void Open(PCWSTR base, PCWSTR subkey, BOOLEAN create, ACCESS_MASK access, ULONG createOptions, ULONG attributes);
    HANDLE m_key;
    NTSTATUS m_status;
    OBJECT_ATTRIBUTES m_attributes;
};
