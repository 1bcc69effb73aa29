// The orthotics model: starting it from a set-up, growing it, landmarks from
// stylus items, display strips and the debug dump read back field by field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/export/ortho_model.h"
#include "app/export/tests/ortho_meshes.h"
#include "app/scan/stylus_items.h"

namespace {

using namespace ortho_test;

TEST(OrthoModel, StartsFromTheSetUpAsTabled) {
    struct Row {
        float spacing;
        int32_t endMode;
        float limit1, limit2;
        int result;
        int32_t n;
        double base, max;
        int32_t dir;
    } rows[] = {
        {4, -1, -1, 1, 0, 90, -1, 1, 1},    // the default set-up
        {90, -1, 0, 10, 0, 4, 0, 10, 1},    // exactly 90 is accepted
        {7, -1, 0, 10, 0, 51, 0, 10, 1},    // 360 / 7 = 51.4: the last gap is wider
        {10, 1, 0, 10, 0, 36, 10, 0, -1},   // closed upper end: from the top down
        {10, 0, 10, 0, 0, 36, 10, 0, -1},   // limits as given
        {10, 2, 5, 5, 0, 36, 5, 5, 1},      // equal limits go upwards
        {90.5f, -1, 0, 10, 3, 0, 0, 0, 1},  // too large
        {0, -1, 0, 10, 3, 0, 0, 0, 1},      // no spacing at all
        {-10, -1, 0, 10, 3, 0, 0, 0, 1},    // a negative spacing
        {0.01f, -1, 0, 10, 0, 36000, 0, 10, 1},  // fine, but its table fits
        {1e-7f, -1, 0, 10, 2, 0, 0, 0, 1},  // more samples than a count or the memory holds
        {1e-30f, -1, 0, 10, 2, 0, 0, 0, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.spacing);
        OrthoSliceSetup s = OrthoSliceSetup_Default();
        s.AngleSpacing = r.spacing;
        s.EndMode = r.endMode;
        s.Limit1 = r.limit1;
        s.Limit2 = r.limit2;
        s.Side = kOrthoSideLeft;
        OrthoModel model;
        std::string error;
        ASSERT_EQ(OrthoModel_Init(model, s, error), r.result) << error;
        if (r.result != 0) continue;
        EXPECT_EQ(model.PointsPerSlice, r.n);
        ASSERT_EQ(model.Angles.size(), static_cast<std::size_t>(r.n));
        EXPECT_DOUBLE_EQ(model.Angles.back().Degrees, (r.n - 1) * static_cast<double>(r.spacing));
        EXPECT_NEAR(model.Angles[r.n - 1].Sine, std::sin((r.n - 1) * r.spacing * kPi / 180), 1e-6);
        EXPECT_EQ(model.HeightBase, r.base);
        EXPECT_EQ(model.HeightMax, r.max);
        EXPECT_EQ(model.HeightDir, r.dir);
        EXPECT_EQ(model.Side, kOrthoSideLeft);
    }
}

TEST(OrthoModel, SlicesAndLandmarksGrowBy16) {
    OrthoModel model;
    std::string error;
    ASSERT_EQ(OrthoModel_Init(model, OrthoSliceSetup_Default(), error), 0);
    EXPECT_EQ(model.Slices.capacity(), 16u);
    for (int k = 0; k < 17; ++k)
        ASSERT_NE(OrthoModel_AddSlice(model, k, {0, 0, 0}, {0, 2, 0}, {0, 0, 3}, true, false), nullptr);
    EXPECT_EQ(model.Slices.capacity(), 32u);
    const OrthoSlice& s = model.Slices[16];
    EXPECT_EQ(s.Radii.size(), 90u);
    EXPECT_EQ(s.Radii[0], -1.0f);
    EXPECT_TRUE(s.Points.empty());
    EXPECT_EQ(s.Normal.y, 1.0f);
    EXPECT_EQ(s.U.z, 1.0f);
    EXPECT_EQ(s.W.x, 1.0f);  // w = normal x u
    const std::string longName(200, 'x');
    for (int k = 0; k < 17; ++k) ASSERT_NE(OrthoModel_AddLandmark(model, longName.c_str(), 2), nullptr);
    EXPECT_EQ(model.Landmarks.capacity(), 32u);
    EXPECT_EQ(std::strlen(model.Landmarks[0].Name), 127u);
    OrthoModel_ReverseSlices(model);
    EXPECT_EQ(model.Slices[0].Height, 16.0);
    EXPECT_EQ(model.Slices[16].Height, 0.0);
    OrthoModel_Free(model);
    EXPECT_TRUE(model.Slices.empty());
    EXPECT_EQ(model.PointsPerSlice, 0);
}

StylusItem Item(uint32_t flags, Vec3 at) {
    StylusItem item;
    std::memset(&item, 0, sizeof item);
    item.Flags = flags;
    M4_MakeTranslation(at, item.Pose);
    M4_MakeTranslation(Vec3{at.x + 100, at.y, at.z}, item.BasicPose);  // placed on the surface
    M4_MakeTranslation(Vec3{at.x + 200, at.y, at.z}, item.FourthPose);
    return item;
}

TEST(OrthoModel, LandmarksFromStylusItems) {
    std::vector<StylusItem> items = {
        Item(0, {3, 4, 0}),                // a single point
        Item(kStylusLineHead, {0, 0, 0}),  // a line of three points
        Item(kStylusLineMember, {0, 10, 5}),
        Item(kStylusLineMember | kStylusOnBasic, {-100, 20, 5}),  // placed: its basic pose counts
        Item(kStylusLineMember, {1, 1, 1}),
        Item(kStylusHidden, {9, 9, 9}),     // not to be used
        Item(kStylusLineHead, {0, 0, 0}),   // a line without members
        Item(kStylusInverted, {0, 5, -2}),  // the cast pose on an inverted surface
    };
    StylusItemList list{};
    list.Items = items.data();
    list.VisibleCount = static_cast<int32_t>(items.size());
    OrthoSliceSetup setup = OrthoSliceSetup_Default();
    setup.Origin = Vec3{0, 2, 0};
    setup.HeightShift = 1;
    struct Row {
        bool skipMembers, aaop, inverted;
        std::vector<std::string> names;
        std::vector<std::size_t> counts;
    } rows[] = {
        {false, true, false, {"S000 POINT", "S001 LINE", "S002 LINE", "S003 POINT"}, {1, 3, 0, 1}},
        {true, false, true, {"S000 POINT", "S001 LINE", "S002 LINE", "S003 POINT"}, {1, 3, 0, 1}},
    };
    for (const Row& r : rows) {
        OrthoModel model;
        ASSERT_TRUE(OrthoModel_CollectLandmarks(model, &list, setup, r.inverted, r.skipMembers, r.aaop));
        ASSERT_EQ(model.Landmarks.size(), r.names.size());
        for (std::size_t k = 0; k < r.names.size(); ++k) {
            EXPECT_STREQ(model.Landmarks[k].Name, r.names[k].c_str());
            EXPECT_EQ(model.Landmarks[k].Points.size(), r.counts[k]);
        }
    }
    // The AAOP values: slicing frame, height shift, radius and angle.
    OrthoModel model;
    ASSERT_TRUE(OrthoModel_CollectLandmarks(model, &list, setup, false, false, true));
    const OrthoLandmarkPoint& single = model.Landmarks[0].Points[0];
    EXPECT_FLOAT_EQ(single.X, 3);
    EXPECT_FLOAT_EQ(single.Y, 4 - 2 - 1);  // minus the origin, minus the height shift
    EXPECT_FLOAT_EQ(single.Radius, 3);
    EXPECT_FLOAT_EQ(single.Angle, -90);                  // minus atan2(x, z)
    EXPECT_FLOAT_EQ(model.Landmarks[1].Points[1].X, 0);  // the basic placement
    const OrthoLandmarkPoint& cast = model.Landmarks[3].Points[0];
    EXPECT_FLOAT_EQ(cast.X, 0);
    OrthoModel inverted;
    ASSERT_TRUE(OrthoModel_CollectLandmarks(inverted, &list, setup, true, false, false));
    EXPECT_FLOAT_EQ(inverted.Landmarks[3].Points[0].X, 200);
    EXPECT_EQ(inverted.Landmarks[3].Points[0].Radius, 0.0f);
}

// A turned and moved slicing frame: the world's x axis becomes the frame's
// y (the limb axis), its y the frame's -x, its z stays; the origin moves.
TEST(OrthoModel, LandmarksInATurnedAndMovedFrame) {
    std::vector<StylusItem> items = {Item(0, {3, 4, 0})};
    StylusItemList list{};
    list.Items = items.data();
    list.VisibleCount = 1;
    OrthoSliceSetup setup = OrthoSliceSetup_Default();
    setup.Origin = Vec3{10, 2, -5};
    setup.HeightShift = 1;
    M4_Identity(setup.Frame);
    // Rows are the images of the x, y and z axes.
    setup.Frame[0] = 0, setup.Frame[1] = 1, setup.Frame[2] = 0;
    setup.Frame[4] = -1, setup.Frame[5] = 0, setup.Frame[6] = 0;
    setup.Frame[8] = 0, setup.Frame[9] = 0, setup.Frame[10] = 1;
    // (3, 4, 0) - origin = (-7, 2, 5), turned: (-2, -7, 5).
    for (bool aaop : {true, false}) {
        SCOPED_TRACE(aaop ? "AAOP" : "OP3");
        OrthoModel model;
        ASSERT_TRUE(OrthoModel_CollectLandmarks(model, &list, setup, false, false, aaop));
        ASSERT_EQ(model.Landmarks.size(), 1u);
        const OrthoLandmarkPoint& p = model.Landmarks[0].Points[0];
        EXPECT_FLOAT_EQ(p.X, -2);
        EXPECT_FLOAT_EQ(p.Y, aaop ? -7 - 1 : -7);  // the AAOP height less its shift
        EXPECT_FLOAT_EQ(p.Z, 5);
        EXPECT_FLOAT_EQ(p.Radius, aaop ? std::sqrt(29.0f) : 0);
        EXPECT_NEAR(p.Angle, aaop ? 21.801409 : 0, 1e-4);  // minus atan2(-2, 5) in degrees
    }
}

// A member that follows no line head is a point for the AAOP slicing and is
// skipped by the OP3 slicing.
TEST(OrthoModel, LoneLineMemberDependsOnTheSlicing) {
    std::vector<StylusItem> items = {Item(kStylusLineMember, {1, 2, 3}), Item(0, {4, 5, 6})};
    StylusItemList list{};
    list.Items = items.data();
    list.VisibleCount = 2;
    const OrthoSliceSetup setup = OrthoSliceSetup_Default();
    OrthoModel aaop, op3;
    ASSERT_TRUE(OrthoModel_CollectLandmarks(aaop, &list, setup, false, false, true));
    ASSERT_TRUE(OrthoModel_CollectLandmarks(op3, &list, setup, false, true, false));
    ASSERT_EQ(aaop.Landmarks.size(), 2u);
    EXPECT_STREQ(aaop.Landmarks[0].Name, "S000 POINT");
    ASSERT_EQ(op3.Landmarks.size(), 1u);
    EXPECT_STREQ(op3.Landmarks[0].Name, "S000 POINT");
    EXPECT_FLOAT_EQ(op3.Landmarks[0].Points[0].X, 4);
}

TEST(OrthoModel, StripsCloseEachRing) {
    OrthoSliceSetup setup = OrthoSliceSetup_Default();
    setup.AngleSpacing = 90;
    OrthoModel model;
    std::string error;
    ASSERT_EQ(OrthoModel_Init(model, setup, error), 0);
    for (int k = 0; k < 3; ++k) {
        OrthoSlice* s = OrthoModel_AddSlice(model, 10 * k, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, true, false);
        for (float& r : s->Radii) r = 2.0f + k;
    }
    ASSERT_TRUE(OrthoModel_BuildStrips(model));
    EXPECT_EQ(model.StripCount, 2);
    EXPECT_EQ(model.StripVertexCount, 10);
    const Vec3* v = model.StripVertices.data();
    EXPECT_NEAR(v[0].z, 2, 1e-6);  // sample 0 of slice 0: (r sin 0, h, r cos 0)
    EXPECT_NEAR(v[1].z, 3, 1e-6);  // of slice 1
    EXPECT_NEAR(v[1].y, 10, 1e-6);
    EXPECT_NEAR(v[2].x, 2, 1e-6);       // sample 1 at 90 degrees
    EXPECT_NEAR(v[8].z, v[0].z, 1e-6);  // the last pair repeats the first
    EXPECT_EQ(model.StripNormals[0].x, 0.0f);
    // Each quad faces outwards, away from the axis.
    const Vec3& n1 = model.StripNormals[1];
    EXPECT_GT(std::fabs(n1.x) + std::fabs(n1.z), 0.5f);
}

TEST(OrthoDump, ReadsBackFieldByField) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "ortho_dump_test.bin";
    std::filesystem::remove(path);
    LocalMesh local = Cylinder(5, 0, 10, 3, 4);
    PlacedSurface surface(local, TiltedPose());
    std::vector<StylusItem> items = {Item(kStylusLineHead, {1, 2, 3}), Item(kStylusLineMember, {4, 5, 6})};
    StylusItemList list{};
    list.CaptureMarker = 1;
    list.VisibleCount = 2;
    list.TotalCount = 2;
    list.Capacity = 100;
    list.GroupCount = 1;
    list.Items = items.data();
    list.ReplaceNeeded = 1;
    OrthoSliceSetup setup = OrthoSliceSetup_Default();
    setup.Limit1 = 12.5f;
    setup.Kind = 1;
#ifdef _WIN32
    _putenv_s("TOLVARAN_AAOP_DUMP_FILE", path.string().c_str());
#else
    setenv("TOLVARAN_AAOP_DUMP_FILE", path.string().c_str(), 1);
#endif
    Aaop_DebugDump(setup, surface.get(), &list);
#ifdef _WIN32
    _putenv_s("TOLVARAN_AAOP_DUMP_FILE", "");
#else
    unsetenv("TOLVARAN_AAOP_DUMP_FILE");
#endif
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const SurfaceRecord& mesh = surface.get();
    const std::size_t expected = 140 + 8 + 12 * mesh.NumPoints + 12 * mesh.NumFacets + 28 + 2 * 276;
    ASSERT_EQ(bytes.size(), expected);
    const char* p = bytes.data();
    OrthoSliceSetup back;
    std::memcpy(&back, p, 140);
    EXPECT_EQ(std::memcmp(&back, &setup, 140), 0);
    p += 140;
    int32_t counts[2];
    std::memcpy(counts, p, 8);
    EXPECT_EQ(counts[0], mesh.NumPoints);
    EXPECT_EQ(counts[1], mesh.NumFacets);
    p += 8;
    EXPECT_EQ(std::memcmp(p, mesh.Points, 12 * mesh.NumPoints), 0);
    p += 12 * mesh.NumPoints;
    EXPECT_EQ(std::memcmp(p, mesh.Facets, 12 * mesh.NumFacets), 0);
    p += 12 * mesh.NumFacets;
    uint32_t head[7];
    std::memcpy(head, p, 28);
    const uint32_t words[7] = {1, 2, 2, 100, 1, 0, 1};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(head[k], words[k]) << k;
    p += 28;
    EXPECT_EQ(std::memcmp(p, items.data(), 2 * 276), 0);
    in.close();
    std::filesystem::remove(path);
}

}  // namespace
