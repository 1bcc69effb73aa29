#include "app/locale/locale_parser.h"

#include "app/base/app_messages.h"

#include <cctype>
#include <cstdio>

namespace {

// Names quoted in a message are cut to this length, so that a runaway line
// cannot make a message box of megabytes.
constexpr std::size_t kMaxQuotedName = 255;

std::string Quoted(const std::string& name) {
    if (name.size() <= kMaxQuotedName)
        return name;
    return name.substr(0, kMaxQuotedName) + "...";
}

std::string Located(const std::string& displayName, int lineNumber, const std::string& message) {
    return "Locale file " + displayName + ", line " + std::to_string(lineNumber) + ": " + message;
}

LocaleLineResult Error(const std::string& message) {
    LocaleLineResult result;
    result.ok = false;
    result.message = message;
    return result;
}

LocaleLineResult Skip() {
    LocaleLineResult result;
    result.skip = true;
    return result;
}

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

bool Locale_IsBlankLine(const std::string& line) {
    for (char c : line) {
        if (!IsSpace(c))
            return false;
    }
    return true;
}

LocaleLineResult Locale_ParseSectionHeader(const std::string& line, int state) {
    std::size_t close = line.find(']');
    if (close == std::string::npos)
        return Error("Section header must end in ']'");
    std::string name = line.substr(1, close - 1);
    if (name.empty())
        return Error("Empty section name");
    if (name.find('[') != std::string::npos)
        return Error("Section header contains too many '[' characters");
    if (line.find(']', close + 1) != std::string::npos)
        return Error("Section header has too many ']' characters");
    if (!Locale_IsBlankLine(line.substr(close + 1)))
        return Error("Section header must end in ']'");

    LocaleLineResult result;
    result.sectionHeader = true;
    if (name == "SDLASCII") {
        if (state != LocaleState_Start)
            return Error("[SDLASCII] is only valid at beginning of file.");
        result.newState = LocaleState_Header;
    } else if (name == "STRINGS") {
        if (state == LocaleState_Start)
            return Error("Expected [SDLASCII] header before [STRINGS] section header");
        result.newState = LocaleState_Strings;
    } else {
        result.newState = LocaleState_Other;
    }
    return result;
}

std::string Locale_CheckDefinition(const std::string& line) {
    std::size_t equals = line.find('=');
    std::size_t nameEnd = equals == std::string::npos ? line.size() : equals;
    for (std::size_t i = 0; i < nameEnd; ++i) {
        if (line[i] == '\\')
            return "Escape characters are invalid in string names.";
        if (line[i] == '{' || line[i] == '}')
            return "Variables are invalid in string names.";
    }
    if (equals == std::string::npos)
        return "'=' separator is missing from string definition.";

    bool escape = false;
    bool inVariable = false;
    for (std::size_t i = equals + 1; i < line.size(); ++i) {
        char c = line[i];
        switch (c) {
            case '\\':
                escape = !escape;
                break;
            case 'n':
            case 'r':
            case 't':
                escape = false;
                break;
            case '{':
                if (escape)
                    escape = false;
                else if (inVariable)
                    return "Unescaped '{' character is invalid within variable name.";
                else
                    inVariable = true;
                break;
            case '}':
                if (escape)
                    escape = false;
                else if (!inVariable)
                    return "'}' character without matching '{' character.";
                else
                    inVariable = false;
                break;
            default:
                if (escape)
                    return std::string("Invalid character '") + c + "' after escape character '\\'.";
                break;
        }
    }
    if (escape)
        return "Escape character '\\' at end of line.";
    if (inVariable)
        return "Variable name begins with '{', but has no ending '}'.";
    return std::string();
}

void Locale_SplitDefinition(const std::string& line, std::string& name, std::string& text) {
    std::size_t equals = line.find('=');
    name = line.substr(0, equals);
    text = equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

LocaleLineResult Locale_ClassifyLine(const std::string& line, int state) {
    if (Locale_IsBlankLine(line))
        return Skip();
    if (line[0] == ';')
        return Skip();
    if (line[0] == '[')
        return Locale_ParseSectionHeader(line, state);
    switch (state) {
        case LocaleState_Strings: {
            std::string message = Locale_CheckDefinition(line);
            if (!message.empty())
                return Error(message);
            LocaleLineResult result;
            Locale_SplitDefinition(line, result.name, result.text);
            if (result.name.empty())
                result.continuation = true;
            else
                result.namedDefinition = true;
            return result;
        }
        case LocaleState_Start:
            return Error("Expected [SDLASCII] header.");
        case LocaleState_Header:
            return Error("Expected section header.");
        default:
            return Skip();
    }
}

int Locale_ParseInto(LocaleStringTable& table, std::istream& stream, const std::string& displayName,
                     const LocaleReporter& report) {
    int state = LocaleState_Start;
    std::string current;  // the definition that continuation lines extend
    int lineNumber = 0;
    for (;;) {
        if (stream.peek() == std::char_traits<char>::eof() && !stream.bad())
            break;
        ++lineNumber;
        std::string line;
        std::getline(stream, line);
        if (stream.bad()) {
            report(Located(displayName, lineNumber,
                           "A read error ocurred while reading the locale file."));
            return 0;
        }

        LocaleLineResult verdict = Locale_ClassifyLine(line, state);
        if (!verdict.ok) {
            report(Located(displayName, lineNumber, verdict.message));
            current.clear();
        } else if (verdict.sectionHeader) {
            state = verdict.newState;
            current.clear();
        } else if (verdict.namedDefinition) {
            if (table.Contains(verdict.name))
                report(Located(displayName, lineNumber,
                               "Redefinition of string '" + Quoted(verdict.name) + "'"));
            table.Set(verdict.name, verdict.text);
            current = verdict.name;
        } else if (verdict.continuation) {
            if (current.empty())
                report(Located(displayName, lineNumber,
                               "Multi-line string definitions must start with a named string "
                               "definition."));
            else
                table.Append(current, verdict.text);
        }
    }
    return 1;
}

void Locale_ShowError(const std::string& message) {
    // The locale is what failed, so the caption cannot come from it.
    AppMessage box;
    box.kind = MessageKind::Error;
    box.title = "Localization Error";
    box.ownerless = true;
    box.text = message;
    App_ShowMessage(box);
}

int Locale_ParseFile(std::istream& stream, const std::string& displayName) {
    return Locale_ParseInto(Locale_Strings(), stream, displayName, Locale_ShowError);
}
