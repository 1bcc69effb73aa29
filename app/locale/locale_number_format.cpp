#include "app/locale/locale_number_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// The six-decimal text of the first step; a value whose text needs more is
// refused rather than cut.
constexpr std::size_t kDecimalTextSize = 64;

std::once_flag g_formatOnce;
LocaleNumberFormat g_format;

// Rounds the plain decimal text half up so that it keeps `keep` fraction
// digits (dropping the point when none are kept); carries grow the integer
// part. `text` holds an optional '-', digits, and an optional '.' with digits.
void RoundDecimalText(std::string& text, std::size_t keep) {
    std::size_t point = text.find('.');
    if (point == std::string::npos)
        return;
    std::size_t fractionDigits = text.size() - point - 1;
    if (fractionDigits <= keep)
        return;
    bool roundUp = text[point + 1 + keep] >= '5';
    text.resize(keep == 0 ? point : point + 1 + keep);
    if (!roundUp)
        return;
    std::size_t i = text.size();
    while (i > 0) {
        --i;
        char& c = text[i];
        if (c == '.')
            continue;
        if (c == '-')
            break;
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
    }
    // Every digit was a nine: one more digit in front.
    std::size_t first = text[0] == '-' ? 1 : 0;
    text.insert(first, 1, '1');
}

bool IsAllZero(const std::string& text) {
    for (char c : text) {
        if (c >= '1' && c <= '9')
            return false;
    }
    return true;
}

// Splits "-123.45" into its parts; false for anything that is not a plain
// decimal number.
bool ParseDecimalText(const char* text, bool& negative, std::string& integer,
                      std::string& fraction) {
    negative = false;
    integer.clear();
    fraction.clear();
    const char* p = text;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    while (*p >= '0' && *p <= '9')
        integer += *p++;
    if (*p == '.') {
        ++p;
        while (*p >= '0' && *p <= '9')
            fraction += *p++;
    }
    return *p == '\0';
}

std::string GroupDigits(const std::string& digits, unsigned grouping, const char* separator) {
    if (grouping == 0 || digits.size() <= grouping)
        return digits;
    std::string grouped;
    std::size_t head = digits.size() % grouping;
    if (head == 0)
        head = grouping;
    grouped.append(digits, 0, head);
    for (std::size_t i = head; i < digits.size(); i += grouping) {
        grouped += separator;
        grouped.append(digits, i, grouping);
    }
    return grouped;
}

}  // namespace

void Locale_InitNumberFormat() {
    std::call_once(g_formatOnce, [] { Locale_ReadSystemNumberFormat(g_format); });
}

LocaleNumberFormat Locale_CopyNumberFormat() {
    Locale_InitNumberFormat();
    return g_format;
}

bool Locale_PrintDecimal(double value, unsigned decimals, char* out, std::size_t size) {
    if (!out || size == 0 || !std::isfinite(value))
        return false;
    char buffer[kDecimalTextSize];
    auto printed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (printed.ec != std::errc())
        return false;
    std::string text(buffer, printed.ptr);
    if (decimals < 6)
        RoundDecimalText(text, decimals);
    if (text[0] == '-' && IsAllZero(text))
        text.erase(0, 1);
    if (text.size() + 1 > size)
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

int Locale_ApplyNumberFormat(const char* text, const LocaleNumberFormat& format, char* out,
                             int size) {
    if (!text || !out || size <= 0)
        return 0;
    bool negative;
    std::string integer, fraction;
    if (!ParseDecimalText(text, negative, integer, fraction))
        return 0;
    std::string number = integer + "." + fraction;
    RoundDecimalText(number, format.digits);
    std::size_t point = number.find('.');
    integer = number.substr(0, point);
    fraction = point == std::string::npos ? std::string() : number.substr(point + 1);

    std::size_t firstDigit = integer.find_first_not_of('0');
    integer = firstDigit == std::string::npos ? std::string() : integer.substr(firstDigit);
    if (integer.empty() && format.leadingZero)
        integer = "0";
    std::string body = GroupDigits(integer, format.grouping, format.thousandSep);

    // Measure before building: the digit count may be far beyond any buffer.
    if (format.digits >= static_cast<unsigned>(size)) {
        out[0] = '\0';
        return 0;
    }
    std::size_t separatorLength = format.digits > 0 ? std::strlen(format.decimalSep) : 0;
    std::size_t signLength = !negative ? 0 : (format.negativeOrder == 0 || format.negativeOrder == 2 ||
                                              format.negativeOrder == 4) ? 2 : 1;
    std::size_t needed = body.size() + separatorLength + format.digits + signLength + 1;
    if (needed > static_cast<std::size_t>(size)) {
        out[0] = '\0';
        return 0;
    }
    if (format.digits > 0) {
        fraction.resize(format.digits, '0');
        body += format.decimalSep;
        body += fraction;
    }
    if (negative) {
        switch (format.negativeOrder) {
            case 0: body = "(" + body + ")"; break;
            case 2: body = "- " + body; break;
            case 3: body += "-"; break;
            case 4: body += " -"; break;
            default: body = "-" + body; break;
        }
    }
    std::memcpy(out, body.c_str(), body.size() + 1);
    return static_cast<int>(body.size() + 1);
}

int Locale_FormatNumber(unsigned decimals, char* out, int size, double value) {
    if (!out || size <= 0)
        return 0;
    out[0] = '\0';
    // The text needs more room than its decimals; asking the system to pad
    // far beyond the buffer only wastes its stack.
    if (decimals >= static_cast<unsigned>(size))
        return 0;
    LocaleNumberFormat format = Locale_CopyNumberFormat();
    format.digits = decimals;
    char text[kDecimalTextSize];
    if (!Locale_PrintDecimal(value, decimals, text, sizeof text))
        return 0;
    int written = Locale_SystemFormatNumber(text, format, out, size);
    if (written <= 0)
        out[0] = '\0';
    return written;
}

int Locale_FormatInteger(std::int32_t value, char* out, int size) {
    if (!out || size <= 0)
        return 0;
    out[0] = '\0';
    LocaleNumberFormat format = Locale_CopyNumberFormat();
    format.digits = 0;
    char text[16];
    auto printed = std::to_chars(text, text + sizeof text - 1, value);
    *printed.ptr = '\0';
    int written = Locale_SystemFormatNumber(text, format, out, size);
    if (written <= 0)
        out[0] = '\0';
    return written;
}

std::string Locale_PlainNumberText(double value) {
    char buffer[32];
    auto printed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, printed.ptr);
}

namespace {
// The format is read during static start-up, before any thread runs.
const bool g_formatRead = (Locale_InitNumberFormat(), true);
}  // namespace
