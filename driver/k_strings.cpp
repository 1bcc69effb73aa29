#include "driver/k_strings.h"

ULONG ustrlen(PCWSTR text) {
    ULONG count = 0;
    if (text)
        while (text[count]) ++count;
    return count;
}

ULONG ustrsiz(PCWSTR text) { return ustrlen(text) * sizeof(WCHAR); }

namespace {
// A counted string holds at most this many bytes (its lengths are USHORTs,
// and one character stays free for the terminating zero).
constexpr ULONG kMaxStringBytes = 0xFFFC;
}  // namespace

KUstring::KUstring() : m_pool(NonPagedPool), m_owned(FALSE) {
    m_string.Length = m_string.MaximumLength = 0;
    m_string.Buffer = nullptr;
}

KUstring::KUstring(USHORT maximumBytes, POOL_TYPE pool) : KUstring() {
    m_pool = pool;
    m_string.Buffer = static_cast<PWSTR>(PoolAllocate(pool, maximumBytes + sizeof(WCHAR)));
    if (m_string.Buffer) {
        m_string.MaximumLength = maximumBytes;
        m_string.Buffer[0] = 0;
        m_owned = TRUE;
    }
}

void KUstring::Invalidate() {
    if (m_owned) PoolFree(m_string.Buffer);
    m_string.Buffer = nullptr;
    m_string.Length = m_string.MaximumLength = 0;
    m_owned = FALSE;
}

NTSTATUS KUstring::GrowMaxBy(ULONG bytes) {
    const ULONG wanted = m_string.MaximumLength + bytes;
    if (wanted > kMaxStringBytes) return STATUS_INVALID_PARAMETER;
    PWSTR buffer = static_cast<PWSTR>(PoolAllocate(m_pool, wanted + sizeof(WCHAR)));
    if (!buffer) return STATUS_INSUFFICIENT_RESOURCES;
    if (m_string.Length) RtlCopyMemory(buffer, m_string.Buffer, m_string.Length);
    buffer[m_string.Length / sizeof(WCHAR)] = 0;
    const USHORT length = m_string.Length;
    Invalidate();
    m_string.Buffer = buffer;
    m_string.Length = length;
    m_string.MaximumLength = static_cast<USHORT>(wanted);
    m_owned = TRUE;
    return STATUS_SUCCESS;
}

NTSTATUS KUstring::AssignCounted(PCWSTR text, ULONG bytes) {
    m_string.Length = 0;
    if (bytes > m_string.MaximumLength || !m_string.Buffer) {
        const NTSTATUS status = GrowMaxBy(bytes - m_string.MaximumLength);
        if (!NT_SUCCESS(status)) return status;
    }
    if (bytes) RtlCopyMemory(m_string.Buffer, text, bytes);
    m_string.Length = static_cast<USHORT>(bytes);
    m_string.Buffer[bytes / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS KUstring::Append(PCWSTR text) {
    const ULONG bytes = ustrsiz(text);
    const ULONG total = m_string.Length + bytes;
    if (total > kMaxStringBytes) return STATUS_INVALID_PARAMETER;
    if (total > m_string.MaximumLength || !m_string.Buffer) {
        const NTSTATUS status = GrowMaxBy(total - m_string.MaximumLength);
        if (!NT_SUCCESS(status)) return status;
    }
    RtlCopyMemory(reinterpret_cast<PUCHAR>(m_string.Buffer) + m_string.Length, text, bytes);
    m_string.Length = static_cast<USHORT>(total);
    m_string.Buffer[total / sizeof(WCHAR)] = 0;
    return STATUS_SUCCESS;
}

NTSTATUS CatNames(KUstring& out, PCWSTR prefix, PCWSTR name) {
    const ULONG bytes = ustrsiz(prefix) + ustrsiz(name);
    if (bytes > kMaxStringBytes) return STATUS_INVALID_PARAMETER;
    if (!out.IsValid() || bytes > out.Get()->MaximumLength) {
        const NTSTATUS status = out.GrowMaxBy(bytes - out.Get()->MaximumLength);
        if (!NT_SUCCESS(status)) return status;
    }
    NTSTATUS status = out.Assign(prefix);
    if (NT_SUCCESS(status)) status = out.Append(name);
    return status;
}

namespace {
// Room for the unit's digits after the base name.
constexpr ULONG kUnitDigits = 4;
}  // namespace

KUnitizedName::KUnitizedName(PCWSTR base, ULONG unit, ULONG radix)
    : m_buffer(nullptr), m_unit(unit), m_baseLength(ustrlen(base)), m_radix(radix), m_owned(FALSE) {
    m_name.Length = m_name.MaximumLength = 0;
    m_name.Buffer = nullptr;
    const ULONG bytes = (m_baseLength + kUnitDigits + 1) * sizeof(WCHAR);
    if (bytes > kMaxStringBytes) return;
    m_buffer = static_cast<PWSTR>(PoolAllocate(NonPagedPool, bytes));
    if (!m_buffer) return;
    m_owned = TRUE;
    RtlCopyMemory(m_buffer, base, m_baseLength * sizeof(WCHAR));
    m_name.Buffer = m_buffer;
    m_name.MaximumLength = static_cast<USHORT>(bytes - sizeof(WCHAR));
    WriteDigits();
}

KUnitizedName::~KUnitizedName() {
    if (m_owned) PoolFree(m_buffer);
}

void KUnitizedName::NextUnit() {
    ++m_unit;
    if (m_buffer) WriteDigits();
}

// An unsupported radix, or a unit with more digits than the room left,
// leaves the name empty rather than cut.
void KUnitizedName::WriteDigits() {
    m_name.Length = 0;
    m_buffer[m_baseLength] = 0;
    if (m_radix != 10 && m_radix != 16) return;
    WCHAR digits[12];
    ULONG count = 0;
    ULONG unit = m_unit;
    do {
        const ULONG digit = unit % m_radix;
        digits[count++] = static_cast<WCHAR>(digit < 10 ? L'0' + digit : L'A' + digit - 10);
        unit /= m_radix;
    } while (unit);
    if (count > kUnitDigits) return;
    PWSTR out = m_buffer + m_baseLength;
    for (ULONG i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
    out[count] = 0;
    m_name.Length = static_cast<USHORT>((m_baseLength + count) * sizeof(WCHAR));
}
