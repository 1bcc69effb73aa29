// Grid files, 2D and 3D: "Spacing", "Min", "Max" (D each), "Value" (the D
// sizes) and, when the grid has gradients, "Gradient" (D, then the sizes).
// Statuses are the API statuses.
#ifndef SURFACE_IO_GRID_FILE_H
#define SURFACE_IO_GRID_FILE_H

#include <cstdint>
#include <cstdio>

#include "surface/io/container.h"
#include "surface/io/grid.h"

struct Reporter;

int Selvane_SaveGrid2(const Grid2* grid, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadGrid2(Grid2* grid, std::FILE* file, int32_t* line, Reporter* reporter);
int Selvane_SaveGrid3(const Grid3* grid, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadGrid3(Grid3* grid, std::FILE* file, int32_t* line, Reporter* reporter);

// Writer and reader over a stream; both end the running operation.
int Grid2_Write(const Grid2* grid, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Grid2_Read(Grid2* grid, ContainerStream* stream, int32_t* line, Reporter* reporter);
int Grid3_Write(const Grid3* grid, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Grid3_Read(Grid3* grid, ContainerStream* stream, int32_t* line, Reporter* reporter);
// Appends the grid's items; 0 when out of memory.
int Grid2_BuildItems(const Grid2* grid, ContainerIndex* index);
int Grid3_BuildItems(const Grid3* grid, ContainerIndex* index);
// Checks the grid items of a read index (36 after the message), allocates
// the grid at the size of "Value" and points the items at it.
int Grid2_BindItems(Grid2* grid, ContainerIndex* index, const char* fileKind, Reporter* reporter);
int Grid3_BindItems(Grid3* grid, ContainerIndex* index, const char* fileKind, Reporter* reporter);
// The success lines of a grid load ("Size", "Grid Fields").
void Grid2_ReportLoaded(const Grid2* grid, Reporter* reporter);
void Grid3_ReportLoaded(const Grid3* grid, Reporter* reporter);
int32_t Grid2_FileBytes(const Grid2* grid, int32_t ascii);
int32_t Grid3_FileBytes(const Grid3* grid, int32_t ascii);

#endif
