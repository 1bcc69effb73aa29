// Named values substituted into a locale text. A text marks a variable with
// its name between braces ("{file_name}"); escapes (\\ \n \r \t \{ \}) are
// resolved at every expansion.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum LocaleVariableKind : std::int32_t {
    LocaleVariable_Number = 0,
    LocaleVariable_Integer = 1,
    LocaleVariable_Text = 2,
};

// One value to substitute. Made on the heap by a maker and handed to one
// expansion call, which destroys it when `owned` is set.
struct LocaleVariable {
    bool owned = true;
    std::int32_t kind = LocaleVariable_Text;
    std::string name;
    double number = 0.0;
    std::uint32_t decimals = 0;
    std::int32_t integer = 0;
    std::string text;
};

// Makers: each returns a new owned variable, or nullptr when memory runs out.
LocaleVariable* Locale_NewNumberVariable(const char* name, double value, unsigned decimals);
LocaleVariable* Locale_NewIntVariable(const char* name, std::int32_t value);
LocaleVariable* Locale_NewStringVariable(const char* name, const char* text);

// The variable's value as shown: numbers in the program's fixed number
// format, texts unchanged.
std::string Locale_RenderVariable(const LocaleVariable& variable);

// One piece of a split text: literal text, or the name of a variable.
struct LocaleSegment {
    std::string text;
    bool isVariable = false;
};

// Splits a stored text into literal and variable pieces, resolving escapes.
// An empty pair of braces gives no piece at all.
std::vector<LocaleSegment> Locale_SplitText(const std::string& stored);

// Name to variable for one call's list (null-terminated); of two variables
// with the same name the later one wins.
using LocaleVariableMap = std::map<std::string, const LocaleVariable*>;
LocaleVariableMap Locale_BuildVariableMap(LocaleVariable* const* list);

// Joins the pieces: a variable the map lacks keeps its mark ("{name}").
std::string Locale_SubstituteVariables(const std::vector<LocaleSegment>& segments,
                                       const LocaleVariableMap& variables);

// Destroys every owned variable of the null-terminated list.
void Locale_ReleaseVariables(LocaleVariable* const* list);
