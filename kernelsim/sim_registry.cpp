// The registry and the event log.
#include <cstdlib>
#include <cstring>

#include "kernelsim/sim_internal.h"

namespace kernelsim {

namespace {

std::wstring KeyPath(const std::string& win32) { return Lower(L"\\registry\\machine\\" + Widen(win32)); }

std::wstring Normalise(std::wstring path) {
    path = Lower(path);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

void CheckPassive(const char* call) {
    if (ThisCpu().irql != PASSIVE_LEVEL) Problem(std::string(call) + " above passive level");
}

NTSTATUS OpenPath(PHANDLE handle, POBJECT_ATTRIBUTES attributes, bool create) {
    std::wstring path = FromUnicode(attributes->ObjectName);
    if (attributes->RootDirectory) {
        auto root = g->keys.find(attributes->RootDirectory);
        if (root == g->keys.end()) return STATUS_INVALID_HANDLE;
        path = root->second + L"\\" + path;
    }
    path = Normalise(path);
    if (!g->registry.count(path)) {
        if (!create) return STATUS_OBJECT_NAME_NOT_FOUND;
        g->registry[path];
    }
    HANDLE key = reinterpret_cast<HANDLE>(g->nextKey);
    g->nextKey += 4;
    g->keys[key] = path;
    *handle = key;
    return STATUS_SUCCESS;
}

}  // namespace

std::string PortKeyPath(int port) {
    return "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0401\\" + std::to_string(port) + "\\Device Parameters";
}

std::string Kernel::PortDeviceKey(int port) const { return PortKeyPath(port); }

void Kernel::CreateKey(const std::string& key) { g->registry[Normalise(KeyPath(key))]; }

void Kernel::SetDword(const std::string& key, const std::string& name, uint32_t value) { WriteDword(key, name, value); }

void Kernel::SetString(const std::string& key, const std::string& name, const std::string& value) {
    Value& stored = g->registry[Normalise(KeyPath(key))][Lower(Widen(name))];
    stored.type = REG_SZ;
    const std::wstring wide = Widen(value);
    stored.data.assign(reinterpret_cast<const uint8_t*>(wide.c_str()),
                       reinterpret_cast<const uint8_t*>(wide.c_str() + wide.size() + 1));
}

bool Kernel::GetDword(const std::string& key, const std::string& name, uint32_t* value) const {
    return ReadDword(key, name, value);
}

void WriteDword(const std::string& key, const std::string& name, uint32_t value) {
    Value& stored = g->registry[Normalise(KeyPath(key))][Lower(Widen(name))];
    stored.type = REG_DWORD;
    stored.data.assign(reinterpret_cast<uint8_t*>(&value), reinterpret_cast<uint8_t*>(&value) + 4);
}

bool ReadDword(const std::string& key, const std::string& name, uint32_t* value) {
    auto found = g->registry.find(Normalise(KeyPath(key)));
    if (found == g->registry.end()) return false;
    auto stored = found->second.find(Lower(Widen(name)));
    if (stored == found->second.end() || stored->second.type != REG_DWORD || stored->second.data.size() != 4)
        return false;
    std::memcpy(value, stored->second.data.data(), 4);
    return true;
}

void Kernel::DeleteValue(const std::string& key, const std::string& name) {
    auto found = g->registry.find(Normalise(KeyPath(key)));
    if (found != g->registry.end()) found->second.erase(Lower(Widen(name)));
}

const std::vector<LoggedEvent>& Kernel::Events() const { return g->events; }
void Kernel::ClearEvents() { g->events.clear(); }

}  // namespace kernelsim

using namespace kernelsim;

extern "C" {

NTSTATUS NTAPI ZwOpenKey(PHANDLE handle, ACCESS_MASK, POBJECT_ATTRIBUTES attributes) {
    CheckPassive("ZwOpenKey");
    return OpenPath(handle, attributes, false);
}

NTSTATUS NTAPI ZwCreateKey(PHANDLE handle, ACCESS_MASK, POBJECT_ATTRIBUTES attributes, ULONG, PUNICODE_STRING, ULONG,
                           PULONG disposition) {
    CheckPassive("ZwCreateKey");
    const bool existed = g->registry.count(Normalise(FromUnicode(attributes->ObjectName))) != 0;
    const NTSTATUS status = OpenPath(handle, attributes, true);
    if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return status;
}

NTSTATUS NTAPI ZwClose(HANDLE handle) {
    CheckPassive("ZwClose");
    if (!g->keys.erase(handle)) {
        Problem("closing an unknown handle");
        return STATUS_INVALID_HANDLE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwQueryValueKey(HANDLE handle, PUNICODE_STRING name, KEY_VALUE_INFORMATION_CLASS kind, PVOID out,
                               ULONG bytes, PULONG resultBytes) {
    CheckPassive("ZwQueryValueKey");
    auto key = g->keys.find(handle);
    if (key == g->keys.end()) return STATUS_INVALID_HANDLE;
    if (kind != KeyValuePartialInformation) return STATUS_INVALID_PARAMETER;
    auto& values = g->registry[key->second];
    auto value = values.find(Lower(FromUnicode(name)));
    if (value == values.end()) return STATUS_OBJECT_NAME_NOT_FOUND;
    const ULONG header = FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data);
    const ULONG needed = header + static_cast<ULONG>(value->second.data.size());
    *resultBytes = needed;
    if (bytes < header) return STATUS_BUFFER_TOO_SMALL;
    PKEY_VALUE_PARTIAL_INFORMATION info = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(out);
    info->TitleIndex = 0;
    info->Type = value->second.type;
    info->DataLength = static_cast<ULONG>(value->second.data.size());
    if (bytes < needed) return STATUS_BUFFER_OVERFLOW;
    std::memcpy(info->Data, value->second.data.data(), value->second.data.size());
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwSetValueKey(HANDLE handle, PUNICODE_STRING name, ULONG, ULONG type, PVOID data, ULONG bytes) {
    CheckPassive("ZwSetValueKey");
    auto key = g->keys.find(handle);
    if (key == g->keys.end()) return STATUS_INVALID_HANDLE;
    Value& value = g->registry[key->second][Lower(FromUnicode(name))];
    value.type = type;
    value.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI IoOpenDeviceRegistryKey(PDEVICE_OBJECT device, ULONG kind, ACCESS_MASK, PHANDLE handle) {
    CheckPassive("IoOpenDeviceRegistryKey");
    if (g->faults.deviceKeyStatus) return static_cast<NTSTATUS>(g->faults.deviceKeyStatus);
    for (int i = 0; i < 4; ++i) {
        if (g->ports[i].physical != device) continue;
        if (kind != PLUGPLAY_REGKEY_DEVICE) return STATUS_INVALID_PARAMETER;
        const std::wstring path = Normalise(L"\\registry\\machine\\" + Widen(PortKeyPath(i)));
        g->registry[path];
        HANDLE key = reinterpret_cast<HANDLE>(g->nextKey);
        g->nextKey += 4;
        g->keys[key] = path;
        *handle = key;
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

PVOID NTAPI IoAllocateErrorLogEntry(PVOID, UCHAR bytes) {
    if (bytes > kErrorLogMaximum) return nullptr;
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return nullptr;
    void* entry = std::calloc(1, bytes);
    g->errorEntries.insert(entry);
    return entry;
}

VOID NTAPI IoWriteErrorLogEntry(PVOID entry) {
    if (!g->errorEntries.erase(entry)) {
        Problem("writing an error-log entry that was not allocated");
        return;
    }
    PIO_ERROR_LOG_PACKET packet = static_cast<PIO_ERROR_LOG_PACKET>(entry);
    LoggedEvent event;
    event.code = static_cast<uint32_t>(packet->ErrorCode);
    event.finalStatus = static_cast<uint32_t>(packet->FinalStatus);
    event.unique = packet->UniqueErrorValue;
    event.againstDriverObject = true;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(static_cast<uint8_t*>(entry) + packet->StringOffset);
    for (USHORT i = 0; i < packet->NumberOfStrings; ++i) {
        event.strings.push_back(text);
        text += std::wcslen(text) + 1;
    }
    g->events.push_back(event);
    std::free(entry);
}

}  // extern "C"
