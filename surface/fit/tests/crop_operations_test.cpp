#include "surface/fit/crop_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>
#include <vector>

#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

using Point = std::array<double, 3>;

void Fill(PointList3* list, const std::vector<Point>& points) {
    ASSERT_EQ(PointList3_Create(list, static_cast<int32_t>(points.size()) + 1, 1, 0, 0, 0, 0), 0);
    for (size_t i = 0; i < points.size(); ++i) {
        std::copy(points[i].begin(), points[i].end(), list->Location + 3 * i);
        list->Value[i] = static_cast<double>(i);
    }
    list->Count = static_cast<int32_t>(points.size());
}

bool Inside(const Point& p, const double* min, const double* max) {
    for (int d = 0; d < 3; ++d) {
        if (p[d] < min[d] || p[d] > max[d]) return false;
    }
    return true;
}

TEST(CropOperations, PointListCropEqualsBruteForce) {
    const double min[] = {0, 0, 0}, max[] = {1, 1, 1};
    std::vector<Point> points = {
        {0, 0, 0}, {1, 1, 1}, {1, 0.5, 0}, {1 + 1e-12, 0.5, 0.5}, {0.5, -1e-12, 0.5}, {0.5, 0.5, 2},
    };
    std::mt19937 random(5);
    std::uniform_real_distribution<double> u(-0.5, 1.5);
    for (int i = 0; i < 500; ++i) points.push_back({u(random), u(random), u(random)});
    PointList3 list;
    Fill(&list, points);
    ASSERT_EQ(Selvane_CropPointList3(&list, min, max, nullptr), 0);
    std::multiset<double> kept, expected;
    for (int32_t i = 0; i < list.Count; ++i) {
        const int32_t from = static_cast<int32_t>(list.Value[i]);
        EXPECT_EQ(list.Location[3 * i], points[from][0]);  // the point came along with its value
        kept.insert(list.Value[i]);
    }
    for (size_t i = 0; i < points.size(); ++i) {
        if (Inside(points[i], min, max)) expected.insert(static_cast<double>(i));
    }
    EXPECT_EQ(kept, expected);
    EXPECT_TRUE(kept.count(0) && kept.count(1) && kept.count(2));  // faces and corners of the box stay
    EXPECT_FALSE(kept.count(3) || kept.count(4));
    PointList3_Free(&list);
}

TEST(CropOperations, PlaneListCropKeepsTheClosedBox) {
    const double min[] = {0, 0}, max[] = {1, 2};
    const double xy[][2] = {{0, 0}, {1, 2}, {1 + 1e-12, 1}, {0.5, -1e-12}, {0.5, 1.5}, {7, 7}, {0, 2}};
    PointList2 list;
    ASSERT_EQ(PointList2_Create(&list, 7, 1, 0, 0, 0, 0), 0);
    for (int32_t i = 0; i < 7; ++i) {
        list.Location[2 * i] = xy[i][0];
        list.Location[2 * i + 1] = xy[i][1];
        list.Value[i] = i;
    }
    list.Count = 7;
    EXPECT_EQ(Selvane_CropPointList2(&list, min, nullptr, nullptr), ApiStatus_InvalidArgument);
    ASSERT_EQ(Selvane_CropPointList2(&list, min, max, nullptr), 0);
    // Slot 2 took the last kept point (6), slot 3 the one before it (4).
    const std::vector<double> values(list.Value, list.Value + list.Count);
    EXPECT_EQ(values, (std::vector<double>{0, 1, 6, 4}));
    EXPECT_EQ(list.Location[2 * 2 + 1], 2);
    PointList2_Free(&list);
}

TEST(CropOperations, RefusalsAndMemory) {
    const double min[] = {0, 0, 0}, max[] = {1, 1, 1};
    PointList3 list;
    Fill(&list, {{2, 0, 0}, {0.5, 0.5, 0.5}});
    EXPECT_EQ(Selvane_CropPointList3(&list, nullptr, max, nullptr), ApiStatus_InvalidArgument);
    EXPECT_EQ(Selvane_CropPointList3(nullptr, min, max, nullptr), ApiStatus_BadPointList);
    // Every allocation in turn fails until the crop gets through: each
    // failure is reported as such and leaves the list as it was.
    int status = ApiStatus_NoMemory;
    int32_t failures = 0;
    for (int32_t allowed = 0; status != ApiStatus_Success; ++allowed) {
        Mem_FailAllocationsAfterForTesting(allowed);
        status = Selvane_CropPointList3(&list, min, max, nullptr);
        Mem_FailAllocationsAfterForTesting(-1);
        if (status == ApiStatus_Success) break;
        ++failures;
        ASSERT_EQ(status, ApiStatus_NoMemory);
        ASSERT_EQ(list.Count, 2);
        ASSERT_EQ(list.Location[0], 2);
    }
    EXPECT_GE(failures, 2);  // the flags and the compaction's order
    EXPECT_EQ(list.Count, 1);
    EXPECT_EQ(list.Value[0], 1);
    PointList3_Free(&list);
}

TEST(CropOperations, MeshCropKeepsFacesInsideWithIndicesInRange) {
    const int32_t n = 12;
    Mesh3 mesh;
    ASSERT_EQ(Mesh3_Create(&mesh, n * n, 2 * (n - 1) * (n - 1), (n - 1) * (n - 1)), 0);
    for (int32_t i = 0; i < n * n; ++i) {
        mesh.Points.Location[3 * i] = i % n;
        mesh.Points.Location[3 * i + 1] = i / n;
        mesh.Points.Location[3 * i + 2] = 0;
    }
    mesh.Points.Count = n * n;
    const double min[] = {2, 3, -1}, max[] = {7, 9, 1};
    int32_t t = 0, q = 0, expectedTris = 0, expectedQuads = 0;
    for (int32_t y = 0; y + 1 < n; ++y) {
        for (int32_t x = 0; x + 1 < n; ++x) {
            const int32_t a = y * n + x, b = a + 1, c = a + n + 1, d = a + n;
            const bool in = x >= 2 && x + 1 <= 7 && y >= 3 && y + 1 <= 9;
            if ((x + y) % 2) {
                const int32_t tri[] = {a, b, c, a, c, d};
                std::copy(tri, tri + 6, mesh.Faces.Tri + 3 * t);
                t += 2;
                expectedTris += in ? 2 : 0;
            } else {
                const int32_t quad[] = {a, b, c, d};
                std::copy(quad, quad + 4, mesh.Faces.Quad + 4 * q++);
                expectedQuads += in ? 1 : 0;
            }
        }
    }
    mesh.Faces.TriCount = t;
    mesh.Faces.QuadCount = q;
    ASSERT_EQ(Selvane_CropMesh3(&mesh, min, max, nullptr), 0);
    EXPECT_EQ(mesh.Points.Count, 6 * 7);
    EXPECT_EQ(mesh.Faces.TriCount, expectedTris);
    EXPECT_EQ(mesh.Faces.QuadCount, expectedQuads);
    for (int32_t i = 0; i < 3 * mesh.Faces.TriCount; ++i) ASSERT_LT(mesh.Faces.Tri[i], mesh.Points.Count);
    for (int32_t i = 0; i < 4 * mesh.Faces.QuadCount; ++i) ASSERT_LT(mesh.Faces.Quad[i], mesh.Points.Count);
    // Every face still spans one unit square.
    for (int32_t f = 0; f < mesh.Faces.QuadCount; ++f) {
        const int32_t* c = mesh.Faces.Quad + 4 * f;
        EXPECT_EQ(mesh.Points.Location[3 * c[1]] - mesh.Points.Location[3 * c[0]], 1);
        EXPECT_EQ(mesh.Points.Location[3 * c[3] + 1] - mesh.Points.Location[3 * c[0] + 1], 1);
    }
    EXPECT_EQ(Selvane_CropMesh3(&mesh, min, nullptr, nullptr), ApiStatus_InvalidArgument);
    Mesh3_Free(&mesh);
}

TEST(CropOperations, RemoveNonMeshPointsKeepsEveryFace) {
    Mesh3 mesh;
    ASSERT_EQ(Mesh3_Create(&mesh, 7, 1, 1), 0);
    for (int32_t i = 0; i < 21; ++i) mesh.Points.Location[i] = i;
    mesh.Points.Count = 7;
    const int32_t tri[] = {6, 1, 3}, quad[] = {3, 4, 6, 5};
    std::copy(tri, tri + 3, mesh.Faces.Tri);
    std::copy(quad, quad + 4, mesh.Faces.Quad);
    mesh.Faces.TriCount = mesh.Faces.QuadCount = 1;
    ASSERT_EQ(Selvane_RemoveNonMeshPoints3(&mesh, nullptr), 0);
    ASSERT_EQ(mesh.Points.Count, 5);
    ASSERT_EQ(mesh.Faces.TriCount, 1);
    ASSERT_EQ(mesh.Faces.QuadCount, 1);
    // Each corner still names the point it named before (x = 3 x index).
    for (int k = 0; k < 3; ++k) EXPECT_EQ(mesh.Points.Location[3 * mesh.Faces.Tri[k]], 3.0 * tri[k]);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(mesh.Points.Location[3 * mesh.Faces.Quad[k]], 3.0 * quad[k]);
    ASSERT_EQ(Selvane_RemoveNonMeshPoints3(&mesh, nullptr), 0);  // nothing left to remove
    EXPECT_EQ(mesh.Points.Count, 5);
    Mesh3_Free(&mesh);
}

}  // namespace
