#include "surface/fit/mesh_parts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "surface/fit/mesh_check.h"
#include "surface/frame/mesh3.h"
#include "surface/frame/record_memory.h"
#include "surface/frame/status_codes.h"

namespace {

using Ints = std::vector<int32_t>;

TEST(MeshParts, TableByLabelMode) {
    const Ints tri = {1, 2, -1, 1, -3, 2}, quad = {2, 4, -1};
    const struct {
        int32_t mode;
        Ints table;
    } cases[] = {
        // Triangles and quads merge apart: the quad conflict -1 finds no quad part 1.
        {kPartsMergeConflicts, {-3, 1, 1, 0, 1, 3, 3, 0, 2, 3, 2, 1, -1, 1, 0, 1, 4, 1, 0, 1}},
        {kPartsDropConflicts, {1, 2, 2, 0, 2, 3, 2, 1, 4, 1, 0, 1}},
        {kPartsKeepConflicts, {-3, 1, 1, 0, -1, 2, 1, 1, 1, 2, 2, 0, 2, 3, 2, 1, 4, 1, 0, 1}},
    };
    for (const auto& c : cases) {
        int32_t count = -1;
        int32_t* table = nullptr;
        ASSERT_EQ(MeshParts_BuildTable(6, 3, tri.data(), quad.data(), c.mode, &count, &table), 0);
        EXPECT_EQ(Ints(table, table + 4 * count), c.table) << c.mode;
        Record_Free(table);
    }
}

TEST(MeshParts, CheckFillsTheInfo) {
    Mesh3 mesh;
    ASSERT_EQ(Mesh3_Create(&mesh, 9, 5, 0), 0);
    mesh.Points.Count = 9;
    // A closed tetrahedron, a separate triangle and an unused vertex (8); the
    // last face runs along (0, 2) like the first.
    const Ints tris = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3, 5, 6, 7};
    std::copy(tris.begin(), tris.end(), mesh.Faces.Tri);
    mesh.Faces.TriCount = 5;
    MeshCheckInfo info;
    ASSERT_EQ(Selvane_CheckMesh3(&mesh, 1, &info, nullptr), 0);
    EXPECT_EQ(info.Flags, kMeshConsistent | kMeshManifold);
    EXPECT_EQ(info.PartCount, 2);
    EXPECT_EQ(info.UnusedCount, 2);  // 4 and 8
    EXPECT_EQ(Ints(info.Parts, info.Parts + 8), (Ints{1, 4, 4, 0, 2, 1, 1, 0}));
    EXPECT_EQ(Ints(info.PartFlags, info.PartFlags + 2),
              (Ints{kMeshConsistent | kMeshManifold | kMeshClosed, kMeshConsistent | kMeshManifold}));
    MeshCheckInfo_Free(&info);
    EXPECT_EQ(info.Parts, nullptr);
    EXPECT_EQ(Selvane_CheckMesh3(&mesh, 0, nullptr, nullptr), ApiStatus_InvalidArgument);
    EXPECT_EQ(Selvane_CheckMesh3(nullptr, 0, &info, nullptr), ApiStatus_BadMesh);
    Mesh3_Free(&mesh);
}

}  // namespace

namespace {

TEST(MeshParts, SplitIntoMeshesWithVertexMaps) {
    Mesh3 mesh;
    ASSERT_EQ(Mesh3_Create(&mesh, 8, 5, 1), 0);
    for (int32_t i = 0; i < 24; ++i) mesh.Points.Location[i] = i;
    mesh.Points.Count = 8;
    const Ints tris = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3, 2, 0, 1};
    std::copy(tris.begin(), tris.end(), mesh.Faces.Tri);
    mesh.Faces.TriCount = 5;
    const Ints quad = {7, 6, 5, 4};
    std::copy(quad.begin(), quad.end(), mesh.Faces.Quad);
    mesh.Faces.QuadCount = 1;
    const Ints triLabels = {1, 1, 1, 1, -1}, quadLabels = {2};
    const struct {
        int32_t mode;
        Ints faces;  // per part
    } cases[] = {{kPartsMergeConflicts, {5, 1}}, {kPartsDropConflicts, {4, 1}}, {kPartsKeepConflicts, {1, 4, 1}}};
    for (const auto& c : cases) {
        int32_t count = 0;
        Mesh3* parts = nullptr;
        int32_t** maps = nullptr;
        ASSERT_EQ(SplitMeshParts(&mesh, triLabels.data(), quadLabels.data(), c.mode, &count, &parts, &maps, nullptr),
                  0);
        ASSERT_EQ(count, static_cast<int32_t>(c.faces.size()));
        for (int32_t p = 0; p < count; ++p) {
            const Mesh3& m = parts[p];
            EXPECT_EQ(m.Faces.TriCount + m.Faces.QuadCount, c.faces[p]);
            for (int32_t i = 0; i < 3 * m.Faces.TriCount; ++i) {
                ASSERT_LT(m.Faces.Tri[i], m.Points.Count);
                // The corner is the same point as before the split.
                EXPECT_EQ(m.Points.Location[3 * m.Faces.Tri[i]], 3.0 * maps[p][m.Faces.Tri[i]]);
            }
            for (int32_t i = 0; i < m.Points.Count; ++i) EXPECT_EQ(m.Points.Location[3 * i + 1], 3.0 * maps[p][i] + 1);
        }
        const Mesh3& last = parts[count - 1];
        EXPECT_EQ(Ints(last.Faces.Quad, last.Faces.Quad + 4), (Ints{0, 1, 2, 3}));  // first met order
        EXPECT_EQ(Ints(maps[count - 1], maps[count - 1] + 4), (Ints{7, 6, 5, 4}));
        for (int32_t p = 0; p < count; ++p) {
            Mesh3_Free(&parts[p]);
            Record_Free(maps[p]);
        }
        Record_Free(parts);
        Record_Free(maps);
    }
    int32_t count = 0;
    EXPECT_EQ(SplitMeshParts(&mesh, triLabels.data(), quadLabels.data(), 2, &count, nullptr, nullptr, nullptr),
              ApiStatus_BadMesh);
    // The labels are the caller's: faces without them are refused.
    Mesh3* parts = nullptr;
    EXPECT_EQ(SplitMeshParts(&mesh, nullptr, quadLabels.data(), 2, &count, &parts, nullptr, nullptr),
              ApiStatus_InvalidArgument);
    EXPECT_EQ(SplitMeshParts(&mesh, triLabels.data(), nullptr, 2, &count, &parts, nullptr, nullptr),
              ApiStatus_InvalidArgument);
    EXPECT_EQ(nullptr, parts);
    mesh.Faces.QuadCount = 0;  // no quads, no quad labels needed
    ASSERT_EQ(SplitMeshParts(&mesh, triLabels.data(), nullptr, 2, &count, &parts, nullptr, nullptr), 0);
    EXPECT_EQ(1, count);
    Mesh3_Free(&parts[0]);
    Record_Free(parts);
    Mesh3_Free(&mesh);
}

}  // namespace
