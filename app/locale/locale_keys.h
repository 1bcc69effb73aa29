// The declared string keys: every key that the program itself fetches. The
// loader uses the set to report, right after a locale is read, which texts
// that locale lacks. Keys a locale defines beyond the set are looked up like
// any other.
#pragma once

#include <cstddef>
#include <set>
#include <string>

// The keys, in byte order (generated list, locale_key_list.cpp).
extern const char* const kLocaleDeclaredKeys[];
extern const std::size_t kLocaleDeclaredKeyCount;

// Fills the declared-key set; only the first call does anything.
void Locale_RegisterStringKeys();

// The declared-key set, ordered byte by byte; registers the keys first when
// that has not happened yet. Never changes after registration.
const std::set<std::string>& Locale_DeclaredKeys();
