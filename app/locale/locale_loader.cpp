#include "app/locale/locale_loader.h"

#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_keys.h"
#include "platform/os_seam.h"

#include <cstdio>
#include <new>
#include <sstream>

const char* const kLocaleInternalName = "(internal)";

namespace {

constexpr std::size_t kMaxDisplayName = 255;

std::string DisplayName(const std::string& name) {
    return name.substr(0, kMaxDisplayName);
}

}  // namespace

bool Locale_ReadTextFile(const std::string& path, std::vector<char>& data) {
    data.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<char> raw;
    char chunk[65536];
    bool ok = true;
    for (;;) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        raw.insert(raw.end(), chunk, chunk + got);
        if (raw.size() > kLocaleMaxSourceSize) {
            ok = false;
            break;
        }
        if (got < sizeof chunk) {
            ok = !std::ferror(file);
            break;
        }
    }
    std::fclose(file);
    if (!ok)
        return false;
    // What reading in text mode does on Windows, on every platform: a line
    // ends with a line feed alone.
    data.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue;
        data.push_back(raw[i]);
    }
    return true;
}

void Locale_CopyDataToStream(std::ostream& stream, const char* data, std::size_t length) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i == length || data[i] == '\r') {
            stream.write(data + start, static_cast<std::streamsize>(i - start));
            start = i + 1;
        }
    }
}

bool Locale_ReadFileIn(const std::string& folder, std::iostream& stream, std::string& displayName,
                       const LocaleReporter& report) {
    std::string name, path;
    std::vector<char> data;
    if (Locale_FindFileIn(folder, "Locale-\?\?-\?\?.txt", name, path)) {
        displayName = DisplayName(name);
        if (!Locale_ReadTextFile(path, data))
            return false;
        stream.write(data.data(), static_cast<std::streamsize>(data.size()));
        return true;
    }
    if (Locale_FindFileIn(folder, "Locale-\?\?-\?\?.dat", name, path)) {
        displayName = DisplayName(name);
        if (!Locale_ReadContainer(path, data))
            return false;
        Locale_CopyDataToStream(stream, data.data(), data.size());
        return true;
    }
    if (Locale_LoadBuiltInData(data)) {
        displayName = kLocaleInternalName;
        Locale_CopyDataToStream(stream, data.data(), data.size());
        return true;
    }
    displayName = kLocaleInternalName;
    report("Error: No locale file was found in the application directory.");
    return false;
}

bool Locale_ReadFile(std::iostream& stream, std::string& displayName) {
    return Locale_ReadFileIn(os::ModuleFolder(), stream, displayName, Locale_ShowError);
}

bool Locale_FindFile(const std::string& pattern, std::string& name, std::string& path) {
    return Locale_FindFileIn(os::ModuleFolder(), pattern, name, path);
}

void Locale_ReportMissingStringsIn(const LocaleStringTable& table, const LocaleReporter& report) {
    for (const std::string& key : Locale_DeclaredKeys()) {
        if (!table.Contains(key))
            report("The string called '" + key + "' is missing from the Locale File.");
    }
}

void Locale_ReportMissingStrings() {
    Locale_ReportMissingStringsIn(Locale_Strings(), Locale_ShowError);
}

int Locale_LoadInto(LocaleStringTable& table, const std::string& folder,
                    const LocaleReporter& report) {
    Locale_RegisterStringKeys();
    bool ok = false;
    try {
        std::stringstream stream;
        std::string displayName;
        ok = Locale_ReadFileIn(folder, stream, displayName, report) && stream.good();
        if (ok)
            ok = Locale_ParseInto(table, stream, displayName, report) == 1;
        if (ok)
            Locale_ReportMissingStringsIn(table, report);
    } catch (const std::bad_alloc&) {
        // The program starts without its texts rather than not at all.
        ok = false;
    }
    Locale_RegisterDialogTexts();
    return ok ? 1 : 0;
}

int Locale_Load() {
    return Locale_LoadInto(Locale_Strings(), os::ModuleFolder(), Locale_ShowError);
}
