// The follower over analytic fields: closed, manifold, oriented meshes of
// the right shape, seeds, open and closed boundaries, mesh types, the report
// and every way a run stops.
#include "surface/eval/rapid_surf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "surface/eval/rapid_surf_internal.h"
#include "surface/eval/tests/mesh_checks.h"

namespace {

using Field = std::function<double(const double*)>;

double Sphere(const double* p, const double* c, double r) {
    return std::sqrt((p[0] - c[0]) * (p[0] - c[0]) + (p[1] - c[1]) * (p[1] - c[1]) + (p[2] - c[2]) * (p[2] - c[2])) - r;
}

struct Follow {
    Field field;
    TestMesh mesh;
    std::vector<std::array<double, 3>> gradients;      // those the vertex sink was given
    std::map<std::array<double, 3>, int> evaluatedAt;  // evaluations of the value alone, by point
    std::string printed;
    int evaluations = 0;
    int failEvaluationAt = -1;
    int failVertexAt = -1;
    int failFaceAt = -1;
    int abortAfterFaces = -1;
    int32_t abortFlag = 0;
    RapidSurfWorkspace* workspace = nullptr;
    int result = -1;

    explicit Follow(Field f) : field(std::move(f)) {}
    ~Follow() { RapidSurf_Free(workspace); }

    static int Value(const double* p, double* v, void* user) {
        auto* run = static_cast<Follow*>(user);
        if (run->evaluations++ == run->failEvaluationAt) return 9;
        ++run->evaluatedAt[{p[0], p[1], p[2]}];
        *v = run->field(p);
        return 0;
    }
    static int ValueGradient(const double* p, double* v, double* g, void* user) {
        auto* run = static_cast<Follow*>(user);
        if (run->evaluations++ == run->failEvaluationAt) return 9;
        *v = run->field(p);
        for (int k = 0; k < 3; ++k) {
            double a[3] = {p[0], p[1], p[2]}, b[3] = {p[0], p[1], p[2]};
            a[k] += 1e-6;
            b[k] -= 1e-6;
            g[k] = (run->field(a) - run->field(b)) / 2e-6;
        }
        return 0;
    }
    static int Vertex(const double* p, const double* g, void* user) {
        auto* run = static_cast<Follow*>(user);
        if (static_cast<int>(run->mesh.points.size()) == run->failVertexAt) return 4;
        run->mesh.points.push_back({p[0], p[1], p[2]});
        if (g != nullptr) run->gradients.push_back({g[0], g[1], g[2]});
        return 0;
    }
    static int Face(int32_t n, const int32_t* v, int32_t boundary, void* user) {
        auto* run = static_cast<Follow*>(user);
        if (static_cast<int>(run->mesh.faces.size()) == run->failFaceAt) return 5;
        run->mesh.faces.emplace_back(v, v + n);
        run->mesh.boundary.push_back(boundary);
        if (static_cast<int>(run->mesh.faces.size()) == run->abortAfterFaces) run->abortFlag = 1;
        return 0;
    }
    static int Print(void* user, const char* format, ...) {
        char buffer[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        static_cast<Follow*>(user)->printed += buffer;
        return 0;
    }

    int Go(const std::vector<double>& seeds, const double* lo, const double* hi, double resolution,
           const RapidSurfOptions* options, bool gradient = true) {
        result = inject_all_seeds(static_cast<int32_t>(seeds.size() / 3), seeds.empty() ? nullptr : seeds.data(), lo,
                                  hi, resolution, 0.0, &abortFlag, &Follow::Value,
                                  gradient ? &Follow::ValueGradient : nullptr, &Follow::Vertex, &Follow::Face, this,
                                  this, this, this, &Follow::Print, options, &workspace);
        return result;
    }
    RapidSurfCounts Counts() const { return RapidSurf_Counts(workspace); }
};

RapidSurfOptions Options(int open = 0, int meshType = 0, int seedLimit = 1) {
    RapidSurfOptions o;
    RapidSurf_DefaultOptions(&o);
    o.Open_surface = open;
    o.Mesh_type = meshType;
    o.Seed_limit = seedLimit;
    o.Fit_to_box = 7;
    return o;
}

// A count of the report, by its label.
int Reported(const std::string& report, const std::string& label) {
    const size_t at = report.find("\n" + label + " ");
    return at == std::string::npos ? -1 : std::atoi(report.c_str() + at + label.size() + 2);
}

const double kLo[3] = {-2.0, -2.0, -2.0}, kHi[3] = {2.0, 2.0, 2.0};
const double kOrigin[3] = {0.0, 0.0, 0.0};

TEST(RapidSurfTest, LatticeTablesAreConsistent) {
    const auto& t = rapid_surf::Tables();
    EXPECT_TRUE(t.Consistent);
    // The tetrahedra fill the space around a node: every one of the 14
    // directions is a corner of some, each face shared by two.
    std::map<std::set<int>, int> faces;
    for (int n = 0; n < rapid_surf::kTetrahedra; ++n)
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b) faces[{t.Tetra[n][a], t.Tetra[n][b]}]++;
    for (const auto& [face, count] : faces) EXPECT_EQ(2, count);
}

struct ShapeCase {
    const char* name;
    Field field;
    double resolution;
    int64_t euler;
    double volume;
    double distanceLimit;  // in resolutions
};

TEST(RapidSurfTest, AnalyticShapesGiveClosedOrientedMeshesOfTheirShape) {
    const double c1[3] = {-0.35, 0.0, 0.0}, c2[3] = {0.45, 0.1, 0.0};
    const double pi = 3.14159265358979323846;
    const double R = 1.2, a = 0.5;
    // Union of two spheres of radius 1 and 0.8 at distance d.
    const double d = std::sqrt(0.8 * 0.8 + 0.1 * 0.1), r1 = 1.0, r2 = 0.8;
    const double x1 = (d * d + r1 * r1 - r2 * r2) / (2 * d);
    const double cap1 = pi * (r1 - x1) * (r1 - x1) * (3 * r1 - (r1 - x1)) / 3;
    const double cap2 = pi * (r2 - (d - x1)) * (r2 - (d - x1)) * (3 * r2 - (r2 - (d - x1))) / 3;
    const double unionVolume = 4.0 / 3 * pi * (r1 * r1 * r1 + r2 * r2 * r2) - cap1 - cap2;
    const ShapeCase cases[] = {
        {"sphere", [](const double* p) { return Sphere(p, kOrigin, 1.0); }, 0.1, 2, 4.0 / 3 * pi, 0.25},
        {"torus",
         [&](const double* p) {
             const double q = std::sqrt(p[0] * p[0] + p[1] * p[1]) - R;
             return std::sqrt(q * q + p[2] * p[2]) - a;
         },
         0.05, 0, 2 * pi * pi * R * a * a, 0.25},
        {"union", [&](const double* p) { return std::min(Sphere(p, c1, r1), Sphere(p, c2, r2)); }, 0.1, 2, unionVolume,
         1.0},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.name);
        double previous = 0.0;
        for (int level = 0; level < 2; ++level) {
            const double resolution = c.resolution / (1 << level);
            Follow run(c.field);
            const RapidSurfOptions o = Options();
            const std::vector<double> seeds = {c.name[0] == 't' ? R + a : 1.0, 0.0, 0.0};
            ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go(seeds, kLo, kHi, resolution, &o));
            const Topology t = CheckTopology(run.mesh);
            EXPECT_TRUE(t.closedAndOriented);
            EXPECT_TRUE(t.edgeManifold);
            EXPECT_TRUE(t.vertexManifold);
            EXPECT_EQ(c.euler, t.euler);
            EXPECT_EQ(0, t.quads);
            EXPECT_NEAR(c.volume, SignedVolume(run.mesh), 0.02 * c.volume);
            const double distance = LargestDistance(run.mesh, c.field);
            EXPECT_LT(distance, c.distanceLimit * resolution);
            // The union's crease is followed to first order only.
            if (level == 1 && c.name[0] != 'u') {
                EXPECT_LE(distance, 0.5 * previous);
            }
            previous = distance;
#ifndef _WIN32
            if (level == 1) continue;  // the peers take seconds a mesh
            const PeerVerdict peers = AskPeers(run.mesh, testing::TempDir() + "rapid_surf_" + c.name);
            if (peers.ran) {
                EXPECT_TRUE(peers.watertight);
                EXPECT_TRUE(peers.edgeManifold);
                EXPECT_TRUE(peers.vertexManifold);
                EXPECT_EQ(0, peers.backwardsEdges);
            } else {
                ADD_FAILURE() << "Open3D or admesh did not run";
            }
#endif
        }
    }
}

TEST(RapidSurfTest, ResolutionZeroIsTakenAsOne) {
    Follow run([](const double* p) { return Sphere(p, kOrigin, 12.0); });
    const double lo[3] = {-20, -20, -20}, hi[3] = {20, 20, 20};
    const RapidSurfOptions o = Options();
    EXPECT_EQ(RAPIDSURF_SUCCESS, run.Go({12, 0, 0}, lo, hi, 0.0, &o));
    EXPECT_NE(std::string::npos, run.printed.find("init_workspace: Resolution zero -> 1.0"));
    EXPECT_TRUE(CheckTopology(run.mesh).closedAndOriented);
}

TEST(RapidSurfTest, SeedsAreRejectedDuplicatedOrLimited) {
    Field sphere = [](const double* p) { return Sphere(p, kOrigin, 1.0); };
    struct Case {
        const char* name;
        std::vector<double> seeds;
        bool gradient;
        int seedCount, boundary, vertex, duplicate;
    } cases[] = {
        {"near the box edge", {1.95, 0, 0}, false, 0, 1, 0, 0},
        {"projected near the edge", {0, 0, 1.0}, true, 0, 0, 0, 0},
        {"far from the surface", {0.2, 0.1, 0.0}, false, 0, 0, 1, 0},
        {"same node twice", {1.0, 0, 0, 1.0, 0, 0}, true, 1, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Follow run(sphere);
        RapidSurfOptions o = Options(0, 0, 0);
        double hi[3] = {2, 2, 2};
        if (c.name[0] == 'p') hi[2] = 1.1;  // the sphere's top lies at the box's top
        const int status = run.Go(c.seeds, kLo, hi, 0.1, &o, c.gradient);
        const RapidSurfCounts n = run.Counts();
        EXPECT_EQ(c.seedCount, n.Seed_count);
        if (c.name[0] == 'p')
            EXPECT_EQ(1, n.Seed_boundary_reject);
        else
            EXPECT_EQ(c.boundary, n.Seed_boundary_reject);
        EXPECT_EQ(c.vertex, n.Seed_vertex_reject);
        EXPECT_EQ(n.Seed_boundary_reject + n.Seed_vertex_reject + n.Seed_search_reject, n.Seed_reject);
        EXPECT_EQ(0, n.Seed_fail);
        EXPECT_GE(n.Seed_duplicate, c.duplicate);
        if (c.seedCount == 0) {
            EXPECT_EQ(RAPIDSURF_NO_SEEDS, status);
            EXPECT_TRUE(run.mesh.faces.empty());
            EXPECT_TRUE(run.mesh.points.empty());
        }
    }
}

TEST(RapidSurfTest, SeedLimitOneFindsOneOfTwoSpheresZeroFindsBoth) {
    const double a[3] = {-1.0, 0, 0}, b[3] = {1.0, 0, 0};
    Field two = [&](const double* p) { return std::min(Sphere(p, a, 0.6), Sphere(p, b, 0.6)); };
    const std::vector<double> seeds = {-0.4, 0, 0, 1.6, 0, 0};
    Follow one(two), both(two);
    const RapidSurfOptions limited = Options(0, 0, 1), all = Options(0, 0, 0);
    ASSERT_EQ(RAPIDSURF_SUCCESS, one.Go(seeds, kLo, kHi, 0.05, &limited));
    ASSERT_EQ(RAPIDSURF_SUCCESS, both.Go(seeds, kLo, kHi, 0.05, &all));
    EXPECT_EQ(2, CheckTopology(one.mesh).euler);
    EXPECT_EQ(4, CheckTopology(both.mesh).euler);
    const double v = 4.0 / 3 * 3.14159265358979 * 0.216;
    EXPECT_NEAR(v, SignedVolume(one.mesh), 0.02 * v);
    EXPECT_NEAR(2 * v, SignedVolume(both.mesh), 0.04 * v);
}

TEST(RapidSurfTest, OpenSurfaceEndsOnTheBoxAndClosesOnTheChosenSide) {
    // The plane z = 0.3, positive above.
    Field plane = [](const double* p) { return p[2] - 0.3; };
    const double lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
    struct Case {
        int open;
        double volume;  // signed
    } cases[] = {{0, 0.0}, {1, -4 * 0.7}, {2, 4 * 1.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.open);
        Follow run(plane);
        const RapidSurfOptions o = Options(c.open);
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({0, 0, 0.3}, lo, hi, 0.1, &o));
        const Topology t = CheckTopology(run.mesh);
        if (c.open == 0) {
            EXPECT_GT(t.boundaryEdges, 0);
            EXPECT_EQ(1, t.euler);  // a disc
            for (int32_t flag : run.mesh.boundary) EXPECT_EQ(0, flag);
        } else {
            EXPECT_TRUE(t.closedAndOriented);
            EXPECT_TRUE(t.edgeManifold);
            EXPECT_EQ(2, t.euler);
            EXPECT_NEAR(c.volume, SignedVolume(run.mesh), 1e-9);
            EXPECT_GT(run.Counts().Boundary_Face_count, 0);
        }
    }
}

TEST(RapidSurfTest, MeshTypesGiveTrianglesQuadsOrBoth) {
    Field sphere = [](const double* p) { return Sphere(p, kOrigin, 1.0); };
    const double volume = 4.0 / 3 * 3.14159265358979;
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(type);
        Follow run(sphere);
        const RapidSurfOptions o = Options(0, type);
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
        const Topology t = CheckTopology(run.mesh);
        EXPECT_TRUE(t.closedAndOriented);
        EXPECT_TRUE(t.edgeManifold);
        EXPECT_EQ(2, t.euler);
        EXPECT_NEAR(volume, SignedVolume(run.mesh), 0.02 * volume);
        if (type == 0) {
            EXPECT_EQ(0, t.quads);
        } else if (type == 1) {
            EXPECT_EQ(0, t.triangles);
        } else {
            EXPECT_GT(t.quads, 0);
            EXPECT_GT(t.triangles, 0);
        }
        EXPECT_EQ(0, run.Counts().Open_half_quads);
    }
    // All quads on an open surface: the rim's half quads stay unpaired.
    Follow open([](const double* p) { return p[2] - 0.3; });
    const RapidSurfOptions o = Options(0, 1);
    ASSERT_EQ(RAPIDSURF_SUCCESS, open.Go({0, 0, 0.3}, kLo, kHi, 0.1, &o));
    EXPECT_EQ(0, CheckTopology(open.mesh).triangles);
    EXPECT_GT(open.Counts().Open_half_quads, 0);
}

TEST(RapidSurfTest, EveryFailureStopsTheRunWithItsStatus) {
    Field sphere = [](const double* p) { return Sphere(p, kOrigin, 1.0); };
    const RapidSurfOptions o = Options();
    {
        Follow run(sphere);
        run.failEvaluationAt = 200;
        EXPECT_EQ(RAPIDSURF_EVAL_ERROR, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
        EXPECT_EQ(0, run.Counts().Seed_fail);
    }
    {
        // The evaluator fails while the seed is projected: a failed seed,
        // not a rejected one.
        Follow run(sphere);
        run.failEvaluationAt = 0;
        EXPECT_EQ(RAPIDSURF_EVAL_ERROR, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
        EXPECT_EQ(1, run.Counts().Seed_fail);
        EXPECT_EQ(0, run.Counts().Seed_reject);
    }
    {
        Follow run(sphere);
        run.failVertexAt = 50;
        EXPECT_EQ(RAPIDSURF_VERTEX_ERROR, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
        EXPECT_EQ(50u, run.mesh.points.size());
    }
    {
        Follow run(sphere);
        run.failFaceAt = 50;
        EXPECT_EQ(RAPIDSURF_FACET_ERROR, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
    }
    {
        // Abort: the mesh made so far stays with the sinks.
        Follow run(sphere);
        run.abortAfterFaces = 100;
        EXPECT_EQ(RAPIDSURF_ABORT, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
        EXPECT_GE(run.mesh.faces.size(), 100u);
        EXPECT_LT(run.mesh.faces.size(), 1000u);
        for (const auto& f : run.mesh.faces)
            for (int32_t v : f) EXPECT_LT(v, static_cast<int32_t>(run.mesh.points.size()));
    }
    {
        Follow run(sphere);
        EXPECT_EQ(RAPIDSURF_NO_SEEDS, run.Go({}, kLo, kHi, 0.1, &o));
        EXPECT_NE(std::string::npos, run.printed.find("inject_all_seeds: Seeds - NULL pointer\n"));
    }
    {
        Follow run(sphere);
        const double flat[3] = {2, -2, 2};
        EXPECT_EQ(RAPIDSURF_NO_MEMORY, run.Go({1, 0, 0}, flat, kHi, 0.1, &o));
        EXPECT_EQ(nullptr, run.workspace);
        EXPECT_NE(std::string::npos, run.printed.find("init_workspace: Bounding box arguments in error Max <= Min "));
    }
    {
        // A lattice beyond the octree's reach: the count line, then no workspace.
        Follow run(sphere);
        const double lo[3] = {0, 0, 0}, hi[3] = {3e9, 1, 1};
        EXPECT_EQ(RAPIDSURF_NO_MEMORY, run.Go({1, 0, 0}, lo, hi, 1.0, &o));
        EXPECT_NE(std::string::npos, run.printed.find("init_workspace: X length "));
        EXPECT_EQ(nullptr, run.workspace);
    }
}

TEST(RapidSurfTest, OrientationMatrixTurnsTheLatticeNotTheSurface) {
    Field sphere = [](const double* p) { return Sphere(p, kOrigin, 1.0); };
    RapidSurfOptions o = Options();
    // A rotation by 30 degrees about z with a mirror in x.
    const double c = std::cos(0.5235987755982988), s = std::sin(0.5235987755982988);
    const double m[16] = {-c, s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0.1, 0.2, 0.0, 1};
    for (int k = 0; k < 16; ++k) o.Orientation[k] = m[k];
    Follow run(sphere);
    ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1, 0, 0}, kLo, kHi, 0.1, &o));
    const Topology t = CheckTopology(run.mesh);
    EXPECT_TRUE(t.closedAndOriented);
    EXPECT_EQ(2, t.euler);
    const double volume = 4.0 / 3 * 3.14159265358979;
    EXPECT_NEAR(volume, SignedVolume(run.mesh), 0.02 * volume);
    EXPECT_LT(LargestDistance(run.mesh, sphere), 0.025);
}

}  // namespace

namespace {

TEST(RapidSurfTest, NodesBehindTheFrontAreRetired) {
    // Halving the resolution quadruples the surface's nodes; the nodes held
    // at once grow far less, since the front is a band around the surface
    // (three generations of the front wide, where it holds nodes that never
    // join it).
    RapidSurfCounts counts[2];
    for (int pass = 0; pass < 2; ++pass) {
        Follow run([](const double* p) { return Sphere(p, kOrigin, 1.5); });
        const RapidSurfOptions o = Options();
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1.5, 0, 0}, kLo, kHi, pass == 0 ? 0.08 : 0.04, &o));
        counts[pass] = run.Counts();
        const Topology t = CheckTopology(run.mesh);
        EXPECT_TRUE(t.closedAndOriented && t.edgeManifold && t.vertexManifold);
        EXPECT_EQ(2, t.euler);
        std::printf("resolution %.2f: %d evaluations, at most %d nodes held, %d retired, %d left\n",
                    pass == 0 ? 0.08 : 0.04, counts[pass].EV_count, counts[pass].Max_live_nodes,
                    counts[pass].Retired_count, counts[pass].Live_nodes);
    }
    EXPECT_GT(counts[1].EV_count, 3.5 * counts[0].EV_count);
    EXPECT_LT(counts[1].Max_live_nodes, 2.5 * counts[0].Max_live_nodes);
    EXPECT_LT(counts[1].Max_live_nodes, counts[1].EV_count / 8);
}

TEST(RapidSurfTest, ReportHasItsSectionsAndCounts) {
    Follow run([](const double* p) { return Sphere(p, kOrigin, 1.0); });
    RapidSurfOptions o = Options(0, 2, 1);
    o.Fit_to_box = 5;
    ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1, 0, 0, 1, 0, 0}, kLo, kHi, 0.25, &o));
    run.printed.clear();
    RapidSurf_WriteStatus(&Follow::Print, &run, run.workspace);
    // What the run's callbacks saw fills the counts they can see: vertices
    // and faces from the sinks, evaluations from the evaluators (the seed lies
    // on the surface, so its projection takes one gradient evaluation and
    // every other goes to a node, each once). Counts whose values depend on
    // choices left open (the front's length and order, the cluster test)
    // are only required to be there; the octree's address differs from run
    // to run.
    std::string report = run.printed;
    const size_t section = report.find("[Tree info]\nTree ");
    ASSERT_NE(std::string::npos, section);
    const size_t tree = section + 12;
    report.replace(tree, report.find('\n', tree) - tree, "Tree <address> ");
    const int seedEvaluations = Reported(report, "Seed_EV_count");
    int nodeEvaluations = 0;
    for (const auto& [at, times] : run.evaluatedAt) nodeEvaluations += times;
    EXPECT_EQ(nodeEvaluations - seedEvaluations, Reported(report, "EV_count"));
    EXPECT_EQ(1, run.evaluations - nodeEvaluations);
    for (const char* label : {"Iteration_count", "Seed_EV_count", "Max_vertex_stack_size", "Vertex_collapse_count"}) {
        const size_t at = report.find(std::string("\n") + label + " ");
        ASSERT_NE(std::string::npos, at) << label;
        const size_t from = at + std::strlen(label) + 2;
        EXPECT_GT(Reported(report, label), 0) << label;
        report.replace(from, report.find('\n', from) - from, "<n>");
    }
    const std::string golden =
        "[Status info]\n"
        "\n"
        "RapidSurf Status SUCCESS\n"
        "Abort Status 0\n"
        "EV_Status Status SUCCESS\n"
        "[Surfacing info]\n"
        "\n"
        "Vertex_count " +
        std::to_string(run.mesh.points.size()) +
        "\n"
        "Face_count " +
        std::to_string(run.mesh.faces.size()) +
        "\n"
        "Vertex_stack_size 0\n"
        "Iteration_count <n>\n"
        "EV_count " +
        std::to_string(nodeEvaluations - seedEvaluations) +
        "\n"
        "Seed_EV_count <n>\n"
        "Grad_count 1\n"
        "Max_vertex_stack_size <n>\n"
        "Boundary_Face_count 0\n"
        "Split_Quad_count 0\n"
        "Slice Resolution 0.250000\n"
        "[Topology info]\n"
        "\n"
        "Flat_surface_count 0\n"
        "Multi_surface_count 0\n"
        "Multi_hole_count 0\n"
        "Small_hole_count 0\n"
        "Nugget_count 0\n"
        "Vertex_collapse_count <n>\n"
        "Flat_boundary_quad_count 0\n"
        "[Workspace info]\n"
        "\n"
        // 13 x 17 x 27 nodes: 4 / (0.25 √2) + 0.5 truncated, plus 1 and 1 more
        // as 11.5 differs from 11.31; 4 / 0.25 + 1; 4 / 0.25 + 11. Spacing
        // fitted along x and z: 4 / 11.5 and 4 / 16.
        "Vol size (-2.000000 -2.000000 -2.000000) (2.000000 2.000000 2.000000)\n"
        "Index range (0 0 5) (12 16 21)\n"
        "Scale (0.347826 0.250000 0.250000)\n"
        "[Parameter info]\n"
        "\n"
        "Threshold 0.000000\n"
        "[Tree info]\n"
        "Tree <address> \n"
        "[Options info]\n"
        "Open_surface 0 - Open\n"
        "Mesh_type 2 - Quads & triangles\n"
        "Optimise facet\n"
        "Transform B-box\n"
        "Scale X res to fit B-box\n"
        "Scale Z res to fit B-box\n"
        "[Seed info]\n"
        "\n"
        "Total_seeds 2\n"
        "Seed_limit 1\n"
        "Seed_count 1\n"
        "Seed_fail 0\n"
        "Seed_reject 0\n"
        "Seed_vertex_reject 0\n"
        "Seed_boundary_reject 0\n"
        "Seed_search_reject 0\n"
        "Seed_duplicate 0\n"
        "\n";
    EXPECT_EQ(golden, report);
}

// World position of lattice node (i, j, k) in the box kLo..kHi at
// resolution 0.25 with Options()' spacing fitted to the box (13 nodes along
// x, spacing 4 / 11.5; 0.25 along y and z; the first z index is 5).
std::array<double, 3> NodeAt(int i, int j, int k) {
    const double dx = 4.0 / 11.5;
    const double x = ((j + k) % 2 == 1 && i != 12) || i == 0 ? i + 0.5 : i;
    return {kLo[0] - dx / 2 + x * dx, kLo[1] + j * 0.25, kLo[2] + (k - 5) * 0.25};
}

double Capsule(const double* p, const std::array<double, 3>& a, const std::array<double, 3>& b, double r) {
    double ab[3], ap[3], t = 0.0, length = 0.0;
    for (int k = 0; k < 3; ++k) {
        ab[k] = b[k] - a[k];
        ap[k] = p[k] - a[k];
        t += ab[k] * ap[k];
        length += ab[k] * ab[k];
    }
    t = length > 0.0 ? std::min(1.0, std::max(0.0, t / length)) : 0.0;
    double d = 0.0;
    for (int k = 0; k < 3; ++k) d += (ap[k] - t * ab[k]) * (ap[k] - t * ab[k]);
    return std::sqrt(d) - r;
}

// Surfaces smaller than the lattice: a ball around one node (a nugget: every
// edge of the node crosses) and a sleeve round one edge (each end node has a
// single neighbour on its own side). Merging either end's crossings would
// drop every facet along the edge; the cluster test keeps them apart and
// the mesh stays closed.
TEST(RapidSurfTest, ClusterTestKeepsTinySurfacesClosed) {
    const std::array<double, 3> p = NodeAt(6, 8, 12), q = NodeAt(7, 8, 12);
    struct Case {
        const char* name;
        Field field;
        int nuggets, smallHoles;
    } cases[] = {
        {"ball round a node", [&](const double* x) { return Capsule(x, p, p, 0.075); }, 1, 0},
        {"sleeve round an edge", [&](const double* x) { return Capsule(x, p, q, 0.075); }, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Follow run(c.field);
        const RapidSurfOptions o = Options();
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({p[0], p[1], p[2] + 0.075}, kLo, kHi, 0.25, &o));
        const RapidSurfCounts n = run.Counts();
        EXPECT_EQ(c.nuggets, n.Nugget_count);
        EXPECT_EQ(c.smallHoles, n.Small_hole_count);
        EXPECT_EQ(0, n.Vertex_collapse_count);
        const Topology t = CheckTopology(run.mesh);
        EXPECT_GT(run.mesh.faces.size(), 0u);
        EXPECT_TRUE(t.closedAndOriented);
        EXPECT_TRUE(t.edgeManifold);
        EXPECT_TRUE(t.vertexManifold);
        EXPECT_EQ(2, t.euler);
        EXPECT_GT(SignedVolume(run.mesh), 0.0);
    }
}

// A plane through a layer of nodes: each node on it counts as flat, and the
// crossings that meet there still make one disc.
TEST(RapidSurfTest, PlaneThroughNodesCountsFlatNodesAndStaysADisc) {
    for (double height : {0.0, 0.1}) {
        SCOPED_TRACE(height);
        Follow run([height](const double* x) { return x[2] - height; });
        const RapidSurfOptions o = Options();
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({0, 0, height}, kLo, kHi, 0.25, &o));
        const Topology t = CheckTopology(run.mesh);
        EXPECT_TRUE(t.edgeManifold);
        EXPECT_TRUE(t.vertexManifold);
        EXPECT_EQ(1, t.euler);
        if (height == 0.0) {
            EXPECT_GE(run.Counts().Flat_surface_count, 12 * 16);  // the nodes of the layer k = 13
        } else {
            EXPECT_EQ(0, run.Counts().Flat_surface_count);
        }
    }
}

// A sphere cut by the box's top: the facets that close it there are flagged
// as boundary facets and counted as flat ones; without facet optimisation
// exactly the boundary facets that lie in the top plane.
TEST(RapidSurfTest, ClosingFacetsOnTheBoxAreCounted) {
    Field cut = [](const double* x) {
        const double c[3] = {0.0, 0.0, 1.5};
        return Sphere(x, c, 1.0);
    };
    for (int optimisation : {0, 2}) {
        SCOPED_TRACE(optimisation);
        for (int open : {0, 2}) {
            Follow run(cut);
            RapidSurfOptions o = Options(open);
            o.Triangulation_optimisation = optimisation;
            ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({0, 0, 0.5}, kLo, kHi, 0.1, &o));
            const RapidSurfCounts n = run.Counts();
            if (open == 0) {
                EXPECT_EQ(0, n.Flat_boundary_quad_count);
                continue;
            }
            EXPECT_TRUE(CheckTopology(run.mesh).closedAndOriented);
            int32_t onTop = 0;
            for (size_t f = 0; f < run.mesh.faces.size(); ++f) {
                bool flat = run.mesh.boundary[f] != 0;
                for (int32_t v : run.mesh.faces[f]) flat = flat && std::fabs(run.mesh.points[v][2] - kHi[2]) < 1e-12;
                onTop += flat;
            }
            EXPECT_GT(onTop, 0);
            EXPECT_LE(n.Flat_boundary_quad_count, n.Boundary_Face_count);
            if (optimisation == 2) {
                EXPECT_EQ(onTop, n.Flat_boundary_quad_count);
            } else {
                EXPECT_GE(n.Flat_boundary_quad_count, onTop);
            }
        }
    }
}

}  // namespace

namespace {

TEST(RapidSurfTest, EveryLatticeNodeIsEvaluatedOnce) {
    // Without a gradient evaluator the value evaluator sees every node: the
    // seed's search, then the front's nodes. Only the search's neighbours
    // that it discards (all it tried but the seed's partner) come again.
    const Field torus = [](const double* p) {
        const double ring = std::sqrt(p[0] * p[0] + p[1] * p[1]) - 1.2;
        return std::sqrt(ring * ring + p[2] * p[2]) - 0.4;
    };
    const struct {
        Field field;
        double resolution;
        std::vector<double> seed;
    } runs[] = {{[](const double* p) { return Sphere(p, kOrigin, 1.5); }, 0.25, {1.5, 0, 0}},
                {[](const double* p) { return Sphere(p, kOrigin, 1.5); }, 0.06, {1.5, 0, 0}},
                {torus, 0.05, {1.6, 0, 0}}};
    for (const auto& r : runs) {
        SCOPED_TRACE(r.resolution);
        Follow run(r.field);
        const RapidSurfOptions o = Options();
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go(r.seed, kLo, kHi, r.resolution, &o, false));
        run.printed.clear();
        RapidSurf_WriteStatus(&Follow::Print, &run, run.workspace);
        const int seedEvaluations = Reported(run.printed, "Seed_EV_count");
        ASSERT_GE(seedEvaluations, 2);
        EXPECT_EQ(run.evaluations, run.Counts().EV_count + seedEvaluations);
        int again = 0;
        for (const auto& [at, times] : run.evaluatedAt) again += times - 1;
        EXPECT_LE(again, seedEvaluations - 2);
        EXPECT_TRUE(CheckTopology(run.mesh).closedAndOriented);
    }
}

TEST(RapidSurfTest, ZGridMergesCrossingsOntoTheLatticePlanes) {
    // The lattice's x-y planes lie at z = -2 + (k - 5) 0.25 (fitted to the
    // box along z). A merged vertex of the z grid is the mean of the node's
    // in-plane crossings, so it lies on the node's plane; crossings on edges
    // that leave the plane stay where they are. Facet optimisation merges
    // every crossing, off the planes too.
    Field sphere = [](const double* p) { return Sphere(p, kOrigin, 1.3); };
    int onPlanes[2] = {0, 0}, merged[2] = {0, 0};
    for (int optimisation : {0, 1}) {
        SCOPED_TRACE(optimisation);
        Follow run(sphere);
        RapidSurfOptions o = Options();
        o.Triangulation_optimisation = optimisation;
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1.3, 0, 0}, kLo, kHi, 0.25, &o));
        for (const auto& p : run.mesh.points) {
            const double planes = (p[2] - kLo[2]) / 0.25;
            onPlanes[optimisation] += std::fabs(std::round(planes) - planes) < 1e-9;
        }
        merged[optimisation] = run.Counts().Vertex_collapse_count;
        const Topology t = CheckTopology(run.mesh);
        EXPECT_TRUE(t.closedAndOriented && t.edgeManifold && t.vertexManifold);
        EXPECT_EQ(2, t.euler);
        run.printed.clear();
        RapidSurf_WriteStatus(&Follow::Print, &run, run.workspace);
        EXPECT_NE(std::string::npos,
                  run.printed.find(optimisation ? "\nZ grid facet optimisation\n" : "\nOptimise facet\n"));
    }
    ASSERT_GT(merged[1], 0);
    EXPECT_GE(onPlanes[1], merged[1]);
    EXPECT_GT(onPlanes[1], onPlanes[0]);
}

TEST(RapidSurfTest, GradientsAreInterpolatedToTheVertices) {
    // The sphere's gradient is the unit radial vector at every node; along an
    // edge of at most 0.35 on a sphere of radius 1.2 the mean of two such
    // vectors stays within 0.03 of the radial direction at the vertex.
    Follow run([](const double* p) { return Sphere(p, kOrigin, 1.2); });
    RapidSurfOptions o = Options();
    o.Gradients = 1;
    ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1.2, 0, 0}, kLo, kHi, 0.25, &o));
    ASSERT_EQ(run.mesh.points.size(), run.gradients.size());
    for (size_t v = 0; v < run.gradients.size(); ++v) {
        const auto& p = run.mesh.points[v];
        const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k] / r, run.gradients[v][k], 0.03) << v;
    }
    // Asked for without a gradient evaluator, there are none.
    Follow plain([](const double* p) { return Sphere(p, kOrigin, 1.2); });
    ASSERT_EQ(RAPIDSURF_SUCCESS, plain.Go({1.2, 0, 0}, kLo, kHi, 0.25, &o, false));
    EXPECT_FALSE(plain.mesh.points.empty());
    for (const auto& g : plain.gradients) EXPECT_EQ(0.0, g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
}

TEST(RapidSurfTest, BoxIsTakenAsGivenOrTurnedByTheOrientation) {
    // A quarter turn about z swaps the box's x and y extents when the box is
    // turned; taken as given it stays 4 x 2 x 2 in the lattice frame.
    const double lo[3] = {-2, -1, -1}, hi[3] = {2, 1, 1};
    for (int transform : {1, 0}) {
        SCOPED_TRACE(transform);
        Follow run([](const double* p) { return Sphere(p, kOrigin, 0.6); });
        RapidSurfOptions o = Options();
        o.Transform_bbox = transform;
        const double turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        for (int k = 0; k < 16; ++k) o.Orientation[k] = turn[k];
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({0.6, 0, 0}, lo, hi, 0.1, &o));
        run.printed.clear();
        RapidSurf_WriteStatus(&Follow::Print, &run, run.workspace);
        EXPECT_NE(std::string::npos,
                  run.printed.find(transform ? "(-1.000000 -2.000000 -1.000000) (1.000000 2.000000 "
                                             : "(-2.000000 -1.000000 -1.000000) (2.000000 1.000000 "));
        EXPECT_NE(std::string::npos,
                  run.printed.find(transform ? "\nTransform B-box\n" : "\nDo not transform B-box\n"));
        EXPECT_TRUE(CheckTopology(run.mesh).closedAndOriented);
    }
}

TEST(RapidSurfTest, InvalidOptionsAreSaidAndTakenAsTheirDefaults) {
    struct Case {
        int transform, open, optimisation, meshType;
        const char* said;
    } cases[] = {
        {5, 0, 0, 0, "init_workspace: options->Transform_bbox invalid value - set to transform bounding box"},
        {1, 7, 0, 0, "init_workspace: Open_surface invalid value - set open surface"},
        {1, 0, 3, 0, "init_workspace: Triangulation_optimisation invalid value - set optimal"},
        {1, 0, 0, 9, "init_workspace: Mesh_type invalid value - set all triangles"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        Follow run([](const double* p) { return Sphere(p, kOrigin, 1.0); });
        RapidSurfOptions o = Options();
        o.Transform_bbox = c.transform;
        o.Open_surface = c.open;
        o.Triangulation_optimisation = c.optimisation;
        o.Mesh_type = c.meshType;
        ASSERT_EQ(RAPIDSURF_SUCCESS, run.Go({1, 0, 0}, kLo, kHi, 0.25, &o));
        EXPECT_NE(std::string::npos, run.printed.find(c.said));
        run.printed.clear();
        RapidSurf_WriteStatus(&Follow::Print, &run, run.workspace);
        for (const char* line : {"\nOpen_surface 0 - Open\n", "\nMesh_type 0 - All triangles\n", "\nOptimise facet\n",
                                 "\nTransform B-box\n"})
            EXPECT_NE(std::string::npos, run.printed.find(line)) << line;
        const Topology t = CheckTopology(run.mesh);
        EXPECT_TRUE(t.closedAndOriented);
        EXPECT_EQ(0, t.quads);
    }
}

TEST(RapidSurfTest, ExpandWalksTheCrossingEdgesRoundANodeOnce) {
    // A unit sphere in a lattice of spacing 0.25: the node nearest the centre
    // and its +x neighbour are both inside, so their edge is no base for an
    // expansion; further out along +x an edge crosses the sphere and its
    // expansion reaches every crossing edge of the node through the rings.
    using rapid_surf::LatticeNode;
    Follow run([](const double* p) { return Sphere(p, kOrigin, 1.0); });
    const RapidSurfOptions o = Options();
    run.workspace = init_workspace(1, kLo, kHi, 0.25, 0.0, &run.abortFlag, &Follow::Value, nullptr, &Follow::Vertex,
                                   &Follow::Face, &run, &run, &run, &run, &Follow::Print, &o);
    ASSERT_NE(nullptr, run.workspace);
    RapidSurfWorkspace* w = run.workspace;
    LatticeNode* n = nullptr;
    ASSERT_EQ(0, rapid_surf::MakeNode(w, w->Nx / 2, w->Ny / 2, w->Nz / 2, &n));
    ASSERT_NE(nullptr, n);
    ASSERT_LT(n->Value, -0.8);
    run.printed.clear();
    EXPECT_EQ(0, expand(n, 8, w));
    EXPECT_EQ("expand: Base not an edge", run.printed);
    LatticeNode* m = n->Link[8];
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(n, m->Link[1]);
    EXPECT_TRUE((n->NoCrossing & (1u << 8)) && (m->NoCrossing & (1u << 1)));
    EXPECT_EQ(0u, n->Expanded);
    // Outwards along +x to the first edge that crosses.
    while (m->Value < 0.0) {
        n = m;
        ASSERT_EQ(0, rapid_surf::Neighbour(w, n, 8, &m));
        ASSERT_NE(nullptr, m);
    }
    run.printed.clear();
    EXPECT_EQ(1, expand(n, 8, w));
    EXPECT_EQ(0, expand(n, 8, w));
    EXPECT_EQ("", run.printed);
    const rapid_surf::EdgeCrossing* c = n->Crossing[8];
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(c, m->Crossing[1]);
    EXPECT_EQ(-1, c->Vertex);
    EXPECT_NEAR(
        1.0,
        std::sqrt(c->Position[0] * c->Position[0] + c->Position[1] * c->Position[1] + c->Position[2] * c->Position[2]),
        0.03);
    // The nearer end owns the crossing.
    const bool nearerN = std::fabs(c->Position[0] - n->Position[0]) < std::fabs(c->Position[0] - m->Position[0]);
    EXPECT_EQ(nearerN, (n->Owned & (1u << 8)) != 0);
    EXPECT_EQ(!nearerN, (m->Owned & (1u << 1)) != 0);
    // Every crossing edge round the node is expanded, every edge in the ring
    // of an expanded one joined and known, and every joined neighbour on the
    // other side has a crossing with the node.
    const auto& t = rapid_surf::Tables();
    EXPECT_TRUE(n->Expanded & (1u << 8));
    for (int d = 0; d < rapid_surf::kDirections; ++d) {
        const bool crossing = n->Crossing[d] != nullptr;
        if (n->Link[d] != nullptr) EXPECT_EQ(crossing, (n->Link[d]->Value >= 0.0) != (n->Value >= 0.0)) << d;
        if (!(n->Expanded & (1u << d))) continue;
        EXPECT_TRUE(crossing) << d;
        for (int f = 0; f < 6 && t.Ring[d][f] >= 0; ++f) {
            const int e = t.Ring[d][f];
            EXPECT_NE(nullptr, n->Link[e]) << d << " " << e;
            EXPECT_TRUE(n->Crossing[e] != nullptr || (n->NoCrossing & (1u << e))) << e;
            if (n->Crossing[e] != nullptr) EXPECT_TRUE(n->Expanded & (1u << e)) << e;
        }
    }
    // No lattice point was evaluated twice.
    for (const auto& [at, times] : run.evaluatedAt) EXPECT_EQ(1, times);
    EXPECT_EQ(run.evaluations, run.Counts().EV_count);
}

}  // namespace
