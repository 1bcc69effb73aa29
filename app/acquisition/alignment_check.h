// The alignment check's reading of one pass: the user scans a flat object
// while moving the wand nearer and farther, and the two cameras' disagreement
// (each profile's camera deviation) over the distance from the wand gives the
// wand's alignment factor. Portable: the dialogs that run the passes are the
// user interface's.
#pragma once

#include <cstdint>
#include <string>

#include "app/scan/raw_data.h"
#include "app/scan/settings_records.h"

// The distances that split a pass's profiles, in the scan's units.
constexpr float kAlignmentNearLimit = 100.0f;
// The wand this far from the reference (squared) or farther is too far.
constexpr float kAlignmentWandTooFarSquared = 562500.0f;

enum class AlignmentVerdict : std::int32_t {
    WandTooFar,
    NoProfiles,
    InsufficientData,
    KeepGoing,
    Result,
};

struct AlignmentPass {
    float largestWandSquared = 0.0f;  // of the wand from the reference origin
    float sum = 0.0f;                 // camera deviation over distance
    float count = 0.0f;               // profiles in the sum
    bool nearFlag = false;            // some profile nearer than 100
    bool farFlag = false;             // some profile beyond the far limit
    std::int32_t profiles = 0;        // profiles with points
};

struct AlignmentOutcome {
    AlignmentVerdict verdict;
    float factor;  // sum × 1000 / count, for the result only
};

// 250 for hardware "1.1.1" (version text starting with "1"), else 200.
float AlignmentCheck_FarLimit(const std::string& hardwareVersionText);

// The pass's values over the scan's profiles.
AlignmentPass AlignmentCheck_Measure(const RawData& raw, float farLimit);

// The verdict of a pass. Near and far profiles with none in between give too
// little data, as no near profile does: the factor would divide by zero.
AlignmentOutcome AlignmentCheck_Verdict(const AlignmentPass& pass);

// The message key of a verdict.
const char* AlignmentCheck_MessageKey(AlignmentVerdict verdict);

// The scan values the check runs with: range clip 50000, angle clip 60, best
// and worst resolution 0 and 100. The caller keeps the whole record to put
// back.
void AlignmentCheck_ApplyScanValues(GeneralSettings& settings);
