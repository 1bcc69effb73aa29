#include "app/locale/locale_loader.h"
#include "platform/module_win32.h"

#include <windows.h>

#include <cstring>

namespace {

// The built-in locale: resource "Data" 422 of the module that holds this code.
constexpr WORD kBuiltInLocaleId = 422;
const char* const kBuiltInLocaleType = "Data";

HMODULE OwnModule() { return os::ModuleOf(reinterpret_cast<const void*>(&OwnModule)); }

}  // namespace

bool Locale_FindFileIn(const std::string& folder, const std::string& pattern, std::string& name,
                       std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    name = found.cFileName;
    path = folder + name;
    return true;
}

bool Locale_LoadBuiltInData(std::vector<char>& data) {
    data.clear();
    HMODULE module = OwnModule();
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kBuiltInLocaleId), kBuiltInLocaleType);
    if (!resource)
        return false;
    DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size > kLocaleMaxSourceSize)
        return false;
    // The text is stored as it is: it is plain locale text already.
    data.assign(static_cast<const char*>(bytes), static_cast<const char*>(bytes) + size);
    return true;
}
