#include <cstdlib>

#include "sim/chip_library.h"
#include "sim/host_event.h"
#include "sim/stand_in.h"

using namespace usb_chip;

extern "C" {
Status FT_Open(int, Handle*);
Status FT_OpenEx(void*, Count, Handle*);
Status FT_ListDevices(void*, void*, Count);
Status FT_Close(Handle);
Status FT_Read(Handle, void*, Count, Count*);
Status FT_Write(Handle, void*, Count, Count*);
Status FT_ResetDevice(Handle);
Status FT_Purge(Handle, Count);
Status FT_SetTimeouts(Handle, Count, Count);
Status FT_SetEventNotification(Handle, Count, void*);
Status FT_GetStatus(Handle, Count*, Count*, Count*);
Status FT_ReadEE(Handle, Count, std::uint16_t*);
Status FT_WriteEE(Handle, Count, Count);
Status FT_EraseEE(Handle);
Status FT_EE_Program(Handle, void*);
Status FT_EE_Read(Handle, void*);
Status FT_EE_UASize(Handle, Count*);
Status FT_EE_UAWrite(Handle, unsigned char*, Count);
Status FT_EE_UARead(Handle, unsigned char*, Count, Count*);
Status FT_SetLatencyTimer(Handle, Count);
Status FT_GetLatencyTimer(Handle, unsigned char*);
Status FT_SetBitMode(Handle, Count, Count);
Status FT_GetBitMode(Handle, unsigned char*);
Status FT_SetUSBParameters(Handle, Count, Count);
Status FT_GetDeviceInfo(Handle, Count*, Count*, char*, char*, void*);
}

namespace sim {

bool LoadChipLibrary(FunctionTable* t, std::string*) {
  *t = {FT_Open,         FT_OpenEx,          FT_ListDevices,    FT_Close,        FT_Read,
        FT_Write,        FT_ResetDevice,     FT_Purge,          FT_SetTimeouts,  FT_SetEventNotification,
        FT_GetStatus,    FT_ReadEE,          FT_WriteEE,        FT_EraseEE,      FT_EE_Program,
        FT_EE_Read,      FT_EE_UASize,       FT_EE_UAWrite,     FT_EE_UARead,    FT_SetLatencyTimer,
        FT_GetLatencyTimer, FT_SetBitMode,   FT_GetBitMode,     FT_SetUSBParameters, FT_GetDeviceInfo};
  return true;
}

void UnloadChipLibrary() { ReleaseStandInDevice(); }

void SetScenarioPath(const std::string& path) { setenv(kScenarioVariable, path.c_str(), 1); }

ArrivalEvent::ArrivalEvent() : handle_(new HostEvent) {}
ArrivalEvent::~ArrivalEvent() { delete static_cast<HostEvent*>(handle_); }
bool ArrivalEvent::Wait(int ms) { return static_cast<HostEvent*>(handle_)->Wait(ms); }
void ArrivalEvent::Reset() { static_cast<HostEvent*>(handle_)->ResetEvent(); }

}  // namespace sim
