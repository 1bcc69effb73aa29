// Scans made straight from points, for the surface tests: sweeps of given
// scan points (and facets), with a profile count that lets the builder run
// but nothing for the profile processing to do.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/scan/raw_data.h"
#include "app/scan/tests/scan_record_fixture.h"

namespace surface_test {

inline ScanPoint MakePoint(Vec3 p, Vec3 n, float variance = 1.0f, float resolutionSq = 0.25f, uint8_t grey = 128) {
    ScanPoint s{};
    s.Vertex = p;
    s.Normal = n;
    s.Variance = variance;
    s.ResolutionSq = resolutionSq;
    s.Grey = grey;
    return s;
}

class CloudScan {
  public:
    explicit CloudScan(std::size_t blockBytes = 64u << 20) : scan_(blockBytes) {
        // One profile in force, none held: the builder runs, the profile
        // processing finds nothing to do.
        raw().NumProfiles = 1;
    }
    RawData& raw() { return scan_.raw(); }

    // Appends a sweep of points (and facets indexing the whole scan).
    void AddSweep(const std::vector<ScanPoint>& points, uint32_t flags = 0, const std::vector<Facet>& facets = {}) {
        RawData& r = raw();
        ASSERT_TRUE(RawData_GrowSweeps(r));
        const int32_t s = r.NumSweeps;
        std::memset(&r.Sweeps[s], 0, sizeof(SweepRecord));
        r.Sweeps[s].Flags = flags;
        points_.insert(points_.end(), points.begin(), points.end());
        facets_.insert(facets_.end(), facets.begin(), facets.end());
        r.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*r.PointBlock, sizeof(ScanPoint) * (points_.size() + 1)));
        std::memcpy(r.Points, points_.data(), sizeof(ScanPoint) * points_.size());
        r.NumPoints = r.MaxPoints = static_cast<int32_t>(points_.size());
        r.Facets = static_cast<Facet*>(BigBuffer_Alloc(*r.FacetBlock, sizeof(Facet) * (facets_.size() + 1)));
        r.FacetNormals = static_cast<Vec3*>(BigBuffer_Alloc(*r.FacetNormalBlock, sizeof(Vec3) * (facets_.size() + 1)));
        for (std::size_t f = 0; f < facets_.size(); ++f) {
            r.Facets[f] = facets_[f];
            r.FacetNormals[f] = Vec3{0.0f, 0.0f, 1.0f};
        }
        r.NumFacets = r.MaxFacets = static_cast<int32_t>(facets_.size());
        r.SweepFirstPoint[s + 1] = r.NumPoints;
        r.SweepFirstFacet[s + 1] = r.NumFacets;
        r.NumSweeps = r.TotalSweeps = s + 1;
    }

  private:
    scan_test::TestScan scan_;
    std::vector<ScanPoint> points_;
    std::vector<Facet> facets_;
};

// A square grid of points on the plane z = height, normals +z, with a small
// fixed in-plane wobble so that no four points lie on one circle.
inline std::vector<ScanPoint> GridPoints(int nx, int ny, float spacing, float height = 0.0f, float x0 = 0.0f) {
    std::vector<ScanPoint> points;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const float wx = 0.07f * spacing * std::sin(1.7f * i + 2.3f * j);
            const float wy = 0.07f * spacing * std::cos(2.9f * i - 1.1f * j);
            points.push_back(MakePoint(Vec3{x0 + i * spacing + wx, j * spacing + wy, height}, Vec3{0, 0, 1}, 1.0f,
                                       spacing * spacing));
        }
    return points;
}

// Points spread evenly over a sphere (a Fibonacci lattice), outward normals.
inline std::vector<ScanPoint> SpherePoints(int n, float radius, Vec3 centre = {0, 0, 0}) {
    std::vector<ScanPoint> points;
    const double golden = 3.14159265358979 * (3.0 - std::sqrt(5.0));
    const float spacing = radius * std::sqrt(4.0f * 3.14159265f / n);
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - 2.0 * (k + 0.5) / n;
        const double r = std::sqrt(1.0 - z * z);
        const Vec3 u{static_cast<float>(r * std::cos(golden * k)), static_cast<float>(r * std::sin(golden * k)),
                     static_cast<float>(z)};
        points.push_back(MakePoint(Vec3{centre.x + radius * u.x, centre.y + radius * u.y, centre.z + radius * u.z}, u,
                                   1.0f, spacing * spacing));
    }
    return points;
}

inline GeneralSettings DefaultSurfaceSettings() {
    GeneralSettings g{};
    g.BasicReduceEnabled = 1;
    g.ProfileThreshold = 100.0f;
    g.ProfileProcessMode = 3;
    g.BasicParams = BasicSurfParams{1, 2.0f, 2.5f, 0, 0.1f, 1, 1};
    g.Stylus.SurfaceDistance = 5.0f;
    return g;
}

}  // namespace surface_test
