// The outline where a slice's plane cuts a triangle mesh: crossing edges
// linked into closed cycles, several cycles joined into one at their closest
// points, and the result resampled into the slice's n points at equal
// distances, starting where the outline crosses the slice's +u direction.
#pragma once

#include <vector>

#include "app/export/ortho_model.h"

// 0: the slice's points, suggested spacing and aligned flag (anchored) are
// set; 4: no outline (the caller drops the slice); 2: out of memory.
int Slice_PlaneCycles(OrthoSlice& slice, const OrthoMesh& mesh);

// The outline before resampling: the complete cycles of at least three
// points, each counter-clockwise about the normal, joined into one. 0, 4 or 2
// as above.
int Slice_Outline(const OrthoSlice& slice, const OrthoMesh& mesh, std::vector<Vec3>& outline);
