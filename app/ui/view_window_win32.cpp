#include "app/ui/view_window_win32.h"

#include "app/acquisition/calibration_state.h"
#include "app/acquisition/hardware_info.h"
#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/profile_processing.h"
#include "app/scan/stylus_marker.h"
#include "app/scan/stylus_placement.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/camera_image.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/navigation.h"
#include "app/ui/nav_movement.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/scan_control_link.h"
#include "app/ui/scan_edit.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/snapshot_win32.h"
#include "app/ui/stylus_draw_win32.h"
#include "app/ui/view_timings.h"
#include "app/ui/tool_dialogs_win32.h"

#include <commctrl.h>
#include <malloc.h>

#include <chrono>
#include <new>
#include <string>

ViewHooks& View_Hooks() {
    static ViewHooks hooks;
    return hooks;
}

namespace {

bool g_ctrlAtLeftPress = false;
// Counts the painted frames, so that the readout reads the picture again
// only when it changed.
uint32_t g_frameSerial = 0;

HWND MainView() { return Shell().view; }

void PostLevel(HWND window, int32_t level) {
    if (level >= 0 && window) PostMessageA(window, WM_PAINT, 0, level);
}

bool Busy(int32_t state) { return App().busyState == state; }

// ---- Paint ------------------------------------------------------------------

// Takes every paint request posted to the window; the highest level wins.
// Only posted requests are taken: a paint the system makes for an update
// region that is still invalid (a top-level window's frame before its first
// message loop, say) comes back on every peek and would never end the loop.
int32_t CoalescePaints(HWND window, int32_t level) {
    MSG queued;
    while (PeekMessageA(&queued, window, WM_PAINT, WM_PAINT, PM_REMOVE | PM_NOYIELD | PM_QS_POSTMESSAGE)) {
        const int32_t queuedLevel = static_cast<int32_t>(queued.lParam);
        if (queuedLevel > level) level = queuedLevel;
    }
    return level;
}

float PixelSize() { return App().advanced.PixelSize; }

// Items recorded, moved or flipped since the last full frame are placed
// again, on the scan and on the shown surface, before they are drawn: the
// view, the save and the RBF fit all take these placements.
void RedoStylusPlacements(AppState& app) {
    RawData& raw = *app.raw;
    StylusItemList& list = raw.Stylus;
    if (!raw.StylusChanged && !list.ReplaceNeeded) return;
    raw.StylusChanged = 0;
    list.ReplaceNeeded = 0;
    const float distance = app.settings.Stylus.SurfaceDistance;
    StylusItems_UpdateShifts(list, raw, distance);
    if (app.shownSurface && app.shownSurface->NumPoints > 0)
        StylusItems_UpdateBasicShifts(list, *app.shownSurface, distance);
}

// The Tarrel edition shows in the sweeps view which input the wand's trigger
// gives: stylus lines, stylus points or scanning. Other editions show none.
const Image* ModeIndicator() {
    const AppState& app = App();
    if (!app.editions.tarrel) return nullptr;
    const BrandInfo& brand = Brand_Get();
    const StylusSettings& stylus = app.settings.Stylus;
    if (!stylus.Mode) return brand.smodeind;
    return stylus.CaptureMode == 1 ? brand.lmodeind : brand.pmodeind;
}

void DrawSweeps(HWND window, bool timed, int32_t level) {
    AppState& app = App();
    if (!app.raw) return;
    RawData& raw = *app.raw;
    try {
        if (View_Hooks().beforeScanDraw) View_Hooks().beforeScanDraw();
        Scan_ProcessNewProfiles(raw, app.settings.ProfileFilterLength, app.settings.RawResolutionClip[1]);
        if (timed) _heapmin();  // a full frame's work is done: give back what it freed
        RawData_ColourPoints(raw, app.view, app.settings);
        if (timed) {
            RawData_ComputeExtents(raw, app.view.CoordinateSystem);
            RawData_NumberPointRuns(raw);
            RedoStylusPlacements(app);
        }
        if (level == 2 && (raw.NumPoints > raw.Draw.DrawnPoints || raw.NumFacets > raw.Draw.DrawnFacets))
            raw.Draw.Flags |= kDrawNew;
        Graph_SetOverlayImage(window, ModeIndicator());
        Graph_DrawScanView(window, app.settings, app.view, raw);
    } catch (const std::bad_alloc&) {
        App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
    }
}

// The shown surface, built first when it has no points; false when the view
// fell back to another view instead.
bool PrepareSurface() {
    AppState& app = App();
    Surface_DropStale(app.raw ? app.raw->Timestamp : 0, app.basic, app.rbf);
    if (!app.shownSurface) app.shownSurface = app.settings.CombineSweeps == 2 ? &app.rbf : &app.basic;
    if (app.shownSurface->NumPoints > 0) return true;
    const int32_t kind = app.settings.CombineSweeps;
    bool built = false;
    if ((kind == 1 || kind == 2) && Busy(kBusyIdle)) {
        app.busyState = kind == 1 ? kBusyBasicSurface : kBusyRbfSurface;
        app.shownSurface = kind == 1 ? &app.basic : &app.rbf;
        HWND panels[2] = {Shell().modeless[kSlotGenerateSurface], Shell().modeless[kSlotTarrelPanel]};
        for (HWND panel : panels)
            if (panel) EnableWindow(panel, FALSE);
        if (View_Hooks().buildSurface) built = View_Hooks().buildSurface(kind);
        if (built && kind == 2 && app.settings.RbfParams.RbfTrimType < 2) app.settings.ViewBBox = 1;
        for (HWND panel : panels)
            if (panel) EnableWindow(panel, TRUE);
        app.busyState = kBusyIdle;
    }
    if (!built || app.shownSurface->NumPoints <= 0) {
        const int command = app.shownSurface == &app.basic ? 40262 : 40263;
        SendMessageA(Shell().main, WM_COMMAND, command, 0);
        return false;
    }
    App_RefreshUi();
    return true;
}

void DrawSurfaceView(HWND window) {
    AppState& app = App();
    if (!PrepareSurface()) return;
    SurfaceRecord& surface = *app.shownSurface;
    if (app.raw) RedoStylusPlacements(app);
    if (NavigationState* nav = Graph_GetNavigation(window)) Nav_ResetDrag(*nav);
    Surface_BoundingBox(surface, app.view.CoordinateSystem);
    Surface_RefreshPointCache(surface, app.view, app.settings);
    GeneralSettings shown = app.settings;
    if (app.editions.tarrel && app.settings.CombineSweeps == 2) shown.ViewBBox = 1;
    Graph_DrawScene(window, shown, app.view, surface, app.raw ? &app.raw->Stylus : nullptr);
}

// The first character of the processing unit's version text.
char ProcessingUnitVersion() {
    static HardwareInfo info;
    GetHardwareDriverInfo(info);
    return info.versionText[0];
}

void RenderLevel(HWND window, int32_t level, bool timed) {
    AppState& app = App();
    switch (app.mode) {
        case kModePreview:
            if (app.raw) Graph_DrawCameraSamples(window, *app.raw);
            break;
        case kModeScan:
            DrawSweeps(window, timed, level);
            break;
        case kModeSurface:
            DrawSurfaceView(window);
            break;
        case kModeCalibration:
        case kModeCalibrationCheck:
        case kModeAccuracyCheck:
            if (app.raw) Graph_DrawSampleView(window, *app.raw, ProcessingUnitVersion());
            break;
        default:
            break;
    }
}

// The yield after every paint lets acquisition and workers run between frames.
void YieldToOtherThreads() {
    HANDLE thread = GetCurrentThread();
    const int priority = GetThreadPriority(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    Sleep(0);
    SetThreadPriority(thread, priority);
}

}  // namespace

void Graph_OnPaint(HWND window, int32_t level) {
    const auto started = std::chrono::steady_clock::now();
    AppState& app = App();
    App_UpdateTitle();
    PAINTSTRUCT paint;
    if (!BeginPaint(window, &paint)) OutputDebugStringA("No device context from BeginPaint\n");
    level = CoalescePaints(window, level);
    // A paint that arrives while a surface build runs its dialogs inside an
    // outer paint only shows the back buffer again: taking the busy state
    // for a failed build would switch views and hide the new surface.
    if (Busy(kBusyBasicSurface) || Busy(kBusyRbfSurface)) level = level > 4 ? level : 0;
    bool timed = false;
    if (level == 0) {
        Graph_PresentOverlay(window);
    } else if (level == 1) {
        if (app.mode == kModeScan && app.raw) {
            Graph_Setup3D(app.view, app.settings, window, PixelSize());
            Graph_DrawScanPreview(window, app.settings, app.view, *app.raw);
        } else if (app.mode == kModeSurface && app.shownSurface) {
            if (NavigationState* nav = Graph_GetNavigation(window)) Nav_ResetDrag(*nav);
            Graph_Setup3D(app.view, app.settings, window, PixelSize());
            Graph_DrawPointsView(window, app.settings, app.view, *app.shownSurface,
                                 app.raw ? &app.raw->Stylus : nullptr);
        }
    } else if (level >= 2 && level <= 4) {
        if (level >= 3) {
            if (app.mode == kModeScan || app.mode == kModeSurface) {
                Graph_Setup3D(app.view, app.settings, window, PixelSize());
                timed = true;
            } else {
                const CameraImageSize image =
                    CameraImage_Size(IsCalibrationLoaded() ? &CurrentCalibration().header : nullptr);
                Graph_Setup2D(window, image.width, image.height);
            }
            if (app.raw && app.mode != kModeSurface) app.raw->Draw.Flags |= kDrawFull;
            if (timed) {
                if (level == 3) Graph_PresentOverlay(window);
                App_ShowWaitStatus(Locale_GetString("WaitCursorRendering"));
            }
        }
        RenderLevel(window, level, timed);
    }
    if (timed) {
        App_ShowWaitStatus(nullptr);
        if (HWND generate = Shell().modeless[kSlotGenerateSurface]) SendMessageA(generate, kMsgPanelRefresh, 0, 0);
        Extents_Refresh();
        StatusBar_Update();
    }
    EndPaint(window, &paint);
    ViewTimings_AddPaint(View_Timings(), level,
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), app.raw);
    ++g_frameSerial;
    if (View_Hooks().painted) View_Hooks().painted(level);
    YieldToOtherThreads();
}

void View_PostRepaint(int32_t level) { PostLevel(MainView(), level); }

void View_SendRepaint(int32_t level) {
    if (HWND view = MainView()) SendMessageA(view, WM_PAINT, 0, level);
}

void View_RequestRepaint(bool full) {
    if (!MainView()) return;
    View_PostRepaint(full ? 3 : 1);
    StatusBar_Update();
}

// ---- Cursor and readout ---------------------------------------------------------

void App_SetMarkerCursor() {
    const AppState& app = App();
    const char* system = IDC_ARROW;
    if (app.pointerOverView) {
        NavigationState* nav = Graph_GetNavigation(MainView());
        const bool dragging = nav && (nav->dragging || nav->capturing);
        if (app.waiting) {
            system = IDC_WAIT;
        } else if (app.settings.MarkWithMouse) {
            HCURSOR marker = LoadCursorA(Shell().instance, "CURSOR_MARKER");
            SetCursor(marker ? marker : LoadCursorA(nullptr, IDC_CROSS));
            return;
        } else if (app.selectMode || g_ctrlAtLeftPress || app.ctrlHeld || dragging) {
            system = IDC_CROSS;
        }
    }
    SetCursor(LoadCursorA(nullptr, system));
}

std::string ScanStatusReadout() {
    const AppState& app = App();
    if (app.mode == kModePreview || app.mode == kModeCalibration) return std::string();
    HWND view = MainView();
    POINT cursor;
    RECT client;
    if (!view || !GetCursorPos(&cursor) || !ScreenToClient(view, &cursor) || !GetClientRect(view, &client))
        return std::string();
    if (cursor.x < 0 || cursor.y < 0 || cursor.x >= client.right || cursor.y >= client.bottom) return std::string();
    // The status bar is refreshed with every field while scanning; reading the
    // picture back waits for the drawing, so it is read only when the frame,
    // the cursor or the way of reading changed.
    static std::string last;
    static uint32_t lastSerial = ~0u, lastOptions = 0, lastUnits = 0;
    static POINT lastCursor = {-1, -1};
    const uint32_t options = app.view.Options & 64, units = app.settings.UseImperialUnits;
    if (lastSerial == g_frameSerial && lastCursor.x == cursor.x && lastCursor.y == cursor.y && lastOptions == options &&
        lastUnits == units)
        return last;
    lastSerial = g_frameSerial;
    lastCursor = cursor;
    lastOptions = options;
    lastUnits = units;
    Vec3 point;
    const int32_t found = (app.view.Options & 64) ? Graph_ReadDepth(view, cursor.x, cursor.y, point, 0)
                                                  : Graph_ReadPixelsAt(view, cursor.x, cursor.y, point);
    last = Nav_ReadoutText(found == 0 ? &point : nullptr, app.settings.UseImperialUnits != 0,
                           Locale_GetString("StandardMillimetresAbbreviation"),
                           Locale_GetString("StandardInchesAbbreviation"));
    return last;
}

// ---- Commands -------------------------------------------------------------------

void View_ResetScanState() {
    AppState& app = App();
    if (RawData* raw = app.raw) {
        // The profiles changed under the points: they are all made again from
        // the first sweep on by the repaint's processing.
        raw->NumPoints = raw->NumFacets = 0;
        if (raw->SweepFirstPoint && raw->SweepFirstFacet)
            for (int32_t s = 0; s <= raw->MaxSweeps; ++s) raw->SweepFirstPoint[s] = raw->SweepFirstFacet[s] = 0;
        raw->CurrentSweep = 0;
        raw->CurrentSweepProfile = 0;
        raw->NumProfilesProcessed = 0;
        raw->SelectionLimit = raw->SelectionLevelTop = 0;
        raw->EditLimit = raw->EditLevelTop = 0;
        RawData_ClearSweepCursor(*raw);
        RawData_ClearPointRunMark(*raw);
        raw->Draw.Flags |= kDrawFull;
        raw->Draw.DrawnProfiles = raw->Draw.DrawnPoints = raw->Draw.DrawnFacets = 0;
    }
    View_SendRepaint(3);
    if (HWND list = Shell().modeless[kSlotSweepsList1]) SendMessageA(list, kMsgPanelRefresh, 3, 0);
    if (HWND generate = Shell().modeless[kSlotGenerateSurface]) PostMessageA(generate, kMsgPanelRefresh, 0, 0);
    if (HWND stylus = Shell().modeless[kSlotStylusProperties]) SendMessageA(stylus, kMsgPanelRefresh, 0, 0);
}

namespace {

void AfterViewChange() {
    View_PostRepaint(3);
    if (Shell_Hooks().updateMenuStates) Shell_Hooks().updateMenuStates();
}

void CenterView() {
    AppState& app = App();
    if (app.mode == kModeScan && app.raw) {
        Nav_CenterOnScan(app.view, *app.raw);
    } else if (app.mode == kModeSurface && app.shownSurface) {
        Nav_CenterOnPoints(app.view, app.shownSurface->Points, app.shownSurface->NumPoints);
    }
    AfterViewChange();
}

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

bool View_Command(WORD id) {
    AppState& app = App();
    HWND view = MainView();
    if (Nav_IsStepCommand(id)) {
        NavigationState* nav = Graph_GetNavigation(view);
        const uint32_t allowed = nav ? nav->allowed : kNavAll;
        const int32_t level = Nav_MovementLevel(app.settings.Movement, KeyDown(VK_SHIFT), KeyDown(VK_CONTROL));
        if (Nav_Step(id, app.view, allowed, level, app.editions.tarrel)) AfterViewChange();
        return true;
    }
    switch (id) {
        case 40009:
            CenterView();
            return true;
        case 40010:
            Nav_Reset(app.view, app.viewDefaults);
            AfterViewChange();
            return true;
        case 40246:
            Graph_LogGlInfo(view);
            return true;
        case 40172:
            SaveSnapshot();
            return true;
        case 40398:
            CaptureImageCommand();
            return true;
        case 40109:
            if (app.raw) RawData_MirrorWandMatrices(*app.raw);
            View_ResetScanState();
            return true;
        case 40111:
            if (app.raw) RawData_MirrorReferenceMatrices(*app.raw);
            View_ResetScanState();
            return true;
        case 40351:
            if (app.raw) RawData_SplitSweep(*app.raw);
            View_ResetScanState();
            return true;
        case 40280:
            View_ResetScanState();
            View_PostRepaint(3);
            return true;
    }
    return false;
}

// ---- Read-back for checks -------------------------------------------------------

bool View_ReadBack(Image& image) { return Graph_ReadFrontBuffer(MainView(), image); }

namespace {

// ---- Window procedure ---------------------------------------------------------

// The stylus marker's view services.
bool MarkerReadBack(void*, void* window, double x, double y, double tolerance, Vec3* out) {
    return Graph_ReadPointAt(static_cast<HWND>(window), *out, static_cast<float>(x), static_cast<float>(y),
                             static_cast<float>(tolerance)) == 0;
}

bool MarkerCursor(void*, void* window, int32_t* x, int32_t* y) {
    POINT cursor;
    RECT client;
    HWND w = static_cast<HWND>(window);
    if (!GetCursorPos(&cursor) || !ScreenToClient(w, &cursor) || !GetClientRect(w, &client)) return false;
    *x = cursor.x;
    *y = cursor.y;
    return cursor.x >= 0 && cursor.y >= 0 && cursor.x < client.right && cursor.y < client.bottom;
}

void MarkerViewMatrix(void*, Matrix4* out) { *out = App().view.ViewMatrix; }

int32_t MarkerCaptureMode(void*) { return App().settings.Stylus.CaptureMode; }

// Each mark is counted at once in the Mark with Mouse window beside the
// view, as the item list panel shows it.
void MarkerRefreshList(void*) {
    if (HWND list = Shell().modeless[kSlotStylusProperties]) SendMessageA(list, kMsgPanelRefresh, 0, 0);
    if (HWND marker = Shell().markerDialog) SendMessageA(marker, kMsgPanelRefresh, 0, 0);
}

void MarkerCapture(void*, const Matrix4& pose, int32_t newItem) {
    ScanControl_CaptureStylusItem(ScanControl_OpenScan(), newItem != 0, pose);
}

void InstallMarkerSeam() {
    static StylusViewSeam seam;
    seam.context = nullptr;
    seam.ReadBack = MarkerReadBack;
    seam.Cursor = MarkerCursor;
    seam.Capture = MarkerCapture;
    seam.RefreshListPanel = MarkerRefreshList;
    seam.ViewMatrix = MarkerViewMatrix;
    seam.CaptureMode = MarkerCaptureMode;
    seam.list = App().raw ? &App().raw->Stylus : nullptr;
    StylusView_SetSeam(&seam);
}

// The marker works on the item list of the scan open now.
void MarkerAction(HWND window, int32_t phase) {
    InstallMarkerSeam();
    StylusView_MarkerAction(window, phase);
}

}  // namespace

namespace {

HWND g_tooltip = nullptr;
int32_t g_tooltipItem = -1;

// The tooltip over the stylus items, made once for the view: one tool, the
// view itself, whose text is set to the item under the cursor.
bool EnsureTooltip(HWND window) {
    if (g_tooltip && IsWindow(g_tooltip)) return true;
    g_tooltip =
        CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, Shell().instance, nullptr);
    if (!g_tooltip) return false;
    SetWindowPos(g_tooltip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    TOOLINFOA tool = {};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Shell().main;
    tool.uId = reinterpret_cast<UINT_PTR>(window);
    tool.lpszText = const_cast<char*>("?????");
    SendMessageA(g_tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    g_tooltipItem = -1;
    return true;
}

// The points inside the rubber band just drawn become a selection step.
void SelectInRectangle(HWND window, NavigationState& nav) {
    GraphViewPort port(window, true);
    ScanEdit_SelectPointsInRegion(
        [&](const ScanPoint& point) { return Nav_PointInRectangle(nav, port, point.Vertex); });
    Nav_ResetDrag(nav);
    PostLevel(window, 0);  // the band goes from the screen
    App_RefreshUi();
}

}  // namespace

HWND StylusView_Tooltip() { return g_tooltip; }

void StylusView_UpdateTooltip(HWND window, int32_t x, int32_t y) {
    if (!EnsureTooltip(window)) return;
    const int32_t item = Graph_Pick(window, x, y);
    if (item < 0) {
        SendMessageA(g_tooltip, TTM_ACTIVATE, FALSE, 0);
    } else if (item != g_tooltipItem) {
        char buffer[256] = {};
        TOOLINFOA tool = {};
        tool.cbSize = sizeof tool;
        tool.hwnd = Shell().main;
        tool.uId = reinterpret_cast<UINT_PTR>(window);
        tool.lpszText = buffer;
        SendMessageA(g_tooltip, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool));
        try {
            std::string text;
            Locale_FormatStringWithInt(text, "item_no", item + 1, "StylusItemInfo");
            tool.lpszText = const_cast<char*>(text.c_str());
            SendMessageA(g_tooltip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
        } catch (const std::bad_alloc&) {
            App_ErrorBox(Locale_GetString("ErrorOutOfMemory"), "ErrorOutOfMemory");
        }
        SendMessageA(g_tooltip, TTM_ACTIVATE, TRUE, 0);
    }
    g_tooltipItem = item;
}

// Mouse moves go to the marker in marker mode, else to navigation; the
// tooltip and the status bar's readout follow the cursor.
void StylusView_OnMouseMove(WPARAM buttons, int32_t x, int32_t y, HWND window) {
    AppState& app = App();
    NavigationState* nav = Graph_GetNavigation(window);
    if (buttons & MK_LBUTTON) {
        if (app.settings.MarkWithMouse) {
            MarkerAction(window, kMarkerMove);
        } else if (nav) {
            GraphViewPort port(window, true);
            PostLevel(window, Nav_DragMove(*nav, port, app.view, x, y));
        }
    }
    if ((buttons & MK_RBUTTON) && nav) {
        GraphViewPort port(window, true);
        PostLevel(window, Nav_CaptureMove(*nav, port, app.view, x, y));
    }
    StylusView_UpdateTooltip(window, x, y);
    StatusBar_Update();
}

void StylusView_OnButtonUp(HWND window, int32_t x, int32_t y) {
    AppState& app = App();
    g_ctrlAtLeftPress = false;
    NavigationState* nav = Graph_GetNavigation(window);
    if (app.settings.MarkWithMouse) {
        MarkerAction(window, kMarkerRelease);
        if (nav) nav->dragging = false;
        ReleaseCapture();
        App_RefreshUi();
    } else {
        if (nav) {
            // A rubber band drawn in this drag is the marking region.
            const bool marking = nav->dragging && nav->rectangleMode;
            GraphViewPort port(window, true);
            PostLevel(window, Nav_EndDrag(*nav, port, app.view, x, y));
            if (marking && nav->rectanglePresent) SelectInRectangle(window, *nav);
        }
        ReleaseCapture();
    }
    if (HWND list = Shell().modeless[kSlotStylusProperties]) SendMessageA(list, kMsgPanelRefresh, 0, 0);
    App_SetMarkerCursor();
}

LRESULT CALLBACK Graph_WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppState& app = App();
    const int32_t x = static_cast<int16_t>(LOWORD(lParam)), y = static_cast<int16_t>(HIWORD(lParam));
    switch (message) {
        case WM_CREATE: {
            const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            InstallMarkerSeam();  // the scan's item list exists from here on
            return Graph_Create(window, app.settings, static_cast<const int*>(create->lpCreateParams)) ? -1 : 0;
        }
        case WM_DESTROY:
            if (Shell().view == window) Shell().view = nullptr;
            Graph_Destroy(window);
            return 0;
        case WM_SIZE:
            View_PostRepaint(4);
            return 0;
        case WM_PAINT:
            Graph_OnPaint(window, static_cast<int32_t>(lParam));
            SendMessageA(window, WM_NCPAINT, 1, 0);
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SETCURSOR:
            if (app.pointerOverView) {
                App_SetMarkerCursor();
                return 1;
            }
            break;
        case WM_NCHITTEST: {
            const LRESULT hit = DefWindowProcA(window, message, wParam, lParam);
            if (hit == HTCLIENT) {
                app.pointerOverView = true;
                TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, window, 0};
                TrackMouseEvent(&track);
            }
            return hit;
        }
        case WM_MOUSEMOVE:
            StylusView_OnMouseMove(wParam, x, y, window);
            return 0;
        case WM_LBUTTONDOWN:
            if (app.settings.MarkWithMouse) MarkerAction(window, kMarkerPress);
            g_ctrlAtLeftPress = (wParam & MK_CONTROL) != 0;
            if (NavigationState* nav = Graph_GetNavigation(window))
                Nav_BeginDrag(*nav, x, y, (GetKeyState(VK_MENU) & 0x8000) != 0, app.selectMode || g_ctrlAtLeftPress);
            SetCapture(window);
            App_SetMarkerCursor();
            return 0;
        case WM_LBUTTONUP:
            StylusView_OnButtonUp(window, x, y);
            return 0;
        case WM_RBUTTONDOWN:
            if (NavigationState* nav = Graph_GetNavigation(window)) Nav_BeginCapture(*nav, x, y);
            SetCapture(window);
            return 0;
        case WM_RBUTTONUP:
            if (NavigationState* nav = Graph_GetNavigation(window)) PostLevel(window, Nav_EndCapture(*nav, x, y));
            ReleaseCapture();
            return 0;
        case WM_MOUSEWHEEL: {
            NavigationState* nav = Graph_GetNavigation(window);
            if (Nav_Wheel(app.view, nav ? nav->allowed : kNavAll, static_cast<int16_t>(HIWORD(wParam))))
                View_PostRepaint(3);
            return 0;
        }
        case WM_MOUSELEAVE:
        case WM_NCMOUSELEAVE:
            app.pointerOverView = false;
            App_SetMarkerCursor();
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void View_ConnectShell() {
    Shell_Win32Hooks().viewWindowProc = Graph_WindowProc;
    ShellHooks& hooks = Shell_Hooks();
    hooks.postRepaint = [](int level) { View_PostRepaint(level); };
    hooks.sendRepaint = [](int level) { View_SendRepaint(level); };
    hooks.cursorText = ScanStatusReadout;
    hooks.setMarkerCursor = App_SetMarkerCursor;
    hooks.resetScanState = View_ResetScanState;
    hooks.setAutoViewpoint = [] {
        AppState& app = App();
        if (app.raw) Nav_AutoViewpoint(app.view, *app.raw, true);
    };
    InstallMarkerSeam();
}

void GraphViewPort::ClientSize(int32_t& width, int32_t& height) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(window_, &client);
    width = client.right;
    height = client.bottom;
}

bool GraphViewPort::Project(const Vec3& point, Vec3& out) { return Graph_ProjectToScreen(point, window_, out) == 0; }

bool GraphViewPort::Unproject(const Vec3& point, Vec3& out) {
    return Graph_UnprojectFromScreen(point, window_, out) == 0;
}

bool GraphViewPort::ReadDepth(int32_t x, int32_t y, Vec3& out) { return Graph_ReadDepth(window_, x, y, out, 0) == 0; }

void GraphViewPort::CentreCursor() {
    if (!centresCursor_) return;
    RECT client;
    GetClientRect(window_, &client);
    POINT centre = {client.right / 2, client.bottom / 2};
    ClientToScreen(window_, &centre);
    SetCursorPos(centre.x, centre.y);
}

void GraphViewPort::Beep() { MessageBeep(MB_OK); }
