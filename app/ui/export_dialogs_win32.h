// File > Export on Windows: the Save dialog with its options panel, the
// per-format option dialogs, the large-polyline question, the stylus Save
// dialog and the command loop round the portable export driver.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/scan/settings_records.h"

// Templates and controls.
constexpr int kExportPanelTemplate = 319;
constexpr int kStylusPanelTemplate = 350;
constexpr int kDxfQuestionTemplate = 351;
constexpr int kExportMoreOptions = 1112;
constexpr int kExportTracker = 1061, kExportScreen = 1063, kExportBoundingBox = 1064;
constexpr int kExportCloud = 1072, kExportMesh = 1071, kExportSeparate = 1253;
constexpr int kExportBinary = 1060, kExportText = 1062;
constexpr int kExportCrlf = 1065, kExportLf = 1066, kExportCr = 1067;

// What the Save dialog's panel and the option dialogs work on.
struct ExportDlgRecord {
    bool surface;
    GeneralSettings* settings;
};

// The export Save dialog; nonzero when a file was chosen (its path in
// `path`). The chosen type and options are written into `settings` at once.
int ExportDlg_Run(GeneralSettings& settings, const std::string& rememberedPath, bool surface, std::string& path);
UINT_PTR CALLBACK ExportDlg_HookProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// The option dialog of the type (DXF, IGES, Matlab, PLY, STL, Wavefront);
// false when the type has none. Writes the settings only on OK.
bool ExportDlg_RunMoreOptions(HWND owner, ExportDlgRecord& record);
// Its template, 0 for none.
int ExportDlg_MoreOptionsTemplate(int32_t type);

// The large-polyline question: 1 save the polyline, 2 save 3DFACEs, 0 cancel.
int Export_AskDxfPolyline(GeneralSettings& settings);

// File > Export of the sweeps (0) or the current surface (1): the dialog,
// the export, the failure box and the dialog again, until a file is written
// (1) or the user cancels (0).
int Export_Command(int surface);
// The stylus Save dialog and export: 1 when written, 0 on cancel.
int Export_StylusPoints(int surface);
UINT_PTR CALLBACK StylusExportDlg_HookProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// Commands 40004, 40129, 40148, 40261 and 40267; false for any other.
bool Export_HandleCommand(WORD id);

// The driver's services: the product's name and the polyline question. Called
// on the interface thread, the only one that asks the question.
void Export_InstallHooks();
