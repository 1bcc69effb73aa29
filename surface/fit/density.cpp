#include "surface/fit/density.h"

#include "surface/fit/density_projection.h"

#include <cmath>
#include <cstring>

#include "surface/frame/operation_frame.h"
#include "surface/frame/point_list.h"
#include "surface/frame/reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/search/kd_tree.h"
#include "surface/search/neighbours.h"
#include "surface/frame/status_codes.h"

namespace {

using density::Output;

constexpr double kPi = 3.141592653589793;

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The cone test against the nearest input point within the radius: its signed
// distance along that point's normal when p lies in the double cone.
bool InCone(const double* p, const double* xyz, const double* normals, Neighbours* near, double radius, int32_t buffer,
            int32_t* found, double c2, double* h, int32_t* nearest, bool* failed) {
    int32_t count = 0;
    if (!Neighbours_WithinRadius(p, radius, buffer, &count, found, near)) {
        *failed = true;
        return false;
    }
    if (count < 1) return false;
    const int32_t k = found[0];
    const double* n = normals + 3 * k;
    const double length = std::sqrt(Dot(n, n));
    if (!(length > 0.0)) return false;
    const double d[3] = {p[0] - xyz[3 * k], p[1] - xyz[3 * k + 1], p[2] - xyz[3 * k + 2]};
    *h = Dot(d, n) / length;
    *nearest = k;
    return Dot(d, d) * c2 < *h * *h;
}

bool Aborted(const Reporter* r) { return r != nullptr && Reporter_AbortRequested(r); }

int FixedLength(const PointList3* list, double a, const DensityAttributes& at, int32_t oneSided, double q, Output* out,
                Reporter* reporter) {
    const int32_t n = list->Count;
    const double* xyz = list->Location;
    const double* normals = list->Gradient;
    const double r1 = std::fabs(a) * 1.1;
    const double cosine = std::cos(at.ConeAngle * 0.017453292519943295);
    const double c2 = cosine * cosine;
    Neighbours near{};
    if (!Neighbours_Init(n, xyz, &near)) return ApiStatus_NoMemory;
    struct Release {
        Neighbours* r;
        ~Release() { Neighbours_Free(r); }
    } release{&near};
    if (Aborted(reporter)) return 1;
    DensityGrid grid;
    double extent[3];
    const int32_t m = Density_BoxInit(at.GridPoints, near.Bounds, near.Bounds + 3, &grid, extent);
    const double room = std::trunc((q + 1.0) * n + m + 2);
    if (room > 2147483647.0 || !out->Allocate(static_cast<int32_t>(room))) return ApiStatus_NoMemory;
    int32_t buffer = static_cast<int32_t>(at.GridMaxDist * at.GridMaxDist * n * kPi);
    if (buffer < 10) buffer = 10;
    int32_t* found = Mem_AllocInts(buffer > 9 ? buffer : 9);
    if (found == nullptr) return ApiStatus_NoMemory;
    struct FreeFound {
        int32_t* p;
        ~FreeFound() { Mem_Free(p); }
    } freeFound{found};
    if (Aborted(reporter)) return 1;
    const double rg = at.GridMaxDist * std::sqrt(Dot(extent, extent));
    for (int32_t i = 0; i < n; ++i) out->Add(xyz + 3 * i, 0.0, i);
    const int32_t total = n + m < 100 ? 100 : n + m;
    const int32_t every = total / 100;
    bool failed = false;
    if (static_cast<int64_t>(n * q) != 0 && n > 0) {
        const double step = oneSided ? 1.0 / q : 2.0 / q;
        const double signs[2] = {-1.0, 1.0};
        for (double t = 0.0; t < n; t += step) {
            const int32_t i = static_cast<int32_t>(t);
            if (reporter != nullptr && i % every == 0) Reporter_SetProgress(reporter, static_cast<double>(i) / total);
            if (Aborted(reporter)) return 1;
            const double* normal = normals + 3 * i;
            if (Dot(normal, normal) == 0.0) continue;
            int32_t count = 0;
            if (!Neighbours_KNearest(xyz + 3 * i, 9, &count, found, &near)) return ApiStatus_NoMemory;
            if (count > 1 && Dot(normal, normals + 3 * found[1]) < 0.0) continue;
            for (int s = oneSided ? 1 : 0; s < 2; ++s) {
                double p[3];
                for (int k = 0; k < 3; ++k) p[k] = xyz[3 * i + k] + signs[s] * a * normal[k];
                double h = 0.0;
                int32_t nearest = -1;
                if (InCone(p, xyz, normals, &near, r1, buffer, found, c2, &h, &nearest, &failed)) out->Add(p, h, i);
                if (failed) return ApiStatus_NoMemory;
            }
        }
    }
    if (at.GridPoints > 0 && m > 0) {
        const double centre[3] = {(grid.Min[0] + grid.Max[0]) / 2, (grid.Min[1] + grid.Max[1]) / 2,
                                  (grid.Min[2] + grid.Max[2]) / 2};
        int32_t w = 0;
        for (int32_t i = -grid.Half[0]; i <= grid.Half[0]; ++i)
            for (int32_t j = -grid.Half[1]; j <= grid.Half[1]; ++j)
                for (int32_t k = -grid.Half[2]; k <= grid.Half[2]; ++k) {
                    if (Aborted(reporter)) return 1;
                    ++w;
                    if (reporter != nullptr && (n + w) % every == 0)
                        Reporter_SetProgress(reporter, static_cast<double>(n + w) / total);
                    const double p[3] = {centre[0] + i * grid.Step[0], centre[1] + j * grid.Step[1],
                                         centre[2] + k * grid.Step[2]};
                    double h = 0.0;
                    int32_t nearest = -1;
                    if (InCone(p, xyz, normals, &near, rg, buffer, found, c2, &h, &nearest, &failed))
                        out->Add(p, h, nearest);
                    if (failed) return ApiStatus_NoMemory;
                }
    }
    return 0;
}

// The grid pass of the projection method: grid points in the cone of their
// nearest input point's normal, appended with their signed distance.
int GridPass(const PointList3* list, const double* normals, const DensityAttributes& at, Output* out,
             Reporter* reporter) {
    const int32_t n = list->Count;
    Neighbours near{};
    if (!Neighbours_Init(n, list->Location, &near)) return ApiStatus_NoMemory;
    DensityGrid grid;
    double extent[3];
    const int32_t m = Density_BoxInit(at.GridPoints, near.Bounds, near.Bounds + 3, &grid, extent);
    int32_t buffer = static_cast<int32_t>(at.GridMaxDist * at.GridMaxDist * n * kPi);
    if (buffer < 10) buffer = 10;
    int32_t* found = Mem_AllocInts(buffer);
    int status = found != nullptr ? 0 : 2;
    const double rg = at.GridMaxDist * std::sqrt(Dot(extent, extent));
    const double cosine = std::cos(at.ConeAngle * 0.017453292519943295);
    const double c2 = cosine * cosine;
    const int32_t total = n + m < 100 ? 100 : n + m;
    const int32_t every = total / 100;
    const double centre[3] = {(grid.Min[0] + grid.Max[0]) / 2, (grid.Min[1] + grid.Max[1]) / 2,
                              (grid.Min[2] + grid.Max[2]) / 2};
    int32_t w = 0;
    bool failed = false;
    for (int32_t i = -grid.Half[0]; i <= grid.Half[0] && status == 0 && m > 0; ++i)
        for (int32_t j = -grid.Half[1]; j <= grid.Half[1] && status == 0; ++j)
            for (int32_t k = -grid.Half[2]; k <= grid.Half[2] && status == 0; ++k) {
                if (Aborted(reporter)) {
                    status = 1;
                    break;
                }
                ++w;
                if (reporter != nullptr && (n + w) % every == 0)
                    Reporter_SetProgress(reporter, static_cast<double>(n + w) / total);
                const double p[3] = {centre[0] + i * grid.Step[0], centre[1] + j * grid.Step[1],
                                     centre[2] + k * grid.Step[2]};
                double h = 0.0;
                int32_t nearest = -1;
                if (InCone(p, list->Location, normals, &near, rg, buffer, found, c2, &h, &nearest, &failed))
                    out->Add(p, h, nearest);
                if (failed) status = 2;
            }
    Mem_Free(found);
    Neighbours_Free(&near);
    return status;
}

// Appends the new points to the list: locations and values, and for every
// set the entries of each new point's source point.
int WriteBack(PointList3* list, int32_t set, const Output& out) {
    const int32_t n = list->Count;
    if (out.count > list->Capacity)
        if (int status = PointList3_SetCapacity(list, out.count)) return status;
    if (int status = PointList3_SetFields(list, set, 1, 0, 0, 0, 0)) return status;
    list->Count = out.count;
    std::memcpy(list->Location, out.xyz, sizeof(double) * 3 * out.count);
    double* values = PointList3_GetValue(list, set);
    std::memcpy(values, out.value, sizeof(double) * out.count);
    for (int32_t s = -1; s < list->AltCount; ++s) {
        double* v = s == set ? nullptr : PointList3_GetValue(list, s);
        double* arrays[3] = {PointList3_GetAccuracy(list, s), PointList3_GetLower(list, s),
                             PointList3_GetUpper(list, s)};
        double* g = PointList3_GetGradient(list, s);
        for (int32_t i = n; i < out.count; ++i) {
            const int32_t from = out.source[i];
            if (v != nullptr) v[i] = v[from];
            for (double* array : arrays)
                if (array != nullptr) array[i] = array[from];
            if (g != nullptr) std::memcpy(g + 3 * i, g + 3 * from, 3 * sizeof(double));
        }
    }
    return 0;
}

int Finish(Reporter* reporter, PointList3* points, int status) {
    if (status == 0) Reporter_EndOperation(reporter);
    if (points != nullptr) Reporter_Value(reporter, "Output Points", "%d", points->Count);
    Reporter_Value(reporter, "Peak Memory Used", "%dMb", static_cast<int>(Mem_PeakBytes() >> 20));
    if (status == 0) Reporter_SetProgress(reporter, 1.0);
    return OperationFrame_Refuse(reporter, status);
}

}  // namespace

DensityAttributes* SetDensityAttrDefaults(DensityAttributes* a) {
    if (a == nullptr) return nullptr;
    a->OneSided = 0;
    a->FixedLength = 0;
    a->MaxIncrease = 1.0;
    a->ConeAngle = 20.0;
    a->GridPoints = 0;
    a->GridMaxDist = 0.1;
    return a;
}

int32_t Density_BoxInit(int32_t count, const double* minimum, const double* maximum, DensityGrid* grid,
                        double* extent) {
    std::memset(grid, 0, sizeof *grid);
    double e[3];
    for (int k = 0; k < 3; ++k) {
        e[k] = maximum[k] - minimum[k];
        if (extent != nullptr) extent[k] = e[k];
    }
    if (count < 1) return 0;
    // One density over the box's volume. An axis without extent would make
    // that volume zero: it takes no part, and the density is that over the
    // other axes' area or length.
    int axes = 0;
    double volume = 1.0;
    for (int k = 0; k < 3; ++k)
        if (e[k] > 0.0) {
            ++axes;
            volume *= e[k];
        }
    if (axes == 0) return 0;
    const double f = std::pow(count / volume, 1.0 / axes);
    for (int k = 0; k < 3; ++k) {
        const double half = e[k] > 0.0 ? std::trunc(f * 0.5 * e[k]) : 0.0;
        grid->Half[k] = half > 1e6 ? 1000000 : static_cast<int32_t>(half);
    }
    int64_t points = 1;
    for (int k = 0; k < 3; ++k) {
        grid->Step[k] = grid->Half[k] > 0 ? e[k] / (2.0 * grid->Half[k]) : 1.0;
        grid->Min[k] = minimum[k];
        grid->Max[k] = maximum[k];
        points *= 2 * grid->Half[k] + 1;
    }
    return points > 2147483647 ? 2147483647 : static_cast<int32_t>(points);
}

int Selvane_DensityFromNormals3(PointList3* points, int32_t set, double normalLength, double minimumLength,
                                const DensityAttributes* attributes, Reporter* reporter) {
    OperationFrame_Begin(reporter, 21);
    if (int status = PointList3_CheckAlt(points, set, "Input", 1, reporter, 0, 0, 0, 0, 1))
        return Finish(reporter, nullptr, status);
    DensityAttributes a;
    if (attributes != nullptr)
        a = *attributes;
    else
        SetDensityAttrDefaults(&a);
    // The fixed-length method displaces along the main set's normals whatever
    // set receives the values, so that set must have them too.
    if (a.FixedLength && set >= 0)
        if (int status = PointList3_CheckAlt(points, -1, "Input", 1, reporter, 0, 0, 0, 0, 1))
            return Finish(reporter, nullptr, status);
    int status = 0;
    if (a.MaxIncrease < 0.0) {
        Reporter_Error(reporter, "Maximum increase in number of points is %.2f, positive value expected.",
                       a.MaxIncrease);
        status = 7;
    }
    if (!(a.ConeAngle > 0.0 && a.ConeAngle <= 90.0)) {
        Reporter_Error(reporter, "Cone angle (%.2f) must be between 0 and 90 degrees.", a.ConeAngle);
        status = 17;
    }
    if (!(a.GridMaxDist > 0.0 && a.GridMaxDist <= 0.5)) {
        Reporter_Error(reporter, "Maximum distance to grid points (%.2f) must be between 0 and 0.5.", a.GridMaxDist);
        status = 7;
    }
    if (status != 0) return Finish(reporter, points, status);
    if (a.MaxIncrease > 2.0) a.MaxIncrease = 2.0;
    const int32_t n = points->Count;
    const bool displaced = n * a.MaxIncrease >= 1.0;
    if (displaced && a.FixedLength && !(normalLength > 0.0)) {
        Reporter_Error(reporter, "Maximum normal length argument must be positive.");
        return Finish(reporter, points, 7);
    }
    if (!displaced && a.GridPoints == 0) {
        Reporter_Error(reporter, "Number of normal and grid off-surface points to add is zero.");
        return OperationFrame_Refuse(reporter, 17);
    }
    const double* normals = PointList3_GetGradient(points, set);
    if (!a.FixedLength && displaced) {
        if (minimumLength < 0.0) {
            Reporter_Error(reporter, "Minimum normal length must not be negative.");
            return Finish(reporter, points, 7);
        }
        if (minimumLength >= std::fabs(normalLength)) {
            Reporter_Error(reporter, "Minimum normal length is larger than Maximum.");
            return Finish(reporter, points, 7);
        }
    }
    if (normals == nullptr) normals = points->Gradient;
    Reporter_Value(reporter, "Input Points", "%d", n);
    if (displaced) {
        Reporter_Value(reporter, "Validating", "%s", a.FixedLength ? "Values" : "Projection Distance");
        if (a.FixedLength)
            Reporter_Value(reporter, "Normal Length", "%.2g (fixed)", normalLength);
        else
            Reporter_Value(reporter, "Normal Length", "%.2g to %.2g", minimumLength, normalLength);
        Reporter_Value(reporter, "Two-sided Normals", "%s", a.OneSided ? "No" : "Yes");
    }
    Reporter_Value(reporter, "Maximum point increase", "%.0f%%", a.MaxIncrease * 100.0);
    if (a.FixedLength || a.GridPoints > 0) Reporter_Value(reporter, "Cone Angle", "%.2g", a.ConeAngle);
    if (a.GridPoints > 0) {
        Reporter_Value(reporter, "Grid points", "%d", a.GridPoints);
        Reporter_Value(reporter, "Grid point max dist", "%.2g", a.GridMaxDist);
    }
    Output out;
    if (a.FixedLength) {
        const double q = a.OneSided && a.MaxIncrease > 1.0 ? 1.0 : a.MaxIncrease;
        status = FixedLength(points, normalLength, a, a.OneSided, q, &out, reporter);
    } else {
        DensityGrid grid;
        double lo[3], hi[3], extent[3];
        for (int k = 0; k < 3; ++k) lo[k] = hi[k] = points->Location[k];
        for (int32_t i = 1; i < n; ++i)
            for (int k = 0; k < 3; ++k) {
                const double x = points->Location[3 * i + k];
                if (x < lo[k]) lo[k] = x;
                if (x > hi[k]) hi[k] = x;
            }
        const int32_t m = Density_BoxInit(a.GridPoints, lo, hi, &grid, extent);
        density::Control control;
        control.reporter = reporter;
        control.abort = reporter != nullptr ? &reporter->abort : nullptr;
        // The projection's share of the progress: one step per point with a
        // normal, out of the points and the grid points still to come.
        control.progressOf = reporter;
        if (reporter != nullptr && Reporter_Progress(reporter) < 0.0) Reporter_SetProgress(reporter, 0.0);
        control.step = reporter != nullptr ? std::fmax(0.0, 1.0 - Reporter_Progress(reporter)) / (n + m) : 0.0;
        status = density::ProjectPatches(n, points->Location, normals, normalLength, a.OneSided,
                                         displaced ? a.MaxIncrease : 0.0, m, &out, control);
        if (status == 10) status = 1;
        if (status == 0) {
            const int32_t removed = density::FilterPoints(&out, n, minimumLength);
            if (removed > 0)
                Reporter_Info(reporter, "%d normals shorter than %g were removed.", removed, minimumLength);
            if (a.GridPoints > 0) status = GridPass(points, normals, a, &out, reporter);
        }
    }
    if (status == 2) Reporter_Error(reporter, "Memory allocation failed.");
    if (status == 0) status = WriteBack(points, set, out);
    out.Free();
    return Finish(reporter, points, status);
}
