#include "surface/fit/density_methods.h"

#include <cmath>
#include <cstring>

#include "surface/fit/density_projection.h"
#include "surface/fit/plane_fit.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree.h"
#include "surface/search/point_sets.h"

namespace {

using density::Output;

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Row pointers over a flat table of 3 doubles a row (a tracked block).
double** RowsOf(int32_t n, const double* xyz) {
    auto** rows = static_cast<double**>(Mem_Alloc(sizeof(double*) * (n > 0 ? n : 1)));
    if (rows != nullptr)
        for (int32_t i = 0; i < n; ++i) rows[i] = const_cast<double*>(xyz) + 3 * i;
    return rows;
}

void Bounds(int32_t n, const double* xyz, double* lo, double* hi) {
    for (int k = 0; k < 3; ++k) lo[k] = hi[k] = xyz[k];
    for (int32_t i = 1; i < n; ++i)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::fmin(lo[k], xyz[3 * i + k]);
            hi[k] = std::fmax(hi[k], xyz[3 * i + k]);
        }
}

// The new points' values: their distance to the nearest input, negated from
// row `negateFrom` on.
int ValuesByDistance(int32_t n, Output* out, int32_t negateFrom) {
    const int32_t m = out->count - n;
    if (int status = Density_DistanceToNearest(n, out->xyz, m, out->xyz + 3 * n, out->value + n)) return status;
    for (int32_t i = negateFrom; i < out->count; ++i) out->value[i] = -out->value[i];
    return 0;
}

int CubeSurfacePoints(const DensityArrays& in, int32_t a, Output* out) {
    const int32_t n = in.count;
    if (a <= 1) a = 4;
    double lo[3], hi[3];
    Bounds(n, in.locations, lo, hi);
    for (int k = 0; k < 3; ++k) {
        const double widen = 0.01 * (hi[k] - lo[k]);
        lo[k] -= widen;
        hi[k] += widen;
    }
    const int64_t m = CubeSurface_PointCount(a);
    if (n + m > 2147483647 / 3 || !out->Allocate(static_cast<int32_t>(n + m))) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) out->Add(in.locations + 3 * i, 0.0, i);
    double** rows = RowsOf(static_cast<int32_t>(m), out->xyz + 3 * n);
    if (rows == nullptr) return CoreStatus_NoMemory;
    CubeSurface_Points(a, lo, hi, rows);
    Mem_Free(rows);
    for (int32_t i = n; i < n + m; ++i) out->source[i] = -1;
    out->count = static_cast<int32_t>(n + m);
    return ValuesByDistance(n, out, out->count);
}

// The frame whose third row is the data's plane normal and whose first row
// runs, within the plane, from the point lowest along the normal to the point
// farthest from the centroid. False when the points give no such frame.
bool PlaneFrame(int32_t n, double* const* rows, double* frame) {
    double plane[4], centroid[3], m[3];
    if (Points_FitPlaneMoments(rows, n, plane) != 0) return false;
    if (Points_FitPlane(rows, n, centroid, m) != 0) return false;
    int32_t lowest = 0, farthest = 0;
    double low = 0.0, far = -1.0;
    for (int32_t i = 0; i < n; ++i) {
        const double d[3] = {rows[i][0] - centroid[0], rows[i][1] - centroid[1], rows[i][2] - centroid[2]};
        const double along = Dot(m, d);
        if (i == 0 || along < low) {
            low = along;
            lowest = i;
        }
        const double across[3] = {d[0] - along * m[0], d[1] - along * m[1], d[2] - along * m[2]};
        const double r = Dot(across, across);
        if (r > far) {
            far = r;
            farthest = i;
        }
    }
    double* x = frame;
    double* y = frame + 3;
    double* z = frame + 6;
    std::memcpy(z, plane, 3 * sizeof(double));
    for (int k = 0; k < 3; ++k) x[k] = rows[farthest][k] - rows[lowest][k];
    const double onNormal = Dot(x, z);
    for (int k = 0; k < 3; ++k) x[k] -= onNormal * z[k];
    const double length = std::sqrt(Dot(x, x));
    if (!(length > 0.0) || !std::isfinite(length)) return false;
    for (int k = 0; k < 3; ++k) x[k] /= length;
    Cross(z, x, y);
    return true;
}

int PlaneGridPoints(const DensityArrays& in, int32_t a, Output* out, bool* added) {
    const int32_t n = in.count;
    if (a <= 1) a = 6;
    *added = false;
    double** rows = RowsOf(n, in.locations);
    if (rows == nullptr) return CoreStatus_NoMemory;
    double frame[9];
    const bool framed = PlaneFrame(n, rows, frame);
    Mem_Free(rows);
    if (!framed) return 0;
    double lo[3], hi[3];
    for (int32_t i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k) {
            const double q = Dot(frame + 3 * k, in.locations + 3 * i);
            if (i == 0 || q < lo[k]) lo[k] = q;
            if (i == 0 || q > hi[k]) hi[k] = q;
        }
    const double largest = std::fmax(hi[0] - lo[0], std::fmax(hi[1] - lo[1], hi[2] - lo[2]));
    lo[2] -= 0.025 * largest;
    hi[2] += 0.025 * largest;
    const int64_t m = 2 * static_cast<int64_t>(a) * a;
    if (n + m > 2147483647 / 3 || !out->Allocate(static_cast<int32_t>(n + m))) return CoreStatus_NoMemory;
    for (int32_t i = 0; i < n; ++i) out->Add(in.locations + 3 * i, 0.0, i);
    // The upper grid first, then the lower one, whose values are negated.
    for (const double z : {hi[2], lo[2]})
        for (int32_t i = 0; i < a; ++i)
            for (int32_t j = 0; j < a; ++j) {
                const double q[3] = {lo[0] + (hi[0] - lo[0]) * i / (a - 1), lo[1] + (hi[1] - lo[1]) * j / (a - 1), z};
                double p[3];
                for (int k = 0; k < 3; ++k) p[k] = q[0] * frame[k] + q[1] * frame[3 + k] + q[2] * frame[6 + k];
                out->Add(p, 0.0, -1);
            }
    *added = true;
    return ValuesByDistance(n, out, static_cast<int32_t>(n + a * static_cast<int64_t>(a)));
}

// Vertex normals: each triangle's unnormalised normal added to its corners;
// triangles naming a point beyond the list are skipped.
double* TriangleNormals(int32_t n, const double* xyz, int32_t triangles, const int32_t* index) {
    double* normals = Mem_AllocDoubles(3 * n);
    if (normals == nullptr) return nullptr;
    std::memset(normals, 0, sizeof(double) * 3 * n);
    for (int32_t t = 0; t < triangles; ++t) {
        const int32_t* c = index + 3 * t;
        if (c[0] < 0 || c[1] < 0 || c[2] < 0 || c[0] >= n || c[1] >= n || c[2] >= n) continue;
        const double* p0 = xyz + 3 * c[0];
        const double e1[3] = {xyz[3 * c[1]] - p0[0], xyz[3 * c[1] + 1] - p0[1], xyz[3 * c[1] + 2] - p0[2]};
        const double e2[3] = {xyz[3 * c[2]] - p0[0], xyz[3 * c[2] + 1] - p0[1], xyz[3 * c[2] + 2] - p0[2]};
        double f[3];
        Cross(e1, e2, f);
        for (int v = 0; v < 3; ++v)
            for (int k = 0; k < 3; ++k) normals[3 * c[v] + k] += f[k];
    }
    return normals;
}

int Projection(const DensityMethodArgs& args, const DensityArrays& in, Output* out) {
    const int32_t n = in.count;
    const double* normals = args.normals;
    double* made = nullptr;
    if (args.method == 7) {
        made = TriangleNormals(n, in.locations, args.triangleCount, args.triangles);
        if (made == nullptr) return CoreStatus_NoMemory;
        normals = made;
    }
    density::Control control;
    control.abort = args.abort;
    control.progress = args.progress;
    if (args.progress != nullptr && n > 0) {
        const double step = (args.progressEnd - *args.progress) / n;
        control.step = step > 0.0 ? step : 0.0;
    }
    int status = density::ProjectPatches(n, in.locations, normals, args.distance, args.oneSided, args.maxIncrease, 0,
                                         out, control);
    Mem_Free(made);
    if (status == 0 && args.minimumLength > 0.0) density::FilterPoints(out, n, args.minimumLength);
    return status;
}

bool BadArguments(const DensityMethodArgs& args, const DensityArrays* arrays) {
    if (arrays == nullptr || args.dimension != 3 || arrays->count < 1 || arrays->locations == nullptr) return true;
    switch (args.method) {
        case 4:
        case 5:
            return false;
        case 6:
            return args.normals == nullptr || !(args.maxIncrease >= 0.0);
        case 7:
            return args.triangleCount < 1 || args.triangles == nullptr || !(args.maxIncrease >= 0.0);
        default:
            return true;
    }
}

// Puts the output in the caller's place, with the per-point entries
// extended: a new point copies its source's entry, or gets 0.
int Commit(Output* out, DensityArrays* arrays) {
    int64_t* entries = nullptr;
    if (arrays->entries != nullptr) {
        entries = static_cast<int64_t*>(Mem_Alloc(sizeof(int64_t) * out->count));
        if (entries == nullptr) return CoreStatus_NoMemory;
        for (int32_t i = 0; i < out->count; ++i) {
            const int32_t from = out->source[i];
            entries[i] = from >= 0 && from < arrays->count ? arrays->entries[from] : 0;
        }
        Mem_Free(arrays->entries);
        arrays->entries = entries;
    }
    Mem_Free(arrays->locations);
    Mem_Free(arrays->values);
    arrays->locations = out->xyz;
    arrays->values = out->value;
    arrays->count = out->count;
    out->xyz = nullptr;
    out->value = nullptr;
    return 0;
}

}  // namespace

int Density_DistanceToNearest(int32_t n, const double* inputs, int32_t count, const double* points, double* out) {
    if (count < 1) return 0;
    double** rows = RowsOf(n, inputs);
    if (rows == nullptr) return CoreStatus_NoMemory;
    KdTreeN tree{};
    double bounds[6];
    int status = KdTreeN_Build(n, 3, rows, &tree, bounds, nullptr);
    double radius = 0.1 * (bounds[3] - bounds[0]);
    for (int32_t i = 0; i < count && status == 0; ++i) {
        int32_t nearest = -1, found = 0;
        status = KdTreeN_NearestK(&tree, points + 3 * i, 1, &radius, &nearest, &found);
        if (status != 0 || found < 1) {
            status = CoreStatus_Failure;
            break;
        }
        const double* q = inputs + 3 * nearest;
        const double d[3] = {points[3 * i] - q[0], points[3 * i + 1] - q[1], points[3 * i + 2] - q[2]};
        out[i] = std::sqrt(Dot(d, d));
    }
    KdTreeN_Free(&tree);
    Mem_Free(rows);
    return status;
}

int Density_AddPointsByMethod(const DensityMethodArgs& args, DensityArrays* arrays) {
    if (BadArguments(args, arrays)) return CoreStatus_InvalidInput;
    if (args.abort != nullptr && *args.abort != 0) return CoreStatus_UserAbort;
    Output out;
    bool added = true;
    int status = 0;
    if (args.method == 4)
        status = CubeSurfacePoints(*arrays, args.pointsPerEdge, &out);
    else if (args.method == 5)
        status = PlaneGridPoints(*arrays, args.pointsPerEdge, &out, &added);
    else
        status = Projection(args, *arrays, &out);
    if (status != 0 || !added) return status;
    return Commit(&out, arrays);
}
