// Natively there is no system formatter to ask: the program's fixed format is
// built in, and the portable formatter gives the text the system would.
#include "app/locale/locale_number_format.h"

void Locale_ReadSystemNumberFormat(LocaleNumberFormat& format) {
    format = LocaleNumberFormat();
}

int Locale_SystemFormatNumber(const char* text, const LocaleNumberFormat& format, char* out,
                              int size) {
    return Locale_ApplyNumberFormat(text, format, out, size);
}
