// The pages of the AAOP Export Wizard's limb road (distal and proximal
// closure): Select Object Type, Choose Axis, Choose Vertical Limits and
// Spacing, and Complete with the export.
#include <windows.h>

#include <commdlg.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/base/app_messages.h"
#include "app/export/ortho_file.h"
#include "app/scan/surface_record.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/scan_document.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/ui_utilities.h"
#include "app/ui/ui_utilities_win32.h"

namespace {

constexpr UINT kMsgRefresh = 0x8040;

AaopWizardState& S() { return AaopWizard_State(); }

Vec3 ScreenVertical(const ViewSettings& view) { return AaopPages_ScreenVertical(view); }
void Box(MessageKind kind, const char* title, const char* text) { AaopPages_Box(kind, title, text); }
void DrawFull(PageInstance& p) { AaopPages_DrawFull(p); }

// ---- Select Object Type -----------------------------------------------------

PageInstance g_typePage, g_axisPage, g_limitsPage, g_completePage;

const int kTypeButtons[4] = {1347, 1348, 1375, 1376};

void TypeEnter(PageInstance&) {
    if (S().objectType == 0) S().objectType = 1;
}

INT_PTR TypeProc(PageInstance& page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
        case kMsgRefresh:
            for (int k = 0; k < 4; ++k)
                CheckDlgButton(page.window, kTypeButtons[k], S().objectType == k + 1 ? BST_CHECKED : BST_UNCHECKED);
            return message == WM_INITDIALOG ? TRUE : FALSE;
        case WM_COMMAND:
            for (int k = 0; k < 4; ++k)
                if (LOWORD(wParam) == kTypeButtons[k] && HIWORD(wParam) == BN_CLICKED) {
                    S().objectType = k + 1;
                    PostMessageA(page.window, kMsgRefresh, 0, 0);
                }
            return TRUE;
    }
    return FALSE;
}

bool TypeNext(PageInstance&, AaopWizardPage*& following) {
    const int32_t type = S().objectType;
    if (type < 1 || type > 4) return false;
    S().setup.Kind = type == 4 ? 1 : 0;
    following = type == 3 ? &AaopPage_ReflectionPlane() : type == 4 ? &AaopPage_Orientate() : &AaopPage_ChooseAxis();
    return true;
}

// ---- Choose Axis --------------------------------------------------------------

HFONT g_stepFont = nullptr;

void AutoAlign() {
    const SurfaceRecord& surface = *S().surface;
    AaopPages_AlignWith(std::vector<Vec3>(surface.Points, surface.Points + surface.NumPoints));
}

void RecentreOnBox() {
    AaopWizardState& s = S();
    Vec3 centre;
    V3_BoundingBox(s.surface->Points, s.surface->NumPoints, nullptr, nullptr, &centre, nullptr);
    s.live.ViewOrigin = centre;
}

// With automatic translation the view origin sits on the surface point
// furthest along the screen's vertical: the lowest for a distal closure, the
// highest for a proximal one.
void AutoTranslate() {
    AaopWizardState& s = S();
    if (!s.autoTranslate) {
        s.measurementOffset = 0;
        return;
    }
    const Vec3 vertical = ScreenVertical(s.live);
    const SurfaceRecord& surface = *s.surface;
    int32_t best = 0;
    float low = 0, high = 0;
    for (int32_t i = 0; i < surface.NumPoints; ++i) {
        const float h = V3_Dot(surface.Points[i], vertical);
        if (i == 0 || h < low) low = h;
        if (i == 0 || h > high) high = h;
        const float b = V3_Dot(surface.Points[best], vertical);
        if (s.objectType == 1 ? h < b : h > b) best = i;
    }
    if (surface.NumPoints > 0) s.live.ViewOrigin = surface.Points[best];
    s.measurementOffset = (high - low) / 2 * (s.objectType == 1 ? -1 : 1);
}

void AxisDraw(PageInstance& p) {
    AutoTranslate();
    DrawFull(p);
}

void AxisOverlay(PageInstance&) { AaopPages_DrawAxisLine(); }

INT_PTR AxisProc(PageInstance& page, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            HDC dc = GetDC(page.window);
            const int height = -MulDiv(16, GetDeviceCaps(dc, LOGPIXELSY), 72);
            ReleaseDC(page.window, dc);
            g_stepFont =
                CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS,
                            Os_IsXpOrLater() ? "Microsoft Sans Serif" : "MS Sans Serif");
            for (int id : {1385, 1386})
                SendDlgItemMessageA(page.window, id, WM_SETFONT, reinterpret_cast<WPARAM>(g_stepFont), 0);
            CheckDlgButton(page.window, 1376, S().autoTranslate ? BST_CHECKED : BST_UNCHECKED);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == 1346) AutoAlign();
            if (LOWORD(wParam) == 1376) {
                S().autoTranslate = IsDlgButtonChecked(page.window, 1376) == BST_CHECKED;
                if (!S().autoTranslate) RecentreOnBox();
                AaopWizard_RepaintView(3);
            }
            return TRUE;
        case WM_DESTROY:
            if (g_stepFont) DeleteObject(g_stepFont);
            g_stepFont = nullptr;
            return FALSE;
    }
    return FALSE;
}

bool AxisNext(PageInstance&, AaopWizardPage*& following) {
    AaopPages_StoreAxis();
    following = &AaopPage_Limits();
    return true;
}

// ---- Choose Vertical Limits and Spacing ---------------------------------------

bool g_markersPlaced = false;

bool BothManual(HWND page) {
    return S().objectType == 3 || !S().autoTranslate || (page && IsDlgButtonChecked(page, 1369) == BST_CHECKED);
}

int OriginPosition() {
    AaopWizardState& s = S();
    RECT client = {0, 0, 0, 0};
    GetClientRect(s.view, &client);
    Vec3 screen;
    if (Graph_ProjectToScreen(s.live.ViewOrigin, s.view, screen) != 0 || client.bottom <= 0) return 0;
    return static_cast<int>((1.0f - screen.y / client.bottom) * AaopWizard_BarHeight());
}

void StoreLimits(HWND page) {
    AaopWizardState& s = S();
    float upper = AaopPages_HeightOfPosition(s.markers[0]), lower = AaopPages_HeightOfPosition(s.markers[1]);
    const bool manual = BothManual(page);
    if (!manual && s.objectType == 1) lower = 0;
    if (!manual && s.objectType == 2) upper = 0;
    s.setup.Limit1 = std::min(upper, lower);
    s.setup.Limit2 = std::max(upper, lower);
    s.setup.EndMode = manual ? -1 : (s.objectType == 1 ? 0 : 1);
}

void ShowCounts(HWND page) {
    AaopWizardState& s = S();
    StoreLimits(page);
    const float extent = std::fabs(s.setup.Limit2 - s.setup.Limit1);
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", extent);
    SetDlgItemTextA(page, 1207, text);
    if (s.setup.AdaptiveSpacing || !(s.setup.SliceSpacing > 0))
        text[0] = '\0';
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(std::floor(extent / s.setup.SliceSpacing)) + 1);
    SetDlgItemTextA(page, 1208, text);
    EnableWindow(GetDlgItem(page, 1328), !s.setup.AdaptiveSpacing);
}

void RefreshMarkers(HWND page) {
    AaopWizardState& s = S();
    const bool manual = BothManual(page);
    CheckDlgButton(page, 1369, manual ? BST_CHECKED : BST_UNCHECKED);
    if (!manual) {
        const int origin = OriginPosition();
        AaopWizard_MoveMarker(s.objectType == 1 ? 1 : 0, origin);
    }
    AaopWizard_ShowMarkers(true, manual || s.objectType == 1, manual || s.objectType == 2);
    ShowCounts(page);
    AaopWizard_RepaintView(3);
}

bool LimitsMarkerMoved(PageInstance& page, int marker, int position) {
    S().markers[marker] = position;
    if (page.window) ShowCounts(page.window);
    AaopWizard_RepaintView(0);
    return true;
}

INT_PTR LimitsProc(PageInstance& page, UINT message, WPARAM wParam, LPARAM) {
    AaopWizardState& s = S();
    HWND w = page.window;
    switch (message) {
        case WM_INITDIALOG: {
            AaopPages_InitSpacing(w);
            if (!g_markersPlaced) {
                s.markers[0] = AaopWizard_BarHeight() / 4;
                s.markers[1] = AaopWizard_BarHeight() * 3 / 4;
                g_markersPlaced = true;
            }
            AaopWizard_MoveMarker(0, s.markers[0]);
            AaopWizard_MoveMarker(1, s.markers[1]);
            RefreshMarkers(w);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == 1369)
                RefreshMarkers(w);
            else if (AaopPages_SpacingCommand(w, LOWORD(wParam), HIWORD(wParam)))
                ShowCounts(w);
            return TRUE;
    }
    return FALSE;
}

// Two white lines across the view at the markers' heights.
void LimitsOverlay(PageInstance&) {
    const RECT client = AaopPages_BeginPixelOverlay();
    glColor3f(1, 1, 1);
    glBegin(GL_LINES);
    for (int marker = 0; marker < 2; ++marker) {
        const float y = client.bottom * (1.0f - static_cast<float>(S().markers[marker]) / AaopWizard_BarHeight());
        glVertex2f(0, y);
        glVertex2f(static_cast<float>(client.right), y);
    }
    glEnd();
    AaopPages_EndPixelOverlay();
}

bool LimitsBack(PageInstance&) {
    AaopWizard_ShowMarkers(false, false, false);
    return true;
}

bool LimitsNext(PageInstance& page, AaopWizardPage*& following) {
    AaopWizardState& s = S();
    if (!AaopPages_SpacingReady(page.window)) return false;
    StoreLimits(page.window);
    s.result = s.live;
    s.result.Options |= 2;
    M4_Identity(s.result.ViewMatrix);
    // The symmetrical build's frame is turned a quarter about the axis.
    if (s.objectType == 3) M4_RotateY(-90, s.result.ViewMatrix);
    Vec3 shifted, origin;
    V3_Sub(s.live.ViewOrigin, s.setup.Origin, shifted);
    M4_TransformPoint(s.setup.Frame, shifted, origin);
    origin.y -= std::min(s.setup.Limit1, s.setup.Limit2);
    s.result.ViewOrigin = origin;
    OrthoModel_Free(s.model);
    if (!Ortho_Run(s.dialog, *s.surface, s.items, s.setup, s.model)) return false;
    AaopWizard_ShowMarkers(false, false, false);
    following = &AaopPage_Complete();
    return true;
}

// ---- Complete -----------------------------------------------------------------

ViewSettings* CompleteView(PageInstance&) { return &S().result; }

// The slices as lit strips around the limb axis, drawn by the view.
void CompleteDraw(PageInstance&) {
    AaopWizardState& s = S();
    Graph_DrawStripSurface(s.view, *s.settings, s.result, s.model);
}

void CompleteQuick(PageInstance& p) { CompleteDraw(p); }

INT_PTR CompleteProc(PageInstance& page, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(page.window, 1396, S().setup.Kind ? "OP3 conversion complete." : "AAOP conversion complete.");
        return TRUE;
    }
    return FALSE;
}

bool CompleteBack(PageInstance&) {
    OrthoModel_Free(S().model);
    return true;
}

UINT_PTR CALLBACK LabelsHook(HWND panel, UINT message, WPARAM wParam, LPARAM) {
    AaopWizardState& s = S();
    if (message == WM_INITDIALOG) {
        EnableWindow(GetDlgItem(panel, 1363), !s.model.Landmarks.empty());
        CheckDlgButton(panel, 1363, s.settings->ExportAaopLabels ? BST_CHECKED : BST_UNCHECKED);
    } else if (message == WM_COMMAND && LOWORD(wParam) == 1363) {
        s.settings->ExportAaopLabels = IsDlgButtonChecked(panel, 1363) == BST_CHECKED;
    }
    return 0;
}

int CallSave(void* argument) { return GetSaveFileNameA(static_cast<OPENFILENAMEA*>(argument)) ? 1 : 0; }

bool CompleteExport(PageInstance&, AaopWizardPage*&) {
    AaopWizardState& s = S();
    const bool op3 = s.setup.Kind != 0;
    char path[MAX_PATH] = "";
    std::snprintf(path, sizeof path, "%s", ScanDoc_GetFileBaseName().c_str());
    while (true) {
        OPENFILENAMEA ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = s.dialog;
        ofn.hInstance = GetModuleHandleA(nullptr);
        ofn.lpstrFilter = op3 ? "OP3 Files (.op3)\0*.op3\0" : "AAOP Files (.aop)\0*.aop\0";
        ofn.lpstrFile = path;
        ofn.nMaxFile = sizeof path;
        ofn.lpstrTitle = op3 ? "Export OP3 File" : "Export AAOP File";
        ofn.lpstrDefExt = op3 ? "op3" : "aop";
        ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lpfnHook = LabelsHook;
        ofn.lpTemplateName = MAKEINTRESOURCEA(315);
        if (!Dir_CheckCurrent(CallSave, &ofn)) {
            if (CommDlgExtendedError() == 0) return false;
            Box(MessageKind::Error, "Error", "Error getting filename");
            continue;
        }
        AaopWizard_RepaintView(3);
        std::string error;
        const bool labels = s.settings->ExportAaopLabels != 0;
        const int result =
            op3 ? Op3_WriteFile(s.model, path, labels, error) : Aaop_WriteFile(s.model, path, labels, error);
        if (result != 0) {
            Box(MessageKind::Error, "Save Error", error.c_str());
            continue;
        }
        s.surface->Saved = 1;
        OrthoModel_Free(s.model);
        s.exported = 1;
        AaopWizard_Close();
        return false;
    }
}

constexpr auto Nothing = AaopPages_Init;
constexpr auto Leave = AaopPages_Leave;
constexpr auto Allow = AaopPages_Allow;
constexpr auto DrawQuick = AaopPages_DrawQuick;

AaopWizardPage g_typeDescriptor = {&g_typePage, "Select Object Type", "&Next >", 372, 1, 0, Nothing, Leave, TypeEnter,
                                   TypeNext, nullptr, DrawQuick, DrawFull, TypeProc, nullptr, nullptr, nullptr, nullptr,
                                   nullptr};
AaopWizardPage g_axisDescriptor = {&g_axisPage, "Choose Axis", "&Next >", 366, 1, 0x1F, Nothing, Leave, nullptr,
                                   AxisNext, Allow, DrawQuick, AxisDraw, AxisProc, nullptr, AxisOverlay, nullptr,
                                   nullptr, nullptr};
AaopWizardPage g_limitsDescriptor = {&g_limitsPage, "Choose Vertical Limits and Spacing", "&Next >", 373, 0, 0x2,
                                     Nothing, Leave, nullptr, LimitsNext, LimitsBack, DrawQuick, DrawFull, LimitsProc,
                                     nullptr, LimitsOverlay, nullptr, LimitsMarkerMoved, nullptr};
AaopWizardPage g_completeDescriptor = {&g_completePage, "Complete", "&Export", 369, 1, 0x1F, Nothing, Leave, nullptr,
                                       CompleteExport, CompleteBack, CompleteQuick, CompleteDraw, CompleteProc,
                                       CompleteView, nullptr, nullptr, nullptr, nullptr};

}  // namespace

AaopWizardPage& AaopPage_ChooseAxis() { return g_axisDescriptor; }
AaopWizardPage& AaopPage_Limits() { return g_limitsDescriptor; }
AaopWizardPage& AaopPage_Complete() { return g_completeDescriptor; }

void AaopWizardPages_InitAll() {
    g_markersPlaced = false;
    // The order in which the pages are set up when the wizard opens.
    AaopWizardPage* const pages[] = {&g_typeDescriptor,     &AaopPage_ReflectionPlane(), &AaopPage_PlaneAxis(),
                                     &g_axisDescriptor,     &g_limitsDescriptor,         &g_completeDescriptor,
                                     &AaopPage_Orientate(), &AaopPage_SliceAxes()};
    for (AaopWizardPage* page : pages)
        if (page->instance && page->init) page->init(*page->instance);
}

AaopWizardPage* AaopWizardPages_First() { return &g_typeDescriptor; }
