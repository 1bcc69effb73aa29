// The 25 functions of the USB chip's library, as the stand-in library exports
// them (undecorated names through sim/FTD2XX.def). The calls the acquisition
// code makes go to the simulated device; the others only check the handle.
#include <string>

#include "app/acquisition/usb_chip_api.h"
#include "sim/stand_in.h"

using namespace usb_chip;

namespace {

// Runs one call on the device; nothing escapes into the host.
template <typename F>
Status Call(F call) {
  try {
    sim::Device* device = sim::StandInDevice();
    return device ? call(*device) : kOtherError;
  } catch (...) {
    return kInsufficientResources;
  }
}

}  // namespace

extern "C" {

Status USB_CHIP_CALL FT_Open(int deviceNumber, Handle* handle) {
  return Call([&](sim::Device& d) {
    return deviceNumber == 0 ? d.Open(kDeviceDescription, handle) : kDeviceNotFound;
  });
}

Status USB_CHIP_CALL FT_OpenEx(void* name, Count flags, Handle* handle) {
  return Call([&](sim::Device& d) -> Status {
    if (!name || !handle) return kInvalidParameter;
    if (flags != kOpenByDescription) return kDeviceNotFound;
    return d.Open(static_cast<const char*>(name), handle);
  });
}

Status USB_CHIP_CALL FT_ListDevices(void*, void*, Count) { return kOk; }

Status USB_CHIP_CALL FT_Close(Handle handle) {
  return Call([&](sim::Device& d) { return d.Close(handle); });
}

Status USB_CHIP_CALL FT_Read(Handle handle, void* buffer, Count count, Count* got) {
  return Call([&](sim::Device& d) { return d.Read(handle, buffer, count, got); });
}

Status USB_CHIP_CALL FT_Write(Handle handle, void* buffer, Count count, Count* written) {
  return Call([&](sim::Device& d) { return d.Write(handle, buffer, count, written); });
}

Status USB_CHIP_CALL FT_ResetDevice(Handle handle) {
  return Call([&](sim::Device& d) { return d.Reset(handle); });
}

Status USB_CHIP_CALL FT_Purge(Handle handle, Count mask) {
  return Call([&](sim::Device& d) { return d.Purge(handle, mask); });
}

Status USB_CHIP_CALL FT_SetTimeouts(Handle handle, Count readMs, Count writeMs) {
  return Call([&](sim::Device& d) { return d.SetTimeouts(handle, readMs, writeMs); });
}

Status USB_CHIP_CALL FT_SetEventNotification(Handle handle, Count mask, void* eventHandle) {
  return Call([&](sim::Device& d) { return d.SetEventNotification(handle, mask, eventHandle); });
}

Status USB_CHIP_CALL FT_GetStatus(Handle handle, Count* rxBytes, Count* txBytes,
                                  Count* eventStatus) {
  return Call([&](sim::Device& d) { return d.GetStatus(handle, rxBytes, txBytes, eventStatus); });
}

// The rest exist so that the library loads; they succeed on a valid handle.
#define SIM_HANDLE_ONLY \
  { return Call([&](sim::Device& d) { return d.Check(handle); }); }

Status USB_CHIP_CALL FT_ReadEE(Handle handle, Count, std::uint16_t*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_WriteEE(Handle handle, Count, Count) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EraseEE(Handle handle) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EE_Program(Handle handle, void*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EE_Read(Handle handle, void*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EE_UASize(Handle handle, Count*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EE_UAWrite(Handle handle, unsigned char*, Count) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_EE_UARead(Handle handle, unsigned char*, Count, Count*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_SetLatencyTimer(Handle handle, Count) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_GetLatencyTimer(Handle handle, unsigned char*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_SetBitMode(Handle handle, Count, Count) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_GetBitMode(Handle handle, unsigned char*) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_SetUSBParameters(Handle handle, Count, Count) SIM_HANDLE_ONLY
Status USB_CHIP_CALL FT_GetDeviceInfo(Handle handle, Count*, Count*, char*, char*, void*)
    SIM_HANDLE_ONLY

#undef SIM_HANDLE_ONLY

}  // extern "C"
