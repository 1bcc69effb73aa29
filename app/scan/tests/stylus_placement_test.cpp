// Placement of stylus items on the basic surface, lines through their heads,
// the update loops and the mouse marker.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/scan/basic_surface.h"
#include "app/scan/mesh_normals.h"
#include "app/scan/stylus_marker.h"
#include "app/scan/stylus_placement.h"
#include "app/scan/tests/cloud_scan.h"

namespace {

// A square of two facets, 0..10 in x and y at z = 0, in a surface record.
struct SquareSurface {
    SurfaceRecord s{};
    SquareSurface() {
        // A 3 x 3 grid so the centre vertex is interior.
        s.NumPoints = 9;
        s.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * 9));
        for (int k = 0; k < 9; ++k) s.Points[k] = Vec3{5.0f * (k % 3), 5.0f * (k / 3), 0.0f};
        const int32_t f[] = {0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4, 3, 4, 7, 3, 7, 6, 4, 5, 8, 4, 8, 7};
        s.NumFacets = 8;
        s.Facets = static_cast<int32_t*>(std::malloc(sizeof f));
        std::memcpy(s.Facets, f, sizeof f);
        s.FacetNormals = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * 8));
        Mesh_FacetNormals(9, s.Points, 8, s.Facets, 0, nullptr, s.FacetNormals, nullptr, &s.Area, nullptr);
        s.ChangeTime = 1.0;
    }
    ~SquareSurface() { Surface_Free(s); }
};

StylusItem ItemAt(float x, float y, float z, uint32_t flags = 0) {
    StylusItem item{};
    M4_Identity(item.Pose);
    item.Pose[12] = x, item.Pose[13] = y, item.Pose[14] = z;
    item.Flags = flags;
    return item;
}

struct ItemList {
    StylusItemList list{};
    explicit ItemList(const std::vector<StylusItem>& items) {
        list.Items = static_cast<StylusItem*>(std::malloc(sizeof(StylusItem) * (items.size() + 1)));
        std::memcpy(list.Items, items.data(), sizeof(StylusItem) * items.size());
        list.VisibleCount = list.TotalCount = list.Capacity = static_cast<int32_t>(items.size());
    }
    ~ItemList() { StylusItems_Free(list); }
    StylusItem& operator[](int i) { return list.Items[i]; }
};

TEST(StylusPlacement, ItemMovesOntoTheSurfaceOrIsLeftUnplaced) {
    SquareSurface sq;
    StylusItem above = ItemAt(4.0f, 6.0f, 2.0f, kStylusOnScan);
    EXPECT_TRUE(StylusItem_PlaceOnBasic(sq.s, above, 3.0f));
    EXPECT_TRUE(above.Flags & kStylusOnBasic);
    EXPECT_FLOAT_EQ(above.BasicPose[14], 0.0f);
    EXPECT_FLOAT_EQ(above.BasicDistance, 2.0f);
    // Too far, or onto the open border: unplaced; the scan placement stays.
    above.ScanDistance = 1.5f;
    for (const StylusItem& from : {ItemAt(4.0f, 6.0f, 4.0f), ItemAt(-1.0f, 5.0f, 0.5f)}) {
        StylusItem item = above;
        item.Pose = from.Pose;
        EXPECT_FALSE(StylusItem_PlaceOnBasic(sq.s, item, 3.0f));
        EXPECT_FALSE(item.Flags & kStylusOnBasic);
        EXPECT_EQ(item.BasicDistance, 0.0f);
        EXPECT_TRUE(item.Flags & kStylusOnScan);
        EXPECT_EQ(item.ScanDistance, 1.5f);
    }
}

TEST(StylusPlacement, CastInvertedSurfacePlacesFromTheFourthPose) {
    SquareSurface sq;
    sq.s.Inverted = 1;
    StylusItem withFourth = ItemAt(2.0f, 2.0f, 1.0f, kStylusInverted);
    withFourth.FourthPose = ItemAt(7.0f, 8.0f, -1.0f).Pose;
    StylusItem without = ItemAt(2.0f, 2.0f, 1.0f);
    ASSERT_TRUE(StylusItem_PlaceOnBasic(sq.s, withFourth, 3.0f));
    ASSERT_TRUE(StylusItem_PlaceOnBasic(sq.s, without, 3.0f));
    EXPECT_FLOAT_EQ(withFourth.BasicPose[12], 7.0f);
    EXPECT_FLOAT_EQ(without.BasicPose[12], 2.0f);
    sq.s.Inverted = 0;
    ASSERT_TRUE(StylusItem_PlaceOnBasic(sq.s, withFourth, 3.0f));
    EXPECT_FLOAT_EQ(withFourth.BasicPose[12], 2.0f);
}

TEST(StylusPlacement, LineHeadTakesTheLargestDistanceOfItsPlacedMembers) {
    SquareSurface sq;
    const uint32_t head = kStylusLineHead | kStylusOnBasic, member = kStylusLineMember;
    ItemList items({ItemAt(0, 0, 0, head), ItemAt(3, 3, 2.0f, member), ItemAt(4, 4, 5.0f, member),
                    ItemAt(6, 6, 3.0f, member), ItemAt(30, 30, 1.0f, member),  // too far: does not count
                    ItemAt(0, 0, 0, head),                                     // a head with no members
                    ItemAt(5, 5, 1.0f, kStylusOnScan)});
    StylusItems_UpdateBasicShifts(items.list, sq.s, 6.0f);
    EXPECT_TRUE(items[0].Flags & kStylusOnBasic);
    EXPECT_FLOAT_EQ(items[0].BasicDistance, 5.0f);
    EXPECT_FALSE(items[4].Flags & kStylusOnBasic);
    EXPECT_FALSE(items[5].Flags & kStylusOnBasic);
    EXPECT_EQ(items[5].BasicDistance, 0.0f);
    EXPECT_TRUE(items[6].Flags & kStylusOnBasic);  // placed on the scan: placed here too
    // An item placed nowhere is left alone by both loops.
    ItemList alone({ItemAt(5, 5, 1.0f)});
    StylusItems_UpdateBasicShifts(alone.list, sq.s, 6.0f);
    EXPECT_EQ(alone[0].Flags, 0u);
}

TEST(StylusPlacement, ReplacementRequestIsConsumedOnce) {
    SquareSurface sq;
    surface_test::CloudScan scan;
    ItemList items({ItemAt(5, 5, 1.0f, kStylusOnBasic)});
    items.list.ReplaceNeeded = 1;
    StylusItems_ReplaceIfNeeded(items.list, scan.raw(), sq.s, 2.0f);
    EXPECT_EQ(items.list.ReplaceNeeded, 0);
    EXPECT_FLOAT_EQ(items[0].BasicDistance, 1.0f);
    items[0].Pose[14] = 1.5f;
    StylusItems_ReplaceIfNeeded(items.list, scan.raw(), sq.s, 2.0f);
    EXPECT_FLOAT_EQ(items[0].BasicDistance, 1.0f);
    Vec3 position;
    StylusItem_GetPosition(items[0], true, true, false, position);
    EXPECT_FLOAT_EQ(position.z, 0.0f);
    StylusItem_GetPosition(items[0], false, true, false, position);
    EXPECT_FLOAT_EQ(position.z, 1.5f);
}

TEST(StylusPlacement, ItemsOnTheBuiltSphereLieOnItsMesh) {
    surface_test::CloudScan scan;
    scan.AddSweep(surface_test::SpherePoints(4000, 30.0f));
    GeneralSettings g = surface_test::DefaultSurfaceSettings();
    SurfaceRecord s{};
    ASSERT_EQ(BasicSurf_Build(g, scan.raw(), 3, s, nullptr, nullptr), kBasicSurfDone);
    int placed = 0;
    for (int k = 0; k < 20; ++k) {
        const float a = 0.7f * k, b = 0.3f * k - 2.5f;
        const float r = 30.0f + ((k % 3) - 1) * 1.5f;
        StylusItem item = ItemAt(r * std::cos(a) * std::cos(b), r * std::sin(a) * std::cos(b), r * std::sin(b));
        if (!StylusItem_PlaceOnBasic(s, item, 5.0f)) continue;
        ++placed;
        const Vec3 p{item.BasicPose[12], item.BasicPose[13], item.BasicPose[14]};
        // On a facet of the mesh: within float rounding of one facet's plane
        // and inside it.
        float nearest = 1e9f;
        for (int32_t f = 0; f < s.NumFacets; ++f) {
            const int32_t* v = s.Facets + 3 * f;
            Vec3 q;
            float dSq;
            if (Tri_ClosestPoint(p, s.Points[v[0]], s.Points[v[1]], s.Points[v[2]], s.FacetNormals[f], q, 0, 0, 0.0f,
                                 1.0f, dSq))
                nearest = std::min(nearest, dSq);
        }
        EXPECT_LT(nearest, 1e-8f) << k;
        EXPECT_NEAR(V3_Length(p), 30.0f, 0.3f) << k;
    }
    EXPECT_EQ(placed, 20);
    Surface_Free(s);
}

// ---- The mouse marker -------------------------------------------------------

struct MarkerWorld {
    int32_t cursorX = 0, cursorY = 0;
    bool inside = true;
    int32_t mode = 1;
    std::vector<int32_t> holes;  // x pixels (rounded) without surface
    std::vector<std::pair<double, double>> reads;
    std::vector<Matrix4> captured;
    std::vector<int32_t> groupStarts;  // capture indices that began a new group
    int refreshes = 0;
    StylusItemList list{};
};

MarkerWorld* g_world = nullptr;

StylusViewSeam MakeSeam(MarkerWorld& w) {
    StylusViewSeam seam{};
    seam.context = &w;
    seam.ReadBack = [](void* c, void*, double x, double y, double tolerance, Vec3* out) {
        auto& w = *static_cast<MarkerWorld*>(c);
        EXPECT_EQ(tolerance, 0.05);
        w.reads.push_back({x, y});
        for (int32_t hole : w.holes)
            if (std::lround(x - 0.5) == hole) return false;
        *out = Vec3{static_cast<float>(x), static_cast<float>(y), 7.0f};
        return true;
    };
    seam.Cursor = [](void* c, void*, int32_t* x, int32_t* y) {
        auto& w = *static_cast<MarkerWorld*>(c);
        *x = w.cursorX, *y = w.cursorY;
        return w.inside;
    };
    seam.Capture = [](void* c, const Matrix4& pose, int32_t newItem) {
        auto& w = *static_cast<MarkerWorld*>(c);
        EXPECT_EQ(newItem, 0);
        if (w.list.CaptureMarker == 0) w.groupStarts.push_back(static_cast<int32_t>(w.captured.size()));
        w.list.CaptureMarker = 1;
        w.captured.push_back(pose);
    };
    seam.RefreshListPanel = [](void* c) { ++static_cast<MarkerWorld*>(c)->refreshes; };
    seam.ViewMatrix = [](void*, Matrix4* out) { M4_MakeRotationX(30.0f, *out); };
    seam.CaptureMode = [](void* c) { return static_cast<MarkerWorld*>(c)->mode; };
    seam.list = &w.list;
    return seam;
}

TEST(StylusMarker, DragRecordsAPointAtEveryPixel) {
    struct Case {
        const char* name;
        int32_t toX, toY;
        std::vector<int32_t> holes;
        std::vector<double> xs;  // read-back x of each point (before the half-pixel)
        std::vector<int32_t> groupStarts;
    };
    const Case cases[] = {
        {"ten pixels right", 110, 50, {}, {101, 102, 103, 104, 105, 106, 107, 108, 109, 110}, {0}},
        {"under one pixel", 100, 50, {}, {}, {}},
        {"a hole starts a new group", 105, 50, {103}, {101, 102, 103, 104, 105}, {0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MarkerWorld w;
        w.holes = c.holes;
        const StylusViewSeam seam = MakeSeam(w);
        StylusView_SetSeam(&seam);
        w.cursorX = 100, w.cursorY = 50;
        StylusView_MarkerAction(nullptr, kMarkerPress);
        w.cursorX = c.toX, w.cursorY = c.toY;
        StylusView_MarkerAction(nullptr, kMarkerMove);
        ASSERT_EQ(w.reads.size(), c.xs.size());
        for (std::size_t k = 0; k < c.xs.size(); ++k) {
            EXPECT_DOUBLE_EQ(w.reads[k].first, c.xs[k] + 0.5);
            EXPECT_DOUBLE_EQ(w.reads[k].second, 50.5);
        }
        EXPECT_EQ(w.groupStarts, c.groupStarts);
        EXPECT_EQ(w.refreshes, static_cast<int>(w.captured.size()));
        // The last position moved to the cursor: a further pixel gives one point.
        w.reads.clear();
        w.cursorX = c.toX + 1;
        StylusView_MarkerAction(nullptr, kMarkerRelease);
        EXPECT_EQ(w.reads.size(), 1u);
        EXPECT_EQ(w.list.CaptureMarker, 0);
        StylusView_SetSeam(nullptr);
    }
    // Outside the client area nothing is recorded and the last position stays.
    MarkerWorld w;
    const StylusViewSeam seam = MakeSeam(w);
    StylusView_SetSeam(&seam);
    w.cursorX = 10, w.cursorY = 10;
    StylusView_MarkLine(nullptr, true, false);
    w.inside = false;
    w.cursorX = 20;
    StylusView_MarkLine(nullptr, false, false);
    EXPECT_TRUE(w.reads.empty());
    w.inside = true;
    w.cursorX = 12;
    StylusView_MarkLine(nullptr, false, false);
    EXPECT_EQ(w.reads.size(), 2u);
    StylusView_SetSeam(nullptr);
}

TEST(StylusMarker, PointModeMarksOnReleaseWithTheViewsPose) {
    MarkerWorld w;
    w.mode = 0;
    const StylusViewSeam seam = MakeSeam(w);
    StylusView_SetSeam(&seam);
    w.cursorX = 40, w.cursorY = 60;
    StylusView_MarkerAction(nullptr, kMarkerPress);
    StylusView_MarkerAction(nullptr, kMarkerMove);
    EXPECT_TRUE(w.captured.empty());
    StylusView_MarkerAction(nullptr, kMarkerRelease);
    ASSERT_EQ(w.captured.size(), 1u);
    EXPECT_EQ(w.list.CaptureMarker, 0);
    Matrix4 expected;
    M4_MakeRotationX(30.0f, expected);
    M4_RotateZ(-90.0f, expected);
    M4_RotateY(-90.0f, expected);
    M4_Transpose(expected, expected);
    M4_Translate(Vec3{40.5f, 60.5f, 7.0f}, expected);
    for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(w.captured[0][k], expected[k]) << k;
    EXPECT_FLOAT_EQ(w.captured[0][12], 40.5f);
    // The pose's rotation is orthonormal: the stylus points along the view.
    Vec3 axis{w.captured[0][0], w.captured[0][1], w.captured[0][2]};
    EXPECT_NEAR(V3_Length(axis), 1.0f, 1e-6f);
    // Outside the client area a click records nothing; other modes do nothing.
    w.inside = false;
    StylusView_MarkerAction(nullptr, kMarkerRelease);
    w.inside = true;
    w.mode = 2;
    StylusView_MarkerAction(nullptr, kMarkerRelease);
    EXPECT_EQ(w.captured.size(), 1u);
    StylusView_SetSeam(nullptr);
}

}  // namespace
