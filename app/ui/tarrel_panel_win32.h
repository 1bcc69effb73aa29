// The Tarrel edition's panel: a modeless window over the main window with
// three vertical toolbars, the object-size presets, the object count and the
// numbered steps of the work from scanning to the AAOP export.
#pragma once

#include <windows.h>

struct GeneralSettings;
struct RawData;

constexpr int kTarrelPanelTemplate = 310;
constexpr int kTarrelSizeBar = 10000;
constexpr int kTarrelStepBar = 10001;
constexpr int kTarrelCountBar = 10002;
constexpr int kTarrelSeparator = 1384;

// Creates the panel over the settings and the scan into its slot and shows
// it; the window, or null after an "Error %u" box.
HWND TarrelPanel_Create(GeneralSettings& settings, RawData* raw);
// Destroys the panel when it exists.
void TarrelPanel_Destroy();
// The panel's window, null when there is none.
HWND TarrelPanel_Window();
// Posts the panel refresh message (after a scan was opened or closed).
void TarrelPanel_Refresh();
// Posts the message to the panel when it exists.
void TarrelPanel_Notify(UINT message);
// A step the main window's dispatch hands over (40183 to 40189, 40198): the
// panel marks its button and runs it. False when there is no panel.
bool TarrelPanel_SetButton(int command);
