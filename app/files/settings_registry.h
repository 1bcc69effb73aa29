// The registry side of the two settings records: every stored value of
// `GeneralSettings` under "Software\Tolvaran\General" and of `ViewSettings`
// under "Software\Tolvaran\View". Values are read from the local-machine
// branch and then from the current-user branch over it; a value is taken only
// with its expected type and size. Only the current-user branch is written.
//
// The registry itself is reached through `RegistryAccess`, so the records'
// mapping is tested natively against an in-memory registry and under Wine
// against the real one.
#pragma once

#include "app/scan/settings_records.h"

#include <cstddef>
#include <cstdint>
#include <vector>

enum class RegistryRoot { LocalMachine, CurrentUser };

// Registry value types, with the system's numbers.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

class RegistryAccess {
  public:
    using Key = std::uintptr_t;
    virtual ~RegistryAccess() = default;
    // Opens an existing key for querying values.
    virtual bool Open(RegistryRoot root, const char* path, Key& key) = 0;
    // Creates the key, or opens it, for setting values.
    virtual bool Create(RegistryRoot root, const char* path, Key& key) = 0;
    virtual void Close(Key key) = 0;
    // The value's type and size in bytes; false when there is no such value.
    virtual bool QueryInfo(Key key, const char* name, uint32_t& type, uint32_t& size) = 0;
    // Reads the value's data, which must be `size` bytes long; false otherwise.
    virtual bool Read(Key key, const char* name, void* data, uint32_t size) = 0;
    // Writes the value; 0 on success, else the system's error code.
    virtual long Write(Key key, const char* name, uint32_t type, const void* data, uint32_t size) = 0;
};

// The operating system's registry (natively: a registry without keys).
RegistryAccess& Registry_System();

// Results of reading one value.
enum SettingsQueryResult : int {
    kSettingsValueTaken = 0,
    kSettingsValueMissing = 2,  // absent or unreadable
    kSettingsValueWrongType = 3,
    kSettingsValueWrongSize = 4,
    kSettingsValueNoMemory = 5,  // a text too large to be held for reading
};

// One stored value: its name, type and place in the record. The size of a
// REG_SZ value is its field's size (terminator included). Offset -1 marks
// "HardwareFilterLength", which lives in the acquisition layer.
struct SettingsValue {
    const char* name;
    uint32_t type;
    std::ptrdiff_t offset;
    uint32_t size;
};

// The stored values in write order.
const std::vector<SettingsValue>& Settings_GeneralValues();  // 202
const std::vector<SettingsValue>& Settings_ViewValues();     // 6

// The acquisition layer's filter length, which is stored with the general
// values but not held in the record: read values are handed to `store`.
using FilterLengthStore = void (*)(int32_t length);

// Reads one value into `destination` (expected size bytes; for REG_SZ the
// field, whose text must fit with its terminator, else the value counts as
// of the wrong size and is ignored).
int Settings_QueryValue(RegistryAccess& registry, RegistryAccess::Key key, const char* name, uint32_t expectedType,
                        uint32_t expectedSize, void* destination);

// Every value of the list from an open key; values not taken leave their
// fields alone. Result: the code of the last value not taken, 0 when all were.
int Settings_ReadGeneral(RegistryAccess& registry, RegistryAccess::Key key, GeneralSettings& settings,
                         FilterLengthStore storeFilterLength);
// After reading, a display type of 3 becomes 2.
int Settings_ReadView(RegistryAccess& registry, RegistryAccess::Key key, ViewSettings& view);

// Local machine first, then the current user over it. 1 when the user's key
// cannot be opened, else the result of reading it.
int Settings_LoadGeneral(RegistryAccess& registry, GeneralSettings& settings, FilterLengthStore storeFilterLength);
int Settings_LoadView(RegistryAccess& registry, ViewSettings& view);

// Writes every value to the current user's key. 1 when the key cannot be
// created or opened (nothing written), else the error code of the last write
// that failed, 0 when all succeeded.
int Settings_SaveGeneral(RegistryAccess& registry, const GeneralSettings& settings, int32_t hardwareFilterLength);
// 1 when the key cannot be created or opened, 2 when any write failed, else 0.
int Settings_SaveView(RegistryAccess& registry, const ViewSettings& view);

// Reads the REG_SZ value "Path" (at most 1024 bytes) into the buffer.
int Settings_ReadPath(RegistryAccess& registry, RegistryAccess::Key key, char* buffer);
// Empties the buffer, then reads "Path" from the key under the local machine
// and then under the current user. 1 when the user's key does not open.
int Settings_LoadInstallPath(RegistryAccess& registry, const char* keyPath, char* buffer);

// The settings location as shown to the user.
const char* Settings_GetRootPath();

extern const char* const kSettingsGeneralKey;  // "Software\Tolvaran\General"
extern const char* const kSettingsViewKey;     // "Software\Tolvaran\View"
