// Building one 3D profile from the field ring, on the user-interface thread,
// once per new-field notification. Each call consumes exactly one field (the
// read count advances by one) but reads a window of fields around it: the
// laser line of the window's centre field, turned into points through the
// calibration table, and the tracker poses of every field of the window,
// filtered, which place the points in scan coordinates.
#pragma once

#include <cstdint>

#include "app/scan/geometry.h"
#include "app/scan/raw_data.h"

// Results of BuildProfileFromField.
constexpr std::int32_t kProfileBuilt = 1;            // the profile may hold 0 points
constexpr std::int32_t kProfileOutOfMemory = 4;      // the field is consumed, the profile empty
constexpr std::int32_t kProfileNotEnoughFields = 9;  // nothing consumed

// Fills `profile` (its arrays are reused) from the oldest unconsumed window
// of fields: filter length N + 1 fields, the centre field N / 2 + 1 after the
// oldest.
// - referenceEnabled: 0 gives an identity reference pose; with
//   useGivenReference the reference pose is *givenReference instead of the
//   filtered reference record.
// - coneAngle: full opening angle in degrees of the accepted viewing cone.
// - wandPresent, stylusPresent: whether the centre field carries a wand or a
//   stylus record (0 while the automatic hemisphere set-up of that station
//   has not completed).
// - parityExpected, versionMismatch: written only for a wand field without a
//   stylus record; versionMismatch asks the caller to report a
//   processing-unit version mismatch.
// - onlineTime: when the hardware last came on line.
// Any output pointer may be null.
std::int32_t BuildProfileFromField(Profile& profile, std::int32_t referenceEnabled, std::int32_t useGivenReference,
                                   const Matrix4* givenReference, float coneAngle, std::int32_t* wandPresent,
                                   std::int32_t* stylusPresent, std::int32_t* parityExpected,
                                   std::int32_t* versionMismatch, std::int32_t* onlineTime);

// Forgets the fields counted by the version-mismatch watch (hardware
// start-up).
void ResetVersionMismatchWatch();

// The laser-line check of profile building: the width check of every line
// detection, made on the counts as the unit sent them (rawStart, rawEnd) and,
// in the rescaled frequency modes, on the rescaled counts. A line with no
// detection (both raw counts 0) is skipped without being counted, and a
// missing start is counted as such, whatever the rescaling makes of them.
bool ProfileSampleUsable(std::int32_t rawStart, std::int32_t rawEnd, std::int32_t start, std::int32_t end);
