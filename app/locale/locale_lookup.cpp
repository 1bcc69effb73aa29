#include "app/locale/locale_lookup.h"

#include "app/locale/locale_string_table.h"

#include <cstdlib>
#include <cstring>
#include <new>

const char* Locale_GetString(const char* key) {
    return Locale_Strings().GetString(key);
}

char* Locale_ExpandString(const char* key, LocaleVariable* const* list) {
    std::string text;
    try {
        text = Locale_Strings().Expand(key, list);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

std::string& Locale_FormatStringList(std::string& out, const char* key, LocaleVariable* const* list) {
    char* text = Locale_ExpandString(key, list);
    if (!text)
        throw std::bad_alloc();
    try {
        out = text;
    } catch (...) {
        std::free(text);
        throw;
    }
    std::free(text);
    return out;
}

std::string& Locale_FormatStringWithText(std::string& out, const char* name, const char* text,
                                         const char* key) {
    return Locale_FormatString(out, key, Locale_NewStringVariable(name, text));
}

std::string& Locale_FormatStringWithInt(std::string& out, const char* name, std::int32_t value,
                                        const char* key) {
    return Locale_FormatString(out, key, Locale_NewIntVariable(name, value));
}

std::string& Locale_FormatStringWithNumber(std::string& out, const char* name, unsigned decimals,
                                           const char* key, double value) {
    return Locale_FormatString(out, key, Locale_NewNumberVariable(name, value, decimals));
}
