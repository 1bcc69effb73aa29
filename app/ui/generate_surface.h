// The rules of the Generate Surface window, without the window: whether each
// surface still matches the settings it would be built with, what an entry
// typed into one of its fields becomes, what Apply and Close do to the two
// surfaces, and the reset to the defaults.
#pragma once

#include "app/scan/settings_records.h"
#include "app/scan/surface_record.h"

#include <cstdint>
#include <string>

// The commands a close sends the main window: View > Sweeps, View > Basic Surface.
constexpr int kCommandViewSweeps = 40262;
constexpr int kCommandViewBasicSurface = 40263;

// True when the basic surface is missing or was built with other basic
// settings than the current ones (floats compared exactly).
bool GenSurf_BasicParamsChanged(const GeneralSettings& settings, const SurfaceRecord& basic);

// True when the RBF surface is missing its basic surface, is not newer than
// it, was built in another coordinate system or with other RBF settings.
bool GenSurf_RbfParamsChanged(const GeneralSettings& settings, const ViewSettings& view, const SurfaceRecord& basic,
                              const SurfaceRecord& rbf);

// A float field left by the user: the text without surrounding blanks must be
// a whole number, else the old value stays; negative becomes 0; 0 keeps the
// old value unless zero is allowed (the margin).
float GenSurf_FloatEntry(const std::string& text, float old, bool zeroAllowed);
// The object limit: a signed integer, below 1 (or not a number) it is 1.
int32_t GenSurf_ObjectLimitEntry(const std::string& text);
// The memory and target counts: the unsigned number as typed (0 when none).
uint32_t GenSurf_UnsignedEntry(const std::string& text);
// How a float field shows its value: two decimals.
std::string GenSurf_FormatFloat(float value);

// Apply: the shown surface becomes the basic (kind 1) or the RBF surface,
// and its point count is set to 0 when it must be built again.
void GenSurf_Apply(int32_t kind, GeneralSettings& settings, const ViewSettings& view, SurfaceRecord& basic,
                   SurfaceRecord& rbf, SurfaceRecord*& shown);

// Close: stale surfaces lose their points; returns the view command the
// modeless window sends (kCommandView*), 0 for none.
int GenSurf_Close(const GeneralSettings& settings, const ViewSettings& view, SurfaceRecord& basic, SurfaceRecord& rbf);

// Reset: the basic and RBF blocks from the defaults; in the cast-inversion
// mode the cast's own values over them (two objects, open edges).
void GenSurf_ResetToDefaults(GeneralSettings& settings, const GeneralSettings& defaults);
