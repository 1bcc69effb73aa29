#include "app/locale/locale_number_format.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

// US English: the program's one number format, whatever the user's settings.
constexpr LCID kNumberLocale = 1033;

unsigned ReadNumber(LCTYPE type, unsigned fallback) {
    char text[50];
    if (GetLocaleInfoA(kNumberLocale, type, text, sizeof text) <= 0)
        return fallback;
    return static_cast<unsigned>(std::atoi(text));  // "3;0" gives 3
}

void ReadText(LCTYPE type, char (&text)[10]) {
    char buffer[10];
    if (GetLocaleInfoA(kNumberLocale, type, buffer, sizeof buffer) > 0)
        std::memcpy(text, buffer, sizeof text);
}

}  // namespace

void Locale_ReadSystemNumberFormat(LocaleNumberFormat& format) {
    format = LocaleNumberFormat();
    format.digits = ReadNumber(LOCALE_IDIGITS, format.digits);
    format.leadingZero = ReadNumber(LOCALE_ILZERO, format.leadingZero);
    format.negativeOrder = ReadNumber(LOCALE_INEGNUMBER, format.negativeOrder);
    format.grouping = ReadNumber(LOCALE_SGROUPING, format.grouping);
    ReadText(LOCALE_SDECIMAL, format.decimalSep);
    ReadText(LOCALE_STHOUSAND, format.thousandSep);
}

int Locale_SystemFormatNumber(const char* text, const LocaleNumberFormat& format, char* out,
                              int size) {
    if (!text || !out || size <= 0)
        return 0;
    LocaleNumberFormat copy = format;  // NUMBERFMTA wants writable separators
    NUMBERFMTA system = {};
    system.NumDigits = copy.digits;
    system.LeadingZero = copy.leadingZero;
    system.Grouping = copy.grouping;
    system.lpDecimalSep = copy.decimalSep;
    system.lpThousandSep = copy.thousandSep;
    system.NegativeOrder = copy.negativeOrder;
    return GetNumberFormatA(kNumberLocale, 0, text, &system, out, size);
}
