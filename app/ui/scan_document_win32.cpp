#include "app/ui/scan_document_win32.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/scan_document.h"
#include "app/ui/scan_document_names.h"
#include "app/ui/scanner_link.h"
#include "app/scanfile/facet_coder.h"
#include "app/ui/shell_win32.h"

#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kPathSize = 1024;

std::string FormatWithApp(const char* key) {
    std::string text;
    return Locale_FormatString(text, key, Locale_NewStringVariable("app", App_GetProductName()), nullptr);
}

// A filter list: pairs of description and pattern, each ended by a zero,
// the list by a second zero.
std::string Filter(std::initializer_list<std::string> parts) {
    std::string filter;
    for (const std::string& part : parts) {
        filter += part;
        filter += '\0';
    }
    filter += '\0';
    return filter;
}

// A dialog that leaves the current folder on a removable drive would keep
// that drive busy: the previous folder is restored then.
class CurrentFolderGuard {
  public:
    CurrentFolderGuard() {
        const DWORD n = GetCurrentDirectoryA(sizeof previous_, previous_);
        if (n == 0 || n >= sizeof previous_) previous_[0] = '\0';
    }
    ~CurrentFolderGuard() {
        char now[MAX_PATH] = "";
        const DWORD n = GetCurrentDirectoryA(sizeof now, now);
        if (n == 0 || n >= sizeof now || !previous_[0]) return;
        const char root[4] = {now[0], ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_REMOVABLE) SetCurrentDirectoryA(previous_);
    }
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

  private:
    char previous_[MAX_PATH];
};

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ShowNameReadError() {
    if (CommDlgExtendedError() != 0) App_ErrorBox(Locale_GetString("ErrorFileNameRead"), "ErrorFileNameRead");
}

void CopyName(char* buffer, const std::string& name) {
    std::strncpy(buffer, name.c_str(), kPathSize - 1);
    buffer[kPathSize - 1] = '\0';
}

bool Checked(HWND dialog, int control) { return IsDlgButtonChecked(dialog, control) == BST_CHECKED; }

// ---- Open -------------------------------------------------------------------

UINT_PTR CALLBACK OpenHook(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    GeneralSettings& settings = App().settings;
    if (message == WM_INITDIALOG) {
        Locale_LocaliseDialog(dialog, kOpenDialogTemplate);
        CheckDlgButton(dialog, kOpenLoadViewBox, settings.LoadViewSettingsWithScan ? BST_CHECKED : BST_UNCHECKED);
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kOpenLoadViewBox && HIWORD(wParam) == BN_CLICKED)
        settings.LoadViewSettingsWithScan = Checked(dialog, kOpenLoadViewBox) ? 1 : 0;
    return 0;
}

// ---- Save As ----------------------------------------------------------------

void RefreshSaveHook(HWND dialog) {
    const ScanDocState& state = ScanDoc_State();
    const GeneralSettings& settings = App().settings;
    SetDlgItemTextA(dialog, kSaveAdvancedButton,
                    Locale_GetString(state.advancedShown ? "FileSaveHideAdvancedLabel" : "FileSaveShowAdvancedLabel"));
    const int show = state.advancedShown ? SW_SHOW : SW_HIDE;
    ShowWindow(GetDlgItem(dialog, kSaveBasicBox), show);
    ShowWindow(GetDlgItem(dialog, kSaveRbfBox), show);
    const bool scan = state.scanTypeSelected;
    const bool basic = settings.DoSaveBasic != 0;
    EnableWindow(GetDlgItem(dialog, kSaveBasicBox), scan);
    CheckDlgButton(dialog, kSaveBasicBox, scan && basic ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, kSaveRbfBox), scan && basic);
    CheckDlgButton(dialog, kSaveRbfBox, scan && basic && settings.DoSaveRbf ? BST_CHECKED : BST_UNCHECKED);
}

UINT_PTR CALLBACK SaveHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    ScanDocState& state = ScanDoc_State();
    GeneralSettings& settings = App().settings;
    switch (message) {
        case WM_INITDIALOG:
            Locale_LocaliseDialog(dialog, kSaveDialogTemplate);
            RefreshSaveHook(dialog);
            return 0;
        case WM_NOTIFY: {
            const OFNOTIFYA* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
            if (notify->hdr.code != CDN_TYPECHANGE) return 0;
            if (notify->lpOFN->nFilterIndex == 1) state.scanTypeSelected = true;
            if (notify->lpOFN->nFilterIndex == 2) state.scanTypeSelected = false;
            RefreshSaveHook(dialog);
            return 0;
        }
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return 0;
            switch (LOWORD(wParam)) {
                case kSaveAdvancedButton:
                    state.advancedShown = !state.advancedShown;
                    RefreshSaveHook(dialog);
                    break;
                case kSaveBasicBox:
                    settings.DoSaveBasic = Checked(dialog, kSaveBasicBox) ? 1 : 0;
                    RefreshSaveHook(dialog);
                    break;
                case kSaveRbfBox:
                    settings.DoSaveRbf = Checked(dialog, kSaveRbfBox) ? 1 : 0;
                    break;
            }
            return 0;
        case kMsgPanelRefresh:
            RefreshSaveHook(dialog);
            return 0;
    }
    return 0;
}

int32_t WandSerialNumber() {
    AppState& app = App();
    int32_t serial = app.raw ? app.raw->Header.WandSerialNumber : -1;
    if (const auto connected = ScannerLink_Get().connectedWand) {
        int32_t word = 0;
        Matrix4 offset;
        int32_t wand = 0;
        if (connected(wand, word, offset)) serial = wand;
    }
    return serial;
}

}  // namespace

bool ScanDoc_OpenDialog(std::string& path, HWND owner) {
    const std::string filter = Filter({FormatWithApp("FileOpenFilter"), "*.tvn;*.krv"});
    const std::string title = Locale_GetString("FileOpenTitle");
    for (;;) {
        char name[kPathSize];
        CopyName(name, ScanDoc_FileBaseName(ScanDoc_State().lastFilePath));
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.hInstance = Shell().instance;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = name;
        ofn.nMaxFile = kPathSize;
        ofn.lpstrTitle = title.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lpfnHook = OpenHook;
        ofn.lpTemplateName = MAKEINTRESOURCEA(kOpenDialogTemplate);
        BOOL chosen;
        {
            CurrentFolderGuard guard;
            chosen = GetOpenFileNameA(&ofn);
        }
        if (!chosen) {
            ShowNameReadError();
            return false;
        }
        if (const auto found = ScanDoc_FindOpenFile(name, FileExists)) {
            path = *found;
            return true;
        }
        std::string text;
        App_ErrorBox(Locale_FormatString(text, "ErrorFileNotFound", Locale_NewStringVariable("name", name), nullptr),
                     "ErrorFileNotFound");
    }
}

void ScanDoc_OpenCommand() {
    std::string path;
    if (!ScanDoc_OpenDialog(path, Shell().main)) return;
    ScanDoc_Reload(path);
    if (ScanDoc_Services().rebuildPanels) ScanDoc_Services().rebuildPanels();
}

bool ScanDoc_SaveAsDialog() {
    AppState& app = App();
    const bool video = app.mode == kModeCalibration;
    std::string filter, title, defaultName;
    const char* extension;
    if (video) {
        if (const auto refresh = ScannerLink_Get().refreshDeviceText) refresh();
        char name[32];
        std::snprintf(name, sizeof name, "Wand_%03i_", static_cast<int>(WandSerialNumber()));
        defaultName = name;
        title = "Save Video Data";
        filter = Filter({"TAVIR Video File (.vid)", "*.vid"});
        extension = "vid";
    } else {
        defaultName = ScanDoc_FileBaseName(ScanDoc_State().lastFilePath);
        title = Locale_GetString("FileSaveTitle");
        filter = Filter({FormatWithApp("FileSaveTvnFilter"), "*.tvn", FormatWithApp("FileSaveKrvFilter"), "*.krv"});
        extension = "tvn";
    }
    for (;;) {
        char name[kPathSize];
        CopyName(name, defaultName);
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = Shell().main;
        ofn.hInstance = Shell().instance;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = name;
        ofn.nMaxFile = kPathSize;
        ofn.lpstrTitle = title.c_str();
        ofn.lpstrDefExt = extension;
        ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE |
                    OFN_OVERWRITEPROMPT;
        ofn.lpfnHook = SaveHook;
        ofn.lpTemplateName = MAKEINTRESOURCEA(kSaveDialogTemplate);
        BOOL chosen;
        {
            CurrentFolderGuard guard;
            chosen = GetSaveFileNameA(&ofn);
        }
        if (!chosen) {
            ShowNameReadError();
            return false;
        }
        App_SendRepaint(3);
        App_ShowWaitStatus(Locale_GetString("WaitCursorFileWrite"));
        const bool saved = ScanDoc_Save(name, 0);
        App_ShowWaitStatus(nullptr);
        if (saved) return true;
    }
}

// ---- Commands -----------------------------------------------------------------

namespace {

// The scan goes to the sibling design program through an exchange file in
// the temporary folder; the document keeps its own name and marks.
void TransferToSibling() {
    AppState& app = App();
    char folder[MAX_PATH] = "";
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) {
        App_ErrorBox(Locale_GetString("ErrorTempDirectoryNotFound"), "ErrorTempDirectoryNotFound");
        return;
    }
    if (!ScanDoc_Save(std::string(folder) + "\\pellisexch.tvn", 1)) return;
    const std::string& install = app.siblingFolder;
    const bool slash = !install.empty() && (install.back() == '\\' || install.back() == '/');
    const std::string command = "\"" + install + (slash ? "" : "\\") + app.siblingFile + "\"";
    if (WinExec(command.c_str(), SW_SHOWNORMAL) <= 31)
        App_ErrorBox(Locale_GetString("ErrorPellisLaunch"), "ErrorPellisLaunch");
}

// Appends the scan of a chosen file to the current one.
void Concatenate() {
    std::string path;
    if (ScanDoc_OpenDialog(path, Shell().main)) ScanDoc_ConcatenateFile(path);
}

// A development aid: every difference from a chosen file goes to the debug trace.
void LoadCompare() {
    std::string path;
    if (!ScanDoc_OpenDialog(path, Shell().main)) return;
    for (const std::string& line : ScanDoc_CompareFile(path)) OutputDebugStringA(line.c_str());
}

// A development aid: the scan's facets coded and decoded again in place.
void FacetRoundTrip() {
    RawData* raw = App().raw;
    if (!raw) return;
    uint8_t* bytes = nullptr;
    int32_t count = 0;
    if (FacetCoder_Compress(*raw, &bytes, &count)) FacetCoder_DecompressMesh(*raw, bytes, count);
    App_SendRepaint(3);
    std::free(bytes);
}

}  // namespace

bool ScanDoc_Command(WORD id) {
    switch (id) {
        case 40052:
            ScanDoc_Unload(1);
            return true;
        case 40265:
            ScanDoc_OpenCommand();
            return true;
        case 40089:
            ScanDoc_SaveAsDialog();
            return true;
        case 40240:
            TransferToSibling();
            return true;
        case 40318:
            App_SetMode(kModeScan);
            Concatenate();
            ScanDoc_ResetDerivedState();
            return true;
        case 40317:
            Concatenate();
            return true;
        case 40278:
            LoadCompare();
            return true;
        case 40260:
            ScanDoc_PurgeHiddenData();
            return true;
        case 40259:
            FacetRoundTrip();
            return true;
    }
    return false;
}

void ScanDoc_ConnectShell() {
    ScanDocServices& services = ScanDoc_Services();
    services.ask = [](const std::string& text) {
        return static_cast<int>(MessageDlg_Run(App_GetProductName(), text.c_str()));
    };
    services.saveAsDialog = ScanDoc_SaveAsDialog;
    services.waitStatus = [](const std::string& text) { App_ShowWaitStatus(text.empty() ? nullptr : text.c_str()); };
    // The panels' rows are made again from the scan: applying rows of the
    // scan as it was to a purged or reloaded one would hide its sweeps.
    services.rebuildPanels = [] {
        ListPanels_Rebuild();
        HWND tarrel = Shell().modeless[kSlotTarrelPanel];
        if (tarrel && IsWindow(tarrel)) SendMessageA(tarrel, kMsgPanelRefresh, 0, 0);
    };
    services.trimHeap = [] { HeapCompact(GetProcessHeap(), 0); };
    ScanDoc_InstallHooks();
}
