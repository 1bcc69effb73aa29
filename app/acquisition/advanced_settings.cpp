#include "app/acquisition/advanced_settings.h"

#include "app/files/config_file.h"

namespace {

void ReadInteger(const ConfigFile* file, const char* key, std::int32_t& value) {
    const ConfigEntry* entry = ConfigFile_Find(file, key);
    if (entry && entry->isInteger) value = entry->intValue;
}

void ReadTruth(const ConfigFile* file, const char* key, std::int32_t& value) {
    const ConfigEntry* entry = ConfigFile_Find(file, key);
    if (entry && entry->isBool) value = entry->boolValue;
}

}  // namespace

AdvancedScannerSettings ReadAdvancedScannerSettings(const ConfigFile* file) {
    AdvancedScannerSettings settings;
    if (!file) return settings;
    ReadInteger(file, "LocatorFilterLength", settings.LocatorFilterLength);
    ReadInteger(file, "MinLaserLineWidth", settings.MinLaserLineWidth);
    ReadInteger(file, "MaxLaserLineWidth", settings.MaxLaserLineWidth);
    if (const ConfigEntry* entry = ConfigFile_Find(file, "PixelSize"); entry && entry->isFloat)
        settings.PixelSize = static_cast<float>(entry->doubleValue);
    // The hemisphere is named by its setting number, as a word of the list.
    static const char* const kHemispheres[] = {"0", "1", "2", "3", "4", "5", "6", nullptr};
    ConfigFile_GetValue("Hemisphere", file, kHemispheres, &settings.Hemisphere);
    ReadInteger(file, "RxIndexOffset", settings.RxIndexOffset);
    ReadTruth(file, "WaitForTrackerInit", settings.WaitForTrackerInit);
    ReadTruth(file, "ScghViewKeys", settings.ScghViewKeys);
    ReadTruth(file, "ShowExtentsDialog", settings.ShowExtentsDialog);
    return settings;
}
