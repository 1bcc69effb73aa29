#include "app/acquisition/parallel_port_settings.h"

#include "driver/ecp_interface.h"

namespace {

bool ReadDword(RegistryAccess& registry, RegistryAccess::Key key, const char* name, std::int32_t& out) {
    std::uint32_t value = 0;
    if (Settings_QueryValue(registry, key, name, kRegDword, sizeof value, &value) != kSettingsValueTaken) return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace

bool ReadParallelPortSettings(std::int32_t& lptPort, std::int32_t& dmaChannel, RegistryAccess& registry,
                              WindowsVersion windows) {
    RegistryAccess::Key key = 0;
    if (!registry.Open(RegistryRoot::LocalMachine, ECP_UNIT_REGISTRY_PATH, key)) return false;
    bool ok = ReadDword(registry, key, ECP_REGISTRY_LPT_PORT, lptPort);
    if (windows == WindowsVersion::Win2000)
        dmaChannel = -1;
    else
        ok = ReadDword(registry, key, ECP_REGISTRY_DMA_CHANNEL, dmaChannel) && ok;
    registry.Close(key);
    return ok;
}

bool WriteParallelPortSettings(std::int32_t lptPort, std::int32_t dmaChannel, RegistryAccess& registry) {
    RegistryAccess::Key key = 0;
    if (!registry.Create(RegistryRoot::LocalMachine, ECP_UNIT_REGISTRY_PATH, key)) return false;
    const auto port = static_cast<std::uint32_t>(lptPort);
    bool ok = registry.Write(key, ECP_REGISTRY_LPT_PORT, kRegDword, &port, sizeof port) == 0;
    if (dmaChannel >= 0) {
        const auto dma = static_cast<std::uint32_t>(dmaChannel);
        ok = registry.Write(key, ECP_REGISTRY_DMA_CHANNEL, kRegDword, &dma, sizeof dma) == 0 && ok;
    }
    registry.Close(key);
    return ok;
}
