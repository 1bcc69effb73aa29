#include "surface/frame/mesh3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "surface/frame/record_memory.h"
#include "surface/frame/tests/capturing_reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/tracked_records.h"

namespace {

using Tri = std::array<int32_t, 3>;
using Quad = std::array<int32_t, 4>;

FaceList Faces(const std::vector<Tri>& tris, const std::vector<Quad>& quads) {
    FaceList f;
    EXPECT_EQ(0, FaceList_Create(&f, static_cast<int32_t>(tris.size()), static_cast<int32_t>(quads.size())));
    for (const Tri& t : tris) std::copy(t.begin(), t.end(), f.Tri + 3 * f.TriCount++);
    for (const Quad& q : quads) std::copy(q.begin(), q.end(), f.Quad + 4 * f.QuadCount++);
    return f;
}

std::vector<Tri> Triangles(const FaceList& f) {
    std::vector<Tri> out;
    for (int i = 0; i < f.TriCount; ++i) out.push_back({f.Tri[3 * i], f.Tri[3 * i + 1], f.Tri[3 * i + 2]});
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<Quad> Quads(const FaceList& f) {
    std::vector<Quad> out;
    for (int i = 0; i < f.QuadCount; ++i)
        out.push_back({f.Quad[4 * i], f.Quad[4 * i + 1], f.Quad[4 * i + 2], f.Quad[4 * i + 3]});
    std::sort(out.begin(), out.end());
    return out;
}

TEST(FaceList, CreateResizeAndCheck) {
    FaceList f;
    EXPECT_EQ(13, FaceList_Create(nullptr, 1, 1));
    EXPECT_EQ(8, FaceList_Create(&f, -1, 0));
    ASSERT_EQ(0, FaceList_Create(&f, 0, 4));
    EXPECT_EQ(nullptr, f.Tri);
    EXPECT_NE(nullptr, f.Quad);
    f.QuadCount = 4;
    ASSERT_EQ(0, FaceList_Resize(&f, 6, 2));  // quads cut to 2
    EXPECT_EQ(2, f.QuadCount);
    EXPECT_EQ(6, f.TriCapacity);
    ASSERT_EQ(0, FaceList_Resize(&f, 0, 0));  // zero leaves both
    EXPECT_EQ(6, f.TriCapacity);
    EXPECT_EQ(8, FaceList_Resize(&f, -2, 0));
    EXPECT_EQ(13, FaceList_Resize(nullptr, 1, 1));

    struct Case {
        int32_t tris, quads, minimum;
        int expected;
        const char* message;
    };
    const Case cases[] = {
        {0, 2, 1, 1, nullptr},
        {0, 0, 1, 0, "FaceList Tri and Quad must not both be empty"},
        {1, 1, 3, 0, "FaceList Tri and Quad count (2) must be at least 3"},
        {7, 0, 0, 0, "FaceList structure is invalid"},  // above the capacity
        {-1, 0, 0, 0, "FaceList structure is invalid"},
    };
    for (const Case& c : cases) {
        f.TriCount = c.tris;
        f.QuadCount = c.quads;
        CapturingReporter rep(6);
        EXPECT_EQ(c.expected, FaceList_Check(&f, c.minimum, &rep.reporter));
        if (c.message) {
            ASSERT_EQ(1u, rep.lines.size());
            EXPECT_EQ(c.message, rep.lines[0].text);
        } else {
            EXPECT_TRUE(rep.lines.empty());
        }
    }
    FaceList_Free(&f);
    EXPECT_EQ(nullptr, f.Quad);
}

TEST(FaceList, DegenerateFacesGoAndQuadsWithOneRepeatedCornerBecomeTriangles) {
    FaceList f = Faces({{1, 2, 3}, {4, 4, 5}, {6, 7, 6}, {8, 9, 10}},
                       {{0, 1, 2, 3},
                        {5, 5, 7, 9},  // neighbours equal: (5, 7, 9)
                        {5, 7, 7, 9},  // (5, 7, 9)
                        {2, 4, 6, 2},  // last and first: the first goes, (4, 6, 2)
                        {5, 7, 5, 9},  // opposite corners: the first goes, (7, 5, 9)
                        {3, 3, 8, 8},  // two pairs
                        {4, 4, 4, 6}});
    std::vector<int32_t> scratch(f.TriCount + f.QuadCount);
    ASSERT_EQ(0, FaceList_RemoveDegenerate(&f, scratch.data()));
    EXPECT_EQ((std::vector<Tri>{{1, 2, 3}, {4, 6, 2}, {5, 7, 9}, {5, 7, 9}, {7, 5, 9}, {8, 9, 10}}), Triangles(f));
    EXPECT_EQ((std::vector<Quad>{{0, 1, 2, 3}}), Quads(f));
    FaceList_Free(&f);

    // When the triangle array cannot grow, nothing changes.
    f = Faces({{1, 1, 2}}, {{5, 5, 7, 9}});
    Record_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(2, FaceList_RemoveDegenerate(&f, scratch.data()));
    Record_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(1, f.TriCount);
    EXPECT_EQ(1, f.QuadCount);
    ASSERT_EQ(0, FaceList_RemoveDegenerate(&f, scratch.data()));
    EXPECT_EQ((std::vector<Tri>{{5, 7, 9}}), Triangles(f));
    EXPECT_EQ(2, f.TriCapacity);  // 1 + 1 x 1.4
    FaceList_Free(&f);
}

Mesh3 Square() {
    Mesh3 mesh;
    EXPECT_EQ(0, Mesh3_Create(&mesh, 4, 2, 1));
    mesh.Points.Count = 4;
    const double corners[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    std::copy(corners, corners + 12, mesh.Points.Location);
    const int32_t tris[6] = {0, 1, 2, 0, 2, 3};
    std::copy(tris, tris + 6, mesh.Faces.Tri);
    mesh.Faces.TriCount = 2;
    const int32_t quad[4] = {0, 1, 2, 3};
    std::copy(quad, quad + 4, mesh.Faces.Quad);
    mesh.Faces.QuadCount = 1;
    return mesh;
}

TEST(Mesh3, ChecksNameTheFirstFault) {
    Mesh3 mesh = Square();
    CapturingReporter rep(6);
    EXPECT_EQ(1, Mesh3_Check(&mesh, &rep.reporter));
    EXPECT_EQ(0, Mesh3_CheckAlt(&mesh, -1, &rep.reporter));
    EXPECT_EQ(15, Mesh3_CheckAlt(&mesh, 0, &rep.reporter));
    rep.lines.clear();
    mesh.Faces.Tri[5] = 4;  // no such point
    EXPECT_EQ(0, Mesh3_Check(&mesh, &rep.reporter));
    EXPECT_EQ(14, Mesh3_CheckAlt(&mesh, -1, &rep.reporter));
    EXPECT_EQ("Mesh face refers to a point that does not exist", rep.lines.at(0).text);
    rep.lines.clear();
    mesh.Faces.TriCount = mesh.Faces.QuadCount = 0;
    EXPECT_EQ(14, Mesh3_CheckAlt(&mesh, -1, &rep.reporter));
    EXPECT_EQ((std::vector<CapturedLine>{{1, "FaceList Tri and Quad must not both be empty"}}), rep.lines);
    rep.lines.clear();
    mesh.Points.Count = 0;
    EXPECT_EQ(0, Mesh3_Check(&mesh, &rep.reporter));
    EXPECT_EQ((std::vector<CapturedLine>{{1, "Mesh point list is empty"}}), rep.lines);
    rep.lines.clear();
    EXPECT_EQ(0, Mesh3_Check(nullptr, &rep.reporter));
    EXPECT_EQ(14, Mesh3_CheckAlt(nullptr, -1, &rep.reporter));
    EXPECT_EQ((std::vector<CapturedLine>{{1, "Mesh is NULL"}, {1, "Mesh is NULL"}}), rep.lines);
    Mesh3_Free(&mesh);
}

TEST(Mesh3, CopiesWithOrWithoutAlternateSets) {
    Mesh3 mesh = Square();
    int32_t set = -1;
    ASSERT_EQ(0, PointList3_AddAltSet(&mesh.Points, "Shade", &set, 1, 0, 0, 0, 0));
    for (bool withSets : {false, true}) {
        Mesh3 copy;
        ASSERT_EQ(0, Mesh3_Copy(&copy, &mesh, withSets));
        EXPECT_EQ(withSets ? 1 : 0, copy.Points.AltCount);
        EXPECT_EQ(1, Mesh3_Check(&copy, nullptr));
        EXPECT_EQ(Triangles(mesh.Faces), Triangles(copy.Faces));
        EXPECT_EQ(Quads(mesh.Faces), Quads(copy.Faces));
        EXPECT_EQ(1.0, copy.Points.Location[7]);
        Mesh3_Free(&copy);
    }
    Mesh3 copy;
    EXPECT_EQ(14, Mesh3_Copy(nullptr, &mesh, 0));
    int status = 2;
    for (int allowed = 0; status != 0 && allowed < 1000; ++allowed) {
        Record_FailAllocationsAfterForTesting(allowed);
        status = Mesh3_Copy(&copy, &mesh, 1);
        Record_FailAllocationsAfterForTesting(-1);
        if (status == 0) break;
        EXPECT_EQ(2, status);
        EXPECT_EQ(nullptr, copy.Faces.Tri);
        EXPECT_EQ(nullptr, copy.Points.Location);
    }
    ASSERT_EQ(0, status);
    EXPECT_EQ(Quads(mesh.Faces), Quads(copy.Faces));
    Mesh3_Free(&copy);
    Mesh3_Free(&mesh);
}

TEST(Mesh3, TakesOverACoreMeshThatTheTrackedAllocatorThenForgets) {
    ASSERT_EQ(0, Mem_TrackBegin());
    CoreMesh core;
    ASSERT_EQ(0, InitBlockVector(3, 1, 0, &core));
    core.normals = static_cast<double*>(Mem_Alloc(9 * sizeof(double)));
    core.pointCount = 3;
    core.triangleCount = 1;
    for (int i = 0; i < 9; ++i) core.points[i] = core.normals[i] = i;
    core.triangles[0] = 0, core.triangles[1] = 1, core.triangles[2] = 2;
    double* points = core.points;
    Mesh3 mesh;
    Mesh3_FromCoreMesh(&mesh, &core);
    EXPECT_EQ(points, mesh.Points.Location);
    EXPECT_EQ(3, mesh.Points.Count);
    EXPECT_EQ(8.0, mesh.Points.Gradient[8]);
    EXPECT_EQ(1, mesh.Faces.TriCount);
    EXPECT_EQ(nullptr, mesh.Faces.Quad);
    EXPECT_EQ(nullptr, core.points);
    EXPECT_EQ(nullptr, core.triangles);
    EXPECT_EQ(0, core.pointCount);
    // Ending the operation frees what it still tracks, not the mesh's arrays.
    FreeSpatialRecord(&core);
    Mem_TrackEndFreeAll();
    EXPECT_EQ(1, Mesh3_Check(&mesh, nullptr));
    Mesh3_Free(&mesh);
}

}  // namespace
