// Joining two scans, comparing them and purging one, on small hand-made
// records whose points are the corners of a box.
#include "app/scan/tests/scan_record_fixture.h"
#include "app/ui/scan_merge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// One sweep of two profiles holding the 8 corners of the box [lo, hi] (the
// first profile the corners with the low z, in corner order), two facets.
void FillBox(scan_test::TestScan& scan, Vec3 lo, Vec3 hi) {
    RawData& r = scan.raw();
    const int first = r.NumPoints;
    std::vector<Vec3> corners;
    for (int k = 0; k < 8; ++k) corners.push_back(Vec3{k & 1 ? hi.x : lo.x, k & 2 ? hi.y : lo.y, k & 4 ? hi.z : lo.z});
    for (int half = 0; half < 2; ++half) {
        scan_test::OwnedProfile p;
        p.points.assign(corners.begin() + 4 * half, corners.begin() + 4 * half + 4);
        M4_Identity(p.profile.WandRxMatrix);
        M4_Identity(p.profile.ReferenceRxMatrix);
        scan.Append(p.Get());
    }
    scan.CloseSweep();
    r.Points = static_cast<ScanPoint*>(BigBuffer_Alloc(*r.PointBlock, (first + 8) * sizeof(ScanPoint)));
    r.Facets = static_cast<Facet*>(BigBuffer_Alloc(*r.FacetBlock, (r.NumFacets + 2) * sizeof(Facet)));
    r.FacetNormals = static_cast<Vec3*>(BigBuffer_Alloc(*r.FacetNormalBlock, (r.NumFacets + 2) * sizeof(Vec3)));
    for (int k = 0; k < 8; ++k) {
        ScanPoint& point = r.Points[first + k];
        std::memset(&point, 0, sizeof point);
        point.Vertex = corners[k];
        point.Normal = Vec3{0, 0, 1};
    }
    r.Facets[r.NumFacets] = Facet{{first, first + 1, first + 2}};
    r.Facets[r.NumFacets + 1] = Facet{{first + 4, first + 5, first + 6}};
    r.FacetNormals[r.NumFacets] = r.FacetNormals[r.NumFacets + 1] = Vec3{1, 0, 0};
    r.NumPoints = r.MaxPoints = first + 8;
    r.NumFacets = r.MaxFacets = r.NumFacets + 2;
    r.SweepFirstPoint[r.TotalSweeps] = r.NumPoints;
    r.SweepFirstFacet[r.TotalSweeps] = r.NumFacets;
    r.CurrentSweep = r.TotalSweeps;
    r.NumProfilesProcessed = r.CurrentSweepProfile = r.TotalProfiles;
    r.Timestamp = 1.0;
}

Matrix4 Identity() {
    Matrix4 m;
    M4_Identity(m);
    return m;
}

void ExpectNear(const Vec3& a, const Vec3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-3f);
    EXPECT_NEAR(a.y, b.y, 1e-3f);
    EXPECT_NEAR(a.z, b.z, 1e-3f);
}

// Everything a failed join must leave as it was: the record's own bytes and
// the contents of its arrays.
struct Snapshot {
    std::vector<unsigned char> record, profiles, points, facets, normals, sweeps, starts;
    explicit Snapshot(const RawData& r) {
        Take(record, &r, sizeof r);
        Take(profiles, r.Profiles, sizeof(Profile) * r.TotalProfiles);
        for (int p = 0; p < r.TotalProfiles; ++p)
            Take(points, r.Profiles[p].Points, sizeof(Vec3) * r.Profiles[p].NumPoints);
        Take(points, r.Points, sizeof(ScanPoint) * r.NumPoints);
        Take(facets, r.Facets, sizeof(Facet) * r.NumFacets);
        Take(normals, r.FacetNormals, sizeof(Vec3) * r.NumFacets);
        Take(sweeps, r.Sweeps, sizeof(SweepRecord) * r.TotalSweeps);
        Take(starts, r.SweepStartingProfileNo, sizeof(int32_t) * (r.TotalSweeps + 1));
        Take(starts, r.SweepFirstPoint, sizeof(int32_t) * (r.TotalSweeps + 1));
        Take(starts, r.SweepFirstFacet, sizeof(int32_t) * (r.TotalSweeps + 1));
    }
    static void Take(std::vector<unsigned char>& to, const void* from, size_t bytes) {
        const auto* b = static_cast<const unsigned char*>(from);
        to.insert(to.end(), b, b + bytes);
    }
    bool operator==(const Snapshot& o) const {
        return record == o.record && profiles == o.profiles && points == o.points && facets == o.facets &&
               normals == o.normals && sweeps == o.sweeps && starts == o.starts;
    }
};

TEST(ScanMerge, PlacementTurnsTheLoadedBoxAndSetsIt40mmBeside) {
    scan_test::TestScan current, loaded;
    FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(loaded, Vec3{100, 50, 7}, Vec3{110, 70, 12});
    const Matrix4 placement = ScanMerge_Placement(current.raw(), Identity(), loaded.raw(), Identity());
    // Turned half round about Y (x and z mirrored), centred on the current
    // box's low face and moved 40 mm away from it along its depth.
    struct {
        Vec3 from, to;
    } cases[] = {
        {{100, 50, 7}, {10, 0, -40}},
        {{110, 70, 12}, {0, 20, -45}},
        {{105, 60, 9.5f}, {5, 10, -42.5f}},
    };
    for (const auto& c : cases) {
        Vec3 moved;
        M4_TransformPoint(placement, c.from, moved);
        ExpectNear(moved, c.to);
    }
}

TEST(ScanMerge, TheJoinedScanKeepsItsInvariants) {
    scan_test::TestScan current, loaded;
    FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(loaded, Vec3{100, 50, 7}, Vec3{110, 70, 12});
    FillBox(loaded, Vec3{100, 50, 7}, Vec3{110, 70, 12});
    RawData& cur = current.raw();
    RawData& ld = loaded.raw();
    // Erase levels: current limit 1 with an undone step 2; loaded limit 3.
    cur.EditLimit = 1, cur.EditLevelTop = 2;
    cur.Points[0].Flags = 1u << kPointEraseShift;
    cur.Points[1].Flags = 2u << kPointEraseShift;
    ld.EditLimit = 3, ld.EditLevelTop = 3;
    ld.Points[2].Flags = (3u << kPointEraseShift) | 5u;  // erased and selected
    ld.Points[3].Flags = 4u << kPointEraseShift;
    ld.Sweeps[1].Flags = kSweepHidden;
    const Matrix4 placement = ScanMerge_Placement(cur, Identity(), ld, Identity());
    ASSERT_TRUE(ScanMerge_Append(cur, ld, placement));

    EXPECT_EQ(cur.NumSweeps, 3);
    EXPECT_EQ(cur.TotalSweeps, 3);
    EXPECT_EQ(cur.NumProfiles, 6);
    EXPECT_EQ(cur.NumPoints, 24);
    EXPECT_EQ(cur.NumFacets, 6);
    EXPECT_EQ(cur.Sweeps[2].Flags, kSweepHidden);
    const int32_t starts[] = {0, 2, 4, 6}, firstPoints[] = {0, 8, 16, 24}, firstFacets[] = {0, 2, 4, 6};
    for (int s = 0; s <= 3; ++s) {
        EXPECT_EQ(cur.SweepStartingProfileNo[s], starts[s]) << s;
        EXPECT_EQ(cur.SweepFirstPoint[s], firstPoints[s]) << s;
        EXPECT_EQ(cur.SweepFirstFacet[s], firstFacets[s]) << s;
    }
    EXPECT_TRUE(RawData_PointsMatchProfiles(cur));
    EXPECT_EQ(cur.Facets[2].v[0], 8);
    EXPECT_EQ(cur.Facets[5].v[2], 8 + 8 + 6);
    ExpectNear(cur.Points[8].Vertex, Vec3{10, 0, -40});
    ExpectNear(cur.Points[8].Normal, Vec3{0, 0, -1});
    ExpectNear(cur.FacetNormals[2], Vec3{-1, 0, 0});
    EXPECT_EQ(cur.Points[0].Flags, 1u << kPointEraseShift);
    EXPECT_EQ(cur.Points[1].Flags, 0u);
    EXPECT_EQ(cur.Points[10].Flags, 3u << kPointEraseShift);
    EXPECT_EQ(cur.Points[11].Flags, 0u);
    EXPECT_EQ(cur.EditLimit, 3u);
    EXPECT_EQ(cur.EditLevelTop, 3u);
    // The loaded record no longer owns the moved profiles.
    for (int p = 0; p < ld.TotalProfiles; ++p) EXPECT_EQ(ld.Profiles[p].Points, nullptr);
}

TEST(ScanMerge, UndoneSweepsOfTheCurrentScanAreDropped) {
    scan_test::TestScan current, loaded;
    FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(loaded, Vec3{0, 0, 0}, Vec3{1, 1, 1});
    RawData& cur = current.raw();
    cur.NumSweeps = 1;  // the second sweep was undone
    cur.NumProfiles = 2;
    ASSERT_TRUE(ScanMerge_Append(cur, loaded.raw(), Identity()));
    EXPECT_EQ(cur.TotalSweeps, 2);
    EXPECT_EQ(cur.NumPoints, 16);
    EXPECT_EQ(cur.Facets[2].v[0], 8);
    EXPECT_TRUE(RawData_PointsMatchProfiles(cur));
}

TEST(ScanMerge, RunningOutOfMemoryAtAnyGrowthLeavesTheCurrentScanAsItWas) {
    for (int step = 1; step <= 5; ++step) {
        SCOPED_TRACE(step);
        scan_test::TestScan current, loaded;
        FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
        FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
        current.raw().NumSweeps = 1;  // an undone sweep, which a join would drop
        current.raw().NumProfiles = 2;
        // Enough loaded points and facets that the blocks must grow.
        for (int s = 0; s < 300; ++s) FillBox(loaded, Vec3{0, 0, 0}, Vec3{1, 1, 1});
        const Snapshot before(current.raw());
        ScanMerge_FailGrowthForTest(step);
        EXPECT_FALSE(ScanMerge_Append(current.raw(), loaded.raw(), Identity()));
        ScanMerge_FailGrowthForTest(0);
        EXPECT_TRUE(Snapshot(current.raw()) == before);
    }
}

TEST(ScanMerge, ABlockThatCannotGrowFailsTheJoinCleanly) {
    scan_test::TestScan current, loaded;
    FillBox(current, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    for (int s = 0; s < 300; ++s) FillBox(loaded, Vec3{0, 0, 0}, Vec3{1, 1, 1});
    const Snapshot before(current.raw());
    current.RefuseGrowth(true);
    EXPECT_FALSE(ScanMerge_Append(current.raw(), loaded.raw(), Identity()));
    current.RefuseGrowth(false);
    EXPECT_TRUE(Snapshot(current.raw()) == before);
}

TEST(ScanCompare, ReportsTheFirstDifferencePerArray) {
    scan_test::TestScan a, b;
    FillBox(a, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(b, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    EXPECT_TRUE(ScanCompare_Differences(a.raw(), b.raw()).empty());

    b.raw().Timestamp = 1765400000.5;
    b.raw().Points[3].Vertex.y += 0.5f;
    b.raw().Points[5].Vertex.z += 0.5f;    // a later difference of the same array: not reported
    b.raw().Points[6].Vertex.x += 0.005f;  // within 0.01: no difference
    b.raw().Profiles[1].WandRxMatrix[13] = 2.0f;
    b.raw().Facets[1].v[2] = 0;
    const std::vector<std::string> expected = {
        "RawData.Timestamp differs (1.000000 1765400000.500000) \n",
        "RawData.Profiles[i].WandRxMatrix[j] differs (0.000000 2.000000) \n",
        "i == 1 j == 13\n",
        "RawData.Points[i].Vertex[j] differs (20.000000 20.500000) \n",
        "i == 3 j == 1\n",
        "RawData.Facets[i]\n",
        "i == 1\n",
    };
    EXPECT_EQ(ScanCompare_Differences(a.raw(), b.raw()), expected);
}

TEST(ScanPurge, ErasedPointsAndHiddenSweepsGoForGood) {
    scan_test::TestScan scan;
    FillBox(scan, Vec3{0, 0, 0}, Vec3{10, 20, 5});
    FillBox(scan, Vec3{0, 0, 0}, Vec3{1, 1, 1});
    FillBox(scan, Vec3{50, 0, 0}, Vec3{60, 20, 5});
    RawData& r = scan.raw();
    r.Sweeps[1].Flags = kSweepHidden;
    r.EditLimit = 1, r.EditLevelTop = 2;
    r.Points[0].Flags = 1u << kPointEraseShift;   // erased
    r.Points[17].Flags = 2u << kPointEraseShift;  // an undone erase: kept
    ScanMerge_Purge(r);
    EXPECT_EQ(r.NumSweeps, 2);
    EXPECT_EQ(r.NumPoints, 15);
    EXPECT_EQ(r.EditLimit, 0u);
    EXPECT_EQ(r.EditLevelTop, 0u);
    EXPECT_TRUE(RawData_PointsMatchProfiles(r));
    ExpectNear(r.Points[7].Vertex, Vec3{50, 0, 0});
    EXPECT_EQ(r.Points[8].Flags, 0u);
    for (int f = 0; f < r.NumFacets; ++f)
        for (int32_t v : r.Facets[f].v) EXPECT_LT(v, r.NumPoints);
}

}  // namespace
