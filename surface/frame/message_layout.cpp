#include "surface/frame/message_layout.h"

#include <cstring>

namespace {

// Length of the conversion that starts with the '%' at format[0] within the
// first `available` characters, or 0 when it does not end there.
std::size_t ConversionLength(const char* format, std::size_t available) {
    std::size_t i = 1;
    while (i < available && format[i] != '\0') {
        const char c = format[i];
        const bool modifier = std::strchr("-+ #0123456789.*hlLqjzt'", c) != nullptr;
        if (!modifier) return i + 1;
        ++i;
    }
    return 0;
}

}  // namespace

void Layout_AppendLiteral(char* out, std::size_t size, std::size_t* length, const char* text) {
    std::size_t n = *length;
    for (const char* p = text; *p != '\0'; ++p) {
        const std::size_t need = *p == '%' ? 2 : 1;
        if (n + need >= size) break;
        out[n++] = *p;
        if (*p == '%') out[n++] = '%';
    }
    out[n] = '\0';
    *length = n;
}

void Layout_AppendFormat(char* out, std::size_t size, std::size_t* length, const char* format, std::size_t limit) {
    std::size_t n = *length;
    std::size_t used = 0;
    while (format[used] != '\0' && used < limit) {
        std::size_t piece = 1;
        if (format[used] == '%') {
            piece = ConversionLength(format + used, limit - used);
            if (piece == 0) break;
        }
        if (n + piece >= size) break;
        std::memcpy(out + n, format + used, piece);
        n += piece;
        used += piece;
    }
    out[n] = '\0';
    *length = n;
}

void Layout_LabelColumns(char* out, const char* label, std::size_t valueColumn) {
    std::size_t n = 0;
    for (const char* p = label; *p != '\0' && n < valueColumn; ++p) out[n++] = *p;
    if (n < valueColumn) out[n++] = ':';
    while (n < valueColumn) out[n++] = ' ';
    out[n] = '\0';
}

void Layout_LabelledFormat(char* out, std::size_t size, const char* label, std::size_t valueColumn,
                           const char* format) {
    char columns[64];
    if (valueColumn >= sizeof(columns)) valueColumn = sizeof(columns) - 1;
    Layout_LabelColumns(columns, label ? label : "", valueColumn);
    std::size_t length = 0;
    out[0] = '\0';
    Layout_AppendLiteral(out, size, &length, columns);
    Layout_AppendFormat(out, size, &length, format ? format : "", kLayoutFormatLimit);
}
