// The small tool dialogs of the Edit, View and factory menus: Refraction
// Correction, the texture camera's position log, Stereo Control, Resource
// values, Lighting and Colors and the Extents window.
#pragma once

#include "app/scan/raw_data.h"

#include <windows.h>

// ---- Refraction Correction (modal) -------------------------------------------
constexpr int kRefractionTemplate = 340;
constexpr int kRefractionThickness = 1350;
constexpr int kRefractionIndex = 1351;
constexpr int kRefractionOffset = 1352;
constexpr int kRefractionSameSide = 1347;
constexpr int kRefractionFarSide = 1348;
constexpr int kRefractionTransmitter = 1501;
constexpr int kRefractionReceiver = 1502;
constexpr int kRefractionSmallOffset = 1462;
constexpr int kRefractionStandardOffset = 1463;
constexpr int kRefractionCustomOffset = 1349;
constexpr int kRefractionDo = 3;
constexpr int kRefractionUndo = 4;

// The offset button that shows an offset: small (8 mm) or standard (29 mm)
// within 0.1 mm, else custom.
int Refraction_OffsetButton(float offset);
// Reads the dialog's glass values; false (after the error box) when the index
// is not above 0.01, which leaves `values` as it was.
bool RefractionDialog_Read(HWND dialog, RefractionSettings& values);
// Corrects the whole scan (undo false) or takes its correction back, and
// tells scan control which profiles carry the correction now.
void Refraction_Apply(bool undo);
int RefractionDialog(HWND owner);

// ---- Texture camera (modeless) ------------------------------------------------
constexpr int kTextureCameraTemplate = 365;
constexpr int kTextureCameraMode = 1145;
constexpr int kTextureCameraClear = 1150;
constexpr int kTextureCameraSave = 1151;
constexpr int kTextureCameraCount = 1152;

// Shows the texture camera window (made on first use, kept in its slot).
HWND TextureCamera_Show(HWND owner);
// The Save operation: asks for a file and writes the log to it.
void CameraLog_Save(HWND owner);

// ---- Stereo Control (modal) -----------------------------------------------------
constexpr int kStereoTemplate = 344;
constexpr int kStereoEnabled = 1101;
constexpr int kStereoDistance = 1103;
constexpr int kStereoOffset = 1104;
constexpr int kStereoApply = 1106;
constexpr int kStereoDefaults = 3;
constexpr int kStereoDistanceLabel = 1107;
constexpr int kStereoOffsetLabel = 1108;
int StereoControlDialog(HWND owner);

// ---- Extents (modeless tool window) ----------------------------------------------
constexpr int kExtentsTemplate = 358;
constexpr int kExtentsX = 1360, kExtentsY = 1361, kExtentsZ = 1362;
constexpr int kExtentsXUnit = 1363, kExtentsYUnit = 1364, kExtentsZUnit = 1365;
// Made hidden in its slot at start-up, 20 pixels right of the main window's
// left edge with its bottom 50 pixels above the main window's bottom.
HWND CreateExtentsWindow(HWND main);
// The scan's box (UpdateExtents) or the shown surface's (UpdateExtentsFromBox).
void UpdateExtents();
void UpdateExtentsFromBox();
void ClearExtents();
// Lengths in millimetres, shown in the display units.
void SetExtentsTexts(float x, float y, float z);
// The window, when it exists, shows the scan's box in the sweeps view, the
// shown surface's in the surface view and zeros in the other modes, in the
// present display units.
void Extents_Refresh();
// Start-up: the window made in its slot, shown when ShowExtents is set.
void Extents_Start(HWND main);
// 40225: the setting toggled, the window shown or hidden.
void Extents_Toggle();

// ---- Lighting and Colours (modeless) ---------------------------------------------
constexpr int kLightingTemplate = 342;
constexpr int kLightingSpotLevel = 1012;
constexpr int kLightingSpotPosition = 1013;
constexpr int kLightingAmbientLevel = 1015;
constexpr int kLightingSpecular = 1494;
constexpr int kLightingSmooth = 1495;
constexpr int kLightingGraded = 1496;
constexpr int kLightingSurfaceSample = 1372;
constexpr int kLightingProfileSample = 1373;
constexpr int kLightingBackgroundSample = 1374;
constexpr int kLightingSurface = 4;
constexpr int kLightingProfile = 5;
constexpr int kLightingBackground = 6;
constexpr int kLightingDefaults = 1040;
constexpr int kLightingApply = 3;
// Activates the dialog, or makes it (in its slot) and shows it.
HWND LightingColors_Show(HWND owner);
// True while the dialog's colour chooser is open.
bool LightingColors_ChooserOpen();

// ---- Resources (modal, factory) ---------------------------------------------------
constexpr int kResourcesTemplate = 348;
constexpr int kResourcesFilterLength = 1016;
constexpr int kResourcesAdvancePair = 1017;
constexpr int kResourcesTimerFields = 1019;
constexpr int kResourcesTimerSleep = 1020;
constexpr int kResourcesMinWidth = 1028;
constexpr int kResourcesMaxWidth = 1029;
constexpr int kResourcesNote = 1030;
int ResourceValuesDialog(HWND owner);

// The commands of these dialogs; true when the id is one of them.
bool ToolDialogs_Command(WORD id);
