#include "app/acquisition/usb_library.h"

#include <atomic>

#include "app/acquisition/hardware_trace.h"

namespace {

std::int32_t LoadSystemLibrary(usb_chip::FunctionTable& table) {
    return SystemLoadUsbLibrary(usb_chip::kLibraryName, table);
}

std::atomic<UsbLibraryLoader> g_loader{nullptr};

}  // namespace

std::int32_t LoadUsbLibrary(usb_chip::FunctionTable& table) {
    const UsbLibraryLoader loader = g_loader.load();
    const std::int32_t status = (loader ? loader : LoadSystemLibrary)(table);
    if (status != UsbLoad_LOADED)
        TraceHardware("LoadUsbLibrary: %s (error %u)\n",
                      status == UsbLoad_LIBRARY_MISSING ? "library missing" : "function missing",
                      static_cast<unsigned>(UsbLibraryLastError()));
    return status;
}

void SetUsbLibraryLoaderForTesting(UsbLibraryLoader loader) { g_loader.store(loader); }
