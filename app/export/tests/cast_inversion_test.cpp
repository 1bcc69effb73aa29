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
#include "app/scan/mesh_normals.h"
#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

#include "app/export/tests/failing_new.h"

namespace {

constexpr float kRadius = 40.0f;
constexpr float kKerf = 3.0f;
constexpr float kTrim = 6.0f;
constexpr int32_t kAround = 19;  // vertices across a half-shell, the middle one at its widest
constexpr int32_t kAlong = 40;   // vertices along the axis, 5 mm apart
constexpr float kStep = 5.0f;

Matrix4 Rigid(Vec3 axis, float degrees, Vec3 move) {
    V3_Normalise(axis, axis);
    Matrix4 t;
    M4_MakeAxisRotation(axis, degrees, t);
    t[12] = move.x, t[13] = move.y, t[14] = move.z;
    return t;
}

// The surface record over vectors the fixture owns (so that it can also be
// compacted in place), with the arrays of an RBF surface: no weights or
// resolutions.
class Cast {
  public:
    // `shift` places the cylinder's axis; piece 2 is then moved by `moved`.
    Cast(Vec3 shift, const Matrix4& moved) : shift_(shift) {
        AddPiece(0.0f, nullptr);
        AddPiece(static_cast<float>(kGeometryPi), &moved);
        Attach();
    }
    // A further piece: a strip of 2 x n vertices far from the cast.
    void AddStrip(int32_t n) {
        const auto base = static_cast<int32_t>(points_.size());
        for (int32_t i = 0; i < n; ++i)
            for (int32_t r = 0; r < 2; ++r) Vertex(Vec3{500.0f + i, 500.0f + r, 0.0f}, Vec3{0, 0, 1});
        for (int32_t i = 0; i + 1 < n; ++i) Quad(base + 2 * i, base + 2 * i + 1, base + 2 * i + 3, base + 2 * i + 2);
        Attach();
    }
    // Marker at the rim of a piece: side +1 or -1 of the cut, along-axis index k.
    Vec3 RimPoint(int32_t piece, int32_t side, int32_t k) const {
        const int32_t column = side > 0 ? kAround - 1 : 0;
        return points_[(piece - 1) * kAround * kAlong + k * kAround + column];
    }
    SurfaceRecord& Surface() { return s_; }
    Vec3 Shift() const { return shift_; }
    int32_t Vertices() const { return static_cast<int32_t>(points_.size()); }

  private:
    // A half-shell between the angles centre ± acos(w / 2R): the material
    // left beside the saw cut on that side. Normals point at the axis (the
    // inside of a cast), facets wound to match.
    void AddPiece(float centre, const Matrix4* moved) {
        const auto base = static_cast<int32_t>(points_.size());
        const double half = std::acos(kKerf / (2.0 * kRadius));
        for (int32_t k = 0; k < kAlong; ++k)
            for (int32_t a = 0; a < kAround; ++a) {
                const double phi = centre - half + 2 * half * a / (kAround - 1);
                Vec3 p{static_cast<float>(kRadius * std::cos(phi)) + shift_.x,
                       static_cast<float>(kRadius * std::sin(phi)) + shift_.y, kStep * k + shift_.z};
                Vec3 n{-static_cast<float>(std::cos(phi)), -static_cast<float>(std::sin(phi)), 0.0f};
                if (moved) {
                    Matrix4 r = *moved;
                    r[12] = r[13] = r[14] = 0.0f;
                    M4_TransformPoint(*moved, p, p);
                    M4_TransformPoint(r, n, n);
                }
                Vertex(p, n);
            }
        for (int32_t k = 0; k + 1 < kAlong; ++k)
            for (int32_t a = 0; a + 1 < kAround; ++a) {
                const int32_t v = base + k * kAround + a;
                Quad(v, v + 1, v + kAround + 1, v + kAround);
            }
    }
    void Vertex(Vec3 p, Vec3 n) {
        points_.push_back(p);
        normals_.push_back(n);
        grey_.push_back(static_cast<uint8_t>(points_.size() % 251));
    }
    // Two facets whose (Q - P) x (R - P) follows the vertex normals.
    void Quad(int32_t a, int32_t b, int32_t c, int32_t d) {
        for (int32_t v : {a, c, b, a, d, c}) facets_.push_back(v);
        facetNormals_.push_back(Vec3{0, 0, 0});
        facetNormals_.push_back(Vec3{0, 0, 0});
    }
    void Attach() {
        std::memset(&s_, 0, sizeof s_);
        s_.NumPoints = s_.MaxPoints = static_cast<int32_t>(points_.size());
        s_.Points = points_.data();
        s_.PointNormals = normals_.data();
        s_.Greyscale = grey_.data();
        s_.NumFacets = s_.MaxFacets = static_cast<int32_t>(facetNormals_.size());
        s_.Facets = facets_.data();
        s_.FacetNormals = facetNormals_.data();
        s_.Saved = 1;
        s_.ChangeTime = 5.0;
        Mesh_FacetNormals(s_.NumPoints, s_.Points, s_.NumFacets, s_.Facets, 0, nullptr, s_.FacetNormals, nullptr,
                          nullptr, nullptr);
    }
    Vec3 shift_;
    SurfaceRecord s_;
    std::vector<Vec3> points_, normals_, facetNormals_;
    std::vector<uint8_t> grey_;
    std::vector<int32_t> facets_;
};

class Markers {
  public:
    void Add(Vec3 at, uint32_t flags = 0) {
        StylusItem item{};
        M4_Identity(item.Pose);
        item.Pose[12] = at.x, item.Pose[13] = at.y, item.Pose[14] = at.z;
        item.Flags = flags;
        items_.push_back(item);
        list_.Items = items_.data();
        list_.VisibleCount = list_.TotalCount = list_.Capacity = static_cast<int32_t>(items_.size());
    }
    StylusItemList& List() { return list_; }
    const std::vector<StylusItem>& Items() const { return items_; }

  private:
    std::vector<StylusItem> items_;
    StylusItemList list_{};
};

// Rim markers not symmetric along the axis, so that one assignment fits.
// Piece 2's go first in the list for half of them, to mix the order.
void RimMarkers(const Cast& cast, Markers& markers, int32_t perPiece1, int32_t perPiece2) {
    const int32_t along[] = {2, 5, 30, 37, 11, 21, 26, 15, 33, 8};
    for (int32_t i = 0; i < std::max(perPiece1, perPiece2); ++i) {
        const int32_t side = i % 2 ? -1 : 1;
        if (i < perPiece2 && i % 3 == 0) markers.Add(cast.RimPoint(2, -side, along[i]));
        if (i < perPiece1) markers.Add(cast.RimPoint(1, side, along[i]));
        if (i < perPiece2 && i % 3 != 0) markers.Add(cast.RimPoint(2, -side, along[i]));
    }
}

const Matrix4 kMoved = Rigid(Vec3{0.2f, 1.0f, -0.4f}, 140.0f, Vec3{250.0f, -120.0f, 60.0f});

CastInvHooks QuietHooks(int32_t* tooFar = nullptr) {
    CastInvHooks h;
    h.markerTooFar = [tooFar](int32_t pointNum, double reach) {
        EXPECT_EQ(reach, 100.0);
        if (tooFar) *tooFar = pointNum;
    };
    h.markerFarQuestion = [](double, int32_t) { return true; };
    return h;
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
