#include "app/ui/brand_placeholders.h"

#include "app/ui/brand_info.h"

bool ExpandBrandPlaceholders(const char* text, std::string& out) {
    out.clear();
    bool any = false;
    for (const char* p = text; *p; ++p) {
        if (*p != '$') {
            out += *p;
            continue;
        }
        any = true;
        if (p[1] == 'C') {
            out += App_GetMakerName();
            ++p;
        } else if (p[1] == 'N') {
            out += App_GetProductName();
            ++p;
        } else {
            out += '$';
            if (p[1]) out += *++p;
        }
    }
    return any;
}
