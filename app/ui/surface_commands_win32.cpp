// The commands that open the surface windows and the about boxes, and the
// Pemmler keys that show a surface.
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"

namespace {

constexpr WORD kGenerateSurface = 40060;
constexpr WORD kPemmlerBasicSurface = 40228;
constexpr WORD kPemmlerRbfSurface = 40229;
constexpr WORD kAbout = 40024;
constexpr WORD kAboutLibrary = 40127;

void ShowSurfaceOfKind(int32_t kind) {
    AppState& app = App();
    if (app.settings.CombineSweeps != kind) {
        app.settings.CombineSweeps = kind;
        app.shownSurface = kind == 2 ? &app.rbf : &app.basic;
    }
    ShowBasicSurface();
}

}  // namespace

bool SurfaceDialogs_Command(WORD id) {
    AppState& app = App();
    switch (id) {
        case kGenerateSurface: {
            HWND w =
                ShowGenerateSurfaceDialog(app.settings, {&app.basic, &app.rbf, &app.shownSurface}, app.raw, app.view);
            if (w) Shell().modeless[kSlotGenerateSurface] = w;
            return true;
        }
        case kPemmlerBasicSurface:
        case kPemmlerRbfSurface:
            ShowSurfaceOfKind(id == kPemmlerRbfSurface ? 2 : 1);
            return true;
        case kAbout:
            AboutDialog_Run(Shell().main);
            return true;
        case kAboutLibrary:
            LibraryAboutDialog_Run(Shell().main);
            return true;
    }
    return false;
}
