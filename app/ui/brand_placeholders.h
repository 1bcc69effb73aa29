// "$N" and "$C" in menu and dialog texts stand for the product and the maker
// names of the active branding record.
#pragma once

#include <string>

// Copies the text into `out` with "$C" replaced by the maker's name and "$N"
// by the product's; any other "$x" and a final "$" are copied as they stand.
// Returns whether the text held a "$" at all (callers write back only then).
bool ExpandBrandPlaceholders(const char* text, std::string& out);
