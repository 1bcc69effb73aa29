// Small utilities the dialogs and windows share that know no window: number
// parsing and clamping for edit fields, a sort with a caller's comparison,
// file-name replacement, the child-window layout arithmetic, the byte-size
// text and the temporary lifting of the capture clipping settings.
#pragma once

#include "app/scan/settings_records.h"

#include <cstdint>
#include <string>

// Sorts `count` 4-byte elements in place in ascending order of
// compare(a, b, context) (positive: a after b). A partition pass runs for 4
// or more elements; the smallest element is then moved to the front and an
// insertion pass finishes the order.
using SortCompare = int (*)(const void* a, const void* b, void* context);
void Sort_WithCallback(int32_t count, void* base, SortCompare compare, void* context);

// One number of an edit field: a leading and trailing blank allowed, nothing
// else beside it, and finite as a float ("nan", "inf" and values past the
// float range are no numbers, as a typed letter is none). A value too small
// for a float is 0.
bool Number_Parse(const char* text, float& out);

// Reads up to four numbers separated by blanks, each as Number_Parse takes
// it; true only when exactly n (1 to 4) were there. Other text after them
// is not looked at.
bool Str_ParseFloats(const char* text, int n, float* out);

// The limits an edit field applies to its value.
struct ValueLimits {
    float minimum = 0;
    float maximum = 0;
    bool hasMinimum = false;
    bool hasMaximum = false;
    bool negativesAllowed = true;
    bool zeroAllowed = true;
};

// An active minimum, then an active maximum; a negative value becomes 0 when
// negatives are not allowed; a value of 0 gives `fallback` when zero is not
// allowed.
float Value_Clamp(const ValueLimits& limits, float x, float fallback);

// What an edit field shows after the user typed `text` into a field that
// held `old`: leading and trailing blanks are skipped; a text that is not
// wholly one number keeps the old value (a typo never sets a distance to 0);
// the value is clamped with `old` as the fallback and written back with
// `format`. Returns the value.
float Number_Reformat(const char* text, float old, const ValueLimits& limits, const char* format, std::string& out);

// The target's drive and folder with the file name and extension of `source`.
std::string Path_ReplaceFileName(const std::string& target, const std::string& source);

// Layout flags of a child window: how its edges follow a change of the
// parent's client size.
constexpr uint32_t kLayoutStretchX = 1;  // with kLayoutFollowX: the left edge stays
constexpr uint32_t kLayoutFollowX = 2;   // the right edge moves by dx (and the left one unless stretched)
constexpr uint32_t kLayoutStretchY = 4;
constexpr uint32_t kLayoutFollowY = 8;

struct LayoutRect {
    int32_t left, top, right, bottom;
};
LayoutRect Layout_MoveRect(const LayoutRect& registered, uint32_t flags, int32_t dx, int32_t dy);

// "%d" of the value cut to four characters with a unit letter: 12345 gives
// "12k3", 999 gives "999 ". False (and `out` empty) for more than 12 digits.
bool Text_FormatByteSize(int64_t value, std::string& out);

// restore false: keeps a copy of every word of the settings and lifts the
// capture clipping (range 50000, angle 60, resolution 0 to 100). restore
// true: puts the copy back; without a copy held nothing changes.
void GeneralSettings_SaveOrRestore(GeneralSettings& settings, bool restore);
