// The export cases every byte-level test writes: each format with every
// option that changes its bytes, for the fixture scan or surface.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/export/export_formats.h"
#include "app/scan/settings_records.h"

namespace export_test {

struct ExportCase {
    std::string name;
    bool surface;
    int32_t type;
    std::function<void(GeneralSettings&, ExportFormatOptions&)> set;
};

inline std::vector<ExportCase> AllExportCases() {
    using S = GeneralSettings;
    using O = ExportFormatOptions;
    auto mesh = [](S&, O& o) { o.ExportDataType = 1; };
    auto points = [](S&, O& o) { o.ExportDataType = 0; };
    return {
        {"3ds_sweeps", false, kExport3DS, mesh},
        {"3ds_points", false, kExport3DS,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.ExportCoordinateSystem = 0;
         }},
        {"3ds_surface", true, kExport3DS, mesh},
        {"ascii_sweeps", false, kExportAscii, [](S&, O& o) { o.EndOfLine = 0; }},
        {"ascii_surface_lf", true, kExportAscii,
         [](S&, O& o) {
             o.EndOfLine = 1;
             o.ExportCoordinateSystem = 1;
         }},
        {"ascii_sweeps_cr", false, kExportAscii,
         [](S&, O& o) {
             o.EndOfLine = 2;
             o.ExportCoordinateSystem = 0;
         }},
        {"dxf_points", false, kExportDxf, points},
        {"dxf_faces", false, kExportDxf,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportDxfMeshAs3DFACEs = 1;
         }},
        {"dxf_polyline", false, kExportDxf,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportDxfMeshAs3DFACEs = 0;
             o.EndOfLine = 1;
         }},
        {"dxf_surface", true, kExportDxf,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportDxfMeshAs3DFACEs = 0;
         }},
        {"iges_points", false, kExportIges, points},
        {"iges_copious", false, kExportIges,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportIgesMeshAs106 = 1;
             o.ExportNormals = 0;
         }},
        {"iges_copious_normals", true, kExportIges,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportIgesMeshAs106 = 1;
             o.ExportNormals = 1;
         }},
        {"iges_nurbs", true, kExportIges,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             s.ExportIgesMeshAs106 = 0;
             o.EndOfLine = 1;
         }},
        {"inventor_sweeps", false, kExportInventor, mesh},
        {"inventor_surface", true, kExportInventor,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.EndOfLine = 1;
         }},
        {"lightwave_sweeps", false, kExportLightwave, mesh},
        {"lightwave_surface", true, kExportLightwave,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportCoordinateSystem = 0;
         }},
        {"matlab_points", false, kExportMatlab, points},
        {"matlab_surface", true, kExportMatlab,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
             s.CombineSweeps = 2;
         }},
        {"psl_sweeps", false, kExportPsl,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.ExportSeparateSweeps = 1;
         }},
        {"psl_tracker", false, kExportPsl,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.ExportCoordinateSystem = 0;
         }},
        {"ply_text", false, kExportPly,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 1;
             o.EndOfLine = 1;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
         }},
        {"ply_text_points", false, kExportPly,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.ExportAsText = 1;
             o.EndOfLine = 2;
         }},
        {"ply_binary", false, kExportPly,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 0;
             o.EndOfLine = 1;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
         }},
        {"ply_surface", true, kExportPly,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 0;
             o.ExportAlbedos = 1;
         }},
        {"stl_text", false, kExportStl,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 1;
             o.EndOfLine = 1;
         }},
        {"stl_binary", false, kExportStl,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 0;
         }},
        {"stl_swapped", false, kExportStl,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 0;
             o.ExportStlBinaryByteSwapped = 1;
         }},
        {"stl_surface", true, kExportStl,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAsText = 0;
         }},
        {"vrml_sweeps", false, kExportVrml, mesh},
        {"vrml_surface", true, kExportVrml,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.EndOfLine = 1;
         }},
        {"vtk_points", false, kExportVtk,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.EndOfLine = 1;
         }},
        {"vtk_mesh", false, kExportVtk,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.EndOfLine = 0;
         }},
        {"vtk_surface", true, kExportVtk,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.EndOfLine = 1;
         }},
        {"obj_levels", false, kExportWavefront,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
             o.ExportSeparateSweeps = 0;
             o.EndOfLine = 1;
         }},
        {"obj_sweeps", false, kExportWavefront,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportSeparateSweeps = 1;
             o.EndOfLine = 1;
         }},
        {"obj_points", false, kExportWavefront,
         [](S&, O& o) {
             o.ExportDataType = 0;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
         }},
        {"obj_colour", true, kExportWavefront,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportAlbedos = 1;
             o.ExportByColour = 1;
             o.EndOfLine = 1;
         }},
        {"obj_texture", true, kExportWavefront,
         [](S&, O& o) {
             o.ExportDataType = 1;
             o.ExportNormals = 1;
             o.ExportAlbedos = 1;
             o.ExportUsingTextureMap = 1;
             o.EndOfLine = 1;
         }},
        {"obj_surface", true, kExportWavefront,
         [](S& s, O& o) {
             o.ExportDataType = 1;
             o.ExportNormals = 1;
             o.EndOfLine = 1;
             s.CombineSweeps = 2;
         }},
    };
}

// The stylus cases: CSV and text, each data type, the three frames.
struct StylusCase {
    std::string name;
    int32_t format;  // 0 CSV, 1 text
    int32_t type;
    int32_t frame;
    bool surface;
};

inline std::vector<StylusCase> AllStylusCases() {
    return {
        {"stylus_csv_points", 0, 0, 0, false},  {"stylus_csv_directions", 0, 1, 1, false},
        {"stylus_csv_eulers", 0, 2, 2, true},   {"stylus_csv_matrix", 0, 3, 0, true},
        {"stylus_text_points", 1, 0, 2, true},  {"stylus_text_directions", 1, 1, 0, false},
        {"stylus_text_eulers", 1, 2, 1, false}, {"stylus_text_matrix", 1, 3, 2, false},
    };
}

}  // namespace export_test
