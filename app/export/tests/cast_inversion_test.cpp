// Cast inversion of a closed-form cast: a cylinder of radius R cut along its
// axis with a saw of kerf w into two half-shells facing inwards, piece 2
// moved away by a known transform, markers on both cut rims. The inverted
// model must be the cylinder again: every vertex at R from the axis with
// outward normals, 2R across the cut wherever the origin lies, the seam band
// trimmed, piece 2's stylus items carrying their pose on the model. Then the
// refusals of the results table, each leaving the surface as it was.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/export/cast_inversion.h"
#include "app/export/tests/cast_scans.h"
#include "app/scan/mesh_normals.h"
#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

#include "app/export/tests/failing_new.h"

namespace {

using namespace cast_scans;

CastInvHooks QuietHooks(int32_t* tooFar = nullptr) {
    CastInvHooks h;
    h.markerTooFar = [tooFar](int32_t pointNum, double reach) {
        EXPECT_EQ(reach, 100.0);
        if (tooFar) *tooFar = pointNum;
    };
    h.markerFarQuestion = [](double, int32_t) { return true; };
    return h;
}

// Markers placed on the surface are taken where the view draws them: the
// stylus tips 3 mm off the rims match as well as tips on the rims.
TEST(CastInversion, PlacedMarkersAreTakenAtTheirPlacement) {
    Cast cast({0, 0, 0}, kMoved);
    Markers markers;
    RimMarkers(cast, markers, 6, 6);
    StylusItemList& list = markers.List();
    for (int32_t i = 0; i < list.VisibleCount; ++i) {
        StylusItem& item = list.Items[i];
        item.BasicPose = item.Pose;
        item.Flags |= kStylusOnBasic;
        item.Pose[12] += 3.0f * (i % 3 == 0 ? 1.0f : -1.0f);
        item.Pose[13] += 2.0f * (i % 2 == 0 ? 1.0f : -1.0f);
    }
    CastInvReport report;
    ASSERT_EQ(CastInv_Align(cast.Surface(), list, kKerf, kTrim, 2, QuietHooks(), report), kCastInvOk);
    EXPECT_EQ(report.matchCount, 6);
    EXPECT_LT(report.meanError, 1e-3f);
}

TEST(CastInversion, ClosedFormCylinderComesBackWhole) {
    const struct {
        const char* name;
        Vec3 shift;
        int32_t method;
    } cases[] = {
        {"origin on the axis, symmetric", {0, 0, 0}, 2},
        {"origin beyond piece 1, symmetric", {-300.0f, 0, 0}, 2},
        {"origin beyond piece 2, asymmetric", {300.0f, 20.0f, -50.0f}, 1},
        {"origin beyond piece 1, neither method chosen", {-300.0f, -40.0f, 0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Cast cast(c.shift, kMoved);
        Markers markers;
        RimMarkers(cast, markers, 6, 6);
        CastInvReport report;
        ASSERT_EQ(CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, c.method, QuietHooks(), report),
                  kCastInvOk);
        EXPECT_EQ(report.matchCount, 6);
        EXPECT_LT(report.meanError, 1e-3f);
        EXPECT_GE(report.meanError, 0.0f);

        const SurfaceRecord& s = cast.Surface();
        EXPECT_EQ(s.Saved, 0);
        EXPECT_GT(s.ChangeTime, 5.0);
        // The two rim columns of each piece are trimmed away, nothing else.
        EXPECT_EQ(s.NumPoints, 2 * kAlong * (kAround - 2));
        EXPECT_EQ(s.NumFacets, 2 * 2 * (kAlong - 1) * (kAround - 3));
        float minX = 1e9f, maxX = -1e9f, nearestCut = 1e9f;
        for (int32_t v = 0; v < s.NumPoints; ++v) {
            const Vec3 p{s.Points[v].x - c.shift.x, s.Points[v].y - c.shift.y, s.Points[v].z - c.shift.z};
            const float r = std::sqrt(p.x * p.x + p.y * p.y);
            EXPECT_NEAR(r, kRadius, 2e-3f) << v;
            const Vec3 out{p.x / r, p.y / r, 0.0f};
            EXPECT_GT(V3_Dot(s.PointNormals[v], out), 0.999f) << v;
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            nearestCut = std::min(nearestCut, std::fabs(p.x));
        }
        EXPECT_NEAR(maxX - minX, 2 * kRadius, 2e-3f);
        EXPECT_GT(nearestCut, kKerf / 2 + 0.5f * kTrim);
        // Facets wind outwards now, and their normals say so.
        for (int32_t f = 0; f < s.NumFacets; ++f) {
            const int32_t* k = s.Facets + 3 * f;
            Vec3 e1, e2, n;
            V3_Sub(s.Points[k[1]], s.Points[k[0]], e1);
            V3_Sub(s.Points[k[2]], s.Points[k[0]], e2);
            V3_Cross(e1, e2, n);
            Vec3 radial{s.Points[k[0]].x - c.shift.x, s.Points[k[0]].y - c.shift.y, 0.0f};
            EXPECT_GT(V3_Dot(n, radial), 0.0f) << f;
            EXPECT_GT(V3_Dot(s.FacetNormals[f], radial), 0.0f) << f;
        }
        // Piece 2's markers: their pose on the model is where they were cut.
        EXPECT_EQ(markers.List().ReplaceNeeded, 1);
        int32_t inverted = 0;
        for (const StylusItem& item : markers.Items()) {
            if (!(item.Flags & kStylusInverted)) continue;
            ++inverted;
            const Vec3 at{item.FourthPose[12] - c.shift.x, item.FourthPose[13] - c.shift.y, 0.0f};
            EXPECT_NEAR(at.x, -kKerf / 2, 2e-3f);
            EXPECT_NEAR(std::fabs(at.y), std::sqrt(kRadius * kRadius - kKerf * kKerf / 4), 2e-3f);
        }
        EXPECT_EQ(inverted, 6);
    }
}

// Everything a refused run must leave as it was.
struct Snapshot {
    explicit Snapshot(Cast& cast, const Markers& markers)
        : points(cast.Surface().Points, cast.Surface().Points + cast.Surface().NumPoints),
          facets(cast.Surface().Facets, cast.Surface().Facets + 3 * cast.Surface().NumFacets),
          items(markers.Items()) {}
    void ExpectSame(Cast& cast, const Markers& markers) const {
        const SurfaceRecord& s = cast.Surface();
        ASSERT_EQ(s.NumPoints, static_cast<int32_t>(points.size()));
        ASSERT_EQ(3 * s.NumFacets, static_cast<int32_t>(facets.size()));
        EXPECT_EQ(0, std::memcmp(s.Points, points.data(), points.size() * sizeof(Vec3)));
        EXPECT_EQ(0, std::memcmp(s.Facets, facets.data(), facets.size() * sizeof(int32_t)));
        EXPECT_EQ(0, std::memcmp(markers.Items().data(), items.data(), items.size() * sizeof(StylusItem)));
        EXPECT_EQ(s.Saved, 1);
        EXPECT_EQ(s.ChangeTime, 5.0);
    }
    std::vector<Vec3> points;
    std::vector<int32_t> facets;
    std::vector<StylusItem> items;
};

TEST(CastInversion, ResultsTable) {
    const Matrix4 none = Rigid(Vec3{0, 0, 1}, 0.0f, Vec3{0, 0, 0});
    struct Row {
        const char* name;
        int32_t strip;  // vertex pairs of a third piece, 0 for none, -1 for a one-piece mesh
        int32_t piece1, piece2;
        int32_t method;
        int32_t result;
        int32_t matchCount;
    };
    const Row rows[] = {
        {"one piece", -1, 6, 6, 2, kCastInvBadMesh, 1},
        {"third piece leaves 94 %", 49, 6, 6, 2, kCastInvBadMesh, -1},
        {"third piece leaves 95 %", 40, 6, 6, 2, kCastInvOk, 6},
        {"symmetric 5 against 4", 0, 5, 4, 2, kCastInvParity, -1},
        {"asymmetric 5 against 4", 0, 5, 4, 1, kCastInvOk, 4},
        {"too few markers", 0, 3, 6, 2, kCastInvTooFewPairs, 0},
        {"symmetric beyond its limit", 0, 10, 10, 2, kCastInvTooManyMarkers, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // A one-piece mesh: piece 2 laid onto piece 1's rim, the two joined
        // by facets across the cut.
        Cast cast(Vec3{0, 0, 0}, kMoved);
        if (row.strip > 0) cast.AddStrip(row.strip);
        Markers markers;
        RimMarkers(cast, markers, row.piece1, row.piece2);
        if (row.strip < 0) {
            Cast joined(Vec3{0, 0, 0}, none);
            SurfaceRecord& s = joined.Surface();
            // Both pieces share vertex 0's facet: one more facet across them.
            std::vector<int32_t> facets(s.Facets, s.Facets + 3 * s.NumFacets);
            facets.insert(facets.end(), {0, kAround * kAlong, 1});
            std::vector<Vec3> normals(s.NumFacets + 1);
            s.Facets = facets.data();
            s.FacetNormals = normals.data();
            ++s.NumFacets;
            CastInvReport report;
            EXPECT_EQ(CastInv_Align(s, markers.List(), kKerf, kTrim, row.method, QuietHooks(), report), row.result);
            EXPECT_EQ(report.matchCount, row.matchCount);
            continue;
        }
        if (row.result == kCastInvOk) {
            CastInvReport report;
            EXPECT_EQ(CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, row.method, QuietHooks(), report),
                      row.result);
            EXPECT_EQ(report.matchCount, row.matchCount);
            // The third piece is gone with the seam.
            EXPECT_EQ(cast.Surface().NumPoints, 2 * kAlong * (kAround - 2));
            continue;
        }
        const Snapshot before(cast, markers);
        CastInvReport report;
        EXPECT_EQ(CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, row.method, QuietHooks(), report),
                  row.result);
        EXPECT_EQ(report.matchCount, row.matchCount);
        before.ExpectSame(cast, markers);
    }
}

TEST(CastInversion, MarkerBeyondReachIsReportedAndLeftOut) {
    Cast cast(Vec3{0, 0, 0}, kMoved);
    Markers markers;
    markers.Add(Vec3{0.0f, 0.0f, -150.0f});  // point 1, far below the cast
    RimMarkers(cast, markers, 5, 5);
    markers.Add(Vec3{0, 0, 0}, kStylusHidden);
    markers.Add(Vec3{0, 0, 0}, kStylusLineHead);
    markers.Add(Vec3{0, 0, 0}, kStylusLineMember);
    int32_t tooFar = 0;
    CastInvReport report;
    EXPECT_EQ(CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, 2, QuietHooks(&tooFar), report), kCastInvOk);
    EXPECT_EQ(tooFar, 1);
    EXPECT_EQ(report.matchCount, 5);
}

TEST(CastInversion, DoubtfulMarkerAnsweredNoAbandons) {
    Cast cast(Vec3{0, 0, 0}, kMoved);
    Markers markers;
    RimMarkers(cast, markers, 5, 5);
    Vec3 off = cast.RimPoint(1, 1, 20);
    off.z += 0.0f, off.x += 30.0f;  // 30 mm off piece 1, within reach
    markers.Add(off);
    const Snapshot before(cast, markers);
    CastInvHooks hooks = QuietHooks();
    int32_t asked = 0;
    hooks.markerFarQuestion = [&](double distance, int32_t pointNum) {
        EXPECT_GT(distance, 10.0);
        asked = pointNum;
        return false;
    };
    CastInvReport report;
    EXPECT_EQ(CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, 2, hooks, report), kCastInvAbandoned);
    EXPECT_EQ(asked, 11);
    before.ExpectSame(cast, markers);
}

// Every allocation of a run made to fail in turn: each failure (out of
// memory, or a fit that could not be made) leaves the surface and the stylus
// list as they were, including failures in the inversion, trimming and
// offset steps, until the run has memory enough to succeed.
TEST(CastInversion, FailureAnywhereLeavesEverythingUnchanged) {
    long failAt = 0;
    int32_t result = kCastInvOutOfMemory;
    int32_t outOfMemory = 0;
    for (; failAt < 5000; ++failAt) {
        Cast cast(Vec3{-300.0f, 0, 0}, kMoved);
        Markers markers;
        RimMarkers(cast, markers, 6, 6);
        const Snapshot before(cast, markers);
        CastInvReport report;
        g_allocationsLeft = failAt;
        result = CastInv_Align(cast.Surface(), markers.List(), kKerf, kTrim, 2, QuietHooks(), report);
        g_allocationsLeft = -1;
        if (result == kCastInvOk) break;
        outOfMemory += result == kCastInvOutOfMemory;
        SCOPED_TRACE("failing allocation " + std::to_string(failAt));
        before.ExpectSame(cast, markers);
    }
    EXPECT_EQ(result, kCastInvOk);
    EXPECT_GT(outOfMemory, 20);
}

TEST(CastInversion, GrowRegionsNumbersPiecesInIndexOrder) {
    // Facets 0-1-2 and 3-4-5 and a lone vertex 6; vertex 4 already labelled.
    const int32_t facets[] = {4, 3, 5, 2, 0, 1};
    std::vector<int32_t> labels = {0, 0, 0, 0, 9, 0, 0};
    int32_t regions = 0;
    CastInv_GrowRegions(7, facets, 2, labels, regions);
    EXPECT_EQ(labels, (std::vector<int32_t>{1, 1, 1, 2, 9, 2, 3}));
    EXPECT_EQ(regions, 3);
}

}  // namespace
