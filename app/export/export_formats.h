// The export formats: their table, the option block of each, the rules the
// Save dialog applies when a format is chosen, its filter list, and the path
// remembered between exports.
#pragma once

#include <cstdint>
#include <string>

#include "app/scan/settings_records.h"

struct ExportFormatRow {
    int32_t type;
    const char* nameKey;
    const char* extension;
    int32_t offeredForSurface;
};

// 13 rows in the order of ExportFileType, which is also the filter order.
extern const ExportFormatRow ExportFormatTable[13];
constexpr int kExportFormatCount = 13;

// The extension of a type, "err" for a type without a row.
const char* ExportFormat_Extension(int32_t type);

// The options block of the settings' ExportFileType (0 to 13), null for any
// other value.
ExportFormatOptions* Export_FormatOptions(GeneralSettings& settings);
const ExportFormatOptions* Export_FormatOptions(const GeneralSettings& settings);

// What the dialog lets the user change for the current format.
struct ExportControlFreedom {
    bool dataType;  // "Cloud of Points" / "Triangle Mesh"
    bool format;    // "Binary" / "Text "
    bool more;      // "More Options..."
    bool separate;  // "Separate Sweeps"
};

// Forces the fields a format fixes and says which controls stay free.
ExportControlFreedom ExportDlg_ApplyFormatRules(int32_t type, ExportFormatOptions& block);

// The filter list of the Save dialog: name and pattern pairs, each ended by
// a zero character, the list by one more. Sweeps are offered every format,
// surfaces all but those for sweeps only.
std::string ExportDlg_AppendFilters(bool surface);
// 1-based position of the type among the offered filters, 0 when not offered.
int ExportDlg_FilterIndex(bool surface, int32_t type);
// The type at a 1-based filter position; 0 (3DS) when out of range.
int32_t ExportDlg_TypeFromFilterIndex(bool surface, int index);
// The filter the dialog starts on: the stored type's, or the first filter
// when the stored type is not offered, in which case the stored type becomes
// that filter's type (so that the options shown are the ones written).
int ExportDlg_InitialFilter(bool surface, int32_t& storedType);

// The path of the last successful export of any kind, kept for the run of the
// program (at most 1023 characters).
std::string Export_RememberedPath();
void Export_RememberPath(const std::string& path);
// The file name part without folder and extension.
std::string Export_InitialFileName(const std::string& path);
