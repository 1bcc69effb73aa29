#include "surface/fit/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "surface/frame/core_reporter.h"
#include "surface/frame/status_codes.h"

namespace {

using Ints = std::vector<int32_t>;

struct Result {
    int status;
    int32_t parts, flags, unused;
    Ints labels, flips;
};

Result Check(int32_t vertices, const Ints& tris) {
    Result r{};
    const int32_t n = static_cast<int32_t>(tris.size() / 3);
    r.labels.assign(n, -99);
    r.flips.assign(n, -99);
    r.status = Mesh3_CheckEdges(vertices, n, tris.data(), 0, nullptr, &r.parts, r.labels.data(), nullptr,
                                r.flips.data(), nullptr, &r.flags, &r.unused, nullptr);
    return r;
}

// A closed torus of n x m quads, each split into two triangles, outward.
Ints Torus(int32_t n, int32_t m, int32_t offset = 0) {
    Ints tris;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < m; ++j) {
            const int32_t a = i * m + j, b = ((i + 1) % n) * m + j, c = ((i + 1) % n) * m + (j + 1) % m,
                          d = i * m + (j + 1) % m;
            tris.insert(tris.end(), {a + offset, b + offset, c + offset, a + offset, c + offset, d + offset});
        }
    }
    return tris;
}

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kCM = kMeshConsistent | kMeshManifold;
constexpr int32_t kAll = kCM | kMeshClosed;

TEST(MeshCheck, SmallMeshesAsATable) {
    const struct {
        const char* name;
        int32_t vertices;
        Ints tris;
        int status;
        int32_t parts, flags, unused;
        Ints labels, flips;
    } cases[] = {
        {"fan of two", 4, {0, 1, 2, 0, 2, 3}, 0, 1, kCM, 0, {1, 1}, {0, 0}},
        {"second flipped", 4, {0, 1, 2, 0, 3, 2}, 0, 1, kMeshManifold, 0, {1, 1}, {0, 1}},
        {"tetrahedron", 4, {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3}, 0, 1, kAll, 0, {1, 1, 1, 1}, {0, 0, 0, 0}},
        // The third face runs along (0, 1) like the first.
        {"same direction twice", 5, {0, 1, 2, 1, 0, 3, 0, 1, 4}, 0, 1, kMeshConsistent, 1, {1, 1, -1}, {0, 0, 0}},
        {"two parts and an unused vertex", 7, {0, 1, 2, 3, 4, 5}, 0, 2, kCM, 1, {1, 2}, {0, 0}},
        {"edge to itself", 3, {0, 0, 1}, 0, 0, kMeshConsistent | kMeshClosed, 3, {-1}, {0}},
        {"corner out of range", 3, {0, 1, 3}, CoreStatus_InvalidInput, 0, kMeshCornerOutOfRange, 0, {0}, {0}},
        {"no vertices", 0, {}, CoreStatus_InvalidInput, 0, 0, 0, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = Check(c.vertices, c.tris);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.flags, c.flags);
        if (c.status != 0) continue;
        EXPECT_EQ(r.parts, c.parts);
        EXPECT_EQ(r.unused, c.unused);
        EXPECT_EQ(r.labels, c.labels);
        EXPECT_EQ(r.flips, c.flips);
    }
}

TEST(MeshCheck, MakeConsistentTurnsTheFlippedFace) {
    Ints tris = {0, 1, 2, 0, 3, 2};
    int32_t parts = 0, flags = 0, unused = 0;
    ASSERT_EQ(Mesh3_MakeConsistent(4, 2, tris.data(), 0, nullptr, &parts, &flags, &unused, nullptr), 0);
    EXPECT_EQ(tris, (Ints{0, 1, 2, 2, 3, 0}));
    EXPECT_EQ(Check(4, tris).flags, kCM);

    Ints quads = {0, 1, 2, 3, 0, 3, 4, 5};  // the second runs along (0, 3) like the first's (3, 0) reversed
    std::swap(quads[4], quads[6]);
    ASSERT_EQ(Mesh3_MakeConsistent(6, 0, nullptr, 2, quads.data(), &parts, &flags, &unused, nullptr), 0);
    EXPECT_EQ(flags & kMeshConsistent, 0);  // it was not consistent
    int32_t after = 0;
    ASSERT_EQ(Mesh3_CheckEdges(6, 0, nullptr, 2, quads.data(), nullptr, nullptr, nullptr, nullptr, nullptr, &after,
                               nullptr, nullptr),
              0);
    EXPECT_EQ(after, kCM);

    Ints fan = {0, 1, 2, 1, 0, 3, 0, 1, 4};
    EXPECT_EQ(Mesh3_MakeConsistent(5, 3, fan.data(), 0, nullptr, nullptr, nullptr, nullptr, nullptr),
              CoreStatus_NotManifold);
}

// Twice the signed volume sum over the faces (orientation-sensitive).
double SignedVolume(const std::vector<double>& p, const Ints& tris) {
    double v = 0;
    for (size_t f = 0; f < tris.size(); f += 3) {
        const double* a = &p[3 * tris[f]];
        const double* b = &p[3 * tris[f + 1]];
        const double* c = &p[3 * tris[f + 2]];
        v += a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
             a[2] * (b[0] * c[1] - b[1] * c[0]);
    }
    return v / 6;
}

TEST(MeshCheck, TorusWithRandomFlipsComesBackOutward) {
    const int32_t n = 16, m = 10;
    const Ints torus = Torus(n, m);
    std::vector<double> points;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < m; ++j) {
            const double u = 2 * kPi * i / n, v = 2 * kPi * j / m;
            points.insert(points.end(),
                          {(3 + std::cos(v)) * std::cos(u), (3 + std::cos(v)) * std::sin(u), std::sin(v)});
        }
    }
    const double volume = SignedVolume(points, torus);
    ASSERT_NE(volume, 0);
    std::mt19937 random(11);
    for (int round = 0; round < 5; ++round) {
        Ints tris = torus;
        const int32_t faces = static_cast<int32_t>(tris.size() / 3);
        for (int32_t k = 0; k < faces / 3; ++k)
            std::swap(tris[3 * (random() % faces)], tris[3 * (random() % faces) + 0]);
        tris = torus;
        std::set<int32_t> flipped;
        while (static_cast<int32_t>(flipped.size()) < faces / 3) flipped.insert(static_cast<int32_t>(random() % faces));
        for (int32_t f : flipped) std::swap(tris[3 * f], tris[3 * f + 2]);
        const Result before = Check(n * m, tris);
        EXPECT_EQ(before.flags, kMeshManifold | kMeshClosed);
        int32_t parts = 0, flags = 0;
        ASSERT_EQ(Mesh3_MakeConsistent(n * m, faces, tris.data(), 0, nullptr, &parts, &flags, nullptr, nullptr), 0);
        EXPECT_EQ(parts, 1);
        EXPECT_EQ(Check(n * m, tris).flags, kAll);
        EXPECT_NEAR(SignedVolume(points, tris), volume, 1e-9 * std::abs(volume));
    }
}

// The core's lines, at level 5.
struct CoreLines {
    std::vector<std::string> lines;
    CoreReporter reporter{};
    CoreLines() {
        CoreReporter_Init(
            &reporter, nullptr, nullptr, 5, 0,
            [](void* user, int32_t, const char* format, va_list args) {
                char text[200];
                vsnprintf(text, sizeof text, format, args);
                static_cast<std::vector<std::string>*>(user)->push_back(text);
                return 0;
            },
            &lines);
    }
};

TEST(MeshCheck, ConflictMessageNamesTheConflictingEdge) {
    // Three faces on the edge 0-1: the third, (4, 0, 1), conflicts through
    // its second edge 0 -> 1, which the first face runs the same way.
    const Ints tris = {0, 1, 2, 1, 0, 3, 4, 0, 1};
    CoreLines core;
    int32_t parts = 0, flags = 0;
    Ints labels(3, 0);
    Mesh3_CheckEdges(5, 3, tris.data(), 0, nullptr, &parts, labels.data(), nullptr, nullptr, nullptr, &flags, nullptr,
                     &core.reporter);
    EXPECT_EQ(0, flags & kMeshManifold);
    EXPECT_LT(labels[2], 0);
    const auto conflict = std::find_if(core.lines.begin(), core.lines.end(), [](const std::string& line) {
        return line.find("conflicts with face") != std::string::npos;
    });
    ASSERT_NE(core.lines.end(), conflict);
    EXPECT_EQ(0u, conflict->find("Edge     1 -->     0 of face     2 conflicts with face ")) << *conflict;
}

TEST(MeshCheck, PartsOfTwoToriAndAnOpenEdgeMessage) {
    Ints tris = Torus(6, 5);
    const Ints second = Torus(5, 4, 30);
    tris.insert(tris.end(), second.begin(), second.end());
    Result r = Check(50, tris);
    EXPECT_EQ(r.parts, 2);
    EXPECT_EQ(r.flags, kAll);
    EXPECT_EQ(std::count(r.labels.begin(), r.labels.end(), 2), 40);

    tris.resize(tris.size() - 3);  // a hole in the second
    std::vector<std::string> lines;
    CoreReporter reporter;
    CoreReporter_Init(
        &reporter, nullptr, nullptr, 5, 0,
        [](void* user, int32_t, const char* format, va_list args) {
            char text[200];
            vsnprintf(text, sizeof text, format, args);
            static_cast<std::vector<std::string>*>(user)->push_back(text);
            return 0;
        },
        &lines);
    int32_t parts = 0, flags = 0;
    ASSERT_EQ(Mesh3_CheckEdges(50, static_cast<int32_t>(tris.size() / 3), tris.data(), 0, nullptr, &parts, nullptr,
                               nullptr, nullptr, nullptr, &flags, nullptr, &reporter),
              0);
    EXPECT_EQ(flags, kCM);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("is open"), std::string::npos);
}

TEST(MeshCheck, AbortStops) {
    const Ints tris = Torus(6, 5);
    int32_t abort = 1;
    CoreReporter reporter;
    CoreReporter_Init(&reporter, &abort, nullptr, 0, 0, nullptr, nullptr);
    int32_t flags = 0;
    EXPECT_EQ(Mesh3_CheckEdges(30, 60, tris.data(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &flags,
                               nullptr, &reporter),
              CoreStatus_UserAbort);
}

}  // namespace
