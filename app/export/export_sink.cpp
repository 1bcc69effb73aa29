#include "app/export/export_sink.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBufferBytes = 1u << 16;

// A number in the locale's form back into the C form: the locale's decimal
// point (and only the first, there is one) becomes '.'.
void MendDecimalPoint(std::string& number) {
    const std::lconv* conv = std::localeconv();
    const char* point = conv && conv->decimal_point ? conv->decimal_point : ".";
    if (std::strcmp(point, ".") == 0 || point[0] == '\0') return;
    const std::size_t at = number.find(point);
    if (at != std::string::npos) number.replace(at, std::strlen(point), ".");
}

// "1.5e+005" (some Windows run-times) becomes "1.5e+05"; the field width, if
// any, is made good again on the left.
void MendExponent(std::string& number, int width, bool leftAlign) {
    std::size_t e = number.find_first_of("eE");
    if (e == std::string::npos || e + 1 >= number.size()) return;
    std::size_t digits = e + 1;
    if (number[digits] == '+' || number[digits] == '-') ++digits;
    std::size_t end = digits;
    while (end < number.size() && number[end] >= '0' && number[end] <= '9') ++end;
    std::size_t count = end - digits;
    std::size_t drop = 0;
    while (count - drop > 2 && number[digits + drop] == '0') ++drop;
    if (drop == 0) return;
    number.erase(digits, drop);
    // Restore the width with blanks on the side the padding was on.
    std::size_t lead = 0;
    while (lead < number.size() && number[lead] == ' ') ++lead;
    std::size_t trail = number.size();
    while (trail > 0 && number[trail - 1] == ' ') --trail;
    std::string core = number.substr(lead, trail - lead);
    if (static_cast<int>(core.size()) < width) {
        const std::string pad(static_cast<std::size_t>(width) - core.size(), ' ');
        number = leftAlign ? core + pad : pad + core;
    } else {
        number = core;
    }
}

// One conversion of the format with its own snprintf.
template <typename T>
void AppendOne(std::string& out, const std::string& spec, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), spec.c_str(), value);
    big.resize(static_cast<std::size_t>(n));
    out += big;
}

template <typename T>
void AppendOneStar(std::string& out, const std::string& spec, int star, T value) {
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), star, value);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(&big[0], big.size(), spec.c_str(), star, value);
    big.resize(static_cast<std::size_t>(n));
    out += big;
}

}  // namespace

std::string Export_VFormat(const char* format, std::va_list args) {
    std::string out;
    const char* p = format;
    while (*p) {
        const char* percent = std::strchr(p, '%');
        if (!percent) {
            out.append(p);
            break;
        }
        out.append(p, static_cast<std::size_t>(percent - p));
        p = percent + 1;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        // flags, width, precision, length, conversion
        std::string spec = "%";
        bool leftAlign = false;
        while (*p && std::strchr("-+ #0", *p)) {
            if (*p == '-') leftAlign = true;
            spec += *p++;
        }
        bool starWidth = false;
        int width = 0;
        if (*p == '*') {
            starWidth = true;
            spec += *p++;
        } else {
            while (*p >= '0' && *p <= '9') {
                width = width * 10 + (*p - '0');
                spec += *p++;
            }
        }
        if (*p == '.') {
            spec += *p++;
            while (*p >= '0' && *p <= '9') spec += *p++;
        }
        int longs = 0;
        bool size = false;
        while (*p == 'l' || *p == 'h' || *p == 'z') {
            if (*p == 'l') ++longs;
            if (*p == 'z') size = true;
            spec += *p++;
        }
        const char conversion = *p;
        if (!conversion) break;
        spec += *p++;
        int star = starWidth ? va_arg(args, int) : 0;
        if (starWidth) width = star;
        std::string piece;
        switch (conversion) {
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X':
            case 'c':
                if (size) {
                    std::size_t v = va_arg(args, std::size_t);
                    starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                } else if (longs >= 2) {
                    long long v = va_arg(args, long long);
                    starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                } else if (longs == 1) {
                    long v = va_arg(args, long);
                    starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                } else {
                    int v = va_arg(args, int);
                    starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                }
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G': {
                double v = va_arg(args, double);
                starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                MendDecimalPoint(piece);
                if (conversion != 'f' && conversion != 'F') MendExponent(piece, width, leftAlign);
                break;
            }
            case 's': {
                const char* v = va_arg(args, const char*);
                if (!v) v = "";
                starWidth ? AppendOneStar(piece, spec, star, v) : AppendOne(piece, spec, v);
                break;
            }
            default:
                piece = spec;  // not a conversion this code uses: kept as text
                break;
        }
        out += piece;
    }
    return out;
}

std::string Export_Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::string text = Export_VFormat(format, args);
    va_end(args);
    return text;
}

ExportSink::ExportSink() : buffer_(kBufferBytes) {}

ExportSink::~ExportSink() { Discard(); }

bool ExportSink::Open(const std::string& path) {
    Discard();
    used_ = 0;
    failed_ = false;
    openError_ = 0;
    open_ = writer_.Open(path);
    if (!open_) {
        openError_ = writer_.ErrorNumber() ? writer_.ErrorNumber() : EIO;
        failed_ = true;
    }
    return open_;
}

bool ExportSink::Flush() {
    if (used_ == 0) return !Failed();
    const bool ok = writer_.Write(buffer_.data(), used_);
    used_ = 0;
    if (!ok) failed_ = true;
    return ok;
}

bool ExportSink::Write(const void* data, std::size_t count) {
    if (!open_ || Failed()) return false;
    const char* bytes = static_cast<const char*>(data);
    if (count >= buffer_.size()) {
        if (!Flush()) return false;
        if (!writer_.Write(bytes, count)) {
            failed_ = true;
            return false;
        }
        return true;
    }
    if (used_ + count > buffer_.size() && !Flush()) return false;
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
    return true;
}

bool ExportSink::VPrintf(const char* format, std::va_list args) {
    if (!open_ || Failed()) return false;
    const std::string text = Export_VFormat(format, args);
    return Write(text.data(), text.size());
}

bool ExportSink::Printf(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    const bool ok = VPrintf(format, args);
    va_end(args);
    return ok;
}

bool ExportSink::Commit() {
    if (!open_) return false;
    bool ok = Flush();
    open_ = false;
    if (!ok) {
        writer_.Discard();
        return false;
    }
    if (!writer_.Commit()) {
        failed_ = true;
        return false;
    }
    return true;
}

void ExportSink::Discard() {
    writer_.Discard();
    open_ = false;
    used_ = 0;
}

int ExportSink::ErrorNumber() const {
    if (openError_) return openError_;
    if (writer_.ErrorNumber()) return writer_.ErrorNumber();
    return failed_ ? EIO : 0;
}

std::string ExportSink::ErrorText() const {
    const int error = ErrorNumber();
    return error ? std::string(std::strerror(error)) : std::string();
}
