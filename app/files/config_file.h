// A small reader for text files of "name value" lines, such as the
// "Tolvaran.rsc" file beside the program. Every line is parsed once into an
// entry holding the name, the value text and the value read as an integer, a
// floating-point number and a truth value, each with its own valid flag.
#pragma once

#include <cstdint>

struct ConfigEntry {
    char* name;  // one block owned by the entry: name, 0, text, 0
    char* text;  // points into the same block
    std::int32_t nameLength;
    std::int32_t textLength;
    std::int32_t intValue;
    double doubleValue;
    std::int32_t boolValue;
    std::int32_t isInteger;
    std::int32_t isFloat;
    std::int32_t isBool;
};

struct ConfigFile {
    std::int32_t count;
    std::int32_t capacity;
    ConfigEntry* entries;
};

// Lines are read in pieces of at most this many characters; the rest of a
// longer line is parsed as a line of its own.
constexpr int kConfigLinePieceLength = 1023;

// Parses the file. A file that cannot be opened gives an empty ConfigFile;
// only a failed allocation gives nullptr. Free the result with ConfigFile_Free.
ConfigFile* ConfigFile_Load(const char* path);

// The first entry whose name equals `name` exactly (names are case-sensitive),
// or nullptr.
const ConfigEntry* ConfigFile_Find(const ConfigFile* file, const char* name);

// True when the entry `name` exists and its text equals one of the words of
// the nullptr-terminated list, compared without regard to case; the index of
// the first such word goes to `index` when it is given. Otherwise false and
// `index` is left alone.
bool ConfigFile_GetValue(const char* name, const ConfigFile* file, const char* const* words,
                         std::int32_t* index);

void ConfigFile_Free(ConfigFile* file);
