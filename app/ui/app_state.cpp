#include "app/ui/app_state.h"

#include "app/locale/locale_lookup.h"
#include "app/ui/app_title.h"
#include "app/ui/brand_info.h"
#include "app/ui/edition_defaults.h"
#include "app/ui/shell_hooks.h"

#include <cstdlib>
#include <cstring>

AppState& App() {
    static AppState state;
    return state;
}

namespace {

void ClearScanAndSurfaces(AppState& app) {
    if (!app.raw) {
        app.raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        if (!app.raw) throw OutOfMemoryError();
        ScanBlocks_Init(app.blocks);
        RawData_AttachBlocks(*app.raw, app.blocks);
    } else {
        RawData_FreeArrays(*app.raw);
    }
    // A new scan is aligned with nothing: the view's wand poses pass through
    // its alignment unchanged.
    M4_Identity(app.raw->ScanAlignment);
    Surface_Free(app.basic);
    Surface_Free(app.rbf);
    app.shownSurface = &app.basic;
}

// Without a list panel the selection bits of the profiles are cleared here.
void ClearProfileSelection(RawData& raw) {
    for (int32_t p = 0; p < raw.TotalProfiles && raw.Profiles; ++p) raw.Profiles[p].Flags &= ~2;
    RawData_ClearPointRunMark(raw);
}

}  // namespace

void App_InitStateWith(const InitStateEnv& env) {
    AppState& app = App();
    Brand_Load();
    ClearScanAndSurfaces(app);
    App_FillDefaultImages(app.settingsDefaults, app.viewDefaults, Brand_Get());
    app.settings = app.settingsDefaults;
    app.view = app.viewDefaults;
    app.mode = kModeScan;
    App_SetMode(kModeScan);
    app.scanPath.clear();
    app.startupFile.clear();
    app.documentName = Locale_GetString("TitleBarUnnamedFile");

    app.programFolder = env.programFolder;
    app.editions = EditionFlags();
    CommandLineEnv commandLine{Brand_Get().customer, env.programFolder, env.currentFolder, env.fileExists};
    App_ParseCommandLine(env.args, commandLine, app.editions, app.startupFile);

    App_ApplyEditionDefaults(app.settingsDefaults, app.viewDefaults, app.editions);
    std::memset(&app.scanFitContext, 0, sizeof app.scanFitContext);
    const ShellHooks& hooks = Shell_Hooks();
    app.surfaceLibraryBound = hooks.bindSurfaceLibrary ? hooks.bindSurfaceLibrary() : false;
}

void App_ReadStartupConfig(const ConfigFile* file, GeneralSettings& target, AdvancedScannerSettings& advanced) {
    advanced = ReadAdvancedScannerSettings(file);
    if (!file) return;
    static const char* const kTrimTypes[] = {"OPEN", "CLOSE", "TRIM", "TRIM_EDGES", nullptr};
    static const char* const kExportTypes[] = {"3DS", "ASCII", "DXF", "IGES", "INVENTOR", "LIGHTWAVE", "MATLAB",
                                               "POLYWORKS_SCAN", "PLY", "STL", "VRML", "VTK", "WAVEFRONT", nullptr};
    ConfigFile_GetValue("General.RbfParams.RbfTrimType", file, kTrimTypes, &target.RbfParams.RbfTrimType);
    const ConfigEntry* extraTrim = ConfigFile_Find(file, "General.RbfParams.RbfExtraTrim");
    if (extraTrim && extraTrim->isFloat) target.RbfParams.RbfExtraTrim = static_cast<float>(extraTrim->doubleValue);
    ConfigFile_GetValue("General.ExportFileType", file, kExportTypes, &target.ExportFileType);
}

void App_SetMode(int32_t mode) {
    AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    if (app.mode == kModeCalibration && mode != kModeCalibration && hooks.unloadScan && !hooks.unloadScan(true))
        return;
    if (mode == kModeScan || mode == kModeSurface) {
        const bool panel = hooks.showListPanels ? hooks.showListPanels(mode == kModeScan ? 1 : 2) : false;
        if (!panel && app.raw) ClearProfileSelection(*app.raw);
        if (mode == kModeSurface) App_LeaveMouseModes();
    } else {
        if (hooks.hideListPanels) hooks.hideListPanels();
        App_LeaveMouseModes();
    }
    app.mode = mode;
}

void App_LeaveMouseModes() {
    AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    if (app.settings.MarkWithMouse) {
        app.settings.MarkWithMouse = 0;
        if (hooks.markingLeft) hooks.markingLeft();
        if (hooks.sendRepaint) hooks.sendRepaint(2);
    }
    if (app.selectMode) {
        app.selectMode = false;
        const int32_t level = hooks.eraseLevel ? hooks.eraseLevel() : 0;
        if (level > 0 && hooks.setEraseLevel) hooks.setEraseLevel(0);
        if (hooks.setMarkerCursor) hooks.setMarkerCursor();
    }
}

std::string App_TitleText() {
    AppState& app = App();
    const bool modified = app.raw && App_DocumentModified(*app.raw, app.basic, app.rbf);
    return App_FormatTitle(app.documentName, modified, Brand_Get());
}
