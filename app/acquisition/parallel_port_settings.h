// The parallel-port driver's port and DMA channel in the registry, read and
// written by the scanner dialogs.
#pragma once

#include <cstdint>

#include "app/acquisition/windows_version.h"
#include "app/files/settings_registry.h"

// "LPTPort" and "DMAChannel" (REG_DWORD) of the driver's unit key under the
// local-machine branch. On Windows 2000 the DMA channel is not read (the
// platform's port driver chooses it) and comes back as -1. False when the key
// or a value read cannot be had.
bool ReadParallelPortSettings(std::int32_t& lptPort, std::int32_t& dmaChannel,
                              RegistryAccess& registry = Registry_System(),
                              WindowsVersion windows = GetWindowsVersion());
// Writes both values (the DMA channel only when it is not negative); false
// when the key cannot be created or a write failed.
bool WriteParallelPortSettings(std::int32_t lptPort, std::int32_t dmaChannel,
                               RegistryAccess& registry = Registry_System());
