// Scans for the clip tests: an object (a dome) resting on a baseline plane
// sweep, its sweeps split into a first and a second part, and the brute-force
// answer of what a clip must remove, by looking at every pair of points.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "app/export/clip_tool.h"
#include "app/scan/raw_data.h"

namespace clip_scans {

inline double Uniform(std::mt19937& rng) { return rng() / 4294967296.0; }

inline uint32_t Level(const ScanPoint& p) { return (p.Flags & kPointEraseMask) >> kPointEraseShift; }

// A scan record over vectors the test owns; sweeps are added in order.
class ClipScan {
  public:
    ClipScan() { std::memset(&raw_, 0, sizeof raw_); }

    void AddSweep(const std::vector<ScanPoint>& points, uint32_t flags) {
        sweeps_.push_back(SweepRecord{});
        sweeps_.back().Flags = flags;
        if (first_.empty()) first_.push_back(0);
        points_.insert(points_.end(), points.begin(), points.end());
        first_.push_back(static_cast<int32_t>(points_.size()));
        Attach();
    }
    RawData& Raw() { return raw_; }
    std::vector<ScanPoint>& Points() { return points_; }
    int32_t SweepOf(int32_t i) const {
        int32_t s = 0;
        while (first_[s + 1] <= i) ++s;
        return s;
    }
    std::vector<uint32_t> Levels() const {
        std::vector<uint32_t> out;
        for (const ScanPoint& p : points_) out.push_back(Level(p));
        return out;
    }

  private:
    void Attach() {
        raw_.Sweeps = sweeps_.data();
        raw_.NumSweeps = raw_.TotalSweeps = raw_.MaxSweeps = static_cast<int32_t>(sweeps_.size());
        raw_.SweepFirstPoint = first_.data();
        raw_.Points = points_.data();
        raw_.NumPoints = raw_.MaxPoints = static_cast<int32_t>(points_.size());
    }
    RawData raw_;
    std::vector<SweepRecord> sweeps_;
    std::vector<int32_t> first_;
    std::vector<ScanPoint> points_;
};

inline ScanPoint Point(Vec3 at, Vec3 normal) {
    ScanPoint p{};
    p.Vertex = at;
    V3_Normalise(normal, p.Normal);
    return p;
}

// The plane z = 0 sampled every 2 mm, normals up with a little tilt.
inline std::vector<ScanPoint> BaselinePlane(std::mt19937& rng) {
    std::vector<ScanPoint> out;
    for (int i = -20; i <= 20; ++i)
        for (int j = -20; j <= 20; ++j)
            out.push_back(Point(Vec3{2.0f * i, 2.0f * j, 0.0f},
                                Vec3{static_cast<float>(0.1 * (Uniform(rng) - 0.5)), 0.0f, 1.0f}));
    return out;
}

// A dome of radius 25 on the plane, with points reaching down to it; normals
// point outwards, so near the plane they lie almost across the plane's.
inline std::vector<ScanPoint> Dome(std::mt19937& rng, int32_t count, float lift) {
    std::vector<ScanPoint> out;
    for (int32_t k = 0; k < count; ++k) {
        const double a = 2 * kGeometryPi * Uniform(rng);
        const double e = 0.5 * kGeometryPi * Uniform(rng);
        const Vec3 n{static_cast<float>(std::cos(a) * std::cos(e)), static_cast<float>(std::sin(a) * std::cos(e)),
                     static_cast<float>(std::sin(e))};
        out.push_back(Point(Vec3{25 * n.x, 25 * n.y, 25 * n.z + lift}, n));
    }
    return out;
}


// An object on a baseline sweep, the dome split into a first and a second
// part, a hidden sweep lying on the plane.
inline ClipScan ObjectOnPlane() {
    std::mt19937 rng(11);
    ClipScan scan;
    scan.AddSweep(BaselinePlane(rng), 0);
    scan.AddSweep(Dome(rng, 1500, 0.5f), 0);
    scan.AddSweep(Dome(rng, 1500, 0.3f), kSweepFlipped);
    scan.AddSweep(Dome(rng, 200, -0.2f), kSweepHidden);
    return scan;
}


inline bool Live(const RawData& raw, const ScanPoint& p) { return Level(p) == 0 || Level(p) > raw.EditLimit; }

// What the clip must remove, by looking at every pair.
inline std::vector<bool> BruteForce(ClipScan& scan, int32_t method, int32_t baseline, float tolerance, float cosAngle) {
    RawData& raw = scan.Raw();
    const auto& pts = scan.Points();
    auto hidden = [&](int32_t s) { return (raw.Sweeps[s].Flags & kSweepHidden) != 0; };
    auto second = [&](int32_t s) { return (raw.Sweeps[s].Flags & kSweepFlipped) != 0; };
    Vec3 m{0, 0, 0};
    if (baseline >= 0) {
        for (size_t i = 0; i < pts.size(); ++i)
            if (scan.SweepOf(static_cast<int32_t>(i)) == baseline && Live(raw, pts[i])) V3_Add(m, pts[i].Normal, m);
        V3_Normalise(m, m);
    }
    std::vector<bool> out(pts.size(), false);
    for (size_t i = 0; i < pts.size(); ++i) {
        const int32_t s = scan.SweepOf(static_cast<int32_t>(i));
        if (hidden(s) || !Live(raw, pts[i])) continue;
        if (s == baseline) {
            out[i] = true;
            continue;
        }
        bool near = false;
        for (size_t j = 0; j < pts.size() && !near; ++j) {
            const int32_t t = scan.SweepOf(static_cast<int32_t>(j));
            if (hidden(t) || !Live(raw, pts[j])) continue;
            const bool reference =
                method == kClipBaselineSeparation ? t == baseline : t != baseline && second(t) != second(s);
            near = reference && V3_DistanceSquared(pts[i].Vertex, pts[j].Vertex) < tolerance * tolerance;
        }
        out[i] = near && (baseline < 0 || std::fabs(V3_Dot(pts[i].Normal, m)) >= cosAngle);
    }
    return out;
}

}  // namespace clip_scans
