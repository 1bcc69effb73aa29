// The built-in formatter (used natively) against the system's, for the
// texts the program hands to it and for other number formats.
#include "app/locale/locale_number_format.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string System(const char* text, const LocaleNumberFormat& format, int size, int& written) {
    char out[128] = "";
    written = Locale_SystemFormatNumber(text, format, out, size);
    return written > 0 ? out : "";
}

std::string Portable(const char* text, const LocaleNumberFormat& format, int size, int& written) {
    char out[128] = "";
    written = Locale_ApplyNumberFormat(text, format, out, size);
    return written > 0 ? out : "";
}

TEST(NumberFormatAgainstSystem, SameTextForTheProgramsInputs) {
    const char* texts[] = {"0", "5", "-5", "12", "123", "1234", "-1234", "12345.6", "1234567.891",
                           "-1234567.000001", "0.5", "-0.25", "1000.00", "999999", "2147483647",
                           "-2147483648", "123456789012345678901234567890.123456"};
    const unsigned digits[] = {0, 1, 2, 4, 6, 8};
    LocaleNumberFormat variants[4];
    variants[1].leadingZero = 0;
    variants[1].grouping = 0;
    variants[2].grouping = 4;
    std::strcpy(variants[2].thousandSep, "'");
    std::strcpy(variants[2].decimalSep, "<>");
    for (unsigned order = 0; order < 5; ++order) {
        variants[3].negativeOrder = order;
        for (const LocaleNumberFormat& base : variants) {
            for (unsigned d : digits) {
                LocaleNumberFormat format = base;
                format.digits = d;
                for (const char* text : texts) {
                    for (int size : {70, 8}) {
                        int systemWritten = 0, portableWritten = 0;
                        std::string expected = System(text, format, size, systemWritten);
                        std::string actual = Portable(text, format, size, portableWritten);
                        EXPECT_EQ(actual, expected) << text << " digits " << d << " order " << order;
                        EXPECT_EQ(portableWritten, systemWritten) << text << " size " << size;
                    }
                }
            }
        }
    }
}

TEST(NumberFormatAgainstSystem, RefusesWhatIsNotAPlainNumber) {
    LocaleNumberFormat format;
    for (const char* text : {"1e5", "inf", "nan", "1,234", " 12", "12 ", "+12", "1.2.3"}) {
        int systemWritten = 0, portableWritten = 0;
        System(text, format, 70, systemWritten);
        Portable(text, format, 70, portableWritten);
        EXPECT_EQ(systemWritten, 0) << text;
        EXPECT_EQ(portableWritten, 0) << text;
    }
}

}  // namespace
