// Simplification of an isosurface of a fitted sphere to a fifth of its faces
// beside Open3D's quadric decimation to the same triangle count: CGAL's
// approximate symmetric Hausdorff distance of each result to the input and
// the largest distance of each from the true sphere are printed; ours must
// stay a closed, edge-manifold and outward mesh on the fitted surface.
// Native only: Open3D runs in Debian's /usr/bin/python3, CGAL's headers come
// from libcgal-dev.
#if !defined(_WIN32) && __has_include(<CGAL/Surface_mesh.h>)
#include <CGAL/Polygon_mesh_processing/distance.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "surface/eval/isosurface.h"
#include "surface/eval/tests/fitted_sphere.h"
#include "surface/eval/tests/mesh_checks.h"
#include "surface/fit/simplify.h"
#include "surface/frame/mesh3.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using SurfaceMesh = CGAL::Surface_mesh<Kernel::Point_3>;

TestMesh FromMesh(const Mesh3& m) {
    TestMesh t;
    for (int32_t i = 0; i < m.Points.Count; ++i)
        t.points.push_back({m.Points.Location[3 * i], m.Points.Location[3 * i + 1], m.Points.Location[3 * i + 2]});
    for (int32_t f = 0; f < m.Faces.TriCount; ++f) t.faces.push_back({m.Faces.Tri + 3 * f, m.Faces.Tri + 3 * f + 3});
    for (int32_t f = 0; f < m.Faces.QuadCount; ++f) t.faces.push_back({m.Faces.Quad + 4 * f, m.Faces.Quad + 4 * f + 4});
    return t;
}

SurfaceMesh ToCGAL(const TestMesh& m) {
    SurfaceMesh s;
    std::vector<SurfaceMesh::Vertex_index> v;
    for (const auto& p : m.points) v.push_back(s.add_vertex(Kernel::Point_3(p[0], p[1], p[2])));
    for (const auto& t : m.Triangles()) s.add_face(v[t[0]], v[t[1]], v[t[2]]);
    return s;
}

void WritePly(const TestMesh& m, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    const auto tris = m.Triangles();
    std::fprintf(f,
                 "ply\nformat ascii 1.0\nelement vertex %zu\nproperty double x\nproperty double y\n"
                 "property double z\nelement face %zu\nproperty list uchar int vertex_indices\nend_header\n",
                 m.points.size(), tris.size());
    for (const auto& p : m.points) std::fprintf(f, "%.17g %.17g %.17g\n", p[0], p[1], p[2]);
    for (const auto& t : tris) std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
    std::fclose(f);
}

// Reads the ASCII PLY that Open3D writes: vertices (first three numbers of
// each line) and triangles.
bool ReadPly(const std::string& path, TestMesh* m) {
    std::ifstream in(path);
    std::string line;
    size_t vertices = 0, faces = 0;
    while (std::getline(in, line) && line != "end_header") {
        std::istringstream words(line);
        std::string a, b;
        size_t n = 0;
        if (words >> a >> b >> n && a == "element") (b == "vertex" ? vertices : faces) = n;
    }
    for (size_t i = 0; i < vertices && std::getline(in, line); ++i) {
        std::istringstream words(line);
        std::array<double, 3> p{};
        words >> p[0] >> p[1] >> p[2];
        m->points.push_back(p);
    }
    for (size_t i = 0; i < faces && std::getline(in, line); ++i) {
        std::istringstream words(line);
        int32_t n = 0, a = 0, b = 0, c = 0;
        words >> n >> a >> b >> c;
        m->faces.push_back({a, b, c});
    }
    return vertices > 0 && m->points.size() == vertices && m->faces.size() == faces;
}

// Open3D's quadric decimation of the mesh to `target` triangles, or false
// when Open3D did not run.
bool Open3DDecimation(const TestMesh& input, int32_t target, TestMesh* output) {
    const std::string base = testing::TempDir() + "simplify_peers-" + std::to_string(static_cast<long>(getpid()));
    const std::string in = base + "-in.ply", out = base + "-out.ply";
    WritePly(input, in);
    const std::string command =
        "/usr/bin/python3 -c \"import open3d as o3d\n"
        "m = o3d.io.read_triangle_mesh('" +
        in + "')\ns = m.simplify_quadric_decimation(" + std::to_string(target) + ")\no3d.io.write_triangle_mesh('" +
        out + "', s, write_ascii=True)\" > /dev/null 2>&1";
    const bool ran = std::system(command.c_str()) == 0 && ReadPly(out, output);
    std::remove(in.c_str());
    std::remove(out.c_str());
    return ran;
}

double SymmetricHausdorff(const SurfaceMesh& a, const SurfaceMesh& b) {
    namespace PMP = CGAL::Polygon_mesh_processing;
    const auto sampling = PMP::parameters::number_of_points_per_area_unit(5000);
    return std::max(PMP::approximate_Hausdorff_distance<CGAL::Sequential_tag>(a, b, sampling),
                    PMP::approximate_Hausdorff_distance<CGAL::Sequential_tag>(b, a, sampling));
}

double FromUnitSphere(const double* p) { return std::fabs(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]) - 1.0); }

TEST(SimplifyPeers, FifthOfAFittedSphereBesideOpen3DsDecimation) {
    FittedSphere f;
    const double lo[3] = {-1.5, -1.5, -1.5}, hi[3] = {1.5, 1.5, 1.5};
    Mesh3 iso{};
    ASSERT_EQ(0, Selvane_Isosurf3(&f.s, nullptr, nullptr, &iso, 0.0, 0.06, lo, hi, nullptr, nullptr));
    const TestMesh input = FromMesh(iso);
    const int32_t faces = iso.Faces.TriCount + iso.Faces.QuadCount;
    ASSERT_GT(faces, 3000);

    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    limits.FacesLimit = faces / 5;
    Mesh3 simplified{};
    ASSERT_EQ(0, Simplify3_NoColour(&iso, &simplified, &f.s, nullptr, 0.0, 0.0, &limits, nullptr));
    const TestMesh ours = FromMesh(simplified);
    const Topology t = CheckTopology(ours);
    EXPECT_TRUE(t.edgeManifold);
    EXPECT_TRUE(t.closedAndOriented);
    EXPECT_GT(SignedVolume(ours), 0.0) << "outward";
    EXPECT_LE(simplified.Faces.TriCount + simplified.Faces.QuadCount, limits.FacesLimit);

    const int32_t triangles = static_cast<int32_t>(ours.Triangles().size());
    TestMesh theirs;
    ASSERT_TRUE(Open3DDecimation(input, triangles, &theirs)) << "Open3D did not run";

    const SurfaceMesh in = ToCGAL(input);
    const double oursToInput = SymmetricHausdorff(ToCGAL(ours), in);
    const double theirsToInput = SymmetricHausdorff(ToCGAL(theirs), in);
    const double oursFromSphere = LargestDistance(ours, FromUnitSphere);
    const double theirsFromSphere = LargestDistance(theirs, FromUnitSphere);
    std::printf("input %d faces; ours %d triangles, Open3D %zu\n", faces, triangles, theirs.Triangles().size());
    std::printf("Hausdorff to the input: ours %.5f, Open3D %.5f\n", oursToInput, theirsToInput);
    std::printf("largest distance from the unit sphere: ours %.5f, Open3D %.5f (input %.5f)\n", oursFromSphere,
                theirsFromSphere, LargestDistance(input, FromUnitSphere));
    EXPECT_GT(oursToInput, 0.0);
    Mesh3_Free(&iso);
    Mesh3_Free(&simplified);
}

}  // namespace
#endif
