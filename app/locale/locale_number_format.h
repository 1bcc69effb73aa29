// Numbers as the program shows them: one fixed format whatever the user's
// regional settings (US English: "1,234.57", "-5"). Safe from any thread.
#pragma once

#include <cstdint>
#include <string>

// The settings of the number format, as the system's NUMBERFMT holds them.
struct LocaleNumberFormat {
    unsigned digits = 2;        // digits after the decimal point
    unsigned leadingZero = 1;   // "0.5" rather than ".5"
    unsigned grouping = 3;      // digits per group left of the point, 0 none
    char decimalSep[10] = ".";  // at most nine characters
    char thousandSep[10] = ",";
    unsigned negativeOrder = 1; // 0 "(1.1)", 1 "-1.1", 2 "- 1.1", 3 "1.1-", 4 "1.1 -"
};

// Reads the program's number format (US English) once; later calls, and the
// formatting calls, use what the first call read.
void Locale_InitNumberFormat();

// A private copy of the program's number format.
LocaleNumberFormat Locale_CopyNumberFormat();

// Writes the value with `decimals` digits after the point into `out` and
// returns the characters written including the terminator, or 0 (with an
// empty text when there is room for one) when the value is not finite, its
// text is too long, or `size` is too small.
int Locale_FormatNumber(unsigned decimals, char* out, int size, double value);
int Locale_FormatInteger(std::int32_t value, char* out, int size);

// --- The steps behind the two calls above ---

// The value with six decimals ("%.6f", decimal point, no grouping), then
// rounded half up to `decimals` digits when that is fewer; a result that
// rounds to zero loses its minus sign. False when the value is not finite or
// the text does not fit `size` bytes.
bool Locale_PrintDecimal(double value, unsigned decimals, char* out, std::size_t size);

// Groups, pads and signs a plain decimal text ("-1234.5", digits and at most
// one point) by `format`, the way the system's number formatting does.
// Returns the characters written including the terminator, 0 on bad input or
// a buffer too small.
int Locale_ApplyNumberFormat(const char* text, const LocaleNumberFormat& format, char* out,
                             int size);

// The platform side: the system's formatter on Windows, Locale_ApplyNumberFormat
// natively.
int Locale_SystemFormatNumber(const char* text, const LocaleNumberFormat& format, char* out,
                              int size);
void Locale_ReadSystemNumberFormat(LocaleNumberFormat& format);

// A short locale-independent form ("1.23457e+300", "inf", "nan") for values
// that the fixed format cannot show.
std::string Locale_PlainNumberText(double value);
