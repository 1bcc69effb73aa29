#include "surface/fit/mesh_operations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "surface/fit/mesh_check.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/status_codes.h"

namespace {

using Ints = std::vector<int32_t>;
constexpr double kPi = 3.14159265358979323846;

// A UV sphere of radius 2: poles plus rings x segments, outward faces. With
// `seam` the last column repeats the first one's points (a split mesh).
void UvSphere(Mesh3* mesh, int32_t rings, int32_t segments, bool seam) {
    const int32_t columns = seam ? segments + 1 : segments;
    const int32_t points = 2 + rings * columns;
    ASSERT_EQ(Mesh3_Create(mesh, points, 2 * segments * rings, 0), 0);
    double* p = mesh->Points.Location;
    auto set = [p](int32_t i, double x, double y, double z) {
        p[3 * i] = x;
        p[3 * i + 1] = y;
        p[3 * i + 2] = z;
    };
    set(0, 0, 0, 2);
    set(1, 0, 0, -2);
    for (int32_t r = 0; r < rings; ++r) {
        const double theta = kPi * (r + 1) / (rings + 1);
        for (int32_t s = 0; s < columns; ++s) {
            const double phi = 2 * kPi * (s % segments) / segments;
            set(2 + r * columns + s, 2 * std::sin(theta) * std::cos(phi), 2 * std::sin(theta) * std::sin(phi),
                2 * std::cos(theta));
        }
    }
    mesh->Points.Count = points;
    Ints tris;
    auto at = [&](int32_t r, int32_t s) { return 2 + r * columns + (seam ? s : s % segments); };
    for (int32_t s = 0; s < segments; ++s) {
        tris.insert(tris.end(), {0, at(0, s), at(0, s + 1)});
        tris.insert(tris.end(), {1, at(rings - 1, s + 1), at(rings - 1, s)});
        for (int32_t r = 0; r + 1 < rings; ++r) {
            tris.insert(tris.end(),
                        {at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s), at(r + 1, s + 1), at(r, s + 1)});
        }
    }
    std::copy(tris.begin(), tris.end(), mesh->Faces.Tri);
    mesh->Faces.TriCount = static_cast<int32_t>(tris.size() / 3);
}

int32_t Flags(const Mesh3& m) {
    int32_t flags = 0;
    Mesh3_CheckEdges(m.Points.Count, m.Faces.TriCount, m.Faces.Tri, 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, &flags, nullptr, nullptr);
    return flags;
}

TEST(MeshOperations, NormalsOfAFineSphereAreRadial) {
    Mesh3 mesh;
    UvSphere(&mesh, 400, 800, false);
    ASSERT_EQ(Flags(mesh), kMeshConsistent | kMeshManifold | kMeshClosed);
    ASSERT_EQ(Selvane_NormalsFromMesh3(&mesh, -1, nullptr), 0);
    double worst = 0;
    for (int32_t i = 0; i < mesh.Points.Count; ++i) {
        for (int d = 0; d < 3; ++d) {
            worst = std::max(worst, std::abs(mesh.Points.Gradient[3 * i + d] - mesh.Points.Location[3 * i + d] / 2));
        }
    }
    EXPECT_LT(worst, 1e-3);
    Mesh3_Free(&mesh);
}

TEST(MeshOperations, DegenerateFacesAddNothingToNormals) {
    Mesh3 mesh;
    ASSERT_EQ(Mesh3_Create(&mesh, 5, 2, 1), 0);
    const double p[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 1, 1, 0};
    std::copy(p, p + 15, mesh.Points.Location);
    mesh.Points.Count = 5;
    const int32_t tris[] = {0, 1, 2, 0, 1, 3};  // the second has no area
    std::copy(tris, tris + 6, mesh.Faces.Tri);
    mesh.Faces.TriCount = 2;
    const int32_t quad[] = {1, 4, 4, 2};  // diagonals (4-1) x (2-4)
    std::copy(quad, quad + 4, mesh.Faces.Quad);
    mesh.Faces.QuadCount = 1;
    ASSERT_EQ(Selvane_NormalsFromMesh3(&mesh, -1, nullptr), 0);
    const double* g = mesh.Points.Gradient;
    EXPECT_EQ(std::vector<double>(g, g + 3), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(std::vector<double>(g + 9, g + 12), (std::vector<double>{0, 0, 0}));  // only the flat face
    EXPECT_EQ(std::vector<double>(g + 12, g + 15), (std::vector<double>{0, 0, 1}));
    EXPECT_EQ(Selvane_NormalsFromMesh3(&mesh, 3, nullptr), ApiStatus_BadAltSet);
    Mesh3_Free(&mesh);
}

TEST(MeshOperations, MakeConsistentRestoresTheSphere) {
    Mesh3 mesh;
    UvSphere(&mesh, 12, 20, false);
    const Ints original(mesh.Faces.Tri, mesh.Faces.Tri + 3 * mesh.Faces.TriCount);
    for (int32_t f = 1; f < mesh.Faces.TriCount; f += 3) std::swap(mesh.Faces.Tri[3 * f], mesh.Faces.Tri[3 * f + 2]);
    int32_t parts = 0, flags = 0, unused = -1;
    ASSERT_EQ(Selvane_MakeConsistentMesh3(&mesh, &parts, &flags, &unused, nullptr), 0);
    EXPECT_EQ(parts, 1);
    EXPECT_EQ(flags, kMeshManifold | kMeshClosed);
    EXPECT_EQ(unused, 0);
    EXPECT_EQ(Ints(mesh.Faces.Tri, mesh.Faces.Tri + original.size()), original);
    EXPECT_EQ(Selvane_MakeConsistentMesh3(nullptr, nullptr, nullptr, nullptr, nullptr), ApiStatus_BadMesh);
    Mesh3_Free(&mesh);
}

TEST(MeshOperations, RemoveClosePointsWeldsASplitSphere) {
    Mesh3 mesh;
    UvSphere(&mesh, 10, 16, true);
    ASSERT_EQ(mesh.Points.Count, 2 + 10 * 17);
    EXPECT_EQ(Flags(mesh), kMeshConsistent | kMeshManifold);  // open along the seam
    ASSERT_EQ(PointList3_SetFields(&mesh.Points, -1, 1, 0, 0, 0, 0), 0);
    for (int32_t i = 0; i < mesh.Points.Count; ++i) mesh.Points.Value[i] = mesh.Points.Location[3 * i + 2];
    int32_t unchanged = -1;
    ASSERT_EQ(RemoveClosePointsMesh3(&mesh, 0, 0, &unchanged, nullptr), 0);
    EXPECT_EQ(unchanged, 0);
    EXPECT_EQ(mesh.Points.Count, 2 + 10 * 16);
    EXPECT_EQ(mesh.Faces.TriCount, 2 * 16 * 10);
    for (int32_t i = 0; i < 3 * mesh.Faces.TriCount; ++i) {
        ASSERT_GE(mesh.Faces.Tri[i], 0);
        ASSERT_LT(mesh.Faces.Tri[i], mesh.Points.Count);
    }
    for (int32_t i = 0; i < mesh.Points.Count; ++i) EXPECT_EQ(mesh.Points.Value[i], mesh.Points.Location[3 * i + 2]);
    EXPECT_EQ(Flags(mesh), kMeshConsistent | kMeshManifold | kMeshClosed);
    ASSERT_EQ(RemoveClosePointsMesh3(&mesh, 0, 0, &unchanged, nullptr), 0);
    EXPECT_EQ(unchanged, 1);
    Mesh3_Free(&mesh);
}

}  // namespace
