#include "app/export/export_formats.h"

#include <mutex>

#include "app/export/export_sink.h"
#include "app/locale/locale_lookup.h"

const ExportFormatRow ExportFormatTable[13] = {
    {kExport3DS, "FileExportType3DS", "3ds", 1},
    {kExportAscii, "FileExportTypeAscii", "txt", 1},
    {kExportDxf, "FileExportTypeAutocad", "dxf", 1},
    {kExportIges, "FileExportTypeIges", "igs", 1},
    {kExportInventor, "FileExportTypeInventor", "iv", 1},
    {kExportLightwave, "FileExportTypeLightwave", "lwo", 1},
    {kExportMatlab, "FileExportTypeMatlab", "mat", 1},
    {kExportPsl, "FileExportTypePolyworksScan", "psl", 0},
    {kExportPly, "FileExportTypePly", "ply", 1},
    {kExportStl, "FileExportTypeStl", "stl", 1},
    {kExportVrml, "FileExportTypeVrml", "wrl", 1},
    {kExportVtk, "ExportTypeVtk", "vtk", 1},
    {kExportWavefront, "FileExportTypeWavefront", "obj", 1},
};

const char* ExportFormat_Extension(int32_t type) {
    for (const ExportFormatRow& row : ExportFormatTable)
        if (row.type == type) return row.extension;
    return "err";
}

ExportFormatOptions* Export_FormatOptions(GeneralSettings& settings) {
    const int32_t type = settings.ExportFileType;
    return type >= 0 && type < kExportFormatBlocks ? &settings.ExportOptions[type] : nullptr;
}

const ExportFormatOptions* Export_FormatOptions(const GeneralSettings& settings) {
    return Export_FormatOptions(const_cast<GeneralSettings&>(settings));
}

namespace {

enum Free : int8_t { kNo, kYes, kWhenMesh, kWhenBinary };
constexpr int8_t kKeep = -1;

struct FormatRule {
    int32_t type;
    int8_t dataType;  // forced ExportDataType (0 points, 1 mesh) or kKeep
    int8_t asText;    // forced ExportAsText or kKeep
    int8_t separate;  // forced ExportSeparateSweeps or kKeep
    Free data, format, more, separateFree;
};

const FormatRule kRules[] = {
    {kExport3DS, kKeep, 0, kKeep, kYes, kNo, kNo, kNo},
    {kExportAscii, 0, 1, kKeep, kNo, kNo, kNo, kNo},
    {kExportDxf, kKeep, 1, kKeep, kYes, kNo, kWhenMesh, kNo},
    {kExportIges, kKeep, 1, kKeep, kYes, kNo, kWhenMesh, kNo},
    {kExportInventor, 1, 1, kKeep, kNo, kNo, kNo, kNo},
    {kExportLightwave, kKeep, 0, kKeep, kYes, kNo, kNo, kNo},
    {kExportMatlab, kKeep, 0, kKeep, kYes, kNo, kYes, kNo},
    {kExportPsl, 0, 0, 1, kNo, kNo, kNo, kNo},
    {kExportPly, kKeep, kKeep, kKeep, kYes, kYes, kYes, kNo},
    {kExportStl, 1, kKeep, kKeep, kNo, kYes, kWhenBinary, kNo},
    {kExportVrml, 1, 1, kKeep, kNo, kNo, kNo, kNo},
    {kExportVtk, kKeep, 1, kKeep, kYes, kNo, kNo, kNo},
    {kExportWavefront, kKeep, 1, kKeep, kYes, kNo, kWhenMesh, kWhenMesh},
};

bool Holds(Free f, const ExportFormatOptions& block) {
    switch (f) {
        case kYes:
            return true;
        case kWhenMesh:
            return block.ExportDataType == 1;
        case kWhenBinary:
            return block.ExportAsText == 0;
        default:
            return false;
    }
}

std::mutex g_pathMutex;
std::string g_rememberedPath;

}  // namespace

ExportControlFreedom ExportDlg_ApplyFormatRules(int32_t type, ExportFormatOptions& block) {
    for (const FormatRule& rule : kRules) {
        if (rule.type != type) continue;
        if (rule.dataType != kKeep) block.ExportDataType = rule.dataType;
        if (rule.asText != kKeep) block.ExportAsText = rule.asText;
        if (rule.separate != kKeep) block.ExportSeparateSweeps = rule.separate;
        return ExportControlFreedom{Holds(rule.data, block), Holds(rule.format, block), Holds(rule.more, block),
                                    Holds(rule.separateFree, block)};
    }
    return ExportControlFreedom{false, false, false, false};
}

std::string ExportDlg_AppendFilters(bool surface) {
    std::string list;
    for (const ExportFormatRow& row : ExportFormatTable) {
        if (surface && !row.offeredForSurface) continue;
        list += Export_Format("%s (.%s);*.%s;", Locale_GetString(row.nameKey), row.extension, row.extension);
    }
    for (char& c : list)
        if (c == ';') c = '\0';
    list += '\0';
    return list;
}

int ExportDlg_FilterIndex(bool surface, int32_t type) {
    int index = 0;
    for (const ExportFormatRow& row : ExportFormatTable) {
        if (surface && !row.offeredForSurface) continue;
        ++index;
        if (row.type == type) return index;
    }
    return 0;
}

int32_t ExportDlg_TypeFromFilterIndex(bool surface, int index) {
    int position = 0;
    for (const ExportFormatRow& row : ExportFormatTable) {
        if (surface && !row.offeredForSurface) continue;
        if (++position == index) return row.type;
    }
    return kExport3DS;
}

int ExportDlg_InitialFilter(bool surface, int32_t& storedType) {
    int index = ExportDlg_FilterIndex(surface, storedType);
    if (index == 0) {
        index = 1;
        storedType = ExportDlg_TypeFromFilterIndex(surface, index);
    }
    return index;
}

std::string Export_RememberedPath() {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_rememberedPath;
}

void Export_RememberPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_rememberedPath = path.substr(0, 1023);
}

std::string Export_InitialFileName(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\:") == std::string::npos ? 0 : path.find_last_of("/\\:") + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}
