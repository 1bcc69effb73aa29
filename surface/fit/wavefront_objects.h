// A debugging aid: several working meshes of the simplification that share
// one point numbering, written into one Wavefront text file as numbered
// groups ("g object1" ...). The points come from the first mesh only.
#ifndef SURFACE_FIT_WAVEFRONT_OBJECTS_H
#define SURFACE_FIT_WAVEFRONT_OBJECTS_H

#include <cstdint>

struct PolyMesh;

// 1 when the file was written with at least one object, else 0 (a file that
// cannot be opened, a failed write or allocation; a partly written file is
// left behind). The first object is read even for a count of 0, for its
// points. Each object's walk ends on the tail of its face list.
int SaveMultiObjectWavefront(const char* path, const char* comment, int32_t count, PolyMesh* objects);

#endif
