#include "app/ui/user_settings.h"

#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"

#include <cstring>

namespace {

void CopyText(char* field, const std::string& text) {
    const size_t n = text.size() < kSettingsTextSize ? text.size() : kSettingsTextSize - 1;
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

}  // namespace

void UserSettings_LoadWith(RegistryAccess& registry, UserSettingsHost& host, const UserSettingsRecords& r,
                           int32_t* showCommand) {
    GeneralSettings& live = *r.live;
    live = *r.defaults;
    *r.view = *r.viewDefaults;
    CopyText(live.DefaultDirectory, host.UpperCase(host.CurrentFolder()));

    WindowPlacementState placement;
    const bool placed = host.GetPlacement(placement);
    if (placed) std::memcpy(live.WindowRect, placement.normal, sizeof live.WindowRect);

    Settings_LoadGeneral(registry, live, r.storeFilterLength);
    Settings_LoadView(registry, *r.view);

    if (r.siblingFolder && r.siblingFile) {
        char folder[kSettingsTextSize];
        Settings_LoadInstallPath(registry, r.tarrel ? "Software\\TAVIR Scanning\\Pellisvan" : "Software\\Brenwick\\Pellis",
                                 folder);
        *r.siblingFolder = folder;
        *r.siblingFile = r.tarrel ? "Pellisvan.exe" : "Pellis.exe";
    }
    host.SetCurrentFolder(live.DefaultDirectory);

    if (!placed) return;
    // Only the size is restored; the window stays where it is.
    placement.normal[2] = placement.normal[0] + (live.WindowRect[2] - live.WindowRect[0]);
    placement.normal[3] = placement.normal[1] + (live.WindowRect[3] - live.WindowRect[1]);
    if (showCommand) {
        placement.showCommand = kShowHide;
        if (live.WindowMaximized) *showCommand = kShowMaximized;
    } else {
        placement.showCommand = live.WindowMaximized ? kShowMaximized : kShowNormal;
    }
    host.SetPlacement(placement);
}

void UserSettings_SaveWith(RegistryAccess& registry, UserSettingsHost& host, const UserSettingsRecords& r) {
    GeneralSettings& live = *r.live;
    const std::string folder = host.UpperCase(host.CurrentFolder());
    if (!folder.empty() && host.IsFixedDrive(folder.substr(0, 1) + ":\\")) CopyText(live.DefaultDirectory, folder);

    WindowPlacementState placement;
    if (host.GetPlacement(placement)) {
        std::memcpy(live.WindowRect, placement.normal, sizeof live.WindowRect);
        live.WindowMaximized = placement.showCommand == kShowMaximized ? 1 : 0;
    }
    const int32_t filterLength = r.filterLength ? r.filterLength() : 0;
    const int general = Settings_SaveGeneral(registry, live, filterLength);
    const int view = Settings_SaveView(registry, *r.view);
    if (general != 0 || view != 0)
        App_ErrorBox(Locale_GetString("ErrorUserSettingsSaveError"), "ErrorUserSettingsSaveError");
}
