// The view, the settings, and the two surfaces with their parameters.
#include "app/scanfile/scan_file_load.h"
#include "app/scanfile/scan_file_memory.h"

#include "app/scan/mesh_normals.h"

#include <cstring>
#include <string>

namespace {

void Int(ItemStore* s, const std::string& path, int32_t& field) { field = Load_Int(s, path.c_str(), field); }
void Float(ItemStore* s, const std::string& path, float& field) { field = Load_Float(s, path.c_str(), field); }

// The surface-building keys the settings and each surface share. A stored
// "RemoveOutliers" of 0 means no object limit, which clears *noLimit (if given)
// before the newer limit keys are read.
void LoadBasicParams(ItemStore* s, const std::string& k, BasicSurfParams& b, int32_t* noLimit) {
    Int(s, k + "GenerateFacets", b.GenerateFacets);
    Int(s, k + "SimplifyFacets", b.SimplifyFacets);
    Float(s, k + "SimplifyError", b.SimplifyError);
    if (Load_Item(s, (k + "RemoveOutliers").c_str(), ItemType::Int32, 0)) {
        Int(s, k + "RemoveOutliers", b.ObjectLimit);
        if (noLimit && b.ObjectLimit == 0) *noLimit = 0;
    }
    Int(s, k + "RbfDoLimit", b.DoObjectLimit);
    Int(s, k + "RbfLimit", b.ObjectLimit);
    Int(s, k + "DoObjectLimit", b.DoObjectLimit);
    Int(s, k + "ObjectLimit", b.ObjectLimit);
    Float(s, k + "ExportResolutionClip", b.ExportResolutionClip);
    Float(s, k + "FilterRadius", b.FilterRadius);
}

void LoadRbfParams(ItemStore* s, const std::string& k, RbfSurfParams& r) {
    Float(s, k + "RbfAccuracy", r.RbfAccuracy);
    Float(s, k + "RbfResolution", r.RbfResolution);
    Int(s, k + "RbfMemoryToUse", r.RbfMemoryToUse);
    Int(s, k + "RbfTrimType", r.RbfTrimType);
    Float(s, k + "RbfExtraTrim", r.RbfExtraTrim);
    Int(s, k + "RbfSimplify", r.RbfSimplify);
    Int(s, k + "RbfSimpDoAngle", r.RbfSimpDoAngle);
    Float(s, k + "RbfSimpAngle", r.RbfSimpAngle);
    Int(s, k + "RbfSimpTarget", r.RbfSimpTarget);
    Float(s, k + "RbfSimpError", r.RbfSimpError);
    Int(s, k + "RbfSimpNFaces", r.RbfSimpNFaces);
    Int(s, k + "RbfSimpNPoints", r.RbfSimpNPoints);
}

template <class T>
T* Block(int64_t count) {
    return static_cast<T*>(ScanFile_Malloc(static_cast<std::size_t>(count > 0 ? count : 1) * sizeof(T)));
}

}  // namespace

void Load_View(ItemStore* s, ViewSettings& view) {
    if (Load_Matrix(s, "View/Matrix", view.ViewMatrix)) view.CoordinateSystem = view.ViewMatrix;
    Load_Matrix(s, "View/CoordinateSystemMatrix", view.CoordinateSystem);
    if (const StoreItem* origin = Load_Item(s, "View/Origin", ItemType::Float32, 1, 3))
        std::memcpy(&view.ViewOrigin, origin->data, sizeof view.ViewOrigin);
    view.ZoomFactor = Load_Float(s, "View/Zoom", 1.0f);
    view.DisplayType = Load_Int(s, "Tolvaran/DisplayType", 2);
    view.Options = static_cast<uint32_t>(Load_Int(s, "Tolvaran/DisplayOptions", 0));
}

void Load_Current(ItemStore* s, const SurfacePair& surfaces, GeneralSettings* settings, int32_t& mode) {
    if (surfaces.current) *surfaces.current = surfaces.basic;
    mode = kScanFileModeScan;
    const struct {
        SurfaceRecord* surface;
        const char* current;
        const char* inverted;
    } sides[] = {{surfaces.basic, "Basic/Mesh/Current", "Basic/Mesh/CastInverted"},
                 {surfaces.rbf, "RBF/Mesh/Current", "RBF/Mesh/CastInverted"}};
    for (const auto& side : sides) {
        if (!side.surface) continue;
        side.surface->Inverted = Load_Int(s, side.inverted, 0) != 0;
        if (Load_Int(s, side.current, 0) != 0) {
            if (surfaces.current) *surfaces.current = side.surface;
            mode = kScanFileModeSurface;
        }
        if (side.surface->Inverted && settings) settings->CastInversionMode = 1;
    }
}

void Load_Settings(ItemStore* s, GeneralSettings& g) {
    const std::string k = "Tolvaran/Settings/";
    BasicSurfParams& b = g.BasicParams;
    RbfSurfParams& r = g.RbfParams;
    Int(s, k + "CombineSweeps", g.CombineSweeps);
    LoadBasicParams(s, k, b, &b.DoObjectLimit);
    LoadRbfParams(s, k, r);
    Int(s, k + "CastInversionMode", g.CastInversionMode);
    Float(s, k + "InversionCutOffset", g.InversionParams.InversionCutOffset);
    Float(s, k + "InversionTrimRange", g.InversionParams.InversionTrimRange);
    Int(s, k + "InversionVersion", g.InversionParams.InversionVersion);
    Int(s, k + "RbfAutoMemoryLimit", r.RbfAutoMemoryLimit);
    Int(s, k + "GlassReferenceOnObjectSide", g.GlassReferenceOnObjectSide);
    Int(s, k + "GlassReferenceIsRx", g.GlassReferenceIsRx);
    Float(s, k + "GlassThickness", g.GlassThickness);
    Float(s, k + "GlassRefractiveIndex", g.GlassRefractiveIndex);
    Float(s, k + "GlassZOffset", g.GlassZOffset);
    Float(s, k + "StylusBumpWidth", g.StylusBumpWidth);
    Float(s, k + "StylusBumpHeight", g.StylusBumpHeight);
}

void Load_SurfaceParams(ItemStore* s, const SurfacePair& surfaces, GeneralSettings* settings) {
    if (!surfaces.basic || !surfaces.rbf) return;
    const std::string k = "Tolvaran/Settings/";
    BasicSurfParams& b = surfaces.basic->BasicParams;
    LoadBasicParams(s, k, b, settings ? &settings->BasicParams.DoObjectLimit : nullptr);
    surfaces.rbf->BasicParams = b;
    RbfSurfParams& r = surfaces.rbf->RbfParams;
    LoadRbfParams(s, k, r);
    r.RbfAutoMemoryLimit = Load_Int(s, (k + "RbfAutoMemoryLimit").c_str(), 1);
    Load_Matrix(s, "View/Matrix", r.CoordinateSystem);
    Load_Matrix(s, "View/CoordinateSystemMatrix", r.CoordinateSystem);
}

LoadStatus Load_Mesh(ItemStore* s, SurfaceRecord& surface, const char* section, double fallbackTime) {
    const std::string k = section;
    const StoreItem* points = Load_Item(s, (k + "/Mesh/PointsV1").c_str(), ItemType::Float32, 2, -1, 3);
    if (!points) return kLoadOk;
    const int32_t n = points->sizes[0];
    const bool basic = k == "Basic";
    surface.Points = Block<Vec3>(n);
    surface.PointNormals = Block<Vec3>(n);
    surface.Greyscale = Block<uint8_t>(n);
    if (basic) {
        surface.Weights = Block<float>(n);
        surface.Resolutions = Block<float>(n);
    }
    if (!surface.Points || !surface.PointNormals || !surface.Greyscale ||
        (basic && (!surface.Weights || !surface.Resolutions)))
        return kLoadOutOfMemory;
    surface.MaxPoints = surface.NumPoints = n;
    std::memcpy(surface.Points, points->data, points->byteSize);
    std::memset(surface.PointNormals, 0, sizeof(Vec3) * n);
    std::memset(surface.Greyscale, 255, static_cast<std::size_t>(n));
    if (basic) {
        std::memset(surface.Weights, 0, sizeof(float) * n);
        std::memset(surface.Resolutions, 0, sizeof(float) * n);
    }
    if (const StoreItem* grey = Load_Item(s, (k + "/Mesh/PointIntensityV1").c_str(), ItemType::UInt8, 1, n))
        std::memcpy(surface.Greyscale, grey->data, static_cast<std::size_t>(n));
    // A mesh from a save that stamped only the shown surface takes the time
    // it is given. Never 0, which would keep its colour and border caches
    // from ever being made.
    const StoreItem* stamp = Load_Item(s, (k + "/Mesh/Timestamp").c_str(), ItemType::Time, 0);
    surface.ChangeTime = fallbackTime;
    if (stamp) std::memcpy(&surface.ChangeTime, stamp->data, sizeof surface.ChangeTime);
    if (!(surface.ChangeTime > 0.0)) surface.ChangeTime = fallbackTime;
    if (n == 0) return kLoadOk;

    const StoreItem* facets = Load_Item(s, (k + "/Mesh/FacetsV1").c_str(), ItemType::Int32, 2, -1, 3);
    if (!facets) return kLoadBadField;
    const int32_t f = facets->sizes[0];
    const int32_t* indices = facets->As<int32_t>();
    for (int64_t i = 0; i < 3 * int64_t(f); ++i)
        if (indices[i] < 0 || indices[i] >= n) return kLoadBadField;
    surface.Facets = Block<int32_t>(3 * int64_t(f));
    surface.FacetNormals = Block<Vec3>(f);
    if (!surface.Facets || !surface.FacetNormals) return kLoadOutOfMemory;
    surface.MaxFacets = surface.NumFacets = f;
    std::memcpy(surface.Facets, indices, facets->byteSize);
    // Vertex normals too: a surface loaded with zero normals would shade unlit.
    Mesh_FacetNormals(n, surface.Points, f, surface.Facets, 0, nullptr, surface.FacetNormals, nullptr, &surface.Area,
                      surface.PointNormals);

    if (basic) {
        BasicSurfParams& b = surface.BasicParams;
        Int(s, "Basic/Params/GenerateFacets", b.GenerateFacets);
        Int(s, "Basic/Params/DoObjectLimit", b.DoObjectLimit);
        Int(s, "Basic/Params/ObjectLimit", b.ObjectLimit);
        Int(s, "Basic/Params/SimplifyFacets", b.SimplifyFacets);
        Float(s, "Basic/Params/SimplifyError", b.SimplifyError);
        Float(s, "Basic/Params/FilterRadius", b.FilterRadius);
        Float(s, "Basic/Params/ExportResolutionClip", b.ExportResolutionClip);
    }
    return kLoadOk;
}

void Load_RbfParams(ItemStore* s, SurfaceRecord& rbf) {
    const std::string k = "RBF/Params/";
    RbfSurfParams& r = rbf.RbfParams;
    Float(s, k + "RbfAccuracy", r.RbfAccuracy);
    Float(s, k + "RbfResolution", r.RbfResolution);
    Int(s, k + "RbfAutoMemoryLimit", r.RbfAutoMemoryLimit);
    Int(s, k + "RbfMemoryToUse", r.RbfMemoryToUse);
    Int(s, k + "RbfUseStylusPoints", r.RbfUseStylusPoints);
    Int(s, k + "RbfTrimType", r.RbfTrimType);
    Float(s, k + "RbfExtraTrim", r.RbfExtraTrim);
    Int(s, k + "RbfSimplify", r.RbfSimplify);
    Int(s, k + "RbfSimpTarget", r.RbfSimpTarget);
    Int(s, k + "RbfSimpDoAngle", r.RbfSimpDoAngle);
    Float(s, k + "RbfSimpAngle", r.RbfSimpAngle);
    Float(s, k + "RbfSimpError", r.RbfSimpError);
    Int(s, k + "RbfSimpNFaces", r.RbfSimpNFaces);
    Int(s, k + "RbfSimpNPoints", r.RbfSimpNPoints);
    Load_Matrix(s, "RBF/Params/RbfCoordinateSystemMatrix", r.CoordinateSystem);
}
