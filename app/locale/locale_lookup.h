// Every text the program shows is fetched here by its string key, from the
// locale loaded at start-up. Safe to call from any thread.
#pragma once

#include "app/locale/locale_number_format.h"
#include "app/locale/locale_variables.h"

#include <cstdint>
#include <string>
#include <type_traits>

// The key's text with no variables. Never fails: a key the locale lacks gives
// "**" followed by the key. The pointer stays valid until the program ends,
// and the same key gives the same pointer every time.
const char* Locale_GetString(const char* key);

// The key's text with the variables of the null-terminated list, as a new
// text that the caller releases with free(); nullptr only when that copy
// cannot be allocated. Every owned variable of the list is destroyed.
char* Locale_ExpandString(const char* key, LocaleVariable* const* list);

namespace locale_detail {

// Fills `list` with the non-null variables in their order and ends it with
// nullptr; `list` has room for every variable and the end mark.
template <typename... Variables>
void GatherVariables(LocaleVariable* (&list)[sizeof...(Variables) + 1], Variables... variables) {
    static_assert((std::is_convertible_v<Variables, LocaleVariable*> && ...),
                  "locale variables are LocaleVariable pointers");
    LocaleVariable* given[] = {static_cast<LocaleVariable*>(variables)..., nullptr};
    std::size_t count = 0;
    for (LocaleVariable* variable : given) {
        if (variable)
            list[count++] = variable;
    }
    list[count] = nullptr;
}

}  // namespace locale_detail

// The same with the variables given as arguments, as made by the
// Locale_New...Variable makers:
//     Locale_GetStringWithVariables("ErrorFileRead",
//         Locale_NewStringVariable("file_name", path), nullptr);
// Null arguments (the customary end mark, or a maker that ran out of memory)
// are passed over.
template <typename... Variables>
char* Locale_GetStringWithVariables(const char* key, Variables... variables) {
    LocaleVariable* list[sizeof...(Variables) + 1];
    locale_detail::GatherVariables(list, variables...);
    return Locale_ExpandString(key, list);
}

// Sets `out` to the key's text with the variables of the list and returns it;
// throws std::bad_alloc when the text cannot be made.
std::string& Locale_FormatStringList(std::string& out, const char* key, LocaleVariable* const* list);

template <typename... Variables>
std::string& Locale_FormatString(std::string& out, const char* key, Variables... variables) {
    LocaleVariable* list[sizeof...(Variables) + 1];
    locale_detail::GatherVariables(list, variables...);
    return Locale_FormatStringList(out, key, list);
}

// One-variable shorthands.
std::string& Locale_FormatStringWithText(std::string& out, const char* name, const char* text,
                                         const char* key);
std::string& Locale_FormatStringWithInt(std::string& out, const char* name, std::int32_t value,
                                        const char* key);
std::string& Locale_FormatStringWithNumber(std::string& out, const char* name, unsigned decimals,
                                           const char* key, double value);
