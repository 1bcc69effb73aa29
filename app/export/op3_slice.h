// OP3 foot slicing: planes perpendicular to a path that runs from the toe
// back along the foot axis, round a circular bend in front of the ankle and
// up the leg axis; each cut is the outline resampled into n 3D points, the
// slices turned so that their first points line up.
#pragma once

#include <string>

#include "app/export/ortho_model.h"

// The bend path in the working frame (the ankle at the origin, the leg axis
// +z, both axes in the y-z plane).
struct Op3BendPath {
    double L1 = 0, L2 = 0, L3 = 0;  // ends of the foot part, the bend and the leg part
    Vec3D FootStart{}, FootEnd{}, FootDir{};
    Vec3D LegStart{}, LegEnd{}, LegDir{};
    Vec3D BendCentre{};
    double BendRadius = 0;
};

// Results: 0 done, 1 stopped (no text), 2 out of memory, 3 a spacing refused
// or no slice made, 4 the axes or the bend do not fit the mesh. On every
// result but 0 the model is freed.
int Op3Slice_Compute(OrthoModel& model, const SurfaceRecord& mesh, const StylusItemList* items, OrthoJob& job,
                     std::string& errorText);

// The fitted working set-up (ankle, lengths, unit axes, frame) and the mesh in
// the working frame; 0, or 4 / 2 with the error text.
int Op3Slice_PrepareInput(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, OrthoSliceSetup& work,
                          OrthoMesh& out, std::string& errorText);
// The rotation taking the foot axis's part across the leg axis to +y and the
// leg axis to +z.
Matrix4 Op3Slice_MakeFrame(const Vec3& legAxis, const Vec3& footAxis);
// 0, or 4 with the error text.
int Op3Slice_MakeBendPath(const OrthoSliceSetup& work, const OrthoMesh& mesh, Op3BendPath& path,
                          std::string& errorText);
// Appends the slice at path position s; null when s lies off the path (or
// memory runs out: `outOfMemory` tells which).
OrthoSlice* Op3Slice_PlaceSlice(OrthoModel& model, const Op3BendPath& path, float s, bool& outOfMemory);

// Turns s's points so that they match r's best (the least sum of squared
// distances over the n cyclic shifts, the first of equals) and marks s
// aligned. False when memory runs out.
bool OrthoSlice_MatchRotation(OrthoSlice& s, const OrthoSlice& r);
