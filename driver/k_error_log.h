// System event-log entries written by the driver.
#pragma once

#include "driver/kernel_seam.h"

// The platform's whole entry, header and strings, may not exceed this.
constexpr ULONG kErrorLogEntryLimit = 152;
// The platform's packet header up to and including the first dump word.
constexpr ULONG kErrorLogHeaderBytes = 48;
constexpr ULONG kErrorLogDumpOffset = 40;

class KErrorLogEntry {
  public:
    // `device` none: the entry is written against the driver object.
    explicit KErrorLogEntry(PDEVICE_OBJECT device = nullptr);
    ~KErrorLogEntry();
    KErrorLogEntry(const KErrorLogEntry&) = delete;
    KErrorLogEntry& operator=(const KErrorLogEntry&) = delete;

    // The caller keeps the string alive until Post.
    NTSTATUS InsertString(PCWSTR text);
    void SetDumpData(PVOID data, USHORT bytes) {
        m_dump = data;
        m_dumpBytes = bytes;
    }
    void SetCodes(NTSTATUS errorCode, ULONG uniqueValue, NTSTATUS finalStatus);
    NTSTATUS Post();
    static NTSTATUS SimpleError(NTSTATUS finalStatus, NTSTATUS errorCode, ULONG uniqueValue,
                                PDEVICE_OBJECT device = nullptr);

  private:
    struct StringNode {
        LIST_ENTRY link;
        PCWSTR text;
    };
    PDEVICE_OBJECT m_device;
    LIST_ENTRY m_strings;
    UCHAR m_header[kErrorLogHeaderBytes];
    PVOID m_dump;
    USHORT m_dumpBytes;
};
