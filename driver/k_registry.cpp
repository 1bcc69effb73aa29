#include "driver/k_registry.h"

#include "driver/k_strings.h"

namespace {
const PCWSTR kRoots[] = {
    L"",
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Services",
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control",
    L"\\Registry\\Machine\\Software\\Microsoft\\Windows NT\\CurrentVersion",
    L"\\REGISTRY\\Machine\\HARDWARE\\DEVICEMAP",
    L"\\Registry\\User",
};
// KEY_VALUE_PARTIAL_INFORMATION before its data.
constexpr ULONG kPartialHeaderBytes = 16;
}  // namespace

KRegistryKey::KRegistryKey(PCWSTR base, PCWSTR subkey, BOOLEAN create, ACCESS_MASK access, ULONG createOptions,
                           ULONG attributes)
    : m_key(nullptr), m_status(STATUS_UNSUCCESSFUL) {
    Open(base, subkey, create, access, createOptions, attributes);
}

KRegistryKey::KRegistryKey(KRegistryRoot root, PCWSTR subkey, BOOLEAN create, ACCESS_MASK access)
    : m_key(nullptr), m_status(STATUS_UNSUCCESSFUL) {
    if (root > REGISTRY_USER) {
        m_status = STATUS_INVALID_PARAMETER;
        return;
    }
    Open(kRoots[root], subkey, create, access, REG_OPTION_NON_VOLATILE, OBJ_CASE_INSENSITIVE);
}

KRegistryKey::KRegistryKey(HANDLE handle) : m_key(handle), m_status(STATUS_SUCCESS) {}

void KRegistryKey::Open(PCWSTR base, PCWSTR subkey, BOOLEAN create, ACCESS_MASK access, ULONG createOptions,
                        ULONG attributes) {
    if (CurrentIrql() != PASSIVE_LEVEL) {
        m_status = STATUS_INVALID_DEVICE_STATE;
        return;
    }
    KUstring path;
    m_status = path.Assign(base ? base : L"");
    const ULONG baseChars = ustrlen(base);
    const BOOLEAN baseEndsInSeparator = baseChars && base[baseChars - 1] == L'\\';
    const BOOLEAN subkeyStartsWithSeparator = subkey && subkey[0] == L'\\';
    if (NT_SUCCESS(m_status) && baseChars && subkey && subkey[0] && !baseEndsInSeparator && !subkeyStartsWithSeparator)
        m_status = path.Append(L"\\");
    if (NT_SUCCESS(m_status) && subkey)
        m_status = path.Append(baseEndsInSeparator && subkeyStartsWithSeparator ? subkey + 1 : subkey);
    if (!NT_SUCCESS(m_status)) return;
    InitializeObjectAttributes(&m_attributes, path.Get(), attributes, nullptr, nullptr);
    ULONG disposition;
    m_status = create ? ZwCreateKey(&m_key, access, &m_attributes, 0, nullptr, createOptions, &disposition)
                      : ZwOpenKey(&m_key, access, &m_attributes);
    if (!NT_SUCCESS(m_status)) m_key = nullptr;
    // The name lived in `path` only for the open.
    m_attributes.ObjectName = nullptr;
}

void KRegistryKey::Close() {
    if (m_key) ZwClose(m_key);
    m_key = nullptr;
}

NTSTATUS KRegistryKey::QueryValue(PCWSTR name, PULONG type, PULONG size, PVOID data) {
    if (!m_key) return NT_SUCCESS(m_status) ? STATUS_INVALID_HANDLE : m_status;
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    const ULONG bufferBytes = *size + kPartialHeaderBytes;
    PKEY_VALUE_PARTIAL_INFORMATION info =
        static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(PoolAllocate(PagedPool, bufferBytes));
    if (!info) return STATUS_INSUFFICIENT_RESOURCES;
    ULONG got = 0;
    NTSTATUS status = ZwQueryValueKey(m_key, &valueName, KeyValuePartialInformation, info, bufferBytes, &got);
    if (NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW) {
        const ULONG length = info->DataLength;
        *type = info->Type;
        if (status == STATUS_BUFFER_OVERFLOW || length > *size) {
            // The caller's buffer is smaller than the value: copying the
            // whole value would write past it.
            status = STATUS_BUFFER_OVERFLOW;
        } else {
            RtlCopyMemory(data, info->Data, length);
        }
        *size = length;
    }
    PoolFree(info);
    return status;
}

NTSTATUS KRegistryKey::QueryValue(PCWSTR name, PULONG value) {
    ULONG type = REG_NONE;
    ULONG data = 0;
    ULONG size = sizeof data;
    NTSTATUS status = QueryValue(name, &type, &size, &data);
    if (status == STATUS_BUFFER_OVERFLOW) return STATUS_OBJECT_TYPE_MISMATCH;
    if (!NT_SUCCESS(status)) return status;
    if (type != REG_DWORD || size != sizeof data) return STATUS_OBJECT_TYPE_MISMATCH;
    *value = data;
    return STATUS_SUCCESS;
}

NTSTATUS KRegistryKey::WriteValue(PCWSTR name, ULONG value) {
    if (!m_key) return NT_SUCCESS(m_status) ? STATUS_INVALID_HANDLE : m_status;
    UNICODE_STRING valueName;
    RtlInitUnicodeString(&valueName, name);
    return ZwSetValueKey(m_key, &valueName, 0, REG_DWORD, &value, sizeof value);
}
