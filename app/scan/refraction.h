// Glass refraction correction: moves the points of one profile scanned
// through a flat glass plate to where they would lie without the plate, or
// back again.
//
// The model follows one ray per point from the scanner's optical origin: the
// plate shifts the ray sideways (the gap between its entry and exit lines) and
// shifts the point's depth plane along the scanner's Z axis. Both shifts come
// from the same thickness formula, t·s·(1 - sqrt((1 - s²) / (n² - s²))), with
// s the sine of the angle between a direction and the plate normal.
#pragma once

#include "app/scan/raw_data.h"

// The scanner's optical origin, in scanner coordinates.
constexpr float kOpticalOriginZ = -110.0f;

// The sideways gap between the entry and exit lines of a ray crossing a plate
// of thickness t and index n at sin(angle of incidence) = s. Defined for
// n > 1; s is clamped to [-1, 1] (a negative s, the cosine of a plate
// normal facing away, gives a negative shift).
float Refraction_Shift(float t, float n, float s);

// Corrects the profile's points (undo false) or takes a correction back (undo
// true), in place. Nothing changes when the index is not a finite value above
// 1 (an index below 1 or a NaN would give NaN points; the user's off switch is
// an index below 1e-5) or the thickness is not finite, when the scanner lies on the wrong side of the plate,
// or for a point whose viewing ray runs along the plate of its depth.
void Profile_CorrectRefraction(const RefractionSettings& settings, Profile& profile, bool undo);

// Corrects (undo false) or takes back (undo true) every profile from
// firstProfile on with the scan's refraction settings, copies each profile's
// points into the Vertex of its scan points (the scan points are the
// profiles' points in order, one running index over all profiles), and sets
// RefractionCorrected to 1 after a correction, 0 after an undo, and the count
// of corrected profiles (RefractionProfiles) with it. The scan is
// marked changed so that the view draws it and its extents again.
void Refraction_Apply(RawData& raw, bool undo, int32_t firstProfile = 0);
