// Regular point sets over boxes and spheres.
#include "surface/search/point_sets.h"

#include "surface/frame/status_codes.h"

#include <cmath>

#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

const double kPi = 3.14159265358979323846;

// Writes the nodes of a grid whose axis k has sizes[k] nodes at
// start[k] + i step[k] (sizes below 1 count as 1).
void WriteGrid(int32_t dimension, const int32_t* sizes, const double* start, const double* step,
               double* const* points) {
    int32_t n[3] = {1, 1, 1};
    for (int32_t k = 0; k < dimension; ++k) n[k] = sizes[k] > 1 ? sizes[k] : 1;
    int64_t row = 0;
    for (int32_t iz = 0; iz < n[2]; ++iz)
        for (int32_t iy = 0; iy < n[1]; ++iy)
            for (int32_t ix = 0; ix < n[0]; ++ix) {
                const int32_t at[3] = {ix, iy, iz};
                for (int32_t k = 0; k < dimension; ++k) points[row][k] = start[k] + at[k] * step[k];
                ++row;
            }
}

// Start and step of each axis for nodes from minimum to maximum.
void Spacing(int32_t dimension, const int32_t* sizes, const double* minimum, const double* maximum, double* step) {
    for (int32_t k = 0; k < dimension; ++k) step[k] = sizes[k] > 1 ? (maximum[k] - minimum[k]) / (sizes[k] - 1) : 0.0;
}

double Along(int32_t i, int32_t a, double low, double high) { return low + i * (high - low) / (a - 1); }

}  // namespace

int Grid_UnitPoints(int32_t dimension, const int32_t* sizes, double* const* points) {
    const double zero[3] = {0.0, 0.0, 0.0};
    const double one[3] = {1.0, 1.0, 1.0};
    return Grid_Points(dimension, sizes, zero, one, points);
}

int Grid_Points(int32_t dimension, const int32_t* sizes, const double* minimum, const double* maximum,
                double* const* points) {
    if (dimension < 1 || dimension > 3) return CoreStatus_InvalidDimension;
    double step[3];
    Spacing(dimension, sizes, minimum, maximum, step);
    WriteGrid(dimension, sizes, minimum, step, points);
    return 0;
}

int Grid_PointsFromSpacing(int32_t dimension, const double* base, const double* spacing, const int32_t* sizes,
                           double* const* points) {
    if (dimension < 1 || dimension > 3) return CoreStatus_InvalidDimension;
    WriteGrid(dimension, sizes, base, spacing, points);
    return 0;
}

int64_t CubeSurface_PointCount(int32_t a) {
    if (a < 2) a = 2;
    // a (a - 2) fits in 64 bits for any int32 a; six of it may not.
    const int64_t face = int64_t{a} * (a - 2);
    return face > (INT64_MAX - 8) / 6 ? INT64_MAX : face * 6 + 8;
}

void CubeSurface_Points(int32_t a, const double* minimum, const double* maximum, double* const* points) {
    if (a < 2) a = 2;
    int64_t row = 0;
    for (int32_t iz = 0; iz < a; ++iz)
        for (int32_t iy = 0; iy < a; ++iy)
            for (int32_t ix = 0; ix < a; ++ix) {
                const bool surface = ix == 0 || iy == 0 || iz == 0 || ix == a - 1 || iy == a - 1 || iz == a - 1;
                if (!surface) continue;
                const int32_t at[3] = {ix, iy, iz};
                for (int k = 0; k < 3; ++k) points[row][k] = Along(at[k], a, minimum[k], maximum[k]);
                ++row;
            }
}

int BoxEdge_Points(int32_t dimension, int32_t a, const double* minimum, const double* maximum, int32_t* count,
                   double*** points) {
    *count = 0;
    *points = nullptr;
    if (dimension != 3) return CoreStatus_InvalidDimension;
    if (a < 2) a = 2;
    const int32_t total = 12 * a - 16;
    double** rows = Mem_AllocMatrix(total, 3);
    if (rows == nullptr) return CoreStatus_NoMemory;
    int32_t row = 0;
    // The corners first, then the inner points of each edge: an edge runs
    // along one axis with the other two at either end of their range.
    for (int32_t corner = 0; corner < 8; ++corner, ++row)
        for (int k = 0; k < 3; ++k) rows[row][k] = (corner >> k) & 1 ? maximum[k] : minimum[k];
    for (int axis = 0; axis < 3; ++axis)
        for (int32_t ends = 0; ends < 4; ++ends)
            for (int32_t i = 1; i < a - 1; ++i, ++row) {
                const int u = (axis + 1) % 3, v = (axis + 2) % 3;
                rows[row][axis] = Along(i, a, minimum[axis], maximum[axis]);
                rows[row][u] = ends & 1 ? maximum[u] : minimum[u];
                rows[row][v] = ends & 2 ? maximum[v] : minimum[v];
            }
    *count = total;
    *points = rows;
    return 0;
}

int Sphere_Points(int32_t a, int32_t b, const double* centre, double r, int32_t* count, double*** points) {
    *count = 0;
    *points = nullptr;
    if (a < 2) a = 2;
    if (b < 0) b = 0;
    const int32_t total = 2 * b * (a - 2) + 2;
    double** rows = Mem_AllocMatrix(total, 3);
    if (rows == nullptr) return CoreStatus_NoMemory;
    int32_t row = 0;
    for (int32_t ring = 0; ring < a; ++ring) {
        const double polar = kPi * ring / (a - 1);
        const int32_t around = ring == 0 || ring == a - 1 ? 1 : 2 * b;
        for (int32_t j = 0; j < around; ++j, ++row) {
            const double azimuth = kPi * j / (b > 0 ? b : 1);
            const double s = ring == 0 || ring == a - 1 ? 0.0 : std::sin(polar);
            rows[row][0] = centre[0] + r * s * std::cos(azimuth);
            rows[row][1] = centre[1] + r * s * std::sin(azimuth);
            rows[row][2] = centre[2] + r * (ring == 0 ? 1.0 : ring == a - 1 ? -1.0 : std::cos(polar));
        }
    }
    *count = total;
    *points = rows;
    return 0;
}
