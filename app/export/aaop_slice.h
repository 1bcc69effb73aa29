// AAOP limb slicing: planes perpendicular to one straight limb axis, from one
// height limit to the other, each cut sampled as radii at fixed angles about
// the axis.
#pragma once

#include <string>

#include "app/export/ortho_model.h"

// Fills the model from the job's set-up and mesh. Results: 0 done,
// 1 "Aborted", 2 "Out of memory", 3 a spacing refused, 4 samples that found no
// surface. On every result but 0 the model is freed.
int AaopSlice_Compute(OrthoModel& model, const SurfaceRecord& mesh, const StylusItemList* items, OrthoJob& job,
                      std::string& errorText);

// The working copy of the set-up (limits ordered, heights from the lower
// limit) and the mesh points in the slicing frame. False when memory runs out.
bool AaopSlice_PrepareMesh(const OrthoSliceSetup& setup, const SurfaceRecord& mesh, OrthoSliceSetup& work,
                           OrthoMesh& out);

// One crossing of a triangle with a plane, from the signed distances of its
// corners: false when all three lie on one side (a distance of 0 counts as
// not positive).
bool Slice_TriangleCrossing(const Vec3 corners[3], const float distances[3], Vec3& end1, Vec3& end2);
// The angle (degrees, [0, 360), from u towards w) and the radius of a point
// about the slice's centre.
void Slice_PolarOfPoint(const OrthoSlice& slice, const Vec3& p, double& angle, double& radius);
// Samples one slice's radii from the mesh's crossings; the first crossing that
// covers a sample sets it.
void AaopSlice_SampleSlice(const OrthoModel& model, OrthoSlice& slice, const OrthoMesh& mesh);
// The median chord between neighbouring found samples; 0 without a pair.
double AaopSlice_AdaptiveSpacing(const OrthoModel& model, const OrthoSlice& slice);
