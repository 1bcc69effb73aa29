#include "app/ui/export_dialogs_win32.h"

#include <commdlg.h>

#include <cstring>

#include "app/base/app_messages.h"
#include "app/export/export_driver.h"
#include "app/export/export_formats.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"

namespace {

// The panels redraw their controls from the settings on this message.
constexpr UINT kMsgExportRefresh = kMsgPanelRefresh;

HINSTANCE Instance() { return Shell().instance ? Shell().instance : GetModuleHandleA(nullptr); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
void Check(HWND dialog, int id, bool on) { CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED); }
void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

ExportDlgRecord* RecordOf(HWND dialog) {
    return reinterpret_cast<ExportDlgRecord*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The frame radio buttons of both panels: tracker 0, screen 1, box 2.
void ShowFrame(HWND panel, int32_t frame) {
    Check(panel, kExportTracker, frame == 0);
    Check(panel, kExportScreen, frame == 1);
    Check(panel, kExportBoundingBox, frame != 0 && frame != 1);
}

int32_t ReadFrame(HWND panel, int32_t old) {
    if (Checked(panel, kExportTracker)) return 0;
    if (Checked(panel, kExportScreen)) return 1;
    if (Checked(panel, kExportBoundingBox)) return 2;
    return old;
}

void ShowLineEnd(HWND panel, bool text, int32_t endOfLine) {
    Check(panel, kExportCrlf, text && endOfLine != 1 && endOfLine != 2);
    Check(panel, kExportLf, text && endOfLine == 1);
    Check(panel, kExportCr, text && endOfLine == 2);
    for (int id : {kExportCrlf, kExportLf, kExportCr}) Enable(panel, id, text);
}

int32_t ReadLineEnd(HWND panel, int32_t old) {
    if (Checked(panel, kExportCrlf)) return 0;
    if (Checked(panel, kExportLf)) return 1;
    if (Checked(panel, kExportCr)) return 2;
    return old;
}

// ---- The export panel -------------------------------------------------

void RefreshExportPanel(HWND panel, ExportDlgRecord& record) {
    GeneralSettings& s = *record.settings;
    ExportFormatOptions* block = Export_FormatOptions(s);
    if (!block) return;
    const ExportControlFreedom free = ExportDlg_ApplyFormatRules(s.ExportFileType, *block);
    if (block->ExportSeparateSweeps || block->ExportUsingTextureMap) block->ExportByColour = 0;
    const bool mesh = block->ExportDataType == 1;
    const bool text = block->ExportAsText != 0;
    ShowFrame(panel, block->ExportCoordinateSystem);
    Check(panel, kExportCloud, !mesh);
    Check(panel, kExportMesh, mesh);
    Check(panel, kExportSeparate, block->ExportSeparateSweeps != 0);
    Check(panel, kExportBinary, !text);
    Check(panel, kExportText, text);
    ShowLineEnd(panel, text, block->EndOfLine);
    // A format that fixes the data type shows it checked and greyed.
    Enable(panel, kExportCloud, free.dataType);
    Enable(panel, kExportMesh, free.dataType);
    Enable(panel, kExportBinary, !text || free.format);
    Enable(panel, kExportText, text || free.format);
    Enable(panel, kExportMoreOptions, free.more);
    Enable(panel, kExportSeparate, free.separate);
    ShowWindow(GetDlgItem(panel, kExportSeparate), record.surface ? SW_HIDE : SW_SHOW);
}

void ReadExportPanel(HWND panel, ExportDlgRecord& record) {
    ExportFormatOptions* block = Export_FormatOptions(*record.settings);
    if (!block) return;
    block->ExportCoordinateSystem = ReadFrame(panel, block->ExportCoordinateSystem);
    block->ExportDataType = Checked(panel, kExportCloud) ? 0 : 1;
    block->ExportAsText = Checked(panel, kExportText) ? 1 : 0;
    block->ExportSeparateSweeps = Checked(panel, kExportSeparate) ? 1 : 0;
    block->EndOfLine = ReadLineEnd(panel, block->EndOfLine);
}

void SetDefaultExtension(HWND panel, const char* extension) {
    SendMessageA(GetParent(panel), CDM_SETDEFEXT, 0, reinterpret_cast<LPARAM>(extension));
}

struct SaveCall {
    OPENFILENAMEA* ofn;
};

int CallSaveDialog(void* argument) { return GetSaveFileNameA(static_cast<SaveCall*>(argument)->ofn) ? 1 : 0; }

// ---- Option dialogs ---------------------------------------------------

constexpr int kOptNormals = 1054, kOptGreyscale = 1055;
constexpr int kDxfFaces = 1113, kDxfPolylines = 1114;
constexpr int kIgesNurbs = 1115, kIgesCopious = 1116;
constexpr int kStlSwap = 1120;
constexpr int kObjTexture = 1529, kObjPerFacet = 1530, kObjGroups = 1531, kObjColourGroup = 1532;

struct OptionRun {
    ExportDlgRecord* record;
    int32_t type;
    int templateId;
    ExportFormatOptions work;  // the Wavefront dialog's values until OK
};

OptionRun* RunOf(HWND dialog) { return reinterpret_cast<OptionRun*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

void RefreshWavefront(HWND dialog, OptionRun& run) {
    const ExportFormatOptions& w = run.work;
    const bool grey = w.ExportAlbedos != 0;
    Check(dialog, kOptNormals, w.ExportNormals != 0);
    Check(dialog, kOptGreyscale, grey);
    Check(dialog, kObjTexture, grey && w.ExportUsingTextureMap);
    Check(dialog, kObjGroups, grey && !w.ExportUsingTextureMap && w.ExportByColour);
    Check(dialog, kObjPerFacet, grey && !w.ExportUsingTextureMap && !w.ExportByColour);
    for (int id : {kObjColourGroup, kObjTexture, kObjPerFacet, kObjGroups}) Enable(dialog, id, grey);
    const bool groupsOffered = run.record->surface || !w.ExportSeparateSweeps;
    ShowWindow(GetDlgItem(dialog, kObjGroups), groupsOffered ? SW_SHOW : SW_HIDE);
}

void ShowOptions(HWND dialog, OptionRun& run) {
    GeneralSettings& s = *run.record->settings;
    const ExportFormatOptions& o = s.ExportOptions[run.type];
    switch (run.type) {
        case kExportDxf:
            Check(dialog, kDxfFaces, s.ExportDxfMeshAs3DFACEs != 0);
            Check(dialog, kDxfPolylines, s.ExportDxfMeshAs3DFACEs == 0);
            break;
        case kExportIges: {
            const bool copious = Checked(dialog, kIgesCopious);
            Check(dialog, kOptNormals, copious && o.ExportNormals);
            Enable(dialog, kOptNormals, copious);
            break;
        }
        case kExportStl:
            Check(dialog, kStlSwap, o.ExportStlBinaryByteSwapped == 1);
            break;
        case kExportMatlab:
        case kExportPly:
            Check(dialog, kOptNormals, o.ExportNormals != 0);
            Check(dialog, kOptGreyscale, o.ExportAlbedos != 0);
            break;
        case kExportWavefront:
            RefreshWavefront(dialog, run);
            break;
    }
}

void StoreOptions(HWND dialog, OptionRun& run) {
    GeneralSettings& s = *run.record->settings;
    ExportFormatOptions& o = s.ExportOptions[run.type];
    switch (run.type) {
        case kExportDxf:
            s.ExportDxfMeshAs3DFACEs = Checked(dialog, kDxfFaces) ? 1 : 0;
            break;
        case kExportIges:
            s.ExportIgesMeshAs106 = Checked(dialog, kIgesCopious) ? 1 : 0;
            // The normals choice belongs to copious data; it is kept while
            // the patches are chosen.
            if (s.ExportIgesMeshAs106) o.ExportNormals = Checked(dialog, kOptNormals) ? 1 : 0;
            break;
        case kExportStl:
            o.ExportStlBinaryByteSwapped = Checked(dialog, kStlSwap) ? 1 : 0;
            break;
        case kExportMatlab:
        case kExportPly:
            o.ExportNormals = Checked(dialog, kOptNormals) ? 1 : 0;
            o.ExportAlbedos = Checked(dialog, kOptGreyscale) ? 1 : 0;
            break;
        case kExportWavefront:
            o.ExportNormals = run.work.ExportNormals;
            o.ExportAlbedos = run.work.ExportAlbedos;
            o.ExportByColour = run.work.ExportByColour;
            o.ExportUsingTextureMap = run.work.ExportUsingTextureMap;
            break;
    }
}

INT_PTR CALLBACK OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            OptionRun& run = *reinterpret_cast<OptionRun*>(lParam);
            Locale_LocaliseDialog(dialog, run.templateId);
            if (run.type == kExportIges) {
                const bool copious = run.record->settings->ExportIgesMeshAs106 != 0;
                Check(dialog, kIgesCopious, copious);
                Check(dialog, kIgesNurbs, !copious);
            }
            ShowOptions(dialog, run);
            return TRUE;
        }
        case WM_COMMAND: {
            OptionRun* run = RunOf(dialog);
            const int id = LOWORD(wParam);
            if (!run) return FALSE;
            if (id == IDOK) {
                StoreOptions(dialog, *run);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            if (run->type == kExportIges && (id == kIgesNurbs || id == kIgesCopious)) ShowOptions(dialog, *run);
            if (run->type == kExportWavefront) {
                ExportFormatOptions& w = run->work;
                if (id == kOptNormals) w.ExportNormals = Checked(dialog, kOptNormals) ? 1 : 0;
                if (id == kOptGreyscale) {
                    w.ExportAlbedos = Checked(dialog, kOptGreyscale) ? 1 : 0;
                    if (!w.ExportAlbedos) w.ExportByColour = w.ExportUsingTextureMap = 0;
                }
                if (id == kObjTexture) w.ExportUsingTextureMap = 1, w.ExportByColour = 0;
                if (id == kObjPerFacet) w.ExportUsingTextureMap = 0, w.ExportByColour = 0;
                if (id == kObjGroups) w.ExportUsingTextureMap = 0, w.ExportByColour = 1;
                RefreshWavefront(dialog, *run);
            }
            return TRUE;
        }
    }
    return FALSE;
}

// ---- The large-polyline question -----------------------------------------

constexpr int kDxfQuestionText = 1280, kDxfDontAsk = 1354, kDxfSaveFaces = 1355, kDxfSavePolyline = 1356;

INT_PTR CALLBACK DxfTypeQuestionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(dialog, DWLP_USER, lParam);
            Locale_LocaliseDialog(dialog, kDxfQuestionTemplate);
            Dlg_FitControl(dialog, kDxfQuestionText);
            const int32_t stored = reinterpret_cast<GeneralSettings*>(lParam)->Warning.DxfSaveLarge;
            if (stored == 1) PostMessageA(dialog, WM_COMMAND, kDxfSavePolyline, 0);
            if (stored == 2) PostMessageA(dialog, WM_COMMAND, kDxfSaveFaces, 0);
            return TRUE;
        }
        case WM_COMMAND: {
            GeneralSettings* s = reinterpret_cast<GeneralSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
            const int id = LOWORD(wParam);
            if (id == kDxfSavePolyline || id == kDxfSaveFaces) {
                const int answer = id == kDxfSavePolyline ? 1 : 2;
                if (s && Checked(dialog, kDxfDontAsk)) s->Warning.DxfSaveLarge = answer;
                EndDialog(dialog, answer);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        }
    }
    return FALSE;
}

// ---- The stylus panel ------------------------------------------------------

constexpr int kStylusPoints = 1295;  // .. 1298: points, normals, Euler angles, matrix

void RefreshStylusPanel(HWND panel, GeneralSettings& s) {
    const ExportFormatOptions& block = s.ExportOptions[kExportStylus];
    ShowFrame(panel, block.ExportCoordinateSystem);
    for (int t = 0; t < 4; ++t) Check(panel, kStylusPoints + t, s.Stylus.ExportType == t);
    // Stylus data are text only.
    Check(panel, kExportBinary, false);
    Check(panel, kExportText, true);
    Enable(panel, kExportBinary, false);
    Enable(panel, kExportMoreOptions, false);
    ShowLineEnd(panel, true, block.EndOfLine);
}

void ReadStylusPanel(HWND panel, GeneralSettings& s) {
    ExportFormatOptions& block = s.ExportOptions[kExportStylus];
    block.ExportCoordinateSystem = ReadFrame(panel, block.ExportCoordinateSystem);
    for (int t = 0; t < 4; ++t)
        if (Checked(panel, kStylusPoints + t)) s.Stylus.ExportType = t;
    block.ExportAsText = 1;
    block.EndOfLine = ReadLineEnd(panel, block.EndOfLine);
}

RawData& Scan() {
    static RawData empty{};
    return App().raw ? *App().raw : empty;
}

bool AskStylusToo() {
    const std::string text = Locale_GetString("FileExportStylusQuestion");
    return MessageBoxA(Shell().main, text.c_str(), App_GetProductName(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

}  // namespace

// ---- The export Save dialog --------------------------------------------------

UINT_PTR CALLBACK ExportDlg_HookProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const OPENFILENAMEA* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
            SetWindowLongPtrA(panel, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
            Locale_LocaliseDialog(panel, kExportPanelTemplate);
            if (ExportDlgRecord* record = RecordOf(panel)) RefreshExportPanel(panel, *record);
            return TRUE;
        }
        case WM_NOTIFY: {
            ExportDlgRecord* record = RecordOf(panel);
            const OFNOTIFYA* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
            if (record && notify->hdr.code == CDN_TYPECHANGE) {
                const int32_t type = ExportDlg_TypeFromFilterIndex(record->surface, notify->lpOFN->nFilterIndex);
                record->settings->ExportFileType = type;
                SetDefaultExtension(panel, ExportFormat_Extension(type));
                SendMessageA(panel, kMsgExportRefresh, 0, 0);
            }
            return 0;
        }
        case WM_COMMAND: {
            ExportDlgRecord* record = RecordOf(panel);
            if (!record) return 0;
            if (LOWORD(wParam) == kExportMoreOptions) {
                HWND save = GetParent(panel);
                ExportDlg_RunMoreOptions(save, *record);
                SetFocus(save);
                return 0;
            }
            if (HIWORD(wParam) == BN_CLICKED) {
                ReadExportPanel(panel, *record);
                RefreshExportPanel(panel, *record);
            }
            return 0;
        }
        default:
            if (message == kMsgExportRefresh) {
                if (ExportDlgRecord* record = RecordOf(panel)) RefreshExportPanel(panel, *record);
                return 0;
            }
            return 0;
    }
}

int ExportDlg_MoreOptionsTemplate(int32_t type) {
    switch (type) {
        case kExportDxf:
            return 316;
        case kExportIges:
            return 312;
        case kExportMatlab:
            return 314;
        case kExportPly:
            return 419;
        case kExportStl:
            return 313;
        case kExportWavefront:
            return 317;
        default:
            return 0;
    }
}

bool ExportDlg_RunMoreOptions(HWND owner, ExportDlgRecord& record) {
    OptionRun run{&record, record.settings->ExportFileType, 0, {}};
    run.templateId = ExportDlg_MoreOptionsTemplate(run.type);
    if (!run.templateId) return false;
    run.work = record.settings->ExportOptions[run.type];
    DialogBoxParamA(Instance(), MAKEINTRESOURCEA(run.templateId), owner, OptionsDialogProc,
                    reinterpret_cast<LPARAM>(&run));
    return true;
}

int ExportDlg_Run(GeneralSettings& settings, const std::string& rememberedPath, bool surface, std::string& path) {
    ExportDlgRecord record{surface, &settings};
    char file[MAX_PATH] = "";
    const std::string initial = Export_InitialFileName(rememberedPath);
    std::strncpy(file, initial.c_str(), sizeof file - 1);
    const std::string filters = ExportDlg_AppendFilters(surface);
    // A stored type that is not offered becomes the type of the filter shown.
    const int filter = ExportDlg_InitialFilter(surface, settings.ExportFileType);
    const std::string title = Locale_GetString(surface ? "FileExportSurfaceTitle" : "FileExportSweepsTitle");

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = Shell().main;
    ofn.hInstance = Instance();
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(filter);
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title.c_str();
    ofn.lpstrDefExt = ExportFormat_Extension(settings.ExportFileType);
    ofn.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
    ofn.lpfnHook = ExportDlg_HookProc;
    ofn.lpTemplateName = MAKEINTRESOURCEA(kExportPanelTemplate);
    ofn.lCustData = reinterpret_cast<LPARAM>(&record);
    SaveCall call{&ofn};
    const int chosen = Dir_CheckCurrent(CallSaveDialog, &call);
    if (chosen) path = file;
    return chosen;
}

int Export_AskDxfPolyline(GeneralSettings& settings) {
    return static_cast<int>(DialogBoxParamA(Instance(), MAKEINTRESOURCEA(kDxfQuestionTemplate), Shell().main,
                                            DxfTypeQuestionProc, reinterpret_cast<LPARAM>(&settings)));
}

int Export_Command(int surface) {
    AppState& app = App();
    for (;;) {
        std::string path;
        if (!ExportDlg_Run(app.settings, Export_RememberedPath(), surface != 0, path)) return 0;
        App_ShowWaitStatus(Locale_GetString("WaitCursorFileWrite"));
        if (surface) Surface_DropStale(Scan().Timestamp, app.basic, app.rbf);
        SurfaceRecord* current = app.shownSurface;
        std::string message;
        const int written = Export_Scan(Scan(), current, surface != 0, path, app.settings, app.view, message);
        App_ShowWaitStatus(nullptr);
        if (!written) {
            if (!message.empty()) App_ErrorBox(message);
            continue;
        }
        Export_RememberPath(path);
        if (surface && current) current->Saved = 1;
        if (Scan().Stylus.VisibleCount > 0 && AskStylusToo()) Export_StylusPoints(surface);
        return 1;
    }
}

// ---- The stylus Save dialog ----------------------------------------------------

UINT_PTR CALLBACK StylusExportDlg_HookProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    GeneralSettings* s = reinterpret_cast<GeneralSettings*>(GetWindowLongPtrA(panel, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            const OPENFILENAMEA* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
            SetWindowLongPtrA(panel, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
            Locale_LocaliseDialog(panel, kStylusPanelTemplate);
            RefreshStylusPanel(panel, *reinterpret_cast<GeneralSettings*>(ofn->lCustData));
            return TRUE;
        }
        case kMsgPanelRefresh:
            if (s) RefreshStylusPanel(panel, *s);
            return TRUE;
        case WM_NOTIFY: {
            const OFNOTIFYA* notify = reinterpret_cast<const OFNOTIFYA*>(lParam);
            if (s && notify->hdr.code == CDN_TYPECHANGE) {
                // The filters run in the order of the formats, from 1.
                s->Stylus.ExportFormat = static_cast<int32_t>(notify->lpOFN->nFilterIndex) - 1;
                SetDefaultExtension(panel, s->Stylus.ExportFormat == 1 ? "txt" : "csv");
            }
            return 0;
        }
        case WM_COMMAND:
            if (s && HIWORD(wParam) == BN_CLICKED) {
                ReadStylusPanel(panel, *s);
                RefreshStylusPanel(panel, *s);
            }
            return 0;
    }
    return 0;
}

int Export_StylusPoints(int surface) {
    AppState& app = App();
    GeneralSettings& s = app.settings;
    for (;;) {
        char file[MAX_PATH] = "";
        std::strncpy(file, Export_InitialFileName(Export_RememberedPath()).c_str(), sizeof file - 1);
        std::string filters = std::string(Locale_GetString("FileExportStylusCsvFilter")) + '\0' + "*.csv" + '\0' +
                              Locale_GetString("FileExportStylusAsciiFilter") + '\0' + "*.txt" + '\0' + '\0';
        const std::string title = Locale_GetString("FileExportStylusTitle");
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = Shell().main;
        ofn.hInstance = Instance();
        ofn.lpstrFilter = filters.c_str();
        ofn.nFilterIndex = s.Stylus.ExportFormat == 1 ? 2 : 1;
        ofn.lpstrFile = file;
        ofn.nMaxFile = sizeof file;
        ofn.lpstrTitle = title.c_str();
        ofn.lpstrDefExt = s.Stylus.ExportFormat == 1 ? "txt" : "csv";
        ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK |
                    OFN_ENABLETEMPLATE;
        ofn.lpfnHook = StylusExportDlg_HookProc;
        ofn.lpTemplateName = MAKEINTRESOURCEA(kStylusPanelTemplate);
        ofn.lCustData = reinterpret_cast<LPARAM>(&s);
        SaveCall call{&ofn};
        // The panel's hook keeps Stylus.ExportFormat with the chosen filter.
        if (!Dir_CheckCurrent(CallSaveDialog, &call)) return 0;

        App_ShowWaitStatus(Locale_GetString("WaitCursorFileWrite"));
        SurfaceRecord* current = app.shownSurface;
        const bool inverted = surface && current && current->Inverted;
        std::string message;
        const int written = Export_StylusData(s, Scan().Stylus, surface != 0, inverted, app.view, file, message);
        App_ShowWaitStatus(nullptr);
        if (!written) {
            App_ErrorBox(message);
            continue;
        }
        Export_RememberPath(file);
        if (surface && current) current->Saved = 1;
        return 1;
    }
}

// ---- Commands -----------------------------------------------------------------

namespace {

// Export of the basic (kind 1) or the RBF (kind 2) surface: it becomes the
// surface shown, and is exported when it holds a point.
void ExportSurfaceOfKind(int32_t kind) {
    AppState& app = App();
    app.settings.CombineSweeps = kind;
    app.shownSurface = kind == 1 ? &app.basic : &app.rbf;
    App_SendRepaint(3);
    if (app.shownSurface->NumPoints >= 1) Export_Command(1);
}

}  // namespace

bool Export_HandleCommand(WORD id) {
    const bool surfaceMode = App().mode == kModeSurface;
    switch (id) {
        case 40004:
            Export_Command(surfaceMode ? 1 : 0);
            return true;
        case 40129:
            Export_Command(0);
            return true;
        case 40267:
            ExportSurfaceOfKind(1);
            return true;
        case 40261:
            ExportSurfaceOfKind(2);
            return true;
        case 40148:
            Export_StylusPoints(surfaceMode ? 1 : 0);
            return true;
    }
    return false;
}

void Export_InstallHooks() {
    ExportHooks& hooks = Export_Hooks();
    hooks.productName = [] { return std::string(App_GetProductName()); };
    // The question is the user's, on the interface thread, and keeps its
    // answer in the program's settings. The batch thread exports with its
    // item's own copy: it takes the answer stored there and never opens a
    // window nor touches the program's settings.
    const DWORD interfaceThread = GetCurrentThreadId();
    hooks.askDxfPolyline = [interfaceThread](const GeneralSettings& exported) {
        if (GetCurrentThreadId() == interfaceThread) return Export_AskDxfPolyline(App().settings);
        return exported.Warning.DxfSaveLarge == 2 ? 2 : 1;
    };
    // The close prompt's "export the surface first": the surface it asks
    // about is the one shown by then.
    ScanDoc_Services().exportSurface = [](int32_t) { return Export_Command(1) != 0; };
}
