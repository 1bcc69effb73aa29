#include "app/ui/ui_utilities.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace {

using Word = uint32_t;

int Compare(SortCompare compare, const Word* a, const Word* b, void* context) { return compare(a, b, context); }

// Partitions [lo, hi] around the median of three until the pieces are
// smaller than 4; the insertion pass finishes them. Equal keys stop both
// scans, so a run of equal elements splits in the middle.
void PartitionPass(Word* v, int32_t lo, int32_t hi, SortCompare compare, void* context) {
    while (hi - lo + 1 >= 4) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (Compare(compare, &v[mid], &v[lo], context) < 0) std::swap(v[mid], v[lo]);
        if (Compare(compare, &v[hi], &v[lo], context) < 0) std::swap(v[hi], v[lo]);
        if (Compare(compare, &v[hi], &v[mid], context) < 0) std::swap(v[hi], v[mid]);
        const Word pivot = v[mid];
        int32_t i = lo - 1, j = hi + 1;
        for (;;) {
            do ++i;
            while (Compare(compare, &v[i], &pivot, context) < 0);
            do --j;
            while (Compare(compare, &v[j], &pivot, context) > 0);
            if (i >= j) break;
            std::swap(v[i], v[j]);
        }
        // Recurse into the smaller side, loop on the larger.
        if (j - lo < hi - j) {
            PartitionPass(v, lo, j, compare, context);
            lo = j + 1;
        } else {
            PartitionPass(v, j + 1, hi, compare, context);
            hi = j;
        }
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

void Sort_WithCallback(int32_t count, void* base, SortCompare compare, void* context) {
    if (count < 2) return;
    Word* v = static_cast<Word*>(base);
    if (count >= 4) PartitionPass(v, 0, count - 1, compare, context);
    int32_t smallest = 0;
    for (int32_t i = 1; i < count; ++i)
        if (Compare(compare, &v[i], &v[smallest], context) < 0) smallest = i;
    std::swap(v[0], v[smallest]);
    // v[0] is the sentinel: no element moves past it.
    for (int32_t i = 2; i < count; ++i) {
        const Word x = v[i];
        int32_t j = i;
        while (Compare(compare, &x, &v[j - 1], context) < 0) {
            v[j] = v[j - 1];
            --j;
        }
        v[j] = x;
    }
}

namespace {

// The number at `p` (after blanks) as a finite float, and where it ends;
// false when there is none.
bool TakeNumber(const char* p, float& out, const char*& end) {
    while (IsBlank(*p)) ++p;
    char* after = nullptr;
    const double parsed = std::strtod(p, &after);
    if (after == p || !std::isfinite(parsed) || std::fabs(parsed) > std::numeric_limits<float>::max()) return false;
    out = static_cast<float>(parsed);
    end = after;
    return true;
}

}  // namespace

bool Number_Parse(const char* text, float& out) {
    const char* end = nullptr;
    float value = 0;
    if (!text || !TakeNumber(text, value, end)) return false;
    while (IsBlank(*end)) ++end;
    if (*end != '\0') return false;
    out = value;
    return true;
}

bool Str_ParseFloats(const char* text, int n, float* out) {
    if (!text || n < 1 || n > 4) return false;
    float values[4];
    const char* p = text;
    for (int i = 0; i < n; ++i)
        if (!TakeNumber(p, values[i], p)) return false;
    float further = 0;
    if (n < 4 && TakeNumber(p, further, p)) return false;
    for (int i = 0; i < n; ++i) out[i] = values[i];
    return true;
}

float Value_Clamp(const ValueLimits& limits, float x, float fallback) {
    if (limits.hasMinimum && x < limits.minimum) x = limits.minimum;
    if (limits.hasMaximum && x > limits.maximum) x = limits.maximum;
    if (x < 0 && !limits.negativesAllowed) x = 0;
    if (x == 0 && !limits.zeroAllowed) return fallback;
    return x;
}

float Number_Reformat(const char* text, float old, const ValueLimits& limits, const char* format, std::string& out) {
    float typed = old;
    const float value = Value_Clamp(limits, Number_Parse(text, typed) ? typed : old, old);
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, value);
    out = buffer;
    return value;
}

std::string Path_ReplaceFileName(const std::string& target, const std::string& source) {
    const size_t folderEnd = target.find_last_of("\\/:");
    const std::string folder = folderEnd == std::string::npos ? std::string() : target.substr(0, folderEnd + 1);
    const size_t nameStart = source.find_last_of("\\/:");
    return folder + (nameStart == std::string::npos ? source : source.substr(nameStart + 1));
}

LayoutRect Layout_MoveRect(const LayoutRect& registered, uint32_t flags, int32_t dx, int32_t dy) {
    LayoutRect r = registered;
    if (flags & kLayoutFollowX) {
        r.right += dx;
        if (!(flags & kLayoutStretchX)) r.left += dx;
    }
    if (flags & kLayoutFollowY) {
        r.bottom += dy;
        if (!(flags & kLayoutStretchY)) r.top += dy;
    }
    return r;
}

bool Text_FormatByteSize(int64_t value, std::string& out) {
    out.clear();
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    if (n < 1 || n > 12) return false;
    const int lead = n % 3 == 0 ? 3 : n % 3;
    out.assign(digits, lead);
    out += " kMG"[(n - 1) / 3];
    for (int i = lead; i < n && out.size() < 4; ++i) out += digits[i];
    return true;
}

namespace {

// The user's settings while the clipping is lifted.
std::unique_ptr<GeneralSettings>& SavedSettings() {
    static std::unique_ptr<GeneralSettings> saved;
    return saved;
}

}  // namespace

void GeneralSettings_SaveOrRestore(GeneralSettings& settings, bool restore) {
    std::unique_ptr<GeneralSettings>& saved = SavedSettings();
    if (restore) {
        if (saved) std::memcpy(&settings, saved.get(), sizeof settings);
        return;
    }
    if (!saved) saved = std::make_unique<GeneralSettings>();
    std::memcpy(saved.get(), &settings, sizeof settings);
    settings.RangeClip = 50000.0f;
    settings.AngleClip = 60.0f;
    settings.RawResolutionClip[0] = 0.0f;
    settings.RawResolutionClip[1] = 100.0f;
}
