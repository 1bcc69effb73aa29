#include "driver/k_error_log.h"

#include "driver/k_driver.h"
#include "driver/k_strings.h"

KErrorLogEntry::KErrorLogEntry(PDEVICE_OBJECT device) : m_device(device), m_dump(nullptr), m_dumpBytes(0) {
    InitializeListHead(&m_strings);
    RtlZeroMemory(m_header, sizeof m_header);
}

KErrorLogEntry::~KErrorLogEntry() {
    while (!IsListEmpty(&m_strings)) PoolFree(CONTAINING_RECORD(RemoveHeadList(&m_strings), StringNode, link));
}

NTSTATUS KErrorLogEntry::InsertString(PCWSTR text) {
    StringNode* node = static_cast<StringNode*>(PoolAllocate(NonPagedPool, sizeof(StringNode)));
    if (!node) return STATUS_INSUFFICIENT_RESOURCES;
    node->text = text;
    InsertTailList(&m_strings, &node->link);
    return STATUS_SUCCESS;
}

void KErrorLogEntry::SetCodes(NTSTATUS errorCode, ULONG uniqueValue, NTSTATUS finalStatus) {
    PIO_ERROR_LOG_PACKET header = reinterpret_cast<PIO_ERROR_LOG_PACKET>(m_header);
    header->ErrorCode = errorCode;
    header->UniqueErrorValue = uniqueValue;
    header->FinalStatus = finalStatus;
}

NTSTATUS KErrorLogEntry::Post() {
    ULONG bytes = m_dumpBytes + kErrorLogHeaderBytes;
    USHORT strings = 0;
    for (PLIST_ENTRY link = m_strings.Flink; link != &m_strings; link = link->Flink) {
        bytes += ustrsiz(CONTAINING_RECORD(link, StringNode, link)->text) + sizeof(WCHAR);
        ++strings;
    }
    if (bytes > kErrorLogEntryLimit) return STATUS_BUFFER_TOO_SMALL;
    PVOID owner = m_device ? static_cast<PVOID>(m_device) : static_cast<PVOID>(KDriver::Instance()->DriverObject());
    PIO_ERROR_LOG_PACKET packet =
        static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(owner, static_cast<UCHAR>(bytes)));
    if (!packet) return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyMemory(packet, m_header, kErrorLogHeaderBytes);
    PUCHAR out = reinterpret_cast<PUCHAR>(packet);
    if (m_dumpBytes) RtlCopyMemory(out + kErrorLogDumpOffset, m_dump, m_dumpBytes);
    packet->NumberOfStrings = strings;
    packet->StringOffset = static_cast<USHORT>(kErrorLogDumpOffset + m_dumpBytes);
    packet->DumpDataSize = m_dumpBytes;
    out += packet->StringOffset;
    for (PLIST_ENTRY link = m_strings.Flink; link != &m_strings; link = link->Flink) {
        PCWSTR text = CONTAINING_RECORD(link, StringNode, link)->text;
        const ULONG size = ustrsiz(text) + sizeof(WCHAR);
        RtlCopyMemory(out, text, size);
        out += size;
    }
    IoWriteErrorLogEntry(packet);
    return STATUS_SUCCESS;
}

NTSTATUS KErrorLogEntry::SimpleError(NTSTATUS finalStatus, NTSTATUS errorCode, ULONG uniqueValue,
                                     PDEVICE_OBJECT device) {
    KErrorLogEntry entry(device);
    entry.SetCodes(errorCode, uniqueValue, finalStatus);
    return entry.Post();
}
