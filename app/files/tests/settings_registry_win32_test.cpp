// The settings records against the real registry (Wine's, per prefix).
#include "app/files/settings_registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

void DeleteSettingsKeys() {
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        RegDeleteKeyA(root, kSettingsGeneralKey);
        RegDeleteKeyA(root, kSettingsViewKey);
        RegDeleteKeyA(root, "Software\\Tolvaran");
    }
}

class SettingsRegistryWin32 : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettingsKeys(); }
    void TearDown() override { DeleteSettingsKeys(); }
};

bool QueryTypeAndSize(HKEY root, const char* path, const char* name, DWORD& type, DWORD& size) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    const bool ok = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

void SetDword(HKEY root, const char* path, const char* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

TEST_F(SettingsRegistryWin32, SavedValuesHaveTheirTypesAndSizesAndReadBack) {
    GeneralSettings saved;
    GeneralSettings_SetDefaults(saved, 0xA4A4A4, 0x008000);
    std::strcpy(saved.DefaultDirectory, "C:\\SCANS");
    saved.RangeClip = 612.25f;
    saved.WindowRect[2] = 800;
    ViewSettings view;
    ViewSettings_SetDefaults(view);
    view.ZoomFactor = 3.5f;
    RegistryAccess& reg = Registry_System();
    ASSERT_EQ(Settings_SaveGeneral(reg, saved, 5), 0);
    ASSERT_EQ(Settings_SaveView(reg, view), 0);

    for (const SettingsValue& v : Settings_GeneralValues()) {
        DWORD type = 0, size = 0;
        ASSERT_TRUE(QueryTypeAndSize(HKEY_CURRENT_USER, kSettingsGeneralKey, v.name, type, size)) << v.name;
        EXPECT_EQ(type, v.type) << v.name;
        if (v.type != kRegSz) {
            EXPECT_EQ(size, v.size) << v.name;
        }
    }
    DWORD type = 0, size = 0;
    ASSERT_TRUE(QueryTypeAndSize(HKEY_CURRENT_USER, kSettingsGeneralKey, "DefaultDirectory", type, size));
    EXPECT_EQ(size, 9u);  // "C:\SCANS" and its terminator
    ASSERT_TRUE(QueryTypeAndSize(HKEY_CURRENT_USER, kSettingsViewKey, "ViewMatrix", type, size));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 64u);

    GeneralSettings loaded;
    GeneralSettings_SetDefaults(loaded, 0, 0);
    static int32_t filterLength = 0;
    EXPECT_EQ(Settings_LoadGeneral(reg, loaded, [](int32_t n) { filterLength = n; }), 0);
    EXPECT_EQ(std::memcmp(&loaded, &saved, sizeof saved), 0);
    EXPECT_EQ(filterLength, 5);
    ViewSettings viewLoaded;
    ViewSettings_SetDefaults(viewLoaded);
    EXPECT_EQ(Settings_LoadView(reg, viewLoaded), 0);
    EXPECT_EQ(viewLoaded.ZoomFactor, 3.5f);
}

TEST_F(SettingsRegistryWin32, MachineThenUser) {
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "ScannerEnabled", 0);
    SetDword(HKEY_LOCAL_MACHINE, kSettingsGeneralKey, "Movement", 1);
    SetDword(HKEY_CURRENT_USER, kSettingsGeneralKey, "Movement", 2);
    SetDword(HKEY_CURRENT_USER, kSettingsViewKey, "DisplayType", 3);
    GeneralSettings g;
    GeneralSettings_SetDefaults(g, 0, 0);
    ViewSettings v;
    ViewSettings_SetDefaults(v);
    RegistryAccess& reg = Registry_System();
    EXPECT_EQ(Settings_LoadGeneral(reg, g, nullptr), kSettingsValueMissing);
    Settings_LoadView(reg, v);
    EXPECT_EQ(g.ScannerEnabled, 0);
    EXPECT_EQ(g.Movement, 2);
    EXPECT_EQ(v.DisplayType, 2);
}

TEST_F(SettingsRegistryWin32, NoUserKeyKeepsDefaults) {
    GeneralSettings g;
    GeneralSettings_SetDefaults(g, 0, 0);
    EXPECT_EQ(Settings_LoadGeneral(Registry_System(), g, nullptr), 1);
    EXPECT_EQ(g.ScannerEnabled, 1);
}

}  // namespace
