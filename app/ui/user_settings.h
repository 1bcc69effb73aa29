// The user's settings: loaded over the built-in defaults at start-up and on
// command (restoring the main window's size and maximised state, the working
// folder and the sibling design program's folder), saved on command and at
// exit.
#pragma once

#include "app/files/settings_registry.h"

#include <cstdint>
#include <string>

// The main window's placement as the settings use it.
struct WindowPlacementState {
    int32_t normal[4] = {0, 0, 0, 0};  // left, top, right, bottom of the restored window
    int32_t showCommand = 1;
};

constexpr int32_t kShowHide = 0;
constexpr int32_t kShowNormal = 1;
constexpr int32_t kShowMaximized = 3;

// What loading and saving need of the system.
class UserSettingsHost {
public:
    virtual ~UserSettingsHost() = default;
    virtual std::string CurrentFolder() = 0;
    virtual bool SetCurrentFolder(const std::string& folder) = 0;
    virtual std::string UpperCase(const std::string& text) = 0;
    // True when the drive of this root ("C:\") is a fixed disk.
    virtual bool IsFixedDrive(const std::string& root) = 0;
    virtual bool GetPlacement(WindowPlacementState& placement) = 0;
    virtual void SetPlacement(const WindowPlacementState& placement) = 0;
};

// The records and values the two operations work on.
struct UserSettingsRecords {
    GeneralSettings* live = nullptr;
    const GeneralSettings* defaults = nullptr;
    ViewSettings* view = nullptr;
    const ViewSettings* viewDefaults = nullptr;
    bool tarrel = false;
    std::string* siblingFolder = nullptr;  // the sibling design program's install folder
    std::string* siblingFile = nullptr;    // its program file
    FilterLengthStore storeFilterLength = nullptr;
    int32_t (*filterLength)() = nullptr;   // the acquisition layer's current filter length
};

// Loads the settings over the defaults. With `showCommand`, the window is
// placed hidden and *showCommand becomes show-maximised when the window was
// maximised (so the caller shows it once); without, the placement shows it
// maximised or normal.
void UserSettings_LoadWith(RegistryAccess& registry, UserSettingsHost& host, const UserSettingsRecords& records,
                           int32_t* showCommand);

// Saves the settings; one error box "ErrorUserSettingsSaveError" when either
// record could not be written. The current folder becomes the default
// directory only when it is on a fixed disk.
void UserSettings_SaveWith(RegistryAccess& registry, UserSettingsHost& host, const UserSettingsRecords& records);

// The program's own: the live records, the system registry and the main window.
void UserSettings_Load(int32_t* showCommand);
void UserSettings_Save();
