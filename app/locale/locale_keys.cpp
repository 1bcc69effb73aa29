#include "app/locale/locale_keys.h"

#include <mutex>

namespace {

std::once_flag g_registerOnce;
std::set<std::string>* g_declaredKeys = nullptr;

}  // namespace

void Locale_RegisterStringKeys() {
    std::call_once(g_registerOnce, [] {
        // Never freed: the set lives until the process ends.
        auto* keys = new std::set<std::string>();
        for (std::size_t i = 0; i < kLocaleDeclaredKeyCount; ++i)
            keys->insert(kLocaleDeclaredKeys[i]);
        g_declaredKeys = keys;
    });
}

const std::set<std::string>& Locale_DeclaredKeys() {
    Locale_RegisterStringKeys();
    return *g_declaredKeys;
}
