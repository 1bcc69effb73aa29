#include "app/files/settings_registry.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

const char* const kSettingsGeneralKey = "Software\\Tolvaran\\General";
const char* const kSettingsViewKey = "Software\\Tolvaran\\View";

namespace {

constexpr std::ptrdiff_t kNotInRecord = -1;

#define GS_OFFSET(field) static_cast<std::ptrdiff_t>(offsetof(GeneralSettings, field))
#define GS_DWORD(name, field) \
    { name, kRegDword, GS_OFFSET(field), 4 }
#define GS_BINARY(name, field) \
    { name, kRegBinary, GS_OFFSET(field), static_cast<uint32_t>(sizeof(GeneralSettings::field)) }
#define GS_TEXT(name, field) \
    { name, kRegSz, GS_OFFSET(field), kSettingsTextSize }

// The export blocks in block order, and the words each one stores.
const char* const kBlockNames[kExportFormatBlocks] = {"ThreeDStudio", "Ascii",  "AutoCAD",   "IGES",        "Inventor",
                                                      "Lightwave",    "Matlab", "PSL",       "PLY",         "STL",
                                                      "VRML",         "VTK",    "Wavefront", "StylusExport"};

struct BlockWord {
    const char* name;
    std::ptrdiff_t offset;
};

#define BW(word) \
    { #word, static_cast < std::ptrdiff_t>(offsetof(ExportFormatOptions, word)) }

std::vector<BlockWord> BlockWords(int block) {
    std::vector<BlockWord> words = {BW(ExportCoordinateSystem), BW(ExportDataType), BW(ExportAsText),
                                    BW(ExportNormals)};
    if (block == kExportMatlab || block == kExportPly) words.push_back(BW(ExportAlbedos));
    if (block == kExportWavefront) {
        words.push_back(BW(ExportAlbedos));
        words.push_back(BW(ExportByColour));
        words.push_back(BW(ExportUsingTextureMap));
    }
    words.push_back(BW(ExportStlBinaryByteSwapped));
    words.push_back(BW(ExportSeparateSweeps));
    words.push_back(BW(EndOfLine));
    return words;
}

// The block words' names live as long as the program.
std::vector<SettingsValue> BlockValues() {
    static std::vector<std::string> names;
    std::vector<SettingsValue> values;
    for (int b = 0; b < kExportFormatBlocks; ++b)
        for (const BlockWord& w : BlockWords(b)) names.push_back(std::string(kBlockNames[b]) + "." + w.name);
    size_t n = 0;
    for (int b = 0; b < kExportFormatBlocks; ++b) {
        const std::ptrdiff_t base =
            GS_OFFSET(ExportOptions) + b * static_cast<std::ptrdiff_t>(sizeof(ExportFormatOptions));
        for (const BlockWord& w : BlockWords(b)) values.push_back({names[n++].c_str(), kRegDword, base + w.offset, 4});
    }
    return values;
}

std::vector<SettingsValue> MakeGeneralValues() {
    std::vector<SettingsValue> v = {
        GS_TEXT("DefaultDirectory", DefaultDirectory),
        GS_DWORD("LoadViewSettingsWithScan", LoadViewSettingsWithScan),
        GS_DWORD("ExportFileType", ExportFileType),
    };
    const std::vector<SettingsValue> blocks = BlockValues();
    v.insert(v.end(), blocks.begin(), blocks.end());
    const SettingsValue rest[] = {
        GS_DWORD("ExportDxfMeshAs3DFACEs", ExportDxfMeshAs3DFACEs),
        GS_DWORD("ExportIgesMeshAs106", ExportIgesMeshAs106),
        GS_DWORD("ExportAaopLabels", ExportAaopLabels),
        GS_DWORD("CompactRawDataOnSave", CompactRawDataOnSave),
        GS_DWORD("DoSaveBasic", DoSaveBasic),
        GS_DWORD("DoSaveRbf", DoSaveRbf),
        GS_DWORD("SelectedSweepTransparent", SelectedSweepTransparent),
        GS_TEXT("HardwareConfigFilename", HardwareConfigFilename),
        GS_DWORD("VideoProcessorRevision", VideoProcessorRevision),
        GS_DWORD("QuadrelFrequency", QuadrelFrequency),
        GS_DWORD("ReceiverEnabled", ReceiverEnabled),
        GS_DWORD("ViewBBox", ViewBBox),
        GS_DWORD("AutoView", AutoView),
        GS_DWORD("RangeClip", RangeClip),
        GS_DWORD("AngleClip", AngleClip),
        GS_BINARY("RawResolutionClip", RawResolutionClip),
        GS_DWORD("ScannerEnabled", ScannerEnabled),
        GS_DWORD("ProfileFilterLength", ProfileFilterLength),
        GS_DWORD("HardwareDevice", HardwareDevice),
        GS_DWORD("Movement", Movement),
        GS_DWORD("ShowExtents", ShowExtents),
        GS_BINARY("WindowRect", WindowRect),
        GS_DWORD("WindowMaximized", WindowMaximized),
        GS_DWORD("CombineSweeps", CombineSweeps),
        GS_DWORD("BasicParams.GenerateFacets", BasicParams.GenerateFacets),
        GS_DWORD("BasicParams.SimplifyFacets", BasicParams.SimplifyFacets),
        GS_DWORD("BasicParams.SimplifyError", BasicParams.SimplifyError),
        GS_DWORD("BasicParams.DoObjectLimit", BasicParams.DoObjectLimit),
        GS_DWORD("BasicParams.ObjectLimit", BasicParams.ObjectLimit),
        GS_DWORD("BasicParams.ExportResolutionClip", BasicParams.ExportResolutionClip),
        GS_DWORD("BasicParams.FilterRadius", BasicParams.FilterRadius),
        GS_DWORD("RbfParams.RbfAccuracy", RbfParams.RbfAccuracy),
        GS_DWORD("RbfParams.RbfResolution", RbfParams.RbfResolution),
        GS_DWORD("RbfParams.RbfAutoMemoryLimit", RbfParams.RbfAutoMemoryLimit),
        GS_DWORD("RbfParams.RbfMemoryToUse", RbfParams.RbfMemoryToUse),
        GS_DWORD("RbfParams.RbfTrimType", RbfParams.RbfTrimType),
        GS_DWORD("RbfParams.RbfExtraTrim", RbfParams.RbfExtraTrim),
        GS_DWORD("RbfParams.RbfSimplify", RbfParams.RbfSimplify),
        GS_DWORD("RbfParams.RbfSimpDoAngle", RbfParams.RbfSimpDoAngle),
        GS_DWORD("RbfParams.RbfSimpAngle", RbfParams.RbfSimpAngle),
        GS_DWORD("RbfParams.RbfSimpTarget", RbfParams.RbfSimpTarget),
        GS_DWORD("RbfParams.RbfSimpError", RbfParams.RbfSimpError),
        GS_DWORD("RbfParams.RbfSimpNFaces", RbfParams.RbfSimpNFaces),
        GS_DWORD("RbfParams.RbfSimpNPoints", RbfParams.RbfSimpNPoints),
        GS_DWORD("StereoEnabled", StereoEnabled),
        GS_DWORD("ViewerToScreenDistance", ViewerToScreenDistance),
        GS_DWORD("ObjectToScreenOffset", ObjectToScreenOffset),
        GS_DWORD("SaveSettingsOnExit", SaveSettingsOnExit),
        GS_DWORD("DisableGraphicsHardware", DisableGraphicsHardware),
        GS_DWORD("OverrideGraphicsHardwareSwapCopyBit", OverrideGraphicsHardwareSwapCopyBit),
        GS_DWORD("ForegroundColour", ForegroundColour),
        GS_DWORD("BackgroundColour", BackgroundColour),
        GS_DWORD("PreviewColour", PreviewColour),
        GS_BINARY("CustomColours", CustomColours),
        GS_DWORD("AmbientLightLevel", AmbientLightLevel),
        GS_DWORD("SpotLightLevel", SpotLightLevel),
        GS_BINARY("SpotLightPosition", SpotLightPosition),
        GS_DWORD("UseSpecularHighlights", UseSpecularHighlights),
        GS_DWORD("UseSmoothShading", UseSmoothShading),
        GS_DWORD("UseGradedBackground", UseGradedBackground),
        GS_DWORD("Stylus.PointMarker", Stylus.PointMarker),
        GS_DWORD("Stylus.LineMarker", Stylus.LineMarker),
        GS_DWORD("Stylus.SurfaceDistance", Stylus.SurfaceDistance),
        GS_DWORD("Stylus.ExportType", Stylus.ExportType),
        GS_DWORD("Stylus.ExportFormat", Stylus.ExportFormat),
        GS_DWORD("Stylus.MinLineSegment", Stylus.MinLineSegment),
        GS_DWORD("Stylus.CaptureMode", Stylus.CaptureMode),
        GS_DWORD("Stylus.OnSurfaceByDefault", Stylus.OnSurfaceByDefault),
        GS_DWORD("Warning.DxfSaveLarge", Warning.DxfSaveLarge),
        GS_DWORD("TarrelObjectSize", TarrelObjectSize),
        GS_DWORD("CastInversionMode", CastInversionMode),
        GS_DWORD("InversionParams.InversionCutOffset", InversionParams.InversionCutOffset),
        GS_DWORD("InversionParams.InversionTrimRange", InversionParams.InversionTrimRange),
        GS_DWORD("InversionParams.InversionVersion", InversionParams.InversionVersion),
        GS_DWORD("Timer.NumFields", Timer.NumFields),
        GS_DWORD("Timer.SleepTicks", Timer.SleepTicks),
        GS_DWORD("Timer.FirstSleepTicks", Timer.FirstSleepTicks),
        GS_DWORD("DisableDoubleTriggerClick", DisableDoubleTriggerClick),
        GS_DWORD("DisableTripleTriggerClick", DisableTripleTriggerClick),
        GS_DWORD("GlassReferenceOnObjectSide", GlassReferenceOnObjectSide),
        GS_DWORD("GlassReferenceIsRx", GlassReferenceIsRx),
        GS_DWORD("GlassThickness", GlassThickness),
        GS_DWORD("GlassRefractiveIndex", GlassRefractiveIndex),
        GS_DWORD("GlassZOffset", GlassZOffset),
        GS_DWORD("StylusBumpWidth", StylusBumpWidth),
        GS_DWORD("StylusBumpHeight", StylusBumpHeight),
        GS_DWORD("ViewWandPosition", ViewWandPosition),
        GS_DWORD("ViewReferencePosition", ViewReferencePosition),
        GS_DWORD("ViewTransmitterPosition", ViewTransmitterPosition),
        GS_DWORD("StylusPointBeep", StylusPointBeep),
        GS_DWORD("StylusPointAutoView", StylusPointAutoView),
        GS_DWORD("UseImperialUnits", UseImperialUnits),
        GS_DWORD("UseOldToolbar", UseOldToolbar),
        GS_DWORD("ToolbarIconSize", ToolbarIconSize),
        GS_DWORD("ToolbarLabels", ToolbarLabels),
        {"HardwareFilterLength", kRegDword, kNotInRecord, 4},
    };
    v.insert(v.end(), std::begin(rest), std::end(rest));
    return v;
}

#define VS_OFFSET(field) static_cast<std::ptrdiff_t>(offsetof(ViewSettings, field))

std::vector<SettingsValue> MakeViewValues() {
    return {
        {"DisplayType", kRegDword, VS_OFFSET(DisplayType), 4},
        {"ViewMatrix", kRegBinary, VS_OFFSET(ViewMatrix), static_cast<uint32_t>(sizeof(Matrix4))},
        {"ViewOrigin", kRegBinary, VS_OFFSET(ViewOrigin), static_cast<uint32_t>(sizeof(Vec3))},
        {"ZoomFactor", kRegDword, VS_OFFSET(ZoomFactor), 4},
        {"Options", kRegDword, VS_OFFSET(Options), 4},
        {"ColourMode", kRegDword, VS_OFFSET(ColourMode), 4},
    };
}

// Reads every value of the list into the record; the code of the last value
// not taken.
int ReadValues(RegistryAccess& registry, RegistryAccess::Key key, const std::vector<SettingsValue>& list, void* record,
               FilterLengthStore storeFilterLength) {
    int result = 0;
    for (const SettingsValue& v : list) {
        int code;
        if (v.offset == kNotInRecord) {
            int32_t length = 0;
            code = Settings_QueryValue(registry, key, v.name, v.type, v.size, &length);
            if (code == kSettingsValueTaken && storeFilterLength) storeFilterLength(length);
        } else {
            code = Settings_QueryValue(registry, key, v.name, v.type, v.size, static_cast<char*>(record) + v.offset);
        }
        if (code != kSettingsValueTaken) result = code;
    }
    return result;
}

// The bytes a value is written with: a text up to its terminator.
long WriteValue(RegistryAccess& registry, RegistryAccess::Key key, const SettingsValue& v, const void* field) {
    if (v.type != kRegSz) return registry.Write(key, v.name, v.type, field, v.size);
    // A field without a terminator is written cut to fit one.
    const char* text = static_cast<const char*>(field);
    const size_t length = strnlen(text, v.size - 1);
    std::string copy(text, length);
    return registry.Write(key, v.name, kRegSz, copy.c_str(), static_cast<uint32_t>(length + 1));
}

}  // namespace

const std::vector<SettingsValue>& Settings_GeneralValues() {
    static const std::vector<SettingsValue> values = MakeGeneralValues();
    return values;
}

const std::vector<SettingsValue>& Settings_ViewValues() {
    static const std::vector<SettingsValue> values = MakeViewValues();
    return values;
}

int Settings_QueryValue(RegistryAccess& registry, RegistryAccess::Key key, const char* name, uint32_t expectedType,
                        uint32_t expectedSize, void* destination) {
    uint32_t type = 0, size = 0;
    if (!registry.QueryInfo(key, name, type, size)) return kSettingsValueMissing;
    if (type != expectedType) return kSettingsValueWrongType;
    if (type != kRegSz) {
        if (size != expectedSize) return kSettingsValueWrongSize;
        return registry.Read(key, name, destination, size) ? kSettingsValueTaken : kSettingsValueMissing;
    }
    // A text is taken whole or not at all: it must fit its field with the
    // terminator, whether or not the stored bytes end with one. A path cut
    // short would name another folder.
    // The buffer holds the stored bytes and a terminator after them: a size
    // at the top of the 32-bit range has no room for one (size + 1 would wrap
    // to an empty buffer), and a buffer that cannot be had refuses the value.
    std::vector<char> data;
    if (size == UINT32_MAX || size >= data.max_size()) return kSettingsValueNoMemory;
    try {
        data.assign(static_cast<size_t>(size) + 1, '\0');
    } catch (const std::bad_alloc&) {
        return kSettingsValueNoMemory;
    }
    if (size > 0 && !registry.Read(key, name, data.data(), size)) return kSettingsValueMissing;
    const size_t length = strnlen(data.data(), size);
    if (length + 1 > expectedSize) return kSettingsValueWrongSize;
    std::memcpy(destination, data.data(), length + 1);
    return kSettingsValueTaken;
}

int Settings_ReadGeneral(RegistryAccess& registry, RegistryAccess::Key key, GeneralSettings& settings,
                         FilterLengthStore storeFilterLength) {
    return ReadValues(registry, key, Settings_GeneralValues(), &settings, storeFilterLength);
}

int Settings_ReadView(RegistryAccess& registry, RegistryAccess::Key key, ViewSettings& view) {
    const int result = ReadValues(registry, key, Settings_ViewValues(), &view, nullptr);
    if (view.DisplayType == 3) view.DisplayType = 2;
    return result;
}

namespace {

template <typename Read>
int LoadFromBothBranches(RegistryAccess& registry, const char* path, Read read) {
    RegistryAccess::Key key;
    if (registry.Open(RegistryRoot::LocalMachine, path, key)) {
        read(key);
        registry.Close(key);
    }
    if (!registry.Open(RegistryRoot::CurrentUser, path, key)) return 1;
    const int result = read(key);
    registry.Close(key);
    return result;
}

}  // namespace

int Settings_LoadGeneral(RegistryAccess& registry, GeneralSettings& settings, FilterLengthStore storeFilterLength) {
    return LoadFromBothBranches(registry, kSettingsGeneralKey, [&](RegistryAccess::Key key) {
        return Settings_ReadGeneral(registry, key, settings, storeFilterLength);
    });
}

int Settings_LoadView(RegistryAccess& registry, ViewSettings& view) {
    return LoadFromBothBranches(registry, kSettingsViewKey,
                                [&](RegistryAccess::Key key) { return Settings_ReadView(registry, key, view); });
}

int Settings_SaveGeneral(RegistryAccess& registry, const GeneralSettings& settings, int32_t hardwareFilterLength) {
    RegistryAccess::Key key;
    if (!registry.Create(RegistryRoot::CurrentUser, kSettingsGeneralKey, key)) return 1;
    int result = 0;
    for (const SettingsValue& v : Settings_GeneralValues()) {
        const void* field = v.offset == kNotInRecord ? static_cast<const void*>(&hardwareFilterLength)
                                                     : reinterpret_cast<const char*>(&settings) + v.offset;
        const long error = WriteValue(registry, key, v, field);
        if (error != 0) result = static_cast<int>(error);
    }
    registry.Close(key);
    return result;
}

int Settings_SaveView(RegistryAccess& registry, const ViewSettings& view) {
    RegistryAccess::Key key;
    if (!registry.Create(RegistryRoot::CurrentUser, kSettingsViewKey, key)) return 1;
    int result = 0;
    for (const SettingsValue& v : Settings_ViewValues())
        if (WriteValue(registry, key, v, reinterpret_cast<const char*>(&view) + v.offset) != 0) result = 2;
    registry.Close(key);
    return result;
}

int Settings_ReadPath(RegistryAccess& registry, RegistryAccess::Key key, char* buffer) {
    return Settings_QueryValue(registry, key, "Path", kRegSz, kSettingsTextSize, buffer);
}

int Settings_LoadInstallPath(RegistryAccess& registry, const char* keyPath, char* buffer) {
    buffer[0] = '\0';
    return LoadFromBothBranches(registry, keyPath,
                                [&](RegistryAccess::Key key) { return Settings_ReadPath(registry, key, buffer); });
}

const char* Settings_GetRootPath() { return "HKEY_CURRENT_USER\\Software\\Tolvaran"; }
