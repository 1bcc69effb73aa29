// Loading the locale at start-up. The text comes from the first source that
// exists in the program's folder:
//   1. a plain locale file "Locale-??-??.txt",
//   2. a signed and encrypted locale container "Locale-??-??.dat",
//   3. the locale built into the program.
// A source that exists but cannot be read ends the search.
#pragma once

#include "app/locale/locale_parser.h"
#include "app/locale/locale_string_table.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

// Whole sources larger than this are refused; a real locale is a few hundred
// kilobytes.
constexpr std::size_t kLocaleMaxSourceSize = 16u << 20;

// The display name of the built-in locale in messages.
extern const char* const kLocaleInternalName;

// The whole start-up load: registers the declared keys, reads and parses the
// locale into the program's string table, reports missing keys, fills the
// dialog table. Returns 1 when a locale was read and parsed without a read
// error, else 0; the program goes on either way.
int Locale_Load();

// The same with the folder to search and the table to fill given (the
// dialog table is filled as well).
int Locale_LoadInto(LocaleStringTable& table, const std::string& folder,
                    const LocaleReporter& report);

// Finds and reads the locale text into `stream`; `displayName` gets the file
// name (or "(internal)"), at most 255 characters.
bool Locale_ReadFile(std::iostream& stream, std::string& displayName);
bool Locale_ReadFileIn(const std::string& folder, std::iostream& stream, std::string& displayName,
                       const LocaleReporter& report);

// Looks for the pattern (with '?' wildcards) in the folder; gives the first
// matching file's name and full path.
bool Locale_FindFile(const std::string& pattern, std::string& name, std::string& path);
bool Locale_FindFileIn(const std::string& folder, const std::string& pattern, std::string& name,
                       std::string& path);

// Reads a plain locale file; each carriage return before a line feed is
// dropped. False when it cannot be opened or read, or is too large.
bool Locale_ReadTextFile(const std::string& path, std::vector<char>& data);

// Reads the locale text out of a locale container; false when the file is
// not a container, of another version, not encrypted, not signed with the
// locale key, or too large. A container without the text gives no data.
bool Locale_ReadContainer(const std::string& path, std::vector<char>& data);

// The program's built-in locale as plain locale text; false when the program
// has none.
bool Locale_LoadBuiltInData(std::vector<char>& data);

// Writes every byte except carriage return into the stream.
void Locale_CopyDataToStream(std::ostream& stream, const char* data, std::size_t length);

// One message per declared key that the table lacks, in key order.
void Locale_ReportMissingStrings();
void Locale_ReportMissingStringsIn(const LocaleStringTable& table, const LocaleReporter& report);
