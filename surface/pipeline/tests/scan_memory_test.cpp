// Repeated full builds in one context, as a user who rebuilds the same scan
// again and again: each build must give back every tracked byte it took, so
// that the next one gets the same memory budget, reaches the same peak and
// makes the same mesh.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "surface/frame/tracked_memory.h"
#include "surface/pipeline/tests/scan_fixture.h"

namespace {

using scan_fixture::Context;
using scan_fixture::Scan;

struct Outcome {
    uint32_t current = 0, peak = 0;
    std::vector<double> points;
    std::vector<int32_t> triangles;
};

Outcome BuildFromStart(Context* ctx, const ScanFitParams& p, const Scan& scan) {
    EXPECT_EQ(ctx->Build(p, scan, 1), 1);
    const Mesh3& mesh = *ctx->c.OutputMesh;
    Outcome o;
    o.current = Mem_CurrentBytes();
    o.peak = Mem_PeakBytes();
    o.points.assign(mesh.Points.Location, mesh.Points.Location + 3 * mesh.Points.Count);
    o.triangles.assign(mesh.Faces.Tri, mesh.Faces.Tri + 3 * mesh.Faces.TriCount);
    return o;
}

// Accuracy 0.1 runs the centre reduction, 0.5 the error-bar fitter.
class RepeatedBuilds : public ::testing::TestWithParam<float> {};

TEST_P(RepeatedBuilds, TenBuildsLeaveTheTrackedCountWhereTheFirstLeftIt) {
    const Scan scan = scan_fixture::MakeScan(scan_fixture::Shape::Sphere, 1500, 5);
    const ScanFitParams p = scan_fixture::Params(scan_fixture::Spacing(scan), GetParam(), 3.0f, 1);
    Context ctx;
    const uint32_t before = Mem_CurrentBytes();
    const Outcome first = BuildFromStart(&ctx, p, scan);
    ASSERT_FALSE(first.triangles.empty());
    for (int build = 2; build <= 10; ++build) {
        SCOPED_TRACE(build);
        const Outcome next = BuildFromStart(&ctx, p, scan);
        EXPECT_EQ(next.current, first.current);
        // The fitters' budget is the limit less the current count, and the
        // peak is never lowered: an equal peak shows an equal budget used.
        EXPECT_EQ(next.peak, first.peak);
        EXPECT_EQ(next.points, first.points);
        EXPECT_EQ(next.triangles, first.triangles);
    }
    // What the context holds is run-time memory of its own: freeing it
    // leaves the count where it was before the first build.
    Morlith_FreeData(&ctx.c);
    EXPECT_EQ(Mem_CurrentBytes(), before);
}

INSTANTIATE_TEST_SUITE_P(BothReducedFitters, RepeatedBuilds, ::testing::Values(0.1f, 0.5f));

}  // namespace
