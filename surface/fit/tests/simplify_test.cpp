#include "surface/fit/simplify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "surface/fit/eval_operations.h"
#include "surface/fit/poly_mesh.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"

namespace {

using Point = std::array<double, 3>;
using Tri = std::array<int32_t, 3>;

// f(x) = |x| - 1: one biharmonic centre at the origin and the constant -1,
// so that a face's error is the exact distance of its centroid from the
// unit sphere.
struct UnitSphere {
    Solution3 s{};
    UnitSphere() {
        Solution3_Create(&s, 1, 0);
        s.CoeffCount = 5;
        s.PolyDegree = 1;
        s.Basic = BasicFunction{0, 0.0, 0};
        s.DefaultEvalAccuracy = 1e-6;
        const double c[5] = {1, -1, 0, 0, 0};
        std::memcpy(s.Coeffs, c, sizeof c);
        for (int k = 0; k < 3; ++k) s.Centres[k] = 0.0;
    }
    ~UnitSphere() { Solution3_Free(&s); }
};

double Norm(const Point& p) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]); }

// A geodesic sphere: an icosahedron whose faces are split in four
// `levels` times, every point pushed onto the unit sphere. Outward faces.
struct Mesh {
    std::vector<Point> points;
    std::vector<Tri> tris;
};

Mesh Icosphere(int levels) {
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    Mesh m;
    m.points = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    m.tris = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
              {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
              {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<int32_t, int32_t>, int32_t> middle;
        auto mid = [&](int32_t a, int32_t b) {
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto found = middle.find(key);
            if (found != middle.end()) return found->second;
            Point p;
            for (int k = 0; k < 3; ++k) p[k] = (m.points[a][k] + m.points[b][k]) / 2;
            m.points.push_back(p);
            return middle[key] = static_cast<int32_t>(m.points.size() - 1);
        };
        std::vector<Tri> next;
        for (const Tri& f : m.tris) {
            const int32_t ab = mid(f[0], f[1]), bc = mid(f[1], f[2]), ca = mid(f[2], f[0]);
            next.insert(next.end(), {Tri{f[0], ab, ca}, Tri{f[1], bc, ab}, Tri{f[2], ca, bc}, Tri{ab, bc, ca}});
        }
        m.tris = next;
    }
    for (Point& p : m.points) {
        const double n = Norm(p);
        for (double& x : p) x /= n;
    }
    return m;
}

void ToMesh3(const Mesh& m, Mesh3* out) {
    ASSERT_EQ(Mesh3_Create(out, static_cast<int32_t>(m.points.size()), static_cast<int32_t>(m.tris.size()), 0), 0);
    for (size_t i = 0; i < m.points.size(); ++i)
        std::copy(m.points[i].begin(), m.points[i].end(), out->Points.Location + 3 * i);
    for (size_t i = 0; i < m.tris.size(); ++i) std::copy(m.tris[i].begin(), m.tris[i].end(), out->Faces.Tri + 3 * i);
    out->Points.Count = static_cast<int32_t>(m.points.size());
    out->Faces.TriCount = static_cast<int32_t>(m.tris.size());
}

struct Verdict {
    bool closedAndOriented = true;  // every directed edge once, and its reverse once
    bool edgeManifold = true;
    double volume = 0.0;
};

Verdict Inspect(const Mesh3& m) {
    Verdict v;
    std::map<std::pair<int32_t, int32_t>, int> directed;
    for (int32_t f = 0; f < m.Faces.TriCount; ++f) {
        const int32_t* c = m.Faces.Tri + 3 * f;
        const double* a = m.Points.Location + 3 * c[0];
        const double* b = m.Points.Location + 3 * c[1];
        const double* d = m.Points.Location + 3 * c[2];
        v.volume += (a[0] * (b[1] * d[2] - b[2] * d[1]) - a[1] * (b[0] * d[2] - b[2] * d[0]) +
                     a[2] * (b[0] * d[1] - b[1] * d[0])) /
                    6.0;
        for (int k = 0; k < 3; ++k) directed[{c[k], c[(k + 1) % 3]}]++;
    }
    for (const auto& [e, n] : directed) {
        const auto reverse = directed.find({e.second, e.first});
        if (n != 1 || reverse == directed.end() || reverse->second != 1) v.closedAndOriented = false;
        if (n > 1) v.edgeManifold = false;
    }
    return v;
}

double LargestCentroidError(const Mesh3& m) {
    double worst = 0.0;
    for (int32_t f = 0; f < m.Faces.TriCount; ++f) {
        Point c{};
        for (int k = 0; k < 3; ++k) {
            for (int i = 0; i < 3; ++i) c[i] += m.Points.Location[3 * m.Faces.Tri[3 * f + k] + i] / 3;
        }
        worst = std::max(worst, std::fabs(Norm(c) - 1.0));
    }
    return worst;
}

TEST(Simplify, ReducesASphereToItsFaceTargetStayingClosedAndOutward) {
    UnitSphere sphere;
    Mesh3 input, output;
    ToMesh3(Icosphere(3), &input);
    const int32_t target = input.Faces.TriCount / 5;
    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    limits.FacesLimit = target;
    CapturingReporter capture(kLevelInfo);
    ASSERT_EQ(Simplify3_NoColour(&input, &output, &sphere.s, nullptr, 0.0, 0.0, &limits, &capture.reporter), 0);
    EXPECT_LE(output.Faces.TriCount, target);
    EXPECT_GE(output.Faces.TriCount, target - 2);  // one collapse takes two faces
    EXPECT_EQ(output.Faces.QuadCount, 0);
    const Verdict v = Inspect(output);
    EXPECT_TRUE(v.closedAndOriented);
    EXPECT_TRUE(v.edgeManifold);
    EXPECT_NEAR(v.volume, Inspect(input).volume, 0.1 * v.volume);
    // Euler: a closed sphere keeps V - E + F = 2, so no point is left over.
    EXPECT_EQ(output.Points.Count, output.Faces.TriCount / 2 + 2);
    for (int32_t i = 0; i < output.Points.Count; ++i) {
        const double* p = output.Points.Location + 3 * i;
        // Every target went back onto the sphere, within the evaluation's
        // accuracy.
        EXPECT_NEAR(Norm({p[0], p[1], p[2]}), 1.0, 1e-5);
    }
    EXPECT_NEAR(limits.FinalError, LargestCentroidError(output), 1e-5);
    bool said = false;
    for (const auto& line : capture.lines) said = said || line.text.rfind("Final faces", 0) == 0;
    EXPECT_TRUE(said);
    Mesh3_Free(&input);
    Mesh3_Free(&output);
}

// Points no face uses, as a distance trim leaves them, spread through the
// point list inside the sphere: they are never moved onto the surface, never
// counted towards the points limit, and do not reach the output.
TEST(Simplify, PointsNoFaceUsesGoInTheFinalCompaction) {
    UnitSphere sphere;
    Mesh m = Icosphere(2);
    const std::vector<Point> loose = {{0.1, 0, 0}, {0, 0.2, 0}, {0, 0, -0.3}, {0.2, 0.2, 0.2}, {-0.4, 0, 0.1}};
    for (size_t k = 0; k < loose.size(); ++k) {
        const int32_t at = static_cast<int32_t>(k * 37);
        m.points.insert(m.points.begin() + at, loose[k]);
        for (Tri& t : m.tris) {
            for (int32_t& c : t) c += c >= at;
        }
    }
    const int32_t used = static_cast<int32_t>(m.points.size() - loose.size());
    const struct {
        const char* name;
        int32_t pointsLimit, facesLimit;
    } cases[] = {{"points limit", used - 60, 0}, {"faces limit", 0, static_cast<int32_t>(m.tris.size() / 2)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mesh3 input, output;
        ToMesh3(m, &input);
        SimplifyLimits limits;
        SimplifyLimits_Default(&limits);
        limits.PointsLimit = c.pointsLimit;
        limits.FacesLimit = c.facesLimit;
        ASSERT_EQ(Simplify3_NoColour(&input, &output, &sphere.s, nullptr, 0.0, 0.0, &limits, nullptr), 0);
        if (c.pointsLimit > 0) EXPECT_EQ(output.Points.Count, c.pointsLimit);
        std::vector<bool> usedOut(output.Points.Count, false);
        for (int32_t i = 0; i < 3 * output.Faces.TriCount; ++i) {
            ASSERT_LT(output.Faces.Tri[i], output.Points.Count);
            usedOut[output.Faces.Tri[i]] = true;
        }
        EXPECT_EQ(std::count(usedOut.begin(), usedOut.end(), false), 0);
        for (int32_t i = 0; i < output.Points.Count; ++i) {
            const double* p = output.Points.Location + 3 * i;
            EXPECT_NEAR(Norm({p[0], p[1], p[2]}), 1.0, 1e-5) << i;
        }
        const Verdict v = Inspect(output);
        EXPECT_TRUE(v.closedAndOriented);
        EXPECT_EQ(output.Points.Count, output.Faces.TriCount / 2 + 2);
        Mesh3_Free(&input);
        Mesh3_Free(&output);
    }
}

// s(x) = x_axis: one centre with coefficient 0 and the linear polynomial.
struct Coordinate {
    Solution3 s{};
    explicit Coordinate(int axis) {
        Solution3_Create(&s, 1, 0);
        s.CoeffCount = 5;
        s.PolyDegree = 1;
        s.Basic = BasicFunction{0, 0.0, 0};
        s.DefaultEvalAccuracy = 1e-6;
        for (int k = 0; k < 5; ++k) s.Coeffs[k] = k == 2 + axis ? 1.0 : 0.0;
    }
    ~Coordinate() { Solution3_Free(&s); }
};

double LongestEdge(const Mesh3& m) {
    double longest = 0.0;
    for (int32_t f = 0; f < m.Faces.TriCount; ++f)
        for (int k = 0; k < 3; ++k) {
            const double* a = m.Points.Location + 3 * m.Faces.Tri[3 * f + k];
            const double* b = m.Points.Location + 3 * m.Faces.Tri[3 * f + (k + 1) % 3];
            longest = std::max(longest, Norm({a[0] - b[0], a[1] - b[1], a[2] - b[2]}));
        }
    return longest;
}

TEST(Simplify, ColourStepBoundsTheCollapses) {
    // Colours that are the coordinates themselves: a face's colour step is
    // its longest edge, so the step limit bounds the edges of the result
    // while the same face target without colours makes longer ones.
    UnitSphere sphere;
    const Coordinate red(0), green(1), blue(2);
    Mesh3 input, coloured, plain;
    ToMesh3(Icosphere(3), &input);
    const double step = 0.35;
    ASSERT_LT(LongestEdge(input), step);
    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    limits.FacesLimit = 40;
    CapturingReporter capture(kLevelInfo);
    ASSERT_EQ(0, Selvane_Simplify3(&input, &coloured, &sphere.s, nullptr, 0.0, 0.0, &red.s, &green.s, &blue.s, nullptr,
                                   step, &limits, &capture.reporter));
    EXPECT_LT(coloured.Faces.TriCount, input.Faces.TriCount / 2);
    EXPECT_LE(LongestEdge(coloured), step + 1e-9);
    EXPECT_TRUE(Inspect(coloured).closedAndOriented);
    bool said = false;
    for (const auto& line : capture.lines) said = said || line.text.rfind("RgbStep limit", 0) == 0;
    EXPECT_TRUE(said);
    ASSERT_EQ(0, Simplify3_NoColour(&input, &plain, &sphere.s, nullptr, 0.0, 0.0, &limits, nullptr));
    EXPECT_GT(LongestEdge(plain), step);
    // Colours need all three solutions: with one missing none is used.
    Mesh3 partial;
    ASSERT_EQ(0, Selvane_Simplify3(&input, &partial, &sphere.s, nullptr, 0.0, 0.0, &red.s, &green.s, nullptr, nullptr,
                                   step, &limits, nullptr));
    EXPECT_EQ(plain.Faces.TriCount, partial.Faces.TriCount);
    for (Mesh3* m : {&input, &coloured, &plain, &partial}) Mesh3_Free(m);
}

TEST(Simplify, ErrorLimitAloneKeepsEveryFaceWithinIt) {
    UnitSphere sphere;
    Mesh3 input, output;
    ToMesh3(Icosphere(3), &input);
    const double start = LargestCentroidError(input);
    const double limit = 4 * start;
    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    ASSERT_EQ(Simplify3_NoColour(&input, &output, &sphere.s, nullptr, limit, 0.0, &limits, nullptr), 0);
    EXPECT_LT(output.Faces.TriCount, input.Faces.TriCount / 2);
    EXPECT_LE(LargestCentroidError(output), limit);
    EXPECT_NEAR(limits.FinalError, LargestCentroidError(output), 1e-5);
    EXPECT_GT(limits.FinalError, start);
    EXPECT_TRUE(Inspect(output).closedAndOriented);
    Mesh3_Free(&input);
    Mesh3_Free(&output);
}

// The sphere with its lower half pressed flat onto z = 0 and the flat faces
// taken away: an open rim in a box plane, along which points may slide.
// A hole cut at 45 degrees in x and y is an open boundary off the box
// planes: its points are locked.
TEST(Simplify, BoxPlanePointsStayOnTheirPlanesAndLockedPointsNeverMove) {
    Mesh half = Icosphere(3);
    for (Point& p : half.points) p[2] = std::max(p[2], 0.0);
    const Point hole = {0.5, 0.5, std::sqrt(0.5)};
    std::vector<Tri> upper;
    for (const Tri& t : half.tris) {
        Point c{};
        bool flat = true;
        for (int32_t v : t) {
            flat = flat && half.points[v][2] == 0.0;
            for (int k = 0; k < 3; ++k) c[k] += half.points[v][k] / 3;
        }
        if (!flat && Norm({c[0] - hole[0], c[1] - hole[1], c[2] - hole[2]}) > 0.25) upper.push_back(t);
    }
    half.tris = upper;
    Mesh3 input, output;
    ToMesh3(half, &input);
    std::map<std::pair<int32_t, int32_t>, int> uses;
    for (const Tri& t : half.tris) {
        for (int k = 0; k < 3; ++k) uses[{std::min(t[k], t[(k + 1) % 3]), std::max(t[k], t[(k + 1) % 3])}]++;
    }
    std::set<Point> rim, locked;
    for (const auto& [e, n] : uses) {
        if (n != 1) continue;
        const bool onPlane = half.points[e.first][2] == 0.0 && half.points[e.second][2] == 0.0;
        for (int32_t v : {e.first, e.second}) (onPlane ? rim : locked).insert(half.points[v]);
    }
    ASSERT_FALSE(rim.empty());
    ASSERT_FALSE(locked.empty());
    UnitSphere s;
    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    limits.FacesLimit = static_cast<int32_t>(half.tris.size()) / 4;
    ASSERT_EQ(Simplify3_NoColour(&input, &output, &s.s, nullptr, 0.0, 0.0, &limits, nullptr), 0);
    EXPECT_LT(output.Faces.TriCount, static_cast<int32_t>(half.tris.size()) / 2);
    std::set<Point> kept;
    for (int32_t i = 0; i < output.Points.Count; ++i) {
        const double* p = output.Points.Location + 3 * i;
        kept.insert({p[0], p[1], p[2]});
    }
    for (const Point& p : locked) EXPECT_TRUE(kept.count(p)) << p[0] << " " << p[1] << " " << p[2];
    // Every open edge of the output is either the hole's or lies in z = 0.
    std::map<std::pair<int32_t, int32_t>, int> outUses;
    for (int32_t f = 0; f < output.Faces.TriCount; ++f) {
        const int32_t* c = output.Faces.Tri + 3 * f;
        for (int k = 0; k < 3; ++k) outUses[{std::min(c[k], c[(k + 1) % 3]), std::max(c[k], c[(k + 1) % 3])}]++;
    }
    int32_t rimEdges = 0;
    for (const auto& [e, n] : outUses) {
        if (n != 1) continue;
        const double* a = output.Points.Location + 3 * e.first;
        const double* b = output.Points.Location + 3 * e.second;
        const bool onPlane = a[2] == 0.0 && b[2] == 0.0;
        rimEdges += onPlane ? 1 : 0;
        if (!onPlane) {
            EXPECT_TRUE(locked.count({a[0], a[1], a[2]}) && locked.count({b[0], b[1], b[2]}));
        }
    }
    EXPECT_GE(rimEdges, 3);
    Mesh3_Free(&input);
    Mesh3_Free(&output);
}

TEST(Simplify, LimitsAndRefusalsAsATable) {
    UnitSphere sphere;
    Mesh3 input;
    ToMesh3(Icosphere(1), &input);
    const int32_t points = input.Points.Count, faces = input.Faces.TriCount;
    const struct {
        const char* name;
        SimplifyLimits limits;
        double errorLimit;
        int status;
        const char* message;  // first line at level 2 or below, or null for none
        bool unchanged;       // the output is the input
    } cases[] = {
        {"angle 0", {0, faces / 2, 0.0, 0, 0}, 0.0, 0, nullptr, false},
        {"angle 90", {0, faces / 2, 90.0, 0, 0}, 0.0, 0, nullptr, false},
        {"angle below 0",
         {0, faces / 2, -1.0, 0, 0},
         0.0,
         17,
         "Minimum enclosed angle limit must be < 90 and > 0",
         false},
        {"angle above 90",
         {0, faces / 2, 91.0, 0, 0},
         0.0,
         17,
         "Minimum enclosed angle limit must be < 90 and > 0",
         false},
        {"no limit", {0, 0, 10.0, 0, 0}, 0.0, 17, "No constraints specified.", false},
        {"points limit equal to the size", {points, 0, 10.0, 0, 0}, 0.0, 0, nullptr, true},
        {"points limit above the size",
         {points + 1, 0, 10.0, 0, 0},
         0.0,
         0,
         "Maximum desired number of points exceeds input mesh size.",
         true},
        {"faces limit above the size",
         {0, faces + 5, 10.0, 0, 0},
         0.0,
         0,
         "Maximum desired number of faces exceeds input mesh size.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimplifyLimits limits = c.limits;
        Mesh3 output{};
        CapturingReporter capture(kLevelWarning);
        EXPECT_EQ(
            Simplify3_NoColour(&input, &output, &sphere.s, nullptr, c.errorLimit, 0.0, &limits, &capture.reporter),
            c.status);
        if (c.message) {
            ASSERT_FALSE(capture.lines.empty());
            EXPECT_EQ(capture.lines[0].text, c.message);
        } else {
            EXPECT_TRUE(capture.lines.empty()) << capture.lines[0];
        }
        if (c.unchanged) {
            // Points in their order, faces in the sorted order: the same set.
            ASSERT_EQ(output.Points.Count, points);
            EXPECT_EQ(0, std::memcmp(output.Points.Location, input.Points.Location, sizeof(double) * 3 * points));
            std::multiset<std::set<int32_t>> before, after;
            for (int32_t f = 0; f < faces; ++f) {
                before.insert({input.Faces.Tri + 3 * f, input.Faces.Tri + 3 * f + 3});
                after.insert({output.Faces.Tri + 3 * f, output.Faces.Tri + 3 * f + 3});
            }
            ASSERT_EQ(output.Faces.TriCount, faces);
            EXPECT_EQ(before, after);
        }
        EXPECT_EQ(limits.FinalError >= 0.0, c.status == 0);
        Mesh3_Free(&output);
    }
    Mesh3_Free(&input);
}

TEST(Simplify, NonManifoldInputIsRefused) {
    UnitSphere sphere;
    const struct {
        const char* name;
        std::vector<int32_t> tris;
    } cases[] = {
        {"three faces on an edge", {0, 1, 2, 1, 0, 3, 0, 1, 4}},
        {"same direction on a shared edge", {0, 1, 2, 0, 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mesh3 input, output{};
        const int32_t n = static_cast<int32_t>(c.tris.size() / 3);
        ASSERT_EQ(Mesh3_Create(&input, 5, n, 0), 0);
        const double xyz[15] = {0, 0, 1, 1, 0, 1, 0, 1, 1, 0, -1, 1, 1, 1, 1};
        std::memcpy(input.Points.Location, xyz, sizeof xyz);
        input.Points.Count = 5;
        std::copy(c.tris.begin(), c.tris.end(), input.Faces.Tri);
        input.Faces.TriCount = n;
        SimplifyLimits limits;
        SimplifyLimits_Default(&limits);
        limits.FacesLimit = 1;
        CapturingReporter capture(kLevelError);
        EXPECT_EQ(Simplify3_NoColour(&input, &output, &sphere.s, nullptr, 0.0, 0.0, &limits, &capture.reporter), 3);
        ASSERT_FALSE(capture.lines.empty());
        EXPECT_EQ(capture.lines[0].text, "Mesh is not manifold.");
        Mesh3_Free(&input);
        Mesh3_Free(&output);
    }
}

// A triangular bipyramid: collapsing one equator edge into its start would
// re-key the other equator edge onto one that exists already.
TEST(Simplify, CommitWhoseRekeyMeetsAnExistingEdgeEndsWithATopologyError) {
    const double xyz[] = {1, 0, 0, -0.5, 0.8, 0, -0.5, -0.8, 0, 0, 0, 1, 0, 0, -1};
    enum { E1, E2, E3, N, S };
    const int32_t tris[] = {N, E1, E2, N, E2, E3, N, E3, E1, S, E2, E1, S, E3, E2, S, E1, E3};
    PolyMesh mesh;
    ASSERT_EQ(PolyMesh_Build(5, xyz, 6, tris, 0, nullptr, 0, &mesh), 0);
    PolyEdge* edge = PolyMesh_Find(&mesh, E1, E2);
    ASSERT_NE(edge, nullptr);
    ASSERT_NE(edge->Twin, nullptr);
    PolyFace* survivors[2];
    CapturingReporter capture(kLevelWarning);
    EXPECT_EQ(PolyMesh_CommitCollapse(&mesh, edge, survivors, &capture.reporter), 3);
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0], (CapturedLine{kLevelWarning, "Topology error removing face. Simplification aborted."}));
    PolyMesh_Free(&mesh);

    // An edge of an octahedron collapses cleanly: two faces go, every
    // half-edge of the merged point leaves from it, and the twins still pair.
    const double octa[] = {1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 0, 0, -1};
    const int32_t faces[] = {4, 0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 5, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3};
    ASSERT_EQ(PolyMesh_Build(6, octa, 8, faces, 0, nullptr, 0, &mesh), 0);
    edge = PolyMesh_Find(&mesh, 4, 0);
    ASSERT_EQ(PolyMesh_CommitCollapse(&mesh, edge, survivors, nullptr), 0);
    EXPECT_EQ(survivors[0], nullptr);
    EXPECT_EQ(survivors[1], nullptr);
    EXPECT_EQ(mesh.FaceCount, 6);
    EXPECT_EQ(mesh.Out[0], nullptr);
    int32_t edges = 0;
    for (PolyFace* f = mesh.Front; f; f = f->Next) {
        const PolyEdge* e = f->Start;
        for (int32_t k = 0; k < f->CornerCount; ++k, e = e->NextInFace) {
            ++edges;
            EXPECT_NE(e->From, 0);
            ASSERT_NE(e->Twin, nullptr);
            EXPECT_EQ(e->Twin->Twin, e);
            EXPECT_EQ(e->Twin->From, e->To);
            EXPECT_EQ(PolyMesh_Find(&mesh, e->From, e->To), e);
        }
    }
    EXPECT_EQ(edges, 18);
    PolyMesh_Free(&mesh);
}

}  // namespace
