#include "app/ui/snapshot_win32.h"

#include "app/base/app_messages.h"
#include "app/files/png_image.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"
#include "app/ui/view_window_win32.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kSaveTemplate = 426;
constexpr int kViewSavedBox = 1640, kAutoNumberBox = 1641, kCropBox = 1642, kInfoBox = 1643, kAdvancedButton = 1346;

SnapshotDialog& Dialog() {
    static SnapshotDialog dialog;
    return dialog;
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ShowAdvanced(HWND dialog, const SnapshotOptions& options) {
    for (int id : {kAutoNumberBox, kCropBox, kInfoBox})
        ShowWindow(GetDlgItem(dialog, id), options.advancedShown ? SW_SHOW : SW_HIDE);
    SetDlgItemTextA(
        dialog, kAdvancedButton,
        Locale_GetString(options.advancedShown ? "FileSaveHideAdvancedLabel" : "FileSaveShowAdvancedLabel"));
}

UINT_PTR CALLBACK SnapshotSaveHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const OPENFILENAMEA* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
        SetWindowLongPtrA(dialog, GWLP_USERDATA, static_cast<LONG_PTR>(ofn->lCustData));
        SnapshotOptions* options = reinterpret_cast<SnapshotOptions*>(ofn->lCustData);
        Locale_LocaliseDialog(dialog, kSaveTemplate);
        CheckDlgButton(dialog, kViewSavedBox, options->viewSaved ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kAutoNumberBox, options->autoNumber ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kCropBox, options->cropToData ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, kInfoBox, options->appendInfo ? BST_CHECKED : BST_UNCHECKED);
        ShowAdvanced(dialog, *options);
        return 0;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        SnapshotOptions* options = reinterpret_cast<SnapshotOptions*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        if (!options) return 0;
        switch (LOWORD(wParam)) {
            case kViewSavedBox:
                options->viewSaved = !options->viewSaved;
                break;
            case kAutoNumberBox:
                options->autoNumber = !options->autoNumber;
                break;
            case kCropBox:
                options->cropToData = !options->cropToData;
                break;
            case kInfoBox:
                options->appendInfo = !options->appendInfo;
                break;
            case kAdvancedButton:
                options->advancedShown = !options->advancedShown;
                ShowAdvanced(dialog, *options);
                break;
        }
    }
    return 0;
}

}  // namespace

void Snapshot_SetDialog(SnapshotDialog dialog) { Dialog() = std::move(dialog); }

bool RunSnapshotSaveDialog(HWND owner, std::string& path, SnapshotOptions& options, DWORD& error) {
    error = 0;
    if (Dialog()) return Dialog()(owner, path, options, error);
    char file[1024];
    lstrcpynA(file, path.c_str(), sizeof file);
    // The filter is "text\0*.png\0\0".
    std::string filter = Locale_GetString("FileSavePngFilter");
    filter.push_back('\0');
    filter += "*.png";
    filter.push_back('\0');
    filter.push_back('\0');
    SnapshotOptions copy = options;
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = Shell().instance;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = Locale_GetString("FileSaveSnapshotTitle");
    ofn.lpstrDefExt = "png";
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    ofn.lpfnHook = SnapshotSaveHook;
    ofn.lpTemplateName = MAKEINTRESOURCEA(kSaveTemplate);
    ofn.lCustData = reinterpret_cast<LPARAM>(&copy);
    if (!GetSaveFileNameA(&ofn)) {
        error = CommDlgExtendedError();
        return false;
    }
    copy.lastName = options.lastName;
    options = copy;
    path = file;
    return true;
}

bool Text_RenderToBitmap(int32_t width, Image& image, const std::string& text) {
    if (width <= 10) width = 11;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    const int height = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Microsoft Sans Serif");
    HGDIOBJ oldFont = SelectObject(dc, font);
    RECT box = {5, 5, width - 5, 6};
    DrawTextA(dc, text.c_str(), -1, &box, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    const int32_t h = box.bottom + 5;
    void* bits = nullptr;
    HBITMAP bitmap = Gdi_CreatePicture32(width, h, &bits);
    bool ok = bitmap && bits && Image_Allocate(image, kImageRgba, width, h);
    if (ok) {
        HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
        RECT all = {0, 0, width, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        RECT area = {5, 5, width - 5, h};
        DrawTextA(dc, text.c_str(), -1, &area, DT_WORDBREAK | DT_EXPANDTABS);
        GdiFlush();
        const uint8_t* src = static_cast<const uint8_t*>(bits);
        for (int32_t i = 0; i < width * h; ++i) {
            image.pixels[i * 4 + 0] = src[i * 4 + 2];
            image.pixels[i * 4 + 1] = src[i * 4 + 1];
            image.pixels[i * 4 + 2] = src[i * 4 + 0];
            image.pixels[i * 4 + 3] = 255;
        }
        SelectObject(dc, oldBitmap);
    }
    if (bitmap) DeleteObject(bitmap);
    SelectObject(dc, oldFont);
    DeleteObject(font);
    DeleteDC(dc);
    return ok;
}

bool Snapshot_WriteImage(const std::string& path, const std::string* infoText, const Image& view, uint32_t background) {
    Image picture, text, composed;
    // Cropping finds the data by its alpha, before the background fills it.
    bool ok = Snapshot_Compose(view, nullptr, Snapshot_Options().cropToData, picture);
    if (ok) Snapshot_OverBackground(picture, background);
    // The text is as wide as the picture it stands under.
    if (ok && infoText)
        ok = Text_RenderToBitmap(picture.width, text, *infoText) && Snapshot_Compose(picture, &text, false, composed);
    ok = ok && Png_SaveFile(infoText ? composed : picture, path) == 1;
    Image_Free(&picture);
    Image_Free(&text);
    Image_Free(&composed);
    return ok;
}

namespace {

// The view drawn once more for a capture, as an RGBA picture.
bool CaptureView(Image& image) {
    HWND view = Shell().view;
    if (!view) return false;
    Graph_RequestCapture(view);
    View_SendRepaint(3);
    return Graph_TakeCapture(view, image);
}

}  // namespace

void SaveSnapshot() {
    AppState& app = App();
    SnapshotOptions& options = Snapshot_Options();
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    Image image;
    if (!CaptureView(image)) {
        App_ErrorBox(Locale_GetString("ErrorSnapshotSave"), "ErrorSnapshotSave");
        return;
    }
    std::string path = options.lastName;
    if (path.empty()) {
        char name[1024];
        wsprintfA(name, "%s.png", Locale_GetString("FileSaveSnapshotDefaultFilename"));
        path = name;
    }
    const std::string info = FormatSnapshotInfo(app.mode, app.settings, app.raw, app.basic, app.rbf);
    bool quick = ctrl && options.autoNumber && !FileExists(path);
    for (;;) {
        if (!quick) {
            DWORD error = 0;
            if (!RunSnapshotSaveDialog(Shell().main, path, options, error)) {
                if (error != 0) App_ErrorBox(Locale_GetString("ErrorFileNameRead"), "ErrorFileNameRead");
                break;
            }
        }
        quick = false;
        if (!Snapshot_WriteImage(path, options.appendInfo ? &info : nullptr, image, app.settings.BackgroundColour)) {
            App_ErrorBox(Locale_GetString("ErrorSnapshotSave"), "ErrorSnapshotSave");
            continue;
        }
        options.lastName = path;
        if (options.viewSaved) {
            const size_t slash = path.find_last_of("\\/");
            const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
            ShellExecuteA(Shell().main, "open", path.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
        }
        if (options.autoNumber) options.lastName = Snapshot_NextName(path);
        break;
    }
    Image_Free(&image);
}

void CaptureImageCommand() {
    const char* script = "C:\\Temp\\Tolvaran Image Capture.vbs";
    if (!FileExists(script)) return;
    Image image;
    if (CaptureView(image) && Png_SaveFile(image, "C:\\Temp\\CapturedScanImage.png") == 1)
        ShellExecuteA(Shell().main, "open", script, nullptr, "C:\\Temp", SW_SHOW);
    Image_Free(&image);
}
