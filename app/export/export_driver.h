// The export driver: gathers the visible sweeps or the current surface,
// chooses the frame, makes the creator text and the parameter comment, calls
// the writer of the chosen format and turns its result into a message. The
// Save dialogs and the command loop round it are the shell's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/export/export_common.h"
#include "app/scan/settings_records.h"
#include "app/scan/stylus_export.h"

struct RawData;
struct SurfaceRecord;

// What the driver asks of the program around it. Set once at start-up;
// read from the batch thread too.
struct ExportHooks {
    std::function<std::string()> productName;  // default "Tolvaran"
    // The large-polyline question: 1 save the polyline, 2 save 3DFACEs,
    // 0 cancel. It is given the export's own settings, whose stored answer
    // serves where no question may be asked. Default: the polyline.
    std::function<int(const GeneralSettings&)> askDxfPolyline;
};
ExportHooks& Export_Hooks();

// A number of the parameter comment in a cell of at most 4 characters.
std::string Export_FormatCell(double value);

// The parameter comment of an export (at most 1023 characters).
std::string Export_BuildComment(const GeneralSettings& settings, const ExportFormatOptions& options, bool surface,
                                const char* endOfLineName);

// The export frame: 1 the screen view, 2 the bounding box, else identity.
Matrix4 Export_FrameMatrix(int32_t coordinateSystem, const ViewSettings& view);
// The screen-view matrix: minus the view origin, then the view matrix.
Matrix4 Export_ScreenTransform(const ViewSettings& view);

// The visible sweeps as one block: per shown sweep the running totals of
// points and of facets, then positions, normals, albedos and facets.
struct SweepArrays {
    int32_t sweepCount = 0;
    int32_t pointCount = 0;
    int32_t facetCount = 0;
    int32_t* pointTotals = nullptr;  // start of the block
    int32_t* facetTotals = nullptr;
    Vec3* positions = nullptr;
    Vec3* normals = nullptr;
    float* albedos = nullptr;
    int32_t* facets = nullptr;
};
// False with the message key ("ErrorExportNoSurface", "ErrorOutOfMemory").
bool Export_BuildSweepArrays(const RawData& raw, SweepArrays& out, const char*& messageKey);
void Export_FreeSweepArrays(SweepArrays& arrays);

// byte / 256 per point; null when out of memory. The caller frees it.
float* Export_AlbedoFloats(const uint8_t* greyscale, int32_t count);

// The triangles a triangle format gets of a surface: its facets, then each
// quad (P, Q, R, S) as (P, Q, R) and (P, R, S). Null when out of memory.
int32_t* Export_TrianglesWithQuads(const int32_t* facets, int32_t facetCount, const int32_t* quads, int32_t quadCount);

// Writes the sweeps (surface false) or the surface to `path` in the
// settings' format. Returns 1 when the message stays empty, else 0 with the
// message set (a cancelled polyline question gives 0 and no message).
int Export_Scan(const RawData& raw, const SurfaceRecord* surface, bool surfaceFlag, const std::string& path,
                GeneralSettings settings, ViewSettings view, std::string& message);

// The stylus export. `inverted` takes the poses on an inverted cast.
// Returns 1 on success, else 0 with the message set.
int Export_StylusData(const GeneralSettings& settings, const StylusItemList& items, bool surfaceFlag, bool inverted,
                      const ViewSettings& view, const std::string& path, std::string& message);
