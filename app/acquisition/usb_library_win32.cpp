#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "app/acquisition/usb_library.h"

namespace {

std::mutex g_mutex;
std::string g_loadedName;
HMODULE g_module = nullptr;
std::atomic<std::uint32_t> g_lastError{0};

bool LookUp(HMODULE module, usb_chip::FunctionTable& table) {
    static_assert(sizeof(usb_chip::FunctionTable) == usb_chip::kFunctionCount * sizeof(void*),
                  "one pointer per function");
    FARPROC slots[usb_chip::kFunctionCount];
    for (int i = 0; i < usb_chip::kFunctionCount; ++i) {
        slots[i] = GetProcAddress(module, usb_chip::kFunctionNames[i]);
        if (!slots[i]) return false;
    }
    std::memcpy(&table, slots, sizeof table);
    return true;
}

}  // namespace

std::int32_t SystemLoadUsbLibrary(const char* fileName, usb_chip::FunctionTable& table) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_module && g_loadedName == fileName) return LookUp(g_module, table) ? UsbLoad_LOADED : UsbLoad_FUNCTION_MISSING;
    HMODULE module = LoadLibraryA(fileName);
    if (!module) {
        g_lastError.store(GetLastError());
        return UsbLoad_LIBRARY_MISSING;
    }
    if (!LookUp(module, table)) {
        g_lastError.store(GetLastError());
        FreeLibrary(module);
        return UsbLoad_FUNCTION_MISSING;
    }
    // The library stays loaded for the rest of the run: the device may still
    // be open when another load is asked for.
    g_module = module;
    g_loadedName = fileName;
    g_lastError.store(0);
    return UsbLoad_LOADED;
}

std::uint32_t UsbLibraryLastError() { return g_lastError.load(); }

void ReleaseUsbLibrary() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_module) FreeLibrary(g_module);
    g_module = nullptr;
    g_loadedName.clear();
}
