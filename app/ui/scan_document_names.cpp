#include "app/ui/scan_document_names.h"

#include "app/locale/locale_lookup.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Contains(const std::string& path, const char* extension) {
    return Lower(path).find(extension) != std::string::npos;
}

size_t NameStart(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

ScanFileKind ScanDoc_SaveKind(const std::string& path) {
    const std::string name = path.substr(NameStart(path));
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return ScanFileKind::Unknown;
    const std::string extension = Lower(name.substr(dot));
    if (extension == ".tvn") return ScanFileKind::Tvn;
    if (extension == ".krv") return ScanFileKind::Krv;
    if (extension == ".vid") return ScanFileKind::Vid;
    return ScanFileKind::Unknown;
}

ScanFileKind ScanDoc_LoadKind(const std::string& path) {
    if (Contains(path, ".krv")) return ScanFileKind::Krv;
    if (Contains(path, ".tvn")) return ScanFileKind::Tvn;
    return ScanFileKind::Unknown;
}

std::optional<std::string> ScanDoc_FindOpenFile(const std::string& typed,
                                                const std::function<bool(const std::string&)>& exists) {
    if ((Contains(typed, ".tvn") || Contains(typed, ".krv")) && exists(typed)) return typed;
    for (const char* extension : {".tvn", ".krv"})
        if (exists(typed + extension)) return typed + extension;
    return std::nullopt;
}

std::string ScanDoc_KrvMessage(int32_t result, const std::string& path, const std::string& product,
                               const std::string& company) {
    std::string text;
    switch (result) {
        case kKrvNotOpened:
            return Locale_FormatString(text, "ErrorFileOpen", Locale_NewStringVariable("name", path.c_str()), nullptr);
        case kKrvNotThisFormat:
            return Locale_FormatString(text, "ErrorFileNotKrv", Locale_NewStringVariable("app", product.c_str()),
                                       Locale_NewStringVariable("company", company.c_str()),
                                       Locale_NewStringVariable("name", path.c_str()), nullptr);
        case kKrvBadVersion:
            return Locale_FormatString(text, "ErrorFileBadVersion", Locale_NewStringVariable("file_name", path.c_str()),
                                       nullptr);
        case kKrvReadError:
            return Locale_FormatString(text, "ErrorFileRead", Locale_NewStringVariable("file_name", path.c_str()),
                                       nullptr);
        case kKrvOutOfMemory:
            return Locale_GetString("ErrorOutOfMemory");
        default:
            return "";
    }
}

std::string ScanDoc_FileBaseName(const std::string& path) {
    std::string name = path.substr(NameStart(path));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

void ScanDoc_FillKrvViewRecord(const ViewSettings& view, const GeneralSettings& settings, KrvViewRecord& record) {
    std::memset(&record, 0, sizeof record);
    record.DisplayType = view.DisplayType;
    record.ViewMatrix = view.ViewMatrix;
    record.ViewOrigin = view.ViewOrigin;
    record.ZoomFactor = view.ZoomFactor;
    record.ForegroundColour = settings.ForegroundColour;
    record.BackgroundColour = settings.BackgroundColour;
    record.PreviewColour = settings.PreviewColour;
    std::memcpy(record.CustomColours, settings.CustomColours, sizeof record.CustomColours);
    record.AmbientLightLevel = settings.AmbientLightLevel;
    record.SpotLightLevel = settings.SpotLightLevel;
    std::memcpy(record.SpotLightPosition, settings.SpotLightPosition, sizeof record.SpotLightPosition);
    record.Options = view.Options;
}
