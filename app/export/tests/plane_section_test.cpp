// Plane section outlines: analytic meshes against 2 pi R and Ramanujan's
// ellipse perimeter, resampled points on the surface, and the cycle rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "app/export/plane_section.h"
#include "app/export/tests/ortho_meshes.h"

namespace {

using namespace ortho_test;

OrthoMesh WorldMesh(const LocalMesh& local, const Pose& pose) {
    OrthoMesh m;
    for (const Vec3& p : local.points) m.Points.push_back(Place(pose, p));
    m.Facets = local.facets.data();
    m.FacetCount = static_cast<int32_t>(local.facets.size() / 3);
    return m;
}

// A slice across local height y, sample 0 along local +z.
OrthoSlice SliceAt(const Pose& pose, float y, int32_t n) {
    OrthoSlice s;
    s.Centre = Place(pose, Vec3{0, y, 0});
    s.Normal = Turn(pose, Vec3{0, 1, 0});
    s.U = Turn(pose, Vec3{0, 0, 1});
    V3_Cross(s.Normal, s.U, s.W);
    s.Points.assign(static_cast<std::size_t>(n), Vec3{0, 0, 0});
    return s;
}

Vec3 ToLocal(const Pose& pose, const Vec3& world) {
    Vec3 d{world.x - pose.offset.x, world.y - pose.offset.y, world.z - pose.offset.z}, out;
    M4_TransformPoint(LocalFrame(pose), d, out);
    return out;
}

double ClosedLength(const std::vector<Vec3>& outline) {
    double length = 0;
    for (std::size_t k = 0; k < outline.size(); ++k)
        length += V3_Distance(outline[k], outline[(k + 1) % outline.size()]);
    return length;
}

TEST(PlaneSectionAnalytic, OutlineLengthsAndPointsMatchTheClosedForms) {
    struct Case {
        const char* name;
        LocalMesh mesh;
        std::function<void(double y, double& ax, double& az)> section;
        double minCurvatureRadius;
        std::vector<float> heights;
    };
    std::vector<Case> cases;
    cases.push_back({"cylinder",
                     Cylinder(40, -10, 210, 45, 128),
                     [](double, double& ax, double& az) { ax = az = 40; },
                     40,
                     {3, 77.5f, 151.5f}});
    cases.push_back({"cone frustum",
                     Frustum(55, 30, 0, 240, 49, 128),
                     [](double y, double& ax, double& az) { ax = az = 55 - 25 * y / 240; },
                     30,
                     {12, 121.5f, 228}});
    cases.push_back({"ellipsoid",
                     Ellipsoid(45, 160, 32, 161, 160),
                     [](double y, double& ax, double& az) {
                         const double f = std::sqrt(1 - y * y / (160.0 * 160.0));
                         ax = 45 * f;
                         az = 32 * f;
                     },
                     32.0 * 32.0 / 160.0,
                     {-100, 1.5f, 37, 120}});
    const int32_t n = 90;
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Pose pose = TiltedPose();
        const OrthoMesh mesh = WorldMesh(c.mesh, pose);
        const double edge = LongestEdge(c.mesh);
        const double chordal = edge * edge / (8 * c.minCurvatureRadius);
        double worstLength = 0, worstPoint = 0;
        for (float y : c.heights) {
            double ax, az;
            c.section(y, ax, az);
            OrthoSlice slice = SliceAt(pose, y, n);
            std::vector<Vec3> outline;
            ASSERT_EQ(Slice_Outline(slice, mesh, outline), 0);
            const double exact = EllipsePerimeter(ax, az);
            // The section polygon is inscribed: its vertices lie within the
            // chordal error inside, and it cuts each arc by a chord.
            double longest = 0;
            for (std::size_t k = 0; k < outline.size(); ++k)
                longest = std::max<double>(longest, V3_Distance(outline[k], outline[(k + 1) % outline.size()]));
            const double rMin = std::min(ax, az) * std::min(ax, az) / std::max(ax, az);
            const double polygon = exact * longest * longest / (24 * rMin * rMin);
            const double length = ClosedLength(outline);
            EXPECT_LE(std::fabs(length - exact), polygon + 2 * kPi * chordal) << "height " << y;
            EXPECT_LE(length, exact * (1 + 1e-5));
            worstLength = std::max(worstLength, std::fabs(length - exact) / exact);

            ASSERT_EQ(Slice_PlaneCycles(slice, mesh), 0);
            // L / n, L the outline without one of its segments.
            const double leftOut = length - slice.SuggestedSpacing * n;
            EXPECT_GE(leftOut, -1e-3 * length);
            EXPECT_LE(leftOut, longest + 1e-3 * length);
            EXPECT_EQ(slice.Aligned, 1);
            const double sagitta = longest * longest / (8 * rMin);
            for (int j = 0; j < n; ++j) {
                const Vec3 p = ToLocal(pose, slice.Points[j]);
                EXPECT_NEAR(p.y, y, 1e-3);
                // Distance off the ellipse along the ray from the centre.
                const double theta = std::atan2(p.x, p.z);
                const double off = EllipseRadius(ax, az, theta) - std::hypot(p.x, p.z);
                EXPECT_GE(off, -1e-3);
                EXPECT_LE(off, 1.05 * chordal + sagitta) << "sample " << j;
                worstPoint = std::max(worstPoint, off);
            }
            // Sample 0 lies where the outline crosses local +z.
            const Vec3 first = ToLocal(pose, slice.Points[0]);
            EXPECT_NEAR(first.x, 0, 1e-2);
            EXPECT_GT(first.z, 0);
            // The samples run counter-clockwise about the normal (local +y),
            // from u (local +z) towards w (y x z, local +x): their angle
            // atan2(x, z) rises through one turn.
            double previous = 0;
            for (int j = 1; j < n; ++j) {
                const Vec3 p = ToLocal(pose, slice.Points[j]);
                double theta = std::atan2(p.x, p.z);
                if (theta < 0) theta += 2 * kPi;
                EXPECT_GT(theta, previous) << "sample " << j;
                previous = theta;
            }
        }
        std::printf(
            "[ measured ] %s: chordal bound %.4f mm, worst relative outline length error %.6f, "
            "worst point inside the surface %.4f mm\n",
            c.name, chordal, worstLength, worstPoint);
    }
}

// Two separate objects in one plane become one outline, joined at their
// closest points.
TEST(PlaneSectionCycles, TwoObjectsJoinAtTheirClosestPoints) {
    const Pose pose = TiltedPose();
    LocalMesh leg = Cylinder(20, 0, 50, 6, 64);
    LocalMesh other = Cylinder(8, 0, 50, 6, 32);
    const float gap = 6;
    for (Vec3& p : other.points) p.x += 20 + gap + 8;
    const int32_t offset = static_cast<int32_t>(leg.points.size());
    leg.points.insert(leg.points.end(), other.points.begin(), other.points.end());
    for (int32_t f : other.facets) leg.facets.push_back(f + offset);
    const OrthoMesh mesh = WorldMesh(leg, pose);
    OrthoSlice slice = SliceAt(pose, 25, 36);
    std::vector<Vec3> outline;
    ASSERT_EQ(Slice_Outline(slice, mesh, outline), 0);
    EXPECT_EQ(outline.size(), 2u * 64 + 2u * 32);
    // Both loops, each without the one edge it leaves at the crossing-over,
    // plus the two bridges across the gap at the closest points.
    const double dropped = 2 * kPi * 20 / 128 + 2 * kPi * 8 / 64;
    EXPECT_NEAR(ClosedLength(outline), 2 * kPi * (20 + 8) + 2 * gap - dropped, 0.3);
    int bridges = 0;
    for (std::size_t k = 0; k < outline.size(); ++k) {
        const Vec3 a = ToLocal(pose, outline[k]), b = ToLocal(pose, outline[(k + 1) % outline.size()]);
        if ((a.x < 21) != (b.x < 21)) {
            ++bridges;
            EXPECT_NEAR(V3_Distance(a, b), gap, 0.5);
        }
    }
    EXPECT_EQ(bridges, 2);
    ASSERT_EQ(Slice_PlaneCycles(slice, mesh), 0);
}

// Cycle rules on tiny meshes cut by the plane y = 0.
TEST(PlaneSectionCycles, RulesOfSmallMeshes) {
    struct Row {
        const char* name;
        std::vector<Vec3> points;
        std::vector<int32_t> facets;
        int result;
        std::size_t outlinePoints;
    } rows[] = {
        {"vertex in the plane adds no link", {{0, 0, 0}, {1, 1, 0}, {-1, 1, 1}}, {0, 1, 2}, 4, 0},
        {"three-point cycle is kept",
         {{0, 1, 0}, {1, -1, 0}, {-1, -1, 1}, {-1, -1, -1}},
         {0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2},
         0,
         3},
        {"two-point cycle is dropped", {{0, 1, 0}, {1, -1, 0}, {-1, -1, 1}}, {0, 1, 2, 0, 2, 1}, 4, 0},
        {"open strip makes no complete cycle",
         {{0, -1, 0}, {1, 1, 0}, {2, -1, 0}, {3, 1, 0}},
         {0, 1, 2, 1, 3, 2},
         4,
         0},
        {"no crossing", {{0, 1, 0}, {1, 2, 0}, {0, 3, 1}}, {0, 1, 2}, 4, 0},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        OrthoMesh mesh;
        mesh.Points = r.points;
        mesh.Facets = r.facets.data();
        mesh.FacetCount = static_cast<int32_t>(r.facets.size() / 3);
        OrthoSlice slice;
        slice.Normal = Vec3{0, 1, 0};
        slice.U = Vec3{0, 0, 1};
        slice.W = Vec3{1, 0, 0};
        slice.Points.assign(8, Vec3{0, 0, 0});
        std::vector<Vec3> outline;
        EXPECT_EQ(Slice_Outline(slice, mesh, outline), r.result);
        EXPECT_EQ(outline.size(), r.outlinePoints);
        EXPECT_EQ(Slice_PlaneCycles(slice, mesh), r.result);
    }
}

// An outline that the reference plane does not meet still gives n points,
// but the slice is not anchored.
TEST(PlaneSectionCycles, OutlineAwayFromTheReferencePlaneIsNotAnchored) {
    const Pose pose = TiltedPose();
    LocalMesh mesh = Cylinder(10, 0, 40, 5, 64);
    for (Vec3& p : mesh.points) p.x += 30;  // entirely on the +w side
    const OrthoMesh world = WorldMesh(mesh, pose);
    OrthoSlice slice = SliceAt(pose, 25, 24);
    ASSERT_EQ(Slice_PlaneCycles(slice, world), 0);
    EXPECT_EQ(slice.Aligned, 0);
    for (const Vec3& p : slice.Points) {
        const Vec3 l = ToLocal(pose, p);
        EXPECT_NEAR(std::hypot(l.x - 30, l.z), 10, 0.05);
    }
    // The start is the point nearest the reference plane, on the -w side of
    // the circle.
    const Vec3 first = ToLocal(pose, slice.Points[0]);
    EXPECT_NEAR(first.x, 20, 0.05);
}

}  // namespace
