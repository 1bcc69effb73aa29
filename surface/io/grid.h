// Regular grids of values (and gradients) over a box, in 2D and 3D, and the
// completion of a grid from three of its four describing vectors (spacing,
// size, minimum, maximum). Statuses are the API statuses: 0, 2 no memory,
// 5 grid missing, 8 bad size, 9 too few or too many grid arguments, 17
// invalid argument.
#ifndef SURFACE_IO_GRID_H
#define SURFACE_IO_GRID_H

#include <cstdint>

struct PointList2;
struct PointList3;
struct Reporter;

struct Grid3 {
    double Spacing[3];
    double Min[3];
    double Max[3];
    int32_t Size[3];
    double* Value;     // one per node, x fastest
    double* Gradient;  // three per node, or null
};

struct Grid2 {
    double Spacing[2];
    double Min[2];
    double Max[2];
    int32_t Size[2];
    double* Value;
    double* Gradient;
};

// Exactly three of the four must be given; the fourth is computed and all
// four are stored in the grid. A computed size beyond the int range is
// capped at 2147483647; one that is negative or not finite (a spacing of 0,
// say) gives status 8.
int Grid3_ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum,
                      Grid3* grid, Reporter* reporter);
int Grid2_ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum,
                      Grid2* grid, Reporter* reporter);
// Sets the size and allocates the value array (and with the flag the gradient
// array) with the run-time allocator. Arrays held before are not released.
// The node count is the full product of the sizes: a grid too large to hold
// gives 2, never a short block.
int Grid3_CheckSize(Grid3* grid, const int32_t* size, int32_t withGradient);
int Grid2_CheckSize(Grid2* grid, const int32_t* size, int32_t withGradient);
// Clear zero-fills; Free releases the arrays and zero-fills (null allowed).
void Grid3_Clear(Grid3* grid);
void Grid2_Clear(Grid2* grid);
void Grid3_Free(Grid3* grid);
void Grid2_Free(Grid2* grid);
// 1 when the grid is usable, else 0 after one error message naming the grid
// `name`. Gradient use: 1 required, -1 not used (a warning when present),
// 0 either.
int Grid3_Validate(const Grid3* grid, const char* name, int32_t allowEmpty, int32_t gradientUse, Reporter* reporter);
int Grid2_Validate(const Grid2* grid, const char* name, int32_t allowEmpty, int32_t gradientUse, Reporter* reporter);
// Turns the grid into a point list of its nodes (x fastest) that takes over
// the values and gradients; the grid is then cleared. 17 for a size below 1
// (the list is then empty), 2 when the nodes cannot be held.
int Grid3_ToPointList(Grid3* grid, PointList3* list);
int Grid2_ToPointList(Grid2* grid, PointList2* list);

// Copies the plane of a 3D grid at `index` across `axis` (0 x, 1 y, 2 z) into
// a 2D grid of the other two axes in order, with values and, when the 3D grid
// has them, the two in-plane gradient components. 5 without either grid, 17
// for a bad axis or index.
int Grid3_Slice(const Grid3* grid, Grid2* slice, int32_t axis, int32_t index);

#endif
