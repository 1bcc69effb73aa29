#include "app/ui/edition_defaults.h"

#include <cstring>

namespace {

void ApplyTarrelDefaults(GeneralSettings& g) {
    g.TarrelObjectSize = 0;
    g.RangeClip = 700.0f;
    g.HardwareDevice = 1;
    g.ProfileFilterLength = 0;
    g.AngleClip = 30.0f;
    g.BasicParams.DoObjectLimit = 1;
    g.BasicParams.ObjectLimit = 2;
    g.RawResolutionClip[0] = 0.5f;
    g.RawResolutionClip[1] = 100.0f;
    g.BasicParams.SimplifyFacets = 0;
    g.RbfParams.RbfAutoMemoryLimit = 1;
    g.RbfParams.RbfMemoryToUse = 256;
    g.RbfParams.RbfTrimType = kRbfTrimOpen;
    g.BasicParams.FilterRadius = 2.5f;
    g.RbfParams.RbfSimplify = 0;
    g.ViewBBox = 0;
    g.BasicParams.ExportResolutionClip = 2.0f;
    g.CastInversionMode = 0;
    g.InversionParams.InversionVersion = 2;
    g.RbfParams.RbfAccuracy = 0.5f;
    g.ExportAaopLabels = 0;
    g.ReceiverEnabled = 1;
    g.RbfParams.RbfResolution = 2.0f;
    g.Stylus.PointMarker = 1;
    g.VideoProcessorRevision = 1;
    g.RbfParams.RbfExtraTrim = 20.0f;
    g.DisableGraphicsHardware = 1;
    g.OverrideGraphicsHardwareSwapCopyBit = 0;
    g.InversionParams.InversionCutOffset = 3.0f;
    g.InversionParams.InversionTrimRange = 3.0f;
    g.Stylus.MinLineSegment = 3.0f;
    g.GlassZOffset = 8.0f;
}

void ApplyPemmlerDefaults(GeneralSettings& g, ViewSettings& view) {
    g.BasicParams.FilterRadius = 2.5f;
    g.BasicParams.ExportResolutionClip = 2.0f;
    g.BasicParams.DoObjectLimit = 1;
    g.RbfParams.RbfResolution = 2.0f;
    g.BasicParams.ObjectLimit = 1;
    g.RbfParams.RbfTrimType = kRbfTrimClose;
    g.RbfParams.RbfAccuracy = 0.5f;
    g.RbfParams.RbfSimplify = 0;
    g.ExportFileType = kExportStl;
    g.RbfParams.RbfExtraTrim = 0.0f;
    // The Pemmler scanners look along the other axis: y and z turned over.
    Matrix4 flip;
    std::memset(&flip, 0, sizeof flip);
    flip[0] = 1.0f;
    flip[5] = -1.0f;
    flip[10] = -1.0f;
    flip[15] = 1.0f;
    view.ViewMatrix = flip;
    view.CoordinateSystem = flip;
}

void ApplyExportTemplate(GeneralSettings& g) {
    GeneralSettings_SetExportDefaults(g);
    g.Spare = 0;
}

}  // namespace

void App_FillDefaultImages(GeneralSettings& general, ViewSettings& view, const BrandInfo& brand) {
    GeneralSettings_SetDefaults(general, brand.fgcolour, brand.bgcolour);
    ViewSettings_SetDefaults(view);
}

void App_ApplyEditionDefaults(GeneralSettings& general, ViewSettings& view, const EditionFlags& editions) {
    if (editions.tarrel) ApplyTarrelDefaults(general);
    if (editions.pemmler) ApplyPemmlerDefaults(general, view);
    ApplyExportTemplate(general);
}
