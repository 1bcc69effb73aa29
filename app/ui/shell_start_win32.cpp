// Creation, start-up and close of the main window.
#include "app/ui/shell_start_win32.h"

#include "app/acquisition/hardware_events.h"
#include "app/files/config_file.h"
#include "app/ui/app_state.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/export_dialogs_win32.h"
#include "app/ui/scan_edit.h"
#include "app/ui/scanner_link.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/sweep_registration.h"
#include "app/ui/user_settings.h"

#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n < sizeof path ? n : 0);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string CurrentFolder() {
    char path[MAX_PATH] = "";
    const DWORD n = GetCurrentDirectoryA(sizeof path, path);
    return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
    return args;
}

// The three general options of the key/value file act as defaults under the
// user's registry values: they go into the defaults image, which the user
// settings are loaded over.
void ReadStartupConfig() {
    AppState& app = App();
    const std::string path = app.programFolder + "Tolvaran.rsc";
    ConfigFile* file = ConfigFile_Load(path.c_str());
    if (!file) return;
    App_ReadStartupConfig(file, app.settingsDefaults, app.advanced);
    ConfigFile_Free(file);
}

bool CreateStatusBar(HWND window) {
    HWND bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)), Shell().instance, nullptr);
    if (!bar) return false;
    Shell().statusBar = bar;
    StatusBar_Update();
    return true;
}

void CloseHelpWindows() {
    // Help windows exist only when the help library was loaded for them.
    HMODULE help = GetModuleHandleA("hhctrl.ocx");
    if (!help) return;
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(help, "HtmlHelpA")));
    constexpr UINT kCloseAll = 0x0012;
    if (htmlHelp) htmlHelp(nullptr, nullptr, kCloseAll, 0);
}

void LoadStartupFile() {
    AppState& app = App();
    const ShellHooks& hooks = Shell_Hooks();
    if (app.startupFile.empty() || !FileExists(app.startupFile) || !hooks.reloadScan) return;
    if (!hooks.reloadScan(app.startupFile)) return;
    const size_t slash = app.startupFile.find_last_of("\\/");
    if (slash != std::string::npos) SetCurrentDirectoryA(app.startupFile.substr(0, slash + 1).c_str());
}

}  // namespace

void App_InitState() {
    InitStateEnv env;
    env.args = Arguments();
    env.programFolder = ProgramFolder();
    env.currentFolder = CurrentFolder();
    env.fileExists = FileExists;
    App_InitStateWith(env);
}

namespace {

// The shell's own services for the portable code.
void InstallShellServices(HWND window) {
    ShellHooks& hooks = Shell_Hooks();
    hooks.sendCommand = [window](int command) { SendMessageA(window, WM_COMMAND, command, 0); };
    hooks.updateTitle = App_UpdateTitle;
    hooks.refreshUi = App_RefreshUi;
    hooks.notifyPanels = App_NotifyPanels;
    ScanEdit_InstallHooks();
    Export_InstallHooks();
    SweepReg_InstallScanRunner();
    AaopWizard_InstallHooks();
}

}  // namespace

bool MainWnd_OnCreate(HWND window, const CREATESTRUCTA* create) {
    ShellWindows& shell = Shell();
    shell.main = window;
    shell.view = shell.statusBar = shell.toolbar = nullptr;
    for (HWND& slot : shell.modeless) slot = nullptr;
    InstallShellServices(window);
    App_InitState();
    ReadStartupConfig();
    UserSettings_Load(static_cast<int32_t*>(create->lpCreateParams));

    AppState& app = App();
    app.factoryMenuShown = false;
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    if (hooks.buildMenus) hooks.buildMenus(window);
    if (hooks.createToolbars && !hooks.createToolbars(window)) return false;
    if (!CreateStatusBar(window)) return false;
    if (!Graph_CreateWindow(window)) return false;

    App_UpdateTitle();
    App_RefreshUi();
    App_PostRepaint(3);
    Pipe_Create();
    return true;
}

void MainWnd_OnStartup(HWND window) {
    AppState& app = App();
    App_SendRepaint(3);
    Sleep(1000);
    CloseToolWindows(-1);
    SetHardwareEventHandler(OnHardwareEvent);
    if (app.settings.ScannerEnabled) Scanner_Start(app.settings.HardwareConfigFilename, app.programFolder.c_str());
    LoadStartupFile();
    if (app.editions.pemmler || app.advanced.ShowExtentsDialog) app.settings.ShowExtents = 1;
    if (ShellWin32Hooks& hooks = Shell_Win32Hooks(); hooks.startupWindows) hooks.startupWindows();
    App_UpdateTitle();
    App_RefreshUi();
}

void MainWnd_OnClose(HWND window) {
    AppState& app = App();
    ShellWindows& shell = Shell();
    ShellWin32Hooks& hooks = Shell_Win32Hooks();
    if (Shell_Hooks().unloadScan && !Shell_Hooks().unloadScan(true)) return;
    if (app.settings.SaveSettingsOnExit) UserSettings_Save();
    for (int slot : {kSlotLightingColors, kSlotGenerateSurface, kSlotTextureCamera})
        if (shell.modeless[slot] && IsWindow(shell.modeless[slot])) DestroyWindow(shell.modeless[slot]);
    if (hooks.closeWindows) hooks.closeWindows();
    Scanner_Stop();
    SetHardwareEventHandler(nullptr);
    Pipe_Close();
    if (HWND view = shell.view) {
        shell.view = nullptr;
        SendMessageA(view, WM_CLOSE, 0, 0);
    }
    if (shell.statusBar) DestroyWindow(shell.statusBar);
    shell.statusBar = nullptr;
    CloseHelpWindows();
    if (hooks.freeMenus) hooks.freeMenus();
    if (HMENU menu = GetMenu(window)) {
        SetMenu(window, nullptr);
        DestroyMenu(menu);
    }
    if (hooks.freeBranding) hooks.freeBranding();
    DestroyWindow(window);
}
