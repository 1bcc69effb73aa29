#include "app/acquisition/usb_library.h"

std::int32_t SystemLoadUsbLibrary(const char*, usb_chip::FunctionTable&) { return UsbLoad_LIBRARY_MISSING; }
std::uint32_t UsbLibraryLastError() { return 0; }
void ReleaseUsbLibrary() {}
