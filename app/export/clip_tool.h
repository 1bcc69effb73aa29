// Clipping: removes from the scan, as one edit step (so that Undo and Redo
// take it back and forward), the points that lie closer than a tolerance to a
// reference set: a baseline sweep (the surface the object rested on), or the
// other part of a scan whose sweeps are split into two parts (the sweeps
// flagged kSweepFlipped form the second part).
//
// Clip_Run runs on a worker thread while the user-interface thread serves
// only its local loop with the main window disabled; it talks back through
// the hooks (which post messages) and reads the abort flag that the dialog
// sets.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

struct RawData;

enum ClipMethod : int32_t {
    kClipPointSeparation = 0,     // part A against part B
    kClipBaselineSeparation = 1,  // every part against the baseline sweep
};

struct ClipHooks {
    std::function<void(int32_t percent)> progress;     // 0 to 100, rising
    std::function<void(const char* text)> message;     // one of the refusals, fixed English
    std::function<void(const char* text)> waitStatus;  // null clears it
    std::function<void()> markEdited;                  // the document changed
};

enum class ClipOutcome {
    kClipped,      // the new edit level is in force (possibly with no point)
    kRefused,      // one of the four messages was shown; no point clipped
    kOutOfMemory,  // no point clipped; the caller reports it
    kAborted,      // stopped by the abort flag; the new level is not in force
};

// The refusals, shown through hooks.message.
extern const char* const kClipNoBaselineText;
extern const char* const kClipNoPartText;
extern const char* const kClipBaselineTreeText;
extern const char* const kClipPartTreesText;

// The edit level a clip gives its points: the current one plus one, held to
// the largest a point's flags word can carry.
constexpr uint32_t kClipMaxEditLevel = 65535;

// baselineIndex is the 0-based baseline sweep, or -1 for none; cosAngle the
// cosine of the normal angle (only tested with a baseline sweep).
ClipOutcome Clip_Run(RawData& raw, const ClipHooks& hooks, int32_t method, int32_t baselineIndex, float tolerance,
                     float cosAngle, const std::atomic<int32_t>& abortFlag);

// The angle in degrees as Clip_Run wants it: its single-precision cosine.
float Clip_CosineOfDegrees(float degrees);
