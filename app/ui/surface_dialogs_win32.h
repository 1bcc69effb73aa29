// The surface windows: Generate Surface (modeless from the Edit menu, modal
// for one batch item), the two build dialogs with their worker threads that
// the view runs when a shown surface has no points, the callback that shows
// a surface, and the two about boxes.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/surf_progress.h"
#include "app/scan/surface_record.h"
#include "app/ui/progress_dialogs_win32.h"

#include <windows.h>

#include <cstdint>
#include <functional>

struct RawData;

constexpr int kGenerateSurfaceTemplate = 321;
constexpr int kBasicSurfaceTemplate = 341;
constexpr int kRbfSurfaceTemplate = 349;
constexpr int kAboutTemplate = 307;
constexpr int kLibraryAboutTemplate = 308;

// The two surfaces of a scan and which of them the view shows.
struct SurfacePairRefs {
    SurfaceRecord* basic;
    SurfaceRecord* rbf;
    SurfaceRecord** shown;
};

// The modeless window on the program's records; an existing one is refreshed
// and brought forward. Returns the window.
HWND ShowGenerateSurfaceDialog(GeneralSettings& settings, SurfacePairRefs surfaces, RawData* raw, ViewSettings& view);
// The modal run on a batch item's settings copy: 1 when an apply button ran.
INT_PTR GenerateSurfaceDlg_RunModal(HINSTANCE instance, HWND owner, SurfacePairRefs surfaces, ViewSettings& view,
                                    const GeneralSettings& defaults, RawData* raw, GeneralSettings& settings);

// The build dialogs over the program's scan and surfaces: 1 when built.
INT_PTR BasicSurfaceDialog_Run(HWND owner);
INT_PTR RbfSurfaceDialog_Run(HWND owner);

// Switches the view to the surface mode (when the scan has profiles) and
// activates the main window.
void ShowBasicSurface();

INT_PTR AboutDialog_Run(HWND owner);
INT_PTR LibraryAboutDialog_Run(HWND owner);

// The commands of these windows: Generate Surface, the Pemmler surface keys
// and the two about boxes. False for any other command.
bool SurfaceDialogs_Command(WORD id);

// The view's surface builds run in the build dialogs.
void SurfaceDialogs_ConnectShell();

// Test seams: how the build dialogs start and release their workers, and the
// basic build the basic worker runs (none: the program's own).
void SurfaceBuild_SetThreadOps(WorkerThreadOps ops);
using BasicBuildFn = std::function<int32_t(SurfProgressFn progress, void* user)>;
void SurfaceBuild_SetBasicBuilder(BasicBuildFn build);
