// The user settings of the running program: its live records, the system
// registry, its current folder and its main window.
#include "app/acquisition/acquisition_settings.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"
#include "app/ui/user_settings.h"

#include <string>

namespace {

class WindowsHost final : public UserSettingsHost {
public:
    std::string CurrentFolder() override {
        char path[MAX_PATH] = "";
        const DWORD n = GetCurrentDirectoryA(sizeof path, path);
        return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
    }
    bool SetCurrentFolder(const std::string& folder) override { return SetCurrentDirectoryA(folder.c_str()) != 0; }
    std::string UpperCase(const std::string& text) override {
        std::string upper = text;
        if (!upper.empty()) CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
        return upper;
    }
    bool IsFixedDrive(const std::string& root) override { return GetDriveTypeA(root.c_str()) == DRIVE_FIXED; }
    bool GetPlacement(WindowPlacementState& placement) override {
        WINDOWPLACEMENT wp = {};
        wp.length = sizeof wp;
        HWND main = Shell().main;
        if (!main || !GetWindowPlacement(main, &wp)) return false;
        placement.normal[0] = wp.rcNormalPosition.left;
        placement.normal[1] = wp.rcNormalPosition.top;
        placement.normal[2] = wp.rcNormalPosition.right;
        placement.normal[3] = wp.rcNormalPosition.bottom;
        placement.showCommand = static_cast<int32_t>(wp.showCmd);
        return true;
    }
    void SetPlacement(const WindowPlacementState& placement) override {
        WINDOWPLACEMENT wp = {};
        wp.length = sizeof wp;
        HWND main = Shell().main;
        if (!main || !GetWindowPlacement(main, &wp)) return;
        wp.rcNormalPosition = RECT{placement.normal[0], placement.normal[1], placement.normal[2], placement.normal[3]};
        wp.showCmd = static_cast<UINT>(placement.showCommand);
        SetWindowPlacement(main, &wp);
    }
};

UserSettingsRecords ProgramRecords() {
    AppState& app = App();
    UserSettingsRecords r;
    r.live = &app.settings;
    r.defaults = &app.settingsDefaults;
    r.view = &app.view;
    r.viewDefaults = &app.viewDefaults;
    r.tarrel = app.editions.tarrel;
    r.siblingFolder = &app.siblingFolder;
    r.siblingFile = &app.siblingFile;
    r.storeFilterLength = SetOddFilterLength;
    r.filterLength = GetOddFilterLength;
    return r;
}

}  // namespace

void UserSettings_Load(int32_t* showCommand) {
    WindowsHost host;
    UserSettings_LoadWith(Registry_System(), host, ProgramRecords(), showCommand);
}

void UserSettings_Save() {
    WindowsHost host;
    UserSettings_SaveWith(Registry_System(), host, ProgramRecords());
}
