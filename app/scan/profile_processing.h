// Incremental profile processing: every profile appended to the scan since
// the last call is smoothed along its line, dropped when the wand had not
// moved enough, and turned into points and a facet strip of its sweep. The
// work of a call is proportional to the new profiles only; earlier results are
// never touched. Also the two per-field operations that scan control runs
// before it appends a profile (range clipping and the moved-enough test), and
// the merge of a new profile's two camera channels.
//
// User-interface thread only.
#pragma once

#include "app/scan/raw_data.h"

#include <cstdint>

// The variance factor: variance = K x range² (+ further terms).
constexpr double kScanVarianceFactor = 4.000000444648322e-6;
// Spacing factor: how many squared resolutions two neighbours may lie apart.
constexpr float kScanSpacingFactor = 10.24f;

// Result codes of Scan_ProcessNewProfiles.
constexpr int32_t kScanProcessOk = 0;
constexpr int32_t kScanProcessOutOfMemory = 3;

// Processes every profile not processed yet: 0, or 3 when the point or facet
// blocks could not grow. After a failure the profiles that got no points stay
// unprocessed (the next call takes them up) and the user is told once.
// filterLength: the smoothing length (0, 3, 5 or 7); worstResolution: the
// worst-resolution setting, against which the squared gap between neighbouring
// points of a profile is compared (a larger gap starts a new run).
int32_t Scan_ProcessNewProfiles(RawData& raw, int32_t filterLength, float worstResolution);

// Moves every point of the staging profile that lies farther than maxRange
// from the wand into the clipped-point list (all of them when the wand or the
// reference receiver lies farther than maxRange from the origin).
void Scan_ClipProfileByRange(RawData& raw, float maxRange);

// 1 when profile a lies far enough from profile b's pose to be worth keeping:
// the move of a's densest point towards b's pose must exceed half the larger
// of a's local point spacing, minResolution and the point's variance. When
// tooFar is given it is set to 1 when the move exceeds maxResolution.
int32_t Scan_ProfileMovedEnough(const Profile& a, const Profile& b, float minResolution,
                                float maxResolution, int32_t* tooFar);

// The motion of profile a towards profile b: a scan-coordinate point moved
// rigidly with the wand from a's pose to b's.
void Scan_RelativeMotion(const Profile& a, const Profile& b, Matrix4& out);

// Merges the two interleaved channel sequences of a new profile (staging entry
// 2k + c is point k of channel c; counts[c] points of channel c) into one
// ordered list and writes the root-mean-square distance of the switching
// points from their chords as the deviation (0 without a counted switch). The
// value arrays may both be null.
void Scan_ProfileCameraDeviation(const Vec3* stagingPoints, const int32_t* stagingValues,
                                 const int32_t counts[2], Vec3* outPoints, int32_t* outValues,
                                 int32_t* outCount, float* outDeviation);

// Triangle smoothing of one run of n points (n <= kMaxProfilePoints): with
// h = filterLength / 2 (at least 1) each output is the weighted mean of an
// input and its h neighbours on each side, so output k belongs to input k + h
// and the run loses h points at each end (all of them when n < 2h + 1).
// filterLength <= 0 copies the run.
void Scan_TriangleFilter(int32_t n, const Vec3* points, const int32_t* values, int32_t filterLength,
                         Vec3* outPoints, float* outValues, int32_t* outCount);

// Smoothing of profile x along its line, using the neighbouring profile n to
// tell how far apart its points may lie. Sets x's filtered mark; returns
// whether x still has points. A profile already filtered is left alone.
bool Scan_SmoothProfile(Profile& x, const Profile& n, int32_t filterLength, float worstResolution);

// The two passes of Scan_ProcessNewProfiles: smoothing, removal and
// compaction of the new profiles; then their points and facets.
void Scan_FilterNewProfiles(RawData& raw, int32_t filterLength, float worstResolution);

// Where the geometry pass stopped: the end of the scan, or the profile whose
// room could not be made.
struct ScanGeometryStop {
    int32_t sweep;    // the sweep holding the stop profile (TotalSweeps: the open sweep)
    int32_t profile;  // the first profile without geometry
};
int32_t Scan_BuildNewGeometry(RawData& raw, ScanGeometryStop& stop);

// The greyscale bytes of profile p's points from `start` on, from their
// vertices and final normals, as the geometry pass makes them; for scan
// points rebuilt from profiles.
void Scan_ProfileGreyscale(RawData& raw, const Profile& p, int32_t start);
