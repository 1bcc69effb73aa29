// The USB chip maker's library, loaded by name at run time with its 25
// functions looked up by name. A missing library is a hardware state, not a
// failure of the program.
#pragma once

#include <cstdint>

#include "app/acquisition/usb_chip_api.h"

enum UsbLoadStatus : std::int32_t {
    UsbLoad_LOADED = 1,
    UsbLoad_LIBRARY_MISSING = 2,
    UsbLoad_FUNCTION_MISSING = 3,
};

using UsbLibraryLoader = std::int32_t (*)(usb_chip::FunctionTable& table);

// Fills the table through the loader in force (the system's: the library
// usb_chip::kLibraryName); returns a UsbLoadStatus. A failed load is traced.
std::int32_t LoadUsbLibrary(usb_chip::FunctionTable& table);
// nullptr restores the system's loader.
void SetUsbLibraryLoaderForTesting(UsbLibraryLoader loader);

// The system's loader for the library of the given file name. The library
// stays loaded once its functions were found. Natively there is no library.
std::int32_t SystemLoadUsbLibrary(const char* fileName, usb_chip::FunctionTable& table);
// The system error of the last failed load (0 when none).
std::uint32_t UsbLibraryLastError();

// Unloads the library when it is loaded (its device must be closed), so that
// the next load starts afresh. For tests and the end of the program.
void ReleaseUsbLibrary();
