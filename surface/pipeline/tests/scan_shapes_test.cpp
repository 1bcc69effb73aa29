// Whole builds of small scans: a closed sphere and torus lie on their true
// surfaces, and a hemisphere trimmed by distance or from its boundary keeps
// no vertex farther from the scan than the trim distance.
#include <gtest/gtest.h>

#include <cmath>
#include <unordered_map>

#include "surface/pipeline/tests/scan_fixture.h"

namespace {

using scan_fixture::Context;
using scan_fixture::Scan;
using scan_fixture::Shape;

TEST(ScanShapes, ClosedSphereAndTorusLieOnTheTrueSurface) {
    for (Shape shape : {Shape::Sphere, Shape::Torus}) {
        SCOPED_TRACE(shape == Shape::Sphere ? "sphere" : "torus");
        const Scan scan = scan_fixture::MakeScan(shape, 20000, 3);
        Context ctx;
        const ScanFitParams p = scan_fixture::Params(scan_fixture::Spacing(scan), 0.02f, 1.0f, 1);
        ASSERT_EQ(ctx.Build(p, scan), 1);
        const Mesh3& mesh = *ctx.c.OutputMesh;
        EXPECT_TRUE(scan_fixture::Closed(mesh));
        double sum = 0.0;
        for (int32_t i = 0; i < mesh.Points.Count; ++i) {
            const double d = scan.Distance(&mesh.Points.Location[3 * i]);
            sum += d * d;
        }
        const double rms = std::sqrt(sum / mesh.Points.Count);
        EXPECT_LT(rms, 0.05);
        RecordProperty(shape == Shape::Sphere ? "sphere_rms" : "torus_rms", std::to_string(rms));
    }
}

// The distance from p to the nearest scan point, through cells of the trim
// distance (anything farther than that counts as the cell size).
class NearestScanPoint {
  public:
    NearestScanPoint(const Scan& scan, double cell) : scan_(scan), cell_(cell) {
        for (int32_t i = 0; i < scan.count(); ++i) cells_[Key(&scan.points[3 * i])].push_back(i);
    }
    double Distance(const double* p) const {
        double best = 2.0 * cell_;
        const int64_t c[3] = {Cell(p[0]), Cell(p[1]), Cell(p[2])};
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dz = -1; dz <= 1; ++dz) {
                    const auto it = cells_.find(Pack(c[0] + dx, c[1] + dy, c[2] + dz));
                    if (it == cells_.end()) continue;
                    for (int32_t i : it->second) {
                        const float* q = &scan_.points[3 * i];
                        best = std::fmin(best, std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                                                         (p[2] - q[2]) * (p[2] - q[2])));
                    }
                }
        return best;
    }

  private:
    int64_t Cell(double x) const { return static_cast<int64_t>(std::floor(x / cell_)); }
    static int64_t Pack(int64_t x, int64_t y, int64_t z) {
        return (x + 100000) * 10000000000LL + (y + 100000) * 100000 + z;
    }
    int64_t Key(const float* p) const { return Pack(Cell(p[0]), Cell(p[1]), Cell(p[2])); }
    const Scan& scan_;
    double cell_;
    std::unordered_map<int64_t, std::vector<int32_t>> cells_;
};

TEST(ScanShapes, TrimmedHemisphereKeepsNoVertexBeyondTheTrimDistance) {
    const Scan scan = scan_fixture::MakeScan(Shape::Hemisphere, 10000, 5);
    for (int32_t close : {2, 3}) {
        SCOPED_TRACE(close);
        Context ctx;
        ScanFitParams p = scan_fixture::Params(scan_fixture::Spacing(scan), 0.05f, 1.0f, close);
        p.ExtraTrim = 1.5f;
        const double trim = p.ExtraTrim + p.Resolution;
        ASSERT_EQ(ctx.Build(p, scan), 1);
        const Mesh3& mesh = *ctx.c.OutputMesh;
        ASSERT_GT(mesh.Faces.TriCount, 1000);
        const NearestScanPoint nearest(scan, trim);
        double worst = 0.0;
        for (int32_t i = 0; i < mesh.Points.Count; ++i)
            worst = std::fmax(worst, nearest.Distance(&mesh.Points.Location[3 * i]));
        EXPECT_LE(worst, trim);
        // Every face names a point of the trimmed list.
        for (int32_t f = 0; f < 3 * mesh.Faces.TriCount; ++f) ASSERT_LT(mesh.Faces.Tri[f], mesh.Points.Count);
    }
}

}  // namespace
