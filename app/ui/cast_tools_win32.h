// The Stylus Bump command (40336, F9 and F10) with its options dialog, and
// the cast inversion run with its settings dialog, over the program's RBF
// surface and stylus items.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct GeneralSettings;
struct RawData;
struct SurfaceRecord;

constexpr int kStylusBumpTemplate = 335;
constexpr int kStylusBumpDips = 1479;
constexpr int kStylusBumpWidth = 1350;
constexpr int kStylusBumpHeight = 1351;

constexpr int kCastInvTemplate = 318;
constexpr int kCastInvCutWidth = 1350;
constexpr int kCastInvTrimRange = 1351;
constexpr int kCastInvSymmetric = 1347;
constexpr int kCastInvAsymmetric = 1348;

// Runs dialog 335 on a copy of the settings; on OK stores the bump width and
// height into `settings` and returns true.
bool StylusBump_RunOptions(GeneralSettings& settings);

// Command 40336: the options, then the bumps on the RBF surface at the
// scan's stylus items; an allocation failure shows "ErrorOutOfMemory" with no
// vertex moved.
void StylusBump_Command();

// Dialog 318 over the three inversion settings: true on OK.
bool CastInv_RunOptions(HWND owner, GeneralSettings& settings);

// The cast inversion run of the Generate Surface dialog and the edition's
// panel: when the surface is not inverted yet, the settings dialog, the
// inversion and its message; on success the surface is marked inverted (and
// unsaved) and the view centred. Then the basic surface is shown.
void CastInv_Run(HWND owner, SurfaceRecord& rbf, GeneralSettings& settings, RawData& scan);

// The message of an inversion result (key and variables filled in); empty for
// result 7, which shows none.
struct CastInvReport;
std::string CastInv_ResultText(int32_t result, const CastInvReport& report, std::string& key);
