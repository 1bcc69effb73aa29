// Loaders that take a file of either dimension, or of whichever object kind
// it holds, and say what they found. Statuses are the API statuses.
#ifndef SURFACE_IO_LOAD_ANY_H
#define SURFACE_IO_LOAD_ANY_H

#include <cstdint>
#include <cstdio>

#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/io/grid.h"
#include "surface/io/scan3.h"

struct Reporter;

// What Selvane_LoadAll found.
enum LoadedKind : int32_t {
    LoadedKind_PointList2 = 0,
    LoadedKind_PointList3 = 1,
    LoadedKind_Mesh = 2,
    LoadedKind_Scan = 3,
};

// The dimension goes to `dimension`: 2 or 3, 0 when the index could not be
// read, -1 when the item that tells it is unusable. Only the object of that
// dimension is filled; on failure both are freed.
int Selvane_LoadPointListAny(PointList2* list2, PointList3* list3, int32_t* dimension, std::FILE* file, int32_t* line,
                             Reporter* reporter);
int Selvane_LoadGridAny(Grid2* grid2, Grid3* grid3, int32_t* dimension, std::FILE* file, int32_t* line,
                        Reporter* reporter);
int Selvane_LoadSolutionAny(Solution2* solution2, Solution3* solution3, int32_t* dimension, std::FILE* file,
                            int32_t* line, Reporter* reporter);
// A 2D point list, or a 3D file as a mesh (it has "Tri" or "Quad"), a scan
// (it has "Origin" and "Size") or else a 3D point list; `kind` tells which
// (LoadedKind, -1 until known). On failure all four objects are freed.
int Selvane_LoadAll(PointList2* list2, PointList3* list3, Scan3* scan, Mesh3* mesh, int32_t* kind, std::FILE* file,
                    int32_t* line, Reporter* reporter);

#endif
