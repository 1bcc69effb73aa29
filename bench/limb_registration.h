// The first two sweeps of the simulator's limb scenario (neighbouring sides)
// through the program's field checks, profile building and processing, the
// second moved by a known offset, for the programs that measure how sweep
// registration undoes it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/scan/svd.h"
#include "app/scan/sweep_register.h"
#include "bench/limb_acquisition.h"

namespace bench {

// The limb runs along x; the offset turns the second sweep 0.5 degrees about
// the vertical through its centroid (an axis across the limb), then shifts
// it 1 mm across (vertically) and 1 mm along the limb.
constexpr float kOffsetDegrees = 0.5f;
constexpr float kOffsetAcross = 1.0f;
constexpr float kOffsetAlong = 1.0f;

struct LimbPair {
    std::unique_ptr<scan_test::TestScan> scan;
    Matrix4 offset;  // what moved sweep 1 away from where it was scanned
    Vec3 axis;       // the limb's axis (unit)
    Vec3 centroid;   // sweep 1's centroid before the offset
    Vec3 axisPoint;  // the point of the limb's axis beside that centroid
};

// The simulated unit of the limb scenario's first two presses, or null.
inline std::shared_ptr<sim::DeviceCore> LimbPairDevice() {
    sim::Scenario parsed;
    sim::ScenarioError error;
    if (!sim::ParseScenario(sim::DefaultScenarioText(), &parsed, &error) || parsed.presses.size() < 2) return nullptr;
    parsed.presses.resize(2);
    return std::make_shared<sim::DeviceCore>(std::move(parsed));
}

inline Vec3 SweepCentroid(const RawData& r, int32_t s) {
    double x = 0, y = 0, z = 0;
    const int32_t first = r.SweepFirstPoint[s], end = r.SweepFirstPoint[s + 1];
    for (int32_t i = first; i < end; ++i)
        x += r.Points[i].Vertex.x, y += r.Points[i].Vertex.y, z += r.Points[i].Vertex.z;
    const double n = end > first ? end - first : 1;
    return Vec3{float(x / n), float(y / n), float(z / n)};
}

// The centre of the circle that fits, across direction a, the points in a
// slab 15 mm either side of `at` (the limb is round there; the sweeps cover
// different sides of it).
inline bool SlabCentre(const std::vector<Vec3D>& points, const Vec3D& a, const Vec3D& at, Vec3D& centre) {
    auto dot = [](const Vec3D& p, const Vec3D& q) { return p.x * q.x + p.y * q.y + p.z * q.z; };
    Vec3D u, v;
    V3D_Cross(a, std::fabs(a.z) < 0.9 ? Vec3D{0, 0, 1} : Vec3D{1, 0, 0}, u);
    V3D_Normalise(u, u);
    V3D_Cross(a, u, v);
    // Least squares of 2 cu pu + 2 cv pv + k = pu² + pv² (normal equations).
    double n[3][4] = {};
    for (const Vec3D& p : points) {
        const Vec3D d{p.x - at.x, p.y - at.y, p.z - at.z};
        if (std::fabs(dot(d, a)) > 15.0) continue;
        const double row[4] = {2 * dot(d, u), 2 * dot(d, v), 1.0, dot(d, u) * dot(d, u) + dot(d, v) * dot(d, v)};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j) n[i][j] += row[i] * row[j];
    }
    for (int k = 0; k < 3; ++k) {  // Gauss-Jordan; the matrix is positive definite
        if (!(std::fabs(n[k][k]) > 1e-9)) return false;
        for (int i = 0; i < 3; ++i) {
            if (i == k) continue;
            const double f = n[i][k] / n[k][k];
            for (int j = 0; j < 4; ++j) n[i][j] -= f * n[k][j];
        }
    }
    const double cu = n[0][3] / n[0][0], cv = n[1][3] / n[1][1];
    centre = Vec3D{at.x + cu * u.x + cv * v.x, at.y + cu * u.y + cv * v.y, at.z + cu * u.z + cv * v.z};
    return true;
}

// The limb's axis beside sweep 1 from the scan itself: the line through the
// circle centres of two slabs 80 mm either side of sweep 1's centroid
// (starting from the points' direction of greatest spread, which the taper
// tilts), and the centre of the slab at the centroid.
inline bool LimbAxis(const RawData& r, const Vec3& near, Vec3& axis, Vec3& axisPoint) {
    std::vector<Vec3D> points;
    for (int32_t i = 0; i < r.SweepFirstPoint[2]; ++i)
        points.push_back(Vec3D{r.Points[i].Vertex.x, r.Points[i].Vertex.y, r.Points[i].Vertex.z});
    Vec3D centroid, a;
    if (!Svd_FitPlaneOrLine(int32_t(points.size()), points.data(), centroid, &a, nullptr, nullptr, nullptr, nullptr))
        return false;
    if (a.x < 0) a = Vec3D{-a.x, -a.y, -a.z};
    const Vec3D c{near.x, near.y, near.z};
    Vec3D centre = c;
    for (int pass = 0; pass < 5; ++pass) {
        Vec3D low, high;
        const Vec3D atLow{centre.x - 80 * a.x, centre.y - 80 * a.y, centre.z - 80 * a.z};
        const Vec3D atHigh{centre.x + 80 * a.x, centre.y + 80 * a.y, centre.z + 80 * a.z};
        if (!SlabCentre(points, a, atLow, low) || !SlabCentre(points, a, atHigh, high)) return false;
        V3D_Normalise(Vec3D{high.x - low.x, high.y - low.y, high.z - low.z}, a);
        if (!SlabCentre(points, a, c, centre)) return false;
    }
    axis = Vec3{float(a.x), float(a.y), float(a.z)};
    axisPoint = Vec3{float(centre.x), float(centre.y), float(centre.z)};
    return true;
}

// Acquires the two sweeps and moves the second by the offset; false when
// the scan could not be made.
inline bool MakeLimbPair(LimbPair& pair) {
    auto device = LimbPairDevice();
    pair.scan = std::make_unique<scan_test::TestScan>(64u << 20);
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error) / "limb_registration";
    fs::create_directories(folder, error);
    if (!device || !AcquireScenario(*device, *pair.scan, folder.string() + "/")) return false;
    RawData& r = pair.scan->raw();
    if (r.NumSweeps != 2) return false;
    pair.centroid = SweepCentroid(r, 1);
    if (!LimbAxis(r, pair.centroid, pair.axis, pair.axisPoint)) return false;
    // Across the limb and vertical: the axis's part perpendicular to z.
    Vec3 up{0.0f, 0.0f, 1.0f}, across;
    V3_AddScaled(up, -V3_Dot(up, pair.axis), pair.axis, across);
    V3_Normalise(across, across);
    Matrix4 m;
    M4_MakeTranslation(Vec3{-pair.centroid.x, -pair.centroid.y, -pair.centroid.z}, m);
    M4_RotateAxis(across, kOffsetDegrees, m);
    M4_Translate(Vec3{pair.centroid.x + kOffsetAcross * across.x + kOffsetAlong * pair.axis.x,
                      pair.centroid.y + kOffsetAcross * across.y + kOffsetAlong * pair.axis.y,
                      pair.centroid.z + kOffsetAcross * across.z + kOffsetAlong * pair.axis.z},
                 m);
    pair.offset = m;
    SweepReg_MoveSweep(r, 1, m);
    return true;
}

// How far a movement of sweep 1 (applied after the offset) is from undoing
// it: the rotation left over, about the limb's axis and across it, in
// degrees, and the shift left over, along and across, of the axis point
// beside sweep 1 (so that a turn about the axis, which slides the sweep
// round the limb, shows as rotation about it and not as a shift).
struct Recovery {
    double rotationAbout, rotationAcross, shiftAlong, shiftAcross;
};

inline Recovery MeasureRecovery(const LimbPair& pair, const Matrix4& movement) {
    Matrix4 total;
    M4_Multiply(movement, pair.offset, total);
    // Rotation vector of the 3x3 part (points are rows, p·M).
    const double trace = double(total[0]) + total[5] + total[10];
    const double angle = std::acos(std::max(-1.0, std::min(1.0, (trace - 1.0) / 2.0)));
    const double s = std::sin(angle);
    Vec3D w{0, 0, 0};
    if (s > 1e-12) {
        const double f = angle / (2.0 * s);
        // Row convention: the transposed matrix rotates column vectors.
        w = Vec3D{f * (total[6] - total[9]), f * (total[8] - total[2]), f * (total[1] - total[4])};
    }
    const Vec3D a{pair.axis.x, pair.axis.y, pair.axis.z};
    const double about = w.x * a.x + w.y * a.y + w.z * a.z;
    const Vec3D rest{w.x - about * a.x, w.y - about * a.y, w.z - about * a.z};
    const double degrees = 180.0 / 3.14159265358979323846;
    Vec3 moved;
    M4_TransformPoint(total, pair.axisPoint, moved);
    const Vec3D d{double(moved.x) - pair.axisPoint.x, double(moved.y) - pair.axisPoint.y,
                  double(moved.z) - pair.axisPoint.z};
    const double along = d.x * a.x + d.y * a.y + d.z * a.z;
    const Vec3D side{d.x - along * a.x, d.y - along * a.y, d.z - along * a.z};
    return Recovery{about * degrees, std::sqrt(rest.x * rest.x + rest.y * rest.y + rest.z * rest.z) * degrees, along,
                    std::sqrt(side.x * side.x + side.y * side.y + side.z * side.z)};
}

// The movement a registration left on sweep 1 relative to sweep 0.
inline Matrix4 RelativeMovement(const RawData& r) {
    Matrix4 first, second, inverse, out;
    M4_Identity(first);
    M4_Identity(second);
    if (r.Sweeps[0].Flags & kSweepPendingTransform) first = r.Sweeps[0].PendingTransform;
    if (r.Sweeps[1].Flags & kSweepPendingTransform) second = r.Sweeps[1].PendingTransform;
    M4_InvertRigid(first, inverse);
    M4_Multiply(inverse, second, out);
    return out;
}

}  // namespace bench
