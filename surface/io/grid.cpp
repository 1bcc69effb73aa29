#include "surface/io/grid.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

template <int D, class Grid>
int ResolveSpec(const double* spacing, const int32_t* size, const double* minimum, const double* maximum, Grid* grid,
                Reporter* reporter) {
    const int given = (spacing != nullptr) + (size != nullptr) + (minimum != nullptr) + (maximum != nullptr);
    if (given == 4) {
        Reporter_Error(reporter, "Grid over-specified. Specify only 3 of Spacing, Size, Min and Max.");
        return ApiStatus_TooFewGridArguments;
    }
    if (given < 3) {
        Reporter_Error(reporter, "More than one of the grid arguments (spacing, size, minimum, maximum) is missing.");
        return ApiStatus_TooFewGridArguments;
    }
    if (size != nullptr)
        for (int k = 0; k < D; ++k)
            if (size[k] < 1) {
                Reporter_Error(reporter, "Invalid grid size (a count less than 1).");
                return ApiStatus_BadSize;
            }
    for (int k = 0; k < D; ++k) {
        if (spacing == nullptr) {
            grid->Min[k] = minimum[k];
            grid->Max[k] = maximum[k];
            grid->Size[k] = size[k];
            grid->Spacing[k] = size[k] < 2 ? 1.0 : (maximum[k] - minimum[k]) / (size[k] - 1);
        } else if (size == nullptr) {
            const double n = std::floor((maximum[k] - minimum[k]) / spacing[k] + 0.5) + 1.0;
            if (!(n >= 0.0)) {
                Reporter_Error(reporter, "Negative grid size calculated. Check Min, Max and Spacing Values.\n");
                return ApiStatus_BadSize;
            }
            grid->Spacing[k] = spacing[k];
            grid->Min[k] = minimum[k];
            grid->Size[k] = n > 2147483647.0 ? 2147483647 : static_cast<int32_t>(n);
            grid->Max[k] = minimum[k] + (grid->Size[k] - 1) * spacing[k];
        } else if (minimum == nullptr) {
            grid->Spacing[k] = spacing[k];
            grid->Size[k] = size[k];
            grid->Max[k] = maximum[k];
            grid->Min[k] = maximum[k] - (size[k] - 1) * spacing[k];
        } else {
            grid->Spacing[k] = spacing[k];
            grid->Size[k] = size[k];
            grid->Min[k] = minimum[k];
            grid->Max[k] = minimum[k] + (size[k] - 1) * spacing[k];
        }
    }
    return 0;
}

template <int D, class Grid>
int CheckSize(Grid* grid, const int32_t* size, int32_t withGradient) {
    if (grid == nullptr) return ApiStatus_MissingGrid;
    if (size == nullptr) return ApiStatus_BadSize;
    std::size_t nodes = 1;
    for (int k = 0; k < D; ++k) {
        if (size[k] < 1) return ApiStatus_BadSize;
        nodes *= static_cast<std::size_t>(size[k]);
    }
    for (int k = 0; k < D; ++k) grid->Size[k] = size[k];
    double* values = static_cast<double*>(std::malloc(nodes * sizeof(double)));
    double* gradients = withGradient ? static_cast<double*>(std::malloc(nodes * D * sizeof(double))) : nullptr;
    if (values == nullptr || (withGradient && gradients == nullptr)) {
        std::free(values);
        std::free(gradients);
        return ApiStatus_NoMemory;
    }
    grid->Value = values;
    grid->Gradient = gradients;
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

void Grid3_Free(Grid3* grid) {
    if (grid == nullptr) return;
    std::free(grid->Value);
    std::free(grid->Gradient);
    std::memset(grid, 0, sizeof *grid);
}

void Grid2_Free(Grid2* grid) {
    if (grid == nullptr) return;
    std::free(grid->Value);
    std::free(grid->Gradient);
    std::memset(grid, 0, sizeof *grid);
}

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
