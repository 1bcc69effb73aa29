/* The device interface of the Ombrix parallel-port driver, shared by the
 * driver and by the main program's acquisition layer. Plain fixed-size types
 * only: this header is included by portable code and by the kernel driver,
 * and must not need any system header beyond <stdint.h>.
 *
 * The client order the device expects: open "\\.\ECP" (read and write, not
 * shared, existing only, overlapped); ECP_IOCTL_OPEN_PORT and test the status
 * it returns; ECP_IOCTL_PORT_STATUS; ECP_IOCTL_SET_TIMEOUTS; then overlapped
 * reads and writes; close the handle. */
#ifndef TOLVARAN_DRIVER_ECP_INTERFACE_H
#define TOLVARAN_DRIVER_ECP_INTERFACE_H

#include <stdint.h>

/* Names of the device. */
#define ECP_USER_DEVICE_PATH "\\\\.\\ECP"
#define ECP_KERNEL_DEVICE_NAME "\\Device\\ECP"
#define ECP_SYMBOLIC_LINK_NAME "ECP"
#define ECP_SERVICE_NAME "Ombrix"

/* The unit's registry key under HKEY_LOCAL_MACHINE and its two REG_DWORD
 * values, read by the driver when it opens the port and edited by the main
 * program's scanner dialogs. */
#define ECP_UNIT_REGISTRY_PATH "SYSTEM\\CurrentControlSet\\Services\\Ombrix\\Devices\\ECP\\0"
#define ECP_REGISTRY_LPT_PORT "LPTPort"
#define ECP_REGISTRY_DMA_CHANNEL "DMAChannel"

/* Device type FILE_DEVICE_SCANNER; the control codes are METHOD_BUFFERED and
 * FILE_ANY_ACCESS, functions 0x801 to 0x803. */
#define ECP_DEVICE_TYPE 0x19u
#define ECP_CONTROL_CODE(function) ((ECP_DEVICE_TYPE << 16) | ((uint32_t)(function) << 2))

/* In: EcpTimeouts (8 bytes; shorter input changes nothing). Out: none. */
#define ECP_IOCTL_SET_TIMEOUTS 0x192004u
/* In: none. Out: EcpPortStatus (32 bytes). */
#define ECP_IOCTL_PORT_STATUS 0x192008u
/* In: none. Out: a 4-byte NTSTATUS, the result of opening the port (0 when
 * opened); the request itself succeeds. */
#define ECP_IOCTL_OPEN_PORT 0x19200Cu

/* The driver interface version reported in EcpPortStatus.VersionNumber. */
#define ECP_INTERFACE_VERSION 21214u

/* EcpPortStatus.TransferState */
#define ECP_TRANSFER_IDLE 0u
#define ECP_TRANSFER_WRITING 1u
#define ECP_TRANSFER_READING 2u
#define ECP_TRANSFER_PORT_CLOSED 3u

/* EcpPortStatus.EcpMode: the last mode programmed, or none yet. */
#define ECP_MODE_SPP 0u
#define ECP_MODE_FORWARD 1u
#define ECP_MODE_REVERSE 2u
#define ECP_MODE_NONE 3u

/* Statuses the device's requests complete with (NTSTATUS values). */
#define ECP_STATUS_SUCCESS 0x00000000u
#define ECP_STATUS_PENDING 0x00000103u
#define ECP_STATUS_INVALID_PARAMETER 0xC000000Du
#define ECP_STATUS_BUFFER_TOO_SMALL 0xC0000023u
#define ECP_STATUS_INSUFFICIENT_RESOURCES 0xC000009Au
#define ECP_STATUS_DEVICE_NOT_READY 0xC00000A3u

/* Output of ECP_IOCTL_PORT_STATUS: eight little-endian 32-bit words. */
typedef struct EcpPortStatus {
    uint32_t VersionNumber;     /* ECP_INTERFACE_VERSION */
    uint32_t TransferState;     /* ECP_TRANSFER_... (3 until the port is opened) */
    uint32_t EcpMode;           /* ECP_MODE_... */
    uint32_t OnlineF;           /* 1 when the port's DSR line (status bit 0x10) reads set */
    uint32_t BytesWritten;      /* running totals since the device was created */
    uint32_t BytesRead;
    uint32_t WriteTotalTimeout; /* ms; 0 none */
    uint32_t ReadTotalTimeout;  /* ms; 0 none */
} EcpPortStatus;

/* Input of ECP_IOCTL_SET_TIMEOUTS: total time-out of one transfer in each
 * direction, in milliseconds; a transfer that runs past it completes short. */
typedef struct EcpTimeouts {
    uint32_t WriteTotalTimeout;
    uint32_t ReadTotalTimeout;
} EcpTimeouts;

#ifdef __cplusplus
#define ECP_STATIC_ASSERT(condition, text) static_assert(condition, text)
#else
#define ECP_STATIC_ASSERT(condition, text) _Static_assert(condition, text)
#endif
ECP_STATIC_ASSERT(sizeof(EcpPortStatus) == 32, "EcpPortStatus is 32 bytes");
ECP_STATIC_ASSERT(sizeof(EcpTimeouts) == 8, "EcpTimeouts is 8 bytes");
ECP_STATIC_ASSERT(ECP_CONTROL_CODE(0x801) == ECP_IOCTL_SET_TIMEOUTS, "function 0x801");
ECP_STATIC_ASSERT(ECP_CONTROL_CODE(0x802) == ECP_IOCTL_PORT_STATUS, "function 0x802");
ECP_STATIC_ASSERT(ECP_CONTROL_CODE(0x803) == ECP_IOCTL_OPEN_PORT, "function 0x803");
#undef ECP_STATIC_ASSERT

#endif /* TOLVARAN_DRIVER_ECP_INTERFACE_H */
