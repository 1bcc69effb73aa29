#include "app/locale/locale_parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAreArray;

const char* const kHeaders = "[SDLASCII]\n[STRINGS]\n";

struct Parsed {
    int result = 0;
    std::vector<std::string> messages;
    LocaleStringTable table;
};

void Parse(const std::string& text, Parsed& parsed) {
    std::istringstream stream(text);
    parsed.result = Locale_ParseInto(parsed.table, stream, "Locale-en-GB.txt",
                                     [&](const std::string& m) { parsed.messages.push_back(m); });
}

std::string At(int line, const std::string& message) {
    return "Locale file Locale-en-GB.txt, line " + std::to_string(line) + ": " + message;
}

struct GrammarCase {
    const char* what;
    std::string text;
    std::vector<std::string> messages;                 // exact, in order
    std::map<std::string, std::string> definitions;    // stored texts expected
    std::vector<std::string> absent;                   // keys that must not be defined
};

void PrintTo(const GrammarCase& c, std::ostream* os) {
    *os << c.what;
}

class GrammarTest : public ::testing::TestWithParam<GrammarCase> {};

TEST_P(GrammarTest, ReportsExactlyAndKeepsTheRest) {
    const GrammarCase& c = GetParam();
    Parsed parsed;
    Parse(c.text, parsed);
    EXPECT_EQ(parsed.result, 1);
    EXPECT_THAT(parsed.messages, ElementsAreArray(c.messages));
    for (const auto& [key, text] : c.definitions) {
        std::string stored;
        EXPECT_TRUE(parsed.table.Find(key, stored)) << "'" << key << "'";
        EXPECT_EQ(stored, text) << "'" << key << "'";
    }
    for (const std::string& key : c.absent)
        EXPECT_FALSE(parsed.table.Contains(key)) << "'" << key << "'";
}

const std::string H = kHeaders;

INSTANTIATE_TEST_SUITE_P(
    Lines, GrammarTest,
    ::testing::Values(
        GrammarCase{"continuation", H + "A=x\n=y\n", {}, {{"A", "xy"}}, {}},
        GrammarCase{"strings header first", "[STRINGS]\nA=x\nB=y\n",
                    {At(1, "Expected [SDLASCII] header before [STRINGS] section header"),
                     At(2, "Expected [SDLASCII] header."), At(3, "Expected [SDLASCII] header.")},
                    {}, {"A", "B"}},
        GrammarCase{"other section first", "[Notes]\nfree text\n[SDLASCII]\n[STRINGS]\nA=x\n",
                    {At(3, "[SDLASCII] is only valid at beginning of file.")}, {{"A", "x"}}, {}},
        GrammarCase{"header section holds no definitions", "[SDLASCII]\nA=x\n[STRINGS]\nB=y\n",
                    {At(2, "Expected section header.")}, {{"B", "y"}}, {"A"}},
        GrammarCase{"other sections are skipped", H + "[Other]\nA=x\n[STRINGS]\nB=y\n", {},
                    {{"B", "y"}}, {"A"}},
        GrammarCase{"header errors",
                    "[SDLASCII\n[]\n[a[b]\n[a]]\n[a] x\n[SDLASCII]  \n[STRINGS]\nA=x\n",
                    {At(1, "Section header must end in ']'"), At(2, "Empty section name"),
                     At(3, "Section header contains too many '[' characters"),
                     At(4, "Section header has too many ']' characters"),
                     At(5, "Section header must end in ']'")},
                    {{"A", "x"}}, {}},
        GrammarCase{"section names are exact", "[sdlascii]\n[SDLASCII]\n[STRINGS ]\nA=x\n",
                    {At(2, "[SDLASCII] is only valid at beginning of file.")}, {}, {"A"}},
        GrammarCase{"names keep their spaces", H + " A=x\nA =y\nB=a=b\n", {},
                    {{" A", "x"}, {"A ", "y"}, {"B", "a=b"}}, {"A"}},
        GrammarCase{"valid escapes are stored as written", H + "A=\\\\ \\n\\r\\t \\{x\\}\n", {},
                    {{"A", "\\\\ \\n\\r\\t \\{x\\}"}}, {}},
        GrammarCase{"invalid escape", H + "A=x\\q\nB=\\\n",
                    {At(3, "Invalid character 'q' after escape character '\\'."),
                     At(4, "Escape character '\\' at end of line.")},
                    {}, {"A", "B"}},
        GrammarCase{"escapes and braces in names", H + "A\\b=x\nA{b}=x\nA}=x\n",
                    {At(3, "Escape characters are invalid in string names."),
                     At(4, "Variables are invalid in string names."),
                     At(5, "Variables are invalid in string names.")},
                    {}, {}},
        GrammarCase{"missing separator", H + "Abc\n ;not a comment\n",
                    {At(3, "'=' separator is missing from string definition."),
                     At(4, "'=' separator is missing from string definition.")},
                    {}, {}},
        GrammarCase{"unbalanced braces", H + "A={a{b}}\nB=x}\nC={x\nD={x}{y} \\{z}\n",
                    {At(3, "Unescaped '{' character is invalid within variable name."),
                     At(4, "'}' character without matching '{' character."),
                     At(5, "Variable name begins with '{', but has no ending '}'."),
                     At(6, "'}' character without matching '{' character.")},
                    {}, {"A", "B", "C", "D"}},
        GrammarCase{"balanced escaped brace pair", H + "B=x\\}\n", {}, {{"B", "x\\}"}}, {}},
        GrammarCase{"continuation survives comments and blank lines",
                    H + "A=x\n; note\n\n   \t\n=y\n", {}, {{"A", "xy"}}, {}},
        GrammarCase{"a header ends a definition", H + "A=x\n[STRINGS]\n=y\n",
                    {At(5, "Multi-line string definitions must start with a named string "
                           "definition.")},
                    {{"A", "x"}}, {}},
        GrammarCase{"an error line ends a definition", H + "A=x\nbad\n=y\n",
                    {At(4, "'=' separator is missing from string definition."),
                     At(5, "Multi-line string definitions must start with a named string "
                           "definition.")},
                    {{"A", "x"}}, {}},
        GrammarCase{"continuation before any definition", H + "=y\n",
                    {At(3, "Multi-line string definitions must start with a named string "
                           "definition.")},
                    {}, {""}},
        GrammarCase{"redefinition: later wins", H + "A=x\n=1\nB=y\nA=z\n=2\n",
                    {At(6, "Redefinition of string 'A'")}, {{"A", "z2"}, {"B", "y"}}, {}},
        GrammarCase{"last line without a line feed", H + "A=x\n=y", {}, {{"A", "xy"}}, {}}),
    [](const ::testing::TestParamInfo<GrammarCase>& info) {
        std::string name;
        for (char c : std::string(info.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(LocaleParser, LongNamesAreCutInMessages) {
    const std::string name(5000, 'K');
    Parsed parsed;
    Parse(H + name + "=x\n" + name + "=y\n", parsed);
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0], At(4, "Redefinition of string '" + name.substr(0, 255) + "...'"));
    std::string stored;
    EXPECT_TRUE(parsed.table.Find(name, stored));
    EXPECT_EQ(stored, "y");
}

// A stream whose source fails after the given text.
class FailingBuffer : public std::streambuf {
public:
    explicit FailingBuffer(std::string text) : text_(std::move(text)) {
        setg(text_.data(), text_.data(), text_.data() + text_.size());
    }

protected:
    int_type underflow() override { throw std::runtime_error("device gone"); }

private:
    std::string text_;
};

TEST(LocaleParser, ReadErrorStopsParsingAndFails) {
    FailingBuffer buffer(H + "A=x\nB=y");
    std::istream stream(&buffer);
    LocaleStringTable table;
    std::vector<std::string> messages;
    int result = Locale_ParseInto(table, stream, "Locale-en-GB.txt",
                                  [&](const std::string& m) { messages.push_back(m); });
    EXPECT_EQ(result, 0);
    EXPECT_THAT(messages, ElementsAreArray({At(4, "A read error ocurred while reading the locale file.")}));
    EXPECT_TRUE(table.Contains("A"));
    EXPECT_FALSE(table.Contains("B"));
}

}  // namespace
