#include "app/files/config_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int32_t kInitialCapacity = 128;

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

void ParseValue(ConfigEntry& entry) {
    const char* text = entry.text;
    char* end = nullptr;
    errno = 0;
    const long long asInteger = std::strtoll(text, &end, 10);
    // Out of the 32-bit range the text is not taken as an integer (it still
    // reads as a float), so that every platform gives the same value.
    if (end != text && *end == '\0' && errno != ERANGE && asInteger >= INT32_MIN &&
        asInteger <= INT32_MAX) {
        entry.isInteger = 1;
        entry.intValue = static_cast<std::int32_t>(asInteger);
        entry.isFloat = 1;
        entry.doubleValue = static_cast<double>(entry.intValue);
    } else {
        const double asFloat = std::strtod(text, &end);
        if (end != text && *end == '\0') {
            entry.isFloat = 1;
            entry.doubleValue = asFloat;
        }
    }

    if (entry.isInteger) {
        entry.isBool = 1;
        entry.boolValue = entry.intValue != 0;
        return;
    }
    if (entry.isFloat) {
        entry.isBool = 1;
        entry.boolValue = entry.doubleValue != 0.0;
        return;
    }
    static const struct {
        const char* word;
        std::int32_t value;
    } kTruth[] = {{"true", 1}, {"yes", 1}, {"on", 1}, {"", 1}, {"false", 0}, {"no", 0}, {"off", 0}};
    for (const auto& truth : kTruth) {
        if (EqualsIgnoringCase(text, truth.word)) {
            entry.isBool = 1;
            entry.boolValue = truth.value;
            return;
        }
    }
}

bool Grow(ConfigFile& file) {
    const std::int32_t capacity = static_cast<std::int32_t>(file.capacity * 1.44);
    void* table = std::realloc(file.entries, static_cast<std::size_t>(capacity) * sizeof(ConfigEntry));
    if (!table) return false;
    file.entries = static_cast<ConfigEntry*>(table);
    file.capacity = capacity;
    return true;
}

bool AddEntry(ConfigFile& file, const char* name, std::size_t nameLength, const char* text,
              std::size_t textLength) {
    char* block = static_cast<char*>(std::malloc(nameLength + 1 + textLength + 1));
    if (!block) return false;
    if (file.count == file.capacity && !Grow(file)) {
        std::free(block);
        return false;
    }
    std::memcpy(block, name, nameLength);
    block[nameLength] = '\0';
    std::memcpy(block + nameLength + 1, text, textLength);
    block[nameLength + 1 + textLength] = '\0';

    ConfigEntry& entry = file.entries[file.count];
    std::memset(&entry, 0, sizeof entry);
    entry.name = block;
    entry.text = block + nameLength + 1;
    entry.nameLength = static_cast<std::int32_t>(nameLength);
    entry.textLength = static_cast<std::int32_t>(textLength);
    ParseValue(entry);
    ++file.count;
    return true;
}

// Parses one piece of a line; false only when memory ran out.
bool ParseLine(ConfigFile& file, const char* line) {
    const char* p = line;
    while (*p && IsBlank(*p)) ++p;
    if (*p == '#' || *p == '\0') return true;
    const char* name = p;
    while (*p && !IsBlank(*p)) ++p;
    const std::size_t nameLength = static_cast<std::size_t>(p - name);
    while (*p && IsBlank(*p)) ++p;
    const char* text = p;
    const char* end = text + std::strlen(text);
    while (end > text && IsBlank(end[-1])) --end;
    return AddEntry(file, name, nameLength, text, static_cast<std::size_t>(end - text));
}

}  // namespace

ConfigFile* ConfigFile_Load(const char* path) {
    ConfigFile* file = static_cast<ConfigFile*>(std::calloc(1, sizeof(ConfigFile)));
    if (!file) return nullptr;
    file->entries = static_cast<ConfigEntry*>(std::calloc(kInitialCapacity, sizeof(ConfigEntry)));
    if (!file->entries) {
        std::free(file);
        return nullptr;
    }
    file->capacity = kInitialCapacity;

    std::FILE* stream = path ? std::fopen(path, "r") : nullptr;
    if (!stream) return file;
    char piece[kConfigLinePieceLength + 1];
    while (std::fgets(piece, sizeof piece, stream)) {
        if (!ParseLine(*file, piece)) {
            std::fclose(stream);
            ConfigFile_Free(file);
            return nullptr;
        }
    }
    std::fclose(stream);
    return file;
}

const ConfigEntry* ConfigFile_Find(const ConfigFile* file, const char* name) {
    if (!file || !name) return nullptr;
    for (std::int32_t i = 0; i < file->count; ++i) {
        if (std::strcmp(file->entries[i].name, name) == 0) return &file->entries[i];
    }
    return nullptr;
}

bool ConfigFile_GetValue(const char* name, const ConfigFile* file, const char* const* words,
                         std::int32_t* index) {
    const ConfigEntry* entry = ConfigFile_Find(file, name);
    if (!entry || !words) return false;
    for (std::int32_t i = 0; words[i]; ++i) {
        if (EqualsIgnoringCase(entry->text, words[i])) {
            if (index) *index = i;
            return true;
        }
    }
    return false;
}

void ConfigFile_Free(ConfigFile* file) {
    if (!file) return;
    for (std::int32_t i = 0; i < file->count; ++i) std::free(file->entries[i].name);
    std::free(file->entries);
    std::free(file);
}
