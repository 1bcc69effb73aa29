// The Generate Surface window: edits the surface settings, shows the scan's
// and both surfaces' statistics, marks stale surfaces and hands the chosen
// surface to its apply callback. It builds nothing itself.
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_number_format.h"
#include "app/scan/raw_data.h"
#include "app/ui/app_state.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/commands_win32.h"
#include "app/ui/dialog_tooltips_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/generate_surface.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum : int {
    kApplyBasic = 102,
    kApplyBasicShort = 1346,
    kApplyRbf = 1460,
    kCloseButton = 1476,
    kInvertAlign = 1488,
    kHelpButton = 1484,
    kResetButton = 1158,
    kSmoothing = 1422,
    kDecimation = 1420,
    kLimitCheck = 1434,
    kLimitEdit = 1421,
    kSimplifyCheck = 1043,
    kSimplifyEdit = 1190,
    kAccuracy = 1423,
    kResolution = 1424,
    kUseStylus = 1466,
    kMemoryAuto = 1478,
    kMemoryEdit = 1425,
    kMemoryLabel = 1446,
    kEdgeList = 1426,
    kMargin = 1427,
    kRbfSimplify = 1428,
    kTargetError = 1435,
    kTargetFaces = 1436,
    kTargetPoints = 1437,
    kErrorEdit = 1429,
    kFacesEdit = 1430,
    kPointsEdit = 1431,
    kRequiresBasic = 1461,
    kSweepsList = 1432,
    kBasicList = 1433,
    kRbfList = 1196,
};

// The labels that follow their RBF control's enabled state.
const int kRbfLabels[] = {1442, 1443, 1599, 1444, 1445, 1598};

struct DialogRefs {
    HWND window = nullptr;
    GeneralSettings* settings = nullptr;
    const GeneralSettings* defaults = nullptr;
    SurfacePairRefs surfaces = {nullptr, nullptr, nullptr};
    RawData* raw = nullptr;
    ViewSettings* view = nullptr;
    void (*apply)() = nullptr;
    bool modal = false;
    INT_PTR modalResult = 0;
};

DialogRefs g_dlg;

GeneralSettings& S() { return *g_dlg.settings; }
SurfaceRecord& Basic() { return *g_dlg.surfaces.basic; }
SurfaceRecord& Rbf() { return *g_dlg.surfaces.rbf; }

bool BasicChanged() { return GenSurf_BasicParamsChanged(S(), Basic()); }

void Enable(HWND w, int id, bool on) { EnableWindow(GetDlgItem(w, id), on ? TRUE : FALSE); }
void Show(HWND w, int id, bool on) { ShowWindow(GetDlgItem(w, id), on ? SW_SHOW : SW_HIDE); }
void Check(HWND w, int id, bool on) { CheckDlgButton(w, id, on ? BST_CHECKED : BST_UNCHECKED); }

std::string ItemText(HWND w, int id) {
    char text[256] = "";
    GetDlgItemTextA(w, id, text, sizeof text);
    return text;
}

void SetFloat(HWND w, int id, float value) { SetDlgItemTextA(w, id, GenSurf_FormatFloat(value).c_str()); }

void SetUnsigned(HWND w, int id, int32_t value) {
    SetDlgItemTextA(w, id, std::to_string(static_cast<uint32_t>(value)).c_str());
}

// ---- Statistics ---------------------------------------------------------

void AddLine(HWND list, const char* labelKey, const std::string& value) {
    char line[128];
    std::snprintf(line, sizeof line, "%.64s\t%s", Locale_GetString(labelKey), value.c_str());
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

std::string Integer(int32_t value) {
    char text[64] = "";
    Locale_FormatInteger(value, text, sizeof text);
    return text;
}

void PrepareList(HWND list) {
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    INT stop = 75;
    SendMessageA(list, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
}

void SurfaceLines(HWND list, const SurfaceRecord& s) {
    PrepareList(list);
    if (s.NumPoints <= 0) return;
    AddLine(list, "GenerateSurfaceStatisticsPoints", Integer(s.NumPoints));
    AddLine(list, "GenerateSurfaceStatisticsTriangles", Integer(s.NumFacets));
    char area[64] = "";
    Locale_FormatNumber(1, area, sizeof area, s.Area / 100.0);
    AddLine(list, "GenerateSurfaceStatisticsArea", area);
}

void ShowEditValues(HWND w) {
    const GeneralSettings& s = S();
    SetFloat(w, kSmoothing, s.BasicParams.FilterRadius);
    SetFloat(w, kDecimation, s.BasicParams.ExportResolutionClip);
    SetUnsigned(w, kLimitEdit, s.BasicParams.ObjectLimit);
    SetFloat(w, kSimplifyEdit, s.BasicParams.SimplifyError);
    SetFloat(w, kAccuracy, s.RbfParams.RbfAccuracy);
    SetFloat(w, kResolution, s.RbfParams.RbfResolution);
    if (s.RbfParams.RbfAutoMemoryLimit)
        SetDlgItemTextA(w, kMemoryEdit, Locale_GetString("GenerateSurfaceRbfMemoryAuto"));
    else
        SetUnsigned(w, kMemoryEdit, s.RbfParams.RbfMemoryToUse);
    SetFloat(w, kMargin, s.RbfParams.RbfExtraTrim);
    SetFloat(w, kErrorEdit, s.RbfParams.RbfSimpError);
    SetUnsigned(w, kFacesEdit, s.RbfParams.RbfSimpNFaces);
    SetUnsigned(w, kPointsEdit, s.RbfParams.RbfSimpNPoints);
    SendDlgItemMessageA(w, kEdgeList, CB_SETCURSEL, s.RbfParams.RbfTrimType, 0);
}

void ShowSurfaceStatistics(HWND w) {
    HWND sweeps = GetDlgItem(w, kSweepsList);
    PrepareList(sweeps);
    const RawData* raw = g_dlg.raw;
    AddLine(sweeps, "GenerateSurfaceStatisticsPoints", Integer(raw ? raw->NumPoints : 0));
    AddLine(sweeps, "GenerateSurfaceStatisticsTriangles", Integer(raw ? raw->NumFacets : 0));
    AddLine(sweeps, "StandardProfiles", Integer(raw ? raw->NumProfiles : 0));
    AddLine(sweeps, "StandardSweeps", Integer(raw ? raw->NumSweeps : 0));
    SurfaceLines(GetDlgItem(w, kBasicList), Basic());
    SurfaceLines(GetDlgItem(w, kRbfList), Rbf());
    ShowEditValues(w);
}

// ---- Control states -----------------------------------------------------

bool CastInversionPossible() {
    const RawData* raw = g_dlg.raw;
    const BasicSurfParams& b = S().BasicParams;
    return raw && raw->NumPoints > 0 && !raw->ProcessedChanged && Basic().NumPoints > 0 && b.DoObjectLimit &&
           b.ObjectLimit == 2;
}

void UpdateBasicControls(HWND w) {
    const bool modeless = !g_dlg.modal;
    Enable(w, kApplyBasic, modeless);
    Enable(w, kApplyBasicShort, modeless);
    Enable(w, kInvertAlign, modeless && CastInversionPossible());
    const BasicSurfParams& b = S().BasicParams;
    for (int id : {int(kSmoothing), int(kDecimation), int(kLimitCheck), int(kSimplifyCheck), 1419, 1439})
        Enable(w, id, true);
    Enable(w, kLimitEdit, b.DoObjectLimit != 0);
    Enable(w, kSimplifyEdit, b.SimplifyFacets != 0);
    const bool cast = S().CastInversionMode != 0;
    Show(w, kApplyBasic, !cast);
    Show(w, kApplyBasicShort, cast);
    Show(w, kInvertAlign, cast);
    Check(w, kLimitCheck, b.DoObjectLimit == 1);
    Check(w, kSimplifyCheck, b.SimplifyFacets == 1);
}

void UpdateRbfControls(HWND w) {
    const RbfSurfParams& r = S().RbfParams;
    const bool allowed = g_dlg.modal ? S().CombineSweeps == 2 : !BasicChanged();
    Enable(w, kApplyRbf, !g_dlg.modal && allowed);
    Show(w, kRequiresBasic, !allowed);
    Enable(w, kRequiresBasic, false);
    for (int id : {kAccuracy, kResolution, kUseStylus, kMemoryAuto, kMemoryLabel, kEdgeList, kMargin, kRbfSimplify})
        Enable(w, id, allowed);
    for (int id : kRbfLabels) Enable(w, id, allowed);
    Enable(w, kMemoryEdit, allowed && !r.RbfAutoMemoryLimit);
    const bool simplifying = allowed && r.RbfSimplify;
    const int radios[3] = {kTargetError, kTargetFaces, kTargetPoints};
    const int edits[3] = {kErrorEdit, kFacesEdit, kPointsEdit};
    for (int t = 0; t < 3; ++t) {
        Enable(w, radios[t], simplifying);
        Enable(w, edits[t], simplifying && r.RbfSimpTarget == t);
        Check(w, radios[t], simplifying && r.RbfSimpTarget == t);
    }
    Check(w, kMemoryAuto, allowed && r.RbfAutoMemoryLimit == 1);
    Check(w, kRbfSimplify, allowed && r.RbfSimplify == 1);
    // The box shows the setting it stands for.
    Check(w, kUseStylus, r.RbfUseStylusPoints != 0);
}

void UpdateGenerateSurfaceControls(HWND w) {
    UpdateBasicControls(w);
    UpdateRbfControls(w);
}

void Refresh(HWND w) {
    ShowSurfaceStatistics(w);
    UpdateGenerateSurfaceControls(w);
}

// ---- Editing ------------------------------------------------------------

float* FloatField(int id) {
    GeneralSettings& s = S();
    switch (id) {
        case kSmoothing:
            return &s.BasicParams.FilterRadius;
        case kDecimation:
            return &s.BasicParams.ExportResolutionClip;
        case kSimplifyEdit:
            return &s.BasicParams.SimplifyError;
        case kAccuracy:
            return &s.RbfParams.RbfAccuracy;
        case kResolution:
            return &s.RbfParams.RbfResolution;
        case kMargin:
            return &s.RbfParams.RbfExtraTrim;
        case kErrorEdit:
            return &s.RbfParams.RbfSimpError;
        default:
            return nullptr;
    }
}

int32_t* CheckField(int id) {
    GeneralSettings& s = S();
    switch (id) {
        case kLimitCheck:
            return &s.BasicParams.DoObjectLimit;
        case kSimplifyCheck:
            return &s.BasicParams.SimplifyFacets;
        case kUseStylus:
            return &s.RbfParams.RbfUseStylusPoints;
        case kMemoryAuto:
            return &s.RbfParams.RbfAutoMemoryLimit;
        case kRbfSimplify:
            return &s.RbfParams.RbfSimplify;
        default:
            return nullptr;
    }
}

int32_t* CountField(int id) {
    GeneralSettings& s = S();
    switch (id) {
        case kMemoryEdit:
            return &s.RbfParams.RbfMemoryToUse;
        case kFacesEdit:
            return &s.RbfParams.RbfSimpNFaces;
        case kPointsEdit:
            return &s.RbfParams.RbfSimpNPoints;
        default:
            return nullptr;
    }
}

bool TakeEntry(HWND w, int id) {
    if (float* field = FloatField(id)) {
        *field = GenSurf_FloatEntry(ItemText(w, id), *field, id == kMargin);
        SetFloat(w, id, *field);
        if (id != kErrorEdit) UpdateGenerateSurfaceControls(w);
        return true;
    }
    if (id == kLimitEdit) {
        S().BasicParams.ObjectLimit = GenSurf_ObjectLimitEntry(ItemText(w, id));
        SetUnsigned(w, id, S().BasicParams.ObjectLimit);
        UpdateGenerateSurfaceControls(w);
        return true;
    }
    if (int32_t* field = CountField(id)) {
        // The memory edit shows "Auto" while the limit is automatic.
        if (id == kMemoryEdit && S().RbfParams.RbfAutoMemoryLimit) return true;
        *field = static_cast<int32_t>(GenSurf_UnsignedEntry(ItemText(w, id)));
        return true;
    }
    return false;
}

// A pending entry of the focused edit is taken before an apply.
void TakeFocusedEntry(HWND w) {
    HWND focus = GetFocus();
    if (!focus || GetParent(focus) != w) return;
    char name[16] = "";
    GetClassNameA(focus, name, sizeof name);
    if (lstrcmpiA(name, "Edit") != 0) return;
    const int id = GetDlgCtrlID(focus);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(focus));
}

void Apply(HWND w, int id) {
    TakeFocusedEntry(w);
    GenSurf_Apply(id == kApplyRbf ? 2 : 1, S(), *g_dlg.view, Basic(), Rbf(), *g_dlg.surfaces.shown);
    if (g_dlg.apply) g_dlg.apply();
    ShowSurfaceStatistics(w);
    UpdateGenerateSurfaceControls(w);
}

void Close(HWND w) {
    const int command = GenSurf_Close(S(), *g_dlg.view, Basic(), Rbf());
    if (!g_dlg.modal && command && Shell().main) SendMessageA(Shell().main, WM_COMMAND, command, 0);
    if (g_dlg.modal) {
        EndDialog(w, 0);
    } else {
        DestroyWindow(w);
    }
}

bool GenerateSurfaceCommand(HWND w, WORD notification, WORD id) {
    if (CheckField(id) && notification == BN_CLICKED) {
        *CheckField(id) = IsDlgButtonChecked(w, id) == BST_CHECKED ? 1 : 0;
        if (id == kMemoryAuto) ShowEditValues(w);
        UpdateGenerateSurfaceControls(w);
        return true;
    }
    if ((id == kTargetError || id == kTargetFaces || id == kTargetPoints) && notification == BN_CLICKED) {
        S().RbfParams.RbfSimpTarget = id - kTargetError;
        UpdateGenerateSurfaceControls(w);
        return true;
    }
    if (notification == EN_KILLFOCUS) return TakeEntry(w, id);
    switch (id) {
        case kEdgeList:
            if (notification != CBN_SELCHANGE) return false;
            S().RbfParams.RbfTrimType = static_cast<int32_t>(SendDlgItemMessageA(w, kEdgeList, CB_GETCURSEL, 0, 0));
            return true;
        case kHelpButton:
            Help_ShowTopic("Generate Surface");
            return true;
        case kInvertAlign:
            if (g_dlg.raw) CastInv_Run(w, Rbf(), S(), *g_dlg.raw);
            SendMessageA(w, kMsgPanelRefresh, 0, 0);
            return true;
        case kResetButton:
            GenSurf_ResetToDefaults(S(), *g_dlg.defaults);
            SendMessageA(w, kMsgPanelRefresh, 0, 0);
            return true;
        case kApplyBasic:
        case kApplyBasicShort:
        case kApplyRbf:
            Apply(w, id);
            return true;
        case kCloseButton:
        case IDCANCEL:
            Close(w);
            return true;
    }
    return false;
}

// ---- Tooltips: a control and its label share a text ----------------------

struct TipRow {
    int id;
    const char* key;
};

const TipRow kTips[] = {
    {1419, "GenerateSurfaceSmoothingInfo"},
    {kSmoothing, "GenerateSurfaceSmoothingInfo"},
    {kDecimation, "GenerateSurfaceDecimationInfo"},
    {1439, "GenerateSurfaceDecimationInfo"},
    {kLimitEdit, "GenerateSurfaceObjectLimitInfo"},
    {kLimitCheck, "GenerateSurfaceObjectLimitInfo"},
    {kSimplifyCheck, "GenerateSurfaceSimplifyErrorInfo"},
    {kSimplifyEdit, "GenerateSurfaceSimplifyErrorInfo"},
    {kAccuracy, "GenerateSurfaceRbfAccuracyInfo"},
    {1442, "GenerateSurfaceRbfAccuracyInfo"},
    {kResolution, "GenerateSurfaceRbfResolutionInfo"},
    {1443, "GenerateSurfaceRbfResolutionInfo"},
    {kUseStylus, "GenerateSurfaceRbfWithStylusInfo"},
    {kMemoryEdit, "GenerateSurfaceRbfMemoryInfo"},
    {kMemoryLabel, "GenerateSurfaceRbfMemoryInfo"},
    {kMemoryAuto, "GenerateSurfaceRbfMemoryInfo"},
    {kEdgeList, "GenerateSurfaceRbfTrimTypeInfo"},
    {kMargin, "GenerateSurfaceRbfMarginInfo"},
    {1444, "GenerateSurfaceRbfMarginInfo"},
    {kRbfSimplify, "GenerateSurfaceRbfSimplifyInfo"},
    {kErrorEdit, "GenerateSurfaceRbfSimplifyErrorInfo"},
    {kTargetError, "GenerateSurfaceRbfSimplifyErrorInfo"},
    {kFacesEdit, "GenerateSurfaceRbfSimplifyNFacesInfo"},
    {kTargetFaces, "GenerateSurfaceRbfSimplifyNFacesInfo"},
    {kPointsEdit, "GenerateSurfaceRbfSimplifyNPointsInfo"},
    {kTargetPoints, "GenerateSurfaceRbfSimplifyNPointsInfo"},
    {kApplyBasic, "GenerateSurfaceApplyBasicInfo"},
    {kApplyBasicShort, "GenerateSurfaceApplyBasicInfo"},
    {kApplyRbf, "GenerateSurfaceApplyRbfInfo"},
    {kInvertAlign, "GenerateSurfaceInvertAndAlignInfo"},
    {kResetButton, "GenerateSurfaceDefaultsInfo"},
    {kCloseButton, "GenerateSurfaceCloseInfo"},
};

const char* TipKey(int id) {
    if (id == kCloseButton && g_dlg.modal) return nullptr;
    for (const TipRow& row : kTips)
        if (row.id == id) return row.key;
    return nullptr;
}

void OnTooltipText(LPARAM lParam) {
    NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
    const int id = (info->uFlags & TTF_IDISHWND) ? GetDlgCtrlID(reinterpret_cast<HWND>(info->hdr.idFrom))
                                                 : static_cast<int>(info->hdr.idFrom);
    if (const char* key = TipKey(id)) info->lpszText = const_cast<char*>(Locale_GetString(key));
}

void OnInit(HWND w) {
    g_dlg.window = w;
    Locale_LocaliseDialog(w, kGenerateSurfaceTemplate);
    if (g_dlg.modal) {
        SetDlgItemTextA(w, kApplyBasic, Locale_GetString("StandardBasicSurface"));
        SetDlgItemTextA(w, kApplyBasicShort, Locale_GetString("StandardBasicSurface"));
        SetDlgItemTextA(w, kApplyRbf, Locale_GetString("StandardRbfSurface"));
        SetDlgItemTextA(w, kCloseButton, Locale_GetString("StandardDialogOK"));
    } else {
        SetDlgItemTextA(w, kApplyBasic, Locale_GetString("GenerateSurfaceApplyBasic"));
        SetDlgItemTextA(w, kApplyBasicShort, Locale_GetString("GenerateSurfaceApplyBasicShort"));
        SetDlgItemTextA(w, kApplyRbf, Locale_GetString("GenerateSurfaceApplyRbf"));
        SetDlgItemTextA(w, kCloseButton, Locale_GetString("StandardDialogClose"));
    }
    for (const char* key : {"GenerateSurfaceEdgesOpen", "GenerateSurfaceEdgesClosed", "GenerateSurfaceEdgesTrimToData",
                            "GenerateSurfaceEdgesTrimToEdges"})
        SendDlgItemMessageA(w, kEdgeList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Locale_GetString(key)));
    SendDlgItemMessageA(w, kEdgeList, CB_SETCURSEL, S().RbfParams.RbfTrimType, 0);
    SendMessageA(w, kMsgPanelRefresh, 0, 0);
    StartToolbarTooltips(w);
}

INT_PTR CALLBACK GenerateSurfaceDialogProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInit(w);
            return TRUE;
        case kMsgPanelRefresh:
            Refresh(w);
            return TRUE;
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->code == TTN_GETDISPINFOA) OnTooltipText(lParam);
            return FALSE;
        case WM_CTLCOLORLISTBOX:
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        case WM_COMMAND:
            if (GenerateSurfaceCommand(w, HIWORD(wParam), LOWORD(wParam))) {
                if (IsWindow(w)) App_NotifyPanels();
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            StopToolbarTooltips(w);
            if (!g_dlg.modal) {
                if (Shell().modeless[kSlotGenerateSurface] == w) Shell().modeless[kSlotGenerateSurface] = nullptr;
                g_dlg.window = nullptr;
            }
            return FALSE;
    }
    return FALSE;
}

void ModalApplied() { g_dlg.modalResult = 1; }

}  // namespace

HWND ShowGenerateSurfaceDialog(GeneralSettings& settings, SurfacePairRefs surfaces, RawData* raw, ViewSettings& view) {
    if (g_dlg.modal) return nullptr;
    g_dlg.settings = &settings;
    g_dlg.defaults = &App().settingsDefaults;
    g_dlg.surfaces = surfaces;
    g_dlg.raw = raw;
    g_dlg.view = &view;
    g_dlg.apply = ShowBasicSurface;
    if (g_dlg.window && IsWindow(g_dlg.window)) {
        SendMessageA(g_dlg.window, kMsgPanelRefresh, 0, 0);
        ShowWindow(g_dlg.window, SW_SHOW);
        SetActiveWindow(g_dlg.window);
        return g_dlg.window;
    }
    HWND w = CreateDialogParamA(Shell().instance, MAKEINTRESOURCEA(kGenerateSurfaceTemplate), Shell().main,
                                GenerateSurfaceDialogProc, 0);
    if (w) ShowWindow(w, SW_SHOW);
    return w;
}

INT_PTR GenerateSurfaceDlg_RunModal(HINSTANCE instance, HWND owner, SurfacePairRefs surfaces, ViewSettings& view,
                                    const GeneralSettings& defaults, RawData* raw, GeneralSettings& settings) {
    const DialogRefs modeless = g_dlg;
    g_dlg = DialogRefs();
    g_dlg.settings = &settings;
    g_dlg.defaults = &defaults;
    g_dlg.surfaces = surfaces;
    g_dlg.raw = raw;
    g_dlg.view = &view;
    g_dlg.apply = ModalApplied;
    g_dlg.modal = true;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(kGenerateSurfaceTemplate), owner, GenerateSurfaceDialogProc, 0);
    const INT_PTR result = g_dlg.modalResult;
    // The references of the run are cleared; a modeless window keeps its own.
    g_dlg = modeless;
    return result;
}
