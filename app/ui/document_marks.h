// The document's change marks, the copies of stored view settings and the
// cast-inversion mode.
#pragma once

#include "app/scan/settings_records.h"

struct RawData;
struct SurfaceRecord;

// The scan's processed data changed: the change time is stamped, the derived
// surfaces are discarded (surface mode is left), the mark is set and the
// title updated.
void Doc_MarkProcessed();
// The scan was edited: the mark is set, the title updated, the change time
// stamped, and surface mode left.
void Doc_MarkEdited();

// Copies view settings between records: the second matrix always (when the
// records differ); with `full` also the view matrix and origin, the zoom,
// the display type (3 becomes 2) and the options without bits 0x670.
void View_CopySettings(ViewSettings& destination, const ViewSettings& source, bool full);
// A scan's stored view: options, display type and zoom; origin and view
// matrix when the records differ; the view matrix also into the second matrix.
void View_ApplySettings(ViewSettings& destination, const ViewSettings& stored);
// The view matrix becomes `m` times the second matrix; then the view is
// centred (command 40009).
void RestoreViewMatrix(ViewSettings& view, const Matrix4& m);

// The pair (BasicParams.DoObjectLimit, BasicParams.ObjectLimit) = (1, 2)
// marks a cast object; without it the cast-inversion mode is off.
bool CastInv_IsCastObject(const GeneralSettings& settings);
void CastInv_ApplyConsistencyRule(GeneralSettings& settings);
// True when the mode is on, the scan has profiles and no unprocessed
// change, the surface has points and the pair marks a cast object.
bool CastInv_IsReady(const GeneralSettings& settings, const RawData& raw, const SurfaceRecord& surface);
// Switches the cast-inversion mode of the program's settings.
void CastInv_SetMode(bool on);

constexpr int kCommandCentre = 40009;
