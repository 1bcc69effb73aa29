// The string table of a locale: key to stored text (the raw text after the
// '=' of its definition, escapes and variable marks still in it), and the
// cache of finished texts that plain lookups hand out. Safe to use from
// several threads: lookups come from worker threads too.
#pragma once

#include "app/locale/locale_variables.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>

class LocaleStringTable {
public:
    // --- Filled by the parser ---
    bool Contains(const std::string& key) const;
    void Set(const std::string& key, const std::string& text);
    // Appends to an existing text; false when the key is not there.
    bool Append(const std::string& key, const std::string& text);

    // --- Read ---
    // Copies the stored text; false when the key is not there.
    bool Find(const std::string& key, std::string& text) const;
    std::size_t Size() const;

    // The finished text of the key expanded without variables; a key the
    // table lacks gives "**" and the key. The first result of a key is kept
    // for good, so the same pointer comes back on every later call and stays
    // valid while the table lives.
    const char* GetString(const char* key);

    // The key's text with the variables of the null-terminated list. Every
    // owned variable of the list is destroyed, also when the key is missing.
    std::string Expand(const char* key, LocaleVariable* const* list) const;

private:
    mutable std::shared_mutex stringsMutex_;
    // Transparent comparison: look-ups by a plain key make no string.
    std::map<std::string, std::string, std::less<>> strings_;
    mutable std::shared_mutex cacheMutex_;
    std::map<std::string, std::string, std::less<>> cache_;
};

// The program's one string table, filled by Locale_Load at start-up. It is
// never destroyed, so cached texts stay valid until the process ends.
LocaleStringTable& Locale_Strings();
