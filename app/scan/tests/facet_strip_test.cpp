// The facet strip between two profiles and the point normals after it.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "app/scan/facet_strip.h"
#include "app/scan/profile_processing.h"
#include "scan_record_fixture.h"

namespace {

using scan_test::WandLookingDown;

// Two point lines along x in the plane z = 0: the previous one at y = 0, the
// current one at y = `apart`, each point's resolution the squared distance
// between the lines.
struct TwoLines {
    std::vector<ScanPoint> points;
    int32_t prevCount = 0, curCount = 0;
    float apart = 0.5f;

    void Add(float x, float y) {
        ScanPoint p{};
        p.Vertex = Vec3{x, y, 0.0f};
        p.ResolutionSq = apart * apart;
        points.push_back(p);
    }
    static TwoLines Grid(int n, float spacing, float shift, float apart = 0.5f) {
        TwoLines t;
        t.apart = apart;
        for (int k = 0; k < n; ++k) t.Add(spacing * k, 0.0f);
        for (int k = 0; k < n; ++k) t.Add(spacing * k + shift, apart);
        t.prevCount = t.curCount = n;
        return t;
    }
};

struct StripResult {
    std::vector<Facet> facets;
    std::vector<Vec3> normals;
};

StripResult RunStrip(const TwoLines& t, const Matrix4& wand) {
    StripResult r;
    const int32_t room = t.prevCount + t.curCount + 1;
    r.facets.resize(room);
    r.normals.resize(room);
    Matrix4 reference;
    M4_Identity(reference);
    int32_t count = 0;
    Scan_FacetStrip(t.points.data(), 0, t.prevCount, t.prevCount, t.curCount, wand, reference, r.facets.data(),
                    r.normals.data(), &count);
    r.facets.resize(count);
    r.normals.resize(count);
    return r;
}

Vec3 Camera(const Matrix4& wand) {
    Vec3 c;
    M4_TransformPoint(wand, kStripCameraPoint, c);
    return c;
}

using EdgeUses = std::map<std::pair<int32_t, int32_t>, int>;

// Every facet's stored normal is the cross product of its edges in winding
// order and faces the camera; no edge has more than two facets; returns the
// total area and the uses of each edge.
float CheckStrip(const TwoLines& t, const StripResult& r, const Vec3& camera, EdgeUses* uses = nullptr) {
    EdgeUses edges;
    float area = 0.0f;
    for (size_t f = 0; f < r.facets.size(); ++f) {
        const int32_t* v = r.facets[f].v;
        Vec3 e1, e2, n, toCamera;
        V3_Sub(t.points[v[1]].Vertex, t.points[v[0]].Vertex, e1);
        V3_Sub(t.points[v[2]].Vertex, t.points[v[0]].Vertex, e2);
        V3_Cross(e1, e2, n);
        EXPECT_NEAR(V3_Distance(n, r.normals[f]), 0.0f, 1e-5f) << f;
        V3_Sub(camera, t.points[v[0]].Vertex, toCamera);
        EXPECT_GT(V3_Dot(n, toCamera), 0.0f) << f;
        area += 0.5f * V3_Length(n);
        for (int k = 0; k < 3; ++k) {
            const int32_t a = v[k], b = v[(k + 1) % 3];
            const std::pair<int32_t, int32_t> edge(std::min(a, b), std::max(a, b));
            EXPECT_LE(++edges[edge], 2) << a << "-" << b;
        }
    }
    if (uses) *uses = edges;
    return area;
}

TEST(FacetStrip, ZipsTwoLinesWithoutOverlap) {
    const Matrix4 wand = WandLookingDown(1.0f, 0.25f, 100.0f);
    struct Case {
        const char* name;
        float shift;
    };
    // Aligned points make every step a tie between the two candidates.
    for (const Case& c : {Case{"aligned", 0.0f}, Case{"staggered", 0.25f}, Case{"staggered back", -0.2f}}) {
        SCOPED_TRACE(c.name);
        const TwoLines t = TwoLines::Grid(5, 0.5f, c.shift);
        const StripResult r = RunStrip(t, wand);
        EXPECT_EQ(r.facets.size(), 8u);
        // The strip covers the quadrilateral between the lines exactly once:
        // its area, with every segment of both lines on one facet.
        EdgeUses uses;
        const float expected = 0.5f * 0.5f * (2.0f + 2.0f);
        EXPECT_NEAR(CheckStrip(t, r, Camera(wand), &uses), expected, 1e-4f);
        for (int32_t k = 0; k < 4; ++k) {
            EXPECT_EQ(uses[std::make_pair(k, k + 1)], 1) << k;
            EXPECT_EQ(uses[std::make_pair(5 + k, 6 + k)], 1) << 5 + k;
        }
    }
}

TEST(FacetStrip, TrianglesFaceTheCameraOrAreRefusedWhenSeenEdgeOn) {
    struct Case {
        const char* name;
        Vec3 camera;
        size_t facets;
    };
    // The normal of the strip is ±z; the limit is 70 degrees from it.
    const Case cases[] = {
        {"above", {1, 0, 100}, 8},
        {"below", {1, 0, -100}, 8},
        {"in the plane", {1000, 0, 0}, 0},
        {"68 degrees", {1000, 0.25f, 404}, 8},
        {"72 degrees", {1000, 0.25f, 325}, 0},
    };
    const TwoLines t = TwoLines::Grid(5, 0.5f, 0.25f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Matrix4 wand;
        M4_MakeTranslation(Vec3{c.camera.x + 120.0f, c.camera.y, c.camera.z + 10.0f}, wand);
        const StripResult r = RunStrip(t, wand);
        ASSERT_EQ(r.facets.size(), c.facets);
        CheckStrip(t, r, c.camera);
        for (const Vec3& n : r.normals) EXPECT_GT(n.z * c.camera.z, 0.0f);
    }
}

TEST(FacetStrip, GapsBreakTheStripWhichResumesAtTheNearestClosePair) {
    const Matrix4 wand = WandLookingDown(5.0f, 0.25f, 100.0f);
    TwoLines t;
    // Previous line: x = 0..2 and 8..10; current line: x = 0..10, all 0.5 apart.
    for (int k = 0; k <= 20; ++k)
        if (k <= 4 || k >= 16) t.Add(0.5f * k, 0.0f);
    t.prevCount = static_cast<int32_t>(t.points.size());
    for (int k = 0; k <= 20; ++k) t.Add(0.5f * k + 0.25f, 0.5f);
    t.curCount = 21;
    const StripResult r = RunStrip(t, wand);
    CheckStrip(t, r, Camera(wand));
    // Both ends are joined, nothing spans the gap.
    bool left = false, right = false;
    for (const Facet& f : r.facets) {
        float lo = 1e9f, hi = -1e9f;
        for (int32_t v : f.v) {
            lo = std::min(lo, t.points[v].Vertex.x);
            hi = std::max(hi, t.points[v].Vertex.x);
        }
        EXPECT_LT(hi - lo, 2.0f);
        EXPECT_FALSE(lo < 2.5f && hi > 7.5f);
        left = left || hi <= 2.5f;
        right = right || lo >= 7.5f;
    }
    EXPECT_TRUE(left);
    EXPECT_TRUE(right);
}

TEST(FacetStrip, NoFacetsWhenTheLinesNeverMeetOrHoldOnePointEach) {
    const Matrix4 wand = WandLookingDown(1.0f, 0.25f, 100.0f);
    TwoLines apart = TwoLines::Grid(5, 0.5f, 0.0f, 0.5f);
    for (int32_t k = 5; k < 10; ++k) apart.points[k].Vertex.y = 50.0f;
    EXPECT_TRUE(RunStrip(apart, wand).facets.empty());
    const TwoLines single = TwoLines::Grid(1, 0.5f, 0.0f);
    EXPECT_TRUE(RunStrip(single, wand).facets.empty());
    TwoLines empty = TwoLines::Grid(3, 0.5f, 0.0f);
    empty.curCount = 0;
    EXPECT_TRUE(RunStrip(empty, wand).facets.empty());
}

TEST(FacetStrip, SpacingBoundDecidesToTheLastBit) {
    // One triangle P, Q, P' whose longest edge, |Q - P'|² = 1.25, is compared
    // with G x cbrt(r(P') x r(P) x r(Q)), the cube root in single precision
    // as exp(log(x) / 3); r(P) = r(Q) = 1, so r(P') alone moves the bound.
    const auto bound = [](float x) { return kScanSpacingFactor * std::exp(std::log(x) * 0.33333333333f); };
    const float edge = 1.25f;
    float x = std::pow(edge / kScanSpacingFactor, 3.0f);
    while (bound(x) < edge) x = std::nextafter(x, 1.0f);
    while (bound(std::nextafter(x, 0.0f)) >= edge) x = std::nextafter(x, 0.0f);
    const Matrix4 wand = WandLookingDown(0.5f, 0.25f, 100.0f);
    for (const float r : {x, std::nextafter(x, 0.0f)}) {
        SCOPED_TRACE(r);
        TwoLines t;
        t.Add(0.0f, 0.0f);
        t.Add(1.0f, 0.0f);
        t.Add(0.0f, 0.5f);
        for (ScanPoint& p : t.points) p.ResolutionSq = 1.0f;
        t.points[1].ResolutionSq = r;
        t.prevCount = 2;
        t.curCount = 1;
        EXPECT_EQ(RunStrip(t, wand).facets.size(), bound(r) >= edge ? 1u : 0u);
    }
}

TEST(StripNormals, PreviousNormalsBecomeFinalAndCurrentSumsAreCarried) {
    // Three lines of the plane z = 0: strips A-B (first) and B-C.
    const Matrix4 wand = WandLookingDown(1.0f, 0.5f, 100.0f);
    Matrix4 reference;
    M4_Identity(reference);
    TwoLines t = TwoLines::Grid(5, 0.5f, 0.25f);
    for (int k = 0; k < 5; ++k) t.Add(0.5f * k, 1.0f);
    std::vector<Facet> facets(32);
    std::vector<Vec3> normals(32);
    Vec3 carry[kMaxProfilePoints];
    for (Vec3& c : carry) c = Vec3{5, 5, 5};  // ignored by a first strip

    int32_t count = 0;
    Scan_FacetStrip(t.points.data(), 0, 5, 5, 5, wand, reference, facets.data(), normals.data(), &count);
    Scan_StripNormals(5, t.points.data(), carry, 0, 5, 5, facets.data(), normals.data(), 0, count, true);
    for (int k = 0; k < 10; ++k) EXPECT_NEAR(t.points[k].Normal.z, 1.0f, 1e-6f) << k;
    // The carry holds the current line's area sums, not unit vectors.
    float carried = 0.0f;
    for (int k = 0; k < 5; ++k) carried += carry[k].z;
    // Twice each facet's area (0.125) for each of its corners on that line:
    // four facets have one corner there, four have two.
    EXPECT_NEAR(carried, 0.25f * (4 * 1 + 4 * 2), 1e-5f);

    const int32_t before = count;
    Scan_FacetStrip(t.points.data(), 5, 5, 10, 5, wand, reference, facets.data(), normals.data(), &count);
    // A stale normal on the middle line must not survive: it is rebuilt from
    // the carry and the new facets.
    t.points[7].Normal = Vec3{1, 0, 0};
    Scan_StripNormals(5, t.points.data(), carry, 5, 10, 5, facets.data(), normals.data(), before, count, false);
    for (int k = 5; k < 15; ++k) {
        EXPECT_NEAR(t.points[k].Normal.z, 1.0f, 1e-6f) << k;
        EXPECT_NEAR(t.points[k].Normal.x, 0.0f, 1e-6f) << k;
    }
}

}  // namespace
