// The pipeline's geometry: the view transform and its rigid inverse, the
// region box of the input in the view frame, and the isosurface seeds.
#include <cstring>
#include <limits>

#include "surface/frame/geometry_coarse.h"
#include "surface/frame/point_list.h"
#include "surface/pipeline/scan_fit.h"

void Vec3_MinOf(const double* a, const double* b, double* out) {
    for (int k = 0; k < 3; ++k) out[k] = a[k] < b[k] ? a[k] : b[k];
}

void Vec3_MaxOf(const double* a, const double* b, double* out) {
    for (int k = 0; k < 3; ++k) out[k] = a[k] > b[k] ? a[k] : b[k];
}

void CopyWords6(const void* source, void* destination) {
    if (source != destination) std::memcpy(destination, source, 3 * sizeof(double));
}

void Mat4_Copy(const Mat4d* source, Mat4d* destination) {
    if (source != destination) std::memcpy(destination->m, source->m, sizeof destination->m);
}

void ScanFit_ViewMatrix(const ScanFitParams* params, Mat4d* out) {
    for (int k = 0; k < 16; ++k) out->m[k] = params->ViewMatrix[k];
}

void ScanFit_InverseTransform(const Mat4d* matrix, Mat4d* out) {
    Mat4d rotation;
    Mat4_Copy(matrix, &rotation);
    rotation.m[12] = rotation.m[13] = rotation.m[14] = 0.0;
    geom_coarse::Mat4_Transpose(&rotation, &rotation);
    const Vec3d back = {-matrix->m[12], -matrix->m[13], -matrix->m[14]};
    Mat4d shift;
    geom_coarse::Mat4_Translation(&back, &shift);
    // The shift first, then the transposed rotation.
    geom_coarse::Mat4_Multiply(&rotation, &shift, out);
}

void ScanFit_TransformPoints(const Mat4d* matrix, int32_t count, double* points) {
    for (int32_t i = 0; i < count; ++i) {
        Vec3d p;
        CopyWords6(&points[3 * static_cast<int64_t>(i)], &p);
        geom_coarse::Mat4_TransformPoint(matrix, &p, &p);
        CopyWords6(&p, &points[3 * static_cast<int64_t>(i)]);
    }
}

void ScanFit_Region(const PointList3* input, const Mat4d* view, double margin, double* regionMin, double* regionMax) {
    const double huge = std::numeric_limits<double>::max();
    for (int k = 0; k < 3; ++k) {
        regionMin[k] = huge;
        regionMax[k] = -huge;
    }
    for (int32_t i = 0; i < input->Count; ++i) {
        Vec3d p;
        CopyWords6(&input->Location[3 * static_cast<int64_t>(i)], &p);
        geom_coarse::Mat4_TransformPoint(view, &p, &p);
        Vec3_MinOf(regionMin, &p.x, regionMin);
        Vec3_MaxOf(regionMax, &p.x, regionMax);
    }
    for (int k = 0; k < 3; ++k) {
        regionMin[k] -= margin;
        regionMax[k] += margin;
    }
}

int ScanFit_MakeSeeds(const PointList3* input, PointList3* seeds) {
    constexpr int32_t kMostSeeds = 1000;
    if (PointList3_Create(seeds, kMostSeeds, 0, 0, 0, 0, 0) != 0) return 2;
    const int32_t n = input->Count;
    const int32_t stride = n < 1 ? 1 : (n - 1) / kMostSeeds + 1;
    int32_t taken = 0;
    for (int64_t i = 0; i < n && taken < kMostSeeds; i += stride, ++taken)
        CopyWords6(&input->Location[3 * i], &seeds->Location[3 * taken]);
    seeds->Count = taken;
    return 0;
}
