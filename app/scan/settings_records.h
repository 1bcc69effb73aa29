// The program's two persistent option records, `GeneralSettings` and
// `ViewSettings`: their fields and their base defaults. The registry load and
// save and the edition overrides live elsewhere; both work on these records.
//
// Floats and integers are 32-bit words; colours are 0x00BBGGRR (red in the
// low byte).
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

// Export formats, the index of their option blocks.
enum ExportFileType : int32_t {
    kExport3DS = 0,
    kExportAscii = 1,
    kExportDxf = 2,
    kExportIges = 3,
    kExportInventor = 4,
    kExportLightwave = 5,
    kExportMatlab = 6,
    kExportPsl = 7,
    kExportPly = 8,
    kExportStl = 9,
    kExportVrml = 10,
    kExportVtk = 11,
    kExportWavefront = 12,
    kExportStylus = 13,  // the stylus export's block; not a file type of its own
};
constexpr int kExportFormatBlocks = 14;

struct ExportFormatOptions {
    int32_t ExportCoordinateSystem;
    int32_t ExportDataType;
    int32_t ExportAsText;
    int32_t ExportNormals;
    int32_t ExportStlBinaryByteSwapped;
    int32_t ExportSeparateSweeps;
    int32_t ExportAlbedos;
    int32_t ExportByColour;
    int32_t ExportUsingTextureMap;
    int32_t EndOfLine;
};

// The basic surface's parameters, copied whole into the surface record.
struct BasicSurfParams {
    int32_t GenerateFacets;
    float ExportResolutionClip;  // mm, radius of the thinning stage
    float FilterRadius;          // mm, radius of the smoothing stage
    int32_t SimplifyFacets;
    float SimplifyError;
    int32_t DoObjectLimit;
    int32_t ObjectLimit;
};

enum RbfTrimType : int32_t { kRbfTrimOpen = 0, kRbfTrimClose = 1, kRbfTrimTrim = 2, kRbfTrimEdges = 3 };

// The RBF surface's parameters; the RBF surface record keeps a snapshot of
// this block in the same order.
struct RbfSurfParams {
    int32_t RbfUseStylusPoints;
    float RbfAccuracy;
    float RbfResolution;
    int32_t RbfAutoMemoryLimit;
    int32_t RbfMemoryToUse;  // MB
    int32_t RbfTrimType;
    float RbfExtraTrim;
    int32_t RbfSimplify;
    int32_t RbfSimpDoAngle;
    float RbfSimpAngle;
    int32_t RbfSimpTarget;  // 0 error, 1 number of faces, 2 number of points
    float RbfSimpError;
    int32_t RbfSimpNFaces;
    int32_t RbfSimpNPoints;
    Matrix4 CoordinateSystem;  // slot for the coordinate-system matrix of a build
    int32_t IsosurfaceOption;  // switched by the View menu
};

struct StylusSettings {
    int32_t Mode;  // stylus mode flag; never stored
    int32_t CaptureMode;  // 0 point, 1 line
    float MinLineSegment;
    float SurfaceDistance;  // the maximum placement distance
    int32_t PointMarker;
    int32_t LineMarker;
    int32_t ExportType;
    int32_t ExportFormat;
    int32_t OnSurfaceByDefault;
};

struct TimerSettings {
    uint32_t NumFields;        // fields per burst
    uint32_t SleepTicks;       // ms between bursts
    uint32_t FirstSleepTicks;  // ms before the first burst, 0 none
};

struct InversionSettings {
    float InversionCutOffset;
    float InversionTrimRange;
    int32_t InversionVersion;
};

struct WarningSettings {
    int32_t DxfSaveLarge;
};

constexpr int kSettingsTextSize = 1024;

struct GeneralSettings {
    char DefaultDirectory[kSettingsTextSize];
    int32_t LoadViewSettingsWithScan;
    int32_t ExportFileType;
    ExportFormatOptions ExportOptions[kExportFormatBlocks];
    int32_t ExportDxfMeshAs3DFACEs;
    int32_t ExportIgesMeshAs106;
    int32_t ExportAaopLabels;
    int32_t CompactRawDataOnSave;
    int32_t DoSaveBasic;
    int32_t DoSaveRbf;
    int32_t SelectedSweepTransparent;
    char HardwareConfigFilename[kSettingsTextSize];
    int32_t VideoProcessorRevision;  // 0 to 3
    int32_t QuadrelFrequency;        // 0 to 3: 8, 10, 12, 14 kHz
    int32_t ReceiverEnabled;         // 1 the receiver is the reference
    int32_t ViewBBox;
    int32_t AutoView;
    float RangeClip;                // mm
    float AngleClip;                // degrees
    float RawResolutionClip[2];     // best and worst resolution, mm
    float SecondMovementThreshold;  // never stored
    int32_t ScannerEnabled;
    int32_t ProfileFilterLength;  // 7, 5, 3 or 0
    int32_t HardwareDevice;       // 0 parallel port, 1 USB
    int32_t Movement;             // 0 to 3
    int32_t ShowExtents;
    int32_t WindowRect[4];
    int32_t WindowMaximized;
    int32_t CombineSweeps;  // the surface kind shown: 1 basic, 2 RBF
    int32_t MarkWithMouse;  // never stored
    int32_t BasicReduceEnabled;
    float ProfileGroupValue;  // belongs to the profile-processing group; unused by the builder
    float ProfileThreshold;
    int32_t ProfileGroupWord;
    int32_t ProfileProcessMode;
    BasicSurfParams BasicParams;
    RbfSurfParams RbfParams;
    int32_t StereoEnabled;
    float ViewerToScreenDistance;
    float ObjectToScreenOffset;
    int32_t SaveSettingsOnExit;
    int32_t DisableGraphicsHardware;
    int32_t OverrideGraphicsHardwareSwapCopyBit;
    uint32_t ForegroundColour;
    uint32_t BackgroundColour;
    uint32_t PreviewColour;
    uint32_t CustomColours[16];
    float AmbientLightLevel;
    float SpotLightLevel;
    float SpotLightPosition[3];
    int32_t UseSpecularHighlights;
    int32_t UseSmoothShading;
    int32_t UseGradedBackground;
    StylusSettings Stylus;
    WarningSettings Warning;
    int32_t TarrelObjectSize;
    int32_t CastInversionMode;
    InversionSettings InversionParams;
    TimerSettings Timer;
    int32_t DisableDoubleTriggerClick;
    int32_t DisableTripleTriggerClick;
    int32_t GlassReferenceOnObjectSide;
    int32_t GlassReferenceIsRx;
    float GlassThickness;
    float GlassRefractiveIndex;
    float GlassZOffset;
    float StylusBumpWidth;
    float StylusBumpHeight;
    int32_t ViewWandPosition;
    int32_t ViewReferencePosition;
    int32_t ViewTransmitterPosition;
    int32_t StylusPointBeep;
    int32_t StylusPointAutoView;
    int32_t UseImperialUnits;
    int32_t UseOldToolbar;
    int32_t ToolbarIconSize;
    int32_t Spare;  // the word after ToolbarIconSize; never stored
    int32_t ToolbarLabels;
};

enum ViewDisplayType : int32_t { kDisplayTypeDefault = 2 };

// 39 words; scan control copies the whole record into each new sweep.
struct ViewSettings {
    int32_t DisplayType;  // 3 is read back as 2
    Matrix4 ViewMatrix;
    Vec3 ViewOrigin;
    float ZoomFactor;
    uint32_t Options;
    Matrix4 CoordinateSystem;  // not stored
    int32_t ColourMode;  // 0 plain, 1 greyscale, 5 value, 6 resolution, 7 variance
};
static_assert(sizeof(ViewSettings) == 39 * 4, "the view record is 39 words");

enum PointColourMode : int32_t {
    kColourPlain = 0,
    kColourGreyscale = 1,
    kColourValue = 5,
    kColourResolution = 6,
    kColourVariance = 7,
};

// Base defaults. The foreground and background colours come from the
// branding record and are passed in.
void GeneralSettings_SetDefaults(GeneralSettings& settings, uint32_t foregroundColour,
                                 uint32_t backgroundColour);
void ViewSettings_SetDefaults(ViewSettings& view);
// Every export block set to the one template (coordinate system 2, data type
// 1, sweeps separate, the other words 0), then STL binary and Wavefront text.
void GeneralSettings_SetExportDefaults(GeneralSettings& settings);

// The colour's channels.
inline uint8_t Colour_Red(uint32_t c) { return static_cast<uint8_t>(c & 0xFF); }
inline uint8_t Colour_Green(uint32_t c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
inline uint8_t Colour_Blue(uint32_t c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }
