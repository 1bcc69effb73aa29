#include "surface/fit/mesh_topology.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "surface/fit/flag_compaction.h"
#include "surface/frame/face_list.h"
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

using Ints = std::vector<int32_t>;

int32_t VertexCount(const Ints& tris) { return tris.empty() ? 0 : *std::max_element(tris.begin(), tris.end()) + 1; }

std::vector<int32_t> LoopLengths(const MeshTopology& t) {
    std::vector<int32_t> lengths;
    for (int32_t i = 0; i < t.LoopCount; ++i) lengths.push_back(MeshTopology_LoopLength(t.Loops[i]));
    std::sort(lengths.begin(), lengths.end());
    return lengths;
}

int32_t PairedCount(const MeshTopology& t) {
    int32_t paired = 0;
    for (int32_t i = 0; i < 3 * t.TriangleCount; ++i) {
        if (t.Nodes[i].Twin) {
            EXPECT_EQ(t.Nodes[i].Twin->Twin, &t.Nodes[i]);
            EXPECT_EQ(t.Nodes[i].Twin->From, t.Nodes[i].To);
            ++paired;
        }
    }
    return paired;
}

TEST(MeshTopology, SmallMeshesAsATable) {
    const struct {
        const char* name;
        Ints tris;
        int stopStatus;    // Build with the stop flag
        int32_t paired;    // nodes with a twin after a full build
        int32_t open;      // open edges
        Ints loopLengths;  // sorted
    } cases[] = {
        {"tetrahedron", {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3}, CoreStatus_Success, 12, 0, {}},
        {"one triangle", {0, 1, 2}, CoreStatus_Success, 0, 3, {3}},
        // The same directed edge twice: both stay unpaired (the insert's 27
        // is not a face status).
        {"same direction", {0, 1, 2, 0, 1, 3}, CoreStatus_Success, 0, 6, {3, 3}},
        // A closed two-triangle pillow: the second face meets the first
        // across two edges.
        {"pillow", {0, 1, 2, 1, 0, 2}, CoreStatus_NotManifold, 6, 0, {}},
        {"three on one edge", {0, 1, 2, 1, 0, 3, 0, 1, 4}, CoreStatus_Success, 2, 7, {3, 4}},
        // Two pillows glued along (0, 1): one loop of the two unpaired
        // copies, more loops than a third of the open edges.
        {"two pillows", {0, 1, 2, 1, 0, 2, 0, 1, 3, 1, 0, 3}, CoreStatus_NotManifold, 10, 2, {2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t n = static_cast<int32_t>(c.tris.size() / 3);
        MeshTopology t;
        EXPECT_EQ(MeshTopology_Build(VertexCount(c.tris), nullptr, n, c.tris.data(), 0, nullptr, &t, 1), c.stopStatus);
        MeshTopology_Free(&t);
        ASSERT_EQ(MeshTopology_Build(VertexCount(c.tris), nullptr, n, c.tris.data(), 0, nullptr, &t, 0), 0);
        EXPECT_EQ(PairedCount(t), c.paired);
        EXPECT_EQ(MeshTopology_OpenCount(&t), c.open);
        ASSERT_EQ(MeshTopology_BoundaryLoops(&t), 0);
        EXPECT_EQ(LoopLengths(t), c.loopLengths);
        EXPECT_EQ(t.OpenHead, nullptr);
        MeshTopology_Free(&t);
    }
}

TEST(MeshTopology, InsertReportsConflictsAndKeepsListsSorted) {
    EdgeNode nodes[4] = {};
    EdgeNode* lists[4] = {};
    const int32_t keys[][2] = {{0, 3}, {0, 1}, {0, 3}, {0, 0}};
    const int expected[] = {CoreStatus_Success, CoreStatus_Success, CoreStatus_InconsistentFaces,
                            CoreStatus_InconsistentFaces};
    for (int i = 0; i < 4; ++i) {
        nodes[i].From = keys[i][0];
        nodes[i].To = keys[i][1];
        EXPECT_EQ(EdgeTable_Insert(&nodes[i], lists), expected[i]) << i;
    }
    Ints order;
    for (EdgeNode* n = EdgeTable_Rewind(lists, 0); n; n = n->NextInVertex) order.push_back(n->To);
    EXPECT_EQ(order, (Ints{0, 1, 3, 3}));
    EXPECT_EQ(nodes[2].NextInVertex, &nodes[0]);  // the new copy goes in front
    EXPECT_EQ(EdgeTable_Find(0, 2, lists), nullptr);
}

TEST(MeshTopology, RemovingAFacePutsTheNeighboursEdgesAtTheHead) {
    const Ints tetra = {0, 2, 1, 0, 1, 3, 1, 2, 3, 2, 0, 3};
    MeshTopology t;
    ASSERT_EQ(MeshTopology_Build(4, nullptr, 4, tetra.data(), 0, nullptr, &t, 1), 0);
    EdgeTable_RemoveFace(0, &t);
    std::set<std::pair<int32_t, int32_t>> open;
    for (EdgeNode* n = t.OpenHead; n; n = n->NextOpen) {
        EXPECT_NE(n->Face, 0);
        open.insert({n->From, n->To});
    }
    EXPECT_EQ(open, (std::set<std::pair<int32_t, int32_t>>{{0, 1}, {1, 2}, {2, 0}}));
    ASSERT_EQ(MeshTopology_BoundaryLoops(&t), 0);
    EXPECT_EQ(LoopLengths(t), (Ints{3}));
    MeshTopology_Free(&t);
}

// A closed torus of n x m quads, each split into two triangles.
Ints Torus(int32_t n, int32_t m) {
    Ints tris;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < m; ++j) {
            const int32_t a = i * m + j, b = ((i + 1) % n) * m + j, c = ((i + 1) % n) * m + (j + 1) % m,
                          d = i * m + (j + 1) % m;
            tris.insert(tris.end(), {a, b, c, a, c, d});
        }
    }
    return tris;
}

std::multiset<std::pair<int32_t, int32_t>> RecountOpen(const Ints& tris, const std::vector<bool>& removed) {
    std::multiset<std::pair<int32_t, int32_t>> edges, open;
    for (size_t f = 0; f < removed.size(); ++f) {
        if (removed[f]) continue;
        for (int k = 0; k < 3; ++k) edges.insert({tris[3 * f + k], tris[3 * f + (k + 1) % 3]});
    }
    for (const auto& e : edges) {
        if (!edges.count({e.second, e.first})) open.insert(e);
    }
    return open;
}

TEST(MeshTopology, OpenListAfterRandomRemovalsEqualsARecount) {
    const Ints tris = Torus(12, 9);
    const int32_t faces = static_cast<int32_t>(tris.size() / 3);
    std::mt19937 random(7);
    MeshTopology t;
    ASSERT_EQ(MeshTopology_Build(12 * 9, nullptr, faces, tris.data(), 0, nullptr, &t, 1), 0);
    EXPECT_EQ(MeshTopology_OpenCount(&t), 0);
    std::vector<bool> removed(faces, false);
    for (int round = 0; round < 60; ++round) {
        const int32_t f = static_cast<int32_t>(random() % faces);
        if (removed[f]) continue;
        EdgeTable_RemoveFace(f, &t);
        removed[f] = true;
        std::multiset<std::pair<int32_t, int32_t>> open;
        for (EdgeNode* n = t.OpenHead; n; n = n->NextOpen) open.insert({n->From, n->To});
        ASSERT_EQ(open, RecountOpen(tris, removed)) << "round " << round;
    }
    MeshTopology_RebuildOpenList(&t);
    std::multiset<std::pair<int32_t, int32_t>> rebuilt;
    for (EdgeNode* n = t.OpenHead; n; n = n->NextOpen) rebuilt.insert({n->From, n->To});
    EXPECT_EQ(rebuilt, RecountOpen(tris, removed));
    MeshTopology_Free(&t);
}

TEST(MeshTopology, HolesInATorusMakeOneLoopEach) {
    const Ints tris = Torus(10, 10);
    const struct {
        Ints removed;
        Ints lengths;
    } cases[] = {
        {{0}, {3}},
        {{0, 1}, {4}},        // one quad
        {{0, 50}, {3, 3}},    // two apart
        {{0, 1, 2, 3}, {6}},  // two quads in a row
    };
    for (const auto& c : cases) {
        MeshTopology t;
        ASSERT_EQ(MeshTopology_Build(100, nullptr, 200, tris.data(), 0, nullptr, &t, 1), 0);
        for (int32_t f : c.removed) EdgeTable_RemoveFace(f, &t);
        int32_t total = 0;
        for (int32_t l : c.lengths) total += l;
        EXPECT_EQ(MeshTopology_OpenCount(&t), total);
        ASSERT_EQ(MeshTopology_BoundaryLoops(&t), 0);
        EXPECT_EQ(LoopLengths(t), c.lengths);
        MeshTopology_Free(&t);
    }
}

TEST(MeshTopology, QuadsAndTriplesAndAllocationFailure) {
    const Ints quads = {0, 1, 2, 3};
    const Ints tris = {0, 1, 4, 0, 1, 5, 0, 1, 6};
    MeshTopology t;
    ASSERT_EQ(MeshTopology_Build(7, nullptr, 3, tris.data(), 1, quads.data(), &t, 0), 0);
    EXPECT_EQ(t.Nodes[9].Face, 3);
    int32_t ends[4] = {};
    EXPECT_EQ(Edges_FindTriples(&t, ends, 2), 1);
    EXPECT_EQ(ends[0], 0);
    EXPECT_EQ(ends[1], 1);
    MeshTopology_Free(&t);

    EXPECT_EQ(MeshTopology_Build(3, nullptr, 0, nullptr, 0, nullptr, nullptr, 0), CoreStatus_InvalidInput);
    EXPECT_EQ(MeshTopology_BuildFromCore(nullptr, &t, 0), CoreStatus_NullArgument);
    Mem_FailAllocationsAfterForTesting(1);
    EXPECT_EQ(MeshTopology_Build(7, nullptr, 3, tris.data(), 1, quads.data(), &t, 0), CoreStatus_NoMemory);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(t.Nodes, nullptr);
    EXPECT_EQ(t.Lists, nullptr);
}

TEST(FlagCompaction, SwapsWithTheLastKeptEntry) {
    const struct {
        Ints flags;
        Ints kept;  // former indices in their new places
    } cases[] = {
        {{1, 0, 1, 0}, {3, 1}}, {{0, 0, 0}, {0, 1, 2}},          {{1, 1, 1}, {}},
        {{0, 1, 1}, {0}},       {{1, 0, 0, 1, 0, 1}, {4, 1, 2}}, {{}, {}},
    };
    for (const auto& c : cases) {
        const int32_t n = static_cast<int32_t>(c.flags.size());
        Ints order(n + 1), flags = c.flags;
        int32_t kept = -1;
        Flags_CompactionOrder(c.flags.data(), order.data(), n, &kept);
        EXPECT_EQ(Ints(order.begin(), order.begin() + kept), c.kept);

        Ints quads(4 * n);
        for (int32_t i = 0; i < 4 * n; ++i) quads[i] = i / 4;
        int32_t count = n;
        Index_CompactFlagged(flags.data(), quads.data(), &count);
        ASSERT_EQ(count, kept);
        for (int32_t i = 0; i < count; ++i) EXPECT_EQ(quads[4 * i + 3], c.kept[i]);

        PointList3 list;
        ASSERT_EQ(PointList3_Create(&list, n + 1, 1, 0, 0, 0, 1), 0);
        list.Count = n;
        for (int32_t i = 0; i < n; ++i) {
            list.Value[i] = i;
            for (int k = 0; k < 3; ++k) list.Location[3 * i + k] = list.Gradient[3 * i + k] = 10 * i + k;
        }
        ASSERT_EQ(PointList3_RemoveFlagged(c.flags.data(), &list, nullptr), 0);
        ASSERT_EQ(list.Count, kept);
        for (int32_t i = 0; i < kept; ++i) {
            EXPECT_EQ(list.Value[i], c.kept[i]);
            EXPECT_EQ(list.Location[3 * i + 2], 10 * c.kept[i] + 2);
            EXPECT_EQ(list.Gradient[3 * i + 1], 10 * c.kept[i] + 1);
        }
        PointList3_Free(&list);
    }
}

TEST(FlagCompaction, TrianglesOfAFaceListAndRanges) {
    FaceList faces;
    ASSERT_EQ(FaceList_Create(&faces, 3, 0), 0);
    const int32_t tri[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    std::copy(tri, tri + 9, faces.Tri);
    faces.TriCount = 3;
    Ints flags = {0, 1, 0};
    Index_CompactFlaggedCounted(flags.data(), &faces);
    EXPECT_EQ(faces.TriCount, 2);
    EXPECT_EQ(Ints(faces.Tri, faces.Tri + 6), (Ints{0, 1, 2, 6, 7, 8}));
    EXPECT_EQ(Faces_IndicesInRange(9, 2, faces.Tri, 0, nullptr), 1);
    EXPECT_EQ(Faces_IndicesInRange(8, 2, faces.Tri, 0, nullptr), 0);
    const int32_t quad[] = {0, 1, -1, 2};
    EXPECT_EQ(Faces_IndicesInRange(9, 2, faces.Tri, 1, quad), 0);
    FaceList_Free(&faces);
}

TEST(FlagCompaction, PointRemovalWithoutMemoryLeavesTheList) {
    PointList3 list;
    ASSERT_EQ(PointList3_Create(&list, 2, 0, 0, 0, 0, 0), 0);
    list.Count = 2;
    const int32_t flags[] = {1, 0};
    Mem_FailAllocationsAfterForTesting(0);
    EXPECT_EQ(PointList3_RemoveFlagged(flags, &list, nullptr), CoreStatus_NoMemory);
    Mem_FailAllocationsAfterForTesting(-1);
    EXPECT_EQ(list.Count, 2);
    PointList3_Free(&list);
}

}  // namespace
