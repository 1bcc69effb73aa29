// The system registry through advapi32.
#include "app/files/settings_registry.h"

#include <windows.h>

namespace {

HKEY RootKey(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

HKEY AsHkey(RegistryAccess::Key key) { return reinterpret_cast<HKEY>(key); }

class SystemRegistry final : public RegistryAccess {
public:
    bool Open(RegistryRoot root, const char* path, Key& key) override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(RootKey(root), path, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return false;
        key = reinterpret_cast<Key>(opened);
        return true;
    }
    bool Create(RegistryRoot root, const char* path, Key& key) override {
        HKEY created = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(RootKey(root), path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                            nullptr, &created, &disposition) != ERROR_SUCCESS)
            return false;
        key = reinterpret_cast<Key>(created);
        return true;
    }
    void Close(Key key) override { RegCloseKey(AsHkey(key)); }
    bool QueryInfo(Key key, const char* name, uint32_t& type, uint32_t& size) override {
        DWORD t = 0, s = 0;
        if (RegQueryValueExA(AsHkey(key), name, nullptr, &t, nullptr, &s) != ERROR_SUCCESS) return false;
        type = t;
        size = s;
        return true;
    }
    bool Read(Key key, const char* name, void* data, uint32_t size) override {
        DWORD t = 0, s = size;
        if (RegQueryValueExA(AsHkey(key), name, nullptr, &t, static_cast<BYTE*>(data), &s) != ERROR_SUCCESS)
            return false;
        return s == size;
    }
    long Write(Key key, const char* name, uint32_t type, const void* data, uint32_t size) override {
        return RegSetValueExA(AsHkey(key), name, 0, type, static_cast<const BYTE*>(data), size);
    }
};

}  // namespace

RegistryAccess& Registry_System() {
    static SystemRegistry registry;
    return registry;
}
