#include "surface/io/grid.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "surface/frame/point_list.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int64_t kSaturated = std::numeric_limits<int64_t>::max();

// The product of the sizes in 64 bits, saturating: three sizes of 2048
// already leave the int range, and a wrapped count would give a short block.
int64_t NodeCount(const int32_t* size, int d) {
    int64_t nodes = 1;
    for (int k = 0; k < d; ++k) {
        if (size[k] <= 0) return 0;
        if (nodes > kSaturated / size[k]) return kSaturated;
        nodes *= size[k];
    }
    return nodes;
}

int64_t Times(int64_t count, int64_t factor) { return count > kSaturated / factor ? kSaturated : count * factor; }

template <int D, class Grid>
int ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum, Grid* grid,
                Reporter* reporter) {
    const int given = (spacing != nullptr) + (size != nullptr) + (minimum != nullptr) + (maximum != nullptr);
    if (given == 4) {
        Reporter_Error(reporter, "Grid over-specified. Specify only 3 of Spacing, Size, Min and Max.");
        return ApiStatus_TooFewGridArguments;
    }
    if (given < 3) {
        Reporter_Error(reporter, "More than one of the grid's arguments missing.");
        return ApiStatus_TooFewGridArguments;
    }
    if (size != nullptr)
        for (int k = 0; k < D; ++k)
            if (size[k] < 1) {
                Reporter_Error(reporter, "Invalid grid size (value less than 1).");
                return ApiStatus_BadSize;
            }
    // Worked out apart, so that a refused axis leaves the grid as it was.
    Grid out = *grid;
    for (int k = 0; k < D; ++k) {
        if (spacing == nullptr) {
            out.Min[k] = minimum[k];
            out.Max[k] = maximum[k];
            out.Size[k] = size[k];
            out.Spacing[k] = size[k] < 2 ? 1.0 : (maximum[k] - minimum[k]) / (size[k] - 1);
        } else if (size == nullptr) {
            const double steps = std::floor((maximum[k] - minimum[k]) / spacing[k] + 0.5);
            // A spacing of 0 gives an infinite or undefined count: no grid
            // can be made of it, as of a negative one.
            if (!(steps >= 0.0) || !std::isfinite(steps)) {
                Reporter_Error(reporter, "Negative grid size calculated. Check Min, Max and Spacing Values.\n");
                return ApiStatus_BadSize;
            }
            out.Spacing[k] = spacing[k];
            out.Min[k] = minimum[k];
            const double n = steps + 1.0;
            out.Size[k] = n > 2147483647.0 ? 2147483647 : static_cast<int32_t>(n);
            out.Max[k] = minimum[k] + (out.Size[k] - 1) * spacing[k];
        } else if (minimum == nullptr) {
            out.Spacing[k] = spacing[k];
            out.Size[k] = size[k];
            out.Max[k] = maximum[k];
            out.Min[k] = maximum[k] - (size[k] - 1) * spacing[k];
        } else {
            out.Spacing[k] = spacing[k];
            out.Size[k] = size[k];
            out.Min[k] = minimum[k];
            out.Max[k] = minimum[k] + (size[k] - 1) * spacing[k];
        }
    }
    *grid = out;
    return 0;
}

template <int D, class Grid>
int CheckSize(Grid* grid, const int32_t* size, int32_t withGradient) {
    if (grid == nullptr) return ApiStatus_MissingGrid;
    if (size == nullptr) return ApiStatus_BadSize;
    for (int k = 0; k < D; ++k)
        if (size[k] < 1) return ApiStatus_BadSize;
    const int64_t nodes = NodeCount(size, D);
    if (size != grid->Size)
        for (int k = 0; k < D; ++k) grid->Size[k] = size[k];
    grid->Value = nullptr;
    grid->Gradient = nullptr;
    double* values = static_cast<double*>(Record_Alloc(nodes, sizeof(double)));
    double* gradients = withGradient ? static_cast<double*>(Record_Alloc(Times(nodes, D), sizeof(double))) : nullptr;
    if (values == nullptr || (withGradient && gradients == nullptr)) {
        Record_Free(values);
        Record_Free(gradients);
        return ApiStatus_NoMemory;
    }
    grid->Value = values;
    grid->Gradient = gradients;
    return 0;
}

template <int D, class Grid>
int Validate(const Grid* grid, const char* name, int32_t allowEmpty, int32_t gradientUse, Reporter* reporter) {
    if (grid == nullptr || grid->Value == nullptr) {
        Reporter_Error(reporter, "%s grid is invalid", name);
        return 0;
    }
    for (int k = 0; k < D; ++k)
        if (grid->Size[k] < 0) {
            Reporter_Error(reporter, "%s grid size is invalid", name);
            return 0;
        }
    if (!allowEmpty)
        for (int k = 0; k < D; ++k)
            if (grid->Size[k] == 0) {
                Reporter_Error(reporter, "%s grid must not be empty", name);
                return 0;
            }
    if (gradientUse > 0 && grid->Gradient == nullptr) {
        Reporter_Error(reporter, "%s grid field 'Gradient' is required by this function", name);
        return 0;
    }
    if (gradientUse < 0 && grid->Gradient != nullptr)
        Reporter_Warning(reporter, "%s grid field 'Gradient' is not used by this fucntion", name);
    return 1;
}

template <int D, class Grid, class List>
int ToPointList(Grid* grid, List* list, int (*create)(List*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t)) {
    if (grid == nullptr) return ApiStatus_MissingGrid;
    if (list == nullptr) return ApiStatus_BadPointList;
    const int64_t nodes = NodeCount(grid->Size, D);
    if (nodes <= 0) {
        std::memset(list, 0, sizeof *list);
        return ApiStatus_InvalidArgument;
    }
    if (nodes > std::numeric_limits<int32_t>::max()) return ApiStatus_NoMemory;
    const int32_t count = static_cast<int32_t>(nodes);
    if (int status = create(list, count, 0, 0, 0, 0, 0)) return status;
    list->Count = count;
    const int32_t sx = grid->Size[0], sy = grid->Size[1], sz = D == 3 ? grid->Size[D - 1] : 1;
    int64_t n = 0;
    for (int32_t k = 0; k < sz; ++k)
        for (int32_t j = 0; j < sy; ++j)
            for (int32_t i = 0; i < sx; ++i, ++n) {
                double* at = list->Location + D * n;
                at[0] = grid->Min[0] + i * grid->Spacing[0];
                at[1] = grid->Min[1] + j * grid->Spacing[1];
                if (D == 3) at[D - 1] = grid->Min[D - 1] + k * grid->Spacing[D - 1];
            }
    list->Value = grid->Value;
    list->Gradient = grid->Gradient;
    std::memset(grid, 0, sizeof *grid);
    return 0;
}

}  // namespace

int Grid3_ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum,
                      Grid3* grid, Reporter* reporter) {
    if (grid == nullptr) return ApiStatus_MissingGrid;
    return ResolveSpec<3>(spacing, size, minimum, maximum, grid, reporter);
}

int Grid2_ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum,
                      Grid2* grid, Reporter* reporter) {
    if (grid == nullptr) return ApiStatus_MissingGrid;
    return ResolveSpec<2>(spacing, size, minimum, maximum, grid, reporter);
}

int Grid3_CheckSize(Grid3* grid, const int32_t* size, int32_t withGradient) {
    return CheckSize<3>(grid, size, withGradient);
}

int Grid2_CheckSize(Grid2* grid, const int32_t* size, int32_t withGradient) {
    return CheckSize<2>(grid, size, withGradient);
}

void Grid3_Clear(Grid3* grid) {
    if (grid != nullptr) std::memset(grid, 0, sizeof *grid);
}

void Grid2_Clear(Grid2* grid) {
    if (grid != nullptr) std::memset(grid, 0, sizeof *grid);
}

void Grid3_Free(Grid3* grid) {
    if (grid == nullptr) return;
    Record_Free(grid->Value);
    Record_Free(grid->Gradient);
    Grid3_Clear(grid);
}

void Grid2_Free(Grid2* grid) {
    if (grid == nullptr) return;
    Record_Free(grid->Value);
    Record_Free(grid->Gradient);
    Grid2_Clear(grid);
}

int Grid3_Validate(const Grid3* grid, const char* name, int32_t allowEmpty, int32_t gradientUse, Reporter* reporter) {
    return Validate<3>(grid, name, allowEmpty, gradientUse, reporter);
}

int Grid2_Validate(const Grid2* grid, const char* name, int32_t allowEmpty, int32_t gradientUse, Reporter* reporter) {
    return Validate<2>(grid, name, allowEmpty, gradientUse, reporter);
}

int Grid3_ToPointList(Grid3* grid, PointList3* list) { return ToPointList<3>(grid, list, &PointList3_Create); }

int Grid2_ToPointList(Grid2* grid, PointList2* list) { return ToPointList<2>(grid, list, &PointList2_Create); }

int Grid3_Slice(const Grid3* grid, Grid2* slice, int32_t axis, int32_t index) {
    if (grid == nullptr || slice == nullptr) return ApiStatus_MissingGrid;
    if (axis < 0 || axis > 2 || index < 0 || index >= grid->Size[axis]) return ApiStatus_InvalidArgument;
    const int a = axis == 0 ? 1 : 0;
    const int b = axis == 2 ? 1 : 2;
    const int32_t size[2] = {grid->Size[a], grid->Size[b]};
    if (int status = Grid2_CheckSize(slice, size, grid->Gradient != nullptr ? 1 : 0)) return status;
    const int plane[2] = {a, b};
    for (int k = 0; k < 2; ++k) {
        slice->Spacing[k] = grid->Spacing[plane[k]];
        slice->Min[k] = grid->Min[plane[k]];
        slice->Max[k] = grid->Max[plane[k]];
    }
    const int64_t stride[3] = {1, grid->Size[0], static_cast<int64_t>(grid->Size[0]) * grid->Size[1]};
    for (int32_t v = 0; v < size[1]; ++v)
        for (int32_t u = 0; u < size[0]; ++u) {
            const int64_t from = index * stride[axis] + u * stride[a] + v * stride[b];
            const int64_t to = static_cast<int64_t>(v) * size[0] + u;
            slice->Value[to] = grid->Value[from];
            if (slice->Gradient != nullptr) {
                slice->Gradient[2 * to] = grid->Gradient[3 * from + a];
                slice->Gradient[2 * to + 1] = grid->Gradient[3 * from + b];
            }
        }
    return 0;
}
