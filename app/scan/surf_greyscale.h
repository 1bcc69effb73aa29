// Transfer of greyscale intensities from one surface's points onto another's,
// used on the RBF surface with the basic surface as source.
#pragma once

#include "app/scan/surf_progress.h"
#include "app/scan/surface_record.h"

// Each target point takes the weighted mean greyscale of the source points
// within `radius` whose normals agree with its own (weight: the squared dot
// of the normals times 1 - lateral distance² / radius²); a target point with
// none keeps its greyscale (255 = unset). Returns 0; a stop from the progress
// callback throws SurfAbortError and a failed allocation OutOfMemoryError,
// for the caller to handle. Its temporaries are released on every path.
int32_t Surf_TransferGreyscale(SurfaceRecord& target, const SurfaceRecord& source, float radius,
                               const SurfProgress& progress);
