#include "app/ui/document_marks.h"

#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_hooks.h"
#include "app/base/time_stamp.h"

namespace {

void ResetDerivedState() {
    const ShellHooks& hooks = Shell_Hooks();
    if (hooks.resetDerivedState) {
        hooks.resetDerivedState();
        return;
    }
    AppState& app = App();
    Surface_Free(app.basic);
    Surface_Free(app.rbf);
    if (app.mode == kModeSurface) App_SetMode(kModeScan);
}

void UpdateTitle() {
    if (Shell_Hooks().updateTitle) Shell_Hooks().updateTitle();
}

void NotifyPanels() {
    if (Shell_Hooks().notifyPanels)
        Shell_Hooks().notifyPanels();
    else
        CastInv_ApplyConsistencyRule(App().settings);
}

constexpr uint32_t kUnstoredOptionBits = 0x670;

}  // namespace

void Doc_MarkProcessed() {
    AppState& app = App();
    Time_Now(app.raw->Timestamp);
    ResetDerivedState();
    app.raw->ProcessedChanged = 1;
    UpdateTitle();
}

void Doc_MarkEdited() {
    AppState& app = App();
    app.raw->Edited = 1;
    UpdateTitle();
    Time_Now(app.raw->Timestamp);
    if (app.mode == kModeSurface) App_SetMode(kModeScan);
}

void View_CopySettings(ViewSettings& destination, const ViewSettings& source, bool full) {
    const bool same = &destination == &source;
    if (!same) destination.CoordinateSystem = source.CoordinateSystem;
    if (!full) return;
    if (!same) {
        destination.ViewMatrix = source.ViewMatrix;
        destination.ViewOrigin = source.ViewOrigin;
    }
    destination.ZoomFactor = source.ZoomFactor;
    destination.DisplayType = source.DisplayType == 3 ? 2 : source.DisplayType;
    destination.Options = source.Options & ~kUnstoredOptionBits;
}

void View_ApplySettings(ViewSettings& destination, const ViewSettings& stored) {
    destination.Options = stored.Options;
    destination.DisplayType = stored.DisplayType;
    destination.ZoomFactor = stored.ZoomFactor;
    if (&destination != &stored) {
        destination.ViewOrigin = stored.ViewOrigin;
        destination.ViewMatrix = stored.ViewMatrix;
    }
    destination.CoordinateSystem = destination.ViewMatrix;
}

void RestoreViewMatrix(ViewSettings& view, const Matrix4& m) {
    Matrix4 product;
    M4_Multiply(m, view.CoordinateSystem, product);
    view.ViewMatrix = product;
    if (Shell_Hooks().sendCommand) Shell_Hooks().sendCommand(kCommandCentre);
}

bool CastInv_IsCastObject(const GeneralSettings& s) {
    return s.BasicParams.DoObjectLimit == 1 && s.BasicParams.ObjectLimit == 2;
}

void CastInv_ApplyConsistencyRule(GeneralSettings& s) {
    if (!CastInv_IsCastObject(s)) s.CastInversionMode = 0;
}

bool CastInv_IsReady(const GeneralSettings& s, const RawData& raw, const SurfaceRecord& surface) {
    return s.CastInversionMode && raw.NumProfiles >= 1 && !raw.ProcessedChanged && surface.NumPoints >= 1 &&
           CastInv_IsCastObject(s);
}

void CastInv_SetMode(bool on) {
    GeneralSettings& s = App().settings;
    if (on) {
        s.CastInversionMode = 1;
        s.RbfParams.RbfTrimType = kRbfTrimOpen;
        if (!CastInv_IsCastObject(s)) {
            s.BasicParams.DoObjectLimit = 1;
            s.BasicParams.ObjectLimit = 2;
            ResetDerivedState();
            NotifyPanels();
        }
        NotifyPanels();
    } else {
        s.CastInversionMode = 0;
        NotifyPanels();
    }
    if (Shell_Hooks().refreshUi) Shell_Hooks().refreshUi();
}
