// AAOP limb slicing: analytic meshes against their closed forms, the height
// loop, the crossing rules and the set-ups the slicing refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "app/export/aaop_slice.h"
#include "app/export/tests/ortho_meshes.h"
#include "app/scan/stylus_items.h"

namespace {

using namespace ortho_test;

struct AnalyticCase {
    const char* name;
    LocalMesh mesh;
    // Semi-axes of the true section at local height y: along x (w) and z (u).
    std::function<void(double y, double& ax, double& az)> section;
    double minCurvatureRadius;
    float lower, upper;
};

std::vector<AnalyticCase> AnalyticCases() {
    std::vector<AnalyticCase> cases;
    cases.push_back({"cylinder", Cylinder(40, -10, 210, 45, 128), [](double, double& ax, double& az) { ax = az = 40; },
                     40, 0, 200});
    cases.push_back({"cone frustum", Frustum(55, 30, 0, 240, 49, 128),
                     [](double y, double& ax, double& az) { ax = az = 55 - 25 * y / 240; }, 30, 5, 235});
    cases.push_back({"ellipsoid", Ellipsoid(45, 160, 32, 161, 160),
                     [](double y, double& ax, double& az) {
                         const double f = std::sqrt(1 - y * y / (160.0 * 160.0));
                         ax = 45 * f;
                         az = 32 * f;
                     },
                     32.0 * 32.0 / 160.0, 100, -110});  // limits given upside down on purpose
    return cases;
}

// Radii at every sample against r(theta), and the area from the radii
// against pi a b, within the chordal error and the inscribed polygon's term.
TEST(AaopSliceAnalytic, RadiiAndAreasMatchTheClosedForms) {
    for (AnalyticCase& c : AnalyticCases()) {
        SCOPED_TRACE(c.name);
        const Pose pose = TiltedPose();
        PlacedSurface surface(c.mesh, pose);
        OrthoJob job;
        job.Setup = AaopSetup(pose, c.lower, c.upper, 5.0f);
        job.Setup.AdaptiveSpacing = 0;
        job.Setup.SliceSpacing = 10;
        OrthoModel model;
        std::string error;
        ASSERT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 0) << error;
        const double edge = LongestEdge(c.mesh);
        const double chordal = edge * edge / (8 * c.minCurvatureRadius);
        const double lower = std::min(c.lower, c.upper);
        const int n = model.PointsPerSlice;
        ASSERT_EQ(n, 72);
        const double delta = 2 * kPi / n;
        const double crossingSpan = 2 * kPi / c.mesh.around;
        double worstRadius = 0, worstRadiusBound = 0, worstArea = 0;
        for (const OrthoSlice& s : model.Slices) {
            double ax, az;
            c.section(s.Height + lower, ax, az);
            // Radius interpolated linearly in angle across one crossing:
            // off by at most span^2 / 8 times the largest |r''|.
            double curvature = 0;
            for (int k = 0; k < 720; ++k) {
                const double t = 2 * kPi * k / 720, h = 1e-3;
                curvature = std::max(curvature, std::fabs(EllipseRadius(ax, az, t + h) - 2 * EllipseRadius(ax, az, t) +
                                                          EllipseRadius(ax, az, t - h)) /
                                                    (h * h));
            }
            const double bound = 1.05 * chordal + crossingSpan * crossingSpan / 8 * curvature + 1e-4 * ax;
            double area = 0;
            for (int i = 0; i < n; ++i) {
                const double expected = EllipseRadius(ax, az, i * delta);
                const double error = std::fabs(s.Radii[i] - expected);
                if (error > worstRadius) worstRadius = error;
                worstRadiusBound = std::max(worstRadiusBound, bound);
                EXPECT_LE(error, bound) << "height " << s.Height << " sample " << i;
                area += 0.5 * s.Radii[i] * s.Radii[(i + 1) % n] * std::sin(delta);
            }
            const double exact = kPi * ax * az;
            const double polygon = exact * (1 - std::sin(delta) / delta);
            const double perimeter = EllipsePerimeter(ax, az);
            const double areaError = std::fabs(area - exact);
            EXPECT_LE(areaError, polygon + perimeter * bound) << "height " << s.Height;
            worstArea = std::max(worstArea, areaError / exact);
        }
        std::printf(
            "[ measured ] %s: %zu slices, chordal bound %.4f mm, worst radius error %.4f mm (bound %.4f), "
            "worst relative area error %.5f\n",
            c.name, model.Slices.size(), chordal, worstRadius, worstRadiusBound, worstArea);
        EXPECT_DOUBLE_EQ(model.Slices.front().Height, 0.0);
        EXPECT_NEAR(model.Slices.back().Height, std::fabs(c.upper - c.lower), 1e-4);
    }
}

// The height loop: where slices fall for fixed and adaptive spacing, both
// end modes and both orders of the limits.
TEST(AaopSliceHeights, LoopPlacesSlicesAsTabled) {
    struct Row {
        const char* name;
        float limit1, limit2;
        int32_t endMode, adaptive;
        float spacing;
        std::vector<double> heights;  // in the model, lowest first
    };
    const Row rows[] = {
        {"overshoot ends at the upper limit", 20, 45, -1, 0, 10, {0, 10, 20, 25}},
        {"exact multiple makes no duplicate", 20, 50, -1, 0, 10, {0, 10, 20, 30}},
        {"limits in the other order", 50, 20, -1, 0, 10, {0, 10, 20, 30}},
        {"closed lower end", 20, 50, 0, 0, 10, {0, 10, 20, 30}},
        {"closed upper end slices downwards", 20, 45, 1, 0, 10, {0, 5, 15, 25}},
        {"equal limits make one slice", 30, 30, -1, 0, 10, {0}},
        {"1 mm after a closed end", 20, 22.5f, 0, 1, 0, {0, 1, 2, 2.5}},
    };
    const Pose pose = TiltedPose();
    LocalMesh mesh = Cylinder(4, 0, 100, 101, 32);  // chords of 0.78 mm: adaptive steps of 1 mm
    PlacedSurface surface(mesh, pose);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        OrthoJob job;
        job.Setup = AaopSetup(pose, r.limit1, r.limit2, 10);
        job.Setup.EndMode = r.endMode;
        job.Setup.AdaptiveSpacing = r.adaptive;
        job.Setup.SliceSpacing = r.spacing;
        std::vector<float> progress;
        job.User = &progress;
        job.Progress = [](float f, OrthoJob& j) {
            static_cast<std::vector<float>*>(j.User)->push_back(f);
            return true;
        };
        OrthoModel model;
        std::string error;
        ASSERT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 0) << error;
        ASSERT_EQ(model.Slices.size(), r.heights.size());
        for (std::size_t k = 0; k < r.heights.size(); ++k) EXPECT_NEAR(model.Slices[k].Height, r.heights[k], 1e-5);
        EXPECT_EQ(progress.back(), 1.0f);
        const bool closedTop = r.endMode == 1, closedBottom = r.endMode == 0;
        for (std::size_t k = 0; k < model.Slices.size(); ++k) {
            const bool closed = (closedBottom && k == 0) || (closedTop && k + 1 == model.Slices.size());
            for (float radius : model.Slices[k].Radii) {
                if (closed)
                    EXPECT_EQ(radius, 0.0f);
                else
                    EXPECT_NEAR(radius, 4.0f, 0.03f);
            }
        }
        EXPECT_EQ(model.StripCount, static_cast<int32_t>(r.heights.size()) - 1);
    }
}

// A fixed spacing of 0 or less would never move on, and a point spacing of 0
// or less asks for no or a negative number of samples: refused with result 3.
TEST(AaopSliceRefusals, SpacingsThatCannotWorkAreRefused) {
    struct Row {
        float angle, slice;
        int32_t adaptive;
        int result;
        const char* text;
    } rows[] = {
        {0, 5, 0, 3, "Point spacing must be > 0 degrees"},
        {-4, 5, 1, 3, "Point spacing must be > 0 degrees"},
        {90.5f, 5, 0, 3, "Point spacing must be <= 90 degrees"},
        {10, 0, 0, 3, "Slice spacing must be > 0 mm"},
        {10, -2, 0, 3, "Slice spacing must be > 0 mm"},
        {10, 0, 1, 0, ""},
        {90, 5, 0, 0, ""},
    };
    const Pose pose = TiltedPose();
    LocalMesh mesh = Cylinder(10, 0, 40, 9, 32);
    PlacedSurface surface(mesh, pose);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.angle) + " / " + std::to_string(r.slice));
        OrthoJob job;
        job.Setup = AaopSetup(pose, 5, 30, r.angle);
        job.Setup.SliceSpacing = r.slice;
        job.Setup.AdaptiveSpacing = r.adaptive;
        OrthoModel model;
        std::string error;
        EXPECT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), r.result);
        EXPECT_EQ(error, r.text);
        if (r.result != 0) {
            EXPECT_TRUE(model.Slices.empty());
        }
    }
}

// Crossing rules on single triangles cut by the plane y = 0 of a slice with
// u = +z and w = +x.
TEST(AaopSliceCrossings, RulesOfOneTriangle) {
    OrthoModel model;
    OrthoSliceSetup setup = OrthoSliceSetup_Default();
    setup.AngleSpacing = 45;
    std::string error;
    ASSERT_EQ(OrthoModel_Init(model, setup, error), 0);
    struct Row {
        const char* name;
        std::vector<Vec3> points;
        std::vector<int32_t> facets;
        std::vector<float> radii;  // 8 samples at 0, 45, ..., 315 degrees
    } rows[] = {
        // A triangle from the +z axis to the +x axis: samples 0, 45, 90.
        {"quarter arc",
         {{0, -1, 10}, {0, 1, 10}, {10, 1, 0}, {10, -1, 0}},
         {0, 1, 2, 0, 2, 3},
         {10, 7.0710678f, 10, -1, -1, -1, -1, -1}},
        // A lone vertex exactly in the plane: both ends at it, only the sample
        // at its very angle is set, with its radius.
        {"vertex in the plane", {{0, 0, 7}, {1, 1, 8}, {-1, 1, 8}}, {0, 1, 2}, {7, -1, -1, -1, -1, -1, -1, -1}},
        // Ends exactly 180 degrees apart set nothing.
        {"180 degree span", {{0, -1, 0}, {0, 1, 10}, {0, 1, -10}}, {0, 1, 2}, {-1, -1, -1, -1, -1, -1, -1, -1}},
        // The first crossing that covers a sample wins.
        {"first crossing wins",
         {{0, -1, 10}, {0, 1, 10}, {10, 1, 0}, {0, -1, 20}, {0, 1, 20}, {20, 1, 0}},
         {0, 1, 2, 3, 4, 5},
         {10, 7.0710678f, -1, -1, -1, -1, -1, -1}},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        OrthoMesh mesh;
        mesh.Points = r.points;
        mesh.Facets = r.facets.data();
        mesh.FacetCount = static_cast<int32_t>(r.facets.size() / 3);
        OrthoSlice slice;
        slice.Radii.assign(8, -1.0f);
        slice.Centre = Vec3{0, 0, 0};
        slice.Normal = Vec3{0, 1, 0};
        slice.U = Vec3{0, 0, 1};
        slice.W = Vec3{1, 0, 0};
        AaopSlice_SampleSlice(model, slice, mesh);
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(slice.Radii[i], r.radii[i], 1e-4) << "sample " << i;
    }
}

// Samples no crossing covers are counted and reported, and the model is
// freed: a limit above the mesh's end.
TEST(AaopSliceRefusals, MissesAreCountedAndReported) {
    const Pose pose = TiltedPose();
    LocalMesh mesh = Cylinder(10, 0, 45, 9, 32);
    PlacedSurface surface(mesh, pose);
    OrthoJob job;
    job.Setup = AaopSetup(pose, 20, 60, 10);
    job.Setup.AdaptiveSpacing = 0;
    job.Setup.SliceSpacing = 10;
    OrthoModel model;
    std::string error;
    EXPECT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 4);
    // Slices at 20, 30, 40, 50, 60: the last two miss everything.
    EXPECT_EQ(
        error,
        "72 samples (out of 180) failed to find the surface.\nPlease check your axis and upper and lower limits.");
    EXPECT_TRUE(model.Slices.empty());
}

TEST(AaopSliceRefusals, StopAnswerAborts) {
    const Pose pose = TiltedPose();
    LocalMesh mesh = Cylinder(10, 0, 40, 9, 32);
    PlacedSurface surface(mesh, pose);
    OrthoJob job;
    job.Setup = AaopSetup(pose, 5, 35, 10);
    job.Progress = [](float f, OrthoJob&) { return f < 0.5f; };
    OrthoModel model;
    std::string error;
    EXPECT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 1);
    EXPECT_EQ(error, "Aborted");
    EXPECT_TRUE(model.Slices.empty());
}

// The symmetrical build reads both halves from 180..360 degrees.
TEST(AaopSliceAnalytic, MirrorReadsTheSecondHalfTwice) {
    const Pose pose = TiltedPose();
    // An off-centre cylinder: the radius about the limb axis differs by side.
    LocalMesh mesh = Cylinder(20, 0, 60, 13, 256);
    for (Vec3& p : mesh.points) p.x += 5;
    PlacedSurface surface(mesh, pose);
    OrthoJob job;
    job.Setup = AaopSetup(pose, 10, 50, 10);
    job.Setup.Mirror = 1;
    OrthoModel model;
    std::string error;
    ASSERT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 0) << error;
    EXPECT_DOUBLE_EQ(model.Angles[9].Degrees, 90.0);  // restored after the slicing
    for (const OrthoSlice& s : model.Slices)
        for (int i = 1; i < 18; ++i) EXPECT_NEAR(s.Radii[i], s.Radii[36 - i], 1e-3) << i;
    // Without the mirror the +x side (sample 9) reads farther than the -x side.
    const float mirrored = model.Slices[0].Radii[9];
    job.Setup.Mirror = 0;
    ASSERT_EQ(AaopSlice_Compute(model, surface.get(), nullptr, job, error), 0);
    EXPECT_NEAR(model.Slices[0].Radii[9], 25.0f, 0.05f);
    EXPECT_NEAR(model.Slices[0].Radii[27], 15.0f, 0.05f);
    EXPECT_NEAR(mirrored, 15.0f, 0.05f);
}

}  // namespace
