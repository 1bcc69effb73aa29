// The surface, settings and view sections of the save.
#include "app/scanfile/scan_file_writer.h"

#include <cstring>
#include <string>

namespace {

// The mesh items of one surface under `section`.
bool AddMesh(ScanFileWriter& w, const std::string& section, const SurfaceRecord& s, bool facetsBeforeGrey) {
    ItemStore* store = w.store;
    const uint8_t* grey = s.Greyscale;
    if (!grey) {
        auto* unset = w.Array<uint8_t>(s.NumPoints);
        if (!unset) return false;
        std::memset(unset, 255, static_cast<std::size_t>(s.NumPoints > 0 ? s.NumPoints : 1));
        grey = unset;
    }
    const auto points = [&] {
        return ItemStore_AddItem(store, section + "/Mesh/PointsV1", s.Points, ItemType::Float32, 2, s.NumPoints, 3);
    };
    const auto greys = [&] {
        return ItemStore_AddItem(store, section + "/Mesh/PointIntensityV1", grey, ItemType::UInt8, 1, s.NumPoints);
    };
    const auto facets = [&] {
        return ItemStore_AddItem(store, section + "/Mesh/FacetsV1", s.Facets, ItemType::Int32, 2, s.NumFacets, 3);
    };
    return facetsBeforeGrey ? points() && facets() && greys() : points() && greys() && facets();
}

// Every surface keeps its own change time, shown or not: the view keeps a
// surface only while it is newer than what it was made from, and a surface
// stamped on load with the scan's time would fail that rule and be lost.
bool AddState(ScanFileWriter& w, const std::string& section, const SurfaceRecord& s, int32_t* current) {
    if (*current) *current = 1;
    return w.Int((section + "/Mesh/CastInverted").c_str(), s.Inverted ? 1 : 0) &&
           w.Int((section + "/Mesh/Current").c_str(), *current) &&
           w.Time((section + "/Mesh/Timestamp").c_str(), s.ChangeTime);
}

bool Present(const SurfaceRecord& s) { return s.NumPoints > 0 && s.Points; }

}  // namespace

bool TVNFile_Basic_Save(ScanFileWriter& w, const SurfaceRecord& s, const GeneralSettings* settings, int32_t* current) {
    if (!Present(s)) return true;
    const BasicSurfParams& b = s.BasicParams;
    // The surface record keeps no inversion block of its own: the settings'
    // one is what a cast inversion of this surface would use.
    InversionSettings inversion{};
    if (settings) inversion = settings->InversionParams;
    return w.Float("Basic/Params/FilterRadius", b.FilterRadius) &&
           w.Float("Basic/Params/ExportResolutionClip", b.ExportResolutionClip) &&
           w.Int("Basic/Params/GenerateFacets", b.GenerateFacets) &&
           w.Int("Basic/Params/DoObjectLimit", b.DoObjectLimit) && w.Int("Basic/Params/ObjectLimit", b.ObjectLimit) &&
           w.Int("Basic/Params/SimplifyFacets", b.SimplifyFacets) &&
           w.Float("Basic/Params/SimplifyError", b.SimplifyError) &&
           w.Float("Basic/Params/InversionCutOffset", inversion.InversionCutOffset) &&
           w.Float("Basic/Params/InversionTrimRange", inversion.InversionTrimRange) &&
           w.Int("Basic/Params/InversionVersion", inversion.InversionVersion) && AddMesh(w, "Basic", s, false) &&
           AddState(w, "Basic", s, current);
}

bool TVNFile2_Rbf_Save(ScanFileWriter& w, const SurfaceRecord& s, int32_t* current) {
    if (!Present(s)) return true;
    const RbfSurfParams& r = s.RbfParams;
    return w.Float("RBF/Params/RbfAccuracy", r.RbfAccuracy) && w.Float("RBF/Params/RbfResolution", r.RbfResolution) &&
           w.Int("RBF/Params/RbfAutoMemoryLimit", r.RbfAutoMemoryLimit) &&
           w.Int("RBF/Params/RbfMemoryToUse", r.RbfMemoryToUse) &&
           w.Int("RBF/Params/RbfUseStylusPoints", r.RbfUseStylusPoints) &&
           w.Int("RBF/Params/RbfTrimType", r.RbfTrimType) && w.Float("RBF/Params/RbfExtraTrim", r.RbfExtraTrim) &&
           w.Int("RBF/Params/RbfSimplify", r.RbfSimplify) && w.Int("RBF/Params/RbfSimpTarget", r.RbfSimpTarget) &&
           w.Int("RBF/Params/RbfSimpDoAngle", r.RbfSimpDoAngle) && w.Float("RBF/Params/RbfSimpAngle", r.RbfSimpAngle) &&
           w.Float("RBF/Params/RbfSimpError", r.RbfSimpError) && w.Int("RBF/Params/RbfSimpNFaces", r.RbfSimpNFaces) &&
           w.Int("RBF/Params/RbfSimpNPoints", r.RbfSimpNPoints) &&
           w.Matrix("RBF/Params/RbfCoordinateSystemMatrix", r.CoordinateSystem) && AddMesh(w, "RBF", s, true) &&
           AddState(w, "RBF", s, current);
}

bool TVNFile_Settings_Save(ScanFileWriter& w, const GeneralSettings& g) {
    const BasicSurfParams& b = g.BasicParams;
    const RbfSurfParams& r = g.RbfParams;
    return w.Int("Tolvaran/Settings/CombineSweeps", g.CombineSweeps) &&
           w.Int("Tolvaran/Settings/GenerateFacets", b.GenerateFacets) &&
           w.Int("Tolvaran/Settings/SimplifyFacets", b.SimplifyFacets) &&
           w.Float("Tolvaran/Settings/SimplifyError", b.SimplifyError) &&
           w.Int("Tolvaran/Settings/DoObjectLimit", b.DoObjectLimit) &&
           w.Int("Tolvaran/Settings/ObjectLimit", b.ObjectLimit) &&
           w.Float("Tolvaran/Settings/ExportResolutionClip", b.ExportResolutionClip) &&
           w.Float("Tolvaran/Settings/FilterRadius", b.FilterRadius) &&
           w.Float("Tolvaran/Settings/RbfAccuracy", r.RbfAccuracy) &&
           w.Float("Tolvaran/Settings/RbfResolution", r.RbfResolution) &&
           w.Int("Tolvaran/Settings/RbfMemoryToUse", r.RbfMemoryToUse) &&
           w.Int("Tolvaran/Settings/RbfTrimType", r.RbfTrimType) &&
           w.Float("Tolvaran/Settings/RbfExtraTrim", r.RbfExtraTrim) &&
           w.Int("Tolvaran/Settings/RbfAutoMemoryLimit", r.RbfAutoMemoryLimit) &&
           w.Int("Tolvaran/Settings/RbfSimplify", r.RbfSimplify) &&
           w.Int("Tolvaran/Settings/RbfSimpDoAngle", r.RbfSimpDoAngle) &&
           w.Float("Tolvaran/Settings/RbfSimpAngle", r.RbfSimpAngle) &&
           w.Int("Tolvaran/Settings/RbfSimpTarget", r.RbfSimpTarget) &&
           w.Float("Tolvaran/Settings/RbfSimpError", r.RbfSimpError) &&
           w.Int("Tolvaran/Settings/RbfSimpNFaces", r.RbfSimpNFaces) &&
           w.Int("Tolvaran/Settings/RbfSimpNPoints", r.RbfSimpNPoints) &&
           w.Int("Tolvaran/Settings/CastInversionMode", g.CastInversionMode) &&
           w.Float("Tolvaran/Settings/InversionCutOffset", g.InversionParams.InversionCutOffset) &&
           w.Float("Tolvaran/Settings/InversionTrimRange", g.InversionParams.InversionTrimRange) &&
           w.Int("Tolvaran/Settings/InversionVersion", g.InversionParams.InversionVersion) &&
           w.Int("Tolvaran/Settings/GlassReferenceOnObjectSide", g.GlassReferenceOnObjectSide) &&
           w.Int("Tolvaran/Settings/GlassReferenceIsRx", g.GlassReferenceIsRx) &&
           w.Float("Tolvaran/Settings/GlassThickness", g.GlassThickness) &&
           w.Float("Tolvaran/Settings/GlassRefractiveIndex", g.GlassRefractiveIndex) &&
           w.Float("Tolvaran/Settings/GlassZOffset", g.GlassZOffset) &&
           w.Float("Tolvaran/Settings/StylusBumpWidth", g.StylusBumpWidth) &&
           w.Float("Tolvaran/Settings/StylusBumpHeight", g.StylusBumpHeight);
}

bool TVNFile_View_Save(ScanFileWriter& w, const ViewSettings& v) {
    return w.Int("Tolvaran/DisplayType", v.DisplayType) &&
           w.Int("Tolvaran/DisplayOptions", static_cast<int32_t>(v.Options)) && w.Matrix("View/Matrix", v.ViewMatrix) &&
           w.Matrix("View/CoordinateSystemMatrix", v.CoordinateSystem) && w.Origin("View/Origin", v.ViewOrigin) &&
           w.Float("View/Zoom", v.ZoomFactor);
}
