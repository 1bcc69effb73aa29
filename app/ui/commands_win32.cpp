#include "app/ui/commands_win32.h"

#include "app/acquisition/acquisition_settings.h"
#include "app/acquisition/tracking_state.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/scan/sweep_register.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/batch_dialog_win32.h"
#include "app/ui/box_sides.h"
#include "app/ui/brand_info.h"
#include "app/ui/calibration_checks_win32.h"
#include "app/ui/cast_tools_win32.h"
#include "app/ui/clip_dialog_win32.h"
#include "app/ui/dialogs_win32.h"
#include "app/ui/document_marks.h"
#include "app/ui/aaop_wizard_win32.h"
#include "app/ui/export_dialogs_win32.h"
#include "app/ui/file_properties_win32.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/input_handlers.h"
#include "app/ui/navigation.h"
#include "app/ui/list_panels_win32.h"
#include "app/ui/menu_states.h"
#include "app/ui/menu_table.h"
#include "app/ui/menus_win32.h"
#include "app/ui/progress_dialogs_win32.h"
#include "app/ui/reference_windows_win32.h"
#include "app/ui/scan_document_win32.h"
#include "app/ui/scan_edit.h"
#include "app/ui/scanner_dialogs_win32.h"
#include "app/ui/scanner_link.h"
#include "app/ui/settings_dialogs_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/sweep_registration.h"
#include "app/ui/tarrel_panel.h"
#include "app/ui/tarrel_panel_win32.h"
#include "app/ui/sweep_undo.h"
#include "app/ui/tool_dialogs_win32.h"
#include "app/ui/trim_sweeps_dialog_win32.h"
#include "app/ui/user_settings.h"
#include "app/ui/view_window_win32.h"

#include <shellapi.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

void Refresh() { App_RefreshUi(); }

void Repaint() { App_PostRepaint(3); }

void RepaintNow() { App_SendRepaint(3); }

AppState& A() { return App(); }

GeneralSettings& G() { return App().settings; }

ViewSettings& V() { return App().view; }

void Toggle(int32_t& value) { value = value ? 0 : 1; }

void ToggleOption(uint32_t bit) { V().Options ^= bit; }

// The scan's colours and both surfaces are worked out again at the next paint.
void ResetDerivedColours() {
    AppState& app = A();
    if (app.raw) RawData_ClearPointRunMark(*app.raw);
    Surface_ResetTimestamp(app.basic);
    Surface_ResetTimestamp(app.rbf);
}

void ShowSurface(int32_t kind) {
    AppState& app = A();
    G().CombineSweeps = kind;
    app.shownSurface = kind == 2 ? &app.rbf : &app.basic;
    App_SetMode(kModeSurface);
}

// The bounding box takes a new frame: the scan's and both surfaces' boxes
// are measured again in it, and the view is centred on the data.
void SetBoxFrame(const Matrix4& frame) {
    AppState& app = A();
    ResetDerivedColours();
    if (app.raw) app.raw->ExtentsTime = 0;
    for (SurfaceRecord* surface : {&app.basic, &app.rbf}) surface->ExtentsTime = 0;
    V().CoordinateSystem = frame;
    if (Shell_Hooks().sendCommand) Shell_Hooks().sendCommand(kCommandCentre);
}

// The box seen from one of its sides, or the present view made that side's.
// Showing a side is for everyone; making one needs the Pemmler keys.
bool SideCommand(WORD id, bool pemmlerKeys) {
    BoxSideCommand command;
    if (!BoxSide_ForCommand(id, command)) return false;
    const bool pemmler = A().editions.pemmler;
    if (!command.setsBox) {
        BoxSide_Show(V(), command.side, pemmler);
    } else if (pemmlerKeys) {
        ViewSettings view = V();
        BoxSide_SetFromView(view, command.side, pemmler);
        SetBoxFrame(view.CoordinateSystem);
    }
    return true;
}

void SendPanelRefresh(int slot) {
    HWND panel = Shell().modeless[slot];
    if (panel && IsWindow(panel)) SendMessageA(panel, kMsgPanelRefresh, 0, 0);
}

// The edition's panel is drawn again and the Extents window shows the
// present box in the present units.
void RedrawToolPanel() {
    HWND panel = Shell().modeless[kSlotTarrelPanel];
    if (panel && IsWindow(panel)) InvalidateRect(panel, nullptr, TRUE);
    Extents_Refresh();
}

// ---- Groups of cases --------------------------------------------------------

void SetColourMode(int32_t mode, WORD id) {
    AppState& app = A();
    const int32_t previous = app.mode;
    V().ColourMode = mode;
    ResetDerivedColours();
    const bool grey = Surface_HasGreyscale(app.basic);
    const bool keepSurface = (id == 40281 && previous == kModeScan && grey) || (id == 40245 && grey);
    if (!keepSurface) App_SetMode(kModeScan);
    Repaint();
}

// The display options word as the view draws it and scan files keep it.
constexpr uint32_t kOptionNormals = 1;
constexpr uint32_t kOptionEdges = 2;

void SetDisplay(int32_t type, bool edges) {
    if (edges)
        V().Options |= kOptionEdges;
    else
        V().Options &= ~kOptionEdges;
    V().DisplayType = type;
    Repaint();
}

void ToggleMouseMarking() {
    AppState& app = A();
    const bool on = !G().MarkWithMouse;
    App_LeaveMouseModes();
    G().MarkWithMouse = on;
    MarkerDialog_Show(on);
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.setMarkerCursor) hooks.setMarkerCursor();
    (void)app;
    RepaintNow();
}

void ResetToDefaults() {
    AppState& app = A();
    GeneralSettings& g = G();
    const int32_t revision = g.VideoProcessorRevision, frequency = g.QuadrelFrequency, device = g.HardwareDevice,
                  enabled = g.ScannerEnabled;
    char configFile[kSettingsTextSize];
    uint32_t colours[16];
    std::memcpy(configFile, g.HardwareConfigFilename, sizeof configFile);
    std::memcpy(colours, g.CustomColours, sizeof colours);
    std::memcpy(&g, &app.settingsDefaults, sizeof g);
    g.VideoProcessorRevision = revision;
    g.QuadrelFrequency = frequency;
    g.HardwareDevice = device;
    g.ScannerEnabled = enabled;
    std::memcpy(g.HardwareConfigFilename, configFile, sizeof configFile);
    std::memcpy(g.CustomColours, colours, sizeof colours);
    // The Tarrel edition's hardware filter length (its own profile filter
    // stays the edition's default).
    if (app.editions.tarrel) SetOddFilterLength(3);
    RedrawToolPanel();
    App_NotifyPanels();
    ResetDerivedColours();
    Repaint();
}

void SetToolbarValue(WORD id) {
    GeneralSettings& g = G();
    switch (id) {
        case 40383:
        case 40359:
            g.UseOldToolbar = 1;
            break;
        case 40384:
        case 40358:
            g.UseOldToolbar = 0;
            break;
        case 40354:
            Toggle(g.ToolbarLabels);
            break;
        case 40355:
            g.ToolbarIconSize = 2;
            break;
        case 40356:
            g.ToolbarIconSize = 1;
            break;
        case 40357:
            g.ToolbarIconSize = 0;
            break;
    }
    TarrelPanel_Destroy();
    if (Shell_Hooks().rebuildToolbars) Shell_Hooks().rebuildToolbars();
    // The edition's panel is made again over the new toolbar, or the user
    // would be left without it until the next start.
    if (A().editions.tarrel) TarrelPanel_Create(G(), A().raw);
}

// The view window made again with the changed graphics settings.
// The listeners of the view (the stylus list's and the main window's) go
// with its navigation state: they are added to the new view in their order.
bool RecreateView() {
    ShellWindows& shell = Shell();
    std::vector<ViewListener> listeners;
    if (HWND view = shell.view) {
        if (NavigationState* nav = Graph_GetNavigation(view)) listeners = nav->listeners;
        shell.view = nullptr;
        SendMessageA(view, WM_CLOSE, 0, 0);
        if (IsWindow(view)) DestroyWindow(view);
    }
    HWND view = Graph_CreateWindow(shell.main);
    if (NavigationState* nav = view ? Graph_GetNavigation(view) : nullptr)
        for (const ViewListener& l : listeners) Nav_AddListener(*nav, l.callback, l.words[0], l.words[1]);
    return view != nullptr;
}

}  // namespace

bool Commands_RecreateView() { return RecreateView(); }

namespace {

void ToggleGraphicsHardware() {
    Toggle(G().DisableGraphicsHardware);
    if (RecreateView()) return;
    App_WarningBox(Locale_GetString("ErrorGraphicsInit"), "ErrorGraphicsInit");
    Toggle(G().DisableGraphicsHardware);
    RecreateView();
}

void ToggleSwapCopyOverride() {
    if (!G().OverrideGraphicsHardwareSwapCopyBit && Commands_Ask(Locale_GetString("OverrideSwapCopyDlgQuestion"),
                                                                 Locale_GetString("OverrideSwapCopyDlgTitle")) != IDYES)
        return;
    Toggle(G().OverrideGraphicsHardwareSwapCopyBit);
    RecreateView();
}

void SwitchTrackerModel(bool& mine, bool& other) {
    mine = !mine;
    if (mine) other = false;
    // The tracker is given the chosen model's command list when it is next set up.
    const CommandSwitches& switches = App_CommandSwitches();
    SetAlternativeTrackerList(switches.corvane ? 1 : switches.halvern ? 2 : 0);
    if (!mine) return;
    AppState& app = A();
    G().VideoProcessorRevision = 2;
    Scanner_Stop();
    Scanner_Start(G().HardwareConfigFilename, app.programFolder.c_str());
    if (const auto window = ScannerLink_Get().scannerPropertiesWindow) {
        if (HWND properties = reinterpret_cast<HWND>(window())) SendMessageA(properties, 0x8040, 0, 0);
    }
}

void TestCalibrationFileAccess() {
    const std::string path = A().programFolder + G().HardwareConfigFilename;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        App_InfoBox("Cal file access is correct");
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        App_WarningBox("Cal file does not exist");
    else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        App_WarningBox("Cannot access cal file");
}

void InvertScanCoordinates() {
    RawData* raw = A().raw;
    if (!raw) return;
    for (int32_t i = 0; i < raw->NumPoints; ++i) {
        Vec3& v = raw->Points[i].Vertex;
        v = Vec3{-v.x, -v.y, -v.z};
    }
    for (int32_t f = 0; f < raw->NumFacets; ++f) {
        Vec3& n = raw->FacetNormals[f];
        n = Vec3{-n.x, -n.y, -n.z};
    }
}

void DeleteProfile() {
    DefaultInputHandler<int> handler;
    int profile = 0;
    if (!InputBox_RunInt("Enter profile no:", "Delete Profile", "", handler, profile)) return;
    RawData* raw = A().raw;
    if (!raw || profile < 0 || profile >= raw->NumProfiles) return;
    RawData_DeleteProfile(*raw, profile);
    RawData_ClearPointRunMark(*raw);
    RawData_ClearSweepCursor(*raw);
    RepaintNow();
    SendPanelRefresh(kSlotSweepsList1);
    SendPanelRefresh(kSlotGenerateSurface);
}

void StylusGroupStep(bool undo) {
    RawData* raw = A().raw;
    if (!raw) return;
    const bool changed = undo ? StylusItems_UndoGroup(raw->Stylus) : StylusItems_RedoGroup(raw->Stylus);
    if (!changed) return;
    SendPanelRefresh(kSlotSweepsList2);
    MarkerDialog_Refresh();
    Repaint();
}

bool PemmlerKeysActive() { return A().factoryMenuShown || A().editions.pemmler || App_CommandSwitches().pemmlerKeys; }

void CloseThenCalibrationMode() {
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.unloadScan && !hooks.unloadScan(true)) return;
    App_SetMode(A().mode == kModeCalibration ? kModeScan : kModeCalibration);
    Repaint();
}

void ResetScanner() {
    if (!G().ScannerEnabled) return;
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.unloadScan && !hooks.unloadScan(true)) return;
    Scanner_Stop();
    Scanner_Start(G().HardwareConfigFilename, A().programFolder.c_str());
}

void OpenUpdateAddress() {
    // A brand without an update address has nothing to open.
    if (Brand_Get().updateurl.empty()) return;
    ShellExecuteA(Shell().main, "open", Brand_Get().updateurl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// The commands of the File, Edit, View and Stylus menus; false when the id is none of them.
bool DocumentAndViewCommand(WORD id) {
    AppState& app = A();
    switch (id) {
        case 40005:
            PostMessageA(Shell().main, WM_CLOSE, 0, 0);
            return true;
        case 40296:
            FileProperties_Run(Shell().main);
            return true;
        case 40273:
            ScanEdit_UndoCommand();
            return true;
        case 40276:
            ScanEdit_RedoCommand();
            return true;
        case 40275:
            ScanEdit_DeleteCommand();
            return true;
        case 40243:
            if (app.selectMode) {
                App_LeaveMouseModes();
            } else {
                // Selecting works on the sweeps: the view switches to them.
                if (app.mode != kModeScan) {
                    App_SetMode(kModeScan);
                    Repaint();
                }
                App_LeaveMouseModes();
                app.selectMode = true;
                if (Shell_Hooks().setMarkerCursor) Shell_Hooks().setMarkerCursor();
            }
            return true;
        case 40297:
            if (app.busyState == kBusyIdle) {
                // While the sweeps are copied and moved no field may start a
                // capture that appends to the scan.
                app.busyState = kBusySweepRegistration;
                SweepRegDlg_Run(Shell().main);
                app.busyState = kBusyIdle;
            }
            return true;
        case 40300:
            if (app.raw) {
                SweepReg_ApplyPending(*app.raw);
                Doc_MarkEdited();
            }
            Repaint();
            return true;
        case 40336:
            StylusBump_Command();
            return true;
        case 40373: {
            const UINT state = GetMenuState(GetMenu(Shell().main), 40373, MF_BYCOMMAND);
            CastInv_SetMode(state == static_cast<UINT>(-1) ? !G().CastInversionMode : !(state & MF_CHECKED));
            return true;
        }
        case 40064:
            App_SetMode(kModePreview);
            Repaint();
            return true;
        case 40262:
            App_SetMode(kModeScan);
            Repaint();
            return true;
        case 40263:
        case 40264:
            ShowSurface(id == 40263 ? 1 : 2);
            Repaint();
            return true;
        case 40291:
            Toggle(G().ViewBBox);
            Repaint();
            return true;
        case 40292:
            // The box changes what is drawn, not the scan: the change time
            // that tells stale surfaces apart stays.
            G().ViewBBox = 1;
            SetBoxFrame(V().ViewMatrix);
            return true;
        case 40011:
        case 40013:
        case 40014:
            SetDisplay(id == 40011 ? 0 : id == 40013 ? 1 : 2, false);
            return true;
        case 40015:
            SetDisplay(2, true);
            return true;
        case 40078:
            ToggleOption(kOptionNormals);
            Repaint();
            return true;
        case 40281:
            SetColourMode(0, id);
            return true;
        case 40245:
            SetColourMode(1, id);
            return true;
        case 40285:
        case 40286:
        case 40287:
            SetColourMode(id == 40285 ? 6 : id == 40286 ? 7 : 5, id);
            return true;
        case 40333:
        case 40334:
        case 40332:
            Toggle(id == 40333   ? G().ViewReferencePosition
                   : id == 40334 ? G().ViewWandPosition
                                 : G().ViewTransmitterPosition);
            App_SetMode(kModeScan);
            Repaint();
            return true;
        case 40119:
        case 40120:
        case 40121:
        case 40122:
            G().Movement = id - 40119;
            return true;
        case 40200:
        case 40335:
            StylusGroupStep(id == 40200);
            return true;
        case 40344:
            Toggle(G().StylusPointAutoView);
            return true;
        case 40345:
            Toggle(G().StylusPointBeep);
            return true;
        case 40181:
            // Laser pointer mode is the stylus mode that scan control captures in.
            Toggle(G().Stylus.Mode);
            Menu_UpdateStates();
            Repaint();
            return true;
        case 40368:
            ToggleMouseMarking();
            return true;
    }
    return false;
}

// The Scanner, Settings and Help menus.
bool ScannerSettingsHelpCommand(WORD id) {
    AppState& app = A();
    switch (id) {
        case 40182:
            ReferenceCommand_Swap();
            return true;
        case 40192:
            ShowTimerModePanel(&G().Timer);
            return true;
        case 40055:
        case 40056:
            if (app.raw &&
                (id == 40055 ? SweepUndo_Undo(*app.raw, app.busyState) : SweepUndo_Redo(*app.raw, app.busyState))) {
                SendPanelRefresh(kSlotSweepsList1);
                // The correction window counts the sweeps it shows.
                if (CalibrationCorrectionIsOpen()) SendCalibrationCorrection8081();
            }
            return true;
        case 40073:
            Toggle(G().AutoView);
            return true;
        case 40097:
        case 40098:
            ReferenceCommand_Change(id == 40098 ? 1 : 0);
            return true;
        case 40067:
            RunFreezeReceiverWizard();
            return true;
        case 40099:
            ScannerProperties_Run();
            return true;
        case 40104:
            RingBufferDiagnostics_Run();
            return true;
        case 40126:
            CalibrationCheckCommand();
            return true;
        case 40166:
            CalibrationUpdate_Run();
            return true;
        case 40165:
            ResetStylusHemisphere();
            return true;
        case 40349:
            if (app.raw) {
                if (G().ReceiverEnabled)
                    RunMoveReceiverWizard(*app.raw, V());
                else
                    RunMoveTransmitterWizard(*app.raw, V());
            }
            return true;
        case 40082:
            AlignmentCheckCommand();
            return true;
        case 40100:
            CalibrationCorrectionCommand();
            return true;
        case 40194:
            ResetScanner();
            return true;
        case 40208:
            Toggle(G().DisableDoubleTriggerClick);
            return true;
        case 40209:
            Toggle(G().DisableTripleTriggerClick);
            return true;
        case 40354:
        case 40355:
        case 40356:
        case 40357:
        case 40358:
        case 40359:
        case 40383:
        case 40384:
            SetToolbarValue(id);
            return true;
        case 40201:
            ToggleGraphicsHardware();
            return true;
        case 40239:
            ToggleSwapCopyOverride();
            return true;
        case 40389:
        case 40390:
            G().UseImperialUnits = id == 40390;
            RedrawToolPanel();
            return true;
        case 40225:
            Extents_Toggle();
            if (G().ShowExtents) RedrawToolPanel();
            return true;
        case 40019:
            UserSettings_Load(nullptr);
            ResetDerivedColours();
            App_NotifyPanels();
            Repaint();
            return true;
        case 40021:
            UserSettings_Save();
            return true;
        case 40022:
            Toggle(G().SaveSettingsOnExit);
            return true;
        case 40083:
            ResetToDefaults();
            return true;
        case 40177:
            Help_OpenManual(Brand_Get().manual.c_str());
            return true;
        case 40178:
            Help_OpenManual("TolvaranStylusManual.pdf");
            return true;
        case 40179:
            Help_OpenManual("Selvane-Extensions.pdf");
            return true;
        case 40023:
            Help_Show();
            return true;
        case 40293:
            OpenUpdateAddress();
            return true;
    }
    return false;
}

// The Factory menu.
bool FactoryCommand(WORD id) {
    AppState& app = A();
    CommandSwitches& switches = App_CommandSwitches();
    switch (id) {
        case 40103:
            CloseThenCalibrationMode();
            return true;
        case 40347:
            SwitchTrackerModel(switches.corvane, switches.halvern);
            return true;
        case 40352:
            SwitchTrackerModel(switches.halvern, switches.corvane);
            return true;
        case 40350:
            switches.crosshair = !switches.crosshair;
            return true;
        case 40353:
            switches.quadSurfacing = !switches.quadSurfacing;
            return true;
        case 40107:
            Toggle(G().BasicParams.GenerateFacets);
            return true;
        case 40125:
            TestCalibrationFileAccess();
            return true;
        case 40348:
            if (app.raw) StylusItems_FlipNormals(app.raw->Stylus);
            Repaint();
            return true;
        case 40206:
            InvertScanCoordinates();
            Repaint();
            return true;
        case 40108:
            Menus_ShowFactory(false);
            app.factoryMenuShown = false;
            return true;
        case 40242:
            return true;
        case 40341:
            DeleteProfile();
            return true;
        case 40380:
        case 40252:
        case 40253:
        case 40337:
        case 40272:
        case 40271:
        case 40254: {
            const uint32_t bit = id == 40380   ? 0x400
                                 : id == 40252 ? 0x10
                                 : id == 40253 ? 0x20
                                 : id == 40337 ? 0x200
                                 : id == 40272 ? 0x100
                                 : id == 40271 ? 0x80
                                               : 0x40;
            ToggleOption(bit);
            if (id != 40254) Repaint();
            return true;
        }
        case 40294:
            GotoInputPoint();
            return true;
        case 40295:
            PointCursor_Goto(-1, 1);
            return true;
        case 40218:
            PostMessageA(Shell().main, WM_HOTKEY, 0, 0);
            return true;
        case 40413:
            TrimSweeps_Run(Shell().main);
            return true;
    }
    return false;
}

// The Pemmler keys act only while enabled; otherwise they only refresh.
bool PemmlerCommand(WORD id) {
    static const std::set<WORD> keys = {40227, 40232, 40228, 40229, 40230};
    if (!keys.count(id)) return false;
    if (!PemmlerKeysActive()) return true;
    const ShellHooks& hooks = Shell_Hooks();
    switch (id) {
        case 40227:
            if (hooks.sendCommand) hooks.sendCommand(40089);
            break;
        case 40232:
            if (hooks.sendCommand) hooks.sendCommand(40262);
            break;
        case 40230:
            if (hooks.sendCommand) hooks.sendCommand(40004);
            break;
        case 40228:
        case 40229:
            SurfaceDialogs_Command(id);
            break;
    }
    return true;
}

}  // namespace

std::string Command_Label(WORD id) {
    for (size_t i = 0; i < kMainMenuTableSize; ++i) {
        const MenuTableRow& row = kMainMenuTable[i];
        if (row.id != id) continue;
        std::string label = row.textKey ? Locale_GetString(row.textKey) : row.text ? row.text : "";
        std::string plain;
        for (char c : label)
            if (c != '&') plain += c;
        return plain;
    }
    return "Command " + std::to_string(id);
}

int MainWnd_OnCommand(WORD id) {
    if (id < 40004 || id > 40413) return 0;
    // The edition panel's steps run in the panel (when there is one); the
    // caller passes them on.
    if (TarrelPanel_IsStep(id)) {
        TarrelPanel_SetButton(id);
        return 0;
    }
    if (View_Command(id) || SideCommand(id, PemmlerKeysActive()) || DocumentAndViewCommand(id) || ScanDoc_Command(id) || Export_HandleCommand(id) || Batch_Command(id) || Clip_Command(id) || AaopWizard_Command(id) || SettingsDialogs_Command(id) ||
        ToolDialogs_Command(id) || ListPanels_Command(id) ||
        ScannerSettingsHelpCommand(id) || FactoryCommand(id) || PemmlerCommand(id) ||
        SurfaceDialogs_Command(id)) {
        Refresh();
        return 1;
    }
    return 0;
}

// ---- Questions and help -----------------------------------------------------

namespace {

QuestionSink& Questions() {
    static QuestionSink sink;
    return sink;
}

HelpViewer& Viewer() {
    static HelpViewer viewer;
    return viewer;
}

HWND CallHtmlHelp(HWND owner, const char* file, UINT command, DWORD_PTR data) {
    if (Viewer()) return Viewer()(owner, file, command, data);
    static HMODULE library = LoadLibraryA("hhctrl.ocx");
    if (!library) return nullptr;
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(library, "HtmlHelpA")));
    return htmlHelp ? htmlHelp(owner, file, command, data) : nullptr;
}

std::string HelpFile() { return App().programFolder + "Tolvaran.chm"; }

// The keyword look-up record of the viewer.
struct KeywordLink {
    int cbStruct;
    BOOL fReserved;
    LPCSTR pszKeywords;
    LPCSTR pszUrl;
    LPCSTR pszMsgText;
    LPCSTR pszMsgTitle;
    LPCSTR pszWindow;
    BOOL fIndexOnFail;
};

}  // namespace

void Commands_SetQuestionSink(QuestionSink sink) { Questions() = std::move(sink); }

int Commands_Ask(const std::string& text, const std::string& title) {
    if (Questions()) return Questions()(text, title);
    return MessageBoxA(Shell().main, text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION);
}

void Help_SetViewer(HelpViewer viewer) { Viewer() = std::move(viewer); }

constexpr UINT kHelpDisplayToc = 0x0001;
constexpr UINT kHelpDisplayIndex = 0x0002;
constexpr UINT kHelpKeywordLookup = 0x000D;

void Help_Show() { CallHtmlHelp(Shell().main, HelpFile().c_str(), kHelpDisplayToc, 0); }

bool Help_ShowTopic(const char* keyword) {
    const std::string file = HelpFile();
    if (!CallHtmlHelp(Shell().main, file.c_str(), kHelpDisplayIndex, reinterpret_cast<DWORD_PTR>(keyword)))
        return false;
    KeywordLink link = {sizeof link, FALSE, keyword, nullptr, nullptr, nullptr, nullptr, TRUE};
    CallHtmlHelp(Shell().main, file.c_str(), kHelpKeywordLookup, reinterpret_cast<DWORD_PTR>(&link));
    return true;
}
