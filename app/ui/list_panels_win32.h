// The list panel (sweeps or stylus items) and the Stylus Properties dialog,
// modeless over the main window in their slots, and the stylus items'
// popup in the view.
#pragma once

#include "app/ui/list_panel_rows.h"

#include <windows.h>

#include <functional>

constexpr int kListTemplate = 363;
constexpr int kListView = 1272;
constexpr int kListCheckAll = 1273;
constexpr int kListUncheckAll = 1274;
constexpr int kListInvert = 1275;
constexpr int kListTransparent = 1304;
constexpr int kListFlip = 1346;
constexpr int kListMoveToSurface = 1286;
constexpr int kListDistance = 1291;
constexpr int kListDistanceUnit = 1622;

// The stylus popup's commands.
constexpr UINT kPopupTitle = 40393;
constexpr UINT kPopupSelect = 40394;
constexpr UINT kPopupHide = 40391;
constexpr UINT kPopupDelete = 40396;

// Creates the panel of that kind (kListSweeps, kListStylus) and returns its
// window; the stylus kind also listens to the view's clicks.
HWND ShowSweepList(int32_t kind);
// Refresh kinds 1 (append rows), 2 (drop rows beyond the counts), 3 (all
// again) to the sweep panel when it exists.
void SweepList_Refresh();
void SweepList_RefreshItems();
void SweepList_Rebuild();
// The sweep panel shows the sweeps, or one row for the surface on display;
// false when it does not exist.
bool SweepList_ShowSweepRows();
bool SweepList_ShowSurfaceRow();
void HideSweepList();
// Refresh kinds 1 and 2 to both panels: the document changed.
void ListPanels_Refresh();
// Refresh kind 3 to both panels: their rows are made again from the scan,
// whose sweeps or items were replaced or renumbered.
void ListPanels_Rebuild();

// The stylus popup at a client point of the view for group `group`: the full
// one (the list's) or the title and Delete only. Returns the chosen command.
HMENU StylusPopup_Build(int32_t group, bool full);
// A click on the stylus item of `group` in the view, as the listener of the
// list panel (null: the main window's) hears it after the pick: a left click
// toggles the group's selection, a right click opens the popup there.
void StylusList_ItemClicked(HWND panel, int32_t group, bool right, POINT screen);
// What the popup runs; tests give their own choice instead of the menu.
void StylusPopup_SetTracker(std::function<UINT(HMENU menu, POINT screen)> tracker);

// The listener of the main window, added at its creation and removed at its
// destruction: a right click on a stylus item offers Delete.
void AddStylusListListener();
void RemoveStylusListListener();

// Stylus Properties (template 362).
constexpr int kStylusPropertiesTemplate = 362;
constexpr int kStylusPointMode = 1314;
constexpr int kStylusLineMode = 1315;
constexpr int kStylusSegment = 1307;
constexpr int kStylusSegmentLabel = 1317;
constexpr int kStylusPointMarker = 1319;
constexpr int kStylusLineMarker = 1320;
constexpr int kStylusOnSurface = 1464;
HWND ShowStylusProperties();
void RefreshStylusProperties();

// 40135, 40144, 40167; true when the id is one of them.
bool ListPanels_Command(WORD id);
// The shell's list-panel hooks.
void ListPanels_ConnectShell();
