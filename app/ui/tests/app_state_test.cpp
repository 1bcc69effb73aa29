#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/shell_hooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string WriteConfig(const std::string& text) {
    const std::string path = ::testing::TempDir() + "app_state_test.rsc";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(AppState, StartupConfigGoesIntoTheDefaultsImage) {
    struct { const char* name; const char* text; int32_t trim; float extra; int32_t exportType; int32_t showExtents; } cases[] = {
        {"all three", "General.RbfParams.RbfTrimType trim_edges\nGeneral.RbfParams.RbfExtraTrim 12.5\n"
                      "General.ExportFileType STL\nShowExtentsDialog 1\n", kRbfTrimEdges, 12.5f, kExportStl, 1},
        {"unknown words and a non-number leave the values", "General.RbfParams.RbfTrimType WIDE\n"
                      "General.RbfParams.RbfExtraTrim much\nGeneral.ExportFileType DOC\n", kRbfTrimOpen, 20.0f,
         kExportWavefront, 0},
        {"an integer extra trim is a number", "General.RbfParams.RbfExtraTrim 3\n", kRbfTrimOpen, 3.0f,
         kExportWavefront, 0},
        {"an empty file", "", kRbfTrimOpen, 20.0f, kExportWavefront, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConfigFile* file = ConfigFile_Load(WriteConfig(c.text).c_str());
        ASSERT_NE(file, nullptr);
        GeneralSettings target;
        GeneralSettings_SetDefaults(target, 0, 0);
        AdvancedScannerSettings advanced;
        App_ReadStartupConfig(file, target, advanced);
        ConfigFile_Free(file);
        EXPECT_EQ(target.RbfParams.RbfTrimType, c.trim);
        EXPECT_EQ(target.RbfParams.RbfExtraTrim, c.extra);
        EXPECT_EQ(target.ExportFileType, c.exportType);
        EXPECT_EQ(advanced.ShowExtentsDialog, c.showExtents);
    }
}

TEST(AppState, ResetGivesTheEditionsDefaultsInTheImageOnly) {
    InitStateEnv env;
    env.args = {"-pemmler", "scan.tvn"};
    env.programFolder = "C:\\Prog\\";
    env.currentFolder = "C:\\Work";
    env.fileExists = [](const std::string&) { return false; };
    int binds = 0;
    Shell_Hooks().bindSurfaceLibrary = [&] {
        ++binds;
        return true;
    };
    App_InitStateWith(env);
    Shell_Hooks().bindSurfaceLibrary = nullptr;
    AppState& app = App();
    EXPECT_TRUE(app.editions.pemmler);
    EXPECT_FALSE(app.editions.tarrel);
    EXPECT_EQ(app.startupFile, "C:\\Work\\scan.tvn");
    EXPECT_EQ(app.mode, kModeScan);
    EXPECT_EQ(app.shownSurface, &app.basic);
    EXPECT_TRUE(app.surfaceLibraryBound);
    EXPECT_EQ(binds, 1);
    // The edition's values reach the image; the live record has the base
    // defaults until the user settings are loaded over the image.
    EXPECT_EQ(app.settingsDefaults.ExportFileType, kExportStl);
    EXPECT_EQ(app.settings.ExportFileType, kExportWavefront);
    EXPECT_EQ(app.viewDefaults.ViewMatrix[5], -1.0f);
    EXPECT_EQ(app.settings.ForegroundColour, Brand_Get().fgcolour);
    ASSERT_NE(app.raw, nullptr);
    EXPECT_EQ(app.raw->NumProfiles, 0);
    const unsigned char* context = reinterpret_cast<const unsigned char*>(&app.scanFitContext);
    for (size_t i = 0; i < sizeof app.scanFitContext; ++i) ASSERT_EQ(context[i], 0);
}

TEST(AppState, LeavingCalibrationAsksToCloseTheScan) {
    AppState& app = App();
    int asked = 0;
    bool allow = false;
    Shell_Hooks().unloadScan = [&](bool ask) {
        EXPECT_TRUE(ask);
        ++asked;
        return allow;
    };
    app.mode = kModeCalibration;
    App_SetMode(kModeScan);
    EXPECT_EQ(app.mode, kModeCalibration);  // cancelled: stays
    allow = true;
    App_SetMode(kModeScan);
    EXPECT_EQ(app.mode, kModeScan);
    App_SetMode(kModeSurface);  // not from calibration: no question
    EXPECT_EQ(asked, 2);
    Shell_Hooks().unloadScan = nullptr;
}

TEST(AppState, ModeSwitchLeavesTheMouseModes) {
    AppState& app = App();
    app.mode = kModeScan;
    app.selectMode = true;
    app.settings.MarkWithMouse = 1;
    int32_t erase = 2;
    Shell_Hooks().eraseLevel = [&] { return erase; };
    Shell_Hooks().setEraseLevel = [&](int32_t level) { erase = level; };
    App_SetMode(kModePreview);
    EXPECT_FALSE(app.selectMode);
    EXPECT_EQ(app.settings.MarkWithMouse, 0);
    EXPECT_EQ(erase, 0);
    Shell_Hooks().eraseLevel = nullptr;
    Shell_Hooks().setEraseLevel = nullptr;
}

}  // namespace
