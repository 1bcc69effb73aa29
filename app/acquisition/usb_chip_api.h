// The USB interface chip maker's driver library, as the acquisition code uses
// it: loaded by name at run time, 25 functions looked up by name. Only the
// shape of the calls is declared here (our own declarations, no vendor
// header): the stdcall convention, an opaque pointer-sized handle, 32-bit
// statuses and counts. The scanner simulator's stand-in library exports
// exactly these names.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define USB_CHIP_CALL __stdcall
#else
#define USB_CHIP_CALL
#endif

namespace usb_chip {

using Handle = void*;          // opaque; nullptr when closed
using Status = std::uint32_t;  // 0 ok, see Status codes below
using Count = std::uint32_t;   // byte counts, flags, masks, time-outs

// The library file that the acquisition code loads by name.
constexpr const char* kLibraryName = "FTD2XX.dll";
// The device description that the processing unit's chip reports.
constexpr const char* kDeviceDescription = "Tolvaran USB";

// Status codes returned by every call (0..17).
enum StatusCode : Status {
  kOk = 0,
  kInvalidHandle = 1,
  kDeviceNotFound = 2,
  kDeviceNotOpened = 3,
  kIoError = 4,
  kInsufficientResources = 5,
  kInvalidParameter = 6,
  kInvalidBaudRate = 7,
  kDeviceNotOpenedForErase = 8,
  kDeviceNotOpenedForWrite = 9,
  kFailedToWriteDevice = 10,
  kEepromReadFailed = 11,
  kEepromWriteFailed = 12,
  kEepromEraseFailed = 13,
  kEepromNotPresent = 14,
  kEepromNotProgrammed = 15,
  kInvalidArgs = 16,
  kOtherError = 17,
};

// FT_OpenEx flags: how the first argument names the device.
constexpr Count kOpenBySerialNumber = 1;
constexpr Count kOpenByDescription = 2;
// FT_Purge mask.
constexpr Count kPurgeRx = 1;
constexpr Count kPurgeTx = 2;
// FT_SetEventNotification mask: characters received.
constexpr Count kEventRxChar = 1;

// Function types, in the order in which the acquisition code looks them up.
using FnOpen = Status(USB_CHIP_CALL*)(int deviceNumber, Handle* handle);
using FnOpenEx = Status(USB_CHIP_CALL*)(void* name, Count flags, Handle* handle);
using FnListDevices = Status(USB_CHIP_CALL*)(void* arg1, void* arg2, Count flags);
using FnClose = Status(USB_CHIP_CALL*)(Handle handle);
using FnRead = Status(USB_CHIP_CALL*)(Handle handle, void* buffer, Count bytesToRead,
                                      Count* bytesReturned);
using FnWrite = Status(USB_CHIP_CALL*)(Handle handle, void* buffer, Count bytesToWrite,
                                       Count* bytesWritten);
using FnResetDevice = Status(USB_CHIP_CALL*)(Handle handle);
using FnPurge = Status(USB_CHIP_CALL*)(Handle handle, Count mask);
using FnSetTimeouts = Status(USB_CHIP_CALL*)(Handle handle, Count readTimeoutMs,
                                             Count writeTimeoutMs);
// `eventHandle` is the Win32 event that the library signals on every arrival.
using FnSetEventNotification = Status(USB_CHIP_CALL*)(Handle handle, Count mask,
                                                      void* eventHandle);
using FnGetStatus = Status(USB_CHIP_CALL*)(Handle handle, Count* rxBytes, Count* txBytes,
                                           Count* eventStatus);
using FnReadEE = Status(USB_CHIP_CALL*)(Handle handle, Count wordOffset, std::uint16_t* value);
using FnWriteEE = Status(USB_CHIP_CALL*)(Handle handle, Count wordOffset, Count value);
using FnEraseEE = Status(USB_CHIP_CALL*)(Handle handle);
using FnEE_Program = Status(USB_CHIP_CALL*)(Handle handle, void* programData);
using FnEE_Read = Status(USB_CHIP_CALL*)(Handle handle, void* programData);
using FnEE_UASize = Status(USB_CHIP_CALL*)(Handle handle, Count* size);
using FnEE_UAWrite = Status(USB_CHIP_CALL*)(Handle handle, unsigned char* data, Count length);
using FnEE_UARead = Status(USB_CHIP_CALL*)(Handle handle, unsigned char* data, Count length,
                                           Count* bytesRead);
using FnSetLatencyTimer = Status(USB_CHIP_CALL*)(Handle handle, Count latencyMs);
using FnGetLatencyTimer = Status(USB_CHIP_CALL*)(Handle handle, unsigned char* latencyMs);
using FnSetBitMode = Status(USB_CHIP_CALL*)(Handle handle, Count mask, Count enable);
using FnGetBitMode = Status(USB_CHIP_CALL*)(Handle handle, unsigned char* mode);
using FnSetUSBParameters = Status(USB_CHIP_CALL*)(Handle handle, Count inTransferSize,
                                                  Count outTransferSize);
using FnGetDeviceInfo = Status(USB_CHIP_CALL*)(Handle handle, Count* type, Count* id,
                                               char* serialNumber, char* description,
                                               void* reserved);

// The 25 names, in look-up order.
constexpr int kFunctionCount = 25;
constexpr const char* kFunctionNames[kFunctionCount] = {
    "FT_Open",           "FT_OpenEx",          "FT_ListDevices",    "FT_Close",
    "FT_Read",           "FT_Write",           "FT_ResetDevice",    "FT_Purge",
    "FT_SetTimeouts",    "FT_SetEventNotification", "FT_GetStatus", "FT_ReadEE",
    "FT_WriteEE",        "FT_EraseEE",         "FT_EE_Program",     "FT_EE_Read",
    "FT_EE_UASize",      "FT_EE_UAWrite",      "FT_EE_UARead",      "FT_SetLatencyTimer",
    "FT_GetLatencyTimer", "FT_SetBitMode",     "FT_GetBitMode",     "FT_SetUSBParameters",
    "FT_GetDeviceInfo",
};

// The looked-up functions, one member per name in the same order.
struct FunctionTable {
  FnOpen Open;
  FnOpenEx OpenEx;
  FnListDevices ListDevices;
  FnClose Close;
  FnRead Read;
  FnWrite Write;
  FnResetDevice ResetDevice;
  FnPurge Purge;
  FnSetTimeouts SetTimeouts;
  FnSetEventNotification SetEventNotification;
  FnGetStatus GetStatus;
  FnReadEE ReadEE;
  FnWriteEE WriteEE;
  FnEraseEE EraseEE;
  FnEE_Program EE_Program;
  FnEE_Read EE_Read;
  FnEE_UASize EE_UASize;
  FnEE_UAWrite EE_UAWrite;
  FnEE_UARead EE_UARead;
  FnSetLatencyTimer SetLatencyTimer;
  FnGetLatencyTimer GetLatencyTimer;
  FnSetBitMode SetBitMode;
  FnGetBitMode GetBitMode;
  FnSetUSBParameters SetUSBParameters;
  FnGetDeviceInfo GetDeviceInfo;
};

}  // namespace usb_chip
