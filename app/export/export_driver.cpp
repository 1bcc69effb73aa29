#include "app/export/export_driver.h"

#include <cstdlib>
#include <memory>

#include "app/acquisition/visible_profiles.h"
#include "app/export/export_chunked.h"
#include "app/export/export_dxf.h"
#include "app/export/export_formats.h"
#include "app/export/export_iges.h"
#include "app/export/export_matlab.h"
#include "app/export/export_psl.h"
#include "app/export/export_sink.h"
#include "app/export/export_stl_ply.h"
#include "app/export/export_stylus.h"
#include "app/export/export_text_formats.h"
#include "app/export/export_wavefront.h"
#include "app/locale/locale_lookup.h"
#include "app/scan/raw_data.h"
#include "app/scan/surface_record.h"

ExportHooks& Export_Hooks() {
    static ExportHooks hooks;
    return hooks;
}

namespace {

std::string ProductName() {
    const ExportHooks& hooks = Export_Hooks();
    return hooks.productName ? hooks.productName() : std::string("Tolvaran");
}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

const char* WriterMessageKey(int32_t type, int result) {
    if (result == kExportWriteOk) return nullptr;
    if (type == kExport3DS && result == kExportWritePointsLimit) return "ErrorExport3DSPointsLimit";
    if (type == kExport3DS && result == kExportWriteFacesLimit) return "ErrorExport3DSFacesLimit";
    if (type == kExportLightwave && result == kExportWritePointsLimit) return "ErrorExportLightwavePointsLimit";
    return "ErrorFileWriteGeneric";
}

}  // namespace

Matrix4 Export_ScreenTransform(const ViewSettings& view) {
    Matrix4 shift, out;
    M4_MakeTranslation(Vec3{-view.ViewOrigin.x, -view.ViewOrigin.y, -view.ViewOrigin.z}, shift);
    M4_Multiply(view.ViewMatrix, shift, out);
    return out;
}

Matrix4 Export_FrameMatrix(int32_t coordinateSystem, const ViewSettings& view) {
    Matrix4 out;
    if (coordinateSystem == 1) return Export_ScreenTransform(view);
    if (coordinateSystem == 2) {
        Matrix4 shift;
        M4_MakeTranslation(Vec3{-view.ViewOrigin.x, -view.ViewOrigin.y, -view.ViewOrigin.z}, shift);
        M4_Multiply(view.CoordinateSystem, shift, out);
        return out;
    }
    M4_Identity(out);
    return out;
}

int Export_Scan(const RawData& raw, const SurfaceRecord* surface, bool surfaceFlag, const std::string& path,
                GeneralSettings settings, ViewSettings view, std::string& message) {
    message.clear();
    const ExportFormatOptions* block = Export_FormatOptions(settings);
    if (!block) {
        message = Locale_GetString("ErrorFileWriteGeneric");
        return 0;
    }
    const ExportFormatOptions options = *block;
    const int32_t type = settings.ExportFileType;
    const bool mesh = options.ExportDataType == 1;

    // Gather.
    ExportData data;
    SweepArrays sweeps;
    Owned<float> albedos;
    Owned<int32_t> triangles;
    struct SweepsRelease {
        SweepArrays& arrays;
        ~SweepsRelease() { Export_FreeSweepArrays(arrays); }
    } releaseSweeps{sweeps};
    if (surfaceFlag) {
        if (!surface || surface->NumPoints <= 0 || !surface->Points) {
            message = Locale_GetString("ErrorExportNoSurface");
            return 0;
        }
        data.pointCount = surface->NumPoints;
        data.positions = surface->Points;
        data.normals = surface->PointNormals;
        data.facetCount = surface->Facets ? surface->NumFacets : 0;
        data.facets = surface->Facets;
        if (surface->Quads && surface->NumQuads > 0) {
            data.quadCount = surface->NumQuads;
            data.quads = surface->Quads;
        }
        // The builders always make the grey bytes: a surface whose bytes are
        // all "no greyscale known" has no albedos.
        if (Surface_HasGreyscale(*surface)) {
            albedos.reset(Export_AlbedoFloats(surface->Greyscale, surface->NumPoints));
            if (!albedos) {
                message = Locale_GetString("ErrorOutOfMemory");
                return 0;
            }
            data.albedos = albedos.get();
        }
    } else {
        const char* key = nullptr;
        if (!Export_BuildSweepArrays(raw, sweeps, key)) {
            message = Locale_GetString(key);
            return 0;
        }
        data.pointCount = sweeps.pointCount;
        data.positions = sweeps.positions;
        data.normals = sweeps.normals;
        data.albedos = sweeps.albedos;
        data.facetCount = sweeps.facetCount;
        data.facets = sweeps.facets;
        data.sweepCount = sweeps.sweepCount;
        data.sweepFacetTotals = sweeps.facetTotals;
    }

    const Matrix4 matrix = Export_FrameMatrix(options.ExportCoordinateSystem, view);
    const char* eol = Export_EndOfLine(options.EndOfLine);
    const char* eolName = options.ExportAsText ? Export_EndOfLineName(options.EndOfLine) : "N/A";
    const std::string creator = Export_CreatorText(ProductName());
    const std::string comment = Export_BuildComment(settings, options, surfaceFlag, eolName);

    // The options decide what goes out.
    if (!options.ExportNormals) data.normals = nullptr;
    if (!options.ExportSeparateSweeps) {
        data.sweepCount = 0;
        data.sweepFacetTotals = nullptr;
    }
    if (!options.ExportAlbedos) data.albedos = nullptr;
    if (!mesh) {
        data.facetCount = 0;
        data.facets = nullptr;
        data.quadCount = 0;
        data.quads = nullptr;
    }
    // Only the Wavefront file keeps quads as quads; the triangle formats get
    // each quad as two triangles.
    if (type != kExportWavefront && data.quadCount > 0) {
        triangles.reset(Export_TrianglesWithQuads(data.facets, data.facetCount, data.quads, data.quadCount));
        if (!triangles) {
            message = Locale_GetString("ErrorOutOfMemory");
            return 0;
        }
        data.facets = triangles.get();
        data.facetCount += 2 * data.quadCount;
        data.quadCount = 0;
        data.quads = nullptr;
    }

    int result = kExportWriteOk;
    const Matrix4* m = &matrix;
    switch (type) {
        case kExport3DS:
            result = ThreeDStudio_Write(path, m, data.positions, data.pointCount, data.facets, data.facetCount);
            break;
        case kExportAscii:
            result = Ascii_Write(path, creator, comment, m, data.positions, data.pointCount, eol);
            break;
        case kExportDxf: {
            int mode = !mesh ? kDxfPoints : settings.ExportDxfMeshAs3DFACEs ? kDxfFaces : kDxfPolyline;
            if (mode == kDxfPolyline && data.pointCount > kDxfPolylineVertexLimit) {
                const int answer = Export_Hooks().askDxfPolyline ? Export_Hooks().askDxfPolyline(settings) : 1;
                if (answer == 0) return 0;  // the Save dialog opens again, nothing to say
                if (answer == 2) mode = kDxfFaces;
            }
            result = Dxf_Write(mode, path, eol, creator, comment, m, data.positions, data.pointCount, data.facets,
                               data.facetCount);
            break;
        }
        case kExportIges: {
            const int mode = !mesh ? kIgesPoints : settings.ExportIgesMeshAs106 ? kIgesCopious : kIgesNurbs;
            result = Iges_Write(mode, path, creator, comment, eol, m, data);
            break;
        }
        case kExportInventor:
            result = Inventor_Write(path, creator, comment, eol, m, data.positions, data.pointCount, data.facets,
                                    data.facetCount);
            break;
        case kExportLightwave:
            result = Lightwave_Write(path, m, data.positions, data.pointCount, data.facets, data.facetCount);
            break;
        case kExportMatlab:
            result = Matlab_Write(path, comment, creator, m, data);
            break;
        case kExportPsl: {
            VisibleProfiles profiles;
            if (!CollectVisibleProfiles(raw, profiles)) {
                message = Locale_GetString("ErrorOutOfMemory");
                return 0;
            }
            result = Psl_Write(path, creator, comment, m, raw.ScanAlignment, profiles);
            FreeVisibleProfiles(profiles);
            break;
        }
        case kExportPly:
            result = Ply_Write(options.ExportAsText != 0, path, creator, comment, eol, m, data);
            break;
        case kExportStl:
            Export_Stl(data.positions, m, options, path, eol, data.facets, data.facetCount, creator, message);
            return message.empty() ? 1 : 0;
        case kExportVrml:
            result = Vrml_Write(path, creator, comment, eol, m, data.positions, data.pointCount, data.facets,
                                data.facetCount);
            break;
        case kExportVtk:
            result = Vtk_Write(path, creator, eol, m, data.positions, data.pointCount, data.facets, data.facetCount);
            break;
        case kExportWavefront:
            result = Wavefront_Write(path, creator, comment, eol, m, data, options.ExportByColour != 0,
                                     options.ExportUsingTextureMap != 0);
            break;
        default:
            result = kExportWriteFailed;
            break;
    }
    if (const char* key = WriterMessageKey(type, result)) message = Locale_GetString(key);
    return message.empty() ? 1 : 0;
}

int Export_StylusData(const GeneralSettings& settings, const StylusItemList& items, bool surfaceFlag, bool inverted,
                      const ViewSettings& view, const std::string& path, std::string& message) {
    message.clear();
    const ExportFormatOptions& options = settings.ExportOptions[kExportStylus];
    const std::size_t capacity = items.VisibleCount > 0 ? static_cast<std::size_t>(items.VisibleCount) : 1;
    Owned<StylusExportRecord> records(
        static_cast<StylusExportRecord*>(std::calloc(capacity, sizeof(StylusExportRecord))));
    if (!records) {
        message = Locale_GetString("ErrorOutOfMemory");
        return 0;
    }
    int32_t visible = 0;
    const int32_t count = StylusExport_CollectRecords(items, surfaceFlag, inverted, records.get(), visible);

    const std::string creator = Export_CreatorText(ProductName());
    const char* eol = Export_EndOfLine(options.EndOfLine);
    const char* frameName = options.ExportCoordinateSystem == 0   ? "tracker"
                            : options.ExportCoordinateSystem == 1 ? "screen"
                                                                  : "bounding box";
    const std::string comment = Export_Format("%s surface, %d visible points, %s reference",
                                              surfaceFlag ? "export" : "raw", visible, frameName);
    Matrix4 matrix;
    const Matrix4* m = nullptr;
    if (options.ExportCoordinateSystem != 0) {
        matrix = Export_FrameMatrix(options.ExportCoordinateSystem == 1 ? 1 : 2, view);
        m = &matrix;
    }
    std::string errorText;
    const int result = settings.Stylus.ExportFormat == 1
                           ? StylusAscii_Write(path, creator, comment, eol, m, settings.Stylus.ExportType,
                                               records.get(), count, &errorText)
                           : StylusCsv_Write(path, creator, comment, eol, m, settings.Stylus.ExportType, records.get(),
                                             count, &errorText);
    try {
        if (result == 1)
            Locale_FormatStringWithText(message, "status", errorText.c_str(), "ErrorFileCreate");
        else if (result == 2)
            Locale_FormatStringWithText(message, "status", errorText.c_str(), "ErrorFileWriteGenericExt");
        else if (result != 0)
            Locale_FormatStringWithInt(message, "err_num", result, "ErrorUnexpected");
    } catch (const std::bad_alloc&) {
        message = Locale_GetString("ErrorOutOfMemory");
    }
    return message.empty() ? 1 : 0;
}
