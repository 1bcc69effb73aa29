#include "app/scan/settings_records.h"

#include <cstring>

namespace {

void SetSurfaceDefaults(GeneralSettings& s) {
    s.BasicReduceEnabled = 1;
    s.ProfileGroupValue = 0.5f;
    s.ProfileThreshold = 100.0f;
    s.ProfileGroupWord = 1;
    s.ProfileProcessMode = 3;
    s.BasicParams = BasicSurfParams{1, 2.0f, 2.5f, 0, 0.1f, 1, 1};

    RbfSurfParams& r = s.RbfParams;
    r.RbfAccuracy = 0.3f;
    r.RbfResolution = 2.0f;
    r.RbfAutoMemoryLimit = 1;
    r.RbfMemoryToUse = 256;
    r.RbfTrimType = kRbfTrimOpen;
    r.RbfExtraTrim = 20.0f;
    r.RbfSimplify = 0;
    r.RbfSimpDoAngle = 1;
    r.RbfSimpAngle = 10.0f;
    r.RbfSimpTarget = 0;
    r.RbfSimpError = 0.2f;
    r.RbfSimpNFaces = 10000;
    r.RbfSimpNPoints = 10000;
    M4_Identity(r.CoordinateSystem);
}

void SetStylusDefaults(GeneralSettings& s) {
    StylusSettings& st = s.Stylus;
    st.PointMarker = 1;
    st.LineMarker = 2;
    st.SurfaceDistance = 5.0f;
    st.ExportType = 1;
    st.ExportFormat = 0;
    st.MinLineSegment = 1.0f;
    st.CaptureMode = 0;
    st.OnSurfaceByDefault = 0;
}

void SetViewAndLightDefaults(GeneralSettings& s) {
    s.StereoEnabled = 0;
    s.ViewerToScreenDistance = 500.0f;
    s.ObjectToScreenOffset = 50.0f;
    s.SaveSettingsOnExit = 1;
    s.DisableGraphicsHardware = 1;
    s.PreviewColour = 255;
    s.AmbientLightLevel = 0.2f;
    s.SpotLightLevel = 0.8f;
    s.SpotLightPosition[0] = 0.0f;
    s.SpotLightPosition[1] = 1.0f;
    s.SpotLightPosition[2] = 2.0f;
    s.UseSpecularHighlights = 1;
    s.UseSmoothShading = 1;
    s.UseGradedBackground = 1;
    s.ToolbarLabels = 1;
}

}  // namespace

void GeneralSettings_SetDefaults(GeneralSettings& s, uint32_t foregroundColour,
                                 uint32_t backgroundColour) {
    std::memset(&s, 0, sizeof s);  // texts empty, the unstored words 0
    s.LoadViewSettingsWithScan = 1;
    s.ExportFileType = kExportWavefront;
    GeneralSettings_SetExportDefaults(s);
    s.ExportIgesMeshAs106 = 1;
    s.ExportAaopLabels = 1;
    s.DoSaveBasic = 1;
    s.DoSaveRbf = 1;
    s.SelectedSweepTransparent = 1;
    s.VideoProcessorRevision = 1;
    s.QuadrelFrequency = 2;
    s.ViewBBox = 1;
    s.AutoView = 1;
    s.RangeClip = 750.0f;
    s.AngleClip = 30.0f;
    s.RawResolutionClip[0] = 0.5f;
    s.RawResolutionClip[1] = 100.0f;
    s.ScannerEnabled = 1;
    s.ProfileFilterLength = 3;
    s.HardwareDevice = 1;
    s.CombineSweeps = 1;
    SetSurfaceDefaults(s);
    SetViewAndLightDefaults(s);
    s.ForegroundColour = foregroundColour;
    s.BackgroundColour = backgroundColour;
    SetStylusDefaults(s);
    s.Timer = TimerSettings{100, 10000, 10000};
    s.GlassRefractiveIndex = 1.52f;
    s.GlassZOffset = 29.0f;
    s.StylusBumpWidth = 2.0f;
    s.StylusBumpHeight = 2.0f;
}

void GeneralSettings_SetExportDefaults(GeneralSettings& s) {
    // One template for every block, then the two formats that differ.
    ExportFormatOptions block{};
    block.ExportCoordinateSystem = 2;
    block.ExportDataType = 1;
    block.ExportSeparateSweeps = 1;
    for (ExportFormatOptions& b : s.ExportOptions) b = block;
    s.ExportOptions[kExportStl].ExportAsText = 0;
    s.ExportOptions[kExportWavefront].ExportAsText = 1;
}

void ViewSettings_SetDefaults(ViewSettings& view) {
    std::memset(&view, 0, sizeof view);
    view.DisplayType = kDisplayTypeDefault;
    M4_Identity(view.ViewMatrix);
    view.ViewOrigin = Vec3{0.0f, 0.0f, 0.0f};
    view.ZoomFactor = 1.0f;
    view.Options = 0;
    M4_Identity(view.CoordinateSystem);
    view.ColourMode = kColourPlain;
}
