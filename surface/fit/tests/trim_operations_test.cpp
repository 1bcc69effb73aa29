#include "surface/fit/trim_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "surface/fit/crop_operations.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

using Point = std::array<double, 3>;

// A list whose Value holds each point's input index, so that a test can
// tell where every kept point came from.
void Fill(PointList3* list, const std::vector<Point>& points) {
    ASSERT_EQ(PointList3_Create(list, static_cast<int32_t>(points.size()) + 1, 1, 0, 0, 0, 0), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        std::copy(points[i].begin(), points[i].end(), list->Location + 3 * i);
        list->Value[i] = static_cast<double>(i);
    }
    list->Count = static_cast<int32_t>(points.size());
}

void Fill2(PointList2* list, const std::vector<Point>& points) {
    ASSERT_EQ(PointList2_Create(list, static_cast<int32_t>(points.size()) + 1, 1, 0, 0, 0, 0), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        list->Location[2 * i] = points[i][0];
        list->Location[2 * i + 1] = points[i][1];
        list->Value[i] = static_cast<double>(i);
    }
    list->Count = static_cast<int32_t>(points.size());
}

bool Near(const Point& p, const std::vector<Point>& trim, double d, int dims) {
    for (const Point& q : trim) {
        double s = 0.0;
        for (int k = 0; k < dims; ++k) s += (p[k] - q[k]) * (p[k] - q[k]);
        if (s < d * d) return true;
    }
    return false;
}

std::vector<Point> RandomPoints(int n, unsigned seed, double lo, double hi) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<Point> points(n);
    for (Point& p : points) p = {u(random), u(random), u(random)};
    return points;
}

std::multiset<double> Values(const double* values, int32_t count) { return {values, values + count}; }

TEST(TrimOperations, PointListTrimsAndMasksEqualBruteForce) {
    // Points exactly at the distance (on an axis and off it, in binary
    // fractions that square exactly) go; just inside stays.
    const double d = 0.625;
    std::vector<Point> points = {{100.625, 0, 0}, {100.375, 0.5, 0}, {100.6249999, 0, 0}};
    const auto extra = RandomPoints(400, 7, -1, 2);
    points.insert(points.end(), extra.begin(), extra.end());
    std::vector<Point> trim = {{100, 0, 0}};
    const auto trimExtra = RandomPoints(40, 8, 0, 1);
    trim.insert(trim.end(), trimExtra.begin(), trimExtra.end());
    for (int dims : {2, 3}) {
        SCOPED_TRACE(dims);
        std::multiset<double> expected;
        std::vector<int32_t> expectedMask;
        for (size_t i = 0; i < points.size(); ++i) {
            const bool near = Near(points[i], trim, d, dims);
            if (near) expected.insert(static_cast<double>(i));
            expectedMask.push_back(near ? 1 : 0);
        }
        EXPECT_EQ(expectedMask[0] + expectedMask[1], 0);
        EXPECT_EQ(expectedMask[2], 1);
        std::vector<int32_t> mask(points.size(), -1);
        int32_t kept = -1;
        int32_t count = 0;
        std::multiset<double> trimmed;
        if (dims == 2) {
            PointList2 list, trimList;
            Fill2(&list, points);
            Fill2(&trimList, trim);
            ASSERT_EQ(Selvane_TrimPointList2Mask(&list, &trimList, d, mask.data(), &kept, nullptr), 0);
            EXPECT_EQ(list.Count, static_cast<int32_t>(points.size()));
            ASSERT_EQ(Selvane_TrimPointList2(&list, &trimList, d, nullptr), 0);
            trimmed = Values(list.Value, list.Count);
            count = list.Count;
            for (int32_t i = 0; i < list.Count; ++i) {
                EXPECT_EQ(list.Location[2 * i + 1], points[static_cast<size_t>(list.Value[i])][1]);
            }
            PointList2_Free(&list);
            PointList2_Free(&trimList);
        } else {
            PointList3 list, trimList;
            Fill(&list, points);
            Fill(&trimList, trim);
            ASSERT_EQ(Selvane_TrimPointList3Mask(&list, &trimList, d, mask.data(), &kept, nullptr), 0);
            EXPECT_EQ(list.Count, static_cast<int32_t>(points.size()));
            ASSERT_EQ(Selvane_TrimPointList3(&list, &trimList, d, nullptr), 0);
            trimmed = Values(list.Value, list.Count);
            count = list.Count;
            for (int32_t i = 0; i < list.Count; ++i) {
                EXPECT_EQ(list.Location[3 * i + 2], points[static_cast<size_t>(list.Value[i])][2]);
            }
            PointList3_Free(&list);
            PointList3_Free(&trimList);
        }
        EXPECT_EQ(mask, expectedMask);
        EXPECT_EQ(kept, static_cast<int32_t>(expected.size()));
        EXPECT_EQ(trimmed, expected);
        EXPECT_EQ(count, kept);
    }
}

TEST(TrimOperations, RefusalsAbortAndMemory) {
    PointList3 list, trim;
    Fill(&list, {{0, 0, 0}, {5, 0, 0}, {0.1, 0, 0}});
    Fill(&trim, {{0, 0, 0}});
    const struct {
        const char* name;
        double distance;
        const PointList3* trim;
        int status;
        const char* message;
    } refusals[] = {
        {"zero distance", 0.0, &trim, ApiStatus_NegativeDistance, "Trim distance must be positive"},
        {"negative distance", -1.0, &trim, ApiStatus_NegativeDistance, "Trim distance must be positive"},
        {"distance not a number", NAN, &trim, ApiStatus_NegativeDistance, "Trim distance must be positive"},
        {"no trim list", 1.0, nullptr, ApiStatus_BadPointList, nullptr},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.name);
        CapturingReporter capture(kLevelError);
        EXPECT_EQ(Selvane_TrimPointList3(&list, c.trim, c.distance, &capture.reporter), c.status);
        if (c.message) {
            EXPECT_EQ(capture.lines.at(0).text, c.message);
        }
        EXPECT_EQ(list.Count, 3);
    }
    int32_t kept = 0;
    EXPECT_EQ(Selvane_TrimPointList3Mask(&list, &trim, 1.0, nullptr, &kept, nullptr), ApiStatus_InvalidArgument);

    // An abort is reported as an abort (1), the list untouched.
    CapturingReporter abort(kLevelError);
    abort.reporter.abort = 1;
    EXPECT_EQ(Selvane_TrimPointList3(&list, &trim, 1.0, &abort.reporter), ApiStatus_UserAbort);
    EXPECT_EQ(list.Count, 3);

    // Every allocation in turn fails until the trim gets through; each
    // failure is 2, with the list as it was (the compaction's order
    // included: an untrimmed list is no success).
    int status = ApiStatus_NoMemory;
    int32_t failures = 0;
    for (int32_t allowed = 0; status != ApiStatus_Success; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Selvane_TrimPointList3(&list, &trim, 1.0, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        if (status == ApiStatus_Success) break;
        ++failures;
        ASSERT_EQ(status, ApiStatus_NoMemory);
        ASSERT_EQ(list.Count, 3);
    }
    EXPECT_GE(failures, 3);  // flags, tree, buffer, order
    EXPECT_EQ(Values(list.Value, list.Count), (std::multiset<double>{0, 2}));
    EXPECT_EQ(list.Value[1], 2);  // the last kept point took the removed one's slot
    PointList3_Free(&list);
    PointList3_Free(&trim);
}

// A UV sphere of unit radius: rings of points from the north pole down to
// the ring at `lowest` (a latitude index), quads between rings and
// triangles at the pole; with `lowest` = rings it closes at the south pole.
struct SphereMesh {
    std::vector<Point> points;
    std::vector<std::array<int32_t, 3>> tris;
    std::vector<std::array<int32_t, 4>> quads;
};

SphereMesh UvSphere(int rings, int sectors, int lowest) {
    SphereMesh m;
    const double pi = std::acos(-1.0);
    m.points.push_back({0, 0, 1});
    for (int i = 1; i <= std::min(lowest, rings - 1); ++i) {
        for (int j = 0; j < sectors; ++j) {
            const double t = pi * i / rings, p = 2 * pi * j / sectors;
            m.points.push_back({std::sin(t) * std::cos(p), std::sin(t) * std::sin(p), std::cos(t)});
        }
    }
    auto at = [&](int i, int j) { return 1 + (i - 1) * sectors + (j % sectors); };
    for (int j = 0; j < sectors; ++j) m.tris.push_back({0, at(1, j), at(1, j + 1)});
    for (int i = 1; i < std::min(lowest, rings - 1); ++i) {
        for (int j = 0; j < sectors; ++j) m.quads.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
    }
    if (lowest >= rings) {
        const int south = static_cast<int>(m.points.size());
        m.points.push_back({0, 0, -1});
        for (int j = 0; j < sectors; ++j) m.tris.push_back({at(rings - 1, j), south, at(rings - 1, j + 1)});
    }
    return m;
}

void ToMesh(const SphereMesh& s, Mesh3* mesh) {
    ASSERT_EQ(Mesh3_Create(mesh, static_cast<int32_t>(s.points.size()), static_cast<int32_t>(s.tris.size()),
                           static_cast<int32_t>(s.quads.size())),
              0);
    for (size_t i = 0; i < s.points.size(); ++i)
        std::copy(s.points[i].begin(), s.points[i].end(), mesh->Points.Location + 3 * i);
    for (size_t i = 0; i < s.tris.size(); ++i) std::copy(s.tris[i].begin(), s.tris[i].end(), mesh->Faces.Tri + 3 * i);
    for (size_t i = 0; i < s.quads.size(); ++i)
        std::copy(s.quads[i].begin(), s.quads[i].end(), mesh->Faces.Quad + 4 * i);
    mesh->Points.Count = static_cast<int32_t>(s.points.size());
    mesh->Faces.TriCount = static_cast<int32_t>(s.tris.size());
    mesh->Faces.QuadCount = static_cast<int32_t>(s.quads.size());
}

// A face by the coordinates of its corners, in corner order from the
// smallest corner, so that faces can be compared across renumbering.
using FaceKey = std::vector<Point>;

FaceKey Key(std::vector<Point> corners) {
    std::rotate(corners.begin(), std::min_element(corners.begin(), corners.end()), corners.end());
    return corners;
}

std::multiset<FaceKey> Faces(const Mesh3& mesh) {
    std::multiset<FaceKey> faces;
    auto point = [&](int32_t i) {
        EXPECT_GE(i, 0);
        EXPECT_LT(i, mesh.Points.Count);
        const double* p = mesh.Points.Location + 3 * i;
        return Point{p[0], p[1], p[2]};
    };
    for (int32_t t = 0; t < mesh.Faces.TriCount; ++t) {
        const int32_t* c = mesh.Faces.Tri + 3 * t;
        faces.insert(Key({point(c[0]), point(c[1]), point(c[2])}));
    }
    for (int32_t q = 0; q < mesh.Faces.QuadCount; ++q) {
        const int32_t* c = mesh.Faces.Quad + 4 * q;
        faces.insert(Key({point(c[0]), point(c[1]), point(c[2]), point(c[3])}));
    }
    return faces;
}

// The boundary trim worked out the slow way: remove any face with an edge
// used by no other face whose end is far, until none is left; then drop the
// faces at any far point that was on a boundary on the way.
std::multiset<FaceKey> PeelByHand(const SphereMesh& s, const std::vector<Point>& trim, double d) {
    std::vector<std::vector<int32_t>> faces;
    for (const auto& t : s.tris) faces.push_back({t.begin(), t.end()});
    for (const auto& q : s.quads) faces.push_back({q.begin(), q.end()});
    std::vector<bool> alive(faces.size(), true);
    std::set<int32_t> metFar;
    for (bool changed = true; changed;) {
        changed = false;
        std::map<std::pair<int32_t, int32_t>, int> uses;
        for (size_t f = 0; f < faces.size(); ++f) {
            if (!alive[f]) continue;
            for (size_t k = 0; k < faces[f].size(); ++k) {
                const int32_t a = faces[f][k], b = faces[f][(k + 1) % faces[f].size()];
                uses[{std::min(a, b), std::max(a, b)}]++;
            }
        }
        for (size_t f = 0; f < faces.size(); ++f) {
            if (!alive[f]) continue;
            for (size_t k = 0; k < faces[f].size() && alive[f]; ++k) {
                const int32_t a = faces[f][k], b = faces[f][(k + 1) % faces[f].size()];
                if (uses[{std::min(a, b), std::max(a, b)}] != 1) continue;
                for (int32_t v : {a, b}) {
                    if (!Near(s.points[v], trim, d, 3)) {
                        metFar.insert(v);
                        alive[f] = false;
                        changed = true;
                    }
                }
            }
        }
    }
    std::multiset<FaceKey> kept;
    for (size_t f = 0; f < faces.size(); ++f) {
        if (!alive[f]) continue;
        bool touches = false;
        std::vector<Point> corners;
        for (int32_t v : faces[f]) {
            touches = touches || metFar.count(v);
            corners.push_back(s.points[v]);
        }
        if (!touches) kept.insert(Key(corners));
    }
    return kept;
}

TEST(TrimOperations, BoundaryTrimPeelsAnOpenHemisphereDownToTheTrimSet) {
    // The upper half of a sphere, open at the equator; the trim set is a
    // band of points on it, so the pole is far from it too but lies inside
    // the band and must stay.
    const SphereMesh hemisphere = UvSphere(24, 32, 12);
    std::vector<Point> band;
    for (const Point& p : UvSphere(48, 64, 48).points) {
        if (p[2] > 0.35 && p[2] < 0.8) band.push_back(p);
    }
    const double d = 0.08;
    const auto expected = PeelByHand(hemisphere, band, d);
    Mesh3 mesh;
    ToMesh(hemisphere, &mesh);
    PointList3 trim;
    Fill(&trim, band);
    std::vector<int32_t> mask(mesh.Points.Count, -1);
    int32_t kept = -1;
    ASSERT_EQ(Selvane_TrimMesh3Mask(&mesh, &trim, d, mask.data(), &kept, nullptr), 0);
    EXPECT_EQ(mesh.Points.Count, static_cast<int32_t>(hemisphere.points.size()));
    EXPECT_EQ(mask[0], 1);  // the far pole is kept
    CapturingReporter capture(kLevelInfo);
    ASSERT_EQ(Selvane_TrimMeshBoundary3(&mesh, &trim, d, &capture.reporter), 0);
    EXPECT_EQ(mesh.Points.Count, kept);
    EXPECT_EQ(Faces(mesh), expected);
    EXPECT_LT(expected.size(), hemisphere.tris.size() + hemisphere.quads.size());
    EXPECT_GT(expected.size(), hemisphere.tris.size());  // the pole's fan and more
    bool pole = false;
    for (int32_t i = 0; i < mesh.Points.Count; ++i) pole = pole || mesh.Points.Location[3 * i + 2] == 1.0;
    EXPECT_TRUE(pole);
    std::vector<std::string> labels;
    for (const auto& line : capture.lines) labels.push_back(line.text.substr(0, line.text.find(':')));
    const std::vector<std::string> order = {"Trim Distance", "Trim Points",   "Input Points", "Input Tris",
                                            "Input Quads",   "Output Points", "Output Tris",  "Output Quads"};
    for (const auto& label : order) EXPECT_NE(std::find(labels.begin(), labels.end(), label), labels.end()) << label;
    Mesh3_Free(&mesh);
    PointList3_Free(&trim);
}

TEST(TrimOperations, BoundaryTrimOfAClosedMeshDropsOnlyUnusedPoints) {
    SphereMesh sphere = UvSphere(10, 12, 10);
    sphere.points.push_back({3, 3, 3});  // used by no face
    Mesh3 mesh;
    ToMesh(sphere, &mesh);
    const auto before = Faces(mesh);
    PointList3 trim;
    Fill(&trim, {{10, 10, 10}});  // every point is far
    ASSERT_EQ(Selvane_TrimMeshBoundary3(&mesh, &trim, 0.01, nullptr), 0);
    EXPECT_EQ(mesh.Points.Count, static_cast<int32_t>(sphere.points.size()) - 1);
    EXPECT_EQ(Faces(mesh), before);
    Mesh3_Free(&mesh);
    PointList3_Free(&trim);
}

TEST(TrimOperations, DistanceTrimOfAMeshKeepsFacesOfNearPointsOnly) {
    const SphereMesh sphere = UvSphere(16, 20, 16);
    std::vector<Point> trim;
    for (const Point& p : sphere.points) {
        if (p[0] > 0.2) trim.push_back({p[0] * 1.01, p[1], p[2]});
    }
    const double d = 0.05;
    std::multiset<FaceKey> expected;
    auto keep = [&](const auto& face) {
        std::vector<Point> corners;
        for (int32_t v : face) {
            if (!Near(sphere.points[v], trim, d, 3)) return;
            corners.push_back(sphere.points[v]);
        }
        expected.insert(Key(corners));
    };
    for (const auto& t : sphere.tris) keep(t);
    for (const auto& q : sphere.quads) keep(q);
    Mesh3 mesh;
    ToMesh(sphere, &mesh);
    PointList3 trimList;
    Fill(&trimList, trim);
    ASSERT_EQ(Selvane_TrimMesh3(&mesh, &trimList, d, nullptr), 0);
    EXPECT_EQ(Faces(mesh), expected);
    EXPECT_EQ(mesh.Points.Count, static_cast<int32_t>(trim.size()));
    // A trim set far from everything leaves neither points nor faces.
    PointList3 far;
    Fill(&far, {{9, 9, 9}});
    ASSERT_EQ(Selvane_TrimMesh3(&mesh, &far, d, nullptr), 0);
    EXPECT_EQ(mesh.Points.Count, 0);
    EXPECT_EQ(mesh.Faces.TriCount + mesh.Faces.QuadCount, 0);
    Mesh3_Free(&mesh);
    PointList3_Free(&trimList);
    PointList3_Free(&far);
}

TEST(TrimOperations, BoundaryTrimAbortAndMemory) {
    const SphereMesh hemisphere = UvSphere(8, 8, 4);
    PointList3 trim;
    Fill(&trim, {{0, 0, 1}});
    Mesh3 mesh;
    ToMesh(hemisphere, &mesh);
    CapturingReporter abort(kLevelError);
    abort.reporter.abort = 1;
    EXPECT_EQ(Selvane_TrimMeshBoundary3(&mesh, &trim, 0.5, &abort.reporter), ApiStatus_UserAbort);
    EXPECT_EQ(mesh.Points.Count, static_cast<int32_t>(hemisphere.points.size()));
    int status = ApiStatus_NoMemory;
    for (int32_t allowed = 0; status != ApiStatus_Success; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Selvane_TrimMeshBoundary3(&mesh, &trim, 0.5, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        if (status == ApiStatus_Success) break;
        ASSERT_EQ(status, ApiStatus_NoMemory);
        ASSERT_EQ(mesh.Points.Count, static_cast<int32_t>(hemisphere.points.size()));
    }
    EXPECT_LT(mesh.Points.Count, static_cast<int32_t>(hemisphere.points.size()));
    Mesh3_Free(&mesh);
    PointList3_Free(&trim);
}

}  // namespace
