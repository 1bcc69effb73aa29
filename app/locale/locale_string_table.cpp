#include "app/locale/locale_string_table.h"

bool LocaleStringTable::Contains(const std::string& key) const {
    std::shared_lock<std::shared_mutex> lock(stringsMutex_);
    return strings_.count(key) != 0;
}

void LocaleStringTable::Set(const std::string& key, const std::string& text) {
    std::unique_lock<std::shared_mutex> lock(stringsMutex_);
    strings_[key] = text;
}

bool LocaleStringTable::Append(const std::string& key, const std::string& text) {
    std::unique_lock<std::shared_mutex> lock(stringsMutex_);
    auto found = strings_.find(key);
    if (found == strings_.end())
        return false;
    found->second += text;
    return true;
}

bool LocaleStringTable::Find(const std::string& key, std::string& text) const {
    std::shared_lock<std::shared_mutex> lock(stringsMutex_);
    auto found = strings_.find(key);
    if (found == strings_.end())
        return false;
    text = found->second;
    return true;
}

std::size_t LocaleStringTable::Size() const {
    std::shared_lock<std::shared_mutex> lock(stringsMutex_);
    return strings_.size();
}

const char* LocaleStringTable::GetString(const char* key) {
    const std::string_view name = key ? key : "";
    {
        std::shared_lock<std::shared_mutex> lock(cacheMutex_);
        auto found = cache_.find(name);
        if (found != cache_.end())
            return found->second.c_str();
    }
    // Expand outside the lock; when another thread got there first its text
    // is kept, so every caller sees the same pointer.
    std::string text = Expand(key, nullptr);
    std::unique_lock<std::shared_mutex> lock(cacheMutex_);
    return cache_.emplace(std::string(name), std::move(text)).first->second.c_str();
}

namespace {

// Destroys the call's owned variables however the expansion ends.
struct VariableRelease {
    LocaleVariable* const* list;
    ~VariableRelease() { Locale_ReleaseVariables(list); }
};

}  // namespace

std::string LocaleStringTable::Expand(const char* key, LocaleVariable* const* list) const {
    VariableRelease release{list};
    const std::string name = key ? key : "";
    std::string stored;
    if (!Find(name, stored))
        return "**" + name;
    return Locale_SubstituteVariables(Locale_SplitText(stored), Locale_BuildVariableMap(list));
}

LocaleStringTable& Locale_Strings() {
    static LocaleStringTable* table = new LocaleStringTable();
    return *table;
}
