// The grammar of a locale text. A locale is a text of lines:
//
//     [SDLASCII]              header section, must come first
//     [STRINGS]               the string definitions follow
//     ; comment               (the ';' must be the very first character)
//     Key=Text with {variable} and \n escapes
//     =continued text         appended to the last named definition
//
// Other sections are skipped. Every line that breaks the grammar is reported
// with its line number and dropped; parsing goes on with the next line.
#pragma once

#include "app/locale/locale_string_table.h"

#include <functional>
#include <istream>
#include <string>

// Parser state: which part of the text the lines belong to.
enum LocaleParserState {
    LocaleState_Start = 0,    // no section header accepted yet
    LocaleState_Header = 1,   // [SDLASCII]
    LocaleState_Strings = 2,  // [STRINGS]
    LocaleState_Other = 3,    // any other section: skipped
};

// The verdict on one line.
struct LocaleLineResult {
    bool ok = true;
    bool skip = false;
    bool sectionHeader = false;
    bool namedDefinition = false;
    bool continuation = false;
    int newState = LocaleState_Start;  // for a section header
    std::string message;               // when not ok
    std::string name;                  // for a definition; empty for a continuation
    std::string text;
};

bool Locale_IsBlankLine(const std::string& line);
LocaleLineResult Locale_ParseSectionHeader(const std::string& line, int state);
// The grammar of one definition line; an empty text when it is sound, else
// the message.
std::string Locale_CheckDefinition(const std::string& line);
void Locale_SplitDefinition(const std::string& line, std::string& name, std::string& text);
LocaleLineResult Locale_ClassifyLine(const std::string& line, int state);

// Receives each message of the parser, already formatted with the display
// name and line number.
using LocaleReporter = std::function<void(const std::string& message)>;

// Parses the stream into `table`, reporting through `report`. Returns 1, or 0
// after a read error (which stops parsing at that line).
int Locale_ParseInto(LocaleStringTable& table, std::istream& stream, const std::string& displayName,
                     const LocaleReporter& report);

// Parses into the program's string table and shows the messages as
// localisation error boxes.
int Locale_ParseFile(std::istream& stream, const std::string& displayName);

// Shows one message of the loader as a localisation error box.
void Locale_ShowError(const std::string& message);
