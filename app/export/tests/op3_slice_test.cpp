// OP3 foot slicing of a bent tube (a leg cylinder and a foot cylinder 100
// degrees apart joined by the torus that the bend construction yields), the
// bend path against its construction, the results with their texts and the
// matching of slice rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/export/op3_slice.h"
#include "app/export/tests/bent_tube.h"
#include "app/export/tests/ortho_meshes.h"
#include "app/scan/stylus_items.h"

namespace {

using namespace ortho_test;

OrthoSliceSetup TubeSetup(const Pose& pose, const BentTube& tube, float limit1, float limit2) {
    OrthoSliceSetup s = OrthoSliceSetup_Default();
    s.Kind = 1;
    s.Origin = pose.offset;
    s.LegAxis = Turn(pose, F(tube.a));
    s.FootAxis = Turn(pose, F(tube.b));
    s.Limit1 = limit1;
    s.Limit2 = limit2;
    s.AngleSpacing = 5;
    return s;
}

TEST(Op3SliceTube, BendPathFollowsTheConstruction) {
    const BentTube tube;
    const Pose pose = TiltedPose();
    const LocalMesh local = tube.Mesh(96);
    PlacedSurface surface(local, pose);
    OrthoSliceSetup work;
    OrthoMesh mesh;
    std::string error;
    ASSERT_EQ(Op3Slice_PrepareInput(TubeSetup(pose, tube, 300, 200), surface.get(), work, mesh, error), 0) << error;
    // The ankle lies inside the tube: it stays where it was given.
    EXPECT_NEAR(V3_Distance(work.Origin, pose.offset), 0, 1e-3);
    Op3BendPath path;
    ASSERT_EQ(Op3Slice_MakeBendPath(work, mesh, path, error), 0) << error;
    const double tolerance = 0.05;
    EXPECT_NEAR(path.BendRadius, tube.R, tolerance);
    EXPECT_NEAR(path.L1, tube.L1(200), tolerance);
    EXPECT_NEAR(path.L2, tube.L2(200), tolerance);
    EXPECT_NEAR(path.L3, tube.L3(300, 200), tolerance);
    std::printf(
        "[ measured ] bend: P %.4f, R %.4f (construction %.4f), L1 %.4f L2 %.4f L3 %.4f "
        "(construction %.4f %.4f %.4f)\n",
        std::hypot(path.BendCentre.y, path.BendCentre.z), path.BendRadius, tube.R, path.L1, path.L2, path.L3,
        tube.L1(200), tube.L2(200), tube.L3(300, 200));
}

TEST(Op3SliceTube, SlicesAreCirclesOfTheTubeWithFirstPointsLinedUp) {
    const BentTube tube;
    const Pose pose = TiltedPose();
    const int32_t around = 96;
    const LocalMesh local = tube.Mesh(around);
    PlacedSurface surface(local, pose);
    OrthoJob job;
    job.Setup = TubeSetup(pose, tube, 300, 200);
    OrthoModel model;
    std::string error;
    ASSERT_EQ(Op3Slice_Compute(model, surface.get(), nullptr, job, error), 0) << error;
    const int n = model.PointsPerSlice;
    ASSERT_EQ(n, 72);
    ASSERT_GT(model.Slices.size(), 20u);
    const double edge = LongestEdge(local);
    const double chordal = edge * edge / (8 * tube.r);
    const double sample = 2 * kPi * tube.r / n;
    // The bend path itself comes from the mesh: its radius is off by a few
    // chordal errors.
    const double bound = 5 * chordal + 0.05;
    double worst = 0, worstSpacing = 0, worstStart = 0;
    for (std::size_t k = 0; k < model.Slices.size(); ++k) {
        const OrthoSlice& s = model.Slices[k];
        SCOPED_TRACE("slice " + std::to_string(k) + " at " + std::to_string(s.Height));
        // The slice stands on the tube's centre line, across it.
        Vec3D c, d;
        tube.At(s.Height + (tube.footLength - 200), c, d);
        EXPECT_LE(V3_Distance(s.Centre, F(c)), 0.1);
        EXPECT_NEAR(V3_Dot(s.Normal, F(d)), 1.0, 1e-4);
        for (const Vec3& p : s.Points) {
            const double off = std::fabs(V3_Distance(p, s.Centre) - tube.r);
            worst = std::max(worst, off);
            EXPECT_LE(off, bound);
        }
        EXPECT_NEAR(s.SuggestedSpacing, sample, 0.02 * sample);
        worstSpacing = std::max(worstSpacing, std::fabs(s.SuggestedSpacing - sample) / sample);
        // The first point lies on the +u side, at most half a sample off.
        Vec3 first;
        V3_Sub(s.Points[0], s.Centre, first);
        V3_Normalise(first, first);
        const double angle = std::acos(std::min(1.0f, V3_Dot(first, s.U))) * 180 / kPi;
        EXPECT_LE(angle, 2.5 + 0.5);
        worstStart = std::max(worstStart, angle);
        EXPECT_EQ(s.Aligned, 1);
        if (k > 0) {
            EXPECT_NEAR(s.Height - model.Slices[k - 1].Height, model.Slices[k - 1].SuggestedSpacing, 1e-3);
        }
    }
    EXPECT_EQ(model.Slices.front().Height, 0.0);
    EXPECT_LT(model.Slices.back().Height, tube.L3(300, 200));
    EXPECT_EQ(model.StripCount, static_cast<int32_t>(model.Slices.size()) - 1);
    EXPECT_EQ(model.StripVertexCount, 2 * n + 2);
    std::printf(
        "[ measured ] bent tube r %.1f: %zu slices, chordal bound %.4f mm, worst |point - centre| - r "
        "%.4f mm, worst relative spacing error %.4f, worst first-point angle %.3f degrees\n",
        tube.r, model.Slices.size(), chordal, worst, worstSpacing, worstStart);
}

// A stylus point given in the world lands in the slicing frame, which is the
// tube's own: the tilted, moved pose is taken off again.
TEST(Op3SliceTube, LandmarksAreInTheSlicingFrame) {
    const BentTube tube;
    const Pose pose = TiltedPose();
    PlacedSurface surface(tube.Mesh(96), pose);
    OrthoJob job;
    job.Setup = TubeSetup(pose, tube, 300, 200);
    // Points of the leg's centre line and of the foot's, in the tube's frame.
    Vec3D legCentre, footCentre, d;
    tube.At(tube.Length() - 60, legCentre, d);
    tube.At(40, footCentre, d);
    std::vector<StylusItem> items(2);
    for (std::size_t k = 0; k < items.size(); ++k) {
        std::memset(&items[k], 0, sizeof items[k]);
        M4_MakeTranslation(Place(pose, F(k == 0 ? legCentre : footCentre)), items[k].Pose);
    }
    StylusItemList list{};
    list.Items = items.data();
    list.VisibleCount = static_cast<int32_t>(items.size());
    OrthoModel model;
    std::string error;
    ASSERT_EQ(Op3Slice_Compute(model, surface.get(), &list, job, error), 0) << error;
    ASSERT_EQ(model.Landmarks.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        const Vec3 want = F(k == 0 ? legCentre : footCentre);
        ASSERT_EQ(model.Landmarks[k].Points.size(), 1u);
        const OrthoLandmarkPoint& got = model.Landmarks[k].Points[0];
        // The frame comes from axes fitted to the mesh: a little off.
        EXPECT_NEAR(got.X, want.x, 0.5);
        EXPECT_NEAR(got.Y, want.y, 0.5);
        EXPECT_NEAR(got.Z, want.z, 0.5);
        EXPECT_EQ(got.Radius, 0.0f);
        EXPECT_EQ(got.Angle, 0.0f);
    }
}

TEST(Op3SliceResults, ResultsAndTextsAsTabled) {
    const BentTube tube;
    const Pose pose = TiltedPose();
    const LocalMesh local = tube.Mesh(48);
    LocalMesh inward = local;
    for (std::size_t f = 0; f < inward.facets.size(); f += 3) std::swap(inward.facets[f + 1], inward.facets[f + 2]);
    PlacedSurface surface(local, pose), inside(inward, pose);
    struct Row {
        const char* name;
        bool inwardFacets;
        std::function<void(OrthoSliceSetup&)> change;
        int result;
        const char* text;
    } rows[] = {
        {"ankle plane misses the mesh", false,
         [&](OrthoSliceSetup& s) {
             // Moved across the ankle plane, far beside the tube.
             Vec3D n{0, tube.e.z, -tube.e.y};
             s.Origin = Place(pose, F(Mul(n, 400)));
         },
         4, "The intersection of the two axes is outside the object.\n"},
        {"parallel axes", false, [](OrthoSliceSetup& s) { s.FootAxis = s.LegAxis; }, 4,
         "The intersection of the two axes is outside the object.\n"},
        {"crossings face the ankle", true, [](OrthoSliceSetup&) {}, 4,
         "The centre of the bend is outside of the foot."},
        {"path of no length", false,
         [](OrthoSliceSetup& s) {
             s.Limit1 = 10;
             s.Limit2 = 10;
         },
         3, "No slices were computed from the given mesh and bend axes."},
        {"slice spacing of 0", false,
         [](OrthoSliceSetup& s) {
             s.AdaptiveSpacing = 0;
             s.SliceSpacing = 0;
         },
         3, "Slice spacing must be > 0 mm"},
        {"point spacing of 0", false, [](OrthoSliceSetup& s) { s.AngleSpacing = 0; }, 3,
         "Point spacing must be > 0 degrees"},
        {"point spacing above 90", false, [](OrthoSliceSetup& s) { s.AngleSpacing = 91; }, 3,
         "Point spacing must be <= 90 degrees"},
        {"fixed spacing", false,
         [](OrthoSliceSetup& s) {
             s.AdaptiveSpacing = 0;
             s.SliceSpacing = 40;
         },
         0, ""},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        OrthoJob job;
        job.Setup = TubeSetup(pose, tube, 300, 200);
        r.change(job.Setup);
        OrthoModel model;
        std::string error;
        EXPECT_EQ(Op3Slice_Compute(model, (r.inwardFacets ? inside : surface).get(), nullptr, job, error), r.result);
        EXPECT_EQ(error, r.text);
        if (r.result != 0) {
            EXPECT_TRUE(model.Slices.empty());
        }
        if (r.result == 0) {
            ASSERT_EQ(model.Slices.size(), 12u);  // 0, 40, ..., 440 below L3 = 477.7
            EXPECT_DOUBLE_EQ(model.Slices[11].Height, 440.0);
        }
    }
}

// A top or toe point beyond the mesh's end is pulled back to its farthest
// vertex along that axis; the user's stop answer ends the slicing.
TEST(Op3SliceResults, EndsBeyondTheMeshArePulledBack) {
    const BentTube tube;
    const Pose pose = TiltedPose();
    PlacedSurface surface(tube.Mesh(48), pose);
    OrthoSliceSetup work;
    OrthoMesh mesh;
    std::string error;
    ASSERT_EQ(Op3Slice_PrepareInput(TubeSetup(pose, tube, 1000, 900), surface.get(), work, mesh, error), 0);
    EXPECT_NEAR(work.Limit1, tube.legLength, 0.05);
    EXPECT_NEAR(work.Limit2, tube.footLength, 0.05);

    OrthoJob job;
    job.Setup = TubeSetup(pose, tube, 300, 200);
    job.Progress = [](float f, OrthoJob&) { return f < 0.3f; };
    OrthoModel model;
    EXPECT_EQ(Op3Slice_Compute(model, surface.get(), nullptr, job, error), 1);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(model.Slices.empty());
}

TEST(Op3SliceAlign, MatchRotationTakesTheBestCyclicShift) {
    OrthoSlice r, s;
    const int n = 8;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * kPi * i / n;
        r.Points.push_back(Vec3{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0});
    }
    // s is r started three samples later and moved a little.
    for (int i = 0; i < n; ++i) {
        Vec3 p = r.Points[(i + n - 3) % n];
        p.z += 0.1f;
        s.Points.push_back(p);
    }
    ASSERT_TRUE(OrthoSlice_MatchRotation(s, r));
    EXPECT_EQ(s.Aligned, 1);
    for (int i = 0; i < n; ++i) {
        EXPECT_FLOAT_EQ(s.Points[i].x, r.Points[i].x);
        EXPECT_FLOAT_EQ(s.Points[i].y, r.Points[i].y);
    }
    // Equal sums: the first shift wins (a slice of one repeated point).
    OrthoSlice flat, same;
    flat.Points.assign(4, Vec3{1, 2, 3});
    same.Points = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
    ASSERT_TRUE(OrthoSlice_MatchRotation(flat, same));
    EXPECT_EQ(flat.Points[0].x, 1.0f);
}

}  // namespace
