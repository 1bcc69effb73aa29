#include "app/scan/surface_record.h"
#include "app/scan/raw_data.h"
#include "app/scan/tests/scan_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A record of n points with a greyscale array (or none) and one facet over
// the first three points.
struct SurfaceFixture {
    SurfaceRecord s{};
    SurfaceFixture(int n, const std::vector<uint8_t>& grey) {
        s.NumPoints = s.MaxPoints = n;
        s.Points = static_cast<Vec3*>(std::calloc(n, sizeof(Vec3)));
        for (int i = 0; i < n; ++i) s.Points[i] = Vec3{float(i), float(2 * i), float(-i)};
        if (!grey.empty()) {
            s.Greyscale = static_cast<uint8_t*>(std::malloc(n));
            std::memcpy(s.Greyscale, grey.data(), n);
        }
        s.NumFacets = s.MaxFacets = 1;
        s.Facets = static_cast<int32_t*>(std::malloc(3 * sizeof(int32_t)));
        s.Facets[0] = 0, s.Facets[1] = 1, s.Facets[2] = 2;
        s.ChangeTime = 100.0;
    }
    ~SurfaceFixture() { Surface_Free(s); }
};

struct ColourCase {
    const char* name;
    std::vector<uint8_t> grey;  // empty: no greyscale array
    int32_t colourMode;
    bool hasGreyscale;
    uint32_t facetColour;  // from foreground 0x00C86432 (r 0x32, g 0x64, b 0xC8)
};

const ColourCase kColourCases[] = {
    {"all 255 is no greyscale", {255, 255, 255}, kColourPlain, false, 0x00C86432},
    {"one 254 is greyscale", {255, 254, 255}, kColourPlain, true, 0x00C86432},
    {"greyscale mode scales the foreground",
     {255, 0, 51},
     kColourGreyscale,
     true,
     // per point: (50,100,200), (0,0,0), (10,20,40); facet = truncated mean
     ((200 + 0 + 40) / 3) << 16 | ((100 + 0 + 20) / 3) << 8 | (50 + 0 + 10) / 3},
    {"greyscale mode without array keeps the foreground", {}, kColourGreyscale, false, 0x00C86432},
};

TEST(SurfaceRecord, ColourCacheAndGreyscaleTable) {
    for (const ColourCase& c : kColourCases) {
        SCOPED_TRACE(c.name);
        SurfaceFixture f(3, c.grey);
        GeneralSettings settings{};
        settings.ForegroundColour = 0x00C86432;
        ViewSettings view{};
        view.ColourMode = c.colourMode;
        EXPECT_EQ(Surface_HasGreyscale(f.s), c.hasGreyscale);
        ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
        EXPECT_EQ(f.s.ColourCacheCount, 3);
        EXPECT_EQ(f.s.ColourCacheTime, f.s.ChangeTime);
        EXPECT_EQ(Surface_FacetColour(f.s, 0), c.facetColour);
    }
}

TEST(SurfaceRecord, CacheFollowsChangeTimeAndPointCount) {
    SurfaceFixture f(3, {});
    GeneralSettings settings{};
    settings.ForegroundColour = 0x00010203;
    ViewSettings view{};
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    // Not newer: the cache stays as it is even though the colour changed.
    settings.ForegroundColour = 0x00FFFFFF;
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    EXPECT_EQ(f.s.ColourCache[0], 0x03);
    // A reset forces the rebuild.
    Surface_ResetTimestamp(f.s);
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    EXPECT_EQ(f.s.ColourCache[0], 0xFF);
    // More points between two paints: the cache is reallocated to the new count.
    f.s.Points = static_cast<Vec3*>(std::realloc(f.s.Points, 5 * sizeof(Vec3)));
    f.s.NumPoints = 5;
    f.s.ChangeTime = 200.0;
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    EXPECT_EQ(f.s.ColourCacheCount, 5);
    EXPECT_EQ(f.s.ColourCache[4 * 4 + 2], 0xFF);  // the last point's blue is filled
    // Rebuilt within the same clock tick with more points: the change time is
    // not newer, but the cache must still cover every point.
    f.s.Points = static_cast<Vec3*>(std::realloc(f.s.Points, 7 * sizeof(Vec3)));
    f.s.NumPoints = 7;
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    EXPECT_EQ(f.s.ColourCacheCount, 7);
    EXPECT_EQ(f.s.ColourCache[6 * 4], 0xFF);
}

TEST(SurfaceRecord, RbfSurfaceMadeFromTheBasicOne) {
    const struct {
        const char* name;
        double basicTime, rbfTime;
        int32_t basicInverted, rbfInverted;
        bool kept;
    } cases[] = {
        {"built after it", 10, 20, 0, 0, true},
        {"the basic one rebuilt since", 30, 20, 0, 0, false},
        {"same time", 20, 20, 0, 0, false},
        {"the RBF one cast-inverted since", 10, 20, 0, 1, true},
        {"both inverted", 10, 20, 1, 1, true},
        {"the basic one inverted, the RBF one not", 10, 20, 1, 0, false},
        {"inverted but older", 30, 20, 0, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SurfaceRecord basic{}, rbf{};
        basic.ChangeTime = c.basicTime, rbf.ChangeTime = c.rbfTime;
        basic.Inverted = c.basicInverted, rbf.Inverted = c.rbfInverted;
        EXPECT_EQ(Surface_RbfMadeFromBasic(basic, rbf), c.kept);
    }
}

TEST(SurfaceRecord, QuadColourIsTheTruncatedMeanOfFour) {
    SurfaceFixture f(4, {255, 255, 255, 0});
    f.s.NumQuads = 1;
    f.s.Quads = static_cast<int32_t*>(std::malloc(4 * sizeof(int32_t)));
    for (int k = 0; k < 4; ++k) f.s.Quads[k] = k;
    GeneralSettings settings{};
    settings.ForegroundColour = 0x00030303;
    ViewSettings view{};
    view.ColourMode = kColourGreyscale;
    ASSERT_TRUE(Surface_RefreshPointCache(f.s, view, settings));
    EXPECT_EQ(Surface_QuadColour(f.s, 0), 0x00020202u);  // (3+3+3+0)/4 = 2
}

TEST(SurfaceRecord, FreeZeroesEverything) {
    SurfaceFixture f(3, {1, 2, 3});
    f.s.BorderCache.BorderFlags = static_cast<int32_t*>(std::malloc(8));
    f.s.BorderCache.VertexCount = 2;
    f.s.Area = 5.0f;
    Surface_Free(f.s);
    const SurfaceRecord zero{};
    EXPECT_EQ(std::memcmp(&f.s, &zero, sizeof zero), 0);
}

TEST(SurfaceRecord, BoundingBoxInAFrameAndBack) {
    SurfaceFixture f(3, {});
    Matrix4 frame;
    M4_MakeRotationZ(90.0f, frame);
    Surface_BoundingBox(f.s, frame);
    ASSERT_EQ(f.s.ExtentsValid, 1);
    // Every point lies within the corners' box (taken back to surface coordinates).
    for (int i = 0; i < 3; ++i) {
        Vec3 p;
        M4_TransformPoint(frame, f.s.Points[i], p);
        Vec3 lo, hi;
        M4_TransformPoint(frame, f.s.Extents[0], lo);
        M4_TransformPoint(frame, f.s.Extents[7], hi);
        EXPECT_GE(p.x, lo.x - 1e-4f);
        EXPECT_LE(p.x, hi.x + 1e-4f);
        EXPECT_GE(p.y, lo.y - 1e-4f);
        EXPECT_LE(p.y, hi.y + 1e-4f);
    }
    // Older mesh than extents: skipped, even when the frame changes.
    const Vec3 before = f.s.Extents[7];
    f.s.ChangeTime = 0.0;
    Matrix4 identity;
    M4_Identity(identity);
    Surface_BoundingBox(f.s, identity);
    EXPECT_EQ(f.s.Extents[7].x, before.x);
    // An empty record gives zero extents, not valid.
    SurfaceRecord empty{};
    empty.ChangeTime = 1.0;
    Surface_BoundingBox(empty, identity);
    EXPECT_EQ(empty.ExtentsValid, 0);
    EXPECT_EQ(empty.Extents[7].z, 0.0f);
}

TEST(SurfaceRecord, ScanDrawingTests) {
    ScanFixture f;
    f.AddSweep({3, 3});
    f.AddSweep({2, 2});
    f.AddSweep({0});
    f.Process();
    RawData& raw = f.raw;
    ASSERT_GT(raw.NumFacets, 0);
    // Facets: none erased, then the third point of facet 0 erased at level 1.
    EXPECT_FALSE(RawData_FacetInEditRange(raw, 0));
    raw.EditLimit = 1;
    raw.Points[raw.Facets[0].v[2]].Flags |= 1u << kPointEraseShift;
    EXPECT_TRUE(RawData_FacetInEditRange(raw, 0));
    raw.EditLimit = 0;  // undone: level 1 is above the limit
    EXPECT_FALSE(RawData_FacetInEditRange(raw, 0));

    struct {
        int32_t s;
        bool hidden;
        bool expected;
    } cases[] = {
        {0, false, false},
        {0, true, true},
        {2, false, true} /* no points */,
        {4, false, true} /* beyond the sweeps in force */,
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.s);
        if (c.s < raw.NumSweeps) raw.Sweeps[c.s].Flags = c.hidden ? kSweepHidden : 0;
        EXPECT_EQ(RawData_SweepHiddenOrEmpty(raw, c.s), c.expected);
    }
}

}  // namespace
