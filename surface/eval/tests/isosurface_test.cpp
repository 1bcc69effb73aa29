// The isosurface operation over fitted and plain solutions: the mesh, its
// statuses, reversed faces, shells, cap normals and the container file.
#include "surface/eval/isosurface.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "surface/eval/tests/fitted_sphere.h"
#include "surface/eval/tests/mesh_checks.h"
#include "surface/fit/direct_fit.h"
#include "surface/fit/eval_operations.h"
#include "surface/frame/basic_function.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool Said(const CapturingReporter& r, const std::string& part) {
    for (const auto& line : r.lines)
        if (line.text.find(part) != std::string::npos) return true;
    return false;
}

TestMesh FromMesh(const Mesh3& m) {
    TestMesh t;
    for (int32_t i = 0; i < m.Points.Count; ++i)
        t.points.push_back({m.Points.Location[3 * i], m.Points.Location[3 * i + 1], m.Points.Location[3 * i + 2]});
    for (int32_t f = 0; f < m.Faces.TriCount; ++f) t.faces.push_back({m.Faces.Tri + 3 * f, m.Faces.Tri + 3 * f + 3});
    for (int32_t f = 0; f < m.Faces.QuadCount; ++f) t.faces.push_back({m.Faces.Quad + 4 * f, m.Faces.Quad + 4 * f + 4});
    return t;
}

// s(x) = x: one centre with coefficient 0 and the linear polynomial.
struct Linear {
    Solution3 s{};
    Linear() {
        Solution3_Create(&s, 1, 0);
        s.CoeffCount = 5;
        s.PolyDegree = 1;
        s.Basic = BasicFunction{0, 0.0, 0};
        s.DefaultEvalAccuracy = 1e-4;
        const double c[5] = {0, 0, 1, 0, 0};
        std::memcpy(s.Coeffs, c, sizeof c);
        // The centre, the seed of a run without seeds, on the surface.
        for (int k = 0; k < 3; ++k) s.Centres[k] = 0.0;
    }
    ~Linear() { Solution3_Free(&s); }
};

const double kLo[3] = {-1.5, -1.5, -1.5}, kHi[3] = {1.5, 1.5, 1.5};

TEST(IsosurfaceTest, FittedSphereGivesAClosedOrientedMeshOnTheSphere) {
    FittedSphere f;
    Mesh3 mesh{};
    EvalWorkspace* w = nullptr;
    CapturingReporter r(5);
    ASSERT_EQ(0, Selvane_Isosurf3(&f.s, nullptr, &w, &mesh, 0.0, 0.1, kLo, kHi, nullptr, &r.reporter));
    ASSERT_NE(nullptr, w);
    EXPECT_TRUE(Said(r, "Points:"));
    const TestMesh t = FromMesh(mesh);
    const Topology topology = CheckTopology(t);
    EXPECT_TRUE(topology.closedAndOriented);
    EXPECT_TRUE(topology.edgeManifold);
    EXPECT_TRUE(topology.vertexManifold);
    EXPECT_EQ(2, topology.euler);
    const double volume = 4.0 / 3 * 3.14159265358979;
    EXPECT_NEAR(volume, SignedVolume(t), 0.02 * volume);
    // The fit's own error on the sphere, measured at the mesh's vertices'
    // projections, plus a quarter resolution.
    double fitError = 0.0;
    PointList3 probe{};
    PointList3_Create(&probe, t.points.size(), 0, 0, 0, 0, 0);
    probe.Count = static_cast<int32_t>(t.points.size());
    for (size_t i = 0; i < t.points.size(); ++i) {
        const auto& p = t.points[i];
        const double n = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int k = 0; k < 3; ++k) probe.Location[3 * i + k] = p[k] / n;
    }
    ASSERT_EQ(0, Selvane_PointEval3(&f.s, nullptr, &w, &probe, -1, 0, nullptr));
    for (int32_t i = 0; i < probe.Count; ++i) fitError = std::max(fitError, std::fabs(probe.Value[i]));
    PointList3_Free(&probe);
    EXPECT_LT(
        LargestDistance(t, [](const double* p) { return std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) - 1; }),
        0.25 * 0.1 + 2 * fitError);
#ifndef _WIN32
    const PeerVerdict peers = AskPeers(t, testing::TempDir() + "isosurface_fitted_sphere");
    ASSERT_TRUE(peers.ran);
    EXPECT_TRUE(peers.watertight);
    EXPECT_TRUE(peers.edgeManifold);
    EXPECT_TRUE(peers.vertexManifold);
    EXPECT_EQ(0, peers.backwardsEdges);
#endif
    // Reversed faces: the same surface inside out.
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.ReverseFaces = 1;
    Mesh3 reversed{};
    ASSERT_EQ(0, Selvane_Isosurf3(&f.s, nullptr, &w, &reversed, 0.0, 0.1, kLo, kHi, &a, nullptr));
    EXPECT_NEAR(-SignedVolume(t), SignedVolume(FromMesh(reversed)), 1e-12);
    ASSERT_EQ(mesh.Faces.TriCount, reversed.Faces.TriCount);
    EXPECT_EQ(mesh.Faces.Tri[0], reversed.Faces.Tri[2]);
    EXPECT_EQ(mesh.Faces.Tri[2], reversed.Faces.Tri[0]);
    EvalWorkspace_Free(&w);
    Mesh3_Free(&mesh);
    Mesh3_Free(&reversed);
}

TEST(IsosurfaceTest, RefusalsAndFailuresGiveTheirStatuses) {
    Linear l;
    IsosurfAttributes a;
    struct Case {
        const char* name;
        int status;
        const char* text;
        std::function<void(IsosurfAttributes&, double&, double*, Solution3&)> change;
    } cases[] = {
        {"bad resolution", 7, "Resolution argument is negative or zero: 0",
         [](auto&, double& r, double*, auto&) { r = 0; }},
        {"flat region", 7, "Min is greater than or equal to Max",
         [](auto&, double&, double* hi, auto&) { hi[1] = -1.5; }},
        {"cap style", 10, "Invalid isosurface attributes", [](auto& a, double&, double*, auto&) { a.CapStyle = 3; }},
        {"fit bits", 10, "Fit-to-bounding-box attribute out of range",
         [](auto& a, double&, double*, auto&) { a.FitToBoundingBox = 8; }},
        {"shell", 10, "Shell thickness has negative value",
         [](auto& a, double&, double*, auto&) { a.ShellThickness = -1; }},
        {"accuracy", 7, "Default evaluation accuracy missing",
         [](auto&, double&, double*, auto& s) { s.DefaultEvalAccuracy = 0.0; }},
        {"solution", 6, "", [](auto&, double&, double*, auto& s) { s.CoeffCount = 2; }},
        {"no surface", 24, "Surface could not be found from any seed",
         [](auto&, double&, double* hi, auto&) { hi[0] = -0.5; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetIsosurfAttrDefaults(&a);
        double resolution = 0.2;
        double hi[3] = {kHi[0], kHi[1], kHi[2]};
        Solution3 s = l.s;
        c.change(a, resolution, hi, s);
        // Seeds inside the box (x < 0 there when "no surface").
        PointList3 seeds{};
        PointList3_Create(&seeds, 1, 0, 0, 0, 0, 0);
        seeds.Count = 1;
        seeds.Location[0] = -1.0;
        a.Seeds = &seeds;
        Mesh3 mesh{};
        CapturingReporter r(5);
        EXPECT_EQ(c.status, Selvane_Isosurf3(&s, nullptr, nullptr, &mesh, 0.0, resolution, kLo, hi, &a, &r.reporter));
        EXPECT_TRUE(Said(r, c.text));
        EXPECT_EQ(nullptr, mesh.Points.Location);
        PointList3_Free(&seeds);
    }
    CapturingReporter r(5);
    EXPECT_EQ(14, Selvane_Isosurf3(&l.s, nullptr, nullptr, nullptr, 0.0, 0.2, kLo, kHi, nullptr, &r.reporter));
    EXPECT_TRUE(Said(r, "Mesh argument is NULL"));
    // An abort before the first seed: status 1, nothing made, the mesh kept.
    Mesh3 mesh{};
    CapturingReporter aborting(5);
    aborting.reporter.abort = 1;
    EXPECT_EQ(1, Selvane_Isosurf3(&l.s, nullptr, nullptr, &mesh, 0.0, 0.2, kLo, kHi, nullptr, &aborting.reporter));
    EXPECT_TRUE(Said(aborting, "Isosurfacing aborted by user, no surface generated"));
    EXPECT_NE(nullptr, mesh.Points.Location);
    Mesh3_Free(&mesh);
}

TEST(IsosurfaceTest, FrameEndsWithPeakMemoryAndFullProgress) {
    Linear l;
    Mesh3 mesh{};
    CapturingReporter r(5);
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.ReturnNormals = 1;
    ASSERT_EQ(0, Selvane_Isosurf3(&l.s, nullptr, nullptr, &mesh, 0.0, 0.2, kLo, kHi, &a, &r.reporter));
    EXPECT_TRUE(Said(r, "Peak Memory Used:"));
    EXPECT_TRUE(Said(r, "Finished isosurfacing RBF"));
    EXPECT_EQ(1.0, r.reporter.progress);
    // The normals are the gradient of s(x) = x.
    ASSERT_GT(mesh.Points.Count, 0);
    for (int32_t i = 0; i < mesh.Points.Count; ++i) EXPECT_NEAR(1.0, mesh.Points.Gradient[3 * i], 1e-9);
    Mesh3_Free(&mesh);
}

// Asks the running operation to stop when it says `when`.
struct StopAt {
    Reporter reporter{};
    std::string when;
    explicit StopAt(std::string text) : when(std::move(text)) {
        reporter.callback = &StopAt::Hear;
        reporter.maximumLevel = 5;
        reporter.user = this;
    }
    static int Hear(Reporter* r, int32_t, const char* format, va_list) {
        if (static_cast<StopAt*>(r->user)->when == format) r->abort = 1;
        return 0;
    }
};

TEST(IsosurfaceTest, NormalsPassObeysTheOperationsAbort) {
    Linear l;
    Mesh3 mesh{};
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.ReturnNormals = 1;
    StopAt stop("Calculating gradient at mesh vertices");
    EXPECT_EQ(1, Selvane_Isosurf3(&l.s, nullptr, nullptr, &mesh, 0.0, 0.2, kLo, kHi, &a, &stop.reporter));
    // No mesh with normals never written is handed back.
    EXPECT_EQ(nullptr, mesh.Points.Location);
    EXPECT_EQ(1, stop.reporter.operation);
}

TEST(IsosurfaceTest, FaceCornerNamingNoVertexIsRefused) {
    struct Row {
        int32_t corners;
        int32_t v[4];
        const char* line;  // empty: accepted
    };
    const Row rows[] = {
        {3, {0, 1, 4}, ""},
        {3, {-1, 1, 2}, "Invalid Tri[7]: -1 1 2"},
        {3, {0, 5, 2}, "Invalid Tri[7]: 0 5 2"},
        {4, {0, 1, 2, 4}, ""},
        {4, {0, 1, 2, -3}, "Invalid Quad[7]: 0 1 2 -3"},
        {4, {5, 1, 2, 3}, "Invalid Quad[7]: 5 1 2 3"},
    };
    for (const Row& row : rows) {
        CapturingReporter r(6);
        const bool accepted = *row.line == 0;
        EXPECT_EQ(accepted, Isosurf_FaceCornersValid(&r.reporter, row.corners, row.v, 5, 7)) << row.line;
        if (accepted) {
            EXPECT_TRUE(r.lines.empty());
        } else {
            ASSERT_EQ(1u, r.lines.size()) << row.line;
            EXPECT_EQ(row.line, r.lines[0].text);
        }
    }
}

TEST(IsosurfaceTest, ShellGivesBothSheets) {
    Linear l;
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.ShellThickness = 2.0;
    a.SeedLimit = 0;
    PointList3 seeds{};
    PointList3_Create(&seeds, 2, 0, 0, 0, 0, 0);
    seeds.Count = 2;
    const double xyz[6] = {0.05, 0.1, 0.2, -1.95, 0.1, 0.2};
    std::memcpy(seeds.Location, xyz, sizeof xyz);
    a.Seeds = &seeds;
    const double lo[3] = {-3, -1, -1}, hi[3] = {1, 1, 1};
    Mesh3 mesh{};
    ASSERT_EQ(0, Selvane_Isosurf3(&l.s, nullptr, nullptr, &mesh, 0.0, 0.1, lo, hi, &a, nullptr));
    int atZero = 0, atMinusTwo = 0;
    for (int32_t i = 0; i < mesh.Points.Count; ++i) {
        const double x = mesh.Points.Location[3 * i];
        atZero += std::fabs(x) < 1e-9;
        atMinusTwo += std::fabs(x + 2.0) < 1e-9;
        EXPECT_TRUE(std::fabs(x) < 1e-9 || std::fabs(x + 2.0) < 1e-9) << x;
    }
    EXPECT_GT(atZero, 10);
    EXPECT_GT(atMinusTwo, 10);
    Mesh3_Free(&mesh);
    PointList3_Free(&seeds);
}

TEST(IsosurfaceTest, CapFacesOfABoxClippedSurfaceGetAxisNormals) {
    Linear l;
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.CapStyle = 1;  // the region x > 0 of the box, closed
    a.ReturnNormals = 1;
    PointList3 seeds{};
    PointList3_Create(&seeds, 1, 0, 0, 0, 0, 0);
    seeds.Count = 1;
    seeds.Location[0] = 0.02;
    a.Seeds = &seeds;
    Mesh3 mesh{};
    ASSERT_EQ(0, Selvane_Isosurf3(&l.s, nullptr, nullptr, &mesh, 0.0, 0.25, kLo, kHi, &a, nullptr));
    ASSERT_NE(nullptr, mesh.Points.Gradient);
    const TestMesh t = FromMesh(mesh);
    int caps = 0;
    for (const auto& f : t.faces) {
        const auto& p0 = t.points[f[0]];
        const auto& p1 = t.points[f[1]];
        const auto& p2 = t.points[f[2]];
        const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length < 1e-12) continue;
        // Faces lying in a box face or in the plane: every corner carries
        // that face's axis normal (faces across the rim are tilted).
        int axis = -1;
        for (int k = 0; k < 3; ++k)
            if (std::fabs(std::fabs(n[k]) - length) < 1e-9 * length) axis = k;
        if (axis < 0) continue;
        const bool cap = !(axis == 0 && std::fabs(p0[0]) < 1e-9);
        for (int32_t corner : f) {
            const double* g = mesh.Points.Gradient + 3 * corner;
            const double dot = (g[0] * n[0] + g[1] * n[1] + g[2] * n[2]) / length;
            EXPECT_NEAR(1.0, std::fabs(dot), 1e-9);
        }
        caps += cap;
    }
    EXPECT_GT(caps, 0);
    Mesh3_Free(&mesh);
    PointList3_Free(&seeds);
}

TEST(IsosurfaceTest, QuadsOnlyMeshAndTheContainerFileHoldTheSameSurface) {
    FittedSphere f;
    IsosurfAttributes a;
    SetIsosurfAttrDefaults(&a);
    a.FaceStyle = 1;
    Mesh3 mesh{};
    ASSERT_EQ(0, Selvane_Isosurf3(&f.s, nullptr, nullptr, &mesh, 0.0, 0.2, kLo, kHi, &a, nullptr));
    EXPECT_EQ(0, mesh.Faces.TriCount);
    EXPECT_GT(mesh.Faces.QuadCount, 0);
    EXPECT_TRUE(CheckTopology(FromMesh(mesh)).closedAndOriented);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(0, IsosurfaceToFile(&f.s, nullptr, nullptr, file, 0.0, 0.2, kLo, kHi, &a, nullptr));
    std::rewind(file);
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "%%TAVIR-1.0\n\n[index]\nLocation Double 3 %d;\nQuad Integer 4 %d;\n\n[binary]", mesh.Points.Count,
                  mesh.Faces.QuadCount);
    std::string header(std::strlen(expected), '\0');
    ASSERT_EQ(header.size(), std::fread(&header[0], 1, header.size(), file));
    EXPECT_EQ(expected, header);
    uint32_t marker = 0;
    double check = 0.0;
    ASSERT_EQ(1u, std::fread(&marker, 4, 1, file));
    ASSERT_EQ(1u, std::fread(&check, 8, 1, file));
    EXPECT_EQ(0x00F00FFFu, marker);
    EXPECT_EQ(1.23456789, check);
    std::vector<double> xyz(3 * mesh.Points.Count);
    std::vector<int32_t> quads(4 * mesh.Faces.QuadCount);
    ASSERT_EQ(xyz.size(), std::fread(xyz.data(), sizeof(double), xyz.size(), file));
    ASSERT_EQ(quads.size(), std::fread(quads.data(), sizeof(int32_t), quads.size(), file));
    EXPECT_EQ(EOF, std::fgetc(file));
    std::fclose(file);
    EXPECT_EQ(0, std::memcmp(xyz.data(), mesh.Points.Location, sizeof(double) * xyz.size()));
    EXPECT_EQ(0, std::memcmp(quads.data(), mesh.Faces.Quad, sizeof(int32_t) * quads.size()));
    Mesh3_Free(&mesh);
    CapturingReporter r(5);
    EXPECT_EQ(11, IsosurfaceToFile(&f.s, nullptr, nullptr, nullptr, 0.0, 0.2, kLo, kHi, &a, &r.reporter));
    EXPECT_TRUE(Said(r, "File object argument is NULL"));
}

}  // namespace
