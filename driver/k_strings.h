// Counted wide strings and names with a unit number.
#pragma once

#include "driver/kernel_seam.h"

ULONG ustrlen(PCWSTR text);  // characters
ULONG ustrsiz(PCWSTR text);  // bytes, without the terminating zero

class KUstring {
  public:
    KUstring();
    KUstring(USHORT maximumBytes, POOL_TYPE pool = NonPagedPool);
    ~KUstring() { Invalidate(); }
    KUstring(const KUstring&) = delete;
    KUstring& operator=(const KUstring&) = delete;

    NTSTATUS Assign(const KUstring& other) { return AssignCounted(other.m_string.Buffer, other.m_string.Length); }
    NTSTATUS Assign(PCWSTR text) { return AssignCounted(text, ustrsiz(text)); }
    NTSTATUS Append(PCWSTR text);
    // Enlarges the buffer by `bytes`, keeping the contents.
    NTSTATUS GrowMaxBy(ULONG bytes);
    void Invalidate();
    // Takes over `other`'s buffer, leaving it empty.
    void Take(KUstring& other) {
        Invalidate();
        m_string = other.m_string;
        m_pool = other.m_pool;
        m_owned = other.m_owned;
        other.m_owned = FALSE;
        other.Invalidate();
    }
    BOOLEAN IsValid() const { return m_string.Buffer != nullptr; }
    PUNICODE_STRING Get() { return &m_string; }
    USHORT Length() const { return m_string.Length; }
    PCWSTR Buffer() const { return m_string.Buffer; }

  private:
    NTSTATUS AssignCounted(PCWSTR text, ULONG bytes);
    UNICODE_STRING m_string;
    POOL_TYPE m_pool;
    BOOLEAN m_owned;
};

// `out` becomes prefix + name; its buffer grows first when too small.
NTSTATUS CatNames(KUstring& out, PCWSTR prefix, PCWSTR name);

// A base name followed by a unit number in radix 10 or 16.
class KUnitizedName {
  public:
    KUnitizedName(PCWSTR base, ULONG unit, ULONG radix = 10);
    ~KUnitizedName();
    KUnitizedName(const KUnitizedName&) = delete;
    KUnitizedName& operator=(const KUnitizedName&) = delete;
    void NextUnit();
    // False when the name could not be formed (no memory, a radix other
    // than 10 or 16, a unit with too many digits); the buffer then holds
    // the base name alone, terminated.
    BOOLEAN IsValid() const { return m_buffer != nullptr && m_name.Length != 0; }
    PUNICODE_STRING Get() { return &m_name; }
    PCWSTR Buffer() const { return m_buffer; }

  private:
    void WriteDigits();
    PWSTR m_buffer;
    ULONG m_unit;
    ULONG m_baseLength;
    ULONG m_radix;
    UNICODE_STRING m_name;
    BOOLEAN m_owned;
};
