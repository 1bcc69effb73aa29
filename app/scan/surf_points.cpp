#include "app/scan/surf_points.h"

#include "app/scan/raw_data.h"
#include "app/scan/space_split.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// The scan point is erased at the record's edit limit.
bool Erased(const RawData& raw, const ScanPoint& p) {
    const uint32_t level = (p.Flags & kPointEraseMask) >> kPointEraseShift;
    return level != 0 && level <= raw.EditLimit;
}

template <class Visit>
void ForVisiblePoints(const RawData& raw, Visit visit) {
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (raw.Sweeps[s].Flags & kSweepHidden) continue;
        int32_t end = raw.SweepFirstPoint[s + 1];
        if (end > raw.NumPoints) end = raw.NumPoints;
        for (int32_t i = raw.SweepFirstPoint[s]; i < end; ++i)
            if (!Erased(raw, raw.Points[i])) visit(raw.Points[i]);
    }
}

uint8_t RoundGrey(double g) {
    const double r = std::floor(g + 0.5);
    return static_cast<uint8_t>(r < 0.0 ? 0.0 : r > 255.0 ? 255.0 : r);
}

// Weighted sums of one output point.
struct Sums {
    double p[3] = {0, 0, 0}, n[3] = {0, 0, 0};
    double res = 0, grey = 0, total = 0;
    int32_t count = 0;
    void Add(double w, const Vec3& pos, const Vec3& normal, double resolution, double g) {
        p[0] += w * pos.x, p[1] += w * pos.y, p[2] += w * pos.z;
        n[0] += w * normal.x, n[1] += w * normal.y, n[2] += w * normal.z;
        res += w * resolution;
        grey += w * g;
        total += w;
        ++count;
    }
    Vec3 Position() const {
        return Vec3{static_cast<float>(p[0] / total), static_cast<float>(p[1] / total),
                    static_cast<float>(p[2] / total)};
    }
    Vec3 Normal() const {
        Vec3 v{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
        V3_Normalise(v, v);
        return v;
    }
};

// The weight of a point is the reciprocal of its weight term. A term of 0
// (a scan point without variance, as some loaded scans have) would give an
// infinite weight and turn every sum it enters into NaN; it weighs 1e20
// instead, so that such a point still dominates its neighbourhood.
float Reciprocal(float w) { return w > 1e-20f ? 1.0f / w : 1e20f; }

}  // namespace

bool SurfPointSet_FromScan(SurfArena& arena, const RawData& raw, SurfPointSet& out) {
    std::memset(&out, 0, sizeof out);
    int32_t count = 0;
    ForVisiblePoints(raw, [&](const ScanPoint&) { ++count; });
    if (count == 0) return false;
    auto* block = static_cast<unsigned char*>(arena.Alloc(static_cast<std::size_t>(count) * 33));
    out.Owned = 1;
    out.Count = count;
    out.Block = block;
    out.Positions = reinterpret_cast<Vec3*>(block);
    out.Normals = out.Positions + count;
    out.Weights = reinterpret_cast<float*>(out.Normals + count);
    out.Resolutions = out.Weights + count;
    out.Greyscale = reinterpret_cast<uint8_t*>(out.Resolutions + count);
    int32_t k = 0;
    ForVisiblePoints(raw, [&](const ScanPoint& p) {
        out.Positions[k] = p.Vertex;
        out.Normals[k] = p.Normal;
        out.Weights[k] = p.Variance;
        out.Resolutions[k] = p.ResolutionSq;
        out.Greyscale[k] = p.Grey;
        ++k;
    });
    return true;
}

void Surface_ResizePoints(SurfaceRecord& s, int32_t n) {
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    s.Points = static_cast<Vec3*>(Surf_Resize(s.Points, count * sizeof(Vec3)));
    s.PointNormals = static_cast<Vec3*>(Surf_Resize(s.PointNormals, count * sizeof(Vec3)));
    s.Weights = static_cast<float*>(Surf_Resize(s.Weights, count * sizeof(float)));
    s.Resolutions = static_cast<float*>(Surf_Resize(s.Resolutions, count * sizeof(float)));
    s.Greyscale = static_cast<uint8_t*>(Surf_Resize(s.Greyscale, count));
    s.MaxPoints = n;
}

void Surface_ResizeFacets(SurfaceRecord& s, int32_t n) {
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) : 0;
    s.Facets = static_cast<int32_t*>(Surf_Resize(s.Facets, count * 3 * sizeof(int32_t)));
    s.FacetNormals = static_cast<Vec3*>(Surf_Resize(s.FacetNormals, count * sizeof(Vec3)));
    s.MaxFacets = n;
}

int32_t Surf_Smooth(SurfArena& arena, const SurfPointSet& in, float radius, SurfaceRecord& out,
                    const SurfProgress& progress, double start, double span) {
    Surface_ResizePoints(out, in.Count);
    out.NumPoints = 0;
    int32_t* done = arena.ZeroArray<int32_t>(in.Count);
    const float tolerance = radius * radius;
    const SplitRule rule{false, 1e10f, 0.003, true};
    auto leaf = [&](const int32_t* owned, int32_t ownedCount, const int32_t* neighbours, int32_t neighbourCount) {
        for (int32_t k = 0; k < ownedCount; ++k) {
            const int32_t i = owned[k];
            if (done[i]) continue;
            done[i] = 1;
            const Vec3& ni = in.Normals[i];
            if (V3_LengthSquared(ni) == 0.0f) continue;
            const Vec3& pi = in.Positions[i];
            Sums sums;
            sums.Add(Reciprocal(in.Weights[i]), pi, ni, in.Resolutions[i], in.Greyscale[i]);
            for (int32_t m = 0; m < neighbourCount; ++m) {
                const int32_t j = neighbours[m];
                if (j == i) continue;
                if (V3_BeyondTolerance(in.Positions[j], pi, tolerance)) continue;
                const float dot = V3_Dot(in.Normals[j], ni);
                if (!(dot > 0.0f)) continue;
                const float lateral = Line_DistanceSquared(in.Positions[j], pi, ni);
                const float w = Reciprocal(in.Weights[j]) * (1.0f - lateral / tolerance) * (dot * dot);
                sums.Add(w, in.Positions[j], in.Normals[j], in.Resolutions[j], in.Greyscale[j]);
            }
            const int32_t o = out.NumPoints++;
            out.Points[o] = sums.Position();
            out.PointNormals[o] = sums.Normal();
            out.Weights[o] = static_cast<float>(sums.count / sums.total);
            out.Resolutions[o] = static_cast<float>(sums.res / sums.total);
            out.Greyscale[o] = RoundGrey(sums.grey / sums.total);
        }
        return 0;
    };
    Surf_SplitSpace(
        arena, in.Positions, in.Count, in.Positions, in.Count, rule, progress, start, span,
        [radius](const int32_t*, int32_t) { return radius; }, leaf);
    arena.Free(done);
    return out.NumPoints == 0 ? 4 : 0;
}

namespace {

// The thinning's output, grown 1000 entries at a time in the arena.
struct ThinOutput {
    int32_t count = 0, capacity = 0;
    Vec3* positions = nullptr;
    Vec3* normals = nullptr;
    float* weights = nullptr;
    float* resolutions = nullptr;
    uint8_t* greyscale = nullptr;

    void Reserve(SurfArena& arena) {
        if (count < capacity) return;
        capacity = count + 1000;
        positions = arena.Grow(positions, capacity);
        normals = arena.Grow(normals, capacity);
        weights = arena.Grow(weights, capacity);
        resolutions = arena.Grow(resolutions, capacity);
        greyscale = arena.Grow(greyscale, capacity);
    }
};

}  // namespace

void Surf_Thin(SurfArena& arena, SurfaceRecord& s, float radius, const SurfProgress& progress, double start,
               double span, int32_t* seedOf) {
    const int32_t n = s.NumPoints;
    int32_t* done = arena.ZeroArray<int32_t>(n);
    const float tolerance = radius * radius * 0.5f;
    ThinOutput o;
    const SplitRule rule{true, FLT_MAX, 0.01, false};
    auto leaf = [&](const int32_t* owned, int32_t ownedCount, const int32_t* neighbours, int32_t neighbourCount) {
        for (int32_t k = 0; k < ownedCount; ++k) {
            const int32_t i = owned[k];
            if (done[i]) continue;
            done[i] = 1;
            if (seedOf) seedOf[i] = i;
            const Vec3& pi = s.Points[i];
            const Vec3& ni = s.PointNormals[i];
            Sums sums;
            sums.Add(Reciprocal(s.Weights[i]), pi, ni, 0.0, s.Greyscale[i]);
            for (int32_t m = 0; m < neighbourCount; ++m) {
                const int32_t j = neighbours[m];
                if (done[j]) continue;
                float distanceSq;
                if (!V3_WithinBox(pi, s.Points[j], tolerance, distanceSq)) continue;
                if (!(V3_Dot(ni, s.PointNormals[j]) >= 0.0f)) continue;
                done[j] = 1;
                if (seedOf) seedOf[j] = i;
                sums.Add(Reciprocal(s.Weights[j]), s.Points[j], s.PointNormals[j], 0.0, s.Greyscale[j]);
            }
            o.Reserve(arena);
            const int32_t c = o.count++;
            o.positions[c] = sums.Position();
            o.normals[c] = sums.Normal();
            o.weights[c] = static_cast<float>(sums.count / sums.total);
            const float floor = tolerance * 2.25f;
            o.resolutions[c] = s.Resolutions[i] > floor ? s.Resolutions[i] : floor;
            o.greyscale[c] = RoundGrey(sums.grey / sums.total);
        }
        return 0;
    };
    Surf_SplitSpace(
        arena, s.Points, n, s.Points, n, rule, progress, start, span,
        [radius](const int32_t*, int32_t) { return radius; }, leaf);
    arena.Free(done);
    Surface_ResizePoints(s, o.count);
    s.NumPoints = o.count;
    if (o.count > 0) {
        std::memcpy(s.Points, o.positions, sizeof(Vec3) * o.count);
        std::memcpy(s.PointNormals, o.normals, sizeof(Vec3) * o.count);
        std::memcpy(s.Weights, o.weights, sizeof(float) * o.count);
        std::memcpy(s.Resolutions, o.resolutions, sizeof(float) * o.count);
        std::memcpy(s.Greyscale, o.greyscale, o.count);
    }
    arena.Free(o.positions);
    arena.Free(o.normals);
    arena.Free(o.weights);
    arena.Free(o.resolutions);
    arena.Free(o.greyscale);
}

void Surf_CutOutliers(SurfaceRecord& s) {
    if (s.NumPoints <= 1) return;
    double sum = 0.0;
    for (int32_t i = 0; i < s.NumPoints; ++i) sum += s.Resolutions[i];
    const double limit = 25.0 * (sum / s.NumPoints);
    int32_t kept = 0;
    for (int32_t i = 0; i < s.NumPoints; ++i) {
        if (!(s.Resolutions[i] < limit)) continue;
        s.Points[kept] = s.Points[i];
        s.PointNormals[kept] = s.PointNormals[i];
        s.Weights[kept] = s.Weights[i];
        s.Resolutions[kept] = s.Resolutions[i];
        s.Greyscale[kept] = s.Greyscale[i];
        ++kept;
    }
    s.NumPoints = kept;
}
