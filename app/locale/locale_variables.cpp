#include "app/locale/locale_variables.h"

#include "app/locale/locale_number_format.h"

#include <new>

namespace {

// Room for any formatted number variable; a value that does not fit falls
// back to its short plain form.
constexpr int kRenderBufferSize = 70;

LocaleVariable* NewVariable(const char* name, std::int32_t kind) {
    try {
        auto* variable = new LocaleVariable();
        variable->kind = kind;
        variable->name = name ? name : "";
        return variable;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ClosePiece(std::vector<LocaleSegment>& segments, std::string& piece, bool isVariable) {
    if (piece.empty())
        return;
    segments.push_back(LocaleSegment{piece, isVariable});
    piece.clear();
}

}  // namespace

LocaleVariable* Locale_NewNumberVariable(const char* name, double value, unsigned decimals) {
    LocaleVariable* variable = NewVariable(name, LocaleVariable_Number);
    if (variable) {
        variable->number = value;
        variable->decimals = decimals;
    }
    return variable;
}

LocaleVariable* Locale_NewIntVariable(const char* name, std::int32_t value) {
    LocaleVariable* variable = NewVariable(name, LocaleVariable_Integer);
    if (variable)
        variable->integer = value;
    return variable;
}

LocaleVariable* Locale_NewStringVariable(const char* name, const char* text) {
    LocaleVariable* variable = NewVariable(name, LocaleVariable_Text);
    if (!variable)
        return nullptr;
    try {
        variable->text = text ? text : "";
    } catch (const std::bad_alloc&) {
        delete variable;
        return nullptr;
    }
    return variable;
}

std::string Locale_RenderVariable(const LocaleVariable& variable) {
    char buffer[kRenderBufferSize];
    switch (variable.kind) {
        case LocaleVariable_Number:
            if (Locale_FormatNumber(variable.decimals, buffer, sizeof buffer, variable.number) > 0)
                return buffer;
            return Locale_PlainNumberText(variable.number);
        case LocaleVariable_Integer:
            if (Locale_FormatInteger(variable.integer, buffer, sizeof buffer) > 0)
                return buffer;
            return std::to_string(variable.integer);
        case LocaleVariable_Text:
            return variable.text;
        default:
            return "**Variable has invalid type member.";
    }
}

std::vector<LocaleSegment> Locale_SplitText(const std::string& stored) {
    std::vector<LocaleSegment> segments;
    std::string piece;
    bool escape = false;
    bool inVariable = false;
    for (char c : stored) {
        switch (c) {
            case '\\':
                if (escape)
                    piece += '\\';
                escape = !escape;
                break;
            case 'n':
            case 'r':
            case 't':
                if (escape)
                    piece += c == 'n' ? '\n' : c == 'r' ? '\r' : '\t';
                else
                    piece += c;
                escape = false;
                break;
            case '{':
            case '}':
                if (escape) {
                    piece += c;
                    escape = false;
                } else {
                    ClosePiece(segments, piece, inVariable);
                    inVariable = c == '{';
                }
                break;
            default:
                // A pending escape before any other byte stays pending; the
                // parser never lets such a pair into the table.
                piece += c;
                break;
        }
    }
    ClosePiece(segments, piece, inVariable);
    return segments;
}

LocaleVariableMap Locale_BuildVariableMap(LocaleVariable* const* list) {
    LocaleVariableMap variables;
    for (; list && *list; ++list)
        variables[(*list)->name] = *list;
    return variables;
}

std::string Locale_SubstituteVariables(const std::vector<LocaleSegment>& segments,
                                       const LocaleVariableMap& variables) {
    std::string result;
    for (const LocaleSegment& segment : segments) {
        if (!segment.isVariable) {
            result += segment.text;
            continue;
        }
        auto found = variables.find(segment.text);
        if (found != variables.end())
            result += Locale_RenderVariable(*found->second);
        else
            result += "{" + segment.text + "}";
    }
    return result;
}

void Locale_ReleaseVariables(LocaleVariable* const* list) {
    // A variable given twice in one list is still destroyed only once. Lists
    // are a handful of entries: a plain scan needs no memory of its own.
    if (!list)
        return;
    for (std::size_t i = 0; list[i]; ++i) {
        bool earlier = false;
        for (std::size_t j = 0; j < i && !earlier; ++j)
            earlier = list[j] == list[i];
        if (!earlier && list[i]->owned)
            delete list[i];
    }
}
